// Strips of rows of a raster held as doubles, laid out so that a band's
// blocks move straight between the file and the strip.
#ifndef KAVRIX_GRID_STRIP_H_
#define KAVRIX_GRID_STRIP_H_

#include <cstddef>

#include "grid/row_buffer.h"

namespace kavrix {

/// Rows of one band in chunks of `chunk` columns, each chunk all its rows
/// in turn: so with chunks as wide as the band's blocks and a height that
/// is a whole number of blocks, every block of the strip is one run of
/// values. A strip of whole rows has a single chunk as wide as the raster.
struct Strip {
  RowBuffer storage;       ///< an unused huge page, then the cells
  double* cells = nullptr;
  int chunk = 0;           ///< columns of a chunk
  int height = 0;          ///< rows
  bool in_blocks = false;  ///< moved a block at a time, else as whole rows
};

/// Cell (row, col) of `strip`.
inline double* strip_cell(const Strip& strip, int row, int col) {
  const auto chunk = static_cast<std::size_t>(strip.chunk);
  const auto col_in = static_cast<std::size_t>(col);
  return strip.cells + ((col_in / chunk) * static_cast<std::size_t>(strip.height) +
                        static_cast<std::size_t>(row)) * chunk + col_in % chunk;
}

/// The rows of a strip for a raster `width` columns wide whose A has
/// blocks `block_height` rows high: whole blocks of A, as many as make a
/// few hundred rows, fewer where the four strips would pass their budget
/// of memory (then as many rows as fit, at least one).
int strip_height(int width, int block_height);

/// Lays out `strip` for `height` rows of `width` columns of a band of
/// blocks `block_width` x `block_height`: in blocks where whole blocks
/// fill the height, else in whole rows. False when memory is short.
bool allocate_strip(Strip& strip, int width, int height, int block_width,
                    int block_height);

}  // namespace kavrix

#endif  // KAVRIX_GRID_STRIP_H_
