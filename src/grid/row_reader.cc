#include "grid/row_reader.h"

namespace kavrix {
namespace {

Status short_row(const GridInput& grid, int row_number, size_t values_read) {
  return failure(kExitRowRead, "error reading from %s in row %d (%d values read)\n",
                 grid.name.c_str(), row_number, static_cast<int>(values_read));
}

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
  switch (grid.format) {
    case GridFormat::binary_double: {
      size_t got = read_values(grid, row + 1, sizeof(double), count);
      if (got < count) return short_row(grid, row_number, got);
      return {};
    }
    case GridFormat::binary_single: {
      size_t got = read_values(grid, scratch + 1, sizeof(float), count);
      if (got < count) return short_row(grid, row_number, got);
      for (size_t k = 1; k <= count; ++k) row[k] = scratch[k];
      return {};
    }
    case GridFormat::text: {
      size_t got = read_text_numbers(grid.text, row + 1, count);
      if (got < count) return short_row(grid, row_number, got);
      return {};
    }
  }
  return {};
}

}  // namespace kavrix
