// The cell rule on one row against the bare tangent and logarithm of the
// same cells: what the nodata tests, the bounds and the statistics add to
// the arithmetic, without any file in the way. Compare the two times of
// one run; the machine's noise hits both alike.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "index/cell_rule.h"

namespace kavrix {
namespace {

constexpr int kColumns = 2000;

// A row like the benchmark grids: A over six decades with 2% nodata,
// T from 0.01 to 100, S from 0 to 90 degrees. Index 0 is unused.
struct Rows {
  std::vector<double> a, t, s, out;
  Rows() : a(kColumns + 1), t(kColumns + 1), s(kColumns + 1), out(kColumns + 1) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int j = 1; j <= kColumns; ++j) {
      a[j] = unit(random) < 0.02
                 ? -9999.0
                 : std::floor(std::exp(unit(random) * std::log(1e6 + 1.0))) - 1.0;
      t[j] = 0.01 * std::exp(unit(random) * std::log(1e4));
      s[j] = unit(random) * 90.0;
    }
  }
};

ParameterTable table_for_benchmark() {
  GridHeader header;
  header.ncols = kColumns;
  header.nrows = 1;
  header.cellsize = 10;
  header.nodata_value = -9999;
  return make_parameter_table(header, header, header);
}

void BM_CellRule(benchmark::State& state) {
  const Rows fresh;
  Rows rows;
  const ParameterTable table = table_for_benchmark();
  RunningStats stats;
  stats_reset(stats, -9999);
  for (auto _ : state) {
    // The rule changes its inputs in place: each row starts from the same
    // values, copied in as the reader would.
    rows.a = fresh.a;
    rows.t = fresh.t;
    rows.s = fresh.s;
    compute_index_row(table, rows.a.data(), rows.t.data(), rows.s.data(),
                      rows.out.data(), kColumns, stats);
    benchmark::DoNotOptimize(rows.out.data());
  }
  state.SetItemsProcessed(state.iterations() * kColumns);
}
BENCHMARK(BM_CellRule);

void BM_TangentAndLogarithm(benchmark::State& state) {
  const Rows fresh;
  Rows rows;
  for (auto _ : state) {
    rows.a = fresh.a;  // the same copies as above
    rows.t = fresh.t;
    rows.s = fresh.s;
    for (int j = 1; j <= kColumns; ++j) {
      rows.out[j] = std::log((rows.a[j] + 1.0) * 100.0 / rows.t[j] /
                             std::tan(rows.s[j] * kDegreeFactor));
    }
    benchmark::DoNotOptimize(rows.out.data());
  }
  state.SetItemsProcessed(state.iterations() * kColumns);
}
BENCHMARK(BM_TangentAndLogarithm);

}  // namespace
}  // namespace kavrix

BENCHMARK_MAIN();
