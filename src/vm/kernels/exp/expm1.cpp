// e^x - 1 in single and double precision, three accuracy variants each.
//
// The reduction is Exp's on a grid of 1/16 octave, but with x/ln2 truncated toward zero, so
// that r = x - k*ln2 has the sign of x and |r| < ln2/16: arguments near zero keep k = 0 and the
// table entry 1, and the result is the polynomial for e^r - 1 itself, with full relative
// accuracy. Elsewhere the result is fma(H*2^m, q, H*2^m - 1) with q = r + (L + r^2 p), L the
// relative low part of the table. H*2^m - 1 and q have the same sign, so the sum never cancels;
// H*2^m - 1 is exact for the moderate m where it matters, and r comes from a ln2 whose high
// part has trailing zeros, so that for small k the high part of r is exact too. The scale is clamped from below (at -64
// single, -128 double): beyond that e^x is far under half an ulp of 1 and the result is -1.
//
// HA finishes with the careful three-way sum below; LA and EP take the single multiply-add,
// which costs up to half an ulp more where H*2^m - 1 rounds, and LA drops the last polynomial
// term (near zero the relative error of e^r - 1 is that of the polynomial, so it cannot drop
// more). EP uses a polynomial two terms shorter still.
#include <cmath>
#include <cstring>
#include <limits>

#include "vm/kernels/common/bind.h"
#include "vm/kernels/exp/generated/exp_tables.inc"
#include "vm/kernels/exp/scalar.h"
#include "simd/vec.h"

