// Double-double quotient and root, and complex registers taken apart into a register of real
// parts and one of imaginary parts (eight elements of either precision, as doubles) and put
// back together: what the inverse trigonometric and hyperbolic kernels compute on.
//
//   dd_div(a, b)     a / b, b nonzero: the heads' quotient and the exact residual's share
//   dd_sqrt(a)       sqrt(a), a >= 0, corrected by the exact residual; sqrt(0) = (0, 0)
//   dd_half(a)       a / 2, exactly
//   split_parts      (re, im) pairs of 4 double or 8 single elements -> re[8], im[8] as doubles,
//                    or of two double registers' 8 elements
//   join_parts       the way back (one double register: the low four lanes of re and im)
#pragma once
#include "simd/isa.h"

#include "simd/complex.h"
#include "simd/exact.h"
#include "simd/vec.h"

namespace zorp::vm::pairs {

using namespace zorp::simd;
using V = __m512d;
using P = DD<V>;

inline P pair(V v) { return {v, zero<V>()}; }
inline P select_pair(__mmask8 m, P a, P b) { return {select(m, a.hi, b.hi), select(m, a.lo, b.lo)}; }
inline P dd_half(P a) { return {mul(a.hi, splat(0.5)), mul(a.lo, splat(0.5))}; }
inline P dd_neg(P a) { return {sub(zero<V>(), a.hi), sub(zero<V>(), a.lo)}; }

inline P dd_div(P a, P b) {
  const V q = div(a.hi, b.hi);
  const P p = two_prod(q, b.hi);
  const V residual = fnma(q, b.lo, add(sub(sub(a.hi, p.hi), p.lo), a.lo));
  return fast_two_sum(q, div(residual, b.hi));
}

inline P dd_sqrt(P a) {
  const V s = sqrt(a.hi);
  const V residual = add(fnma(s, s, a.hi), a.lo);
  const P r = fast_two_sum(s, div(residual, add(s, s)));
  const __mmask8 zero_root = equal(s, zero<V>());
  return {select(zero_root, zero<V>(), r.hi), zero_unless(static_cast<__mmask8>(~zero_root), r.lo)};
}

inline void split_parts(__m512d z, V& re, V& im) {
  re = _mm512_permutexvar_pd(_mm512_setr_epi64(0, 2, 4, 6, 0, 2, 4, 6), z);
  im = _mm512_permutexvar_pd(_mm512_setr_epi64(1, 3, 5, 7, 1, 3, 5, 7), z);
}
inline void split_parts(__m512 z, V& re, V& im) {
  const V lo = widen_low(z), hi = widen_high(z);
  re = _mm512_permutex2var_pd(lo, _mm512_setr_epi64(0, 2, 4, 6, 8, 10, 12, 14), hi);
  im = _mm512_permutex2var_pd(lo, _mm512_setr_epi64(1, 3, 5, 7, 9, 11, 13, 15), hi);
}

// Two double registers (eight elements) apart, one element per lane, and back.
inline void split_parts(__m512d z0, __m512d z1, V& re, V& im) {
  re = _mm512_permutex2var_pd(z0, _mm512_setr_epi64(0, 2, 4, 6, 8, 10, 12, 14), z1);
  im = _mm512_permutex2var_pd(z0, _mm512_setr_epi64(1, 3, 5, 7, 9, 11, 13, 15), z1);
}
inline void join_parts(V re, V im, __m512d& z0, __m512d& z1) {
  z0 = _mm512_permutex2var_pd(re, _mm512_setr_epi64(0, 8, 1, 9, 2, 10, 3, 11), im);
  z1 = _mm512_permutex2var_pd(re, _mm512_setr_epi64(4, 12, 5, 13, 6, 14, 7, 15), im);
}

template <typename R>
inline R join_parts(V re, V im);
template <>
inline __m512d join_parts<__m512d>(V re, V im) {
  return _mm512_permutex2var_pd(re, _mm512_setr_epi64(0, 8, 1, 9, 2, 10, 3, 11), im);
}
template <>
inline __m512 join_parts<__m512>(V re, V im) {
  const __m512 rf = _mm512_castps256_ps512(_mm512_cvtpd_ps(re)), imf = _mm512_castps256_ps512(_mm512_cvtpd_ps(im));
  return _mm512_permutex2var_ps(rf, _mm512_setr_epi32(0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23), imf);
}

}  // namespace zorp::vm::pairs
