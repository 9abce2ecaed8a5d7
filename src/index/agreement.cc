#include "index/agreement.h"

#include <cmath>

namespace kavrix {
namespace {

// Compares with A the grid `other`; a NaN on either side compares false and
// so passes, like any difference of 0.1 or less.
Status compare_with(const GridInput& a, const GridInput& other) {
  const std::array<double, kHeaderFields> mine = header_values(a.header);
  const std::array<double, kHeaderFields> theirs = header_values(other.header);
  for (size_t i = 0; i < 6; ++i) {
    if (std::fabs(mine[i] - theirs[i]) > kAgreementTolerance) {
      return failure(kExitMismatch,
                     "parameter %d (%f) in %s does not match the parameter in "
                     "%s (%f)\n",
                     static_cast<int>(i) + 1, mine[i], a.name.c_str(),
                     other.name.c_str(), theirs[i]);
    }
  }
  return {};
}

}  // namespace

Status check_agreement(const GridInput& a, const GridInput& t,
                       const GridInput& s) {
  Status status = compare_with(a, t);
  return status.ok() ? compare_with(a, s) : status;
}

}  // namespace kavrix
