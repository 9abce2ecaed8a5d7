#include "gdal/gdal_api.h"

namespace kavrix {

const GdalApi& linked_gdal_api() {
  static const GdalApi api = [] {
    GdalApi linked;
#define KAVRIX_GDAL_LINK(member, function) linked.member = function;
    KAVRIX_GDAL_FUNCTIONS(KAVRIX_GDAL_LINK)
#undef KAVRIX_GDAL_LINK
    return linked;
  }();
  return api;
}

}  // namespace kavrix
