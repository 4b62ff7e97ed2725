// The library's one SIMD vocabulary: named free functions over 512-bit vectors of float
// (__m512, 16 lanes) and double (__m512d, 8 lanes), overloaded on the vector type so that one
// template body serves both precisions. Every family (vector math, random streams, statistics,
// data fitting) writes its vector code with these names; raw intrinsics appear only here and in
// the few sibling headers of this folder.
//
// Conventions:
//  * A mask has one bit per lane: Mask<T> is __mmask16 for float and __mmask8 for double.
//  * `_quiet` forms round to nearest and suppress every exception, whatever MXCSR says; kernels
//    use them where a lane that the callout will finish must raise no flag. Plain forms follow
//    MXCSR (the kernels pin it to round to nearest).
//  * Integer images (bits(v)) are __m512i; operations on them whose lane width matters take the
//    element type as a template argument (ilt<float> compares 32-bit lanes, ilt<double> 64-bit).
//  * The arithmetic names also have scalar overloads, so that exact-arithmetic and polynomial
//    helpers written once serve a vector kernel and its scalar callout.
#pragma once
#include "simd/isa.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace zorp::simd {

// ---- types --------------------------------------------------------------------------------
template <typename T>
struct VecTraits;
template <>
struct VecTraits<float> {
  using V = __m512;
  using M = __mmask16;
  using U = uint32_t;  // unsigned integer of the lane width
  using I = int32_t;
  static constexpr int kLanes = 16;
};
template <>
struct VecTraits<double> {
  using V = __m512d;
  using M = __mmask8;
  using U = uint64_t;
  using I = int64_t;
  static constexpr int kLanes = 8;
};
template <typename T>
using Vec = typename VecTraits<T>::V;
template <typename T>
using Mask = typename VecTraits<T>::M;
template <typename T>
using UintOf = typename VecTraits<T>::U;
template <typename T>
inline constexpr int kLanes = VecTraits<T>::kLanes;

// The element type of a vector type (float for __m512, double for __m512d; scalars map to
// themselves, for the templates that also serve scalar callouts).
template <typename V>
struct ElementOf {
  using type = V;
};
template <>
struct ElementOf<__m512> {
  using type = float;
};
template <>
struct ElementOf<__m512d> {
  using type = double;
};
template <typename V>
using Elem = typename ElementOf<V>::type;

inline constexpr int kNearestQuiet = _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC;

// ---- scalar bit images ---------------------------------------------------------------------
template <typename T>
inline T from_bits(UintOf<T> b) {
  T x;
  std::memcpy(&x, &b, sizeof x);
  return x;
}
inline uint32_t bits(float x) {
  uint32_t b;
  std::memcpy(&b, &x, 4);
  return b;
}
inline uint64_t bits(double x) {
  uint64_t b;
  std::memcpy(&b, &x, 8);
  return b;
}

// ---- construction ---------------------------------------------------------------------------
inline __m512 splat(float x) { return _mm512_set1_ps(x); }
inline __m512d splat(double x) { return _mm512_set1_pd(x); }
// Every lane set to the number with the given bit pattern.
template <typename T>
inline Vec<T> splat_bits(UintOf<T> b) {
  return splat(from_bits<T>(b));
}
template <typename V>
inline V zero() {
  if constexpr (std::is_same_v<V, __m512>) return _mm512_setzero_ps();
  else return _mm512_setzero_pd();
}

// ---- vector bit images ------------------------------------------------------------------------
inline __m512i bits(__m512 v) { return _mm512_castps_si512(v); }
inline __m512i bits(__m512d v) { return _mm512_castpd_si512(v); }
inline __m512 as_float(__m512i v) { return _mm512_castsi512_ps(v); }
inline __m512d as_double(__m512i v) { return _mm512_castsi512_pd(v); }
template <typename V>
inline V from_bits(__m512i v) {
  if constexpr (std::is_same_v<V, __m512>) return as_float(v);
  else return as_double(v);
}

// ---- lane masks -----------------------------------------------------------------------------
// Mask of the low min(count, lanes) lanes.
template <typename T>
inline Mask<T> first_lanes(uint32_t count) {
  constexpr uint32_t n = kLanes<T>;
  return count >= n ? Mask<T>((1u << n) - 1u) : Mask<T>((1u << count) - 1u);
}
template <typename T>
inline constexpr Mask<T> all_lanes() {
  return Mask<T>((1u << kLanes<T>) - 1u);
}

