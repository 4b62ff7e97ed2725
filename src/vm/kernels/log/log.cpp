// Ln, Log2, Log10 and Log1p in single and double precision, three accuracy variants each,
// written once as templates over the base and over "argument is 1 + x".
//
// The argument is split by the get-exponent and get-mantissa instructions, which handle
// subnormal inputs exactly, so subnormals need no special path in LA and EP. Zeros, infinities
// and negative arguments are caught by a class test and finished by the callout; HA sends NaN
// there as well. Single LA and EP evaluate a piecewise polynomial in u = m - 1 whose sixteen
// rows are selected by the top four fraction bits of the mantissa; single HA and all double
// variants multiply by a reciprocal rounded to a 1/32 grid and look -ln of it up.
//
// Log2 and Log10 share the reduction of Ln. Their LA and EP kernels scale the natural
// logarithm of the mantissa once; HA looks up tables already in units of log_b (so that the
// exponent part plus the table's high part is exact) and scales only the small rest by 1/ln(b),
// r itself through exact products, so that only the final addition rounds noticeably. Log1p forms w = 1 + x with
// its rounding error c (exact) and adds c/w to the reduced argument, which keeps full
// relative accuracy for tiny x.
#include <cmath>
#include <cstring>
#include <limits>

#include "vm/kernels/common/bind.h"
#include "vm/kernels/log/generated/log_tables.inc"
#include "vm/kernels/log/scalar.h"
#include "simd/vec.h"

