// The console of a run: progress dots, messages and the output-name prompt.
#ifndef KAVRIX_APP_CONSOLE_H_
#define KAVRIX_APP_CONSOLE_H_

#include <chrono>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "base/status.h"
#include "grid/output_grid.h"

namespace kavrix {

/// Messages, dots and the prompt go to `out`; answers come from `in`.
struct Console {
  std::FILE* out = stdout;
  std::FILE* in = stdin;
};

/// Prints a dot per row. The console is flushed now and then, so that a
/// terminal shows the progress of a long run without a write per row.
struct Progress {
  std::FILE* out;
  std::chrono::steady_clock::time_point last_flush =
      std::chrono::steady_clock::now();
};

/// Opens /dev/null on each of the descriptors 0, 1 and 2 that is closed, so
/// that no file the process opens later takes one of them and receives the
/// console's bytes. Where standard output carries the command's product,
/// a closed one is opened for reading only, so that writing the product
/// fails instead of vanishing. Call before any other file is opened.
void open_standard_descriptors(bool output_is_product = false);

/// Makes a broken pipe and a file grown past its limit (ulimit -f) failed
/// writes (EPIPE, EFBIG) rather than the end of the process, so that a
/// command can clean up and report them; and has an interrupt remove the
/// temporary files of the files being made before it ends the process.
void take_signals_as_a_companion();

/// Prints the dot of a finished row.
void progress_row_done(Progress& progress);

/// Whether a companion's arguments ask only for its usage text.
bool asks_for_help(const std::vector<std::string>& args);

/// Prints a companion's usage text on `out`: status 0, or 6 when it cannot
/// be written.
int print_help(const char* usage, std::FILE* out);

/// Prints `status`'s message, if any, as it stands.
void print_message(const Console& console, const Status& status);

/// Opens the output grid; while it cannot be opened, prints the reason and
/// asks on the console for another name, which replaces out.name. An empty
/// answer, or the end of the console input, fails with exit status 1 and
/// no message.
Status open_output_grid(OutputGrid& out, std::span<const FileIdentity> inputs,
                        const Console& console);

}  // namespace kavrix

#endif  // KAVRIX_APP_CONSOLE_H_