// ---- memory ---------------------------------------------------------------------------------
inline __m512 load(const float* p) { return _mm512_loadu_ps(p); }
inline __m512d load(const double* p) { return _mm512_loadu_pd(p); }
// Selected lanes from memory, the others from `fill`; unselected lanes are not touched.
inline __m512 load(__mmask16 m, const float* p, __m512 fill) { return _mm512_mask_loadu_ps(fill, m, p); }
inline __m512d load(__mmask8 m, const double* p, __m512d fill) { return _mm512_mask_loadu_pd(fill, m, p); }
inline __m512 load_zero(__mmask16 m, const float* p) { return _mm512_maskz_loadu_ps(m, p); }
inline __m512d load_zero(__mmask8 m, const double* p) { return _mm512_maskz_loadu_pd(m, p); }
// Eight floats widened to doubles (statistics and spline code compute single data in double).
inline __m512d load_wide(const float* p) { return _mm512_cvtps_pd(_mm256_loadu_ps(p)); }
inline __m512d load_wide(const double* p) { return _mm512_loadu_pd(p); }
inline __m512d load_wide(__mmask8 m, const float* p) { return _mm512_cvtps_pd(_mm256_maskz_loadu_ps(m, p)); }
inline __m512d load_wide(__mmask8 m, const double* p) { return _mm512_maskz_loadu_pd(m, p); }
// The same with unselected lanes taken from `fill` (double data loads as it is).
inline __m512d load_wide(__mmask8 m, const float* p, __m512d fill) {
  return _mm512_mask_cvtps_pd(fill, m, _mm256_maskz_loadu_ps(m, p));
}
inline __m512d load_wide(__mmask8 m, const double* p, __m512d fill) { return _mm512_mask_loadu_pd(fill, m, p); }
// Eight doubles rounded to the storage type, selected lanes only (the way back from load_wide).
inline void store_narrow(float* p, __mmask8 m, __m512d v) { _mm256_mask_storeu_ps(p, m, _mm512_cvtpd_ps(v)); }
inline void store_narrow(double* p, __mmask8 m, __m512d v) { _mm512_mask_storeu_pd(p, m, v); }
// Sixteen floats rounded from two registers of doubles: lo gives lanes 0-7, hi lanes 8-15.
inline __m512 narrow_pair(__m512d lo, __m512d hi) {
  return _mm512_insertf32x8(_mm512_castps256_ps512(_mm512_cvtpd_ps(lo)), _mm512_cvtpd_ps(hi), 1);
}
inline void store(float* p, __m512 v) { _mm512_storeu_ps(p, v); }
inline void store(double* p, __m512d v) { _mm512_storeu_pd(p, v); }
inline void store(float* p, __mmask16 m, __m512 v) { _mm512_mask_storeu_ps(p, m, v); }
inline void store(double* p, __mmask8 m, __m512d v) { _mm512_mask_storeu_pd(p, m, v); }
// Around the caches; p must be 64-byte aligned.
inline void stream(float* p, __m512 v) { _mm512_stream_ps(p, v); }
inline void stream(double* p, __m512d v) { _mm512_stream_pd(p, v); }

// ---- arithmetic (vector and scalar) ---------------------------------------------------------
inline __m512 add(__m512 a, __m512 b) { return _mm512_add_ps(a, b); }
inline __m512d add(__m512d a, __m512d b) { return _mm512_add_pd(a, b); }
inline __m512 sub(__m512 a, __m512 b) { return _mm512_sub_ps(a, b); }
inline __m512d sub(__m512d a, __m512d b) { return _mm512_sub_pd(a, b); }
inline __m512 mul(__m512 a, __m512 b) { return _mm512_mul_ps(a, b); }
inline __m512d mul(__m512d a, __m512d b) { return _mm512_mul_pd(a, b); }
inline __m512 div(__m512 a, __m512 b) { return _mm512_div_ps(a, b); }
inline __m512d div(__m512d a, __m512d b) { return _mm512_div_pd(a, b); }
// a*b + c, a*b - c and c - a*b, each with one rounding.
inline __m512 fma(__m512 a, __m512 b, __m512 c) { return _mm512_fmadd_ps(a, b, c); }
inline __m512d fma(__m512d a, __m512d b, __m512d c) { return _mm512_fmadd_pd(a, b, c); }
inline __m512 fms(__m512 a, __m512 b, __m512 c) { return _mm512_fmsub_ps(a, b, c); }
inline __m512d fms(__m512d a, __m512d b, __m512d c) { return _mm512_fmsub_pd(a, b, c); }
inline __m512 fnma(__m512 a, __m512 b, __m512 c) { return _mm512_fnmadd_ps(a, b, c); }
inline __m512d fnma(__m512d a, __m512d b, __m512d c) { return _mm512_fnmadd_pd(a, b, c); }
inline __m512 sqrt(__m512 a) { return _mm512_sqrt_ps(a); }
inline __m512d sqrt(__m512d a) { return _mm512_sqrt_pd(a); }
inline __m512 abs(__m512 a) { return _mm512_abs_ps(a); }
inline __m512d abs(__m512d a) { return _mm512_abs_pd(a); }
// IEEE max/min of the instruction: the second operand where either is NaN.
inline __m512 max(__m512 a, __m512 b) { return _mm512_max_ps(a, b); }
inline __m512d max(__m512d a, __m512d b) { return _mm512_max_pd(a, b); }
inline __m512 min(__m512 a, __m512 b) { return _mm512_min_ps(a, b); }
inline __m512d min(__m512d a, __m512d b) { return _mm512_min_pd(a, b); }
// Selected lanes get a + b (or a / b), the others keep src.
inline __m512 add(__m512 src, __mmask16 m, __m512 a, __m512 b) { return _mm512_mask_add_ps(src, m, a, b); }
inline __m512d add(__m512d src, __mmask8 m, __m512d a, __m512d b) { return _mm512_mask_add_pd(src, m, a, b); }
inline __m512 mul(__m512 src, __mmask16 m, __m512 a, __m512 b) { return _mm512_mask_mul_ps(src, m, a, b); }
inline __m512d mul(__m512d src, __mmask8 m, __m512d a, __m512d b) { return _mm512_mask_mul_pd(src, m, a, b); }
inline __m512 div(__m512 src, __mmask16 m, __m512 a, __m512 b) { return _mm512_mask_div_ps(src, m, a, b); }
inline __m512d div(__m512d src, __mmask8 m, __m512d a, __m512d b) { return _mm512_mask_div_pd(src, m, a, b); }
// Selected lanes get a - b, the others zero.
inline __m512 sub_zero(__mmask16 m, __m512 a, __m512 b) { return _mm512_maskz_sub_ps(m, a, b); }
inline __m512d sub_zero(__mmask8 m, __m512d a, __m512d b) { return _mm512_maskz_sub_pd(m, a, b); }

