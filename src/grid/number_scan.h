// Scanning of grid values from text, with the results of scanf's "%lg".
#ifndef KAVRIX_GRID_NUMBER_SCAN_H_
#define KAVRIX_GRID_NUMBER_SCAN_H_

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kavrix {

/// Where a scan stopped and whether it converted a number.
struct NumberScan {
  const char* ptr;  ///< first character not consumed
  bool ok;          ///< a number was converted and stored
};

/// Scans one number at `first` exactly as scanf("%lg") does in the C locale
/// and the default rounding mode: the same double (correctly rounded), the
/// same characters consumed, also when the text is not a number (scanf then
/// has consumed what it read less the one character it pushed back, or all
/// of it after a mismatch inside "nan" or "inf[inity]", and stores nothing).
/// On success stores into `value`.
/// REQUIRES: first < last, *first is not white space, and [first, last)
/// holds a white-space character after the number, or `last` is the end of
/// the input.
inline NumberScan scan_number(const char* first, const char* last,
                              double& value);

/// scan_number without its shortcut for plain decimals: every spelling.
/// REQUIRES: as scan_number.
NumberScan scan_number_general(const char* first, const char* last,
                               double& value);

namespace scan_detail {

/// Bytes that the plain-decimal shortcut may read from its first character.
inline constexpr std::ptrdiff_t kShortcutSpan = 17;

inline constexpr uint64_t kZeros = 0x3030303030303030;

inline constexpr uint64_t kPow10[] = {1,         10,         100,
                                      1000,      10000,      100000,
                                      1000000,   10000000,   100000000};

/// The exactly representable powers of ten.
inline constexpr double kExactPow10[] = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

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

extern const DigitConstants kDigitConstants;

/// The top bit of every byte of `chunk` that is not an ASCII digit.  Only
/// a byte above 0x7f can carry into the next, so the flags of the bytes up
/// to the first such byte are exact; in any case the lowest flagged byte is
/// the first non-digit.
inline uint64_t non_digit_flags(uint64_t chunk) {
  // A byte b is flagged when b + 0x46 > 0x7f (b > '9') or 0xaf - b > 0x7f
  // (b < '0'); 0xaf.. - chunk is ~(chunk + 0x50..).
  const DigitConstants& k = kDigitConstants;
  return ((chunk + k.above_nine) | (k.below_zero - chunk)) & k.top_bits;
}

/// The number whose decimal digits are the low four bits of the bytes of
/// v, most significant in the lowest byte.  REQUIRES: each byte of v is a
/// digit or zero.
inline uint64_t eight_digits(uint64_t v) {
  const DigitConstants& k = kDigitConstants;
  v = ((v & k.nibbles) * k.pair_mul) >> 8;              // pairs
  v = ((v & k.pair_mask) * (100 * 0x10000 + 1)) >> 16;  // fours
  return ((v & k.four_mask) * k.eight_mul) >> 32;       // eight
}

/// White space as the C locale's isspace sees it, which is what scanf skips.
struct SpaceTable {
  bool space[256];
};

constexpr SpaceTable make_space_table() {
  SpaceTable t{};
  const char spaces[] = " \t\n\v\f\r";
  for (const char c : spaces) t.space[static_cast<unsigned char>(c)] = c != 0;
  return t;
}

inline constexpr SpaceTable kSpaceTable = make_space_table();

inline bool is_space(char c) {
  return kSpaceTable.space[static_cast<unsigned char>(c)];
}

/// The number at `p` written digits[.digits] with at most 15 characters of
/// digits and point, followed by white space: its value is below 2^53, so
/// at most one correctly rounded division converts it, as the general
/// scanner does.  Stores the value and returns the white space after the
/// number, or returns nullptr for anything else.
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
    if (!is_space(p[n])) return nullptr;
    const uint64_t w = eight_digits(lo) * kPow10[t >> 3] +
                       eight_digits((hi << 1) << (70 - t));
    value = static_cast<double>(static_cast<int64_t>(w));
    return p + n;
  }
  const auto t = static_cast<size_t>(std::countr_zero(flags));
  const size_t whole = t >> 3;
  const char stop = p[whole];
  if (stop != '.') {  // an integer of at most 7 digits
    if (whole == 0 || !is_space(stop)) return nullptr;
    value = static_cast<double>(
        static_cast<int64_t>(eight_digits(lo << (71 - t))));
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
    w = eight_digits(lo) * kPow10[u >> 3] +
        eight_digits((hi << 1) << (70 - u));
  }
  if (!is_space(p[n])) return nullptr;
  value = static_cast<double>(static_cast<int64_t>(w)) /
          kExactPow10[n - whole - 1];
  return p + n;
}

/// The common spelling [+-]digits[.digits] followed by white space, with at
/// most 15 characters of digits and point; see scan_plain_unsigned.
/// Returns the white space after the number, or nullptr for anything else.
/// REQUIRES: kShortcutSpan bytes are readable from `first`.
inline const char* scan_plain_decimal(const char* first, double& value) {
  const char sign = *first;
  if (sign != '-' && sign != '+') return scan_plain_unsigned(first, value);
  double x;
  const char* const stop = scan_plain_unsigned(first + 1, x);
  if (stop != nullptr) value = sign == '-' ? -x : x;
  return stop;
}

}  // namespace scan_detail

inline NumberScan scan_number(const char* first, const char* last,
                              double& value) {
  if (last - first >= scan_detail::kShortcutSpan) {
    const char* const end = scan_detail::scan_plain_decimal(first, value);
    if (end != nullptr) return {end, true};
  }
  return scan_number_general(first, last, value);
}

}  // namespace kavrix

#endif  // KAVRIX_GRID_NUMBER_SCAN_H_
