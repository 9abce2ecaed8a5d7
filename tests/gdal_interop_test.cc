// The round trip a hydrologist makes with GDAL-based GIS software: inputs
// exported by GDAL, kavrix run on them in each output format, the results
// opened in GDAL through kavrix-vrt, at their place and with their values.
// Needs GDAL's command-line programs (Debian: gdal-bin).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>

#include "test_util.h"

namespace kavrix {
namespace {

using test::run_program;

constexpr int kCols = 4;
constexpr int kRows = 3;
constexpr double kXll = 3512345.5;   // more digits than a text header keeps
constexpr double kYll = 5401234.25;  // and than a single value holds
constexpr double kCell = 12.5;

// The three inputs, first row northernmost, as the user holds them.
const char* const kFlowAcc = "0 1 2 -9999\n3 4 5 6\n7 8 9 10\n";
const char* const kTransmissivity = "2.5 1 0.5 2\n1.5 2 -9999 3\n0.25 4 5 1\n";
const char* const kSlope = "10 20 30 45\n5 15 25 35\n45 60 3.5 8\n";

// The index of a cell from its input values, or -9999 without data.
double expected_index(double a, double t, double s) {
  if (a == -9999 || t == -9999 || s == -9999) return -9999;
  return std::log((a + 1) * kCell * kCell / t /
                  std::tan(s * 0.017453292516666667));
}

std::vector<double> numbers(const std::string& text) {
  std::istringstream in(text);
  std::vector<double> values;
  double v;
  while (in >> v) values.push_back(v);
  return values;
}

std::vector<double> expected_cells() {
  std::vector<double> a = numbers(kFlowAcc), t = numbers(kTransmissivity),
                      s = numbers(kSlope), out;
  for (size_t k = 0; k < a.size(); ++k) {
    out.push_back(expected_index(a[k], t[k], s[k]));
  }
  return out;
}

std::string fixed15(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.15f", v);
  return text;
}

class GdalInterop : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    for (const char* program : {"gdalinfo", "gdal_translate", "gdallocationinfo"}) {
      if (!test::on_path(program)) {
        missing_ = program;
        return;
      }
    }
    dir_ = std::make_unique<test::TempDir>();
    // Georeferenced rasters as GIS software holds them (GeoTIFF), then
    // exported the way kavrix reads them.
    const std::pair<const char*, const char*> inputs[] = {
        {"A", kFlowAcc}, {"T", kTransmissivity}, {"S", kSlope}};
    for (const auto& [name, cells] : inputs) {
      std::string n(name);
      char header[256];
      std::snprintf(header, sizeof header,
                    "ncols %d\nnrows %d\nxllcorner %.17g\nyllcorner %.17g\n"
                    "cellsize %.17g\n",
                    kCols, kRows, kXll, kYll, kCell);
      test::write_file(path(n + "_source.asc"), header + std::string(cells));
      gdal("gdal_translate", {"-q", "-of", "GTiff", path(n + "_source.asc"),
                              path(n + ".tif")});
      gdal("gdal_translate", {"-q", "-of", "AAIGrid", "-a_nodata", "-9999",
                              path(n + ".tif"), path(n + ".asc")});
    }
  }
  static void TearDownTestSuite() { dir_.reset(); }

  void SetUp() override {
    if (!missing_.empty()) {
      GTEST_SKIP() << missing_
                   << " is not installed (Debian: gdal-bin); GDAL interop "
                      "is not tested";
    }
  }

  static std::string path(const std::string& name) { return dir_->path(name); }

  // Runs a GDAL program that must succeed; returns its standard output.
  static std::string gdal(const std::string& program,
                          const std::vector<std::string>& args) {
    test::RunResult r = run_program(program, args);
    EXPECT_EQ(r.status, 0) << program << ": " << r.output << r.errors;
    return r.output;
  }

  // Runs kavrix on the exported inputs; `output` is relative to the folder.
  static void run_kavrix(const std::string& output, const std::string& flag) {
    test::RunResult r =
        test::run_tool({"A.asc", "T.asc", "S.asc", output, flag}, "", path(""));
    ASSERT_EQ(r.status, 0) << r.output;
  }

  // Checks what gdalinfo says of `vrt`.
  static void expect_placed(const std::string& vrt, double xll, double yll,
                            const char* type) {
    const std::string info = gdal("gdalinfo", {vrt});
    EXPECT_NE(info.find("Size is 4, 3\n"), std::string::npos) << info;
    EXPECT_NE(info.find("Origin = (" + fixed15(xll) + "," +
                        fixed15(yll + kRows * kCell) + ")\n"),
              std::string::npos)
        << info;
    EXPECT_NE(info.find("Pixel Size = (12.500000000000000,-12.500000000000000)"),
              std::string::npos);
    EXPECT_NE(info.find(std::string("Type=") + type), std::string::npos);
    EXPECT_NE(info.find("NoData Value=-9999\n"), std::string::npos);
  }