inline float add(float a, float b) { return a + b; }
inline double add(double a, double b) { return a + b; }
inline float sub(float a, float b) { return a - b; }
inline double sub(double a, double b) { return a - b; }
inline float mul(float a, float b) { return a * b; }
inline double mul(double a, double b) { return a * b; }
inline float div(float a, float b) { return a / b; }
inline double div(double a, double b) { return a / b; }
inline float fma(float a, float b, float c) { return std::fma(a, b, c); }
inline float fnma(float a, float b, float c) { return std::fma(-a, b, c); }
inline double fnma(double a, double b, double c) { return std::fma(-a, b, c); }
inline float sqrt(float a) { return std::sqrt(a); }
inline double sqrt(double a) { return std::sqrt(a); }
inline double fma(double a, double b, double c) { return std::fma(a, b, c); }
inline float fms(float a, float b, float c) { return std::fma(a, b, -c); }
inline double fms(double a, double b, double c) { return std::fma(a, b, -c); }

// ---- arithmetic with an explicit rounding, exceptions suppressed ----------------------------
inline __m512 add_quiet(__m512 a, __m512 b) { return _mm512_add_round_ps(a, b, kNearestQuiet); }
inline __m512d add_quiet(__m512d a, __m512d b) { return _mm512_add_round_pd(a, b, kNearestQuiet); }
inline __m512 sub_quiet(__m512 a, __m512 b) { return _mm512_sub_round_ps(a, b, kNearestQuiet); }
inline __m512d sub_quiet(__m512d a, __m512d b) { return _mm512_sub_round_pd(a, b, kNearestQuiet); }
inline __m512 mul_quiet(__m512 a, __m512 b) { return _mm512_mul_round_ps(a, b, kNearestQuiet); }
inline __m512d mul_quiet(__m512d a, __m512d b) { return _mm512_mul_round_pd(a, b, kNearestQuiet); }
inline __m512 div_quiet(__m512 a, __m512 b) { return _mm512_div_round_ps(a, b, kNearestQuiet); }
inline __m512d div_quiet(__m512d a, __m512d b) { return _mm512_div_round_pd(a, b, kNearestQuiet); }
inline __m512 fma_quiet(__m512 a, __m512 b, __m512 c) { return _mm512_fmadd_round_ps(a, b, c, kNearestQuiet); }
inline __m512d fma_quiet(__m512d a, __m512d b, __m512d c) { return _mm512_fmadd_round_pd(a, b, c, kNearestQuiet); }
inline __m512 fnma_quiet(__m512 a, __m512 b, __m512 c) { return _mm512_fnmadd_round_ps(a, b, c, kNearestQuiet); }
inline __m512d fnma_quiet(__m512d a, __m512d b, __m512d c) { return _mm512_fnmadd_round_pd(a, b, c, kNearestQuiet); }
// Scalar callouts run under the kernel's control word, which rounds to nearest.
inline float add_quiet(float a, float b) { return a + b; }
inline double add_quiet(double a, double b) { return a + b; }
inline float sub_quiet(float a, float b) { return a - b; }
inline double sub_quiet(double a, double b) { return a - b; }
inline float mul_quiet(float a, float b) { return a * b; }
inline double mul_quiet(double a, double b) { return a * b; }
inline float fma_quiet(float a, float b, float c) { return std::fma(a, b, c); }
inline double fma_quiet(double a, double b, double c) { return std::fma(a, b, c); }
// a*b + c rounded toward zero: with a shifter as c, truncates a*b onto the shifter's grid.
inline __m512 fma_toward_zero(__m512 a, __m512 b, __m512 c) {
  return _mm512_fmadd_round_ps(a, b, c, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
}
inline __m512d fma_toward_zero(__m512d a, __m512d b, __m512d c) {
  return _mm512_fmadd_round_pd(a, b, c, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
}
inline __m512 add_toward_minus_inf(__m512 a, __m512 b) {
  return _mm512_add_round_ps(a, b, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
}
inline __m512d add_toward_minus_inf(__m512d a, __m512d b) {
  return _mm512_add_round_pd(a, b, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
}

// ---- comparisons (ordered unless the name says otherwise) ------------------------------------
inline __mmask16 less(__m512 a, __m512 b) { return _mm512_cmp_ps_mask(a, b, _CMP_LT_OQ); }
inline __mmask8 less(__m512d a, __m512d b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
inline __mmask16 less_equal(__m512 a, __m512 b) { return _mm512_cmp_ps_mask(a, b, _CMP_LE_OQ); }
inline __mmask8 less_equal(__m512d a, __m512d b) { return _mm512_cmp_pd_mask(a, b, _CMP_LE_OQ); }
inline __mmask16 greater_equal(__m512 a, __m512 b) { return _mm512_cmp_ps_mask(a, b, _CMP_GE_OQ); }
inline __mmask8 greater_equal(__m512d a, __m512d b) { return _mm512_cmp_pd_mask(a, b, _CMP_GE_OQ); }
inline __mmask16 equal(__m512 a, __m512 b) { return _mm512_cmp_ps_mask(a, b, _CMP_EQ_OQ); }
inline __mmask8 equal(__m512d a, __m512d b) { return _mm512_cmp_pd_mask(a, b, _CMP_EQ_OQ); }
// Not equal, or unordered.
inline __mmask16 not_equal(__m512 a, __m512 b) { return _mm512_cmp_ps_mask(a, b, _CMP_NEQ_UQ); }
inline __mmask8 not_equal(__m512d a, __m512d b) { return _mm512_cmp_pd_mask(a, b, _CMP_NEQ_UQ); }
// Not (a <= b): a > b, or unordered.
inline __mmask16 not_less_equal(__m512 a, __m512 b) { return _mm512_cmp_ps_mask(a, b, _CMP_NLE_UQ); }
inline __mmask8 not_less_equal(__m512d a, __m512d b) { return _mm512_cmp_pd_mask(a, b, _CMP_NLE_UQ); }
inline __mmask16 unordered(__m512 a, __m512 b) { return _mm512_cmp_ps_mask(a, b, _CMP_UNORD_Q); }
inline __mmask8 unordered(__m512d a, __m512d b) { return _mm512_cmp_pd_mask(a, b, _CMP_UNORD_Q); }
template <typename V>
inline auto abs_at_least(V v, V bound) {
  return greater_equal(abs(v), bound);
}
template <typename V>
inline auto abs_greater(V v, V bound) {
  return less(bound, abs(v));
}

// ---- selection and bits ---------------------------------------------------------------------
inline __m512 select(__mmask16 m, __m512 if_set, __m512 otherwise) { return _mm512_mask_blend_ps(m, otherwise, if_set); }
inline __m512d select(__mmask8 m, __m512d if_set, __m512d otherwise) { return _mm512_mask_blend_pd(m, otherwise, if_set); }
inline __m512 zero_unless(__mmask16 m, __m512 a) { return _mm512_maskz_mov_ps(m, a); }
inline __m512d zero_unless(__mmask8 m, __m512d a) { return _mm512_maskz_mov_pd(m, a); }
// v, except x itself where x is a zero of either sign: one fixup instruction, for odd functions
// whose sum head + tail gives +0 for -0 (-0 + +0 rounds to +0). Under DAZ a subnormal x counts
// as a zero.
inline __m512 zeros_of(__m512 x, __m512 v) { return _mm512_fixupimm_ps(v, x, _mm512_set1_epi32(0x100), 0); }
inline __m512d zeros_of(__m512d x, __m512d v) { return _mm512_fixupimm_pd(v, x, _mm512_set1_epi64(0x100), 0); }
// Bits of `from_a` where `selector` has a 1 bit, else bits of b.
inline __m512 bit_select(__m512 selector, __m512 from_a, __m512 b) {
  return as_float(_mm512_ternarylogic_epi32(bits(selector), bits(from_a), bits(b), 0xCA));
}
inline __m512d bit_select(__m512d selector, __m512d from_a, __m512d b) {
  return as_double(_mm512_ternarylogic_epi64(bits(selector), bits(from_a), bits(b), 0xCA));
}
template <typename V>
inline V sign_mask() {
  return splat(Elem<V>(-0.0));
}
// The magnitude of `magnitude` with the sign of `sign`.
template <typename V>
inline V copy_sign(V magnitude, V sign) {
  return bit_select(sign_mask<V>(), sign, magnitude);
}
// Clears the given bits of every lane (cheap clamps on a reduced argument).
inline __m512 clear_bits(__m512 v, uint32_t b) {
  return as_float(_mm512_andnot_si512(_mm512_set1_epi32(static_cast<int>(b)), bits(v)));
}
inline __m512d clear_bits(__m512d v, uint64_t b) {
  return as_double(_mm512_andnot_si512(_mm512_set1_epi64(static_cast<long long>(b)), bits(v)));
}
inline __m512 flip_bits(__m512 v, uint32_t b) {
  return as_float(_mm512_xor_si512(_mm512_set1_epi32(static_cast<int>(b)), bits(v)));
}
inline __m512d flip_bits(__m512d v, uint64_t b) {
  return as_double(_mm512_xor_si512(_mm512_set1_epi64(static_cast<long long>(b)), bits(v)));
}

// fpclass categories, OR-ed: 0x01 QNaN, 0x02 +0, 0x04 -0, 0x08 +inf, 0x10 -inf, 0x20 denormal,
// 0x40 negative finite, 0x80 SNaN.
template <int kCategories>
inline __mmask16 classify(__m512 a) {
  return _mm512_fpclass_ps_mask(a, kCategories);
}
template <int kCategories>
inline __mmask8 classify(__m512d a) {
  return _mm512_fpclass_pd_mask(a, kCategories);
}
inline constexpr int kClassQuietNaN = 0x01, kClassPlusZero = 0x02, kClassMinusZero = 0x04,
                     kClassPlusInf = 0x08, kClassMinusInf = 0x10, kClassDenormal = 0x20,
                     kClassNegative = 0x40, kClassSignalingNaN = 0x80;
inline constexpr int kClassZero = kClassPlusZero | kClassMinusZero;
inline constexpr int kClassInf = kClassPlusInf | kClassMinusInf;
inline constexpr int kClassNaN = kClassQuietNaN | kClassSignalingNaN;

// r, except where x or y is a NaN: there the NaN a two-argument function passes on, x's if x is
// one and else y's, quieted. Written out rather than as add(x, y): the compiler may commute that
// sum, and which payload came back would then depend on how each copy of the code was compiled.
template <typename V>
inline V pass_nan(V x, V y, V r) {
  const auto x_nan = classify<kClassNaN>(x);
  return select(x_nan | classify<kClassNaN>(y), select(x_nan, add(x, x), add(y, y)), r);
}

// ---- exponent and mantissa ------------------------------------------------------------------
// v * 2^floor(k): overflow to infinity and gradual underflow come with the instruction.
inline __m512 scale_by_pow2(__m512 v, __m512 k) { return _mm512_scalef_round_ps(v, k, _MM_FROUND_CUR_DIRECTION); }
inline __m512d scale_by_pow2(__m512d v, __m512d k) { return _mm512_scalef_round_pd(v, k, _MM_FROUND_CUR_DIRECTION); }
// floor(log2|v|) as a floating value, exact for subnormals; -inf for zero, +inf for infinities.
inline __m512 exponent_of(__m512 v) { return _mm512_getexp_round_ps(v, _MM_FROUND_NO_EXC); }
inline __m512d exponent_of(__m512d v) { return _mm512_getexp_round_pd(v, _MM_FROUND_NO_EXC); }
// The mantissa of v normalised to [1, 2) or [0.75, 1.5); a negative v gives NaN.
inline __m512 mantissa_1_2(__m512 v) {
  return _mm512_getmant_round_ps(v, _MM_MANT_NORM_1_2, _MM_MANT_SIGN_nan, _MM_FROUND_NO_EXC);
}
inline __m512d mantissa_1_2(__m512d v) {
  return _mm512_getmant_round_pd(v, _MM_MANT_NORM_1_2, _MM_MANT_SIGN_nan, _MM_FROUND_NO_EXC);
}
inline __m512 mantissa_p75_1p5(__m512 v) {
  return _mm512_getmant_round_ps(v, _MM_MANT_NORM_p75_1p5, _MM_MANT_SIGN_nan, _MM_FROUND_NO_EXC);
}
inline __m512d mantissa_p75_1p5(__m512d v) {
  return _mm512_getmant_round_pd(v, _MM_MANT_NORM_p75_1p5, _MM_MANT_SIGN_nan, _MM_FROUND_NO_EXC);
}
// 14-bit reciprocal estimate (relative error below 2^-14).
inline __m512 reciprocal_estimate(__m512 v) { return _mm512_rcp14_ps(v); }
inline __m512d reciprocal_estimate(__m512d v) { return _mm512_rcp14_pd(v); }
// 14-bit estimate of 1/sqrt(v) (relative error below 2^-14) for positive normal v.
inline __m512 reciprocal_sqrt_estimate(__m512 v) { return _mm512_rsqrt14_ps(v); }
inline __m512d reciprocal_sqrt_estimate(__m512d v) { return _mm512_rsqrt14_pd(v); }
// Round to an integral value in the given direction (_MM_FROUND_TO_*), no exception raised.
template <int kDirection>
inline __m512 round_integral(__m512 a) {
  return _mm512_roundscale_ps(a, kDirection | _MM_FROUND_NO_EXC);
}
template <int kDirection>
inline __m512d round_integral(__m512d a) {
  return _mm512_roundscale_pd(a, kDirection | _MM_FROUND_NO_EXC);
}
// v rounded to kBits fraction bits, to nearest / toward zero.
template <int kBits>
inline __m512 round_to_fraction_bits(__m512 v) {
  return _mm512_roundscale_round_ps(v, (kBits << 4) | _MM_FROUND_TO_NEAREST_INT, _MM_FROUND_NO_EXC);
}
template <int kBits>
inline __m512d round_to_fraction_bits(__m512d v) {
  return _mm512_roundscale_round_pd(v, (kBits << 4) | _MM_FROUND_TO_NEAREST_INT, _MM_FROUND_NO_EXC);
}
template <int kBits>
inline __m512 truncate_to_fraction_bits(__m512 v) {
  return _mm512_roundscale_round_ps(v, (kBits << 4) | _MM_FROUND_TO_ZERO, _MM_FROUND_NO_EXC);
}
template <int kBits>
inline __m512d truncate_to_fraction_bits(__m512d v) {
  return _mm512_roundscale_round_pd(v, (kBits << 4) | _MM_FROUND_TO_ZERO, _MM_FROUND_NO_EXC);
}
// v - floor(v * 2^kBits) / 2^kBits, exactly.
template <int kBits>
inline __m512 fraction_below_grid(__m512 v) {
  return _mm512_reduce_round_ps(v, (kBits << 4) | _MM_FROUND_TO_NEG_INF, _MM_FROUND_NO_EXC);
}
template <int kBits>
inline __m512d fraction_below_grid(__m512d v) {
  return _mm512_reduce_round_pd(v, (kBits << 4) | _MM_FROUND_TO_NEG_INF, _MM_FROUND_NO_EXC);
}

// ---- in-register tables ---------------------------------------------------------------------
// table[idx & (N - 1)] per lane, for tables of one or two registers (16 or 32 floats, 8 or 16
// doubles), read by a register permute. The index is taken from the low bits of each lane of
// idx (32-bit lanes for float, 64-bit for double); higher bits are ignored.
template <size_t N>
inline __m512 lookup(__m512i idx, const float (&table)[N]) {
  static_assert(N == 16 || N == 32);
  if constexpr (N == 16) return _mm512_permutexvar_ps(idx, _mm512_loadu_ps(table));
  else return _mm512_permutex2var_ps(_mm512_loadu_ps(table), idx, _mm512_loadu_ps(table + 16));
}
template <size_t N>
inline __m512d lookup(__m512i idx, const double (&table)[N]) {
  static_assert(N == 8 || N == 16);
  if constexpr (N == 8) return _mm512_permutexvar_pd(idx, _mm512_loadu_pd(table));
  else return _mm512_permutex2var_pd(_mm512_loadu_pd(table), idx, _mm512_loadu_pd(table + 8));
}

// v's lanes in the order idx gives: lane i of the result is v[idx[i]] (32-bit indices for float,
// 64-bit for double).
inline __m512 permute(__m512i idx, __m512 v) { return _mm512_permutexvar_ps(idx, v); }
inline __m512d permute(__m512i idx, __m512d v) { return _mm512_permutexvar_pd(idx, v); }

// ---- integer images ----------------------------------------------------------------------------
// Lane-width-dependent operations on __m512i, the width chosen by the element type T.
template <typename T>
inline __m512i isplat(UintOf<T> k) {
  if constexpr (sizeof(T) == 4) return _mm512_set1_epi32(static_cast<int32_t>(k));
  else return _mm512_set1_epi64(static_cast<int64_t>(k));
}
template <typename T>
inline __m512i iadd(__m512i a, __m512i b) {
  if constexpr (sizeof(T) == 4) return _mm512_add_epi32(a, b);
  else return _mm512_add_epi64(a, b);
}
// Selected lanes get a + k, the others keep a.
template <typename T>
inline __m512i iadd(Mask<T> m, __m512i a, int64_t k) {
  if constexpr (sizeof(T) == 4) return _mm512_mask_add_epi32(a, m, a, _mm512_set1_epi32(static_cast<int32_t>(k)));
  else return _mm512_mask_add_epi64(a, m, a, _mm512_set1_epi64(k));
}
template <typename T>
inline __m512i imax(__m512i a, __m512i b) {
  if constexpr (sizeof(T) == 4) return _mm512_max_epi32(a, b);
  else return _mm512_max_epi64(a, b);
}
template <typename T>
inline __m512i imin(__m512i a, __m512i b) {
  if constexpr (sizeof(T) == 4) return _mm512_min_epi32(a, b);
  else return _mm512_min_epi64(a, b);
}
template <typename T>
inline Mask<T> iless(__m512i a, __m512i b) {
  if constexpr (sizeof(T) == 4) return _mm512_cmplt_epi32_mask(a, b);
  else return _mm512_cmplt_epi64_mask(a, b);
}
template <typename T>
inline Mask<T> iequal(__m512i a, __m512i b) {
  if constexpr (sizeof(T) == 4) return _mm512_cmpeq_epi32_mask(a, b);
  else return _mm512_cmpeq_epi64_mask(a, b);
}
template <typename T>
inline __m512i iselect(Mask<T> m, __m512i if_set, __m512i otherwise) {
  if constexpr (sizeof(T) == 4) return _mm512_mask_blend_epi32(m, otherwise, if_set);
  else return _mm512_mask_blend_epi64(m, otherwise, if_set);
}
template <int kShift, typename T>
inline __m512i shift_right(__m512i a) {  // logical
  if constexpr (sizeof(T) == 4) return _mm512_srli_epi32(a, kShift);
  else return _mm512_srli_epi64(a, kShift);
}
template <int kShift, typename T>
inline __m512i shift_left(__m512i a) {
  if constexpr (sizeof(T) == 4) return _mm512_slli_epi32(a, kShift);
  else return _mm512_slli_epi64(a, kShift);
}
inline __m512i bit_and(__m512i a, __m512i b) { return _mm512_and_si512(a, b); }
inline __m512d bit_and(__m512d a, __m512d b) { return _mm512_and_pd(a, b); }
inline __m512d bit_or(__m512d a, __m512d b) { return _mm512_or_pd(a, b); }
inline __m512i bit_or(__m512i a, __m512i b) { return _mm512_or_si512(a, b); }
inline __m512i bit_xor(__m512i a, __m512i b) { return _mm512_xor_si512(a, b); }

// Integer images ordered like the values they represent, -NaN < -inf < ... < -0 < +0 < ... <
// +inf < +NaN: negative patterns have their magnitude bits flipped. The map is its own inverse.
inline __m512i ordered_image(__m512 a) {
  const __m512i b = bits(a);
  return _mm512_xor_si512(b, _mm512_srli_epi32(_mm512_srai_epi32(b, 31), 1));
}
inline __m512i ordered_image(__m512d a) {
  const __m512i b = bits(a);
  return _mm512_xor_si512(b, _mm512_srli_epi64(_mm512_srai_epi64(b, 63), 1));
}
template <typename V>
inline V from_ordered_image(__m512i k) {
  if constexpr (std::is_same_v<V, __m512>)
    return as_float(_mm512_xor_si512(k, _mm512_srli_epi32(_mm512_srai_epi32(k, 31), 1)));
  else return as_double(_mm512_xor_si512(k, _mm512_srli_epi64(_mm512_srai_epi64(k, 63), 1)));
}
template <typename V>
inline __m512i magnitude_image(V a) {
  return bits(abs(a));
}

// ---- moving lanes ---------------------------------------------------------------------------
// Lane i of the result is lane i + k of lo and hi laid end to end (lo first): k = 1 moves every
// lane of lo one place down and brings lane 0 of hi in at the top; k = kLanes - 1 gives the
// lane before each lane of hi, lane 0 taking the last lane of lo.
template <int k>
inline __m512 lanes_from(__m512 lo, __m512 hi) {
  return as_float(_mm512_alignr_epi32(bits(hi), bits(lo), k));
}
template <int k>
inline __m512d lanes_from(__m512d lo, __m512d hi) {
  return as_double(_mm512_alignr_epi64(bits(hi), bits(lo), k));
}
// The value of one lane.
template <int k>
inline double lane(__m512d v) {
  return _mm512_cvtsd_f64(_mm512_permutexvar_pd(_mm512_set1_epi64(k), v));
}
template <int k>
inline float lane(__m512 v) {
  return _mm512_cvtss_f32(_mm512_permutexvar_ps(_mm512_set1_epi32(k), v));
}

// ---- pairs spread over two registers ---------------------------------------------------------
// lo and hi laid end to end hold pairs (x0, y0, x1, y1, ...): even_lanes gives x0 x1 ..., odd_lanes
// y0 y1 ... (one register each). interleave_low and interleave_high are the way back: the pairs
// (a_i, b_i) of the low and of the high half of the lanes.
namespace detail {
template <typename V>
inline __m512i pair_index(int first, int step) {
  if constexpr (std::is_same_v<V, __m512>) {
    alignas(64) int32_t idx[16];
    for (int i = 0; i < 16; ++i) idx[i] = first + step * i;
    return _mm512_load_si512(idx);
  } else {
    alignas(64) int64_t idx[8];
    for (int i = 0; i < 8; ++i) idx[i] = first + step * i;
    return _mm512_load_si512(idx);
  }
}
template <typename V>
inline __m512i zip_index(int half) {
  constexpr int n = std::is_same_v<V, __m512> ? 16 : 8;
  if constexpr (n == 16) {
    alignas(64) int32_t idx[16];
    for (int i = 0; i < 16; ++i) idx[i] = (i & 1 ? n : 0) + half * n / 2 + i / 2;
    return _mm512_load_si512(idx);
  } else {
    alignas(64) int64_t idx[8];
    for (int i = 0; i < 8; ++i) idx[i] = (i & 1 ? n : 0) + half * n / 2 + i / 2;
    return _mm512_load_si512(idx);
  }
}
}  // namespace detail
inline __m512 even_lanes(__m512 lo, __m512 hi) { return _mm512_permutex2var_ps(lo, detail::pair_index<__m512>(0, 2), hi); }
inline __m512d even_lanes(__m512d lo, __m512d hi) { return _mm512_permutex2var_pd(lo, detail::pair_index<__m512d>(0, 2), hi); }
inline __m512 odd_lanes(__m512 lo, __m512 hi) { return _mm512_permutex2var_ps(lo, detail::pair_index<__m512>(1, 2), hi); }
inline __m512d odd_lanes(__m512d lo, __m512d hi) { return _mm512_permutex2var_pd(lo, detail::pair_index<__m512d>(1, 2), hi); }
inline __m512 interleave_low(__m512 a, __m512 b) { return _mm512_permutex2var_ps(a, detail::zip_index<__m512>(0), b); }
inline __m512d interleave_low(__m512d a, __m512d b) { return _mm512_permutex2var_pd(a, detail::zip_index<__m512d>(0), b); }
inline __m512 interleave_high(__m512 a, __m512 b) { return _mm512_permutex2var_ps(a, detail::zip_index<__m512>(1), b); }
inline __m512d interleave_high(__m512d a, __m512d b) { return _mm512_permutex2var_pd(a, detail::zip_index<__m512d>(1), b); }

// ---- packing lanes ----------------------------------------------------------------------------
// The lanes of v that m selects, moved in order to the lowest lanes (the others zero): with an
// unmasked store and a count, a filter that appends the selected values to a buffer.
inline __m512 compress(__mmask16 m, __m512 v) { return _mm512_maskz_compress_ps(m, v); }
inline __m512d compress(__mmask8 m, __m512d v) { return _mm512_maskz_compress_pd(m, v); }
// The first k lanes that m selects (all of them when it selects k or fewer).
template <typename M>
inline M first_selected(M m, int k) {
  return static_cast<M>(_pdep_u32(k >= 16 ? 0xFFFFu : (1u << k) - 1u, m));
}
// Bit i of `bits` to the i-th lane that m selects (the way back from compress for masks).
template <typename M>
inline M deposit(uint32_t bits, M m) {
  return static_cast<M>(_pdep_u32(bits, m));
}
// How many lanes a mask selects.
inline int count_lanes(__mmask16 m) { return __builtin_popcount(m); }
inline int count_lanes(__mmask8 m) { return __builtin_popcount(m); }

// ---- horizontal -----------------------------------------------------------------------------
inline float reduce_add(__m512 v) { return _mm512_reduce_add_ps(v); }
inline double reduce_add(__m512d v) { return _mm512_reduce_add_pd(v); }
inline double reduce_min(__m512d v) { return _mm512_reduce_min_pd(v); }
inline double reduce_max(__m512d v) { return _mm512_reduce_max_pd(v); }
inline float reduce_min(__m512 v) { return _mm512_reduce_min_ps(v); }
inline float reduce_max(__m512 v) { return _mm512_reduce_max_ps(v); }

}  // namespace zorp::simd
