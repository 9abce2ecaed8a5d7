// Classes of equal width over the counted index values of a grid.
#ifndef KAVRIX_DISTRIBUTION_INDEX_CLASSES_H_
#define KAVRIX_DISTRIBUTION_INDEX_CLASSES_H_

#include <cstdint>
#include <vector>

namespace kavrix {

/// The most classes a distribution may have.
inline constexpr int kMaxClasses = 10000;

/// Classes of equal width from the smallest counted value to the largest;
/// class 0 is the lowest.
struct IndexClasses {
  double min = 0;
  double max = 0;
  double scale = 1;                  ///< 1, or 0.5 when max - min overflows
  double width = 0;                  ///< (max - min) * scale / classes
  std::vector<std::uint64_t> cells;  ///< counted cells per class
};

/// `count` empty classes from `min` to `max`.
/// REQUIRES: 1 <= count <= kMaxClasses; min <= max.
IndexClasses make_classes(double min, double max, int count);

/// The class of value `v`: floor((v - min) * scale / width), kept within
/// the classes; max falls in the top class; 0 when width is 0.
int class_of(const IndexClasses& classes, double v);

/// The lower bound of class `k`: min + k * width / scale, at most max; min
/// exactly for k = 0.
double class_lower(const IndexClasses& classes, int k);

/// The upper bound of class `k`: the next class's lower bound; max exactly
/// for the top class.
double class_upper(const IndexClasses& classes, int k);

/// The middle of class `k`, halfway between its bounds.
double class_mid(const IndexClasses& classes, int k);

}  // namespace kavrix

#endif  // KAVRIX_DISTRIBUTION_INDEX_CLASSES_H_
