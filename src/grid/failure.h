// Failures the tool reports: a message for standard output and an exit status.
#ifndef KAVRIX_GRID_FAILURE_H_
#define KAVRIX_GRID_FAILURE_H_

#include <string>

namespace kavrix {

/// Exit statuses of the tool, one per kind of failure.
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

#endif  // KAVRIX_GRID_FAILURE_H_
