// Runs of kavrix: every message and exit status, output bytes against
// tests/golden/, inputs that stay untouched, grids cut at every byte, and
// grids of extreme shapes and sizes.
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "test_util.h"

namespace kavrix::test {
namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

// Grid g (A, T, S) in its format (A text, T doubles, S singles), header
// field `field` (if any) set to `value`, its first `cells` cells. 5 x 3
// cells of 0.7: cells without data in each grid (A by its own nodata
// -9998.95), T <= 0 and S <= 1 to raise, a zero area (-inf), an obtuse
// slope (NaN), and cells whose last bit shows the order of the products
// and divisions.
std::string mixed(int g, int field = -1, double value = 0, long cells = 15) {
  static const std::vector<double> kCells[3] = {
      {0, 9, -9998.97, 5, 6, 5, 99, 7, 13, 2, -1, 5, 3, 1e6, 4},
      {1, 2.5, 1, -9999, 1, 1, 0, -3, -9998.99, 1.5, 1, 1, NAN, 0.25, 7.1},
      {45, 10, 20, 20, 30, -9999, 0.5, 1, 10, NAN, 5, 135, 20, 89.5, 17.3}};
  Grid grid = make_grid(5, 3, {kCells[g].begin(), kCells[g].begin() + cells});
  grid.header[4] = 0.7;
  grid.header[5] = g == 0 ? -9998.95 : -9999;
  if (field >= 0) grid.header[field] = value;
  return g == 0 ? text_grid(grid) : g == 1 ? double_grid(grid) : single_grid(grid);
}

// Grids a, t and s made by `make`(0, 1, 2).
Files grids(auto make) { return {{"a", make(0)}, {"t", make(1)}, {"s", make(2)}}; }

// All three with header field `field` set to `value`.
Files all(int field, double value) { return grids([=](int g) { return mixed(g, field, value); }); }

// n cells of A = 0, T = 1 and S = 45, all with the same index.
Files equal(int n) {
  return grids([=](int g) { return double_grid(make_grid(n, 1, std::vector<double>(n, g == 0 ? 0 : g == 1 ? 1 : 45))); });
}

// 2200 cells in rows of `ncols` in `encode`'s format, S cut to `s_cells`.
// Rows of 1100 values pass 4 KiB and go straight between file and row
// buffer; rows of 22 go through the stream buffers.
Files wide(int ncols, std::string (*encode)(const Grid&), size_t s_cells = 2200) {
  return grids([=](int g) {
    std::vector<double> cells;
    for (int k = 0; k < 2200; ++k) cells.push_back(g == 0 ? (k % 97 ? k : -9999) : g == 1 ? 0.5 + k % 7 : 2 + k % 80);
    cells.resize(g == 2 ? s_cells : 2200);
    return encode(make_grid(ncols, 2200 / ncols, cells));
  });
}

std::vector<std::string> ats(const std::string& format_switch = "", const std::string& out = "out") {
  return format_switch.empty() ? std::vector<std::string>{"a", "t", "s", out} : std::vector<std::string>{"a", "t", "s", out, format_switch};
}

// The console's input; the exact console output; the golden file of the
// output "out", "" when there must be none; files in place of or besides
// the mixed a, t and s.
struct Case { std::vector<std::string> args; std::string input; int status; std::string console, golden; Files files = {}; };

// The cases, run in folder `dir`.
std::vector<Case> cases(const std::string& dir) {
  const std::string usage =
      "usage : kavrix <flowaccumulation> <transmisivity> <slope> <outgrid> [-f:t|s|d]\nflowaccumulation m2\n"
      "transmissivity m2/h\nslope grad\n\noutgrid ln( A/(T*tanB))\n\n-f:t|s|d output format. t=text (with "
      "double precision, this is default), d=double precision, s=single precision\n";
  const std::string unknown = "could not recognise file format (ascii, single or double) for ", n(240, 'n');
  const std::string ask = " \r\nplease enter new output file name: ", no1 = "error opening output grid no/1" + ask;
  // Six-digit header numbers; S's nodata + 1 keeps the first cell (about
  // 1.02) out of the statistics; values follow the stream, not the lines.
  const Files stream = {{"a", "ncols 2 nrows 1 x 3512345.5 y -0.000012345678 c 10 n 0 1 1"},
                        {"t", "ncols 2\nnrows 1\nx 3512345.5\ny 0\nc 10\nn 0\n72.12\n1\n"},
                        {"s", "ncols 2 nrows 1 x 3512345.5 y 0 c 10 n 0.05\n45 45\n"}};
  std::vector<Case> table = {
      {{}, "", 1, usage, ""},
      {{"a", "t", "out"}, "", 1, usage, ""},
      {{"a", "t", "s", "out", "-f:t", "-f:d"}, "", 0, "...\n", "mixed.asc"},
      {ats(), "", 0, ".\n", "stream.asc", stream},
      {ats("-f:d"), "", 0, ".\n", "stream.dbl", stream},
      {ats("-f:d"), "", 0, "\n", "none.dbl", all(1, 0)},  // statistics of no row
      {ats("-f:s"), "", 0, "\n", "none.sgl", all(1, 0)},
      {ats("-f:d"), "", 0, ".\n", "two.dbl", equal(2)},  // no deviation of two values
      {ats("-f:d"), "", 0, ".\n", "three.dbl", equal(3)},  // rounding takes the squares below 0
      {ats(), "", 0, "\n", "negative.asc", all(1, -5.5)},
      {ats(), "", 0, ".\n", "fraction.asc", all(1, 1.9)},
      {ats(), "", 0, "...\n", "nocols.asc", all(0, 0)},
      {ats(), "", 0, "...\n", "mixed.asc", {{"a", "ncols" + std::string(200000, 'x') + mixed(0).substr(5)}}},
      // A binary grid's nodata is -9999 in its own precision.
      {ats(), "", 0, "...\n", "mixed.asc", {{"s", mixed(2, 5, -9999.0001)}}},
      {ats(), "", 98, unknown + "t\n", "", {{"t", mixed(1, 5, -9999.0001)}}},
      {ats(), "", 98, unknown + "a\n", "", {{"a", ""}}},
      {ats(), "", 98, unknown + "t\n", "", {{"t", "\xEF\xBB\xBF" + mixed(0)}}},
      {ats(), "", 98, unknown + "s\n", "", {{"s", "NCOLS" + mixed(0).substr(5)}}},
      {{"a", "missing", "s", "out"}, "", 3, "could not open input grid missing\n", ""},
      {{"a", "t", ".", "out"}, "", 3, "could not open input grid .\n", ""},
      {ats(), "", 7, "could not read the header of a\n", "", {{"a", "ncols 5\nnrows 3\nxll 0\n"}}},
      {ats(), "", 7, "could not read the header of t\n", "", {{"t", "ncols 5 nrows x xll 0 yll 0 c 1 n 1"}}},
      // Each grid against A, T before S, the first parameter more than 0.1
      // apart; 0.1 passes.
      {ats(), "", 2, "parameter 1 (5.000000) in a does not match the parameter in t (6.000000)\n", "",
       {{"t", mixed(1, 0, 6).replace(32, 8, 8, '\0')}}},
      {ats(), "", 2, "parameter 3 (0.000000) in a does not match the parameter in t (1.000000)\n", "",
       {{"t", mixed(1, 2, 1)}, {"s", mixed(2, 0, 6)}}},
      {ats(), "", 0, "...\n", "mixed.asc", {{"t", mixed(1, 2, 0.1)}, {"s", mixed(2, 3, -0.08)}}},
      {{n, "t", "s", "out"}, "", 2, "parameter 6 (-9998.890000) in " + n +
       " does not match the parameter in t (-9999.000000)\n", "", {{n, mixed(0, 5, -9998.89)}}},
      {ats(), "", 5, ".error reading from a in row 2 (1 values read)\n", "row1.asc", {{"a", mixed(0, -1, 0, 6)}}},
      {ats(), "", 5, ".error reading from t in row 2 (1 values read)\n", "row1.asc", {{"t", mixed(1, -1, 0, 6)}}},
      {ats(), "", 5, ".error reading from s in row 2 (1 values read)\n", "row1.asc", {{"s", mixed(2, -1, 0, 6)}}},
      // An output that cannot be opened, and the answers to the prompt.
      {{"a", "t", "s", "no/" + n}, "out\n", 0, "error opening output grid no/" + n + ask + "\r\n...\n", "mixed.asc"},
      {{"a", "t", "s", "no/1"}, "no/2\nout\r\n", 0, no1 + "\r\nerror opening output grid no/2" + ask + "\r\n...\n", "mixed.asc"},
      {{"a", "t", "s", "no/1"}, "\n", 1, no1, ""},
      {{"a", "t", "s", "no/1"}, "\r\n", 1, no1, ""},
      {{"a", "t", "s", "no/1"}, "", 1, no1, ""},
      // A full device: a small grid fails when the statistics go back, or
      // when the text output is closed.
      {{"a", "t", "s", "/dev/full"}, "", 6, "...\nerror writing into /dev/full \n", ""},
      {{"a", "t", "s", "/dev/full", "-f:d"}, "", 4, "...\nerror writing into /dev/full \n", ""},
      {{"a", "t", "s", "/dev/full", "-f:s"}, "", 4, "...\nerror writing into /dev/full \n", ""},
      // Wide rows give the bytes of narrow rows (checked below), fail on the
      // first row of a full device (after the header of doubles, written at
      // once), and say what a short row got.
      {ats("-f:d"), "", 0, "..\n", "wide.dbl", wide(1100, double_grid)},
      {ats("-f:s"), "", 0, "..\n", "wide.sgl", wide(1100, single_grid)},
      {ats("-f:d"), "", 0, std::string(100, '.') + "\n", "narrow.dbl", wide(22, double_grid)},
      {ats("-f:s"), "", 0, std::string(100, '.') + "\n", "narrow.sgl", wide(22, single_grid)},
      {ats("-f:t", "/dev/full"), "", 6, "error writing row 1 in /dev/full\n", "", wide(1100, double_grid)},
      {ats("-f:d", "/dev/full"), "", 6, "error writing row 1 in /dev/full\n", "", wide(1100, double_grid)},
      {ats("-f:s", "/dev/full"), "", 6, "error writing row 1, col 1 in /dev/full\n", "", wide(1100, single_grid)},
      {ats("-f:d", "/dev/null"), "", 5, ".error reading from s in row 2 (700 values read)\n", "", wide(1100, double_grid, 1800)},
      {ats("-f:s", "/dev/null"), "", 5, ".error reading from s in row 2 (700 values read)\n", "", wide(1100, single_grid, 1800)},
  };
  const Files examples = grids([](int g) {
    return read_file(KAVRIX_EXAMPLES_DIR "/" + std::string(g == 0 ? "flowacc" : g == 1 ? "transmissivity" : "slope") + ".asc");
  });
  for (auto [format_switch, golden] : {std::pair{"-f:t", "example.asc"}, {"-f:d", "example.dbl"}, {"-f:s", "example.sgl"}}) {
    table.push_back({ats(format_switch), "", 0, "........\n", golden, examples});
  }
  for (auto [format_switch, golden] : {std::pair{"", "mixed.asc"}, {"-f:t", "mixed.asc"}, {"-f:d", "mixed.dbl"},
                                       {"-f:s", "mixed.sgl"}, {"-f:dx", "mixed.dbl"}, {"-f:single", "mixed.sgl"},
                                       {"x-f:s", "mixed.sgl"}, {"a:d-f:s", "mixed.dbl"}, {"-f:", "mixed.asc"},
                                       {"-F:s", "mixed.asc"}, {"-f:S", "mixed.asc"}}) {
    table.push_back({ats(format_switch), "", 0, "...\n", golden});
  }
  // Writing an input would destroy it: every name of each is refused, on
  // the command line and at the prompt.
  for (const std::string input : {"a", "t", "s"}) {
    for (const std::string& alias : {input, "./" + input, dir + "/" + input, "soft-" + input, "hard-" + input}) {
      const std::string refused = "output grid " + alias + " is also an input grid" + ask;
      for (const char* format_switch : {"-f:t", "-f:d", "-f:s"}) table.push_back({ats(format_switch, alias), "", 1, refused, ""});
      table.push_back({{"a", "t", "s", "no/out"}, alias + "\nout\n", 0,
                       "error opening output grid no/out" + ask + "\r\n" + refused + "\r\n...\n", "mixed.asc"});
    }
  }
  // Sizes that cannot count a row are refused before the output is opened.
  for (auto [ncols, nrows] : {std::pair{-1.0, 1.0}, {2.5, 1.0}, {2147483647.0, 1.0}, {1e300, 1.0}, {NAN, 1.0},
                              {3.0, 2147483648.0}, {3.0, -2147483649.0}, {3.0, NAN}}) {
    const std::string bytes = double_grid({{ncols, nrows, 0, 0, 10, -9999}, {1}});
    table.push_back({ats(), "", 7, "invalid grid size in a\n", "", {{"a", bytes}, {"t", bytes}, {"s", bytes}}});
  }
  return table;
}

TEST(Run, MessagesStatusesAndOutputs) {
  const TempDir dir;
  const fs::path home = fs::current_path();
  for (const Case& c : cases(dir.path("case"))) {
    SCOPED_TRACE(::testing::PrintToString(c.args) + " answer " + ::testing::PrintToString(c.input));
    fs::create_directory(dir.path("case"));
    fs::current_path(dir.path("case"));
    Files files = grids([](int g) { return mixed(g); });
    for (const auto& [name, bytes] : c.files) files[name] = bytes;
    for (const auto& [name, bytes] : files) write_file(name, bytes);
    for (const std::string name : {"a", "t", "s"}) {
      fs::create_symlink(name, "soft-" + name);
      fs::create_hard_link(name, "hard-" + name);
    }
    const RunResult r = run_here(c.args, c.input);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.output, c.console);
    EXPECT_EQ(fs::exists("out"), !c.golden.empty());
    if (!c.golden.empty()) expect_golden(c.golden, read_file("out"));
    for (const auto& [name, bytes] : files) EXPECT_EQ(read_file(name), bytes) << name;
    fs::current_path(home);
    fs::remove_all(dir.path("case"));
  }
  for (auto [format, skip] : {std::pair{"dbl", 16}, {"sgl", 8}}) {  // all but ncols and nrows
    EXPECT_EQ(read_file(KAVRIX_GOLDEN_DIR "/wide." + std::string(format)).substr(skip),
              read_file(KAVRIX_GOLDEN_DIR "/narrow." + std::string(format)).substr(skip));
  }
}

