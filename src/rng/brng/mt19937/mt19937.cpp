// MT19937 (Matsumoto and Nishimura): n = 624, m = 397, period 2^19937 - 1. State: mt[0..623] and
// the position of the next output (624: block used up). Outputs are tempered words; doubles are
// fma((b - a) 2^-32, y, a), singles fmaf((b - a) 2^-32, y, a) in single precision.
//
// Skip-ahead by N: up to 8,388,607 outputs the state is stepped directly (blocks regenerated and
// their outputs never tempered); above that the characteristic polynomial applies x^N mod P to
// the state with the sliding window, on work states that hold the next 624 untempered outputs as
// a circular buffer starting at the position (so one step is one new word).
#include "rng/brng/mt/twister.h"
#include "rng/skip/char_polys.h"
#include "rng/skip/work_state.h"

namespace zorp::rng {
namespace {

using Shape = mt::Shape<624, 397, 0x7FFFFFFFu, 2>;
using Engine = mt::Twister<Shape>;
constexpr int kN = Shape::kN, kM = Shape::kM;
constexpr uint32_t kA = 0x9908B0DFu;
constexpr uint64_t kDirectLimit = 8388607;  // direct stepping up to here, the polynomial above

struct State {
  uint32_t mt[kN];
  int32_t pos;
};
constexpr int32_t kStateSize = brng::facts(brng::Row::MT19937).state_size;
static_assert(sizeof(StreamState) + sizeof(State) <= static_cast<size_t>(kStateSize));

mt::Temper temper() {
  return {simd::isplat<float>(0x9D2C5680u), simd::isplat<float>(0xEFC60000u), 11};
}

// ---- work states of the polynomial skip-ahead: u(k) = mt[(pos + k) mod n] -------------------

State& as_work(void* s) { return *state_of<State>(static_cast<StreamState*>(s)); }
const State& as_work(const void* s) { return *state_of<State>(static_cast<const StreamState*>(s)); }

uint32_t twist(uint32_t first, uint32_t second, uint32_t mid) {
  const uint32_t y = (first & Shape::kUpper) | (second & Shape::kLower);
  return mid ^ (y >> 1) ^ ((y & 1) ? kA : 0);
}

void clear(void* s) { std::memset(&as_work(s), 0, sizeof(State)); }

void add(void* d, const void* s) { work::add_aligned(as_work(d).mt, as_work(d).pos, as_work(s).mt, as_work(s).pos, kN, 4); }

void copy(void* d, const void* s) { std::memcpy(&as_work(d), &as_work(s), sizeof(State)); }

void step(void* s) {
  State& w = as_work(s);
  const int32_t p = w.pos;
  w.mt[p] = twist(w.mt[p], w.mt[(p + 1) % kN], w.mt[(p + kM) % kN]);
  w.pos = (p + 1) % kN;
}

// The next 624 outputs in order become a fresh block at position 0.
void write_back(StreamState* s, const void* src) {
  State& st = *state_of<State>(s);
  work::unroll(st.mt, as_work(src).mt, as_work(src).pos, kN, 4);
  st.pos = 0;
}

// From the stream's block and position p, regenerating the first p words in place gives the next
// 624 outputs as a circular buffer starting at p (the words before p are spent already).
int32_t prepare(const StreamState* s, uint64_t n, void* dst) {
  if (n == 0) return 0;
  const State& st = *state_of<State>(s);
  State& w = as_work(dst);
  std::memcpy(w.mt, st.mt, sizeof w.mt);
  const int32_t p = st.pos < 0 || st.pos > kN ? kN : st.pos;
  for (int32_t i = 0; i < p; ++i) w.mt[i] = twist(w.mt[i], w.mt[(i + 1) % kN], w.mt[(i + kM) % kN]);
  w.pos = p % kN;
  return 1;
}

struct Mt19937Record {
  static constexpr brng::Scale kScale{0x1p-32, 0x1p-32f, brng::Single::kFloat, false};

  static int32_t seed(StreamState* s, int32_t n, const uint32_t* params) {
    State& st = *state_of<State>(s);
    Engine::seed(st.mt, st.pos, n, params);
    return TARR_STATUS_OK;
  }

  static int32_t skip(StreamState* s, uint64_t N) {
    if (N == 0) return TARR_STATUS_OK;
    if (N <= kDirectLimit) {
      State& st = *state_of<State>(s);
      return Engine::run(st.mt, st.pos, kA, temper(), static_cast<int32_t>(N), [](int32_t, const auto&, int32_t) {});
    }
    return __tarr_SkipAheadSWin(s, clear, add, copy, step, write_back, prepare, static_cast<int64_t>(N), 624, 19937,
                                kStateSize, charpoly::kMt19937Terms, charpoly::kMt19937);
  }

  template <class Emit>
  static int32_t run(StreamState* s, int32_t n, Emit&& emit) {
    State& st = *state_of<State>(s);
    return Engine::run(st.mt, st.pos, kA, temper(), n, emit);
  }
};

}  // namespace
}  // namespace zorp::rng

ZORP_BRNG_ENTRIES(MT19937, zorp::rng::Mt19937Record)
