#include "index/agreement.h"

#include <cmath>

namespace kavrix {
namespace {

// Compares with A the grid `other`; a NaN on either side compares false and
// so passes, like any difference of 0.1 or less.
Status compare_with(const GridInput& a, const GridInput& other) {
  const auto mine_all = header_values(a.header);
  const auto theirs_all = header_values(other.header);
  for (int i = 1; i <= 6; ++i) {
    const double mine = mine_all[static_cast<size_t>(i - 1)];
    const double theirs = theirs_all[static_cast<size_t>(i - 1)];
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
