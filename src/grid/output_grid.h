// Writing the output grid: opening with the console prompt, header, rows
// and the statistics put back into a binary header.
#ifndef KAVRIX_GRID_OUTPUT_GRID_H_
#define KAVRIX_GRID_OUTPUT_GRID_H_

#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "grid/failure.h"
#include "grid/file.h"
#include "grid/grid_header.h"
#include "index/running_stats.h"

namespace kavrix {

/// The console of a run: messages, dots and the prompt go to `out`; the
/// answers to the prompt come from `in`.
struct Console {
  std::FILE* out = stdout;
  std::FILE* in = stdin;
};

/// The output grid of a run.
struct OutputGrid {
  std::string name;          ///< replaced by each answer at the prompt
  GridFormat format = GridFormat::text;
  FilePtr file;
  std::unique_ptr<char[]> text;  ///< staging area for the text of a row
};

/// Opens `out.name` for writing, in binary mode for a binary format. While
/// it cannot be opened, or names the same file as one of `inputs`, prints
/// the reason and asks on the console for another name. An empty answer,
/// or the end of the console input, fails with exit status 1 and no message.
Status open_output_grid(OutputGrid& out, std::span<const std::string> inputs,
                        const Console& console);

/// Lets a binary output with rows of n values write each row straight from
/// the row buffer. REQUIRES: nothing has been written to the output yet.
void prepare_row_writes(OutputGrid& out, int n);

/// Writes the header: six text lines, or all twelve values as doubles or
/// singles. A short write of a double header is reported on the console
/// and the run goes on.
void write_output_header(OutputGrid& out, const GridHeader& header,
                         const Console& console);

/// Writes columns 1 to n of `row`; a single output passes through
/// `scratch`, a text output through a staging area allocated on the first
/// row (status 8 if it cannot be). REQUIRES: row and scratch hold n + 1
/// values.
Status write_output_row(OutputGrid& out, const double* row, float* scratch,
                        int n, int row_number);

/// For a binary output, finishes `stats` into the statistics fields of
/// `header` and writes them over the file's statistics fields. A text
/// output carries no statistics.
Status write_output_statistics(OutputGrid& out, const RunningStats& stats,
                               GridHeader& header);

/// Flushes and closes the output; fails if the file system refuses.
Status close_output_grid(OutputGrid& out);

}  // namespace kavrix

#endif  // KAVRIX_GRID_OUTPUT_GRID_H_
