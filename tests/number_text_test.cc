// Number text against the C library, on families of generated values:
// scanning against fscanf("%lg") on a memory stream, where ftell tells
// what it consumed (also on failure), also when the scan is given only
// the start of the text, and formatting against "%g".
#include "number/number_text.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "test_util.h"

namespace kavrix {
namespace {

using Rng = std::mt19937_64;

int pick(Rng& rng, int n) { return static_cast<int>(rng() % n); }

std::string digits(Rng& rng, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += static_cast<char>('0' + pick(rng, 10));
  return s;
}

double any_double(Rng& rng) { return std::bit_cast<double>(rng()); }

std::string printed(double x, const char* format) {
  char buf[512];
  std::snprintf(buf, sizeof buf, format, x);
  return buf;
}

// Scanning families: each makes one token with no white space in it.
std::string printed_double(Rng& rng) {
  const double x = std::bit_cast<double>(rng() >> pick(rng, 16));
  return std::isnan(x) ? "nan" : printed(x, pick(rng, 2) ? "%.17g" : "%a");
}

std::string random_decimal(Rng& rng) {
  const char* const signs[] = {"", "-", "+"};
  std::string s = signs[pick(rng, 3)];
  s.append(pick(rng, 4), '0').append(digits(rng, pick(rng, 25)));
  if (pick(rng, 2)) s.append(".").append(digits(rng, pick(rng, 25)));
  if (s.find_first_of("0123456789") == std::string::npos) s += '7';
  if (pick(rng, 2)) {
    const int e[] = {pick(rng, 30), pick(rng, 400), pick(rng, 100000)};
    s.append(pick(rng, 2) ? "e" : "E").append(signs[pick(rng, 3)]);
    s += std::to_string(e[pick(rng, 3)]);
  }
  return s;
}

// The midpoint of two neighbouring doubles, written out exactly, or a
// little below or above it.
std::string halfway(Rng& rng) {
  const double x =
      std::ldexp(1.0 + (rng() >> 12) * 0x1p-52, pick(rng, 70) - 10);
  const long double mid =
      (static_cast<long double>(x) + std::nextafter(x, 2 * x)) / 2;
  char buf[256];
  std::snprintf(buf, sizeof buf, "%.90Lf", mid);
  std::string s = buf;
  s.erase(s.find_last_not_of('0') + 1);
  if (pick(rng, 3) == 0) return s.substr(0, s.size() - 1);
  return pick(rng, 2) ? s : s + "000000000000000000001";
}

std::string noise(Rng& rng) {
  const char* const pieces[] = {
      "inf", "infinity", "INFin", "in", "nan", "NaN(1)", "na", "n",  "i",
      "+",   "-",        ".",     "e",  "E+",  "1e+x",   "0x", "0X", "p",
      "p-",  "1",        "09",    "x",  "(",   "a",      "F",  "#"};
  std::string s;
  for (int n = 1 + pick(rng, 4); n > 0; --n) s += pieces[pick(rng, 26)];
  return s;
}

std::string hex(Rng& rng) {
  const char* const xdigits = "0123456789abcdefABCDEF";
  std::string s = pick(rng, 2) ? "0x" : "-0X";
  for (int n = pick(rng, 20); n > 0; --n) s += xdigits[pick(rng, 22)];
  if (pick(rng, 2)) s += '.';
  for (int n = pick(rng, 4); n > 0; --n) s += xdigits[pick(rng, 22)];
  const char* const signs[] = {"", "-", "+", "+-"};
  if (pick(rng, 2))
    s.append(pick(rng, 2) ? "p" : "P").append(signs[pick(rng, 4)]);
  if (pick(rng, 4))
    s += std::to_string(pick(rng, 2) ? pick(rng, 1100) : pick(rng, 5000));
  return s;
}

// Hundreds of digits on either side of the point and an exponent far out:
// a number beyond the doubles, where only the count of digits and the
// exponent tell infinity from zero, and the same spellings back in range.
std::string long_decimal(Rng& rng) {
  std::string s = std::string(pick(rng, 2) * pick(rng, 300), '0') + digits(rng, pick(rng, 400));
  s.append(".").append(pick(rng, 2) * pick(rng, 300), '0').append(digits(rng, pick(rng, 700)));
  if (s == ".") s = "5";
  return s + (pick(rng, 2) ? "e-" : "e+") + std::to_string(pick(rng, 1200));
}

// What a scan did: characters consumed, and the value's bits if it stored
// one (any NaN alike).
std::string scan_result(long consumed, bool ok, double v) {
  const std::string value = !ok ? "" : std::isnan(v) ? "nan" : printed(v, "%a");
  return std::to_string(consumed).append(" ").append(value);
}

// fscanf("%lg") at `start` of `f`.
std::string libc_scan(std::FILE* f, long start) {
  std::fseek(f, start, SEEK_SET);
  double v = 0;
  const bool ok = std::fscanf(f, "%lg", &v) == 1;
  return scan_result(std::ftell(f) - start, ok, v);
}

std::string our_scan(const char* first, const char* last) {
  double v = 0;
  const NumberScan r = scan_number(first, last, v);
  return scan_result(r.ptr - first, r.ok, v);
}

TEST(NumberText, ScansLikeScanf) {
  // The last bytes of `guard` may be read, the page after them not.
  const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  void* map = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(map, MAP_FAILED);
  char* const guard_end = static_cast<char*>(map) + page;
  ASSERT_EQ(mprotect(guard_end, page, PROT_NONE), 0);
  // Each family with the share of the tokens it gets: long ones are few.
  const std::pair<std::string (*)(Rng&), int> families[] = {
      {printed_double, 200}, {random_decimal, 200}, {halfway, 200},
      {noise, 200},          {hex, 200},            {long_decimal, 1}};
  Rng rng(7);
  int bad = 0;
  for (const auto& [family, share] : families) {
    std::string text;
    std::vector<long> starts;
    for (int i = 0; i < test::scaled(1000000) / 1000 * share + 1; ++i) {
      starts.push_back(static_cast<long>(text.size()));
      text.append(family(rng)).push_back(" \t\n"[pick(rng, 3)]);
    }
    starts.push_back(static_cast<long>(text.size()));
    std::FILE* f = fmemopen(text.data(), text.size(), "r");
    for (size_t i = 0; i + 1 < starts.size(); ++i) {
      const char* first = text.data() + starts[i];
      const auto n = static_cast<size_t>(starts[i + 1] - starts[i] - 1);
      const std::string want = libc_scan(f, starts[i]);
      if (our_scan(first, text.data() + text.size()) != want && ++bad < 10) {
        ADD_FAILURE() << "\"" << std::string(first, n) << "\": " << want;
      }
      // The same token at the end of the input, just before the guard.
      if (i % 64 == 0) {
        std::FILE* alone = fmemopen(const_cast<char*>(first), n, "r");
        std::memcpy(guard_end - n, first, n);
        if (our_scan(guard_end - n, guard_end) != libc_scan(alone, 0) && ++bad < 10) {
          ADD_FAILURE() << "at the end: \"" << std::string(first, n) << "\"";
        }
        std::fclose(alone);
        // Cut short anywhere: a scan that stops before the cut has read
        // all it needs and gives what the whole input gives.
        for (size_t cut = 1; cut < n; ++cut) {
          std::memcpy(guard_end - cut, first, cut);
          double v = 0;
          const NumberScan r = scan_number(guard_end - cut, guard_end, v);
          if (r.ptr < guard_end && scan_result(r.ptr - (guard_end - cut), r.ok, v) != want &&
              ++bad < 10) {
            ADD_FAILURE() << "cut after " << cut << ": \"" << std::string(first, n) << "\"";
          }
        }
      }
    }
    std::fclose(f);
  }
  munmap(map, 2 * page);
  EXPECT_EQ(bad, 0);
}

// Formatting families.
double ties(Rng& rng) {  // halfway between two six-digit results
  const double d = 100000 + pick(rng, 900000);
  return pick(rng, 2) ? d + 0.5 : (10 * d + 5) * std::pow(10.0, pick(rng, 13));
}

double switch_points(Rng& rng) {  // near 10^k and the rounding to it
  double x = std::pow(10.0, pick(rng, 16) - 7) * (pick(rng, 2) ? 1 : 0.9999995);
  for (int n = pick(rng, 8) - 4; n != 0; n += n < 0 ? 1 : -1) {
    x = std::nextafter(x, n < 0 ? 0.0 : 1e300);
  }
  return x;
}

double subnormal(Rng& rng) {
  return std::bit_cast<double>(rng() >> 12 | (rng() & 1) << 63);
}

// Just above a power of ten, where the six digits are 100000 to 100002:
// the decade is the one of the power, not the one below it.
double above_decades(Rng& rng) {
  return std::pow(10.0, pick(rng, 16) - 7) * (1 + (rng() >> 11) * 0x1p-53 * 2e-5);
}

double integer(Rng& rng) {
  const auto n = static_cast<double>(rng() >> pick(rng, 64));
  return pick(rng, 2) ? n : -n;
}

double moderate(Rng& rng) {
  return std::ldexp(1.0 + (rng() >> 12) * 0x1p-52, pick(rng, 32) - 12);
}

TEST(NumberText, FormatsLikePrintf) {
  double (*const families[])(Rng&) = {any_double, ties,    switch_points, above_decades,
                                      subnormal,  integer, moderate};
  const int per_family = test::scaled(1000000) / 6 + 1;
  Rng rng(11);
  int bad = 0;
  for (auto* family : families) {
    for (int i = 0; i < per_family; ++i) {
      const double x = family(rng);
      char ours[kNumberTextMax];
      const std::string got(ours, format_number(ours, x));
      const std::string want = printed(x, "%g");
      if (got != want && ++bad < 10) {
        ADD_FAILURE() << printed(x, "%a") << ": " << got << ", not " << want;
      }
    }
  }
  EXPECT_EQ(bad, 0);
}

}  // namespace
}  // namespace kavrix
