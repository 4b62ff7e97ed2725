// Unsigned 64-bit integer lanes (__m512i as eight uint64_t) for exact multi-word arithmetic,
// such as multiplying a significand by a window of the bits of 2/pi: the pieces the integer
// image operations of vec.h do not cover. Names carry the lane width because these operations
// exist only for it.
//
//   u64_sub(a, b)              a - b modulo 2^64
//   u64_mul_low32(a, b)        (a mod 2^32) * (b mod 2^32), the full 64-bit product
//   u64_shl(a, n), u64_shr(a, n)   shifts by a count per lane; counts of 64 or more give 0
//   u64_gather(table, i)       table[i] per lane
//   u64_to_double(a)           nearest double, exceptions suppressed (exact below 2^53)
//   u64_to_double_toward_zero(a)   the double at or below a: its exponent is floor(log2 a)
//   u64_narrow32(lo, hi)       the low 32 bits of every lane of lo, then of hi, as 16 lanes
#pragma once
#include <immintrin.h>

#include <cstdint>

namespace zorp::simd {

inline __m512i u64_sub(__m512i a, __m512i b) { return _mm512_sub_epi64(a, b); }
inline __m512i u64_mul_low32(__m512i a, __m512i b) { return _mm512_mul_epu32(a, b); }
inline __m512i u64_shl(__m512i a, __m512i n) { return _mm512_sllv_epi64(a, n); }
inline __m512i u64_shr(__m512i a, __m512i n) { return _mm512_srlv_epi64(a, n); }
inline __m512i u64_gather(const uint64_t* table, __m512i index) {
  return _mm512_i64gather_epi64(index, table, 8);
}
inline __m512d u64_to_double(__m512i a) {
  return _mm512_cvt_roundepu64_pd(a, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
}
inline __m512d u64_to_double_toward_zero(__m512i a) {
  return _mm512_cvt_roundepu64_pd(a, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
}
inline __m512i u64_narrow32(__m512i lo, __m512i hi) {
  return _mm512_inserti64x4(_mm512_castsi256_si512(_mm512_cvtepi64_epi32(lo)), _mm512_cvtepi64_epi32(hi), 1);
}

}  // namespace zorp::simd
