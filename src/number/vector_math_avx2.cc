// Four lanes: AVX2 with FMA. Compiled for those extensions alone; called
// only where the processor has them (vector_math.cc).
#include <immintrin.h>

#include <cmath>
#include <cstddef>

#include "number/vector_math.h"
#include "number/vector_math_lanes.h"

namespace kavrix {
namespace {

struct Mask4 {
  __m256d v;
};
inline Mask4 operator&(Mask4 a, Mask4 b) { return {_mm256_and_pd(a.v, b.v)}; }
inline Mask4 operator~(Mask4 a) {
  return {_mm256_xor_pd(a.v, _mm256_castsi256_pd(_mm256_set1_epi64x(-1)))};
}
inline bool any(Mask4 m) { return _mm256_movemask_pd(m.v) != 0; }
inline bool all(Mask4 m) { return _mm256_movemask_pd(m.v) == 0xf; }

struct Lanes4 {
  __m256d v;
  static constexpr std::size_t kCount = 4;
  static Lanes4 load(const double* p) { return {_mm256_loadu_pd(p)}; }
  static Lanes4 splat(double d) { return {_mm256_set1_pd(d)}; }
};
inline void store(double* p, Lanes4 a) { _mm256_storeu_pd(p, a.v); }
inline Lanes4 operator+(Lanes4 a, Lanes4 b) { return {_mm256_add_pd(a.v, b.v)}; }
inline Lanes4 operator-(Lanes4 a, Lanes4 b) { return {_mm256_sub_pd(a.v, b.v)}; }
inline Lanes4 operator*(Lanes4 a, Lanes4 b) { return {_mm256_mul_pd(a.v, b.v)}; }
inline Lanes4 operator/(Lanes4 a, Lanes4 b) { return {_mm256_div_pd(a.v, b.v)}; }
inline Lanes4 operator-(Lanes4 a) { return {_mm256_xor_pd(a.v, _mm256_set1_pd(-0.0))}; }
inline Lanes4 abs(Lanes4 a) { return {_mm256_andnot_pd(_mm256_set1_pd(-0.0), a.v)}; }
inline Lanes4 fma(Lanes4 a, Lanes4 b, Lanes4 c) { return {_mm256_fmadd_pd(a.v, b.v, c.v)}; }
inline Lanes4 fnma(Lanes4 a, Lanes4 b, Lanes4 c) { return {_mm256_fnmadd_pd(a.v, b.v, c.v)}; }
inline Lanes4 fms(Lanes4 a, Lanes4 b, Lanes4 c) { return {_mm256_fmsub_pd(a.v, b.v, c.v)}; }
// Ordered comparisons: false on NaN.
inline Mask4 operator<(Lanes4 a, Lanes4 b) { return {_mm256_cmp_pd(a.v, b.v, _CMP_LT_OQ)}; }
inline Mask4 operator<=(Lanes4 a, Lanes4 b) { return {_mm256_cmp_pd(a.v, b.v, _CMP_LE_OQ)}; }
inline Mask4 operator>(Lanes4 a, Lanes4 b) { return {_mm256_cmp_pd(a.v, b.v, _CMP_GT_OQ)}; }
inline Mask4 operator>=(Lanes4 a, Lanes4 b) { return {_mm256_cmp_pd(a.v, b.v, _CMP_GE_OQ)}; }
inline Lanes4 select(Mask4 m, Lanes4 a, Lanes4 b) { return {_mm256_blendv_pd(b.v, a.v, m.v)}; }

// Table rows are loaded one by one and transposed: faster than gathers.
struct TanRows4 {
  Lanes4 x, tan, cot;
};
// REQUIRES: trunc(t) is a row of kTanTable on every lane.
inline TanRows4 tan_rows(Lanes4 t) {
  alignas(16) int row[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(row), _mm256_cvttpd_epi32(t.v));
  const double* table = vector_math_tables::kTanTable;
  const __m256d r0 = _mm256_loadu_pd(table + std::ptrdiff_t{4} * row[0]);
  const __m256d r1 = _mm256_loadu_pd(table + std::ptrdiff_t{4} * row[1]);
  const __m256d r2 = _mm256_loadu_pd(table + std::ptrdiff_t{4} * row[2]);
  const __m256d r3 = _mm256_loadu_pd(table + std::ptrdiff_t{4} * row[3]);
  const __m256d x_cot01 = _mm256_unpacklo_pd(r0, r1), x_cot23 = _mm256_unpacklo_pd(r2, r3);
  const __m256d tan01 = _mm256_unpackhi_pd(r0, r1), tan23 = _mm256_unpackhi_pd(r2, r3);
  return {{_mm256_permute2f128_pd(x_cot01, x_cot23, 0x20)},
          {_mm256_permute2f128_pd(tan01, tan23, 0x20)},
          {_mm256_permute2f128_pd(x_cot01, x_cot23, 0x31)}};
}

struct LogParts4 {
  Lanes4 k, z, invc, logc;
};
// x = 2^k z: the bits of x less the offset of [0x1.6p-1, 0x1.6p0) give k in
// their top 12 bits and the row in the 7 below the top of the fraction.
inline LogParts4 log_parts(Lanes4 x) {
  const __m256i ix = _mm256_castpd_si256(x.v);
  const __m256i tmp = _mm256_sub_epi64(ix, _mm256_set1_epi64x(0x3fe6000000000000));
  alignas(32) long long row[4];
  _mm256_store_si256(reinterpret_cast<__m256i*>(row),
                     _mm256_and_si256(_mm256_srli_epi64(tmp, 45), _mm256_set1_epi64x(127)));
  const __m256i iz = _mm256_sub_epi64(
      ix, _mm256_and_si256(tmp, _mm256_set1_epi64x(static_cast<long long>(0xfff0000000000000))));
  // AVX2 has no 64-bit arithmetic shift: the high halves shifted by 20 hold k.
  const __m256i high = _mm256_srai_epi32(tmp, 20);
  const __m128i k = _mm256_castsi256_si128(
      _mm256_permutevar8x32_epi32(high, _mm256_setr_epi32(1, 3, 5, 7, 1, 3, 5, 7)));
  const double* table = vector_math_tables::kLogTable;
  const __m256d r02 =
      _mm256_set_m128d(_mm_loadu_pd(table + 2 * row[2]), _mm_loadu_pd(table + 2 * row[0]));
  const __m256d r13 =
      _mm256_set_m128d(_mm_loadu_pd(table + 2 * row[3]), _mm_loadu_pd(table + 2 * row[1]));
  return {{_mm256_cvtepi32_pd(k)},
          {_mm256_castsi256_pd(iz)},
          {_mm256_unpacklo_pd(r02, r13)},
          {_mm256_unpackhi_pd(r02, r13)}};
}

}  // namespace

void tan_lanes4(const double* x, double* y, std::size_t n) {
  vector_lanes::apply_lanes<Lanes4>(
      x, y, n, [](Lanes4 v) { return vector_lanes::tan_in_range(v); },
      [](Lanes4 v) { return vector_lanes::tan_lanes(v); }, [](double v) { return std::tan(v); });
}

void log_lanes4(const double* x, double* y, std::size_t n) {
  vector_lanes::apply_lanes<Lanes4>(
      x, y, n, [](Lanes4 v) { return vector_lanes::log_in_range(v); },
      [](Lanes4 v) { return vector_lanes::log_lanes(v); }, [](double v) { return std::log(v); });
}

void log_quotient_by_tan_lanes4(const double* q, const double* x, double* y, std::size_t n) {
  vector_lanes::log_quotient_by_tan_lanes<Lanes4>(q, x, y, n);
}

}  // namespace kavrix
