// A sorted copy of the observations (_tarr?SSSort, method 0x100000): each selected component
// sorted ascending (NaNs last) into the output (slot 90) in the layout of its storage word
// (slot 91), or in place when the output is the observation array itself.  Components are
// split into one block per thread.
#include "ss/common/data.h"
#include "ss/common/steps.h"
#include "ss/quantiles/order.h"

namespace zorp::ss {
namespace {

template <typename T>
struct Sort : Split {
  TarrSSTask* t;
  uint32_t method;
  Observations<T> obs;
  T* out = nullptr;
  int out_layout = kNoLayout;
  int64_t q = 0;
  int64_t* sel = nullptr;
  T** column = nullptr;  // per thread: one component, when the output interleaves components

  Sort(TarrSSTask* task, uint64_t, uint32_t m) : t(task), method(m) {}

  int check() {
    if (!(out = static_cast<T*>(slot(t, kSlotSorted)))) return TARR_SS_ERROR_NULL_SORTED;
    if (!slot(t, kSlotSortedStorage)) return TARR_SS_ERROR_NULL_STORAGE_ITEM;
    const int64_t out_word = item_at(t, kSlotSortedStorage);
    if (out == t->x) {
      // In place: the output must keep the observations' layout, and every component is sorted.
      if (!t->storage || ((out_word ^ item(t, t->storage)) & TARR_SS_MATRIX_STORAGE_1))
        return TARR_SS_ERROR_NULL_STORAGE_ITEM;
      if (t->indices) return TARR_SS_ERROR_SORT_IN_PLACE_WITH_INDICES;
    }
    if (int e = read_layout(t, obs.layout)) return e;
    if (!(out_layout = layout_of(out_word))) return TARR_SS_ERROR_BAD_STORAGE;
    if (!(method & TARR_SS_METHOD_SORT)) return TARR_SS_ERROR_BAD_METHOD;
    return obs.read(t);
  }
  int plan() {
    q = select_components(t, obs.p, nullptr);
    if (q == 0) return kNothingToDo;
    // 2^14 values a thread: a sort of that many takes about 100 microseconds, far above what
    // starting a pool thread costs (a few), and bench_stats_quantiles's SortTask measured two
    // threads at 2.0x one from 32,768 values (p = 8, n = 4,096) and level below that.
    split_components(q, obs.n * q, 1 << 14);
    return 0;
  }
  void carve(Carver& C) {
    sel = C.take<int64_t>(q);
    column = C.scratch_each<T>(threads, out_layout == kByObservation ? obs.n : 0);
  }
  int start() {
    select_components(t, obs.p, sel);
    return 0;
  }
  int part(int r, int thread) {
    const Span span = span_of(q, parts, r);
    const int64_t n = obs.n, p = obs.p;
    for (int64_t i = span.begin; i < span.end; ++i) {
      const int64_t c = sel[i];
      T* dst = out_layout == kByComponent ? out + c * n : column[thread];
      if (dst != obs.column(c)) obs.copy_column(c, 0, n, dst);
      order::sort_values(dst, n);
      if (out_layout == kByObservation)
        for (int64_t k = 0; k < n; ++k) out[k * p + c] = dst[k];
    }
    return 0;
  }
  int finish() { return 0; }
};

}  // namespace
}  // namespace zorp::ss

ZORP_SS_EXPORTS(Sort, Sort)
