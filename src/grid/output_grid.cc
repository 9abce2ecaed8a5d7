#include "grid/output_grid.h"

#include <algorithm>
#include <charconv>
#include <new>
#include <string_view>

#include "grid/row_buffer.h"
#include "number/number_text.h"

namespace kavrix {
namespace {

// Text of a row is staged in blocks of this size before it is written.
constexpr size_t kTextBlockBytes = size_t{1} << 16;

Status cannot_write(const OutputGrid& out, int exit_status) {
  return failure(exit_status, "error writing into %s \n", out.name.c_str());
}

Status cannot_write_row(const OutputGrid& out, int row_number) {
  return failure(kExitRowWrite, "error writing row %d in %s\n", row_number,
                 out.name.c_str());
}

Status write_text_row(OutputGrid& out, const double* row, int n,
                      int row_number) {
  if (!out.text) {
    out.text.reset(new (std::nothrow) char[kTextBlockBytes]);
    if (!out.text) return no_memory_for_row(n);
  }
  char* const first = out.text.get();
  char* const flush_at = first + kTextBlockBytes - (kNumberTextMax + 1);
  char* p = first;
  for (int j = 1; j <= n; ++j) {
    p = format_number(p, row[j]);
    *p++ = j < n ? '\t' : '\n';
    if (p >= flush_at || j == n) {
      size_t bytes = static_cast<size_t>(p - first);
      if (std::fwrite(first, 1, bytes, out.file.get()) != bytes) {
        return cannot_write_row(out, row_number);
      }
      p = first;
    }
  }
  return {};
}

// The six lines of a text header: the counts as whole numbers, the other
// parameters as grid values are written.
void write_text_header(const GridHeader& h, std::FILE* file) {
  constexpr std::string_view kKeywords[] = {"ncols", "nrows",    "xll",
                                            "yll",   "cellsize", "nodata_value"};
  const std::array<double, kHeaderFields> values = header_values(h);
  char text[8 * kNumberTextMax];
  char* p = text;
  for (size_t i = 0; i < 6; ++i) {
    p = std::copy(kKeywords[i].begin(), kKeywords[i].end(), p);
    *p++ = '\t';
    // ncols and nrows are whole 32-bit counts once the grid size is checked.
    p = i < 2 ? std::to_chars(p, p + kNumberTextMax, static_cast<int>(values[i])).ptr
              : format_number(p, values[i]);
    *p++ = '\n';
  }
  std::fwrite(text, 1, static_cast<size_t>(p - text), file);
}

// Writes header fields as the output's binary values, doubles or singles,
// and returns how many were written.
size_t write_fields(const OutputGrid& out, const double* fields, size_t count) {
  if (out.format == GridFormat::binary_double) {
    return std::fwrite(fields, sizeof(double), count, out.file.get());
  }
  float singles[kHeaderFields];
  std::transform(fields, fields + count, singles,
                 [](double field) { return static_cast<float>(field); });
  return std::fwrite(singles, sizeof(float), count, out.file.get());
}

// Writes `count` values of `size` bytes and returns how many were written
// whole. A row of kDirectRowBytes or more goes through the descriptor,
// after what the stream holds, the header: a device that refuses it
// refuses the row.
size_t write_values(OutputGrid& out, const void* values, size_t size,
                    size_t count) {
  std::FILE* file = out.file.get();
  if (size * count < kDirectRowBytes) return std::fwrite(values, size, count, file);
  if (std::fflush(file) != 0) return 0;
  return write_fully(fileno(file), values, size * count) / size;
}

}  // namespace

Status open_output_file(OutputGrid& out,
                        std::span<const FileIdentity> inputs) {
  // Opening an input for writing would destroy it; it is known by the file
  // it has open, under whatever name it is found now.
  if (names_one_of(out.name, inputs)) {
    return failure(kExitUsage, "output grid %s is also an input grid \r\n",
                   out.name.c_str());
  }
  out.file.reset(std::fopen(out.name.c_str(),
                            out.format == GridFormat::text ? "wt" : "wb"));
  if (out.file) return {};
  return failure(kExitUsage, "error opening output grid %s \r\n",
                 out.name.c_str());
}

Status write_output_header(OutputGrid& out, const GridHeader& header) {
  if (out.format == GridFormat::text) {
    write_text_header(header, out.file.get());
    return {};
  }
  // A failure of a single header shows again when the statistics or the
  // end are written.
  const std::array<double, kHeaderFields> values = header_values(header);
  if (write_fields(out, values.data(), kHeaderFields) < kHeaderFields &&
      out.format == GridFormat::binary_double) {
    return cannot_write(out, kExitSuccess);
  }
  return {};
}

Status write_output_row(OutputGrid& out, const double* row, float* scratch,
                        int n, int row_number) {
  const size_t count = static_cast<size_t>(n);
  if (out.format == GridFormat::text) {
    return write_text_row(out, row, n, row_number);
  }
  const bool single = out.format == GridFormat::binary_single;
  if (single) {
    for (size_t k = 1; k <= count; ++k) scratch[k] = static_cast<float>(row[k]);
  }
  const size_t written = single
                             ? write_values(out, scratch + 1, sizeof(float), count)
                             : write_values(out, row + 1, sizeof(double), count);
  if (written == count) return {};
  if (!single) return cannot_write_row(out, row_number);
  return failure(kExitRowWrite, "error writing row %d, col %d in %s\n",
                 row_number, static_cast<int>(written) + 1, out.name.c_str());
}

Status write_output_statistics(OutputGrid& out, const GridHeader& header) {
  if (out.format == GridFormat::text) return {};
  const std::array<double, kHeaderFields> values = header_values(header);
  // Positioning flushes what is buffered, so a full disk shows here.
  const auto statistics = static_cast<long>(6 * value_bytes(out.format));
  if (std::fseek(out.file.get(), statistics, SEEK_SET) != 0 ||
      write_fields(out, values.data() + 6, 6) < 6) {
    return cannot_write(out, kExitStatistics);
  }
  return {};
}

Status close_output_grid(OutputGrid& out) {
  if (!out.file || std::fclose(out.file.release()) == 0) return {};
  return cannot_write(out, kExitRowWrite);
}

}  // namespace kavrix
