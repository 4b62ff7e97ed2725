// The chi-square law with k = dof degrees of freedom, for the robust estimators' cut-off constants
// and the outlier detection's threshold (a quantile at 1 - alpha/n, so probabilities as close to 1
// as 1 - 1e-12).  With a = k/2 and z = x/2 the distribution function is the regularised lower
// incomplete gamma function P(a, z), and both tails come from one kernel
//
//   D(a, z) = z^a e^-z / Gamma(a),   density f(x) = D / x,
//
// evaluated as e^E with E = a ln z - z - ln Gamma(a) summed in pairs (the terms reach 10^4 at
// dof 10^4 while E stays within a few hundred; in double their roundings alone would cost 1e-12).
//
// P and Q = 1 - P (Numerical Recipes, 3rd ed., section 6.2; the methods go back to Abramowitz &
// Stegun 6.5.29 and 6.5.31):
//   z < a + 1    P = D/a sum_n z^n / ((a + 1) ... (a + n)), all terms positive; Q = 1 - P is
//                then at least 1e-2 or so, so the complement loses little;
//   z >= a + 1   Q = D / (z + 1 - a - 1 (1 - a) / (z + 3 - a - 2 (2 - a) / (z + 5 - a - ...))),
//                by the modified Lentz method; P = 1 - Q is at least 1/2 there.
// The tail that is small is the one computed directly, so the quantile's search on the upper tail
// sees Q with its full relative accuracy.  Both need about 9 sqrt(a) terms near z = a, so past
// a = 10^8 (dof 2e8, far beyond the callers) the leading term of Temme's uniform expansion takes
// over (DLMF 8.12.3-8.12.4, coefficient c0 of 8.12.9): Q = erfc(eta sqrt(a/2))/2 + R,
// R = e^(-a eta^2/2) / sqrt(2 pi a) c0(eta), eta^2/2 = lambda - 1 - ln lambda, lambda = z/a,
// relative error O(1/a): 1.1e-10 at the switch against a series summed in MPFR.
//
// The quantile: Halley steps on the logarithm of whichever of P(a, z) / p and Q(a, z) / (1 - p)
// has the small tail (1 - p is exact for p >= 1/2), inside a bracket that every evaluation
// narrows; a step that leaves it is replaced by a bisection (geometric once both ends are
// positive).  The start is Wilson & Hilferty's cube-root normal approximation, with the tail
// forms z = (p Gamma(a + 1))^(1/a) (lower) and the fixed point of z = (a - 1) ln z - ln(q Gamma(a))
// (upper) where they are closer, as they are for small dof; two to six evaluations follow.
#include <algorithm>
#include <cmath>
#include <limits>

#include "ss/support/lngamma.h"
#include "zorp/export.h"

