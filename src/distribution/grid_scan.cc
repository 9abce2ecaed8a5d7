#include "distribution/grid_scan.h"

namespace kavrix {
namespace {

// Hands every value of every row to `take`, row by row, in file order.
template <typename Take>
Status for_each_value(RowSource& source, Take take) {
  for (int r = 1; r <= source.nrows; ++r) {
    const double* row = nullptr;
    Status status = source.read_row(r, row);
    if (!status.ok()) return status;
    for (int j = 1; j <= source.ncols; ++j) take(row[j]);
    if (r == source.nrows) break;  // r + 1 would overflow at 2^31 - 1 rows
  }
  return {};
}

}  // namespace

Status scan_statistics(RowSource& source, RunningStats& stats) {
  const double nodata = source.nodata_value;
  stats_reset(stats, nodata);
  return for_each_value(source, [&](double v) {
    if (is_counted(v, nodata)) stats_add(stats, v);
  });
}

Status scan_classes(RowSource& source, IndexClasses& classes) {
  Status status = source.rewind();
  if (!status.ok()) return status;
  const double nodata = source.nodata_value;
  return for_each_value(source, [&](double v) {
    if (is_counted(v, nodata)) ++classes.cells[class_of(classes, v)];
  });
}

}  // namespace kavrix
