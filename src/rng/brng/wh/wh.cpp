// WH: the family of 273 Wichmann-Hill style generators. Each member combines four multiplicative
// congruential generators x_i -> a_i x_i mod m_i (primes just below 2^24); outputs are taken before
// each step: iBRng writes the four components, dBRng the fractional part of sum x_i / m_i.
//
// Vector loop: eight consecutive values of each component in the lanes of one double vector,
// stepped by a_i^8 mod m_i. Products stay below 2^48 and the quotient trunc(p * (1/m)) is exact
// (the fraction p/m is at least 1/m away from an integer, far above the rounding error), so every
// lane is the exact residue and the results equal the scalar recurrence bit for bit.
#include "rng/brng/adaptor.h"
#include "rng/brng/wh/wh_params.h"

namespace zorp::rng {
namespace {

struct State {
  uint32_t x[4];
  uint32_t a[4];
};

// Member of the family named by the stream's identifier; -1 when outside the family.
int32_t member_of(const StreamState* s) {
  const uint32_t m = stream_member(s);
  return m < static_cast<uint32_t>(wh::kMembers) ? static_cast<int32_t>(m) : -1;
}

struct Lanes {
  __m512d x[4];
};

// One step of every lane by the multiplier power p (exact, see above).
inline void advance(Lanes& v, const __m512d p[4], const __m512d mod[4], const __m512d rcp[4]) {
  for (int c = 0; c < 4; ++c) {
    const __m512d prod = simd::mul(v.x[c], p[c]);
    const __m512d q = simd::truncate_quiet(simd::mul(prod, rcp[c]));
    v.x[c] = simd::fnma(q, mod[c], prod);
  }
}

// fractional part of x1/m1 + x2/m2 + x3/m3 + x4/m4, summed by chained multiply-adds.
inline __m512d unit(const Lanes& v, const double* r) {
  __m512d s = simd::mul(v.x[0], simd::splat(r[0]));
  s = simd::fma(v.x[1], simd::splat(r[1]), s);
  s = simd::fma(v.x[2], simd::splat(r[2]), s);
  s = simd::fma(v.x[3], simd::splat(r[3]), s);
  return simd::sub(s, simd::truncate_quiet(s));
}

// Up to eight outputs: the integer output is the four components (16 bytes), the real outputs
// scale the unit value.
struct Block {
  const Lanes& v;
  const double* rc;  // the member's reciprocals
  template <int Word>
  void store(uint32_t* r, int32_t at, int32_t count) const {
    static_assert(Word == 16);
    // Output j of a block is the 16 bytes (x1[j], x2[j], x3[j], x4[j]).
    static constexpr uint32_t kInterleave[16] = {0, 8, 16, 24, 1, 9, 17, 25, 2, 10, 18, 26, 3, 11, 19, 27};
    const __m512i lo = simd::lanes32(kInterleave);
    const __m512i hi = simd::iadd<float>(lo, simd::isplat<float>(4));
    const __m512i a = simd::join_halves(simd::to_int32(v.x[0]), simd::to_int32(v.x[1]));
    const __m512i b = simd::join_halves(simd::to_int32(v.x[2]), simd::to_int32(v.x[3]));
    uint32_t* out = r + 4 * static_cast<int64_t>(at);
    const int32_t words = 4 * count;
    simd::store_first(out, simd::permute32(a, lo, b), words < 16 ? words : 16);
    if (words > 16) simd::store_first(out + 16, simd::permute32(a, hi, b), words - 16);
  }
  template <class F>
  void doubles(int32_t count, F&& f) const {
    f(0, unit(v, rc), count);
  }
};


uint32_t reduce_seed(uint32_t w, uint32_t m) {
  const uint32_t x = w % m;
  return x ? x : 1;
}

// Real outputs: (b - a) * u + a with the unit value u, singles formed in double and rounded.
struct WhRecord {
  static constexpr brng::Scale kScale{1.0, 0.0f, brng::Single::kDouble, false};

