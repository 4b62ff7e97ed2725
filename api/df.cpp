// The checked data-fitting entries: a task over one-dimensional data, the spline edit, the
// construction routine of the task's kind, cell search, interpolation and integration, delete.
//
// The exports check their counts, arrays and hints, and construction checks the partition; those
// are theirs to report. They leave to the host whose record the task is, a partition that search,
// interpolation and integration use without looking at it (a descent or a NaN gives wrong cells
// without a word), and the words of the spline edit, which the export writes into the task as it
// goes: a refusal half-way would leave a task neither old nor new.
#include <cmath>

#include "api/loader.h"
#include "zorp/zorp.h"

namespace zorp::api {
namespace {

// Whether t is a one-dimensional data-fitting record of the element type (1 double, 0 float): the
// kernel library marks its records kind 4, dimension 1. A statistics record read as one has its
// version, 2, where the kind is. Delete takes either type.
enum Precision : uint32_t { kFloat = 0, kDouble = 1, kEither = 2 };
int32_t open_task(const Kernel** k, const DFTask* t, Precision want) {
  if (const int32_t status = kernel(k); status != 0) return status;
  if (!t) return DF_ERROR_NULL_TASK;
  const bool typed = want == kEither ? t->precision <= kDouble : t->precision == want;
  return t->kind == 4 && t->dimension == 1 && typed ? DF_STATUS_OK : ZORP_ERROR_TASK_KIND;
}

template <class T>
constexpr Precision kPrecisionOf = sizeof(T) == sizeof(double) ? kDouble : kFloat;

// Strictly increasing and finite: every cell has a positive, finite width. A uniform partition is
// held as its two end points.
template <class T>
int32_t partition_check(const DFTask* t) {
  const T* x = static_cast<const T*>(t->x);
  if (!x) return DF_ERROR_BAD_X;
  const int64_t points = t->xhint == DF_UNIFORM_PARTITION ? 2 : t->nx;
  for (int64_t i = 1; i < points; ++i)
    if (!(x[i] > x[i - 1]) || !std::isfinite(x[i] - x[i - 1])) return DF_ERROR_BAD_X;
  return DF_STATUS_OK;
}

template <class T>
int32_t open_partition(const Kernel** k, const DFTask* t) {
  if (const int32_t status = open_task(k, t, kPrecisionOf<T>); status != 0) return status;
  return partition_check<T>(t);
}

// ---- the spline's words ----------------------------------------------------------------------
bool known_order(int64_t order) {
  return order == 0 || order == DF_PP_LINEAR || order == DF_PP_QUADRATIC || order == DF_PP_CUBIC;
}
bool type_of_order(int64_t order, int64_t type) {
  switch (order) {
    case 0: return type == DF_PP_LOOKUP || type == DF_PP_STEP_RIGHT || type == DF_PP_STEP_LEFT;
    case DF_PP_LINEAR: return type == DF_PP_DEFAULT;
    case DF_PP_QUADRATIC: return type == DF_PP_DEFAULT || type == DF_PP_QUADRATIC_KNOTS;
    case DF_PP_CUBIC:
      return type == DF_PP_DEFAULT || type == DF_PP_NATURAL || type == DF_PP_HERMITE || type == DF_PP_BESSEL ||
             type == DF_PP_AKIMA || type == DF_PP_HYMAN;
    default: return false;
  }
}

constexpr int64_t kBcBits = DF_BC_NOT_A_KNOT | DF_BC_FREE_END | DF_BC_1ST_LEFT_DER | DF_BC_1ST_RIGHT_DER |
                            DF_BC_2ND_LEFT_DER | DF_BC_2ND_RIGHT_DER | DF_BC_PERIODIC | DF_BC_Q_VAL;
constexpr int64_t kIcBits = DF_IC_1ST_DER | DF_IC_2ND_DER | DF_IC_Q_KNOT | DF_IC_Q_KNOT_RANGE;

int32_t spline_check(int64_t order, int64_t type, int64_t bc_type, const void* bc, int64_t ic_type, const void* ic,
                     const void* scoeff, int64_t coeff_hint) {
  if (!known_order(order)) return DF_ERROR_BAD_SPLINE_ORDER;
  if (!type_of_order(order, type)) return DF_ERROR_BAD_SPLINE_TYPE;
  if (bc_type < 0 || (bc_type & ~kBcBits)) return DF_ERROR_BAD_BC_TYPE;
  // The export's own rules for bc and ic, asked before it has written order and type.
  if (!bc && bc_type >= 3 && bc_type != DF_BC_PERIODIC) return DF_ERROR_BAD_BC;
  if (ic_type < 0 || (ic_type & ~kIcBits)) return DF_ERROR_BAD_IC_TYPE;
  if (ic_type != 0 && !ic) return DF_ERROR_BAD_IC;
  if (ic_type == 0 && ic) return DF_ERROR_BAD_IC_TYPE;
  if (order != 0 && !scoeff) return DF_ERROR_BAD_SCOEFF;
  if (coeff_hint != DF_NO_HINT && coeff_hint != DF_MATRIX_STORAGE_ROWS && coeff_hint != DF_MATRIX_STORAGE_COLS &&
      coeff_hint != DF_MATRIX_STORAGE_FUNCS_SEP)
    return DF_ERROR_BAD_SCOEFF_HINT;
  return DF_STATUS_OK;
}

using Construct = int (*)(DFTask*, int64_t, int64_t, void**);
struct Builder {
  int64_t order, type;
  Construct Kernel::*d;
  Construct Kernel::*s;
};
#define ZORP_API_BUILDER(order, type, Name) \
  Builder { order, type, &Kernel::zorp_df_kernel_dDF##Name##Spline1D, &Kernel::zorp_df_kernel_sDF##Name##Spline1D }
constexpr Builder kBuilders[] = {
    ZORP_API_BUILDER(DF_PP_LINEAR, DF_PP_DEFAULT, Linear),
    ZORP_API_BUILDER(DF_PP_QUADRATIC, DF_PP_DEFAULT, Quadratic),
    ZORP_API_BUILDER(DF_PP_QUADRATIC, DF_PP_QUADRATIC_KNOTS, Quadratic),
    ZORP_API_BUILDER(DF_PP_CUBIC, DF_PP_DEFAULT, DefaultCubic),
    ZORP_API_BUILDER(DF_PP_CUBIC, DF_PP_NATURAL, NaturalCubic),
    ZORP_API_BUILDER(DF_PP_CUBIC, DF_PP_HERMITE, HermiteCubic),
    ZORP_API_BUILDER(DF_PP_CUBIC, DF_PP_BESSEL, BesselCubic),
    ZORP_API_BUILDER(DF_PP_CUBIC, DF_PP_AKIMA, AkimaCubic),
    ZORP_API_BUILDER(DF_PP_CUBIC, DF_PP_HYMAN, HymanCubic),
};
#undef ZORP_API_BUILDER

template <class T>
int32_t construct(DFTask* t) {
  const Kernel* k;
  if (const int32_t status = open_task(&k, t, kPrecisionOf<T>); status != 0) return status;
  if (t->order == 0 && type_of_order(0, t->type)) return DF_STATUS_OK;  // look-up and step kinds read y itself
  for (const Builder& b : kBuilders)
    if (b.order == t->order && b.type == t->type)
      return (k->*(kPrecisionOf<T> == kDouble ? b.d : b.s))(t, 0, 0, nullptr);
  // A task whose order and type came from the raw editor may name no routine.
  return known_order(t->order) ? DF_ERROR_BAD_SPLINE_TYPE : DF_ERROR_BAD_SPLINE_ORDER;
}

template <class Entry, class T>
int32_t new_task(Entry Kernel::*entry, DFTask** task, int64_t nx, const T* x, int64_t xhint, int64_t ny, const T* y,
                 int64_t yhint, uint32_t index_width) {
  const Kernel* k;
  if (const int32_t status = kernel(&k); status != 0) return status;
  if (ny < 1) return DF_ERROR_BAD_NY;  // the export takes ny = 0 without y: a task with nothing to fit
  return (k->*entry)(task, nx, x, xhint, ny, y, yhint, index_width);
}

template <class Entry, class T>
int32_t edit_spline(Entry Kernel::*entry, DFTask* task, int64_t order, int64_t type, int64_t bc_type, const T* bc,
                    int64_t ic_type, const T* ic, T* scoeff, int64_t coeff_hint) {
  const Kernel* k;
  if (const int32_t status = open_task(&k, task, kPrecisionOf<T>); status != 0) return status;
  if (const int32_t status = spline_check(order, type, bc_type, bc, ic_type, ic, scoeff, coeff_hint); status != 0)
    return status;
  return (k->*entry)(task, order, type, bc_type, bc, ic_type, ic, scoeff, coeff_hint);
}

}  // namespace
}  // namespace zorp::api

using namespace zorp::api;

extern "C" {

int32_t zorp_df_dnew_task(DFTask** task, int64_t nx, const double* x, int64_t xhint, int64_t ny, const double* y,
                          int64_t yhint, uint32_t index_width) {
  return new_task(&Kernel::zorp_df_kernel_dNewTask1D, task, nx, x, xhint, ny, y, yhint, index_width);
}
int32_t zorp_df_snew_task(DFTask** task, int64_t nx, const float* x, int64_t xhint, int64_t ny, const float* y,
                          int64_t yhint, uint32_t index_width) {
  return new_task(&Kernel::zorp_df_kernel_sNewTask1D, task, nx, x, xhint, ny, y, yhint, index_width);
}

int32_t zorp_df_delete_task(DFTask** task) {
  const Kernel* k;
  if (const int32_t status = kernel(&k); status != 0) return status;
  if (!task) return DF_ERROR_NULL_TASK;
  if (!*task) return DF_STATUS_OK;
  if (const int32_t status = open_task(&k, *task, kEither); status != 0) return status;
  return k->zorp_df_kernel_DeleteTask(task);
}

int32_t zorp_df_dedit_spline(DFTask* task, int64_t order, int64_t type, int64_t bc_type, const double* bc,
                             int64_t ic_type, const double* ic, double* scoeff, int64_t coeff_hint) {
  return edit_spline(&Kernel::zorp_df_kernel_dEditPPSpline1D, task, order, type, bc_type, bc, ic_type, ic, scoeff,
                     coeff_hint);
}
int32_t zorp_df_sedit_spline(DFTask* task, int64_t order, int64_t type, int64_t bc_type, const float* bc,
                             int64_t ic_type, const float* ic, float* scoeff, int64_t coeff_hint) {
  return edit_spline(&Kernel::zorp_df_kernel_sEditPPSpline1D, task, order, type, bc_type, bc, ic_type, ic, scoeff,
                     coeff_hint);
}

int32_t zorp_df_dconstruct(DFTask* task) { return construct<double>(task); }
int32_t zorp_df_sconstruct(DFTask* task) { return construct<float>(task); }

// The plain entries are the full ones with no data hints, callbacks or threading table.
#define ZORP_API_DF_CALLS(t, T)                                                                                   \
  int32_t zorp_df_##t##search_ex(DFTask* task, int64_t nsite, const T* site, int64_t sitehint, const T* datahint,  \
                                 void* cell, zorp_df_##t##search_cb search_cb, void* search_params) {             \
    const Kernel* k;                                                                                              \
    if (const int32_t status = open_partition<T>(&k, task); status != 0) return status;                          \
    return k->zorp_df_kernel_##t##DFSearch1D(task, 0, nsite, site, sitehint, datahint, cell, search_cb,          \
                                             search_params, nullptr);                                             \
  }                                                                                                               \
  int32_t zorp_df_##t##search(DFTask* task, int64_t nsite, const T* site, int64_t sitehint, void* cell) {        \
    return zorp_df_##t##search_ex(task, nsite, site, sitehint, nullptr, cell, nullptr, nullptr);                  \
  }                                                                                                               \
  int32_t zorp_df_##t##interpolate_ex(DFTask* task, int64_t type, int64_t nsite, const T* site, int64_t sitehint, \
                                      int64_t ndorder, const int32_t* dorder, const T* datahint, T* r,            \
                                      int64_t rhint, void* cell, const ZorpDf##t##InterpCallbacks* cb,            \
                                      void** threading) {                                                         \
    const Kernel* k;                                                                                              \
    if (const int32_t status = open_partition<T>(&k, task); status != 0) return status;                          \
    const ZorpDf##t##InterpCallbacks none{};                                                                      \
    if (!cb) cb = &none;                                                                                          \
    return k->zorp_df_kernel_##t##DFInterpolate1D(task, type, 0, nsite, site, sitehint, ndorder, dorder,         \
                                                  datahint, r, rhint, cell, cb->left, cb->left_params, cb->right, \
                                                  cb->right_params, cb->interior, cb->interior_params,            \
                                                  cb->search, cb->search_params, threading);                      \
  }                                                                                                               \
  int32_t zorp_df_##t##interpolate(DFTask* task, int64_t type, int64_t nsite, const T* site, int64_t sitehint,   \
                                   int64_t ndorder, const int32_t* dorder, T* r, int64_t rhint, void* cell) {     \
    return zorp_df_##t##interpolate_ex(task, type, nsite, site, sitehint, ndorder, dorder, nullptr, r, rhint,     \
                                       cell, nullptr, nullptr);                                                   \
  }                                                                                                               \
  int32_t zorp_df_##t##integrate_ex(DFTask* task, int64_t nlim, const T* llim, int64_t llimhint, const T* rlim,   \
                                    int64_t rlimhint, const T* ldatahint, const T* rdatahint, T* r, int64_t rhint, \
                                    const ZorpDf##t##IntegCallbacks* cb) {                                        \
    const Kernel* k;                                                                                              \
    if (const int32_t status = open_partition<T>(&k, task); status != 0) return status;                          \
    const ZorpDf##t##IntegCallbacks none{};                                                                       \
    if (!cb) cb = &none;                                                                                          \
    return k->zorp_df_kernel_##t##DFIntegrate1D(task, 0, nlim, llim, llimhint, rlim, rlimhint, ldatahint,         \
                                                rdatahint, r, rhint, cb->left, cb->left_params, cb->right,        \
                                                cb->right_params, cb->interior, cb->interior_params, cb->search,  \
                                                cb->search_params);                                               \
  }                                                                                                               \
  int32_t zorp_df_##t##integrate(DFTask* task, int64_t nlim, const T* llim, int64_t llimhint, const T* rlim,      \
                                 int64_t rlimhint, T* r, int64_t rhint) {                                         \
    return zorp_df_##t##integrate_ex(task, nlim, llim, llimhint, rlim, rlimhint, nullptr, nullptr, r, rhint,      \
                                     nullptr);                                                                    \
  }
ZORP_API_DF_CALLS(d, double)
ZORP_API_DF_CALLS(s, float)
#undef ZORP_API_DF_CALLS

}  // extern "C"
