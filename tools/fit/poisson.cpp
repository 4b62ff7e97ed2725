// The coefficient table of the Poisson generator's normal approximation (method 1) for means
// 1 <= lambda < 128: one row of 24 doubles per binary exponent e of lambda (0 to 6), read with
// the fraction f in [0, 1) of lambda = 2^e (1 + f). A standard normal z becomes the count
//   trunc(max(0, D + z Q1 (Q2 + z (Q3 + z (Q4 + z Q5)))))
// with D = T0 + 1 + f (T1 + f T2) and Qj = T(k) + f (T(k+1) + f (T(k+2) + f T(k+3))),
// k = 4j - 1 (T23 is spare).
//
// The fit. For a mean lambda the count should step from k to k + 1 exactly where the normal's
// distribution function reaches the Poisson one, at z_k = Phi^-1(P(X <= k)): the polynomial
// g(z) = D + Q1 (Q2 z + ... + Q5 z^4) should go through (z_k, k + 1). For each mean of a grid,
// g is fitted to those points by least squares, each weighted by the normal density at z_k (so
// that the residuals are in units of the distribution function). Across an octave the
// polynomial's coefficients are then fitted by least squares in f: the constant as a quadratic,
// Q1 as a cubic approximating sqrt(lambda), and Q2 ... Q5 (the fitted coefficients over
// sqrt(lambda)) as cubics. The file states the largest distance between the distribution the
// table gives (in double arithmetic) and the Poisson distribution function over a finer grid.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "fits.h"
#include "tables.h"

