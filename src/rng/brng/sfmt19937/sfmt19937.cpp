// SFMT19937 (Saito and Matsumoto): 156 words of 128 bits, w[i] = f(w[i-156], w[i-34], w[i-2],
// w[i-1]) with f(a, b, c, d) = a ^ (a << 8) ^ ((b >> 11) & mask) ^ (c >> 8) ^ (d << 18) (the 8-bit
// shifts over the whole 128 bits, the others in each 32-bit lane); period a multiple of
// 2^19937 - 1. Outputs are the raw 32-bit words in order, read as signed: doubles are
// fma((b - a) 2^-32, y, (a + b) / 2), singles the same with factor and midpoint rounded to float.
//
// State: the 624 words, the position in words, and a carry-over of up to three words. Outputs
// are taken four at a time (one 128-bit word); a request that ends inside such a group keeps the
// rest of it in the carry-over, which the next request hands out first.
//
// Skip-ahead counts in 128-bit steps, the transition whose characteristic polynomial has degree
// 19968: after the carry-over, N outputs are N / 4 whole steps (Horner's rule up to N = 19967, the
// sliding window above) and N % 4 words of one more group, whose rest goes to the carry-over.
#include <algorithm>
#include <cstring>

#include "rng/brng/adaptor.h"
#include "rng/skip/char_polys.h"
#include "rng/skip/work_state.h"

