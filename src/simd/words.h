// Registers of raw 32- or 64-bit words, for code that moves bit patterns rather than numbers
// (pack and unpack, generator output): Words<4> holds 16 words, Words<8> holds 8. Loads,
// stores, gathers and scatters by lane offsets, compress-stores and expand-loads, and the mask
// of nonzero index or flag elements.
#pragma once
#include "simd/isa.h"

#include <cstdint>

namespace zorp::simd {

template <int kBytes>
struct Words;
template <>
struct Words<4> {
  static constexpr int kN = 16;
  using M = __mmask16;
  static __m512i gather(const void* base, __m512i idx) { return _mm512_i32gather_epi32(idx, base, 4); }
  static void scatter(void* base, __m512i idx, __m512i v) { _mm512_i32scatter_epi32(base, idx, v, 4); }
  static __m512i load_index(const int32_t* p) { return _mm512_loadu_si512(p); }
  static __m512i load(const void* p) { return _mm512_loadu_si512(p); }
  static void store(void* p, __m512i v) { _mm512_storeu_si512(p, v); }
  static M nonzero(const int32_t* p) { return _mm512_test_epi32_mask(_mm512_loadu_si512(p), _mm512_loadu_si512(p)); }
  static M nonzero(const int64_t* p) {
    const __m512i lo = _mm512_loadu_si512(p), hi = _mm512_loadu_si512(p + 8);
    return static_cast<M>(_mm512_test_epi64_mask(lo, lo) | (_mm512_test_epi64_mask(hi, hi) << 8));
  }
  static void compress_store(void* p, M m, __m512i v) { _mm512_mask_compressstoreu_epi32(p, m, v); }
  static __m512i expand_load(__m512i src, M m, const void* p) { return _mm512_mask_expandloadu_epi32(src, m, p); }
  static void masked_store(void* p, M m, __m512i v) { _mm512_mask_storeu_epi32(p, m, v); }
  static __m512i lanes_times(int32_t inc) {
    return _mm512_mullo_epi32(_mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15),
                              _mm512_set1_epi32(inc));
  }
};
template <>
struct Words<8> {
  static constexpr int kN = 8;
  using M = __mmask8;
  static __m512i gather(const void* base, __m256i idx) { return _mm512_i32gather_epi64(idx, base, 8); }
  static void scatter(void* base, __m256i idx, __m512i v) { _mm512_i32scatter_epi64(base, idx, v, 8); }
  static __m256i load_index(const int32_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
  static __m512i load(const void* p) { return _mm512_loadu_si512(p); }
  static void store(void* p, __m512i v) { _mm512_storeu_si512(p, v); }
  static M nonzero(const int32_t* p) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    return _mm256_test_epi32_mask(v, v);
  }
  static M nonzero(const int64_t* p) { return _mm512_test_epi64_mask(_mm512_loadu_si512(p), _mm512_loadu_si512(p)); }
  static void compress_store(void* p, M m, __m512i v) { _mm512_mask_compressstoreu_epi64(p, m, v); }
  static __m512i expand_load(__m512i src, M m, const void* p) { return _mm512_mask_expandloadu_epi64(src, m, p); }
  static void masked_store(void* p, M m, __m512i v) { _mm512_mask_storeu_epi64(p, m, v); }
  static __m256i lanes_times(int32_t inc) {
    return _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32(inc));
  }
};

}  // namespace zorp::simd
