// Index values as text for the tables and the picture of a distribution.
#ifndef KAVRIX_DISTRIBUTION_VALUE_TEXT_H_
#define KAVRIX_DISTRIBUTION_VALUE_TEXT_H_

#include <string>

namespace kavrix {

/// `value` in the shortest form that reads back as the same double.
std::string shortest_text(double value);

/// `value` with `decimals` digits after the point (0 to 17).
std::string fixed_text(double value, int decimals);

/// `value` rounded to `digits` significant digits (1 to 17), without
/// trailing zeros.
std::string significant_text(double value, int digits);

}  // namespace kavrix

#endif  // KAVRIX_DISTRIBUTION_VALUE_TEXT_H_