namespace zorp::vm {
namespace {

using namespace zorp::simd;
using expscalar::from_bits;
using expscalar::from_bits32;

int expm1_callout_f(const float* a, float* r) {
  const float x = *a;
  if (std::isnan(x) || std::isinf(x)) { *r = x > 0 ? x : -1.0f; return 0; }
  if (x > 88.72283172607422f) { *r = std::numeric_limits<float>::infinity(); return 3; }
  int m;
  const double y = expscalar::exp_parts(x, m);
  *r = static_cast<float>(expscalar::scale_once(y, m) - 1.0);
  return 0;
}
int expm1_callout_d(const double* a, double* r) {
  const double x = *a;
  if (std::isnan(x) || std::isinf(x)) { *r = x > 0 ? x : -1.0; return 0; }
  if (x > 709.782712893384) { *r = std::numeric_limits<double>::infinity(); return 3; }
  int m;
  const double y = expscalar::exp_parts(x, m);
  *r = expscalar::scale_once(y, m) - 1.0;
  return 0;
}

enum class Acc { LA, HA, EP };

// H*2^m*(1 + q) - 1, rounded once where it matters. For moderate m, H*2^m - 1 is exact and one
// fused multiply-add finishes. Once H*2^m is past the precision, H*2^m - 1 would round (a tie at
// exactly 2^p); there the 1 moves into q as 1/(H*2^m), whose 14-bit estimate is plenty at that
// scale. Below 1/2, H*2^m - 1 is split into a rounded part and its exact error, and the error
// joins the small product before the final addition.
inline __m512 finish(__m512 hs, __m512 q, __m512 k, __m512 big_k) {
  const __m512 one = _mm512_set1_ps(1.0f);
  const __m512 d_hi = sub_quiet(hs, one);
  const __m512 d_lo = sub_quiet(hs, add_quiet(d_hi, one));
  const __m512 normal = fma_quiet(hs, q, d_hi);
  const __m512 big = fma_quiet(hs, sub_quiet(q, reciprocal_estimate(hs)), hs);
  const __m512 small = add_quiet(d_hi, fma_quiet(hs, q, d_lo));
  const __m512 y = _mm512_mask_blend_ps(_mm512_cmp_ps_mask(k, big_k, _CMP_GE_OQ), normal, big);
  return _mm512_mask_blend_ps(_mm512_cmp_ps_mask(k, _mm512_set1_ps(-1.0f), _CMP_LT_OQ), y, small);
}
inline __m512d finish(__m512d hs, __m512d q, __m512d k, __m512d big_k) {
  const __m512d one = _mm512_set1_pd(1.0);
  const __m512d d_hi = sub_quiet(hs, one);
  const __m512d d_lo = sub_quiet(hs, add_quiet(d_hi, one));
  const __m512d normal = fma_quiet(hs, q, d_hi);
  const __m512d big = fma_quiet(hs, sub_quiet(q, reciprocal_estimate(hs)), hs);
  const __m512d small = add_quiet(d_hi, fma_quiet(hs, q, d_lo));
  const __m512d y = _mm512_mask_blend_pd(_mm512_cmp_pd_mask(k, big_k, _CMP_GE_OQ), normal, big);
  return _mm512_mask_blend_pd(_mm512_cmp_pd_mask(k, _mm512_set1_pd(-1.0), _CMP_LT_OQ), y, small);
}


template <Acc kAcc>
struct Expm1F : Kernel<float, 32> {
  static __m512 body(__m512 x0, __mmask16& special) {
    special = _mm512_cmp_ps_mask(x0, _mm512_set1_ps(from_bits32(0x42AD496B)), _CMP_GE_OQ);
    // Far below zero the result is -1 whatever x is; the clamp keeps -inf off the reduction
    // (max returns its second operand, x, when x is NaN).
    const __m512 x = _mm512_max_ps(_mm512_set1_ps(-104.0f), x0);
    const __m512 k = truncate_to_fraction_bits<4>(mul_quiet(x, _mm512_set1_ps(from_bits32(0x3FB8AA3B))));
    const __m512 t = add_quiet(k, _mm512_set1_ps(786432.0f));  // 1.5*2^19: index in the low 4 bits
    const __m512i j = bits(t);
    const __m512 r = fma_quiet(k, _mm512_set1_ps(-from_bits32(0x3F317200)), x);
    const __m512 r_lo = mul_quiet(k, _mm512_set1_ps(-from_bits32(0x35BFBE8E)));
    const __m512 rf = add_quiet(r, r_lo);  // the polynomial's argument
    __m512 p;
    if constexpr (kAcc == Acc::EP) {
      p = fma_quiet(_mm512_set1_ps(0.16666667f), rf, _mm512_set1_ps(0.5f));
    } else if constexpr (kAcc == Acc::LA) {
      p = fma_quiet(_mm512_set1_ps(0.041670575737953186f), rf, _mm512_set1_ps(0.16668230295181274f));
      p = fma_quiet(p, rf, _mm512_set1_ps(0.5f));
    } else {
      // Over |r| < ln2/16 one Taylor term beyond the published three keeps HA below one ulp.
      p = fma_quiet(_mm512_set1_ps(0.008333333333333333f), rf, _mm512_set1_ps(0.041670575737953186f));
      p = fma_quiet(p, rf, _mm512_set1_ps(0.16668230295181274f));
      p = fma_quiet(p, rf, _mm512_set1_ps(0.5f));
    }
    const __m512 small = add_quiet(lookup(j, exptab::kL16fRel), r_lo);
    const __m512 q = add_quiet(r, fma_quiet(mul_quiet(rf, rf), p, small));
    const __m512 kc = _mm512_max_ps(k, _mm512_set1_ps(-64.0f));
    const __m512 hs = scale_by_pow2(lookup(j, exptab::kH16f), kc);
    const __m512 y = kAcc == Acc::HA ? finish(hs, q, k, _mm512_set1_ps(20.0f))
                                     : fma_quiet(hs, q, sub_quiet(hs, _mm512_set1_ps(1.0f)));
    return _mm512_mask_mov_ps(y, _mm512_cmp_ps_mask(x, _mm512_setzero_ps(), _CMP_EQ_OQ), x);  // +-0
  }
  static int callout(const float* a, float* r) { return expm1_callout_f(a, r); }
};

template <Acc kAcc>
struct Expm1D : Kernel<double, 32> {
  static __m512d body(__m512d x0, __mmask8& special) {
    special = _mm512_cmp_pd_mask(x0, _mm512_set1_pd(707.7032713517042), _CMP_GE_OQ);
    const __m512d x = _mm512_max_pd(_mm512_set1_pd(-746.0), x0);
    const __m512d k = truncate_to_fraction_bits<4>(mul_quiet(x, _mm512_set1_pd(from_bits(0x3FF71547652B82FEull))));
    const __m512d t = add_quiet(k, _mm512_set1_pd(from_bits(0x42F8000000003FF0ull)));
    const __m512i j = bits(t);
    const __m512d r = fma_quiet(k, _mm512_set1_pd(-from_bits(0x3FE62E42FEFA0000ull)), x);
    const __m512d r_lo = mul_quiet(k, _mm512_set1_pd(-from_bits(0x3D7CF79ABC9E3B3Aull)));
    const __m512d rf = add_quiet(r, r_lo);  // the polynomial's argument
    __m512d p;
    if constexpr (kAcc == Acc::EP) {
      p = fma_quiet(_mm512_set1_pd(0.008333333321199928), rf, _mm512_set1_pd(0.041666666666666792));
      p = fma_quiet(p, rf, _mm512_set1_pd(0.1666666666666712));
      p = fma_quiet(p, rf, _mm512_set1_pd(0.5));
    } else {
      if constexpr (kAcc == Acc::HA) {
        p = _mm512_set1_pd(2.7557319223985893e-06);  // 1/9!, for |r| < ln2/16
        p = fma_quiet(p, rf, _mm512_set1_pd(2.4802880303830418e-05));
      } else {
        p = _mm512_set1_pd(2.4802880303830418e-05);
      }
      p = fma_quiet(p, rf, _mm512_set1_pd(0.00019842304240775933));
      p = fma_quiet(p, rf, _mm512_set1_pd(0.0013888888868262008));
      p = fma_quiet(p, rf, _mm512_set1_pd(0.008333333321199928));
      p = fma_quiet(p, rf, _mm512_set1_pd(0.04166666666666792));
      p = fma_quiet(p, rf, _mm512_set1_pd(0.1666666666666712));
      p = fma_quiet(p, rf, _mm512_set1_pd(0.5));
    }
    const __m512d small =
        add_quiet(lookup(j, exptab::kL16Rel), r_lo);
    const __m512d q = add_quiet(r, fma_quiet(mul_quiet(rf, rf), p, small));
    const __m512d kc = _mm512_max_pd(k, _mm512_set1_pd(-128.0));
    const __m512d hs = scale_by_pow2(lookup(j, exptab::kH16), kc);
    const __m512d y = kAcc == Acc::HA ? finish(hs, q, k, _mm512_set1_pd(50.0))
                                      : fma_quiet(hs, q, sub_quiet(hs, _mm512_set1_pd(1.0)));
    return _mm512_mask_mov_pd(y, _mm512_cmp_pd_mask(x, _mm512_setzero_pd(), _CMP_EQ_OQ), x);  // +-0
  }
  static int callout(const double* a, double* r) { return expm1_callout_d(a, r); }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(s, Expm1, Expm1F<Acc::LA>, Expm1F<Acc::HA>, Expm1F<Acc::EP>)
VM_KERNELS(d, Expm1, Expm1D<Acc::LA>, Expm1D<Acc::HA>, Expm1D<Acc::EP>)
