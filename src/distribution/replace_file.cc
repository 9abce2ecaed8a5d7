#include "distribution/replace_file.h"

#include <chrono>
#include <cstdio>
#include <filesystem>

namespace kavrix {
namespace {

Status cannot_write(const PendingFile& file) {
  return failure(kDistWriteFailed, "could not write %s\n", file.target.c_str());
}

}  // namespace

Status write_pending_file(PendingFile& file, const std::string& bytes) {
  std::error_code error;
  // A folder of that name could not be replaced by a rename.
  if (std::filesystem::is_directory(file.target, error)) {
    return failure(kDistWriteFailed, "could not write %s: it is a folder\n",
                   file.target.c_str());
  }
  // A fresh name: "x" opens only a file that does not exist yet.
  const auto clock = static_cast<unsigned long long>(
      std::chrono::steady_clock::now().time_since_epoch().count());
  std::FILE* stream = nullptr;
  for (unsigned attempt = 0; attempt < 16 && stream == nullptr; ++attempt) {
    file.temporary =
        file.target + ".tmp" + std::to_string((clock + attempt) % 1000000);
    stream = std::fopen(file.temporary.c_str(), "wbx");
  }
  if (stream == nullptr) {
    file.temporary.clear();
    return cannot_write(file);
  }
  bool written =
      std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
  written = std::fclose(stream) == 0 && written;
  if (!written) {
    discard_pending_file(file);
    return cannot_write(file);
  }
  return {};
}

Status commit_pending_file(PendingFile& file) {
  if (std::rename(file.temporary.c_str(), file.target.c_str()) != 0) {
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
