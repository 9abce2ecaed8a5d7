#include "grid/whole_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <utility>
#include <vector>

namespace kavrix {
namespace {

namespace fs = std::filesystem;

// Symbolic links lead at most this many steps, as the system allows.
constexpr int kMostLinks = 40;

Status cannot_write(const WholeFile& file, int error) {
  return failure(kWriteFailed, "could not write %s: %s\n", file.name.c_str(),
                 std::strerror(error));
}

// The end of the chain of symbolic links that starts at `name`: a name
// that is no link, whether or not a file of that name exists.
std::string end_of_links(const std::string& name) {
  fs::path path = name;
  for (int step = 0; step < kMostLinks; ++step) {
    std::error_code error;
    const fs::path target = fs::read_symlink(path, error);
    if (error) break;
    path = target.is_absolute() ? target : path.parent_path() / target;
  }
  return path.string();
}

// The temporary folders being filled, for a signal to remove: fixed room,
// so that the handler neither allocates nor takes a lock.
constexpr int kMostFolders = 4;
char pending_folders[kMostFolders][PATH_MAX];

void remember_folder(const std::string& folder) {
  const auto free = std::find_if(std::begin(pending_folders), std::end(pending_folders),
                                 [](const char* slot) { return slot[0] == '\0'; });
  if (free == std::end(pending_folders) || folder.size() >= PATH_MAX) return;
  folder.copy(*free, folder.size());
  (*free)[folder.size()] = '\0';
}

void forget_folder(const std::string& folder) {
  for (char* slot : pending_folders) {
    if (folder == slot) slot[0] = '\0';
  }
}

// Empties and removes the pending folders with calls that are safe in a
// signal handler, then ends the process of the signal as it would have.
extern "C" void remove_folders_and_end(int signal) {
  for (char* folder : pending_folders) {
    if (folder[0] == '\0') continue;
    const int dir = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    alignas(dirent64) char entries[4096];
    for (ssize_t got; dir >= 0 && (got = getdents64(dir, entries, sizeof entries)) > 0;) {
      for (ssize_t at = 0; at < got;) {
        const auto* entry = reinterpret_cast<const dirent64*>(entries + at);
        unlinkat(dir, entry->d_name, 0);  // "." and ".." are not unlinked
        at += entry->d_reclen;
      }
    }
    if (dir >= 0) close(dir);
    rmdir(folder);
  }
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// Copies the file `from` into descriptor `to`.
bool copy_into(const std::string& from, int to) {
  const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  char block[1 << 16];
  bool copied = true;
  for (std::size_t got; copied && (got = read_fully(in, block, sizeof block)) > 0;) {
    copied = write_fully(to, block, got) == got;
  }
  close(in);
  return copied;
}

// The file and its side files, renamed from the temporary folder beside
// the file. None of them may replace a file in `kept` or one the process
// has open (a source that an input opened only as it was read): all are
// checked before any is renamed.
Status move_into_place(WholeFile& file, std::span<const FileIdentity> kept) {
  std::vector<FileIdentity> guarded(kept.begin(), kept.end());
  const std::vector<OpenDescriptor> open = open_descriptors();
  std::transform(open.begin(), open.end(), std::back_inserter(guarded),
                 [](const OpenDescriptor& d) { return d.identity; });
  const fs::path home = fs::path(file.path).parent_path();
  std::vector<std::pair<fs::path, fs::path>> moves = {{file.content, file.path}};
  std::error_code error;
  for (const fs::directory_entry& side : fs::directory_iterator(file.folder, error)) {
    if (side.path() != file.content) moves.emplace_back(side.path(), home / side.path().filename());
  }
  if (error) return cannot_write(file, error.value());
  for (const auto& [from, to] : moves) {
    if (names_one_of(to, guarded)) {
      return failure(kWriteFailed, "could not write %s: it would replace %s, which is read\n",
                     file.name.c_str(), to.c_str());
    }
  }
  if (file.exists) {
    // The owner is kept only where the process may give files away.
    [[maybe_unused]] const int owned = chown(file.content.c_str(), file.owner, file.group);
    chmod(file.content.c_str(), file.mode);
  }
  // The file itself first, then the side files a format made beside it.
  for (const auto& [from, to] : moves) {
    if (std::rename(from.c_str(), to.c_str()) != 0) return cannot_write(file, errno);
  }
  return {};
}

}  // namespace

WholeFile::~WholeFile() { discard_whole_file(*this); }

Status locate_whole_file(WholeFile& file, const std::string& name) {
  file.name = name;
  file.path = end_of_links(name);
  struct stat info {};
  if (stat(name.c_str(), &info) != 0) {
    // A name that leads nowhere yet is made where its links end; a loop of
    // links, or a file where a folder should be, is no place for a file.
    return errno == ENOENT ? Status{} : cannot_write(file, errno);
  }
  if (S_ISDIR(info.st_mode)) {
    return failure(kWriteFailed, "could not write %s: it is a folder\n",
                   name.c_str());
  }
  file.exists = true;
  file.identity = identity_from(info);
  file.mode = info.st_mode & 07777;
  file.owner = info.st_uid;
  file.group = info.st_gid;
  // Replacing a file that the process has open for writing (/dev/stdout,
  // a shell's "> file") would leave the descriptor writing into the old,
  // unnamed file: what is written goes through the descriptor instead.
  const std::vector<OpenDescriptor> open = open_descriptors();
  const auto writer = std::find_if(open.begin(), open.end(), [&](const OpenDescriptor& d) {
    return d.writable && d.identity == file.identity;
  });
  if (writer != open.end()) file.descriptor = writer->fd;
  file.in_place = file.descriptor >= 0 || !S_ISREG(info.st_mode);
  if (file.in_place) {
    file.path = name;
  } else if (access(file.path.c_str(), W_OK) != 0) {
    return cannot_write(file, errno);  // a file kept from writing stays
  }
  return {};
}

bool same_whole_file(const WholeFile& a, const WholeFile& b) {
  if (a.exists || b.exists) return a.exists && b.exists && a.identity == b.identity;
  const auto place = [](const std::string& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    const fs::path resolved = fs::weakly_canonical(absolute, error);
    return error ? absolute.lexically_normal() : resolved;
  };
  return place(a.path) == place(b.path);
}

Status begin_whole_file(WholeFile& file) {
  if (!file.folder.empty()) return {};
  std::error_code error;
  fs::path base = file.in_place ? fs::temp_directory_path(error)
                                : fs::path(file.path).parent_path();
  if (base.empty()) base = ".";
  // A short name of its own: the file's name may be as long as a name can.
  std::string folder = (base / ".kavrix-XXXXXX").string();
  if (mkdtemp(folder.data()) == nullptr) return cannot_write(file, errno);
  file.folder = folder;
  remember_folder(folder);
  file.content = (fs::path(folder) / (file.in_place ? fs::path("content")
                                                    : fs::path(file.path).filename()))
                     .string();
  return {};
}

Status write_whole_file(WholeFile& file, std::string_view bytes) {
  Status status = begin_whole_file(file);
  if (!status.ok()) return status;
  const int fd = open(file.content.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return cannot_write(file, errno);
  const bool written = write_fully(fd, bytes.data(), bytes.size()) == bytes.size();
  const int error = errno;
  if (close(fd) != 0 || !written) return cannot_write(file, written ? errno : error);
  return {};
}

Status commit_whole_file(WholeFile& file, std::span<const FileIdentity> kept,
                         std::span<const std::string> stale) {
  Status status;
  if (file.in_place) {
    // A FIFO without a reader is not waited for: it fails with ENXIO.
    const int fd = file.descriptor >= 0
                       ? file.descriptor
                       : open(file.name.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    bool copied = fd >= 0 && (fd == file.descriptor ||
                              fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0) &&
                  copy_into(file.content, fd);
    const int error = errno;
    if (fd >= 0 && fd != file.descriptor) copied = close(fd) == 0 && copied;
    if (!copied && error == ENXIO) {
      status = failure(kWriteFailed, "could not write %s: a FIFO that no one reads\n",
                       file.name.c_str());
    } else if (!copied) {
      status = cannot_write(file, error);
    }
  } else {
    status = move_into_place(file, kept);
    for (const std::string& f : stale) {
      if (status.ok()) std::remove(f.c_str());
    }
  }
  discard_whole_file(file);
  return status;
}

void discard_whole_file(WholeFile& file) {
  if (file.folder.empty()) return;
  std::error_code error;
  fs::remove_all(file.folder, error);
  forget_folder(file.folder);
  file.folder.clear();
}

void remove_temporaries_on_signals() {
  struct sigaction action {};
  action.sa_handler = remove_folders_and_end;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

}  // namespace kavrix
