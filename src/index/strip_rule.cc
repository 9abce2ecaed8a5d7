#include "index/strip_rule.h"

#include <algorithm>

namespace kavrix {

void compute_index_strip(const ParameterTable& table, NoDataRule rule, Strip& a,
                         Strip& t, Strip& s, Strip& out, int width, int rows,
                         RunningStats& stats) {
  compute_index_rows(table, rule, a, t, s, out, width, 0, rows, stats);
}

void compute_index_rows(const ParameterTable& table, NoDataRule rule, Strip& a, Strip& t,
                        Strip& s, Strip& out, int width, int begin, int end,
                        RunningStats& stats, unsigned char* marks) {
  for (int row = begin; row < end; ++row) {
    // A run of cells ends where any of the four strips begins a new chunk.
    for (int col = 0, run = 0; col < width; col += run) {
      run = width - col;
      for (const Strip* strip : {&a, &t, &s, &out}) {
        run = std::min(run, strip->chunk - col % strip->chunk);
      }
      // The cell rule indexes a run from 1: the cell before the first
      // lies inside each strip's allocation, and is not touched.
      unsigned char* mark =
          marks == nullptr ? nullptr
                           : marks + static_cast<std::size_t>(row) * static_cast<std::size_t>(width) +
                                 static_cast<std::size_t>(col);
      compute_index_row(table, strip_cell(a, row, col) - 1, strip_cell(t, row, col) - 1,
                        strip_cell(s, row, col) - 1, strip_cell(out, row, col) - 1, run,
                        stats, rule, mark);
    }
  }
}

void add_marked_statistics(const Strip& out, const unsigned char* marks, int width, int rows,
                           RunningStats& run_stats) {
  // A copy the compiler may keep in registers: the strip could alias the caller's.
  RunningStats stats = run_stats;
  for (int row = 0; row < rows; ++row) {
    const unsigned char* mark = marks + static_cast<std::size_t>(row) * static_cast<std::size_t>(width);
    for (int col = 0; col < width; col += out.chunk) {
      const double* values = strip_cell(out, row, col);
      const int run = std::min(out.chunk, width - col);
      for (int j = 0; j < run; ++j) {
        if (mark[col + j]) stats_add(stats, values[j]);
      }
    }
  }
  run_stats = stats;
}

}  // namespace kavrix
