// Going back to the first body value of an open input grid.
#ifndef KAVRIX_GRID_GRID_REWIND_H_
#define KAVRIX_GRID_GRID_REWIND_H_

#include "grid/failure.h"
#include "grid/grid_input.h"

namespace kavrix {

/// Puts the open stream of `grid` back at its first body value, so that
/// its rows can be read again from the first: past the 96 or 48 header
/// bytes of a binary grid, past the six keyword/number pairs of a text
/// grid. Fails when the stream cannot seek (a pipe) or the text header no
/// longer reads.
/// REQUIRES: open_input_grid(grid) succeeded.
Status rewind_input_grid(GridInput& grid);

}  // namespace kavrix

#endif  // KAVRIX_GRID_GRID_REWIND_H_
