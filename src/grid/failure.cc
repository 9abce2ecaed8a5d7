#include "grid/failure.h"

#include <cstdarg>
#include <cstdio>

namespace kavrix {

Status failure(int exit_status, const char* format, ...) {
  Status status{exit_status, {}};
  std::va_list args;
  va_start(args, format);
  std::va_list again;
  va_copy(again, args);
  // Names can be of any length and %f of a huge value is long: measure first.
  int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (length > 0) {
    status.message.resize(static_cast<size_t>(length) + 1);
    std::vsnprintf(status.message.data(), status.message.size(), format, again);
    status.message.resize(static_cast<size_t>(length));
  }
  va_end(again);
  return status;
}

}  // namespace kavrix
