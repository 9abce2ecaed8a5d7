// A file written whole, directly: the renames of a commit as one
// transaction with the old side files that go, the side files that a
// device cannot take, and the temporary folder that a signal takes along
// unless the signal was ignored from the start.
#include "grid/whole_file.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <map>

#include "test_util.h"

namespace kavrix {
namespace {

namespace fs = std::filesystem;

// Every file and folder under `root` by its path there, a file with its
// content.
std::map<std::string, std::string> listing(const std::string& root) {
  std::map<std::string, std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    found[fs::relative(entry.path(), root)] = entry.is_directory() ? "folder" : test::read_file(entry.path());
  }
  return found;
}

TEST(WholeFile, ACommitReplacesTheFileAndItsSideFilesAllOrNone) {
  // The old file "out" has side files out.hdr, out.ovr and out.aux.xml; a
  // folder out.d stands beside it. The new content is "new", with the side
  // files `made` beside it (each "new NAME"), in place of `target`.
  struct Case {
    const char* what;
    std::vector<std::string> made, stale;
    const char* kept;  // a file the run reads, or ""
    int status;
    std::string message;
    const char* target = "out";
  } cases[] = {
      {"side files first, then the file; stale ones go", {"out.hdr", "out.idx"}, {"out.ovr", "out.aux.xml", "none"}, "", 0, ""},
      {"a stale file made anew is the new one", {"out.hdr"}, {"out.hdr", "out.ovr"}, "", 0, ""},
      {"a side file that cannot replace a folder undoes all", {"out.hdr", "out.d", "out.idx"}, {"out.ovr"}, "", 6, "could not write out: Is a directory\n"},
      {"a side file would replace a file read", {"out.hdr"}, {}, "out.hdr", 6, "could not write out: it would replace out.hdr, which is read\n"},
      {"a stale file is read", {"out.hdr"}, {"out.ovr"}, "out.ovr", 6, "could not write out: it would remove out.ovr, which is read\n"},
      {"a device takes no side files", {"content.hdr", "content.aux"}, {}, "", 6,
       "could not write /dev/null: the format writes side files (content.aux, content.hdr), which a device or descriptor cannot take\n", "/dev/null"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const test::TempDir dir;
    for (const char* old : {"out", "out.hdr", "out.ovr", "out.aux.xml", "out.d/f"}) {
      fs::create_directories(fs::path(dir.path(old)).parent_path());
      test::write_file(dir.path(old), "old " + std::string(old));
    }
    std::map<std::string, std::string> expected = listing(dir.root);
    const fs::path cwd = fs::current_path();
    fs::current_path(dir.root);
    std::vector<FileIdentity> kept;
    struct stat info {};
    if (stat(c.kept, &info) == 0) kept.push_back(identity_from(info));
    WholeFile file;
    ASSERT_TRUE(locate_whole_file(file, c.target).ok());
    ASSERT_TRUE(write_whole_file(file, "new").ok());
    for (const std::string& side : c.made) test::write_file(file.folder + "/" + side, "new " + side);
    const Status status = commit_whole_file(file, kept, c.stale);
    fs::current_path(cwd);
    EXPECT_EQ(status.exit_status, c.status);
    EXPECT_EQ(status.message, c.message);
    if (c.status == 0) {
      for (const std::string& old : c.stale) expected.erase(old);
      for (const std::string& side : c.made) expected[side] = "new " + side;
      expected["out"] = "new";
    }
    EXPECT_EQ(listing(dir.root), expected);
  }
}

TEST(WholeFile, ASignalTakesTheTemporaryFolderAlongUnlessIgnoredFromTheStart) {
  for (const auto& [signal, ignored] : {std::pair{SIGTERM, false}, {SIGINT, false}, {SIGHUP, true}, {SIGINT, true}}) {
    SCOPED_TRACE(std::to_string(signal) + (ignored ? " ignored" : ""));
    const test::TempDir dir;
    const pid_t child = fork();
    if (child == 0) {
      // A format's folder of chunks, a few levels deep, beside the content.
      if (ignored) std::signal(signal, SIG_IGN);
      WholeFile file;
      locate_whole_file(file, dir.path("out"));
      write_whole_file(file, "new");
      for (const char* chunk : {"/out.zarr/.zarray", "/out.zarr/0/0/0", "/out.zarr/0/0/1", "/out.zarr/1/0"}) {
        fs::create_directories(fs::path(file.folder + chunk).parent_path());
        test::write_file(file.folder + chunk, "chunk");
      }
      remove_temporaries_on_signals();
      std::raise(signal);
      _exit(fs::exists(file.folder + "/out.zarr/1/0") ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(ignored ? WIFEXITED(status) && WEXITSTATUS(status) == 0 : WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.root), {}), ignored ? 1 : 0);
  }
}

}  // namespace
}  // namespace kavrix
