// Normal variates on the frame: the three Gaussian methods as transforms that Gaussian,
// Lognormal, Gamma and ChiSquare share. Each writes n values a + sigma * z into r and returns 0
// or the stream's negative status; blocks already written stay written.
#pragma once
#include "dist/frame.h"

namespace zorp::dist {

inline constexpr int32_t kPairBlock = 512;     // Box-Muller pairs per block (1024 uniforms)
inline constexpr int32_t kSingleBlock = 1024;  // one-output Box-Muller: results per block

// Box-Muller on k pairs held apart: u1 becomes R = sqrt(-2 ln u1), u2 becomes sin(2 pi u2) and
// c receives cos(2 pi u2). The kernels work element by element, so a pair gives the same
// values whether it is computed inside a block or alone (the split rule of method 1 needs it).
template <typename T>
inline void box_muller(const Frame<T>& f, int32_t k, T* u1, T* u2, T* c) {
  const Vec<T> minus_two = simd::splat(T(-2)), two_pi = simd::splat(Precision<T>::kTwoPi);
  f.ln(k, u1);
  each(k, u1, [&](Vec<T> v) { return simd::mul(minus_two, v); });
  f.sqrt(k, u1);
  each(k, u2, [&](Vec<T> v) { return simd::mul(two_pi, v); });
  f.sincos(k, u2, c);
}

// Method 1: both outputs of each pair, the sine first. `pending` is the stream's pair chunk:
// a pair whose cosine output is still owed goes there at the end of a call and comes first
// in the next one, so any split of a request gives the values of one call.
template <typename T>
int32_t normals_pairs(const Frame<T>& f, T* pending, int32_t n, T* r, T a, T sigma) {
  alignas(64) T u1[kPairBlock], u2[kPairBlock], c[kPairBlock];
  int32_t i = 0;
  if (n > 0 && pending[0] != T(-1)) {
    u1[0] = pending[0];
    u2[0] = pending[1];
    box_muller(f, 1, u1, u2, c);
    r[0] = simd::fma(sigma, u1[0] * c[0], a);
    pending[0] = pending[1] = T(-1);
    i = 1;
  }
  const Vec<T> s = simd::splat(sigma), h = simd::splat(a);
  constexpr int L = kLanes<T>;
  while (n - i >= 2) {
    const int32_t k = std::min(kPairBlock, (n - i) / 2);
    T* out = r + i;
    if (const int32_t st = f.uniform(2 * k, out, T(0), T(1)); st < 0) return st;
    split_pairs(k, out, u1, u2);
    box_muller(f, k, u1, u2, c);
    int32_t j = 0;
    for (; j + L <= k; j += L) {
      const Vec<T> rad = simd::load(u1 + j);
      const Vec<T> zs = simd::mul(rad, simd::load(u2 + j)), zc = simd::mul(rad, simd::load(c + j));
      simd::store(out + 2 * j, simd::fma(s, simd::interleave_low(zs, zc), h));
      simd::store(out + 2 * j + L, simd::fma(s, simd::interleave_high(zs, zc), h));
    }
    if (j < k) {
      const auto m = simd::first_lanes<T>(k - j);
      const Vec<T> rad = simd::load_zero(m, u1 + j);
      const Vec<T> zs = simd::mul(rad, simd::load_zero(m, u2 + j)), zc = simd::mul(rad, simd::load_zero(m, c + j));
      const int32_t left = 2 * (k - j);
      simd::store(out + 2 * j, simd::first_lanes<T>(left), simd::fma(s, simd::interleave_low(zs, zc), h));
      if (left > L) simd::store(out + 2 * j + L, simd::first_lanes<T>(left - L), simd::fma(s, simd::interleave_high(zs, zc), h));
    }
    i += 2 * k;
  }
  if (i < n) {  // one output left: its pair's cosine is owed to the next call
    T pair[2];
    if (const int32_t st = f.uniform(2, pair, T(0), T(1)); st < 0) return st;
    pending[0] = u1[0] = pair[0];
    pending[1] = u2[0] = pair[1];
    box_muller(f, 1, u1, u2, c);
    r[i] = simd::fma(sigma, u1[0] * u2[0], a);
  }
  return TARR_STATUS_OK;
}

// Method 0: one output per pair, R sin(2 pi u2).
template <typename T>
int32_t normals_single(const Frame<T>& f, int32_t n, T* r, T a, T sigma) {
  alignas(64) T work[2 * kSingleBlock];
  const Vec<T> s = simd::splat(sigma), h = simd::splat(a);
  const Vec<T> minus_two = simd::splat(T(-2)), two_pi = simd::splat(Precision<T>::kTwoPi);
  return in_blocks(n, kSingleBlock, [&](int32_t i, int32_t k) {
    if (const int32_t st = f.uniform(2 * k, work, T(0), T(1)); st < 0) return st;
    T* rad = r + i;
    split_pairs(k, work, rad, work);
    each(k, work, [&](Vec<T> v) { return simd::mul(two_pi, v); });
    f.sin(k, work);
    f.ln(k, rad);
    each(k, rad, [&](Vec<T> v) { return simd::mul(minus_two, v); });
    f.sqrt(k, rad);
    each(k, rad, work, [&](Vec<T> v, Vec<T> t) { return simd::fma(simd::mul(s, v), t, h); });
    return TARR_STATUS_OK;
  });
}

// Method 2: the inverse distribution function, sqrt(2) ErfInv(u) for u on [-1, 1).
template <typename T>
int32_t normals_inverse(const Frame<T>& f, int32_t n, T* r, T a, T sigma) {
  const T scale = sigma * Precision<T>::kSqrt2;
  return in_blocks(n, Precision<T>::kBlock, [&](int32_t i, int32_t k) {
    if (const int32_t st = f.uniform(k, r + i, T(-1), T(1)); st < 0) return st;
    f.erfinv(k, r + i);
    affine(k, r + i, scale, a);
    return TARR_STATUS_OK;
  });
}

}  // namespace zorp::dist
