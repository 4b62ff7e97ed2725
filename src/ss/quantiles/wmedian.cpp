// The weighted quantile of one order (_tarr?SSWMedian): the first order of slot 45, the weights
// of slot 6 (every observation weight 1 when none are registered), one value per selected
// component into slot 46.
//
// The rule: with the (value, weight) pairs sorted by value (NaNs last), W the total weight and
// C_i the weight of pairs 0..i, the result is the value of the first pair of positive weight
// whose C_i reaches q W; when C_i equals q W exactly and 0 < q < 1, the weight splits there
// and the result is the midpoint of that value and the next one of positive weight.  So equal
// weights give the usual median (the mean of the middle two of an even count), order 0 the
// least value and order 1 the greatest value that carries weight.  Without any weight (W = 0)
// the result is NaN.
#include <cmath>
#include <limits>

#include "ss/common/data.h"
#include "ss/common/steps.h"
#include "ss/quantiles/order.h"

namespace zorp::ss {
namespace {

struct Pair {
  double v, w;
  bool operator<(const Pair& o) const { return v < o.v; }
  bool operator==(const Pair& o) const { return v == o.v; }
};

template <typename T>
struct WMedian : Split {
  TarrSSTask* t;
  uint32_t method;
  Observations<T> obs;
  T* out = nullptr;
  double q = 0;
  int64_t nsel = 0;
  int64_t* sel = nullptr;
  Pair** pairs = nullptr;  // per thread: n pairs, 16 n bytes

  WMedian(TarrSSTask* task, uint64_t, uint32_t m) : t(task), method(m) {}

  int check() {
    if (int e = read_layout(t, obs.layout)) return e;
    if (!(out = static_cast<T*>(slot(t, kSlotQuantiles)))) return TARR_SS_ERROR_NULL_QUANTILES;
    const T* orders = static_cast<const T*>(slot(t, kSlotQuantOrders));
    if (!orders) return TARR_SS_ERROR_NULL_QUANT_ORDERS;
    q = double(orders[0]);
    if (!(q >= 0 && q <= 1)) return TARR_SS_ERROR_NULL_QUANT_COUNT;
    if (!(method & TARR_SS_METHOD_QUANTILES)) return TARR_SS_ERROR_BAD_METHOD;
    return obs.read(t);
  }
  int plan() {
    nsel = select_components(t, obs.p, nullptr);
    if (nsel == 0) return kNothingToDo;
    split_components(nsel, obs.n * nsel, 1 << 16);
    return 0;
  }
  void carve(Carver& C) {
    sel = C.take<int64_t>(nsel);
    pairs = C.scratch_each<Pair>(threads, obs.n);
  }
  int start() {
    select_components(t, obs.p, sel);
    return 0;
  }
  int part(int r, int thread) {
    const Span span = span_of(nsel, parts, r);
    const int64_t n = obs.n;
    Pair* a = pairs[thread];
    for (int64_t i = span.begin; i < span.end; ++i) {
      const int64_t c = sel[i];
      for (int64_t k = 0; k < n; ++k) a[k] = {double(obs.at(k, c)), obs.w ? double(obs.w[k]) : 1.0};
      order::sort_values(a, n);
      double W = 0;  // summed in sorted order, so the walk below ends on W exactly
      for (int64_t k = 0; k < n; ++k) W += a[k].w > 0 ? a[k].w : 0.0;
      out[c] = T(weighted_quantile(a, n, W));
    }
    return 0;
  }
  double weighted_quantile(const Pair* a, int64_t n, double W) const {
    if (!(W > 0)) return std::numeric_limits<double>::quiet_NaN();
    const double target = q * W;
    double C = 0;
    for (int64_t k = 0; k < n; ++k) {
      if (!(a[k].w > 0)) continue;
      C += a[k].w;
      if (C < target) continue;
      if (C == target && q > 0 && q < 1)
        for (int64_t next = k + 1; next < n; ++next)
          if (a[next].w > 0) return 0.5 * (a[k].v + a[next].v);
      return a[k].v;
    }
    return a[n - 1].v;  // not reached unless the weights are not all finite
  }
  int finish() { return 0; }
};

}  // namespace
}  // namespace zorp::ss

ZORP_SS_EXPORTS(WMedian, WMedian)