// Each output format against the index computed here from its formula,
// ln(((A + 1) * cellsize^2) / T / tan(S * 3.141592653 / 180)), T <= 0
// raised to 1e-8 and S <= 1 to 1, a cell with an input at or below -9999
// given -9999; the binary header counts the values above -9998, +inf
// among them, which kavrix-dist, counting finite values only, leaves out.
TEST(Run, OutputsHoldTheIndexOfTheFormula) {
  const std::vector<std::array<double, 3>> cells = {  // A, T, S
      {0, 1, 45}, {9, 2.5, 10}, {99, 0, 0.5}, {3, -3, 1}, {3, 7, 1.000001}, {12, 0.3, 90}, {5, 1, 135},
      {-1, 1, 30}, {1e308, 1, 30}, {-9999, 1, 30}, {-10000, 1, 30}, {4, -9999, 30}, {4, NAN, 30}, {4, 2, -9999}};
  std::vector<double> grid[3], want;
  double count = 0, sum = 0, min = INFINITY, max = -INFINITY;
  for (const auto& [a, t, s] : cells) {
    for (int g = 0; g < 3; ++g) grid[g].push_back(cells[want.size()][g]);
    const double area = (10.0 * 10.0) * (a + 1);
    const double index = std::log(area / (t <= 0 ? 1e-8 : t) / std::tan((s <= 1 ? 1 : s) * 0.017453292516666667));
    want.push_back(a > -9999 && t > -9999 && s > -9999 ? index : -9999);
    if (want.back() > -9998) count += 1, sum += want.back(), min = std::min(min, want.back()), max = std::max(max, want.back());
  }
  const TempDir dir;
  for (int g = 0; g < 3; ++g) write_file(dir.path(std::string(1, "ats"[g])), text_grid(make_grid(int(cells.size()), 1, grid[g])));
  for (const char* format_switch : {"-f:t", "-f:s", "-f:d"}) {
    ASSERT_EQ(run_program(KAVRIX_BINARY, {"a", "t", "s", "out", format_switch}, dir.root).status, 0);
    const std::string out = read_file(dir.path("out"));
    std::string expected;
    char text[64];
    for (const double& v : want) {
      if (format_switch[3] == 't') expected.append(text, std::snprintf(text, 64, "%g%c", v, &v == &want.back() ? '\n' : '\t'));
      if (format_switch[3] == 'd') expected.append(reinterpret_cast<const char*>(&v), 8);
      const float single = static_cast<float>(v);
      if (format_switch[3] == 's') expected.append(reinterpret_cast<const char*>(&single), 4);
    }
    EXPECT_EQ(out.substr(out.size() - expected.size()), expected) << format_switch;
  }
  double header[12];
  std::memcpy(header, read_file(dir.path("out")).data(), sizeof header);  // the last, doubles
  EXPECT_EQ(std::vector<double>(header + 6, header + 11), (std::vector<double>{count, min, max, sum, sum / count}));
  const RunResult dist = run_program(KAVRIX_DIST_BINARY, {"out"}, dir.root);
  EXPECT_NE(dist.output.find("# cells counted " + std::to_string(int(count) - 1) + "\n"), std::string::npos);
}

