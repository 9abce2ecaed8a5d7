#include "grid/strip.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace kavrix {
namespace {

// A's blocks are taken until a strip holds at least this many rows.
constexpr int kStripRows = 256;

// Memory for the four strips and the single-precision copy of the output:
// with GDAL's own 45 MiB, a run of 4000 columns in 256 rows stays below
// 96 MiB.
constexpr double kStripBytes = 40 << 20;
constexpr double kBytesPerColumn = 4 * sizeof(double) + sizeof(float);

constexpr std::size_t kHugePage = 2 << 20;

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
  const auto chunk = static_cast<std::size_t>(strip.chunk);
  const std::size_t bytes = (static_cast<std::size_t>(width) + chunk - 1) / chunk * chunk *
                            static_cast<std::size_t>(height) * sizeof(double);
  // Whole huge pages: the system maps a strip in a few faults, not one a
  // page. The first is never touched: the cell rule indexes a run of cells
  // from 1, so the cell before the first must lie inside the allocation.
  strip.storage.reset(static_cast<double*>(
      std::aligned_alloc(kHugePage, (bytes + kHugePage - 1) / kHugePage * kHugePage + kHugePage)));
  if (!strip.storage) return false;
  strip.cells = strip.storage.get() + kHugePage / sizeof(double);
  madvise(strip.cells, bytes, MADV_HUGEPAGE);  // a hint; without it, pages as usual
  std::memset(strip.cells, 0, bytes);
  return true;
}

}  // namespace kavrix
