// Jn, the Bessel function of the first kind of integer order, single and double precision: one
// accurate method in every slot. The order n comes as a floating scalar, truncated toward zero
// (bessel::Order), and stays the same for the whole call, so every lane of a register runs the
// same number of recurrence steps and the recurrences run eight lanes at a time.
//
// With m = |n| and a = |x|: J_-m = (-1)^m J_m and J_m(-x) = (-1)^m J_m(x), so the sign is
// settled apart and the result is J_m(a).
//   m = 0, 1     the J0 and J1 evaluations (bessel_core.h), exactly as their own kernels.
//   m >= 2:
//   a > 2m       forward recurrence J_k+1 = (2k/a) J_k - J_k-1 from J0(a) and J1(a), taken as
//                the unrounded pairs of their evaluation (some 2^-57 of the amplitude). Below
//                the turning point k < a both J and Y oscillate, so the recurrence neither damps
//                nor amplifies an error by more than the ratio of their sizes: the result
//                carries the starting values' error, which is absolute. Near a zero of J_m the
//                error is therefore absolute, a fraction of an ulp of 1/sqrt(a), and the
//                relative error grows without bound as the result shrinks.
//   otherwise    Miller's backward recurrence from an order M above max(m, a) (miller_start) down to 0, normalised by 1 = J0 + 2 sum J_2k; J is the
//                recurrence's minimal solution above a, so the backward direction damps the
//                error of the arbitrary start. Below a <= m J_m has no zero (its first lies
//                beyond m): there the accuracy is relative; between m and 2m it is as good,
//                without the start's error that the forward recurrence would amplify near the
//                turning point. The values grow by up to 2k/a a step going down: a lane whose
//                value passes 2^480 is scaled by 2^-960; J_m is taken scaled to [1, 2) and the
//                scalings from there on are counted and undone on the quotient.
// Precision of the steps: in double precision each value is carried as a double that follows
// the plain recurrence and a second double holding what that one has lost, fed by the exact
// errors of its product and difference (a compensated recurrence: the head's chain is one
// product and one difference a step, the tail's runs beside it), and the coefficient 2k/a is a
// pair from 1/a with its remainder (a rounded 2/a times k would err the same way at every step,
// which for m = 1000 just above the turning point cost some 0.3 ulp). Thousands of steps then
// add under 2^-90 of the result, and the even sum is kept as a pair too. Single precision runs
// the same recurrences in plain double: m steps add some m 2^-53, far below a float's half ulp
// for every order that finishes in reasonable time.
// Before Miller's recurrence the bound |J_m(a)| <= (a/2)^m / m! decides underflow: where it
// lies below half the least subnormal the result is 0 (status 4) without a loop, so a huge order
// with a small argument costs nothing.
//
// Decision on large orders: there is no uniform asymptotic (Debye) form here. The work per
// element is about M steps wherever the result does not underflow, that is for a above roughly
// m (1 - (750/m)^(2/3) / 2); a call with a huge order and arguments near or beyond it is slow in
// proportion to the order, not inaccurate. Orders whose magnitude reaches 2^31, and NaN orders,
// are outside the domain: NaN, status 1.
//
// Special values: Jn(+-0) is 1 for n = 0 and a zero carrying the sign of (+-1)^n (-1)^n for n < 0
// otherwise; Jn(+-inf) = +0; a NaN argument gives NaN silently. Results below the least normal
// report status 4 (the callout only reports: the body has computed every lane).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "simd/complex.h"
#include "simd/vec.h"
#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/callout.h"
#include "vm/kernels/common/pow_core.h"
#include "vm/kernels/special/bessel_core.h"
#include "vm/kernels/special/tiny_half.h"

