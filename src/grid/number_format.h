// Formatting of grid values as text, with the results of printf's "%lg".
#ifndef KAVRIX_GRID_NUMBER_FORMAT_H_
#define KAVRIX_GRID_NUMBER_FORMAT_H_

namespace kavrix {

/// Longest text that format_number writes, with room to spare.
inline constexpr int kNumberTextMax = 32;

/// Writes `value` as printf("%lg") does with the C library of this system
/// (C locale, default rounding mode) and returns the end of the text;
/// writes no terminator.
/// REQUIRES: `out` has room for kNumberTextMax characters.
char* format_number(char* out, double value);

}  // namespace kavrix

#endif  // KAVRIX_GRID_NUMBER_FORMAT_H_
