// kavrix-gdal on rasters made here through GDAL: every cell and statistic
// against kavrix -f:d on the same values, in each layout of blocks and
// strips; place, CRS and nodata carried; each refusal with nothing written;
// a file system that fills up; a driver that can only copy; and memory
// that does not grow with the number of rows.
#include <cpl_conv.h>
#include <cpl_string.h>
#include <gdal.h>
#include <gtest/gtest.h>
#include <ogr_srs_api.h>
#include <strings.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "test_util.h"

namespace kavrix::test {
namespace {

namespace fs = std::filesystem;

const bool kDriversRegistered = (GDALAllRegister(), true);

// A raster to make: size, place, CRS ("": none), nodata (NaN: none), type,
// creation options of GDAL's GeoTIFF driver; the band that holds the cells
// of how many (the others hold 7), its scale and offset, and a mask that
// marks every fifth cell without data: the dataset's own, or an alpha band.
struct Raster {
  int w = 8, h = 5;
  std::array<double, 6> geo = {3512000, 25, 0, 5401200, 0, -25};
  bool placed = true;
  std::string crs = "EPSG:25832";
  double nodata = -9999;
  GDALDataType type = GDT_Float64;
  std::vector<std::string> options = {};
  int band = 1, bands = 1;
  double scale = 1, offset = 0;
  enum { kNoMask, kDatasetMask, kAlpha } mask = kNoMask;
  bool nan_nodata = false;
};

bool marked(const Raster& r, size_t k) { return r.mask != Raster::kNoMask && k % 5 == 2; }

void make(const std::string& path, const Raster& r, std::vector<double> cells) {
  char** options = nullptr;
  for (const std::string& option : r.options) options = CSLAddString(options, option.c_str());
  const int bands = r.bands + (r.mask == Raster::kAlpha);
  GDALDatasetH ds = GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), r.w, r.h, bands, r.type, options);
  CSLDestroy(options);
  std::array<double, 6> geo = r.geo;
  if (r.placed) GDALSetGeoTransform(ds, geo.data());
  OGRSpatialReferenceH crs = OSRNewSpatialReference(nullptr);
  if (!r.crs.empty() && OSRSetFromUserInput(crs, r.crs.c_str()) == OGRERR_NONE) GDALSetSpatialRef(ds, crs);
  OSRDestroySpatialReference(crs);
  const size_t n = size_t(r.w) * size_t(r.h);
  cells.resize(n);
  std::vector<double> marks(n), sevens(n, 7);
  for (size_t k = 0; k < n; ++k) marks[k] = marked(r, k) ? 0 : 255;
  for (int b = 1; b <= bands; ++b) {
    GDALRasterBandH band = GDALGetRasterBand(ds, b);
    if (b > r.bands) GDALSetRasterColorInterpretation(band, GCI_AlphaBand);
    if (!std::isnan(r.nodata) || r.nan_nodata) GDALSetRasterNoDataValue(band, r.nodata);
    if (b == r.band) {
      GDALSetRasterScale(band, r.scale);
      GDALSetRasterOffset(band, r.offset);
    }
    std::vector<double>& values = b > r.bands ? marks : b == r.band ? cells : sevens;
    EXPECT_EQ(GDALRasterIO(band, GF_Write, 0, 0, r.w, r.h, values.data(), r.w, r.h, GDT_Float64, 0, 0), CE_None);
  }
  if (r.mask == Raster::kDatasetMask) {
    GDALCreateDatasetMaskBand(ds, GMF_PER_DATASET);
    EXPECT_EQ(GDALRasterIO(GDALGetMaskBand(GDALGetRasterBand(ds, 1)), GF_Write, 0, 0, r.w, r.h, marks.data(), r.w, r.h, GDT_Float64, 0, 0), CE_None);
  }
  GDALClose(ds);
}

std::string bytes(const std::vector<double>& cells) {
  return std::string(reinterpret_cast<const char*>(cells.data()), cells.size() * sizeof(double));
}

// What a run wrote: cells widened to doubles, place, CRS, nodata, metadata
// of the band (or of the raster, where the band keeps none).
struct Written {
  std::vector<double> cells;
  std::array<double, 6> geo{};
  std::string crs, driver;
  double nodata = 0;
  GDALDataType type = GDT_Unknown;
  std::map<std::string, std::string> items;
};

