#include "grid/number_format.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include "test_util.h"

namespace kavrix {
namespace {

std::string ours(double v) {
  char buf[kNumberTextMax];
  return std::string(buf, format_number(buf, v));
}

std::string glibc(double v) {
  char buf[kNumberTextMax];
  const int n = std::snprintf(buf, sizeof buf, "%g", v);
  return std::string(buf, static_cast<size_t>(n));
}

// Compares one value, counting and reporting (a few) disagreements.
class Checker {
 public:
  void check(double v) {
    const std::string want = glibc(v);
    const std::string got = ours(v);
    if (got != want && ++bad_ <= 10) {
      ADD_FAILURE() << "value " << std::hexfloat << v << ": glibc \"" << want
                    << "\", ours \"" << got << "\"";
    }
  }
  // v and its neighbours, `steps` doubles each way.
  void around(double v, int steps) {
    double up = v;
    double down = v;
    check(v);
    for (int i = 0; i < steps; ++i) {
      up = std::nextafter(up, INFINITY);
      down = std::nextafter(down, -INFINITY);
      check(up);
      check(down);
    }
  }
  int mismatches() const { return bad_; }

 private:
  int bad_ = 0;
};

double from_text(const std::string& s) {
  return std::strtod(s.c_str(), nullptr);
}

// glibc's outputs where the rules meet, written down and checked against
// both glibc and format_number.
TEST(FormatNumber, GlibcEdgeBehaviour) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {NAN, "nan"},
      {-NAN, "-nan"},  // the sign of a NaN is printed
      {INFINITY, "inf"},
      {-INFINITY, "-inf"},
      {0.0, "0"},
      {-0.0, "-0"},
      {-9999, "-9999"},
      {0.5, "0.5"},
      {7.72688, "7.72688"},
      {33.5117, "33.5117"},
      {1234567, "1.23457e+06"},
      {999999, "999999"},
      {999999.5, "1e+06"},  // rounds into the next decade, so %e
      {999999.4999999999, "999999"},
      {0.0001, "0.0001"},
      {0.000099999995, "0.0001"},  // rounds up to 1e-04: still %f
      {0.00009999949999999999, "9.99995e-05"},
      {1234565, "1.23456e+06"},  // an exact tie goes to the even digit
      {1234575, "1.23458e+06"},
      {2.5, "2.5"},
      {1.234565, "1.23456"},  // 1.23456499999999991... in binary
      {1.234575, "1.23457"},  // 1.23457499999999997... too
      {1.234585, "1.23459"},  // 1.23458500000000004...
      {0.00012345650000000001, "0.000123457"},  // 0.000123456500000000013...
      {1e100, "1e+100"},
      {DBL_MAX, "1.79769e+308"},
      {DBL_MIN, "2.22507e-308"},
      {DBL_TRUE_MIN, "4.94066e-324"},
      {-1e-5, "-1e-05"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(glibc(c.value), c.text);
    EXPECT_EQ(ours(c.value), c.text);
  }
}

TEST(FormatNumber, AgreesWithGlibcOnRandomBitPatterns) {
  std::mt19937_64 rng(11);
  Checker checker;
  const int n = test::scaled(1000000);
  for (int i = 0; i < n; ++i) checker.check(std::bit_cast<double>(rng()));
  EXPECT_EQ(checker.mismatches(), 0);
}

// Doubles on and next to six-digit ties, at every scale: the nearest double
// to "dddddd5e<x>" and its neighbours.  Some of these are exact ties.
TEST(FormatNumber, AgreesWithGlibcNearTies) {
  std::mt19937_64 rng(12);
  Checker checker;
  const int n = test::scaled(1000000) / 8;
  for (int i = 0; i < n; ++i) {
    const int digits = 100000 + static_cast<int>(rng() % 900000);
    const int x = static_cast<int>(rng() % 640) - 330;
    const double v =
        from_text(std::to_string(digits) + "5e" + std::to_string(x));
    checker.around(i % 2 == 0 ? v : -v, 3);
  }
  // Exact ties among integers and among short binary fractions.
  for (int i = 0; i < n / 4; ++i) {
    const auto d = static_cast<int64_t>(100000 + rng() % 900000);
    const int j = static_cast<int>(rng() % 10);
    checker.around(static_cast<double>((10 * d + 5) *
                                       static_cast<int64_t>(std::pow(10, j))),
                   1);
    checker.around(std::ldexp(static_cast<double>(2 * d + 1),
                              -static_cast<int>(rng() % 30)),
                   1);
  }
  EXPECT_EQ(checker.mismatches(), 0);
}

// Where the layout switches between %f and %e, powers of ten and their
// neighbours, subnormals and the ends of the range.
TEST(FormatNumber, AgreesWithGlibcAtSwitchPointsAndEnds) {
  Checker checker;
  for (const char* s :
       {"0.0001", "0.0000999995", "0.00009999949999", "999999.5",
        "999999.4999999999", "99999.95", "9.999995", "1e-5", "1e6"}) {
    checker.around(from_text(s), 200);
  }
  for (int q = -325; q <= 309; ++q) {
    const double p = from_text("1e" + std::to_string(q));
    checker.around(p, 20);
    checker.around(from_text("9.999995e" + std::to_string(q)), 20);
  }
  for (double v : {DBL_MIN, DBL_TRUE_MIN, DBL_MAX, 0.0})
    checker.around(v, 1000);
  std::mt19937_64 rng(13);
  for (int i = 0; i < test::scaled(1000000) / 8; ++i) {
    checker.check(std::bit_cast<double>(rng() & ((uint64_t{1} << 52) - 1)));
  }
  EXPECT_EQ(checker.mismatches(), 0);
}

// Values from 2^-20 to 2^26, where grid values mostly lie and where six
// digits are rounded from one exact 128-bit product: random significands
// in every binade, and the edges of each binade.
TEST(FormatNumber, AgreesWithGlibcInEveryModerateBinade) {
  std::mt19937_64 rng(15);
  Checker checker;
  const int per_binade = test::scaled(1000000) / 200;
  for (int binade = -20; binade <= 26; ++binade) {
    checker.around(std::ldexp(1.0, binade), 8);
    for (int i = 0; i < per_binade; ++i) {
      const double u = 1 + static_cast<double>(rng() >> 12) * 0x1p-52;
      checker.check(std::ldexp(i % 2 == 0 ? u : -u, binade));
    }
  }
  EXPECT_EQ(checker.mismatches(), 0);
}

// The values grids hold: counts, no-data markers, measurements with a few
// decimals.
TEST(FormatNumber, AgreesWithGlibcOnGridLikeValues) {
  std::mt19937_64 rng(14);
  Checker checker;
  const int n = test::scaled(1000000) / 4;
  for (int i = 0; i < n; ++i) {
    const double u = static_cast<double>(rng() >> 11) * 0x1p-53;
    switch (i % 4) {
      case 0:
        checker.check(std::floor(u * 1e7));
        break;
      case 1:
        checker.check(from_text(std::to_string(u * 100)));
        break;
      case 2:
        checker.check(std::round(u * 9e6) / 1e5);
        break;
      default:
        checker.check(2 + u * 33);
        break;
    }
  }
  EXPECT_EQ(checker.mismatches(), 0);
}

}  // namespace
}  // namespace kavrix
