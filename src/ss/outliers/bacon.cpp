// Outlier detection (_tarr?SSOutliersDetection, method 0x20) by BACON, the blocked adaptive
// computationally efficient outlier nominator of N. Billor, A. S. Hadi and P. F. Velleman
// (Computational Statistics & Data Analysis 34, 2000, 279-298).  A small subset that is
// clean with high probability is grown: its mean and covariance give every observation a
// Mahalanobis distance, and the next subset is every observation closer than a chi-square
// cut-off; the iteration stops when the subset holds everything or stops changing.  The
// method resists contamination up to about 40% in the authors' trials (their start 2 is
// robust, its breakdown point near 50% for the start itself; start 1 is not).
//
// Start methods (the authors' versions 1 and 2): the 5p observations (m = c p with c = 5,
// which is why n >= 5p is required) closest to the coordinate-wise mean in Mahalanobis
// distance (1), or to the coordinate-wise median in Euclidean distance (2, the default).  A
// start whose covariance is singular grows by p observations at a time until it is not.
//
// Cut-off: the subset of r observations keeps x when its distance is below c_npr times the
// square root of the chi-square quantile of p degrees of freedom at level 1 - alpha/n (the
// authors' Bonferroni level, so that in clean data of any size about alpha of the data sets
// lose a point), c_npr = 1 + (p+1)/(n-p) + 2/(n-1-3p) + max(0, (h-r)/(h+r)), h = (n+p+1)/2, the
// correction that widens the cut-off for a small subset.
//
// Parameters (slot 62 count, slot 63 reals): with count 3, start method, alpha and the stopping
// tolerance (the subset's size change over n below which the iteration ends; a tolerance <= 0
// keeps the default); otherwise the defaults 2, 0.05 and 0.005.  A start other than 1 or 2, or
// alpha outside (0, 1), is refused with TARR_SS_ERROR_NULL_OUTL_PARAMS.  The iteration also
// ends after 100 steps (in practice it settles in a handful) or when the subset falls to 4p
// observations or fewer, which is the failure TARR_SS_ERROR_OUTL_SUBSET_TOO_SMALL.
//
// The observation weights and the component index array of the task are not read: every
// observation and every component takes part.  Float tasks keep float means and covariances
// (the basic routine's), the distances in double.
#include <algorithm>
#include <cmath>

#include "ss/common/closest.h"
#include "ss/common/data.h"
#include "ss/common/own_task.h"
#include "ss/common/steps.h"

namespace zorp::ss {
namespace {

constexpr int kMaxSteps = 100;
constexpr double kDefaultAlpha = 0.05, kDefaultTolerance = 0.005;

template <typename T>
int quantiles(TarrSSTask* t) {
  return sizeof(T) == 8 ? _tarrdSSQuantiles(t, TARR_SS_QUANTS, TARR_SS_METHOD_QUANTILES)
                        : _tarrsSSQuantiles(t, TARR_SS_QUANTS, TARR_SS_METHOD_QUANTILES);
}
template <typename T>
int mahalanobis(TarrSSTask* t) {
  if constexpr (sizeof(T) == 8) return _tarrdSSMahDistance(t, 0, 0);
  else return _tarrsSSMahDistance(t, 0, 0);
}
template <typename T>
struct Bacon : Split {
  TarrSSTask* t;
  uint32_t method;
  Observations<T> obs;
  int start_method = 2;
  double alpha = kDefaultAlpha, tolerance = kDefaultTolerance;
  T* weights_out = nullptr;
  // work
  T *subset = nullptr, *mean = nullptr, *cov = nullptr, *accum = nullptr;
  double *meand = nullptr, *inv = nullptr, *dist = nullptr, *sorted = nullptr;
  int64_t full_storage = 0;  // the private task's covariance storage word (full)
  OwnTask sub;                // the same data, every component, the subset as 0/1 weights

  Bacon(TarrSSTask* task, uint64_t, uint32_t m) : t(task), method(m), sub(task, false) {}

  int check() {
    if (int e = read_dimension(t, obs.p)) return e;
    if (!t->nobs || (obs.n = item(t, t->nobs)) < 5 * obs.p) return TARR_SS_ERROR_BAD_NOBS;
    if (!(obs.x = static_cast<const T*>(t->x))) return TARR_SS_ERROR_NULL_OBSERVATIONS;
    if (!t->storage || !(obs.layout = layout_of(item(t, t->storage), true))) return TARR_SS_ERROR_BAD_STORAGE;
    if (slot(t, kSlotOutlNParams) && slot(t, kSlotOutlParams) && item_at(t, kSlotOutlNParams) == 3) {
      const T* q = static_cast<const T*>(slot(t, kSlotOutlParams));
      const double s = double(q[0]), a = double(q[1]), tol = double(q[2]);
      if (s != 1 && s != 2) return TARR_SS_ERROR_NULL_OUTL_PARAMS;
      if (!(a > 0 && a < 1)) return TARR_SS_ERROR_NULL_OUTL_PARAMS;
      start_method = int(s);
      alpha = a;
      if (tol > 0) tolerance = tol;
    }
    if (!(weights_out = static_cast<T*>(slot(t, kSlotOutlWeights)))) return TARR_SS_ERROR_NULL_OUTL_WEIGHTS;
    if (!(method & TARR_SS_METHOD_BACON)) return TARR_SS_ERROR_BAD_METHOD;
    if (obs.p > 46340) return TARR_SS_ERROR_BAD_DIMENSION;  // p^2 must fit the LAPACK int sizes
    return 0;
  }
  int plan() { return 0; }
  void carve(Carver& C) {
    const int64_t p = obs.p, n = obs.n;
    subset = C.take<T>(n);
    mean = C.take<T>(p);
    cov = C.take<T>(p * p);
    accum = C.take<T>(2);
    meand = C.take<double>(p);
    inv = C.take<double>(p * p);
    dist = C.scratch<double>(n);
    sorted = C.scratch<double>(n);
  }
  int start() {
    sub->weights = subset;
    sub->accum_weights = accum;
    sub.set(kSlotMean, mean);
    sub.set(kSlotCov, cov);
    sub.set(kSlotCovStorage, &full_storage);
    return 0;
  }

