#include "distribution/grid_scan.h"

#include "grid/grid_size.h"
#include "grid/row_reader.h"

namespace kavrix {
namespace {

// Hands every value of every row to `take`, row by row, in file order.
template <typename Take>
Status for_each_value(GridScan& scan, Take take) {
  const double* row = scan.grid.row.get();
  for (int r = 1; r <= scan.nrows; ++r) {
    Status status = read_grid_row(scan.grid, scan.scratch.get(), scan.ncols, r);
    if (!status.ok()) return status;
    for (int j = 1; j <= scan.ncols; ++j) take(row[j]);
    if (r == scan.nrows) break;  // r + 1 would overflow at 2^31 - 1 rows
  }
  return {};
}

}  // namespace

Status open_grid_scan(GridScan& scan, const std::string& name) {
  scan.grid.name = name;
  scan.grid.read_twice = true;
  Status status = open_input_grid(scan.grid);
  if (!status.ok()) return status;
  status = check_grid_size(scan.grid.header, scan.grid.name);
  if (!status.ok()) return status;
  // The size check keeps both counts within 32 bits.
  scan.ncols = static_cast<int>(scan.grid.header.ncols);
  const double nrows = scan.grid.header.nrows;
  scan.nrows = nrows >= 1.0 ? static_cast<int>(nrows) : 0;
  scan.grid.row = allocate_row(scan.ncols);
  scan.scratch = allocate_row<float>(scan.ncols);
  if (!scan.grid.row || !scan.scratch) return no_memory_for_row(scan.ncols);
  return {};
}

Status scan_statistics(GridScan& scan, RunningStats& stats) {
  const double nodata = scan.grid.header.nodata_value;
  stats_reset(stats, nodata);
  return for_each_value(scan, [&](double v) {
    if (is_counted(v, nodata)) stats_add(stats, v);
  });
}

Status scan_classes(GridScan& scan, IndexClasses& classes) {
  Status status = rewind_input_grid(scan.grid);
  if (!status.ok()) return status;
  const double nodata = scan.grid.header.nodata_value;
  return for_each_value(scan, [&](double v) {
    if (is_counted(v, nodata)) ++classes.cells[class_of(classes, v)];
  });
}

}  // namespace kavrix
