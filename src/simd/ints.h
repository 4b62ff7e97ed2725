// Integer lanes as numbers, for the random generators: what vec.h's integer-image names (isplat,
// iadd, shift_right, ... with float selecting 32-bit and double 64-bit lanes) and u64.h do not
// cover. Sixteen 32-bit words and their halves (__m256i), eight floats of a half register
// (__m256), conversions between integer and floating-point lanes, lane windows of integer
// registers, the stores of a block's first few results, and the 128-bit words of SFMT.
#pragma once
#include "simd/isa.h"

#include <cstddef>
#include <cstdint>

#include "simd/u64.h"
#include "simd/vec.h"

namespace zorp::simd {

// ---- construction and memory ------------------------------------------------------------------
inline __m512i lanes32(const uint32_t (&a)[16]) { return _mm512_loadu_si512(a); }
inline __m512i load(const uint64_t* p) { return _mm512_loadu_si512(p); }
inline __m512i load(const uint32_t* p) { return _mm512_loadu_si512(p); }
inline void store(uint64_t* p, __m512i v) { _mm512_storeu_si512(p, v); }
inline void store(uint32_t* p, __m512i v) { _mm512_storeu_si512(p, v); }
// Selected 32-bit lanes from memory, the others zero (memory of unselected lanes is not read).
inline __m512i load_zero(__mmask16 m, const uint32_t* p) { return _mm512_maskz_loadu_epi32(m, p); }
inline void store(uint32_t* p, __mmask16 m, __m512i v) { _mm512_mask_storeu_epi32(p, m, v); }

// The first `count` (1..8 or 1..16) lanes to memory; the memory of the other lanes is not touched.
inline void store_first(uint64_t* p, __m512i v, int32_t count) {
  _mm512_mask_storeu_epi64(p, first_lanes<double>(static_cast<uint32_t>(count)), v);
}
inline void store_first(uint32_t* p, __m512i v, int32_t count) {
  _mm512_mask_storeu_epi32(p, first_lanes<float>(static_cast<uint32_t>(count)), v);
}
inline void store_first(uint32_t* p, __m256i v, int32_t count) {
  _mm256_mask_storeu_epi32(p, first_lanes<double>(static_cast<uint32_t>(count)), v);
}
inline void store_first(double* p, __m512d v, int32_t count) {
  _mm512_mask_storeu_pd(p, first_lanes<double>(static_cast<uint32_t>(count)), v);
}
inline void store_first(float* p, __m256 v, int32_t count) {
  _mm256_mask_storeu_ps(p, first_lanes<double>(static_cast<uint32_t>(count)), v);
}
// Eight 32-bit words, all or the first `count`, the others zero.
inline __m256i load_first(const uint32_t* p, int32_t count) {
  return _mm256_maskz_loadu_epi32(first_lanes<double>(static_cast<uint32_t>(count)), p);
}

// dst[0 .. bytes) ^= src[0 .. bytes), any alignment and length.
inline void xor_bytes(void* dst, const void* src, size_t bytes) {
  auto* d = static_cast<uint8_t*>(dst);
  const auto* s = static_cast<const uint8_t*>(src);
  size_t k = 0;
  for (; k + 64 <= bytes; k += 64) _mm512_storeu_si512(d + k, _mm512_xor_si512(_mm512_loadu_si512(d + k), _mm512_loadu_si512(s + k)));
  if (k < bytes) {
    const __mmask64 m = _bzhi_u64(~uint64_t{0}, static_cast<uint32_t>(bytes - k));
    _mm512_mask_storeu_epi8(d + k, m, _mm512_xor_si512(_mm512_maskz_loadu_epi8(m, d + k), _mm512_maskz_loadu_epi8(m, s + k)));
  }
}

// ---- arithmetic and bits ----------------------------------------------------------------------
// Lanes with any bit in common with b.
template <typename T>
inline Mask<T> any_bits(__m512i a, __m512i b) {
  if constexpr (sizeof(T) == 4) return _mm512_test_epi32_mask(a, b);
  else return _mm512_test_epi64_mask(a, b);
}
template <typename T>
inline __m512i zero_unless(Mask<T> m, __m512i a) {
  if constexpr (sizeof(T) == 4) return _mm512_maskz_mov_epi32(m, a);
  else return _mm512_maskz_mov_epi64(m, a);
}
// Logical right shift by a count known only at run time.
template <typename T>
inline __m512i shift_right_by(__m512i a, int count) {
  if constexpr (sizeof(T) == 4) return _mm512_srl_epi32(a, _mm_cvtsi32_si128(count));
  else return _mm512_srl_epi64(a, _mm_cvtsi32_si128(count));
}
// Bits of `from_a` where `selector` has a 1 bit, else bits of b; and the XOR of three registers.
inline __m512i bit_select(__m512i selector, __m512i from_a, __m512i b) {
  return _mm512_ternarylogic_epi32(selector, from_a, b, 0xCA);
}
inline __m512i bit_xor3(__m512i a, __m512i b, __m512i c) { return _mm512_ternarylogic_epi32(a, b, c, 0x96); }

// ---- moving lanes ----------------------------------------------------------------------------
// Lane i of the result is lane i + k of lo and hi laid end to end (lo first), for integer lanes of
// the width of T (float: 32-bit, double: 64-bit), as vec.h's lanes_from does for numbers.
template <int k, typename T>
inline __m512i lanes_from(__m512i lo, __m512i hi) {
  if constexpr (sizeof(T) == 4) return _mm512_alignr_epi32(hi, lo, k);
  else return _mm512_alignr_epi64(hi, lo, k);
}

// ---- 32-bit lanes and half registers ------------------------------------------------------------
// 32-bit lane i of the result is lane idx[i] of the 32 lanes (a, b).
inline __m512i permute32(__m512i a, __m512i idx, __m512i b) { return _mm512_permutex2var_epi32(a, idx, b); }
inline __m512i join_halves(__m256i lo, __m256i hi) { return _mm512_inserti64x4(_mm512_castsi256_si512(lo), hi, 1); }
inline __m256i low_half(__m512i v) { return _mm512_castsi512_si256(v); }
inline __m256i high_half(__m512i v) { return _mm512_extracti64x4_epi64(v, 1); }
inline __m256 low_half(__m512 v) { return _mm512_castps512_ps256(v); }
inline __m256 high_half(__m512 v) { return _mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(v), 1)); }