Written read(const std::string& path) {
  Written out;
  GDALDatasetH ds = GDALOpen(path.c_str(), GA_ReadOnly);
  if (ds == nullptr) return out;
  GDALRasterBandH band = GDALGetRasterBand(ds, 1);
  const int w = GDALGetRasterXSize(ds), h = GDALGetRasterYSize(ds);
  out.cells.resize(size_t(w) * size_t(h));
  EXPECT_EQ(GDALRasterIO(band, GF_Read, 0, 0, w, h, out.cells.data(), w, h, GDT_Float64, 0, 0), CE_None);
  GDALGetGeoTransform(ds, out.geo.data());
  out.crs = GDALGetProjectionRef(ds);
  out.driver = GDALGetDriverShortName(GDALGetDatasetDriver(ds)) + std::string(" ") +
               (GDALGetMetadataItem(ds, "LAYOUT", "IMAGE_STRUCTURE") ?: "");
  out.nodata = GDALGetRasterNoDataValue(band, nullptr);
  out.type = GDALGetRasterDataType(band);
  // A GeoPackage keeps kavrix's statistics as the raster's metadata.
  const bool in_band = GDALGetMetadataItem(band, "KAVRIX_COUNT", nullptr) != nullptr;
  for (char** item = GDALGetMetadata(in_band ? band : ds, nullptr); item && *item; ++item) {
    const std::string text = *item;
    if (text.starts_with("STATISTICS_") || text.starts_with("KAVRIX_")) out.items[text.substr(0, text.find('='))] = text.substr(text.find('=') + 1);
  }
  GDALClose(ds);
  return out;
}

// The stored value of cell k of A, T or S (g = 0, 1, 2) of raster `r`:
// every fourth one that the cell rule takes apart (the raster's nodata,
// NaN, T <= 0, S <= 1 or above 90, A = -1, huge values), the others
// ordinary values of any last bits, in the band's type and scale. None is
// a value at or below -9999 that has data: there kavrix's grids, whose
// nodata is -9999, and GDAL's rasters differ.
double stored(const Raster& r, int g, size_t k) {
  static const double kApart[3][7] = {{-1, NAN, 0, 1e6, 2.5, 1e15, 0},
                                      {0, -3, NAN, 1e-9, -20, 1, INFINITY},
                                      {0.5, 1, 135, NAN, 90, -5, 1e-300}};
  const bool integral = GDALDataTypeIsInteger(r.type);
  double v = 0;
  if ((k + size_t(g)) % 4 == 0) {
    const size_t i = (k / 4) % 8;
    v = i == 0 ? r.nodata : integral ? double(i % 2) : kApart[g][i - 1];
  } else {
    uint64_t z = (k * 3 + uint64_t(g) + 1) * 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 31)) * 0xBF58476D1CE4E5B9ull;
    const double unit = double(z >> 11) * 0x1p-53;
    v = g == 0 ? std::floor(unit * (r.type == GDT_Byte ? 250 : 1e4)) : g == 1 ? 0.01 + unit * 100 : 1 + unit * 88;
    if (integral) v = std::round((v - r.offset) / r.scale);
  }
  return r.type == GDT_Float32 ? double(float(v)) : v;
}

// A, T and S; the options of the run (an -a_nodata among them sets the
// nodata value of kavrix's A, which it writes into cells without data).
struct Case {
  std::string name;
  Raster rasters[3];
  std::vector<std::string> options;
};

std::vector<Case> cases() {
  const Raster a{.nodata = -9998.95}, plain{};
  const Raster f32a{.nodata = -9998.95, .type = GDT_Float32}, f32{.type = GDT_Float32};
  const Raster none{.nodata = NAN};
  const auto tiles = [](int w, int h, int size, GDALDataType type = GDT_Float64, double nodata = -9999) {
    const std::string side = std::to_string(size);
    return Raster{.w = w, .h = h, .nodata = nodata, .type = type, .options = {"TILED=YES", "BLOCKXSIZE=" + side, "BLOCKYSIZE=" + side}};
  };
  const Raster rows7{.w = 37, .h = 600, .options = {"BLOCKYSIZE=7"}}, rows{.w = 37, .h = 600, .nodata = -9998.95};
  const std::vector<std::string> f64 = {"-ot", "Float64"}, tiled16 = {"-ot", "Float64", "-co", "TILED=YES", "-co", "BLOCKXSIZE=16", "-co", "BLOCKYSIZE=16"};
  // Integer bands as GIS exports write them: nodata the type's largest or
  // smallest value, T and S scaled.
  const Raster u32{.nodata = 4294967295.0, .type = GDT_UInt32}, u16t{.nodata = 65535, .type = GDT_UInt16, .scale = 0.01};
  const Raster i16s{.w = 8, .h = 5, .nodata = -32768, .type = GDT_Int16, .scale = 0.01, .offset = 0.5};
  const Raster byte_a{.nodata = 255, .type = GDT_Byte}, nan_t{.nodata = NAN, .type = GDT_Float32, .nan_nodata = true};
  const Raster surfer{.nodata = double(1.70141e38f), .type = GDT_Float32};
  // A band with a mask has no data where the mask says so, whatever its
  // nodata value: these have none.
  const Raster masked_a{.w = 37, .h = 600, .nodata = NAN, .mask = Raster::kDatasetMask};
  const Raster alpha_t{.w = 37, .h = 600, .nodata = NAN, .type = GDT_Float32, .mask = Raster::kAlpha};
  const Raster third_s{.w = 37, .h = 600, .options = {"TILED=YES", "INTERLEAVE=BAND"}, .band = 3, .bands = 3, .offset = -0.25};
  const std::vector<std::string> to_9999 = {"-a_nodata", "-9999"};
  return {{"Float64", {a, plain, plain}, f64},
          {"Float32 in and out", {f32a, f32, f32}, {}},
          {"no nodata", {none, none, none}, f64},
          {"tiles, strips of 7, tiles into tiles", {tiles(37, 600, 16, GDT_Float64, -9998.95), rows7, tiles(37, 600, 32)}, tiled16},
          {"the same into strips of Float32", {tiles(37, 600, 16, GDT_Float64, -9998.95), rows7, tiles(37, 600, 32)}, {}},
          {"strips, Float32 tiles, a tile wider than the raster", {rows, tiles(37, 600, 16, GDT_Float32), rows7}, {"-co", "TILED=YES"}},
          {"UInt32 A, scaled UInt16 T and Int16 S, nodata at their ends", {u32, u16t, i16s}, {"-ot", "Float64", "-a_nodata", "-9999"}},
          {"Byte A, NaN nodata, a Surfer grid's nodata", {byte_a, nan_t, surfer}, to_9999},
          {"a mask, an alpha band, band 3 of 3 with an offset", {masked_a, alpha_t, third_s}, {"--S_band", "3", "--T_band=1", "-ot", "float64"}}};
}

