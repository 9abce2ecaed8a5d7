#include "grid/row_source.h"

#include <memory>

#include "grid/grid_input.h"
#include "grid/grid_size.h"
#include "grid/row_reader.h"

namespace kavrix {

Status open_grid_source(RowSource& source, const std::string& name) {
  // Shared by the two ways of reading; it lives as long as they do.
  auto grid = std::make_shared<GridInput>();
  grid->name = name;
  grid->read_twice = true;
  Status status = open_input_grid(*grid);
  if (status.ok()) status = check_grid_size(grid->header, name);
  if (!status.ok()) return status;
  // The size check keeps both counts within 32 bits.
  const int ncols = static_cast<int>(grid->header.ncols);
  const double nrows = grid->header.nrows;
  grid->row = allocate_row(ncols);
  auto scratch = std::shared_ptr<float[]>(allocate_row<float>(ncols).release(), FreeDeleter{});
  if (!grid->row || !scratch) return no_memory_for_row(ncols);
  source = {name, ncols, nrows >= 1.0 ? static_cast<int>(nrows) : 0,
            grid->header.nodata_value, {grid->identity}, nullptr, nullptr};
  source.read_row = [grid, scratch, ncols](int row, const double*& values) {
    values = grid->row.get();
    return read_grid_row(*grid, scratch.get(), ncols, row);
  };
  source.rewind = [grid] { return rewind_input_grid(*grid); };
  return {};
}

}  // namespace kavrix
