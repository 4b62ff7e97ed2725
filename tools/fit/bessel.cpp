// The fit records of the Bessel kernels (special/generated/bessel_polys.inc).
//
// e^r - 1 carries the factor e^a of the modified functions to some 2^-64, so that the result's
// one rounding dominates its error.
//
// The modified functions are fitted scaled, F_n(x) = e^-x I_n(x): F_n falls slowly (like
// 1/sqrt(2 pi x)) where I_n itself grows like e^x, so the kernels form I_n as F_n times e^x, and
// F_n is what a polynomial approximates well:
//   0 <= x < 16   sixteen slices of width 1, each F_n = H_i + P_i(x - midpoint);
//   x >= 16       sqrt(x) F_n(x) = G_n(t) in t = 1/x, G_n(0) = 1/sqrt(2 pi); the fit is
//                 Q_n(t) = (G_n(t) - G_n(0)) / t, so that a kernel keeps G_n(0) as a pair;
//   |x| < 1       I0 = 1 + S0(u), I1 = x/2 (1 + S1(u)) in u = x^2/4 with the series' own
//                 coefficients: there F_n changes fastest (F0' = -1 at 0), so a slice's
//                 polynomial part would be nearly as large as its head and carry its own
//                 rounding error into the result, and F1 vanishes at 0.
#include <mpfr.h>

#include "fits.h"

namespace fit {
namespace {

// e^-x I_nu(x) for x >= 0: the power series (all terms positive) up to x = 120, beyond that the
// asymptotic series e^-x I_nu(x) ~ (2 pi x)^-1/2 sum (-1)^k a_k(nu) / x^k, whose smallest term
// there is near e^-2x, far below the 256 bits carried.
R scaled_bessel_i(int nu, const R& x) {
  R sum(0);
  const R eps = R(std::ldexp(1.0, -300));
  if (x < R(120)) {
    if (x.zero()) return R(nu == 0 ? 1 : 0);
    const R u = x * x / R(4);
    R term(1);
    for (int j = 1; j <= nu; ++j) term = term * x / R(2 * j);
    for (int k = 0;; ++k) {
      sum = sum + term;
      if (abs(term) < sum * eps) break;
      term = term * u / R((k + 1) * (k + 1 + nu));
    }
    return sum * exp(-x);
  }
  const R mu(4 * nu * nu);
  R term(1);
  for (int k = 0; k < 400; ++k) {
    sum = sum + term;
    const R next = term * (R((2 * k + 1) * (2 * k + 1)) - mu) / (R(8 * (k + 1)) * x);
    if (abs(next) < sum * eps || abs(term) < abs(next)) break;
    term = next;
  }
  R pi;
  mpfr_const_pi(pi.v, MPFR_RNDN);
  return sum / sqrt(R(2) * pi * x);
}

template <int kNu>
R scaled_i(const R& x) { return scaled_bessel_i(kNu, x); }

// Q_n(t) = (sqrt(x) e^-x I_n(x) - 1/sqrt(2 pi)) / t with x = 1/t; at t = 0 its limit,
// -(4n^2 - 1)/8 / sqrt(2 pi), the first term of the asymptotic series.
template <int kNu>
R asym_tail(const R& t) {
  R pi;
  mpfr_const_pi(pi.v, MPFR_RNDN);
  const R c0 = R(1) / sqrt(R(2) * pi);
  if (t.zero()) return c0 * R(1 - 4 * kNu * kNu) / R(8);
  const R x = R(1) / t;
  return (sqrt(x) * scaled_bessel_i(kNu, x) - c0) / t;
}

// I0(x) - 1 and I1(x) / (x/2) - 1 in u = x^2/4, and their series sum_j u^j / (j! (j+n)!) from
// j = 1.
template <int kNu>
R small_ratio_m1(const R& u) {
  if (u.zero()) return R(0);
  const R x = R(2) * sqrt(u);
  const R i = scaled_bessel_i(kNu, x) * exp(x);
  return (kNu == 0 ? i : i / (x / R(2))) - R(1);
}
template <int kNu>
R small_series_term(int j) {
  R d(1);
  for (int i = 2; i <= j; ++i) d = d * R(i);
  for (int i = 2; i <= j + kNu; ++i) d = d * R(i);
  return R(1) / d;
}

R expm1_(const R& r) { return expm1(r); }

void unit_slice(int i, double& lo, double& hi) {
  lo = i;
  hi = i + 1;
}

}  // namespace

std::vector<Fit> bessel_fits() {
  using W = Weight;
  return {
      {"kExpm1D", "e^r - 1", expm1_, "[-2^-10, ln2/16 + 2^-10]", -0x1p-10, 0.6931471805599453 / 16 + 0x1p-10, 9,
       W::Absolute, Prec::Double, How::Minimax, {0}, nullptr,
       "e^a on the exponential's table and reduction, more accurate than its kernels need"},
      {"kI0AsymD", "(sqrt(x) e^-x I0(x) - 1/sqrt(2 pi)) / t in t = 1/x", asym_tail<0>, "x >= 16: t in [0, 1/16]",
       0, 1.0 / 16, 17, W::Absolute, Prec::Double, How::Minimax, {}, nullptr,
       "I0 = e^x (c0 + t Q(t)) / sqrt(x), c0 kept as a pair by the kernel"},
      {"kI1AsymD", "(sqrt(x) e^-x I1(x) - 1/sqrt(2 pi)) / t in t = 1/x", asym_tail<1>, "x >= 16: t in [0, 1/16]",
       0, 1.0 / 16, 17, W::Absolute, Prec::Double, How::Minimax, {}, nullptr,
       "I1 = e^x (c0 + t Q(t)) / sqrt(x), c0 kept as a pair by the kernel"},
      {"kI0SmallD", "I0(x) - 1 in u = x^2/4", small_ratio_m1<0>, "|x| < 1: u in [0, 1/4]", 0, 0.25, 10,
       W::Absolute, Prec::Double, How::Taylor, {}, small_series_term<0>, "I0 = 1 + S(u), every slot"},
      {"kI1SmallD", "I1(x) / (x/2) - 1 in u = x^2/4", small_ratio_m1<1>, "|x| < 1: u in [0, 1/4]", 0, 0.25, 9,
       W::Absolute, Prec::Double, How::Taylor, {}, small_series_term<1>, "I1 = x/2 + (x/2) S(u), every slot"},
  };
}

std::vector<PiecewiseFit> bessel_piecewise_fits() {
  return {
      {"kI0PiecesD", "e^-x I0(x) - H_i", scaled_i<0>, 16, unit_slice, "x in [i, i + 1), in x - (i + 1/2)", 14,
       Weight::Absolute, Prec::Double, {}, "I0 = e^x (H_i + P_i(x - midpoint)) from 1 to 16", true, true},
      {"kI1PiecesD", "e^-x I1(x) - H_i", scaled_i<1>, 16, unit_slice, "x in [i, i + 1), in x - (i + 1/2)", 14,
       Weight::Absolute, Prec::Double, {}, "I1 = e^x (H_i + P_i(x - midpoint)) from 1 to 16", true, true},
  };
}

}  // namespace fit
