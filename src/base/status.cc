#include "base/status.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace kavrix {

Status failure(int exit_status, const char* format, ...) {
  Status status{exit_status, {}};
  // Names can be of any length and %f of a huge value is long: the text is
  // formatted into memory of its own size.
  std::va_list args;
  va_start(args, format);
  char* text = nullptr;
  // The analyser does not see va_start initialise the list on x86-64.
  // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
  const int length = vasprintf(&text, format, args);
  va_end(args);
  if (length < 0) return status;
  status.message.assign(text, static_cast<size_t>(length));
  std::free(text);
  return status;
}

}  // namespace kavrix
