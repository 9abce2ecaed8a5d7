#include "index/agreement.h"

#include <cmath>

namespace kavrix {

Status check_agreement(const GridInput& a, const GridInput& t,
                       const GridInput& s) {
  const std::array<double, kHeaderFields> mine = header_values(a.header);
  for (const GridInput* other : {&t, &s}) {
    const std::array<double, kHeaderFields> theirs = header_values(other->header);
    // A NaN on either side compares false and so passes, like any
    // difference of 0.1 or less.
    for (size_t i = 0; i < 6; ++i) {
      if (std::fabs(mine[i] - theirs[i]) > kAgreementTolerance) {
        return failure(kExitMismatch,
                       "parameter %d (%f) in %s does not match the parameter in "
                       "%s (%f)\n",
                       static_cast<int>(i) + 1, mine[i], a.name.c_str(),
                       other->name.c_str(), theirs[i]);
      }
    }
  }
  return {};
}

}  // namespace kavrix
