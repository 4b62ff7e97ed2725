// Robust location and scatter (_tarr?SSRobustCovariance, method 0x8): Rocke's translated-biweight
// S-estimator (D. M. Rocke, "Robustness properties of S-estimators of multivariate location and
// shape in high dimension", Annals of Statistics 24(3), 1996), started from a concentrated
// coordinate-wise median estimate.  Breakdown point 0.5 by default (the parameter below).
//
// The S-estimate is the (mean, scatter) pair of least determinant among those whose scaled
// distances d_i satisfy mean(rho(d_i)) = b0.  rho is the translated biweight: d^2/2 up to M,
// a quintic-in-d shoulder from M to M + c whose derivative falls smoothly to 0, and constant
// beyond M + c, so that observations farther than M + c (in the estimate's own metric) have no
// say at all.  b0 = r rho(inf) makes r the breakdown point; b0 = E rho(d) for d^2 chi-square with
// p degrees of freedom makes the scatter consistent at the normal law; M + c is the square root of
// the chi-square quantile at 1 - alpha, so that a normal observation is rejected with
// probability alpha in the limit.  Rocke's point: in high dimension the plain biweight with
// breakdown 0.5 rejects almost nothing, while the translated one keeps alpha where it is asked.
//
// Parameters (slot 57 the count, slot 58 the reals in the task's precision; count 0 or slot 57
// absent: all defaults; count k in 1..4: the first k given, the others defaulted):
//   [0] breakdown point r, 0 < r <= 0.5 (default 0.5);
//   [1] asymptotic rejection probability alpha, 0 < alpha < 1 (default 0.001);
//   [2] stopping accuracy eps > 0 (default 0.0001): the iteration ends when every eigenvalue of
//       S_old^-1 S_new is within eps of 1 and the mean moved by at most eps in the old metric;
//   [3] iteration limit, a whole number >= 1 (default 100): the estimate after that many steps
//       is returned when the accuracy was not reached.
// A count outside 0..4 gives TARR_SS_ERROR_NULL_RCOV_NPARAMS; a count above 0 with no array, or
// a value outside its range, TARR_SS_ERROR_NULL_RCOV_PARAMS.
//
// When no M >= 0 meets both r and alpha (few components: even the plain biweight, M = 0 with
// c the full cut-off, rejects too much for breakdown r), M = 0 and c shrinks until the breakdown
// is r (alpha then larger than asked).  When the shoulder would become narrower than a tenth of
// the cut-off (many components and a small r), M stays 0.9 of the cut-off and the cut-off grows
// instead (alpha smaller): a narrower shoulder makes the weights nearly a step, and the iteration
// then wanders between subsets.
//
// The start: coordinate-wise medians and median absolute deviations (the library's quantile
// routine), then concentration steps (Rousseeuw & Van Driessen, Technometrics 41, 1999): the h
// observations nearest in the current metric, h = max((n + p + 1)/2, (1 - r) n), give the next
// mean and covariance (the library's basic routine with 0/1 weights), until the subset no longer
// changes.  On more than 10000 observations the start works on an evenly spaced sample of them;
// since the sample and the subsets are chosen by position and by distance alone, an affine map
// of the data maps the start, and with it the estimate.
//
// Last, the size of the scatter is estimated again from the observations within the cut-off
// (rescale() says why); mean and shape are the S-estimate's.
//
// The S-iteration (Lopuhaa 1989; Rocke & Woodruff 1993): distances under the current estimate,
// the scale solving mean(rho(d_i / s)) = b0 (the scatter then multiplied by s^2), weights
// w_i = psi(d_i)/d_i, and the weighted mean and covariance of the data (the basic routine again)
// as the next estimate.  Each scatter passes the library's rank test before its inverse is
// taken, so data on a hyperplane or with a constant component give
// TARR_SS_ERROR_NOT_POSITIVE_DEFINITE, not NaNs.  The stopping rule compares consecutive
// estimates through the eigenvalues of S_old^-1 S_new (two eigen-decompositions of packed
// symmetric matrices by the host's spevd; TARR_SS_ERROR_EIGEN_FAILED if one fails), a measure
// that an affine map of the data leaves unchanged.
//
// Index array and weights of the task are not read.  Float tasks are converted to double once;
// double tasks are read in place.
#include <cmath>
#include <cstring>

