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
  for (int i = 0; i < 100; ++i) {
    pairs.text[2 * i] = static_cast<char>('0' + i / 10);
    pairs.text[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}

constexpr DigitPairs kPairs = make_pairs();

// Writes the two digits of n.  REQUIRES: n < 100.
char* write_pair(char* out, uint32_t n) {
  std::memcpy(out, kPairs.text + 2 * n, 2);
  return out + 2;
}

// Writes n in decimal.  REQUIRES: 0 < n < 1000000.
char* write_small(char* out, uint32_t n) {
  char buf[6];
  char* p = buf + 6;
  while (n >= 100) {
    p -= 2;
    write_pair(p, n % 100);
    n /= 100;
  }
  if (n >= 10) {
    p -= 2;
    write_pair(p, n);
  } else {
    *--p = static_cast<char>('0' + n);
  }
  const auto len = static_cast<size_t>(buf + 6 - p);
  std::memcpy(out, p, len);
  return out + len;
}

// Writes d * 10^(x - 5) in "%g" layout.  REQUIRES: 100000 <= d <= 999999.
char* write_rounded(char* out, uint32_t d, int x) {
  char digits[6];
  write_pair(digits, d / 10000);
  write_pair(digits + 2, d / 100 % 100);
  write_pair(digits + 4, d % 100);
  int n = 6;
  while (digits[n - 1] == '0') --n;

  if (x < -4 || x >= 6) {
    *out++ = digits[0];
    if (n > 1) {
      *out++ = '.';
      std::memcpy(out, digits + 1, static_cast<size_t>(n - 1));
      out += n - 1;
    }
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
    const int whole = x + 1;
    if (n <= whole) {
      std::memcpy(out, digits, static_cast<size_t>(n));
      std::memset(out + n, '0', static_cast<size_t>(whole - n));
      return out + whole;
    }
    std::memcpy(out, digits, static_cast<size_t>(whole));
    out += whole;
    *out++ = '.';
    std::memcpy(out, digits + whole, static_cast<size_t>(n - whole));
    return out + (n - whole);
  }
  *out++ = '0';
  *out++ = '.';
  std::memset(out, '0', static_cast<size_t>(-x - 1));
  out += -x - 1;
  std::memcpy(out, digits, static_cast<size_t>(n));
  return out + n;
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
    std::memcpy(out, m == 0 ? "inf" : "nan", 3);
    return out + 3;
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
  char* const end = write_scaled(out, m, e);
  if (end != nullptr) return end;
  return start + std::snprintf(start, kNumberTextMax, "%g", value);
}

}  // namespace kavrix
