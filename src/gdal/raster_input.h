// An input raster read through GDAL: one band as a grid of kavrix (its
// size, corner and cell size as a grid header), the files it has open, the
// checks that three of them describe one raster, and its rows read a strip
// at a time as GDAL's data model has them: a cell without data (by the
// band's mask: its exact nodata value, a mask of its own or of the
// dataset, alpha) is NaN, the others unscaled with the band's scale and
// offset.
#ifndef KAVRIX_GDAL_RASTER_INPUT_H_
#define KAVRIX_GDAL_RASTER_INPUT_H_

#include <string>
#include <vector>

#include "base/status.h"
#include "gdal/gdal_library.h"
#include "grid/file.h"
#include "grid/grid_header.h"
#include "grid/strip.h"

namespace kavrix {

/// How a band tells its cells without data.
enum class BandMask {
  kNone,    ///< every cell has data (NaN values aside)
  kNodata,  ///< cells whose stored value is the nodata value, exactly
  kBand,    ///< cells that the band's mask band marks 0
};

/// One input raster, open while the record lives. GDAL's handles are held
/// without GDAL's types, so that the commands need no GDAL header.
struct RasterInput {
  std::string name;                 ///< as the user gave it
  const GdalApi* api = nullptr;
  void* dataset = nullptr;          ///< GDALDatasetH
  void* band = nullptr;             ///< GDALRasterBandH of the band read
  int band_number = 1;
  GridHeader header;                ///< the six parameters; no statistics
  double geo[6] = {};               ///< the geotransform, if `placed`
  bool placed = false;              ///< the raster has a geotransform
  std::vector<FileIdentity> files;  ///< files it has open or names
  int block_width = 0;
  int block_height = 0;
  int type = 0;                     ///< GDALDataType of the band
  BandMask mask = BandMask::kNone;
  bool has_nodata = false;          ///< the band has a nodata value
  double nodata = 0;                ///< that value, as the band gives it
  double stored_nodata = 0;         ///< as a cell of the band's type holds it
  double scale = 1;                 ///< a cell is its stored value * scale
  double offset = 0;                ///< + offset
  std::vector<unsigned char> mask_cells;  ///< a strip of the mask band

  RasterInput() = default;
  RasterInput(const RasterInput&) = delete;
  RasterInput& operator=(const RasterInput&) = delete;
  ~RasterInput();
};

/// Opens band `band` of the raster `name` for reading and learns its mask,
/// scale and offset. The band's nodata value, where it has one that is a
/// number, becomes the header's nodata_value; else `no_nodata` does.
/// Learns the files the raster has open (from the descriptors the opening
/// added) and those GDAL lists for it. Refuses a pipe, a raster without
/// that band, and a band of complex values.
/// REQUIRES: start_gdal(api).
Status open_raster_input(RasterInput& in, const GdalApi& api, const std::string& name,
                         int band, double no_nodata);

/// Checks that A, T and S can be computed together: each north-up without
/// rotation, with square cells and no geographic CRS; all of one size and
/// cell size (relative difference below 1e-9), origins within a tenth of
/// A's cell, and no two with different CRSs.
Status check_geometry(const RasterInput& a, const RasterInput& t,
                      const RasterInput& s);

/// Reads rows first to first + rows - 1 of `in` into `strip`, block by
/// block straight into it where it is laid out in blocks, then makes NaN
/// each cell without data and unscales the others. A block of any type
/// but Float64 passes through `scratch`, which grows as needed.
/// REQUIRES: first is a multiple of strip.height; rows <= strip.height.
Status read_strip(RasterInput& in, Strip& strip, int first, int rows,
                  std::vector<unsigned char>& scratch);

}  // namespace kavrix

#endif  // KAVRIX_GDAL_RASTER_INPUT_H_
