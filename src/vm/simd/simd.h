// A thin, named layer over the AVX-512 intrinsics the kernels use, generic over the element
// type so that one kernel template serves single and double precision. It wraps only what
// kernels need; each name says what the instruction does for a reader of kernel code.
#pragma once
#include <immintrin.h>

#include <cstdint>

namespace zorp::simd {

template <typename T>
struct Simd;

template <>
struct Simd<float> {
  using T = float;
  using V = __m512;
  using VI = __m512i;  // gather offsets
  using VB = __m512i;  // integer image of a vector
  using M = __mmask16;
  using Int = int32_t;
  static constexpr int kLanes = 16;

  static M first_lanes(uint32_t count) {  // mask of the low min(count, 16) lanes
    return count >= 16 ? M(0xFFFF) : M((1u << count) - 1u);
  }
  static V broadcast(T x) { return _mm512_set1_ps(x); }
  static V load(const T* p) { return _mm512_loadu_ps(p); }
  static V load_or(M m, const T* p, V fill) { return _mm512_mask_loadu_ps(fill, m, p); }
  static void store(T* p, V v) { _mm512_storeu_ps(p, v); }
  static void store(T* p, M m, V v) { _mm512_mask_storeu_ps(p, m, v); }
  static VI lane_offsets(int32_t inc) {  // i * inc for lanes i = 0..15
    return _mm512_mullo_epi32(_mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15),
                              _mm512_set1_epi32(inc));
  }
  static V gather(M m, const T* base, VI offsets, V fill) {
    return _mm512_mask_i32gather_ps(fill, m, offsets, base, 4);
  }
  static void scatter(M m, T* base, VI offsets, V v) { _mm512_mask_i32scatter_ps(base, m, offsets, v, 4); }

  static V add(V a, V b) { return _mm512_add_ps(a, b); }
  static V sub(V a, V b) { return _mm512_sub_ps(a, b); }
  static V mul(V a, V b) { return _mm512_mul_ps(a, b); }
  static V div(V a, V b) { return _mm512_div_ps(a, b); }
  static V fma(V a, V b, V c) { return _mm512_fmadd_ps(a, b, c); }
  static V abs(V a) { return _mm512_abs_ps(a); }
  static M less(V a, V b) { return _mm512_cmp_ps_mask(a, b, _CMP_LT_OQ); }
  static M not_less_equal_unordered(V a, V b) { return _mm512_cmp_ps_mask(a, b, _CMP_NLE_UQ); }
  static V select(M m, V if_set, V otherwise) { return _mm512_mask_blend_ps(m, otherwise, if_set); }
  // ---- used by the arithmetic and rounding kernels ----------------------------------------
  static constexpr int kQuiet = _MM_FROUND_NO_EXC;
  static VB bits(V a) { return _mm512_castps_si512(a); }
  static V from_bits(VB a) { return _mm512_castsi512_ps(a); }
  static V sqrt(V a) { return _mm512_sqrt_ps(a); }
  static V reciprocal_estimate(V a) { return _mm512_rcp14_ps(a); }  // relative error < 2^-14
  static V fnma(V a, V b, V c) { return _mm512_fnmadd_ps(a, b, c); }  // c - a*b, one rounding
  // a + b rounded to nearest with every exception suppressed (quiets a signalling NaN).
  static V add_quiet(V a, V b) { return _mm512_add_round_ps(a, b, _MM_FROUND_TO_NEAREST_INT | kQuiet); }
  static V sub_quiet(V a, V b) { return _mm512_sub_round_ps(a, b, _MM_FROUND_TO_NEAREST_INT | kQuiet); }
  static V mul_quiet(V a, V b) { return _mm512_mul_round_ps(a, b, _MM_FROUND_TO_NEAREST_INT | kQuiet); }
  static V div_quiet(V a, V b) { return _mm512_div_round_ps(a, b, _MM_FROUND_TO_NEAREST_INT | kQuiet); }
  static V fnma_quiet(V a, V b, V c) { return _mm512_fnmadd_round_ps(a, b, c, _MM_FROUND_TO_NEAREST_INT | kQuiet); }
  static V masked_div(V src, M m, V a, V b) { return _mm512_mask_div_ps(src, m, a, b); }
  static V zero_unless(M m, V a) { return _mm512_maskz_mov_ps(m, a); }
  // Round to an integral value in the given direction, no exception raised.
  template <int kDirection>
  static V round_integral(V a) { return _mm512_roundscale_ps(a, kDirection | kQuiet); }
  // floor(log2|a|) as a float: -inf for 0, +inf for inf, NaN for NaN.
  static V exponent_of(V a) { return _mm512_getexp_ps(a); }
  // Bits of `from_a` where `select` is set, else of b (bitwise select).
  static V bit_select(V select, V from_a, V b) {
    return from_bits(_mm512_ternarylogic_epi32(bits(select), bits(from_a), bits(b), 0xCA));
  }
  static V sign_mask() { return _mm512_set1_ps(-0.0f); }
  static M equal(V a, V b) { return _mm512_cmp_ps_mask(a, b, _CMP_EQ_OQ); }
  static M unordered(V a, V b) { return _mm512_cmp_ps_mask(a, b, _CMP_UNORD_Q); }
  static M less_equal(V a, V b) { return _mm512_cmp_ps_mask(a, b, _CMP_LE_OQ); }
  // Integer images ordered like the values they represent, -NaN < -inf < ... < -0 < +0 < ... <
  // +inf < +NaN: negative patterns have their magnitude bits flipped. The map is its own inverse.
  static VB ordered_image(V a) {
    const VB b = bits(a);
    return _mm512_xor_si512(b, _mm512_srli_epi32(_mm512_srai_epi32(b, 31), 1));
  }
  static V from_ordered_image(VB k) {
    return from_bits(_mm512_xor_si512(k, _mm512_srli_epi32(_mm512_srai_epi32(k, 31), 1)));
  }
  static VB max_int(VB a, VB b) { return _mm512_max_epi32(a, b); }
  static VB min_int(VB a, VB b) { return _mm512_min_epi32(a, b); }
  static M less_int(VB a, VB b) { return _mm512_cmplt_epi32_mask(a, b); }
  static M equal_int(VB a, VB b) { return _mm512_cmpeq_epi32_mask(a, b); }
  static VB add_int(M m, VB a, Int k) { return _mm512_mask_add_epi32(a, m, a, _mm512_set1_epi32(k)); }
  static VB select_int(M m, VB if_set, VB otherwise) { return _mm512_mask_blend_epi32(m, otherwise, if_set); }
  static VB magnitude_image(V a) { return bits(_mm512_abs_ps(a)); }
};

