// What the two quasi-random generators (Sobol, Niederreiter) share. Both are digital sequences in
// base 2: coordinate i of point n is the XOR of the direction numbers v[i][b] over the set bits b
// of the Gray code of n, so consecutive points differ by one direction number per dimension (the
// bit is the lowest zero bit of the earlier index). Only the direction numbers differ between the
// two; everything else (positions, skip-ahead, dimension selection, the output kernels and the
// threaded path) lives here.
//
// The stream hands out the points as one flattened sequence, d coordinates per point. State words
// after the stream header: the index of the current point (1 after seeding; point 0 is all zeros
// and is never handed out), the dimension, the selected dimension (kAll unless a dimension-
// selecting leapfrog picked one, after which the stream is one-dimensional), and how many
// coordinates of the current point are still to come when it was handed out in part (0 when none
// of it has been). The current point itself is always the point of the current index.
//
// A generator G supplies:
//   kMaxDim                      the largest dimension of its built-in tables
//   view(s, v)                   where the stream's point and direction numbers are; false when
//                                the stream's user-data chunks do not fit its dimension
//   seed_builtin(s, d)           direction numbers of the built-in tables for dimensions 1..d
//   seed_user(s, d, n, params)   the user-data forms: TARR_ERROR_BAD_ARGUMENTS for invalid data,
//                                TARR_ERROR_NO_MEMORY; -1 when no form's size condition holds
#pragma once
#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>

#include "host/host.h"
#include "rng/brng/adaptor.h"

namespace zorp::rng::quasi {

inline constexpr uint32_t kAll = 0xFFFFFFFFu;        // no dimension selected
inline constexpr uint32_t kLastIndex = 0xFFFFFFFFu;  // generation may reach this point index
inline constexpr uint32_t kLastSkip = 0xFFFFFFFEu;   // skip-ahead may reach this one
inline constexpr int kBits = 32;                     // direction numbers per dimension

struct Header {
  uint32_t index, dim, selected, left;
};
inline Header& header(StreamState* s) { return *state_of<Header>(s); }

template <class T = uint32_t>
inline T* at_offset(StreamState* s, size_t block_offset) {
  return reinterpret_cast<T*>(reinterpret_cast<char*>(s) + block_offset);
}

// Where a stream's current point and direction numbers are. Direction number b of dimension i is
// rows[b * stride + i] for b < nrows (rows of one bit across dimensions, so that a Gray step is a
// vector XOR); the built-in Sobol layout keeps only its low rows that way and the others in its
// per-dimension groups, groups[i * 33 + 1 + b].
struct View {
  uint32_t d;
  uint32_t* x;
  const uint32_t* rows;
  size_t stride;
  int nrows;
  const uint32_t* groups;

