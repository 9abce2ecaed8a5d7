// tan and log of whole arrays, bit for bit the C library's, on vector lanes
// where that can be vouched for and by the C library's calls elsewhere.
#ifndef KAVRIX_NUMBER_VECTOR_MATH_H_
#define KAVRIX_NUMBER_VECTOR_MATH_H_

#include <cstddef>

namespace kavrix {

/// How many cells the vector functions take at once: none (the C library's
/// calls alone), four (AVX2 with FMA) or eight (AVX-512 F and DQ).
enum class VectorLanes { kNone = 0, kFour = 4, kEight = 8 };

/// The widest lanes that give the C library's bits in this process, decided
/// once: the lanes reproduce the tan and log of GNU libc 2.36 as it runs on
/// a processor with AVX2 and FMA (its FMA variants), so the library must be
/// that version, the processor must have those extensions (and AVX-512 F
/// and DQ for eight lanes), and the lanes must agree with the scalar calls
/// on arguments where the library's variants differ; else kNone. The
/// environment variable KAVRIX_VECTOR_LANES (0, 4 or 8) may lower the
/// choice, never raise it.
VectorLanes usable_vector_lanes();

/// y[i] = std::tan(x[i]) for i < n, bit for bit, on `lanes`; y may be x.
/// REQUIRES: the processor has `lanes` (kNone always does).
void tan_array(const double* x, double* y, std::size_t n,
               VectorLanes lanes = usable_vector_lanes());

/// y[i] = std::log(x[i]) for i < n, bit for bit, on `lanes`; y may be x.
/// REQUIRES: the processor has `lanes` (kNone always does).
void log_array(const double* x, double* y, std::size_t n,
               VectorLanes lanes = usable_vector_lanes());

/// y[i] = std::log(q[i] / std::tan(x[i])) for i < n, bit for bit, on
/// `lanes`; y may be q or x.
/// REQUIRES: the processor has `lanes` (kNone always does).
void log_quotient_by_tan_array(const double* q, const double* x, double* y, std::size_t n,
                               VectorLanes lanes = usable_vector_lanes());

/// The lanes of each width (vector_math_avx2.cc, vector_math_avx512.cc),
/// each compiled for its extensions; tan_array and log_array choose.
void tan_lanes4(const double* x, double* y, std::size_t n);
void log_lanes4(const double* x, double* y, std::size_t n);
void tan_lanes8(const double* x, double* y, std::size_t n);
void log_lanes8(const double* x, double* y, std::size_t n);
void log_quotient_by_tan_lanes4(const double* q, const double* x, double* y, std::size_t n);
void log_quotient_by_tan_lanes8(const double* q, const double* x, double* y, std::size_t n);

}  // namespace kavrix

#endif  // KAVRIX_NUMBER_VECTOR_MATH_H_
