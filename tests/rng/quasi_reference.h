// Scalar constructions of the two quasi-random sequences, written from the classic definitions
// and not from the library's code: Sobol's direction numbers by the Bratley-Fox recurrence on
// shifted numbers, Niederreiter's generator matrices from the power series of 1/p in 1/x, and
// every point from the Gray code of its index directly (the library steps from point to point).
#pragma once
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

// Row j = q e + u of dimension p's matrix is the series of x^(e-u-1) / p^(q+1) in y = 1/x, which is
// y^(j+1) / P(y)^(q+1) with P(y) = y^e p(1/y); entry (j, r) is its coefficient of y^(r+1).
inline Directions niederreiter_directions(uint32_t p) {
  int e = 0;
  while (p >> (e + 1)) ++e;
  std::vector<int> P(static_cast<size_t>(e) + 1), inv(33, 0), pw(33, 0);
  for (int k = 0; k <= e; ++k) P[static_cast<size_t>(k)] = p >> (e - k) & 1;  // P(0) = 1
  inv[0] = 1;
  for (int n = 1; n <= 32; ++n)
    for (int k = 1; k <= std::min(n, e); ++k) inv[n] ^= P[k] & inv[n - k];
  Directions v{};
  pw[0] = 1;
  for (int j = 0; j < 32; ++j) {
    if (j % e == 0) {  // pw = inv^(q+1)
      std::vector<int> next(33, 0);
      for (int a = 0; a <= 32; ++a)
        for (int b = 0; a + b <= 32; ++b) next[a + b] ^= pw[a] & inv[b];
      pw = next;
    }
    for (int r = j; r < 32; ++r)
      if (pw[r - j]) v[r] |= 1u << (31 - j);
  }
  return v;
}

// The first irreducible polynomials over GF(2) as published: x, x + 1, x^2 + x + 1, ...
inline const std::vector<uint32_t>& irreducible_published() {
  static const std::vector<uint32_t> t = {2, 3, 7, 11, 13, 19, 25, 31, 37, 41, 47, 55, 59, 61, 67, 73, 87, 91};
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
inline std::vector<Directions> niederreiter_builtin(uint32_t d) {
  std::vector<Directions> v;
  for (uint32_t i = 0; i < d && i < irreducible_published().size(); ++i) v.push_back(niederreiter_directions(irreducible_published()[i]));
  return v;
}

}  // namespace ref
