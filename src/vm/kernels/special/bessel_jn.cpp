// Jn, the Bessel function of the first kind of integer order, single and double precision: one
// accurate method in every slot. The order n comes as a floating scalar, truncated toward zero,
// and stays the same for the whole call, so the work is chosen once per call.
//
// With m = |n| and a = |x|: J_-m = (-1)^m J_m and J_m(-x) = (-1)^m J_m(x), so the sign is
// settled apart and the result is J_m(a).
//   m = 0, 1     the J0 and J1 evaluations (bessel_core.h), exactly as their own kernels.
//   m >= 2:
//   a > 2m       forward recurrence J_k+1 = (2k/a) J_k - J_k-1 from J0(a) and J1(a), taken as
//                the unrounded pairs of their evaluation (some 2^-57 of the amplitude). Below
//                the turning point k < a both J and Y oscillate, so the recurrence neither damps
//                nor amplifies an error by more than the ratio of their sizes: the result
//                carries the starting values' error, which is absolute, and the steps run in
//                extended precision so that m of them add little. Near a zero of J_m the error
//                is therefore absolute, a fraction of an ulp of 1/sqrt(a), and the relative
//                error grows without bound as the result shrinks.
//   a <= m and a^2 <= m + 1
//                the power series (a/2)^m / m! * sum (-a^2/4)^k / (k! (m+1)_k), whose terms fall
//                by a quarter at least; (a/2)^m / m! is powl / tgammal in extended precision.
//   otherwise    Miller's backward recurrence from an order M = c + 20 + sqrt(400 c), c =
//                max(m, a), down to 0, normalised by 1 = J0 + 2 sum J_2k; J is the recurrence's
//                minimal solution above a, so the backward direction damps the error of the
//                arbitrary start. Below a <= m J_m has no zero (its first lies beyond m): there
//                the accuracy is relative; between m and 2m it is as good, without the start's
//                error that the forward recurrence would amplify near the turning point.
// Before either of the last two, the bound |J_m(a)| <= (a/2)^m / m! decides underflow: where it
// lies below half the least subnormal the result is 0 (status 4) without a loop, so a huge order
// with a small argument costs nothing. The steps of a loop, m or M, run in 80-bit extended
// precision (the x87 unit, guarded at entry), lane by lane, each coefficient 2k/a a quotient of
// its own: k times a rounded 2/a errs the same way at every step, which for m = 1000 just above
// the turning point added some 0.3 ulp.
//
// Decision on large orders: there is no uniform asymptotic (Debye) form here. The work per
// element is about m steps wherever the result does not underflow, that is for a above roughly
// m (1 - (750/m)^(2/3) / 2); a call with a huge order and arguments near or beyond it is slow in
// proportion to the order, not inaccurate. Orders whose magnitude reaches 2^31, and NaN orders,
// are outside the domain: NaN, status 1.
//
// Special values: Jn(+-0) is 1 for n = 0 and a zero carrying the sign of (+-1)^n (-1)^n for n < 0
// otherwise; Jn(+-inf) = +0; a NaN argument gives NaN silently. Results below the least normal
// report status 4.
#include <cmath>
#include <cstdint>
#include <limits>

#include "simd/complex.h"
#include "simd/vec.h"
#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/callout.h"
#include "vm/kernels/special/bessel_core.h"
#include "vm/kernels/special/tiny_half.h"

namespace zorp::vm {
namespace {

using namespace zorp::simd;
using bessel::bessel_j;

constexpr double kMaxOrder = 0x1p31;
// The forward recurrence starts beyond twice the order: between the order and there J0's and
// J1's error reaches J_m amplified by Y_m / J_m (~m^(1/6) at the turning point), 0.89 ulp for
// m = 5000 just above it, while Miller's recurrence from above a costs at most twice as many
// steps and carries no starting error.
constexpr double kForwardFrom = 2;

// J_m(a) for m >= 1 and finite a > 0, with J0(a) and J1(a) given (read only beyond 2m);
// 0 where the result lies below 2^min_exp2 (then certainly rounds to zero).
long double jn_positive(uint32_t m, double a, long double j0, long double j1, int min_exp2) {
  const long double x = a;
  if (a > kForwardFrom * m) {
    long double prev = j0, cur = j1;
    for (uint32_t k = 1; k < m; ++k) {
      const long double next = 2.0L * k / x * cur - prev;
      prev = cur;
      cur = next;
    }
    return cur;
  }
  // log2 of the bound (a/2)^m / m!, with Stirling's lower bound of ln m!.
  const double lf = (m + 0.5) * std::log(double(m)) - m + 0.91893853320467274;
  if (m * std::log2(a / 2) - lf * 1.4426950408889634 < min_exp2) return 0;
  if (a * a <= m + 1.0) {
    const long double q = -x * x / 4;
    long double sum = 1, term = 1;
    for (uint32_t k = 1; std::fabs(term) > 0x1p-68L * sum; ++k) {
      term *= q / (static_cast<long double>(k) * (m + k));
      sum += term;
    }
    return std::pow(x / 2, static_cast<long double>(m)) / std::tgamma(static_cast<long double>(m) + 1) * sum;
  }
  const double far = std::max(a, double(m));
  const uint32_t top = static_cast<uint32_t>(far + 20 + std::sqrt(400.0 * far));
  long double above = 0, cur = 0x1p-64L, even = 0, at_m = 0;
  for (uint32_t k = top; k >= 1; --k) {  // cur = J_k -> J_k-1
    const long double below = 2.0L * k / x * cur - above;
    above = cur;
    cur = below;
    if (k - 1 == m) at_m = cur;
    if (k > 1 && (k - 1) % 2 == 0) even += cur;
    if (std::fabs(cur) > 0x1p8000L) {
      cur *= 0x1p-8000L, above *= 0x1p-8000L, even *= 0x1p-8000L, at_m *= 0x1p-8000L;
    }
  }
  return at_m / (cur + 2 * even);
}

template <typename T>
struct JnK : Kernel<T, 64 / sizeof(T)> {
  static constexpr bool kGuardX87AtEntry = true;  // the recurrences run in extended precision
  static constexpr int kMinExp2 = std::numeric_limits<T>::min_exponent - std::numeric_limits<T>::digits - 2;

