// The Bessel functions of the second kind Y0, Y1 and Yn (integer order, from Y0 and Y1 by the
// recurrence: see YnK below) in single and double precision: one accurate method in every slot,
// single precision computed in double and narrowed once.
//
// For 0 < x < inf:
//   x < 11/8      the log form: Y0 = (2/pi) L J0 + u (1/(2 pi) + u Q0(u)) and
//                 Y1 = (2/pi)(L J1 - 1/x) + x (-1/(2 pi) + 5u/(32 pi) + u^2 Q1(u)), with
//                 L = ln x + gamma - ln 2 and u = x^2 (Q0, Q1 the series' coefficients from
//                 tools/fit). J_n comes from J's pieces as a pair, ln x as a pair from the power
//                 function's logarithm; every term is summed as a pair, so that where the terms
//                 are larger than Y (by up to a factor 3 near the ends) the sum still holds the
//                 result to some 2^-60. Beyond 11/8 the series' terms alternate and would cancel.
//   up to 63 pi/8 J's method on a table of Y's own: pieces on J's grid, the zeros of Y0 near
//                 (k + 1/4) pi and of Y1 near (k + 3/4) pi each a tabled centre; one narrow
//                 piece about the first zero of Y0 (0.894, within 1/8), where the log form's two
//                 terms cancel to the result; and Y1 from 39/16 to 7 pi/8 a piece of its own, in
//                 slot 1.
//   beyond        Hankel's form with J's P and Q: Y_n = (P_n sin chi + Q_n cos chi) sqrt(2/(pi x)),
//                 chi = x - (2n+1) pi/4, so that
//                 Y0 sqrt(pi x) = (sin x - cos x) P0 + (sin x + cos x) Q0 and
//                 Y1 sqrt(pi x) = -(sin x + cos x) P1 + (sin x - cos x) Q1.
// Near a zero beyond 63 pi/8 the phase form takes over, as for J (bessel_core.h).
//
// Special lanes (the callout): Y(+-0) = -inf, the pole (status 2); x < 0 is outside the
// domain (NaN, status 1); Y(+inf) = +0; a NaN passes silently. Y1 behaves as -2/(pi x) near 0
// and overflows to -inf (status 3) below 2/(pi max), a subnormal in either precision: the
// callout takes every argument below the least normal and divides exactly.
#include <cmath>
#include <cstdint>
#include <limits>

#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/callout.h"
#include "vm/kernels/common/pow_core.h"
#include "vm/kernels/special/bessel_core.h"
#include "vm/kernels/special/generated/bessel_y_polys.inc"

