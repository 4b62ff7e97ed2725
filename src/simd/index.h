// Positions in arrays, eight to a register: 64-bit indices (__m512i, one per lane) computed
// from values, used to gather values of either precision, and written out as 32- or 64-bit
// integers.  A float register takes part through its low eight lanes (the upper eight are
// zero on return and ignored on entry), so one index register serves eight sites whatever the
// precision of the data.  The 64-bit lane arithmetic itself is that of vec.h with the element
// type double (iadd<double>, imin<double>, iselect<double>, iless<double>).
#pragma once
#include "simd/isa.h"

#include <cstdint>

#include "simd/vec.h"

namespace zorp::simd {

using Index8 = __m512i;
using IndexMask = __mmask8;

inline Index8 index_splat(int64_t k) { return _mm512_set1_epi64(k); }
// 0, 1, ..., 7.
inline Index8 index_iota() { return _mm512_setr_epi64(0, 1, 2, 3, 4, 5, 6, 7); }
inline Index8 index_sub(Index8 a, Index8 b) { return _mm512_sub_epi64(a, b); }
// a + 1 in the lanes m selects.
inline Index8 index_increment(Index8 a, IndexMask m) { return _mm512_mask_add_epi64(a, m, a, _mm512_set1_epi64(1)); }
inline Index8 index_shift_right1(Index8 a) { return _mm512_srli_epi64(a, 1); }
inline Index8 index_mul(Index8 a, int64_t k) { return _mm512_mullo_epi64(a, _mm512_set1_epi64(k)); }
// a clamped to [lo, hi].
inline Index8 index_clamp(Index8 a, int64_t lo, int64_t hi) {
  return _mm512_min_epi64(_mm512_max_epi64(a, _mm512_set1_epi64(lo)), _mm512_set1_epi64(hi));
}
// Lanes whose index is greater than b's.
inline IndexMask index_greater(Index8 a, Index8 b) { return _mm512_cmpgt_epi64_mask(a, b); }

// The eight low lanes truncated toward zero (the value must fit; callers clamp first).
inline Index8 truncate_to_index(__m512d v) { return _mm512_cvttpd_epi64(v); }
inline Index8 truncate_to_index(__m512 v) { return _mm512_cvttps_epi64(_mm512_castps512_ps256(v)); }
// Indices as values of the element type (to nearest, as a scalar conversion rounds).
template <typename T>
inline Vec<T> index_to_value(Index8 k) {
  if constexpr (sizeof(T) == 8) return _mm512_cvtepi64_pd(k);
  else return _mm512_zextps256_ps512(_mm512_cvtepi64_ps(k));
}

// base[idx] in the selected lanes, fill elsewhere.
inline __m512d gather(IndexMask m, const double* base, Index8 idx, __m512d fill) {
  return _mm512_mask_i64gather_pd(fill, m, idx, base, 8);
}
inline __m512 gather(IndexMask m, const float* base, Index8 idx, __m512 fill) {
  return _mm512_zextps256_ps512(_mm512_mask_i64gather_ps(_mm512_castps512_ps256(fill), m, idx, base, 4));
}
inline Index8 gather(IndexMask m, const int64_t* base, Index8 idx, Index8 fill) {
  return _mm512_mask_i64gather_epi64(fill, m, idx, base, 8);
}

// Eight values of either precision from memory (low lanes of a float register).
inline __m512d load8(IndexMask m, const double* p, __m512d fill) { return _mm512_mask_loadu_pd(fill, m, p); }
inline __m512 load8(IndexMask m, const float* p, __m512 fill) {
  return _mm512_zextps256_ps512(_mm256_mask_loadu_ps(_mm512_castps512_ps256(fill), m, p));
}
inline void store8(double* p, IndexMask m, __m512d v) { _mm512_mask_storeu_pd(p, m, v); }
inline void store8(float* p, IndexMask m, __m512 v) { _mm256_mask_storeu_ps(p, m, _mm512_castps512_ps256(v)); }

// Indices from memory and to memory, as 32- or 64-bit integers.
inline Index8 load_index(IndexMask m, const int64_t* p) { return _mm512_maskz_loadu_epi64(m, p); }
inline Index8 load_index(IndexMask m, const int32_t* p) { return _mm512_cvtepi32_epi64(_mm256_maskz_loadu_epi32(m, p)); }
inline void store_index(int64_t* p, IndexMask m, Index8 v) { _mm512_mask_storeu_epi64(p, m, v); }
inline void store_index(int32_t* p, IndexMask m, Index8 v) { _mm512_mask_cvtepi64_storeu_epi32(p, m, v); }

}  // namespace zorp::simd
