// Ln, Log2, Log10 and Log1p in single and double precision, three accuracy variants each,
// written once as templates over the base and over "argument is 1 + x", on the blocks of
// common/log_core.h.
//
// The argument is split by the get-exponent and get-mantissa instructions, which handle
// subnormal inputs exactly, so subnormals need no special path in LA and EP. Zeros, infinities
// and negative arguments are caught by a class test and finished by the callout; HA sends NaN
// there as well. Single LA and EP evaluate a piecewise polynomial in u = m - 1 whose sixteen
// pieces are selected by the top four fraction bits of the mantissa; single HA and all double
// variants multiply by a reciprocal rounded to a 1/32 grid and look -ln of it up. These are
// three methods, each fixed to keep its results, so they stay three bodies.
//
// Log2 and Log10 share the reduction of Ln. Their LA and EP kernels scale the natural
// logarithm of the mantissa once; HA looks up tables already in units of log_b (so that the
// exponent part plus the table's high part is exact) and scales only the small rest by 1/ln(b),
// r itself through exact products, so that only the final addition rounds noticeably. Log1p
// forms w = 1 + x with its rounding error c (exact) and adds c/w to the reduced argument, which
// keeps full relative accuracy for tiny x.
#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/log_core.h"
#include "vm/kernels/common/slots.h"