namespace fit {
namespace {

constexpr int kOctaves = 7, kFitMeans = 32, kCheckMeans = 80;
constexpr double kTail = 1e-9;  // boundaries further out than this carry no weight worth fitting

double phi(double z) { return std::exp(-0.5 * z * z) / std::sqrt(2 * M_PI); }

// Phi^-1(p): bisection on erfc in double, then Newton at the fitter's precision.
double normal_quantile(const R& p) {
  const double pd = p.d();
  double lo = -40, hi = 40;
  for (int i = 0; i < 100; ++i) {
    const double mid = (lo + hi) / 2;
    (0.5 * std::erfc(-mid / std::sqrt(2.0)) < pd ? lo : hi) = mid;
  }
  R z((lo + hi) / 2), pi;
  mpfr_const_pi(pi.v, MPFR_RNDN);
  const R root2 = sqrt(R(2)), root2pi = sqrt(R(2) * pi);
  for (int i = 0; i < 4; ++i) {
    R e;
    const R arg = -z / root2;
    mpfr_erfc(e.v, arg.v, MPFR_RNDN);
    const R cdf = R(0.5) * e;
    z = z - (cdf - p) * root2pi * exp(z * z / R(2));
  }
  return z.d();
}

// The Poisson distribution function at 0, 1, ... while it stays below 1 - kTail.
std::vector<R> poisson_cdf(double lambda) {
  std::vector<R> f;
  R p = exp(-R(lambda)), sum = p;
  for (int k = 0; sum.d() < 1 - kTail; ++k) {
    f.push_back(sum);
    p = p * R(lambda) / R(k + 1);
    sum = sum + p;
  }
  return f;
}

// Weighted least squares: coefficients c minimising sum w_i^2 (sum_j c_j x_i^j - y_i)^2.
std::vector<R> least_squares(const std::vector<double>& x, const std::vector<double>& y, const std::vector<double>& w,
                             int terms) {
  std::vector<std::vector<R>> a(terms, std::vector<R>(terms));
  std::vector<R> b(terms);
  for (size_t i = 0; i < x.size(); ++i) {
    std::vector<R> pw(terms);
    R p(1);
    for (int j = 0; j < terms; ++j, p = p * R(x[i])) pw[j] = p;
    const R w2 = R(w[i]) * R(w[i]);
    for (int j = 0; j < terms; ++j) {
      b[j] = b[j] + w2 * pw[j] * R(y[i]);
      for (int k = 0; k < terms; ++k) a[j][k] = a[j][k] + w2 * pw[j] * pw[k];
    }
  }
  return detail::solve(a, b);
}

// The quartic in z through the boundary points of one mean: a0 ... a4.
std::vector<double> quartic_for(double lambda) {
  std::vector<double> z, y, w;
  const std::vector<R> cdf = poisson_cdf(lambda);
  for (size_t k = 0; k < cdf.size(); ++k) {
    if (cdf[k].d() < kTail) continue;
    z.push_back(normal_quantile(cdf[k]));
    y.push_back(double(k + 1));
    w.push_back(phi(z.back()));
  }
  std::vector<double> a;
  for (const R& c : least_squares(z, y, w, 5)) a.push_back(c.d());
  return a;
}

// The count the table gives for a normal z (double arithmetic; the generator's float evaluation
// differs from this by far less than a boundary moves).
double count_of(const std::vector<double>& t, double f, double z) {
  auto cubic = [&](int k) { return t[k] + f * (t[k + 1] + f * (t[k + 2] + f * t[k + 3])); };
  const double d = t[0] + 1 + f * (t[1] + f * t[2]);
  return std::trunc(std::max(0.0, d + z * cubic(3) * (cubic(7) + z * (cubic(11) + z * (cubic(15) + z * cubic(19))))));
}

// sup_k |P(count <= k) - P(X <= k)| for one mean, the count's distribution by integrating the
// normal density over a fine grid of z.
double distance(const std::vector<double>& t, double f, double lambda) {
  const std::vector<R> cdf = poisson_cdf(lambda);
  std::vector<double> mass(cdf.size() + 1);
  constexpr double kStep = 1.0 / 512, kEnd = 7;
  for (double z = -kEnd; z < kEnd; z += kStep) {
    const double c = std::min(count_of(t, f, z + kStep / 2), double(cdf.size()));
    mass[static_cast<size_t>(c)] += 0.5 * (std::erfc(-(z + kStep) / std::sqrt(2.0)) - std::erfc(-z / std::sqrt(2.0)));
  }
  double below = 0.5 * std::erfc(kEnd / std::sqrt(2.0)), worst = 0;
  for (size_t k = 0; k < cdf.size(); ++k) {
    below += mass[k];
    worst = std::max(worst, std::fabs(below - cdf[k].d()));
  }
  return worst;
}

}  // namespace

std::string poisson_normal_table() {
  std::vector<std::vector<double>> rows;
  double worst = 0;
  for (int e = 0; e < kOctaves; ++e) {
    const double base = std::ldexp(1.0, e);
    std::vector<double> f, one(kFitMeans, 1.0), d, q[5];
    for (int i = 0; i < kFitMeans; ++i) {
      f.push_back((i + 0.5) / kFitMeans);
      const double lambda = base * (1 + f.back()), root = std::sqrt(lambda);
      const std::vector<double> a = quartic_for(lambda);
      d.push_back(a[0] - 1);
      q[0].push_back(root);
      for (int j = 1; j < 5; ++j) q[j].push_back(a[j] / root);
    }
    std::vector<double> row;
    for (const R& c : least_squares(f, d, one, 3)) row.push_back(c.d());
    for (const auto& qj : q)
      for (const R& c : least_squares(f, qj, one, 4)) row.push_back(c.d());
    row.push_back(0);
    for (int i = 0; i < kCheckMeans; ++i) {
      const double fi = (i + 0.25) / kCheckMeans;
      worst = std::max(worst, distance(row, fi, base * (1 + fi)));
    }
    rows.push_back(row);
  }
  Out o;
  o.line("// Generated by tools/fit (poisson.cpp); do not edit. The Poisson generator's normal");
  o.line("// approximation for means 1 <= lambda < 128: row e for lambda = 2^e (1 + f), the count");
  o.line("// trunc(max(0, D + z Q1 (Q2 + z (Q3 + z (Q4 + z Q5))))) of a standard normal z, with");
  o.line("// D = T0 + 1 + f (T1 + f T2) and Qj = T(4j-1) + f T(4j) + f^2 T(4j+1) + f^3 T(4j+2).");
  char buf[160];
  std::snprintf(buf, sizeof buf, "// Largest distance to the Poisson distribution function, %d means per octave: %.1e.",
                kCheckMeans, worst);
  o.line(buf);
  o.line("#pragma once");
  o.line("namespace zorp::dist::poissontab {");
  o.array2(Prec::Double, "kNormalRows", rows);
  o.line("}  // namespace zorp::dist::poissontab");
  return o.text;
}

}  // namespace fit
