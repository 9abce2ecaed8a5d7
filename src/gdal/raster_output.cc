#include "gdal/raster_output.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <span>
#include <sstream>
#include <utility>

#include "gdal/gdal_api.h"

namespace kavrix {

// Each checked by a round trip of cells, nodata, place and CRS in the
// tests; a format outside the list may change what it is given without a
// word (other cell types, its own nodata value, quantised cells).
const char* const kSupportedFormats = "GTiff, COG, ENVI, EHdr, ERS, HFA, SAGA, GPKG";

namespace {

// A GeoPackage keeps no metadata of a band, only of the raster: the
// statistics go there.
bool keeps_band_metadata(const RasterOutput& out) { return out.format != "GPKG"; }

Status cannot_write(const WholeFile& file) {
  std::string reason = take_gdal_failure();
  if (reason.empty()) reason = "GDAL reported no reason";
  return failure(kGdalWriteFailed, "could not write %s: %s\n", file.name.c_str(),
                 reason.c_str());
}

// Closes `dataset`; false if GDAL reported a failure while it closed it
// (a driver writes what it holds then, and GDAL's close returns nothing).
bool close_dataset(const GdalApi& api, GDALDatasetH dataset) {
  take_gdal_failure();
  api.close(dataset);
  return take_gdal_failure().empty();
}

// A list of options for GDAL, freed with the record.
struct OptionList {
  const GdalApi& api;
  char** list = nullptr;
  OptionList(const GdalApi& gdal, const std::vector<std::string>& options) : api(gdal) {
    for (const std::string& option : options) list = api.add_string(list, option.c_str());
  }
  OptionList(const OptionList&) = delete;
  OptionList& operator=(const OptionList&) = delete;
  ~OptionList() { api.free_list(list); }
};

bool same_value(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

// `values` doubles as the output's type: the doubles themselves, or their
// rounding to nearest in `out.singles`, as kavrix's single output rounds.
void* as_output_type(RasterOutput& out, double* values, std::size_t count) {
  if (out.type == GDT_Float64) return values;
  out.singles.resize(count);
  for (std::size_t k = 0; k < count; ++k) out.singles[k] = static_cast<float>(values[k]);
  return out.singles.data();
}

// The statistics of kavrix's binary header as band metadata: GDAL's own
// STATISTICS_* items, whose deviation is the population's, and kavrix's
// count, sum and sample deviation. Minimum and maximum are those of the
// cells as stored: a Float32 cell is its double rounded, and rounding
// keeps the order, so they are the doubles' extremes rounded.
std::vector<std::pair<const char*, std::string>> statistics_items(const RasterOutput& out,
                                                                  const RunningStats& stats) {
  double count = 0, min = 0, max = 0, sum = 0, mean = 0, sample_stddev = 0, stddev = 0;
  stats_finish(stats, count, min, max, sum, mean, sample_stddev);
  if (count > 0) {
    // The sum of squared deviations, formed as for the sample deviation,
    // divided by the count rather than one less.
    const double squares = stats.sum_sq - (stats.sum * stats.sum) / stats.count;
    stddev = squares > 0 ? std::sqrt(squares / stats.count) : 0.0;
    // Counted values are finite or +infinity, which float holds.
    if (out.type == GDT_Float32 && std::fabs(max) <= DBL_MAX) {
      min = std::fabs(min) <= FLT_MAX ? static_cast<float>(min) : min;
      max = std::fabs(max) <= FLT_MAX ? static_cast<float>(max) : max;
    }
  }
  const std::pair<const char*, double> items[] = {
      {"KAVRIX_COUNT", count}, {"KAVRIX_SUM", sum}, {"KAVRIX_SAMPLE_STDDEV", sample_stddev},
      {"STATISTICS_MINIMUM", min}, {"STATISTICS_MAXIMUM", max},
      {"STATISTICS_MEAN", mean}, {"STATISTICS_STDDEV", stddev}};
  std::vector<std::pair<const char*, std::string>> texts;
  // GDAL has no statistics of no values; kavrix's count of 0 is kept.
  for (const auto& [name, value] : std::span(items, count > 0 ? 7 : 3)) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    texts.emplace_back(name, text);
  }
  return texts;
}

// Compares what `dataset` holds with what was asked: cell type, nodata
// value, geotransform and A's CRS; and, once finished, the statistics.
Status check_made(const RasterOutput& out, const RasterInput& a, GDALDatasetH dataset,
                  const WholeFile& file,
                  const std::vector<std::pair<const char*, std::string>>& items) {
  const GdalApi& api = *out.api;
  const char* name = file.name.c_str();
  const char* format = out.format.c_str();
  GDALRasterBandH band = api.band_count(dataset) >= 1 ? api.band(dataset, 1) : nullptr;
  if (band == nullptr) return failure(kGdalWriteFailed, "could not write %s: the format %s made no band\n", name, format);
  const auto asked = static_cast<GDALDataType>(out.type);
  const GDALDataType made = api.data_type(band);
  if (made != asked) {
    return failure(kGdalWriteFailed, "could not write %s: the format %s made %s cells, not the %s asked for\n",
                   name, format, api.type_name(made), api.type_name(asked));
  }
  int has_nodata = 0;
  const double nodata = api.nodata(band, &has_nodata);
  if (!has_nodata || !same_value(nodata, out.nodata)) {
    return failure(kGdalWriteFailed, "could not write %s: the format %s keeps %s, not the nodata value %.17g\n",
                   name, format, has_nodata ? "another nodata value" : "no nodata value", out.nodata);
  }
  double geo[6] = {};
  if (api.geo_transform(dataset, geo) != CE_None || !std::equal(geo, geo + 6, out.geo)) {
    return failure(kGdalWriteFailed, "could not write %s: the format %s does not keep A's geotransform exactly\n",
                   name, format);
  }
  const OGRSpatialReferenceH crs = api.crs(a.dataset);
  const OGRSpatialReferenceH kept = api.crs(dataset);
  if (crs != nullptr && (kept == nullptr || !api.same_crs(crs, kept))) {
    return failure(kGdalWriteFailed, "could not write %s: the format %s does not keep A's coordinate reference system\n",
                   name, format);
  }
  for (const auto& [item, text] : items) {
    const char* stored = keeps_band_metadata(out) ? api.metadata_item(band, item, nullptr)
                                                  : api.metadata_item(dataset, item, nullptr);
    if (stored == nullptr || text != stored) {
      return failure(kGdalWriteFailed, "could not write %s: the statistics were not kept (%s)\n", name,
                     take_gdal_failure().empty() ? item : "GDAL could not save them");
    }
  }
  return {};
}

int CPL_STDCALL no_progress(double, const char*, void*) { return TRUE; }

// Whether `side` is named after the raster file `name`: `name` with a
// suffix (out.tif.aux.xml, out.tif.ovr, out.tif.msk), or the name's stem
// with one of the suffixes of GDAL's headers and side files (out.hdr).
bool named_after(const std::string& side, const std::string& name) {
  if (side.size() > name.size() && side.starts_with(name) && side[name.size()] == '.') return true;
  const std::string stem = std::filesystem::path(name).stem().string();
  if (!side.starts_with(stem + ".")) return false;
  std::string suffix = side.substr(stem.size() + 1);
  std::transform(suffix.begin(), suffix.end(), suffix.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  constexpr const char* kSuffixes[] = {"hdr", "aux",  "aux.xml", "prj", "stx", "tfw", "tifw",
                                        "wld", "rrd",  "ovr",     "msk", "clr", "rde"};
  return std::any_of(std::begin(kSuffixes), std::end(kSuffixes),
                     [&](const char* known) { return suffix == known; });
}

}  // namespace

RasterOutput::~RasterOutput() {
  if (dataset != nullptr) api->close(dataset);
}

Status find_output_driver(RasterOutput& out, const GdalApi& api, const OutputOptions& options) {
  out.api = &api;
  out.quiet = options.quiet;
  const char* format = options.format.c_str();
  out.driver = api.driver_by_name(format);
  if (out.driver == nullptr) {
    return failure(kGdalUsage, "unknown output format %s (gdalinfo --formats lists them)\n",
                   format);
  }
  out.format = api.driver_short_name(out.driver);
  const auto has = [&](const char* item) {
    return api.metadata_item(out.driver, item, nullptr) != nullptr;
  };
  out.copy_only = !has(GDAL_DCAP_CREATE) && has(GDAL_DCAP_CREATECOPY);
  if (!has(GDAL_DCAP_RASTER) || !(has(GDAL_DCAP_CREATE) || out.copy_only)) {
    return failure(kGdalUsage, "the output format %s writes no rasters\n", format);
  }
  // A raster in memory is no file; a VRT holds no cells of its own.
  if (out.format == "MEM" || out.format == "VRT") {
    return failure(kGdalUsage, "the output format %s writes no file of cells\n", format);
  }
  out.type = options.float64 ? GDT_Float64 : GDT_Float32;
  const char* types = api.metadata_item(out.driver, GDAL_DMD_CREATIONDATATYPES, nullptr);
  const std::string type = api.type_name(static_cast<GDALDataType>(out.type));
  std::istringstream listed(types != nullptr ? types : "");
  std::string word;
  while (listed >> word && word != type) {
  }
  if (word != type) {
    return failure(kGdalUsage, "the output format %s cannot hold %s values\n", format,
                   type.c_str());
  }
  std::istringstream supported(kSupportedFormats);
  while (std::getline(supported >> std::ws, word, ',') && word != out.format) {
  }
  if (word != out.format) {
    return failure(kGdalUsage,
                   "the output format %s is not one whose round trip kavrix-gdal has checked; "
                   "it writes %s\n",
                   format, kSupportedFormats);
  }
  return {};
}

Status output_nodata(const RasterOutput& out, const RasterInput& a, const double* chosen,
                     double& nodata) {
  nodata = chosen != nullptr ? *chosen : a.header.nodata_value;
  if (out.type == GDT_Float64 || std::isnan(nodata) || std::isinf(nodata)) return {};
  if (!(std::fabs(nodata) <= FLT_MAX)) {
    return failure(kGdalUsage,
                   "the nodata value %.17g cannot be a Float32 cell: choose one with "
                   "-a_nodata, or -ot Float64\n",
                   nodata);
  }
  nodata = static_cast<float>(nodata);
  return {};
}

Status create_output(RasterOutput& out, const OutputOptions& options,
                     const RasterInput& a, double nodata, const WholeFile& file) {
  const GdalApi& api = *out.api;
  out.made = file.content;
  out.nodata = nodata;
  std::copy(a.geo, a.geo + 6, out.geo);
  GDALDriverH maker = out.driver;
  // Tiled, the temporary GeoTIFF gives the copy its blocks in the order it
  // reads them.
  const OptionList creation(api, out.copy_only ? std::vector<std::string>{"TILED=YES"}
                                               : options.creation);
  if (out.copy_only) {
    // A short name beside the content in its private folder: the output's
    // own name may be as long as a name can be.
    maker = api.driver_by_name("GTiff");
    const std::size_t slash = out.made.rfind('/') + 1;
    out.made.replace(slash, std::string::npos,
                     out.made.compare(slash, std::string::npos, "copied.tif") == 0 ? "source.tif"
                                                                                   : "copied.tif");
  }
  take_gdal_failure();
  out.dataset = api.create(maker, out.made.c_str(), api.width(a.dataset), api.height(a.dataset), 1,
                           static_cast<GDALDataType>(out.type), creation.list);
  if (out.dataset == nullptr) return cannot_write(file);
  out.band = api.band(out.dataset, 1);
  const OGRSpatialReferenceH crs = api.crs(a.dataset);
  if (api.set_geo_transform(out.dataset, out.geo) != CE_None ||
      (crs != nullptr && api.set_crs(out.dataset, crs) != CE_None)) {
    return cannot_write(file);
  }
  // Some drivers report a failure of a nodata value they keep (GPKG):
  // what counts is what the band holds, read back below.
  api.set_nodata(out.band, nodata);
  take_gdal_failure();
  Status status = check_made(out, a, out.dataset, file, {});
  if (!status.ok()) return status;
  api.block_size(out.band, &out.block_width, &out.block_height);
  return {};
}

Status write_strip(RasterOutput& out, const Strip& strip, int first, int rows,
                   const WholeFile& file) {
  const GdalApi& api = *out.api;
  const int width = api.width(out.dataset);
  const auto type = static_cast<GDALDataType>(out.type);
  CPLErr error = CE_None;
  if (!strip.in_blocks) {
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(rows);
    error = api.raster_io(out.band, GF_Write, 0, first, width, rows,
                          as_output_type(out, strip.cells, count), width, rows, type, 0, 0);
    return error == CE_None ? Status{} : cannot_write(file);
  }
  const long block_height = out.block_height;
  const long end = static_cast<long>(first) + rows;
  const auto block_values = static_cast<std::size_t>(strip.chunk) *
                            static_cast<std::size_t>(out.block_height);
  for (long y = first / block_height; error == CE_None && y * block_height < end; ++y) {
    for (int col = 0; col < width && error == CE_None; col += strip.chunk) {
      double* block = strip_cell(strip, static_cast<int>(y * block_height - first), col);
      error = api.write_block(out.band, col / strip.chunk, static_cast<int>(y),
                              as_output_type(out, block, block_values));
    }
  }
  return error == CE_None ? Status{} : cannot_write(file);
}

void show_progress(const RasterOutput& out, double done) {
  if (!out.quiet) out.api->term_progress(done, nullptr, nullptr);
}

Status finish_output(RasterOutput& out, const OutputOptions& options, const RasterInput& a,
                     const RunningStats& stats, const WholeFile& file, double done) {
  const GdalApi& api = *out.api;
  const auto items = statistics_items(out, stats);
  for (const auto& [name, text] : items) {
    api.set_metadata_item(keeps_band_metadata(out) ? out.band : out.dataset, name, text.c_str(),
                          nullptr);
  }
  if (out.copy_only) {
    const OptionList creation(api, options.creation);
    void* scaled = api.create_scaled_progress(done, 1.0, out.quiet ? no_progress : api.term_progress,
                                              nullptr);
    GDALDatasetH copy = api.create_copy(out.driver, file.content.c_str(), out.dataset, FALSE,
                                        creation.list, api.scaled_progress, scaled);
    api.destroy_scaled_progress(scaled);
    if (copy == nullptr || !close_dataset(api, copy)) return cannot_write(file);
  }
  bool written = close_dataset(api, out.dataset);
  out.dataset = nullptr;
  // The temporary GeoTIFF goes before the commit would move it beside the
  // output as a side file.
  if (written && out.copy_only) {
    written = api.delete_dataset(api.driver_by_name("GTiff"), out.made.c_str()) == CE_None;
  }
  if (!written) return cannot_write(file);
  // What the file holds now, as any reader will open it.
  GDALDatasetH finished = api.open(file.content.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY,
                                   nullptr, nullptr, nullptr);
  if (finished == nullptr) return cannot_write(file);
  Status status = check_made(out, a, finished, file, items);
  api.close(finished);
  return status;
}

std::vector<std::string> old_side_files(const GdalApi& api, const WholeFile& file) {
  namespace fs = std::filesystem;
  std::vector<std::string> stale;
  if (file.in_place) return stale;
  const fs::path path(file.path);
  const fs::path home = path.parent_path().empty() ? fs::path(".") : path.parent_path();
  const auto take = [&](const fs::path& side) {
    std::error_code error;
    const bool beside = fs::equivalent(side.parent_path().empty() ? "." : side.parent_path(), home, error);
    const bool made = fs::exists(fs::path(file.folder) / side.filename(), error);
    if (beside && !made && side.filename() != path.filename() &&
        named_after(side.filename().string(), path.filename().string()) &&
        std::find(stale.begin(), stale.end(), side.string()) == stale.end()) {
      stale.push_back(side.string());
    }
  };
  GDALDatasetH old = file.exists ? api.open(file.path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY,
                                            nullptr, nullptr, nullptr)
                                 : nullptr;
  take_gdal_failure();
  char** files = old != nullptr ? api.file_list(old) : nullptr;
  for (char** f = files; f != nullptr && *f != nullptr; ++f) take(*f);
  api.free_list(files);
  if (old != nullptr) api.close(old);
  // Whatever raster was there, GDAL would give these to the new one:
  // statistics, overviews and a mask of another raster.
  for (const char* suffix : {".aux.xml", ".ovr", ".msk"}) {
    const fs::path side = path.string() + suffix;
    std::error_code error;
    if (fs::is_regular_file(side, error)) take(side);
  }
  return stale;
}

}  // namespace kavrix
