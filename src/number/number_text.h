// Numbers as text, both ways, with the results of scanf's and printf's
// "%lg" in the C locale and the default rounding mode.
#ifndef KAVRIX_NUMBER_NUMBER_TEXT_H_
#define KAVRIX_NUMBER_NUMBER_TEXT_H_

#include <cstddef>

#include "number/plain_decimal.h"

namespace kavrix {

/// Where a scan stopped and whether it converted a number.
struct NumberScan {
  const char* ptr;  ///< first character not consumed
  bool ok;          ///< a number was converted and stored
};

/// Bytes that scan_plain_number may read from its first character.
inline constexpr std::ptrdiff_t kPlainScanSpan = 17;

/// Whether scanf takes `c` for white space, which ends a number.
inline bool is_number_space(char c) {
  return number_detail::kSpaceTable[static_cast<unsigned char>(c)];
}

/// The common spelling [+-]digits[.digits], at most 15 characters of digits
/// and point, followed by white space: stores its value, the one scanf
/// gives, and returns the white space after it; nullptr for anything else.
/// REQUIRES: kPlainScanSpan bytes are readable from `first`.
inline const char* scan_plain_number(const char* first, double& value) {
  const char sign = *first;
  if (sign != '-' && sign != '+') {
    return number_detail::scan_plain_unsigned(first, value);
  }
  double x;
  const char* const stop = number_detail::scan_plain_unsigned(first + 1, x);
  if (stop != nullptr) value = sign == '-' ? -x : x;
  return stop;
}

/// scan_number for every spelling, without the plain-decimal shortcut.
/// REQUIRES: as scan_number.
NumberScan scan_number_general(const char* first, const char* last,
                               double& value);

/// Scans one number at `first` exactly as scanf("%lg") does: the same
/// double, the same characters consumed, also when the text is not a
/// number (scanf then has consumed what it read less the one character it
/// pushed back, or all of it after a mismatch inside "nan" or
/// "inf[inity]", and stores nothing).  On success stores into `value`.
/// REQUIRES: first < last and *first is not white space. The result is the
/// one of the whole input when [first, last) holds a white-space character
/// after the number, when `last` is the end of the input, and whenever the
/// scan stops before `last`: scanf reads no further than the character
/// that ends a number.
inline NumberScan scan_number(const char* first, const char* last,
                              double& value) {
  if (last - first >= kPlainScanSpan) {
    const char* const end = scan_plain_number(first, value);
    if (end != nullptr) return {end, true};
  }
  return scan_number_general(first, last, value);
}

/// Room that format_number needs: its longest text, "-2.22507e-308" and
/// the like, and the slack of its eight-byte stores.
inline constexpr int kNumberTextMax = 32;

/// Writes `value` as printf("%lg") does, six significant digits, and
/// returns the end of the text; writes no terminator.
/// REQUIRES: `out` has room for kNumberTextMax characters.
char* format_number(char* out, double value);

}  // namespace kavrix

#endif  // KAVRIX_NUMBER_NUMBER_TEXT_H_