  static int32_t seed(StreamState* s, int32_t n, const uint32_t* params) {
    const int32_t member = member_of(s);
    if (member < 0) return TARR_ERROR_INVALID_BRNG;
    State& st = *state_of<State>(s);
    const int32_t k = params ? (n < 4 ? n : 4) : 0;
    for (int32_t c = 0; c < 4; ++c) {
      st.x[c] = c < k ? reduce_seed(params[c], wh::kModuli[member][c]) : 1;
      st.a[c] = wh::kMultipliers[member][c];
    }
    return TARR_STATUS_OK;
  }

  static int32_t leapfrog(StreamState* s, int32_t nstreams, uint64_t k) {
    const int32_t member = member_of(s);
    if (member < 0) return TARR_ERROR_INVALID_BRNG;
    State& st = *state_of<State>(s);
    const uint32_t* m = wh::kModuli[member];
    for (int c = 0; c < 4; ++c) {
      st.x[c] = static_cast<uint32_t>(uint64_t{__tarriPowMod(st.a[c], k, m[c])} * st.x[c] % m[c]);
      st.a[c] = __tarriPowMod(st.a[c], static_cast<uint64_t>(nstreams), m[c]);
    }
    return TARR_STATUS_OK;
  }

  static int32_t skip(StreamState* s, uint64_t N) {
    const int32_t member = member_of(s);
    if (member < 0) return TARR_ERROR_INVALID_BRNG;
    State& st = *state_of<State>(s);
    const uint32_t* m = wh::kModuli[member];
    for (int c = 0; c < 4; ++c)
      st.x[c] = static_cast<uint32_t>(uint64_t{__tarriPowMod(st.a[c], N, m[c])} * st.x[c] % m[c]);
    return TARR_STATUS_OK;
  }

  template <class Emit>
  static int32_t run(StreamState* s, int32_t n, Emit&& emit);
};

// The block step. Two blocks of eight (positions i.. and i + 8..) step by a^16 side by side,
// which hides the latency of the multiply-reduce chain.
template <class Emit>
int32_t WhRecord::run(StreamState* s, int32_t n, Emit&& emit) {
  const int32_t member = member_of(s);
  if (member < 0) return TARR_ERROR_INVALID_BRNG;
  if (n <= 0) return TARR_STATUS_OK;
  State& st = *state_of<State>(s);
  const double* rc = wh::kReciprocals[member];
  Lanes v, w;
  __m512d p8[4], p16[4], mod[4], rcp[4];
  for (int c = 0; c < 4; ++c) {
    const uint64_t m = wh::kModuli[member][c], a = st.a[c] % m;
    alignas(64) double start[8];
    uint64_t x = st.x[c] % m, p = 1;
    for (int j = 0; j < 8; ++j) {
      start[j] = static_cast<double>(x);
      x = x * a % m;
      p = p * a % m;
    }
    v.x[c] = simd::load(start);
    p8[c] = simd::splat(static_cast<double>(p));
    p16[c] = simd::splat(static_cast<double>(p * p % m));
    mod[c] = simd::splat(static_cast<double>(m));
    rcp[c] = simd::splat(wh::kReciprocals[member][c]);
  }
  w = v;
  advance(w, p8, mod, rcp);
  int32_t i = 0;
  for (; n - i >= 16; i += 16) {
    emit(i, Block{v, rc}, 8);
    emit(i + 8, Block{w, rc}, 8);
    advance(v, p16, mod, rcp);
    advance(w, p16, mod, rcp);
  }
  const int32_t rem = n - i;
  if (rem > 0) emit(i, Block{v, rc}, rem < 8 ? rem : 8);
  if (rem > 8) emit(i + 8, Block{w, rc}, rem - 8);
  // The value at position n: lane rem of v, or lane rem - 8 of w.
  const Lanes& next = rem < 8 ? v : w;
  const int lane = rem < 8 ? rem : rem - 8;
  for (int c = 0; c < 4; ++c) {
    alignas(64) double buf[8];
    simd::store(buf, next.x[c]);
    st.x[c] = static_cast<uint32_t>(buf[lane]);
  }
  return TARR_STATUS_OK;
}

}  // namespace
}  // namespace zorp::rng

ZORP_BRNG_ENTRIES(WH, zorp::rng::WhRecord)
