// Reading the body of an input grid, one row at a time.
#ifndef KAVRIX_GRID_ROW_READER_H_
#define KAVRIX_GRID_ROW_READER_H_

#include "base/status.h"
#include "grid/grid_input.h"

namespace kavrix {

/// Reads the next n values of `grid` into indices 1 to n of its row buffer,
/// in the grid's own format; a single grid passes through `scratch`.
/// A row that comes up short, in any format, fails with the number of
/// values that did arrive.
/// REQUIRES: grid.row and scratch hold n + 1 values; n >= 0.
Status read_grid_row(GridInput& grid, float* scratch, int n, int row_number);

}  // namespace kavrix

#endif  // KAVRIX_GRID_ROW_READER_H_
