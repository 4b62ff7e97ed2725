// The generators that invert a distribution function on one uniform per result (two for
// Laplace): Uniform, Exponential, Laplace, Weibull, Cauchy, Rayleigh and Gumbel.
#include "dist/frame.h"
#include "zorp/export.h"

namespace zorp::dist {
namespace {

template <typename T>
Vec<T> negate(Vec<T> v) {
  return simd::flip_bits(v, simd::bits(T(-0.0)));
}

// The stream's own output; with the accurate flag nothing leaves [a, b], whatever the
// generator's rounding of its scale did at the ends.
template <typename T>
int32_t uniform(uint32_t method, StreamState* stream, int32_t n, T* r, T a, T b) {
  if (n < 1) return TARR_STATUS_OK;
  const Source<T> source = source_of<T>(stream);
  if (!source) return TARR_ERROR_INVALID_BRNG;
  const int32_t status = source(stream, n, r, a, b);
  if (status < 0) return status;
  if (method & kAccurate) {
    const Vec<T> lo = simd::splat(a), hi = simd::splat(b);
    each(n, r, [&](Vec<T> v) { return simd::min(hi, simd::max(lo, v)); });
  }
  return status;
}

// The inversions below all start from uniforms on [0, 1) and a logarithm.
template <typename T>
int32_t logs_of_uniforms(const Frame<T>& f, int32_t k, T* r) {
  if (const int32_t st = f.uniform(k, r, T(0), T(1)); st < 0) return st;
  f.ln(k, r);
  return TARR_STATUS_OK;
}

// a - beta ln u.
template <typename T>
int32_t exponential(uint32_t method, StreamState* stream, int32_t n, T* r, T a, T beta) {
  const Vec<T> s = simd::splat(beta), h = simd::splat(a);
  return on_frame<T>(stream, n, log_floor_any<T>, long_block<T>(), [&](const Frame<T>& f, int32_t i, int32_t k) {
    if (const int32_t st = logs_of_uniforms(f, k, r + i); st < 0) return st;
    if (method & kAccurate) each(k, r + i, [&](Vec<T> v) { return simd::max(h, simd::fnma(s, v, h)); });
    else each(k, r + i, [&](Vec<T> v) { return simd::fnma(s, v, h); });
    return TARR_STATUS_OK;
  });
}

// a + beta ln u1 or a - beta ln u1 as u2 is above 1/2 or not: the exponential tail on either side.
template <typename T>
int32_t laplace(StreamState* stream, int32_t n, T* r, T a, T beta) {
  constexpr int32_t kBlock = 1024;
  alignas(64) T work[2 * kBlock];
  const Vec<T> up = simd::splat(beta), down = simd::splat(-beta), h = simd::splat(a), half = simd::splat(T(0.5));
  return on_frame<T>(stream, n, log_floor_any<T>, kBlock, [&](const Frame<T>& f, int32_t i, int32_t k) {
    if (const int32_t st = f.uniform(2 * k, work, T(0), T(1)); st < 0) return st;
    split_pairs(k, work, r + i, work);
    f.ln(k, r + i);
    each(k, r + i, work, [&](Vec<T> v, Vec<T> u2) { return simd::fma(simd::select(simd::less(half, u2), up, down), v, h); });
    return TARR_STATUS_OK;
  });
}

// a + beta (-ln u)^(1/alpha).
template <typename T>
int32_t weibull(uint32_t method, StreamState* stream, int32_t n, T* r, T alpha, T a, T beta) {
  const T power = T(1) / alpha;
  return on_frame<T>(stream, n, log_floor_sing<T>, long_block<T>(), [&](const Frame<T>& f, int32_t i, int32_t k) {
    if (const int32_t st = logs_of_uniforms(f, k, r + i); st < 0) return st;
    each(k, r + i, [](Vec<T> v) { return negate<T>(v); });
    f.powx(k, r + i, power);
    affine(k, r + i, beta, a);
    if (method & kAccurate) clamp_below(k, r + i, a);
    return TARR_STATUS_OK;
  });
}

// a + beta tan(u), u on [-pi/2, pi/2): nothing to fix up, so the caller's state stays.
template <typename T>
int32_t cauchy(StreamState* stream, int32_t n, T* r, T a, T beta) {
  return on_frame<T>(stream, n, nullptr, long_block<T>(), [&](const Frame<T>& f, int32_t i, int32_t k) {
    if (const int32_t st = f.uniform(k, r + i, -Precision<T>::kHalfPi, Precision<T>::kHalfPi); st < 0) return st;
    f.tan(k, r + i);
    affine(k, r + i, beta, a);
    return TARR_STATUS_OK;
  });
}

// a + beta sqrt(-ln u): the scale is beta itself, with no factor 2 under the root.
template <typename T>
int32_t rayleigh(uint32_t method, StreamState* stream, int32_t n, T* r, T a, T beta) {
  return on_frame<T>(stream, n, log_floor_sing<T>, long_block<T>(), [&](const Frame<T>& f, int32_t i, int32_t k) {
    if (const int32_t st = logs_of_uniforms(f, k, r + i); st < 0) return st;
    each(k, r + i, [](Vec<T> v) { return negate<T>(v); });
    f.sqrt(k, r + i);
    affine(k, r + i, beta, a);
    if (method & kAccurate) clamp_below(k, r + i, a);
    return TARR_STATUS_OK;
  });
}

// a + beta ln(-ln u): the distribution of the smallest value (its density leans to the left).
template <typename T>
int32_t gumbel(StreamState* stream, int32_t n, T* r, T a, T beta) {
  return on_frame<T>(stream, n, log_floor_any<T>, long_block<T>(), [&](const Frame<T>& f, int32_t i, int32_t k) {
    if (const int32_t st = logs_of_uniforms(f, k, r + i); st < 0) return st;
    each(k, r + i, [](Vec<T> v) { return negate<T>(v); });
    f.ln(k, r + i);
    affine(k, r + i, beta, a);
    return TARR_STATUS_OK;
  });
}

}  // namespace
}  // namespace zorp::dist

