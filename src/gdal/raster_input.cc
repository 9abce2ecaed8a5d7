#include "gdal/raster_input.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "gdal/gdal_api.h"

namespace kavrix {
namespace {

// Whether a and b differ by less than 1e-9 of a; NaN differs from all.
bool nearly_equal(double a, double b) { return std::fabs(a - b) < 1e-9 * std::fabs(a); }

// The name of a CRS as messages show it: "ETRS89 / UTM zone 32N (EPSG:25832)".
std::string crs_label(const GdalApi& api, OGRSpatialReferenceH crs) {
  const char* name = api.crs_name(crs);
  std::string label = name != nullptr ? name : "an unnamed CRS";
  const char* authority = api.crs_authority(crs, nullptr);
  const char* code = api.crs_code(crs, nullptr);
  if (authority != nullptr && code != nullptr) label += std::string(" (") + authority + ":" + code + ")";
  return label;
}

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
  const GdalApi& api = *x.api;
  const OGRSpatialReferenceH p_crs = api.crs(x.dataset), q_crs = api.crs(y.dataset);
  if (p_crs != nullptr && q_crs != nullptr && !api.same_crs(p_crs, q_crs)) {
    return failure(kGdalMismatch,
                   "%s and %s have different coordinate reference systems: %s and %s\n",
                   x.name.c_str(), y.name.c_str(), crs_label(api, p_crs).c_str(),
                   crs_label(api, q_crs).c_str());
  }
  return {};
}

// Learns how the band tells its cells without data, and its scale.
void learn_band(RasterInput& in) {
  const GdalApi& api = *in.api;
  int has_nodata = 0;
  in.nodata = api.nodata(in.band, &has_nodata);
  in.has_nodata = has_nodata != 0;
  const int flags = api.mask_flags(in.band);
  if (flags == GMF_ALL_VALID) {
    in.mask = BandMask::kNone;
  } else if (flags == GMF_NODATA && in.has_nodata) {
    // The nodata value as a cell of the band's type holds it: a Float32
    // cell holds it rounded to single precision. A value the type cannot
    // hold (-9999 in a Byte band, 0.5 in an integer band) marks no cell.
    int clamped = 0, rounded = 0;
    in.stored_nodata = api.adjust_value(static_cast<GDALDataType>(in.type), in.nodata, &clamped,
                                        &rounded);
    in.mask = clamped || rounded ? BandMask::kNone : BandMask::kNodata;
  } else {
    in.mask = BandMask::kBand;  // a mask of its own, of the dataset, or alpha
  }
  int has_scale = 0, has_offset = 0;
  const double scale = api.scale(in.band, &has_scale);
  const double offset = api.offset(in.band, &has_offset);
  in.scale = has_scale ? scale : 1.0;
  in.offset = has_offset ? offset : 0.0;
}

// Makes NaN each cell of rows 0 to rows - 1 of `strip` that has no data,
// then unscales the others: stored value * scale + offset, as GDAL's
// programs unscale.
void mask_and_unscale(const RasterInput& in, Strip& strip, int width, int rows) {
  const bool unscaled = in.scale != 1.0 || in.offset != 0.0;
  if (in.mask == BandMask::kNone && !unscaled) return;
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  for (int row = 0; row < rows; ++row) {
    for (int col = 0; col < width; col += strip.chunk) {
      double* cells = strip_cell(strip, row, col);
      const int n = std::min(strip.chunk, width - col);
      if (in.mask == BandMask::kNodata) {
        for (int k = 0; k < n; ++k) cells[k] = cells[k] == in.stored_nodata ? kNaN : cells[k];
      } else if (in.mask == BandMask::kBand) {
        const unsigned char* marks =
            in.mask_cells.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(width) +
            static_cast<std::size_t>(col);
        for (int k = 0; k < n; ++k) cells[k] = marks[k] == 0 ? kNaN : cells[k];
      }
      if (unscaled) {
        for (int k = 0; k < n; ++k) cells[k] = cells[k] * in.scale + in.offset;
      }
    }
  }
}

}  // namespace

RasterInput::~RasterInput() {
  if (dataset != nullptr) api->close(dataset);
}

Status open_raster_input(RasterInput& in, const GdalApi& api, const std::string& name,
                         int band, double no_nodata) {
  in.name = name;
  in.api = &api;
  in.band_number = band;
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
    take_gdal_failure();
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
  const int bands = api.band_count(in.dataset);
  if (bands < 1) {
    return failure(kGdalInputOpen,
                   "could not open input raster %s: it has no band (gdalinfo lists "
                   "the subdatasets of a container, which open as rasters)\n",
                   name.c_str());
  }
  if (band < 1 || band > bands) {
    return failure(kGdalInputOpen, "could not open input raster %s: it has no band %d (%d band%s)\n",
                   name.c_str(), band, bands, bands == 1 ? "" : "s");
  }
  in.band = api.band(in.dataset, band);
  in.type = api.data_type(in.band);
  if (api.is_complex(static_cast<GDALDataType>(in.type))) {
    return failure(kGdalInputOpen, "could not open input raster %s: band %d holds complex values (%s)\n",
                   name.c_str(), band, api.type_name(static_cast<GDALDataType>(in.type)));
  }
  in.placed = api.geo_transform(in.dataset, in.geo) == CE_None;
  GridHeader& h = in.header;
  h.ncols = api.width(in.dataset);
  h.nrows = api.height(in.dataset);
  h.xll = in.geo[0];
  h.yll = in.geo[3] + h.nrows * in.geo[5];
  h.cellsize = in.geo[1];
  learn_band(in);
  h.nodata_value = in.has_nodata && !std::isnan(in.nodata) ? in.nodata : no_nodata;
  api.block_size(in.band, &in.block_width, &in.block_height);
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

Status read_strip(RasterInput& in, Strip& strip, int first, int rows,
                  std::vector<unsigned char>& scratch) {
  const GdalApi& api = *in.api;
  const int width = api.width(in.dataset);
  const auto type = static_cast<GDALDataType>(in.type);
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
      if (type == GDT_Float64) {
        error = api.read_block(in.band, x, static_cast<int>(y), block);
        continue;
      }
      // Other types are widened into the strip, Float32 exactly.
      const int bytes = api.type_bytes(type);
      const auto values = static_cast<GPtrDiff_t>(strip.chunk) * in.block_height;
      scratch.resize(static_cast<std::size_t>(values) * static_cast<std::size_t>(bytes));
      error = api.read_block(in.band, x, static_cast<int>(y), scratch.data());
      if (error == CE_None) {
        api.copy_words(scratch.data(), type, bytes, block, GDT_Float64, sizeof(double), values);
      }
    }
  }
  if (error == CE_None && in.mask == BandMask::kBand) {
    in.mask_cells.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(rows));
    error = api.raster_io(api.mask_band(in.band), GF_Read, 0, first, width, rows,
                          in.mask_cells.data(), width, rows, GDT_Byte, 0, 0);
  }
  if (error != CE_None) {
    take_gdal_failure();
    return failure(kGdalRead, "error reading rows %d to %d of %s: %s\n", first + 1,
                   first + rows, in.name.c_str(), api.last_error());
  }
  mask_and_unscale(in, strip, width, rows);
  return {};
}

}  // namespace kavrix