namespace zorp::ss::support {
namespace {

using simd::dd_add;
using simd::dd_mul;
using simd::two_sum;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kEps = 0x1p-52;
constexpr double kInvSqrt2Pi = 0x1.9884533d43651p-2;  // 1/sqrt(2 pi)
constexpr double kTemmeFrom = 1e8;                     // shape a above which the expansion is used
constexpr int kMaxQuantileSteps = 100;

Pair sub(Pair a, Pair b) { return dd_add(a, Pair{-b.hi, -b.lo}); }

// e^(e.hi + e.lo) to within the exponential's rounding.
double exp_pair(Pair e) { return e.hi == -kInf ? 0.0 : std::exp(e.hi) * (1.0 + e.lo); }

// ln z for z = x/2 taken from x, so that halving a subnormal x costs nothing.
Pair ln_half(double x) { return sub(ln_pair(x), kLn2); }

// The shape a = dof/2 with ln a and ln Gamma(a), taken from dof itself: halving a subnormal dof
// rounds (to 0 for the least one), but ln a = ln dof - ln 2 and, below 2^-1000, ln Gamma(a) =
// -ln a (to within gamma a) stay exact, and a itself then only multiplies ln z or adds to n.
// Past kTemmeFrom the expansion needs neither logarithm.
struct Shape {
  double a;
  Pair ln_a{0.0, 0.0}, lgamma_a{0.0, 0.0};
  explicit Shape(double dof) : a(0.5 * dof) {
    if (a > kTemmeFrom) return;
    ln_a = sub(ln_pair(dof), kLn2);
    lgamma_a = dof < 0x1p-1000 ? Pair{-ln_a.hi, -ln_a.lo} : lgamma_pair(a);
  }
};

// c ln z - z - ln Gamma(a), the logarithm of z^c e^-z / Gamma(a).
Pair log_kernel(Pair c, double x, const Shape& s) {
  return sub(dd_add(dd_mul(c, ln_half(x)), Pair{-0.5 * x, 0.0}), s.lgamma_a);
}

struct Tails {
  double lower, upper;  // P(a, z) and Q(a, z)
  double kernel;        // D(a, z)
};

// Temme's leading term for a > kTemmeFrom.
Tails temme(double a, double x) {
  const double z = 0.5 * x;
  const Pair d = two_sum(z, -a);  // exact
  const double uh = d.hi / a;
  const double u = uh + (std::fma(-uh, a, d.hi) + d.lo) / a;  // lambda - 1
  // eta^2/2 = u - ln(1 + u): the series sum_k>=2 (-u)^k / k near u = 0, where the difference
  // cancels; beyond |u| = 0.1 a eta^2/2 exceeds 10^5 and only its size matters.
  double h;
  if (std::fabs(u) < 0.1) {
    double s = 1.0 / 18;
    for (int k = 17; k >= 2; --k) s = std::fma(s, -u, 1.0 / k);
    h = s * u * u;
  } else {
    h = u - std::log1p(u);
  }
  const double eta = std::copysign(std::sqrt(2 * h), u);
  const double c0 = std::fabs(eta) < 1e-3 ? -1.0 / 3 + eta / 12 : 1 / u - 1 / eta;
  const double decay = std::exp(-a * h);
  const double r = decay * kInvSqrt2Pi / std::sqrt(a) * c0;
  // D = sqrt(a / (2 pi)) e^(-a eta^2/2) / Gamma*(a), Gamma*(a) = e^(1/(12 a)) to 1e-26.
  const double kernel = decay * kInvSqrt2Pi * std::sqrt(a) * std::exp(-1 / (12 * a));
  const double s = eta * std::sqrt(0.5 * a);
  if (eta >= 0) {
    const double q = 0.5 * std::erfc(s) + r;
    return {1 - q, q, kernel};
  }
  const double p = 0.5 * std::erfc(-s) - r;
  return {p, 1 - p, kernel};
}

// P, Q and D at z = x/2 > 0 finite, for 0 < a < inf.
Tails incomplete_gamma(const Shape& s, double x) {
  const double a = s.a;
  if (a > kTemmeFrom) return temme(a, x);
  const double z = 0.5 * x;
  const Pair e = log_kernel({a, 0.0}, x, s);
  const double kernel = exp_pair(e);
  // Near z = a both methods need about 9 sqrt(a) terms; the bound only guarantees an end.
  const int cap = 1000 + int(20 * std::sqrt(a));
  if (z < a + 1) {
    double term = 1, sum = 1;
    for (int n = 1; n < cap; ++n) {
      term *= z / (a + n);
      sum += term;
      if (term <= sum * 0x1p-54) break;
    }
    // D/a = z^a e^-z / Gamma(a + 1) from the logarithms: for tiny a, D itself is subnormal.
    const double p = exp_pair(sub(e, s.ln_a)) * sum;
    return {p, 1 - p, kernel};
  }
  constexpr double kTiny = 0x1p-1000;  // Lentz's stand-in for a zero denominator
  double b = z + 1 - a, c = 1 / kTiny, d = 1 / b, h = d;
  for (int i = 1; i < cap; ++i) {
    const double an = -i * (i - a);
    b += 2;
    d = an * d + b;
    if (std::fabs(d) < kTiny) d = kTiny;
    c = b + an / c;
    if (std::fabs(c) < kTiny) c = kTiny;
    d = 1 / d;
    const double delta = d * c;
    h *= delta;
    if (std::fabs(delta - 1) <= 0x1p-53) break;
  }
  const double q = kernel * h;
  return {1 - q, q, kernel};
}

// The standard normal quantile to about 4.5e-4 (Abramowitz & Stegun 26.2.23), for the start only;
// `tail` is the smaller of p and 1 - p, `upper` says which.
double normal_quantile(double tail, bool upper) {
  const double t = std::sqrt(-2 * std::log(tail));
  const double num = 2.515517 + t * (0.802853 + t * 0.010328);
  const double v = t - num / (1 + t * (1.432788 + t * (0.189269 + t * 0.001308)));
  return upper ? v : -v;
}

// A starting z for P(a, z) = p (upper false, tail = p) or Q(a, z) = tail (upper true).
double start(const Shape& s, double tail, bool upper) {
  const double a = s.a, k = 2 * a, w = 2 / (9 * k);
  const double base = 1 - w + normal_quantile(tail, upper) * std::sqrt(w);
  const double wilson = base > 0 ? 0.5 * k * base * base * base : 0.0;
  if (a > kTemmeFrom) return wilson;  // within a few 1e-5 of the root there
  const double lga = s.lgamma_a.hi;
  if (!upper) {
    // P(a, z) <= z^a / Gamma(a + 1): the root lies above this z, which is also close to it when
    // it is small.
    const double low = std::exp((std::log(tail) + lga + s.ln_a.hi) / a);
    return std::max(wilson, low);
  }
  // Q(a, z) ~ z^(a-1) e^-z / Gamma(a) for z >> a: a few rounds of the fixed point.
  double z = std::max(a + 1, -std::log(tail) - lga);
  for (int i = 0; i < 4; ++i) z = std::max(a + 1, (a - 1) * std::log(z) - std::log(tail) - lga);
  return wilson > 0 && a > 5 ? wilson : z;
}

double quantile(double prob, double dof) {
  const Shape s(dof);
  const double a = s.a;
  const bool upper = prob > 0.5;
  const double tail = upper ? 1 - prob : prob;  // exact for prob >= 1/2
  const double side = upper ? -1.0 : 1.0;
  double z = start(s, tail, upper), lo = 0, hi = kInf, last = kInf;
  for (int i = 0; i < kMaxQuantileSteps && z > 0; ++i) {  // z = 0: below the least subnormal
    const Tails t = incomplete_gamma(s, 2 * z);
    // G = +-ln(T / tail), T the small tail, signed to increase with z: it is as well scaled a
    // hundred orders of magnitude from the root as near it, where P - p itself would be flat.
    const double T = upper ? t.upper : t.lower, r = (T - tail) / tail;
    const double G = side * (std::fabs(r) < 0.5 ? std::log1p(r) : std::log(T / tail));
    if (G == 0) break;
    (G < 0 ? lo : hi) = z;
    // G' = D / (z T); Halley with G''/G' = (a - 1)/z - 1 - +-D/(z T).
    const double slope = t.kernel / (z * T);
    double step = G / slope;
    const double damp = 1 - 0.5 * step * ((a - 1) / z - 1 - side * slope);
    if (damp > 0.5) step /= damp;
    const double next = z - step, moved = std::fabs(step);
    // Stop on a step of a few ulp, or when steps stop shrinking at the level of the evaluation's
    // own rounding (for small dof, where P ~ z^(dof/2), that level is 1e-16 / (dof/2) of z).
    if (moved <= 4 * kEps * z) {
      z = next;
      break;
    }
    if (moved <= 1e-12 * z && moved >= 0.5 * last) break;
    if (next > lo && next < hi) {
      z = next;
      last = moved;
    } else {  // out of the bracket (or no step at all where T under- or overflowed): bisect
      if (hi - lo <= 4 * kEps * hi) break;
      if (hi == kInf) {
        z = std::min(4 * z, std::numeric_limits<double>::max());
      } else {
        z = lo > 0 ? std::sqrt(lo) * std::sqrt(hi) : 0.25 * hi;
      }
      last = kInf;
    }
  }
  return 2 * z;
}

}  // namespace
}  // namespace zorp::ss::support

