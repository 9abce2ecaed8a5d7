// kavrix-vrt: the VRT documents for each grid format, how they name their
// grid, and the command's failures. Opening the VRTs in GDAL is
// gdal_interop_test's part.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>

#include "gis/vrt.h"
#include "test_util.h"

namespace kavrix {
namespace {

namespace fs = std::filesystem;
using test::run_vrt_tool;

// 4 x 3 cells of 12.5 whose corner needs more than six digits.
GridHeader placed_header() {
  GridHeader h;
  h.ncols = 4;
  h.nrows = 3;
  h.xll = 3512345.5;
  h.yll = 5401234.25;
  h.cellsize = 12.5;
  h.nodata_value = -9999;
  return h;
}

TEST(MakeVrt, BinaryDoubleGridIsARawBandBehindTheHeader) {
  EXPECT_EQ(
      make_vrt(placed_header(), GridFormat::binary_double, {"out.dbl", true}),
      "<VRTDataset rasterXSize=\"4\" rasterYSize=\"3\">\n"
      "  <GeoTransform>3512345.5, 12.5, 0, 5401271.75, 0, -12.5"
      "</GeoTransform>\n"
      "  <VRTRasterBand dataType=\"Float64\" band=\"1\" "
      "subClass=\"VRTRawRasterBand\">\n"
      "    <NoDataValue>-9999</NoDataValue>\n"
      "    <SourceFilename relativeToVRT=\"1\">out.dbl</SourceFilename>\n"
      "    <ImageOffset>96</ImageOffset>\n"
      "    <PixelOffset>8</PixelOffset>\n"
      "    <LineOffset>32</LineOffset>\n"
      "    <ByteOrder>LSB</ByteOrder>\n"
      "  </VRTRasterBand>\n"
      "</VRTDataset>\n");
}

TEST(MakeVrt, BinarySingleGridHasFourByteCells) {
  const std::string vrt =
      make_vrt(placed_header(), GridFormat::binary_single, {"/d/o.sgl", false});
  EXPECT_NE(vrt.find("dataType=\"Float32\""), std::string::npos);
  EXPECT_NE(vrt.find("<SourceFilename relativeToVRT=\"0\">/d/o.sgl<"),
            std::string::npos);
  EXPECT_NE(vrt.find("<ImageOffset>48</ImageOffset>\n"
                     "    <PixelOffset>4</PixelOffset>\n"
                     "    <LineOffset>16</LineOffset>"),
            std::string::npos);
}

TEST(MakeVrt, TextGridGoesThroughTheAsciiReaderAsFloat64) {
  EXPECT_EQ(
      make_vrt(placed_header(), GridFormat::text, {"../out.asc", true}),
      "<VRTDataset rasterXSize=\"4\" rasterYSize=\"3\">\n"
      "  <GeoTransform>3512345.5, 12.5, 0, 5401271.75, 0, -12.5"
      "</GeoTransform>\n"
      "  <VRTRasterBand dataType=\"Float64\" band=\"1\">\n"
      "    <NoDataValue>-9999</NoDataValue>\n"
      "    <SimpleSource>\n"
      "      <SourceFilename relativeToVRT=\"1\">../out.asc</SourceFilename>\n"
      "      <OpenOptions><OOI key=\"DATATYPE\">Float64</OOI></OpenOptions>\n"
      "      <SourceBand>1</SourceBand>\n"
      "      <SrcRect xOff=\"0\" yOff=\"0\" xSize=\"4\" ySize=\"3\"/>\n"
      "      <DstRect xOff=\"0\" yOff=\"0\" xSize=\"4\" ySize=\"3\"/>\n"
      "    </SimpleSource>\n"
      "  </VRTRasterBand>\n"
      "</VRTDataset>\n");
}

// The numbers between `open` and the next '<', read back as doubles.
std::vector<double> numbers_after(const std::string& text,
                                  const std::string& open) {
  std::vector<double> values;
  size_t at = text.find(open);
  if (at == std::string::npos) return values;
  const char* p = text.c_str() + at + open.size();
  while (*p != '<') {
    char* end;
    values.push_back(std::strtod(p, &end));
    if (end == p) break;
    p = end;
    while (*p == ',' || *p == ' ') ++p;
  }
  return values;
}

TEST(MakeVrt, NumbersReadBackAsTheSameDoublesAndNamesAreEscaped) {
  GridHeader h = placed_header();
  h.xll = 0.1;
  h.yll = -0.3;
  h.cellsize = static_cast<float>(0.1);  // as a single grid's header holds it
  h.nodata_value = -3.4028234663852886e+38;
  const std::string vrt = make_vrt(h, GridFormat::text, {"a&b<c>.asc", true});
  const double top = -0.3 + 3 * h.cellsize;
  EXPECT_EQ(numbers_after(vrt, "<GeoTransform>"),
            (std::vector<double>{0.1, h.cellsize, 0, top, 0, -h.cellsize}));
  EXPECT_EQ(numbers_after(vrt, "<NoDataValue>"),
            std::vector<double>{h.nodata_value});
  EXPECT_NE(vrt.find(">a&amp;b&lt;c&gt;.asc<"), std::string::npos);
}

TEST(CheckVrtHeader, RefusesWhatNoRasterCanBe) {
  EXPECT_TRUE(check_vrt_header(placed_header(), "g").ok());
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double GridHeader::*field;
    double value;
  } cases[] = {
      {&GridHeader::ncols, 0},         {&GridHeader::ncols, 2.5},
      {&GridHeader::ncols, nan},       {&GridHeader::nrows, -3},
      {&GridHeader::nrows, 2147483648.0},
      {&GridHeader::cellsize, 0},      {&GridHeader::cellsize, -12.5},
      {&GridHeader::cellsize, inf},    {&GridHeader::xll, nan},
      {&GridHeader::yll, -inf},
  };
  for (const Case& c : cases) {
    GridHeader h = placed_header();
    h.*c.field = c.value;
    Status status = check_vrt_header(h, "g.asc");
    EXPECT_EQ(status.exit_status, kExitBadHeader) << c.value;
    EXPECT_NE(status.message.find("g.asc"), std::string::npos);
  }
}

// Where GDAL looks for the grid: the source path taken from the VRT's folder.
fs::path resolved(const VrtSource& source, const fs::path& vrt) {
  return source.relative_to_vrt ? vrt.parent_path() / source.path
                                : fs::path(source.path);
}

TEST(VrtSourceFor, LeadsFromTheVrtToTheGrid) {
  test::TempDir dir;
  fs::create_directories(dir.path("a/b"));
  fs::create_directories(dir.path("c"));
  fs::create_directory_symlink(dir.path("a/b"), dir.path("c/link"));
  const std::string grid = dir.path("a/g.dbl");
  test::write_file(grid, "");

  VrtSource beside = vrt_source_for(grid, dir.path("a/g.vrt"));
  EXPECT_EQ(beside.path, "g.dbl");
  EXPECT_TRUE(beside.relative_to_vrt);
  EXPECT_EQ(vrt_source_for(grid, dir.path("a/b/g.vrt")).path, "../g.dbl");
  EXPECT_EQ(vrt_source_for(grid, dir.path("g.vrt")).path, "a/g.dbl");
  // Through a linked folder, and with dot segments in the names.
  for (const std::string& vrt :
       {dir.path("c/link/g.vrt"), dir.path("c/./link/../../c/g.vrt")}) {
    VrtSource source = vrt_source_for(dir.path("c/../a/./g.dbl"), vrt);
    EXPECT_TRUE(source.relative_to_vrt);
    EXPECT_TRUE(fs::equivalent(resolved(source, vrt), grid)) << source.path;
  }
  // Standard output: no folder to be relative to.
  VrtSource absolute = vrt_source_for(grid, "");
  EXPECT_FALSE(absolute.relative_to_vrt);
  EXPECT_TRUE(fs::path(absolute.path).is_absolute());
  EXPECT_TRUE(fs::equivalent(absolute.path, grid));
}

TEST(VrtCommand, WrongArgumentsPrintTheUsageOnTheErrorStream) {
  for (auto args : {std::vector<std::string>{},
                    std::vector<std::string>{"g", "v", "x"},
                    std::vector<std::string>{"-f:d", "g"},
                    std::vector<std::string>{""}}) {
    test::RunResult r = run_vrt_tool(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(r.errors.rfind("usage : kavrix-vrt <grid> [<vrt>]\n", 0), 0u);
  }
  test::RunResult help = run_vrt_tool({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.output.rfind("usage : kavrix-vrt", 0), 0u);
}

TEST(VrtCommand, WritesToStandardOutputOrBesideTheGrid) {
  test::TempDir dir;
  fs::create_directory(dir.path("maps"));
  test::Grid grid = test::make_grid(2, 2, {1, 2, 3, 4});
  grid.header[2] = 3512345.5;
  test::write_file(dir.path("out.dbl"), test::double_grid(grid));
  GridHeader h;
  h.ncols = h.nrows = 2;
  h.xll = 3512345.5;
  h.cellsize = 10;
  h.nodata_value = -9999;

  test::RunResult r = run_vrt_tool({dir.path("out.dbl")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.errors, "");
  EXPECT_EQ(r.output, make_vrt(h, GridFormat::binary_double,
                               vrt_source_for(dir.path("out.dbl"), "")));

  r = run_vrt_tool({"out.dbl", "maps/out.vrt"}, dir.path(""));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output + r.errors, "");
  EXPECT_EQ(test::read_file(dir.path("maps/out.vrt")),
            make_vrt(h, GridFormat::binary_double, {"../out.dbl", true}));
}

TEST(VrtCommand, FailuresHaveMessagesAndStatuses) {
  test::TempDir dir;
  test::Grid grid = test::make_grid(3, 2, {1, 2, 3, 4, 5, 6});
  const std::string whole = test::double_grid(grid);
  test::write_file(dir.path("short.dbl"), whole.substr(0, whole.size() - 8));
  test::write_file(dir.path("short.sgl"),
                   test::single_grid(test::make_grid(3, 2, {1, 2, 3, 4, 5})));
  test::write_file(dir.path("ok.dbl"), whole);
  test::write_file(dir.path("notes.txt"), "NCOLS 3\n");
  test::write_file(dir.path("cut.asc"), "ncols 3 nrows 2 xll 0 yll");
  test::write_file(dir.path("flat.asc"),
                   "ncols 3 nrows 0 xll 0 yll 0 cellsize 1 nodata_value 0\n");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  } cases[] = {
      {{"missing.asc"}, 3, "could not open input grid missing.asc\n"},
      {{"."}, 3, "could not open input grid .\n"},
      {{"notes.txt"}, 98,
       "could not recognise file format (ascii, single or double) for "
       "notes.txt\n"},
      {{"cut.asc"}, 7, "could not read the header of cut.asc\n"},
      {{"flat.asc"}, 7, "invalid grid size in flat.asc\n"},
      {{"short.dbl"}, 5,
       "short.dbl holds fewer cells than its header says (3 x 2)\n"},
      {{"short.sgl"}, 5,
       "short.sgl holds fewer cells than its header says (3 x 2)\n"},
      {{"ok.dbl", "./ok.dbl"}, 1, "the VRT ./ok.dbl would replace the grid "
                                  "itself\n"},
      {{"ok.dbl", "none/ok.vrt"}, 6,
       "could not open none/ok.vrt for writing\n"},
  };
  for (const Case& c : cases) {
    test::RunResult r = run_vrt_tool(c.args, dir.path(""));
    EXPECT_EQ(r.status, c.status) << c.args[0];
    EXPECT_EQ(r.errors, c.message);
    EXPECT_EQ(r.output, "");
  }
  EXPECT_EQ(test::read_file(dir.path("ok.dbl")), whole);
}

}  // namespace
}  // namespace kavrix