namespace zorp::vm {
namespace {

using namespace zorp::simd;
using bessel::bessel_j;

// The forward recurrence starts beyond twice the order: between the order and there J0's and
// J1's error reaches J_m amplified by Y_m / J_m (~m^(1/6) at the turning point), 0.89 ulp for
// m = 5000 just above it, while Miller's recurrence from above a costs at most twice as many
// steps and carries no starting error.
constexpr double kForwardFrom = 2;
constexpr double kLn2 = 0x1.62e42fefa39efp-1;
constexpr double kRescaleAbove = 0x1p480, kRescaleBy = 0x1p-960, kRescaleLog2 = 960;

inline __mmask8 sign_set(__m512d v) { return _mm512_movepi64_mask(_mm512_castpd_si512(v)); }
inline __mmask16 sign_set(__m512 v) { return _mm512_movepi32_mask(_mm512_castps_si512(v)); }
inline __m512d fms_quiet(__m512d a, __m512d b, __m512d c) { return _mm512_fmsub_round_pd(a, b, c, kNearestQuiet); }

// kRegs registers of lanes stepping together (two for single precision, whose 16 lanes widen to
// two registers of doubles: their chains interleave); kPair carries the compensated tails.
template <int kRegs, bool kPair>
struct Recurrence {
  __m512d inv_hi[kRegs], inv_lo[kRegs];  // 1/a and its remainder
  __m512d prev_hi[kRegs], prev_lo[kRegs], cur_hi[kRegs], cur_lo[kRegs];

