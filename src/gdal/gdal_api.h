// The functions of GDAL's C API that kavrix uses, in one table: kavrix-gdal
// fills it from the library it links, and kavrix-dist, which links only the
// standard library, from the library it loads at run time where it is
// installed. Nothing but the adapter in src/gdal calls GDAL, and only
// through this table.
#ifndef KAVRIX_GDAL_GDAL_API_H_
#define KAVRIX_GDAL_GDAL_API_H_

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_progress.h>
#include <cpl_string.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include <string>

#include "gdal/gdal_library.h"

/// GDAL's functions: X(member, function) for each, the member named by
/// what the function does. The one list serves the table and both ways of
/// filling it.
#define KAVRIX_GDAL_FUNCTIONS(X)                                               \
  /* drivers, messages and settings */                                         \
  X(register_drivers, GDALAllRegister) X(driver_by_name, GDALGetDriverByName)   \
  X(version_info, GDALVersionInfo)                                              \
  X(driver_short_name, GDALGetDriverShortName) X(metadata_item, GDALGetMetadataItem) \
  X(set_metadata_item, GDALSetMetadataItem) X(last_error, CPLGetLastErrorMsg)   \
  X(config_option, CPLGetConfigOption) X(set_cache_max, GDALSetCacheMax64)     \
  X(set_error_handler, CPLSetErrorHandler) \
  X(add_string, CSLAddString) X(free_list, CSLDestroy)                          \
  X(type_name, GDALGetDataTypeName) X(type_bytes, GDALGetDataTypeSizeBytes)     \
  X(is_complex, GDALDataTypeIsComplex)   \
  X(adjust_value, GDALAdjustValueToDataType)                                    \
  /* datasets and bands */                                                     \
  X(open, GDALOpenEx) X(close, GDALClose) X(file_list, GDALGetFileList)         \
  X(band_count, GDALGetRasterCount)     \
  X(band, GDALGetRasterBand) X(width, GDALGetRasterXSize)                       \
  X(height, GDALGetRasterYSize) X(geo_transform, GDALGetGeoTransform)           \
  X(crs, GDALGetSpatialRef) X(same_crs, OSRIsSame)                              \
  X(geographic, OSRIsGeographic) X(crs_name, OSRGetName)                        \
  X(crs_authority, OSRGetAuthorityName) X(crs_code, OSRGetAuthorityCode)        \
  X(nodata, GDALGetRasterNoDataValue) X(scale, GDALGetRasterScale)              \
  X(offset, GDALGetRasterOffset) X(mask_flags, GDALGetMaskFlags)                \
  X(mask_band, GDALGetMaskBand) X(block_size, GDALGetBlockSize)                 \
  X(data_type, GDALGetRasterDataType)                                           \
  /* cells */                                                                  \
  X(read_block, GDALReadBlock) X(write_block, GDALWriteBlock)                   \
  X(raster_io, GDALRasterIO) X(copy_words, GDALCopyWords64)                     \
  /* making rasters */                                                         \
  X(create, GDALCreate) X(create_copy, GDALCreateCopy)                          \
  X(delete_dataset, GDALDeleteDataset) X(set_geo_transform, GDALSetGeoTransform) \
  X(set_crs, GDALSetSpatialRef) X(set_nodata, GDALSetRasterNoDataValue)         \
  /* progress */                                                               \
  X(term_progress, GDALTermProgress) X(scaled_progress, GDALScaledProgress)     \
  X(create_scaled_progress, GDALCreateScaledProgress)                           \
  X(destroy_scaled_progress, GDALDestroyScaledProgress)

namespace kavrix {

struct GdalApi {
// A member's name cannot stand in parentheses.
// NOLINTNEXTLINE(bugprone-macro-parentheses)
#define KAVRIX_GDAL_MEMBER(member, function) decltype(&(function)) member = nullptr;
  KAVRIX_GDAL_FUNCTIONS(KAVRIX_GDAL_MEMBER)
#undef KAVRIX_GDAL_MEMBER
};

/// GDAL's first failure since the last call, from any thread (a driver
/// may compress in several): the first names the cause ("File too
/// large"), those after it its consequences. Empty if none; taken once.
/// REQUIRES: start_gdal.
std::string take_gdal_failure();

}  // namespace kavrix

#endif  // KAVRIX_GDAL_GDAL_API_H_
