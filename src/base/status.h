// Failures the commands report: a message and an exit status. Every layer
// may include this header; it includes nothing of the project's.
#ifndef KAVRIX_BASE_STATUS_H_
#define KAVRIX_BASE_STATUS_H_

#include <string>

namespace kavrix {

/// Exit statuses, one per kind of failure; the one table of them all.
enum ExitStatus : int {
  kExitSuccess = 0,
  kExitUsage = 1,           ///< too few arguments, or no new output name
  kExitMismatch = 2,        ///< the input headers do not agree
  kExitInputOpen = 3,       ///< an input grid cannot be opened
  kExitStatistics = 4,      ///< the statistics cannot be written
  kExitRowRead = 5,         ///< an input row comes up short
  kExitRowWrite = 6,        ///< an output row (or the output's end) fails
  kExitBadHeader = 7,       ///< a text header or the grid size is unusable
  kExitNoMemory = 8,        ///< a row buffer cannot be allocated
  kExitUnknownFormat = 98,  ///< an input grid is of no known format

  // The companions' files (a VRT, a table, a picture, a raster).
  kWriteFailed = 6,         ///< a file cannot be written whole

  // kavrix-vrt; opening and recognising its grid fails as kavrix's inputs do.
  kVrtUsage = 1,            ///< bad arguments, a grid path XML cannot hold, or
                            ///< the VRT would replace the grid
  kVrtShortGrid = 5,        ///< a binary grid holds fewer cells than its header
  kVrtWriteFailed = 6,      ///< the VRT cannot be written
  kVrtUnusableHeader = 7,   ///< size, cell size or corner cannot be placed

  // kavrix-dist; opening and recognising its grid fails as kavrix's inputs do.
  kDistUsage = 1,           ///< bad arguments, or an output would replace the grid
  kDistShortGrid = 5,       ///< the grid ends early, or cannot be read twice
  kDistWriteFailed = 6,     ///< a table, the CSV or the SVG cannot be written
  kDistNoCells = 9,         ///< no cell holds a counted value

  // kavrix-gdal.
  kGdalUsage = 1,           ///< bad arguments, options or driver; or the output is an input
  kGdalMismatch = 2,        ///< the inputs differ in size, origin, cell size or CRS
  kGdalInputOpen = 3,       ///< GDAL cannot open an input, or it has no band
  kGdalRead = 5,            ///< rows of an input cannot be read
  kGdalWriteFailed = 6,     ///< the output cannot be made, written or put in place
  kGdalUnusableGeometry = 7,///< no geotransform, rotated, south-up, oblong cells, degrees
  kGdalNoMemory = 8,        ///< the strips cannot be allocated
};

/// The outcome of a step of the run: success, or the exit status that ends
/// the run with the message to print first.
struct Status {
  int exit_status = kExitSuccess;
  std::string message;  ///< printed on standard output as it stands

  bool ok() const { return exit_status == kExitSuccess; }
};

/// A failure with `exit_status` whose message is printf-formatted.
Status failure(int exit_status, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

}  // namespace kavrix

#endif  // KAVRIX_BASE_STATUS_H_
