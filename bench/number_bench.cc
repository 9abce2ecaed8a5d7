// Number text conversion against the C library, on value mixes like those
// of real grids.  Each benchmark converts a batch of 4096 values; "items" in
// the report are values, so ns per value is 1e9 / items_per_second.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "number/number_text.h"

namespace kavrix {
namespace {

constexpr int kBatch = 4096;

// counts: integers 0 .. 1e6 (flow accumulation); six: six significant
// digits, 0.01 .. 100; ten: ten significant digits, 0 .. 90 (slopes); wide:
// 17 digits, magnitudes 1e-300 .. 1e300, which no shortcut takes.
enum Mix { kCounts, kSix, kTen, kWide };

// The values of a mix and their text, separated by single spaces.
struct Sample {
  std::vector<double> values;
  std::string text;
};

Sample make_sample(Mix mix) {
  std::mt19937_64 rng(42 + mix);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  Sample s;
  char buf[64];
  for (int i = 0; i < kBatch; ++i) {
    const double u = unit(rng);
    switch (mix) {
      case kCounts:
        std::snprintf(buf, sizeof buf, "%.0f", std::floor(std::pow(1e6, u)));
        break;
      case kSix:
        std::snprintf(buf, sizeof buf, "%.6g", std::pow(10.0, 4 * u - 2));
        break;
      case kTen:
        std::snprintf(buf, sizeof buf, "%.10g", 90 * u);
        break;
      case kWide:
        std::snprintf(buf, sizeof buf, "%.17g", std::pow(10.0, 600 * u - 300));
        break;
    }
    s.text += buf;
    s.text += ' ';
    s.values.push_back(std::strtod(buf, nullptr));
  }
  return s;
}

template <bool kOurs>
void scan(benchmark::State& state, Mix mix) {
  const Sample s = make_sample(mix);
  const char* const end = s.text.data() + s.text.size();
  for (auto _ : state) {
    (void)_;
    double sum = 0;
    for (const char* p = s.text.data(); p != end; ++p) {  // ++p: the space
      double v;
      if constexpr (kOurs) {
        p = scan_number(p, end, v).ptr;
      } else {
        char* stop;
        v = std::strtod(p, &stop);
        p = stop;
      }
      sum += v;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}

template <bool kOurs>
void format(benchmark::State& state, Mix mix) {
  const Sample s = make_sample(mix);
  std::vector<char> out(static_cast<size_t>(kBatch) * (kNumberTextMax + 1));
  for (auto _ : state) {
    (void)_;
    char* p = out.data();
    for (double v : s.values) {
      if constexpr (kOurs) {
        p = format_number(p, v);
      } else {
        p += std::snprintf(p, kNumberTextMax, "%g", v);
      }
      *p++ = ' ';
    }
    benchmark::DoNotOptimize(p);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}

void scan_ours(benchmark::State& state, Mix mix) { scan<true>(state, mix); }
void scan_strtod(benchmark::State& state, Mix mix) { scan<false>(state, mix); }
void format_ours(benchmark::State& state, Mix mix) { format<true>(state, mix); }
void format_snprintf(benchmark::State& state, Mix mix) {
  format<false>(state, mix);
}

#define KAVRIX_MIXES(fn)                  \
  BENCHMARK_CAPTURE(fn, counts, kCounts); \
  BENCHMARK_CAPTURE(fn, six, kSix);       \
  BENCHMARK_CAPTURE(fn, ten, kTen);       \
  BENCHMARK_CAPTURE(fn, wide, kWide)

KAVRIX_MIXES(scan_ours);
KAVRIX_MIXES(scan_strtod);
KAVRIX_MIXES(format_ours);
KAVRIX_MIXES(format_snprintf);

}  // namespace
}  // namespace kavrix

BENCHMARK_MAIN();
