// GDAL virtual raster (VRT) documents that open a grid of this tool
// georeferenced, in GDAL and in the GIS software built on it.
#ifndef KAVRIX_GIS_VRT_H_
#define KAVRIX_GIS_VRT_H_

#include <string>

#include "base/status.h"
#include "grid/grid_header.h"

namespace kavrix {

/// How a VRT names its grid file.
struct VrtSource {
  std::string path;              ///< as written in SourceFilename
  bool relative_to_vrt = false;  ///< path is relative to the VRT's folder
};

/// The source of a VRT for the grid file `grid` when the VRT is written to
/// the file `vrt`: the grid's path relative to the VRT's folder, or its
/// absolute path when `vrt` is empty (standard output, location unknown)
/// or no relative path leads there. Symbolic links in the folders are
/// resolved; the file name itself is kept.
VrtSource vrt_source_for(const std::string& grid, const std::string& vrt);

/// Succeeds when `header` describes a raster that a VRT can express:
/// ncols and nrows whole numbers from 1 to 2^31 - 1, cellsize positive and
/// finite, xll and yll finite, else fails with exit status 7 naming `name`;
/// and when the absolute path of the grid file `name`, which holds every
/// part of the path a VRT names it by, is exact as XML text, else fails
/// with exit status 1.
Status check_vrt_header(const GridHeader& header, const std::string& name);

/// The VRT document that opens the grid of `header` and `format` at
/// `source`. Its geotransform places the lower-left corner of the last row
/// at (xll, yll) with square cells of side cellsize; its nodata value is the
/// header's. A binary grid is read as a raw little-endian band behind its
/// header; a text grid through GDAL's ASCII grid reader as Float64, with
/// the placement of the VRT overriding whatever that reader makes of the
/// keywords. Numbers are written with 17 significant digits.
/// REQUIRES: check_vrt_header(header, ...) succeeds.
std::string make_vrt(const GridHeader& header, GridFormat format,
                     const VrtSource& source);

}  // namespace kavrix

#endif  // KAVRIX_GIS_VRT_H_
