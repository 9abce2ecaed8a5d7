// The vector tan and log, written once for any width of lanes. Each lane
// performs the operations of the C library's scalar function in the same
// order, with fused multiply-adds exactly where its FMA variants have them,
// so every lane gives the scalar call's bits.
//
// A lane type D (one per instruction set, in the file compiled for it)
// provides: D::kCount, D::load, D::splat, store; + - * /; fma(a, b, c) =
// a*b + c, fnma(a, b, c) = c - a*b, fms(a, b, c) = a*b - c (one rounding
// each); comparisons giving a mask with &, any() and all(); select(mask, a,
// b); abs(a) and -a; tan_rows(t), the rows of kTanTable at trunc(t) per lane;
// and log_parts(x), the exponent k, the scaled z and the row of kLogTable
// of each lane.
//
// The types are defined in an unnamed namespace in each file, so these
// templates are instantiated once per instruction set and never shared.
#ifndef KAVRIX_NUMBER_VECTOR_MATH_LANES_H_
#define KAVRIX_NUMBER_VECTOR_MATH_LANES_H_

#include <cmath>
#include <cstddef>

#include "number/vector_math_tables.h"

namespace kavrix::vector_lanes {

namespace t = vector_math_tables;

/// The greatest argument of the vector tangent: the double below pi/2, so
/// that the reduction by pi/2 leaves a negative remainder in one quadrant.
inline constexpr double kTanGreatest = 0x1.921fb54442d18p+0;
/// Adding and subtracting 1.5 * 2^52 rounds a double below 2^51 to an integer.
inline constexpr double kToInteger = 0x1.8p52;

/// Lanes the vector tangent takes: (kTanBounds[0], kTanGreatest]. NaN is not.
template <class D>
auto tan_in_range(D x) {
  return (x > D::splat(t::kTanBounds[0])) & (x <= D::splat(kTanGreatest));
}

/// Lanes the vector log takes: normal, finite and outside the neighbourhood
/// of 1, [0x1.ep-1, 0x1.108ffffffffffp+0], where the C library takes a
/// polynomial of degree 11 without the table. NaN is not.
template <class D>
auto log_in_range(D x) {
  const auto normal = (x >= D::splat(0x1p-1022)) & (x < D::splat(HUGE_VAL));
  const auto near_one = (x >= D::splat(0x1.ep-1)) & (x <= D::splat(0x1.108ffffffffffp+0));
  return normal & ~near_one;
}

/// x + x^3 (d3 + d5 x^2 + ... + d11 x^8) by Horner's rule in x^2 = a2,
/// without its first term: d3 + a2 (d5 + a2 (...)).
template <class D>
D tan_series(D a2) {
  D p = fma(a2, D::splat(t::kTanPoly[4]), D::splat(t::kTanPoly[3]));
  p = fma(a2, p, D::splat(t::kTanPoly[2]));
  p = fma(a2, p, D::splat(t::kTanPoly[1]));
  return fma(a2, p, D::splat(t::kTanPoly[0]));
}

/// p(z) = z + z^3 (e0 + e1 z^2), tan(x_i + z) = f + (f + g) p / (g - p)
/// with f = tan x_i and g = cot x_i (the addition theorem).
template <class D>
D table_series(D z) {
  const D z2 = z * z;
  const D z3 = z * z2;
  return fma(z3, fma(z2, D::splat(t::kTanTablePoly[1]), D::splat(t::kTanTablePoly[0])), z);
}

/// tan x on every lane, as the IBM Accurate Mathematical Library computes it
/// (Ziv's accurate tables; the version without the slower second stages):
///  - up to 0.0608: the odd polynomial;
///  - up to 0.787: the table point x_i nearest below, and the addition
///    theorem with one division;
///  - above: y = x - pi/2 in three parts (a + da, a < 0), tan x = -cot y;
///    from the table for |y| over 0.0608, else 1/(polynomial of y) in
///    double-double arithmetic.
/// REQUIRES: every lane is in tan_in_range.
template <class D>
D tan_lanes(D x) {
  const D bound_poly = D::splat(t::kTanBounds[1]);
  const D bound_table = D::splat(t::kTanBounds[2]);
  const auto by_poly = x <= bound_poly;
  const auto reduced = x > bound_table;
  D y = x;
  if (any(by_poly)) {
    const D x2 = x * x;
    y = select(by_poly, fma(x * x2, tan_series(x2), x), y);
  }
  // The remainder of the reduction, a + da (a < 0); zero on other lanes.
  D a = D::splat(0.0), da = a;
  if (any(reduced)) {
    const D toint = D::splat(kToInteger);
    const D n = fma(x, D::splat(t::kTwoByPi), toint) - toint;  // 1 on every lane here
    D t1 = fnma(n, D::splat(t::kHalfPi1), x);
    t1 = fnma(n, D::splat(t::kHalfPi2), t1);
    a = select(reduced, fnma(n, D::splat(t::kHalfPi3), t1), a);
    da = select(reduced, fnma(n, D::splat(t::kHalfPi3), t1 - a), da);
  }
  // The table's lanes: x itself, or the reduced -a; one pass serves both,
  // their operations differing only in the last steps. On x's lanes adding
  // -da = 0 to x - x_i changes nothing (x - x_i = 0 is +0 either way).
  const D w = select(reduced, -a, x);
  const auto by_table = ~by_poly & (w > bound_poly);
  if (any(by_table)) {
    const auto row =
        tan_rows(select(by_table, fma(w, D::splat(256.0), D::splat(-15.5)), D::splat(0.0)));
    const D p = table_series((w - row.x) + -da);
    // tan x = f + (f + g) p / (g - p); -cot(x_i + p) = g - (f + g) p / (p + f).
    const D q = (row.tan + row.cot) * p / select(reduced, p + row.tan, row.cot - p);
    y = select(by_table, select(reduced, row.cot - q, q + row.tan), y);
  }
  const auto near = reduced & ~by_table;
  if (any(near)) {
    const D a2 = a * a;
    const D t2 = fma(a * a2, tan_series(a2), da);
    // b + db = a + t2 exactly (the sum of two doubles, larger first). The
    // other lanes divide by 1, not by their b of 0: the C library's call
    // raises no division by zero nor invalid operation there, so neither
    // may the lanes.
    const D one = D::splat(1.0);
    const D b = select(near, a + t2, one);
    const D db = select(abs(a) > abs(t2), (a - b) + t2, (t2 - b) + a);
    // 1 / (b + db) in double-double: c + cc.
    const D c = one / b;
    const D hi = c * b;
    const D lo = fms(c, b, hi);
    const D r = fnma(db, c, ((one - hi) - lo) + D::splat(0.0));
    const D cc = r / b;
    const D s = c + cc;
    y = select(near, -(((c - s) + cc) + s), y);
  }
  return y;
}

/// log x on every lane by the table method of Arm's optimized-routines:
/// x = 2^k z with z in [0x1.6p-1, 0x1.6p0), c the point of z's subinterval,
/// r = z/c - 1 in one fused operation, log x = k ln2 + log c + r + A0 r^2 +
/// ... + A4 r^6.
/// REQUIRES: every lane is in log_in_range.
template <class D>
D log_lanes(D x) {
  const auto parts = log_parts(x);  // k, z, 1/c, log c
  const D w = fma(parts.k, D::splat(t::kLn2Hi), parts.logc);
  const D r = fma(parts.z, parts.invc, D::splat(-1.0));
  const D p1 = fma(r, D::splat(t::kLogPoly[2]), D::splat(t::kLogPoly[1]));
  const D hi = w + r;
  const D r2 = r * r;
  const D lo = fma(parts.k, D::splat(t::kLn2Lo), (w - hi) + r);
  const D p2 = fma(r, D::splat(t::kLogPoly[4]), D::splat(t::kLogPoly[3]));
  const D sum = fma(r2, D::splat(t::kLogPoly[0]), lo);
  return fma(r * r2, fma(p2, r2, p1), sum) + hi;
}

/// y[i] = scalar(x[i]) for i < n: whole groups of lanes whose every lane is
/// in range by vector, the others and the last partial group by `scalar`.
template <class D, class InRange, class Lanes, class Scalar>
void apply_lanes(const double* x, double* y, std::size_t n, InRange in_range, Lanes lanes,
                 Scalar scalar) {
  std::size_t i = 0;
  for (; i + D::kCount <= n; i += D::kCount) {
    const D v = D::load(x + i);
    if (all(in_range(v))) {
      store(y + i, lanes(v));
    } else {
      for (std::size_t j = i; j < i + D::kCount; ++j) y[j] = scalar(x[j]);
    }
  }
  for (; i < n; ++i) y[i] = scalar(x[i]);
}

/// y[i] = log(q[i] / tan(x[i])) for i < n, each step as the scalar calls
/// take it: tan on the lanes where every lane of the group is in range, the
/// division, log likewise; the other groups and the last partial one by the
/// C library's calls.
template <class D>
void log_quotient_by_tan_lanes(const double* q, const double* x, double* y, std::size_t n) {
  std::size_t i = 0;
  for (; i + D::kCount <= n; i += D::kCount) {
    const D angle = D::load(x + i);
    D tangent;
    if (all(tan_in_range(angle))) {
      tangent = tan_lanes(angle);
    } else {
      double lanes[D::kCount];
      for (std::size_t j = 0; j < D::kCount; ++j) lanes[j] = std::tan(x[i + j]);
      tangent = D::load(lanes);
    }
    const D quotient = D::load(q + i) / tangent;
    if (all(log_in_range(quotient))) {
      store(y + i, log_lanes(quotient));
    } else {
      double lanes[D::kCount];
      store(lanes, quotient);
      for (std::size_t j = 0; j < D::kCount; ++j) y[i + j] = std::log(lanes[j]);
    }
  }
  for (; i < n; ++i) y[i] = std::log(q[i] / std::tan(x[i]));
}

}  // namespace kavrix::vector_lanes

#endif  // KAVRIX_NUMBER_VECTOR_MATH_LANES_H_
