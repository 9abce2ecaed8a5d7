// Eight lanes: AVX-512 F and DQ. Compiled for those extensions; called only
// where the processor has them (vector_math.cc).

// GCC 12 takes the undefined start values inside its AVX-512 intrinsics for
// uninitialised variables.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include <immintrin.h>

#include <cmath>
#include <cstddef>

#include "number/vector_math.h"
#include "number/vector_math_lanes.h"

namespace kavrix {
namespace {

struct Mask8 {
  __mmask8 m;
};
inline Mask8 operator&(Mask8 a, Mask8 b) { return {static_cast<__mmask8>(a.m & b.m)}; }
inline Mask8 operator~(Mask8 a) { return {static_cast<__mmask8>(~a.m)}; }
inline bool any(Mask8 a) { return a.m != 0; }
inline bool all(Mask8 a) { return a.m == 0xff; }

struct Lanes8 {
  __m512d v;
  static constexpr std::size_t kCount = 8;
  static Lanes8 load(const double* p) { return {_mm512_loadu_pd(p)}; }
  static Lanes8 splat(double d) { return {_mm512_set1_pd(d)}; }
};
inline void store(double* p, Lanes8 a) { _mm512_storeu_pd(p, a.v); }
inline Lanes8 operator+(Lanes8 a, Lanes8 b) { return {_mm512_add_pd(a.v, b.v)}; }
inline Lanes8 operator-(Lanes8 a, Lanes8 b) { return {_mm512_sub_pd(a.v, b.v)}; }
inline Lanes8 operator*(Lanes8 a, Lanes8 b) { return {_mm512_mul_pd(a.v, b.v)}; }
inline Lanes8 operator/(Lanes8 a, Lanes8 b) { return {_mm512_div_pd(a.v, b.v)}; }
inline Lanes8 operator-(Lanes8 a) { return {_mm512_xor_pd(a.v, _mm512_set1_pd(-0.0))}; }
inline Lanes8 abs(Lanes8 a) { return {_mm512_abs_pd(a.v)}; }
inline Lanes8 fma(Lanes8 a, Lanes8 b, Lanes8 c) { return {_mm512_fmadd_pd(a.v, b.v, c.v)}; }
inline Lanes8 fnma(Lanes8 a, Lanes8 b, Lanes8 c) { return {_mm512_fnmadd_pd(a.v, b.v, c.v)}; }
inline Lanes8 fms(Lanes8 a, Lanes8 b, Lanes8 c) { return {_mm512_fmsub_pd(a.v, b.v, c.v)}; }
// Ordered comparisons: false on NaN.
inline Mask8 operator<(Lanes8 a, Lanes8 b) { return {_mm512_cmp_pd_mask(a.v, b.v, _CMP_LT_OQ)}; }
inline Mask8 operator<=(Lanes8 a, Lanes8 b) { return {_mm512_cmp_pd_mask(a.v, b.v, _CMP_LE_OQ)}; }
inline Mask8 operator>(Lanes8 a, Lanes8 b) { return {_mm512_cmp_pd_mask(a.v, b.v, _CMP_GT_OQ)}; }
inline Mask8 operator>=(Lanes8 a, Lanes8 b) { return {_mm512_cmp_pd_mask(a.v, b.v, _CMP_GE_OQ)}; }
inline Lanes8 select(Mask8 m, Lanes8 a, Lanes8 b) { return {_mm512_mask_blend_pd(m.m, b.v, a.v)}; }

// Table rows are loaded one by one and transposed: faster than gathers.
struct TanRows8 {
  Lanes8 x, tan, cot;
};
// REQUIRES: trunc(t) is a row of kTanTable on every lane.
inline TanRows8 tan_rows(Lanes8 t) {
  alignas(32) int row[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(row), _mm512_cvttpd_epi32(t.v));
  const double* table = vector_math_tables::kTanTable;
  // Rows k and k + 4 side by side: [x tan cot 0 | x tan cot 0].
  __m512d pair[4];
  for (int k = 0; k < 4; ++k) {
    pair[k] = _mm512_insertf64x4(
        _mm512_zextpd256_pd512(_mm256_loadu_pd(table + std::ptrdiff_t{4} * row[k])),
        _mm256_loadu_pd(table + std::ptrdiff_t{4} * row[k + 4]), 1);
  }
  const __m512d x_cot01 = _mm512_unpacklo_pd(pair[0], pair[1]);
  const __m512d x_cot23 = _mm512_unpacklo_pd(pair[2], pair[3]);
  const __m512d tan01 = _mm512_unpackhi_pd(pair[0], pair[1]);
  const __m512d tan23 = _mm512_unpackhi_pd(pair[2], pair[3]);
  const __m512i even = _mm512_setr_epi64(0, 1, 8, 9, 4, 5, 12, 13);
  const __m512i odd = _mm512_setr_epi64(2, 3, 10, 11, 6, 7, 14, 15);
  return {{_mm512_permutex2var_pd(x_cot01, even, x_cot23)},
          {_mm512_permutex2var_pd(tan01, even, tan23)},
          {_mm512_permutex2var_pd(x_cot01, odd, x_cot23)}};
}

struct LogParts8 {
  Lanes8 k, z, invc, logc;
};
// x = 2^k z: the bits of x less the offset of [0x1.6p-1, 0x1.6p0) give k in
// their top 12 bits and the row in the 7 below the top of the fraction.
inline LogParts8 log_parts(Lanes8 x) {
  const __m512i ix = _mm512_castpd_si512(x.v);
  const __m512i tmp = _mm512_sub_epi64(ix, _mm512_set1_epi64(0x3fe6000000000000));
  alignas(64) long long row[8];
  _mm512_store_si512(row, _mm512_and_si512(_mm512_srli_epi64(tmp, 45), _mm512_set1_epi64(127)));
  const __m512i iz = _mm512_sub_epi64(
      ix, _mm512_and_si512(tmp, _mm512_set1_epi64(static_cast<long long>(0xfff0000000000000))));
  const double* table = vector_math_tables::kLogTable;
  // Rows 0, 2, 4, 6 and rows 1, 3, 5, 7, each row [1/c log c].
  __m512d even = _mm512_zextpd128_pd512(_mm_loadu_pd(table + 2 * row[0]));
  __m512d odd = _mm512_zextpd128_pd512(_mm_loadu_pd(table + 2 * row[1]));
  even = _mm512_insertf64x2(even, _mm_loadu_pd(table + 2 * row[2]), 1);
  odd = _mm512_insertf64x2(odd, _mm_loadu_pd(table + 2 * row[3]), 1);
  even = _mm512_insertf64x2(even, _mm_loadu_pd(table + 2 * row[4]), 2);
  odd = _mm512_insertf64x2(odd, _mm_loadu_pd(table + 2 * row[5]), 2);
  even = _mm512_insertf64x2(even, _mm_loadu_pd(table + 2 * row[6]), 3);
  odd = _mm512_insertf64x2(odd, _mm_loadu_pd(table + 2 * row[7]), 3);
  return {{_mm512_cvtepi64_pd(_mm512_srai_epi64(tmp, 52))},
          {_mm512_castsi512_pd(iz)},
          {_mm512_unpacklo_pd(even, odd)},
          {_mm512_unpackhi_pd(even, odd)}};
}

}  // namespace

void tan_lanes8(const double* x, double* y, std::size_t n) {
  vector_lanes::apply_lanes<Lanes8>(
      x, y, n, [](Lanes8 v) { return vector_lanes::tan_in_range(v); },
      [](Lanes8 v) { return vector_lanes::tan_lanes(v); }, [](double v) { return std::tan(v); });
}

void log_lanes8(const double* x, double* y, std::size_t n) {
  vector_lanes::apply_lanes<Lanes8>(
      x, y, n, [](Lanes8 v) { return vector_lanes::log_in_range(v); },
      [](Lanes8 v) { return vector_lanes::log_lanes(v); }, [](double v) { return std::log(v); });
}

void log_quotient_by_tan_lanes8(const double* q, const double* x, double* y, std::size_t n) {
  vector_lanes::log_quotient_by_tan_lanes<Lanes8>(q, x, y, n);
}

}  // namespace kavrix
