// The parameter table of a run and the topographic index of each cell.
#ifndef KAVRIX_INDEX_CELL_RULE_H_
#define KAVRIX_INDEX_CELL_RULE_H_

#include "grid/grid_header.h"
#include "index/running_stats.h"

namespace kavrix {

/// Slope in degrees times this gives radians. It is 3.141592653 / 180,
/// not pi / 180: stored results depend on the last bits of every tangent.
inline constexpr double kDegreeFactor = 0x1.1DF46A2443411p-6;

/// A transmissivity of 0 or less is raised to this.
inline constexpr double kLeastTransmissivity = 1e-8;

/// A slope of 1 degree or less is raised to 1.
inline constexpr double kLeastSlope = 1.0;

/// Rows and columns of the parameter table.
enum Parameter { kNcols, kNrows, kXll, kYll, kCellsize, kNodataValue };
enum GridColumn { kGridA, kGridS, kGridT };

/// The six parameters of grids A, S and T; grid A's column holds the run's
/// reference ncols, nrows, cellsize and nodata_value.
struct ParameterTable {
  double value[6][3] = {};
};

/// How the cell rule knows a cell without data.
enum class NoDataRule {
  /// kavrix's grids: a value at or below its grid's nodata_value, or NaN.
  kAtOrBelow,
  /// Rasters read through GDAL: the reader has made NaN every cell its
  /// band's mask marks (its exact nodata value, a mask, alpha), so NaN
  /// alone means no data; every other value, -infinity too, is computed.
  kNaN,
};

/// Fills the table from the headers as they were read.
ParameterTable make_parameter_table(const GridHeader& a, const GridHeader& s,
                                    const GridHeader& t);

/// Computes columns 1 to n of `out` from the rows of A, T and S:
/// ln(((A + 1) * cellsize^2) / T / tan(S in radians)), or A's nodata_value
/// where an input has no data by `rule`, with T and S raised to their least
/// values. Hands each computed value to `stats`. Leaves the inputs as they
/// are. With `computed`, sets computed[j - 1] to 1 where cell j was
/// computed and to 0 where it has no data.
/// REQUIRES: every row holds n + 1 values; index 0 is not used. `computed`
/// holds n values.
void compute_index_row(const ParameterTable& table, const double* a, const double* t,
                       const double* s, double* out, int n, RunningStats& stats,
                       NoDataRule rule = NoDataRule::kAtOrBelow,
                       unsigned char* computed = nullptr);

/// The threshold of a run's statistics, which count the computed values
/// above it + 1 (so never NaN or -infinity). Under kAtOrBelow it is the
/// slope grid's nodata_value, as the headers of kavrix's stored outputs
/// have always been computed: in every binary grid it is -9999, as A's is.
/// Under kNaN it is -9999 whatever the rasters' nodata values: cells
/// without data never reach the statistics there, and a nodata value may
/// be any number (255, 4294967295), above every index; with -9999 the
/// statistics of a raster are those of kavrix's grid of the same cells.
double statistics_threshold(const ParameterTable& table, NoDataRule rule);

}  // namespace kavrix

#endif  // KAVRIX_INDEX_CELL_RULE_H_
