// The fit records of the gamma kernels and the exponential integral (special/gamma.cpp). ln|Gamma| is taken apart as
//   Stirling's form          (b - 1/2)(ln b - 1) + ln(2 pi)/2 - 1/2 + S(1/b^2)/b for b >= 8.5 (the
//                            kernels shift smaller arguments up by nine factors), S fitted here;
//   near its zeros at 1 and 2   lgamma(m + t) = t (c0 + t G(t)), c0 = -gamma or 1 - gamma held
//                               by the kernel in two parts, G fitted here.
// Near its zeros on the negative axis, where the reflection leaves only an absolute accuracy, a
// polynomial centred at each zero (gamma_zero_tables below, special/generated/gamma_zeros.inc).
#include <cmath>
#include <cstdio>
#include <string>

#include "bessel_pieces.h"
#include "fits.h"

namespace fit {
namespace {

R lngamma(const R& x) {
  R r;
  mpfr_lngamma(r.v, x.v, MPFR_RNDN);
  return r;
}
R euler() {
  R g;
  mpfr_const_euler(g.v, MPFR_RNDN);
  return g;
}
R zeta(int k) {
  R z;
  mpfr_zeta_ui(z.v, k, MPFR_RNDN);
  return z;
}

// (lgamma(m + t)/t - c0)/t with c0 the slope at the zero; at t = 0 the series' next coefficient
// (zeta(2)/2 at 1, (zeta(2) - 1)/2 at 2).
R near_one(const R& t) {
  if (t.zero()) return zeta(2) / R(2);
  return (lngamma(R(1) + t) / t + euler()) / t;
}
R near_two(const R& t) {
  if (t.zero()) return (zeta(2) - R(1)) / R(2);
  return (lngamma(R(2) + t) / t - (R(1) - euler())) / t;
}

// x (lgamma x - ((x - 1/2) ln x - x + ln(2 pi)/2)) in u = 1/x^2: 1/12 at u = 0.
R stirling_rest(const R& u) {
  if (u.zero()) return R(1) / R(12);
  const R x = R(1) / sqrt(u);
  R pi;
  mpfr_const_pi(pi.v, MPFR_RNDN);
  return x * (lngamma(x) - ((x - R(0.5)) * log(x) - x + log(R(2) * pi) / R(2)));
}

// sin(pi r)/r in u = r^2: pi at u = 0.
R sin_pi_over(const R& u) {
  if (u.zero()) return pi_();
  const R r = sqrt(u);
  return sin(pi_() * r) / r;
}

// (ln(1 + r) - r + r^2/2)/r^3: 1/3 at r = 0.
R ln_tail(const R& r) {
  if (r.zero()) return R(1) / R(3);
  return (log1p(r) - r + r * r / R(2)) / (r * r * r);
}

// The exponential integral E1 x = -Ei(-x): with g = Euler's constant, E1 x = -g - ln x + x P(x)
// near zero; beyond, f(x) = x e^x E1(x), slowly from 0.6 at 1 to 1 at infinity, in x on halves
// of binades up to 256, in u = 1/x above.
R e1(const R& x) {
  R r, m = -x;
  mpfr_eint(r.v, m.v, MPFR_RNDN);
  return -r;
}
R e1_series(const R& x) {
  if (x.zero()) return R(1);
  return (e1(x) + euler() + log(x)) / x;
}
R e1_scaled(const R& x) { return x * exp(x) * e1(x); }
R e1_scaled_u(const R& u) { return u.zero() ? R(1) : e1_scaled(R(1) / u); }
// Piece i: [2^(i/2), 1.5 2^(i/2)) for even i, [1.5 2^((i-1)/2), 2^((i+1)/2)) for odd i.
void e1_slice(int i, double& lo, double& hi) {
  const double b = std::ldexp(1.0, i / 2);
  lo = i % 2 ? 1.5 * b : b;
  hi = i % 2 ? 2 * b : 1.5 * b;
}

// ---- the zeros on the negative axis ----------------------------------------------------------
// Between the poles -n - 1 and -n, ln|Gamma| falls from +inf to a minimum (where psi vanishes)
// and rises to +inf again; from n = 2 on the minimum is negative (-0.119 at n = 2, then lower),
// so every such interval holds two zeros, within about 1/n! of its poles. A double comes near
// them only while 1/n! is large beside the doubles' spacing at n: the doubles around the zeros
// of n = 2 .. 15 reach |lgamma| below the window (down to 3.5e-3 next to -16 + 4.8e-14, 27
// spacings of 2^-49 from -16), but those around the next one, -16 - 4.8e-14 (13.5 spacings
// of 2^-48), give 0.034 at the least. From -17 on the zeros lie closer to their poles than the
// spacing (1/17! = 2.8e-15 < 2^-48), and the doubles beside a pole give |lgamma| of 0.23 (next
// to -17) and above 3 (from -18 on). Beyond n = 15 the ordinary forms' absolute error is far
// below the ulps of every result.
constexpr double kZeroWindow = 0x1p-5;  // the kernel takes a lane here when |lgamma| is below this
constexpr double kWindowMargin = 1.125;  // the pieces reach |lgamma| = margin * window
constexpr int kZeroDegree = 12;
constexpr int kLastN = 15;

// ln|Gamma x| for any x that is not a pole (mpfr_lngamma is NaN where Gamma is negative).
R ln_abs_gamma(const R& x) {
  R r;
  int sign;
  mpfr_lgamma(r.v, &sign, x.v, MPFR_RNDN);
  return r;
}
R digamma(const R& x) {
  R r;
  mpfr_digamma(r.v, x.v, MPFR_RNDN);
  return r;
}
// Where f changes sign between a and b (f negative next to a, positive next to b, or the reverse
// with `rising` false), by bisection to the fitter's precision; f is never taken at a or b
// themselves (poles).
R crossing(const Target& f, R a, R b, bool rising) {
  for (int i = 0; i < 300; ++i) {
    const R c = (a + b) / R(2);
    ((f(c) < R(0)) == rising ? a : b) = c;
  }
  return (a + b) / R(2);
}

}  // namespace

// The pieces around the zeros of ln|Gamma| in (-n - 1, -n), n = 2 .. 15, numbered 2 (n - 2) for
// the zero next to -n and one more for the zero next to -n - 1. Each is centred at its zero
// (hi + lo + tail, from MPFR to 256 bits) with lgamma(centre + d) fitted for relative error over
// the window where |lgamma| stays below the margin times kZeroWindow, its constant pinned to 0;
// over that window the ordinary forms, good to about 2^-60 absolutely, would lose up to some
// 2^-55 relative, and the window is narrow enough (a twelfth of the way to the nearer pole at
// most, a thirty-second from n = 3 on) for a short polynomial. Its stored coefficients reach
// 2^-57 relative and more: the rounding of c2 limits them, not the degree.
std::string gamma_zero_tables() {
  Out o;
  o.line("// Generated by tools/fit; do not edit. ln|Gamma| near its zeros on the negative axis: per zero the");
  o.line("// centre hi + lo + tail and the polynomial in d = x - centre (rising degree) over the window where");
  o.line("// |lgamma| is below kZeroWindow (times a margin), recorded in tools/fit/gamma.cpp.");
  o.line("#pragma once");
  o.line("namespace zorp::vm::gammazero {");
  o.line("inline constexpr double kZeroWindow = " + hexf(kZeroWindow) + ";");
  PieceColumns t(kZeroDegree);
  t.span = "%+.3e";  // windows down to 1e-15 wide
  t.tails = true;
  o.line("// kZeros: lgamma(centre + d), degree " + std::to_string(kZeroDegree) + ", relative error, double");
  const R edge(kZeroWindow * kWindowMargin);
  for (int n = 2; n <= kLastN; ++n) {
    const R upper(-n), lower(-n - 1);
    const R lowest = crossing(digamma, lower, upper, true);
    for (int side = 0; side < 2; ++side) {
      // The upper zero: lgamma rises through it toward -n; the lower one falls toward it from -n - 1.
      const bool rising = side == 0;
      const R pole = rising ? upper : lower;
      const R at = crossing(ln_abs_gamma, rising ? lowest : pole, rising ? pole : lowest, rising);
      const Target above = [&](const R& x) { return ln_abs_gamma(x) - edge; };
      const Target below = [&](const R& x) { return ln_abs_gamma(x) + edge; };
      const R from = rising ? crossing(below, lowest, at, true) : crossing(above, pole, at, false);
      const R to = rising ? crossing(above, at, pole, true) : crossing(below, at, lowest, false);
      const double a = (from - at).d(), b = (to - at).d();
      const Target f = [at](const R& d) { return ln_abs_gamma(at + d); };
      t.add(o, 2 * (n - 2) + side, at, true, a, b, f, remez(f, a, b, kZeroDegree, Weight::Relative, {R(0)}));
    }
  }
  t.write(o, "kZeros");
  o.line("}  // namespace zorp::vm::gammazero");
  return o.text;
}

std::vector<Fit> gamma_fits() {
  using W = Weight;
  return {
      {"kLGammaNear1", "(lgamma(1 + t)/t + gamma)/t", near_one, "t in [-1/4, 1/4]", -0.25, 0.25, 21, W::Absolute,
       Prec::Double, How::Minimax, {}, nullptr, "lgamma(1 + t) = t (-gamma + t G(t))"},
      {"kLGammaNear2", "(lgamma(2 + t)/t - (1 - gamma))/t", near_two, "t in [-1/4, 1/2]", -0.25, 0.5, 18,
       W::Absolute, Prec::Double, How::Minimax, {}, nullptr, "lgamma(2 + t) = t (1 - gamma + t G(t))"},
      {"kLGammaStirling", "x (lgamma x - (x - 1/2) ln x + x - ln(2 pi)/2) in u = 1/x^2", stirling_rest,
       "x >= 8.5", 0, 1 / 72.25, 8, W::Relative, Prec::Double, How::Minimax, {}, nullptr,
       "the correction to Stirling's form, added as S(u)/x"},
      {"kLnTail", "(ln(1 + r) - r + r^2/2)/r^3", ln_tail, "r in [-1/32, 1/32]", -1.0 / 32, 1.0 / 32, 9, W::Relative,
       Prec::Double, How::Minimax, {}, nullptr,
       "ln(1 + r) = r - r^2/2 + r^3 Q(r) on the Ln kernels' reduction, the first two terms exact: logarithms "
       "good to 2^-70, which Stirling's form multiplies by x"},
      {"kSinPiSingle", "sin(pi r)/r in u = r^2", sin_pi_over, "r in [0, 1/2]", 0, 0.25, 7, W::Relative,
       Prec::Double, How::Minimax, {}, nullptr,
       "sin(pi x) = r S(r^2), r = |x - round(x)|, for the reflection of the plain-double gammas (single "
       "precision and the double EP slot)"},
      {"kE1Small", "(E1(x) + gamma + ln x)/x", e1_series, "x in [0, 1]", 0, 1, 16, W::Absolute, Prec::Double,
       How::Minimax, {}, nullptr, "E1 x = -gamma - ln x + x P(x), the last steps and the sum in pairs"},
      {"kE1Asymptotic", "x e^x E1(x) in u = 1/x", e1_scaled_u, "x >= 256", 0, 1.0 / 256, 12, W::Relative,
       Prec::Double, How::Minimax, {}, nullptr, "E1 x = e^-x f / x"},
  };
}

std::vector<PiecewiseFit> gamma_piecewise_fits() {
  return {
      {"kE1Pieces", "x e^x E1(x) - its midpoint value rounded", e1_scaled, 16, e1_slice,
       "x in the halves [1, 1.5) 2^k and [1.5, 2) 2^k of the binades from 1 to 256, in x - midpoint", 18,
       Weight::Absolute, Prec::Double, {}, "E1 x = e^-x (H_i + P_i(x - midpoint)) / x", true, true},
  };
}

}  // namespace fit
