// Pieces shared by the generator folders: reading InitStream arguments and writing blocks of
// eight results with whole or masked stores.
#pragma once
#include <immintrin.h>

#include <cstdint>

#include "rng/registry/registry.h"
#include "zorp/rng.h"

namespace zorp::rng {

// The 64-bit skip count of method 2: two words, low first. Missing words count as zero.
inline uint64_t skip_count(int32_t n, const uint32_t* params) {
  if (!params || n <= 0) return 0;
  uint64_t N = params[0];
  if (n >= 2) N |= uint64_t{params[1]} << 32;
  return N;
}

// Leapfrog index k (params[0]); a missing parameter block counts as index 0.
inline uint64_t leapfrog_index(const uint32_t* params) { return params ? params[0] : 0; }

inline __mmask8 lanes8(int32_t count) { return static_cast<__mmask8>((1u << count) - 1u); }

// Lanes r .. r+7 of the sixteen lanes (lo, hi): the eight values following the first r of lo.
inline __m512i shift_in(__m512i lo, __m512i hi, int32_t r) {
  const __m512i idx = _mm512_add_epi64(_mm512_setr_epi64(0, 1, 2, 3, 4, 5, 6, 7), _mm512_set1_epi64(r));
  return _mm512_permutex2var_epi64(lo, idx, hi);
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
