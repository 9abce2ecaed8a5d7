#include "grid/number_format.h"

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "grid/power_of_five.h"

// "%g" keeps six significant digits: the value rounded (ties to even, on the
// exact binary value) to d * 10^(x - 5) with 100000 <= d <= 999999; then
// "%e" layout if x < -4 or x >= 6, else "%f" layout, without trailing zeros.
// Integers are rounded with integer arithmetic; other values are scaled by
// a 128-bit power of ten, whose error is bounded well enough that only
// values within about 2^-100 of a rounding tie are left undecided.  Those
// go to snprintf.

namespace kavrix {
namespace {

constexpr uint64_t kPow10[] = {1,
                               10,
                               100,
                               1000,
                               10000,
                               100000,
                               1000000,
                               10000000,
                               100000000,
                               1000000000,
                               10000000000,
                               100000000000,
                               1000000000000,
                               10000000000000,
                               100000000000000,
                               1000000000000000,
                               10000000000000000,
                               100000000000000000,
                               1000000000000000000};

struct DigitPairs {
  char text[200];
};

constexpr DigitPairs make_pairs() {
  DigitPairs pairs{};
  for (size_t i = 0; i < 100; ++i) {
    pairs.text[2 * i] = static_cast<char>('0' + i / 10);
    pairs.text[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}

constexpr DigitPairs kPairs = make_pairs();

// The six decimal digits of n as ASCII, the first in the lowest byte, in
// the low six bytes.  REQUIRES: n < 1000000.
uint64_t six_digits(uint32_t n) {
  auto pair = [](uint32_t k) {  // k < 100
    uint16_t two;
    std::memcpy(&two, kPairs.text + 2 * static_cast<size_t>(k), 2);
    if constexpr (std::endian::native == std::endian::big) {
      two = static_cast<uint16_t>((two >> 8) | (two << 8));
    }
    return uint64_t{two};
  };
  return pair(n / 10000) | (pair(n / 100 % 100) << 16) | (pair(n % 100) << 32);
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

// Writes n in decimal.  REQUIRES: 0 < n < 1000000.
char* write_small(char* out, uint32_t n) {
  const uint64_t digits = six_digits(n);
  const int zeros = std::countr_zero(digits ^ kSixZeros) >> 3;  // leading
  return put(out, digits >> (8 * zeros), 6 - zeros);
}

// Writes the two digits of n.  REQUIRES: n < 100.
char* write_pair(char* out, uint32_t n) {
  std::memcpy(out, kPairs.text + 2 * static_cast<size_t>(n), 2);
  return out + 2;
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
    auto e = static_cast<uint32_t>(x < 0 ? -x : x);
    if (e >= 100) {
      *out++ = static_cast<char>('0' + e / 100);
      e %= 100;
    }
    return write_pair(out, e);
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

// Rounds the integer n to six significant digits.  REQUIRES: n >= 10^6,
// n < 10^19.
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

// Whether m * 2^e < 10^n.  REQUIRES: m >= 2^63, kMinPowerOfFive <= n <=
// kMaxPowerOfFive.
bool below_power_of_ten(uint64_t m, int e, int n) {
  // 10^n = 5^n * 2^n lies in [hi * 2^64 + lo, that + 1) * 2^(exp2 + n), a
  // number whose top bit is 2^(exp2 + n + 127).
  const PowerOfFive& p = power_of_five(n);
  const int top = p.exp2 + n + 127;
  if (e + 63 != top) return e + 63 < top;
  if (m != p.hi) return m < p.hi;
  // m * 2^64 <= the power, equal only if that is exactly hi * 2^64.
  return !(p.exact && p.lo == 0);
}

// 10^-4 to 10^6: 10^-4 .. 10^-1 rounded up, the others exact, so that a
// double compares with each as with the exact power.
constexpr double kPow10Double[] = {1e-4, 1e-3, 1e-2, 1e-1, 1e0, 1e1,
                                   1e2,  1e3,  1e4,  1e5,  1e6};

// Writes m * 2^e when that lies in [2^-12, 2^20) and below 10^6, the range
// of most grid values, and returns nullptr for larger values.  There
// m * 10^(5 - x) * 2^64 / 2^-e is an integer below 2^84 whose upper word
// holds the six digits and whose lower word the fraction to round.
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

// Writes a finite positive nonzero value that is not a small integer.
// Returns nullptr when the scaled value is too close to a tie to decide.
char* write_scaled(char* out, uint64_t m, int e) {
  // Normalize: value = m * 2^e with m in [2^63, 2^64).
  const int lz = std::countl_zero(m);
  m <<= lz;
  e -= lz;
  // x = floor(log10(value)): the estimate from the binary exponent is right
  // or one too small.
  int x = floor_log10_pow2(e + 63);
  if (!below_power_of_ten(m, e, x + 1)) ++x;
  // s = value * 10^k lies in [10^5, 10^6); s = (z + err) / 2^shift.
  const int k = 5 - x;
  const PowerOfFive& p = power_of_five(k);
  const Wide192 z = multiply(m, p);
  const int shift = -(p.exp2 + e + k);
  uint64_t d;
  if (shift <= 128 || shift >= 192 || !round_shifted(z, shift, p.exact, d)) {
    return nullptr;
  }
  if (d == 1000000) {  // 999999.5 and above round up to the next decade
    d = 100000;
    ++x;
  }
  if (d < 100000 || d > 999999) return nullptr;
  return write_rounded(out, static_cast<uint32_t>(d), x);
}

}  // namespace

char* format_number(char* out, double value) {
  const auto bits = std::bit_cast<uint64_t>(value);
  const bool negative = (bits >> 63) != 0;
  const auto biased = static_cast<int>((bits >> 52) & 0x7ff);
  uint64_t m = bits & ((uint64_t{1} << 52) - 1);
  char* const start = out;

  if (negative) *out++ = '-';
  if (biased == 0x7ff) {
    return put(out, m == 0 ? 0x666e69 : 0x6e616e, 3);  // "inf", "nan"
  }
  if (biased == 0 && m == 0) {
    *out++ = '0';
    return out;
  }
  int e;
  if (biased == 0) {
    e = -1074;
  } else {
    m |= uint64_t{1} << 52;
    e = biased - 1075;
  }
  // value = m * 2^e.  Integers below 2^63 need no scaling.
  if (e >= -52 && e <= 10) {
    const uint64_t n = e >= 0 ? m << e : m >> -e;
    if (e >= 0 || (m & ((uint64_t{1} << -e) - 1)) == 0) {
      if (n < 1000000) return write_small(out, static_cast<uint32_t>(n));
      return write_large_integer(out, n);
    }
  }
  if (e >= -64 && e <= -33 && biased != 0) {
    const double magnitude = negative ? -value : value;
    char* const end = write_moderate(out, m, e, magnitude);
    if (end != nullptr) return end;
  }
  char* const end = write_scaled(out, m, e);
  if (end != nullptr) return end;
  return start + std::snprintf(start, kNumberTextMax, "%g", value);
}

}  // namespace kavrix