TEST(KavrixGdal, EveryCellAndStatisticAsKavrixComputesThem) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    const TempDir dir;
    const Raster& ra = c.rasters[0];
    const auto chosen = std::find(c.options.begin(), c.options.end(), "-a_nodata");
    const double nodata = chosen != c.options.end() ? std::stod(chosen[1]) : std::isnan(ra.nodata) ? -9999 : ra.nodata;
    for (int g = 0; g < 3; ++g) {
      const Raster& r = c.rasters[g];
      std::vector<double> cells, values;
      const double kept = r.type == GDT_Float32 ? double(float(r.nodata)) : r.nodata;
      for (size_t k = 0; k < size_t(r.w) * size_t(r.h); ++k) {
        cells.push_back(stored(r, g, k));
        // kavrix reads what GDAL's data model gives: a cell without data
        // as the grid's nodata value, the others unscaled.
        const bool none = std::isnan(cells[k]) || cells[k] == kept || marked(r, k);
        values.push_back(none ? (g == 0 ? nodata : -9999) : cells[k] * r.scale + r.offset);
      }
      make(dir.path(std::string(1, "ats"[g]) + ".tif"), r, cells);
      Grid grid = make_grid(r.w, r.h, values);
      grid.header[4] = 25;
      grid.header[5] = g == 0 ? nodata : -9999;
      write_file(dir.path(std::string(1, "ats"[g])), text_grid(grid));
    }
    ASSERT_EQ(run_program(KAVRIX_BINARY, {"a", "t", "s", "k", "-f:d"}, dir.root).status, 0);
    // The same bytes from any number of threads.
    for (const char* threads : {"1", "2", "3", "7"}) {
      SCOPED_TRACE(std::string("threads ") + threads);
      std::vector<std::string> args = {"a.tif", "t.tif", "s.tif", "out.tif", "-q", "--threads", threads};
      args.insert(args.end(), c.options.begin(), c.options.end());
      const RunResult r = run_program(KAVRIX_GDAL_BINARY, args, dir.root);
      ASSERT_EQ(r.output + r.errors + std::to_string(r.status), "0");
      const std::string k = read_file(dir.path("k"));
      std::vector<double> header(12), expected(size_t(ra.w) * size_t(ra.h));
      std::memcpy(header.data(), k.data(), 96);
      std::memcpy(expected.data(), k.data() + 96, expected.size() * 8);
      const Written out = read(dir.path("out.tif"));
      const bool single = std::none_of(args.begin(), args.end(), [](const std::string& a) { return strcasecmp(a.c_str(), "Float64") == 0; });
      for (double& v : expected) v = single ? double(float(v)) : v;
      ASSERT_EQ(out.cells.size(), expected.size());
      EXPECT_EQ(std::memcmp(out.cells.data(), expected.data(), expected.size() * 8), 0);
      EXPECT_EQ(out.type, single ? GDT_Float32 : GDT_Float64);
      EXPECT_EQ(out.geo, ra.geo);
      EXPECT_NE(out.crs.find("ETRS89 / UTM zone 32N"), std::string::npos);
      EXPECT_EQ(out.nodata, single ? float(header[5]) : header[5]);
      // Count, minimum, maximum, sum, mean and sample deviation bit for bit
      // (the extremes of Float32 cells as stored); GDAL's deviation is the
      // population's.
      const char* names[] = {"KAVRIX_COUNT", "STATISTICS_MINIMUM", "STATISTICS_MAXIMUM", "KAVRIX_SUM", "STATISTICS_MEAN", "KAVRIX_SAMPLE_STDDEV"};
      for (size_t i = 0; i < 6; ++i) {
        const double value = (i == 1 || i == 2) && single ? double(float(header[6 + i])) : header[6 + i];
        EXPECT_EQ(std::strtod(out.items.at(names[i]).c_str(), nullptr), value) << names[i];
      }
      const double n = header[6];
      EXPECT_NEAR(std::strtod(out.items.at("STATISTICS_STDDEV").c_str(), nullptr), header[11] * std::sqrt((n - 1) / n), 1e-12);
    }
  }
}

