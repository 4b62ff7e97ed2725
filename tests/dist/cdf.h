// Distribution functions for the goodness-of-fit tests, written from their textbook definitions:
// the regularized incomplete gamma function by its series below a + 1 and its continued
// fraction above, the regularized incomplete beta function by its continued fraction (modified
// Lentz) on the side where it converges fast, and the Kolmogorov-Smirnov statistic.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace zorp::test {

// P(a, x) = gamma(a, x) / Gamma(a).
inline double gamma_p(double a, double x) {
  if (x <= 0) return 0;
  const double front = std::exp(a * std::log(x) - x - std::lgamma(a));
  if (x < a + 1) {
    double term = 1 / a, sum = term;
    for (int k = 1; k < 1000 && std::fabs(term) > 1e-17 * std::fabs(sum); ++k) {
      term *= x / (a + k);
      sum += term;
    }
    return front * sum;
  }
  // Q(a, x) = front / (x + 1 - a - 1(1 - a)/(x + 3 - a - ...))
  const double tiny = 1e-300;
  double b = x + 1 - a, c = 1 / tiny, d = 1 / b, h = d;
  for (int k = 1; k < 1000; ++k) {
    const double an = -k * (k - a);
    b += 2;
    d = an * d + b;
    if (std::fabs(d) < tiny) d = tiny;
    c = b + an / c;
    if (std::fabs(c) < tiny) c = tiny;
    d = 1 / d;
    const double step = d * c;
    h *= step;
    if (std::fabs(step - 1) < 1e-16) break;
  }
  return 1 - front * h;
}

// I_x(a, b).
inline double beta_i(double a, double b, double x) {
  if (x <= 0) return 0;
  if (x >= 1) return 1;
  if (x > (a + 1) / (a + b + 2)) return 1 - beta_i(b, a, 1 - x);
  const double front =
      std::exp(std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) + a * std::log(x) + b * std::log1p(-x)) / a;
  const double tiny = 1e-300;
  double c = 1, d = 1 - (a + b) * x / (a + 1);
  if (std::fabs(d) < tiny) d = tiny;
  d = 1 / d;
  double h = d;
  for (int m = 1; m < 1000; ++m) {
    const double even = m * (b - m) * x / ((a + 2 * m - 1) * (a + 2 * m));
    d = 1 + even * d;
    d = std::fabs(d) < tiny ? 1 / tiny : 1 / d;
    c = 1 + even / c;
    if (std::fabs(c) < tiny) c = tiny;
    h *= d * c;
    const double odd = -(a + m) * (a + b + m) * x / ((a + 2 * m) * (a + 2 * m + 1));
    d = 1 + odd * d;
    d = std::fabs(d) < tiny ? 1 / tiny : 1 / d;
    c = 1 + odd / c;
    if (std::fabs(c) < tiny) c = tiny;
    const double step = d * c;
    h *= step;
    if (std::fabs(step - 1) < 1e-16) break;
  }
  return front * h;
}

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
// `tail`: bisection on 1 - P(df/2, x/2).
inline double chi_square_bound(int df, double tail) {
  double lo = 0, hi = df + 20 * std::sqrt(2.0 * df) + 100;
  for (int i = 0; i < 200; ++i) {
    const double mid = (lo + hi) / 2;
    (1 - gamma_p(df / 2.0, mid / 2) > tail ? lo : hi) = mid;
  }
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
