// Plain scalar models of the generators, written from their definitions with ordinary scalar
// arithmetic (% for the congruential ones, one word at a time for the twisters), to check the
// library's vector loops and its skip-ahead and leapfrog arithmetic.
#pragma once
#include <cmath>
#include <cstdint>
#include <cstring>
#include "simd/isa.h"
#include <vector>

#include "zorp/rng.h"

namespace ref {

constexpr uint64_t kM31 = 2147483647, kM59 = uint64_t{1} << 59;
constexpr int64_t kM1 = 4294967087, kM2 = 4294944443;

inline const uint8_t* state_bytes(const StreamState* s) { return reinterpret_cast<const uint8_t*>(s) + 16; }

struct Mcg31 {
  uint64_t x, a;
  explicit Mcg31(const StreamState* s) {
    uint32_t w[2];
    std::memcpy(w, state_bytes(s), 8);
    x = w[0];
    a = w[1];
  }
  uint64_t next() {
    const uint64_t r = x;
    x = a * x % kM31;
    return r;
  }
};

struct Mcg59 {
  uint64_t x, a;
  explicit Mcg59(const StreamState* s) {
    std::memcpy(&x, state_bytes(s), 8);
    std::memcpy(&a, state_bytes(s) + 8, 8);
  }
  uint64_t next() {
    const uint64_t r = x;
    x = (a * x) % kM59;
    return r;
  }
};

struct Mrg32k3a {
  int64_t x1[3], x2[3];
  explicit Mrg32k3a(const StreamState* s) {
    uint32_t w[6];
    std::memcpy(w, state_bytes(s), 24);
    for (int i = 0; i < 3; ++i) x1[i] = w[i], x2[i] = w[3 + i];
  }
  static int64_t mod(__int128 v, int64_t m) {
    int64_t r = static_cast<int64_t>(v % m);
    return r < 0 ? r + m : r;
  }
  uint64_t next() {
    const int64_t y1 = mod(__int128(1403580) * x1[1] - __int128(810728) * x1[0], kM1);
    const int64_t y2 = mod(__int128(527612) * x2[2] - __int128(1370589) * x2[0], kM2);
    x1[0] = x1[1], x1[1] = x1[2], x1[2] = y1;
    x2[0] = x2[1], x2[1] = x2[2], x2[2] = y2;
    return static_cast<uint64_t>(y1 > y2 ? y1 - y2 : y1 - y2 + kM1);
  }
};

struct R250 {
  uint32_t w[250];
  int i, j;
  explicit R250(const StreamState* s) {
    std::memcpy(w, state_bytes(s), 1000);
    std::memcpy(&i, state_bytes(s) + 1000, 4);
    std::memcpy(&j, state_bytes(s) + 1004, 4);
  }
  uint64_t next() {
    const uint32_t r = w[i] ^ w[j];
    w[i] = r;
    i = (i + 1) % 250;
    j = (j + 1) % 250;
    return r;
  }
};

// WH needs the member's moduli: the test passes them in.
struct Wh {
  uint64_t x[4], a[4], m[4];
  double rc[4];
  Wh(const StreamState* s, const uint32_t* moduli, const double* recip) {
    uint32_t w[8];
    std::memcpy(w, state_bytes(s), 32);
    for (int c = 0; c < 4; ++c) x[c] = w[c], a[c] = w[4 + c], m[c] = moduli[c], rc[c] = recip[c];
  }
  void step() {
    for (int c = 0; c < 4; ++c) x[c] = a[c] * x[c] % m[c];
  }
  double unit() const {
    double s = static_cast<double>(x[0]) * rc[0];
    for (int c = 1; c < 4; ++c) s = std::fma(static_cast<double>(x[c]), rc[c], s);
    return s - std::trunc(s);
  }
};

// The Mersenne twister recurrence one word at a time, from a stream's state (n words, then the
// position; MT2203 keeps a, b, c after them).
struct Twister {
  int n, m, u;
  uint32_t upper, a, b, c;
  std::vector<uint32_t> mt;
  int pos;
  Twister(const StreamState* s, int n_, int m_, int r, uint32_t a_, uint32_t b_, uint32_t c_, int u_)
      : n(n_), m(m_), u(u_), upper(~((1u << r) - 1)), a(a_), b(b_), c(c_), mt(static_cast<size_t>(n_)) {
    std::memcpy(mt.data(), state_bytes(s), 4 * static_cast<size_t>(n));
    std::memcpy(&pos, state_bytes(s) + 4 * n, 4);
  }
  uint64_t next() {
    if (pos >= n) {
      for (int i = 0; i < n; ++i) {
        const uint32_t y = (mt[i] & upper) | (mt[(i + 1) % n] & ~upper);
        mt[i] = mt[(i + m) % n] ^ (y >> 1) ^ ((y & 1) ? a : 0);
      }
      pos = 0;
    }
    uint32_t y = mt[pos++];
    y ^= y >> u;
    y ^= (y << 7) & b;
    y ^= (y << 15) & c;
    return y ^ (y >> 18);
  }
};

// SFMT19937 with plain 32-bit words: the carry-over first, then the state from the position.
struct Sfmt {
  uint32_t w[624];
  uint32_t pos, carry[3], next_carry, carried;
  explicit Sfmt(const StreamState* s) {
    std::memcpy(w, state_bytes(s), sizeof w);
    std::memcpy(&pos, state_bytes(s) + 2496, 4);
    std::memcpy(carry, state_bytes(s) + 2500, 12);
    std::memcpy(&next_carry, state_bytes(s) + 2512, 4);
    std::memcpy(&carried, state_bytes(s) + 2516, 4);
  }
  // One 128-bit step on four-word groups: shifts by 8 bits across the group, 11 and 18 per word.
  void regenerate() {
    static const uint32_t mask[4] = {0xDFFFFFEFu, 0xDDFECB7Fu, 0xBFFAFFFFu, 0xBFFFFFF6u};
    auto g = [this](int i) { return w + 4 * ((i % 156 + 156) % 156); };
    for (int i = 0; i < 156; ++i) {
      const uint32_t *a = g(i), *b = g(i + 122), *c = g(i - 2), *d = g(i - 1);
      uint32_t r[4];
      for (int k = 0; k < 4; ++k) {
        const uint32_t a_shl = (a[k] << 8) | (k ? a[k - 1] >> 24 : 0);
        const uint32_t c_shr = (c[k] >> 8) | (k < 3 ? c[k + 1] << 24 : 0);
        r[k] = a[k] ^ a_shl ^ ((b[k] >> 11) & mask[k]) ^ c_shr ^ (d[k] << 18);
      }
      std::memcpy(g(i), r, sizeof r);
    }
  }
  uint64_t next() {
    if (next_carry < carried) return carry[next_carry++];
    if (pos >= 624) {
      regenerate();
      pos = 0;
    }
    return w[pos++];
  }
};

// The counter-based generators one block at a time, with the stream's word buffer: the key
// words, the 128-bit counter, the count of unused words and the block they come from.
template <int KeyWords, void (*Block)(const uint32_t*, const uint32_t*, uint32_t*)>
struct CounterGen {
  uint32_t key[KeyWords], ctr[4], left, buf[4];
  explicit CounterGen(const StreamState* s) {
    const uint8_t* b = state_bytes(s);
    std::memcpy(key, b, sizeof key);
    std::memcpy(ctr, b + sizeof key, 16);
    std::memcpy(&left, b + sizeof key + 16, 4);
    std::memcpy(buf, b + sizeof key + 20, 16);
  }
  uint64_t next() {
    if (left == 0) {
      Block(key, ctr, buf);
      for (int i = 0; i < 4 && ++ctr[i] == 0; ++i) {
      }
      left = 4;
    }
    return buf[4 - left--];
  }
};

// Philox4x32-10 from its round definition.
inline void philox_block(const uint32_t* k, const uint32_t* c, uint32_t* out) {
  uint32_t x[4] = {c[0], c[1], c[2], c[3]}, k0 = k[0], k1 = k[1];
  for (int round = 0; round < 10; ++round) {
    const uint64_t p0 = uint64_t{0xD2511F53} * x[0], p1 = uint64_t{0xCD9E8D57} * x[2];
    const uint32_t y[4] = {static_cast<uint32_t>(p1 >> 32) ^ x[1] ^ k0, static_cast<uint32_t>(p1),
                           static_cast<uint32_t>(p0 >> 32) ^ x[3] ^ k1, static_cast<uint32_t>(p0)};
    std::memcpy(x, y, sizeof x);
    k0 += 0x9E3779B9;
    k1 += 0xBB67AE85;
  }
  std::memcpy(out, x, sizeof x);
}
using Philox = CounterGen<2, philox_block>;

// ARS-5 one block at a time with the AES round instructions: round keys formed one after the
// other as two 64-bit halves plus the Weyl constants.
__attribute__((target("aes"))) inline void ars5_block(const uint32_t* k, const uint32_t* c, uint32_t* out) {
  uint64_t key[2], ctr[2];
  std::memcpy(key, k, 16);
  std::memcpy(ctr, c, 16);
  __m128i x = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(ctr)),
                            _mm_loadu_si128(reinterpret_cast<const __m128i*>(key)));
  for (int i = 1; i <= 5; ++i) {
    key[0] += 0x9E3779B97F4A7C15ull;
    key[1] += 0xBB67AE8584CAA73Bull;
    const __m128i rk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(key));
    x = i < 5 ? _mm_aesenc_si128(x, rk) : _mm_aesenclast_si128(x, rk);
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), x);
}
using Ars5 = CounterGen<4, ars5_block>;

}  // namespace ref
