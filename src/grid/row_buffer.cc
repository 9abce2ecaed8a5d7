#include "grid/row_buffer.h"

namespace kavrix {

// calloc rather than new[]: a large block comes as zero pages from the
// system, so a wide row costs memory only where values are stored, and a
// row wider than memory fails here instead of in the middle of a zero-fill.
RowBuffer allocate_row(int n) {
  return RowBuffer(static_cast<double*>(
      std::calloc(static_cast<size_t>(n) + 1, sizeof(double))));
}

ScratchRow allocate_scratch_row(int n) {
  return ScratchRow(static_cast<float*>(
      std::calloc(static_cast<size_t>(n) + 1, sizeof(float))));
}

Status no_memory_for_row(int n) {
  return failure(kExitNoMemory, "not enough memory for a row of %d values\n", n);
}

}  // namespace kavrix
