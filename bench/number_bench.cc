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

#include "grid/number_format.h"
#include "grid/number_scan.h"

namespace kavrix {
namespace {

constexpr int kBatch = 4096;

enum Mix { kCounts, kTransmissivity, kSlopes, kIndex, kAssorted };

// The values of a mix and the text a grid file would hold for them.
struct Sample {
  std::vector<double> values;
  std::string text;                 // values separated by single spaces
  std::vector<std::string> tokens;  // the same, one string each
};

Sample make_sample(Mix mix) {
  std::mt19937_64 rng(42 + mix);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  Sample s;
  const char* const assorted[] = {"12.3456789",    "-9999",        "1e-8",
                                  "3.4028235e+38", "0.5",          "273.15",
                                  "-0.001234",     "6.02214076e23"};
  char buf[64];
  for (int i = 0; i < kBatch; ++i) {
    switch (mix) {
      case kCounts:  // flow accumulation: cell counts
        std::snprintf(buf, sizeof buf, "%.0f",
                      std::floor(std::pow(1e6, unit(rng))));
        break;
      case kTransmissivity:  // 0.01 .. 100, six digits
        std::snprintf(buf, sizeof buf, "%.6g",
                      std::pow(10.0, 4 * unit(rng) - 2));
        break;
      case kSlopes:  // degrees, up to ten digits
        std::snprintf(buf, sizeof buf, "%.10g", 90 * unit(rng));
        break;
      case kIndex:  // wetness-like index results
        std::snprintf(buf, sizeof buf, "%.6g", 2 + 33 * unit(rng));
        break;
      case kAssorted:
        std::snprintf(buf, sizeof buf, "%s", assorted[i % 8]);
        break;
    }
    s.tokens.emplace_back(buf);
    s.text += buf;
    s.text += ' ';
    s.values.push_back(std::strtod(buf, nullptr));
  }
  return s;
}

void scan_ours(benchmark::State& state, Mix mix) {
  const Sample s = make_sample(mix);
  const char* const end = s.text.data() + s.text.size();
  for (auto _ : state) {
    (void)_;
    double sum = 0;
    for (const char* p = s.text.data(); p != end; ++p) {  // ++p: the space
      double v;
      p = scan_number(p, end, v).ptr;
      sum += v;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}

void scan_strtod(benchmark::State& state, Mix mix) {
  const Sample s = make_sample(mix);
  const char* const end = s.text.data() + s.text.size();
  for (auto _ : state) {
    (void)_;
    double sum = 0;
    for (const char* p = s.text.data(); p != end; ++p) {
      char* stop;
      sum += std::strtod(p, &stop);
      p = stop;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}

void scan_sscanf(benchmark::State& state, Mix mix) {
  const Sample s = make_sample(mix);
  for (auto _ : state) {
    (void)_;
    double sum = 0;
    for (const std::string& token : s.tokens) {
      double v = 0;
      int n = 0;
      if (std::sscanf(token.c_str(), "%lg%n", &v, &n) == 1) sum += v + n;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}

void format_ours(benchmark::State& state, Mix mix) {
  const Sample s = make_sample(mix);
  std::vector<char> out(static_cast<size_t>(kBatch) * kNumberTextMax);
  for (auto _ : state) {
    (void)_;
    char* p = out.data();
    for (double v : s.values) {
      p = format_number(p, v);
      *p++ = ' ';
    }
    benchmark::DoNotOptimize(p);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}

void format_snprintf(benchmark::State& state, Mix mix) {
  const Sample s = make_sample(mix);
  std::vector<char> out(static_cast<size_t>(kBatch) * kNumberTextMax);
  for (auto _ : state) {
    (void)_;
    char* p = out.data();
    for (double v : s.values) {
      p += std::snprintf(p, kNumberTextMax, "%g", v);
      *p++ = ' ';
    }
    benchmark::DoNotOptimize(p);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}

#define KAVRIX_MIXES(fn)                                  \
  BENCHMARK_CAPTURE(fn, counts, kCounts);                 \
  BENCHMARK_CAPTURE(fn, transmissivity, kTransmissivity); \
  BENCHMARK_CAPTURE(fn, slopes, kSlopes);                 \
  BENCHMARK_CAPTURE(fn, index, kIndex);                   \
  BENCHMARK_CAPTURE(fn, assorted, kAssorted)

KAVRIX_MIXES(scan_ours);
KAVRIX_MIXES(scan_strtod);
KAVRIX_MIXES(scan_sscanf);
KAVRIX_MIXES(format_ours);
KAVRIX_MIXES(format_snprintf);

}  // namespace
}  // namespace kavrix

BENCHMARK_MAIN();