TEST(Run, GridsCutAtEveryByte) {
  // The last value of each grid still reads as a number when cut short.
  const Grid grids[] = {make_grid(3, 2, {0, 3, 12, 1, 1, 6.25}), make_grid(3, 2, {1, 0.5, 2, 2, 3, 1.5}),
                        make_grid(3, 2, {0.5, 5, 30, 45, 10, 7.5})};
  const TempDir dir;
  const std::set<int> failures = {2, 5, 7, 98};  // disagreeing or short headers, short rows, unknown formats
  for (auto encode : {text_grid, double_grid, single_grid}) {
    int completed = 0;
    for (size_t length = 0; length < encode(grids[0]).size(); ++length) {
      const size_t cut = length % 3;  // A, T or S in turn; the others whole
      const std::string whole = encode(grids[cut]);
      const bool complete = encode == text_grid && length > whole.find_last_of(" \n", whole.size() - 2) + 1;
      for (size_t g = 0; g < 3; ++g) write_file(dir.path(std::string(1, "ats"[g])), encode(grids[g]).substr(0, g == cut ? length : -1));
      fs::remove(dir.path("out"));
      const RunResult r = run_here({dir.path("a"), dir.path("t"), dir.path("s"), dir.path("out"), "-f:d"});
      completed += complete;
      EXPECT_TRUE(complete ? r.status == 0 && r.output == "..\n" && read_file(dir.path("out")).size() == 144
                           : failures.count(r.status) && r.output.ends_with('\n'))
          << r.status << " " << r.output << " for grid " << cut << " cut to " << length;
    }
    EXPECT_EQ(completed > 0, encode == text_grid);
  }
}

