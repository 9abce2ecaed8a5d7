// The run of kavrix-gdal: the topographic index of three rasters that GDAL
// opens, written as a raster that GDAL writes.
#ifndef KAVRIX_APP_GDAL_RUN_H_
#define KAVRIX_APP_GDAL_RUN_H_

#include <cstdio>
#include <string>
#include <vector>

namespace kavrix {

/// Runs kavrix-gdal on `args` (the arguments after the program name:
/// A T S OUT and the options of its usage text)
/// and returns the exit status. GDAL's progress goes to standard output
/// (not with -q), messages and the usage text of a wrong command to `err`.
int run_kavrix_gdal(const std::vector<std::string>& args, std::FILE* err);

}  // namespace kavrix

#endif  // KAVRIX_APP_GDAL_RUN_H_
