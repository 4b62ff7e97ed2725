// The building blocks of the complementary error function, shared by Erfc, Erfcx, CdfNorm and
// the inverse error functions' refinement: erfcx on its 96 centred slices (tools/fit,
// special/generated/erfc_polys.inc) and erfc x = e^(-x^2) erfcx x with x^2 as an exact product,
// the exponent biased by 512 octaves beyond x^2 = 256 (see erfc.cpp).
#pragma once
#include <cstddef>
#include <type_traits>

#include "simd/exact.h"
#include "simd/vec.h"
#include "vm/kernels/common/exp_core.h"
#include "vm/kernels/special/generated/erfc_polys.inc"

namespace zorp::vm::special {

using namespace zorp::simd;

// erfcx a = head + rest for 0 <= a < 32 (NaN lanes read slice 0); `shift` is added to the
// offset from the midpoint (the low part of a pair argument).
struct Erfcx {
  __m512d head, rest;
};
inline Erfcx erfcx_slices(__m512d a, __m512d shift) {
  const __m512d s = min(max(a, zero<__m512d>()), splat(0x1.fffffffffffffp4));  // NaN gives the top
  // Below 1: slice floor(16 s), midpoint (slice + 1/2)/16; from 1: the exponent and top four
  // bits, and the midpoint those bits with bit 47 set.
  const __m512d shifter = splat(6755399441055744.0);  // 1.5*2^52
  const __m512d t = fma_toward_zero(s, splat(16.0), shifter);
  const __m512d k = sub(t, shifter);
  const __m512i low_idx = _mm512_and_si512(bits(t), _mm512_set1_epi64(15));
  const __m512d low_mid = fma_quiet(k, splat(0.0625), splat(0.03125));
  const __m512i sb = bits(s);
  const __m512i high_idx = _mm512_sub_epi64(_mm512_srli_epi64(sb, 48), _mm512_set1_epi64(0x3FF0 - 16));
  const __m512d high_mid =
      as_double(_mm512_or_si512(_mm512_and_si512(sb, _mm512_set1_epi64(0xFFFF000000000000ll)),
                                _mm512_set1_epi64(0x0000800000000000ll)));
  const __mmask8 low = less(s, splat(1.0));
  const __m512i idx = _mm512_mask_blend_epi64(low, high_idx, low_idx);
  const __m512d u = add_quiet(sub_quiet(s, select(low, low_mid, high_mid)), shift);
  constexpr auto& c = erfcpoly::kErfcxPiecesD;
  constexpr size_t kN = std::extent_v<std::remove_reference_t<decltype(c)>>;
  __m512d p = _mm512_i64gather_pd(idx, c[kN - 1], 8);
  for (size_t j = kN - 1; j-- > 0;) p = fma_quiet(p, u, _mm512_i64gather_pd(idx, c[j], 8));
  return {_mm512_i64gather_pd(idx, erfcpoly::kErfcxPiecesDHead, 8), p};
}

// erfc(yh + yl) = (hi + lo) 2^(1 - bias) for 0 <= yh <= 28 (NaN flows), |yl| <= ulp(yh)/2.
struct TailParts {
  __m512d hi, lo, bias;
};
inline TailParts erfc_tail_parts(__m512d yh, __m512d yl) {
  const DD<__m512d> sq = two_prod(yh, yh);
  // x^2 = sq.hi + lo; beyond 256, sq.hi - 512 ln2hi is exact and the bias leaves at the end.
  const __m512d bias = select(greater_equal(sq.hi, splat(256.0)), splat(512.0), zero<__m512d>());
  using E = Expm1Traits<double>;
  const __m512d z = fnma_quiet(bias, splat(E::kLn2Hi), sq.hi);
  const __m512d lo = fma_quiet(bias, splat(-E::kLn2Lo), fma_quiet(add(yh, yh), yl, sq.lo));
  // e^(-z - lo)/2 = (ph + pl)(1 - lo), lo below 2^-30 (pl reaches a twentieth of ph: its
  // product with lo counts).
  const DD<__m512d> p = half_exp_pair<true>(sub(zero<__m512d>(), z));
  const __m512d el = fnma_quiet(add_quiet(p.hi, p.lo), lo, p.lo);
  const Erfcx e = erfcx_slices(yh, yl);
  const DD<__m512d> q = two_prod(p.hi, e.head);
  const __m512d rest = fma_quiet(el, add_quiet(e.head, e.rest), fma_quiet(p.hi, e.rest, q.lo));
  return {q.hi, rest, bias};
}

// erfc(yh + yl) * 2^scale, rounded once (also into the subnormals).
inline __m512d erfc_tail(__m512d yh, __m512d yl, double scale) {
  const TailParts t = erfc_tail_parts(yh, yl);
  return scale_by_pow2(add_quiet(t.hi, t.lo), sub(splat(scale + 1.0), t.bias));
}

}  // namespace zorp::vm::special