TEST(KavrixGdal, ExampleGridsWithProgress) {
  const TempDir dir;
  CPLSetConfigOption("AAIGRID_DATATYPE", "Float64");  // the text's doubles, as kavrix reads them
  std::vector<std::string> args;
  for (const std::string name : {"flowacc", "transmissivity", "slope"}) {
    GDALDatasetH asc = GDALOpen((KAVRIX_EXAMPLES_DIR "/" + name + ".asc").c_str(), GA_ReadOnly);
    GDALClose(GDALCreateCopy(GDALGetDriverByName("GTiff"), dir.path(name + ".tif").c_str(), asc, FALSE, nullptr, nullptr, nullptr));
    GDALClose(asc);
    args.push_back(KAVRIX_EXAMPLES_DIR "/" + name + ".asc");
  }
  args.insert(args.end(), {"k", "-f:d"});
  EXPECT_EQ(run_program(KAVRIX_BINARY, args, dir.root).status, 0);
  const RunResult r = run_program(KAVRIX_GDAL_BINARY, {"flowacc.tif", "transmissivity.tif", "slope.tif", "out.tif", "-ot", "Float64"}, dir.root);
  EXPECT_EQ(r.output + r.errors + std::to_string(r.status), "0...10...20...30...40...50...60...70...80...90...100 - done.\n0");
  EXPECT_EQ(bytes(read(dir.path("out.tif")).cells), read_file(dir.path("k")).substr(96));
  // Written to standard output, the raster comes without the progress.
  const std::string piped = KAVRIX_GDAL_BINARY " flowacc.tif transmissivity.tif slope.tif /dev/stdout -ot Float64 >piped.tif";
  EXPECT_EQ(run_program("sh", {"-c", piped}, dir.root).status, 0);
  EXPECT_EQ(bytes(read(dir.path("piped.tif")).cells), read_file(dir.path("k")).substr(96));
  // kavrix-dist reads the raster through the GDAL it loads, not links: the
  // same distribution as of kavrix's grid.
  const auto distribution = [&](const char* grid) {
    const std::string table = run_program(KAVRIX_DIST_BINARY, {grid, "-n", "7"}, dir.root).output;
    return table.substr(std::min(table.size(), table.find('\n')));
  };
  EXPECT_EQ(distribution("out.tif"), distribution("k"));
  EXPECT_NE(distribution("k"), "");
  EXPECT_EQ(run_program("sh", {"-c", "ldd " KAVRIX_DIST_BINARY " | grep gdal"}).status, 1);
}

// Each refusal: a status, a message that names the reason, and the output
// "out" as it was, nothing else in the folder. T is made as given.
struct Refusal { std::vector<std::string> args; Raster t; int status; std::string message; };

