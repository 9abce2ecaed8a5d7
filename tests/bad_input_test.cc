// Bad input through the built tool: grids cut at every byte, sizes that
// cannot be counted, and rows too wide for the memory there is.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "test_util.h"

namespace kavrix {
namespace {

using test::RunResult;
using test::run_tool;

using Encoder = std::function<std::string(const test::Grid&)>;

struct Format {
  const char* name;
  Encoder encode;
};

const Format kFormats[] = {
    {"text", test::text_grid},
    {"double", test::double_grid},
    {"single", test::single_grid},
};

// The last value of each grid reads as a number with any of its last
// characters cut off, so a cut inside it only shortens it.
const test::Grid kGrids[] = {
    test::make_grid(3, 2, {0, 3, 12, 1, 1, 6.25}),
    test::make_grid(3, 2, {1, 0.5, 2, 2, 3, 1.5}),
    test::make_grid(3, 2, {0.5, 5, 30, 45, 10, 7.5}),
};

// Whether a text grid cut to `length` bytes still holds every value.
bool text_holds_every_value(const std::string& text, size_t length) {
  size_t last_value = text.find_last_of(" \n", text.size() - 2) + 1;
  return length > last_value;
}

TEST(CutInput, EveryFormatCutAtEveryByte) {
  test::TempDir dir;
  const std::string names[] = {"a", "t", "s"};
  for (const Format& format : kFormats) {
    int completed = 0;
    std::string whole[3];
    for (int g = 0; g < 3; ++g) whole[g] = format.encode(kGrids[g]);
    for (size_t length = 0; length < whole[0].size(); ++length) {
      // The grid cut is A, T or S in turn; the other two are whole.
      const int cut = static_cast<int>(length % 3);
      SCOPED_TRACE(std::string(format.name) + " " + names[cut] + " cut to " +
                   std::to_string(length) + " bytes");
      for (int g = 0; g < 3; ++g) {
        test::write_file(dir.path(names[g]),
                         g == cut ? whole[g].substr(0, length) : whole[g]);
      }
      std::remove(dir.path("out").c_str());
      RunResult r = run_tool({"a", "t", "s", "out", "-f:d"}, "", dir.path(""));

      const bool complete = std::string(format.name) == "text" &&
                            length < whole[cut].size() &&
                            text_holds_every_value(whole[cut], length);
      if (complete) {
        ++completed;
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(r.output, "..\n");
        EXPECT_EQ(test::read_file(dir.path("out")).size(), 96u + 6 * 8);
      } else {
        // 2: the cut header disagrees; 5: a row is short; 7: the text
        // header is short; 98: too little is left to recognise.
        EXPECT_TRUE(r.status == 2 || r.status == 5 || r.status == 7 ||
                    r.status == 98)
            << r.status << ": " << r.output;
        ASSERT_FALSE(r.output.empty());
        EXPECT_EQ(r.output.back(), '\n');
      }
      EXPECT_EQ(test::read_file(dir.path(names[cut])),
                whole[cut].substr(0, length));
    }
    if (std::string(format.name) == "text") {
      EXPECT_GT(completed, 0);
    }
  }
}

TEST(CutInput, ShortRowNamesTheGridRowAndValues) {
  test::TempDir dir;
  for (const Format& format : kFormats) {
    SCOPED_TRACE(format.name);
    test::write_file(dir.path("a"), format.encode(kGrids[0]));
    test::write_file(dir.path("t"), format.encode(kGrids[1]));
    // S keeps its first row and one value of its second.
    std::string s = format.encode(kGrids[2]);
    size_t keep = 0;
    switch (format.name[0]) {
      case 't': keep = s.find_last_of('\n', s.size() - 2) + 3; break;
      case 'd': keep = 96 + 4 * 8; break;
      case 's': keep = 48 + 4 * 4; break;
    }
    test::write_file(dir.path("s"), s.substr(0, keep));
    RunResult r = run_tool({"a", "t", "s", "out"}, "", dir.path(""));
    EXPECT_EQ(r.status, 5);
    EXPECT_EQ(r.output, ".error reading from s in row 2 (1 values read)\n");
  }
}

// Sizes that cannot serve as counts of a row buffer are refused before
// anything is allocated or the output is opened.
TEST(GridSize, UncountableSizesAreRefused) {
  test::TempDir dir;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double bad[][2] = {
      {-1, 1}, {2.5, 1}, {2147483647, 1}, {1e300, 1}, {nan, 1},
      {3, 2147483648.0}, {3, -2147483649.0}, {3, nan}, {3, 1e300},
  };
  for (const auto& size : bad) {
    SCOPED_TRACE(std::to_string(size[0]) + " x " + std::to_string(size[1]));
    test::Grid grid = test::make_grid(1, 1, {1});
    grid.header[0] = size[0];
    grid.header[1] = size[1];
    const std::string bytes = test::double_grid(grid);
    for (const char* name : {"a", "t", "s"}) test::write_file(dir.path(name), bytes);
    RunResult r = run_tool({"a", "t", "s", "out"}, "", dir.path(""));
    EXPECT_EQ(r.status, 7);
    EXPECT_EQ(r.output, "invalid grid size in a\n");
    EXPECT_FALSE(test::file_exists(dir.path("out")));
  }
}

// A row too wide for the memory there is ends the run with status 8, not a
// crash; the output keeps its header.
TEST(GridSize, RowThatCannotBeAllocated) {
  test::TempDir dir;
  for (double ncols : {2000000000.0, 2147483646.0}) {
    test::Grid grid = test::make_grid(1, 1, {1});
    grid.header[0] = ncols;
    const std::string bytes = test::double_grid(grid);
    for (const char* name : {"a", "t", "s"}) test::write_file(dir.path(name), bytes);
    for (const char* format : {"-f:t", "-f:d", "-f:s"}) {
      SCOPED_TRACE(std::string(format) + " " + std::to_string(ncols));
      RunResult r = test::run_tool_with_memory_limit(
          {dir.path("a"), dir.path("t"), dir.path("s"), dir.path("out"), format},
          size_t{512} << 20);
      EXPECT_EQ(r.status, 8);
      EXPECT_EQ(r.output, "not enough memory for a row of " +
                              std::to_string(static_cast<long>(ncols)) +
                              " values\n");
      EXPECT_TRUE(test::file_exists(dir.path("out")));
    }
  }
}

// A text value longer than the memory there is is not read, and the run
// says which grid and row; it does not crash.
TEST(GridSize, TextValueLongerThanMemory) {
  test::TempDir dir;
  test::Grid grid = test::make_grid(1, 1, {1});
  const std::string whole = test::text_grid(grid);
  test::write_file(dir.path("t"), whole);
  test::write_file(dir.path("s"), whole);
  std::string huge = whole.substr(0, whole.size() - 2);
  huge.append(size_t{80} << 20, '1');
  test::write_file(dir.path("a"), huge);
  huge = std::string();
  RunResult r = test::run_tool_with_memory_limit(
      {dir.path("a"), dir.path("t"), dir.path("s"), dir.path("out")},
      size_t{64} << 20);
  EXPECT_EQ(r.status, 5);
  EXPECT_EQ(r.output, "error reading from " + dir.path("a") +
                          " in row 1 (0 values read)\n");
}

}  // namespace
}  // namespace kavrix