// Memory through the built tools: a million rows of one column and a
// million columns of one row run in the memory of a row, and a row or a
// text value larger than the memory there is fails cleanly.
TEST(ExtremeShape, MillionsOfCellsInTheMemoryOfARow) {
  const int million = scaled(1000000);
  for (auto [ncols, nrows] : {std::pair{1, million}, {million, 1}}) {
    for (auto [encode, format_switch] : {std::pair{&text_grid, "-f:t"}, {&double_grid, "-f:d"}, {&single_grid, "-f:s"}}) {
      SCOPED_TRACE(std::to_string(ncols) + " x " + std::to_string(nrows) + " " + format_switch);
      const TempDir dir;
      for (int g = 0; g < 3; ++g) {  // A = 0 but the last cell 99, T = 1, S = 45
        std::vector<double> cells(static_cast<size_t>(million), g == 0 ? 0 : g == 1 ? 1 : 45);
        if (g == 0) cells.back() = 99;
        write_file(dir.path(std::string(1, "ats"[g])), encode(make_grid(ncols, nrows, cells)));
      }
      malloc_trim(0);  // the child's peak memory counts the test's at fork
      const RunResult r = run_program(KAVRIX_BINARY, {"a", "t", "s", "out", format_switch}, dir.root);
      EXPECT_EQ(r.output + std::to_string(r.status), std::string(static_cast<size_t>(nrows), '.') + "\n0");
      // kavrix-dist streams the output in the same bound.
      const RunResult dist = run_program(KAVRIX_DIST_BINARY, {"out"}, dir.root);
      EXPECT_NE(dist.output.find("# cells counted " + std::to_string(million) + "\n"), std::string::npos) << dist.errors;
      const std::string out = read_file(dir.path("out"));
      if (encode == text_grid) {
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 6 + nrows);
        EXPECT_TRUE(out.ends_with(ncols == 1 ? "4.60517\n9.21034\n" : "4.60517\t9.21034\n"));
      } else {
        EXPECT_EQ(out.size(), (encode == double_grid ? 8 : 4) * (12 + static_cast<size_t>(million)));
      }
      // Four rows of doubles and one of singles, and 16 MiB for the rest.
      if (!built_with_address_sanitizer()) {
        EXPECT_LT(std::max(r.peak_rss_kb, dist.peak_rss_kb), 16 * 1024 + 36L * ncols / 1024);
      }
    }
  }
}

