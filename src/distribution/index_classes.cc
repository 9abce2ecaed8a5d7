#include "distribution/index_classes.h"

#include <algorithm>
#include <cmath>

namespace kavrix {

IndexClasses make_classes(double min, double max, int count) {
  IndexClasses classes;
  classes.min = min;
  classes.max = max;
  // Values from near -DBL_MAX to near DBL_MAX are more than a double
  // apart: their halves are not, and halving is exact above the
  // subnormals, so the classes keep their bounds.
  if (!std::isfinite(max - min)) classes.scale = 0.5;
  classes.width = (max * classes.scale - min * classes.scale) / count;
  classes.cells.assign(static_cast<size_t>(count), 0);
  return classes;
}

int class_of(const IndexClasses& classes, double v) {
  const int top = static_cast<int>(classes.cells.size()) - 1;
  const double q = std::floor(
      (v * classes.scale - classes.min * classes.scale) / classes.width);
  // Checked before the conversion: NaN (width 0), negatives and anything
  // beyond the top class never reach static_cast. A width rounded up (a
  // range of a few subnormal steps) would leave the largest value below
  // the top class.
  if (!(q >= 0)) return 0;
  if (q >= top || v >= classes.max) return top;
  return static_cast<int>(q);
}

double class_lower(const IndexClasses& classes, int k) {
  // A width rounded up may carry the upper classes past the largest value:
  // they are empty and bounded by it.
  return k == 0 ? classes.min
                : std::min(classes.max, (classes.min * classes.scale + k * classes.width) /
                                            classes.scale);
}

double class_upper(const IndexClasses& classes, int k) {
  const bool top = k + 1 == static_cast<int>(classes.cells.size());
  return top ? classes.max : class_lower(classes, k + 1);
}

double class_mid(const IndexClasses& classes, int k) {
  const double lower = class_lower(classes, k);
  const double upper = class_upper(classes, k);
  const double mid = (lower + upper) / 2;
  return std::isfinite(mid) ? mid : lower / 2 + upper / 2;
}

}  // namespace kavrix