namespace zorp::vm {
namespace {

using namespace zorp::simd;

// fpclass categories: +0, -0, +inf, -inf, negative finite (and for HA also quiet and
// signalling NaN).
constexpr int kSpecialLaEp = 0x5E;
constexpr int kSpecialHa = 0xDF;

enum class Base { E, Two, Ten };
enum class Acc { LA, HA, EP };

template <Base B>
constexpr double base_scale() {  // 1/ln(b)
  if constexpr (B == Base::E) return 1.0;
  else if constexpr (B == Base::Two) return 1.4426950408889634;
  else return 0.4342944819032518;
}

template <Base B, bool kPlus1, typename T>
int log_callout(const T* a, T* r) {
  const T x = *a;
  const T pole = kPlus1 ? T(-1) : T(0);
  if (std::isnan(x)) { *r = x + x; return 0; }
  if (x == pole) { *r = -std::numeric_limits<T>::infinity(); return 2; }
  if (x < pole) { *r = std::numeric_limits<T>::quiet_NaN(); return 1; }
  if (std::isinf(x)) { *r = x; return 0; }
  // A finite lane above the pole reaches here only from the single HA kernels (subnormal or
  // huge arguments whose rounded reciprocal is not a normal number).
  const double w = kPlus1 ? 1.0 + static_cast<double>(x) : static_cast<double>(x);
  *r = static_cast<T>(logscalar::ln_positive(w) * base_scale<B>());
  return 0;
}

// w = 1 + x and its rounding error c = x - (w - 1), exact for every x > -1: below 1 in magnitude
// it is the fast two-sum; above, w - 1 is exact (w has no fraction finer than 1 there) and lies
// within a factor 2 of x, so the last difference is exact too. Arguments at or below -1 are
// special lanes anyway.
inline __m512 one_plus(__m512 x, __m512& c) {
  const __m512 o = _mm512_set1_ps(1.0f);
  const __m512 w = add_quiet(o, x);
  c = sub_quiet(x, sub_quiet(w, o));
  return w;
}
inline __m512d one_plus(__m512d x, __m512d& c) {
  const __m512d o = _mm512_set1_pd(1.0);
  const __m512d w = add_quiet(o, x);
  c = sub_quiet(x, sub_quiet(w, o));
  return w;
}

// Log1p(+-0) is +-0: the sum 1 + x forgets the sign, so zeros are passed through.
template <bool kPlus1>
inline __m512 keep_zero(__m512 x, __m512 y) {
  if constexpr (!kPlus1) return y;
  else return _mm512_mask_mov_ps(y, _mm512_cmp_ps_mask(x, _mm512_setzero_ps(), _CMP_EQ_OQ), x);
}
template <bool kPlus1>
inline __m512d keep_zero(__m512d x, __m512d y) {
  if constexpr (!kPlus1) return y;
  else return _mm512_mask_mov_pd(y, _mm512_cmp_pd_mask(x, _mm512_setzero_pd(), _CMP_EQ_OQ), x);
}

// ---- single precision LA and EP, piecewise polynomial --------------------------------------
template <Base B, bool kPlus1, Acc kAcc>
struct LogPieceF : Kernel<float, 64> {
  static __m512 body(__m512 x, __mmask16& special) { return keep_zero<kPlus1>(x, compute(x, special)); }
  static __m512 compute(__m512 x, __mmask16& special) {
    __m512 c, w = x;
    if constexpr (kPlus1) w = one_plus(x, c);
    special = _mm512_fpclass_ps_mask(w, kSpecialLaEp);
    const __m512 m = mantissa_p75_1p5(w);
    const __m512 e = _mm512_sub_ps(exponent_of(w), exponent_of(m));
    const __m512i idx = _mm512_srli_epi32(bits(m), 19);
    __m512 u = sub_quiet(m, _mm512_set1_ps(1.0f));
    if constexpr (kPlus1) u = add_quiet(u, scale_by_pow2(c, _mm512_sub_ps(_mm512_setzero_ps(), e)));
    __m512 p;
    if constexpr (kAcc == Acc::LA) {
      p = lookup(idx, logtab::kLnLaP3);
      p = fma_quiet(p, u, lookup(idx, logtab::kLnLaP2));
      p = fma_quiet(p, u, lookup(idx, logtab::kLnLaP1));
      p = fma_quiet(p, u, lookup(idx, logtab::kLnLaP0));
    } else {
      p = lookup(idx, logtab::kLnEpP2);
      p = fma_quiet(p, u, lookup(idx, logtab::kLnEpP1));
      p = fma_quiet(p, u, lookup(idx, logtab::kLnEpP0));
    }
    if constexpr (B == Base::E)
      return fma_quiet(u, p, mul_quiet(e, _mm512_set1_ps(0.693147182464599609375f)));  // 0x3F317218
    else if constexpr (B == Base::Two)
      return fma_quiet(mul_quiet(u, p), _mm512_set1_ps(logtab::kLog2eF[0]), e);
    else
      return fma_quiet(mul_quiet(u, p), _mm512_set1_ps(logtab::kLog10eF[0]),
                       mul_quiet(e, _mm512_set1_ps(0.30102999566398120f)));
  }
  static int callout(const float* a, float* r) { return log_callout<B, kPlus1>(a, r); }
};

// ---- single precision HA, reciprocal table -----------------------------------------------
// y = 1/w rounded to 32 steps per octave; r = y*w - 1 is exact. -e*ln2_high + T_high is exact
// too (both on a 2^-15 grid), so the only rounding that matters is the last addition.
template <Base B, bool kPlus1>
struct LogHaF : Kernel<float, 64> {
  static __m512 body(__m512 x, __mmask16& special) { return keep_zero<kPlus1>(x, compute(x, special)); }
  static __m512 compute(__m512 x, __mmask16& special) {
    __m512 c, w = x;
    if constexpr (kPlus1) w = one_plus(x, c);
    const __m512 est = reciprocal_estimate(w);
    const __m512i yb = _mm512_and_si512(_mm512_add_epi32(bits(est), _mm512_set1_epi32(0x20000)),
                                        _mm512_set1_epi32(static_cast<int>(0xFFFC0000u)));
    const __m512 y = as_float(yb);
    // Any class at all of the rounded estimate (zero, infinite, subnormal, negative, NaN) means
    // w is outside the range the table covers (the rounding itself can carry a reciprocal just
    // below 2^128 into infinity); then the argument's own class.
    special = _mm512_fpclass_ps_mask(y, 0xFF) | _mm512_fpclass_ps_mask(w, kSpecialHa);
    const __m512i idx = _mm512_srli_epi32(yb, 18);
    const __m512 ne = _mm512_sub_ps(_mm512_setzero_ps(), exponent_of(y));  // -e
    // r is exact; Log1p's correction y*c joins the low part, the polynomial sees r + y*c.
    const __m512 r = fma_quiet(y, w, _mm512_set1_ps(-1.0f));
    __m512 rp = r, rc = _mm512_setzero_ps();
    if constexpr (kPlus1) {
      rc = mul_quiet(y, c);
      rp = add_quiet(r, rc);
    }
    const __m512 r2 = mul_quiet(rp, rp);
    const __m512 p = fma_quiet(_mm512_set1_ps(-0.2500615119934082f), rp, _mm512_set1_ps(0.3333825469017029f));
    if constexpr (B == Base::E) {
      const __m512 th = lookup(idx, logtab::kLnHaHigh);
      __m512 tl = lookup(idx, logtab::kLnHaLow);
      if constexpr (kPlus1) tl = add_quiet(tl, rc);
      __m512 poly = fma_quiet(mul_quiet(r2, rp), p, tl);
      poly = fma_quiet(_mm512_set1_ps(-0.5f), r2, poly);  // T_low - r^2/2 + r^3 p
      const __m512 hi = fma_quiet(ne, _mm512_set1_ps(0.693145751953125f), th);         // 0x3F317200
      const __m512 lo = fma_quiet(ne, _mm512_set1_ps(1.428606765330187045e-06f), poly);  // 0x35BFBE8E
      return add_quiet(hi, add_quiet(r, lo));
    } else {
      // The table is in units of log_b already and -e*log_b(2) + high is exact; only
      // r - r^2/2 + r^3 p is scaled by 1/ln(b), r itself through exact products.
      const auto& th_tab = B == Base::Two ? logtab::kLog2HaHigh : logtab::kLog10HaHigh;
      const auto& tl_tab = B == Base::Two ? logtab::kLog2HaLow : logtab::kLog10HaLow;
      const __m512 th = lookup(idx, th_tab);
      __m512 tl = lookup(idx, tl_tab);
      __m512 poly = mul_quiet(mul_quiet(r2, rp), p);
      poly = fma_quiet(_mm512_set1_ps(-0.5f), r2, poly);
      const float* cb = B == Base::Two ? logtab::kLog2eF : logtab::kLog10eF;
      const __m512 ch = _mm512_set1_ps(cb[0]), cl = _mm512_set1_ps(cb[1]);
      __m512 big;
      if constexpr (B == Base::Two) {
        big = add_quiet(ne, th);
      } else {
        big = fma_quiet(ne, _mm512_set1_ps(logtab::kLog10of2F[0]), th);
        tl = fma_quiet(ne, _mm512_set1_ps(logtab::kLog10of2F[1]), tl);
      }
      __m512 inner = fma_quiet(poly, ch, tl);
      inner = fma_quiet(r, cl, inner);
      return add_quiet(big, fma_quiet(r, ch, inner));
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
  static __m512d body(__m512d x, __mmask8& special) { return keep_zero<kPlus1>(x, compute(x, special)); }
  static __m512d compute(__m512d x, __mmask8& special) {
    __m512d c, w = x;
    if constexpr (kPlus1) w = one_plus(x, c);
    special = _mm512_fpclass_pd_mask(w, kAcc == Acc::HA ? kSpecialHa : kSpecialLaEp);
    const __m512d m = mantissa_1_2(w);
    __m512d e = exponent_of(w);
    const __m512d y = round_to_fraction_bits<5>(reciprocal_estimate(m));
    // r is exact; Log1p's correction y*c/2^e is kept apart as rc for the HA sum.
    const __m512d r0 = fma_quiet(y, m, _mm512_set1_pd(-1.0));
    __m512d r = r0, rc = _mm512_setzero_pd();
    if constexpr (kPlus1) {
      rc = mul_quiet(y, scale_by_pow2(c, _mm512_sub_pd(_mm512_setzero_pd(), e)));
      r = add_quiet(r0, rc);
    }
    e = _mm512_mask_add_pd(e, less(y, _mm512_set1_pd(0.75)), e, _mm512_set1_pd(1.0));
    const __m512i idx = _mm512_srli_epi64(bits(y), 48);
    __m512d p;
    if constexpr (kAcc == Acc::EP) {
      p = _mm512_set1_pd(0.20024438577708045);
      p = fma_quiet(p, r, _mm512_set1_pd(-0.2502036072575226));
      p = fma_quiet(p, r, _mm512_set1_pd(0.33333322249022734));
      p = fma_quiet(p, r, _mm512_set1_pd(-0.4999999502783749));
    } else {
      p = _mm512_set1_pd(0.11135561406034511);
      p = fma_quiet(p, r, _mm512_set1_pd(-0.125220000081181));
      p = fma_quiet(p, r, _mm512_set1_pd(0.14285690939597326));
      p = fma_quiet(p, r, _mm512_set1_pd(-0.16666650546695666));
      p = fma_quiet(p, r, _mm512_set1_pd(0.20000000009280938));
      p = fma_quiet(p, r, _mm512_set1_pd(-0.2500000000437373));
      p = fma_quiet(p, r, _mm512_set1_pd(0.33333333333332005));
      p = fma_quiet(p, r, _mm512_set1_pd(-0.4999999999999968));
    }
    const __m512d r2 = mul_quiet(r, r);
    if constexpr (kAcc == Acc::HA && B == Base::E) {
      const __m512d th = lookup(idx, logtab::kLnDHigh);
      __m512d tl = lookup(idx, logtab::kLnDLow);
      if constexpr (kPlus1) tl = add_quiet(tl, rc);
      const __m512d hi = fma_quiet(e, _mm512_set1_pd(logtab::kLn2High), th);
      const __m512d lo = fma_quiet(e, _mm512_set1_pd(logtab::kLn2Low), tl);
      return add_quiet(hi, add_quiet(r0, fma_quiet(p, r2, lo)));
    } else if constexpr (kAcc == Acc::HA) {
      // Table in units of log_b, e*log_b(2) + high exact; the rest scaled by 1/ln(b).
      const auto& th_tab = B == Base::Two ? logtab::kLog2DHigh : logtab::kLog10DHigh;
      const auto& tl_tab = B == Base::Two ? logtab::kLog2DLow : logtab::kLog10DLow;
      const __m512d th = lookup(idx, th_tab);
      __m512d tl = lookup(idx, tl_tab);
      const double* cb = B == Base::Two ? logtab::kLog2eD : logtab::kLog10eD;
      const __m512d ch = _mm512_set1_pd(cb[0]), cl = _mm512_set1_pd(cb[1]);
      __m512d big;
      if constexpr (B == Base::Two) {
        big = add_quiet(e, th);
      } else {
        big = fma_quiet(e, _mm512_set1_pd(logtab::kLog10of2D[0]), th);
        tl = fma_quiet(e, _mm512_set1_pd(logtab::kLog10of2D[1]), tl);
      }
      __m512d inner = fma_quiet(mul_quiet(p, r2), ch, tl);
      inner = fma_quiet(r0, cl, inner);
      return add_quiet(big, fma_quiet(r0, ch, inner));
    } else {
      const __m512d t = lookup(idx, logtab::kLnD);
      const __m512d s = add_quiet(t, fma_quiet(p, r2, r));
      if constexpr (B == Base::E)
        return fma_quiet(e, _mm512_set1_pd(0.6931471805599453), s);  // 0x3FE62E42FEFA39EF
      else if constexpr (B == Base::Two)
        return fma_quiet(s, _mm512_set1_pd(logtab::kLog2eD[0]), e);
      else
        return fma_quiet(s, _mm512_set1_pd(logtab::kLog10eD[0]), mul_quiet(e, _mm512_set1_pd(0.30102999566398120)));
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
