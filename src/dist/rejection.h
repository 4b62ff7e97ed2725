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

// The bookkeeping of a squeeze for one round of candidates. A cheap squeeze settles most
// candidates in their own register; the rest are packed, in candidate order, into short arrays for
// the exact test with logarithms, decided there a register at a time, and the decisions are spread
// back onto the candidates' lanes here, which keeps the accepted values in candidate order.
template <typename T>
class Squeeze {
  static constexpr int L = kLanes<T>;

 public:
  // Candidate register j: `squeeze` accepted outright, `rest` left for the exact test. Returns
  // where rest's lanes go in the packed arrays (in lane order from there).
  int32_t sort(int32_t j, simd::Mask<T> squeeze, simd::Mask<T> rest) {
    squeezed_[j / L] = squeeze;
    unsettled_[j / L] = rest;
    const int32_t at = packed_;
    packed_ += simd::count_lanes(rest);
    return at;
  }
  int32_t packed() const { return packed_; }
  // The exact test's verdict on packed register k.
  void decide(int32_t k, simd::Mask<T> accepted) { decided_[k / L] = accepted; }
  // Candidate register j's accepted lanes; the registers are asked for in order.
  simd::Mask<T> accepted(int32_t j) {
    simd::Mask<T> accept = squeezed_[j / L];
    if (const simd::Mask<T> rest = unsettled_[j / L]) {
      const int k = simd::count_lanes(rest);
      const uint32_t word = decided_[cursor_ / L] | (uint32_t{decided_[cursor_ / L + 1]} << L);
      accept |= simd::deposit((word >> (cursor_ % L)) & ((1u << k) - 1u), rest);
      cursor_ += k;
    }
    return accept;
  }

 private:
  simd::Mask<T> squeezed_[kCandidates / L], unsettled_[kCandidates / L];
  simd::Mask<T> decided_[kCandidates / L + 1] = {};  // bit i of entry k: packed candidate k L + i
  int32_t packed_ = 0, cursor_ = 0;
};

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