namespace zorp::vm {
namespace {

using namespace zorp::simd;

// ---- single precision LA and EP, piecewise polynomial --------------------------------------
template <Base B, bool kPlus1, Acc kAcc>
struct LogPieceF : Kernel<float, 64> {
  static __m512 body(__m512 x, __mmask16& special) { return keep_zero<kPlus1>(x, compute(x, special)); }
  static __m512 compute(__m512 x, __mmask16& special) {
    __m512 c, w = x;
    if constexpr (kPlus1) w = one_plus(x, c);
    special = classify<kLogSpecialLaEp>(w);
    __m512 e;
    const __m512 m = mantissa_near_one(w, e);
    const __m512i idx = shift_right<19, float>(bits(m));
    __m512 u = sub_quiet(m, splat(1.0f));
    if constexpr (kPlus1) u = add_quiet(u, scale_by_pow2(c, sub(zero<__m512>(), e)));
    const __m512 p = kAcc == Acc::LA ? horner_pieces(u, idx, logpoly::kLnLaPieces)
                                     : horner_pieces(u, idx, logpoly::kLnEpPieces);
    if constexpr (B == Base::E) return fma_quiet(u, p, mul_quiet(e, splat(LogTraits<float>::kLn2)));
    else return in_base<B>(e, mul_quiet(u, p));
  }
  static int callout(const float* a, float* r) { return log_callout<B, kPlus1>(a, r); }
};

// ---- single precision HA, reciprocal table -----------------------------------------------
// y = 1/w rounded to 32 steps per octave; r = y*w - 1 is exact. -e*ln2_high + T_high is exact
// too (both on a 2^-15 grid), so the only rounding that matters is the last addition.
template <Base B, bool kPlus1>
struct LogHaF : Kernel<float, 64> {
  using L = LogTraits<float>;
  static __m512 body(__m512 x, __mmask16& special) { return keep_zero<kPlus1>(x, compute(x, special)); }
  static __m512 compute(__m512 x, __mmask16& special) {
    __m512 c, w = x;
    if constexpr (kPlus1) w = one_plus(x, c);
    const __m512i yb = bit_and(iadd<float>(bits(reciprocal_estimate(w)), isplat<float>(0x20000)),
                               isplat<float>(0xFFFC0000u));
    const __m512 y = as_float(yb);
    // Any class at all of the rounded estimate (zero, infinite, subnormal, negative, NaN) means
    // w is outside the range the table covers (the rounding itself can carry a reciprocal just
    // below 2^128 into infinity); then the argument's own class.
    special = classify<0xFF>(y) | classify<kLogSpecialHa>(w);
    const __m512i idx = shift_right<18, float>(yb);
    const __m512 ne = sub(zero<__m512>(), exponent_of(y));  // -e
    // r is exact; Log1p's correction y*c joins the low part, the polynomial sees r + y*c.
    const __m512 r = fma_quiet(y, w, splat(-1.0f));
    __m512 rp = r, rc = zero<__m512>();
    if constexpr (kPlus1) {
      rc = mul_quiet(y, c);
      rp = add_quiet(r, rc);
    }
    const __m512 r2 = mul_quiet(rp, rp);
    const __m512 p = horner_from<3>(rp, logpoly::kLnHaF);
    const __m512 th = lookup(idx, L::ha_high<B>());
    __m512 tl = lookup(idx, L::ha_low<B>());
    const __m512 half = splat(logpoly::kLnHaF[2]);  // -1/2
    if constexpr (B == Base::E) {
      if constexpr (kPlus1) tl = add_quiet(tl, rc);
      __m512 poly = fma_quiet(mul_quiet(r2, rp), p, tl);
      poly = fma_quiet(half, r2, poly);  // T_low - r^2/2 + r^3 p
      const __m512 hi = fma_quiet(ne, splat(L::kLn2Hi), th);
      const __m512 lo = fma_quiet(ne, splat(L::kLn2Lo), poly);
      return add_quiet(hi, add_quiet(r, lo));
    } else {
      const __m512 rest = fma_quiet(half, r2, mul_quiet(mul_quiet(r2, rp), p));
      return in_base_ha<B>(ne, th, tl, rest, r);
    }
  }
  static int callout(const float* a, float* r) { return log_callout<B, kPlus1>(a, r); }
};

// ---- double precision, all variants ------------------------------------------------------
// m in [1, 2); y = reciprocal estimate of m rounded to k/32; where y < 0.75 the exponent goes
// up by one and the table holds -ln(2y) instead of -ln(y), which keeps the sixteen entries in
// one register pair and the reduced argument r = y*m - 1 small and exact.
template <Base B, bool kPlus1, Acc kAcc>
struct LogD : Kernel<double, 32> {
  using L = LogTraits<double>;
  static __m512d body(__m512d x, __mmask8& special) { return keep_zero<kPlus1>(x, compute(x, special)); }
  static __m512d compute(__m512d x, __mmask8& special) {
    __m512d c, w = x;
    if constexpr (kPlus1) w = one_plus(x, c);
    special = classify<kAcc == Acc::HA ? kLogSpecialHa : kLogSpecialLaEp>(w);
    const __m512d m = mantissa_1_2(w);
    __m512d e = exponent_of(w);
    const __m512d y = reciprocal_on_grid(m);
    // r is exact; Log1p's correction y*c/2^e is kept apart as rc for the HA sum.
    const __m512d r0 = fma_quiet(y, m, splat(-1.0));
    __m512d r = r0, rc = zero<__m512d>();
    if constexpr (kPlus1) {
      rc = mul_quiet(y, scale_by_pow2(c, sub(zero<__m512d>(), e)));
      r = add_quiet(r0, rc);
    }
    e = add(e, less(y, splat(0.75)), e, splat(1.0));
    const __m512i idx = shift_right<48, double>(bits(y));
    const __m512d p = kAcc == Acc::EP ? horner_from<2>(r, logpoly::kLnEpD) : horner_from<2>(r, logpoly::kLnLaD);
    const __m512d r2 = mul_quiet(r, r);
    if constexpr (kAcc == Acc::HA) {
      const __m512d th = lookup(idx, L::ha_high<B>());
      __m512d tl = lookup(idx, L::ha_low<B>());
      if constexpr (B != Base::E) return in_base_ha<B>(e, th, tl, mul_quiet(p, r2), r0);
      if constexpr (kPlus1) tl = add_quiet(tl, rc);
      const __m512d hi = fma_quiet(e, splat(L::kLn2Hi), th);
      const __m512d lo = fma_quiet(e, splat(L::kLn2Lo), tl);
      return add_quiet(hi, add_quiet(r0, fma_quiet(p, r2, lo)));
    } else {
      const __m512d t = lookup(idx, logtab::kLnD);
      const __m512d s = add_quiet(t, fma_quiet(p, r2, r));
      if constexpr (B == Base::E) return fma_quiet(e, splat(L::kLn2), s);
      else return in_base<B>(e, s);
    }
  }
  static int callout(const double* a, double* r) { return log_callout<B, kPlus1>(a, r); }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
#define LOG_KERNELS(F, B, P1)                                                                     \
  VM_KERNELS(s, F, LogPieceF<B, P1, Acc::LA>, LogHaF<B, P1>, LogPieceF<B, P1, Acc::EP>)          \
  VM_KERNELS(d, F, LogD<B, P1, Acc::LA>, LogD<B, P1, Acc::HA>, LogD<B, P1, Acc::EP>)

LOG_KERNELS(Ln, Base::E, false)
LOG_KERNELS(Log2, Base::Two, false)
LOG_KERNELS(Log10, Base::Ten, false)
LOG_KERNELS(Log1p, Base::E, true)
