// The data-fitting task record: creation, editing, queries and deletion.  The record only
// points at the caller's arrays; it owns the per-function y and coefficient pointer arrays and
// the cell-bucket table.
#include <cmath>
#include <cstring>

#include "df/common/task_view.h"
#include "host/host.h"
#include "zorp/df.h"

namespace {

using zorp::host::allocate;
using zorp::host::deallocate;

using zorp::df::storage_hint_ok;

// Fills a y pointer array from y by the storage hint.
template <typename T>
void fill_y(void** arr, int64_t yhint, int64_t ny, int64_t nx, const T* y) {
  if (yhint == DF_MATRIX_STORAGE_COLS || yhint == DF_MATRIX_STORAGE_FUNCS_SEP) {
    arr[0] = const_cast<T*>(y);
    return;
  }
  for (int64_t i = 0; i < ny; ++i) arr[i] = const_cast<T*>(y + i * nx);
}

int64_t coeffs_per_function(const DFTask* t) {
  return (t->type == DF_PP_QUADRATIC_KNOTS ? t->nx : t->nx - 1) * t->order;
}

// Requests ny coefficient pointers and fills them from scoeff by the coefficient hint.
template <typename T>
int set_coeff(DFTask* t, T* scoeff) {
  if (t->coeff) deallocate(t->coeff);
  t->coeff = static_cast<void**>(allocate(static_cast<size_t>(t->ny) * sizeof(void*)));
  if (!t->coeff) return DF_ERROR_MEM_FAILURE;
  if (t->coeff_hint & 0x80) {
    std::memset(t->coeff, 0, static_cast<size_t>(t->ny) * sizeof(void*));
    t->coeff[0] = scoeff;
  } else {
    const int64_t nc = coeffs_per_function(t);
    for (int64_t i = 0; i < t->ny; ++i) t->coeff[i] = scoeff + i * nc;
  }
  return DF_STATUS_OK;
}

// Room of the y pointer array for a shape: one pointer for storage by columns, ny otherwise.
int64_t y_slots(int64_t ny, int64_t yhint) {
  return yhint == DF_MATRIX_STORAGE_COLS ? 1 : (ny > 0 ? ny : 1);
}

template <typename T>
int set_y(DFTask* t, const T* y) {
  if (t->y) deallocate(t->y);
  const int64_t slots = y_slots(t->ny, t->yhint);
  t->y = static_cast<void**>(allocate(static_cast<size_t>(slots) * sizeof(void*)));
  if (!t->y) return DF_ERROR_MEM_FAILURE;
  std::memset(t->y, 0, static_cast<size_t>(slots) * sizeof(void*));
  fill_y(t->y, t->yhint, t->ny, t->nx, y);
  return DF_STATUS_OK;
}

// The pointer arrays always have the room the current ny and yhint call for (y: y_slots;
// coefficients: ny), so that construction reading pointer f < ny, and EditIdxPtr or
// QueryIdxPtr of index f, stay inside them.  An edit of ny or yhint therefore resizes them: the
// pointers that still fit are kept and the new ones are empty, so construction reports
// DF_ERROR_BAD_Y (or DF_ERROR_BAD_SCOEFF) until the caller sets them with EditPtr or
// EditIdxPtr.  New pointers are never derived from the old ones: the caller's arrays were
// sized for the old shape.  Both arrays are requested before anything changes, so a failed
// request leaves the task as it was.
void** resized(void** arr, int64_t from, int64_t to, bool& failed) {
  if (!arr || from == to) return arr;
  void** a = static_cast<void**>(allocate(static_cast<size_t>(to) * sizeof(void*)));
  if (!a) {
    failed = true;
    return arr;
  }
  std::memset(a, 0, static_cast<size_t>(to) * sizeof(void*));
  std::memcpy(a, arr, static_cast<size_t>(from < to ? from : to) * sizeof(void*));
  return a;
}

int reshape(DFTask* t, int64_t ny, int64_t yhint) {
  bool failed = false;
  void** y = resized(t->y, y_slots(t->ny, t->yhint), y_slots(ny, yhint), failed);
  void** coeff = resized(t->coeff, t->ny, ny, failed);
  if (failed) {
    if (y != t->y) deallocate(y);
    if (coeff != t->coeff) deallocate(coeff);
    return DF_ERROR_MEM_FAILURE;
  }
  if (y != t->y) deallocate(t->y);
  if (coeff != t->coeff) deallocate(t->coeff);
  t->y = y;
  t->coeff = coeff;
  t->ny = ny;
  t->yhint = yhint;
  return DF_STATUS_OK;
}

// The bucket table: 2m+4 entries; pair k brackets bucket k of m equal buckets over
// [x[0], x[nx-1]].  A partition that is not ascending gets no table at all.
template <typename T>
int build_buckets(DFTask* t) {
  if (t->buckets) deallocate(t->buckets);
  t->buckets = nullptr;
  t->nbuckets = 0;
  const T* x = static_cast<const T*>(t->x);
  const int64_t nx = t->nx;
  if (!x || nx < 2) return DF_STATUS_OK;
  if (!(x[nx - 1] > x[0]) || !std::isfinite(x[nx - 1] - x[0])) return DF_STATUS_OK;
  for (int64_t i = 1; i < nx; ++i)
    if (!(x[i] >= x[i - 1])) return DF_STATUS_OK;
  int64_t m = nx / 16;
  if (m < 17) m = 16;
  if (m > 1024) m = 1024;
  int64_t* b = static_cast<int64_t*>(allocate(static_cast<size_t>(16 * m + 32)));
  if (!b) return DF_ERROR_MEM_FAILURE;
  const T scale = static_cast<T>(m) / (x[nx - 1] - x[0]);
  for (int64_t i = 0; i < 2 * m + 4; ++i) b[i] = -1;
  b[0] = 0;
  for (int64_t i = 1; i < nx; ++i) {
    int64_t k = static_cast<int64_t>((x[i] - x[0]) * scale);
    // Rounding of the product can push the last point (or its neighbours) one bucket past m.
    if (k > m) k = m;
    if (k != 0) {
      if (b[2 * k - 1] == -1) b[2 * k - 1] = i;
      b[2 * k + 2] = i;  // k <= m, so at most entry 2m+2 of the 2m+4
    }
  }
  b[2 * m - 1] = nx - 1;
  for (int64_t j = 1; j < m; ++j) {
    if (b[2 * j] == -1) b[2 * j] = b[2 * j - 2];
    if (b[2 * m - 1 - 2 * j] == -1) b[2 * m - 1 - 2 * j] = b[2 * m + 1 - 2 * j];
  }
  b[2 * m] = b[2 * m - 2];
  b[2 * m + 1] = b[2 * m - 1];
  t->buckets = b;
  t->nbuckets = m;
  if constexpr (sizeof(T) == 8) t->bucket_scale.d = scale;
  else t->bucket_scale.s = scale;
  return DF_STATUS_OK;
}

template <typename T>
int new_task(DFTask** handle, int64_t nx, const T* x, int64_t xhint, int64_t ny, const T* y, int64_t yhint,
             uint32_t width, uint32_t precision) {
  if (nx < 2) return DF_ERROR_BAD_NX;
  if (!x) return DF_ERROR_BAD_X;
  if (xhint > 4 || xhint == 3 || xhint < 0) return DF_ERROR_BAD_X_HINT;
  // A negative ny is as inconsistent with a given y as 0 is; refused before anything is allocated.
  if (ny <= 0 && y) return DF_ERROR_BAD_NY;
  if (ny != 0 && !y) return DF_ERROR_BAD_Y;
  if (!storage_hint_ok(yhint)) return DF_ERROR_BAD_Y_HINT;
  if (!handle) return DF_ERROR_NULL_TASK;
  DFTask* t = static_cast<DFTask*>(allocate(sizeof(DFTask)));
  *handle = t;
  if (!t) return DF_ERROR_MEM_FAILURE;
  std::memset(t, 0, sizeof(DFTask));
  t->nx = nx;
  t->x = const_cast<T*>(x);
  t->xhint = xhint;
  t->ny = ny;
  t->yhint = yhint;
  t->index_width = width;
  t->kind = 4;
  t->precision = precision;
  t->dimension = 1;
  if (y) {
    const int rc = set_y(t, y);
    if (rc) return rc;
  }
  if (xhint == DF_UNIFORM_PARTITION) return DF_STATUS_OK;
  return build_buckets<T>(t);
}

int rebuild_buckets(DFTask* t) {
  return t->precision ? build_buckets<double>(t) : build_buckets<float>(t);
}

template <typename T>
int edit_ptr(DFTask* t, int64_t attr, const T* p) {
  if (!t) return DF_ERROR_NULL_TASK;
  if (t->dimension != 1) return DF_STATUS_OK;
  switch (attr) {
    case DF_ATTR_X:
      if (!p) return DF_ERROR_BAD_X;
      t->x = const_cast<T*>(p);
      return DF_STATUS_OK;
    case DF_ATTR_Y:
      if (!p) return DF_ERROR_BAD_Y;
      return set_y(t, p);
    case DF_ATTR_IC:
      if (!p) return DF_ERROR_BAD_IC;
      t->ic = const_cast<T*>(p);
      return DF_STATUS_OK;
    case DF_ATTR_BC:
      if (!p) return DF_ERROR_BAD_BC;
      t->bc = const_cast<T*>(p);
      return DF_STATUS_OK;
    case DF_ATTR_SCOEFF:
      if (!p) return DF_ERROR_BAD_SCOEFF;
      if (t->ny <= 0) return DF_ERROR_BAD_NY;
      return set_coeff(t, const_cast<T*>(p));
    default:
      return DF_ERROR_BAD_ATTRIBUTE;
  }
}

int edit_idx_ptr(DFTask* t, int64_t attr, int64_t idx, void* p) {
  if (!t) return DF_ERROR_NULL_TASK;
  if (t->dimension != 1) return DF_STATUS_OK;
  if (attr == DF_ATTR_SCOEFF) {
    if (idx < 0 || idx >= t->ny) return DF_ERROR_BAD_INDEX;
    if (!p) return DF_ERROR_BAD_SCOEFF;
    if (!t->coeff) return DF_ERROR_BAD_SCOEFF;  // no array to write into yet
    t->coeff[idx] = p;
    return DF_STATUS_OK;
  }
  if (attr == DF_ATTR_Y) {
    if (t->yhint == DF_MATRIX_STORAGE_COLS) return DF_ERROR_BAD_Y_HINT;
    if (idx < 0 || idx >= t->ny) return DF_ERROR_BAD_INDEX;
    if (!p) return DF_ERROR_BAD_Y;
    if (!t->y) return DF_ERROR_BAD_Y;
    t->y[idx] = p;
    return DF_STATUS_OK;
  }
  return DF_ERROR_BAD_ATTRIBUTE;
}

int query_idx_ptr(DFTask* t, int64_t attr, int64_t idx, void** out) {
  if (!t) return DF_ERROR_NULL_TASK;
  if (t->dimension != 1) return DF_STATUS_OK;
  if (!out) return DF_ERROR_NULL_PTR;
  if (idx < 0 || idx >= t->ny) return DF_ERROR_BAD_INDEX;
  if (attr == DF_ATTR_SCOEFF) {
    *out = t->coeff ? t->coeff[idx] : nullptr;
    return DF_STATUS_OK;
  }
  if (attr == DF_ATTR_Y) {
    if (t->yhint == DF_MATRIX_STORAGE_COLS) return DF_ERROR_BAD_Y_HINT;
    *out = t->y ? t->y[idx] : nullptr;
    return DF_STATUS_OK;
  }
  return DF_ERROR_BAD_ATTRIBUTE;
}

int query_ptr(DFTask* t, int64_t attr, void** out) {
  if (!t) return DF_ERROR_NULL_TASK;
  if (t->dimension != 1) return DF_STATUS_OK;
  if (!out) return DF_ERROR_NULL_PTR;
  switch (attr) {
    case DF_ATTR_X: *out = t->x; return DF_STATUS_OK;
    case DF_ATTR_Y: *out = t->y ? t->y[0] : nullptr; return DF_STATUS_OK;
    case DF_ATTR_IC: *out = t->ic; return DF_STATUS_OK;
    case DF_ATTR_BC: *out = t->bc; return DF_STATUS_OK;
    case DF_ATTR_SCOEFF: *out = t->coeff ? t->coeff[0] : nullptr; return DF_STATUS_OK;
    default: return DF_ERROR_BAD_ATTRIBUTE;
  }
}

template <typename T>
int edit_pp(DFTask* t, int64_t order, int64_t type, int64_t bc_type, const T* bc, int64_t ic_type, const T* ic,
            T* scoeff, int64_t coeff_hint) {
  if (!t) return DF_ERROR_NULL_TASK;
  if (t->dimension != 1) return DF_STATUS_OK;
  if (order < 0) return DF_ERROR_BAD_SPLINE_ORDER;
  if (type < 0) return DF_ERROR_BAD_SPLINE_TYPE;
  t->order = order;
  t->type = type;
  if (!bc && bc_type >= 3 && bc_type != DF_BC_PERIODIC) return DF_ERROR_BAD_BC;
  t->bc_type = bc_type;
  t->bc = const_cast<T*>(bc);
  if (ic_type != 0 && !ic) return DF_ERROR_BAD_IC;
  if (ic_type == 0 && ic) return DF_ERROR_BAD_IC_TYPE;
  t->ic_type = ic_type;
  t->ic = const_cast<T*>(ic);
  if (scoeff) {
    if (t->ny <= 0) return DF_ERROR_BAD_NY;
    const int64_t saved = t->coeff_hint;
    t->coeff_hint = coeff_hint;  // the fill follows the new hint
    const int rc = set_coeff(t, scoeff);
    if (rc) {
      t->coeff_hint = saved;
      return rc;
    }
  }
  t->coeff_hint = coeff_hint;
  return DF_STATUS_OK;
}

}  // namespace

