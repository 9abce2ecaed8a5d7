// Row buffers of the run, allocated once and zero-filled.
#ifndef KAVRIX_GRID_ROW_BUFFER_H_
#define KAVRIX_GRID_ROW_BUFFER_H_

#include <cstdlib>
#include <memory>

#include "base/status.h"

namespace kavrix {

/// Frees memory from std::calloc.
struct FreeDeleter {
  void operator()(void* memory) const { std::free(memory); }
};

/// A row of doubles used at indices 1 to n; index 0 is never used.
using RowBuffer = std::unique_ptr<double[], FreeDeleter>;

/// The single-precision scratch row, used at indices 1 to n.
using ScratchRow = std::unique_ptr<float[], FreeDeleter>;

/// A zero-filled row of n + 1 values of type T, or null when memory is
/// short. calloc rather than new[]: a large block comes as zero pages from
/// the system, so a wide row costs memory only where values are stored, and
/// a row wider than memory fails here instead of in the middle of a
/// zero-fill.
template <typename T = double>
std::unique_ptr<T[], FreeDeleter> allocate_row(int n) {
  return std::unique_ptr<T[], FreeDeleter>(
      static_cast<T*>(std::calloc(static_cast<size_t>(n) + 1, sizeof(T))));
}

/// The failure for a row buffer of n values that cannot be allocated.
Status no_memory_for_row(int n);

}  // namespace kavrix

#endif  // KAVRIX_GRID_ROW_BUFFER_H_
