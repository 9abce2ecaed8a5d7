// The index of a raster computed strip by strip on several threads: a
// strip is read while the one before is computed and the one before that
// is written. Cells and statistics are those of one thread, bit for bit,
// for any number of threads: each cell is computed by the same operations
// wherever it is computed, and the statistics take the cells in the order
// of the rows.
#ifndef KAVRIX_INDEX_ENGINE_H_
#define KAVRIX_INDEX_ENGINE_H_

#include <functional>

#include "base/status.h"
#include "grid/strip.h"
#include "index/cell_rule.h"
#include "index/running_stats.h"

namespace kavrix {

/// The shape of a run: the raster's size, the rows of a strip, and the
/// blocks (width x height) that the strips of A, T, S and the output are
/// laid out in (a block as wide as the raster and one row high: whole rows).
struct EngineShape {
  int width = 0;
  int height = 0;
  int strip_rows = 0;
  int blocks[4][2] = {};  ///< A, T, S, output
};

/// Where the strips come from and where they go. `read` and `write` are
/// called in the order of the strips, each from one thread at a time, but
/// not always the same thread; `progress`, if set, after each strip is
/// written, with the part of the rows done (0 to 1).
struct EngineIo {
  /// Reads rows first to first + rows - 1 of A, T and S into rows 0 to
  /// rows - 1 of the strips, each cell without data NaN.
  std::function<Status(int first, int rows, Strip& a, Strip& t, Strip& s)> read;
  /// Writes rows 0 to rows - 1 of `out` as rows first to first + rows - 1.
  std::function<Status(int first, int rows, const Strip& out)> write;
  std::function<void(double done)> progress;
  /// Whether `read` and `write` may run on several threads at once for
  /// different strips, as over arrays in memory. Each thread then takes
  /// whole strips in turn with strips of its own, and the engine keeps no
  /// statistics and reports no progress.
  bool concurrent = false;
};

/// The threads a process may use: the processors of its CPU affinity.
int usable_threads();

/// Computes every strip by the cell rule under NoDataRule::kNaN on
/// `threads` threads (1: the calling thread alone, strip after strip, with
/// the memory of one strip of each grid; more: two strips of each, reading
/// and writing beside the computing, or with `io.concurrent` one strip of
/// each per thread), and accumulates the statistics in `stats`, whose
/// threshold is set (not with `io.concurrent`). Stops at the first failure
/// of `read` or `write` and returns it (with `io.concurrent`, that of the
/// first strip that failed); fails with kGdalNoMemory-like
/// `no_memory_status` when the strips cannot be allocated.
/// REQUIRES: threads >= 1; shape.strip_rows >= 1.
Status run_engine(const ParameterTable& table, const EngineShape& shape, int threads,
                  EngineIo& io, RunningStats& stats, int no_memory_status);

}  // namespace kavrix

#endif  // KAVRIX_INDEX_ENGINE_H_
