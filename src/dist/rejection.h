// Rejection on the frame: rounds of at most 512 candidates, each round's accepted values
// appended in candidate order, until n are written. Nothing is written past element n - 1:
// a round that accepts more than are still wanted keeps the first ones.
#pragma once
#include "dist/frame.h"
#include "simd/lanes.h"

namespace zorp::dist {

inline constexpr int32_t kCandidates = 512;

// Writes the lanes of v that m selects, in lane order, to p[0], p[1], ... and nothing past them.
template <typename T>
inline void store_selected(T* p, simd::Mask<T> m, Vec<T> v) {
  simd::store(p, simd::first_lanes<T>(simd::count_lanes(m)), simd::compress(m, v));
}

template <typename T>
class Accepted {
 public:
  Accepted(T* r, int32_t n) : r_(r), n_(n) {}
  // The lanes of v that m selects, in lane order.
  void put(simd::Mask<T> m, Vec<T> v) {
    m = simd::first_selected(m, n_ - count_);
    store_selected(r_ + count_, m, v);
    count_ += simd::count_lanes(m);
  }
  int32_t left() const { return n_ - count_; }

 private:
  T* r_;
  int32_t n_;
  int32_t count_ = 0;
};

// round(m, accepted) draws m candidates and puts the accepted ones; it returns 0 or the
// stream's negative status. `acceptance` is the expected share accepted, which sizes the
// rounds so that the last one rarely falls short.
template <typename T, typename Round>
int32_t by_rejection(int32_t n, T* r, double acceptance, Round&& round) {
  Accepted<T> accepted(r, n);
  while (accepted.left() > 0) {
    const double want = accepted.left() / acceptance + 8;
    const int32_t m = want >= kCandidates ? kCandidates : static_cast<int32_t>(want);
    if (const int32_t st = round(m, accepted); st < 0) return st;
  }
  return TARR_STATUS_OK;
}

// Registers over m candidates: body(j, lanes) for j = 0, L, 2L, ..., lanes the valid ones.
template <typename T, typename Body>
inline void registers(int32_t m, Body&& body) {
  for (int32_t j = 0; j < m; j += kLanes<T>) body(j, simd::first_lanes<T>(m - j));
}

// r[i] := g(work[i k]) combined with g(work[i k + 1]) ... g(work[i k + k - 1]) for i < m: the
// values of one result lie k apart, gathered a register of results at a time.
template <typename T, typename G, typename Combine>
inline void fold_groups(int32_t m, int32_t k, const T* work, T* r, G g, Combine combine) {
  using Ln = simd::Lanes<T, kLanes<T>>;
  const auto offsets = Ln::offsets(k);
  registers<T>(m, [&](int32_t i, simd::Mask<T> lanes) {
    const T* base = work + int64_t{i} * k;
    Vec<T> acc = g(Ln::gather(lanes, base, offsets, simd::splat(T(1))));
    for (int32_t j = 1; j < k; ++j) acc = combine(acc, g(Ln::gather(lanes, base + j, offsets, simd::splat(T(1)))));
    simd::store(r + i, lanes, acc);
  });
}

}  // namespace zorp::dist
