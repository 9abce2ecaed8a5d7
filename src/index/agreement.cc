#include "index/agreement.h"

#include <cmath>

namespace kavrix {
namespace {

// Compares with A the grid `other`; a NaN on either side compares false and
// so passes, like any difference of 0.1 or less.
Status compare_with(const GridInput& a, const GridInput& other) {
  for (int i = 1; i <= 6; ++i) {
    double mine = header_field(a.header, i);
    double theirs = header_field(other.header, i);
    if (std::fabs(mine - theirs) > kAgreementTolerance) {
      return failure(kExitMismatch,
                     "parameter %d (%f) in %s does not match the parameter in "
                     "%s (%f)\n",
                     i, mine, a.name.c_str(), other.name.c_str(), theirs);
    }
  }
  return {};
}

}  // namespace

Status check_agreement(const GridInput& a, const GridInput& t,
                       const GridInput& s) {
  Status status = compare_with(a, t);
  if (!status.ok()) return status;
  return compare_with(a, s);
}

}  // namespace kavrix
