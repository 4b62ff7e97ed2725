// Scalar constructions of the two quasi-random sequences, written from the classic definitions
// and not from the library's code: Sobol's direction numbers by the Bratley-Fox recurrence on
// shifted numbers, Niederreiter's generator matrices as Bratley, Fox and Niederreiter's base-2
// program computes them (its steps on polynomials held as bits), and every point from the Gray
// code of its index directly (the library steps from point to point).
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

// Polynomials over GF(2) as bits (bit k the coefficient of x^k): their degree and product.
inline int degree(uint64_t a) { return 63 - __builtin_clzll(a); }
inline uint64_t gf2_product(uint64_t a, uint64_t b) {
  uint64_t c = 0;
  for (int k = 0; b >> k; ++k)
    if (b >> k & 1) c ^= a << k;
  return c;
}

// The base-2 program of Bratley, Fox and Niederreiter (ACM TOMS 738, 1992), widened from its 31
// bits to 32, for one dimension with polynomial p of degree e. Its CALCV: each e rows B becomes
// p times B, and V (bit r of v is V(r)) is zero below the degree B had, 1 from there up to the new
// degree m (the program's free values are 1), then V(r + m) from the recurrence of B. Its CALCC2:
// row j takes C(j, r) = V(r + u), u counting 0 .. e - 1 over the rows of one power; CJ(r) packs
// C(1, r) .. C(32, r), C(1, r) the most significant bit.
inline Directions niederreiter_directions(uint32_t p) {
  const int e = degree(p);
  uint64_t b = 1, v = 0;
  Directions cj{};
  for (int j = 0, u = 0; j < 32; ++j, u = (u + 1) % e) {
    if (u == 0) {
      const int from = degree(b);
      b = gf2_product(b, p);
      const int m = degree(b);
      v = ((uint64_t{1} << m) - 1) & ~((uint64_t{1} << from) - 1);
      for (int r = 0; r + m < 32 + e; ++r) v |= uint64_t(__builtin_parityll(b & (v >> r) & ((uint64_t{1} << m) - 1))) << (r + m);
    }
    for (int r = 0; r < 32; ++r) cj[static_cast<size_t>(r)] |= static_cast<uint32_t>(v >> (r + u) & 1) << (31 - j);
  }
  return cj;
}

// The first irreducible polynomials over GF(2) as the program's base-2 table lists them (x, x + 1,
// x^2 + x + 1, x^3 + x + 1, ...; its DATA statement gives coefficients from x^0 up).
inline const std::vector<uint32_t>& irreducible_published() {
  static const std::vector<uint32_t> t = {2, 3, 7, 11, 13, 19, 25, 31, 37, 41, 47, 55};
  return t;
}

// The irreducible polynomials of degree up to 11 (412 of them) in increasing order, each found by
// trial division by every polynomial of degree at least 1 and at most half its own.
inline const std::vector<uint32_t>& irreducible_sieve() {
  static const std::vector<uint32_t> t = [] {
    std::vector<uint32_t> out;
    for (uint32_t q = 2; q < 4096; ++q) {
      bool irreducible = true;
      for (uint32_t a = 2; irreducible && 2 * degree(a) <= degree(q); ++a) {
        uint32_t r = q;  // q mod a
        while (r && degree(r) >= degree(a)) r ^= a << (degree(r) - degree(a));
        irreducible = r != 0;
      }
      if (irreducible) out.push_back(q);
    }
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
