// Owned C streams.
#ifndef KAVRIX_GRID_FILE_H_
#define KAVRIX_GRID_FILE_H_

#include <cstddef>
#include <cstdio>
#include <memory>

namespace kavrix {

/// Closes a stream that is still open when its owner goes away.
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

/// A stream owned by one record of the run.
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

/// Binary rows of at least this many bytes go between the file and the row
/// buffer without a stream buffer: one system call per row then costs less
/// than copying the row through the buffer. Narrower rows stay buffered,
/// so that a grid of one column does not make a system call per value.
inline constexpr std::size_t kDirectRowBytes = 4096;

}  // namespace kavrix

#endif  // KAVRIX_GRID_FILE_H_
