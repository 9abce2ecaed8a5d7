// Owned C streams, what file a stream has open, and whole-block reads and
// writes on a stream's descriptor.
#ifndef KAVRIX_GRID_FILE_H_
#define KAVRIX_GRID_FILE_H_

#include <sys/stat.h>

#include <cstddef>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace kavrix {

/// Closes a stream that is still open when its owner goes away.
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

/// A stream owned by one record of the run.
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

/// Binary rows of at least this many bytes go between the file and the row
/// buffer through the stream's descriptor, past its buffer: one system call
/// per row then costs less than copying the row through the buffer.
/// Narrower rows stay buffered, so that a grid of one column does not make
/// a system call per value.
inline constexpr std::size_t kDirectRowBytes = 4096;

/// A file as the system knows it, whatever names lead to it.
struct FileIdentity {
  unsigned long long device = 0;
  unsigned long long inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

/// A descriptor of this process and the file it has open.
struct OpenDescriptor {
  int fd = -1;
  FileIdentity identity;
  bool writable = false;  ///< open for writing
};

/// The identity of the file that `info` describes.
FileIdentity identity_from(const struct stat& info);

/// The identity of the file that `file` has open; false if it is unknown.
bool identity_of(std::FILE* file, FileIdentity& identity);

/// Whether opening `name` would open one of the files `open`: FIFOs and
/// devices included. A name that leads to no file names none of them.
bool names_one_of(const std::string& name, std::span<const FileIdentity> open);

/// The descriptors this process has open, lowest first.
std::vector<OpenDescriptor> open_descriptors();

/// Reads up to `bytes` into `data` from descriptor `fd`, as many reads as
/// it takes; fewer only at the end of the file or on an error. Returns the
/// number of bytes read.
std::size_t read_fully(int fd, void* data, std::size_t bytes);

/// Writes `bytes` from `data` to descriptor `fd`, as many writes as it
/// takes. Returns the number of bytes written; fewer only on an error.
std::size_t write_fully(int fd, const void* data, std::size_t bytes);

}  // namespace kavrix

#endif  // KAVRIX_GRID_FILE_H_
