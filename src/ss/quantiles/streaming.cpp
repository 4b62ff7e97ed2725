// Streaming quantiles (_tarr?SSStreamQuantiles): an epsilon-approximate quantile summary per
// component that lives with the task between calls; each call merges its block of observations
// into it and writes the current estimates.
//
// The summary is a hierarchy of compactors (the deterministic scheme of Manku, Rajagopalan and
// Lindsay, in the form Karnin, Lang and Liberty later randomised): level h holds up to k items,
// each standing for 2^h observations.  Level 0 takes the observations; a full level is sorted
// (level 0 by a radix sort of the values' order-preserving integer images; higher levels are
// kept sorted by merging) and compacted: of each pair of neighbours one is kept, alternately
// the first and the second, and the k/2 kept items move up a level, merged into its sorted run.
//
// Why the error stays within epsilon n.  For any value y, a compaction at level h changes the
// summary's weighted count of items <= y by at most 2^h (the pairs below y keep their weight,
// the one pair that straddles y gains or loses one item of weight 2^h).  A compaction at level h
// consumes k items of weight 2^h, that is k 2^h observations' worth, and at most n pass through
// any level, so level h compacts at most n / (k 2^h) times and contributes at most n/k.  Only
// the levels h with k 2^h <= n compact, H <= log2(n/k) + 1 of them, so every weighted count is
// within H n / k of the truth.  An estimate is the item that covers the wanted rank in the
// merged order, which adds less than the weight of one item, 2^H <= 2n/k.  So the rank error is
// below (H + 2) n / k < (66 - log2 k) n / k for any n < 2^63, and k is the least even number with
// k epsilon >= 66 - log2 k (4,870 items for epsilon 0.01, 50,300 for 0.001): the bound holds
// however long the stream grows, with no pass over the data known in advance.  The number of
// levels a stream of n observations needs, 2 + log2(n/k), is what each call allocates up front,
// so merging the block cannot fail halfway.
//
// Estimates: with method bit 0x40 (TARR_SS_METHOD_SQUANTS_OBSERVED) the estimate of order q is
// the item covering rank round((n - 1) q), an observed value; with 0x80 alone it is
// interpolated as the exact quantile is (ranks.h), between the items covering ranks j and j+1.
// Until level 0 first fills (n <= k) the summary holds every observation and the estimates are
// exact.  Weights are not used.  A call with a different dimension or epsilon than the summary
// was built with starts a new stream, as does __tarrSQuantilesFreeBuffers.
#include <cmath>
#include <cstring>
#include <limits>

#include "host/host.h"
#include "simd/vec.h"
#include "ss/common/data.h"
#include "ss/common/steps.h"
#include "ss/quantiles/order.h"
#include "ss/quantiles/ranks.h"