// ---- integers to floating point and back -------------------------------------------------------
inline __m512d to_double_unsigned(__m256i v32) { return _mm512_cvtepu32_pd(v32); }
inline __m512d to_double_signed(__m256i v32) { return _mm512_cvtepi32_pd(v32); }
inline __m256 to_float_unsigned(__m256i v32) { return _mm256_cvtepu32_ps(v32); }
inline __m256 to_float_signed(__m256i v32) { return _mm256_cvtepi32_ps(v32); }
inline __m512 to_float_unsigned32(__m512i v32) { return _mm512_cvtepu32_ps(v32); }
// Integral doubles (below 2^31) to 32-bit integers.
inline __m256i to_int32(__m512d v) { return _mm512_cvttpd_epi32(v); }
// Doubles rounded to float.
inline __m256 to_float(__m512d v) { return _mm512_cvtpd_ps(v); }
// The integral part, toward zero, raising no flag.
inline __m512d truncate_quiet(__m512d v) { return _mm512_roundscale_pd(v, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC); }

// Eight floats (single-precision outputs of eight 64-bit lanes).
inline __m256 splat_half(float x) { return _mm256_set1_ps(x); }
inline __m256 fma(__m256 a, __m256 b, __m256 c) { return _mm256_fmadd_ps(a, b, c); }

// ---- full 32 x 32-bit products (counter-based generators) --------------------------------------
// GCC 12 warns that the unmasked 64-bit shifts and products read an undefined register; they do not.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
// The high and low 32-bit halves of the 64-bit products a[i] * m[i], lane by lane: even lanes
// multiply in place, odd lanes after a shift down, and the halves are blended back.
inline void mul32_wide(__m512i a, __m512i m, __m512i& hi, __m512i& lo) {
  const __m512i even = _mm512_mul_epu32(a, m);
  const __m512i odd = _mm512_mul_epu32(_mm512_srli_epi64(a, 32), _mm512_srli_epi64(m, 32));
  hi = _mm512_mask_blend_epi32(0xAAAA, _mm512_srli_epi64(even, 32), odd);
  lo = _mm512_mask_blend_epi32(0xAAAA, even, _mm512_slli_epi64(odd, 32));
}
#pragma GCC diagnostic pop

// ---- 128-bit words ------------------------------------------------------------------------------
// Four 32-bit words, word 0 the least significant.
inline __m128i words128(uint32_t w0, uint32_t w1, uint32_t w2, uint32_t w3) {
  return _mm_set_epi32(static_cast<int32_t>(w3), static_cast<int32_t>(w2), static_cast<int32_t>(w1), static_cast<int32_t>(w0));
}
inline __m128i load128(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline void store128(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
// The whole 128 bits shifted by a number of bytes.
template <int kBytes>
inline __m128i shift_bytes_left(__m128i a) {
  return _mm_slli_si128(a, kBytes);
}
template <int kBytes>
inline __m128i shift_bytes_right(__m128i a) {
  return _mm_srli_si128(a, kBytes);
}
// Each 32-bit word shifted.
template <int kShift>
inline __m128i shift_words_left(__m128i a) {
  return _mm_slli_epi32(a, kShift);
}
template <int kShift>
inline __m128i shift_words_right(__m128i a) {
  return _mm_srli_epi32(a, kShift);
}
inline __m128i bit_and(__m128i a, __m128i b) { return _mm_and_si128(a, b); }
inline __m128i bit_xor(__m128i a, __m128i b) { return _mm_xor_si128(a, b); }
inline __m128i bit_xor3(__m128i a, __m128i b, __m128i c) { return _mm_ternarylogic_epi32(a, b, c, 0x96); }

}  // namespace zorp::simd
