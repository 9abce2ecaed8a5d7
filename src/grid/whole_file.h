// Writing a file that the user names, so that a failed run harms nothing:
// the whole content is made under a temporary name beside the file and
// then renamed over it; a device, a FIFO or a file the process already has
// open on a descriptor is written in place instead. Every command that
// writes a file other than kavrix's own output grid writes it here.
#ifndef KAVRIX_GRID_WHOLE_FILE_H_
#define KAVRIX_GRID_WHOLE_FILE_H_

#include <sys/types.h>

#include <span>
#include <string>
#include <string_view>

#include "base/status.h"
#include "grid/file.h"

namespace kavrix {

/// A file to be written whole, from the name the user gave to the file in
/// place. Owns its temporary folder, which goes with it.
struct WholeFile {
  std::string name;        ///< as the user gave it; messages show it
  std::string path;        ///< the file made or replaced: links followed
  bool exists = false;     ///< the name leads to an existing file
  FileIdentity identity;   ///< of that existing file
  mode_t mode = 0;         ///< its permission bits, kept by the new file
  uid_t owner = 0;
  gid_t group = 0;
  int descriptor = -1;     ///< a descriptor of this process open on it
  bool in_place = false;   ///< a device, FIFO or open descriptor
  std::string folder;      ///< the temporary folder; empty when none
  std::string content;     ///< the name to write the content under

  WholeFile() = default;
  WholeFile(const WholeFile&) = delete;
  WholeFile& operator=(const WholeFile&) = delete;
  ~WholeFile();
};

/// Finds the file that `name` leads to: symbolic links are followed to
/// their end, also to a file that does not exist yet, which is then made
/// there. Refuses a folder, and an existing file that the user may not
/// write. Makes nothing on disk.
Status locate_whole_file(WholeFile& file, const std::string& name);

/// Whether two located files are one: the same existing file by identity,
/// or the same place for a file not made yet.
bool same_whole_file(const WholeFile& a, const WholeFile& b);

/// Makes the temporary folder: beside the file, or in the system's
/// temporary folder for a file written in place. `file.content`, in that
/// folder, is then the name under which a writer makes the content; the
/// writer may make other files in that folder too (a format's side files),
/// which the commit moves beside the file with it.
/// REQUIRES: locate_whole_file(file, ...) succeeded.
Status begin_whole_file(WholeFile& file);

/// Makes the content from `bytes` (begin_whole_file first, if need be).
Status write_whole_file(WholeFile& file, std::string_view bytes);

/// Puts the content in place: renamed over the file with the permissions
/// of the file it replaces, its side files beside it; or, for a file
/// written in place, copied into it through the descriptor that has it
/// open, or through the device or FIFO opened for writing (a FIFO that no
/// one reads fails at once; side files, which have no place there, fail
/// before anything is copied). The old file's `stale` side files that
/// exist (old statistics or overviews that would describe the new file)
/// go with the replacement. Nothing is renamed over or removed that is a
/// file of `kept` or a file the process has open. The renames are one
/// transaction: on failure the file and its old side files are as they
/// were (but for what a device or descriptor took before it failed). The
/// temporary folder goes in every case.
/// REQUIRES: the content was made; what the process holds buffered for
/// the file's descriptor is flushed.
Status commit_whole_file(WholeFile& file, std::span<const FileIdentity> kept = {},
                         std::span<const std::string> stale = {});

/// Removes the temporary folder and all in it, if there is one.
void discard_whole_file(WholeFile& file);

/// Has SIGINT, SIGTERM and SIGHUP remove the temporary folders of the
/// files being made, with all in them, before they end the process; a
/// signal that the process was started with ignored stays ignored.
void remove_temporaries_on_signals();

}  // namespace kavrix

#endif  // KAVRIX_GRID_WHOLE_FILE_H_