namespace zorp::ss {
namespace {

constexpr int kMaxLevels = 64;

// Keys: the values' bit patterns turned into unsigned integers of the same order (negative
// values' patterns flipped), every NaN made the positive quiet NaN, which sorts last.
template <typename T>
using Key = typename simd::VecTraits<T>::U;
template <typename T>
inline Key<T> key_of(T x) {
  if (x != x) x = std::numeric_limits<T>::quiet_NaN();
  const Key<T> b = simd::bits(x), top = Key<T>(1) << (8 * sizeof(T) - 1);
  return (b & top) ? ~b : b | top;
}
template <typename T>
inline T value_of(Key<T> k) {
  const Key<T> top = Key<T>(1) << (8 * sizeof(T) - 1);
  return simd::from_bits<T>((k & top) ? k ^ top : ~k);
}

// LSD radix sort of n keys in 8-bit digits; digits every key shares are skipped.
template <typename K>
void radix_sort(K* a, K* tmp, int64_t n) {
  constexpr int D = sizeof(K);
  uint32_t hist[D][256];
  std::memset(hist, 0, sizeof hist);
  for (int64_t i = 0; i < n; ++i) {
    const K x = a[i];
    for (int d = 0; d < D; ++d) ++hist[d][(x >> (8 * d)) & 0xFF];
  }
  K* src = a;
  K* dst = tmp;
  for (int d = 0; d < D; ++d) {
    uint32_t* h = hist[d];
    if (h[(a[0] >> (8 * d)) & 0xFF] == uint32_t(n)) continue;
    uint32_t at = 0;
    for (int b = 0; b < 256; ++b) {
      const uint32_t c = h[b];
      h[b] = at;
      at += c;
    }
    for (int64_t i = 0; i < n; ++i) {
      const K x = src[i];
      dst[h[(x >> (8 * d)) & 0xFF]++] = x;
    }
    K* s = src;
    src = dst;
    dst = s;
  }
  if (src != a) std::memcpy(a, src, size_t(n) * sizeof(K));
}

// One component's summary.
struct Summary {
  int64_t n;           // observations summarised
  uint64_t parity;     // bit h: whether level h keeps the second item of each pair next
  int64_t count[kMaxLevels];
  void* items[kMaxLevels];  // level h: k keys, allocated when first needed
};
struct State {  // slot 52
  uint64_t tag;
  int64_t p, k;
  double eps;
  int32_t precision;
  Summary* summary() { return reinterpret_cast<Summary*>(this + 1); }
};
constexpr uint64_t kStateTag = 0x53535155414e5431ull;  // "SSQUANT1"

// The least even k with k eps >= 66 - log2 k (log2 through 1/ln 2), at least 64.
int64_t capacity_for(double eps) {
  double k = 66.0 / eps;
  for (int i = 0; i < 8; ++i) k = (66.0 - std::log(k) * 1.4426950408889634) / eps;
  int64_t ki = int64_t(std::ceil(k));
  ki += ki & 1;
  return ki < 64 ? 64 : ki;
}
// Levels a summary of n observations may reach: 0 to floor(log2(n/k)) + 1.
int levels_for(int64_t n, int64_t k) {
  int h = 1;
  while (h < kMaxLevels && (n >> (h - 1)) >= k) ++h;
  return h;
}

void free_state(TarrSSTask* t) {
  State* s = static_cast<State*>(slot(t, kSlotSQuantState));
  if (!s) return;
  for (int64_t c = 0; c < s->p; ++c)
    for (void* level : s->summary()[c].items)
      if (level) host::deallocate(level);
  host::deallocate(s);
  slots(t)[kSlotSQuantState] = nullptr;
}

template <typename T>
struct Stream : Split {
  using K = Key<T>;
  TarrSSTask* t;
  uint32_t method;
  Observations<T> obs;
  T* out = nullptr;
  const T* orders = nullptr;
  int64_t count = 0, q = 0, k = 0;
  double eps = 0;
  State* state = nullptr;
  int64_t* sel = nullptr;
  // Per thread: 2k keys of scratch, and for the estimates the orders' positions, the ranks they
  // need and the values of those ranks (components may hold different counts, so these are
  // settled per component).
  K** scratch = nullptr;
  quantile::Position** pos = nullptr;
  int64_t** ranks = nullptr;
  T** values = nullptr;

  Stream(TarrSSTask* task, uint64_t, uint32_t me) : t(task), method(me) {}

  int check() {
    if (int e = read_nobs(t, obs.n, 0)) return e;
    if (obs.n > 0) {
      if (!(obs.x = static_cast<const T*>(t->x))) return TARR_SS_ERROR_NULL_OBSERVATIONS;
      if (int e = read_layout(t, obs.layout)) return e;
    }
    if (!(out = static_cast<T*>(slot(t, kSlotSQuantiles)))) return TARR_SS_ERROR_NULL_SQUANTILES;
    if (!(orders = static_cast<const T*>(slot(t, kSlotSQuantOrders)))) return TARR_SS_ERROR_NULL_SQUANT_ORDERS;
    if (!slot(t, kSlotSQuantCount) || (count = item_at(t, kSlotSQuantCount)) < 0) return TARR_SS_ERROR_NULL_SQUANT_COUNT;
    if (!slot(t, kSlotSQuantNParams)) return TARR_SS_ERROR_SQUANT_NPARAMS_MISSING;
    if (item_at(t, kSlotSQuantNParams) != 1) return TARR_SS_ERROR_NULL_SQUANT_NPARAMS;
    if (!quantile::orders_valid(orders, count)) return TARR_SS_ERROR_NULL_SQUANT_COUNT;
    const T* params = static_cast<const T*>(slot(t, kSlotSQuantParams));
    if (!params) return TARR_SS_ERROR_NULL_SQUANT_PARAMS;
    eps = double(params[0]);
    if (!(eps > 0 && eps < 1)) return TARR_SS_ERROR_NULL_SQUANT_PARAMS;  // epsilon must be in (0, 1)
    if (!(method & (TARR_SS_METHOD_SQUANTS_OBSERVED | TARR_SS_METHOD_SQUANTS))) return TARR_SS_ERROR_BAD_METHOD;
    return read_dimension(t, obs.p);
  }