  T b;
  uint32_t m = 0;
  bool valid, negative;
  explicit JnK(T order)
      : b(order), valid(std::fabs(order) < T(kMaxOrder)), negative(order <= T(-1)) {
    if (valid) m = static_cast<uint32_t>(std::fabs(std::trunc(order)));
  }
  T scalar_argument() const { return b; }

  // J_m(a) of one element, signed; sets `tiny` where the result lies below the least normal.
  T element(T x, long double j0, long double j1, bool& tiny) const {
    tiny = false;
    if (std::isnan(x)) return x + x;
    if (std::isinf(x)) return T(0);
    const bool flip = (m & 1) && (std::signbit(x) != negative);
    if (x == 0) return m == 0 ? T(1) : flip ? -T(0) : T(0);
    const double a = std::fabs(double(x));
    long double v;
    if (m == 1 && a < 2 * std::numeric_limits<T>::min()) {
      // a/2 (1 - a^2/8): subnormal, a tie goes down
      tiny = true;
      const T h = tiny_half<false>(static_cast<T>(a));
      return flip ? -h : h;
    }
    v = jn_positive(m, a, j0, j1, kMinExp2);
    tiny = std::fabs(v) < std::numeric_limits<T>::min();
    const T r = static_cast<T>(v);
    return flip ? -r : r;
  }

  // J0 or J1 of the lanes |x| in double, from their own evaluation.
  template <int kN>
  static void j01(Vec<T> ax, double* out) {
    if constexpr (sizeof(T) == 8) {
      store(out, bessel_j<kN>(ax));
    } else {
      store(out, bessel_j<kN>(widen_low(ax)));
      store(out + 8, bessel_j<kN>(widen_high(ax)));
    }
  }
  // J0 and J1 of the lanes |x| (finite lanes) as extended values from their pairs: the forward
  // recurrence would carry a rounded start's half ulp to the result.
  static void start(Vec<T> ax, long double* j0, long double* j1) {
    auto half = [&](__m512d a, int at) {
      const DD<__m512d> p = bessel::bessel_j_pair<0>(a), q = bessel::bessel_j_pair<1>(a);
      double h0[8], l0[8], h1[8], l1[8];
      store(h0, p.hi), store(l0, p.lo), store(h1, q.hi), store(l1, q.lo);
      for (int i = 0; i < 8; ++i)
        j0[at + i] = static_cast<long double>(h0[i]) + l0[i], j1[at + i] = static_cast<long double>(h1[i]) + l1[i];
    };
    if constexpr (sizeof(T) == 8) {
      half(ax, 0);
    } else {
      half(widen_low(ax), 0);
      half(widen_high(ax), 8);
    }
  }

  Vec<T> body(Vec<T> x, Mask<T>& special) const {
    constexpr int kLanes = 64 / sizeof(T);
    if (!valid) {
      special = Mask<T>(~0u);
      return splat(std::numeric_limits<T>::quiet_NaN());
    }
    const Vec<T> ax = abs(x);
    double j[kLanes];
    if (m <= 1) {
      if (m == 0) j01<0>(ax, j);
      else j01<1>(ax, j);
    }
    if (m == 0) {  // J0 is even and the same for -0
      if constexpr (sizeof(T) == 8) return load(j);
      else return narrow(load(j), load(j + 8));
    }
    long double j0[kLanes] = {}, j1[kLanes] = {};
    if (m > 1 && less(splat(T(kForwardFrom * m)), ax) != 0) start(ax, j0, j1);
    T xs[kLanes], r[kLanes];
    store(xs, x);
    unsigned tiny_lanes = 0;
    for (int i = 0; i < kLanes; ++i) {
      bool tiny;
      if (m == 1 && std::isfinite(xs[i]) && std::fabs(xs[i]) >= 2 * std::numeric_limits<T>::min()) {
        const T v = static_cast<T>(j[i]);
        r[i] = (std::signbit(xs[i]) != negative) ? -v : v;
        continue;
      }
      r[i] = element(xs[i], j0[i], j1[i], tiny);
      if (tiny) tiny_lanes |= 1u << i;
    }
    special = Mask<T>(tiny_lanes);
    return load(r);
  }

  // An element whose result is subnormal or zero (status 4), or any element of an order
  // outside the domain (status 1, but NaN arguments stay silent).
  int callout(const T* a, T* r) const {
    if (!valid) {
      *r = std::numeric_limits<T>::quiet_NaN();
      return std::isnan(*a) ? 0 : kStatusDomain;
    }
    bool tiny;
    *r = element(*a, 0, 0, tiny);
    return tiny ? kStatusUnderflow : 0;
  }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(s, Jn, JnK<float>)
VM_KERNELS(d, Jn, JnK<double>)