  // Mean and inverse covariance of the observations whose subset weight is 1, into meand and
  // inv; the rank test's or the inversion's status when the covariance is singular.
  int estimate() {
    accum[0] = accum[1] = T(0);  // a fresh data set for the basic routine every time
    if (int e = basic<T>(sub.get(), TARR_SS_MEAN | TARR_SS_COV, TARR_SS_METHOD_1PASS)) return e;
    const int64_t p = obs.p;
    for (int64_t j = 0; j < p; ++j) meand[j] = double(mean[j]);
    for (int64_t j = 0; j < p * p; ++j) inv[j] = double(cov[j]);
    if (int e = __tarrdTestCovRank(int(p), inv)) return e;
    return __tarrdInvCov(int(p), inv);
  }
  int distances() {
    void** s = slots(t);
    s[kSlotMahMean] = meand;
    s[kSlotMahInvCov] = inv;
    s[kSlotMahDistances] = dist;
    const int e = mahalanobis<T>(t);
    s[kSlotMahMean] = s[kSlotMahInvCov] = s[kSlotMahDistances] = nullptr;
    return e;
  }
  int initial_subset() {
    const int64_t p = obs.p, n = obs.n;
    if (start_method == 1) {
      for (int64_t i = 0; i < n; ++i) subset[i] = T(1);
      if (int e = estimate()) return e;
      if (int e = distances()) return e;
    } else {
      // Coordinate-wise medians by the quantile routine, into `mean` for the moment.
      const int64_t one = 1;
      const T half = T(0.5);
      sub.set(kSlotQuantCount, &one);  // little-endian: reads as 1 at either integer width
      sub.set(kSlotQuantOrders, &half);
      sub.set(kSlotQuantiles, mean);
      if (int e = quantiles<T>(sub.get())) return e;
      for (int64_t j = 0; j < p; ++j) meand[j] = double(mean[j]);
      for (int64_t i = 0; i < n; ++i) dist[i] = 0;
      for (int64_t j = 0; j < p; ++j) {
        obs.copy_column(j, 0, n, sorted);
        for (int64_t i = 0; i < n; ++i) dist[i] += (sorted[i] - meand[j]) * (sorted[i] - meand[j]);
      }
    }
    // Grow the start until its covariance has full rank.
    for (int64_t m = 5 * p;; m = m + p < n ? m + p : n) {
      mark_closest(dist, n, m, sorted, subset);
      const int e = estimate();
      if (e != TARR_SS_ERROR_NOT_POSITIVE_DEFINITE || m == n) return e;
    }
  }
  int part(int, int) {
    const int64_t p = obs.p, n = obs.n;
    if (int e = initial_subset()) return e;
    const double chi2 = __tarrdChi2ICDF(1.0 - alpha / double(n), double(p));
    const double h = std::floor(double(n + p + 1) / 2);
    int64_t r = 0;
    for (int64_t i = 0; i < n; ++i) r += subset[i] != T(0);
    for (int step = 0; step < kMaxSteps; ++step) {
      if (step > 0)
        if (int e = estimate()) return e;
      if (int e = distances()) return e;
      const double c = 1 + double(p + 1) / double(n - p) + 2 / double(n - 1 - 3 * p) +
                       std::max(0.0, (h - double(r)) / (h + double(r)));
      const double cut = c * c * chi2;  // the distances are squared
      int64_t next = 0;
      for (int64_t i = 0; i < n; ++i) {
        const bool in = dist[i] < cut;
        subset[i] = T(in ? 1 : 0);
        next += in;
      }
      const int64_t change = next > r ? next - r : r - next;
      r = next;
      if (r <= 4 * p) return TARR_SS_ERROR_OUTL_SUBSET_TOO_SMALL;
      if (r == n || double(change) / double(n) < tolerance) break;
    }
    return 0;
  }
  int finish() {
    for (int64_t i = 0; i < obs.n; ++i) weights_out[i] = subset[i];
    return 0;
  }
};

}  // namespace
}  // namespace zorp::ss

ZORP_SS_EXPORTS(OutliersDetection, Bacon)
