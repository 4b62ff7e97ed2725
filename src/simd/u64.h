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
//   u64_narrow32(a)            the low 32 bits of every lane, as eight words (__m256i)
//   u64_lanes(a0, .., a7)      the register of those values
//   u64_mul_low(a, b)          a * b modulo 2^64
//   u64_min(a, b)              unsigned minimum; u64_less_equal(a, b) the lanes with a <= b
//   u64_lanes_from(lo, hi, k)  lanes k .. k + 7 of lo and hi laid end to end, k known at run time
//   u64_to_float(a)            nearest float per lane (eight, a half register)
#pragma once
#include "simd/isa.h"

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

inline __m256i u64_narrow32(__m512i a) { return _mm512_cvtepi64_epi32(a); }
inline __m512i u64_lanes(uint64_t a0, uint64_t a1, uint64_t a2, uint64_t a3, uint64_t a4, uint64_t a5, uint64_t a6,
                         uint64_t a7) {
  return _mm512_setr_epi64(static_cast<int64_t>(a0), static_cast<int64_t>(a1), static_cast<int64_t>(a2),
                           static_cast<int64_t>(a3), static_cast<int64_t>(a4), static_cast<int64_t>(a5),
                           static_cast<int64_t>(a6), static_cast<int64_t>(a7));
}
inline __m512i u64_mul_low(__m512i a, __m512i b) { return _mm512_mullo_epi64(a, b); }
inline __m512i u64_min(__m512i a, __m512i b) { return _mm512_min_epu64(a, b); }
inline __mmask8 u64_less_equal(__m512i a, __m512i b) { return _mm512_cmple_epu64_mask(a, b); }
inline __m512i u64_lanes_from(__m512i lo, __m512i hi, int32_t k) {
  const __m512i idx = _mm512_add_epi64(_mm512_setr_epi64(0, 1, 2, 3, 4, 5, 6, 7), _mm512_set1_epi64(k));
  return _mm512_permutex2var_epi64(lo, idx, hi);
}
inline __m256 u64_to_float(__m512i a) { return _mm512_cvtepu64_ps(a); }

}  // namespace zorp::simd
