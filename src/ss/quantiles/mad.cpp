// The two absolute deviations (_tarr?SSMAD): the median absolute deviation (estimate
// 0x200000000, slot 56), the median of |x - median|, and the mean absolute deviation (estimate
// 0x400000000, slot 55), the mean of |x - mean|; observations unweighted.
//
// The median absolute deviation needs method 0x1; the mean absolute deviation method 0x1 (the
// mean computed by the basic routine on a task of the same observations) or 0x100 (the mean
// given in slot 11).  A requested estimate whose method bit is missing is skipped with
// TARR_SS_ERROR_BAD_METHOD; the call returns the status of the last estimate requested (the
// mean absolute deviation's when both are).  Missing result arrays (and a missing mean under
// 0x100) are refused before anything is computed.  Components are split into one block per
// thread; both medians come from the selection of the quantile routine (ranks.h).
#include <cmath>

#include "ss/common/data.h"
#include "ss/common/own_task.h"
#include "ss/common/steps.h"
#include "ss/quantiles/order.h"
#include "ss/quantiles/ranks.h"

namespace zorp::ss {
namespace {

template <typename T>
struct Mad : Split {
  TarrSSTask* t;
  uint64_t est;
  uint32_t method;
  Observations<T> obs;
  T* median_dev = nullptr;
  T* mean_dev = nullptr;
  const T* given_mean = nullptr;
  int median_status = 0, mean_status = 0;  // of each requested estimate
  int64_t q = 0;
  int64_t* sel = nullptr;
  T* means = nullptr;  // p values
  T** copy = nullptr;  // per thread: one component

  Mad(TarrSSTask* task, uint64_t e, uint32_t m) : t(task), est(e), method(m) {}
  bool median_wanted() const { return (est & TARR_SS_MEDIAN_ABS_DEV) && median_status == 0; }
  bool mean_wanted() const { return (est & TARR_SS_MEAN_ABS_DEV) && mean_status == 0; }

  int check() {
    if (int e = read_dimension(t, obs.p)) return e;
    if (int e = read_nobs(t, obs.n)) return e;
    if (int e = read_layout(t, obs.layout, true)) return e;
    if (est & TARR_SS_MEDIAN_ABS_DEV) {
      if (!(median_dev = static_cast<T*>(slot(t, kSlotMedianAbsDev)))) return TARR_SS_ERROR_NULL_MEDIAN_ABS_DEV;
      if (!(method & TARR_SS_METHOD_MAD)) median_status = TARR_SS_ERROR_BAD_METHOD;
    }
    if (est & TARR_SS_MEAN_ABS_DEV) {
      if (!(mean_dev = static_cast<T*>(slot(t, kSlotMeanAbsDev)))) return TARR_SS_ERROR_NULL_MEAN_ABS_DEV;
      if (!(method & (TARR_SS_METHOD_MAD | TARR_SS_METHOD_MAD_GIVEN_MEAN)))
        mean_status = TARR_SS_ERROR_BAD_METHOD;
      else if ((method & TARR_SS_METHOD_MAD_GIVEN_MEAN) && !(given_mean = static_cast<const T*>(slot(t, kSlotMean))))
        return TARR_SS_ERROR_NULL_MEAN;
    }
    if (!(obs.x = static_cast<const T*>(t->x))) return TARR_SS_ERROR_NULL_OBSERVATIONS;
    return 0;
  }
  int status() const { return (est & TARR_SS_MEAN_ABS_DEV) ? mean_status : (est & TARR_SS_MEDIAN_ABS_DEV) ? median_status : 0; }

  int plan() {
    q = select_components(t, obs.p, nullptr);
    if (q == 0 || !(median_wanted() || mean_wanted())) return status() ? status() : kNothingToDo;
    split_components(q, obs.n * q, 1 << 17);
    return 0;
  }
  void carve(Carver& C) {
    sel = C.take<int64_t>(q);
    means = C.take<T>(mean_wanted() && !given_mean ? obs.p : 0);
    copy = C.scratch_each<T>(threads, median_wanted() ? obs.n : 0);
  }
  // The means, by the basic routine on a task of the same observations (its accuracy on data
  // far from zero included); nothing of the caller's task is touched.
  int start() {
    select_components(t, obs.p, sel);
    if (!mean_wanted() || given_mean) return 0;
    OwnTask own(t);
    T acc[2] = {0, 0};
    own->accum_weights = acc;
    own.set(kSlotMean, means);
    const int rc = basic<T>(own.get(), TARR_SS_MEAN, TARR_SS_METHOD_1PASS);
    given_mean = means;
    return rc;
  }
  int part(int r, int thread) {
    const Span span = span_of(q, parts, r);
    const int64_t n = obs.n;
    const quantile::Position half = quantile::position(0.5, n);
    const int64_t ranks[2] = {half.j, half.k};
    const int64_t m = half.j == half.k ? 1 : 2;
    auto median = [&](T* v) {
      order::select_ranks(v, n, ranks, m);
      return quantile::interpolate(half.f, double(v[half.j]), double(v[half.k]));
    };
    for (int64_t i = span.begin; i < span.end; ++i) {
      const int64_t c = sel[i];
      if (median_wanted()) {
        T* v = copy[thread];
        obs.copy_column(c, 0, n, v);
        const double centre = median(v);
        for (int64_t k = 0; k < n; ++k) v[k] = T(std::fabs(double(v[k]) - centre));
        median_dev[c] = T(median(v));
      }
      if (mean_wanted()) {
        // Compensated: a plain sum of 10^5 deviations would lose about as many digits as
        // the mean's own accuracy keeps.
        const double centre = double(given_mean[c]);
        double sum = 0, lost = 0;
        for (int64_t k = 0; k < n; ++k) {
          const double y = std::fabs(double(obs.at(k, c)) - centre) - lost, s = sum + y;
          lost = (s - sum) - y;
          sum = s;
        }
        mean_dev[c] = T(sum / double(n));
      }
    }
    return 0;
  }
  int finish() { return status(); }
};

}  // namespace
}  // namespace zorp::ss

ZORP_SS_EXPORTS(MAD, Mad)
