// The exported sort and selection routines (order.h does the work).
#include <limits>

#include "ss/quantiles/order.h"
#include "zorp/ss.h"

namespace zorp::ss {
namespace {

template <typename T>
void qsort(int n, T* x) {
  if (x && n > 1) order::sort_values(x, n);
}
template <typename T>
void qsort_step(int n, T* x, int step) {
  if (x && n > 1 && step >= 1) order::sort_values(order::Strided<T>{x, step}, n);
}
template <typename T>
T qsort_select(int n, T* x, int k) {
  if (!x || k < 0 || k >= n) return std::numeric_limits<T>::quiet_NaN();
  const int64_t rank = k;
  order::select_ranks(x, n, &rank, 1);
  return x[k];
}

}  // namespace
}  // namespace zorp::ss

extern "C" {
ZORP_API void __tarrdQSort(int n, double* x) { zorp::ss::qsort(n, x); }
ZORP_API void __tarrsQSort(int n, float* x) { zorp::ss::qsort(n, x); }
ZORP_API void __tarrdQSortStep(int n, double* x, int step) { zorp::ss::qsort_step(n, x, step); }
ZORP_API void __tarrsQSortStep(int n, float* x, int step) { zorp::ss::qsort_step(n, x, step); }
ZORP_API double __tarrdQSortSelect(int n, double* x, int k) { return zorp::ss::qsort_select(n, x, k); }
ZORP_API float __tarrsQSortSelect(int n, float* x, int k) { return zorp::ss::qsort_select(n, x, k); }
}
