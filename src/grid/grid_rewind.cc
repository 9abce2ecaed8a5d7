#include "grid/grid_rewind.h"

#include <cstdio>

namespace kavrix {

Status rewind_input_grid(GridInput& grid) {
  long body = 0;
  if (grid.format == GridFormat::binary_double) body = kHeaderFields * 8L;
  if (grid.format == GridFormat::binary_single) body = kHeaderFields * 4L;
  // fseek works on an unbuffered stream as on a buffered one, and drops
  // whatever a buffer still held.
  if (!grid.file || std::fseek(grid.file.get(), body, SEEK_SET) != 0) {
    return failure(kExitRowRead,
                   "cannot read %s a second time: it is not a file that can "
                   "be read from its start again (a pipe?)\n",
                   grid.name.c_str());
  }
  if (grid.format != GridFormat::text) return {};
  // The reader's buffer still holds text from before the seek.
  text_reader_attach(grid.text, grid.file.get());
  double value = 0;
  for (int pair = 0; pair < 6; ++pair) {
    if (!skip_text_token(grid.text) || !read_text_number(grid.text, value)) {
      return failure(kExitBadHeader, "could not read the header of %s\n",
                     grid.name.c_str());
    }
  }
  return {};
}

}  // namespace kavrix
