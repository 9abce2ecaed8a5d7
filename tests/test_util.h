// Helpers shared by the tests: a temporary folder, grid files of each
// format, golden files, and runs of the tool, in process or as a child, with
// the console captured.
#ifndef KAVRIX_TESTS_TEST_UTIL_H_
#define KAVRIX_TESTS_TEST_UTIL_H_

#include <array>
#include <cstdio>
#include <string>
#include <vector>

namespace kavrix::test {

/// A fresh folder, removed with everything in it when the object goes.
struct TempDir {
  TempDir();
  ~TempDir();
  std::string path(const std::string& name) const { return root + "/" + name; }
  std::string root;
};

void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);  // empty if unreadable
std::string drain(std::FILE* file);              // all written to it; closes it

/// Expects `bytes` to be tests/golden/`name`; KAVRIX_WRITE_GOLDEN=1 in the
/// environment writes them there instead.
void expect_golden(const std::string& name, const std::string& bytes);

/// ncols, nrows, xll, yll, cellsize, nodata, six statistics; the cells.
struct Grid {
  std::array<double, 12> header{};
  std::vector<double> cells;
};
/// ncols x nrows cells of 10 at the origin, nodata -9999.
Grid make_grid(int ncols, int nrows, std::vector<double> cells);
std::string text_grid(const Grid& grid);  // values printed with %.17g
std::string double_grid(const Grid& grid);
std::string single_grid(const Grid& grid);

struct RunResult {
  int status = -1;       // exit status; -1 when the child did not exit
  std::string output;    // standard output: the console
  std::string errors;    // error stream
  long peak_rss_kb = 0;  // a child's peak memory, with the test's at fork
};

/// Runs kavrix in this process with `input` on its console.
RunResult run_here(const std::vector<std::string>& args, const std::string& input = "");

/// Runs `program` in folder `cwd`, in a process group of its own. A child
/// still running after 60 s is killed and a sanitizer report on its error
/// stream fails the test. When the child has ended, what it started and
/// left running in its group is killed. With a `memory_limit`, larger
/// allocations fail in the child.
RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                      const std::string& cwd = ".", size_t memory_limit = 0);

/// Whether AddressSanitizer is built in: its memory figures mean nothing.
bool built_with_address_sanitizer();

/// `count` times KAVRIX_TEST_SCALE (default 1), at least 1.
int scaled(int count);

}  // namespace kavrix::test

#endif  // KAVRIX_TESTS_TEST_UTIL_H_