namespace zorp::rng {
namespace {

constexpr int kWords = 624, kGroups = 156, kPos1 = 122;
constexpr uint64_t kHornerLimit = 19967;

struct State {
  uint32_t w[kWords];
  uint32_t pos;          // next word of w; 624: the block is used up
  uint32_t carry[3];     // words of the last group not yet handed out
  uint32_t carry_next;   // next carry-over word to hand out
  uint32_t carry_count;  // carry-over words held
};
constexpr int32_t kStateSize = brng::facts(brng::Row::SFMT19937).state_size;
static_assert(sizeof(StreamState) + sizeof(State) == static_cast<size_t>(kStateSize));

inline __m128i recursion(__m128i a, __m128i b, __m128i c, __m128i d) {
  using namespace simd;
  const __m128i mask = words128(0xDFFFFFEFu, 0xDDFECB7Fu, 0xBFFAFFFFu, 0xBFFFFFF6u);
  const __m128i x = bit_xor3(a, shift_bytes_left<1>(a), shift_bytes_right<1>(c));
  return bit_xor3(x, bit_and(shift_words_right<11>(b), mask), shift_words_left<18>(d));
}

// The state as 128-bit words; work states of the skip-ahead need not be 16-byte aligned, so every
// access is an unaligned one.
__m128i* groups(uint32_t* w) { return reinterpret_cast<__m128i*>(w); }

// Regenerates the first `count` groups in place: count = 156 is the whole block; a smaller count
// leaves the block half old, half new, as the skip-ahead's work states want it.
void regenerate(uint32_t* words, int count) {
  __m128i* g = groups(words);
  __m128i r1 = simd::load128(g + kGroups - 2), r2 = simd::load128(g + kGroups - 1);
  for (int i = 0; i < count; ++i) {
    const __m128i r = recursion(simd::load128(g + i), simd::load128(g + (i + kPos1) % kGroups), r1, r2);
    simd::store128(g + i, r);
    r1 = r2;
    r2 = r;
  }
}

// The whole block, with the wrap of the second operand taken out of the loop.
void regenerate_block(uint32_t* words) {
  __m128i* g = groups(words);
  __m128i r1 = simd::load128(g + kGroups - 2), r2 = simd::load128(g + kGroups - 1);
  int i = 0;
  for (; i < kGroups - kPos1; ++i) {
    r1 = recursion(simd::load128(g + i), simd::load128(g + i + kPos1), r1, r2);
    simd::store128(g + i, r1);
    std::swap(r1, r2);
  }
  for (; i < kGroups; ++i) {
    r1 = recursion(simd::load128(g + i), simd::load128(g + i + kPos1 - kGroups), r1, r2);
    simd::store128(g + i, r1);
    std::swap(r1, r2);
  }
}

// ---- seeding ---------------------------------------------------------------------------------

uint32_t mix1(uint32_t x) { return (x ^ (x >> 27)) * 1664525u; }
uint32_t mix2(uint32_t x) { return (x ^ (x >> 27)) * 1566083941u; }

// The reference array initialisation; no seed words is a key of length zero.
void seed_words(uint32_t* st, int32_t n, const uint32_t* key) {
  constexpr int kLag = 11, kMid = (kWords - kLag) / 2;
  const int32_t len = (key && n > 0) ? n : 0;
  std::memset(st, 0x8B, sizeof(uint32_t) * kWords);
  int32_t count = std::max<int32_t>(len + 1, kWords);
  uint32_t r = mix1(st[0] ^ st[kMid] ^ st[kWords - 1]);
  st[kMid] += r;
  r += static_cast<uint32_t>(len);
  st[kMid + kLag] += r;
  st[0] = r;
  --count;
  int i = 1;
  for (int32_t j = 0; j < count; ++j) {
    r = mix1(st[i] ^ st[(i + kMid) % kWords] ^ st[(i + kWords - 1) % kWords]);
    st[(i + kMid) % kWords] += r;
    r += (j < len ? key[j] : 0) + static_cast<uint32_t>(i);
    st[(i + kMid + kLag) % kWords] += r;
    st[i] = r;
    i = (i + 1) % kWords;
  }
  for (int j = 0; j < kWords; ++j) {
    r = mix2(st[i] + st[(i + kMid) % kWords] + st[(i + kWords - 1) % kWords]);
    st[(i + kMid) % kWords] ^= r;
    r -= static_cast<uint32_t>(i);
    st[(i + kMid + kLag) % kWords] ^= r;
    st[i] = r;
    i = (i + 1) % kWords;
  }
  // Period certification: the parity of the first 128 bits against the parity vector must be 1;
  // otherwise the lowest bit where the vector is 1 is flipped.
  constexpr uint32_t kParity[4] = {0x00000001u, 0x00000000u, 0x00000000u, 0x13C9E684u};
  uint32_t inner = 0;
  for (int k = 0; k < 4; ++k) inner ^= st[k] & kParity[k];
  if (__builtin_parity(inner)) return;
  for (int k = 0; k < 4; ++k)
    if (kParity[k]) {
      st[k] ^= kParity[k] & -kParity[k];
      return;
    }
}

// ---- work states of the skip-ahead: group k of the future is w[(pos + k) mod 156], pos counting
// groups ------------------------------------------------------------------------------------------

State& as_work(void* s) { return *state_of<State>(static_cast<StreamState*>(s)); }
const State& as_work(const void* s) { return *state_of<State>(static_cast<const StreamState*>(s)); }

void clear(void* s) { std::memset(&as_work(s), 0, sizeof(State)); }

void add(void* d, const void* s) {
  work::add_aligned(as_work(d).w, static_cast<int32_t>(as_work(d).pos), as_work(s).w, static_cast<int32_t>(as_work(s).pos), kGroups, 16);
}

void copy(void* d, const void* s) { std::memcpy(&as_work(d), &as_work(s), sizeof(State)); }

void step(void* s) {
  State& st = as_work(s);
  __m128i* g = groups(st.w);
  const uint32_t p = st.pos;
  simd::store128(g + p, recursion(simd::load128(g + p), simd::load128(g + (p + kPos1) % kGroups),
                                    simd::load128(g + (p + kGroups - 2) % kGroups),
                                    simd::load128(g + (p + kGroups - 1) % kGroups)));
  st.pos = (p + 1) % kGroups;
}

// The next 156 groups in order become a fresh block at position 0; the carry-over is the
// caller's business.
void write_back(StreamState* s, const void* src) {
  State& st = *state_of<State>(s);
  work::unroll(st.w, as_work(src).w, static_cast<int32_t>(as_work(src).pos), kGroups, 16);
  st.pos = 0;
}

// The stream's block with its first pos / 4 groups regenerated is the future as a circular buffer.
int32_t prepare(const StreamState* s, uint64_t n, void* dst) {
  if (n == 0) return 0;
  const State& st = *state_of<State>(s);
  State& w = as_work(dst);
  std::memcpy(w.w, st.w, sizeof w.w);
  const int32_t g = static_cast<int32_t>(std::min<uint32_t>(st.pos, kWords) / 4);
  regenerate(w.w, g);
  w.pos = static_cast<uint32_t>(g % kGroups);
  return 1;
}

// ---- the record ----------------------------------------------------------------------------

// Up to `want` carry-over words into out (when not null). An emptied carry-over is cleared, so
// that equal streams have equal bytes however their requests were cut.
int32_t take_carry(State& st, int32_t want, uint32_t* out) {
  const uint32_t count = std::min<uint32_t>(st.carry_count, 3);
  const int32_t held = st.carry_next < count ? static_cast<int32_t>(count - st.carry_next) : 0;
  const int32_t c = std::min(want, held);
  if (out && c > 0) std::memcpy(out, st.carry + st.carry_next, sizeof(uint32_t) * c);
  st.carry_next += static_cast<uint32_t>(c);
  if (st.carry_next >= count) {
    std::memset(st.carry, 0, sizeof st.carry);
    st.carry_next = st.carry_count = 0;
  }
  return c;
}

// Hands out `count` words from the position, regenerating as blocks run out; a request ending
// inside a group leaves the group's rest in the carry-over. emit may be null (skipping).
template <class Emit>
void from_position(State& st, int32_t count, int32_t done, Emit&& emit) {
  if (st.pos > kWords) st.pos = kWords;
  while (count > 0) {
    if (st.pos >= kWords) {
      regenerate_block(st.w);
      st.pos = 0;
    }
    const int32_t take = std::min(count, kWords - static_cast<int32_t>(st.pos));
    emit(done, brng::Words32<true>{st.w + st.pos}, take);
    done += take;
    count -= take;
    st.pos += static_cast<uint32_t>(take);
    const uint32_t end = (st.pos + 3) & ~3u;
    if (count == 0 && end != st.pos) {
      st.carry_count = end - st.pos;
      st.carry_next = 0;
      std::memcpy(st.carry, st.w + st.pos, sizeof(uint32_t) * st.carry_count);
      st.pos = end;
    }
  }
}

struct Sfmt19937Record {
  static constexpr brng::Scale kScale{0x1p-32, 0.0f, brng::Single::kRoundedDouble, true};

