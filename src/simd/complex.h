// Complex elements in lane pairs: (re, im) of element e in lanes 2e and 2e+1 of a float or
// double vector. The helpers move and sign parts within each pair and convert element masks
// to lane masks and back.
#pragma once
#include "simd/isa.h"

#include <cstdint>

namespace zorp::simd {

// (re, im) -> (im, re) in every pair.
inline __m512 swap_parts(__m512 v) { return _mm512_permute_ps(v, 0xB1); }
inline __m512d swap_parts(__m512d v) { return _mm512_permute_pd(v, 0x55); }
// (re, im) -> (re, re) and (im, im).
inline __m512d real_parts(__m512d v) { return _mm512_movedup_pd(v); }
inline __m512d imag_parts(__m512d v) { return _mm512_permute_pd(v, 0xFF); }
inline __m512 real_parts(__m512 v) { return _mm512_moveldup_ps(v); }
inline __m512 imag_parts(__m512 v) { return _mm512_movehdup_ps(v); }
// (re, im) -> (re, -im) and (-re, im).
inline __m512 negate_imag(__m512 v) {
  return _mm512_castsi512_ps(_mm512_xor_si512(_mm512_castps_si512(v), _mm512_set1_epi64(INT64_MIN)));
}
inline __m512d negate_imag(__m512d v) {
  return _mm512_castsi512_pd(_mm512_xor_si512(_mm512_castpd_si512(v),
                                              _mm512_setr_epi64(0, INT64_MIN, 0, INT64_MIN, 0, INT64_MIN, 0, INT64_MIN)));
}
inline __m512d negate_real(__m512d v) {
  return _mm512_castsi512_pd(_mm512_xor_si512(_mm512_castpd_si512(v),
                                              _mm512_setr_epi64(INT64_MIN, 0, INT64_MIN, 0, INT64_MIN, 0, INT64_MIN, 0)));
}

// A single-precision complex register as two double registers of 4 elements each, and back.
inline __m512d widen_low(__m512 v) { return _mm512_cvtps_pd(_mm512_castps512_ps256(v)); }
inline __m512d widen_high(__m512 v) {
  return _mm512_cvtps_pd(_mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(v), 1)));
}
inline __m512 narrow(__m512d lo, __m512d hi) {
  return _mm512_insertf32x8(_mm512_castps256_ps512(_mm512_cvtpd_ps(lo)), _mm512_cvtpd_ps(hi), 1);
}

// An element mask spread to a lane mask where every element takes two lanes (16 or 8 lanes).
inline __mmask16 pair_lanes(__mmask8 m) { return static_cast<__mmask16>(_pdep_u32(m, 0x5555u) * 3u); }
inline __mmask8 pair_lanes4(__mmask8 m) { return static_cast<__mmask8>(_pdep_u32(m, 0x55u) * 3u); }
// Elements (bit e) of a lane mask whose two lanes are both set, or either; 8 and 16 lanes alike.
inline __mmask8 both_lanes(uint32_t lanes) { return static_cast<__mmask8>(_pext_u32(lanes & (lanes >> 1), 0x5555u)); }
inline __mmask8 either_lane(uint32_t lanes) { return static_cast<__mmask8>(_pext_u32(lanes | (lanes >> 1), 0x5555u)); }

}  // namespace zorp::simd
