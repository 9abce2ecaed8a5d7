// Grids of extreme shapes, one column of a million rows and a million
// columns of one row, in every format: the run finishes, its output is
// whole, and its memory follows the width of a row, not the grid's size.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "test_util.h"

namespace kavrix {
namespace {

struct Shape {
  int ncols;
  int nrows;
};

struct Format {
  const char* name;
  const char* format_switch;
  std::string (*encode)(const test::Grid&);
};

const Format kFormats[] = {
    {"text", "-f:t", test::text_grid},
    {"double", "-f:d", test::double_grid},
    {"single", "-f:s", test::single_grid},
};

// Memory a run needs besides its rows: program, libraries, stream buffers.
constexpr long kBaseKiB = 16 * 1024;

// Writes grids a, t and s of `shape` in `format`: A = 0 everywhere but the
// last cell; T = 1; S = 45 degrees, so every index is ln(cellsize^2) but the
// last one's. They are made in a child process, so that nothing of them
// stays in the test's memory: the peak memory of a run counts the test's
// own at the moment it starts the tool.
void write_grids(const test::TempDir& dir, const Shape& shape,
                 const Format& format) {
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child > 0) {
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    return;
  }
  const size_t cells = static_cast<size_t>(shape.ncols) * shape.nrows;
  std::vector<double> values(cells, 0.0);
  values.back() = 99;
  test::write_file(dir.path("a"), format.encode(test::make_grid(shape.ncols, shape.nrows, values)));
  values.assign(cells, 1.0);
  test::write_file(dir.path("t"), format.encode(test::make_grid(shape.ncols, shape.nrows, values)));
  values.assign(cells, 45.0);
  test::write_file(dir.path("s"), format.encode(test::make_grid(shape.ncols, shape.nrows, std::move(values))));
  _exit(0);
}

void run_shape(const Shape& shape) {
  test::TempDir dir;
  const size_t cells = static_cast<size_t>(shape.ncols) * shape.nrows;
  for (const Format& format : kFormats) {
    SCOPED_TRACE(std::string(format.name) + " " + std::to_string(shape.ncols) +
                 " x " + std::to_string(shape.nrows));
    write_grids(dir, shape, format);
    if (::testing::Test::HasFatalFailure()) return;
    test::RunResult r = test::run_tool(
        {"a", "t", "s", "out", format.format_switch}, "", dir.path(""));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.size(), static_cast<size_t>(shape.nrows) + 1);

    const std::string out = test::read_file(dir.path("out"));
    if (format.name[0] == 't') {
      // The header's six lines, then one line per row, the last row last.
      size_t lines = 0;
      for (char c : out) lines += c == '\n';
      EXPECT_EQ(lines, 6u + static_cast<size_t>(shape.nrows));
      EXPECT_EQ(out.substr(out.size() - 8), "9.21034\n");
    } else {
      const size_t header = format.name[0] == 'd' ? 96 : 48;
      const size_t value = format.name[0] == 'd' ? 8 : 4;
      ASSERT_EQ(out.size(), header + value * cells);
      std::vector<double> stats = value == 8 ? test::doubles_at(out, 48, 6)
                                             : test::singles_at(out, 24, 6);
      EXPECT_EQ(stats[0], static_cast<double>(cells));
    }

    // Four rows of doubles and one of singles, whatever the row count.
    const long rows_kib = (4 * 8 + 4) * static_cast<long>(shape.ncols) / 1024;
    if (!test::built_with_address_sanitizer()) {
      EXPECT_LT(r.peak_rss_kb, kBaseKiB + rows_kib);
    }
  }
}

TEST(ExtremeShape, OneColumnOfAMillionRows) {
  run_shape({1, test::scaled(1000000)});
}

TEST(ExtremeShape, AMillionColumnsOfOneRow) {
  run_shape({test::scaled(1000000), 1});
}

}  // namespace
}  // namespace kavrix
