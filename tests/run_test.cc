// Whole runs of the built tool: output files byte for byte in each format,
// console output, and the status of each way a run can end.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdio>

#include "index/cell_rule.h"
#include "test_util.h"

namespace kavrix {
namespace {

using test::Grid;
using test::make_grid;
using test::RunResult;

// The index of one cell as the tool computes it, for cellsize 10.
double index_of(double a, double t, double s) {
  if (t <= 0) t = 1e-8;
  if (s <= 1) s = 1;
  return std::log((100.0 * (a + 1)) / t / std::tan(s * kDegreeFactor));
}

std::string g(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

class RunTest : public ::testing::Test {
 protected:
  // Writes A, T and S of 3 x 2 cells: five computed cells and one nodata.
  void SetUp() override {
    a_ = make_grid(3, 2, {0, 9, -9999, 99, 4, 1e6});
    t_ = make_grid(3, 2, {1, 2.5, 1, 0, 3, 0.25});
    s_ = make_grid(3, 2, {45, 10, 3, 0.5, 30, 89.5});
    for (int k = 0; k < 6; ++k) {
      expected_.push_back(a_.cells[k] == -9999
                              ? -9999
                              : index_of(a_.cells[k], t_.cells[k], s_.cells[k]));
    }
  }
  // Writes the three grids with the given writer and runs the tool.
  RunResult run(std::string (*writer)(const Grid&),
                const std::vector<std::string>& extra = {},
                const std::string& input = "") {
    test::write_file(path("A"), writer(a_));
    test::write_file(path("T"), writer(t_));
    test::write_file(path("S"), writer(s_));
    return run_named({path("A"), path("T"), path("S"), path("out")}, extra,
                     input);
  }
  RunResult run_named(std::vector<std::string> args,
                      const std::vector<std::string>& extra = {},
                      const std::string& input = "") {
    args.insert(args.end(), extra.begin(), extra.end());
    return test::run_tool(args, input, dir_.path(""));
  }
  std::string path(const std::string& name) const { return dir_.path(name); }
  std::string out() const { return test::read_file(path("out")); }

  test::TempDir dir_;
  Grid a_, t_, s_;
  std::vector<double> expected_;
};

TEST_F(RunTest, TextOutput) {
  RunResult r = run(test::text_grid);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, "..\n");
  EXPECT_EQ(r.errors, "");
  std::string text =
      "ncols\t3\nnrows\t2\nxll\t0\nyll\t0\ncellsize\t10\nnodata_value\t-9999\n";
  for (int k = 0; k < 6; ++k) text += g(expected_[k]) + (k % 3 == 2 ? "\n" : "\t");
  EXPECT_EQ(out(), text);
  EXPECT_NE(out().find("4.60517\t7.72688\t-9999\n"), std::string::npos);
}

TEST_F(RunTest, DoubleOutputWithStatistics) {
  a_.header[6] = 77;  // A's stored statistics are replaced
  RunResult r = run(test::double_grid, {"-f:d"});
  EXPECT_EQ(r.status, 0);
  std::string bytes = out();
  ASSERT_EQ(bytes.size(), 96u + 6 * 8);
  EXPECT_EQ(test::doubles_at(bytes, 0, 6),
            (std::vector<double>{3, 2, 0, 0, 10, -9999}));
  EXPECT_EQ(test::doubles_at(bytes, 96, 6), expected_);
  // Count, min, max, sum, mean and deviation of the five computed cells,
  // formed from running sums in cell order.
  double sum = 0, sq = 0, lo = expected_[0], hi = expected_[0];
  for (double v : expected_) {
    if (v == -9999) continue;
    sum += v;
    sq += v * v;
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  EXPECT_EQ(test::doubles_at(bytes, 48, 6),
            (std::vector<double>{5, lo, hi, sum, sum / 5,
                                 std::sqrt((sq - sum * sum / 5) / 4)}));
}

TEST_F(RunTest, SingleOutputRoundsEveryValue) {
  RunResult r = run(test::single_grid, {"-f:single"});
  EXPECT_EQ(r.status, 0);
  std::string bytes = out();
  ASSERT_EQ(bytes.size(), 48u + 6 * 4);
  EXPECT_EQ(test::singles_at(bytes, 0, 6),
            (std::vector<double>{3, 2, 0, 0, 10, -9999}));
  // The inputs hold values exact in single precision except T's 2.5 etc.;
  // compute from the widened singles as the tool does.
  for (int k = 0; k < 6; ++k) {
    double a = static_cast<float>(a_.cells[k]);
    double t = static_cast<float>(t_.cells[k]);
    double s = static_cast<float>(s_.cells[k]);
    double v = a == -9999 ? -9999 : index_of(a, t, s);
    EXPECT_EQ(test::singles_at(bytes, 48 + 4 * k, 1)[0], static_cast<float>(v));
  }
  // The statistics of the unrounded values, each then rounded.
  std::vector<double> computed;
  for (int k = 0; k < 6; ++k) {
    double a = static_cast<float>(a_.cells[k]);
    if (a != -9999) {
      computed.push_back(index_of(a, static_cast<float>(t_.cells[k]),
                                  static_cast<float>(s_.cells[k])));
    }
  }
  double sum = 0, sq = 0;
  for (double v : computed) {
    sum += v;
    sq += v * v;
  }
  std::vector<double> stats = {
      5, *std::min_element(computed.begin(), computed.end()),
      *std::max_element(computed.begin(), computed.end()), sum, sum / 5,
      std::sqrt((sq - sum * sum / 5) / 4)};
  for (double& v : stats) v = static_cast<float>(v);
  EXPECT_EQ(test::singles_at(bytes, 24, 6), stats);
}

TEST_F(RunTest, StatisticsAdmitValuesAboveTheSlopeGridsNodataPlusOne) {
  // ln(200 / 72.12 / tan 45) is about 1.02: above A's nodata + 1 (1.0) but
  // not above S's nodata + 1 (1.05), which decides.
  a_ = make_grid(2, 1, {1, 1});
  t_ = make_grid(2, 1, {72.12, 1});
  s_ = make_grid(2, 1, {45, 45});
  a_.header[5] = t_.header[5] = 0;
  s_.header[5] = 0.05;
  double low = index_of(1, 72.12, 45);
  ASSERT_GT(low, 1.0);
  ASSERT_LE(low, 1.05);
  RunResult r = run(test::text_grid, {"-f:d"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(test::doubles_at(out(), 48, 2),
            (std::vector<double>{1, index_of(1, 1, 45)}));
}

TEST_F(RunTest, TextHeaderNumbersWithSixDigits) {
  a_.header[2] = t_.header[2] = s_.header[2] = 3512345.5;
  a_.header[3] = t_.header[3] = s_.header[3] = -0.000012345678;
  a_.header[4] = t_.header[4] = s_.header[4] = 12.3456789;
  RunResult r = run(test::text_grid);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(out().substr(0, 66),
            "ncols\t3\nnrows\t2\nxll\t3.51235e+06\nyll\t-1.23457e-05\n"
            "cellsize\t12.3457\n");
}

TEST_F(RunTest, MixedInputFormatsReadEachInItsOwnFormat) {
  test::write_file(path("A"), test::text_grid(a_));
  test::write_file(path("T"), test::double_grid(t_));
  s_.cells = {45, 10, 3, 0.5, 30, 89.5};  // all exact in single precision
  test::write_file(path("S"), test::single_grid(s_));
  RunResult r = run_named({"A", "T", "S", "out", "-f:d"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(test::doubles_at(out(), 96, 6), expected_);
}

TEST_F(RunTest, NoRowsStillWritesTheStatistics) {
  a_ = t_ = s_ = make_grid(3, 0, {});
  RunResult r = run(test::double_grid, {"-f:d"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, "\n");
  std::string bytes = out();
  ASSERT_EQ(bytes.size(), 96u);
  EXPECT_EQ(test::doubles_at(bytes, 48, 6),
            (std::vector<double>{0, 0, 0, 0, -9999, -9999}));
}

TEST_F(RunTest, OneDotPerRow) {
  a_ = make_grid(1, 20, std::vector<double>(20, 5));
  t_ = make_grid(1, 20, std::vector<double>(20, 1));
  s_ = make_grid(1, 20, std::vector<double>(20, 10));
  RunResult r = run(test::text_grid);
  EXPECT_EQ(r.output, std::string(20, '.') + "\n");
  // A fractional nrows counts its whole part; the header prints it whole.
  a_.header[1] = t_.header[1] = s_.header[1] = 3.9;
  r = run(test::double_grid);
  EXPECT_EQ(r.output, "...\n");
  EXPECT_EQ(out().substr(0, 15), "ncols\t1\nnrows\t3");
  a_.header[1] = t_.header[1] = s_.header[1] = -5.5;  // no row, no error
  EXPECT_EQ(run(test::double_grid).output, "\n");
}

TEST_F(RunTest, HeadersThatDisagree) {
  test::write_file(path("out"), "keep");
  t_.header[0] = 101;
  a_.header[0] = 100;
  s_.header[0] = 100;
  a_.cells = t_.cells = s_.cells = {};
  t_.header[4] = 99;  // a later parameter is not reported
  RunResult r = run(test::text_grid);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.output, "parameter 1 (100.000000) in " + path("A") +
                          " does not match the parameter in " + path("T") +
                          " (101.000000)\n");
  EXPECT_EQ(out(), "keep");

  // Within 0.1 passes, against A alone: T and S may be 0.16 apart.
  SetUp();
  t_.header[2] = 0.08;
  s_.header[2] = -0.08;
  EXPECT_EQ(run(test::text_grid).status, 0);
  s_.header[5] = 0;
  r = run(test::text_grid);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.output, "parameter 6 (-9999.000000) in " + path("A") +
                          " does not match the parameter in " + path("S") +
                          " (0.000000)\n");
}

TEST_F(RunTest, InputsThatCannotBeUsed) {
  test::write_file(path("A"), test::text_grid(a_));
  test::write_file(path("bad"), "NCOLS 3\n");
  RunResult r = run_named({"A", "missing", "bad", "out"});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.output, "could not open input grid missing\n");
  r = run_named({"A", "bad", "missing", "out"});
  EXPECT_EQ(r.status, 98);
  EXPECT_EQ(r.output,
            "could not recognise file format (ascii, single or double) for bad\n");
  test::write_file(path("short"), "ncols 3\nnrows 2\nxll 0\n");
  r = run_named({"A", "short", "missing", "out"});
  EXPECT_EQ(r.status, 7);
  EXPECT_EQ(r.output, "could not read the header of short\n");
  EXPECT_FALSE(test::file_exists(path("out")));
}

TEST_F(RunTest, WideBinaryRowsGoStraightToAndFromTheFile) {
  // Rows of 1100 values are long enough to bypass the stream buffers.
  const int n = 1100;
  std::vector<double> a(2 * n), t(2 * n), s(2 * n);
  for (int k = 0; k < 2 * n; ++k) {
    a[k] = k % 97 == 0 ? -9999 : k;
    t[k] = 0.5 + k % 7;
    s[k] = 2 + k % 80;
  }
  a_ = make_grid(n, 2, a);
  t_ = make_grid(n, 2, t);
  s_ = make_grid(n, 2, s);
  using Writer = std::string (*)(const Grid&);
  const std::pair<Writer, std::string> formats[] = {{test::double_grid, "-f:d"},
                                                    {test::single_grid, "-f:s"}};
  for (const auto& [writer, format] : formats) {
    RunResult r = run(writer, {format});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "..\n");
    const bool doubles = format[3] == 'd';
    std::string bytes = out();
    ASSERT_EQ(bytes.size(), doubles ? 96u + 16 * n : 48u + 8 * n);
    std::vector<double> values = doubles ? test::doubles_at(bytes, 96, 2 * n)
                                         : test::singles_at(bytes, 48, 2 * n);
    for (int k = 0; k < 2 * n; ++k) {
      double expected = a[k] == -9999 ? -9999 : index_of(a[k], t[k], s[k]);
      if (!doubles) expected = static_cast<float>(expected);
      ASSERT_EQ(values[k], expected) << k;
    }
    EXPECT_EQ((doubles ? test::doubles_at(bytes, 48, 1) : test::singles_at(bytes, 24, 1))[0],
              2 * n - 23);  // count: 23 cells of A are nodata

    // A body cut in the second row is reported with what that row got.
    Grid cut = s_;
    cut.cells.resize(n + 700);
    test::write_file(path("S"), writer(cut));
    r = run_named({path("A"), path("T"), path("S"), path("out"), format});
    EXPECT_EQ(r.status, 5);
    EXPECT_EQ(r.output, ".error reading from " + path("S") + " in row 2 (700 values read)\n");
  }
}

TEST_F(RunTest, TextValuesFollowTheStreamNotTheLines) {
  // Six values on one line read as two rows of three; a value per line too.
  test::write_file(path("A"), "ncols 3 nrows 2 xll 0 yll 0 cellsize 10 "
                              "nodata_value -9999 0 9 -9999 99 4 1e6");
  std::string t = test::text_grid(t_);
  test::write_file(path("T"), t.substr(0, t.find("1 2.5")) + "1\n2.5\n1\n0\n3\n0.25\n");
  test::write_file(path("S"), test::text_grid(s_));
  RunResult r = run_named({"A", "T", "S", "out", "-f:d"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(test::doubles_at(out(), 96, 6), expected_);
}

TEST_F(RunTest, LongNamesAreTakenWhole) {
  std::string name(240, 'n');
  test::write_file(path(name), test::text_grid(a_));
  test::write_file(path("T"), test::text_grid(t_));
  test::write_file(path("S"), test::text_grid(s_));
  std::string out_name(200, 'o');
  RunResult r = run_named({name, "T", "S", "no/" + name}, {}, out_name + "\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(test::file_exists(path(out_name)));
  s_.header[1] = 7;
  test::write_file(path("S"), test::text_grid(s_));
  r = run_named({name, "T", "S", "out"});
  EXPECT_EQ(r.output, "parameter 2 (2.000000) in " + name +
                          " does not match the parameter in S (7.000000)\n");
}

}  // namespace
}  // namespace kavrix
