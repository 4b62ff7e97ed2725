// Minimum and maximum per component (estimate bits 0x400 and 0x800).
//
// Method 0x1 starts from the observations of this call; method 0x2 merges them with the values
// already in the arrays, so extremes can be kept over several calls like the running moments.
// Observations of weight zero carry no data and are skipped.
#include <algorithm>
#include <cmath>
#include <limits>

#include "simd/vec.h"
#include "ss/task/task.h"

namespace zorp::ss {
namespace {

using namespace zorp::simd;

// Extremes of n contiguous values, vectorised with four accumulators per bound.
template <typename T>
void extremes(const T* x, int64_t n, T& lo, T& hi) {
  constexpr int L = 64 / sizeof(T);
  int64_t i = 0;
  if (n >= 4 * L) {
    auto l0 = load(x), l1 = l0, l2 = l0, l3 = l0, h0 = l0, h1 = l0, h2 = l0, h3 = l0;
    for (; i + 4 * L <= n; i += 4 * L) {
      const auto a = load(x + i), b = load(x + i + L), c = load(x + i + 2 * L), d = load(x + i + 3 * L);
      l0 = min(l0, a); l1 = min(l1, b); l2 = min(l2, c); l3 = min(l3, d);
      h0 = max(h0, a); h1 = max(h1, b); h2 = max(h2, c); h3 = max(h3, d);
    }
    lo = std::min(lo, T(reduce_min(min(min(l0, l1), min(l2, l3)))));
    hi = std::max(hi, T(reduce_max(max(max(h0, h1), max(h2, h3)))));
  }
  for (; i < n; ++i) {
    lo = std::min(lo, x[i]);
    hi = std::max(hi, x[i]);
  }
}

template <typename T>
int minmax(TarrSSTask* t, uint64_t est, uint32_t method) {
  if (!t) return TARR_SS_ERROR_NULL_TASK;
  const bool wide = t->width_flag != 0;
  if (!t->storage) return TARR_SS_ERROR_NULL_STORAGE_ITEM;
  const int64_t st = read_int(t->storage, wide);
  if (!(st & (TARR_SS_MATRIX_STORAGE_1 | TARR_SS_MATRIX_STORAGE_2))) return TARR_SS_ERROR_BAD_STORAGE;
  T* lo_out = static_cast<T*>(slot(t, kSlotMin));
  T* hi_out = static_cast<T*>(slot(t, kSlotMax));
  if ((est & TARR_SS_MIN) && !lo_out) return TARR_SS_ERROR_NULL_EXTREME_LOW;
  if ((est & TARR_SS_MAX) && !hi_out) return TARR_SS_ERROR_NULL_EXTREME_HIGH;
  if (!(method & 3)) return TARR_SS_ERROR_BAD_METHOD;
  int64_t n, p;
  if (!t->nobs || (n = read_int(t->nobs, wide)) < 1) return TARR_SS_ERROR_BAD_NOBS;
  if (!t->x) return TARR_SS_ERROR_NULL_OBSERVATIONS;
  if (!t->dimension || (p = read_int(t->dimension, wide)) < 1) return TARR_SS_ERROR_BAD_DIMENSION;
  const bool merge = !(method & TARR_SS_METHOD_MINMAX_NEW);
  const bool by_component = st & TARR_SS_MATRIX_STORAGE_1;
  const T* x = static_cast<const T*>(t->x);
  const T* w = static_cast<const T*>(t->weights);
  constexpr T inf = std::numeric_limits<T>::infinity();

  for (int64_t c = 0; c < p; ++c) {
    if (t->indices && read_int(t->indices, wide, c) == 0) continue;
    T lo = inf, hi = -inf;
    bool any = false;
    if (by_component && !w) {
      extremes(x + c * n, n, lo, hi);
      any = true;
    } else {
      for (int64_t i = 0; i < n; ++i) {
        if (w && w[i] == 0) continue;
        const T v = by_component ? x[c * n + i] : x[i * p + c];
        lo = std::min(lo, v);
        hi = std::max(hi, v);
        any = true;
      }
    }
    if (!any) continue;  // every observation weighted out: nothing to report
    if (est & TARR_SS_MIN) lo_out[c] = merge ? std::min(lo_out[c], lo) : lo;
    if (est & TARR_SS_MAX) hi_out[c] = merge ? std::max(hi_out[c], hi) : hi;
  }
  return 0;
}

}  // namespace
}  // namespace zorp::ss

extern "C" ZORP_API int _tarrdSSMinmax(TarrSSTask* task, uint64_t estimates, uint32_t method) {
  return zorp::ss::minmax<double>(task, estimates, method);
}
extern "C" ZORP_API int _tarrsSSMinmax(TarrSSTask* task, uint64_t estimates, uint32_t method) {
  return zorp::ss::minmax<float>(task, estimates, method);
}