#include "host/host.h"
#include "ss/common/closest.h"
#include "ss/common/data.h"
#include "ss/common/own_task.h"
#include "ss/common/steps.h"
#include "ss/robust/robust_cov.h"

namespace zorp::ss {
namespace {

using robust::Biweight;

inline constexpr double kDefaultBreakdown = 0.5;
inline constexpr double kDefaultRejection = 0.001;
inline constexpr double kDefaultAccuracy = 0.0001;
inline constexpr int kDefaultIterations = 100;
inline constexpr int kMaxParams = 4;
// The start concentrates on at most this many observations, and on at most this many values
// (observations times components) when p is large; the distance passes take a host thread per
// this many multiply-adds.
inline constexpr int64_t kStartObservations = 10000;
inline constexpr int64_t kStartValues = 10000000;
inline constexpr int64_t kThreadWork = 1250000;

// One pass of squared Mahalanobis distances over a range of observations, on its own thread.
struct DistancePass {
  const Observations<double>* obs;
  const double* mean;
  const double* inv;  // full p x p
  double* d2;
  double** z;         // per thread: p values
  int parts;
};

void distance_part(int part, int thread, int, void* ctx) {
  const auto* run = static_cast<const DistancePass*>(ctx);
  const Observations<double>& o = *run->obs;
  const int64_t p = o.p;
  double* z = run->z[thread];
  const Span r = span_of(o.n, run->parts, part);
  for (int64_t i = r.begin; i < r.end; ++i) {
    if (o.layout == kByObservation) {
      const double* row = o.x + i * p;
      for (int64_t j = 0; j < p; ++j) z[j] = row[j] - run->mean[j];
    } else {
      for (int64_t j = 0; j < p; ++j) z[j] = o.x[j * o.n + i] - run->mean[j];
    }
    // z' A z from the upper triangle: the diagonal once, each off-diagonal pair twice.
    double s = 0.0;
    for (int64_t j = 0; j < p; ++j) {
      const double* col = run->inv + j * p;
      double off = 0.0;
      for (int64_t k = 0; k < j; ++k) off += col[k] * z[k];
      s += z[j] * (col[j] * z[j] + 2.0 * off);
    }
    run->d2[i] = s > 0.0 ? s : 0.0;
  }
}

template <typename T>
struct Robust : Split {
  TarrSSTask* t;
  uint64_t est;
  uint32_t method;
  Observations<T> in;
  int64_t p = 0, n = 0, fcov = 0;
  T* out_mean = nullptr;
  T* out_cov = nullptr;
  double breakdown = kDefaultBreakdown, rejection = kDefaultRejection, accuracy = kDefaultAccuracy;
  int64_t iterations = kDefaultIterations;
  Biweight rho;
  double b0 = 0.0, cut = 0.0;  // the S-constraint; the chi-square quantile at 1 - alpha
  int64_t ns = 0, h = 0;  // the start's sample and subset sizes
  int inner = 1;          // threads of the distance passes

  // Work arrays.
  double* xd = nullptr;       // float tasks: the observations in double (observation-major)
  double* xs = nullptr;       // the start's sample when it is not all the data
  double* dev = nullptr;      // |x - median| of the sample
  double* d2 = nullptr;       // n squared distances
  double* sorted = nullptr;   // n: selection scratch, then the distances themselves
  double* wts = nullptr;      // n weights of the basic routine
  double *mu = nullptr, *prev_mu = nullptr, *med = nullptr, *bmean = nullptr;  // p each
  double *cov = nullptr, *prev_cov = nullptr, *inv = nullptr, *bcov = nullptr;  // p x p each
  double** z = nullptr;       // per thread: p
  robust::Eigen eig;
  Observations<double> data, sample;

