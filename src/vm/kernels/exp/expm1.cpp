// e^x - 1 in single and double precision, three accuracy variants each, one body for both
// precisions (constants in Expm1Traits, common/exp_core.h).
//
// The reduction is Exp's on a grid of 1/16 octave, but with x/ln2 truncated toward zero, so
// that r = x - k*ln2 has the sign of x and |r| < ln2/16: arguments near zero keep k = 0 and the
// table entry 1, and the result is the polynomial for e^r - 1 itself, with full relative
// accuracy. Elsewhere the result is fma(H*2^m, q, H*2^m - 1) with q = r + (L + r^2 p), L the
// relative low part of the table. H*2^m - 1 and q have the same sign, so the sum never cancels;
// H*2^m - 1 is exact for the moderate m where it matters, and r comes from a ln2 whose high
// part has trailing zeros, so that for small k the high part of r is exact too. The scale is
// clamped from below (at -64 single, -128 double): beyond that e^x is far under half an ulp of
// 1 and the result is -1.
//
// HA finishes with the careful three-way sum below; LA and EP take the single multiply-add,
// which costs up to half an ulp more where H*2^m - 1 rounds, and LA drops the last polynomial
// term (near zero the relative error of e^r - 1 is that of the polynomial, so it cannot drop
// more). EP uses a polynomial two terms shorter still.
//
// That last HA term (1/5! single, 1/9! double) goes beyond the published HA coefficients, which
// are LA's set. With them alone HA breaks its one-ulp bound where r nears ln2/16 with k = 1/16
// (x about 0.086), the polynomial's worst corner: of the 1,342,178 floats in [0.08, 0.09], 368
// come out above one ulp, the worst 1.049 ulp at x = 0x1.60d7eep-4 (kernel against a double
// expm1); 10^6 uniform doubles there against MPFR give 135 above one ulp, worst 1.033. With the
// term: 0.962 ulp over every float with |x| in [2^-40, 86.6), 0.966 on those doubles. A whole-
// range sample misses the band (the accuracy tool of the time, 10^6 samples: 0.996 ulp single and 0.982 double
// without it).
#include <cmath>
#include <limits>

#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/callout.h"
#include "vm/kernels/common/exp_core.h"
#include "vm/kernels/common/slots.h"

namespace zorp::vm {
namespace {

using namespace zorp::simd;

// Special lanes are x at or above the fast-path bound: e^x - 1 from the double scalar e^x.
template <typename T>
int expm1_callout(const T* a, T* r) {
  const T x = *a;
  if (std::isnan(x) || std::isinf(x)) {
    *r = x > 0 || std::isnan(x) ? x + x : T(-1);
  } else if (x > ExpTraits<T>::kOverflowAbove) {
    *r = std::numeric_limits<T>::infinity();
  } else {
    int m;
    const double y = expscalar::exp_parts(x, m);
    *r = static_cast<T>(expscalar::scale_once(y, m) - 1.0);
  }
  return result_status<kGrowthReports>(*r, x);
}

// H*2^m*(1 + q) - 1, rounded once where it matters. For moderate m, H*2^m - 1 is exact and one
// fused multiply-add finishes. Once H*2^m is past the precision, H*2^m - 1 would round (a tie at
// exactly 2^p); there the 1 moves into q as 1/(H*2^m), whose 14-bit estimate is plenty at that
// scale. Below 1/2, H*2^m - 1 is split into a rounded part and its exact error, and the error
// joins the small product before the final addition.
template <typename V>
inline V finish(V hs, V q, V k, V big_k) {
  const V one = splat(Elem<V>(1));
  const V d_hi = sub_quiet(hs, one);
  const V d_lo = sub_quiet(hs, add_quiet(d_hi, one));
  const V normal = fma_quiet(hs, q, d_hi);
  const V big = fma_quiet(hs, sub_quiet(q, reciprocal_estimate(hs)), hs);
  const V small = add_quiet(d_hi, fma_quiet(hs, q, d_lo));
  const V y = select(greater_equal(k, big_k), big, normal);
  return select(less(k, splat(Elem<V>(-1))), small, y);
}

template <typename T, Acc kAcc>
struct Expm1K : Kernel<T, 32> {
  using V = Vec<T>;
  using E = Expm1Traits<T>;
  static constexpr const auto& poly() {
    if constexpr (kAcc == Acc::LA) return E::kLa;
    else if constexpr (kAcc == Acc::HA) return E::kHa;
    else return E::kEp;
  }
  static V body(V x0, Mask<T>& special) {
    special = greater_equal(x0, splat(E::kFastBound));
    // Far below zero the result is -1 whatever x is; the clamp keeps -inf off the reduction
    // (max returns its second operand, x, when x is NaN).
    const V x = max(splat(E::kFloor), x0);
    const V k = truncate_to_fraction_bits<4>(mul_quiet(x, splat(ExpTraits<T>::kInvLn2)));
    const __m512i j = bits(add_quiet(k, splat(E::kShifter)));
    const V r = reduce(x, k, E::kLn2Hi);
    const V r_lo = mul_quiet(k, splat(-E::kLn2Lo));
    const V rf = add_quiet(r, r_lo);  // the polynomial's argument
    const V p = horner_from<2>(rf, poly());
    const V small = add_quiet(lookup(j, ExpTraits<T>::kL16Rel), r_lo);
    const V q = add_quiet(r, fma_quiet(mul_quiet(rf, rf), p, small));
    const V kc = max(k, splat(E::kScaleFloor));
    const V hs = scale_by_pow2(lookup(j, ExpTraits<T>::kH16), kc);
    const V y = kAcc == Acc::HA ? finish(hs, q, k, splat(E::kBigK)) : fma_quiet(hs, q, sub_quiet(hs, splat(T(1))));
    return select(equal(x, zero<V>()), x, y);  // +-0
  }
  static int callout(const T* a, T* r) { return expm1_callout(a, r); }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(s, Expm1, Expm1K<float, Acc::LA>, Expm1K<float, Acc::HA>, Expm1K<float, Acc::EP>)
VM_KERNELS(d, Expm1, Expm1K<double, Acc::LA>, Expm1K<double, Acc::HA>, Expm1K<double, Acc::EP>)
