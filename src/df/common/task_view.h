// What construction, search, interpolation and integration read of a task: the partition
// (every point, or the two ends of a uniform one), the function values by storage class, the
// coefficient blocks, and the convention that maps a cell to the block that serves it.
#pragma once
#include <cstdint>

#include "zorp/df.h"

namespace zorp::df {

// Storage hints of y and of the coefficients: 0, 16, 32 or 128.
inline bool storage_hint_ok(int64_t v) { return v == 0 || v == 16 || v == 32 || v == 128; }

template <typename T>
struct TaskView {
  int64_t n, ny;
  const T* x;
  bool uniform;
  T x0, h;  // h: the step of a uniform partition
  bool by_cols;
  const T* ycols;
  void** y;
  void** coeff;

  T xi(int64_t i) const { return uniform ? x0 + static_cast<T>(i) * h : x[i]; }
  T hi(int64_t i) const { return uniform ? h : x[i + 1] - x[i]; }
  const T* ybase(int64_t f) const { return by_cols ? ycols + f : static_cast<const T*>(y[f]); }
  int64_t ystride() const { return by_cols ? ny : 1; }
  T* cf(int64_t f) const { return static_cast<T*>(coeff[f]); }
};

// Fills the view of a task whose x and pointer arrays the caller has checked (y and coeff
// may be null for a routine that does not read them).
template <typename T>
void view_task(const DFTask* t, TaskView<T>& v) {
  v.n = t->nx;
  v.ny = t->ny;
  v.x = static_cast<const T*>(t->x);
  v.uniform = (t->xhint & DF_UNIFORM_PARTITION) != 0;
  v.x0 = v.x[0];
  v.h = v.uniform ? (v.x[1] - v.x[0]) / static_cast<T>(v.n - 1) : T(0);
  v.by_cols = t->yhint == DF_MATRIX_STORAGE_COLS;
  v.ycols = t->y ? static_cast<const T*>(t->y[0]) : nullptr;
  v.y = t->y;
  v.coeff = t->coeff;
}

// The coefficient block that serves a site of cell k (0..nx): the cell's own block inside the
// partition, the first block left of it and the last one right of it (and at x[nx-1]), so
// that the end polynomials continue beyond the partition.
inline int64_t block_of_cell(int64_t k, int64_t nx) { return k < 1 ? 0 : k > nx - 1 ? nx - 2 : k - 1; }

// Knot j (0..n) of the knot-based quadratic: the ends of the partition, and inside them the
// midpoints of the cells (no ic), n-1 knots spaced evenly from ic[0] to ic[1] (ic type with
// DF_IC_Q_KNOT_RANGE), or ic[j-1].
template <typename T>
T quadratic_knot(const TaskView<T>& v, int64_t ic_type, const T* ic, int64_t j) {
  const int64_t n = v.n;
  if (j == 0) return v.xi(0);
  if (j == n) return v.xi(n - 1);
  if (!ic) return (v.xi(j - 1) + v.xi(j)) / 2;
  if (ic_type & DF_IC_Q_KNOT_RANGE) {
    const T a = ic[0], b = ic[1];
    return n == 2 ? a : a + static_cast<T>(j - 1) * (b - a) / static_cast<T>(n - 2);
  }
  return ic[j - 1];
}

}  // namespace zorp::df
