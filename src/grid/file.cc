#include "grid/file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace kavrix {

FileIdentity identity_from(const struct stat& info) {
  return {static_cast<unsigned long long>(info.st_dev),
          static_cast<unsigned long long>(info.st_ino)};
}

namespace {

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
  return std::find(open.begin(), open.end(), identity_from(info)) != open.end();
}

std::vector<OpenDescriptor> open_descriptors() {
  std::vector<int> fds;
  // The system lists them; without /proc, the first thousand are tried.
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (const dirent* entry = readdir(dir)) {
      if (entry->d_name[0] != '.') fds.push_back(std::atoi(entry->d_name));
    }
    const int own = dirfd(dir);
    fds.erase(std::remove(fds.begin(), fds.end(), own), fds.end());
    closedir(dir);
  } else {
    for (int fd = 0; fd < 1024; ++fd) fds.push_back(fd);
  }
  std::sort(fds.begin(), fds.end());
  std::vector<OpenDescriptor> open;
  for (int fd : fds) {
    struct stat info {};
    const int flags = fcntl(fd, F_GETFL);
    if (flags != -1 && fstat(fd, &info) == 0) {
      open.push_back({fd, identity_from(info), (flags & O_ACCMODE) != O_RDONLY});
    }
  }
  return open;
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
