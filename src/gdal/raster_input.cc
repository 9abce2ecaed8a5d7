#include "gdal/raster_input.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <utility>

namespace kavrix {
namespace {

// Whether a and b differ by less than 1e-9 of a; NaN differs from all.
bool nearly_equal(double a, double b) { return std::fabs(a - b) < 1e-9 * std::fabs(a); }

// Checks what a raster must be on its own.
Status check_placing(const RasterInput& in) {
  const char* name = in.name.c_str();
  const double* g = in.geo;
  if (!in.placed) {
    return failure(kGdalUnusableGeometry,
                   "%s has no geotransform: its cell size and place are unknown "
                   "(gdal_translate -a_ullr gives it one)\n",
                   name);
  }
  if (g[2] != 0 || g[4] != 0 || !(g[1] > 0) || !(g[5] < 0)) {
    return failure(kGdalUnusableGeometry,
                   "%s is rotated or not north-up (geotransform %.17g %.17g %.17g "
                   "%.17g %.17g %.17g); gdalwarp makes a north-up copy\n",
                   name, g[0], g[1], g[2], g[3], g[4], g[5]);
  }
  if (!nearly_equal(g[1], -g[5])) {
    return failure(kGdalUnusableGeometry,
                   "%s has cells of %.17g x %.17g map units, not square "
                   "(gdalwarp -tr resamples it)\n",
                   name, g[1], -g[5]);
  }
  const OGRSpatialReferenceH crs = in.api->crs(in.dataset);
  if (crs != nullptr && in.api->geographic(crs)) {
    return failure(kGdalUnusableGeometry,
                   "%s has a geographic coordinate reference system: its cells "
                   "are measured in degrees, so cellsize^2 is no area; project it "
                   "first with gdalwarp -t_srs\n",
                   name);
  }
  return {};
}

// Checks that x and y agree; `cell` is A's cell size.
Status check_pair(const RasterInput& x, const RasterInput& y, double cell) {
  const GridHeader &p = x.header, &q = y.header;
  if (p.ncols != q.ncols || p.nrows != q.nrows) {
    return failure(kGdalMismatch, "%s has %.0f x %.0f cells, %s %.0f x %.0f\n",
                   x.name.c_str(), p.ncols, p.nrows, y.name.c_str(), q.ncols, q.nrows);
  }
  if (!nearly_equal(p.cellsize, q.cellsize)) {
    return failure(kGdalMismatch, "%s has cells of %.17g map units, %s of %.17g\n",
                   x.name.c_str(), p.cellsize, y.name.c_str(), q.cellsize);
  }
  if (!(std::fabs(x.geo[0] - y.geo[0]) <= 0.1 * cell) ||
      !(std::fabs(x.geo[3] - y.geo[3]) <= 0.1 * cell)) {
    return failure(kGdalMismatch,
                   "%s has its origin at (%.17g, %.17g), %s at (%.17g, %.17g): "
                   "more than a tenth of a cell apart\n",
                   x.name.c_str(), x.geo[0], x.geo[3], y.name.c_str(), y.geo[0], y.geo[3]);
  }
  const OGRSpatialReferenceH p_crs = x.api->crs(x.dataset), q_crs = y.api->crs(y.dataset);
  if (p_crs != nullptr && q_crs != nullptr && !x.api->same_crs(p_crs, q_crs)) {
    return failure(kGdalMismatch, "%s and %s have different coordinate reference systems\n",
                   x.name.c_str(), y.name.c_str());
  }
  return {};
}

// GDAL's block cache serves only bands whose blocks do not fill a strip;
// this holds a row of such blocks of all four bands of a raster some
// thousands of cells wide, so that no block is read twice.
constexpr long long kBlockCacheBytes = 32 << 20;

}  // namespace

void start_gdal(const GdalApi& api) {
  api.register_drivers();
  if (api.config_option("GDAL_CACHEMAX", nullptr) == nullptr) api.set_cache_max(kBlockCacheBytes);
}

RasterInput::~RasterInput() {
  if (dataset != nullptr) api->close(dataset);
}

Status open_raster_input(RasterInput& in, const GdalApi& api,
                         const std::string& name, double no_nodata) {
  in.name = name;
  in.api = &api;
  // GDAL would wait in the open of a FIFO for a writer, and read a pipe
  // once only where it must be able to read it again.
  struct stat named {};
  if (stat(name.c_str(), &named) == 0 && S_ISFIFO(named.st_mode)) {
    return failure(kGdalInputOpen, "could not open input raster %s: it is a pipe, not a file\n",
                   name.c_str());
  }
  const std::vector<OpenDescriptor> before = open_descriptors();
  in.dataset = api.open(name.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY | GDAL_OF_VERBOSE_ERROR,
                        nullptr, nullptr, nullptr);
  if (in.dataset == nullptr) {
    return failure(kGdalInputOpen, "could not open input raster %s: %s\n", name.c_str(),
                   api.last_error());
  }
  for (const OpenDescriptor& open : open_descriptors()) {
    const bool added = std::none_of(before.begin(), before.end(), [&](const OpenDescriptor& old) {
      return old.fd == open.fd && old.identity == open.identity;
    });
    if (added) in.files.push_back(open.identity);
  }
  char** listed = api.file_list(in.dataset);
  for (char** file = listed; file != nullptr && *file != nullptr; ++file) {
    struct stat info {};
    if (stat(*file, &info) == 0) in.files.push_back(identity_from(info));
  }
  api.free_list(listed);
  if (api.band_count(in.dataset) < 1) {
    return failure(kGdalInputOpen,
                   "could not open input raster %s: it has no band (gdalinfo lists "
                   "the subdatasets of a container, which open as rasters)\n",
                   name.c_str());
  }
  in.band = api.band(in.dataset, 1);
  in.placed = api.geo_transform(in.dataset, in.geo) == CE_None;
  GridHeader& h = in.header;
  h.ncols = api.width(in.dataset);
  h.nrows = api.height(in.dataset);
  h.xll = in.geo[0];
  h.yll = in.geo[3] + h.nrows * in.geo[5];
  h.cellsize = in.geo[1];
  int has_nodata = 0;
  const double nodata = api.nodata(in.band, &has_nodata);
  h.nodata_value = has_nodata && !std::isnan(nodata) ? nodata : no_nodata;
  api.block_size(in.band, &in.block_width, &in.block_height);
  in.type = api.data_type(in.band);
  return {};
}

Status check_geometry(const RasterInput& a, const RasterInput& t,
                      const RasterInput& s) {
  Status status;
  for (const RasterInput* in : {&a, &t, &s}) {
    if (status.ok()) status = check_placing(*in);
  }
  for (auto [x, y] : {std::pair{&a, &t}, {&a, &s}, {&t, &s}}) {
    if (status.ok()) status = check_pair(*x, *y, a.geo[1]);
  }
  return status;
}

Status read_strip(const RasterInput& in, Strip& strip, int first, int rows,
                  std::vector<unsigned char>& scratch) {
  const GdalApi& api = *in.api;
  const int width = api.width(in.dataset);
  CPLErr error = CE_None;
  if (!strip.in_blocks) {
    error = api.raster_io(in.band, GF_Read, 0, first, width, rows, strip.cells, width, rows,
                          GDT_Float64, 0, 0);
  }
  const long block_height = in.block_height;
  const long end = static_cast<long>(first) + rows;
  for (long y = first / block_height; strip.in_blocks && error == CE_None && y * block_height < end; ++y) {
    for (int col = 0; col < width && error == CE_None; col += strip.chunk) {
      double* block = strip_cell(strip, static_cast<int>(y * block_height - first), col);
      const int x = col / strip.chunk;
      if (in.type == GDT_Float64) {
        error = api.read_block(in.band, x, static_cast<int>(y), block);
        continue;
      }
      // Other types are widened into the strip, Float32 exactly.
      const int bytes = api.type_bytes(in.type);
      const auto values = static_cast<GPtrDiff_t>(strip.chunk) * in.block_height;
      scratch.resize(static_cast<std::size_t>(values) * static_cast<std::size_t>(bytes));
      error = api.read_block(in.band, x, static_cast<int>(y), scratch.data());
      if (error == CE_None) {
        api.copy_words(scratch.data(), in.type, bytes, block, GDT_Float64, sizeof(double), values);
      }
    }
  }
  if (error != CE_None) {
    return failure(kGdalRead, "error reading rows %d to %d of %s: %s\n", first + 1,
                   first + rows, in.name.c_str(), api.last_error());
  }
  return {};
}

}  // namespace kavrix
