// The engine shared by MT19937 and the MT2203 family: the state layout (n words, then the
// position of the next output), seeding by array initialisation, and the block step.
//
// The recurrence x[t+n] = x[t+m] ^ (y >> 1) ^ (a if y is odd), y = upper bits of x[t] with the
// lower bits of x[t+1], is the in-place regeneration of the reference written as one sequence:
// regenerating block B in place computes exactly x[B+n .. B+2n). A request that outruns the
// current block copies the block into a linear buffer and extends the sequence there, sixteen
// words per vector step (each step reads x[t], x[t+1] and x[t+m], all at least n - m >= 16 words
// behind what it writes, so no step needs a word of its own), then keeps the last whole block
// and its position as the new state. Outputs are tempered on their way out, never in the buffer.
#pragma once
#include <algorithm>
#include <cstring>

#include "rng/brng/adaptor.h"

namespace zorp::rng::mt {

// Tempering y ^= y >> u; y ^= (y << 7) & b; y ^= (y << 15) & c; y ^= y >> 18, sixteen lanes.
struct Temper {
  __m512i b, c;
  int u;
  __m512i operator()(__m512i y) const {
    using simd::bit_and, simd::bit_xor, simd::shift_left;
    y = bit_xor(y, simd::shift_right_by<float>(y, u));
    y = bit_xor(y, bit_and(shift_left<7, float>(y), b));
    y = bit_xor(y, bit_and(shift_left<15, float>(y), c));
    return bit_xor(y, simd::shift_right<18, float>(y));
  }
};

// Generator constants: n, m, the lower-bit mask (r lower bits) and the blocks kept in the linear
// buffer at a time.
template <int N, int M, uint32_t Lower, int Blocks>
struct Shape {
  static constexpr int kN = N, kM = M, kBlocks = Blocks;
  static constexpr uint32_t kLower = Lower, kUpper = ~Lower;
  static_assert(N - M >= 16, "a vector step must not read words it writes");
};

// One vector of the recurrence from its operands x[t], x[t+1] and x[t+m].
template <class S>
struct TwistStep {
  __m512i upper = simd::isplat<float>(S::kUpper), one = simd::isplat<float>(1), mat;
  explicit TwistStep(uint32_t a) : mat(simd::isplat<float>(a)) {}
  __m512i operator()(__m512i xt, __m512i xt1, __m512i xm) const {
    const __m512i y = simd::bit_select(upper, xt, xt1);  // upper bits of x[t], lower bits of x[t+1]
    const __m512i odd = simd::zero_unless<float>(simd::any_bits<float>(y, one), mat);
    return simd::bit_xor3(xm, simd::shift_right<1, float>(y), odd);
  }
};

// x[n .. n + count) from x[0 .. n), count rounded up to whole vectors (the extra words are the
// sequence's next values; the buffer leaves room for them, and 16 words before x[0]).
//
// With a long block (MT19937) every operand was stored many steps earlier, so plain loads serve.
// With MT2203's 69 words the operands of a step were stored one to five steps before, where a
// load that straddles two recent stores waits for them to retire; there the last five results
// stay in registers and the operands are cut out of them: for output vector i (words
// n + 16i ..), x[16i ..] begins 11 lanes into output vector i - 5 and x[16i + 34 ..] 13 lanes into
// output vector i - 3.
template <class S>
inline void extend(uint32_t* x, int32_t count, uint32_t a) {
  const TwistStep<S> twist(a);
  if constexpr (S::kN > 128) {
    for (int32_t t = 0; t < count; t += 16)
      simd::store(x + t + S::kN, twist(simd::load(x + t), simd::load(x + t + 1), simd::load(x + t + S::kM)));
  } else {
    static_assert(S::kN == 69 && S::kM == 34, "the lane offsets below are worked out for MT2203");
    // Output vectors -5 .. -1 are the state's last 80 words (the lanes before x[0] are never used).
    __m512i w0 = simd::load(x + S::kN - 80), w1 = simd::load(x + S::kN - 64), w2 = simd::load(x + S::kN - 48);
    __m512i w3 = simd::load(x + S::kN - 32), w4 = simd::load(x + S::kN - 16);
    for (int32_t t = 0; t < count; t += 16) {
      const __m512i r = twist(simd::lanes_from<11, float>(w0, w1), simd::lanes_from<12, float>(w0, w1), simd::lanes_from<13, float>(w2, w3));
      simd::store(x + t + S::kN, r);
      w0 = w1;
      w1 = w2;
      w2 = w3;
      w3 = w4;
      w4 = r;
    }
  }
}

// Runs of stored words handed out tempered: the adaptor stores them as integers or converts them.
struct TemperedWords {
  const uint32_t* w;
  const Temper& temper;
  template <int Word>
  void store(uint32_t* r, int32_t at, int32_t count) const {
    for (int32_t k = 0; k < count; k += 16) {
      const int32_t c = count - k < 16 ? count - k : 16;
      const __mmask16 m = simd::first_lanes<float>(static_cast<uint32_t>(c));
      simd::store(r + at + k, m, temper(simd::load_zero(m, w + k)));
    }
  }
  template <class F>
  void doubles(int32_t count, F&& f) const {
    each16(count, [&](int32_t k, __m512i y, int32_t c) {
      f(k, simd::to_double_unsigned(simd::low_half(y)), c < 8 ? c : 8);
      if (c > 8) f(k + 8, simd::to_double_unsigned(simd::high_half(y)), c - 8);
    });
  }
  template <class F>
  void singles(int32_t count, F&& f) const {
    each16(count, [&](int32_t k, __m512i y, int32_t c) {
      const __m512 v = simd::to_float_unsigned32(y);
      f(k, simd::low_half(v), c < 8 ? c : 8);
      if (c > 8) f(k + 8, simd::high_half(v), c - 8);
    });
  }

