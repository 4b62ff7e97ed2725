// Pooled and per-group covariance (_tarr?SSPooledCovariance, method 0x2).
//
// Groups: the group index array (slot 36, n integers of the task's width) gives each
// observation's group, 0 to g-1 with g one more than the largest entry; a negative entry leaves
// the observation out.  The requested group array (slot 37) has one entry per group: a nonzero
// entry asks for that group's mean (p values, slot 38) and covariance (slot 39, in the storage
// of slot 40), the requested groups one after the other in increasing group number.
// Divisors: a group's covariance is its cross-product divided by W_g - W2_g/W_g (n_g - 1
// without weights), as the basic covariance is; the pooled covariance (slot 42, storage 43) is
// the sum of the groups' cross-products divided by the sum of those divisors (n - g without
// weights: the pooled degrees of freedom), the within-group covariance; the pooled mean (slot
// 41) is the mean of every observation in a group.  Weights (slot 6) and the component index
// array apply as in the basic routine.  A group without weight has NaN mean and covariance and
// adds nothing to the pooled estimates.
//
// Each group sums about its own shift, its first observation, so groups far apart (or far from
// zero) lose nothing to cancellation; with shared shifts the ranges' sums simply add, so the
// partials of the threads merge exactly: W, W2, the shifted sums S and cross-products C, then
// mean = shift + S/W and centred cross-product C - S S^T / W.
#include <algorithm>
#include <cmath>
#include <limits>

#include "ss/common/data.h"
#include "ss/common/steps.h"

namespace zorp::ss {
namespace {

template <typename T>
struct Pooled : Split {
  TarrSSTask* t;
  uint64_t est;
  uint32_t method;
  Observations<T> obs;
  bool pooled_mean = false, pooled_cov = false, group_mean = false, group_cov = false;
  int64_t fpool = 0, fgroup = 0;  // storage words of the pooled and group covariances
  int64_t g = 0, q = 0, stride = 0;  // groups, selected components, doubles of one group's sums
  int64_t* sel = nullptr;
  double* shift = nullptr;  // g x q
  bool* seen = nullptr;     // g: whether the group's shift is set
  double** sums = nullptr;  // per part: g groups of {W, W2, S[q], C[q*q]}
  double** row = nullptr;   // per part: one observation's shifted values

  Pooled(TarrSSTask* task, uint64_t e, uint32_t m) : t(task), est(e), method(m) {}
  int64_t group_of(int64_t i) const { return item_at(t, kSlotGroupIndices, i); }

  int check() {
    if (int e = read_layout(t, obs.layout)) return e;
    if (!slot(t, kSlotGroupIndices)) return TARR_SS_ERROR_NULL_GROUP_INDICES;
    pooled_cov = est & TARR_SS_POOLED_COV;
    pooled_mean = est & TARR_SS_POOLED_MEAN;
    group_cov = est & TARR_SS_GROUP_COV;
    group_mean = est & TARR_SS_GROUP_MEAN;
    if ((pooled_cov || pooled_mean) && !slot(t, kSlotPooledMean)) return TARR_SS_ERROR_NULL_POOLED_MEAN;
    if (pooled_cov) {
      if (!slot(t, kSlotPooledCovStorage)) return TARR_SS_ERROR_NULL_STORAGE_ITEM;
      if (!slot(t, kSlotPooledCov)) return TARR_SS_ERROR_NULL_POOLED_COV;
      fpool = item_at(t, kSlotPooledCovStorage);
    }
    if (group_cov || group_mean) {
      if (!slot(t, kSlotReqGroups)) return TARR_SS_ERROR_NULL_GROUP_INDICES;
      if (!slot(t, kSlotGroupMeans)) return TARR_SS_ERROR_NULL_GROUP_MEANS;
    }
    if (group_cov) {
      if (!slot(t, kSlotGroupCovsStorage)) return TARR_SS_ERROR_NULL_STORAGE_ITEM;
      if (!slot(t, kSlotGroupCovs)) return TARR_SS_ERROR_NULL_GROUP_COVS;
      fgroup = item_at(t, kSlotGroupCovsStorage);
    }
    if (!(method & TARR_SS_METHOD_POOLED)) return TARR_SS_ERROR_BAD_METHOD;
    return obs.read(t);
  }