using namespace zorp::dist;

extern "C" {
ZORP_API int32_t _tarrdRngUniform(int32_t method, StreamState* stream, int32_t n, double* r, double a, double b) {
  return uniform<double>(method, stream, n, r, a, b);
}
ZORP_API int32_t _tarrsRngUniform(int32_t method, StreamState* stream, int32_t n, float* r, float a, float b) {
  return uniform<float>(method, stream, n, r, a, b);
}
ZORP_API int32_t _tarrdRngExponential(int32_t method, StreamState* stream, int32_t n, double* r, double a, double beta) {
  return exponential<double>(method, stream, n, r, a, beta);
}
ZORP_API int32_t _tarrsRngExponential(int32_t method, StreamState* stream, int32_t n, float* r, float a, float beta) {
  return exponential<float>(method, stream, n, r, a, beta);
}
ZORP_API int32_t _tarrdRngLaplace(int32_t, StreamState* stream, int32_t n, double* r, double a, double beta) {
  return laplace<double>(stream, n, r, a, beta);
}
ZORP_API int32_t _tarrsRngLaplace(int32_t, StreamState* stream, int32_t n, float* r, float a, float beta) {
  return laplace<float>(stream, n, r, a, beta);
}
ZORP_API int32_t _tarrdRngWeibull(int32_t method, StreamState* stream, int32_t n, double* r, double alpha, double a,
                                  double beta) {
  return weibull<double>(method, stream, n, r, alpha, a, beta);
}
ZORP_API int32_t _tarrsRngWeibull(int32_t method, StreamState* stream, int32_t n, float* r, float alpha, float a,
                                  float beta) {
  return weibull<float>(method, stream, n, r, alpha, a, beta);
}
ZORP_API int32_t _tarrdRngCauchy(int32_t, StreamState* stream, int32_t n, double* r, double a, double beta) {
  return cauchy<double>(stream, n, r, a, beta);
}
ZORP_API int32_t _tarrsRngCauchy(int32_t, StreamState* stream, int32_t n, float* r, float a, float beta) {
  return cauchy<float>(stream, n, r, a, beta);
}
ZORP_API int32_t _tarrdRngRayleigh(int32_t method, StreamState* stream, int32_t n, double* r, double a, double beta) {
  return rayleigh<double>(method, stream, n, r, a, beta);
}
ZORP_API int32_t _tarrsRngRayleigh(int32_t method, StreamState* stream, int32_t n, float* r, float a, float beta) {
  return rayleigh<float>(method, stream, n, r, a, beta);
}
ZORP_API int32_t _tarrdRngGumbel(int32_t, StreamState* stream, int32_t n, double* r, double a, double beta) {
  return gumbel<double>(stream, n, r, a, beta);
}
ZORP_API int32_t _tarrsRngGumbel(int32_t, StreamState* stream, int32_t n, float* r, float a, float beta) {
  return gumbel<float>(stream, n, r, a, beta);
}
}