namespace zorp::vm {
namespace {

using namespace zorp::simd;

constexpr double kLogFormBelow = 1.375;  // 11/8
constexpr double kZeroWindow = 0.125;    // Y0's piece about its first zero: within 1/8 of it
constexpr double kY1Upper = 2.4375;      // 39/16: from here to 7 pi/8 Y1's own piece (slot 1)
constexpr double kTwoOverPiHi = 0x1.45f306dc9c883p-1, kTwoOverPiLo = -0x1.6b01ec5417056p-55;
constexpr double kInv2PiHi = 0x1.45f306dc9c883p-3, kInv2PiLo = -0x1.6b01ec5417056p-57;
constexpr double kFiveOver32PiHi = 0x1.976fc893c3aa3p-5, kFiveOver32PiLo = 0x1.3a3d9896e3394p-59;
constexpr double kGammaLessLn2Hi = -0x1.dadb014541eb2p-4, kGammaLessLn2Lo = -0x1.be095d05c0a81p-62;

// Y_n(a) for 0 < a < 11/8, as a pair.
template <int kN>
inline DD<__m512d> log_form(__m512d a) {
  const DD<__m512d> ln = ln_for_pow<true>(a);
  const DD<__m512d> l0 = two_sum(ln.hi, splat(kGammaLessLn2Hi));
  const DD<__m512d> l = fast_two_sum(l0.hi, add_quiet(l0.lo, add_quiet(ln.lo, splat(kGammaLessLn2Lo))));
  const DD<__m512d> j = bessel::pieces<bessel::JTables<kN>>(a);
  const DD<__m512d> t = dd_mul(dd_mul(l, j), DD<__m512d>{splat(kTwoOverPiHi), splat(kTwoOverPiLo)});
  const DD<__m512d> sq = two_prod(a, a);
  const __m512d u = sq.hi, u2 = mul_quiet(u, u);
  if constexpr (kN == 0) {
    // u (1/(2 pi) + c2 u + u^2 Q3(u)): the rest of size 0.1 Y0 beside 1, so the bracket is a
    // pair up to c2 u and only Q3's part is rounded.
    const DD<__m512d> p = two_prod(u, splat(besselypoly::kY0LogRestD[2]));
    const DD<__m512d> s0 = two_sum(splat(kInv2PiHi), p.hi);
    const __m512d rest = mul_quiet(u2, horner_from<3>(u, besselypoly::kY0LogRestD));
    const DD<__m512d> bracket = fast_two_sum(s0.hi, add_quiet(s0.lo, add_quiet(p.lo, add_quiet(splat(kInv2PiLo), rest))));
    return dd_add(t, dd_mul(bracket, sq));
  } else {
    // -(2/pi)/a with the quotient's remainder (exact for normal a).
    const __m512d q = div_quiet(splat(kTwoOverPiHi), a);
    const __m512d rem = add_quiet(fnma_quiet(q, a, splat(kTwoOverPiHi)), splat(kTwoOverPiLo));
    const DD<__m512d> pole{sub(zero<__m512d>(), q), sub(zero<__m512d>(), div_quiet(rem, a))};
    const DD<__m512d> w = two_prod(u, splat(kFiveOver32PiHi));
    const __m512d rest = mul_quiet(u2, horner_from<2>(u, besselypoly::kY1LogRestD));
    const __m512d w_lo =
        fma_quiet(u, splat(kFiveOver32PiLo), fma_quiet(sq.lo, splat(kFiveOver32PiHi), add_quiet(w.lo, rest)));
    const DD<__m512d> s0 = two_sum(splat(-kInv2PiHi), w.hi);
    const DD<__m512d> s = fast_two_sum(s0.hi, add_quiet(s0.lo, sub_quiet(w_lo, splat(kInv2PiLo))));
    return dd_add(dd_add(t, pole), dd_mul(s, a));
  }
}

// Y_n(a) for 0 < a < inf, as a pair; each method runs only where a lane needs it. For results
// of precision T (the Y kernels, and Yn's lowest orders) the lanes near a zero beyond 63 pi/8
// take the phase form (bessel_core.h); Yn's recurrence starts from the Hankel form's values
// (T = void), whose absolute error it carries anyway.
template <int kN, typename T = void>
inline DD<__m512d> bessel_y_pair(__m512d a) {
  using Tab = bessel::YTables<kN>;
  constexpr bessel::HankelForm kForm = kN == 0 ? bessel::HankelForm{-1, 1, 1, 1, 3} : bessel::HankelForm{-1, -1, -1, 1, 5};
  const __mmask8 far = greater_equal(a, splat(bessel::kHankelFrom));
  __mmask8 near = static_cast<__mmask8>(~far) & greater_equal(a, splat(kLogFormBelow));
  if constexpr (kN == 0)
    near |= less(abs(sub_quiet(a, splat(besseltab::kY0CentreHi[1]))), splat(kZeroWindow));
  const __mmask8 small = static_cast<__mmask8>(~(far | near));
  DD<__m512d> y{zero<__m512d>(), zero<__m512d>()};
  const auto take = [&y](__mmask8 lanes, DD<__m512d> r) {
    y.hi = select(lanes, r.hi, y.hi);
    y.lo = select(lanes, r.lo, y.lo);
  };
  if (small) take(small, log_form<kN>(min(a, splat(kLogFormBelow))));
  if (near) {
    const __m512d b = min(a, splat(bessel::kHankelFrom));
    __m512i idx = bessel::piece_of(b);
    // The piece of Y1's first zero, 2.197, would reach 0.55 beyond it, where its square terms
    // (a sixth of the result) would cost half an ulp: the upper part has a piece of its own.
    if constexpr (kN == 1) {
      const __mmask8 upper = greater_equal(b, splat(kY1Upper)) & iequal<double>(bit_and(idx, isplat<double>(31)), isplat<double>(3));
      idx = iselect<double>(upper, isplat<double>(1), idx);
    }
    take(near, bessel::pieces<bessel::YTables<kN>>(b, idx));
  }
  if (far) {
    const __m512d big = max(splat(bessel::kHankelFrom), a);
    const bessel::HankelSum h = bessel::hankel_sum<Tab, kForm>(big);
    DD<__m512d> hankel = bessel::over_root_pi<true>(h.n, big, h.odd);
    if constexpr (!std::is_void_v<T>) hankel = bessel::near_zeros<T, Tab, kForm>(hankel, big, h, far);
    take(far, hankel);
  }
  return y;
}
template <int kN, typename T>
inline __m512d bessel_y(__m512d a) {
  const DD<__m512d> y = bessel_y_pair<kN, T>(a);
  return add_quiet(y.hi, y.lo);
}

// Y1 of a positive x below the least normal: -(2/pi)/x and the rest below 2^-900 of it. The
// divisor is scaled into the normal range first, so that the quotient's remainder is exact and
// the pair rounds once; scaling back overflows exactly where the rounded result would.
inline double y1_tiny(double x) {
  const double xs = std::ldexp(x, 128);
  const double q = kTwoOverPiHi / xs;
  const double q_lo = (std::fma(-q, xs, kTwoOverPiHi) + kTwoOverPiLo) / xs;
  return -std::ldexp(q + q_lo, 128);
}

template <int kN, typename T>
struct BesselY : Kernel<T, sizeof(T) == 4 ? 32 : 16> {
  static Vec<T> body(Vec<T> x, Mask<T>& special) {
    const Mask<T> ok = less(zero<Vec<T>>(), x) & less(x, splat(std::numeric_limits<T>::infinity())) &
                    (kN == 0 ? ~Mask<T>(0) : greater_equal(x, splat(std::numeric_limits<T>::min())));
    special = static_cast<Mask<T>>(~ok);
    const Vec<T> a = select(ok, x, splat(T(1)));
    if constexpr (sizeof(T) == 8) return bessel_y<kN, T>(a);
    else return narrow(bessel_y<kN, T>(widen_low(a)), bessel_y<kN, T>(widen_high(a)));
  }
  static int callout(const T* a, T* r) {
    const T x = *a;
    if (std::isnan(x)) {
      *r = x + x;
      return 0;
    }
    if (x == 0) {
      *r = -std::numeric_limits<T>::infinity();
      return kStatusSingularity;
    }
    if (x < 0) {
      *r = std::numeric_limits<T>::quiet_NaN();
      return kStatusDomain;
    }
    if (std::isinf(x)) {
      *r = 0;
      return 0;
    }
    *r = T(y1_tiny(x));
    return std::isinf(*r) ? kStatusOverflow : 0;
  }
};

// Yn: the order n comes as a floating scalar, truncated toward zero, the same for the whole call.
// With m = |n|, Y_-m = (-1)^m Y_m; m = 0 and 1 are Y0 and Y1 as above; beyond, the forward
// recurrence Y_k+1 = (2k/a) Y_k - Y_k-1 from Y0(a) and Y1(a) as pairs, all lanes in step, in
// double-double arithmetic (2k/a with its remainder). Y is the recurrence's dominant solution:
// below the turning point k = a both kinds oscillate and an error is carried at most about
// doubled, beyond it Y grows and the error grows with it, so the result keeps the starting
// values' error: relative where Y0 and Y1 are (and where Y_m is large), otherwise within the
// envelope. Beyond the turning point Y only grows, so a lane whose value leaves the (scaled)
// range overflows to an infinity of that sign (status 3); the loop ends when every lane has.
// The work is m steps per register: a huge order with arguments beyond it is slow in proportion
// to the order. Orders whose magnitude reaches 2^31, and NaN orders, are outside the domain
// (NaN, status 1). Yn(+-0) is an infinity of the sign of -(-1)^m for n < 0 (status 2), Yn of a
// negative argument NaN (status 1), Yn(+inf) = +0.
template <typename T>
struct YnK : Kernel<T, sizeof(T) == 4 ? 32 : 16> {
  T b;
  uint32_t m;
  bool valid, flip;
  explicit YnK(T order) : YnK(order, bessel::Order(order)) {}
  YnK(T order, bessel::Order o) : b(order), m(o.m), valid(o.valid), flip(o.negative_odd) {}
  T scalar_argument() const { return b; }

