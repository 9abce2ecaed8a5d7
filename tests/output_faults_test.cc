// Faults at the output end, through the built tool: a full device, an
// output that cannot be opened, and an output that names one of the inputs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>
#include <string>
#include <vector>

#include "test_util.h"

namespace kavrix {
namespace {

using test::RunResult;
using test::run_tool;

const char* const kFormatSwitches[] = {"-f:t", "-f:d", "-f:s"};

// Three agreeing text grids a.asc, t.asc and s.asc of ncols x nrows cells.
void write_inputs(const test::TempDir& dir, int ncols, int nrows) {
  std::vector<double> a, t, s;
  for (int k = 0; k < ncols * nrows; ++k) {
    a.push_back(k % 7);
    t.push_back(0.5 + k % 3);
    s.push_back(2 + k % 40);
  }
  test::write_file(dir.path("a.asc"), test::text_grid(test::make_grid(ncols, nrows, a)));
  test::write_file(dir.path("t.asc"), test::text_grid(test::make_grid(ncols, nrows, t)));
  test::write_file(dir.path("s.asc"), test::text_grid(test::make_grid(ncols, nrows, s)));
}

std::string dots(int rows) { return std::string(static_cast<size_t>(rows), '.') + "\n"; }

TEST(FullDevice, EveryOutputFormatFailsWithAMessage) {
  test::TempDir dir;
  // A small grid fits in the stream's buffer: the failure shows when the
  // statistics are put back, or, for text, when the output is closed.
  write_inputs(dir, 3, 2);
  for (const char* format : kFormatSwitches) {
    SCOPED_TRACE(format);
    RunResult r = run_tool({"a.asc", "t.asc", "s.asc", "/dev/full", format}, "",
                           dir.path(""));
    EXPECT_EQ(r.output, dots(2) + "error writing into /dev/full \n");
    EXPECT_EQ(r.status, std::string(format) == "-f:t" ? 6 : 4);
  }
  // A larger grid fails while its rows are written.
  const std::regex row_failure[] = {
      std::regex(R"(\.+error writing row \d+ in /dev/full\n)"),
      std::regex(R"(\.+error writing row \d+ in /dev/full\n)"),
      std::regex(R"(\.+error writing row \d+, col \d+ in /dev/full\n)"),
  };
  write_inputs(dir, 300, 40);
  for (int f = 0; f < 3; ++f) {
    SCOPED_TRACE(kFormatSwitches[f]);
    RunResult r = run_tool(
        {"a.asc", "t.asc", "s.asc", "/dev/full", kFormatSwitches[f]}, "",
        dir.path(""));
    EXPECT_TRUE(std::regex_match(r.output, row_failure[f])) << r.output;
    EXPECT_EQ(r.status, 6);
  }
}

TEST(FullDevice, UnseekableDoubleOutputFailsOnItsStatistics) {
  test::TempDir dir;
  write_inputs(dir, 3, 2);
  // /dev/stdout is the pipe of the helper: rows go through, the statistics
  // cannot go back into the header.
  RunResult r = run_tool({"a.asc", "t.asc", "s.asc", "/dev/stdout", "-f:d"},
                         "", dir.path(""));
  EXPECT_EQ(r.status, 4);
  EXPECT_NE(r.output.find("error writing into /dev/stdout \n"),
            std::string::npos);
}

// An output name that cannot be opened, and the prompt's three answers.
TEST(OutputPrompt, UnopenableOutputAsksForAnotherName) {
  test::TempDir dir;
  write_inputs(dir, 3, 2);
  test::write_file(dir.path("file"), "a regular file");
  RunResult reference = run_tool({"a.asc", "t.asc", "s.asc", "ref.asc"}, "",
                                 dir.path(""));
  ASSERT_EQ(reference.status, 0);
  const std::string expected = test::read_file(dir.path("ref.asc"));

  for (std::string bad : {"missing/out.asc", "file/out.asc", ""}) {
    SCOPED_TRACE(bad);
    const std::string asked = "error opening output grid " + bad +
                              " \r\nplease enter new output file name: ";
    // A good name: the run goes on under it.
    RunResult good = run_tool({"a.asc", "t.asc", "s.asc", bad},
                              "good.asc\n", dir.path(""));
    EXPECT_EQ(good.status, 0);
    EXPECT_EQ(good.output, asked + "\r\n" + dots(2));
    EXPECT_EQ(test::read_file(dir.path("good.asc")), expected);
    std::remove(dir.path("good.asc").c_str());

    // An empty line, with either line end, and the end of input stop the
    // run with status 1 and nothing more printed.
    for (std::string answer : {"\n", "\r\n", ""}) {
      RunResult stopped = run_tool({"a.asc", "t.asc", "s.asc", bad}, answer,
                                   dir.path(""));
      EXPECT_EQ(stopped.status, 1);
      EXPECT_EQ(stopped.output, asked);
    }
  }
  EXPECT_FALSE(test::file_exists(dir.path("missing")));
  EXPECT_EQ(test::read_file(dir.path("file")), "a regular file");
}

TEST(OutputPrompt, AsksAgainUntilANameOpens) {
  test::TempDir dir;
  write_inputs(dir, 3, 2);
  RunResult r = run_tool({"a.asc", "t.asc", "s.asc", "no/1"},
                         "no/2\ngood.asc\n", dir.path(""));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output,
            "error opening output grid no/1 \r\nplease enter new output file "
            "name: \r\nerror opening output grid no/2 \r\nplease enter new "
            "output file name: \r\n" + dots(2));
}

// Opening an input for writing would destroy it: every way of naming the
// same file is refused, and the input keeps every byte.
TEST(OutputPrompt, OutputNamingAnInputIsRefused) {
  test::TempDir dir;
  write_inputs(dir, 3, 2);
  const std::string inputs[] = {"a.asc", "t.asc", "s.asc"};
  const std::string before[] = {test::read_file(dir.path("a.asc")),
                                test::read_file(dir.path("t.asc")),
                                test::read_file(dir.path("s.asc"))};
  for (int role = 0; role < 3; ++role) {
    const std::string& input = inputs[role];
    ASSERT_EQ(symlink(input.c_str(), dir.path("soft-" + input).c_str()), 0);
    ASSERT_EQ(link(dir.path(input).c_str(), dir.path("hard-" + input).c_str()), 0);
    for (const std::string& alias :
         {input, "./" + input, dir.path(input), "soft-" + input,
          "hard-" + input}) {
      SCOPED_TRACE(alias);
      const std::string refused = "output grid " + alias +
                                  " is also an input grid \r\nplease enter "
                                  "new output file name: ";
      for (const char* format : kFormatSwitches) {
        RunResult r = run_tool({"a.asc", "t.asc", "s.asc", alias, format}, "",
                               dir.path(""));
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.output, refused);
      }
      // The answer at the prompt is checked the same way.
      RunResult r = run_tool({"a.asc", "t.asc", "s.asc", "no/out.asc"},
                   alias + "\nout.asc\n", dir.path(""));
      EXPECT_EQ(r.status, 0);
      EXPECT_EQ(r.output,
                "error opening output grid no/out.asc \r\nplease enter new "
                "output file name: \r\n" + refused + "\r\n" + dots(2));
    }
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(test::read_file(dir.path(inputs[k])), before[k]);
    }
  }
}

}  // namespace
}  // namespace kavrix
