// What interpolation and integration share beyond the search: the evaluation kind of a task's
// (order, type), the checks of the data a kind reads, and the polynomial of a coefficient block
// with its derivatives and antiderivative, written once for a scalar and for a register of
// sites (the same operations in the same order, so the single-site path and the blocks agree
// bit for bit).
#pragma once
#include <cstdint>

#include "df/common/search.h"
#include "df/common/task_view.h"
#include "simd/vec.h"
#include "zorp/df.h"

namespace zorp::df {

enum class EvalKind { Lookup, StepRight, StepLeft, Poly, KnotQuadratic, User, Invalid };

// The kind, and the number of coefficients per block for the polynomial kinds.
struct Evaluation {
  EvalKind kind;
  int order;
};

inline Evaluation evaluation_of(int64_t order, int64_t type, bool all_callbacks) {
  Evaluation e{EvalKind::Invalid, 0};
  if (order == 0) {
    if (type == DF_PP_LOOKUP) e.kind = EvalKind::Lookup;
    if (type == DF_PP_STEP_RIGHT) e.kind = EvalKind::StepRight;
    if (type == DF_PP_STEP_LEFT) e.kind = EvalKind::StepLeft;
  } else if (order == DF_PP_LINEAR) {
    e = {EvalKind::Poly, 2};
  } else if (order == DF_PP_QUADRATIC) {
    if (type == DF_PP_DEFAULT) e = {EvalKind::Poly, 3};
    if (type == DF_PP_QUADRATIC_KNOTS) e = {EvalKind::KnotQuadratic, 3};
  } else if (order == DF_PP_CUBIC) {
    if (type == DF_PP_DEFAULT || type == DF_PP_NATURAL || type == DF_PP_HERMITE || type == DF_PP_BESSEL ||
        type == DF_PP_AKIMA || type == DF_PP_HYMAN)
      e = {EvalKind::Poly, 4};
  } else if (order >= 5 && order <= (1 << 20)) {
    e = {EvalKind::Poly, static_cast<int>(order)};
  }
  // A pair the library cannot evaluate is the callbacks' alone.
  if (e.kind == EvalKind::Invalid && all_callbacks) e.kind = EvalKind::User;
  return e;
}

// The pointers a kind reads: the function values for the order-0 kinds (DF_ERROR_BAD_Y), the
// coefficient blocks for the others (DF_ERROR_BAD_SCOEFF); the user kind reads neither.
inline int check_data(const DFTask* t, EvalKind kind) {
  if (kind == EvalKind::User) return DF_STATUS_OK;
  const bool values = kind == EvalKind::Lookup || kind == EvalKind::StepRight || kind == EvalKind::StepLeft;
  if (t->ny < 1) return DF_ERROR_BAD_NY;
  if (values) {
    if (!t->y || !t->y[0]) return DF_ERROR_BAD_Y;
    if (t->yhint != DF_MATRIX_STORAGE_COLS)
      for (int64_t f = 0; f < t->ny; ++f)
        if (!t->y[f]) return DF_ERROR_BAD_Y;
    return DF_STATUS_OK;
  }
  if (!t->coeff) return DF_ERROR_BAD_SCOEFF;
  for (int64_t f = 0; f < t->ny; ++f)
    if (!t->coeff[f]) return DF_ERROR_BAD_SCOEFF;
  return DF_STATUS_OK;
}

// ---- the polynomial of a block ------------------------------------------------------------------
// A constant of the element type as a scalar or a register.
template <typename V, typename T>
inline V constant(T c) {
  if constexpr (std::is_same_v<V, T>) return c;
  else return simd::splat(c);
}

// j!/(j-k)!: the factor derivative k puts on coefficient j (exact in either precision for the
// orders a spline has).
template <typename T>
inline T falling(int j, int k) {
  T f = T(1);
  for (int q = 0; q < k; ++q) f *= static_cast<T>(j - q);
  return f;
}

// Derivative k of sum_j c_j u^j, p coefficients (c(j) gives coefficient j): Horner over the
// coefficients c_j j!/(j-k)!, j = k..p-1; 0 for k >= p.
template <typename T, typename V, typename Coef>
inline V poly_derivative(int p, int k, V u, Coef c) {
  using namespace simd;
  if (k >= p) return constant<V>(T(0));
  V v = k ? mul(c(p - 1), constant<V>(falling<T>(p - 1, k))) : c(p - 1);
  for (int j = p - 2; j >= k; --j) v = fma(v, u, k ? mul(c(j), constant<V>(falling<T>(j, k))) : c(j));
  return v;
}

// The antiderivative sum_j c_j u^(j+1)/(j+1) at u (vanishing at 0), p coefficients.
template <typename T, typename V, typename Coef>
inline V poly_integral(int p, V u, Coef c) {
  using namespace simd;
  V v = mul(c(p - 1), constant<V>(T(1) / static_cast<T>(p)));
  for (int j = p - 2; j >= 0; --j) v = fma(v, u, mul(c(j), constant<V>(T(1) / static_cast<T>(j + 1))));
  return mul(v, u);
}

// The left point of block b: x[b], or x[0] + b*h on a uniform partition.
template <typename T>
inline T block_left(const TaskView<T>& v, int64_t b) {
  return v.xi(b);
}

// The first checks of an interpolation or integration call, in their order (a task, its
// partition), then the task and how its spline is evaluated into the routine's fields.
template <typename Routine>
int take_task(Routine& J, DFTask* t) {
  if (!t) return DF_ERROR_NULL_TASK;
  if (!t->x) return DF_ERROR_BAD_X;
  J.t = t;
  J.e = evaluation_of(t->order, t->type, J.cb[0] && J.cb[1] && J.cb[2]);
  return DF_STATUS_OK;
}

// The user callbacks of an interpolation or integration call (left of the partition, right of
// it, interior) with their parameters, and the search callback, into the routine's fields.
template <typename Routine, typename Cb, typename SearchCb>
void take_callbacks(Routine& I, Cb le, void* lep, Cb re, void* rep, Cb ic, void* icp, SearchCb search_cb,
                    void* search_params) {
  I.cb[0] = le, I.cb[1] = re, I.cb[2] = ic;
  I.cbp[0] = lep, I.cbp[1] = rep, I.cbp[2] = icp;
  I.search_cb = search_cb;
  I.search_params = search_params;
}

}  // namespace zorp::df
