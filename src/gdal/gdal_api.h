// The functions of GDAL's C API through which rasters are read, in one
// table: kavrix-gdal fills it from the library it links, and a command
// that does not link GDAL can fill it from a library it loads at run time.
#ifndef KAVRIX_GDAL_GDAL_API_H_
#define KAVRIX_GDAL_GDAL_API_H_

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <gdal.h>
#include <ogr_srs_api.h>

namespace kavrix {

/// GDAL's reading functions, each named by what it does.
struct GdalApi {
  decltype(&GDALAllRegister) register_drivers;
  decltype(&GDALOpenEx) open;
  decltype(&GDALClose) close;
  decltype(&GDALGetFileList) file_list;
  decltype(&CSLDestroy) free_list;
  decltype(&GDALGetRasterCount) band_count;
  decltype(&GDALGetRasterBand) band;
  decltype(&GDALGetRasterXSize) width;
  decltype(&GDALGetRasterYSize) height;
  decltype(&GDALGetGeoTransform) geo_transform;
  decltype(&GDALGetSpatialRef) crs;
  decltype(&OSRIsSame) same_crs;
  decltype(&OSRIsGeographic) geographic;
  decltype(&GDALGetRasterNoDataValue) nodata;
  decltype(&GDALGetBlockSize) block_size;
  decltype(&GDALGetRasterDataType) data_type;
  decltype(&GDALGetDataTypeSizeBytes) type_bytes;
  decltype(&GDALReadBlock) read_block;
  decltype(&GDALRasterIO) raster_io;
  decltype(&GDALCopyWords64) copy_words;
  decltype(&CPLGetLastErrorMsg) last_error;
  decltype(&CPLGetConfigOption) config_option;
  decltype(&GDALSetCacheMax64) set_cache_max;
};

/// The table of the GDAL library linked into the program.
const GdalApi& linked_gdal_api();

}  // namespace kavrix

#endif  // KAVRIX_GDAL_GDAL_API_H_