template <>
struct Simd<double> {
  using T = double;
  using V = __m512d;
  using VI = __m256i;  // 32-bit lane offsets for gathers
  using M = __mmask8;
  using Int = int64_t;
  static constexpr int kLanes = 8;

  static M first_lanes(uint32_t count) { return count >= 8 ? M(0xFF) : M((1u << count) - 1u); }
  static V broadcast(T x) { return _mm512_set1_pd(x); }
  static V load(const T* p) { return _mm512_loadu_pd(p); }
  static V load_or(M m, const T* p, V fill) { return _mm512_mask_loadu_pd(fill, m, p); }
  static void store(T* p, V v) { _mm512_storeu_pd(p, v); }
  static void store(T* p, M m, V v) { _mm512_mask_storeu_pd(p, m, v); }
  static VI lane_offsets(int32_t inc) {
    return _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32(inc));
  }
  static V gather(M m, const T* base, VI offsets, V fill) {
    return _mm512_mask_i32gather_pd(fill, m, offsets, base, 8);
  }
  static void scatter(M m, T* base, VI offsets, V v) { _mm512_mask_i32scatter_pd(base, m, offsets, v, 8); }

  static V add(V a, V b) { return _mm512_add_pd(a, b); }
  static V sub(V a, V b) { return _mm512_sub_pd(a, b); }
  static V mul(V a, V b) { return _mm512_mul_pd(a, b); }
  static V div(V a, V b) { return _mm512_div_pd(a, b); }
  static V fma(V a, V b, V c) { return _mm512_fmadd_pd(a, b, c); }
  static V abs(V a) { return _mm512_abs_pd(a); }
  static M less(V a, V b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
  static M not_less_equal_unordered(V a, V b) { return _mm512_cmp_pd_mask(a, b, _CMP_NLE_UQ); }
  static V select(M m, V if_set, V otherwise) { return _mm512_mask_blend_pd(m, otherwise, if_set); }
  // ---- used by the arithmetic and rounding kernels ----------------------------------------
  static constexpr int kQuiet = _MM_FROUND_NO_EXC;
  using VB = __m512i;  // integer image of a vector
  static VB bits(V a) { return _mm512_castpd_si512(a); }
  static V from_bits(VB a) { return _mm512_castsi512_pd(a); }
  static V sqrt(V a) { return _mm512_sqrt_pd(a); }
  static V reciprocal_estimate(V a) { return _mm512_rcp14_pd(a); }  // relative error < 2^-14
  static V fnma(V a, V b, V c) { return _mm512_fnmadd_pd(a, b, c); }  // c - a*b, one rounding
  // a + b rounded to nearest with every exception suppressed (quiets a signalling NaN).
  static V add_quiet(V a, V b) { return _mm512_add_round_pd(a, b, _MM_FROUND_TO_NEAREST_INT | kQuiet); }
  static V sub_quiet(V a, V b) { return _mm512_sub_round_pd(a, b, _MM_FROUND_TO_NEAREST_INT | kQuiet); }
  static V mul_quiet(V a, V b) { return _mm512_mul_round_pd(a, b, _MM_FROUND_TO_NEAREST_INT | kQuiet); }
  static V div_quiet(V a, V b) { return _mm512_div_round_pd(a, b, _MM_FROUND_TO_NEAREST_INT | kQuiet); }
  static V fnma_quiet(V a, V b, V c) { return _mm512_fnmadd_round_pd(a, b, c, _MM_FROUND_TO_NEAREST_INT | kQuiet); }
  static V masked_div(V src, M m, V a, V b) { return _mm512_mask_div_pd(src, m, a, b); }
  static V zero_unless(M m, V a) { return _mm512_maskz_mov_pd(m, a); }
  // Round to an integral value in the given direction, no exception raised.
  template <int kDirection>
  static V round_integral(V a) { return _mm512_roundscale_pd(a, kDirection | kQuiet); }
  // floor(log2|a|) as a double: -inf for 0, +inf for inf, NaN for NaN.
  static V exponent_of(V a) { return _mm512_getexp_pd(a); }
  // Bits of `from_a` where `select` is set, else of b (bitwise select).
  static V bit_select(V select, V from_a, V b) {
    return from_bits(_mm512_ternarylogic_epi64(bits(select), bits(from_a), bits(b), 0xCA));
  }
  static V sign_mask() { return _mm512_set1_pd(-0.0); }
  static M equal(V a, V b) { return _mm512_cmp_pd_mask(a, b, _CMP_EQ_OQ); }
  static M unordered(V a, V b) { return _mm512_cmp_pd_mask(a, b, _CMP_UNORD_Q); }
  static M less_equal(V a, V b) { return _mm512_cmp_pd_mask(a, b, _CMP_LE_OQ); }
  // Integer images ordered like the values they represent, -NaN < -inf < ... < -0 < +0 < ... <
  // +inf < +NaN: negative patterns have their magnitude bits flipped. The map is its own inverse.
  static VB ordered_image(V a) {
    const VB b = bits(a);
    return _mm512_xor_si512(b, _mm512_srli_epi64(_mm512_srai_epi64(b, 63), 1));
  }
  static V from_ordered_image(VB k) {
    return from_bits(_mm512_xor_si512(k, _mm512_srli_epi64(_mm512_srai_epi64(k, 63), 1)));
  }
  static VB max_int(VB a, VB b) { return _mm512_max_epi64(a, b); }
  static VB min_int(VB a, VB b) { return _mm512_min_epi64(a, b); }
  static M less_int(VB a, VB b) { return _mm512_cmplt_epi64_mask(a, b); }
  static M equal_int(VB a, VB b) { return _mm512_cmpeq_epi64_mask(a, b); }
  static VB add_int(M m, VB a, Int k) { return _mm512_mask_add_epi64(a, m, a, _mm512_set1_epi64(k)); }
  static VB select_int(M m, VB if_set, VB otherwise) { return _mm512_mask_blend_epi64(m, otherwise, if_set); }
  static VB magnitude_image(V a) { return bits(_mm512_abs_pd(a)); }
};

// fpclass needs its category set as an immediate, hence a template on the value. Categories:
// 0x01 QNaN, 0x02 +0, 0x04 -0, 0x08 +inf, 0x10 -inf, 0x20 denormal, 0x40 negative finite,
// 0x80 SNaN.
template <int kCategories>
inline __mmask16 classify(__m512 a) {
  return _mm512_fpclass_ps_mask(a, kCategories);
}
template <int kCategories>
inline __mmask8 classify(__m512d a) {
  return _mm512_fpclass_pd_mask(a, kCategories);
}

}  // namespace zorp::simd
