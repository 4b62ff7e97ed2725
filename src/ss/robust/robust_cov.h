// The pieces of the robust estimator that do not depend on the task's precision: the translated
// biweight and its tuning to a breakdown point and a rejection probability, the scale that puts
// a set of distances on the S-constraint, and the stopping rule's eigenvalues.
#pragma once
#include <cmath>
#include <cstdint>

#include "ss/common/steps.h"
#include "zorp/core.h"
#include "zorp/ss.h"

namespace zorp::ss::robust {

// Rocke's translated biweight on the distance d: psi(d) = d up to M, d (1 - u^2)^2 with
// u = (d - M)/c on the shoulder, 0 beyond M + c; rho its integral from 0.
struct Biweight {
  double M = 0.0, c = 1.0;
  // rho(inf) = M^2/2 + c M (integral of (1 - v^2)^2 over [0, 1], 8/15) + c^2/6.
  double top() const { return 0.5 * M * M + (8.0 / 15.0) * M * c + c * c / 6.0; }
  double rho(double d) const {
    if (d <= M) return 0.5 * d * d;
    if (d >= M + c) return top();
    // What the shoulder has still to climb: c M times the integral of (1 - v^2)^2 over [u, 1]
    // plus c^2 (1 - u^2)^3 / 6.
    const double u = (d - M) / c, v = 1.0 - u * u;
    const double rest = (8.0 / 15.0) - u * (1.0 - u * u * (2.0 / 3.0 - 0.2 * u * u));
    return top() - c * M * rest - (c * c / 6.0) * v * v * v;
  }
  // psi(d)/d, the weight of an observation at distance d.
  double weight(double d) const {
    if (d <= M) return 1.0;
    if (d >= M + c) return 0.0;
    const double u = (d - M) / c, v = 1.0 - u * u;
    return v * v;
  }
};

// E[d^k; d^2 <= x] for k = 0..6, d^2 chi-square with p degrees of freedom: 2^(k/2)
// Gamma((p+k)/2)/Gamma(p/2) times the chi-square distribution function of p + k degrees at x.
// Only F_p and F_p+1 are computed as such; the others climb by F_v+2(x) = F_v(x) - 2 f_v+2(x)
// (f the density), a density being far cheaper than a distribution function.
inline void partial_moments(int64_t p, double x, double m[7]) {
  double F[7];
  F[0] = __tarrdChi2CDF(x, double(p));
  F[1] = __tarrdChi2CDF(x, double(p + 1));
  for (int k = 2; k < 7; ++k) F[k] = std::fmax(F[k - 2] - 2.0 * __tarrdChi2PDF(x, double(p + k)), 0.0);
  const double base = __tarrdLGamma(0.5 * double(p));
  for (int k = 0; k < 7; ++k)
    m[k] = std::exp(0.5 * k * std::log(2.0) + __tarrdLGamma(0.5 * double(p + k)) - base) * F[k];
}

// E rho(d) / rho(inf) at the normal law.  On the shoulder rho is a polynomial in d:
// M^2/2 + sum_j q_j (d^(j+2) - M^(j+2))/(j+2) with q(t) = (1 - (t - M)^2/c^2)^2 = sum_j q_j t^j.
inline double breakdown_of(int64_t p, const Biweight& b) {
  const double M = b.M, c = b.c, R = M + c;
  double lo[7], hi[7];
  partial_moments(p, M * M, lo);
  partial_moments(p, R * R, hi);
  // (t - M)^2 and (t - M)^4 by the binomial theorem.
  const double c2 = c * c, c4 = c2 * c2;
  const double sq[3] = {M * M, -2.0 * M, 1.0};
  const double qu[5] = {M * M * M * M, -4.0 * M * M * M, 6.0 * M * M, -4.0 * M, 1.0};
  double q[5];
  for (int j = 0; j < 5; ++j) q[j] = (j == 0 ? 1.0 : 0.0) - 2.0 * (j < 3 ? sq[j] : 0.0) / c2 + qu[j] / c4;
  double constant = 0.5 * M * M, shoulder = 0.0, Mk = M * M;
  for (int j = 0; j < 5; ++j) {
    constant -= q[j] * Mk / (j + 2);
    shoulder += q[j] / (j + 2) * (hi[j + 2] - lo[j + 2]);
    Mk *= M;
  }
  shoulder += constant * (hi[0] - lo[0]);
  const double expected = 0.5 * lo[2] + shoulder + b.top() * (1.0 - hi[0]);
  return expected / b.top();
}

// The largest share of the cut-off M may take (see robust_cov.cpp).
inline constexpr double kShoulder = 0.9;
inline constexpr int kSteps = 100;

// M and c for breakdown r and rejection probability alpha in p dimensions; a decreasing
// breakdown_of along the family `at` is bracketed by halving or doubling, then bisected.
template <typename At>
bool bisect(int64_t p, double r, double lo, double hi, At at, Biweight& out) {
  for (int k = 0; k < kSteps && !(hi - lo <= 1e-15 * hi); ++k) {
    const double mid = 0.5 * (lo + hi);
    (breakdown_of(p, at(mid)) > r ? lo : hi) = mid;
  }
  out = at(0.5 * (lo + hi));
  return std::isfinite(out.M) && std::isfinite(out.c) && out.c > 0.0;
}

inline int tune(int64_t p, double r, double alpha, Biweight& out, double& cut) {
  cut = __tarrdChi2ICDF(1.0 - alpha, double(p));
  const double R = std::sqrt(cut);
  if (!(R > 0.0 && R < HUGE_VAL)) return TARR_SS_ERROR_NULL_RCOV_PARAMS;
  const auto translated = [R](double M) { return Biweight{M, R - M}; };
  const auto plain = [](double c) { return Biweight{0.0, c}; };
  const auto wide = [](double cut) { return Biweight{kShoulder * cut, (1.0 - kShoulder) * cut}; };
  bool ok = false;
  if (!(breakdown_of(p, plain(R)) > r)) {  // even the plain biweight rejects too much: c < R
    double lo = 0.5 * R;
    for (int k = 0; k < kSteps && !(breakdown_of(p, plain(lo)) > r); ++k) lo *= 0.5;
    ok = breakdown_of(p, plain(lo)) > r && bisect(p, r, lo, R, plain, out);
  } else if (!(breakdown_of(p, wide(R)) < r)) {  // the shoulder would be too narrow: a wider cut
    double hi = 2.0 * R;
    for (int k = 0; k < kSteps && !(breakdown_of(p, wide(hi)) < r); ++k) hi *= 2.0;
    ok = breakdown_of(p, wide(hi)) < r && bisect(p, r, R, hi, wide, out);
  } else {
    ok = bisect(p, r, 0.0, kShoulder * R, translated, out);
  }
  return ok ? 0 : TARR_SS_ERROR_NULL_RCOV_PARAMS;
}

// The scale s with mean(rho(dist_i / s)) = b0, dist the n distances.  The mean falls with s,
// and after the first steps of the iteration s is near 1, so Newton's method from s = 1 (value
// and slope in one pass) needs two or three passes; a step that leaves the bracket known so far
// is replaced by a bisection, or by a factor of 4 while one side is still open.  When no s is
// small enough (at least a share 1 - r of the observations sit on the centre) the scatter is
// singular.
inline int solve_scale(const Biweight& b, double b0, const double* dist, int64_t n, double& s) {
  double lo = 0.0, hi = HUGE_VAL;
  s = 1.0;
  for (int k = 0; k < kSteps; ++k) {
    double sum = 0.0, slope = 0.0;
    const double inv = 1.0 / s;
    for (int64_t i = 0; i < n; ++i) {
      const double t = dist[i] * inv;
      sum += b.rho(t);
      slope += t * t * b.weight(t);  // t psi(t): d rho(d/s)/ds = -psi(t) t / s
    }
    const double g = sum / double(n) - b0, dg = -slope / (double(n) * s);
    if (!(g == g)) return TARR_SS_ERROR_NOT_POSITIVE_DEFINITE;
    (g > 0.0 ? lo : hi) = s;
    if (std::fabs(g) <= 1e-14 * b0) return 0;
    double next = dg < 0.0 ? s - g / dg : HUGE_VAL;
    if (!(next > lo && next < hi)) next = hi == HUGE_VAL ? 4.0 * s : lo == 0.0 ? 0.25 * s : 0.5 * (lo + hi);
    if (std::fabs(next - s) <= 1e-14 * s) {
      s = next;
      return 0;
    }
    s = next;
  }
  return lo > 0.0 && hi < HUGE_VAL ? 0 : TARR_SS_ERROR_NOT_POSITIVE_DEFINITE;
}

// The stopping rule: eigenvalues of S0^-1 S1 within eps of 1 and the mean's move in S0's metric
// at most eps.  S0 = E L E' by spevd, then the eigenvalues of L^-1/2 E' S1 E L^-1/2.
struct Eigen {
  double *ap = nullptr, *w = nullptr, *vec = nullptr, *tmp = nullptr, *work = nullptr;
  int* iwork = nullptr;
  int lwork = 0, liwork = 0;
  void carve(Carver& C, int64_t p) {
    lwork = int(1 + 6 * p + p * p);
    liwork = int(3 + 5 * p);
    ap = C.take<double>(p * (p + 1) / 2);
    w = C.take<double>(p);
    vec = C.take<double>(p * p);
    tmp = C.take<double>(p * p);
    work = C.take<double>(lwork);
    iwork = C.take<int>(liwork);
  }
  int spevd(const char* jobz, int64_t p) {
    const int n = int(p), ldz = n;
    int info = 0;
    zorp_lapack_dspevd(jobz, "U", &n, ap, w, vec, &ldz, work, &lwork, iwork, &liwork, &info);
    return info == 0 ? 0 : TARR_SS_ERROR_EIGEN_FAILED;
  }
  int converged(int64_t p, const double* mu0, const double* s0, const double* mu1, const double* s1, double eps,
                bool& done) {
    for (int64_t c = 0; c < p; ++c)
      for (int64_t r = 0; r <= c; ++r) ap[r + c * (c + 1) / 2] = s0[r + c * p];
    if (int e = spevd("V", p)) return e;
    if (!(w[0] > 0.0)) return TARR_SS_ERROR_NOT_POSITIVE_DEFINITE;
    double shift = 0.0;
    for (int64_t a = 0; a < p; ++a) {
      double s = 0.0;
      for (int64_t j = 0; j < p; ++j) s += vec[j + a * p] * (mu1[j] - mu0[j]);
      shift += s * s / w[a];
    }
    for (int64_t b = 0; b < p; ++b)  // tmp = S1 E
      for (int64_t r = 0; r < p; ++r) {
        double s = 0.0;
        for (int64_t j = 0; j < p; ++j) s += s1[r + j * p] * vec[j + b * p];
        tmp[r + b * p] = s;
      }
    for (int64_t b = 0; b < p; ++b)
      for (int64_t a = 0; a <= b; ++a) {
        double s = 0.0;
        for (int64_t j = 0; j < p; ++j) s += vec[j + a * p] * tmp[j + b * p];
        ap[a + b * (b + 1) / 2] = s / std::sqrt(w[a] * w[b]);
      }
    if (int e = spevd("N", p)) return e;
    double largest = 0.0;
    for (int64_t a = 0; a < p; ++a) largest = std::fmax(largest, std::fabs(w[a] - 1.0));
    done = largest <= eps && std::sqrt(shift) <= eps;
    return 0;
  }
};

}  // namespace zorp::ss::robust
