// Files that replace an existing file of the same name only once complete.
#ifndef KAVRIX_DISTRIBUTION_REPLACE_FILE_H_
#define KAVRIX_DISTRIBUTION_REPLACE_FILE_H_

#include <string>

#include "base/status.h"

namespace kavrix {

/// A file written under a temporary name beside the file it replaces.
struct PendingFile {
  std::string target;     ///< the name given, as messages show it
  std::string path;       ///< the file replaced: the target, a link followed
  std::string temporary;  ///< empty when no temporary file exists
  bool direct = false;    ///< a device or FIFO, written in place
};

/// Writes `bytes` to a new temporary file in the folder of `file.target`
/// (of the file it leads to, for a symbolic link), with the mode of the
/// file it replaces. A device or FIFO cannot be replaced and takes the
/// bytes at once. On failure nothing is left behind and the status is 6.
Status write_pending_file(PendingFile& file, const std::string& bytes);

/// Renames the temporary file over the file it replaces. On failure the
/// temporary file is removed and the status is 6.
/// REQUIRES: write_pending_file(file, ...) succeeded.
Status commit_pending_file(PendingFile& file);

/// Removes the temporary file, if there is one.
void discard_pending_file(PendingFile& file);

}  // namespace kavrix

#endif  // KAVRIX_DISTRIBUTION_REPLACE_FILE_H_