  // Checks every cell, looked up by pixel and by map coordinate, against
  // the index of its inputs within `tolerance`.
  static void expect_cells(const std::string& vrt, double tolerance) {
    const std::vector<double> cells = expected_cells();
    std::string pixels, places;
    for (int row = 0; row < kRows; ++row) {
      for (int col = 0; col < kCols; ++col) {
        pixels += std::to_string(col) + " " + std::to_string(row) + "\n";
        // The middle of the cell on the map: rows run from the north.
        places += fixed15(kXll + (col + 0.5) * kCell) + " " +
                  fixed15(kYll + (kRows - row - 0.5) * kCell) + "\n";
      }
    }
    for (auto [how, input] : {std::pair{"pixel", pixels}, {"map", places}}) {
      std::vector<std::string> args = {"-valonly", vrt};
      if (how == std::string("map")) args.insert(args.begin(), "-geoloc");
      test::RunResult r = run_program("gdallocationinfo", args, input);
      EXPECT_EQ(r.status, 0) << r.errors;
      const std::vector<double> got = numbers(r.output);
      ASSERT_EQ(got.size(), cells.size()) << how << ": " << r.output << r.errors;
      for (size_t k = 0; k < cells.size(); ++k) {
        EXPECT_NEAR(got[k], cells[k], std::fabs(cells[k]) * tolerance)
            << vrt << " by " << how << ", cell " << k;
      }
    }
  }

  // All cells as GDAL reads them through `vrt`, copied out as raw values.
  static std::string raw_cells(const std::string& vrt) {
    const std::string raw = vrt + ".raw";
    gdal("gdal_translate", {"-q", "-of", "ENVI", vrt, raw});
    return test::read_file(raw);
  }

  static inline std::unique_ptr<test::TempDir> dir_;
  static inline std::string missing_;
};

TEST_F(GdalInterop, DoubleOutputOpensExactlyAtItsPlace) {
  run_kavrix("index.dbl", "-f:d");
  std::filesystem::create_directory(path("maps"));
  // One VRT in another folder naming the grid relatively, one taken from
  // standard output naming it absolutely.
  test::RunResult r = test::run_vrt_tool({"index.dbl", "maps/index.vrt"}, path(""));
  ASSERT_EQ(r.status, 0) << r.errors;
  r = test::run_vrt_tool({path("index.dbl")});
  ASSERT_EQ(r.status, 0) << r.errors;
  test::write_file(path("maps/piped.vrt"), r.output);

  const std::string grid = test::read_file(path("index.dbl"));
  for (const std::string& vrt : {path("maps/index.vrt"), path("maps/piped.vrt")}) {
    expect_placed(vrt, kXll, kYll, "Float64");
    expect_cells(vrt, 1e-14);
    // Every bit of every cell: GDAL's copy equals the body of the grid.
    EXPECT_EQ(raw_cells(vrt), grid.substr(96));
  }
  const std::vector<double> cells = expected_cells();
  const std::vector<double> stored = test::doubles_at(grid, 96, cells.size());
  for (size_t k = 0; k < cells.size(); ++k) {
    EXPECT_NEAR(stored[k], cells[k], std::fabs(cells[k]) * 1e-15) << k;
  }
}

TEST_F(GdalInterop, SingleOutputOpensWithItsSingleHeader) {
  run_kavrix("index.sgl", "-f:s");
  test::RunResult r = test::run_vrt_tool({"index.sgl", "index.sgl.vrt"}, path(""));
  ASSERT_EQ(r.status, 0) << r.errors;
  // The header holds the corner in single precision too.
  expect_placed(path("index.sgl.vrt"), static_cast<float>(kXll),
                static_cast<float>(kYll), "Float32");
  expect_cells(path("index.sgl.vrt"), 1e-6);
  EXPECT_EQ(raw_cells(path("index.sgl.vrt")),
            test::read_file(path("index.sgl")).substr(48));
}

TEST_F(GdalInterop, TextOutputOpensAtItsHeaderPlaceWithEveryPrintedDigit) {
  run_kavrix("index.asc", "-f:t");
  const std::string text = test::read_file(path("index.asc"));
  // GDAL alone ignores the xll and yll keywords and puts the grid at 0, 0.
  EXPECT_NE(gdal("gdalinfo", {path("index.asc")}).find("Origin = (0.0"),
            std::string::npos);

  test::RunResult r = test::run_vrt_tool({"index.asc", "index.asc.vrt"}, path(""));
  ASSERT_EQ(r.status, 0) << r.errors;
  // The header prints six digits: 3.51235e+06 and 5.40123e+06.
  expect_placed(path("index.asc.vrt"), 3512350, 5401230, "Float64");
  expect_cells(path("index.asc.vrt"), 1e-6);
  // Read as Float64: each value is the double of its printed digits.
  const std::vector<double> printed = numbers(text.substr(text.find("-9999\n") + 6));
  ASSERT_EQ(printed.size(), size_t{kCols * kRows});
  EXPECT_EQ(test::doubles_at(raw_cells(path("index.asc.vrt")), 0, printed.size()),
            printed);
}

TEST_F(GdalInterop, ExportedInputsOpenThroughKavrixVrtAsInGdal) {
  // The text grids that GDAL writes name their corner xllcorner; the VRT
  // places them where GDAL itself does.
  test::RunResult r = test::run_vrt_tool({"T.asc", "T.asc.vrt"}, path(""));
  ASSERT_EQ(r.status, 0) << r.errors;
  expect_placed(path("T.asc.vrt"), kXll, kYll, "Float64");
  const std::string direct = gdal("gdalinfo", {path("T.asc")});
  EXPECT_NE(direct.find("Origin = (" + fixed15(kXll) + "," +
                        fixed15(kYll + kRows * kCell) + ")"),
            std::string::npos)
      << direct;
  EXPECT_EQ(test::doubles_at(raw_cells(path("T.asc.vrt")), 0, kCols * kRows),
            numbers(kTransmissivity));
}

}  // namespace
}  // namespace kavrix
