// A raster that GDAL opens, read a row at a time as kavrix-dist reads its
// grids.
#ifndef KAVRIX_GDAL_RASTER_SOURCE_H_
#define KAVRIX_GDAL_RASTER_SOURCE_H_

#include <string>

#include "base/status.h"
#include "gdal/gdal_library.h"
#include "grid/row_source.h"

namespace kavrix {

/// Opens band 1 of the raster `name` through `api`: a cell without data by
/// the band's mask is NaN, the others unscaled, and the source's nodata
/// value -infinity, so that every other value is counted. A file that GDAL
/// cannot open either fails with the status of a grid of no known format.
Status open_raster_source(RowSource& source, const GdalApi& api,
                          const std::string& name);

}  // namespace kavrix

#endif  // KAVRIX_GDAL_RASTER_SOURCE_H_
