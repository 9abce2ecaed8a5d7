// Powers of five to 128 bits, and the exact scaling arithmetic built on them,
// shared by the decimal scanner and formatter.
#ifndef KAVRIX_GRID_POWER_OF_FIVE_H_
#define KAVRIX_GRID_POWER_OF_FIVE_H_

#include <array>
#include <cstdint>

namespace kavrix {

/// 5^q truncated to 128 bits: 5^q lies in [m, m + 1) * 2^exp2, where
/// m = hi * 2^64 + lo has its top bit set; `exact` tells whether
/// 5^q == m * 2^exp2 (so for 0 <= q <= 55 only).
struct PowerOfFive {
  uint64_t hi;
  uint64_t lo;
  int32_t exp2;
  bool exact;
};

/// The range of q in the table: 10^q for every double and every decimal
/// exponent that can still round to a nonzero finite double.
inline constexpr int kMinPowerOfFive = -342;
inline constexpr int kMaxPowerOfFive = 340;

extern const std::array<PowerOfFive, kMaxPowerOfFive - kMinPowerOfFive + 1>
    kPowersOfFive;

/// The table entry for 5^q.
/// REQUIRES: kMinPowerOfFive <= q <= kMaxPowerOfFive.
inline const PowerOfFive& power_of_five(int q) {
  return kPowersOfFive[q - kMinPowerOfFive];
}

/// A 192-bit unsigned integer, most significant word first.
struct Wide192 {
  uint64_t w2;
  uint64_t w1;
  uint64_t w0;
};

/// x * m, where m is the 128-bit significand of `p`; exact.
inline Wide192 multiply(uint64_t x, const PowerOfFive& p) {
  using u128 = unsigned __int128;
  const u128 low = static_cast<u128>(x) * p.lo;
  const u128 high = static_cast<u128>(x) * p.hi;
  const u128 mid = (high & UINT64_MAX) + (low >> 64);
  return {static_cast<uint64_t>(high >> 64) + static_cast<uint64_t>(mid >> 64),
          static_cast<uint64_t>(mid), static_cast<uint64_t>(low)};
}

/// Rounds (z + err) / 2^shift to the nearest integer, ties to even, where
/// the unknown err is 0 if `exact` and lies in (0, 2^64) otherwise: that is
/// the error of multiply(x, p) against x * 5^q when x < 2^64.  Returns false,
/// leaving `result` alone, when err could decide the rounding.
/// REQUIRES: 128 < shift < 192, and z / 2^shift < 2^63.
inline bool round_shifted(const Wide192& z, int shift, bool exact,
                          uint64_t& result) {
  using u128 = unsigned __int128;
  const int r = shift - 128;
  const uint64_t whole = z.w2 >> r;
  // The fraction without its lowest word, and one half on the same scale.
  const u128 frac =
      (static_cast<u128>(z.w2 & ((uint64_t{1} << r) - 1)) << 64) | z.w1;
  const u128 half = static_cast<u128>(1) << (r + 63);
  bool up;
  if (exact) {
    up = frac > half || (frac == half && (z.w0 != 0 || (whole & 1) != 0));
  } else {
    // The true fraction lies in [frac, frac + 2) * 2^64, strictly above
    // frac * 2^64: only frac == half - 1 straddles the half.
    if (frac + 1 == half) return false;
    up = frac >= half;
  }
  result = whole + (up ? 1 : 0);
  return true;
}

}  // namespace kavrix

#endif  // KAVRIX_GRID_POWER_OF_FIVE_H_
