// The command line: usage text, output-format switch, exit statuses.
#include <gtest/gtest.h>

#include "app/run.h"
#include "test_util.h"

namespace kavrix {
namespace {

using test::run_tool;

const char kUsageText[] =
    "usage : kavrix <flowaccumulation> <transmisivity> <slope> <outgrid> "
    "[-f:t|s|d]\n"
    "flowaccumulation m2\ntransmissivity m2/h\nslope grad\n\noutgrid ln( "
    "A/(T*tanB))\n\n"
    "-f:t|s|d output format. t=text (with double precision, this is "
    "default), d=double precision, s=single precision\n";

TEST(CommandLine, FewerThanFourArgumentsPrintUsageAndTouchNothing) {
  test::TempDir dir;
  for (auto args : {std::vector<std::string>{},
                    std::vector<std::string>{"a", "t", dir.path("out")}}) {
    test::RunResult r = run_tool(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, kUsageText);
    EXPECT_EQ(r.errors, "");
  }
  EXPECT_FALSE(test::file_exists(dir.path("out")));
}

GridFormat format_of(const std::vector<std::string>& extra) {
  std::vector<std::string> args = {"a", "t", "s", "o"};
  args.insert(args.end(), extra.begin(), extra.end());
  return output_format_from_switch(args);
}

TEST(CommandLine, FormatSwitch) {
  EXPECT_EQ(format_of({}), GridFormat::text);
  EXPECT_EQ(format_of({"-f:d"}), GridFormat::binary_double);
  EXPECT_EQ(format_of({"-f:dx"}), GridFormat::binary_double);
  EXPECT_EQ(format_of({"-f:s"}), GridFormat::binary_single);
  EXPECT_EQ(format_of({"-f:single"}), GridFormat::binary_single);
  EXPECT_EQ(format_of({"x-f:s"}), GridFormat::binary_single);
  EXPECT_EQ(format_of({"-f:t"}), GridFormat::text);
  EXPECT_EQ(format_of({"-f:x"}), GridFormat::text);
  EXPECT_EQ(format_of({"-f:"}), GridFormat::text);
  EXPECT_EQ(format_of({"-F:s"}), GridFormat::text);
  EXPECT_EQ(format_of({"abc"}), GridFormat::text);
  EXPECT_EQ(format_of({"-f:S"}), GridFormat::text);  // case-sensitive
  // The text after the first ':' of the whole argument decides.
  EXPECT_EQ(format_of({"a:d-f:s"}), GridFormat::binary_double);
  EXPECT_EQ(format_of({"y:-f:s"}), GridFormat::text);
  // Only the fifth argument counts.
  EXPECT_EQ(format_of({"-f:t", "-f:d"}), GridFormat::text);
  EXPECT_EQ(format_of({"x", "-f:d"}), GridFormat::text);
}

}  // namespace
}  // namespace kavrix
