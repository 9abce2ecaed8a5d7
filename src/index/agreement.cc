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

Status check_grid_size(const GridInput& a) {
  const double ncols = a.header.ncols;
  const double nrows = a.header.nrows;
  bool ncols_ok = ncols >= 0 && ncols <= 2147483646.0 && ncols == std::trunc(ncols);
  bool nrows_ok = nrows >= -2147483648.0 && nrows <= 2147483647.0;  // not NaN
  if (ncols_ok && nrows_ok) return {};
  return failure(kExitBadHeader, "invalid grid size in %s\n", a.name.c_str());
}

}  // namespace kavrix
