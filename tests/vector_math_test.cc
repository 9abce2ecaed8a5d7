// The vector tan and log against the C library's calls, bit for bit: random
// arguments (KAVRIX_TEST_SCALE rounds of them; scripts/vector_math_long.sh
// runs billions), the edges of every branch and table, and the choice of
// lanes where the C library runs other variants.
#include "number/vector_math.h"

#include <gnu/libc-version.h>
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "index/cell_rule.h"
#include "test_util.h"

namespace kavrix {
namespace {

using Arguments = std::vector<double>;

double from_bits(std::uint64_t bits) {
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

std::uint64_t to_bits(double d) {
  std::uint64_t bits;
  std::memcpy(&bits, &d, sizeof d);
  return bits;
}

// The widths this processor has, whether or not the self-check let them on.
std::vector<VectorLanes> widths() {
  std::vector<VectorLanes> lanes;
#if defined(__x86_64__)
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) {
    lanes.push_back(VectorLanes::kFour);
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq")) {
      lanes.push_back(VectorLanes::kEight);
    }
  }
#endif
  return lanes;
}

// Each argument whose lane differs from the C library's call, with both
// results.
void expect_library_bits(const Arguments& x, bool tangent, VectorLanes lanes) {
  Arguments y(x.size());
  (tangent ? tan_array : log_array)(x.data(), y.data(), x.size(), lanes);
  long differences = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double expected = tangent ? std::tan(x[i]) : std::log(x[i]);
    if (to_bits(expected) != to_bits(y[i]) && ++differences <= 5) {
      ADD_FAILURE() << (tangent ? "tan(" : "log(") << std::hexfloat << x[i] << ") on "
                    << static_cast<int>(lanes) << " lanes: " << y[i] << ", the C library "
                    << expected;
    }
  }
  EXPECT_EQ(differences, 0) << "of " << x.size();
}

// Random arguments: 0x1.1df46a2443411p-6 (a slope of 1 degree) to pi/2 as
// the cell rule makes them, tangent arguments and positive doubles of random
// bits (the edges of ranges included), and logarithms over every exponent.
TEST(VectorMath, RandomArgumentsGiveTheCLibrarysBits) {
  if (widths().empty()) GTEST_SKIP() << "no vector lanes on this machine";
  std::mt19937_64 random(20261208);
  const int count = 1'000'000;
  struct Generator {
    bool tangent;
    std::function<double()> next;
  };
  std::uniform_real_distribution<double> degrees(1.0, 90.0);
  std::uniform_real_distribution<double> exponent(-1022.0, 1024.0);
  const std::uint64_t tan_low = to_bits(0x1p-27), tan_high = to_bits(0x1.921fb54442d19p+0);
  const Generator generators[] = {
      {true, [&] { return degrees(random) * kDegreeFactor; }},
      {true, [&] { return from_bits(tan_low + random() % (tan_high - tan_low)); }},
      {false, [&] { return std::exp2(exponent(random)); }},
      {false, [&] { return from_bits(random() % 0x7ff0000000000001); }},
  };
  Arguments x(count);
  for (int round = 0; round < test::scaled(1); ++round) {
    for (const Generator& generator : generators) {
      for (double& v : x) v = generator.next();
      for (VectorLanes lanes : widths()) expect_library_bits(x, generator.tangent, lanes);
    }
  }
}

// `count` doubles on each side of `center`, the center too.
void add_around(Arguments& x, double center, int count) {
  const std::uint64_t bits = to_bits(center);
  for (std::int64_t k = -count; k <= count; ++k) x.push_back(from_bits(bits + k));
}

