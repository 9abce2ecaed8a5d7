// A grid read a row at a time, from the first row, and again from the
// first row: a grid of kavrix's own formats, or a raster that another
// reader opens.
#ifndef KAVRIX_GRID_ROW_SOURCE_H_
#define KAVRIX_GRID_ROW_SOURCE_H_

#include <functional>
#include <string>
#include <vector>

#include "base/status.h"
#include "grid/file.h"

namespace kavrix {

/// An open grid and the two ways of reading it.
struct RowSource {
  std::string name;                 ///< as the user gave it
  int ncols = 0;
  int nrows = 0;                    ///< 0 for a header below 1
  double nodata_value = 0;
  std::vector<FileIdentity> files;  ///< the files it has open
  /// Reads row `row`, the one after the last read (from 1), and points
  /// `values` at it, indices 1 to ncols; valid until the next call.
  std::function<Status(int row, const double*& values)> read_row;
  /// Makes row 1 the next to read.
  std::function<Status()> rewind;
};

/// Opens the grid named `name` in one of kavrix's formats, recognised by
/// content, to be read twice (a pipe is refused at once), and checks its
/// size.
Status open_grid_source(RowSource& source, const std::string& name);

}  // namespace kavrix

#endif  // KAVRIX_GRID_ROW_SOURCE_H_