TEST(ExtremeShape, RowsAndValuesLargerThanMemory) {
  const TempDir dir;
  for (double ncols : {2000000000.0, 2147483646.0}) {
    for (const char* name : {"a", "t", "s"}) write_file(dir.path(name), double_grid({{ncols, 1, 0, 0, 10, -9999}, {1}}));
    for (const char* format_switch : {"-f:t", "-f:d", "-f:s"}) {
      const RunResult r = run_program(KAVRIX_BINARY, {"a", "t", "s", "out", format_switch}, dir.root, 512 << 20);
      EXPECT_EQ(r.output + std::to_string(r.status), "not enough memory for a row of " + std::to_string(long(ncols)) + " values\n8");
      EXPECT_FALSE(read_file(dir.path("out")).empty());  // with its header
    }
  }
  // A text value of 80 MiB under a limit of 64 MiB is not read.
  const std::string whole = text_grid(make_grid(1, 1, {1}));
  for (const char* name : {"t", "s"}) write_file(dir.path(name), whole);
  write_file(dir.path("a"), whole.substr(0, whole.size() - 2) + std::string(size_t{80} << 20, '1'));
  const RunResult r = run_program(KAVRIX_BINARY, {"a", "t", "s", "out"}, dir.root, size_t{64} << 20);
  EXPECT_EQ(r.output + std::to_string(r.status), "error reading from a in row 1 (0 values read)\n5");
}

}  // namespace
}  // namespace kavrix::test