  __m512d yn(__m512d a) const {
    if (m == 0) return bessel_y<0, T>(a);
    if (m == 1) return bessel_y<1, T>(a);
    // The values are carried scaled by 2^-100, so that no intermediate product overflows before
    // the value itself would: a lane that overflows the scaled range lies beyond 2^1124, where
    // Y only grows; the last scaling rounds to an infinity exactly where the result overflows.
    const __m512d down = splat(0x1p-100);
    const DD<__m512d> y0 = bessel_y_pair<0>(a), y1 = bessel_y_pair<1>(a);
    DD<__m512d> prev{mul(y0.hi, down), mul(y0.lo, down)}, cur{mul(y1.hi, down), mul(y1.lo, down)};
    const __m512d inf = splat(std::numeric_limits<double>::infinity());
    __m512d overflowed = zero<__m512d>();
    __mmask8 over = 0;
    for (uint32_t k = 1; k < m && over != 0xFF; ++k) {
      const __m512d twice = splat(2.0 * k);
      const __m512d q = div_quiet(twice, a);
      const DD<__m512d> ratio{q, div_quiet(fnma_quiet(q, a, twice), a)};
      const DD<__m512d> next = dd_add(dd_mul(ratio, cur), DD<__m512d>{sub(zero<__m512d>(), prev.hi), sub(zero<__m512d>(), prev.lo)});
      const __mmask8 now = static_cast<__mmask8>(~less(abs(next.hi), inf) & ~over);
      overflowed = select(now, copy_sign(inf, cur.hi), overflowed);
      over |= now;
      prev = cur;
      cur = {select(over, zero<__m512d>(), next.hi), select(over, zero<__m512d>(), next.lo)};
    }
    return select(over, overflowed, mul(add_quiet(cur.hi, cur.lo), splat(0x1p100)));
  }

