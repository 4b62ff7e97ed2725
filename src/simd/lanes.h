// Memory access by elements for the kernel drivers: how N elements of one element type fill a
// register, and how they are loaded, stored, gathered and scattered, whole or under a mask of
// elements. A complex element is a (real, imaginary) pair in two adjacent lanes, so a complex
// register holds half as many elements as lanes and an element mask covers two lanes.
//
// Lanes<E, N>: N elements of type E in one register.
//   V       the register type; M the element mask type (one bit per element)
//   first(count)      mask of the low min(count, N) elements
//   load/store        whole register; load_or/store with a mask (unselected elements are
//                     not touched in memory; loads fill them from `fill`)
//   stream            whole register to an address aligned to the register size, around the
//                     caches (non-temporal)
//   offsets(inc)      per-element position i*inc, for gather/scatter with that increment
//   broadcast_parts(x)  every real component x (the drivers' inactive-lane fill)
//
// Gather and scatter offsets are 64-bit: lane i of a strided register sits i*inc elements from
// the register's first element, and with 16 lanes and an increment near 2^31 that product does
// not fit in 32 bits (the register's first element itself is addressed in 64 bits by the caller).
#pragma once
#include "simd/isa.h"

#include <cstdint>

#include "simd/complex.h"
#include "zorp/vm_functions.h"

namespace zorp::simd {

namespace detail {
inline __m512i lane_offsets8(int64_t inc) {
  return _mm512_mullo_epi64(_mm512_setr_epi64(0, 1, 2, 3, 4, 5, 6, 7), _mm512_set1_epi64(inc));
}
}  // namespace detail

template <typename E, int N>
struct Lanes;

template <>
struct Lanes<float, 16> {
  using E = float;
  using V = __m512;
  using M = __mmask16;
  struct Off {  // lanes 0-7 and 8-15
    __m512i lo, hi;
  };
  static constexpr int kElems = 16;
  static M first(uint32_t c) { return c >= 16 ? M(0xFFFF) : M((1u << c) - 1u); }
  static V broadcast_parts(float x) { return _mm512_set1_ps(x); }
  static V load(const E* p) { return _mm512_loadu_ps(p); }
  static V load_or(M m, const E* p, V fill) { return _mm512_mask_loadu_ps(fill, m, p); }
  static void store(E* p, V v) { _mm512_storeu_ps(p, v); }
  static void stream(E* p, V v) { _mm512_stream_ps(p, v); }
  static void store(E* p, M m, V v) { _mm512_mask_storeu_ps(p, m, v); }
  static Off offsets(int32_t inc) {
    const __m512i lo = detail::lane_offsets8(inc);
    return {lo, _mm512_add_epi64(lo, _mm512_set1_epi64(int64_t{8} * inc))};
  }
  static V gather(M m, const E* p, const Off& o, V fill) {
    const __m256 lo = _mm512_mask_i64gather_ps(_mm512_castps512_ps256(fill), static_cast<__mmask8>(m), o.lo, p, 4);
    const __m256 hi = _mm512_mask_i64gather_ps(_mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(fill), 1)),
                                               static_cast<__mmask8>(m >> 8), o.hi, p, 4);
    return _mm512_insertf32x8(_mm512_castps256_ps512(lo), hi, 1);
  }
  static void scatter(M m, E* p, const Off& o, V v) {
    _mm512_mask_i64scatter_ps(p, static_cast<__mmask8>(m), o.lo, _mm512_castps512_ps256(v), 4);
    _mm512_mask_i64scatter_ps(p, static_cast<__mmask8>(m >> 8), o.hi,
                              _mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(v), 1)), 4);
  }
};

template <>
struct Lanes<double, 8> {
  using E = double;
  using V = __m512d;
  using M = __mmask8;
  using Off = __m512i;
  static constexpr int kElems = 8;
  static M first(uint32_t c) { return c >= 8 ? M(0xFF) : M((1u << c) - 1u); }
  static V broadcast_parts(double x) { return _mm512_set1_pd(x); }
  static V load(const E* p) { return _mm512_loadu_pd(p); }
  static V load_or(M m, const E* p, V fill) { return _mm512_mask_loadu_pd(fill, m, p); }
  static void store(E* p, V v) { _mm512_storeu_pd(p, v); }
  static void stream(E* p, V v) { _mm512_stream_pd(p, v); }
  static void store(E* p, M m, V v) { _mm512_mask_storeu_pd(p, m, v); }
  static Off offsets(int32_t inc) { return detail::lane_offsets8(inc); }
  static V gather(M m, const E* p, Off o, V fill) { return _mm512_mask_i64gather_pd(fill, m, o, p, 8); }
  static void scatter(M m, E* p, Off o, V v) { _mm512_mask_i64scatter_pd(p, m, o, v, 8); }
};

// Real results of complex functions of single precision: 8 floats, half a register.
template <>
struct Lanes<float, 8> {
  using E = float;
  using V = __m256;
  using M = __mmask8;
  using Off = __m512i;
  static constexpr int kElems = 8;
  static M first(uint32_t c) { return c >= 8 ? M(0xFF) : M((1u << c) - 1u); }
  static V broadcast_parts(float x) { return _mm256_set1_ps(x); }
  static V load(const E* p) { return _mm256_loadu_ps(p); }
  static V load_or(M m, const E* p, V fill) { return _mm256_mask_loadu_ps(fill, m, p); }
  static void store(E* p, V v) { _mm256_storeu_ps(p, v); }
  static void stream(E* p, V v) { _mm256_stream_ps(p, v); }
  static void store(E* p, M m, V v) { _mm256_mask_storeu_ps(p, m, v); }
  static Off offsets(int32_t inc) { return detail::lane_offsets8(inc); }
  static V gather(M m, const E* p, Off o, V fill) { return _mm512_mask_i64gather_ps(fill, m, o, p, 4); }
  static void scatter(M m, E* p, Off o, V v) { _mm512_mask_i64scatter_ps(p, m, o, v, 4); }
};

