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
  std::size_t done = 0;
  while (done < bytes) {
    const ssize_t got = read(fd, static_cast<char*>(data) + done, bytes - done);
    if (got > 0) {
      done += static_cast<std::size_t>(got);
    } else if (got == 0 || errno != EINTR) {
      break;
    }
  }
  return done;
}

std::size_t write_fully(int fd, const void* data, std::size_t bytes) {
  std::size_t done = 0;
  while (done < bytes) {
    const ssize_t put =
        write(fd, static_cast<const char*>(data) + done, bytes - done);
    if (put > 0) {
      done += static_cast<std::size_t>(put);
    } else if (put == 0 || errno != EINTR) {
      break;
    }
  }
  return done;
}

}  // namespace kavrix
