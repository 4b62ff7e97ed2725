// Sorting and selection of one component's values, for every order-based routine and the
// exported __tarr?QSort, __tarr?QSortSelect and __tarr?QSortStep.
//
// The order is that of the values with NaNs last: NaNs are first swapped to the end of the
// range (one pass), after which every comparison is a plain < on the rest.  The algorithms work
// on any view with v[i] giving the i-th element by reference (a pointer, or Strided for values
// at a stride), in place:
//   sort_values    introsort: quicksort on the median of three (of three medians of three above
//                  128 values), heapsort once the depth passes 2 log2 n, so O(n log n) on any
//                  input; ranges of up to four registers of contiguous float and double values
//                  are finished by a sorting network (network.h), other views by insertion
//                  sort below 24;
//   select_ranks   the values of several ranks at once: one partition, then only into the sides
//                  that still hold wanted ranks (k ranks cost O(n log k)), with the same depth
//                  limit and small-range finish.
// A partition cuts a range around a pivot value into values below it, a block of values equal
// to it (already in place) and values above it.  Contiguous float and double arrays are cut by
// an in-place AVX-512 partition (`partition_by`: a register at a time, compressed into the free
// space at either end), several times faster than a branching one on random data; when nothing
// lies below the pivot (it is the range's minimum) a second cut takes the values equal to it
// out, so that runs of duplicates are settled instead of cut again and again.  Other views (a
// stride) are cut by Hoare's partition on a pivot moved to the front, which splits runs of equal
// values evenly.
#pragma once
#include <cstdint>
#include <type_traits>
#include <utility>

#include "simd/vec.h"
#include "ss/quantiles/network.h"