  uint32_t dir(int b, size_t i) const { return b < nrows ? rows[static_cast<size_t>(b) * stride + i] : groups[i * 33 + 1 + static_cast<size_t>(b)]; }
  // The one-dimensional stream of coordinate k.
  View select(uint32_t k) const {
    View v = *this;
    v.d = 1;
    v.x += k;
    v.rows += k;
    if (groups) v.groups += static_cast<size_t>(k) * 33;
    return v;
  }
};

// x[lo, hi) ^= direction numbers of bit b.
void step(const View& v, uint32_t lo, uint32_t hi, int b);
// The point of an index, computed directly: the XOR of the direction numbers of the set bits of the
// index's Gray code.
void point_at(const View& v, uint32_t index);
// Whether a request of p whole points of dimension d goes to the host's parallel-for; the thread
// limit is asked for separately.
bool wants_threads(uint32_t d, int64_t p);
// The host's parallel-for when it offers at least two threads, else null.
using ThreadFor = void (*)(int, int, void*, zorp_thread_task_fn);
ThreadFor host_threads(int& nthreads);

// Validity of user polynomials over GF(2) of degree up to 31.
int degree(uint64_t p);
bool primitive(uint32_t p);
bool irreducible(uint32_t p);

// Coordinates as they are handed out: integers as they are; real numbers from their top 31 bits,
// fma((b - a) * 2^-31, x >> 1, a), singles rounded from that double.
// (Stored as the adaptor stores any run of words.)
struct Coords : brng::Words32<false> {
  template <class F>
  void doubles(int32_t count, F&& f) const {
    for (int32_t k = 0; k < count; k += 8) {
      const int32_t c = std::min(count - k, 8);
      f(k, simd::to_double_signed(_mm256_srli_epi32(simd::load_first(w + k, c), 1)), c);
    }
  }
};

// Up to sixteen coordinates held in a register.
struct Lanes {
  __m512i v;
  template <int Word>
  void store(uint32_t* r, int32_t at, int32_t count) const {
    simd::store_first(r + at, v, count);
  }
  template <class F>
  void doubles(int32_t count, F&& f) const {
    f(0, simd::to_double_signed(_mm256_srli_epi32(simd::low_half(v), 1)), std::min(count, 8));
    if (count > 8) f(8, simd::to_double_signed(_mm256_srli_epi32(simd::high_half(v), 1)), count - 8);
  }
};

inline __mmask16 first(uint32_t count) { return static_cast<__mmask16>(count >= 16 ? 0xFFFFu : (1u << count) - 1); }

// Direction numbers of bit b for dimensions [lo, lo + 16) under mask m.
inline __m512i dir_row(const View& v, int b, uint32_t lo, __mmask16 m) {
  if (b < v.nrows) return simd::load_zero(m, v.rows + static_cast<size_t>(b) * v.stride + lo);
  alignas(64) uint32_t w[16] = {};
  for (uint32_t i = 0; i < 16; ++i)
    if (m >> i & 1) w[i] = v.dir(b, lo + i);
  return simd::load(w);
}

// Hands out p whole points of dimensions [lo, hi) from point index n, the point of n in v.x, writing
// point j's coordinates at output position at + j * d + lo; leaves the point of n + p in v.x. Runs
// through the points once per sixteen dimensions with those coordinates in a register.
template <class Emit>
void points(const View& v, uint32_t lo, uint32_t hi, uint32_t n, int64_t p, int32_t at, const Emit& emit_) {
  // Local copies: the stores of the results may alias anything reached through a reference.
  Emit emit = emit_;
  const auto d = static_cast<int32_t>(v.d);
  const int nrows = v.nrows;
  const size_t stride = v.stride;
  // Tiles of points whose results (about 16 KB) stay in the first-level cache while every group of
  // sixteen dimensions passes over them.
  const int64_t tile = std::max<int64_t>(8, 2048 / d);
  for (int64_t j0 = 0; j0 < p; j0 += tile) {
    const int64_t tp = std::min(tile, p - j0);
    for (uint32_t c = lo; c < hi; c += 16) {
      const uint32_t w = std::min(hi - c, 16u);
      const __mmask16 m = first(w);
      const uint32_t* rows = v.rows + c;
      __m512i x = simd::load_zero(m, v.x + c);
      int32_t out = at + static_cast<int32_t>(j0 * d) + static_cast<int32_t>(c);
      auto k = static_cast<uint32_t>(n + j0);
      const auto next = [&](uint32_t i) {
        const int b = std::countr_one(i);
        return b < nrows ? simd::load_zero(m, rows + static_cast<size_t>(b) * stride) : dir_row(v, b, c, m);
      };
      if (w == 16) {
        for (int64_t j = 0; j < tp; ++j, ++k, out += d) {
          emit(out, Lanes{x}, 16);
          x = simd::bit_xor(x, next(k));
        }
      } else {
        for (int64_t j = 0; j < tp; ++j, ++k, out += d) {
          emit(out, Lanes{x}, static_cast<int32_t>(w));
          x = simd::bit_xor(x, next(k));
        }
      }
      simd::store(v.x + c, m, x);
    }
  }
}

// The same for all dimensions when d < 8 (from 8 on, a register per point is as fast), sixteen
// points at a time: for an index 16m + k the Gray
// code is that of 16m XOR that of k, so the 16 d coordinates of such a block are the point of 16m,
// repeated to fill the block, XOR a fixed pattern of the four lowest direction numbers.
template <class Emit>
void small_points(const View& v, uint32_t& n_, int64_t& p_, int32_t& at_, const Emit& emit_) {
  Emit emit = emit_;
  uint32_t n = n_;
  int64_t p = p_;
  int32_t at = at_;
  const uint32_t d = v.d;
  const int64_t lead = std::min<int64_t>((16 - (n & 15)) & 15, p);
  points(v, 0, d, n, lead, at, emit);
  n += static_cast<uint32_t>(lead);
  p -= lead;
  at += static_cast<int32_t>(lead * d);
  if (p < 16) {
    n_ = n, p_ = p, at_ = at;
    return;
  }
  alignas(64) uint32_t pattern[16 * 16];
  __m512i repeat[16];
  for (uint32_t k = 0; k < 16; ++k) {
    const uint32_t g = k ^ (k >> 1);
    for (uint32_t i = 0; i < d; ++i) {
      uint32_t w = 0;
      for (int b = 0; b < 4; ++b)
        if (g >> b & 1) w ^= v.dir(b, i);
      pattern[k * d + i] = w;
    }
  }
  for (uint32_t q = 0; q < d; ++q) {
    alignas(64) uint32_t idx[16];
    for (uint32_t l = 0; l < 16; ++l) idx[l] = (16 * q + l) % d;
    repeat[q] = simd::load(idx);
  }
  const __mmask16 dims = first(d);
  // From the point of 16m to that of 16(m + 1): the Gray codes 16m ^ 8m and 16(m + 1) ^ 8(m + 1)
  // differ in bit 3 and in bit 4 + (trailing ones of m).
  const __m512i bit3 = dir_row(v, 3, 0, dims);
  __m512i x = simd::load_zero(dims, v.x);
  for (; p >= 16; p -= 16, n += 16, at += static_cast<int32_t>(16 * d)) {
    for (uint32_t q = 0; q < d; ++q)
      emit(at + static_cast<int32_t>(16 * q), Lanes{simd::bit_xor(_mm512_permutexvar_epi32(repeat[q], x), simd::load(pattern + 16 * q))}, 16);
    x = simd::bit_xor3(x, bit3, dir_row(v, 4 + std::countr_one(n >> 4), 0, dims));
  }
  simd::store(v.x, dims, x);
  n_ = n, p_ = p, at_ = at;
}

// A threaded request: blocks of 32 dimensions, one per task. Which block a task takes is ours
// to choose, and it matters: the block a thread writes leaves its part of every point (and of the
// current point) in that thread's cache, and a block taken by another thread in the next request,
// or a neighbouring block written at the same moment by another thread (the caller's array is
// rarely aligned to cache lines), moves those lines between cores, which costs more than the
// work. So the blocks are cut into one run of consecutive blocks per thread; a task on thread i
// takes the next block from the front of run i, and a thread whose run is done takes from the
// back of another's. The same thread then writes the same blocks request after request, and
// two threads meet only where they steal.
template <class Emit>
struct Job {
  static constexpr int kMaxRuns = 64;
  const View* v;
  uint32_t n;
  int64_t p;
  int32_t at;
  Emit* emit;
  int runs = 1;
  std::atomic<uint64_t> run[kMaxRuns];  // per run: back << 32 | front, blocks [front, back) left

