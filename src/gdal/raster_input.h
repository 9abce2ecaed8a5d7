// An input raster read through GDAL's C API: band 1 as a grid of kavrix
// (its size, corner, cell size and nodata as a grid header), the files it
// has open, the checks that three of them describe one raster, and its
// rows read a strip at a time.
#ifndef KAVRIX_GDAL_RASTER_INPUT_H_
#define KAVRIX_GDAL_RASTER_INPUT_H_

#include <string>
#include <vector>

#include "base/status.h"
#include "gdal/gdal_api.h"
#include "gdal/strip.h"
#include "grid/file.h"
#include "grid/grid_header.h"

namespace kavrix {

/// One input raster, open while the record lives.
struct RasterInput {
  std::string name;                 ///< as the user gave it
  const GdalApi* api = nullptr;
  GDALDatasetH dataset = nullptr;
  GDALRasterBandH band = nullptr;   ///< band 1
  GridHeader header;                ///< the six parameters; no statistics
  double geo[6] = {};               ///< the geotransform, if `placed`
  bool placed = false;              ///< the raster has a geotransform
  std::vector<FileIdentity> files;  ///< files it has open or names
  int block_width = 0;
  int block_height = 0;
  GDALDataType type = GDT_Unknown;

  RasterInput() = default;
  RasterInput(const RasterInput&) = delete;
  RasterInput& operator=(const RasterInput&) = delete;
  ~RasterInput();
};

/// Registers GDAL's drivers and holds its block cache at 32 MiB, unless the
/// user sized it (GDAL_CACHEMAX). Call before the first raster is opened.
void start_gdal(const GdalApi& api);

/// Opens band 1 of the raster `name` for reading. The band's nodata value,
/// where it has one that is a number, becomes the header's nodata_value;
/// else `no_nodata` does. Learns the files the raster has open (from the
/// descriptors the opening added) and those GDAL lists for it.
Status open_raster_input(RasterInput& in, const GdalApi& api,
                         const std::string& name, double no_nodata);

/// Checks that A, T and S can be computed together: each north-up without
/// rotation, with square cells and no geographic CRS; all of one size and
/// cell size (relative difference below 1e-9), origins within a tenth of
/// A's cell, and no two with different CRSs.
Status check_geometry(const RasterInput& a, const RasterInput& t,
                      const RasterInput& s);

/// Reads rows first to first + rows - 1 of `in` into `strip`, block by
/// block straight into it where it is laid out in blocks. A block of any
/// type but Float64 passes through `scratch`, which grows as needed.
/// REQUIRES: first is a multiple of strip.height; rows <= strip.height.
Status read_strip(const RasterInput& in, Strip& strip, int first, int rows,
                  std::vector<unsigned char>& scratch);

}  // namespace kavrix

#endif  // KAVRIX_GDAL_RASTER_INPUT_H_
