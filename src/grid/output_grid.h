// Writing the output grid: opening, header, rows and the statistics put
// back into a binary header.
#ifndef KAVRIX_GRID_OUTPUT_GRID_H_
#define KAVRIX_GRID_OUTPUT_GRID_H_

#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/status.h"
#include "grid/file.h"
#include "grid/grid_header.h"

namespace kavrix {

/// The output grid of a run.
struct OutputGrid {
  std::string name;          ///< replaced by each answer at the prompt
  GridFormat format = GridFormat::text;
  FilePtr file;
  std::unique_ptr<char[]> text;  ///< staging area for the text of a row
};

/// Opens `out.name` for writing, in binary mode for a binary format,
/// unless the name now leads to one of the files `inputs`. Fails with exit
/// status 1 and the reason, for the console to print before it asks for
/// another name.
Status open_output_file(OutputGrid& out, std::span<const FileIdentity> inputs);

/// Writes the header: six text lines, or all twelve values as doubles or
/// singles. A short write of a double header gives a message to print,
/// with exit status 0: the run goes on.
Status write_output_header(OutputGrid& out, const GridHeader& header);

/// Writes columns 1 to n of `row`; a single output passes through
/// `scratch`, a text output through a staging area allocated on the first
/// row (status 8 if it cannot be). Binary rows of kDirectRowBytes or more
/// go straight from the row buffer through the stream's descriptor.
/// REQUIRES: row and scratch hold n + 1 values.
Status write_output_row(OutputGrid& out, const double* row, float* scratch,
                        int n, int row_number);

/// For a binary output, writes the statistics fields of `header` over the
/// file's. A text output carries no statistics.
Status write_output_statistics(OutputGrid& out, const GridHeader& header);

/// Flushes and closes the output; fails if the file system refuses.
Status close_output_grid(OutputGrid& out);

}  // namespace kavrix

#endif  // KAVRIX_GRID_OUTPUT_GRID_H_
