// The plain stdio version of a kavrix run, the yardstick of the benchmark:
// every text value is read with fscanf("%lg") and written with
// fprintf("%lg"), every binary row is read with one fread and written with
// one fwrite. The cell rule and the statistics are the tool's own, so the
// output is byte for byte the tool's.
//
//   kavrix_baseline A T S OUT [-f:t|s|d]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "index/cell_rule.h"
#include "index/running_stats.h"

namespace {

enum Format { kText, kDouble, kSingle };

struct Input {
  std::FILE* file = nullptr;
  Format format = kText;
  kavrix::GridHeader header;
  std::vector<double> row;
};

[[noreturn]] void die(const char* what, const char* name) {
  std::printf("%s %s\n", what, name);
  std::exit(3);
}

void set_header(kavrix::GridHeader& h, const double (&v)[12]) {
  h = {v[0], v[1], v[2], v[3], v[4],  v[5],
       v[6], v[7], v[8], v[9], v[10], v[11]};
}

Input open_input(const char* name) {
  Input in;
  in.file = std::fopen(name, "rb");
  if (!in.file) die("cannot open", name);
  char mark[4] = {};
  if (std::fread(mark, 1, 4, in.file) == 4 && std::memcmp(mark, "ncol", 4) == 0) {
    in.file = std::freopen(name, "rt", in.file);
    if (!in.file) die("cannot open", name);
    double v[12] = {};
    char word[32];
    for (int i = 0; i < 6; ++i) {
      if (std::fscanf(in.file, "%31s%lf", word, &v[i]) != 2) die("bad header", name);
    }
    set_header(in.header, v);
    return in;
  }
  double d[12];
  std::fseek(in.file, 0, SEEK_SET);
  if (std::fread(d, sizeof d[0], 12, in.file) == 12 && d[5] == -9999.0) {
    in.format = kDouble;
    set_header(in.header, d);
    return in;
  }
  float f[12];
  std::fseek(in.file, 0, SEEK_SET);
  if (std::fread(f, sizeof f[0], 12, in.file) == 12 && f[5] == -9999.0f) {
    in.format = kSingle;
    for (int i = 0; i < 12; ++i) d[i] = f[i];
    set_header(in.header, d);
    return in;
  }
  die("unknown format", name);
}

void read_row(Input& in, std::vector<float>& scratch, int n) {
  double* row = in.row.data();
  switch (in.format) {
    case kText:
      for (int j = 1; j <= n; ++j) {
        if (std::fscanf(in.file, "%lg", &row[j]) != 1) std::exit(5);
      }
      return;
    case kDouble:
      if (std::fread(row + 1, sizeof(double), n, in.file) != size_t(n)) std::exit(5);
      return;
    case kSingle:
      if (std::fread(scratch.data() + 1, sizeof(float), n, in.file) != size_t(n)) {
        std::exit(5);
      }
      for (int j = 1; j <= n; ++j) row[j] = scratch[j];
      return;
  }
}

void write_header(std::FILE* out, Format format, const kavrix::GridHeader& h) {
  const double v[12] = {h.ncols,      h.nrows,    h.xll,     h.yll,
                        h.cellsize,   h.nodata_value, h.stat_count, h.stat_min,
                        h.stat_max,   h.stat_sum, h.stat_mean, h.stat_stddev};
  if (format == kDouble) {
    std::fwrite(v, sizeof v[0], 12, out);
  } else if (format == kSingle) {
    for (double d : v) {
      float f = static_cast<float>(d);
      std::fwrite(&f, sizeof f, 1, out);
    }
  } else {
    std::fprintf(out,
                 "ncols\t%ld\nnrows\t%ld\nxll\t%lg\nyll\t%lg\ncellsize\t%lg\n"
                 "nodata_value\t%lg\n",
                 long(int(h.ncols)), long(int(h.nrows)), h.xll, h.yll,
                 h.cellsize, h.nodata_value);
  }
}

void write_row(std::FILE* out, Format format, const double* row,
               std::vector<float>& scratch, int n) {
  if (format == kDouble) {
    if (std::fwrite(row + 1, sizeof(double), n, out) != size_t(n)) std::exit(6);
  } else if (format == kSingle) {
    for (int j = 1; j <= n; ++j) scratch[j] = static_cast<float>(row[j]);
    if (std::fwrite(scratch.data() + 1, sizeof(float), n, out) != size_t(n)) {
      std::exit(6);
    }
  } else {
    for (int j = 1; j <= n; ++j) {
      std::fprintf(out, "%lg", row[j]);
      std::fputc(j < n ? '\t' : '\n', out);
    }
  }
}

void write_statistics(std::FILE* out, Format format,
                      const kavrix::RunningStats& stats, kavrix::GridHeader& h) {
  if (format == kText) return;
  std::fseek(out, format == kDouble ? 48 : 24, SEEK_SET);
  kavrix::stats_finish(stats, h.stat_count, h.stat_min, h.stat_max, h.stat_sum,
                       h.stat_mean, h.stat_stddev);
  const double v[6] = {h.stat_count, h.stat_min,  h.stat_max,
                       h.stat_sum,   h.stat_mean, h.stat_stddev};
  for (double d : v) {
    if (format == kDouble) {
      std::fwrite(&d, sizeof d, 1, out);
    } else {
      float f = static_cast<float>(d);
      std::fwrite(&f, sizeof f, 1, out);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::printf("usage: %s A T S OUT [-f:t|s|d]\n", argv[0]);
    return 1;
  }
  Format out_format = kText;
  if (argc > 5 && std::strstr(argv[5], "-f:")) {
    const char* choice = std::strchr(argv[5], ':') + 1;
    if (*choice == 'd') out_format = kDouble;
    if (*choice == 's') out_format = kSingle;
  }
  Input a = open_input(argv[1]);
  Input t = open_input(argv[2]);
  Input s = open_input(argv[3]);
  std::FILE* out = std::fopen(argv[4], out_format == kText ? "wt" : "wb");
  if (!out) die("cannot open", argv[4]);
  write_header(out, out_format, a.header);

  const kavrix::ParameterTable table =
      kavrix::make_parameter_table(a.header, s.header, t.header);
  const int n = static_cast<int>(a.header.ncols);
  const int rows = static_cast<int>(a.header.nrows);
  for (Input* in : {&a, &t, &s}) in->row.assign(size_t(n) + 1, 0.0);
  std::vector<double> out_row(size_t(n) + 1);
  std::vector<float> scratch(size_t(n) + 1);
  kavrix::RunningStats stats;
  kavrix::stats_reset(stats, s.header.nodata_value);

  for (int row = 1; row <= rows; ++row) {
    for (Input* in : {&a, &t, &s}) read_row(*in, scratch, n);
    kavrix::compute_index_row(table, a.row.data(), t.row.data(), s.row.data(),
                              out_row.data(), n, stats);
    write_row(out, out_format, out_row.data(), scratch, n);
    std::putchar('.');
  }
  std::putchar('\n');
  write_statistics(out, out_format, stats, a.header);
  if (std::fclose(out) != 0) return 6;
  return 0;
}
