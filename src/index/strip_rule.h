// The cell rule over strips of rows: the index of a strip computed row by
// row across the raster's full width, whatever the strips' layouts.
#ifndef KAVRIX_INDEX_STRIP_RULE_H_
#define KAVRIX_INDEX_STRIP_RULE_H_

#include "grid/strip.h"
#include "index/cell_rule.h"
#include "index/running_stats.h"

namespace kavrix {

/// Computes rows 0 to rows - 1 of `out` from those of `a`, `t` and `s` by
/// the cell rule under `rule`, each row from the first column to the last,
/// so that the statistics take the values in the order of the raster's
/// rows. The input strips are changed as the cell rule changes its rows.
/// REQUIRES: the four strips hold at least `rows` rows of `width` columns.
void compute_index_strip(const ParameterTable& table, NoDataRule rule, Strip& a,
                         Strip& t, Strip& s, Strip& out, int width, int rows,
                         RunningStats& stats);

}  // namespace kavrix

#endif  // KAVRIX_INDEX_STRIP_RULE_H_
