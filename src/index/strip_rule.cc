#include "index/strip_rule.h"

#include <algorithm>

namespace kavrix {

void compute_index_strip(const ParameterTable& table, NoDataRule rule, Strip& a,
                         Strip& t, Strip& s, Strip& out, int width, int rows,
                         RunningStats& stats) {
  for (int row = 0; row < rows; ++row) {
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

}  // namespace kavrix
