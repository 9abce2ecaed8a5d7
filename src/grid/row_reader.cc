#include "grid/row_reader.h"

namespace kavrix {
namespace {

Status short_row(const GridInput& grid, int row_number, size_t values_read) {
  return failure(kExitRowRead, "error reading from %s in row %d (%d values read)\n",
                 grid.name.c_str(), row_number, static_cast<int>(values_read));
}

}  // namespace

Status read_grid_row(GridInput& grid, float* scratch, int n, int row_number) {
  const size_t count = static_cast<size_t>(n);
  double* row = grid.row.get();
  switch (grid.format) {
    case GridFormat::binary_double: {
      size_t got = std::fread(row + 1, sizeof(double), count, grid.file.get());
      if (got < count) return short_row(grid, row_number, got);
      return {};
    }
    case GridFormat::binary_single: {
      size_t got = std::fread(scratch + 1, sizeof(float), count, grid.file.get());
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