TEST(KavrixGdal, RefusalsWriteNothing) {
  const auto ats = [](std::vector<std::string> args) {
    args.insert(args.begin(), {"a.tif", "t.tif", "s.tif", "out"});
    return args;
  };
  Raster rotated, south_up, oblong, no_geo{.placed = false}, geographic{.crs = "EPSG:4326"}, other_crs{.crs = "EPSG:25833"};
  rotated.geo[2] = 1;
  south_up.geo[5] = 25;
  oblong.geo[5] = -25.001;
  Raster wider{.w = 9}, shifted, finer;
  shifted.geo[0] += 2.6;
  finer.geo[1] = 25.0001;
  finer.geo[5] = -25.0001;
  const Refusal refusals[] = {
      {{}, {}, 1, "four names are expected"},
      {ats({"-x"}), {}, 1, "unknown option -x"},
      {ats({"-of"}), {}, 1, "option -of needs a value"},
      {ats({"-of", "NOPE"}), {}, 1, "unknown output format NOPE"},
      {ats({"-of", "CSV"}), {}, 1, "the output format CSV writes no rasters"},
      {ats({"-of", "PNG"}), {}, 1, "the output format PNG cannot hold Float32 values"},
      {ats({"-ot", "Int16"}), {}, 1, "-ot Int16: the output type is Float32 or Float64"},
      {ats({"-of", "MEM"}), {}, 1, "the output format MEM writes no file of cells"},
      {ats({"-of", "VRT"}), {}, 1, "the output format VRT writes no file of cells"},
      {ats({"-of", "mem"}), {}, 1, "the output format mem writes no file of cells"},
      {ats({"-of", "vrt"}), {}, 1, "the output format vrt writes no file of cells"},
      // A Float64 band for Float32 cells, 1-bit cells, a nodata value of its own.
      {ats({"-of", "GS7BG"}), {}, 1, "the output format GS7BG is not one whose round trip kavrix-gdal has checked; it writes GTiff, COG, "},
      {ats({"-of", "CALS"}), {}, 1, "the output format CALS cannot hold Float32 values"},
      {ats({"-of", "GSBG"}), {}, 1, "the output format GSBG is not one whose round trip"},
      {ats({"-of", "EHdr", "-ot", "Float64"}), {}, 1, "the output format EHdr cannot hold Float64 values"},
      {ats({"--A_band", "2"}), {}, 3, "could not open input raster a.tif: it has no band 2 (1 band)"},
      {ats({"--S_band=0"}), {}, 1, "--S_band 0: a band is a number from 1"},
      {ats({"--T_band"}), {}, 1, "option --T_band needs a value"},
      {ats({"--threads", "0"}), {}, 1, "--threads 0: the threads are a number from 1 to 1024"},
      {ats({"-a_nodata", "none"}), {}, 1, "-a_nodata none: the nodata value is a number"},
      {ats({"-a_nodata", "1e300"}), {}, 1, "the nodata value 1.0000000000000001e+300 cannot be a Float32 cell"},
      {ats({"-co", "TILED"}), {}, 1, "-co TILED: a creation option is NAME=VALUE"},
      {ats({"-co", "=YES"}), {}, 1, "-co =YES: a creation option"},
      {{"a.tif", "none", "s.tif", "out"}, {}, 3, "could not open input raster none: "},
      {{"a.tif", "text", "s.tif", "out"}, {}, 3, "could not open input raster text: "},
      {{"a.tif", "two.gpkg", "s.tif", "out"}, {}, 3, "could not open input raster two.gpkg: it has no band"},
      {{"a.tif", "t.tif", "fifo", "out"}, {}, 3, "could not open input raster fifo: it is a pipe, not a file"},
      {ats({}), wider, 2, "a.tif has 8 x 5 cells, t.tif 9 x 5"},
      {ats({}), shifted, 2, "a.tif has its origin at (3512000, 5401200), t.tif at (3512002.6"},
      {ats({}), finer, 2, "a.tif has cells of 25 map units, t.tif of 25.0001"},
      {ats({}), oblong, 7, "t.tif has cells of 25 x 25.00"},
      {ats({}), rotated, 7, "t.tif is rotated or not north-up (geotransform 3512000 25 1 5401200 0 -25)"},
      {ats({}), south_up, 7, "t.tif is rotated or not north-up"},
      {ats({}), no_geo, 7, "t.tif has no geotransform"},
      {ats({}), geographic, 7, "t.tif has a geographic coordinate reference system"},
      {ats({}), other_crs, 2, "a.tif and t.tif have different coordinate reference systems: ETRS89 / UTM zone 32N (EPSG:25832) and ETRS89 / UTM zone 33N (EPSG:25833)\n"},
      {{"a.tif", "t.tif", "s.tif", "t.tif"}, {}, 1, "the output t.tif would replace the input t.tif"},
      {{"a.tif", "t.tif", "s.tif", "link"}, {}, 1, "the output link would replace the input s.tif"},
      {{"a.tif", "t.tif", "s.tif", "no/out"}, {}, 6, "could not write no/out: No such file or directory"},
  };
  for (const Refusal& refusal : refusals) {
    SCOPED_TRACE(refusal.message);
    const TempDir dir;
    const Raster plain;
    make(dir.path("a.tif"), plain, {});
    make(dir.path("t.tif"), refusal.t, {});
    make(dir.path("s.tif"), plain, {});
    write_file(dir.path("out"), "keep");
    write_file(dir.path("text"), "not a raster\n");
    // A GeoPackage of two rasters: GDAL opens it with no band of its own.
    for (const char* table : {"RASTER_TABLE=one", "RASTER_TABLE=two"}) {
      const char* options[] = {table, "APPEND_SUBDATASET=YES", nullptr};
      GDALDatasetH two = GDALCreate(GDALGetDriverByName("GPKG"), dir.path("two.gpkg").c_str(), 8, 5, 1, GDT_Byte, const_cast<char**>(options));
      std::array<double, 6> geo = plain.geo;
      GDALSetGeoTransform(two, geo.data());
      GDALClose(two);
    }
    fs::create_symlink("s.tif", dir.path("link"));
    mkfifo(dir.path("fifo").c_str(), 0600);
    const auto listing = [&] { std::set<std::string> names; for (const auto& e : fs::directory_iterator(dir.root)) names.insert(e.path().filename()); return names; };
    const std::set<std::string> before = listing();
    const RunResult r = run_program(KAVRIX_GDAL_BINARY, refusal.args, dir.root);
    EXPECT_EQ(r.status, refusal.status);
    EXPECT_NE(r.errors.find(refusal.message), std::string::npos) << r.errors;
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(read_file(dir.path("out")), "keep");
    EXPECT_EQ(listing(), before);
  }
}