 private:
  template <class F>
  void each16(int32_t count, F&& f) const {
    for (int32_t k = 0; k < count; k += 16) {
      const int32_t c = count - k < 16 ? count - k : 16;
      f(k, temper(simd::load_zero(simd::first_lanes<float>(static_cast<uint32_t>(c)), w + k)), c);
    }
  }
};

template <class S>
struct Twister {
  static constexpr int kN = S::kN;

  // Array initialisation of the reference generators (every seed goes through it; with no seed
  // words the key is the single word 1).
  static void seed(uint32_t* mt, int32_t& pos, int32_t n, const uint32_t* params) {
    static const uint32_t kOne = 1;
    const uint32_t* key = (params && n >= 1) ? params : &kOne;
    const int32_t len = (params && n >= 1) ? n : 1;
    mt[0] = 19650218u;
    for (int i = 1; i < kN; ++i) mt[i] = 1812433253u * (mt[i - 1] ^ (mt[i - 1] >> 30)) + static_cast<uint32_t>(i);
    int i = 1, j = 0;
    for (int32_t k = std::max<int32_t>(kN, len); k > 0; --k) {
      mt[i] = (mt[i] ^ ((mt[i - 1] ^ (mt[i - 1] >> 30)) * 1664525u)) + key[j] + static_cast<uint32_t>(j);
      if (++i >= kN) {
        mt[0] = mt[kN - 1];
        i = 1;
      }
      if (++j >= len) j = 0;
    }
    for (int k = kN - 1; k > 0; --k) {
      mt[i] = (mt[i] ^ ((mt[i - 1] ^ (mt[i - 1] >> 30)) * 1566083941u)) - static_cast<uint32_t>(i);
      if (++i >= kN) {
        mt[0] = mt[kN - 1];
        i = 1;
      }
    }
    mt[0] = 0x80000000u;  // the top bit alone: the state can never be all zero
    pos = kN;
  }

  // The block step: n outputs from the state (mt, pos), tempered by `temper`; emit sees runs of
  // stored words. A position outside 0..n (a state not made here) counts as a used-up block.
  template <class Emit>
  static int32_t run(uint32_t* mt, int32_t& pos, uint32_t a, const Temper& temper, int32_t n, Emit&& emit) {
    if (n <= 0) return TARR_STATUS_OK;
    if (pos < 0 || pos > kN) pos = kN;
    int32_t done = std::min(n, kN - pos);
    if (done > 0) emit(0, TemperedWords{mt + pos, temper}, done);
    pos += done;
    if (done == n) return TARR_STATUS_OK;
    constexpr int32_t kSpan = S::kBlocks * kN;
    alignas(64) uint32_t space[16 + kN + kSpan + 16];
    uint32_t* buf = space + 16;
    std::memcpy(buf, mt, sizeof(uint32_t) * kN);
    for (;;) {
      const int32_t blocks = std::min<int32_t>(S::kBlocks, (n - done + kN - 1) / kN);
      extend<S>(buf, blocks * kN, a);
      const int32_t take = std::min(n - done, blocks * kN);
      emit(done, TemperedWords{buf + kN, temper}, take);
      done += take;
      if (done == n) {
        // The last block generated is the new state; `take` ends inside it (or at its end).
        std::memcpy(mt, buf + blocks * kN, sizeof(uint32_t) * kN);
        pos = take - (blocks - 1) * kN;
        return TARR_STATUS_OK;
      }
      std::memcpy(buf, buf + blocks * kN, sizeof(uint32_t) * kN);
    }
  }
};

}  // namespace zorp::rng::mt