  // The private task the library's own routines run on, over the work arrays.
  OwnTask own{true, true};
  int64_t own_p = 0, own_n = 0, own_storage = 0, quant_count = 1;
  double half = 0.5, acc[2] = {0.0, 0.0};

  Robust(TarrSSTask* task, uint64_t e, uint32_t m) : t(task), est(e), method(m) {
    own->dimension = &own_p;
    own->nobs = &own_n;
    own->storage = &own_storage;
  }

  int check() {
    if (int e = read_dimension(t, p)) return e;
    if (!t->nobs || (n = item(t, t->nobs)) <= 2 * p) return TARR_SS_ERROR_BAD_NOBS;
    if (!t->x) return TARR_SS_ERROR_NULL_OBSERVATIONS;
    if (int e = read_layout(t, in.layout, true)) return e;
    if (!(out_mean = static_cast<T*>(slot(t, kSlotRCovMean)))) return TARR_SS_ERROR_NULL_RCOV_MEAN;
    if (!(out_cov = static_cast<T*>(slot(t, kSlotRCov)))) return TARR_SS_ERROR_NULL_RCOV;
    if (!slot(t, kSlotRCovStorage)) return TARR_SS_ERROR_NULL_STORAGE_ITEM;
    fcov = item_at(t, kSlotRCovStorage);
    if (fcov < 0 || fcov > 2) return TARR_SS_ERROR_BAD_STORAGE;
    if (method != TARR_SS_METHOD_ROBUST_COV) return TARR_SS_ERROR_BAD_METHOD;
    in.p = p;
    in.n = n;
    in.x = static_cast<const T*>(t->x);
    return read_params();
  }

  int read_params() {
    const int64_t count = slot(t, kSlotRCovNParams) ? item_at(t, kSlotRCovNParams) : 0;
    if (count < 0 || count > kMaxParams) return TARR_SS_ERROR_NULL_RCOV_NPARAMS;
    const T* v = static_cast<const T*>(slot(t, kSlotRCovParams));
    if (count > 0 && !v) return TARR_SS_ERROR_NULL_RCOV_PARAMS;
    if (count > 0) breakdown = double(v[0]);
    if (count > 1) rejection = double(v[1]);
    if (count > 2) accuracy = double(v[2]);
    double limit = kDefaultIterations;
    if (count > 3) limit = double(v[3]);
    // Written so that NaN fails every test.
    if (!(breakdown > 0.0 && breakdown <= 0.5) || !(rejection > 0.0 && rejection < 1.0) ||
        !(accuracy > 0.0 && accuracy < HUGE_VAL) || !(limit >= 1.0 && limit <= 1e9 && limit == std::floor(limit)))
      return TARR_SS_ERROR_NULL_RCOV_PARAMS;
    iterations = int64_t(limit);
    return 0;
  }

  int plan() {
    const int64_t by_values = kStartValues / p;
    ns = kStartObservations < by_values ? kStartObservations : by_values;
    if (ns < 2 * p + 1) ns = 2 * p + 1;
    if (ns > n) ns = n;
    h = (ns + p + 1) / 2;
    const int64_t kept = int64_t(std::ceil((1.0 - breakdown) * double(ns)));
    if (kept > h) h = kept;
    if (h > ns) h = ns;
    inner = useful_threads(n * p * p, kThreadWork);
    return 0;
  }

