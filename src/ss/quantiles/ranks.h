// Quantiles of given orders, and the values of the ranks they need.
//
// The quantile of order q of n values is x(j) + f (x(k) - x(j)) with pos = (n - 1) q,
// j = trunc(pos), f = pos - j, k = j + 1 (at most n - 1), x(i) the i-th smallest value (NaNs
// last).  It is formed in double, with one fused multiply-add, whatever the precision of the
// data, and f = 0 gives x(j) itself: an exact rank stays exact next to an infinite neighbour
// (inf times 0 would be NaN).  Every path (selection, full sort, streaming summaries) goes
// through `interpolate`, so they agree bit for bit where their ranks agree.
//
// find_ranks gives the values of several ranks of a long run of values without reordering it
// (see its comment); select_ranks (order.h) on a copy is the exact fallback.
#pragma once
#include <cmath>
#include <cstdint>

#include "simd/vec.h"
#include "ss/quantiles/order.h"

namespace zorp::ss::quantile {

struct Position {
  int64_t j, k;
  double f;
};
inline Position position(double q, int64_t n) {
  const double pos = double(n - 1) * q;
  int64_t j = int64_t(pos);
  if (j > n - 1) j = n - 1;
  return {j, j < n - 1 ? j + 1 : n - 1, pos - double(j)};
}
inline double interpolate(double f, double xj, double xk) { return f == 0 ? xj : std::fma(f, xk - xj, xj); }

// Orders are reals in [0, 1] (a NaN is not).
template <typename T>
inline bool orders_valid(const T* orders, int64_t count) {
  for (int64_t i = 0; i < count; ++i)
    if (!(orders[i] >= 0 && orders[i] <= 1)) return false;
  return true;
}

// ---- the ranks a set of orders needs --------------------------------------------------------
// Ranks j and k of every order, ascending and distinct, into r (room for 2 count); returns how
// many.  `rank_of` then finds a rank's place in r.
inline int64_t ranks_of(const Position* pos, int64_t count, int64_t* r) {
  int64_t m = 0;
  for (int64_t i = 0; i < count; ++i) r[m++] = pos[i].j, r[m++] = pos[i].k;
  order::sort_values(r, m);
  int64_t u = 0;
  for (int64_t i = 0; i < m; ++i)
    if (u == 0 || r[i] != r[u - 1]) r[u++] = r[i];
  return u;
}
inline int64_t rank_of(const int64_t* r, int64_t m, int64_t rank) {
  int64_t lo = 0, hi = m;
  while (hi - lo > 1) {
    const int64_t mid = (lo + hi) / 2;
    (r[mid] <= rank ? lo : hi) = mid;
  }
  return lo;
}

// ---- ranks by brackets ------------------------------------------------------------------------
// The values of m ascending ranks of v[0..n), v unchanged.  A sample of s values at
// pseudo-random positions (a fixed-seed generator: the same call gives the same result), sorted,
// gives each rank a bracket [lo, hi] of sample values that holds the rank's value unless the
// sample is off by more than four standard deviations of a binomial count (plus four); brackets
// that overlap join.  One pass over v counts, per bracket, the values below lo and appends those
// within [lo, hi] to the bracket's buffer (a register at a time: two compares, a compress and a
// store), NaNs falling into neither.  A rank then lies in its bracket when `below <= rank <
// below + count`, and is selected within the buffer.  The pass reads v once, where selecting on
// a copy would write it and partition it several times.
struct Bracket {
  int64_t first_rank, last_rank;  // indices into the rank list
  int64_t lo_pos, hi_pos;         // sample positions (-1 and s for open ends)
  int64_t below, count, cap;
  int64_t offset;                 // of its buffer in the bracket space
};

// Sample size for n values (the bracket machinery pays from 2^16 values on).
inline constexpr int64_t kBracketMinimum = int64_t(1) << 16;
inline int64_t sample_size(int64_t n) {
  int64_t s = int64_t(8 * std::sqrt(double(n)));
  return s < 4096 ? 4096 : s > 65536 ? 65536 : s;
}

// One pass over v[0..n) for NB brackets: counts below each and copies of the values within.
template <int NB, typename T>
void sweep(const T* v, int64_t n, const T* sample, int64_t s, T* space, Bracket* br) {
  using V = simd::Vec<T>;
  using M = simd::Mask<T>;
  constexpr int L = simd::kLanes<T>;
  const T inf = T(INFINITY);
  V lo[NB], hi[NB];
  int64_t below[NB], count[NB], last[NB];
  T* buf[NB];
  for (int b = 0; b < NB; ++b) {
    lo[b] = simd::splat(br[b].lo_pos < 0 ? -inf : sample[br[b].lo_pos]);
    hi[b] = simd::splat(br[b].hi_pos >= s ? inf : sample[br[b].hi_pos]);
    below[b] = count[b] = 0;
    last[b] = br[b].cap - L;
    buf[b] = space + br[b].offset;
  }
  auto one = [&](V x) {
#pragma GCC unroll 8
    for (int b = 0; b < NB; ++b) {
      const M within = M(simd::less_equal(lo[b], x) & simd::less_equal(x, hi[b]));
      below[b] += simd::count_lanes(simd::less(x, lo[b]));
      // Stores past the buffer's last register go to its last register (the count still grows,
      // and the bracket is then refused).
      simd::store(buf[b] + (count[b] < last[b] ? count[b] : last[b]), simd::compress(within, x));
      count[b] += simd::count_lanes(within);
    }
  };
  int64_t i = 0;
  for (; i + L <= n; i += L) one(simd::load(v + i));
  if (i < n) one(simd::load(simd::first_lanes<T>(uint32_t(n - i)), v + i, simd::splat(T(NAN))));
  for (int b = 0; b < NB; ++b) br[b].below = below[b], br[b].count = count[b];
}

// Values of bracket space find_ranks takes for n values and m ranks: n (plus slack), which is
// also the room a copy of the values needs should the brackets miss.  Brackets that ask for
// more than there is get less (they ask for twice their expected count; five orders ask for
// about half of n).
inline int64_t bracket_space(int64_t n, int64_t m) { return n + 128 * m; }
// More ranks than this are cheaper selected on a copy.
inline constexpr int64_t kBracketRanks = 32;

// Returns false when some rank was not found (the caller then selects them all on a copy).
// `space` holds bracket_space(n, m) values (the bracket buffers), `sample` s values, `br` m
// brackets; out[i] receives the value of rank r[i].
template <typename T>
bool find_ranks(const T* v, int64_t n, const int64_t* r, int64_t m, T* out, T* sample, int64_t s, T* space,
                Bracket* br) {
  // Sample at pseudo-random positions (xorshift64*), then sorted.
  uint64_t g = 0x9E3779B97F4A7C15ull;
  for (int64_t i = 0; i < s; ++i) {
    g ^= g >> 12, g ^= g << 25, g ^= g >> 27;
    const uint64_t pos = uint64_t((unsigned __int128)(g * 0x2545F4914F6CDD1Dull) * uint64_t(n) >> 64);
    sample[i] = v[pos];
  }
  order::sort_values(sample, s);

  // One bracket per rank, joined while they overlap.
  int64_t nb = 0;
  for (int64_t i = 0; i < m; ++i) {
    const double u = double(r[i]) / double(n - 1 > 0 ? n - 1 : 1);
    const double centre = u * double(s - 1), spread = 4 * std::sqrt(double(s) * u * (1 - u)) + 4;
    const int64_t lo = int64_t(std::floor(centre - spread)), hi = int64_t(std::ceil(centre + spread));
    const int64_t lo_pos = lo < 0 ? -1 : lo, hi_pos = hi > s - 1 ? s : hi;
    if (nb > 0 && lo_pos <= br[nb - 1].hi_pos) {
      br[nb - 1].last_rank = i;
      if (hi_pos > br[nb - 1].hi_pos) br[nb - 1].hi_pos = hi_pos;
    } else {
      br[nb++] = {i, i, lo_pos, hi_pos, 0, 0, 0, 0};
    }
  }
  // Buffers sized at twice the expected count plus slack, scaled down to the space there is
  // when the brackets ask for more (a bracket that overflows only costs the exact fallback);
  // none smaller than two registers.
  constexpr int64_t kFloor = 2 * simd::kLanes<T>;
  int64_t want = 0;
  for (int64_t b = 0; b < nb; ++b) {
    const int64_t width = br[b].hi_pos - br[b].lo_pos + 1;
    br[b].cap = 2 * (width * n / s) + 64;
    want += br[b].cap;
  }
  const int64_t room = bracket_space(n, m) - kFloor * nb;
  for (int64_t b = 0, at = 0; b < nb; ++b) {
    if (want > room) br[b].cap = kFloor + int64_t(double(br[b].cap) * double(room) / double(want));
    br[b].offset = at;
    at += br[b].cap;
  }

  // The pass, eight brackets at most per sweep so that their bounds and counts stay in
  // registers (five orders need five); the tail is loaded with NaN fill, which no comparison
  // counts.
  for (int64_t b0 = 0; b0 < nb; b0 += 8) {
    switch (nb - b0 < 8 ? nb - b0 : 8) {
      case 1: sweep<1>(v, n, sample, s, space, br + b0); break;
      case 2: sweep<2>(v, n, sample, s, space, br + b0); break;
      case 3: sweep<3>(v, n, sample, s, space, br + b0); break;
      case 4: sweep<4>(v, n, sample, s, space, br + b0); break;
      case 5: sweep<5>(v, n, sample, s, space, br + b0); break;
      case 6: sweep<6>(v, n, sample, s, space, br + b0); break;
      case 7: sweep<7>(v, n, sample, s, space, br + b0); break;
      default: sweep<8>(v, n, sample, s, space, br + b0); break;
    }
  }
  constexpr int L = simd::kLanes<T>;

  // Each rank within its bracket's buffer.
  for (int64_t b = 0; b < nb; ++b) {
    const Bracket& k = br[b];
    if (k.count > k.cap - L) return false;
    if (r[k.first_rank] < k.below || r[k.last_rank] >= k.below + k.count) return false;
    int64_t local[2 * 64];
    T* buf = space + k.offset;
    for (int64_t i = k.first_rank; i <= k.last_rank; i += 64) {
      const int64_t e = k.last_rank + 1 - i < 64 ? k.last_rank + 1 : i + 64;
      for (int64_t t = i; t < e; ++t) local[t - i] = r[t] - k.below;
      order::select_ranks(buf, k.count, local, e - i);
      for (int64_t t = i; t < e; ++t) out[t] = buf[local[t - i]];
    }
  }
  return true;
}

}  // namespace zorp::ss::quantile
