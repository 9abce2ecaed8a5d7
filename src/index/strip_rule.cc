#include "index/strip_rule.h"

#include <algorithm>
#include <cmath>

namespace kavrix {

void compute_index_strip(const ParameterTable& table, NoDataRule rule, Strip& a,
                         Strip& t, Strip& s, Strip& out, int width, int rows,
                         RunningStats& stats) {
  compute_index_rows(table, rule, a, t, s, out, width, 0, rows, stats);
}

void compute_index_rows(const ParameterTable& table, NoDataRule rule, Strip& a, Strip& t,
                        Strip& s, Strip& out, int width, int begin, int end,
                        RunningStats& stats) {
  for (int row = begin; row < end; ++row) {
    // A run of cells ends where any of the four strips begins a new chunk.
    for (int col = 0, run = 0; col < width; col += run) {
      run = width - col;
      for (const Strip* strip : {&a, &t, &s, &out}) {
        run = std::min(run, strip->chunk - col % strip->chunk);
      }
      // The cell rule indexes a run from 1: the cell before the first
      // lies inside each strip's allocation, and is not touched.
      compute_index_row(table, strip_cell(a, row, col) - 1, strip_cell(t, row, col) - 1,
                        strip_cell(s, row, col) - 1, strip_cell(out, row, col) - 1, run,
                        stats, rule);
    }
  }
}

void add_strip_statistics(const Strip& a, const Strip& t, const Strip& s, const Strip& out,
                          int width, int rows, RunningStats& stats) {
  for (int row = 0; row < rows; ++row) {
    for (int col = 0; col < width; ++col) {
      const bool computed = !std::isnan(*strip_cell(a, row, col)) &&
                            !std::isnan(*strip_cell(t, row, col)) &&
                            !std::isnan(*strip_cell(s, row, col));
      if (computed) stats_add(stats, *strip_cell(out, row, col));
    }
  }
}

}  // namespace kavrix
