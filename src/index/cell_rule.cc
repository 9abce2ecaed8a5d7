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

// Cells are computed in blocks: the tangents of a block's cells with data
// at once, then the logarithms, on the vector lanes where they give the C
// library's bits (number/vector_math.h).
constexpr int kBlock = 256;

template <NoDataRule rule>
void compute_cells(const ParameterTable& table, double* a, double* t, double* s,
                   double* out, int n, RunningStats& stats) {
  const double nodata_a = table.value[kNodataValue][kGridA];
  const double nodata_t = table.value[kNodataValue][kGridT];
  const double nodata_s = table.value[kNodataValue][kGridS];
  const double cellsize = table.value[kCellsize][kGridA];
  const double cell_area = cellsize * cellsize;
  const VectorLanes lanes = usable_vector_lanes();
  double quotient[kBlock];
  double angle[kBlock];
  int cell[kBlock];
  for (int first = 1; first <= n; first += kBlock) {
    const int last = std::min(n, first + kBlock - 1);
    int count = 0;
    for (int j = first; j <= last; ++j) {
      // Strict tests: a value at or below its nodata value, or NaN, has no data.
      const bool none = rule == NoDataRule::kAtOrBelow
                            ? !(a[j] > nodata_a) || !(t[j] > nodata_t) || !(s[j] > nodata_s)
                            : std::isnan(a[j]) || std::isnan(t[j]) || std::isnan(s[j]);
      if (none) {
        out[j] = nodata_a;
        continue;
      }
      if (t[j] <= 0.0) t[j] = kLeastTransmissivity;
      if (s[j] <= 1.0) s[j] = kLeastSlope;
      a[j] = a[j] + 1.0;  // the cell itself contributes too
      a[j] = cell_area * a[j];
      quotient[count] = a[j] / t[j];
      angle[count] = s[j] * kDegreeFactor;
      cell[count++] = j;
    }
    tan_array(angle, angle, count, lanes);
    // Two divisions, first by T, then by the tangent: dividing once by the
    // product can differ in the last bit.
    for (int k = 0; k < count; ++k) quotient[k] = quotient[k] / angle[k];
    log_array(quotient, quotient, count, lanes);
    for (int k = 0; k < count; ++k) {
      out[cell[k]] = quotient[k];
      stats_add(stats, quotient[k]);
    }
  }
}

}  // namespace

void compute_index_row(const ParameterTable& table, double* a, double* t,
                       double* s, double* out, int n, RunningStats& stats,
                       NoDataRule rule) {
  if (rule == NoDataRule::kAtOrBelow) {
    compute_cells<NoDataRule::kAtOrBelow>(table, a, t, s, out, n, stats);
  } else {
    compute_cells<NoDataRule::kNaN>(table, a, t, s, out, n, stats);
  }
}

double statistics_threshold(const ParameterTable& table, NoDataRule rule) {
  return rule == NoDataRule::kAtOrBelow ? table.value[kNodataValue][kGridS] : kNoDataMark;
}

}  // namespace kavrix
