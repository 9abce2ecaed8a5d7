// The functions of GDAL's C API through which rasters are read, in one
// table: kavrix-gdal fills it from the library it links, and kavrix-dist,
// which links only the standard library, from the library it loads at run
// time where it is installed.
#ifndef KAVRIX_GDAL_GDAL_API_H_
#define KAVRIX_GDAL_GDAL_API_H_

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <gdal.h>
#include <ogr_srs_api.h>

/// GDAL's reading functions: X(member, function) for each, the member
/// named by what the function does. The one list serves the table and both
/// ways of filling it.
#define KAVRIX_GDAL_READING(X)                                       \
  X(register_drivers, GDALAllRegister) X(open, GDALOpenEx)           \
  X(close, GDALClose) X(file_list, GDALGetFileList)                  \
  X(free_list, CSLDestroy) X(band_count, GDALGetRasterCount)         \
  X(band, GDALGetRasterBand) X(width, GDALGetRasterXSize)            \
  X(height, GDALGetRasterYSize) X(geo_transform, GDALGetGeoTransform) \
  X(crs, GDALGetSpatialRef) X(same_crs, OSRIsSame)                   \
  X(geographic, OSRIsGeographic) X(nodata, GDALGetRasterNoDataValue) \
  X(block_size, GDALGetBlockSize) X(data_type, GDALGetRasterDataType) \
  X(type_bytes, GDALGetDataTypeSizeBytes) X(read_block, GDALReadBlock) \
  X(raster_io, GDALRasterIO) X(copy_words, GDALCopyWords64)          \
  X(last_error, CPLGetLastErrorMsg) X(config_option, CPLGetConfigOption) \
  X(set_cache_max, GDALSetCacheMax64) X(set_error_handler, CPLSetErrorHandler) \
  X(quiet_errors, CPLQuietErrorHandler)

namespace kavrix {

/// GDAL's reading functions, each named by what it does.
struct GdalApi {
// A member's name cannot stand in parentheses.
// NOLINTNEXTLINE(bugprone-macro-parentheses)
#define KAVRIX_GDAL_MEMBER(member, function) decltype(&(function)) member = nullptr;
  KAVRIX_GDAL_READING(KAVRIX_GDAL_MEMBER)
#undef KAVRIX_GDAL_MEMBER
};

/// The table of the GDAL library linked into the program.
const GdalApi& linked_gdal_api();

/// The table of the GDAL library the program was built against, loaded at
/// the first call; null where it cannot be loaded (not installed).
const GdalApi* loaded_gdal_api();

}  // namespace kavrix

#endif  // KAVRIX_GDAL_GDAL_API_H_
