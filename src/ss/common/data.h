// The task as compute routines read it: integer items with the task's width, the observation
// matrix in either layout, the components the index array selects, and positions in result
// matrices of every storage word.
#pragma once
#include <cstdint>
#include <utility>

#include "ss/task/task.h"

namespace zorp::ss {

// Observation layouts (the storage word's format bits).
enum Layout : int { kNoLayout = 0, kByComponent = 1, kByObservation = 2 };

// The layout a storage word names: with `exact`, only the two words themselves are accepted;
// otherwise any word with one of the two bits (the component-major bit first).
inline int layout_of(int64_t word, bool exact = false) {
  if (exact) return word == TARR_SS_MATRIX_STORAGE_1 ? kByComponent : word == TARR_SS_MATRIX_STORAGE_2 ? kByObservation : kNoLayout;
  return (word & TARR_SS_MATRIX_STORAGE_1) ? kByComponent : (word & TARR_SS_MATRIX_STORAGE_2) ? kByObservation : kNoLayout;
}

inline bool wide(const TarrSSTask* t) { return t->width_flag != 0; }
// The integer an item points at (p, n, a storage word), read with the task's width.
inline int64_t item(const TarrSSTask* t, const void* p, int64_t i = 0) { return read_int(p, wide(t), i); }
inline int64_t item_at(const TarrSSTask* t, int s, int64_t i = 0) { return read_int(slot(t, s), wide(t), i); }

// p from slot 2: TARR_SS_ERROR_BAD_DIMENSION when missing or below 1.
inline int read_dimension(const TarrSSTask* t, int64_t& p) {
  if (!t->dimension || (p = item(t, t->dimension)) < 1) return TARR_SS_ERROR_BAD_DIMENSION;
  return 0;
}
// n from slot 3: TARR_SS_ERROR_BAD_NOBS when missing or below `least`.
inline int read_nobs(const TarrSSTask* t, int64_t& n, int64_t least = 1) {
  if (!t->nobs || (n = item(t, t->nobs)) < least) return TARR_SS_ERROR_BAD_NOBS;
  return 0;
}
// The observations' layout from slot 8: TARR_SS_ERROR_NULL_STORAGE_ITEM without a word,
// TARR_SS_ERROR_BAD_STORAGE for a word naming neither layout.
inline int read_layout(const TarrSSTask* t, int& layout, bool exact = false) {
  if (!t->storage) return TARR_SS_ERROR_NULL_STORAGE_ITEM;
  layout = layout_of(item(t, t->storage), exact);
  return layout ? 0 : TARR_SS_ERROR_BAD_STORAGE;
}

// Whether component j takes part: no index array, or a nonzero entry.
inline bool selected(const TarrSSTask* t, int64_t j) { return !t->indices || item(t, t->indices, j) != 0; }
// The selected components in order into sel (when not null); returns how many.
inline int64_t select_components(const TarrSSTask* t, int64_t p, int64_t* sel) {
  int64_t q = 0;
  for (int64_t j = 0; j < p; ++j)
    if (selected(t, j)) {
      if (sel) sel[q] = j;
      ++q;
    }
  return q;
}

// The observation matrix: component-major x[j*n + i] or observation-major x[i*p + j].
template <typename T>
struct Observations {
  int64_t p = 0, n = 0;
  int layout = kNoLayout;
  const T* x = nullptr;
  const T* w = nullptr;  // weights, or null
  // p, n (at least one observation), the array and the weights, checked in that order: what
  // the routines read after their own checks.
  int read(const TarrSSTask* t) {
    if (int e = read_dimension(t, p)) return e;
    if (int e = read_nobs(t, n)) return e;
    if (!(x = static_cast<const T*>(t->x))) return TARR_SS_ERROR_NULL_OBSERVATIONS;
    w = static_cast<const T*>(t->weights);
    return 0;
  }
  T at(int64_t i, int64_t j) const { return layout == kByComponent ? x[j * n + i] : x[i * p + j]; }
  // Component j's values as one contiguous run, or null when the layout interleaves them.
  const T* column(int64_t j) const { return layout == kByComponent ? x + j * n : nullptr; }
  // Observations i0 .. i0+len-1 of component j, converted to E, into out.
  template <typename E>
  void copy_column(int64_t j, int64_t i0, int64_t len, E* out) const {
    if (layout == kByComponent) {
      const T* src = x + j * n + i0;
      for (int64_t i = 0; i < len; ++i) out[i] = E(src[i]);
    } else {
      const T* src = x + i0 * p + j;
      for (int64_t i = 0; i < len; ++i) out[i] = E(src[i * p]);
    }
  }
};

// ---- result matrices ------------------------------------------------------------------------
// Storage word of a symmetric k x k result (slots 30, 32, 34, 40, 43, 67, 69): 0 full
// (column-major, both triangles), 0x1 upper triangle packed by columns, 0x2 lower triangle
// packed by columns.
inline int64_t mat_pos(int64_t r, int64_t c, int64_t k, int64_t fmt) {
  if (fmt & TARR_SS_MATRIX_STORAGE_U_PACKED) {
    if (r > c) std::swap(r, c);
    return r + c * (c + 1) / 2;
  }
  if (fmt & TARR_SS_MATRIX_STORAGE_L_PACKED) {
    if (r < c) std::swap(r, c);
    return r + c * (2 * k - c - 1) / 2;
  }
  return r + c * k;
}
// Reals a k x k matrix takes in that storage.
inline int64_t mat_size(int64_t k, int64_t fmt) { return (fmt & 3) ? k * (k + 1) / 2 : k * k; }
// Entry (r, c) of a symmetric matrix; full storage gets (c, r) too.
template <typename T>
inline void put_symmetric(T* m, int64_t k, int64_t fmt, int64_t r, int64_t c, double v) {
  m[mat_pos(r, c, k, fmt)] = T(v);
  if (!(fmt & 3)) m[mat_pos(c, r, k, fmt)] = T(v);
}

}  // namespace zorp::ss
