#include "grid/row_reader.h"

namespace kavrix {
namespace {

// Reads up to `count` values of `size` bytes into `values` and returns the
// number of whole values read.
size_t read_values(GridInput& grid, void* values, size_t size, size_t count) {
  if (!grid.direct) return std::fread(values, size, count, grid.file.get());
  return read_fully(fileno(grid.file.get()), values, size * count) / size;
}

}  // namespace

Status read_grid_row(GridInput& grid, float* scratch, int n, int row_number) {
  const size_t count = static_cast<size_t>(n);
  double* row = grid.row.get();
  size_t got = 0;
  if (grid.format == GridFormat::text) {
    got = read_text_numbers(grid.text, row + 1, count);
  } else if (grid.format == GridFormat::binary_double) {
    got = read_values(grid, row + 1, sizeof(double), count);
  } else {
    got = read_values(grid, scratch + 1, sizeof(float), count);
    for (size_t k = 1; k <= got; ++k) row[k] = scratch[k];
  }
  if (got < count) {
    return failure(kExitRowRead, "error reading from %s in row %d (%d values read)\n",
                   grid.name.c_str(), row_number, static_cast<int>(got));
  }
  return {};
}

}  // namespace kavrix