  explicit Recurrence(const __m512d (&a)[kRegs]) {
    for (int r = 0; r < kRegs; ++r) {
      inv_hi[r] = div_quiet(splat(1.0), a[r]);
      inv_lo[r] = kPair ? div_quiet(fnma_quiet(inv_hi[r], a[r], splat(1.0)), a[r]) : zero<__m512d>();
    }
  }
  // (prev, cur) <- (cur, (2k/a) cur - prev), twice = 2k.
  void step(__m512d twice) {
    for (int r = 0; r < kRegs; ++r) {
      const __m512d th = mul_quiet(twice, inv_hi[r]);
      if constexpr (kPair) {
        const __m512d tl = fma_quiet(twice, inv_lo[r], fms_quiet(twice, inv_hi[r], th));
        const __m512d p = mul_quiet(th, cur_hi[r]);
        const __m512d pe = fms_quiet(th, cur_hi[r], p);
        const __m512d s = sub_quiet(p, prev_hi[r]);
        const __m512d back = sub_quiet(s, p);  // s - p, exact: two_sum's error of p - prev
        const __m512d se = sub_quiet(sub_quiet(p, sub_quiet(s, back)), add_quiet(prev_hi[r], back));
        const __m512d lo = sub_quiet(fma_quiet(th, cur_lo[r], fma_quiet(tl, cur_hi[r], add_quiet(pe, se))), prev_lo[r]);
        prev_hi[r] = cur_hi[r], prev_lo[r] = cur_lo[r];
        cur_hi[r] = s, cur_lo[r] = lo;
      } else {
        const __m512d next = fms_quiet(th, cur_hi[r], prev_hi[r]);
        prev_hi[r] = cur_hi[r];
        cur_hi[r] = next;
      }
    }
  }
};

// J_m(a) for a > 2m from the pairs of J0(a) and J1(a): m - 1 steps up.
template <int kRegs, bool kPair>
void forward(uint32_t m, const __m512d (&a)[kRegs], __m512d (&out)[kRegs]) {
  Recurrence<kRegs, kPair> rec(a);
  for (int r = 0; r < kRegs; ++r) {
    const DD<__m512d> j0 = bessel::bessel_j_pair<0>(a[r]), j1 = bessel::bessel_j_pair<1>(a[r]);
    if constexpr (kPair) {
      rec.prev_hi[r] = j0.hi, rec.prev_lo[r] = j0.lo, rec.cur_hi[r] = j1.hi, rec.cur_lo[r] = j1.lo;
    } else {
      rec.prev_hi[r] = add_quiet(j0.hi, j0.lo), rec.cur_hi[r] = add_quiet(j1.hi, j1.lo);
    }
  }
  for (uint32_t k = 1; k < m; ++k) rec.step(splat(2.0 * k));
  for (int r = 0; r < kRegs; ++r) out[r] = kPair ? add_quiet(rec.cur_hi[r], rec.cur_lo[r]) : rec.cur_hi[r];
}

// The order M Miller's recurrence starts from (J_M+1 = 0, J_M = 1) for arguments up to a, so that
// the start's error, relative e^-D of the result, is below the precision's needs.
// The start mixes in Y: the values become proportional to J_k - (J_M+1 / Y_M+1) Y_k. At the
// order m that is a relative error (J/Y)_M+1 (Y/J)_m, and in the normalising sum some J_M
// beside 1. Beyond the turning point (Debye) J_v ~ e^-F(v) and Y_v ~ e^F(v) with
// F(v) = v arccosh(v/a) - sqrt(v^2 - a^2), F' = arccosh(v/a) (0 below the turning point), so
// both terms are below e^-D once F(M) - F(c) >= D, c = max(m, a). As the integrand grows with v,
// two sufficient step counts beyond c: D / arccosh(c/a) (taking ln(c/a) <= arccosh(c/a)), and
// from the turning point's side a (3D / 2^(3/2))^(2/3) a^(1/3) (F near the turning point),
// widened by a tenth and 6 steps, where small arguments leave that form. D is 42 for double
// (2^-60 and a margin), 22 for single; both counts grow with a, so the register's largest
// argument decides. (The former c + 20 + sqrt(400 c) took twice as many steps.)
template <bool kPair>
inline uint64_t miller_start(uint32_t m, double a) {
  constexpr double kNats = kPair ? 42 : 22;
  constexpr double kAiry = kPair ? 14 : 9.1;  // 1.1 (3 D / 2^(3/2))^(2/3)
  const double c = std::max(a, double(m));
  double steps = kAiry * std::cbrt(a) + 6;
  if (c > 1.5 * a) steps = std::min(steps, kNats / std::log(c / a));
  return static_cast<uint64_t>(c + steps) + 2;
}

// J_m(a) for 0 < a <= 2m by Miller's recurrence from `top` down to 0.
template <int kRegs, bool kPair>
void miller(uint32_t m, uint64_t top, const __m512d (&a)[kRegs], __m512d (&out)[kRegs]) {
  Recurrence<kRegs, kPair> rec(a);
  __m512d even_hi[kRegs], even_lo[kRegs], at_hi[kRegs], at_lo[kRegs], shift[kRegs];
  for (int r = 0; r < kRegs; ++r) {
    rec.prev_hi[r] = rec.prev_lo[r] = rec.cur_lo[r] = zero<__m512d>();
    rec.cur_hi[r] = splat(1.0);
    even_hi[r] = even_lo[r] = at_hi[r] = at_lo[r] = shift[r] = zero<__m512d>();
  }
  // A step multiplies by at most 2 top / a: where that stays below 2^260 for every lane, two
  // steps from 2^480 stay finite and the test for scaling runs every other step.
  double least = reduce_min(a[0]);
  for (int r = 1; r < kRegs; ++r) least = std::min(least, reduce_min(a[r]));
  const uint64_t every = 2.0 * double(top) < 0x1p260 * least ? 2 : 1;
  for (uint64_t k = top; k >= 1; --k) {  // cur = J_k -> J_k-1, prev = J_k+1 -> J_k
    rec.step(splat(2.0 * double(k)));
    const uint64_t j = k - 1;
    for (int r = 0; r < kRegs; ++r) {
      if (j == m) {  // J_m scaled to [1, 2), so that the quotient cannot overflow
        const __m512d e = exponent_of(rec.cur_hi[r]);
        const __m512d down = sub(zero<__m512d>(), e);
        at_hi[r] = scale_by_pow2(rec.cur_hi[r], down), at_lo[r] = scale_by_pow2(rec.cur_lo[r], down);
        shift[r] = down;
      }
      if (j % 2 == 0 && j != 0) {
        if constexpr (kPair) {
          const DD<__m512d> s = two_sum(even_hi[r], rec.cur_hi[r]);
          even_hi[r] = s.hi;
          even_lo[r] = add_quiet(even_lo[r], add_quiet(s.lo, rec.cur_lo[r]));
        } else {
          even_hi[r] = add_quiet(even_hi[r], rec.cur_hi[r]);
        }
      }
      if (j % every != 0) continue;
      const __mmask8 big = less(splat(kRescaleAbove), abs(rec.cur_hi[r]));
      if (big != 0) [[unlikely]] {
        const __m512d f = select(big, splat(kRescaleBy), splat(1.0));
        rec.prev_hi[r] = mul_quiet(rec.prev_hi[r], f), rec.cur_hi[r] = mul_quiet(rec.cur_hi[r], f);
        even_hi[r] = mul_quiet(even_hi[r], f);
        if constexpr (kPair) {
          rec.prev_lo[r] = mul_quiet(rec.prev_lo[r], f), rec.cur_lo[r] = mul_quiet(rec.cur_lo[r], f);
          even_lo[r] = mul_quiet(even_lo[r], f);
        }
        if (j <= m) shift[r] = select(big, add(shift[r], splat(kRescaleLog2)), shift[r]);
      }
    }
  }
  for (int r = 0; r < kRegs; ++r) {
    if constexpr (kPair) {
      // J_m / (J0 + 2 sum J_2k), the quotient corrected by its remainder.
      const DD<__m512d> s0 = two_sum(rec.cur_hi[r], add(even_hi[r], even_hi[r]));
      const DD<__m512d> s = fast_two_sum(s0.hi, add_quiet(s0.lo, fma_quiet(splat(2.0), even_lo[r], rec.cur_lo[r])));
      const __m512d q0 = div_quiet(at_hi[r], s.hi);
      const __m512d rem = fnma_quiet(q0, s.lo, add_quiet(fnma_quiet(q0, s.hi, at_hi[r]), at_lo[r]));
      // (the tails are not renormalised along the way: J_m's may reach several ulps of its head)
      const DD<__m512d> q = fast_two_sum(q0, div_quiet(rem, s.hi));
      out[r] = scale_by_pow2(q.hi, sub(zero<__m512d>(), shift[r]));
      // A subnormal result would round twice (to 53 bits, then to the subnormal's): round the
      // head alone, then step by one ulp where what it dropped, with the tail, exceeds half an ulp.
      const __mmask8 sub_normal = less(abs(out[r]), splat(std::numeric_limits<double>::min()));
      if (sub_normal != 0) [[unlikely]] {
        const __m512d t = out[r];
        const __m512d dropped = add_quiet(sub_quiet(q.hi, scale_by_pow2(t, shift[r])), q.lo);
        const __m512d half = scale_by_pow2(splat(1.0), add(shift[r], splat(-1075.0)));  // half an ulp, at q0's scale
        const __m512d ulp = splat(std::numeric_limits<double>::denorm_min());
        __m512d u = t;
        u = select(less(half, dropped), add_quiet(t, ulp), u);
        u = select(less(dropped, sub(zero<__m512d>(), half)), sub_quiet(t, ulp), u);
        out[r] = select(sub_normal, u, out[r]);
      }
    } else {
      const __m512d q = div_quiet(at_hi[r], fma_quiet(splat(2.0), even_hi[r], rec.cur_hi[r]));
      out[r] = scale_by_pow2(q, sub(zero<__m512d>(), shift[r]));
    }
  }
}

template <typename T>
struct JnK : Kernel<T, 64 / sizeof(T)> {
  static constexpr int kRegs = sizeof(T) == 8 ? 1 : 2;
  static constexpr bool kPair = sizeof(T) == 8;
  static constexpr int kMinExp2 = std::numeric_limits<T>::min_exponent - std::numeric_limits<T>::digits - 2;

