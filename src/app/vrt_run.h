// The run of kavrix-vrt: from a grid of kavrix to a GDAL VRT that opens it
// georeferenced.
#ifndef KAVRIX_APP_VRT_RUN_H_
#define KAVRIX_APP_VRT_RUN_H_

#include <cstdio>
#include <string>
#include <vector>

namespace kavrix {

/// Runs kavrix-vrt on `args` (the arguments after the program name:
/// GRID [VRT]) and returns the exit status. The VRT goes to the file VRT or,
/// without it, to `out`; messages and the usage text go to `err`, so that
/// they never end up inside a VRT taken from standard output.
int run_kavrix_vrt(const std::vector<std::string>& args, std::FILE* out,
                   std::FILE* err);

}  // namespace kavrix

#endif  // KAVRIX_APP_VRT_RUN_H_
