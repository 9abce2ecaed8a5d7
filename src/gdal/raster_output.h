// The output raster, written through GDAL: its driver chosen and checked,
// the raster made under the temporary name of its whole file, strips
// written a block at a time where the blocks allow, and the statistics
// put into the band's metadata. A driver that can only copy gets a copy
// of a temporary GeoTIFF made beside it.
#ifndef KAVRIX_GDAL_RASTER_OUTPUT_H_
#define KAVRIX_GDAL_RASTER_OUTPUT_H_

#include <string>
#include <vector>

#include "base/status.h"
#include "gdal/raster_input.h"
#include "gdal/strip.h"
#include "grid/whole_file.h"
#include "index/running_stats.h"

namespace kavrix {

/// What the user chose for the output.
struct OutputOptions {
  std::string format = "GTiff";         ///< a GDAL driver's short name
  GDALDataType type = GDT_Float32;
  std::vector<std::string> creation;    ///< NAME=VALUE, as given
};

/// The output raster while it is written.
struct RasterOutput {
  GDALDriverH driver = nullptr;   ///< of the chosen format
  bool copy_only = false;         ///< the driver can only copy a raster
  std::string made;               ///< the raster written strip by strip
  GDALDatasetH dataset = nullptr;
  GDALRasterBandH band = nullptr;
  GDALDataType type = GDT_Float32;
  int block_width = 0;
  int block_height = 0;
  std::vector<float> singles;     ///< a block or strip rounded to Float32

  RasterOutput() = default;
  RasterOutput(const RasterOutput&) = delete;
  RasterOutput& operator=(const RasterOutput&) = delete;
  ~RasterOutput();
};

/// Makes GDAL's warnings lines on the error stream, as its programs print
/// them, and keeps its failures for the messages of the writing side.
void take_gdal_errors();

/// Finds the driver of `options.format`; refuses one that is unknown,
/// writes no rasters, or cannot write values of `options.type`.
Status find_output_driver(RasterOutput& out, const OutputOptions& options);

/// Makes the one-band raster under `file.content` (a driver that can only
/// copy: a GeoTIFF under another name in the same folder) with A's size,
/// geotransform and CRS, and A's nodata value as its own.
/// REQUIRES: find_output_driver(out, options) and begin_whole_file(file)
/// succeeded.
Status create_output(RasterOutput& out, const OutputOptions& options,
                     const RasterInput& a, const WholeFile& file);

/// Writes rows first to first + rows - 1 from `strip`, laid out for the
/// output's blocks; Float32 values are the doubles rounded to nearest.
/// REQUIRES: first is a multiple of strip.height; rows <= strip.height.
Status write_strip(RasterOutput& out, const Strip& strip, int first, int rows,
                   const WholeFile& file);

/// Puts the statistics into the band's metadata and completes the raster
/// under `file.content`: closed, or copied by the driver and the temporary
/// GeoTIFF deleted. `progress` follows the copy.
Status finish_output(RasterOutput& out, const OutputOptions& options,
                     const RunningStats& stats, const WholeFile& file,
                     GDALProgressFunc progress, void* progress_data);

}  // namespace kavrix

#endif  // KAVRIX_GDAL_RASTER_OUTPUT_H_
