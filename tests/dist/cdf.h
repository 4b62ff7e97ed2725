// Distribution functions for the goodness-of-fit tests: the Gamma, Beta and chi-square ones from
// GSL, an implementation independent of ours (Debian has no GSL for mingw-w64, so the Windows
// build has none: there they give NaN and the fits that need them are skipped); the normal one
// from erfc; the chi-square bound of the discrete fits from MPFR's incomplete gamma function,
// which both builds have; and the Kolmogorov-Smirnov statistic.
#pragma once
#include <mpfr.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#if defined(ZORP_TEST_GSL)
#include <gsl/gsl_cdf.h>
#endif

namespace zorp::test {

// P(a, x) = gamma(a, x) / Gamma(a), and I_x(a, b).
#if defined(ZORP_TEST_GSL)
inline double gamma_p(double a, double x) { return gsl_cdf_gamma_P(x, a, 1); }
inline double beta_i(double a, double b, double x) { return gsl_cdf_beta_P(x, a, b); }
#else
inline double gamma_p(double, double) { return NAN; }
inline double beta_i(double, double, double) { return NAN; }
#endif

inline double normal_cdf(double z) { return 0.5 * std::erfc(-z / std::sqrt(2.0)); }

// sqrt(n) times the largest distance between the sample's empirical distribution and F. A value
// stands for every number that rounds to it in its precision (`single` for floats): a run of
// equal values is compared with F at the ends of that rounding interval, so that a point mass
// made by rounding (tiny Gamma values on 0, Beta values on 0 or 1) is no false alarm. A float
// comes out of single-precision arithmetic a few units in its last place from the exact
// transform, so for floats the interval is two units wide on each side: where one unit holds a
// visible share of the mass (Beta(30, 0.3) puts 2% in the last float below 1) that error alone
// would otherwise show as a misfit.
// Beyond 2.75 the chance of a false alarm is below 2 exp(-2 * 2.75^2) = 5.5e-7.
template <typename F>
double kolmogorov_smirnov(std::vector<double> x, F cdf, bool single = false) {
  std::sort(x.begin(), x.end());
  const double n = static_cast<double>(x.size());
  auto neighbour = [single](double v, double to) {
    if (!single) return std::nextafter(v, to);
    float f = static_cast<float>(v);
    for (int k = 0; k < 4; ++k) f = std::nextafter(f, static_cast<float>(to));  // halved below: 2 units
    return static_cast<double>(f);
  };
  double d = 0;
  for (size_t i = 0; i < x.size();) {
    size_t j = i;
    while (j < x.size() && x[j] == x[i]) ++j;
    const double v = x[i];
    const double lo = v - (v - neighbour(v, -INFINITY)) / 2, hi = v + (neighbour(v, INFINITY) - v) / 2;
    const double below = cdf(lo), above = cdf(hi);
    d = std::max({d, below - i / n, i / n - below, above - j / n, j / n - above});
    i = j;
  }
  return d * std::sqrt(n);
}
inline constexpr double kKsBound = 2.75;

// The point x where a chi-square variable with `df` degrees of freedom exceeds x with chance
// `tail`: bisection on Q(df/2, x/2) = Gamma(df/2, x/2) / Gamma(df/2).
inline double chi_square_bound(int df, double tail) {
  mpfr_t a, g, z, q;
  mpfr_inits2(64, a, g, z, q, static_cast<mpfr_ptr>(nullptr));
  mpfr_set_d(a, df / 2.0, MPFR_RNDN);
  mpfr_gamma(g, a, MPFR_RNDN);
  double lo = 0, hi = df + 20 * std::sqrt(2.0 * df) + 100;
  for (int i = 0; i < 100; ++i) {
    const double mid = (lo + hi) / 2;
    mpfr_set_d(z, mid / 2, MPFR_RNDN);
    mpfr_gamma_inc(q, a, z, MPFR_RNDN);
    mpfr_div(q, q, g, MPFR_RNDN);
    (mpfr_cmp_d(q, tail) > 0 ? lo : hi) = mid;
  }
  mpfr_clears(a, g, z, q, static_cast<mpfr_ptr>(nullptr));
  return hi;
}

// Probabilities of the discrete distributions the tests fit against.
inline double poisson_pmf(double mu, int64_t k) {
  return mu == 0 ? (k == 0) : std::exp(k * std::log(mu) - mu - std::lgamma(k + 1.0));
}
inline double binomial_pmf(int64_t n, double p, int64_t k) {
  if (p == 0 || p == 1) return k == (p == 1 ? n : 0) ? 1.0 : 0.0;
  return std::exp(std::lgamma(n + 1.0) - std::lgamma(k + 1.0) - std::lgamma(n - k + 1.0) + k * std::log(p) +
                  (n - k) * std::log1p(-p));
}

// Pearson's statistic of integer values against probabilities pmf(k) on [lo, hi], where all but
// a negligible mass lies. Values below lo count in lo's cell and values above hi in hi's; cells
// are merged from the left until each expects at least `least` values (a last short one joins
// the one before). Returns the statistic and its degrees of freedom (cells - 1).
struct Pearson {
  double stat;
  int df;
};
template <typename Pmf>
Pearson chi_square(const std::vector<int64_t>& x, int64_t lo, int64_t hi, Pmf pmf, double least = 20) {
  const double n = static_cast<double>(x.size());
  std::vector<double> seen(static_cast<size_t>(hi - lo + 1));
  for (int64_t v : x) seen[static_cast<size_t>(std::clamp(v, lo, hi) - lo)] += 1;
  std::vector<double> want, got;
  double w = 0, g = 0;
  for (int64_t k = lo; k <= hi; ++k) {
    w += n * pmf(k);
    g += seen[static_cast<size_t>(k - lo)];
    if (w >= least) {
      want.push_back(w);
      got.push_back(g);
      w = g = 0;
    }
  }
  if (want.empty()) return {0, 0};
  want.back() += w;
  got.back() += g;
  double stat = 0;
  for (size_t i = 0; i < want.size(); ++i) stat += (got[i] - want[i]) * (got[i] - want[i]) / want[i];
  return {stat, static_cast<int>(want.size()) - 1};
}

}  // namespace zorp::test
