// Row buffers of the run, allocated once and zero-filled.
#ifndef KAVRIX_GRID_ROW_BUFFER_H_
#define KAVRIX_GRID_ROW_BUFFER_H_

#include <cstdlib>
#include <memory>

namespace kavrix {

/// Frees memory from std::calloc.
struct FreeDeleter {
  void operator()(void* memory) const { std::free(memory); }
};

/// A row of doubles used at indices 1 to n; index 0 is never used.
using RowBuffer = std::unique_ptr<double[], FreeDeleter>;

/// The single-precision scratch row, used at indices 1 to n.
using ScratchRow = std::unique_ptr<float[], FreeDeleter>;

}  // namespace kavrix

#endif  // KAVRIX_GRID_ROW_BUFFER_H_