  Job(const View* view, uint32_t first, int64_t count, int32_t pos, Emit* e, int threads)
      : v(view), n(first), p(count), at(pos), emit(e) {
    const int blocks = static_cast<int>((v->d + 31) / 32);
    runs = std::clamp(threads, 1, std::min(kMaxRuns, blocks));
    for (int r = 0; r < runs; ++r) {
      const uint64_t front = uint64_t(r) * uint64_t(blocks) / uint64_t(runs);
      const uint64_t back = uint64_t(r + 1) * uint64_t(blocks) / uint64_t(runs);
      run[r].store(back << 32 | front, std::memory_order_relaxed);
    }
  }
  // One block for a task on `thread`; every task finds one, as there are as many as blocks.
  int claim(int thread) {
    for (int k = 0; k < runs; ++k) {
      const int r = (thread + k) % runs;
      uint64_t w = run[r].load(std::memory_order_relaxed);
      for (;;) {
        const uint32_t front = static_cast<uint32_t>(w), back = static_cast<uint32_t>(w >> 32);
        if (front >= back) break;
        const uint64_t taken = k == 0 ? w + 1 : w - (uint64_t{1} << 32);
        if (run[r].compare_exchange_weak(w, taken, std::memory_order_relaxed)) return k == 0 ? int(front) : int(back - 1);
      }
    }
    return -1;
  }
  static void task(int, int thread, int, void* ctx) {
    Job& j = *static_cast<Job*>(ctx);
    const int block = j.claim(thread);
    if (block < 0) return;
    const uint32_t lo = 32u * static_cast<uint32_t>(block), hi = std::min(j.v->d, lo + 32);
    points(*j.v, lo, hi, j.n, j.p, j.at, *j.emit);
  }
};

template <class G>
struct Record {
  static constexpr brng::Scale kScale{0x1p-31, 0x1p-31f, brng::Single::kDouble, false};

  // The stream's view as it hands out numbers: one-dimensional once a dimension is selected.
  // The view generation uses. A stream loaded from an image may carry any header, so the
  // selected dimension and the coordinates left of the current point are checked against the
  // point before anything is read through them.
  static bool live_view(StreamState* s, View& v) {
    if (!G::view(s, v) || v.d == 0) return false;
    const Header& h = header(s);
    if (h.selected != kAll) {
      if (h.selected >= v.d) return false;
      v = v.select(h.selected);
    }
    return h.left <= v.d;
  }