  void carve(Carver& C) {
    if constexpr (sizeof(T) != sizeof(double)) xd = C.scratch<double>(n * p);
    if (ns < n) xs = C.scratch<double>(ns * p);
    dev = C.scratch<double>(ns * p);
    d2 = C.scratch<double>(n);
    sorted = C.scratch<double>(n);
    wts = C.take<double>(n);
    mu = C.take<double>(p);
    prev_mu = C.take<double>(p);
    med = C.take<double>(p);
    bmean = C.take<double>(p);
    cov = C.take<double>(p * p);
    prev_cov = C.take<double>(p * p);
    inv = C.take<double>(p * p);
    bcov = C.take<double>(p * p);
    z = C.scratch_each<double>(inner, p);
    eig.carve(C, p);
  }

  int start() {
    if constexpr (sizeof(T) == sizeof(double)) {
      data = {p, n, in.layout, reinterpret_cast<const double*>(in.x), nullptr};
    } else {
      for (int64_t i = 0; i < n; ++i)
        for (int64_t j = 0; j < p; ++j) xd[i * p + j] = double(in.at(i, j));
      data = {p, n, kByObservation, xd, nullptr};
    }
    sample = data;
    if (ns < n) {  // evenly spaced, by position only
      for (int64_t s = 0; s < ns; ++s) {
        const int64_t i = int64_t((__int128(s) * n) / ns);
        for (int64_t j = 0; j < p; ++j) xs[s * p + j] = data.at(i, j);
      }
      sample = {p, ns, kByObservation, xs, nullptr};
    }
    if (int e = robust::tune(p, breakdown, rejection, rho, cut)) return e;
    b0 = breakdown * rho.top();
    own_p = p;
    return 0;
  }

  int part(int, int) {
    if (int e = concentrate()) return e;
    if (int e = iterate()) return e;
    rescale();
    return 0;
  }

  int finish() {
    for (int64_t j = 0; j < p; ++j) out_mean[j] = T(mu[j]);
    for (int64_t c = 0; c < p; ++c)
      for (int64_t r = 0; r <= c; ++r) put_symmetric(out_cov, p, fcov, r, c, cov[r + c * p]);
    return 0;
  }

  // ---- the library's routines on the private task ----------------------------------------
  void point_at(const Observations<double>& o, const double* w) {
    own_n = o.n;
    own_storage = o.layout == kByComponent ? TARR_SS_MATRIX_STORAGE_1 : TARR_SS_MATRIX_STORAGE_2;
    own->x = o.x;
    own->weights = w;
  }
  // Per component: the median of o into out.
  int medians(const Observations<double>& o, double* out) {
    point_at(o, nullptr);
    void** s = slots(own.get());
    s[kSlotQuantCount] = &quant_count;
    s[kSlotQuantOrders] = &half;
    s[kSlotQuantiles] = out;
    return _tarrdSSQuantiles(own.get(), TARR_SS_QUANTS, TARR_SS_METHOD_QUANTILES);
  }
  // The weighted mean and covariance of o into bmean, bcov (full).
  int weighted(const Observations<double>& o) {
    point_at(o, wts);
    void** s = slots(own.get());
    acc[0] = acc[1] = 0.0;  // a fresh accumulation, not a continued one
    s[kSlotAccum] = acc;
    s[kSlotMean] = bmean;
    s[kSlotCov] = bcov;
    return basic<double>(own.get(), TARR_SS_MEAN | TARR_SS_COV, TARR_SS_METHOD_1PASS);
  }

  // Squared distances of o's observations under (mu, inv) into d2.
  void distances(const Observations<double>& o) {
    int parts = useful_threads(o.n * p * p, kThreadWork);
    if (parts > inner) parts = inner;
    DistancePass run{&o, mu, inv, d2, z, parts};
    if (parts > 1) thread_for()(parts, 0, &run, distance_part);
    else distance_part(0, 0, 1, &run);
  }
  // The inverse of the current scatter, after the rank test.
  int invert() {
    std::memcpy(inv, cov, sizeof(double) * size_t(p * p));
    return __tarrdInvCov(int(p), inv);
  }