  int plan() {
    q = select_components(t, obs.p, nullptr);
    if (q == 0) return kNothingToDo;
    k = capacity_for(eps);
    split_components(q, obs.n * q, 1 << 16);
    return 0;
  }
  void carve(Carver& C) {
    sel = C.take<int64_t>(q);
    pos = C.scratch_each<quantile::Position>(threads, count);
    ranks = C.scratch_each<int64_t>(threads, 2 * count);
    scratch = C.scratch_each<K>(threads, 2 * k);
    values = C.scratch_each<T>(threads, 2 * count);
  }

  // The summaries: kept when they were built for this dimension, epsilon and precision (a new
  // stream otherwise), with every level the block can reach allocated before it is read.
  int start() {
    select_components(t, obs.p, sel);
    state = static_cast<State*>(slot(t, kSlotSQuantState));
    if (state && (state->tag != kStateTag || state->p != obs.p || state->eps != eps || state->precision != t->precision))
      free_state(t), state = nullptr;
    if (!state) {
      const size_t bytes = sizeof(State) + size_t(obs.p) * sizeof(Summary);
      if (!(state = static_cast<State*>(host::allocate(bytes)))) return TARR_SS_ERROR_ALLOCATION;
      std::memset(state, 0, bytes);
      *state = {kStateTag, obs.p, k, eps, t->precision};
      slots(t)[kSlotSQuantState] = state;
      slots(t)[kSlotCleanupCount] = reinterpret_cast<void*>(intptr_t(1));
      slots(t)[kSlotCleanup] = reinterpret_cast<void*>(&__tarrSQuantilesFreeBuffers);
    }
    for (int64_t i = 0; i < q; ++i) {
      Summary& s = state->summary()[sel[i]];
      const int need = levels_for(s.n + obs.n, k);
      for (int h = 0; h < need; ++h)
        if (!s.items[h] && !(s.items[h] = host::allocate(size_t(k) * sizeof(K)))) return TARR_SS_ERROR_ALLOCATION;
    }
    return 0;
  }

  // Level h is full and sorted: keep one item of each pair, move them up a level.
  void compact(Summary& s, int h, K* tmp) {
    K* a = static_cast<K*>(s.items[h]);
    K* up = static_cast<K*>(s.items[h + 1]);
    const int64_t half = k / 2, odd = (s.parity >> h) & 1;
    for (int64_t i = 0; i < half; ++i) tmp[i] = a[2 * i + odd];
    s.parity ^= uint64_t(1) << h;
    s.count[h] = 0;
    // Merge backwards into level h+1 (it holds 0 or k/2 items, so k/2 more fit).
    int64_t i = s.count[h + 1] - 1, j = half - 1, w = s.count[h + 1] + half - 1;
    while (j >= 0) up[w--] = (i >= 0 && up[i] > tmp[j]) ? up[i--] : tmp[j--];
    s.count[h + 1] += half;
    if (s.count[h + 1] == k) compact(s, h + 1, tmp);
  }