  T b;
  bessel::Order order;
  double log_bound;  // ln of a lower bound of m! (Stirling's), for the underflow shortcut
  explicit JnK(T n) : b(n), order(n), log_bound(0) {
    const double m = order.m;
    if (m >= 2) log_bound = (m + 0.5) * std::log(m) - m + 0.91893853320467274;
  }
  T scalar_argument() const { return b; }

  // J_m(a) of the lanes a (double, finite and positive where `ok`), m >= 2.
  void positive(const __m512d (&w)[kRegs], const __mmask8 (&ok)[kRegs], __m512d (&v)[kRegs]) const {
    const uint32_t m = order.m;
    const __m512d from = splat(kForwardFrom * m);
    __mmask8 fwd[kRegs], mil[kRegs];
    bool any_fwd = false, any_mil = false;
    double far = 0;
    for (int r = 0; r < kRegs; ++r) {
      fwd[r] = ok[r] & less(from, w[r]);
      const __mmask8 rest = static_cast<__mmask8>(ok[r] & ~fwd[r]);
      mil[r] = 0;
      if (rest != 0) {  // log of the bound (a/2)^m / m! against half the least subnormal
        const __m512d ln = ln_for_pow<false>(select(rest, w[r], splat(1.0))).hi;
        const __m512d lb = fma_quiet(splat(double(m)), sub_quiet(ln, splat(kLn2)), splat(-log_bound));
        mil[r] = rest & ~less(lb, splat(kMinExp2 * kLn2));
      }
      any_fwd |= fwd[r] != 0;
      any_mil |= mil[r] != 0;
      if (mil[r] != 0) far = std::max(far, reduce_max(select(mil[r], w[r], zero<__m512d>())));
      v[r] = zero<__m512d>();
    }
    if (any_fwd) {
      __m512d a[kRegs], f[kRegs];
      // (the other lanes take an argument for Hankel's form, which the forward lanes mostly need)
      const __m512d other = splat(std::max(kForwardFrom * m + 1, bessel::kHankelFrom));
      for (int r = 0; r < kRegs; ++r) a[r] = select(fwd[r], w[r], other);
      forward<kRegs, kPair>(m, a, f);
      for (int r = 0; r < kRegs; ++r) v[r] = select(fwd[r], f[r], v[r]);
    }
    if (any_mil) {
      __m512d a[kRegs], f[kRegs];
      for (int r = 0; r < kRegs; ++r) a[r] = select(mil[r], w[r], splat(double(m)));
      miller<kRegs, kPair>(m, miller_start<kPair>(m, far), a, f);
      for (int r = 0; r < kRegs; ++r) v[r] = select(mil[r], f[r], v[r]);
    }
  }

