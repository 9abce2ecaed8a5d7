// Owned C streams.
#ifndef KAVRIX_GRID_FILE_H_
#define KAVRIX_GRID_FILE_H_

#include <cstdio>
#include <memory>

namespace kavrix {

/// Closes a stream that is still open when its owner goes away.
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

/// A stream owned by one record of the run.
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace kavrix

#endif  // KAVRIX_GRID_FILE_H_
