// The round trip of GDAL-based GIS software: the example grids exported by
// GDAL, kavrix run on them in each output format, and the results opened in
// GDAL through kavrix-vrt at their place, every cell as kavrix wrote it.
// Skips without GDAL's command-line programs (Debian: gdal-bin).
#include <gtest/gtest.h>

#include <sstream>

#include "test_util.h"

namespace kavrix::test {
namespace {

// Runs a GDAL program that must succeed; returns its standard output.
std::string gdal(const std::string& program, const std::vector<std::string>& args) {
  const RunResult r = run_program(program, args);
  EXPECT_EQ(r.status, 0) << program << ": " << r.output << r.errors;
  return r.output;
}

// The cells of a text grid, after its six header lines, as raw doubles.
std::string values_of(const std::string& text) {
  std::istringstream in(text);
  std::string word, bytes;
  for (int k = 0; in >> word; ++k) {
    if (const double value = std::strtod(word.c_str(), nullptr); k >= 12) bytes.append(reinterpret_cast<const char*>(&value), 8);
  }
  return bytes;
}

// Checks where GDAL places the grid that `vrt` opens; returns the cells
// that GDAL copies out of it, raw.
std::string open_in_gdal(const std::string& vrt, const std::string& type) {
  const std::string info = gdal("gdalinfo", {vrt});
  for (const char* line : {"Size is 12, 8\n", "Origin = (3512000.000000000000000,5401200.000000000000000)\n",
                                  "Pixel Size = (25.000000000000000,-25.000000000000000)\n", "NoData Value=-9999\n"}) {
    EXPECT_NE(info.find(line), std::string::npos) << line << " not in\n" << info;
  }
  EXPECT_NE(info.find("Type=" + type), std::string::npos) << info;
  gdal("gdal_translate", {"-q", "-of", "ENVI", vrt, vrt + ".raw"});
  return read_file(vrt + ".raw");
}

TEST(GdalInterop, EachOutputFormatAndTheInputsOpenInGdal) {
  if (run_program("gdalinfo", {"--version"}).status != 0) GTEST_SKIP() << "gdalinfo is not installed";
  TempDir dir;
  for (const std::string name : {"flowacc.asc", "transmissivity.asc", "slope.asc"}) {
    gdal("gdal_translate", {"-q", "-of", "AAIGrid", "-a_nodata", "-9999", KAVRIX_EXAMPLES_DIR "/" + name, dir.path(name)});
  }
  for (auto [format_switch, type, header] : {std::tuple{"-f:d", "Float64", 96}, {"-f:s", "Float32", 48}, {"-f:t", "Float64", 0}}) {
    SCOPED_TRACE(format_switch);
    EXPECT_EQ(run_program(KAVRIX_BINARY, {"flowacc.asc", "transmissivity.asc", "slope.asc", "out", format_switch}, dir.root).status, 0);
    EXPECT_EQ(run_program(KAVRIX_VRT_BINARY, {"out", "out.vrt"}, dir.root).status, 0);
    // Text is read as doubles: each cell is the double of its printed digits.
    const std::string out = read_file(dir.path("out"));
    EXPECT_EQ(open_in_gdal(dir.path("out.vrt"), type), header > 0 ? out.substr(size_t(header)) : values_of(out));
  }
  // An input exported by GDAL opens through kavrix-vrt where GDAL puts it.
  EXPECT_EQ(run_program(KAVRIX_VRT_BINARY, {"slope.asc", "slope.vrt"}, dir.root).status, 0);
  EXPECT_EQ(open_in_gdal(dir.path("slope.vrt"), "Float64"), values_of(read_file(dir.path("slope.asc"))));
  EXPECT_NE(gdal("gdalinfo", {dir.path("slope.asc")}).find("Origin = (3512000.000000000000000,5401200.0"), std::string::npos);
}

}  // namespace
}  // namespace kavrix::test