// Every format the manual page names: cells, nodata value, place, CRS and
// statistics read back as a GeoTIFF of the same run holds them.
TEST(KavrixGdal, EverySupportedFormatRoundTrips) {
  const TempDir dir;
  for (int g = 0; g < 3; ++g) {
    std::vector<double> cells;
    for (size_t k = 0; k < 40; ++k) cells.push_back(stored(Raster{}, g, k));
    make(dir.path(std::string(1, "ats"[g]) + ".tif"), {}, cells);
  }
  const std::pair<const char*, const char*> formats[] = {
      {"GTiff", "tif"}, {"COG", "tif"}, {"ENVI", "dat"}, {"EHdr", "bil"}, {"ERS", "ers"},
      {"HFA", "img"},   {"SAGA", "sdat"}, {"GPKG", "gpkg"}};
  for (const char* type : {"Float32", "Float64"}) {
    const std::vector<std::string> run = {"a.tif", "t.tif", "s.tif", std::string("gtiff-") + type + ".tif", "-q", "-ot", type};
    ASSERT_EQ(run_program(KAVRIX_GDAL_BINARY, run, dir.root).status, 0);
    const Written reference = read(dir.path(run[3]));
    for (const auto& [format, extension] : formats) {
      if ((format == std::string("EHdr") || format == std::string("GPKG")) && type == std::string("Float64")) continue;  // refused
      SCOPED_TRACE(std::string(format) + " " + type);
      const std::string name = std::string("out-") + format + "-" + type + "." + extension;
      const RunResult r = run_program(KAVRIX_GDAL_BINARY, {"a.tif", "t.tif", "s.tif", name, "-q", "-of", format, "-ot", type}, dir.root);
      ASSERT_EQ(r.errors + std::to_string(r.status), "0");
      const Written out = read(dir.path(name));
      EXPECT_EQ(bytes(out.cells), bytes(reference.cells));
      EXPECT_EQ(out.type, reference.type);
      EXPECT_EQ(out.nodata, -9999);
      EXPECT_EQ(out.geo, reference.geo);
      EXPECT_NE(out.crs.find("ETRS89 / UTM zone 32N"), std::string::npos);
      // Some formats add statistics of their own (HFA: a median, a mode).
      for (const auto& [item, text] : reference.items) EXPECT_EQ(out.items.count(item) ? out.items.at(item) : "", text) << item;
    }
  }
}

