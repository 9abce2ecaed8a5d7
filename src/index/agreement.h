// Checks that the three input grids describe one raster.
#ifndef KAVRIX_INDEX_AGREEMENT_H_
#define KAVRIX_INDEX_AGREEMENT_H_

#include "base/status.h"
#include "grid/grid_input.h"

namespace kavrix {

/// Largest difference allowed between a parameter of A and of T or S.
inline constexpr double kAgreementTolerance = 0.1;

/// Compares parameters 1 to 6 of A with T's, then with S's; fails on the
/// first that differs by more than the tolerance.
Status check_agreement(const GridInput& a, const GridInput& t,
                       const GridInput& s);

}  // namespace kavrix

#endif  // KAVRIX_INDEX_AGREEMENT_H_
