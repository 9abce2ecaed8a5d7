// kavrix-vrt in process: the VRT of each grid format against tests/golden/,
// how it names its grid, and its failures. gdal_interop_test opens VRTs in
// GDAL.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <filesystem>

#include "app/vrt_run.h"
#include "test_util.h"

namespace kavrix::test {
namespace {

namespace fs = std::filesystem;

TEST(Vrt, DocumentsAndFailures) {
  TempDir dir;
  const fs::path home = fs::current_path();
  fs::current_path(dir.root);
  fs::create_directories("maps/b");
  fs::create_directory_symlink(dir.path("maps/b"), "link");
  // A corner with more digits than six; numbers that must read back as the
  // same doubles (a cellsize from a single header, the least single).
  Grid grid = make_grid(4, 3, std::vector<double>(12, 1));
  grid.header = {4, 3, 3512345.5, 5401234.25, 12.5, -9999};
  const std::string placed = double_grid(grid);
  write_file("g.dbl", placed);
  write_file("g.sgl", single_grid(grid));
  write_file("short.sgl", single_grid(grid).substr(0, 92));
  grid.header = {4, 3, 0.1, -0.3, static_cast<float>(0.1), -3.4028234663852886e+38};
  write_file("a&b<c>.asc", text_grid(grid));
  for (const auto& [name, bytes] : {std::pair{"short.dbl", placed.substr(0, placed.size() - 8)},  // a cell short
                                    {"flat.dbl", std::string(placed).replace(32, 8, 8, '\0')},  // cellsize 0
                                    {"notes.txt", "NCOLS 3\n"}, {"cut.asc", "ncols 3 nrows 2 xll 0 yll"},
                                    {"none.asc", "ncols 3 nrows 0 xll 0 yll 0 cellsize 1 nodata_value 0\n"},
                                    {"tab\t.dbl", placed}, {"\xff.dbl", placed}}) {  // names XML cannot hold
    write_file(name, bytes);
  }
  mkfifo("g.fifo", 0600);  // GDAL could not read it again: refused, not waited on
  const std::string usage =
      "usage : kavrix-vrt <grid> [<vrt>]\nwrites a GDAL virtual raster (VRT) that opens <grid>, a text, double or\n"
      "single grid of kavrix, at its place on the map; to the file <vrt>, or\nto standard output without it\n";
  // On standard output the grid's name is absolute.
  std::string absolute = read_file(KAVRIX_GOLDEN_DIR "/dbl.vrt");
  absolute.replace(absolute.find("1\">../"), 6, "0\">" + fs::canonical(".").string() + "/");
  const struct { std::vector<std::string> args; int status; std::string out, err; } cases[] = {
      {{"g.dbl", "maps/dbl.vrt"}, 0, "", ""},
      {{"g.sgl", "maps/sgl.vrt"}, 0, "", ""},
      {{"a&b<c>.asc", "maps/asc.vrt"}, 0, "", ""},
      {{dir.path("g.dbl")}, 0, absolute, ""},
      {{"maps/../g.dbl", "link/./g.vrt"}, 0, "", ""},
      {{"--help"}, 0, usage, ""},
      {{}, 1, "", usage},
      {{"g", "v", "x"}, 1, "", usage},
      {{"-f:d", "g"}, 1, "", usage},
      {{""}, 1, "", usage},
      {{"missing.asc"}, 3, "", "could not open input grid missing.asc\n"},
      {{"notes.txt"}, 98, "", "could not recognise file format (ascii, single or double) for notes.txt\n"},
      {{"cut.asc"}, 7, "", "could not read the header of cut.asc\n"},
      {{"none.asc"}, 7, "", "invalid grid size in none.asc\n"},
      {{"flat.dbl"}, 7, "", "invalid cellsize or lower-left corner in flat.dbl\n"},
      {{"short.dbl"}, 5, "", "short.dbl holds fewer cells than its header says (4 x 3)\n"},
      {{"g.fifo"}, 5, "", "cannot read g.fifo a second time: it is not a file that can be read from its start again (a pipe?)\n"},
      {{"short.sgl"}, 5, "", "short.sgl holds fewer cells than its header says (4 x 3)\n"},
      {{"g.dbl", "./g.dbl"}, 1, "", "the VRT ./g.dbl would replace the grid itself\n"},
      {{"tab\t.dbl"}, 1, "", "tab\t.dbl cannot be named in a VRT: its path holds a control character or is not UTF-8\n"},
      {{"\xff.dbl", "maps/x.vrt"}, 1, "", "\xff.dbl cannot be named in a VRT: its path holds a control character or is not UTF-8\n"},
      {{"g.dbl", "none/g.vrt"}, 6, "", "could not write none/g.vrt: No such file or directory\n"},
  };
  for (const auto& c : cases) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    EXPECT_EQ(run_kavrix_vrt(c.args, out, err), c.status) << ::testing::PrintToString(c.args);
    EXPECT_EQ(drain(out) + drain(err), c.out + c.err);
  }
  for (const std::string name : {"dbl", "sgl", "asc"}) expect_golden(name + ".vrt", read_file("maps/" + name + ".vrt"));
  // Through a linked folder and dot segments the name leads to the grid.
  const std::string text = read_file("maps/b/g.vrt");
  const size_t start = text.find("\"1\">") + 4;
  EXPECT_TRUE(fs::equivalent("link/" + text.substr(start, text.find("</Source") - start), "g.dbl")) << text;
  EXPECT_EQ(read_file("g.dbl"), placed);
  fs::current_path(home);
}

}  // namespace
}  // namespace kavrix::test