  void add(Summary& s, const T* x, int64_t len, K* tmp) {
    K* level0 = static_cast<K*>(s.items[0]);
    while (len > 0) {
      const int64_t take = k - s.count[0] < len ? k - s.count[0] : len;
      K* dst = level0 + s.count[0];
      for (int64_t i = 0; i < take; ++i) dst[i] = key_of(x[i]);
      s.count[0] += take;
      s.n += take;
      x += take;
      len -= take;
      if (s.count[0] == k) {
        radix_sort(level0, tmp, k);
        compact(s, 0, tmp);
      }
    }
  }

  // The values of the m ranks r[] (ascending) in the summary's weighted order: a merge of the
  // sorted levels (level 0 sorted into a copy) that walks the cumulative weight.
  void estimate(const Summary& s, const int64_t* r, int64_t m, K* tmp, T* v) const {
    const int64_t c0 = s.count[0];
    K* run0 = tmp;
    if (c0) {
      std::memcpy(run0, s.items[0], size_t(c0) * sizeof(K));
      radix_sort(run0, tmp + k, c0);
    }
    const K* run[kMaxLevels];
    int64_t len[kMaxLevels], at[kMaxLevels] = {};
    int levels = 0;
    for (int h = 0; h < kMaxLevels && s.items[h]; ++h, ++levels) {
      run[h] = h == 0 ? run0 : static_cast<const K*>(s.items[h]);
      len[h] = s.count[h];
    }
    int64_t covered = 0, next = 0;  // weight of the items taken; next rank to settle
    while (next < m) {
      int best = -1;
      for (int h = 0; h < levels; ++h)
        if (at[h] < len[h] && (best < 0 || run[h][at[h]] < run[best][at[best]])) best = h;
      const K key = run[best][at[best]++];
      covered += int64_t(1) << best;
      while (next < m && r[next] < covered) v[next++] = value_of<T>(key);
    }
  }

  int part(int r, int thread) {
    const Span span = span_of(q, parts, r);
    K* tmp = scratch[thread];
    T* column = reinterpret_cast<T*>(tmp + k);  // observation-major input, a block at a time
    const int64_t chunk = k * int64_t(sizeof(K)) / int64_t(sizeof(T));
    for (int64_t i = span.begin; i < span.end; ++i) {
      const int64_t c = sel[i];
      Summary& s = state->summary()[c];
      if (const T* contiguous = obs.column(c)) {
        add(s, contiguous, obs.n, tmp);
      } else {
        for (int64_t i0 = 0; i0 < obs.n; i0 += chunk) {
          const int64_t len = obs.n - i0 < chunk ? obs.n - i0 : chunk;
          obs.copy_column(c, i0, len, column);
          add(s, column, len, tmp);
        }
      }
      write_estimates(s, c, thread);
    }
    return 0;
  }

  void write_estimates(const Summary& s, int64_t c, int thread) {
    if (count == 0) return;
    quantile::Position* at = pos[thread];
    int64_t* r = ranks[thread];
    if (s.n == 0) {
      for (int64_t o = 0; o < count; ++o) out[c * count + o] = std::numeric_limits<T>::quiet_NaN();
      return;
    }
    const bool observed = method & TARR_SS_METHOD_SQUANTS_OBSERVED;
    for (int64_t o = 0; o < count; ++o) {
      at[o] = quantile::position(double(orders[o]), s.n);
      if (observed) at[o].j = at[o].k = at[o].f < 0.5 ? at[o].j : at[o].k, at[o].f = 0;
    }
    const int64_t m = quantile::ranks_of(at, count, r);
    T* v = values[thread];
    estimate(s, r, m, scratch[thread], v);
    for (int64_t o = 0; o < count; ++o) {
      const double xj = double(v[quantile::rank_of(r, m, at[o].j)]);
      const double xk = double(v[quantile::rank_of(r, m, at[o].k)]);
      out[c * count + o] = T(quantile::interpolate(at[o].f, xj, xk));
    }
  }
  int finish() { return 0; }
};

}  // namespace
}  // namespace zorp::ss

extern "C" ZORP_API void __tarrSQuantilesFreeBuffers(TarrSSTask* task) {
  if (task) zorp::ss::free_state(task);
}
ZORP_SS_EXPORTS(StreamQuantiles, Stream)
