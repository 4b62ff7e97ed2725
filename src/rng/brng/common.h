// The vector pieces shared by the generator folders: lane masks, shifting lanes in, and loading
// and storing blocks of eight values with whole or masked moves.
#pragma once
#include <immintrin.h>

#include <cstdint>

#include "rng/registry/registry.h"

namespace zorp::rng {

inline __mmask8 lanes8(int32_t count) { return static_cast<__mmask8>((1u << count) - 1u); }

// Lanes r .. r+7 of the sixteen lanes (lo, hi): the eight values following the first r of lo.
inline __m512i shift_in(__m512i lo, __m512i hi, int32_t r) {
  const __m512i idx = _mm512_add_epi64(_mm512_setr_epi64(0, 1, 2, 3, 4, 5, 6, 7), _mm512_set1_epi64(r));
  return _mm512_permutex2var_epi64(lo, idx, hi);
}

// Eight 32-bit words, all of them or the first `count` (the rest read as zero).
inline __m256i load_u32x8(const uint32_t* w, int32_t count) {
  if (count == 8) return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w));
  return _mm256_maskz_loadu_epi32(lanes8(count), w);
}

// Stores of eight results, all of them or the first `count`.
inline void put_u32(uint32_t* r, __m256i v, int32_t count) {
  if (count == 8) _mm256_storeu_si256(reinterpret_cast<__m256i*>(r), v);
  else _mm256_mask_storeu_epi32(r, lanes8(count), v);
}
inline void put_u64(uint64_t* r, __m512i v, int32_t count) {
  if (count == 8) _mm512_storeu_si512(r, v);
  else _mm512_mask_storeu_epi64(r, lanes8(count), v);
}
inline void put_f64(double* r, __m512d v, int32_t count) {
  if (count == 8) _mm512_storeu_pd(r, v);
  else _mm512_mask_storeu_pd(r, lanes8(count), v);
}
inline void put_f32(float* r, __m256 v, int32_t count) {
  if (count == 8) _mm256_storeu_ps(r, v);
  else _mm256_mask_storeu_ps(r, lanes8(count), v);
}

}  // namespace zorp::rng
