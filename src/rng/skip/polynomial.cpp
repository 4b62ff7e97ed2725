// Skip-ahead by characteristic polynomial, for generators whose transition T is linear over
// GF(2) (the Mersenne twisters): T^N s = r(T) s with r = x^N mod P, P the characteristic
// polynomial of T. __tarrPolyRem computes r; the two evaluators apply r(T) to a state through
// the generator's six work-state callbacks, by Horner's rule or with a 7-bit sliding window.
//
// The count is taken as an unsigned 64-bit number whatever its declared type: skip counts are
// unsigned, and x^N is well defined for every one of them.
#include <bit>
#include <cstring>

#include "host/host.h"
#include "rng/skip/gf2poly.h"
#include "zorp/export.h"
#include "zorp/rng.h"

namespace zorp::rng {
namespace {

// Owns host allocations for the length of one call.
class Scratch {
 public:
  ~Scratch() {
    for (int i = 0; i < count_; ++i) zorp::host::deallocate(blocks_[i]);
  }
  void* get(size_t bytes) {
    void* p = zorp::host::allocate(bytes);
    if (p) blocks_[count_++] = p;
    return p;
  }

 private:
  void* blocks_[4] = {};
  int count_ = 0;
};

// Four-bit windows: the tables take 33 remainders of memory (80 KB for p = 19937).
using Mod = gf2::Modulus<4>;

bool well_formed(int32_t p, uint32_t t, const uint32_t* exps, int32_t w) {
  if (p < 1 || t < 1 || !exps || int64_t{w} * 32 < p || exps[t - 1] != static_cast<uint32_t>(p)) return false;
  for (uint32_t i = 1; i < t; ++i)
    if (exps[i] <= exps[i - 1]) return false;
  return true;
}

// out (w 32-bit words) = x^N mod P.
int32_t remainder(uint64_t N, int32_t p, uint32_t t, const uint32_t* exps, int32_t w, uint32_t* out) {
  std::memset(out, 0, static_cast<size_t>(w) * 4);
  if (N < static_cast<uint64_t>(p)) {
    out[N >> 5] = 1u << (N & 31);
    return TARR_STATUS_OK;
  }
  const int32_t width = Mod::width(p);
  Scratch scratch;
  auto* storage = static_cast<uint64_t*>(scratch.get(Mod::storage_words(p) * 8));
  auto* r = static_cast<uint64_t*>(scratch.get(static_cast<size_t>(3 * width) * 8));
  if (!storage || !r) return TARR_ERROR_NO_MEMORY;
  const Mod mod(p, exps, t, storage);
  uint64_t* sq = r + width;  // 2 * width words
  std::memset(r, 0, static_cast<size_t>(width) * 8);
  r[0] = 1;
  // Left to right: square, then multiply by x for a set bit.
  for (int b = 63 - std::countl_zero(N); b >= 0; --b) {
    gf2::square(r, width, sq);
    mod.reduce(sq);
    std::memcpy(r, sq, static_cast<size_t>(width) * 8);
    if ((N >> b) & 1) mod.mul_x(r);
  }
  std::memcpy(out, r, static_cast<size_t>(gf2::words_for(p)) * 8 < static_cast<size_t>(w) * 4
                          ? static_cast<size_t>(gf2::words_for(p)) * 8
                          : static_cast<size_t>(w) * 4);
  return TARR_STATUS_OK;
}

int64_t top_bit(const uint32_t* r, int32_t w) {
  for (int32_t k = w - 1; k >= 0; --k)
    if (r[k]) return int64_t{k} * 32 + 31 - std::countl_zero(r[k]);
  return -1;
}
bool bit(const uint32_t* r, int64_t i) { return (r[i >> 5] >> (i & 31)) & 1; }

struct Ops {
  TarrSkipClearFn clear;
  TarrSkipAddFn add;
  TarrSkipCopyFn copy;
  TarrSkipStepFn step;
  TarrSkipWriteBackFn write_back;
  TarrSkipPrepareFn prepare;
};

// Allocates the remainder and `states` work states, loads the stream's state into state 0 and
// computes the remainder. Returns 1 to go on, or a status (0 when there is nothing to do).
struct Setup {
  Scratch scratch;
  uint32_t* rem = nullptr;
  uint8_t* states = nullptr;
  int32_t status = TARR_STATUS_OK;
  bool go = false;

