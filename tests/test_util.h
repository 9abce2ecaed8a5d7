// Helpers shared by the tests: temporary folders, grid files of each
// format, and runs of the built tool with its console captured.
#ifndef KAVRIX_TESTS_TEST_UTIL_H_
#define KAVRIX_TESTS_TEST_UTIL_H_

#include <array>
#include <string>
#include <vector>

namespace kavrix::test {

/// A fresh folder, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  /// The path of `name` inside the folder.
  std::string path(const std::string& name) const;

 private:
  std::string root_;
};

/// Writes `bytes` to the file at `path`, replacing it.
void write_file(const std::string& path, const std::string& bytes);

/// The whole content of the file at `path`; empty if it cannot be read.
std::string read_file(const std::string& path);

/// Whether a file exists at `path`.
bool file_exists(const std::string& path);

/// A grid in memory: the twelve header values and the cells row by row.
struct Grid {
  std::array<double, 12> header{};  // ncols, nrows, xll, yll, cellsize, nodata, stats
  std::vector<double> cells;
};

/// A grid of ncols x nrows with the given cells and cellsize 10, origin 0,
/// nodata -9999.
Grid make_grid(int ncols, int nrows, std::vector<double> cells);

/// The grid as a text grid; values printed with %.17g.
std::string text_grid(const Grid& grid);

/// The grid as a binary double grid.
std::string double_grid(const Grid& grid);

/// The grid as a binary single grid (values rounded to single precision).
std::string single_grid(const Grid& grid);

/// Doubles stored in `bytes` from `offset`, `count` of them.
std::vector<double> doubles_at(const std::string& bytes, size_t offset,
                               size_t count);

/// Singles stored in `bytes` from `offset`, widened.
std::vector<double> singles_at(const std::string& bytes, size_t offset,
                               size_t count);

/// What a run of the built tool did.
struct RunResult {
  int status = -1;         ///< exit status; -1 when it did not exit normally
  std::string output;      ///< everything it wrote on standard output
  std::string errors;      ///< everything it wrote on the error stream
  long peak_rss_kb = 0;    ///< the most memory the run held, in KiB, counting
                           ///< the test's own when the tool was started
};

/// Runs `program` (a path, or a name looked up on PATH) with `args` in
/// folder `cwd`, feeding `input` on standard input (closed after it). A
/// sanitizer report on the error stream fails the current test.
RunResult run_program(const std::string& program,
                      const std::vector<std::string>& args,
                      const std::string& input = "",
                      const std::string& cwd = ".");

/// Runs the built kavrix, as run_program does.
RunResult run_tool(const std::vector<std::string>& args,
                   const std::string& input = "", const std::string& cwd = ".");

/// Runs the built kavrix-vrt, as run_program does.
RunResult run_vrt_tool(const std::vector<std::string>& args,
                       const std::string& cwd = ".");

/// Whether an executable named `name` is on PATH.
bool on_path(const std::string& name);

/// Like run_tool, with no allocation of more than `memory_limit` bytes
/// succeeding in the tool: its address space is limited to that, or, in a
/// build with AddressSanitizer (which needs a vast address space), its
/// allocator refuses single allocations larger than that.
RunResult run_tool_with_memory_limit(const std::vector<std::string>& args,
                                     size_t memory_limit);

/// Whether the tests and the tool are built with AddressSanitizer, whose
/// shadow memory and quarantine make memory figures meaningless.
bool built_with_address_sanitizer();

/// `count` scaled by the factor in KAVRIX_TEST_SCALE (default 1), so that
/// slow builds can run large tests smaller; never below 1.
int scaled(int count);

}  // namespace kavrix::test

#endif  // KAVRIX_TESTS_TEST_UTIL_H_
