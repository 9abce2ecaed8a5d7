// Reading a grid's body twice, a row at a time: once for the statistics
// of its counted values, once for their classes.
#ifndef KAVRIX_DISTRIBUTION_GRID_SCAN_H_
#define KAVRIX_DISTRIBUTION_GRID_SCAN_H_

#include <cmath>
#include <string>

#include "distribution/index_classes.h"
#include "base/status.h"
#include "grid/grid_input.h"
#include "grid/row_buffer.h"
#include "index/running_stats.h"

namespace kavrix {

/// An open grid with its one row buffer and scratch row.
struct GridScan {
  GridInput grid;
  ScratchRow scratch;
  int ncols = 0;
  int nrows = 0;
};

/// Whether a cell's value is counted: finite and above nodata + 1, the
/// rule by which kavrix admits a value to its own statistics.
inline bool is_counted(double value, double nodata) {
  return std::isfinite(value) && value > nodata + 1.0;
}

/// Opens the grid named `name`, recognised by content, checks its size and
/// allocates its rows; the stream is left at the first body value.
Status open_grid_scan(GridScan& scan, const std::string& name);

/// Reads the body from the stream's position to the last row and adds
/// every counted value to `stats`, whose threshold it sets to the grid's
/// nodata value. REQUIRES: open_grid_scan(scan, ...) succeeded.
Status scan_statistics(GridScan& scan, RunningStats& stats);

/// Reads the body again from the first value and counts each counted
/// value in its class. REQUIRES: scan_statistics(scan, ...) succeeded.
Status scan_classes(GridScan& scan, IndexClasses& classes);

}  // namespace kavrix

#endif  // KAVRIX_DISTRIBUTION_GRID_SCAN_H_
