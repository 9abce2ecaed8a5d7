// The run of kavrix-dist: from a grid of the index to its distribution, as
// TOPMODEL's statistics file, a CSV table and an SVG histogram.
#ifndef KAVRIX_APP_DIST_RUN_H_
#define KAVRIX_APP_DIST_RUN_H_

#include <cstdio>
#include <string>
#include <vector>

namespace kavrix {

/// Runs kavrix-dist on `args` (the arguments after the program name:
/// GRID [-n CLASSES] [--csv FILE] [--svg FILE]) and returns the exit
/// status. The table goes to `out` only when the whole run succeeds;
/// messages and the usage text of a wrong command go to `err`.
int run_kavrix_dist(const std::vector<std::string>& args, std::FILE* out,
                    std::FILE* err);

}  // namespace kavrix

#endif  // KAVRIX_APP_DIST_RUN_H_