extern "C" {

ZORP_API int zorp_df_kernel_dNewTask1D(DFTask** task, int64_t nx, const double* x, int64_t xhint, int64_t ny,
                                       const double* y, int64_t yhint, uint32_t index_width) {
  return new_task(task, nx, x, xhint, ny, y, yhint, index_width, 1);
}
ZORP_API int zorp_df_kernel_sNewTask1D(DFTask** task, int64_t nx, const float* x, int64_t xhint, int64_t ny,
                                       const float* y, int64_t yhint, uint32_t index_width) {
  return new_task(task, nx, x, xhint, ny, y, yhint, index_width, 0);
}

ZORP_API int zorp_df_kernel_DeleteTask(DFTask** handle) {
  if (!handle || !*handle) return DF_ERROR_NULL_TASK;
  DFTask* t = *handle;
  if (t->y) deallocate(t->y);
  if (t->coeff) deallocate(t->coeff);
  if (t->buckets) deallocate(t->buckets);
  deallocate(t);
  *handle = nullptr;
  return DF_STATUS_OK;
}

ZORP_API int zorp_df_kernel_iEditVal(DFTask* t, int64_t attr, int64_t v) {
  if (!t) return DF_ERROR_NULL_TASK;
  if (t->dimension != 1) return DF_STATUS_OK;
  switch (attr) {
    case DF_ATTR_NX:
      if (v < 2) return DF_ERROR_BAD_NX;
      t->nx = v;
      return DF_STATUS_OK;
    case DF_ATTR_XHINT:
      if (v != 0 && v != 1 && v != 2 && v != 4) return DF_ERROR_BAD_X_HINT;
      t->xhint = v;
      return v == DF_NON_UNIFORM_PARTITION ? rebuild_buckets(t) : DF_STATUS_OK;
    case DF_ATTR_NY:
      if (v < 1) return DF_ERROR_BAD_NY;
      return reshape(t, v, t->yhint);
    case DF_ATTR_YHINT:
      if (!storage_hint_ok(v)) return DF_ERROR_BAD_Y_HINT;
      return reshape(t, t->ny, v);
    case DF_ATTR_SPLINE_ORDER:
      if (v < 0) return DF_ERROR_BAD_SPLINE_ORDER;
      t->order = v;
      return DF_STATUS_OK;
    case DF_ATTR_SPLINE_TYPE:
      if (!((v >= 0 && v <= 5) || v == 9)) return DF_ERROR_BAD_SPLINE_TYPE;
      t->type = v;
      return DF_STATUS_OK;
    case DF_ATTR_IC_TYPE:
      if (!(v == 0 || v == 1 || v == 2 || (v & 8))) return DF_ERROR_BAD_IC_TYPE;
      t->ic_type = v;
      return DF_STATUS_OK;
    case DF_ATTR_BC_TYPE:
      if (v < 0) return DF_ERROR_BAD_BC_TYPE;
      t->bc_type = v;
      return DF_STATUS_OK;
    case DF_ATTR_SCOEFF_HINT:
      if (!storage_hint_ok(v)) return DF_ERROR_BAD_SCOEFF_HINT;
      t->coeff_hint = v;
      return DF_STATUS_OK;
    case DF_ATTR_AUX_FLAG:
      if (static_cast<uint64_t>(v) > 1) return DF_ERROR_BAD_FLAG;
      t->aux_flag = v;
      return DF_STATUS_OK;
    default:
      return DF_ERROR_BAD_ATTRIBUTE;
  }
}

ZORP_API int zorp_df_kernel_iQueryVal(DFTask* t, int64_t attr, void* out) {
  if (!t) return DF_ERROR_NULL_TASK;
  if (t->dimension != 1) return DF_STATUS_OK;
  if (!out) return DF_ERROR_NULL_PTR;
  int64_t v;
  switch (attr) {
    case DF_ATTR_NX: v = t->nx; break;
    case DF_ATTR_XHINT: v = t->xhint; break;
    case DF_ATTR_NY: v = t->ny; break;
    case DF_ATTR_YHINT: v = t->yhint; break;
    case DF_ATTR_SPLINE_ORDER: v = t->order; break;
    case DF_ATTR_SPLINE_TYPE: v = t->type; break;
    case DF_ATTR_IC_TYPE: v = t->ic_type; break;
    case DF_ATTR_BC_TYPE: v = t->bc_type; break;
    case DF_ATTR_SCOEFF_HINT: v = t->coeff_hint; break;
    case DF_ATTR_AUX_FLAG: v = t->aux_flag; break;
    default: return DF_ERROR_BAD_ATTRIBUTE;
  }
  if (t->index_width) *static_cast<int64_t*>(out) = v;
  else *static_cast<int32_t*>(out) = static_cast<int32_t>(v);
  return DF_STATUS_OK;
}

ZORP_API int zorp_df_kernel_dEditPtr(DFTask* t, int64_t a, const double* p) { return edit_ptr(t, a, p); }
ZORP_API int zorp_df_kernel_sEditPtr(DFTask* t, int64_t a, const float* p) { return edit_ptr(t, a, p); }
ZORP_API int zorp_df_kernel_dQueryPtr(DFTask* t, int64_t a, void** o) { return query_ptr(t, a, o); }
ZORP_API int zorp_df_kernel_sQueryPtr(DFTask* t, int64_t a, void** o) { return query_ptr(t, a, o); }
ZORP_API int zorp_df_kernel_dEditIdxPtr(DFTask* t, int64_t a, int64_t i, const double* p) {
  return edit_idx_ptr(t, a, i, const_cast<double*>(p));
}
ZORP_API int zorp_df_kernel_sEditIdxPtr(DFTask* t, int64_t a, int64_t i, const float* p) {
  return edit_idx_ptr(t, a, i, const_cast<float*>(p));
}
ZORP_API int zorp_df_kernel_dQueryIdxPtr(DFTask* t, int64_t a, int64_t i, void** o) {
  return query_idx_ptr(t, a, i, o);
}
ZORP_API int zorp_df_kernel_sQueryIdxPtr(DFTask* t, int64_t a, int64_t i, void** o) {
  return query_idx_ptr(t, a, i, o);
}
ZORP_API int zorp_df_kernel_dEditPPSpline1D(DFTask* t, int64_t order, int64_t type, int64_t bct, const double* bc,
                                            int64_t ict, const double* ic, double* sc, int64_t ch) {
  return edit_pp(t, order, type, bct, bc, ict, ic, sc, ch);
}
ZORP_API int zorp_df_kernel_sEditPPSpline1D(DFTask* t, int64_t order, int64_t type, int64_t bct, const float* bc,
                                            int64_t ict, const float* ic, float* sc, int64_t ch) {
  return edit_pp(t, order, type, bct, bc, ict, ic, sc, ch);
}

}  // extern "C"
