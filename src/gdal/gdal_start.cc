// GDAL started for a command, and its messages kept for the command's own.
#include <cstdio>
#include <mutex>
#include <string>

#include "gdal/gdal_api.h"

namespace kavrix {
namespace {

// GDAL's block cache serves only bands whose blocks do not fill a strip;
// this holds a row of such blocks of all four bands of a raster some
// thousands of cells wide, so that no block is read twice.
constexpr long long kBlockCacheBytes = 32 << 20;

std::mutex failure_mutex;
std::string first_failure;
bool print_warnings = false;

void CPL_STDCALL on_gdal_error(CPLErr level, CPLErrorNum number, const char* message) {
  if (level == CE_Warning && print_warnings) std::fprintf(stderr, "Warning %d: %s\n", number, message);
  if (level < CE_Failure) return;
  const std::lock_guard<std::mutex> lock(failure_mutex);
  if (first_failure.empty()) first_failure = message;
}

}  // namespace

void start_gdal(const GdalApi& api, bool warnings) {
  print_warnings = warnings;
  api.set_error_handler(on_gdal_error);
  api.register_drivers();
  if (api.config_option("GDAL_CACHEMAX", nullptr) == nullptr) api.set_cache_max(kBlockCacheBytes);
}

const char* gdal_release(const GdalApi& api) { return api.version_info("RELEASE_NAME"); }

std::string take_gdal_failure() {
  const std::lock_guard<std::mutex> lock(failure_mutex);
  std::string taken;
  taken.swap(first_failure);
  return taken;
}

}  // namespace kavrix
