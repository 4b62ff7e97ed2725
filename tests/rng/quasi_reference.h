// Scalar constructions of the two quasi-random sequences, written from the classic definitions
// and not from the library's code: Sobol's direction numbers by the Bratley-Fox recurrence on
// shifted numbers, Niederreiter's generator matrices as Bratley, Fox and Niederreiter's base-2
// program computes them (its steps on arrays of coefficients, one per entry), and every point
// from the Gray code of its index directly (the library steps from point to point).
#pragma once
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "zorp/rng.h"

namespace ref {

using Directions = std::array<uint32_t, 32>;  // number b is used for bit b of the Gray code

// Published initial values (Bratley and Fox) of the first Sobol dimensions after the first:
// polynomial (x^s + ... + 1 as bits) and m_1 .. m_s.
struct SobolInit {
  uint32_t poly;
  std::vector<uint32_t> m;
};
inline const std::vector<SobolInit>& sobol_published() {
  static const std::vector<SobolInit> t = {
      {3, {1}},          {7, {1, 1}},          {11, {1, 3, 7}},         {13, {1, 1, 5}},
      {19, {1, 3, 1, 1}}, {25, {1, 1, 3, 7}}, {37, {1, 3, 3, 9, 9}}, {59, {1, 3, 7, 13, 3}}};
  return t;
}

// V_i = V_(i-s) ^ (V_(i-s) >> s) ^ XOR over k < s of a_k V_(i-k), on numbers already scaled to
// 32 bits; dimension 1 (poly 1) is the identity.
inline Directions sobol_directions(uint32_t poly, const std::vector<uint32_t>& m) {
  Directions v{};
  int s = 0;
  while (poly >> (s + 1)) ++s;
  for (int i = 0; i < 32; ++i) {
    if (s == 0) {
      v[i] = 1u << (31 - i);
    } else if (i < s) {
      v[i] = m[i] << (31 - i);
    } else {
      uint32_t x = v[i - s] ^ (v[i - s] >> s);
      for (int k = 1; k < s; ++k)
        if (poly >> (s - k) & 1) x ^= v[i - k];
      v[i] = x;
    }
  }
  return v;
}

// The base-2 program of Bratley, Fox and Niederreiter (ACM TOMS 738, 1992), step by step with its
// own names, widened from its 31 bits to 32. Polynomials are arrays of coefficients, index = power.
inline std::vector<int> gf2_multiply(const std::vector<int>& a, const std::vector<int>& b) {
  std::vector<int> c(a.size() + b.size() - 1, 0);
  for (size_t i = 0; i < a.size(); ++i)
    for (size_t k = 0; k < b.size(); ++k) c[i + k] ^= a[i] & b[k];
  return c;
}

// CALCV: B becomes PX * B, and V the values of its section 3.3: zero below BIGM (the degree B had
// on entry), 1 at KJ = BIGM, the free values from there up to M - 1 (the program's ARBIT() is 1;
// with KJ = BIGM the program never takes its other branch), then V(R + M) from the recurrence of B.
inline void calcv(const std::vector<int>& px, std::vector<int>& b, std::vector<int>& v) {
  const int bigm = static_cast<int>(b.size()) - 1;
  b = gf2_multiply(px, b);
  const int m = static_cast<int>(b.size()) - 1;
  const int kj = bigm;
  std::fill(v.begin(), v.end(), 0);
  v[static_cast<size_t>(kj)] = 1;
  for (int r = kj + 1; r < m; ++r) v[static_cast<size_t>(r)] = 1;
  for (int r = 0; r + m < static_cast<int>(v.size()); ++r) {
    int term = 0;
    for (int i = 0; i < m; ++i) term ^= b[static_cast<size_t>(i)] & v[static_cast<size_t>(r + i)];
    v[static_cast<size_t>(r + m)] = term;
  }
}

// CALCC2 for one dimension: C(J, R) = V(R + U) for J = 1 .. NBITS, a new power each E rows; then
// CJ(R) packs C(1, R) .. C(NBITS, R), C(1, R) the most significant. Here NBITS = 32.
inline Directions niederreiter_directions(uint32_t p) {
  constexpr int nbits = 32;
  std::vector<int> px;
  for (uint32_t q = p; q; q >>= 1) px.push_back(static_cast<int>(q & 1));
  const int e = static_cast<int>(px.size()) - 1;
  std::vector<int> b = {1}, v(static_cast<size_t>(nbits + e), 0);
  std::vector<std::array<int, nbits>> ci(nbits + 1);
  int u = 0;
  for (int j = 1; j <= nbits; ++j) {
    if (u == 0) calcv(px, b, v);
    for (int r = 0; r < nbits; ++r) ci[static_cast<size_t>(j)][static_cast<size_t>(r)] = v[static_cast<size_t>(r + u)];
    if (++u == e) u = 0;
  }
  Directions cj{};
  for (int r = 0; r < nbits; ++r) {
    uint32_t term = 0;
    for (int j = 1; j <= nbits; ++j) term = 2 * term + static_cast<uint32_t>(ci[static_cast<size_t>(j)][static_cast<size_t>(r)]);
    cj[static_cast<size_t>(r)] = term;
  }
  return cj;
}

// The first irreducible polynomials over GF(2) as the program's base-2 table lists them (x, x + 1,
// x^2 + x + 1, x^3 + x + 1, ...; its DATA statement gives coefficients from x^0 up).
inline const std::vector<uint32_t>& irreducible_published() {
  static const std::vector<uint32_t> t = {2, 3, 7, 11, 13, 19, 25, 31, 37, 41, 47, 55};
  return t;
}

// The irreducible polynomials of degree up to 11 (412 of them) by the sieve of the authors' table
// generator: the monic polynomials in increasing order, each product of two of them struck out (a
// reducible polynomial of degree 11 or less has a factor of degree 5 or less).
inline const std::vector<uint32_t>& irreducible_sieve() {
  static const std::vector<uint32_t> t = [] {
    constexpr uint32_t kLimit = 1u << 12;
    std::vector<bool> struck(kLimit, false);
    for (uint32_t a = 2; a < 64; ++a)
      for (uint32_t c = a; c < kLimit; ++c) {
        uint64_t prod = 0;
        for (uint32_t k = 0; k < 12; ++k)
          if (c >> k & 1) prod ^= uint64_t{a} << k;
        if (prod < kLimit) struck[prod] = true;
      }
    std::vector<uint32_t> out;
    for (uint32_t q = 2; q < kLimit; ++q)
      if (!struck[q]) out.push_back(q);
    return out;
  }();
  return t;
}

// A quasi-random stream from its position words (index, dimension, selected, coordinates left).
struct Quasi {
  std::vector<Directions> dirs;
  uint32_t index = 1, dim = 1, selected = 0xFFFFFFFFu, left = 0;
  Quasi() = default;
  Quasi(std::vector<Directions> d, const StreamState* s) : dirs(std::move(d)) {
    uint32_t w[4];
    std::memcpy(w, reinterpret_cast<const uint8_t*>(s) + 16, sizeof w);
    index = w[0], dim = w[1], selected = w[2], left = w[3];
  }
  uint32_t coordinate(uint32_t n, uint32_t i) const {
    uint32_t x = 0;
    for (uint32_t g = n ^ (n >> 1), b = 0; g; g >>= 1, ++b)
      if (g & 1) x ^= dirs[i][b];
    return x;
  }
  uint64_t next() {
    if (selected != 0xFFFFFFFFu) return coordinate(index++, selected);
    const uint32_t i = left ? dim - left : 0;
    const uint32_t x = coordinate(index, i);
    left = i + 1 == dim ? 0 : dim - i - 1;
    if (!left) ++index;
    return x;
  }
};

inline std::vector<Directions> sobol_builtin(uint32_t d) {
  std::vector<Directions> v;
  for (uint32_t i = 0; i < d && i <= sobol_published().size(); ++i)
    v.push_back(i == 0 ? sobol_directions(1, {}) : sobol_directions(sobol_published()[i - 1].poly, sobol_published()[i - 1].m));
  return v;
}
// Every built-in dimension (318).
inline std::vector<Directions> niederreiter_builtin(uint32_t d) {
  std::vector<Directions> v;
  for (uint32_t i = 0; i < d && i < 318; ++i) v.push_back(niederreiter_directions(irreducible_sieve()[i]));
  return v;
}

}  // namespace ref
