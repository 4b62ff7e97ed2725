// The fit records of the gamma kernels and the exponential integral (special/gamma.cpp). ln|Gamma| is taken apart as
//   near its zeros at 1 and 2   lgamma(m + t) = t (c0 + t G(t)), c0 = -gamma or 1 - gamma held
//                               by the kernel in two parts, G fitted here;
//   between them and up to 8.5  a value at the slice's midpoint (rounded, kept apart) plus a
//                               polynomial in the offset from it;
//   beyond                      Stirling's form with its correction S(1/x^2)/x fitted here.
#include <cmath>

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

// Sixteen slices of 3/8 from 2.5 to 8.5, where Stirling's form takes over.
void gamma_slice(int i, double& lo, double& hi) {
  lo = 2.5 + 0.375 * i;
  hi = lo + 0.375;
}
// The one slice around the minimum, between the two zero forms.
void gamma_middle(int, double& lo, double& hi) {
  lo = 1.25;
  hi = 1.75;
}

}  // namespace

std::vector<Fit> gamma_fits() {
  using W = Weight;
  return {
      {"kLGammaNear1", "(lgamma(1 + t)/t + gamma)/t", near_one, "t in [-1/4, 1/4]", -0.25, 0.25, 21, W::Absolute,
       Prec::Double, How::Minimax, {}, nullptr, "lgamma(1 + t) = t (-gamma + t G(t)), also for x below 3/4 as 1 + x"},
      {"kLGammaNear2", "(lgamma(2 + t)/t - (1 - gamma))/t", near_two, "t in [-1/4, 1/2]", -0.25, 0.5, 18,
       W::Absolute, Prec::Double, How::Minimax, {}, nullptr, "lgamma(2 + t) = t (1 - gamma + t G(t))"},
      {"kLGammaStirling", "x (lgamma x - (x - 1/2) ln x + x - ln(2 pi)/2) in u = 1/x^2", stirling_rest,
       "x >= 8.5", 0, 1 / 72.25, 8, W::Relative, Prec::Double, How::Minimax, {}, nullptr,
       "the correction to Stirling's form, added as S(u)/x"},
      {"kLnTail", "(ln(1 + r) - r + r^2/2)/r^3", ln_tail, "r in [-1/32, 1/32]", -1.0 / 32, 1.0 / 32, 9, W::Relative,
       Prec::Double, How::Minimax, {}, nullptr,
       "ln(1 + r) = r - r^2/2 + r^3 Q(r) on the Ln kernels' reduction, the first two terms exact: logarithms "
       "good to 2^-70, which Stirling's form multiplies by x"},
      {"kE1Small", "(E1(x) + gamma + ln x)/x", e1_series, "x in [0, 1]", 0, 1, 16, W::Absolute, Prec::Double,
       How::Minimax, {}, nullptr, "E1 x = -gamma - ln x + x P(x), the last steps and the sum in pairs"},
      {"kE1Asymptotic", "x e^x E1(x) in u = 1/x", e1_scaled_u, "x >= 256", 0, 1.0 / 256, 12, W::Relative,
       Prec::Double, How::Minimax, {}, nullptr, "E1 x = e^-x f / x"},
  };
}

std::vector<PiecewiseFit> gamma_piecewise_fits() {
  return {
      {"kLGammaMiddle", "lgamma x - lgamma(3/2) rounded", lngamma, 1, gamma_middle, "x in [5/4, 7/4), in x - 3/2",
       19, Weight::Absolute, Prec::Double, {}, "lgamma x = H + P(x - 3/2), also for x in [1/4, 3/4) as 1 + x", true,
       true},
      {"kLGammaPieces", "lgamma x - lgamma(midpoint) rounded", lngamma, 16, gamma_slice,
       "x in [5/2 + 3i/8, 5/2 + 3(i + 1)/8), in x - midpoint", 13, Weight::Absolute, Prec::Double, {},
       "lgamma x = H_i + P_i(x - midpoint)", true, true},
      {"kE1Pieces", "x e^x E1(x) - its midpoint value rounded", e1_scaled, 16, e1_slice,
       "x in the halves [1, 1.5) 2^k and [1.5, 2) 2^k of the binades from 1 to 256, in x - midpoint", 18,
       Weight::Absolute, Prec::Double, {}, "E1 x = e^-x (H_i + P_i(x - midpoint)) / x", true, true},
  };
}

}  // namespace fit
