// The output raster, written through GDAL: its driver chosen and checked,
// the raster made under the temporary name of its whole file and read back
// before a cell is written, strips written a block at a time where the
// blocks allow, the statistics put into the band's metadata, and the
// finished file checked again. A driver that can only copy gets a copy of
// a temporary GeoTIFF made beside it.
#ifndef KAVRIX_GDAL_RASTER_OUTPUT_H_
#define KAVRIX_GDAL_RASTER_OUTPUT_H_

#include <string>
#include <vector>

#include "base/status.h"
#include "gdal/gdal_library.h"
#include "gdal/raster_input.h"
#include "grid/strip.h"
#include "grid/whole_file.h"
#include "index/running_stats.h"

namespace kavrix {

/// What the user chose for the output.
struct OutputOptions {
  std::string format = "GTiff";         ///< a GDAL driver's short name, any case
  bool float64 = false;                 ///< Float64 cells, else Float32
  std::vector<std::string> creation;    ///< NAME=VALUE, as given
  bool quiet = false;                   ///< no progress
};

/// The formats whose round trip of cells, nodata, place and CRS is known
/// to hold, by their drivers' short names, separated by ", ".
extern const char* const kSupportedFormats;

/// The output raster while it is written. GDAL's handles are held without
/// GDAL's types.
struct RasterOutput {
  const GdalApi* api = nullptr;
  void* driver = nullptr;         ///< GDALDriverH of the chosen format
  std::string format;             ///< its short name as GDAL spells it
  bool copy_only = false;         ///< the driver can only copy a raster
  std::string made;               ///< the raster written strip by strip
  void* dataset = nullptr;        ///< GDALDatasetH
  void* band = nullptr;           ///< GDALRasterBandH
  int type = 0;                   ///< GDALDataType of the cells
  double nodata = 0;              ///< the output's nodata value, in its type
  double geo[6] = {};             ///< A's geotransform
  int block_width = 0;
  int block_height = 0;
  bool quiet = false;
  std::vector<float> singles;     ///< a block or strip rounded to Float32

  RasterOutput() = default;
  RasterOutput(const RasterOutput&) = delete;
  RasterOutput& operator=(const RasterOutput&) = delete;
  ~RasterOutput();
};

/// Finds the driver of `options.format` (any case, as GDAL's programs take
/// it); refuses one that is unknown, writes no rasters, is not among the
/// supported formats, or cannot write values of the chosen type.
/// REQUIRES: start_gdal(api).
Status find_output_driver(RasterOutput& out, const GdalApi& api, const OutputOptions& options);

/// The output's nodata value: `chosen` where the user chose one, else A's
/// (-9999 where A has none), as a cell of the output's type holds it.
/// Refuses a value that the type cannot hold.
Status output_nodata(const RasterOutput& out, const RasterInput& a, const double* chosen,
                     double& nodata);

/// Makes the one-band raster under `file.content` (a driver that can only
/// copy: a GeoTIFF under another name in the same folder) with A's size,
/// geotransform and CRS and the nodata value `nodata`, and reads back what
/// the driver made: a cell type, nodata value, geotransform or CRS other
/// than asked for is refused before a cell is written.
/// REQUIRES: find_output_driver(out, ...) and begin_whole_file(file)
/// succeeded.
Status create_output(RasterOutput& out, const OutputOptions& options,
                     const RasterInput& a, double nodata, const WholeFile& file);

/// Writes rows first to first + rows - 1 from `strip`, laid out for the
/// output's blocks; Float32 values are the doubles rounded to nearest.
/// REQUIRES: first is a multiple of strip.height; rows <= strip.height.
Status write_strip(RasterOutput& out, const Strip& strip, int first, int rows,
                   const WholeFile& file);

/// Shows the part `done` (0 to 1) of the run as GDAL's programs show it,
/// "0...10...20...", on standard output; nothing when quiet.
void show_progress(const RasterOutput& out, double done);

/// Puts the statistics into the band's metadata and completes the raster
/// under `file.content`: closed, or copied by the driver and the temporary
/// GeoTIFF deleted; then opens it again and refuses what differs from what
/// was written (cell type, nodata value, place, CRS, the statistics).
/// The progress from `done` to 1 follows the copy.
Status finish_output(RasterOutput& out, const OutputOptions& options, const RasterInput& a,
                     const RunningStats& stats, const WholeFile& file, double done);

/// The side files of the raster that `file` would replace that belong to
/// it alone: statistics, overviews, masks and headers named after it
/// (out.tif.aux.xml, out.tif.ovr, out.hdr), never a file it merely names,
/// such as a VRT's sources; and statistics, overviews and a mask beside it
/// that GDAL would take for the new raster's, whatever was there. None
/// made anew in the temporary folder.
std::vector<std::string> old_side_files(const GdalApi& api, const WholeFile& file);

}  // namespace kavrix

#endif  // KAVRIX_GDAL_RASTER_OUTPUT_H_
