// Sorting networks in registers: the leaves of the quicksort on contiguous float and double
// arrays. Up to four registers (32 doubles, 64 floats) are loaded with +inf in the lanes past the
// end, sorted by a bitonic network and stored back under the tail's lane mask. A network makes
// the same compares whatever the data, so a leaf costs no mispredicted branch, which is where an
// insertion sort of a few dozen random values spends most of its time.
//
// A step pairs each lane with another and leaves the lesser value in one, the greater in the
// other. The values stay the same multiset even where two compare equal without being the same
// bits (0 and -0): the instruction's min and max both return their second operand then, so each
// pair is always given to them in opposite orders and equal values simply swap. NaNs are never here: the
// caller has moved them past the end of the range.
#pragma once
#include <cstdint>
#include <limits>
#include <type_traits>

#include "simd/vec.h"

namespace zorp::ss::order::network {

template <typename T>
struct Net {
  using V = simd::Vec<T>;
  using M = simd::Mask<T>;
  using I = std::conditional_t<sizeof(T) == 4, int32_t, int64_t>;
  static constexpr int L = simd::kLanes<T>;
  static constexpr int kLog = L == 16 ? 4 : 3;

  struct Index {
    alignas(64) I lane[L];
  };
  // partner[s]: lane i ^ 2^s; reverse: lane L - 1 - i.
  static constexpr auto partner = [] {
    struct {
      Index at[kLog];
    } t{};
    for (int s = 0; s < kLog; ++s)
      for (int i = 0; i < L; ++i) t.at[s].lane[i] = I(i ^ (1 << s));
    return t;
  }();
  static constexpr Index reversed = [] {
    Index t{};
    for (int i = 0; i < L; ++i) t.lane[i] = I(L - 1 - i);
    return t;
  }();
  // The lanes that keep the greater value in the step of distance 2^s within blocks of 2^b
  // lanes that alternate ascending and descending (b = kLog: one ascending block).
  static constexpr M upper(int b, int s) {
    uint32_t m = 0;
    for (int i = 0; i < L; ++i)
      if (((i >> s) & 1) != (b < kLog && ((i >> b) & 1))) m |= 1u << i;
    return M(m);
  }

  static V exchange(V v, int s, M up) {
    const V p = simd::permute(_mm512_load_si512(partner.at[s].lane), v);
    return simd::select(up, simd::max(v, p), simd::min(v, p));
  }
  static V reverse(V v) { return simd::permute(_mm512_load_si512(reversed.lane), v); }
  // Lane by lane the lesser value into a, the greater into b; the operands in opposite orders,
  // so that equal values swap instead of one being copied twice.
  static void order(V& a, V& b) {
    const V lo = simd::min(a, b);
    b = simd::max(b, a);
    a = lo;
  }

  // One register, ascending.
  static void sort1(V& v) {
#pragma GCC unroll 4
    for (int b = 1; b <= kLog; ++b)
#pragma GCC unroll 4
      for (int s = b - 1; s >= 0; --s) v = exchange(v, s, upper(b, s));
  }
  // A bitonic run of r registers made ascending.
  template <int R>
  static void clean(V* r) {
    if constexpr (R == 1) {
#pragma GCC unroll 4
      for (int s = kLog - 1; s >= 0; --s) r[0] = exchange(r[0], s, upper(kLog, s));
    } else {
      for (int i = 0; i < R / 2; ++i) order(r[i], r[i + R / 2]);
      clean<R / 2>(r);
      clean<R / 2>(r + R / 2);
    }
  }
  template <int R>
  static void sort(V* r) {
    if constexpr (R == 1) {
      sort1(r[0]);
    } else {
      sort<R / 2>(r);
      sort<R / 2>(r + R / 2);
      // The second half reversed makes the whole run bitonic.
      for (int i = 0; i < R / 4; ++i) {
        const V t = reverse(r[R / 2 + i]);
        r[R / 2 + i] = reverse(r[R - 1 - i]);
        r[R - 1 - i] = t;
      }
      if constexpr (R == 2) r[1] = reverse(r[1]);
      clean<R>(r);
    }
  }
  template <int R>
  static void sort_run(T* a, int64_t n) {
    V r[R];
    const V inf = simd::splat(std::numeric_limits<T>::infinity());
    for (int i = 0; i < R; ++i) {
      const int64_t left = n - int64_t(i) * L;
      r[i] = left > 0 ? simd::load(simd::first_lanes<T>(uint32_t(left)), a + i * L, inf) : inf;
    }
    sort<R>(r);
    for (int i = 0; i < R; ++i) {
      const int64_t left = n - int64_t(i) * L;
      if (left > 0) simd::store(a + i * L, simd::first_lanes<T>(uint32_t(left)), r[i]);
    }
  }
};

// The most values one leaf sorts.
template <typename T>
inline constexpr int64_t kLeaf = 8 * simd::kLanes<T>;

// Sorts a[0..n) ascending, n <= kLeaf<T>, no NaN among them.
template <typename T>
void sort_leaf(T* a, int64_t n) {
  constexpr int64_t L = simd::kLanes<T>;
  if (n <= 1) return;
  if (n <= L) Net<T>::template sort_run<1>(a, n);
  else if (n <= 2 * L) Net<T>::template sort_run<2>(a, n);
  else if (n <= 4 * L) Net<T>::template sort_run<4>(a, n);
  else Net<T>::template sort_run<8>(a, n);
}

}  // namespace zorp::ss::order::network
