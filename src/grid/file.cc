#include "grid/file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace kavrix {
namespace {

FileIdentity identity_from(const struct stat& info) {
  return {static_cast<unsigned long long>(info.st_dev),
          static_cast<unsigned long long>(info.st_ino)};
}

// Calls `transfer` with the bytes done so far until all `bytes` are done,
// the end of the file (0) or an error other than an interruption.
template <typename Transfer>
std::size_t repeat(std::size_t bytes, Transfer transfer) {
  std::size_t done = 0;
  while (done < bytes) {
    const ssize_t moved = transfer(done);
    if (moved > 0) {
      done += static_cast<std::size_t>(moved);
    } else if (moved == 0 || errno != EINTR) {
      break;
    }
  }
  return done;
}

}  // namespace

bool identity_of(std::FILE* file, FileIdentity& identity) {
  struct stat info {};
  if (fstat(fileno(file), &info) != 0) return false;
  identity = identity_from(info);
  return true;
}

bool names_one_of(const std::string& name,
                  std::span<const FileIdentity> open) {
  struct stat info {};
  if (stat(name.c_str(), &info) != 0) return false;
  const FileIdentity named = identity_from(info);
  return std::any_of(open.begin(), open.end(), [&](const FileIdentity& file) {
    return file.device == named.device && file.inode == named.inode;
  });
}

std::size_t read_fully(int fd, void* data, std::size_t bytes) {
  return repeat(bytes, [&](std::size_t done) {
    return read(fd, static_cast<char*>(data) + done, bytes - done);
  });
}

std::size_t write_fully(int fd, const void* data, std::size_t bytes) {
  return repeat(bytes, [&](std::size_t done) {
    return write(fd, static_cast<const char*>(data) + done, bytes - done);
  });
}

}  // namespace kavrix
