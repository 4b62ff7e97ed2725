// Named wrappers for the AVX-512 instructions the exponential and logarithm kernels use,
// overloaded on the vector type so one kernel template serves float and double. Each wrapper
// says what the instruction does; rounding-mode variants suppress exceptions, because the
// kernels must raise no flag on lanes the callout finishes.
#pragma once
#include <immintrin.h>

#include <cstdint>

namespace zorp::simd {

inline constexpr int kNoExc = _MM_FROUND_NO_EXC;

// ---- bit images ---------------------------------------------------------------------------
inline __m512i bits_of(__m512 v) { return _mm512_castps_si512(v); }
inline __m512i bits_of(__m512d v) { return _mm512_castpd_si512(v); }
inline __m512 floats_of(__m512i v) { return _mm512_castsi512_ps(v); }
inline __m512d doubles_of(__m512i v) { return _mm512_castsi512_pd(v); }

// Clears the given bits of every lane (used as cheap clamps on the reduced argument).
inline __m512 clear_bits(__m512 v, uint32_t mask) {
  return floats_of(_mm512_andnot_si512(_mm512_set1_epi32(static_cast<int>(mask)), bits_of(v)));
}
inline __m512d clear_bits(__m512d v, uint64_t mask) {
  return doubles_of(_mm512_andnot_si512(_mm512_set1_epi64(static_cast<long long>(mask)), bits_of(v)));
}

// ---- arithmetic with an explicit rounding ---------------------------------------------------
// a*b + c rounded toward zero: with a shifter as c, truncates a*b onto the shifter's grid.
inline __m512 fma_toward_zero(__m512 a, __m512 b, __m512 c) {
  return _mm512_fmadd_round_ps(a, b, c, _MM_FROUND_TO_ZERO | kNoExc);
}
inline __m512d fma_toward_zero(__m512d a, __m512d b, __m512d c) {
  return _mm512_fmadd_round_pd(a, b, c, _MM_FROUND_TO_ZERO | kNoExc);
}
inline __m512 add_toward_minus_inf(__m512 a, __m512 b) {
  return _mm512_add_round_ps(a, b, _MM_FROUND_TO_NEG_INF | kNoExc);
}
inline __m512d add_toward_minus_inf(__m512d a, __m512d b) {
  return _mm512_add_round_pd(a, b, _MM_FROUND_TO_NEG_INF | kNoExc);
}
// a*b + c rounded to nearest with exceptions suppressed.
inline __m512 fma_quiet(__m512 a, __m512 b, __m512 c) {
  return _mm512_fmadd_round_ps(a, b, c, _MM_FROUND_TO_NEAREST_INT | kNoExc);
}
inline __m512d fma_quiet(__m512d a, __m512d b, __m512d c) {
  return _mm512_fmadd_round_pd(a, b, c, _MM_FROUND_TO_NEAREST_INT | kNoExc);
}
inline __m512 mul_quiet(__m512 a, __m512 b) { return _mm512_mul_round_ps(a, b, _MM_FROUND_TO_NEAREST_INT | kNoExc); }
inline __m512d mul_quiet(__m512d a, __m512d b) { return _mm512_mul_round_pd(a, b, _MM_FROUND_TO_NEAREST_INT | kNoExc); }
inline __m512 add_quiet(__m512 a, __m512 b) { return _mm512_add_round_ps(a, b, _MM_FROUND_TO_NEAREST_INT | kNoExc); }
inline __m512d add_quiet(__m512d a, __m512d b) { return _mm512_add_round_pd(a, b, _MM_FROUND_TO_NEAREST_INT | kNoExc); }
inline __m512 sub_quiet(__m512 a, __m512 b) { return _mm512_sub_round_ps(a, b, _MM_FROUND_TO_NEAREST_INT | kNoExc); }
inline __m512d sub_quiet(__m512d a, __m512d b) { return _mm512_sub_round_pd(a, b, _MM_FROUND_TO_NEAREST_INT | kNoExc); }

// ---- exponent and mantissa ------------------------------------------------------------------
// v * 2^floor(k): overflow to infinity and gradual underflow come for free.
inline __m512 scale_by_pow2(__m512 v, __m512 k) { return _mm512_scalef_round_ps(v, k, _MM_FROUND_CUR_DIRECTION); }
inline __m512d scale_by_pow2(__m512d v, __m512d k) { return _mm512_scalef_round_pd(v, k, _MM_FROUND_CUR_DIRECTION); }
// floor(log2|v|) as a floating value, exact for subnormals; -inf for zero.
inline __m512 exponent_of(__m512 v) { return _mm512_getexp_round_ps(v, kNoExc); }
inline __m512d exponent_of(__m512d v) { return _mm512_getexp_round_pd(v, kNoExc); }
// The mantissa of v normalised to [0.75, 1.5) or [1, 2); a negative v gives NaN.
inline __m512 mantissa_p75_1p5(__m512 v) {
  return _mm512_getmant_round_ps(v, _MM_MANT_NORM_p75_1p5, _MM_MANT_SIGN_nan, kNoExc);
}
inline __m512d mantissa_1_2(__m512d v) {
  return _mm512_getmant_round_pd(v, _MM_MANT_NORM_1_2, _MM_MANT_SIGN_nan, kNoExc);
}
// 14-bit reciprocal estimate.
inline __m512 reciprocal_estimate(__m512 v) { return _mm512_rcp14_ps(v); }
inline __m512d reciprocal_estimate(__m512d v) { return _mm512_rcp14_pd(v); }
// v rounded to kBits fraction bits (nearest).
template <int kBits>
inline __m512d round_to_fraction_bits(__m512d v) {
  return _mm512_roundscale_round_pd(v, (kBits << 4) | _MM_FROUND_TO_NEAREST_INT, kNoExc);
}
// v truncated toward zero onto a grid of 2^-kBits.
template <int kBits>
inline __m512 truncate_to_fraction_bits(__m512 v) {
  return _mm512_roundscale_round_ps(v, (kBits << 4) | _MM_FROUND_TO_ZERO, kNoExc);
}
template <int kBits>
inline __m512d truncate_to_fraction_bits(__m512d v) {
  return _mm512_roundscale_round_pd(v, (kBits << 4) | _MM_FROUND_TO_ZERO, kNoExc);
}
// v - floor(v * 2^kBits) / 2^kBits, exactly.
template <int kBits>
inline __m512 fraction_below_grid(__m512 v) {
  return _mm512_reduce_round_ps(v, (kBits << 4) | _MM_FROUND_TO_NEG_INF, kNoExc);
}
template <int kBits>
inline __m512d fraction_below_grid(__m512d v) {
  return _mm512_reduce_round_pd(v, (kBits << 4) | _MM_FROUND_TO_NEG_INF, kNoExc);
}

// ---- in-register tables -----------------------------------------------------------------
// 16 floats in one register, indexed by the low 4 bits of each lane of idx.
inline __m512 lookup16(__m512i idx, __m512 table) { return _mm512_permutexvar_ps(idx, table); }
// 32 floats in two registers, indexed by the low 5 bits.
inline __m512 lookup32(__m512i idx, __m512 lo, __m512 hi) { return _mm512_permutex2var_ps(lo, idx, hi); }
// 16 doubles in two registers, indexed by the low 4 bits of each 64-bit lane.
inline __m512d lookup16(__m512i idx, __m512d lo, __m512d hi) { return _mm512_permutex2var_pd(lo, idx, hi); }

template <typename V, typename T>
inline V load_table(const T* p) {
  if constexpr (sizeof(T) == 4) return _mm512_load_ps(p);
  else return _mm512_load_pd(p);
}

// ---- comparisons --------------------------------------------------------------------------
inline __mmask16 abs_at_least(__m512 v, __m512 bound) {
  return _mm512_cmp_ps_mask(_mm512_abs_ps(v), bound, _CMP_GE_OQ);
}
inline __mmask8 abs_at_least(__m512d v, __m512d bound) {
  return _mm512_cmp_pd_mask(_mm512_abs_pd(v), bound, _CMP_GE_OQ);
}
inline __mmask16 abs_greater(__m512 v, __m512 bound) {
  return _mm512_cmp_ps_mask(_mm512_abs_ps(v), bound, _CMP_GT_OQ);
}
inline __mmask16 not_equal(__m512 a, __m512 b) { return _mm512_cmp_ps_mask(a, b, _CMP_NEQ_UQ); }
inline __mmask8 less_than(__m512d a, __m512d b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }

}  // namespace zorp::simd