// What cannot be vouched for fails with nothing put in place: a format's
// side files into a device, statistics GDAL cannot keep. Replacing a VRT
// takes its own side files, never its sources.
TEST(KavrixGdal, WritesOnlyWhatItCanVouchFor) {
  const TempDir dir;
  for (const char* name : {"a.tif", "t.tif", "s.tif"}) make(dir.path(name), {}, std::vector<double>(40, 45));
  const std::string run = KAVRIX_GDAL_BINARY " a.tif t.tif s.tif ";
  const struct { std::string command; int status; std::string message; } cases[] = {
      {run + "/dev/stdout -of ENVI >piped", 6, "could not write /dev/stdout: the format writes side files (content.aux.xml, content.hdr)"},
      {"GDAL_PAM_ENABLED=NO " + run + "pam.dat -of ENVI", 6, "could not write pam.dat: the statistics were not kept"},
      {run + "out.vrt -q", 0, ""},
      {run + "x --version", 1, "unknown option --version"},
  };
  // out.vrt reads out.tif, its source; out.vrt.aux.xml holds its statistics.
  GDALDatasetH source = GDALOpen(dir.path("a.tif").c_str(), GA_ReadOnly);
  GDALClose(GDALCreateCopy(GDALGetDriverByName("GTiff"), dir.path("out.tif").c_str(), source, FALSE, nullptr, nullptr, nullptr));
  GDALClose(source);
  source = GDALOpen(dir.path("out.tif").c_str(), GA_ReadOnly);
  GDALClose(GDALCreateCopy(GDALGetDriverByName("VRT"), dir.path("out.vrt").c_str(), source, FALSE, nullptr, nullptr, nullptr));
  GDALClose(source);
  write_file(dir.path("out.vrt.aux.xml"), "<PAMDataset></PAMDataset>\n");
  const std::string tif = read_file(dir.path("out.tif"));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    const RunResult r = run_program("sh", {"-c", c.command}, dir.root);
    EXPECT_EQ(r.status, c.status);
    EXPECT_TRUE(r.errors.starts_with(c.message)) << r.errors;
  }
  EXPECT_EQ(read_file(dir.path("piped")), "");
  EXPECT_FALSE(fs::exists(dir.path("pam.dat")) || fs::exists(dir.path("pam.hdr")));
  EXPECT_EQ(read(dir.path("out.vrt")).driver, "GTiff ");
  EXPECT_EQ(read_file(dir.path("out.tif")), tif);
  EXPECT_FALSE(fs::exists(dir.path("out.vrt.aux.xml")));
  const RunResult version = run_program(KAVRIX_GDAL_BINARY, {"--version"});
  EXPECT_EQ(version.output, std::string("kavrix-gdal 1.0.0 (GDAL ") + GDALVersionInfo("RELEASE_NAME") + ")\n");
  for (const auto& entry : fs::directory_iterator(dir.root)) EXPECT_FALSE(entry.path().filename().string().starts_with(".kavrix-"));
}

TEST(KavrixGdal, AFailureMidRunLeavesNoFile) {
  const TempDir dir;
  for (const char* name : {"a.tif", "t.tif", "s.tif"}) make(dir.path(name), {.w = 300, .h = 1000}, std::vector<double>(300000, 45));
  write_file(dir.path("out.tif"), "keep");
  // Files end at 64 KiB (the shell counts blocks of 512 bytes); the output takes 1.2 MB.
  RunResult r = run_program("sh", {"-c", "ulimit -f 128; exec \"$0\" \"$@\"", KAVRIX_GDAL_BINARY, "a.tif", "t.tif", "s.tif", "out.tif", "-q"}, dir.root);
  EXPECT_TRUE(r.errors.starts_with("could not write out.tif: ") && r.status == 6) << r.errors;
  // S cut short: row 700 cannot be read.
  fs::resize_file(dir.path("s.tif"), 300 * 700 * 8);
  r = run_program(KAVRIX_GDAL_BINARY, {"a.tif", "t.tif", "s.tif", "out.tif", "-q"}, dir.root);
  EXPECT_TRUE(r.errors.starts_with("error reading rows 511 to 765 of s.tif: ") && r.status == 5) << r.errors;
  EXPECT_EQ(read_file(dir.path("out.tif")), "keep");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.root), {}), 4);
}

TEST(KavrixGdal, NoFileAnInputReadsIsReplacedAndNoOldSideFileStays) {
  const TempDir dir;
  GDALDatasetH envi = GDALCreate(GDALGetDriverByName("ENVI"), dir.path("a.img").c_str(), 8, 5, 1, GDT_Float64, nullptr);
  std::array<double, 6> geo = Raster{}.geo;
  GDALSetGeoTransform(envi, geo.data());
  GDALClose(envi);
  for (const char* name : {"a.tif", "t.tif", "s.tif"}) make(dir.path(name), {.crs = ""}, std::vector<double>(40, 45));
  // A VRT of a VRT of a.tif: GDAL opens a.tif only as it reads it.
  GDALClose(GDALCreateCopy(GDALGetDriverByName("VRT"), dir.path("a1.vrt").c_str(), GDALOpen(dir.path("a.tif").c_str(), GA_ReadOnly), FALSE, nullptr, nullptr, nullptr));
  std::string twice = read_file(dir.path("a1.vrt"));
  twice.replace(twice.find(">a.tif<"), 7, ">a1.vrt<");
  write_file(dir.path("a2.vrt"), twice);
  const std::string hdr = read_file(dir.path("a.hdr")), tif = read_file(dir.path("a.tif"));
  // ENVI's side file a.hdr would replace the input's.
  RunResult r = run_program(KAVRIX_GDAL_BINARY, {"a.img", "t.tif", "s.tif", "a.dat", "-of", "ENVI", "-q"}, dir.root);
  EXPECT_TRUE(r.status == 6 && r.errors.find("a.hdr, which is read") != std::string::npos) << r.errors;
  r = run_program(KAVRIX_GDAL_BINARY, {"a2.vrt", "t.tif", "s.tif", "a.tif", "-q"}, dir.root);
  EXPECT_TRUE(r.status == 6 && r.errors.find("a.tif, which is read") != std::string::npos) << r.errors;
  EXPECT_EQ(run_program(KAVRIX_DIST_BINARY, {"a2.vrt", "--csv", "a.tif"}, dir.root).status, 6);
  EXPECT_EQ(read_file(dir.path("a.hdr")), hdr);
  EXPECT_EQ(read_file(dir.path("a.tif")), tif);
  for (const auto& entry : fs::directory_iterator(dir.root)) EXPECT_FALSE(entry.path().filename().string().starts_with(".kavrix-"));
}

