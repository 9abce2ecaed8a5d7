#include "grid/power_of_five.h"

#include <array>
#include <bit>

namespace kavrix {
namespace {

using u128 = unsigned __int128;

// An unsigned integer of up to 17 * 64 bits, enough for 2^1024 and 5^340;
// just what building the table at compile time needs.
struct Big {
  uint64_t limb[17] = {};  // least significant first
  int size = 1;

  constexpr void times5() {
    uint64_t carry = 0;
    for (int i = 0; i < size; ++i) {
      const u128 t = static_cast<u128>(limb[i]) * 5 + carry;
      limb[i] = static_cast<uint64_t>(t);
      carry = static_cast<uint64_t>(t >> 64);
    }
    if (carry != 0) limb[size++] = carry;
  }

  // Floor division: floor(floor(a / b) / 5) == floor(a / (5 b)), so repeated
  // steps give exact floors of 2^T / 5^n.
  constexpr void divide5() {
    uint64_t rem = 0;
    for (int i = size - 1; i >= 0; --i) {
      const u128 cur = (static_cast<u128>(rem) << 64) | limb[i];
      limb[i] = static_cast<uint64_t>(cur / 5);
      rem = static_cast<uint64_t>(cur % 5);
    }
    while (size > 1 && limb[size - 1] == 0) --size;
  }

  constexpr int bits() const {
    return 64 * size - std::countl_zero(limb[size - 1]);
  }

  constexpr uint64_t limb_at(int i) const {
    return i >= 0 && i < size ? limb[i] : 0;
  }

  // Bits [from, from + 64); bits below 0 read as zero.
  constexpr uint64_t word_at(int from) const {
    const int i = from >= 0 ? from / 64 : -((63 - from) / 64);
    const int s = from - 64 * i;
    const uint64_t low = limb_at(i) >> s;
    const uint64_t high = s == 0 ? 0 : limb_at(i + 1) << (64 - s);
    return low | high;
  }

  // Whether any bit below `bit` is set.
  constexpr bool any_below(int bit) const {
    for (int i = 0; i < size && 64 * i < bit; ++i) {
      const int n = bit - 64 * i;
      const uint64_t mask = n >= 64 ? UINT64_MAX : (uint64_t{1} << n) - 1;
      if ((limb[i] & mask) != 0) return true;
    }
    return false;
  }
};

// The top 128 bits of `b`, scaled by 2^extra.
constexpr PowerOfFive top128(const Big& b, int extra) {
  const int low = b.bits() - 128;
  return {b.word_at(low + 64), b.word_at(low), low + extra, !b.any_below(low)};
}

constexpr int kCount = kMaxPowerOfFive - kMinPowerOfFive + 1;

constexpr std::array<PowerOfFive, kCount> make_table() {
  std::array<PowerOfFive, kCount> table{};
  Big pow5;  // 5^q
  pow5.limb[0] = 1;
  for (int q = 0; q <= kMaxPowerOfFive; ++q) {
    table[q - kMinPowerOfFive] = top128(pow5, 0);
    pow5.times5();
  }
  // 5^-n through floor(2^1024 / 5^n), which keeps 128 bits up to n = 342;
  // none of these is exact.
  constexpr int kT = 1024;
  Big inverse;
  inverse.limb[16] = 1;
  inverse.size = 17;
  for (int n = 1; n <= -kMinPowerOfFive; ++n) {
    inverse.divide5();
    PowerOfFive p = top128(inverse, -kT);
    p.exact = false;
    table[-n - kMinPowerOfFive] = p;
  }
  return table;
}

}  // namespace

// Built by the compiler; the header's extern declaration gives it linkage.
constexpr std::array<PowerOfFive, kCount> kPowersOfFive = make_table();

}  // namespace kavrix
