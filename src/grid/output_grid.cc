#include "grid/output_grid.h"

#include <filesystem>
#include <new>

#include "grid/row_reader.h"
#include "number/number_text.h"

namespace kavrix {
namespace {

// Text of a row is staged in blocks of this size before it is written.
constexpr size_t kTextBlockBytes = size_t{1} << 16;

Status cannot_write(const OutputGrid& out, int exit_status) {
  return failure(exit_status, "error writing into %s \n", out.name.c_str());
}

// True when `name` is, by any path or link, the file of one of the inputs:
// opening it for writing would destroy that input.
bool names_an_input(const std::string& name,
                    std::span<const std::string> inputs) {
  for (const std::string& input : inputs) {
    std::error_code error;
    if (std::filesystem::equivalent(name, input, error)) return true;
  }
  return false;
}

// Reads one line without its line end. Returns false when the input ends
// before any character; a last line without a line end still counts.
bool read_line(std::FILE* in, std::string& line) {
  line.clear();
  int c = std::fgetc(in);
  if (c == EOF) return false;
  while (c != EOF && c != '\n') {
    line.push_back(static_cast<char>(c));
    c = std::fgetc(in);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
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

}  // namespace

Status open_output_grid(OutputGrid& out, std::span<const std::string> inputs,
                        const Console& console) {
  const char* mode = out.format == GridFormat::text ? "wt" : "wb";
  for (;;) {
    if (names_an_input(out.name, inputs)) {
      std::fprintf(console.out, "output grid %s is also an input grid \r\n",
                   out.name.c_str());
    } else {
      out.file.reset(std::fopen(out.name.c_str(), mode));
      if (out.file) return {};
      std::fprintf(console.out, "error opening output grid %s \r\n",
                   out.name.c_str());
    }
    std::fputs("please enter new output file name: ", console.out);
    std::fflush(console.out);
    std::string answer;
    if (!read_line(console.in, answer) || answer.empty()) {
      return {kExitUsage, {}};
    }
    std::fputs("\r\n", console.out);
    out.name = answer;
  }
}

void prepare_row_writes(OutputGrid& out, int n) {
  const size_t value_bytes = out.format == GridFormat::binary_double ? sizeof(double)
                             : out.format == GridFormat::binary_single ? sizeof(float)
                                                                       : 0;
  if (static_cast<size_t>(n) * value_bytes >= kDirectRowBytes) {
    std::setvbuf(out.file.get(), nullptr, _IONBF, 0);
  }
}

void write_output_header(OutputGrid& out, const GridHeader& header,
                         const Console& console) {
  std::FILE* file = out.file.get();
  const std::array<double, kHeaderFields> values = header_values(header);
  switch (out.format) {
    case GridFormat::binary_double:
      if (std::fwrite(values.data(), sizeof(double), kHeaderFields, file) <
          kHeaderFields) {
        std::fprintf(console.out, "error writing into %s \n", out.name.c_str());
      }
      return;
    case GridFormat::binary_single:
      // A failure here shows again when the statistics or the end are written.
      for (double value : values) {
        float single = static_cast<float>(value);
        std::fwrite(&single, sizeof single, 1, file);
      }
      return;
    case GridFormat::text:
      // ncols and nrows are whole 32-bit counts once the grid size is checked.
      std::fprintf(file,
                   "ncols\t%ld\nnrows\t%ld\nxll\t%lg\nyll\t%lg\ncellsize\t%lg\n"
                   "nodata_value\t%lg\n",
                   static_cast<long>(static_cast<int>(header.ncols)),
                   static_cast<long>(static_cast<int>(header.nrows)),
                   header.xll, header.yll, header.cellsize,
                   header.nodata_value);
      return;
  }
}

Status write_output_row(OutputGrid& out, const double* row, float* scratch,
                        int n, int row_number) {
  const size_t count = static_cast<size_t>(n);
  switch (out.format) {
    case GridFormat::binary_double:
      if (std::fwrite(row + 1, sizeof(double), count, out.file.get()) < count) {
        return failure(kExitRowWrite, "error writing row %d in %s\n",
                       row_number, out.name.c_str());
      }
      return {};
    case GridFormat::binary_single: {
      for (size_t k = 1; k <= count; ++k) scratch[k] = static_cast<float>(row[k]);
      size_t written = std::fwrite(scratch + 1, sizeof(float), count, out.file.get());
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

Status write_output_statistics(OutputGrid& out, const RunningStats& stats,
                               GridHeader& header) {
  if (out.format == GridFormat::text) return {};
  const bool doubles = out.format == GridFormat::binary_double;
  std::FILE* file = out.file.get();
  // Positioning flushes what is buffered, so a full disk shows here.
  if (std::fseek(file, doubles ? 48 : 24, SEEK_SET) != 0) {
    return cannot_write(out, kExitStatistics);
  }
  stats_finish(stats, header.stat_count, header.stat_min, header.stat_max,
               header.stat_sum, header.stat_mean, header.stat_stddev);
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
