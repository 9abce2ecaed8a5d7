// The scanner's shortcut for plain decimals, eight digits at a time.  Kept
// in a header so that scanning loops inline it; include number_text.h.
#ifndef KAVRIX_NUMBER_PLAIN_DECIMAL_H_
#define KAVRIX_NUMBER_PLAIN_DECIMAL_H_

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kavrix::number_detail {

/// 10^k for k <= 18.
inline constexpr auto kPow10 = [] {
  std::array<uint64_t, 19> t{};
  uint64_t p = 1;
  for (uint64_t& v : t) {
    v = p;
    p *= 10;
  }
  return t;
}();

/// The powers of ten that a shortcut number may divide by, all exact.
inline constexpr double kExactPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,
                                         1e5,  1e6,  1e7,  1e8,  1e9,
                                         1e10, 1e11, 1e12, 1e13, 1e14};

/// The eight bytes at p, the first in the lowest byte.
inline uint64_t load8(const char* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::big) {
    v = __builtin_bswap64(v);
  }
  return v;
}

/// The masks and multipliers of non_digit_flags and eight_digits, defined
/// out of line on purpose: not knowing their values, the compiler keeps
/// them in registers (or takes them from memory) in the scanning loops
/// instead of writing each one into the code again at every use.
struct DigitConstants {
  uint64_t above_nine;  ///< 0x4646464646464646
  uint64_t below_zero;  ///< 0xafafafafafafafaf
  uint64_t top_bits;    ///< 0x8080808080808080
  uint64_t nibbles;     ///< 0x0f0f0f0f0f0f0f0f
  uint64_t pair_mul;    ///< 10 * 0x100 + 1
  uint64_t pair_mask;   ///< 0x00ff00ff00ff00ff
  uint64_t four_mask;   ///< 0x0000ffff0000ffff
  uint64_t eight_mul;   ///< 10000 * 0x100000000 + 1
};

/// The values listed in DigitConstants.
extern const DigitConstants kDigitConstants;

/// The top bit of every byte of `chunk` that is not an ASCII digit.  Only
/// a byte above 0x7f can carry into the next, so the flags of the bytes up
/// to the first such byte are exact; in any case the lowest flagged byte is
/// the first non-digit.
inline uint64_t non_digit_flags(uint64_t chunk) {
  // A byte b is flagged when b + 0x46 > 0x7f (b > '9') or 0xaf - b > 0x7f
  // (b < '0').
  const DigitConstants& k = kDigitConstants;
  return ((chunk + k.above_nine) | (k.below_zero - chunk)) & k.top_bits;
}

/// The number whose decimal digits are the low four bits of the bytes of
/// v, most significant in the lowest byte.
/// REQUIRES: each byte of v is a digit or zero.
inline uint64_t eight_digits(uint64_t v) {
  const DigitConstants& k = kDigitConstants;
  v = ((v & k.nibbles) * k.pair_mul) >> 8;              // pairs
  v = ((v & k.pair_mask) * (100 * 0x10000 + 1)) >> 16;  // fours
  return ((v & k.four_mask) * k.eight_mul) >> 32;       // eight
}

/// Which bytes the C locale's isspace takes for white space, which is what
/// scanf skips.
inline constexpr std::array<bool, 256> kSpaceTable = [] {
  std::array<bool, 256> t{};
  for (const char c : " \t\n\v\f\r") t[static_cast<unsigned char>(c)] = c != 0;
  return t;
}();

/// The number at `p` written digits[.digits] with at most 15 characters of
/// digits and point, followed by white space.  Its digits make an integer
/// below 10^15 < 2^53, exact as a double, and it is that integer divided
/// by 10^k with k <= 14, also exact; one correctly rounded division of two
/// exact operands is the correctly rounded value (Clinger 1990), the value
/// scanf gives.  Stores it and returns the white space after the number,
/// or returns nullptr for anything else.
/// REQUIRES: 16 bytes are readable from `p`.
inline const char* scan_plain_unsigned(const char* p, double& value) {
  // Positions are taken as the bit index t of the flag of a byte, which is
  // eight times its place plus 7.
  uint64_t lo = load8(p);
  uint64_t flags = non_digit_flags(lo);
  if (flags == 0) {  // eight digits or more, no point among them
    const uint64_t hi = load8(p + 8);
    const uint64_t hi_flags = non_digit_flags(hi);
    if (hi_flags == 0) return nullptr;
    const auto t = static_cast<size_t>(std::countr_zero(hi_flags));
    const size_t n = 8 + (t >> 3);
    if (!kSpaceTable[static_cast<unsigned char>(p[n])]) return nullptr;
    const uint64_t w =
        eight_digits(lo) * kPow10[t >> 3] + eight_digits((hi << 1) << (70 - t));
    value = static_cast<double>(static_cast<int64_t>(w));
    return p + n;
  }
  const auto t = static_cast<size_t>(std::countr_zero(flags));
  const size_t whole = t >> 3;
  const char stop = p[whole];
  if (stop != '.') {  // an integer of at most 7 digits
    if (whole == 0 || !kSpaceTable[static_cast<unsigned char>(stop)]) {
      return nullptr;
    }
    value =
        static_cast<double>(static_cast<int64_t>(eight_digits(lo << (71 - t))));
    return p + whole;
  }
  // Take the point out: the bytes before it move one byte up, a zero byte
  // (a leading zero digit) comes in at the bottom.  The point is ASCII, so
  // the flag of the next non-digit is exact.
  const uint64_t below = flags - 1;
  const uint64_t upto_point = flags ^ below;
  flags &= below;
  lo ^= (lo ^ (lo << 8)) & upto_point;
  size_t n;    // characters of digits and point
  uint64_t w;  // all digits
  if (flags != 0) {
    const auto u = static_cast<size_t>(std::countr_zero(flags));
    if (u < 16) return nullptr;  // a lone point
    n = u >> 3;
    w = eight_digits(lo << (71 - u));
  } else {
    const uint64_t hi = load8(p + 8);
    const uint64_t hi_flags = non_digit_flags(hi);
    if (hi_flags == 0) return nullptr;
    const auto u = static_cast<size_t>(std::countr_zero(hi_flags));
    n = 8 + (u >> 3);
    w = eight_digits(lo) * kPow10[u >> 3] + eight_digits((hi << 1) << (70 - u));
  }
  if (!kSpaceTable[static_cast<unsigned char>(p[n])]) return nullptr;
  value =
      static_cast<double>(static_cast<int64_t>(w)) / kExactPow10[n - whole - 1];
  return p + n;
}

}  // namespace kavrix::number_detail

#endif  // KAVRIX_NUMBER_PLAIN_DECIMAL_H_
