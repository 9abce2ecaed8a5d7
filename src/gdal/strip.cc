#include "gdal/strip.h"

#include <algorithm>
#include <cstdlib>

namespace kavrix {
namespace {

// A's blocks are taken until a strip holds at least this many rows.
constexpr int kStripRows = 256;

// Memory for the four strips and the single-precision copy of the output:
// with GDAL's own 45 MiB, a run of 4000 columns in 256 rows stays below
// 96 MiB.
constexpr double kStripBytes = 40 << 20;
constexpr double kBytesPerColumn = 4 * sizeof(double) + sizeof(float);

}  // namespace

int strip_height(int width, int block_height) {
  const int rows = block_height >= kStripRows
                       ? block_height
                       : block_height * (kStripRows / block_height);
  const double fitting = std::max(1.0, kStripBytes / (kBytesPerColumn * width));
  if (rows <= fitting) return rows;
  const int fit = static_cast<int>(fitting);  // below rows, so within int
  return fit >= block_height ? fit - fit % block_height : fit;
}

bool allocate_strip(Strip& strip, int width, int height, int block_width,
                    int block_height) {
  strip.in_blocks = height % block_height == 0;
  strip.chunk = strip.in_blocks ? block_width : width;
  strip.height = height;
  const std::size_t chunks =
      (static_cast<std::size_t>(width) + static_cast<std::size_t>(strip.chunk) - 1) /
      static_cast<std::size_t>(strip.chunk);
  // The spare value first lets the cell rule index a run of cells from 1.
  strip.storage.reset(static_cast<double*>(std::calloc(
      chunks * static_cast<std::size_t>(strip.chunk) * static_cast<std::size_t>(height) + 1,
      sizeof(double))));
  strip.cells = strip.storage ? strip.storage.get() + 1 : nullptr;
  return strip.cells != nullptr;
}

void compute_index_strip(const ParameterTable& table, Strip& a, Strip& t,
                         Strip& s, Strip& out, int width, int rows,
                         RunningStats& stats) {
  for (int row = 0; row < rows; ++row) {
    // A run of cells ends where any of the four strips begins a new chunk.
    for (int col = 0, run = 0; col < width; col += run) {
      run = width - col;
      for (const Strip* strip : {&a, &t, &s, &out}) {
        run = std::min(run, strip->chunk - col % strip->chunk);
      }
      compute_index_row(table, strip_cell(a, row, col) - 1, strip_cell(t, row, col) - 1,
                        strip_cell(s, row, col) - 1, strip_cell(out, row, col) - 1, run,
                        stats);
    }
  }
}

}  // namespace kavrix
