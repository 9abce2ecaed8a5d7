#include "grid/number_scan.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "grid/power_of_five.h"

// The scanner follows scanf's own reading loop character by character, so
// that it stops exactly where scanf does, and converts what it read the way
// scanf does: by handing those characters to strtod.  Most numbers take one
// of two exact shortcuts instead of strtod; the rest go to strtod itself.

namespace kavrix {

const scan_detail::DigitConstants scan_detail::kDigitConstants = {
    0x4646464646464646, 0xafafafafafafafaf, 0x8080808080808080,
    0x0f0f0f0f0f0f0f0f, 10 * 0x100 + 1, 0x00ff00ff00ff00ff,
    0x0000ffff0000ffff, 10000 * 0x100000000 + 1};

namespace {

bool is_digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

bool is_hex_letter(char c) {
  const char l = static_cast<char>(c | 0x20);
  return l >= 'a' && l <= 'f';
}

// Lower case for letters; callers compare the result with letters only.
char lower(char c) { return static_cast<char>(c | 0x20); }

double with_sign(double x, bool negative) { return negative ? -x : x; }

using scan_detail::kExactPow10;
using scan_detail::kPow10;

// Reads the run of digits at p, appending them to w (mod 2^64), and returns
// its end.  Eight bytes at a time where that many remain before `last`, so
// the run length costs no unpredictable branch.
const char* read_digits(const char* p, const char* last, uint64_t& w) {
  while (last - p >= 8) {
    const uint64_t chunk = scan_detail::load8(p);
    const uint64_t flags = scan_detail::non_digit_flags(chunk);
    const int n = flags == 0 ? 8 : std::countr_zero(flags) / 8;
    if (n == 0) return p;
    // Keep the n digits as the high bytes: zero bytes lead.
    const uint64_t digits = (chunk - scan_detail::kZeros) << (64 - 8 * n);
    w = w * kPow10[n] + scan_detail::eight_digits(digits);
    p += n;
    if (n < 8) return p;
  }
  while (p != last && is_digit(*p)) {
    w = 10 * w + static_cast<uint64_t>(*p - '0');
    ++p;
  }
  return p;
}

// What scanf would compute from the characters it consumed.
double strtod_copy(const char* first, const char* last) {
  const auto n = static_cast<size_t>(last - first);
  char small[64];
  if (n < sizeof small) {
    std::memcpy(small, first, n);
    small[n] = '\0';
    return std::strtod(small, nullptr);
  }
  const std::string large(first, last);
  return std::strtod(large.c_str(), nullptr);
}

// w * 10^q correctly rounded, when the 128-bit power of five decides the
// rounding and the result is normal or overflows; false otherwise.
// REQUIRES: w > 0, kMinPowerOfFive <= q <= kMaxPowerOfFive.
bool scale_decimal(uint64_t w, int q, double& out) {
  // w * 10^q = w * 5^q * 2^q.  With w normalized to 64 bits the product
  // z = w' * m has 191 or 192 bits and w' * 5^q = (z + err) * 2^exp2 with
  // err < 2^64, so keeping 53 bits leaves 137 or 138 below the rounding bit.
  const int lz = std::countl_zero(w);
  const uint64_t wn = w << lz;
  const PowerOfFive& p = power_of_five(q);
  const Wide192 z = multiply(wn, p);
  const int top = (z.w2 >> 63) != 0 ? 191 : 190;
  int e2 = top + p.exp2 + q - lz;  // the binary exponent before rounding
  // Subnormal results round at a coarser bit; leave them to strtod.
  if (e2 < -1022) return false;
  if (e2 > 1023) {
    out = std::numeric_limits<double>::infinity();
    return true;
  }
  uint64_t m;
  if (!round_shifted(z, top - 52, p.exact, m)) return false;
  if (m >> 53 != 0) {  // rounded up to 2^53
    m >>= 1;
    ++e2;
    if (e2 > 1023) {
      out = std::numeric_limits<double>::infinity();
      return true;
    }
  }
  const uint64_t bits = (static_cast<uint64_t>(e2 + 1023) << 52) |
                        (m & ((uint64_t{1} << 52) - 1));
  out = std::bit_cast<double>(bits);
  return true;
}

// Matches the lower-case `word` at p.  On a mismatch scanf has consumed the
// offending character too (it pushes nothing back there), so the stop is
// one past it, or `last` if the input ended.
const char* match_word(const char* p, const char* last, const char* word,
                       bool& matched) {
  for (; *word != '\0'; ++word, ++p) {
    if (p == last) {
      matched = false;
      return p;
    }
    if (lower(*p) != *word) {
      matched = false;
      return p + 1;
    }
  }
  matched = true;
  return p;
}

// "inf", "infinity" or "nan" at p, any case.  scanf hands only those letters
// to strtod, so "nan(123)" stops after "nan" and gives the default NaN.
NumberScan scan_word(const char* p, const char* last, bool negative,
                     double& value) {
  bool matched;
  if (lower(*p) == 'n') {
    p = match_word(p, last, "nan", matched);
    if (!matched) return {p, false};
    value = with_sign(std::numeric_limits<double>::quiet_NaN(), negative);
    return {p, true};
  }
  p = match_word(p, last, "inf", matched);
  if (!matched) return {p, false};
  if (p != last && lower(*p) == 'i') {
    p = match_word(p, last, "inity", matched);
    if (!matched) return {p, false};
  }
  value = with_sign(std::numeric_limits<double>::infinity(), negative);
  return {p, true};
}

// A hexadecimal float; p is just past "0x".  scanf takes hex digits and one
// point, and a 'p' only after a digit, then a sign only right after the
// 'p'; strtod converts what strtod can of that.
NumberScan scan_hex(const char* first, const char* p, const char* last,
                    double& value) {
  const char* const digits = p;
  bool got_digit = false;
  bool got_dot = false;
  bool got_exp = false;
  bool after_exp = false;
  for (; p != last; ++p) {
    const char c = *p;
    if (is_digit(c) || (!got_exp && is_hex_letter(c))) {
      got_digit = true;
    } else if (after_exp && (c == '+' || c == '-')) {
      // accepted; a second sign is not
    } else if (got_digit && !got_exp && lower(c) == 'p') {
      got_exp = got_dot = true;
      after_exp = true;
      continue;
    } else if (!got_dot && c == '.') {
      got_dot = true;
    } else {
      break;
    }
    after_exp = false;
  }
  // "0x" alone is an error, though strtod would read it as 0.
  if (p == digits) return {p, false};
  value = strtod_copy(first, p);
  return {p, true};
}

// A decimal number; p is at its first digit or point.
NumberScan scan_decimal(const char* first, const char* p, const char* last,
                        bool negative, double& value) {
  // Accumulate all digits; w is exact while there are at most 19 of them.
  uint64_t w = 0;
  const char* const start = p;
  p = read_digits(p, last, w);
  std::ptrdiff_t ndigits = p - start;
  std::ptrdiff_t nfrac = 0;
  if (p != last && *p == '.') {
    ++p;
    const char* const frac = p;
    p = read_digits(p, last, w);
    nfrac = p - frac;
    ndigits += nfrac;
  }
  // "." or "-.": scanf consumed them, strtod finds no number.
  if (ndigits == 0) return {p, false};

  int64_t exponent = 0;
  if (p != last && lower(*p) == 'e') {
    // scanf keeps the 'e' and a sign even when no digit follows; strtod then
    // ignores them ("1e+x" reads 3 characters and gives 1).
    ++p;
    bool exp_negative = false;
    if (p != last && (*p == '+' || *p == '-')) {
      exp_negative = *p == '-';
      ++p;
    }
    while (p != last && is_digit(*p)) {
      // Past 10^9 the value is 0 or infinite anyway; only count characters.
      if (exponent < 1000000000) exponent = 10 * exponent + (*p - '0');
      ++p;
    }
    if (exp_negative) exponent = -exponent;
  }

  if (ndigits <= 19) {
    if (w == 0) {
      value = with_sign(0.0, negative);
      return {p, true};
    }
    const int64_t q = exponent - nfrac;
    // Clinger: w and 10^|q| are exact doubles, so one correctly rounded
    // operation gives the correctly rounded result.
    if (w <= (uint64_t{1} << 53) && q >= -22 && q <= 22) {
      const double x = static_cast<double>(w);
      value =
          with_sign(q < 0 ? x / kExactPow10[-q] : x * kExactPow10[q], negative);
      return {p, true};
    }
    double x;
    if (q >= kMinPowerOfFive && q <= 308 &&
        scale_decimal(w, static_cast<int>(q), x)) {
      value = with_sign(x, negative);
      return {p, true};
    }
  }
  value = strtod_copy(first, p);
  return {p, true};
}

}  // namespace

NumberScan scan_number_general(const char* first, const char* last,
                               double& value) {
  const char* p = first;
  bool negative = false;
  if (*p == '-' || *p == '+') {
    negative = *p == '-';
    ++p;
    if (p == last) return {p, false};
  }
  const char c = *p;
  if (is_digit(c) || c == '.') {
    if (c == '0' && p + 1 != last && lower(p[1]) == 'x') {
      return scan_hex(first, p + 2, last, value);
    }
    return scan_decimal(first, p, last, negative, value);
  }
  if (lower(c) == 'n' || lower(c) == 'i')
    return scan_word(p, last, negative, value);
  // scanf pushes the character back: only a sign was consumed.
  return {p, false};
}

}  // namespace kavrix