  Vec<T> body(Vec<T> x, Mask<T>& special) const {
    constexpr int kLanes = 64 / sizeof(T);
    special = 0;
    if (!order.valid) {
      special = Mask<T>(~0u);
      return splat(std::numeric_limits<T>::quiet_NaN());
    }
    const Vec<T> ax = abs(x);
    const uint32_t m = order.m;
    if (m == 0) {  // J0 is even and the same for -0
      if constexpr (sizeof(T) == 8) return bessel_j<0, T>(ax);
      else return narrow(bessel_j<0, T>(widen_low(ax)), bessel_j<0, T>(widen_high(ax)));
    }
    Vec<T> y;
    if (m == 1) {
      if constexpr (sizeof(T) == 8) y = bessel_j<1, T>(ax);
      else y = narrow(bessel_j<1, T>(widen_low(ax)), bessel_j<1, T>(widen_high(ax)));
      // a/2 (1 - a^2/8) below twice the least normal: subnormal, a tie goes down
      const Mask<T> tiny = less(zero<Vec<T>>(), ax) & less(ax, splat(2 * std::numeric_limits<T>::min()));
      if (tiny != 0) [[unlikely]] {
        T lanes[kLanes];
        store(lanes, ax);
        for (int i = 0; i < kLanes; ++i)
          if ((tiny >> i) & 1) lanes[i] = tiny_half<false>(lanes[i]);
        y = select(tiny, load(lanes), y);
      }
      special = tiny;
    } else {
      __m512d w[kRegs], v[kRegs];
      __mmask8 ok[kRegs];
      if constexpr (sizeof(T) == 8) w[0] = ax;
      else w[0] = widen_low(ax), w[1] = widen_high(ax);
      for (int r = 0; r < kRegs; ++r) ok[r] = less(zero<__m512d>(), w[r]) & less(w[r], splat(std::numeric_limits<double>::infinity()));
      positive(w, ok, v);
      if constexpr (sizeof(T) == 8) y = v[0];
      else y = narrow(v[0], v[1]);
      const Mask<T> finite = less(zero<Vec<T>>(), ax) & less(ax, splat(std::numeric_limits<T>::infinity()));
      special = finite & less(abs(y), splat(std::numeric_limits<T>::min()));
    }
    // The sign: (-1)^m for a negative argument, again for a negative order.
    Mask<T> flip = order.odd ? sign_set(x) : Mask<T>(0);
    if (order.negative_odd) flip = static_cast<Mask<T>>(~flip);
    y = select(flip, mul(y, splat(T(-1))), y);  // -0 for a zero result
    y = select(equal(ax, splat(std::numeric_limits<T>::infinity())), zero<Vec<T>>(), y);
    return select(unordered(x, x), add(x, x), y);
  }

  // An element whose result is subnormal or zero (status 4, its value already computed), or any
  // element of an order outside the domain (status 1, but NaN arguments stay silent).
  int callout(const T* a, T* r) const {
    if (!order.valid) {
      *r = std::numeric_limits<T>::quiet_NaN();
      return std::isnan(*a) ? 0 : kStatusDomain;
    }
    return kStatusUnderflow;
  }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(s, Jn, JnK<float>)
VM_KERNELS(d, Jn, JnK<double>)
