// What the data-fitting tests share: partitions, and a task over caller storage that builds a
// spline of a given function and hands out its entries in the task's precision.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <vector>

#include "df_entries.h"
#include "zorp/core.h"

namespace zorp::test::df {

// `call` fails for want of memory when allocation number k from now is refused, and leaves
// nothing allocated.
template <typename Call>
void expect_mem_failure(Call call, int64_t k = 1) {
  const int64_t live = zorp_core_live_allocations();
  zorp_core_fail_allocation(k);
  EXPECT_EQ(call(), DF_ERROR_MEM_FAILURE) << "allocation " << k;
  zorp_core_fail_allocation(0);
  EXPECT_EQ(zorp_core_live_allocations(), live) << "allocation " << k;
}

// Derivative k of the polynomial sum_j p[j] x^j.
inline double poly(const std::vector<double>& p, int k, double x) {
  double v = 0;
  for (int j = static_cast<int>(p.size()) - 1; j >= k; --j) {
    double f = 1;
    for (int q = 0; q < k; ++q) f *= j - q;
    v = v * x + f * p[j];
  }
  return v;
}

// n points from a to b, denser on the left when uneven.
template <typename T>
std::vector<T> grid(int n, bool uneven = true, double a = -1.0, double b = 2.0) {
  std::vector<T> x(n);
  for (int i = 0; i < n; ++i) {
    const double s = static_cast<double>(i) / (n - 1);
    x[i] = static_cast<T>(a + (b - a) * (uneven ? s * (0.7 + 0.3 * s) : s));
  }
  return x;
}

// ny functions f(k, x) sampled on x (stored by rows, or by columns under DF_MATRIX_STORAGE_COLS);
// a uniform task holds the two end points.
template <typename T>
struct SplineTask {
  std::vector<T> x, xe, y, c, bc, ic;
  DFTask* t = nullptr;
  int64_t nx, ny;
  SplineTask(std::vector<T> xs, int64_t nfun, const std::function<double(int64_t, double)>& f, int64_t xhint = 1,
             int64_t yhint = DF_NO_HINT)
      : x(std::move(xs)), ny(nfun) {
    nx = static_cast<int64_t>(x.size());
    y.resize(nx * ny);
    for (int64_t k = 0; k < ny; ++k)
      for (int64_t j = 0; j < nx; ++j)
        y[yhint == DF_MATRIX_STORAGE_COLS ? j * ny + k : k * nx + j] = static_cast<T>(f(k, static_cast<double>(x[j])));
    xe = xhint == DF_UNIFORM_PARTITION ? std::vector<T>{x.front(), x.back()} : x;
    EXPECT_EQ(Entries<T>::new_task(&t, nx, xe.data(), xhint, ny, y.data(), yhint, 0), 0);
  }
  ~SplineTask() { zorp_df_kernel_DeleteTask(&t); }
  // The settings alone, ic type as given (the construction tests call the kind themselves).
  int set(int64_t order, int64_t type, int64_t bct, std::vector<T> b, int64_t ict, std::vector<T> i) {
    bc = std::move(b);
    ic = std::move(i);
    c.assign(static_cast<size_t>(nx * order * ny), T(-7));
    return Entries<T>::edit_pp(t, order, type, bct, bc.empty() ? nullptr : bc.data(), ict,
                               ic.empty() ? nullptr : ic.data(), c.data(), 0);
  }
  // Settings, then construction by the kind of the order and type (order 0 and orders above 4:
  // settings only).  ict is set after the settings, so that the knot-based quadratic may take
  // midpoint knots without ic.
  int build(int64_t order, int64_t type, int64_t bct, std::vector<T> b = {}, int64_t ict = 0, std::vector<T> i = {}) {
    bc = std::move(b);
    ic = std::move(i);
    c.assign(static_cast<size_t>((nx + 1) * std::max<int64_t>(order, 1) * ny), T(0));
    using E = Entries<T>;
    int rc = E::edit_pp(t, order, type, bct, bc.empty() ? nullptr : bc.data(), ic.empty() ? 0 : ict,
                        ic.empty() ? nullptr : ic.data(), c.data(), 0);
    if (!rc && ict) rc = zorp_df_kernel_iEditVal(t, DF_ATTR_IC_TYPE, ict);
    if (rc || order == 0 || order > 4) return rc;
    const auto fn = order == 2 ? E::linear : order == 3 ? E::quadratic : type == DF_PP_AKIMA ? E::akima : E::natural;
    return fn(t, 0, 0, nullptr);
  }
};

}  // namespace zorp::test::df