// Real results of complex functions of double precision: 4 doubles, half a register.
template <>
struct Lanes<double, 4> {
  using E = double;
  using V = __m256d;
  using M = __mmask8;
  using Off = __m256i;
  static constexpr int kElems = 4;
  static M first(uint32_t c) { return c >= 4 ? M(0xF) : M((1u << c) - 1u); }
  static V broadcast_parts(double x) { return _mm256_set1_pd(x); }
  static V load(const E* p) { return _mm256_loadu_pd(p); }
  static V load_or(M m, const E* p, V fill) { return _mm256_mask_loadu_pd(fill, m, p); }
  static void store(E* p, V v) { _mm256_storeu_pd(p, v); }
  static void stream(E* p, V v) { _mm256_stream_pd(p, v); }
  static void store(E* p, M m, V v) { _mm256_mask_storeu_pd(p, m, v); }
  static Off offsets(int32_t inc) {
    return _mm256_mullo_epi64(_mm256_setr_epi64x(0, 1, 2, 3), _mm256_set1_epi64x(inc));
  }
  static V gather(M m, const E* p, Off o, V fill) { return _mm256_mmask_i64gather_pd(fill, m, o, p, 8); }
  static void scatter(M m, E* p, Off o, V v) { _mm256_mask_i64scatter_pd(p, m, o, v, 8); }
};

// Single-precision complex: 8 elements, (re, im) in lanes 2k, 2k+1. An element is 8 bytes, so
// strided access moves each element as one 64-bit lane.
template <>
struct Lanes<ZorpComplex8, 8> {
  using E = ZorpComplex8;
  using V = __m512;
  using M = __mmask8;
  using Off = __m512i;
  static constexpr int kElems = 8;
  static M first(uint32_t c) { return c >= 8 ? M(0xFF) : M((1u << c) - 1u); }
  static V broadcast_parts(float x) { return _mm512_set1_ps(x); }
  static V load(const E* p) { return _mm512_loadu_ps(p); }
  static V load_or(M m, const E* p, V fill) { return _mm512_mask_loadu_ps(fill, pair_lanes(m), p); }
  static void store(E* p, V v) { _mm512_storeu_ps(p, v); }
  static void stream(E* p, V v) { _mm512_stream_ps(reinterpret_cast<float*>(p), v); }
  static void store(E* p, M m, V v) { _mm512_mask_storeu_ps(p, pair_lanes(m), v); }
  static Off offsets(int32_t inc) { return detail::lane_offsets8(inc); }
  static V gather(M m, const E* p, Off o, V fill) {
    return _mm512_castpd_ps(_mm512_mask_i64gather_pd(_mm512_castps_pd(fill), m, o, p, 8));
  }
  static void scatter(M m, E* p, Off o, V v) { _mm512_mask_i64scatter_pd(p, m, o, _mm512_castps_pd(v), 8); }
};

// Double-precision complex: 4 elements of 16 bytes; strided access moves both halves of an
// element, at element offsets 2*i*inc and 2*i*inc + 1 in doubles.
template <>
struct Lanes<ZorpComplex16, 4> {
  using E = ZorpComplex16;
  using V = __m512d;
  using M = __mmask8;
  using Off = __m512i;
  static constexpr int kElems = 4;
  static M first(uint32_t c) { return c >= 4 ? M(0xF) : M((1u << c) - 1u); }
  static V broadcast_parts(double x) { return _mm512_set1_pd(x); }
  static V load(const E* p) { return _mm512_loadu_pd(p); }
  static V load_or(M m, const E* p, V fill) { return _mm512_mask_loadu_pd(fill, pair_lanes4(m), p); }
  static void store(E* p, V v) { _mm512_storeu_pd(p, v); }
  static void stream(E* p, V v) { _mm512_stream_pd(reinterpret_cast<double*>(p), v); }
  static void store(E* p, M m, V v) { _mm512_mask_storeu_pd(p, pair_lanes4(m), v); }
  static Off offsets(int32_t inc) {
    const __m512i pair = _mm512_setr_epi64(0, 0, 1, 1, 2, 2, 3, 3);
    return _mm512_add_epi64(_mm512_mullo_epi64(pair, _mm512_set1_epi64(int64_t{2} * inc)),
                            _mm512_setr_epi64(0, 1, 0, 1, 0, 1, 0, 1));
  }
  static V gather(M m, const E* p, Off o, V fill) {
    return _mm512_mask_i64gather_pd(fill, pair_lanes4(m), o, p, 8);
  }
  static void scatter(M m, E* p, Off o, V v) { _mm512_mask_i64scatter_pd(p, pair_lanes4(m), o, v, 8); }
};

// The register layout of an element type when it is a kernel's input: a full register.
template <typename E>
struct FullLanes;
template <>
struct FullLanes<float> { using type = Lanes<float, 16>; };
template <>
struct FullLanes<double> { using type = Lanes<double, 8>; };
template <>
struct FullLanes<ZorpComplex8> { using type = Lanes<ZorpComplex8, 8>; };
template <>
struct FullLanes<ZorpComplex16> { using type = Lanes<ZorpComplex16, 4>; };

}  // namespace zorp::simd