  static int32_t seed(StreamState* s, int32_t n, const uint32_t* params) {
    State& st = *state_of<State>(s);
    seed_words(st.w, n, params);
    st.pos = kWords;
    st.carry_next = st.carry_count = 0;
    return TARR_STATUS_OK;
  }

  // The carry-over is spent only once the polynomial step (the one part that can fail) is done,
  // so a failed skip leaves the stream as it was.
  static int32_t skip(StreamState* s, uint64_t N) {
    State& st = *state_of<State>(s);
    const uint64_t held = st.carry_next < std::min<uint32_t>(st.carry_count, 3) ? st.carry_count - st.carry_next : 0;
    if (N <= held) {
      take_carry(st, static_cast<int32_t>(N), nullptr);
      return TARR_STATUS_OK;
    }
    N -= held;
    const uint64_t steps = N / 4, rest = N % 4;
    if (st.pos > kWords) st.pos = kWords;
    if (steps <= (kWords - st.pos) / 4) {
      st.pos += static_cast<uint32_t>(4 * steps);
    } else {
      const auto method = N <= kHornerLimit ? __tarr_SkipAheadHorner : __tarr_SkipAheadSWin;
      const int32_t status = method(s, clear, add, copy, step, write_back, prepare, static_cast<int64_t>(steps), 624,
                                    19968, kStateSize, charpoly::kSfmt19937Terms, charpoly::kSfmt19937);
      if (status != TARR_STATUS_OK) return status;
    }
    take_carry(st, 3, nullptr);
    from_position(st, static_cast<int32_t>(rest), 0, [](int32_t, const auto&, int32_t) {});
    return TARR_STATUS_OK;
  }

  template <class Emit>
  static int32_t run(StreamState* s, int32_t n, Emit&& emit) {
    if (n <= 0) return TARR_STATUS_OK;
    State& st = *state_of<State>(s);
    uint32_t held[8];  // room for a whole vector load
    const int32_t done = take_carry(st, n, held);
    if (done) emit(0, brng::Words32<true>{held}, done);
    from_position(st, n - done, done, emit);
    return TARR_STATUS_OK;
  }
};

}  // namespace
}  // namespace zorp::rng

ZORP_BRNG_ENTRIES(SFMT19937, zorp::rng::Sfmt19937Record)
