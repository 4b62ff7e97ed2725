// What the data-fitting tests share: partitions, and a task over caller storage that builds a
// spline of a given function and hands out its entries in the task's precision.
#pragma once
#include <algorithm>
#include <cstdint>
#include <functional>
#include <vector>

#include "zorp/df.h"

namespace zorp::test::df {

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

// ny functions f(k, x) sampled on x (stored by rows); a uniform task holds the two end points.
template <typename T>
struct SplineTask {
  std::vector<T> x, xe, y, c, bc, ic;
  DFTask* t = nullptr;
  int64_t nx, ny;
  SplineTask(std::vector<T> xs, int64_t nfun, const std::function<double(int64_t, double)>& f, int64_t xhint = 1)
      : x(std::move(xs)), ny(nfun) {
    nx = static_cast<int64_t>(x.size());
    y.resize(nx * ny);
    for (int64_t k = 0; k < ny; ++k)
      for (int64_t j = 0; j < nx; ++j) y[k * nx + j] = static_cast<T>(f(k, static_cast<double>(x[j])));
    xe = xhint == DF_UNIFORM_PARTITION ? std::vector<T>{x.front(), x.back()} : x;
    if constexpr (sizeof(T) == 8) zorp_df_kernel_dNewTask1D(&t, nx, xe.data(), xhint, ny, y.data(), 0, 0);
    else zorp_df_kernel_sNewTask1D(&t, nx, xe.data(), xhint, ny, y.data(), 0, 0);
  }
  ~SplineTask() { zorp_df_kernel_DeleteTask(&t); }
  // Settings, then construction by the kind of the order and type (order 0 and orders above 4:
  // settings only).  ict is set after the settings, so that the knot-based quadratic may take
  // midpoint knots without ic.
  int build(int64_t order, int64_t type, int64_t bct, std::vector<T> b = {}, int64_t ict = 0, std::vector<T> i = {}) {
    bc = std::move(b);
    ic = std::move(i);
    c.assign(static_cast<size_t>((nx + 1) * std::max<int64_t>(order, 1) * ny), T(0));
    int rc;
    if constexpr (sizeof(T) == 8)
      rc = zorp_df_kernel_dEditPPSpline1D(t, order, type, bct, bc.empty() ? nullptr : bc.data(), ic.empty() ? 0 : ict,
                                          ic.empty() ? nullptr : ic.data(), c.data(), 0);
    else
      rc = zorp_df_kernel_sEditPPSpline1D(t, order, type, bct, bc.empty() ? nullptr : bc.data(), ic.empty() ? 0 : ict,
                                          ic.empty() ? nullptr : ic.data(), c.data(), 0);
    if (!rc && ict) rc = zorp_df_kernel_iEditVal(t, DF_ATTR_IC_TYPE, ict);
    if (rc || order == 0 || order > 4) return rc;
    using Fn = int (*)(DFTask*, int64_t, int64_t, void**);
    Fn fn;
    if constexpr (sizeof(T) == 8)
      fn = order == 2 ? zorp_df_kernel_dDFLinearSpline1D : order == 3 ? zorp_df_kernel_dDFQuadraticSpline1D
           : type == DF_PP_AKIMA ? zorp_df_kernel_dDFAkimaCubicSpline1D : zorp_df_kernel_dDFNaturalCubicSpline1D;
    else
      fn = order == 2 ? zorp_df_kernel_sDFLinearSpline1D : order == 3 ? zorp_df_kernel_sDFQuadraticSpline1D
           : type == DF_PP_AKIMA ? zorp_df_kernel_sDFAkimaCubicSpline1D : zorp_df_kernel_sDFNaturalCubicSpline1D;
    return fn(t, 0, 0, nullptr);
  }
};

}  // namespace zorp::test::df
