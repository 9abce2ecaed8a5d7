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
/// rows. The input strips are left as they are.
/// REQUIRES: the four strips hold at least `rows` rows of `width` columns.
void compute_index_strip(const ParameterTable& table, NoDataRule rule, Strip& a,
                         Strip& t, Strip& s, Strip& out, int width, int rows,
                         RunningStats& stats);

/// Computes rows `begin` to `end` - 1 of the strips as compute_index_strip
/// computes them, so that strips split by rows among threads give the same
/// cells. With `marks` (a byte a cell, row after row of `width`, from row
/// 0), marks the cells of those rows that were computed.
void compute_index_rows(const ParameterTable& table, NoDataRule rule, Strip& a, Strip& t,
                        Strip& s, Strip& out, int width, int begin, int end,
                        RunningStats& stats, unsigned char* marks = nullptr);

/// Hands `stats` the marked cells of rows 0 to rows - 1 of `out`, row by
/// row: the values that computing the strip with `stats` would have handed
/// it, in the same order.
void add_marked_statistics(const Strip& out, const unsigned char* marks, int width, int rows,
                           RunningStats& stats);

}  // namespace kavrix

#endif  // KAVRIX_INDEX_STRIP_RULE_H_
