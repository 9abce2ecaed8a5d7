#include "number/vector_math.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

#if defined(__GLIBC__)
#include <gnu/libc-version.h>
#endif
#if defined(KAVRIX_VECTOR_LANES)
#include <xmmintrin.h>
#endif

namespace kavrix {

namespace {

// The lanes follow the operations of this version's tan and log, read from
// its FMA variants; another version may round differently anywhere.
constexpr const char* kReproducedLibrary = "2.36";

bool library_reproduced() {
#if defined(__GLIBC__) && defined(KAVRIX_VECTOR_LANES)
  return std::strcmp(gnu_get_libc_version(), kReproducedLibrary) == 0;
#else
  return false;
#endif
}

bool processor_has(VectorLanes lanes) {
#if defined(KAVRIX_VECTOR_LANES)
  __builtin_cpu_init();
  const bool four = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  if (lanes == VectorLanes::kFour) return four;
  return four && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq");
#else
  return lanes == VectorLanes::kNone;
#endif
}

// Arguments on which the C library's variants differ, or that lie on an edge
// of a branch or table of the lanes, and a spread of others over each range.
std::vector<double> tan_checks() {
  std::vector<double> x = {0x1.b587946c4db8fp-5, 0x1.b096c00000001p-27, 0x1.f212d00000000p-5,
                           0x1.f212d00000001p-5, 0x1.92f1a00000000p-1,  0x1.92f1a00000001p-1,
                           0x1.828f5c28f5c29p+0, 0x1.921fb54442d18p+0,  0x1.921fb54442d17p+0,
                           0x1.1df46a2443411p-6, 0x1.921fb5443p+0};
  for (int i = 0; i < 240; ++i) x.push_back(0x1.1df46a2443411p-6 * std::pow(90.0, i / 240.0));
  return x;
}

std::vector<double> log_checks() {
  std::vector<double> x = {0x1.200ee8b2be2f7p+0,
                           0x1.6p-1,
                           0x1.6p+0,
                           0x1.dffffffffffffp-1,
                           0x1.109p+0,
                           0x1.108ffffffffffp+0,
                           0x1p-1022,
                           0x1.fffffffffffffp+1023,
                           2.0,
                           0.5,
                           1e-300};
  for (int i = 0; i < 240; ++i) x.push_back(std::pow(10.0, -12.0 + i / 10.0) * 1.0000001);
  return x;
}

bool agree(const std::vector<double>& x, void (*lanes)(const double*, double*, std::size_t),
           double (*scalar)(double)) {
  std::vector<double> y(x.size());
  lanes(x.data(), y.data(), x.size());
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (std::bit_cast<std::uint64_t>(scalar(x[i])) != std::bit_cast<std::uint64_t>(y[i])) {
      return false;
    }
  }
  return true;
}

bool lanes_agree(VectorLanes lanes) {
  const auto tan = [](double v) { return std::tan(v); };
  const auto log = [](double v) { return std::log(v); };
  const bool eight = lanes == VectorLanes::kEight;
  return agree(tan_checks(), eight ? tan_lanes8 : tan_lanes4, tan) &&
         agree(log_checks(), eight ? log_lanes8 : log_lanes4, log);
}

VectorLanes choose_lanes() {
  int most = 8;
  if (const char* limit = std::getenv("KAVRIX_VECTOR_LANES")) {
    most = static_cast<int>(std::strtol(limit, nullptr, 10));
  }
  // cppcheck-suppress knownConditionTrueFalse ; true only where built without lanes
  if (!library_reproduced()) return VectorLanes::kNone;
  const VectorLanes widest_first[] = {VectorLanes::kEight, VectorLanes::kFour};
  const auto* usable = std::find_if(std::begin(widest_first), std::end(widest_first),
                                    [most](VectorLanes lanes) {
                                      return static_cast<int>(lanes) <= most &&
                                             processor_has(lanes) && lanes_agree(lanes);
                                    });
  return usable == std::end(widest_first) ? VectorLanes::kNone : *usable;
}

// The C library's tan rounds to nearest in whatever mode it is called (it
// sets the mode itself for the call); the lanes round in the caller's mode,
// which under another gives other bits, even another quadrant. So the
// tangent takes its lanes only while the vector unit rounds to nearest.
VectorLanes tan_lanes_now(VectorLanes lanes) {
#if defined(KAVRIX_VECTOR_LANES)
  if (_MM_GET_ROUNDING_MODE() != _MM_ROUND_NEAREST) return VectorLanes::kNone;
#endif
  return lanes;
}

}  // namespace

#if !defined(KAVRIX_VECTOR_LANES)
// Built without the lanes (another processor family): the calls alone.
void tan_lanes4(const double* x, double* y, std::size_t n) {
  tan_array(x, y, n, VectorLanes::kNone);
}
void log_lanes4(const double* x, double* y, std::size_t n) {
  log_array(x, y, n, VectorLanes::kNone);
}
void tan_lanes8(const double* x, double* y, std::size_t n) {
  tan_array(x, y, n, VectorLanes::kNone);
}
void log_lanes8(const double* x, double* y, std::size_t n) {
  log_array(x, y, n, VectorLanes::kNone);
}
void log_quotient_by_tan_lanes4(const double* q, const double* x, double* y, std::size_t n) {
  log_quotient_by_tan_array(q, x, y, n, VectorLanes::kNone);
}
void log_quotient_by_tan_lanes8(const double* q, const double* x, double* y, std::size_t n) {
  log_quotient_by_tan_array(q, x, y, n, VectorLanes::kNone);
}
#endif

VectorLanes usable_vector_lanes() {
  static const VectorLanes lanes = choose_lanes();
  return lanes;
}

void tan_array(const double* x, double* y, std::size_t n, VectorLanes lanes) {
  switch (tan_lanes_now(lanes)) {
    case VectorLanes::kEight:
      tan_lanes8(x, y, n);
      break;
    case VectorLanes::kFour:
      tan_lanes4(x, y, n);
      break;
    case VectorLanes::kNone:
      for (std::size_t i = 0; i < n; ++i) y[i] = std::tan(x[i]);
  }
}

void log_array(const double* x, double* y, std::size_t n, VectorLanes lanes) {
  switch (lanes) {
    case VectorLanes::kEight:
      log_lanes8(x, y, n);
      break;
    case VectorLanes::kFour:
      log_lanes4(x, y, n);
      break;
    case VectorLanes::kNone:
      for (std::size_t i = 0; i < n; ++i) y[i] = std::log(x[i]);
  }
}

void log_quotient_by_tan_array(const double* q, const double* x, double* y, std::size_t n,
                               VectorLanes lanes) {
  switch (tan_lanes_now(lanes)) {
    case VectorLanes::kEight:
      log_quotient_by_tan_lanes8(q, x, y, n);
      break;
    case VectorLanes::kFour:
      log_quotient_by_tan_lanes4(q, x, y, n);
      break;
    case VectorLanes::kNone:
      for (std::size_t i = 0; i < n; ++i) y[i] = std::log(q[i] / std::tan(x[i]));
  }
}

}  // namespace kavrix
