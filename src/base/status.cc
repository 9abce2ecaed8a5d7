#include "base/status.h"

#include <cstdarg>
#include <cstdio>

namespace kavrix {

Status failure(int exit_status, const char* format, ...) {
  Status status{exit_status, {}};
  // Names can be of any length and %f of a huge value is long: measure first.
  std::va_list args;
  va_start(args, format);
  // The analyser does not see va_start initialise the list on x86-64.
  // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
  int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (length > 0) {
    status.message.resize(static_cast<size_t>(length) + 1);
    va_start(args, format);
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
    std::vsnprintf(status.message.data(), status.message.size(), format, args);
    va_end(args);
    status.message.resize(static_cast<size_t>(length));
  }
  return status;
}

}  // namespace kavrix
