// When a header's ncols and nrows can count rows, columns and buffers.
#ifndef KAVRIX_GRID_GRID_SIZE_H_
#define KAVRIX_GRID_GRID_SIZE_H_

#include <string>

#include "base/status.h"
#include "grid/grid_header.h"

namespace kavrix {

/// Whether `value` is a whole number from `low` to `high`; NaN is not.
/// A header count that passes converts to an integer of that range safely.
bool whole_in_range(double value, double low, double high);

/// The failure for a grid named `name` whose size cannot be used.
Status invalid_grid_size(const std::string& name);

/// Fails unless ncols is a whole count from 0 to 2147483646 (a row buffer
/// holds ncols + 1 values) and nrows a number from -2^31 to 2^31 - 1 (its
/// whole part, or none below 1, is the number of rows): the run counts
/// rows and columns in 32-bit integers.
Status check_grid_size(const GridHeader& header, const std::string& name);

}  // namespace kavrix

#endif  // KAVRIX_GRID_GRID_SIZE_H_
