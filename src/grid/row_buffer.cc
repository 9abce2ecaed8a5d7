#include "grid/row_buffer.h"

namespace kavrix {

Status no_memory_for_row(int n) {
  return failure(kExitNoMemory, "not enough memory for a row of %d values\n", n);
}

}  // namespace kavrix
