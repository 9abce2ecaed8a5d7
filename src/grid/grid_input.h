// An input grid: its file, recognised format, header and row buffer, and
// the reading of its body one row at a time.
#ifndef KAVRIX_GRID_GRID_INPUT_H_
#define KAVRIX_GRID_GRID_INPUT_H_

#include <memory>
#include <string>

#include "base/status.h"
#include "grid/file.h"
#include "grid/grid_header.h"
#include "grid/row_buffer.h"
#include "grid/text_reader.h"

namespace kavrix {

/// One of the three input grids of a run.
struct GridInput {
  std::string name;                 ///< file name from the command line
  FilePtr file;                     ///< open at the next body value
  FileIdentity identity;            ///< the file that `file` has open
  GridFormat format = GridFormat::text;
  GridHeader header;
  bool direct = false;              ///< binary rows come through the descriptor
  bool read_twice = false;          ///< set before opening: a pipe is refused
  TextReader text;                  ///< scans the body of a text grid
  RowBuffer row;                    ///< indices 1 to ncols; 0 unused
};

/// Opens the grid named `grid.name`, recognises its format by content
/// (a text grid begins with "ncol"; a binary grid has nodata_value -9999 as
/// its sixth double, or else as its sixth single) and reads its header,
/// leaving the stream at the first body value. A binary grid whose rows
/// reach kDirectRowBytes is then read through its descriptor (`direct`).
/// The file is opened once; only a text grid is opened a second time, for
/// reading as text, right after its first four bytes are known. A grid
/// marked `read_twice` that cannot go back to its start (a pipe) is
/// refused at once, before a FIFO's second open could wait for a writer.
Status open_input_grid(GridInput& grid);

/// Puts the open stream of `grid` back at its first body value, so that
/// its rows can be read again from the first. Fails when the stream cannot
/// seek (a pipe) or the text header no longer reads.
/// REQUIRES: open_input_grid(grid) succeeded.
Status rewind_input_grid(GridInput& grid);

}  // namespace kavrix

#endif  // KAVRIX_GRID_GRID_INPUT_H_
