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

// How deep a signal empties a temporary folder: a format may write a
// folder of its own there, of chunks in folders a few levels deep.
constexpr int kMostDepth = 16;

// Empties the folder open on descriptor `dir`, its folders first, with
// calls that are safe in a signal handler: no allocation, one buffer of
// entries on the stack for each level.
void empty_folder(int dir, int depth) {
  alignas(dirent64) char entries[4096];
  // Removing entries while the folder is read may move the others past the
  // point read: it is read again from its start until nothing goes.
  for (bool removed = true; removed;) {
    removed = false;
    lseek(dir, 0, SEEK_SET);
    for (ssize_t got; (got = getdents64(dir, entries, sizeof entries)) > 0;) {
      for (ssize_t at = 0; at < got;) {
        const auto* entry = reinterpret_cast<const dirent64*>(entries + at);
        at += entry->d_reclen;
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
        if (unlinkat(dir, name, 0) == 0) {
          removed = true;
          continue;
        }
        if (errno != EISDIR || depth >= kMostDepth) continue;
        const int sub = openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub < 0) continue;
        empty_folder(sub, depth + 1);
        close(sub);
        removed = unlinkat(dir, name, AT_REMOVEDIR) == 0 || removed;
      }
    }
  }
}

// Empties and removes the pending folders, then ends the process of the
// signal as it would have.
extern "C" void remove_folders_and_end(int signal) {
  for (const char* folder : pending_folders) {
    if (folder[0] == '\0') continue;
    const int dir = open(folder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0) continue;
    empty_folder(dir, 1);
    close(dir);
    rmdir(folder);
  }
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// The signals that end a run and take its temporary folders along.
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

sigset_t ending_signals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kEndingSignals) sigaddset(&set, signal);
  return set;
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

// A rename done in a commit, undone by renaming `to` back to `from`.
struct Step {
  std::string from, to;
};

// Renames `from` to `to` and notes it in `done`; false, with errno set,
// when the rename fails.
bool rename_noted(const std::string& from, const std::string& to, std::vector<Step>& done) {
  if (std::rename(from.c_str(), to.c_str()) != 0) return false;
  done.push_back({from, to});
  return true;
}

// Moves what `path` names, if anything, into folder `aside` (a backup, to
// be put back if the commit fails). A folder is no file of the format and
// stays unless `folders_too`; a rename over it then fails on its own.
bool move_aside(const std::string& path, const std::string& aside, bool folders_too,
                std::vector<Step>& done) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return errno == ENOENT || errno == ENOTDIR;
  if (S_ISDIR(info.st_mode) && !folders_too) return true;
  return rename_noted(path, aside + "/" + std::to_string(done.size()), done);
}

// The file and its side files, renamed from the temporary folder beside
// the file, and the old file's `stale` side files moved out of the way, as
// one transaction: old files that would be replaced are moved aside into
// the temporary folder first, and a step that fails undoes all done before
// it. The file itself goes last, so that no new file stands without its
// side files. None may replace or remove a file in `kept` or one the
// process has open (a source that an input opened only as it was read):
// all are checked before any moves.
Status move_into_place(WholeFile& file, std::span<const FileIdentity> kept,
                       std::span<const std::string> stale) {
  std::vector<FileIdentity> guarded(kept.begin(), kept.end());
  const std::vector<OpenDescriptor> open = open_descriptors();
  std::transform(open.begin(), open.end(), std::back_inserter(guarded),
                 [](const OpenDescriptor& d) { return d.identity; });
  const fs::path home = fs::path(file.path).parent_path();
  std::vector<std::pair<std::string, std::string>> moves;
  std::error_code error;
  for (const fs::directory_entry& side : fs::directory_iterator(file.folder, error)) {
    if (side.path() != file.content) moves.emplace_back(side.path(), home / side.path().filename());
  }
  if (error) return cannot_write(file, error.value());
  moves.emplace_back(file.content, file.path);
  for (const auto& [from, to] : moves) {
    if (names_one_of(to, guarded)) {
      return failure(kWriteFailed, "could not write %s: it would replace %s, which is read\n",
                     file.name.c_str(), to.c_str());
    }
  }
  const auto guarded_one = std::find_if(stale.begin(), stale.end(), [&](const std::string& old) {
    return names_one_of(old, guarded);
  });
  if (guarded_one != stale.end()) {
    return failure(kWriteFailed, "could not write %s: it would remove %s, which is read\n",
                   file.name.c_str(), guarded_one->c_str());
  }
  if (file.exists) {
    // The owner is kept only where the process may give files away.
    [[maybe_unused]] const int owned = chown(file.content.c_str(), file.owner, file.group);
    chmod(file.content.c_str(), file.mode);
  }
  // Made after the folder was listed: no file of the format.
  std::string aside = file.folder + "/.old-XXXXXX";
  if (mkdtemp(aside.data()) == nullptr) return cannot_write(file, errno);
  // A stale file that is also made anew is moved aside as stale: the new
  // one then takes its place.
  std::vector<Step> done;
  bool moved = std::all_of(stale.begin(), stale.end(), [&](const std::string& old) {
    return move_aside(old, aside, true, done);
  });
  for (auto move = moves.begin(); moved && move != moves.end(); ++move) {
    moved = move_aside(move->second, aside, false, done) &&
            rename_noted(move->first, move->second, done);
  }
  if (moved) return {};
  const int failed = errno;
  for (auto step = done.rbegin(); step != done.rend(); ++step) {
    std::rename(step->to.c_str(), step->from.c_str());
  }
  return cannot_write(file, failed);
}

// The names of the files in the temporary folder besides the content, in
// order, separated by ", ".
std::string side_file_names(const WholeFile& file) {
  std::vector<std::string> names;
  std::error_code error;
  for (const fs::directory_entry& side : fs::directory_iterator(file.folder, error)) {
    if (side.path() != file.content) names.push_back(side.path().filename());
  }
  std::sort(names.begin(), names.end());
  std::string list;
  for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
  return list;
}

// Copies the content into the device, FIFO or descriptor. A format's side
// files have no place there: they are refused before anything is copied.
Status copy_in_place(const WholeFile& file) {
  const std::string sides = side_file_names(file);
  if (!sides.empty()) {
    return failure(kWriteFailed,
                   "could not write %s: the format writes side files (%s), which a device "
                   "or descriptor cannot take\n",
                   file.name.c_str(), sides.c_str());
  }
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
    return failure(kWriteFailed, "could not write %s: a FIFO that no one reads\n",
                   file.name.c_str());
  }
  return copied ? Status{} : cannot_write(file, error);
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
  if (file.in_place) {
    // A copy into a FIFO may wait for its reader: a signal ends it there.
    Status status = copy_in_place(file);
    discard_whole_file(file);
    return status;
  }
  // A signal in the middle of the renames would take the old files moved
  // aside along with the folder: it waits until the folder holds only what
  // may go.
  const sigset_t ending = ending_signals();
  sigset_t before;
  pthread_sigmask(SIG_BLOCK, &ending, &before);
  Status status = move_into_place(file, kept, stale);
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
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
  action.sa_mask = ending_signals();
  for (int signal : kEndingSignals) {
    // A signal ignored when the process started stays ignored, as a user
    // of nohup, or a shell that starts a job in the background, expects.
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
}

}  // namespace kavrix