TEST(KavrixGdal, ADriverThatOnlyCopiesGetsATemporaryGeoTiff) {
  const TempDir dir;
  // A's nodata -5 is the output's; the count takes every computed value.
  for (int g = 0; g < 3; ++g) {
    const Raster r{.nodata = g == 0 ? -5.0 : -9999};
    std::vector<double> cells;
    for (size_t k = 0; k < 40; ++k) cells.push_back(stored(r, g, k));
    make(dir.path(std::string(1, "ats"[g]) + ".tif"), r, cells);
  }
  EXPECT_EQ(run_program(KAVRIX_GDAL_BINARY, {"a.tif", "t.tif", "s.tif", "plain.tif", "-q"}, dir.root).status, 0);
  const RunResult r = run_program(KAVRIX_GDAL_BINARY, {"a.tif", "t.tif", "s.tif", "cog.tif", "-of", "COG", "-co", "COMPRESS=DEFLATE"}, dir.root);
  EXPECT_EQ(r.output + r.errors + std::to_string(r.status), "0...10...20...30...40...50...60...70...80...90...100 - done.\n0");
  const Written cog = read(dir.path("cog.tif")), plain = read(dir.path("plain.tif"));
  EXPECT_EQ(cog.driver, "GTiff COG");
  EXPECT_EQ(bytes(cog.cells), bytes(plain.cells));
  EXPECT_EQ(cog.items, plain.items);
  EXPECT_EQ(cog.items.count("STATISTICS_MEAN"), 1u);
  EXPECT_EQ(cog.items.at("KAVRIX_COUNT"), std::to_string(std::count_if(cog.cells.begin(), cog.cells.end(), [](double v) { return v != -5 && v > -9998; })));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.root), {}), 5);  // no temporary left
}

TEST(KavrixGdal, MemoryDoesNotGrowWithRows) {
  if (built_with_address_sanitizer()) GTEST_SKIP() << "AddressSanitizer's memory is not the tool's";
  long peak[2] = {};
  for (int k : {0, 1}) {
    const TempDir dir;
    const int rows = k == 0 ? 100 : scaled(100000);
    make(dir.path("a.tif"), {.w = 8, .h = rows, .type = GDT_Float32}, std::vector<double>(size_t(rows) * 8, 45));
    // Measured from a small process: a child of this one counts its memory too.
    const RunResult r = run_program(KAVRIX_MEASURE_BINARY, {KAVRIX_GDAL_BINARY, "a.tif", "a.tif", "a.tif", "out.tif", "-q"}, dir.root);
    double wall = 0, cpu = 0;
    int status = -1;
    std::istringstream(r.output) >> wall >> cpu >> peak[k] >> status;
    EXPECT_EQ(status, 0) << r.errors;
  }
  EXPECT_LT(peak[1] - peak[0], 1024) << peak[0] << " KiB for 100 rows";
}

TEST(KavrixGdal, DistReadsARasterByAnyNameGdalOpens) {
  const TempDir dir;
  std::vector<double> cells;
  for (size_t k = 0; k < 40; ++k) cells.push_back(stored(Raster{}, 0, k));
  make(dir.path("x.tif"), {}, cells);
  // The raster gzipped and zipped, read through GDAL's virtual file systems.
  ASSERT_EQ(CPLCopyFile(("/vsigzip/" + dir.path("x.tif.gz")).c_str(), dir.path("x.tif").c_str()), 0);
  ASSERT_EQ(CPLCopyFile(("/vsizip/" + dir.path("x.zip") + "/x.tif").c_str(), dir.path("x.tif").c_str()), 0);
  const auto table = [&](const std::string& name) {
    const RunResult r = run_program(KAVRIX_DIST_BINARY, {name, "-n", "7"}, dir.root);
    return std::to_string(r.status) + r.errors + r.output.substr(std::min(r.output.size(), r.output.find('\n')));
  };
  const std::string plain = table("x.tif");
  EXPECT_TRUE(plain.starts_with("0\n# cells counted 37\n")) << plain;
  for (const char* name : {"/vsigzip/x.tif.gz", "/vsizip/x.zip/x.tif", "GTIFF_DIR:1:x.tif"}) EXPECT_EQ(table(name), plain) << name;
}

}  // namespace
}  // namespace kavrix::test
