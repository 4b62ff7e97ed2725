// The record shared by the two multiplicative congruential generators, MCG31m1 (mod 2^31 - 1)
// and MCG59 (mod 2^59): state {x, a}, the 384-byte chunk 14 of multiplier powers, seeding,
// leapfrog, skip-ahead and the vector block step.
//
// Chunk 14 as 48 u64 words: word 0 the type, word 8 the current x, words 9..15 x * a^k for
// k = 1..7, words 16..47 four vectors of a^8, a^16, a^24 and a^32. The output loop runs four
// independent chains of eight lanes (32 consecutive values) stepping by a^32, then single
// vectors stepping by a^8; a tail shorter than eight lanes is stored masked and the lanes are
// shifted so that words 8..15 again hold the next eight values. Every lane value is an exact
// residue, so the results equal the scalar recurrence bit for bit.
#pragma once
#include <cstring>

#include "host/host.h"
#include "rng/brng/adaptor.h"
#include "rng/skip/modular.h"

namespace zorp::rng::mcg {

inline constexpr uint32_t kChunkId = 14;
inline constexpr uint32_t kChunkBytes = 384;

// A loaded stream's chunk 14 (kChunkBytes) rebuilt from the stream's x and multiplier by the rules
// of the generator its type word names: 0 MCG31m1, 1 MCG59; any other type, or a state area
// (state_bytes) too small to hold that generator's x and multiplier, is left alone.
void rebuild_power_chunk(StreamState* s, size_t state_bytes, uint64_t* w);
void rebuild_power_chunk_m31(StreamState* s, uint64_t* w);
void rebuild_power_chunk_m59(StreamState* s, uint64_t* w);

template <class G>
struct Engine {
  using Word = typename G::Word;  // u32 or u64 state words
  struct State {
    Word x, a;
  };

  static State& state(StreamState* s) { return *state_of<State>(s); }
  static uint64_t* chunk(StreamState* s) { return static_cast<uint64_t*>(__tarrSearchChunk(s, kChunkId)); }

  static void fill_start(uint64_t* w, uint64_t x, uint64_t a) {
    w[8] = x;
    for (int k = 9; k < 16; ++k) w[k] = G::mul(a, w[k - 1]);
  }
  // A multiplier of 0 (a block never seeded) takes the default multiplier's powers.
  static void fill_chunk(uint64_t* w, uint64_t x, uint64_t a) {
    const uint64_t base = a ? a : G::kDefaultA;
    std::memset(w, 0, kChunkBytes);
    w[0] = G::kType;
    fill_start(w, x, base);
    for (int v = 0; v < 4; ++v) {
      const uint64_t p = G::pow(base, 8 * (v + 1));
      for (int l = 0; l < 8; ++l) w[16 + 8 * v + l] = p;
    }
  }

  static void rebuild(StreamState* s, uint64_t* w) { fill_chunk(w, state(s).x, state(s).a); }

  static int32_t seed(StreamState* s, int32_t n, const uint32_t* params) {
    State& st = state(s);
    st.x = static_cast<Word>(G::seed_value(params ? n : 0, params));
    st.a = static_cast<Word>(G::kDefaultA);
    auto* w = static_cast<uint64_t*>(zorp::host::allocate(kChunkBytes));
    if (!w) return TARR_ERROR_NO_MEMORY;
    fill_chunk(w, st.x, st.a);
    const int32_t status = __tarrAddChunk(s, kChunkId, nullptr, w, kChunkBytes);
    if (status != TARR_STATUS_OK) zorp::host::deallocate(w);
    return status;
  }

  static int32_t leapfrog(StreamState* s, int32_t nstreams, uint64_t k) {
    uint64_t* w = chunk(s);
    if (!w) return TARR_ERROR_NO_MEMORY;
    State& st = state(s);
    st.x = static_cast<Word>(G::mul(G::pow(st.a, k), st.x));
    st.a = static_cast<Word>(G::pow(st.a, static_cast<uint64_t>(nstreams)));
    fill_chunk(w, st.x, st.a);
    return TARR_STATUS_OK;
  }

  static int32_t skip(StreamState* s, uint64_t N) {
    uint64_t* w = chunk(s);
    if (!w) return TARR_ERROR_NO_MEMORY;
    State& st = state(s);
    st.x = static_cast<Word>(G::mul(G::pow(st.a, N), st.x));
    fill_start(w, st.x, st.a ? st.a : G::kDefaultA);
    return TARR_STATUS_OK;
  }

  // The block step: blocks of eight consecutive values, one per lane (see the adaptor).
  template <class Emit>
  static int32_t run(StreamState* s, int32_t n, Emit&& emit) {
    uint64_t* w = chunk(s);
    if (!w) return TARR_ERROR_NO_MEMORY;
    if (n <= 0) return TARR_STATUS_OK;
    State& st = state(s);
    if (w[8] != st.x) fill_start(w, st.x, st.a);  // state changed behind the chunk's back
    __m512i v0 = simd::load(w + 8);
    const __m512i p8 = simd::load(w + 16);
    int32_t i = 0;
    if (n >= 32) {
      const __m512i p32 = simd::load(w + 40);
      __m512i v1 = G::vmul(v0, p8);
      __m512i v2 = G::vmul(v0, simd::load(w + 24));
      __m512i v3 = G::vmul(v0, simd::load(w + 32));
      for (; i + 32 <= n; i += 32) {
        emit(i, brng::Lanes64{v0}, 8);
        emit(i + 8, brng::Lanes64{v1}, 8);
        emit(i + 16, brng::Lanes64{v2}, 8);
        emit(i + 24, brng::Lanes64{v3}, 8);
        v0 = G::vmul(v0, p32);
        v1 = G::vmul(v1, p32);
        v2 = G::vmul(v2, p32);
        v3 = G::vmul(v3, p32);
      }
    }
    for (; i + 8 <= n; i += 8) {
      emit(i, brng::Lanes64{v0}, 8);
      v0 = G::vmul(v0, p8);
    }
    if (const int32_t r = n - i) {
      emit(i, brng::Lanes64{v0}, r);
      v0 = simd::u64_lanes_from(v0, G::vmul(v0, p8), r);
    }
    simd::store(w + 8, v0);
    st.x = static_cast<Word>(w[8]);
    return TARR_STATUS_OK;
  }
};

}  // namespace zorp::rng::mcg