  static int32_t seed(StreamState* s, int32_t n, const uint32_t* params) {
    G::drop_chunks(s);
    Header& h = header(s);
    h = Header{1, 1, kAll, 0};
    if (!params) n = 0;
    if (n >= 3 && params[0] >= 1 && params[1] == 1) {
      const int32_t status = G::seed_user(s, params[0], n, params);
      if (status != -1) {
        if (status != TARR_STATUS_OK) return status;
        h.dim = params[0];
        return recompute(s);
      }
    }
    if (n >= 1 && params[0] >= 1 && params[0] <= G::kMaxDim) h.dim = params[0];
    G::seed_builtin(s, h.dim);
    return recompute(s);
  }

  // Only the dimension-selecting form: 2^31 - 1 streams and a dimension below d. A partly handed
  // out point counts as not started, so the selected stream begins with coordinate k of the
  // current point.
  static int32_t leapfrog(StreamState* s, int32_t nstreams, uint64_t k) {
    Header& h = header(s);
    if (nstreams != 0x7FFFFFFF || k >= h.dim) return TARR_ERROR_NO_LEAPFROG;
    if (h.selected == k) return TARR_STATUS_OK;
    h.selected = static_cast<uint32_t>(k);
    h.left = 0;
    return recompute(s);
  }

  static int32_t skip(StreamState* s, uint64_t N) {
    Header& h = header(s);
    View v;
    if (!live_view(s, v)) return TARR_ERROR_BAD_ARGUMENTS;
    const uint64_t d = v.d;
    if (N / d > kLastSkip) return TARR_ERROR_NO_SKIPAHEAD;
    if (N < h.left) {
      h.left -= static_cast<uint32_t>(N);
      return TARR_STATUS_OK;
    }
    using u128 = unsigned __int128;
    const u128 pos = static_cast<u128>(h.index) * d + (h.left ? d - h.left : 0) + N;
    if (pos / d > kLastSkip) return TARR_ERROR_NO_SKIPAHEAD;
    if (N == 0) return TARR_STATUS_OK;
    h.index = static_cast<uint32_t>(pos / d);
    const auto used = static_cast<uint32_t>(pos % d);
    h.left = used ? static_cast<uint32_t>(d) - used : 0;
    return recompute(s);
  }

  template <class Emit>
  static int32_t run(StreamState* s, int32_t n, Emit&& emit) {
    if (n <= 0) return TARR_STATUS_OK;
    Header& h = header(s);
    if (uint64_t{h.index} + static_cast<uint64_t>(n) > kLastIndex) return TARR_ERROR_QUASI_EXHAUSTED;
    View v;
    if (!live_view(s, v)) return TARR_ERROR_BAD_ARGUMENTS;
    const uint32_t d = v.d;
    int32_t at = 0;
    if (h.left) {
      const int32_t take = std::min<int32_t>(static_cast<int32_t>(h.left), n);
      emit(0, Coords{{v.x + d - h.left}}, take);
      at = take;
      h.left -= static_cast<uint32_t>(take);
      if (h.left) return TARR_STATUS_OK;
      step(v, 0, d, std::countr_one(h.index++));
    }
    int64_t p = (n - at) / d;
    uint32_t index = h.index;
    h.index += static_cast<uint32_t>(p);
    ThreadFor threads = nullptr;
    int nthreads = 1;
    if (wants_threads(d, p) && (threads = host_threads(nthreads)) != nullptr) {
      Job<std::remove_reference_t<Emit>> job(&v, index, p, at, &emit, nthreads);
      threads(static_cast<int>((d + 31) / 32), 0, &job, &decltype(job)::task);
      at += static_cast<int32_t>(p * d);
    } else {
      if (d < 8 && p >= 32) small_points(v, index, p, at, emit);
      points(v, 0, d, index, p, at, emit);
      at += static_cast<int32_t>(p * d);
    }
    if (const int32_t rest = n - at) {
      emit(at, Coords{{v.x}}, rest);
      h.left = d - static_cast<uint32_t>(rest);
    }
    return TARR_STATUS_OK;
  }

 private:
  // The whole current point from its index (every dimension, selected or not).
  static int32_t recompute(StreamState* s) {
    View v;
    if (!G::view(s, v)) return TARR_ERROR_BAD_ARGUMENTS;
    point_at(v, header(s).index);
    return TARR_STATUS_OK;
  }
};

}  // namespace zorp::rng::quasi
