#include "gdal/raster_output.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <sstream>
#include <span>
#include <utility>

namespace kavrix {
namespace {

// The first failure GDAL reported since the last was taken, from any
// thread (a driver may compress in several): the first names the cause
// ("File too large"), those after it its consequences.
std::mutex failure_mutex;
std::string first_failure;

void CPL_STDCALL on_gdal_error(CPLErr level, CPLErrorNum number, const char* message) {
  if (level == CE_Warning) std::fprintf(stderr, "Warning %d: %s\n", number, message);
  if (level < CE_Failure) return;
  const std::lock_guard<std::mutex> lock(failure_mutex);
  if (first_failure.empty()) first_failure = message;
}

// Takes the failure reported since the last call; empty if none.
std::string take_failure() {
  const std::lock_guard<std::mutex> lock(failure_mutex);
  std::string taken;
  taken.swap(first_failure);
  return taken;
}

Status cannot_write(const WholeFile& file) {
  std::string reason = take_failure();
  if (reason.empty()) reason = "GDAL reported no reason";
  return failure(kGdalWriteFailed, "could not write %s: %s\n", file.name.c_str(),
                 reason.c_str());
}

// Closes `dataset`; false if GDAL reported a failure while it closed it
// (a driver writes what it holds then, and GDAL's close returns nothing).
bool close_dataset(GDALDatasetH dataset) {
  take_failure();
  GDALClose(dataset);
  const std::lock_guard<std::mutex> lock(failure_mutex);
  return first_failure.empty();
}

// A list of options for GDAL, freed with the record.
struct OptionList {
  char** list = nullptr;
  explicit OptionList(const std::vector<std::string>& options) {
    for (const std::string& option : options) list = CSLAddString(list, option.c_str());
  }
  OptionList(const OptionList&) = delete;
  OptionList& operator=(const OptionList&) = delete;
  ~OptionList() { CSLDestroy(list); }
};

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
// count, sum and sample deviation.
void put_statistics(GDALRasterBandH band, const RunningStats& stats) {
  double count = 0, min = 0, max = 0, sum = 0, mean = 0, sample_stddev = 0, stddev = 0;
  stats_finish(stats, count, min, max, sum, mean, sample_stddev);
  if (count > 0) {
    // The sum of squared deviations, formed as for the sample deviation,
    // divided by the count rather than one less.
    const double squares = stats.sum_sq - (stats.sum * stats.sum) / stats.count;
    stddev = squares > 0 ? std::sqrt(squares / stats.count) : 0.0;
  }
  const std::pair<const char*, double> items[] = {
      {"KAVRIX_COUNT", count}, {"KAVRIX_SUM", sum}, {"KAVRIX_SAMPLE_STDDEV", sample_stddev},
      {"STATISTICS_MINIMUM", min}, {"STATISTICS_MAXIMUM", max},
      {"STATISTICS_MEAN", mean}, {"STATISTICS_STDDEV", stddev}};
  // GDAL has no statistics of no values; kavrix's count of 0 is kept.
  for (const auto& [name, value] : std::span(items, count > 0 ? 7 : 3)) {
    // A format that keeps no metadata loses the statistics, not the index.
    GDALSetMetadataItem(band, name, CPLSPrintf("%.17g", value), nullptr);
  }
}

}  // namespace

RasterOutput::~RasterOutput() {
  if (dataset != nullptr) GDALClose(dataset);
}

void take_gdal_errors() { CPLSetErrorHandler(on_gdal_error); }

Status find_output_driver(RasterOutput& out, const OutputOptions& options) {
  const char* format = options.format.c_str();
  out.driver = GDALGetDriverByName(format);
  if (out.driver == nullptr) {
    return failure(kGdalUsage, "unknown output format %s (gdalinfo --formats lists them)\n",
                   format);
  }
  const auto has = [&](const char* item) {
    return GDALGetMetadataItem(out.driver, item, nullptr) != nullptr;
  };
  out.copy_only = !has(GDAL_DCAP_CREATE) && has(GDAL_DCAP_CREATECOPY);
  if (!has(GDAL_DCAP_RASTER) || !(has(GDAL_DCAP_CREATE) || out.copy_only)) {
    return failure(kGdalUsage, "the output format %s writes no rasters\n", format);
  }
  // A raster in memory is no file; a VRT holds no cells of its own.
  if (options.format == "MEM" || options.format == "VRT") {
    return failure(kGdalUsage, "the output format %s writes no file of cells\n", format);
  }
  const char* types = GDALGetMetadataItem(out.driver, GDAL_DMD_CREATIONDATATYPES, nullptr);
  const std::string type = GDALGetDataTypeName(options.type);
  std::istringstream listed(types != nullptr ? types : type);
  std::string word;
  while (listed >> word && word != type) {
  }
  if (word != type) {
    return failure(kGdalUsage, "the output format %s cannot hold %s values\n", format,
                   type.c_str());
  }
  return {};
}

Status create_output(RasterOutput& out, const OutputOptions& options,
                     const RasterInput& a, const WholeFile& file) {
  out.type = options.type;
  out.made = file.content;
  GDALDriverH maker = out.driver;
  // Tiled, the temporary GeoTIFF gives the copy its blocks in the order it
  // reads them.
  const OptionList creation(out.copy_only ? std::vector<std::string>{"TILED=YES"}
                                          : options.creation);
  if (out.copy_only) {
    // A short name beside the content in its private folder: the output's
    // own name may be as long as a name can be.
    maker = GDALGetDriverByName("GTiff");
    const std::size_t slash = out.made.rfind('/') + 1;
    out.made.replace(slash, std::string::npos,
                     out.made.compare(slash, std::string::npos, "copied.tif") == 0 ? "source.tif"
                                                                                   : "copied.tif");
  }
  take_failure();
  out.dataset = GDALCreate(maker, out.made.c_str(), a.api->width(a.dataset),
                           a.api->height(a.dataset), 1, out.type, creation.list);
  if (out.dataset == nullptr) return cannot_write(file);
  out.band = GDALGetRasterBand(out.dataset, 1);
  const OGRSpatialReferenceH crs = a.api->crs(a.dataset);
  double geo[6];
  std::copy(a.geo, a.geo + 6, geo);
  double nodata = a.header.nodata_value;
  if (out.type == GDT_Float32) nodata = static_cast<float>(nodata);
  if (GDALSetGeoTransform(out.dataset, geo) != CE_None ||
      (crs != nullptr && GDALSetSpatialRef(out.dataset, crs) != CE_None) ||
      GDALSetRasterNoDataValue(out.band, nodata) != CE_None) {
    return cannot_write(file);
  }
  GDALGetBlockSize(out.band, &out.block_width, &out.block_height);
  return {};
}

Status write_strip(RasterOutput& out, const Strip& strip, int first, int rows,
                   const WholeFile& file) {
  const int width = GDALGetRasterXSize(out.dataset);
  CPLErr error = CE_None;
  if (!strip.in_blocks) {
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(rows);
    error = GDALRasterIO(out.band, GF_Write, 0, first, width, rows,
                         as_output_type(out, strip.cells, count), width, rows, out.type, 0, 0);
    return error == CE_None ? Status{} : cannot_write(file);
  }
  const long block_height = out.block_height;
  const long end = static_cast<long>(first) + rows;
  const auto block_values = static_cast<std::size_t>(strip.chunk) *
                            static_cast<std::size_t>(out.block_height);
  for (long y = first / block_height; error == CE_None && y * block_height < end; ++y) {
    for (int col = 0; col < width && error == CE_None; col += strip.chunk) {
      double* block = strip_cell(strip, static_cast<int>(y * block_height - first), col);
      error = GDALWriteBlock(out.band, col / strip.chunk, static_cast<int>(y),
                             as_output_type(out, block, block_values));
    }
  }
  return error == CE_None ? Status{} : cannot_write(file);
}

Status finish_output(RasterOutput& out, const OutputOptions& options,
                     const RunningStats& stats, const WholeFile& file,
                     GDALProgressFunc progress, void* progress_data) {
  put_statistics(out.band, stats);
  if (out.copy_only) {
    const OptionList creation(options.creation);
    GDALDatasetH copy = GDALCreateCopy(out.driver, file.content.c_str(), out.dataset, FALSE,
                                       creation.list, progress, progress_data);
    if (copy == nullptr || !close_dataset(copy)) return cannot_write(file);
  }
  bool written = close_dataset(out.dataset);
  out.dataset = nullptr;
  // The temporary GeoTIFF goes before the commit would move it beside the
  // output as a side file.
  if (written && out.copy_only) {
    written = GDALDeleteDataset(GDALGetDriverByName("GTiff"), out.made.c_str()) == CE_None;
  }
  return written ? Status{} : cannot_write(file);
}

}  // namespace kavrix