  Vec<T> body(Vec<T> x, Mask<T>& special) const {
    if (!valid) {
      special = static_cast<Mask<T>>(~0u);
      return splat(std::numeric_limits<T>::quiet_NaN());
    }
    // Below the least normal Y1 is the callout's quotient and every higher order overflows.
    const Mask<T> ok = less(zero<Vec<T>>(), x) & less(x, splat(std::numeric_limits<T>::infinity())) &
                       (m == 0 ? static_cast<Mask<T>>(~0u) : greater_equal(x, splat(std::numeric_limits<T>::min())));
    const Vec<T> a = select(ok, x, splat(T(1)));
    Vec<T> y;
    if constexpr (sizeof(T) == 8) y = yn(a);
    else y = narrow(yn(widen_low(a)), yn(widen_high(a)));
    if (flip) y = sub(zero<Vec<T>>(), y);
    special = static_cast<Mask<T>>(~ok) | equal(abs(y), splat(std::numeric_limits<T>::infinity()));
    return y;
  }
  // The arguments outside (0, inf), those below the least normal, and the lanes that overflowed
  // (their infinity already in r).
  int callout(const T* a, T* r) const {
    const T x = *a;
    if (std::isnan(x)) {
      *r = x + x;
      return 0;
    }
    if (!valid || x < 0) {
      *r = std::numeric_limits<T>::quiet_NaN();
      return kStatusDomain;
    }
    if (x == 0) {
      *r = flip ? std::numeric_limits<T>::infinity() : -std::numeric_limits<T>::infinity();
      return kStatusSingularity;
    }
    if (std::isinf(x)) {
      *r = 0;
      return 0;
    }
    if (x < std::numeric_limits<T>::min()) {
      const T v = m == 1 ? T(y1_tiny(x)) : -std::numeric_limits<T>::infinity();
      *r = flip ? -v : v;
      if (!std::isinf(*r)) return 0;
    }
    return kStatusOverflow;
  }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(s, Y0, BesselY<0, float>)
VM_KERNELS(d, Y0, BesselY<0, double>)
VM_KERNELS(s, Y1, BesselY<1, float>)
VM_KERNELS(d, Y1, BesselY<1, double>)
VM_KERNELS(s, Yn, YnK<float>)
VM_KERNELS(d, Yn, YnK<double>)