// The edges: where a branch or a table row begins, pi/2, the powers of two
// and 1, and the arguments that go to the C library's call (zero, negative,
// subnormal, infinite, NaN, near 1 for log, beyond pi/2 for tan) between
// vector ones.
TEST(VectorMath, EdgesOfEveryBranchAndTableGiveTheCLibrarysBits) {
  if (widths().empty()) GTEST_SKIP() << "no vector lanes on this machine";
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Arguments special = {0.0, -0.0, -1.0, 0x1p-1074, 0x1p-1023, inf, -inf, nan, -nan};
  Arguments tan_x = special, log_x = special;
  add_around(tan_x, 0x1.921fb54442d18p+0, 2'000'000);
  for (double bound : {0x1.b096c00000000p-27, 0x1.f212d00000000p-5, 0x1.92f1a00000000p-1,
                       0x1.921fb54442d18p+0 - 0x1.f212d00000000p-5}) {
    add_around(tan_x, bound, 20'000);
  }
  // Rows begin where 256 x - 15.5 (of x, or of pi/2 - x) reaches an integer.
  for (int row = 0; row <= 186; ++row) {
    add_around(tan_x, (row + 15.5) / 256.0, 500);
    add_around(tan_x, 0x1.921fb54442d18p+0 - (row + 15.5) / 256.0, 500);
  }
  add_around(log_x, 1.0, 200'000);
  for (double bound : {0x1.ep-1, 0x1.108ffffffffffp+0, 0x1.6p-1, 0x1.6p+0, 0x1p-1022}) {
    add_around(log_x, bound, 20'000);
  }
  for (int e = -1022; e <= 1023; ++e) add_around(log_x, std::ldexp(1.0, e), 64);
  for (int row = 0; row <= 128; ++row) add_around(log_x, 0x1.6p-1 + row * 0x1p-7, 500);
  // Each special argument in each lane of a group of vector ones.
  for (double v : special) {
    for (int lane = 0; lane < 8; ++lane) {
      for (Arguments* x : {&tan_x, &log_x}) {
        for (int k = 0; k < 8; ++k) x->push_back(k == lane ? v : 0.5 + k / 16.0);
      }
    }
  }
  for (VectorLanes lanes : widths()) {
    expect_library_bits(tan_x, true, lanes);
    expect_library_bits(log_x, false, lanes);
  }
}

// In every rounding mode the lanes give the bits of the calls (the C
// library's tan rounds to nearest in any mode, the division and log do
// not), and they raise no division by zero or invalid operation the calls
// do not: a group of lanes mixes every branch of the tangent.
TEST(VectorMath, EveryRoundingModeAndExceptionFlagAsTheCalls) {
  Arguments x, q;
  for (int k = 0; k < 4000; ++k) {  // 1 to 90 degrees, shuffled
    x.push_back((1.0 + (k * 7919 % 4000) * (89.0 / 3999.0)) * kDegreeFactor);
    q.push_back(std::exp2(k % 61 - 20.0));
  }
  for (int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
    for (VectorLanes lanes : widths()) {
      Arguments y(x.size()), expected(x.size());
      for (bool tangent : {true, false}) {
        ASSERT_EQ(std::fesetround(mode), 0);
        const auto run = [&](double* out, VectorLanes on) {
          std::feclearexcept(FE_ALL_EXCEPT);
          if (tangent) tan_array(x.data(), out, x.size(), on);
          else log_quotient_by_tan_array(q.data(), x.data(), out, x.size(), on);
          return std::fetestexcept(FE_DIVBYZERO | FE_INVALID);
        };
        const int raised = run(y.data(), lanes);
        const int raised_by_calls = run(expected.data(), VectorLanes::kNone);
        std::fesetround(FE_TONEAREST);
        EXPECT_EQ(raised, raised_by_calls) << mode << " " << static_cast<int>(lanes);
        long differences = 0;
        for (std::size_t i = 0; i < x.size(); ++i) {
          differences += to_bits(y[i]) != to_bits(expected[i]);
        }
        EXPECT_EQ(differences, 0) << "rounding mode " << mode << ", " << static_cast<int>(lanes)
                                  << " lanes, " << (tangent ? "tan" : "log of q / tan");
      }
    }
  }
}

// The cell rule, whichever lanes it runs on, gives the cells of the C
// library's calls in this process.
void expect_cells_of_library_calls() {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> value(-20.0, 5000.0);
  const int n = 100'000;
  std::vector<double> a(n + 1), t(n + 1), s(n + 1), out(n + 1);
  for (int j = 1; j <= n; ++j) {
    a[j] = value(random);
    t[j] = value(random) / 100.0;
    s[j] = value(random) / 50.0;
  }
  ParameterTable table;
  table.value[kCellsize][kGridA] = 30.0;
  table.value[kNodataValue][kGridA] = table.value[kNodataValue][kGridT] =
      table.value[kNodataValue][kGridS] = -9999.0;
  const std::vector<double> a0 = a, t0 = t, s0 = s;
  RunningStats stats;
  compute_index_row(table, a.data(), t.data(), s.data(), out.data(), n, stats);
  long differences = 0;
  for (int j = 1; j <= n; ++j) {
    const double q = 900.0 * (a0[j] + 1.0) / (t0[j] > 0.0 ? t0[j] : 1e-8);
    const double expected = std::log(q / std::tan(std::max(s0[j], 1.0) * kDegreeFactor));
    differences += to_bits(expected) != to_bits(out[j]);
  }
  EXPECT_EQ(differences, 0);
}

// Where the C library runs variants other than its FMA ones (GLIBC_TUNABLES
// takes AVX2 or FMA from it), or KAVRIX_VECTOR_LANES says so, the lanes are
// off or narrower, and the cells are still the C library's. Each case runs
// this test again in a child with that environment.
TEST(VectorMath, LanesFollowTheCLibraryAndTheEnvironment) {
  if (const char* expected = std::getenv("KAVRIX_TEST_EXPECTED_LANES")) {
    EXPECT_EQ(static_cast<int>(usable_vector_lanes()), std::atoi(expected));
    expect_cells_of_library_calls();
    return;
  }
  expect_cells_of_library_calls();
  if (widths().size() < 2 || std::string(gnu_get_libc_version()) != "2.36" ||
      std::getenv("GLIBC_TUNABLES") || std::getenv("KAVRIX_VECTOR_LANES")) {
    GTEST_SKIP() << "not the C library and processor whose lanes are reproduced";
  }
  // There the self-check lets the widest lanes on.
  ASSERT_EQ(usable_vector_lanes(), VectorLanes::kEight);
  const struct {
    const char* variable;
    const char* value;
    const char* lanes;
  } cases[] = {
      {"GLIBC_TUNABLES", "glibc.cpu.hwcaps=-AVX2", "0"},
      {"GLIBC_TUNABLES", "glibc.cpu.hwcaps=-FMA", "0"},
      {"KAVRIX_VECTOR_LANES", "0", "0"},
      {"KAVRIX_VECTOR_LANES", "4", "4"},
  };
  for (const auto& c : cases) {
    setenv(c.variable, c.value, 1);
    setenv("KAVRIX_TEST_EXPECTED_LANES", c.lanes, 1);
    const test::RunResult run = test::run_program(
        "/proc/self/exe", {"--gtest_filter=VectorMath.LanesFollowTheCLibraryAndTheEnvironment"});
    unsetenv(c.variable);
    unsetenv("KAVRIX_TEST_EXPECTED_LANES");
    EXPECT_EQ(run.status, 0) << c.variable << "=" << c.value << "\n" << run.output;
  }
}

}  // namespace
}  // namespace kavrix
