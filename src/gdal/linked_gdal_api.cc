#include "gdal/gdal_api.h"

namespace kavrix {

const GdalApi& linked_gdal_api() {
  static const GdalApi api = {
      GDALAllRegister,          GDALOpenEx,          GDALClose,
      GDALGetFileList,          CSLDestroy,          GDALGetRasterCount,
      GDALGetRasterBand,        GDALGetRasterXSize,  GDALGetRasterYSize,
      GDALGetGeoTransform,      GDALGetSpatialRef,   OSRIsSame,
      OSRIsGeographic,          GDALGetRasterNoDataValue, GDALGetBlockSize,
      GDALGetRasterDataType,    GDALGetDataTypeSizeBytes, GDALReadBlock,
      GDALRasterIO,             GDALCopyWords64,     CPLGetLastErrorMsg,
      CPLGetConfigOption,       GDALSetCacheMax64,
  };
  return api;
}

}  // namespace kavrix
