// Reading a grid twice, a row at a time: once for the statistics of its
// counted values, once for their classes.
#ifndef KAVRIX_DISTRIBUTION_GRID_SCAN_H_
#define KAVRIX_DISTRIBUTION_GRID_SCAN_H_

#include <cmath>
#include <string>

#include "distribution/index_classes.h"
#include "base/status.h"
#include "grid/row_source.h"
#include "index/running_stats.h"

namespace kavrix {

/// Whether a cell's value is counted: finite and above nodata + 1, the
/// rule by which kavrix admits a value to its own statistics.
inline bool is_counted(double value, double nodata) {
  return std::isfinite(value) && value > nodata + 1.0;
}

/// Reads every row of `source` from its first and adds every counted value
/// to `stats`, whose threshold it sets to the grid's nodata value.
Status scan_statistics(RowSource& source, RunningStats& stats);

/// Reads every row again from the first and counts each counted value in
/// its class. REQUIRES: scan_statistics(source, ...) succeeded.
Status scan_classes(RowSource& source, IndexClasses& classes);

}  // namespace kavrix

#endif  // KAVRIX_DISTRIBUTION_GRID_SCAN_H_
