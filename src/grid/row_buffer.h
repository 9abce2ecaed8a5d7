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

/// A zero-filled row buffer of n + 1 doubles, or null when memory is short.
RowBuffer allocate_row(int n);

/// The zero-filled single-precision scratch row of n + 1 values, or null.
ScratchRow allocate_scratch_row(int n);

/// The failure for a row buffer of n values that cannot be allocated.
Status no_memory_for_row(int n);

}  // namespace kavrix

#endif  // KAVRIX_GRID_ROW_BUFFER_H_
