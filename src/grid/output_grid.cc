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
        return failure(kExitRowWrite, "error writing row %d in %s\n",
                       row_number, out.name.c_str());
      }
      p = first;
    }
  }
  return {};
}

// The six lines of a text header: the counts as whole numbers, the other
// parameters as grid values are written.
void write_text_header(const GridHeader& h, std::FILE* file) {
  char text[8 * kNumberTextMax];
  char* p = text;
  auto put = [&p](std::string_view words) {
    p = std::copy(words.begin(), words.end(), p);
  };
  // ncols and nrows are whole 32-bit counts once the grid size is checked.
  put("ncols\t");
  p = std::to_chars(p, p + kNumberTextMax, static_cast<int>(h.ncols)).ptr;
  put("\nnrows\t");
  p = std::to_chars(p, p + kNumberTextMax, static_cast<int>(h.nrows)).ptr;
  put("\nxll\t");
  p = format_number(p, h.xll);
  put("\nyll\t");
  p = format_number(p, h.yll);
  put("\ncellsize\t");
  p = format_number(p, h.cellsize);
  put("\nnodata_value\t");
  p = format_number(p, h.nodata_value);
  put("\n");
  std::fwrite(text, 1, static_cast<size_t>(p - text), file);
}

// Writes `count` values of `size` bytes and returns how many were written
// whole. A direct write first hands on what the stream holds, the header:
// a device that refuses it refuses the row.
size_t write_values(OutputGrid& out, const void* values, size_t size,
                    size_t count) {
  std::FILE* file = out.file.get();
  if (!out.direct) return std::fwrite(values, size, count, file);
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

void prepare_row_writes(OutputGrid& out, int n) {
  const size_t value_bytes = out.format == GridFormat::binary_double ? sizeof(double)
                             : out.format == GridFormat::binary_single ? sizeof(float)
                                                                       : 0;
  out.direct = static_cast<size_t>(n) * value_bytes >= kDirectRowBytes;
}

Status write_output_header(OutputGrid& out, const GridHeader& header) {
  std::FILE* file = out.file.get();
  const std::array<double, kHeaderFields> values = header_values(header);
  switch (out.format) {
    case GridFormat::binary_double:
      if (std::fwrite(values.data(), sizeof(double), kHeaderFields, file) <
          kHeaderFields) {
        return cannot_write(out, kExitSuccess);
      }
      return {};
    case GridFormat::binary_single:
      // A failure here shows again when the statistics or the end are written.
      for (double value : values) {
        float single = static_cast<float>(value);
        std::fwrite(&single, sizeof single, 1, file);
      }
      return {};
    case GridFormat::text:
      write_text_header(header, file);
      return {};
  }
  return {};
}

Status write_output_row(OutputGrid& out, const double* row, float* scratch,
                        int n, int row_number) {
  const size_t count = static_cast<size_t>(n);
  switch (out.format) {
    case GridFormat::binary_double:
      if (write_values(out, row + 1, sizeof(double), count) < count) {
        return failure(kExitRowWrite, "error writing row %d in %s\n",
                       row_number, out.name.c_str());
      }
      return {};
    case GridFormat::binary_single: {
      for (size_t k = 1; k <= count; ++k) scratch[k] = static_cast<float>(row[k]);
      size_t written = write_values(out, scratch + 1, sizeof(float), count);
      if (written < count) {
        return failure(kExitRowWrite, "error writing row %d, col %d in %s\n",
                       row_number, static_cast<int>(written) + 1,
                       out.name.c_str());
      }
      return {};
    }
    case GridFormat::text:
      return write_text_row(out, row, n, row_number);
  }
  return {};
}

Status write_output_statistics(OutputGrid& out, const GridHeader& header) {
  if (out.format == GridFormat::text) return {};
  const bool doubles = out.format == GridFormat::binary_double;
  std::FILE* file = out.file.get();
  // Positioning flushes what is buffered, so a full disk shows here.
  if (std::fseek(file, doubles ? 48 : 24, SEEK_SET) != 0) {
    return cannot_write(out, kExitStatistics);
  }
  const double fields[6] = {header.stat_count, header.stat_min,
                            header.stat_max,   header.stat_sum,
                            header.stat_mean,  header.stat_stddev};
  if (doubles) {
    if (std::fwrite(fields, sizeof(double), 6, file) < 6) {
      return cannot_write(out, kExitStatistics);
    }
    return {};
  }
  for (double field : fields) {
    float single = static_cast<float>(field);
    if (std::fwrite(&single, sizeof single, 1, file) != 1) {
      return cannot_write(out, kExitStatistics);
    }
  }
  return {};
}

Status close_output_grid(OutputGrid& out) {
  if (!out.file) return {};
  if (std::fclose(out.file.release()) != 0) {
    return cannot_write(out, kExitRowWrite);
  }
  return {};
}

}  // namespace kavrix
