// Quantiles of given orders and the full order statistics (_tarr?SSQuantiles).
//
// Components are split into one block per thread.  With order statistics the component is
// sorted (in the output itself when it keeps components contiguous) and the quantiles are read
// from it; quantiles alone need only the ranks j and k of each order, found by one bracketing
// pass over the component (ranks.h) and, should a bracket miss, by selection on a copy.
#include <cmath>

#include "ss/common/data.h"
#include "ss/common/steps.h"
#include "ss/quantiles/order.h"
#include "ss/quantiles/ranks.h"

namespace zorp::ss {
namespace {

using quantile::Bracket;
using quantile::Position;

template <typename T>
struct Quantiles : Split {
  TarrSSTask* t;
  uint64_t est;
  uint32_t method;
  Observations<T> obs;
  bool want_quantiles = false, want_stats = false, brackets = false;
  int64_t count = 0, q = 0, m = 0, s = 0;
  const T* orders = nullptr;
  T* out = nullptr;    // count values per component, component c from out + c * count
  T* stats = nullptr;  // the sorted observations
  int stats_layout = kNoLayout;
  int64_t* sel = nullptr;
  Position* pos = nullptr;
  int64_t* ranks = nullptr;
  T** copy = nullptr;  // per thread: n values
  T** space = nullptr;
  T** sample = nullptr;
  Bracket** br = nullptr;
  T** values = nullptr;  // per thread: the values of the m ranks

  Quantiles(TarrSSTask* task, uint64_t e, uint32_t me) : t(task), est(e), method(me) {}

  int check() {
    if (int e = read_layout(t, obs.layout)) return e;
    want_quantiles = est & TARR_SS_QUANTS;
    want_stats = est & TARR_SS_ORDER_STATS;
    if (want_quantiles) {
      if (!(out = static_cast<T*>(slot(t, kSlotQuantiles)))) return TARR_SS_ERROR_NULL_QUANTILES;
      if (!(orders = static_cast<const T*>(slot(t, kSlotQuantOrders)))) return TARR_SS_ERROR_NULL_QUANT_ORDERS;
      if (!slot(t, kSlotQuantCount)) return TARR_SS_ERROR_NULL_QUANT_COUNT;
      count = item_at(t, kSlotQuantCount);
      if (count < 0 || !quantile::orders_valid(orders, count)) return TARR_SS_ERROR_NULL_QUANT_COUNT;
    }
    if (want_stats) {
      if (!(stats = static_cast<T*>(slot(t, kSlotOrderStats)))) return TARR_SS_ERROR_NULL_ORDER_STATS;
      if (!slot(t, kSlotOrderStatsStorage)) return TARR_SS_ERROR_NULL_STORAGE_ITEM;
      if (!(stats_layout = layout_of(item_at(t, kSlotOrderStatsStorage)))) return TARR_SS_ERROR_BAD_STORAGE;
    }
    if (!(method & TARR_SS_METHOD_QUANTILES)) return TARR_SS_ERROR_BAD_METHOD;
    return obs.read(t);
  }

  int plan() {
    q = select_components(t, obs.p, nullptr);
    if (q == 0 || !(want_quantiles || want_stats) || (!want_stats && count == 0)) return kNothingToDo;
    brackets = !want_stats && obs.n >= quantile::kBracketMinimum && 2 * count <= quantile::kBracketRanks;
    s = brackets ? quantile::sample_size(obs.n) : 0;
    m = 2 * count;  // at most; start() settles it
    // Components in one block per thread, when there is enough to read (1 MB a thread).
    split_components(q, obs.n * q, 1 << 17);
    return 0;
  }

  void carve(Carver& C) {
    sel = C.take<int64_t>(q);
    pos = C.take<Position>(count);
    ranks = C.take<int64_t>(2 * count);
    // A copy of one component: the sorted values, the input of a bracket pass when the layout
    // interleaves components, or the array the ranks are selected in.  Bracket buffers take
    // its place when the component is contiguous (and it theirs should a bracket miss).
    const bool copy_too = want_stats || !brackets || obs.layout == kByObservation;
    copy = C.scratch_each<T>(threads, copy_too ? obs.n : 0);
    space = C.scratch_each<T>(threads, brackets ? quantile::bracket_space(obs.n, 2 * count) : 0);
    sample = C.scratch_each<T>(threads, s);
    br = C.scratch_each<Bracket>(threads, brackets ? 2 * count : 0);
    values = C.scratch_each<T>(threads, 2 * count);
  }

  int start() {
    select_components(t, obs.p, sel);
    for (int64_t o = 0; o < count; ++o) pos[o] = quantile::position(double(orders[o]), obs.n);
    m = quantile::ranks_of(pos, count, ranks);
    return 0;
  }

  int part(int r, int thread) {
    const Span span = span_of(q, parts, r);
    const int64_t n = obs.n, p = obs.p;
    T* work = copy[thread];
    for (int64_t i = span.begin; i < span.end; ++i) {
      const int64_t c = sel[i];
      if (want_stats) {
        T* sorted = stats_layout == kByComponent ? stats + c * n : work;
        obs.copy_column(c, 0, n, sorted);
        order::sort_values(sorted, n);
        if (stats_layout == kByObservation)
          for (int64_t k = 0; k < n; ++k) stats[k * p + c] = sorted[k];
        for (int64_t o = 0; o < count; ++o)
          out[c * count + o] = T(quantile::interpolate(pos[o].f, double(sorted[pos[o].j]), double(sorted[pos[o].k])));
        continue;
      }
      T* v = values[thread];
      const T* column = obs.column(c);
      if (!column || !brackets) obs.copy_column(c, 0, n, work);
      const bool found = brackets && quantile::find_ranks(column ? column : work, n, ranks, m, v, sample[thread], s,
                                                          space[thread], br[thread]);
      if (!found) {
        T* sel_in = work;
        if (brackets && column) obs.copy_column(c, 0, n, sel_in = space[thread]);
        order::select_ranks(sel_in, n, ranks, m);
        for (int64_t k = 0; k < m; ++k) v[k] = sel_in[ranks[k]];
      }
      for (int64_t o = 0; o < count; ++o) {
        const double xj = double(v[quantile::rank_of(ranks, m, pos[o].j)]);
        const double xk = double(v[quantile::rank_of(ranks, m, pos[o].k)]);
        out[c * count + o] = T(quantile::interpolate(pos[o].f, xj, xk));
      }
    }
    return 0;
  }

  int finish() { return 0; }
};

}  // namespace
}  // namespace zorp::ss

ZORP_SS_EXPORTS(Quantiles, Quantiles)
