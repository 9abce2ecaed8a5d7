#include "distribution/replace_file.h"

#include <chrono>
#include <cstdio>
#include <filesystem>

namespace kavrix {
namespace {

namespace fs = std::filesystem;

Status cannot_write(const PendingFile& file) {
  return failure(kDistWriteFailed, "could not write %s\n", file.target.c_str());
}

// Writes all of `bytes` to `stream`, which may be null, and closes it.
bool write_and_close(std::FILE* stream, const std::string& bytes) {
  if (stream == nullptr) return false;
  const bool written =
      std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
  return std::fclose(stream) == 0 && written;
}

}  // namespace

Status write_pending_file(PendingFile& file, const std::string& bytes) {
  std::error_code error;
  const fs::file_status target = fs::status(file.target, error);  // links followed
  // A folder of that name could not be replaced by a rename.
  if (fs::is_directory(target)) {
    return failure(kDistWriteFailed, "could not write %s: it is a folder\n",
                   file.target.c_str());
  }
  const bool exists = fs::exists(target);
  file.direct = exists && !fs::is_regular_file(target);
  if (file.direct) {
    const bool written = write_and_close(std::fopen(file.target.c_str(), "wb"), bytes);
    return written ? Status{} : cannot_write(file);
  }
  // A symbolic link stays as it is: the file it leads to is replaced.
  file.path = exists ? fs::canonical(file.target, error).string() : file.target;
  if (error) file.path = file.target;
  // A short fresh name in the same folder: "x" opens only a file that does
  // not exist yet.
  const fs::path folder = fs::path(file.path).parent_path();
  const auto clock = static_cast<unsigned long long>(
      std::chrono::steady_clock::now().time_since_epoch().count());
  std::FILE* stream = nullptr;
  for (unsigned attempt = 0; attempt < 16 && stream == nullptr; ++attempt) {
    file.temporary =
        (folder / (".kavrix-dist." + std::to_string((clock + attempt) % 1000000)))
            .string();
    stream = std::fopen(file.temporary.c_str(), "wbx");
  }
  if (stream == nullptr) file.temporary.clear();
  if (!write_and_close(stream, bytes)) {
    discard_pending_file(file);
    return cannot_write(file);
  }
  if (exists) fs::permissions(file.temporary, target.permissions(), error);
  return {};
}

Status commit_pending_file(PendingFile& file) {
  if (file.direct) return {};
  if (std::rename(file.temporary.c_str(), file.path.c_str()) != 0) {
    discard_pending_file(file);
    return cannot_write(file);
  }
  file.temporary.clear();
  return {};
}

void discard_pending_file(PendingFile& file) {
  if (!file.temporary.empty()) std::remove(file.temporary.c_str());
  file.temporary.clear();
}

}  // namespace kavrix