  // ---- the start -----------------------------------------------------------------------------
  int concentrate() {
    if (int e = medians(sample, med)) return e;
    for (int64_t i = 0; i < sample.n; ++i)
      for (int64_t j = 0; j < p; ++j) dev[i * p + j] = std::fabs(sample.at(i, j) - med[j]);
    if (int e = medians({p, sample.n, kByObservation, dev, nullptr}, bmean)) return e;
    std::memcpy(mu, med, sizeof(double) * size_t(p));
    std::memset(cov, 0, sizeof(double) * size_t(p * p));
    for (int64_t j = 0; j < p; ++j) cov[j + j * p] = bmean[j] * bmean[j];
    if (int e = __tarrdTestCovRank(int(p), cov)) return e;
    for (int step = 0; step < kDefaultIterations; ++step) {
      if (int e = invert()) return e;
      distances(sample);
      // The h smallest distances, ties at the h-th taken in order of position.
      if (!mark_closest(d2, sample.n, h, sorted, wts) && step > 0) break;
      if (int e = weighted(sample)) return e;
      if (int e = take_estimate()) return e;
    }
    return 0;
  }
  // The basic routine's mean and covariance as the current estimate, if of full rank.
  int take_estimate() {
    if (int e = __tarrdTestCovRank(int(p), bcov)) return e;
    std::memcpy(mu, bmean, sizeof(double) * size_t(p));
    std::memcpy(cov, bcov, sizeof(double) * size_t(p * p));
    return 0;
  }

  // ---- the S-iteration ---------------------------------------------------------------------------
  int iterate() {
    for (int64_t step = 0;; ++step) {
      if (int e = invert()) return e;
      distances(data);
      for (int64_t i = 0; i < n; ++i) sorted[i] = std::sqrt(d2[i]);
      double s = 1.0;
      if (int e = robust::solve_scale(rho, b0, sorted, n, s)) return e;
      for (int64_t k = 0; k < p * p; ++k) cov[k] *= s * s;
      for (int64_t i = 0; i < n; ++i) sorted[i] /= s;
      if (step > 0) {
        bool done = false;
        if (int e = eig.converged(p, prev_mu, prev_cov, mu, cov, accuracy, done)) return e;
        if (done) return 0;
      }
      if (step == iterations) return 0;
      for (int64_t i = 0; i < n; ++i) wts[i] = rho.weight(sorted[i]);
      std::memcpy(prev_mu, mu, sizeof(double) * size_t(p));
      std::memcpy(prev_cov, cov, sizeof(double) * size_t(p * p));
      if (int e = weighted(data)) return e;
      if (int e = take_estimate()) return e;
    }
  }

  // ---- the scale -----------------------------------------------------------------------------
  // An S-scatter has the right shape but not the right size once part of the data is far away:
  // those observations add rho(inf) to the constraint, and the scale grows until the others
  // make up for it (with 30% far away, by half).  So the size is estimated again from the
  // observations the cut-off keeps: k with mean(d^2 / k) over {d^2 <= k cut} equal to the mean
  // of a chi-square below its quantile cut, p F_p+2(cut) / F_p(cut); the kept set only shrinks
  // or grows with k, and the iteration stops when it no longer changes.
  void rescale() {
    const double e = double(p) * __tarrdChi2CDF(cut, double(p + 2)) / __tarrdChi2CDF(cut, double(p));
    double k = 1.0;
    int64_t kept = -1;
    for (int step = 0; step < kDefaultIterations; ++step) {
      double sum = 0.0;
      int64_t count = 0;
      for (int64_t i = 0; i < n; ++i) {
        const double q = sorted[i] * sorted[i];
        if (q <= k * cut) sum += q, ++count;
      }
      if (count == kept || count == 0) break;
      kept = count;
      k = sum / (double(count) * e);
    }
    for (int64_t j = 0; j < p * p; ++j) cov[j] *= k;
  }
};

}  // namespace
}  // namespace zorp::ss

ZORP_SS_EXPORTS(RobustCovariance, Robust)
