#include "index/cell_rule.h"

#include <algorithm>
#include <cmath>

#include "number/vector_math.h"

namespace kavrix {

ParameterTable make_parameter_table(const GridHeader& a, const GridHeader& s,
                                    const GridHeader& t) {
  ParameterTable table;
  const GridHeader* columns[3] = {&a, &s, &t};
  for (int g = 0; g < 3; ++g) {
    const std::array<double, kHeaderFields> values = header_values(*columns[g]);
    for (int p = kNcols; p <= kNodataValue; ++p) table.value[p][g] = values[p];
  }
  return table;
}

namespace {

// Cells are computed in blocks: first the quotient and the angle of every
// cell, then the logarithm of the quotient by the tangent of the angle of
// all at once, on the vector lanes where they give the C library's bits
// (number/vector_math.h). A cell without data takes quotient and angle 1
// and its result is dropped.
constexpr int kBlock = 256;

// Where the compiler can make copies of a function for wider lanes, chosen
// at load time by the processor: the same operations, each rounded alike.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define KAVRIX_WIDER_LANES __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define KAVRIX_WIDER_LANES
#endif

struct NoData {
  double a, t, s;
};

// The quotient (A + 1) cellsize^2 / T and the angle S in radians of `count`
// cells, with T and S raised to their least values, and whether each has
// no data. Branch-free, so that the compiler takes the cells in lanes.
KAVRIX_WIDER_LANES
void prepare_block(const double* __restrict a, const double* __restrict t,
                   const double* __restrict s, int count, NoData nodata, bool by_nan,
                   double cell_area, double* __restrict quotient, double* __restrict angle,
                   bool* __restrict none) {
  for (int k = 0; k < count; ++k) {
    // Strict tests: a value at or below its nodata value, or NaN, has no
    // data. Bitwise, not logical, or: no branch.
    const bool nan = static_cast<int>(std::isnan(a[k])) | static_cast<int>(std::isnan(t[k])) |
                     static_cast<int>(std::isnan(s[k]));
    // cppcheck-suppress clarifyCondition
    const bool at_or_below = !(a[k] > nodata.a) | !(t[k] > nodata.t) | !(s[k] > nodata.s);
    none[k] = by_nan ? nan : at_or_below;
    const double least_t = t[k] <= 0.0 ? kLeastTransmissivity : t[k];
    const double least_s = s[k] <= 1.0 ? kLeastSlope : s[k];
    // The cell itself contributes too: (A + 1) cells of cellsize^2. Two
    // divisions, first by T, then by the tangent: dividing once by the
    // product can differ in the last bit.
    // Computed for every cell, then chosen: the compiler does not move a
    // division out of a condition.
    const double q = cell_area * (a[k] + 1.0) / least_t;
    const double x = least_s * kDegreeFactor;
    quotient[k] = none[k] ? 1.0 : q;
    angle[k] = none[k] ? 1.0 : x;
  }
}

void compute_cells(const ParameterTable& table, const double* a, const double* t,
                   const double* s, double* out, int n, RunningStats& run_stats, bool by_nan,
                   unsigned char* computed) {
  const NoData nodata{table.value[kNodataValue][kGridA], table.value[kNodataValue][kGridT],
                      table.value[kNodataValue][kGridS]};
  const double cellsize = table.value[kCellsize][kGridA];
  const double cell_area = cellsize * cellsize;
  const VectorLanes lanes = usable_vector_lanes();
  // A copy the compiler may keep in registers: `out` could alias the caller's.
  RunningStats stats = run_stats;
  double quotient[kBlock];
  double angle[kBlock];
  bool none[kBlock];
  for (int first = 1; first <= n; first += kBlock) {
    const int count = std::min(n - first + 1, kBlock);
    prepare_block(a + first, t + first, s + first, count, nodata, by_nan, cell_area, quotient,
                  angle, none);
    log_quotient_by_tan_array(quotient, angle, quotient, count, lanes);
    if (computed != nullptr) {
      for (int k = 0; k < count; ++k) computed[first + k - 1] = none[k] ? 0 : 1;
    }
    for (int k = 0; k < count; ++k) {
      if (none[k]) {
        out[first + k] = nodata.a;
      } else {
        out[first + k] = quotient[k];
        stats_add(stats, quotient[k]);
      }
    }
  }
  run_stats = stats;
}

}  // namespace

void compute_index_row(const ParameterTable& table, const double* a, const double* t,
                       const double* s, double* out, int n, RunningStats& stats,
                       NoDataRule rule, unsigned char* computed) {
  compute_cells(table, a, t, s, out, n, stats, rule == NoDataRule::kNaN, computed);
}

double statistics_threshold(const ParameterTable& table, NoDataRule rule) {
  return rule == NoDataRule::kAtOrBelow ? table.value[kNodataValue][kGridS] : kNoDataMark;
}

}  // namespace kavrix