  int plan() {
    q = select_components(t, obs.p, nullptr);
    if (q == 0 || !(pooled_cov || pooled_mean || group_cov || group_mean)) return kNothingToDo;
    for (int64_t i = 0; i < obs.n; ++i)
      if (group_of(i) + 1 > g) g = group_of(i) + 1;
    stride = 2 + q + q * q;
    // Threads for long data: each needs 8192 observations and 128 K values of its own.
    parts = obs.n >= 16384 ? std::min(useful_threads(obs.n, 8192), useful_threads(obs.n * q, 131072)) : 1;
    threaded = parts > 1;
    return 0;
  }
  void carve(Carver& C) {
    sel = C.take<int64_t>(q);
    shift = C.take<double>(g * q);
    seen = C.take<bool>(g);
    sums = C.take_each<double>(parts, g * stride);
    row = C.scratch_each<double>(parts, q);
  }
  // Each group's first observation (with positive weight) is its shift.
  int start() {
    select_components(t, obs.p, sel);
    int64_t found = 0;
    for (int64_t i = 0; i < obs.n && found < g; ++i) {
      const int64_t gi = group_of(i);
      if (gi < 0 || seen[gi] || (obs.w && !(obs.w[i] > 0))) continue;
      seen[gi] = true;
      ++found;
      for (int64_t j = 0; j < q; ++j) {
        const double v = double(obs.at(i, sel[j]));
        shift[gi * q + j] = std::isfinite(v) ? v : 0.0;  // an infinite shift would turn inf into NaN
      }
    }
    return 0;
  }
  int part(int r, int) {
    const Span span = span_of(obs.n, parts, r);
    double* y = row[r];
    for (int64_t i = span.begin; i < span.end; ++i) {
      const int64_t gi = group_of(i);
      const double w = obs.w ? double(obs.w[i]) : 1.0;
      if (gi < 0 || w == 0) continue;
      double* s = sums[r] + gi * stride;
      double* s1 = s + 2;
      double* c = s1 + q;
      const double* sh = shift + gi * q;
      s[0] += w;
      s[1] += w * w;
      for (int64_t j = 0; j < q; ++j) y[j] = double(obs.at(i, sel[j])) - sh[j];
      for (int64_t b = 0; b < q; ++b) {  // the upper triangle of w y y^T, column by column
        const double wy = w * y[b];
        s1[b] += wy;
        double* col = c + b * q;
        for (int64_t a = 0; a <= b; ++a) col[a] += wy * y[a];
      }
    }
    return 0;
  }

  int finish() {
    // Totals over the parts, in part order, into part 0.
    double* S = sums[0];
    for (int r = 1; r < parts; ++r)
      for (int64_t k = 0; k < g * stride; ++k) S[k] += sums[r][k];
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const int64_t p = obs.p;
    // Per group: mean and centred cross-product in place of the sums.
    double Wall = 0, Ball = 0;
    int64_t first = -1;
    for (int64_t gi = 0; gi < g; ++gi) {
      double* s = S + gi * stride;
      const double W = s[0], W2 = s[1];
      double* s1 = s + 2;
      double* c = s1 + q;
      if (!(W > 0)) continue;
      for (int64_t b = 0; b < q; ++b)
        for (int64_t a = 0; a <= b; ++a) c[a + b * q] -= s1[a] * s1[b] / W;
      for (int64_t j = 0; j < q; ++j) s1[j] /= W;  // mean relative to the group's shift
      Wall += W;
      Ball += W - W2 / W;
      if (first < 0) first = gi;
    }
    if (pooled_mean || pooled_cov) {
      T* mean = static_cast<T*>(slot(t, kSlotPooledMean));
      T* cov = static_cast<T*>(slot(t, kSlotPooledCov));
      for (int64_t j = 0; j < q; ++j) {
        if (first < 0) {
          mean[sel[j]] = T(nan);
          continue;
        }
        // s0 + sum W_g (shift_g - s0 + m_g) / W: the shifts' differences are exact for groups
        // near one another, and nothing is summed at the size of the mean.
        const double s0 = shift[first * q + j];
        double acc = 0;
        for (int64_t gi = 0; gi < g; ++gi) {
          const double* s = S + gi * stride;
          if (s[0] > 0) acc += s[0] * ((shift[gi * q + j] - s0) + s[2 + j]);
        }
        mean[sel[j]] = T(s0 + acc / Wall);
      }
      if (pooled_cov)
        for (int64_t b = 0; b < q; ++b)
          for (int64_t a = 0; a <= b; ++a) {
            double cp = 0;
            for (int64_t gi = 0; gi < g; ++gi) {
              const double* s = S + gi * stride;
              if (s[0] > 0) cp += s[2 + q + a + b * q];
            }
            put_symmetric(cov, p, fpool, sel[a], sel[b], first < 0 ? nan : cp / Ball);
          }
    }
    if (group_mean || group_cov) {
      T* means = static_cast<T*>(slot(t, kSlotGroupMeans));
      T* covs = static_cast<T*>(slot(t, kSlotGroupCovs));
      const int64_t msize = mat_size(p, fgroup);
      int64_t out = 0;  // requested groups so far
      for (int64_t gi = 0; gi < g; ++gi) {
        if (item_at(t, kSlotReqGroups, gi) == 0) continue;
        const double* s = S + gi * stride;
        const double W = s[0], B = W - s[1] / W;
        const bool empty = !(W > 0);
        for (int64_t j = 0; j < q; ++j) means[out * p + sel[j]] = T(empty ? nan : shift[gi * q + j] + s[2 + j]);
        if (group_cov)
          for (int64_t b = 0; b < q; ++b)
            for (int64_t a = 0; a <= b; ++a)
              put_symmetric(covs + out * msize, p, fgroup, sel[a], sel[b], empty ? nan : s[2 + q + a + b * q] / B);
        ++out;
      }
    }
    return 0;
  }
};

}  // namespace
}  // namespace zorp::ss

ZORP_SS_EXPORTS(PooledCovariance, Pooled)
