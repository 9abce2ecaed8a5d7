// Where the GDAL functions of a command come from, without GDAL's own
// headers: the commands name the table, only the adapter opens it.
#ifndef KAVRIX_GDAL_GDAL_LIBRARY_H_
#define KAVRIX_GDAL_GDAL_LIBRARY_H_

namespace kavrix {

/// GDAL's C functions, each named by what it does (gdal/gdal_api.h).
struct GdalApi;

/// The table of the GDAL library linked into the program.
const GdalApi& linked_gdal_api();

/// The table of the GDAL library the program was built against, loaded at
/// the first call; null where it cannot be loaded (not installed).
const GdalApi* loaded_gdal_api();

/// Registers GDAL's drivers, holds its block cache at 32 MiB unless the
/// user sized it (GDAL_CACHEMAX), and keeps GDAL's messages for the
/// command's own: its failures for the message of the step that failed,
/// its warnings printed as its programs print them, when `warnings`.
/// Call before the first raster is opened.
void start_gdal(const GdalApi& api, bool warnings);

/// GDAL's release, "3.6.2".
const char* gdal_release(const GdalApi& api);

}  // namespace kavrix

#endif  // KAVRIX_GDAL_GDAL_LIBRARY_H_
