// Philox4x32-10: the output block for a 128-bit counter is ten rounds of a keyed bijection on the
// counter's four words; the stream is the blocks of counter, counter + 1, ... read word by word.
//
// A word buffer keeps the rest of a block that a call ended inside, so the sequence of words does
// not depend on how it is split across calls, and skip-ahead is an addition to the counter (with
// carry through all 128 bits) plus the buffer's position.
//
// Vector loop: sixteen consecutive counters, one per 32-bit lane of four registers (one per
// counter word), run through the rounds together and are interleaved back into block order.
#include <algorithm>

#include "rng/brng/adaptor.h"
#include "simd/transpose.h"

namespace zorp::rng {
namespace {

using u128 = unsigned __int128;

struct State {
  uint32_t key[2];
  uint32_t ctr[4];   // least significant word first
  uint32_t left;     // words of buf not yet handed out; the next one is buf[4 - left]
  uint32_t buf[4];   // the block of the last word handed out or skipped (zero before any)
};
static_assert(sizeof(State) + sizeof(StreamState) <= 64, "Philox state fits its block");

constexpr uint32_t kM0 = 0xD2511F53, kM1 = 0xCD9E8D57;
constexpr uint32_t kW0 = 0x9E3779B9, kW1 = 0xBB67AE85;
constexpr int kBlocks = 16;  // per vector pass

u128 counter(const State& st) {
  u128 c = 0;
  for (int i = 3; i >= 0; --i) c = (c << 32) | st.ctr[i];
  return c;
}
void set_counter(State& st, u128 c) {
  for (int i = 0; i < 4; ++i) st.ctr[i] = static_cast<uint32_t>(c >> (32 * i));
}

// Blocks of counters c, c + 1, ..., c + 15 into r[0 .. 64).
void blocks16(const uint32_t key[2], u128 c, uint32_t* r) {
  __m512i x[4];
  const auto low = static_cast<uint32_t>(c);
  if (low <= 0xFFFFFFFFu - (kBlocks - 1)) {
    // No carry out of the low word within the pass: only word 0 differs between lanes.
    x[0] = _mm512_add_epi32(_mm512_set1_epi32(static_cast<int32_t>(low)),
                            _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
    for (int w = 1; w < 4; ++w) x[w] = _mm512_set1_epi32(static_cast<int32_t>(c >> (32 * w)));
  } else {
    alignas(64) uint32_t lanes[4][kBlocks];
    for (int j = 0; j < kBlocks; ++j) {
      const u128 cj = c + static_cast<u128>(j);
      for (int w = 0; w < 4; ++w) lanes[w][j] = static_cast<uint32_t>(cj >> (32 * w));
    }
    for (int w = 0; w < 4; ++w) x[w] = simd::load(lanes[w]);
  }
  const __m512i m0 = _mm512_set1_epi32(static_cast<int32_t>(kM0));
  const __m512i m1 = _mm512_set1_epi32(static_cast<int32_t>(kM1));
  uint32_t k0 = key[0], k1 = key[1];
  for (int round = 0; round < 10; ++round) {
    __m512i hi0, lo0, hi1, lo1;
    simd::mul32_wide(x[0], m0, hi0, lo0);
    simd::mul32_wide(x[2], m1, hi1, lo1);
    x[0] = simd::bit_xor3(hi1, x[1], _mm512_set1_epi32(static_cast<int32_t>(k0)));
    x[2] = simd::bit_xor3(hi0, x[3], _mm512_set1_epi32(static_cast<int32_t>(k1)));
    x[1] = lo1;
    x[3] = lo0;
    k0 += kW0;
    k1 += kW1;
  }
  // Lane j of x[w] is word w of block j: interleave into block order (as bit patterns).
  __m512 v[4];
  for (int w = 0; w < 4; ++w) v[w] = _mm512_castsi512_ps(x[w]);
  simd::interleave4(v);
  for (int w = 0; w < 4; ++w) _mm512_storeu_si512(r + 16 * w, _mm512_castps_si512(v[w]));
}

// The count of a skip is an unsigned number of up to 192 bits, three 64-bit words low first.
void skip192(State& st, const uint64_t w[3]) {
  if (w[1] == 0 && w[2] == 0 && w[0] <= st.left) {
    st.left -= static_cast<uint32_t>(w[0]);
    return;
  }
  // X = N - buffered - 1 = M - 1 (M >= 1), in 192 bits.
  const uint64_t sub = uint64_t{st.left} + 1;
  uint64_t x0 = w[0] - sub;
  const uint64_t borrow0 = w[0] < sub;
  uint64_t x1 = w[1] - borrow0;
  const uint64_t borrow1 = borrow0 && w[1] == 0;
  const uint64_t x2 = w[2] - borrow1;
  // floor((M - 1) / 4), of which the bits above 128 are dropped.
  const u128 low = (static_cast<u128>(x1) << 64) | x0;
  const u128 q = (low >> 2) | (static_cast<u128>(x2 & 3) << 126);
  const u128 c = counter(st) + q;
  alignas(64) uint32_t r[4 * kBlocks];
  blocks16(st.key, c, r);
  std::copy_n(r, 4, st.buf);
  set_counter(st, c + 1);
  st.left = (4 - static_cast<uint32_t>((x0 + 1) & 3)) & 3;
}

// Outputs are signed 32-bit words scaled by 2^-32 about the midpoint of (a, b).
struct PhiloxRecord {
  static constexpr brng::Scale kScale{0x1p-32, 0x1p-32f, brng::Single::kFloat, true};

  static int32_t seed(StreamState* s, int32_t n, const uint32_t* params) {
    State& st = *state_of<State>(s);
    uint32_t w[6] = {};
    const int32_t k = params ? std::clamp(n, 0, 6) : 0;
    std::copy_n(params ? params : w, k, w);
    st.key[0] = w[0];
    st.key[1] = w[1];
    std::copy_n(w + 2, 4, st.ctr);
    st.left = 0;
    return TARR_STATUS_OK;
  }

  static int32_t skip(StreamState* s, uint64_t N) {
    const uint64_t w[3] = {N, 0, 0};
    skip192(*state_of<State>(s), w);
    return TARR_STATUS_OK;
  }

  // n 64-bit words, low first; words from the fourth on are ignored.
  static int32_t skip_ex(StreamState* s, int32_t n, const uint32_t* params) {
    uint64_t w[3] = {};
    if (params && n > 0) std::memcpy(w, params, static_cast<size_t>(std::min(n, 3)) * 8);
    skip192(*state_of<State>(s), w);
    return TARR_STATUS_OK;
  }

  template <class Emit>
  static int32_t run(StreamState* s, int32_t n, Emit&& emit) {
    if (n <= 0) return TARR_STATUS_OK;
    State& st = *state_of<State>(s);
    int32_t i = std::min<int32_t>(static_cast<int32_t>(st.left), n);
    if (i) emit(0, brng::Words32<true>{st.buf + 4 - st.left}, i);
    st.left -= static_cast<uint32_t>(i);
    if (i == n) return TARR_STATUS_OK;
    u128 c = counter(st);
    alignas(64) uint32_t r[4 * kBlocks];
    while (i < n) {
      blocks16(st.key, c, r);
      const int32_t take = std::min(n - i, 4 * kBlocks);
      emit(i, brng::Words32<true>{r}, take);
      i += take;
      const int32_t used = (take + 3) / 4;
      c += static_cast<u128>(used);
      // The buffer always holds the block of the last word handed out, used up or not, so the
      // state depends only on the position in the sequence, however the calls were split.
      std::copy_n(r + 4 * (used - 1), 4, st.buf);
      st.left = static_cast<uint32_t>((4 - take % 4) % 4);
    }
    set_counter(st, c);
    return TARR_STATUS_OK;
  }
};

}  // namespace
}  // namespace zorp::rng

ZORP_BRNG_ENTRIES(PHILOX4X32X10, zorp::rng::PhiloxRecord)