  Setup(StreamState* s, const Ops& ops, uint64_t N, int32_t w, int32_t p, int32_t state_size, uint32_t t,
        const uint32_t* exps, int32_t nstates) {
    if (!s || !ops.clear || !ops.add || !ops.copy || !ops.step || !ops.write_back || !ops.prepare) {
      status = TARR_ERROR_NULL_ENTRY;
      return;
    }
    if (!well_formed(p, t, exps, w) || state_size < 1) {
      status = TARR_ERROR_BAD_ARGUMENTS;
      return;
    }
    if (N == 0) return;  // x^0: the state stays as it is
    rem = static_cast<uint32_t*>(scratch.get(static_cast<size_t>(w) * 4));
    states = static_cast<uint8_t*>(scratch.get(static_cast<size_t>(nstates) * static_cast<size_t>(state_size)));
    if (!rem || !states) {
      status = TARR_ERROR_NO_MEMORY;
      return;
    }
    if (!ops.prepare(s, N, states)) return;
    status = remainder(N, p, t, exps, w, rem);
    go = status == TARR_STATUS_OK;
  }
};

}  // namespace
}  // namespace zorp::rng

using namespace zorp::rng;

extern "C" {

ZORP_API int32_t __tarrPolyRem(int64_t n, int32_t p, uint32_t t, const uint32_t* exps, int32_t w, uint32_t* out) {
  if (!out || !well_formed(p, t, exps, w)) return TARR_ERROR_BAD_ARGUMENTS;
  return remainder(static_cast<uint64_t>(n), p, t, exps, w, out);
}

// Horner: work = T(...T(T s + r[d-1] s) + ...) + r[0] s, one step per coefficient below the top.
ZORP_API int32_t __tarr_SkipAheadHorner(StreamState* s, TarrSkipClearFn clear, TarrSkipAddFn add, TarrSkipCopyFn copy,
                                        TarrSkipStepFn step, TarrSkipWriteBackFn write_back, TarrSkipPrepareFn prepare,
                                        int64_t n, int32_t w, int32_t p, int32_t state_size, uint32_t t,
                                        const uint32_t* exps) {
  const Ops ops{clear, add, copy, step, write_back, prepare};
  Setup setup(s, ops, static_cast<uint64_t>(n), w, p, state_size, t, exps, 2);
  if (!setup.go) return setup.status;
  const void* base = setup.states;
  void* work = setup.states + state_size;
  const int64_t d = top_bit(setup.rem, w);
  copy(work, base);
  for (int64_t i = d - 1; i >= 0; --i) {
    step(work);
    if (bit(setup.rem, i)) add(work, base);
  }
  write_back(s, work);
  return TARR_STATUS_OK;
}

// Sliding window: a table of v(T) s for the 128 polynomials v of degree below 7, then per 7-bit
// window of r (from the top) seven steps and one addition.
ZORP_API int32_t __tarr_SkipAheadSWin(StreamState* s, TarrSkipClearFn clear, TarrSkipAddFn add, TarrSkipCopyFn copy,
                                      TarrSkipStepFn step, TarrSkipWriteBackFn write_back, TarrSkipPrepareFn prepare,
                                      int64_t n, int32_t w, int32_t p, int32_t state_size, uint32_t t,
                                      const uint32_t* exps) {
  constexpr int kWindow = 7, kTable = 1 << kWindow;
  const Ops ops{clear, add, copy, step, write_back, prepare};
  Setup setup(s, ops, static_cast<uint64_t>(n), w, p, state_size, t, exps, kTable + 1);
  if (!setup.go) return setup.status;
  auto entry = [&](int v) -> void* { return setup.states + static_cast<size_t>(v) * state_size; };
  // Entry 1 is the loaded state (state 0 moved up); entry 2^k is T^k s; the others are sums.
  copy(entry(kTable), entry(0));
  copy(entry(1), entry(kTable));
  clear(entry(0));
  for (int k = 1; k < kWindow; ++k) {
    copy(entry(1 << k), entry(1 << (k - 1)));
    step(entry(1 << k));
  }
  for (int v = 3; v < kTable; ++v) {
    if ((v & (v - 1)) == 0) continue;
    copy(entry(v), entry(v & (v - 1)));
    add(entry(v), entry(v & -v));
  }
  void* work = entry(kTable);
  const int64_t d = top_bit(setup.rem, w);
  bool first = true;
  for (int64_t j = d / kWindow; j >= 0; --j) {
    int v = 0;
    for (int b = kWindow - 1; b >= 0; --b) {
      const int64_t i = j * kWindow + b;
      v = (v << 1) | (i <= d && bit(setup.rem, i));
    }
    if (first) {
      copy(work, entry(v));
      first = false;
      continue;
    }
    for (int k = 0; k < kWindow; ++k) step(work);
    if (v) add(work, entry(v));
  }
  write_back(s, work);
  return TARR_STATUS_OK;
}

}  // extern "C"
