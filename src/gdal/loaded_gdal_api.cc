#include <dlfcn.h>

#include "gdal/gdal_api.h"

namespace kavrix {

const GdalApi* loaded_gdal_api() {
  static const GdalApi* const api = []() -> const GdalApi* {
    // The library stays loaded for the life of the process.
    void* library = dlopen(KAVRIX_GDAL_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return nullptr;
    static GdalApi loaded;
    bool complete = true;
    // A function pointer from dlsym's object pointer: POSIX requires that
    // the conversion works.
#define KAVRIX_GDAL_LOAD(member, function)                                  \
  loaded.member = reinterpret_cast<decltype(loaded.member)>(dlsym(library, #function)); \
  complete = complete && loaded.member != nullptr;
    KAVRIX_GDAL_FUNCTIONS(KAVRIX_GDAL_LOAD)
#undef KAVRIX_GDAL_LOAD
    return complete ? &loaded : nullptr;
  }();
  return api;
}

}  // namespace kavrix
