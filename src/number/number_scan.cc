#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <system_error>

#include "number/number_text.h"

// scanf reads the longest prefix that its grammar allows and hands it to
// strtod.  std::from_chars converts the same text with the same correct
// rounding, so this scanner lets from_chars read and fixes up only where
// the two grammars part: from_chars takes no '+' and no "0x" prefix, leaves
// an exponent without digits ("1e+", "0x1p") unread where scanf has
// consumed it, stores nothing where the value is out of range (scanf gives
// 0 or infinity), and reads "nan(...)" and words after "0x" that scanf
// does not.

namespace kavrix {

const number_detail::DigitConstants number_detail::kDigitConstants = {
    0x4646464646464646, 0xafafafafafafafaf,     0x8080808080808080,
    0x0f0f0f0f0f0f0f0f, 10 * 0x100 + 1,         0x00ff00ff00ff00ff,
    0x0000ffff0000ffff, 10000 * 0x100000000 + 1};

namespace {

bool is_digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// Lower case for letters; callers compare the result with letters only.
char lower(char c) { return static_cast<char>(c | 0x20); }

bool is_hex_digit(char c) {
  return is_digit(c) || (lower(c) >= 'a' && lower(c) <= 'f');
}

double with_sign(double x, bool negative) { return negative ? -x : x; }

// "inf", "infinity" or "nan" at p, any case.  On a mismatch scanf has
// consumed the offending character too (it pushes nothing back there).
// It hands only those letters to strtod, so "nan(123)" stops after "nan"
// and gives the default NaN.
NumberScan scan_word(const char* p, const char* last, bool negative,
                     double& value) {
  const bool nan = lower(*p) == 'n';
  const char* const word = nan ? "nan" : "infinity";
  for (int k = 0; word[k] != '\0'; ++k, ++p) {
    if (p != last && lower(*p) == word[k]) continue;
    if (k == 3) break;  // "inf" and no "inity" after it
    return {p == last ? p : p + 1, false};
  }
  value = with_sign(nan ? std::numeric_limits<double>::quiet_NaN()
                        : std::numeric_limits<double>::infinity(),
                    negative);
  return {p, true};
}

// For the digits [p, end) of a number out of the range of double, with the
// exponent after `mark`: whether it is too large rather than too small.
// Each place counts `place` in the exponent's scale (4 for hex digits and
// a binary exponent).  Such a number lies beyond 2^1024 or below 2^-1075,
// so counting places around the first nonzero digit decides it.
bool too_large(const char* p, const char* end, char mark, int64_t place) {
  int64_t scale = 0;  // about log of the digits' value, in exponent units
  bool point = false;
  bool nonzero = false;
  for (; p != end && lower(*p) != mark; ++p) {
    if (*p == '.') {
      point = true;
      continue;
    }
    nonzero = nonzero || *p != '0';
    if (nonzero && !point) scale += place;
    if (!nonzero && point) scale -= place;
  }
  int64_t exponent = 0;
  const bool negative = p != end && p + 1 != end && p[1] == '-';
  for (; p != end; ++p) {
    // Past 10^9 the sum's sign is the exponent's: only count characters.
    if (is_digit(*p) && exponent < 1000000000) {
      exponent = 10 * exponent + (*p - '0');
    }
  }
  return scale + (negative ? -exponent : exponent) > 0;
}

}  // namespace

NumberScan scan_number_general(const char* first, const char* last,
                               double& value) {
  const char* p = first;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') {
    ++p;
    if (p == last) return {p, false};
  }
  const char c = *p;
  if (!is_digit(c) && c != '.') {
    if (lower(c) == 'n' || lower(c) == 'i') {
      return scan_word(p, last, negative, value);
    }
    return {p, false};  // scanf pushes c back: only a sign was consumed
  }
  const bool hex = c == '0' && last - p > 1 && lower(p[1]) == 'x';
  const char* const digits = hex ? p + 2 : p;
  const char mark = hex ? 'p' : 'e';
  // Without a digit or point after "0x" scanf fails having read "0x"; a
  // point with no digit after it ("0x.") reads as zero.  A decimal point
  // with no digit after it ("." or "-.") fails after the point.
  const bool point = digits != last && *digits == '.';
  if (hex && (digits == last || !(is_hex_digit(*digits) || point))) {
    return {digits, false};
  }
  const auto format = hex ? std::chars_format::hex : std::chars_format::general;
  const auto is_mark = [mark](char ch) { return lower(ch) == mark; };
  double x = 0;
  std::from_chars_result r = std::from_chars(digits, last, x, format);
  if (r.ec == std::errc::invalid_argument) {
    if (!hex) return {digits + 1, false};
    value = with_sign(0.0, negative);
    return {digits + 1, true};
  }
  // from_chars reads "0x1p+-3" as 2^-3; scanf stops at the '-'.
  const char* const exponent =
      hex ? std::find_if(digits, r.ptr, is_mark) : r.ptr;
  if (r.ptr - exponent > 2 && exponent[1] == '+' && exponent[2] == '-') {
    r = std::from_chars(digits, exponent, x, format);
  }
  if (r.ec == std::errc::result_out_of_range) {
    x = too_large(digits, r.ptr, mark, hex ? 4 : 1)
            ? std::numeric_limits<double>::infinity()
            : 0.0;
  }
  // scanf takes an exponent marker and its sign even with no digit after,
  // which from_chars leaves unread; an exponent it did read ends the number.
  const char* stop = r.ptr;
  if (stop != last && is_mark(*stop) && std::none_of(digits, r.ptr, is_mark)) {
    ++stop;
    if (stop != last && (*stop == '+' || *stop == '-')) ++stop;
  }
  value = with_sign(x, negative);
  return {stop, true};
}

}  // namespace kavrix
