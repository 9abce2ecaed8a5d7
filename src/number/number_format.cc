#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>

#include "number/number_text.h"

// "%g" keeps six significant digits: the value rounded (ties to even, on the
// exact binary value) to d * 10^(x - 5) with 100000 <= d <= 999999; then
// "%e" layout if x < -4 or x >= 6, else "%f" layout, without trailing zeros.
// Integers and values of moderate size, most grid values, are rounded here
// with exact integer arithmetic.  Every other value goes to std::to_chars
// in general format with precision 6, which rounds the exact binary value
// to nearest, ties to even, and lays the digits out as printf does: an
// exponent of at least two digits, "inf", "nan", "-nan" and "-0".

namespace kavrix {
namespace {

using number_detail::kPow10;

// The six decimal digits of n as ASCII, the first in the lowest byte, in
// the low six bytes.  REQUIRES: n < 1000000.
uint64_t six_digits(uint32_t n) {
  // The pairs of digits in 16-bit lanes; in each lane x < 100,
  // x * 103 >> 10 is x / 10 and nothing carries into the next lane.
  const uint64_t pairs =
      n / 10000 | uint64_t{n / 100 % 100} << 16 | uint64_t{n % 100} << 32;
  const uint64_t tens = ((pairs * 103) >> 10) & 0x0000000f000f000f;
  return tens | ((pairs - 10 * tens) << 8) | 0x303030303030;
}

// Writes the low `len` bytes of `text`, lowest first.  REQUIRES: `out` has
// room for eight bytes.
char* put(char* out, uint64_t text, int len) {
  if constexpr (std::endian::native == std::endian::big) {
    text = __builtin_bswap64(text);
  }
  std::memcpy(out, &text, 8);
  return out + len;
}

// The ASCII zeros of six_digits, for finding the leading and trailing ones.
constexpr uint64_t kSixZeros = 0x303030303030;

// Writes n in decimal: "%g" shows an integer below 10^6 whole.
// REQUIRES: 0 < n < 1000000.
char* write_small(char* out, uint32_t n) {
  const uint64_t digits = six_digits(n);
  const int zeros = std::countr_zero(digits ^ kSixZeros) >> 3;  // leading
  return put(out, digits >> (8 * zeros), 6 - zeros);
}

// Writes d * 10^(x - 5) in "%g" layout.  REQUIRES: 100000 <= d <= 999999.
char* write_rounded(char* out, uint32_t d, int x) {
  const uint64_t digits = six_digits(d);
  // The digits without the trailing zeros: the first is not zero.
  const int n = (71 - std::countl_zero(digits ^ kSixZeros)) >> 3;

  if (x < -4 || x >= 6) {
    // d.ddddd, without the point if one digit is left.
    const uint64_t mantissa =
        (digits & 0xff) | (uint64_t{'.'} << 8) | ((digits >> 8) << 16);
    out = put(out, mantissa, n > 1 ? n + 1 : 1);
    *out++ = 'e';
    *out++ = x < 0 ? '-' : '+';
    const int e = x < 0 ? -x : x;
    if (e >= 100) *out++ = static_cast<char>('0' + e / 100);
    *out++ = static_cast<char>('0' + e / 10 % 10);
    *out++ = static_cast<char>('0' + e % 10);
    return out;
  }
  if (x >= 0) {
    // The point goes after `whole` digits, and only if digits follow it.
    const int whole = x + 1;
    const int shift = 8 * whole;
    const uint64_t before = (uint64_t{1} << shift) - 1;  // whole <= 6
    const uint64_t text = (digits & before) | (uint64_t{'.'} << shift) |
                          ((digits & ~before) << 8);
    return put(out, text, n <= whole ? whole : n + 1);
  }
  // 0.000ddddd: "0." and -x - 1 zeros, then the digits.
  out = put(out, 0x3030303030302e30, 1 - x);
  return put(out, digits, n);
}

// Writes the integer n rounded to six significant digits.  Exact: the
// quotient and the remainder by the power of ten are exact integers, so the
// remainder compares with half the unit exactly, ties going to even.
// REQUIRES: 10^6 <= n < 10^19.
char* write_large_integer(char* out, uint64_t n) {
  int x = 6;
  while (x < 18 && n >= kPow10[x + 1]) ++x;
  const uint64_t unit = kPow10[x - 5];
  uint64_t d = n / unit;
  const uint64_t rest = n % unit;
  const uint64_t half = unit / 2;
  if (rest > half || (rest == half && (d & 1) != 0)) ++d;
  if (d == 1000000) {
    d = 100000;
    ++x;
  }
  return write_rounded(out, static_cast<uint32_t>(d), x);
}

// floor(e * log10(2)) for |e| <= 1100.
int floor_log10_pow2(int e) { return (e * 78913) >> 18; }

// 10^-4 to 10^6: 10^-4 .. 10^-1 rounded up, the others exact, so that a
// double compares with each as with the exact power.
constexpr double kPow10Double[] = {1e-4, 1e-3, 1e-2, 1e-1, 1e0, 1e1,
                                   1e2,  1e3,  1e4,  1e5,  1e6};

// Writes m * 2^e when that lies in [2^-12, 2^20) and below 10^6, the range
// of most grid values, and returns nullptr for larger values.  Exact: the
// value times 10^(5 - x) * 2^64 is m * 10^(5 - x) * 2^(64 + e), a product
// of integers below 2^53 and 2^33, so one 128-bit multiplication holds it
// with no rounding; its upper word is the six digits, its lower word the
// fraction, which compares with one half exactly.
// REQUIRES: 2^52 <= m < 2^53, -64 <= e <= -33.
char* write_moderate(char* out, uint64_t m, int e, double value) {
  // x = floor(log10(value)): the estimate from the binary exponent is right
  // or one too small.
  const int x0 = floor_log10_pow2(e + 52);  // -4 .. 5
  const int x = value >= kPow10Double[x0 + 5] ? x0 + 1 : x0;
  if (x >= 6) return nullptr;
  // 10^(5 - x) * 2^(64 + e) < 10^(5 - x) * 2^12 * 10^(x + 1) < 2^33, since
  // 2^(52 + e) <= value < 10^(x + 1).
  const uint64_t scale = kPow10[5 - x] << (64 + e);
  using u128 = unsigned __int128;
  const u128 scaled = static_cast<u128>(m) * scale;
  auto d = static_cast<uint64_t>(scaled >> 64);
  const auto rest = static_cast<uint64_t>(scaled);
  constexpr uint64_t kHalf = uint64_t{1} << 63;
  // Round to nearest, ties to even.
  if (rest > kHalf || (rest == kHalf && (d & 1) != 0)) ++d;
  if (d == 1000000) {  // 999999.5 and above round up to the next decade
    return write_rounded(out, 100000, x + 1);
  }
  return write_rounded(out, static_cast<uint32_t>(d), x);
}

}  // namespace

char* format_number(char* out, double value) {
  const auto bits = std::bit_cast<uint64_t>(value);
  // |value| = m * 2^e for normal values; subnormals, infinities and NaNs
  // fall outside the ranges below.
  const auto biased = static_cast<int>((bits >> 52) & 0x7ff);
  const uint64_t m = (bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);
  const int e = biased - 1075;
  char* p = out;
  if ((bits >> 63) != 0) *p++ = '-';
  if ((bits << 1) == 0) {
    *p = '0';
    return p + 1;
  }
  // Integers below 2^63: exact in a uint64_t.
  if (e >= -52 && e <= 10) {
    const uint64_t n = e >= 0 ? m << e : m >> -e;
    if (e >= 0 || (m & ((uint64_t{1} << -e) - 1)) == 0) {
      if (n < 1000000) return write_small(p, static_cast<uint32_t>(n));
      return write_large_integer(p, n);
    }
  }
  if (e >= -64 && e <= -33) {
    char* const end =
        write_moderate(p, m, e, (bits >> 63) != 0 ? -value : value);
    if (end != nullptr) return end;
  }
  return std::to_chars(out, out + kNumberTextMax, value,
                       std::chars_format::general, 6)
      .ptr;
}

}  // namespace kavrix