using namespace zorp::ss::support;

extern "C" ZORP_API double __tarrdChi2CDF(double x, double dof) {
  if (std::isnan(x) || std::isnan(dof) || !(dof > 0)) return kNaN;
  if (x <= 0) return 0.0;
  if (x == kInf) return 1.0;
  if (dof == kInf) return 0.0;  // the mass has gone past every finite x
  return incomplete_gamma(Shape(dof), x).lower;
}

extern "C" ZORP_API double __tarrdChi2PDF(double x, double dof) {
  if (std::isnan(x) || std::isnan(dof) || !(dof > 0)) return kNaN;
  if (x < 0 || x == kInf || dof == kInf) return 0.0;
  if (x == 0) return dof < 2 ? kInf : dof == 2 ? 0.5 : 0.0;
  const Shape s(dof);
  if (s.a > kTemmeFrom) return incomplete_gamma(s, x).kernel / x;
  // f(x) = z^(a-1) e^-z / (2 Gamma(a)), in logarithms so that neither z^(a-1) nor the division
  // by a subnormal x over- or underflows on the way.
  return exp_pair(sub(log_kernel(two_sum(s.a, -1.0), x, s), kLn2));
}

extern "C" ZORP_API double __tarrdChi2ICDF(double prob, double dof) {
  if (std::isnan(prob) || std::isnan(dof) || !(dof > 0) || prob < 0 || prob > 1) return kNaN;
  if (prob == 0) return 0.0;
  if (prob == 1 || dof == kInf) return kInf;
  return quantile(prob, dof);
}