namespace zorp::ss::order {

template <typename T>
struct Strided {
  T* p;
  int64_t step;
  T& operator[](int64_t i) const { return p[i * step]; }
};

// Swaps the NaNs of v[0..n) to its end; returns how many values are not NaN.
template <typename V>
int64_t nan_last(V v, int64_t n) {
  int64_t i = 0, j = n;  // [0, i): not NaN; [j, n): NaN
  for (;;) {
    while (i < j && v[i] == v[i]) ++i;
    while (i < j && v[j - 1] != v[j - 1]) --j;
    if (i >= j) return i;
    std::swap(v[i], v[j - 1]);  // v[i] is NaN, v[j-1] is not, so i < j-1
    ++i;
    --j;
  }
}

namespace detail {

constexpr int64_t kSmall = 24;

inline int depth_limit(int64_t n) {
  int d = 0;
  for (; n > 1; n >>= 1) d += 2;
  return d;
}

template <typename V>
void insertion(V v, int64_t lo, int64_t hi) {
  for (int64_t i = lo + 1; i < hi; ++i) {
    auto x = v[i];
    int64_t j = i;
    for (; j > lo && x < v[j - 1]; --j) v[j] = v[j - 1];
    v[j] = x;
  }
}

template <typename V>
void sift_down(V v, int64_t lo, int64_t root, int64_t size) {
  auto x = v[lo + root];
  for (;;) {
    int64_t child = 2 * root + 1;
    if (child >= size) break;
    if (child + 1 < size && v[lo + child] < v[lo + child + 1]) ++child;
    if (!(x < v[lo + child])) break;
    v[lo + root] = v[lo + child];
    root = child;
  }
  v[lo + root] = x;
}
template <typename V>
void heap_sort(V v, int64_t lo, int64_t hi) {
  const int64_t size = hi - lo;
  for (int64_t r = size / 2; r-- > 0;) sift_down(v, lo, r, size);
  for (int64_t end = size - 1; end > 0; --end) {
    std::swap(v[lo], v[lo + end]);
    sift_down(v, lo, 0, end);
  }
}

// Index of the median of v[a], v[b], v[c].
template <typename V>
int64_t median3(V v, int64_t a, int64_t b, int64_t c) {
  if (v[a] < v[b]) return v[b] < v[c] ? b : (v[a] < v[c] ? c : a);
  return v[a] < v[c] ? a : (v[b] < v[c] ? c : b);
}

// Index of the pivot: the median of three, or of three medians of three above 128 values.
template <typename V>
int64_t pivot_index(V v, int64_t lo, int64_t hi) {
  const int64_t n = hi - lo, mid = lo + n / 2;
  if (n <= 128) return median3(v, lo, mid, hi - 1);
  const int64_t s = n / 8;
  return median3(v, median3(v, lo, lo + s, lo + 2 * s), median3(v, mid - s, mid, mid + s),
                 median3(v, hi - 1 - 2 * s, hi - 1 - s, hi - 1));
}

// A cut of [lo, hi): [lo, a) at most the pivot, [a, b) equal to it and in place, [b, hi) at
// least the pivot; at least one value leaves the range of either side.
struct Cut {
  int64_t a, b;
};

// Hoare's partition on the pivot moved to lo: every value of [lo, j] at most the pivot, every
// value of [j+1, hi) at least it, lo <= j < hi-1.
template <typename V>
Cut cut(V v, int64_t lo, int64_t hi) {
  std::swap(v[lo], v[pivot_index(v, lo, hi)]);
  const auto pivot = v[lo];
  int64_t i = lo - 1, j = hi;
  for (;;) {
    do ++i;
    while (v[i] < pivot);
    do --j;
    while (pivot < v[j]);
    if (i >= j) return {j + 1, j + 1};
    std::swap(v[i], v[j]);
  }
}

// Moves the values of a[0..n) that go left (below the pivot, or with OrEqual at most the pivot)
// to the front, in place; returns how many.  The first and the last register are held back,
// which leaves a register of free space at either end; each register read from the side with
// less free space is compressed into its two parts, one stored at the left end of the free
// space, the other at its right end, so nothing unread is overwritten.
template <bool OrEqual, typename T>
int64_t partition_by(T* a, int64_t n, T pivot) {
  using V = simd::Vec<T>;
  using M = simd::Mask<T>;
  constexpr int L = simd::kLanes<T>;
  if (n < 2 * L) {
    int64_t w = 0;
    for (int64_t i = 0; i < n; ++i)
      if (OrEqual ? !(pivot < a[i]) : a[i] < pivot) std::swap(a[w++], a[i]);
    return w;
  }
  const V pv = simd::splat(pivot);
  int64_t rl = L, rr = n - L, wl = 0, wr = n;  // unread [rl, rr); free [wl, rl) and [rr, wr)
  auto place = [&](V x, M valid) {
    const M left = M((OrEqual ? simd::less_equal(x, pv) : simd::less(x, pv)) & valid);
    const int c = simd::count_lanes(left), k = simd::count_lanes(valid) - c;
    simd::store(a + wl, simd::first_lanes<T>(uint32_t(c)), simd::compress(left, x));
    wl += c;
    wr -= k;
    simd::store(a + wr, simd::first_lanes<T>(uint32_t(k)), simd::compress(M(valid & ~left), x));
  };
  const V first = simd::load(a), last = simd::load(a + n - L);
  const M all = simd::all_lanes<T>();
  while (rr - rl >= L) {
    const bool from_left = rl - wl <= wr - rr;
    const int64_t at = from_left ? rl : rr - L;
    rl += from_left ? L : 0;
    rr -= from_left ? 0 : L;
    place(simd::load(a + at), all);
  }
  // What is left unread goes into a register first; then all of [wl, wr) is free.
  const M tail = simd::first_lanes<T>(uint32_t(rr - rl));
  const V rest = simd::load_zero(tail, a + rl);
  place(rest, tail);
  place(first, all);
  place(last, all);
  return wl;
}

template <typename T>
  requires(sizeof(T) == 4 || sizeof(T) == 8) && std::is_floating_point_v<T>
Cut cut(T* v, int64_t lo, int64_t hi) {
  const T pivot = v[pivot_index(v, lo, hi)];
  const int64_t below = partition_by<false>(v + lo, hi - lo, pivot);
  if (below > 0) return {lo + below, lo + below};
  // The pivot is the least value: the values equal to it are in their final place.
  return {lo, lo + partition_by<true>(v + lo, hi - lo, pivot)};
}

// The last step of a sort or selection: ranges this short are sorted whole.
template <typename V>
constexpr int64_t leaf_size(V) {
  return kSmall;
}
template <typename V>
void sort_leaf(V v, int64_t lo, int64_t hi) {
  insertion(v, lo, hi);
}
template <typename T>
  requires(sizeof(T) == 4 || sizeof(T) == 8) && std::is_floating_point_v<T>
constexpr int64_t leaf_size(T*) {
  return network::kLeaf<T>;
}
template <typename T>
  requires(sizeof(T) == 4 || sizeof(T) == 8) && std::is_floating_point_v<T>
void sort_leaf(T* v, int64_t lo, int64_t hi) {
  network::sort_leaf(v + lo, hi - lo);
}

template <typename V>
void sort_range(V v, int64_t lo, int64_t hi, int depth) {
  while (hi - lo > leaf_size(v)) {
    if (depth-- == 0) {
      heap_sort(v, lo, hi);
      return;
    }
    const Cut k = cut(v, lo, hi);
    if (k.a - lo < hi - k.b) {  // the smaller side by recursion, the larger by the loop
      sort_range(v, lo, k.a, depth);
      lo = k.b;
    } else {
      sort_range(v, k.b, hi, depth);
      hi = k.a;
    }
  }
  sort_leaf(v, lo, hi);
}

// Ranks r[0..m), ascending, all within [lo, hi).
template <typename V>
void select_range(V v, int64_t lo, int64_t hi, const int64_t* r, int64_t m, int depth) {
  while (m > 0) {
    if (hi - lo <= leaf_size(v)) {
      sort_leaf(v, lo, hi);
      return;
    }
    if (depth-- == 0) {
      heap_sort(v, lo, hi);
      return;
    }
    const Cut k = cut(v, lo, hi);
    int64_t left = 0, settled = 0;  // ranks below k.a; ranks in the equal block [k.a, k.b)
    while (left < m && r[left] < k.a) ++left;
    while (left + settled < m && r[left + settled] < k.b) ++settled;
    if (left > 0) select_range(v, lo, k.a, r, left, depth);
    r += left + settled;
    m -= left + settled;
    lo = k.b;
  }
}

}  // namespace detail

// Sorts v[0..n) ascending, NaNs last.
template <typename V>
void sort_values(V v, int64_t n) {
  if (n < 2) return;
  const int64_t m = nan_last(v, n);
  detail::sort_range(v, 0, m, detail::depth_limit(m));
}

// Reorders v[0..n) so that v[r] holds the value of rank r (from 0, NaNs last) for each of the
// ascending ranks r[0..m) (each in [0, n)): nothing before v[r] is larger, nothing after smaller.
template <typename V>
void select_ranks(V v, int64_t n, const int64_t* r, int64_t m) {
  if (n < 2 || m == 0) return;
  const int64_t real = nan_last(v, n);
  int64_t below = 0;  // ranks among the real values; the rest fall on NaNs, already in place
  while (below < m && r[below] < real) ++below;
  detail::select_range(v, 0, real, r, below, detail::depth_limit(real));
}

}  // namespace zorp::ss::order
