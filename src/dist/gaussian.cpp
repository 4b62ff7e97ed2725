// Gaussian (methods 0, 1, 2) and Lognormal.
#include "dist/normal.h"
#include "zorp/export.h"

namespace zorp::dist {
namespace {

template <typename T>
int32_t gaussian(uint32_t method, StreamState* stream, int32_t n, T* r, T a, T sigma) {
  if (n < 1) return TARR_STATUS_OK;
  const Source<T> source = source_of<T>(stream);
  if (!source) return TARR_ERROR_INVALID_BRNG;
  switch (method & ~kAccurate) {
    case 0: {
      Frame<T> f(stream, source, normal_fix<T>);
      return normals_single(f, n, r, a, sigma);
    }
    case 1: {
      int32_t status;
      T* pending = pending_pair<T>(stream, Precision<T>::kGaussianChunk, &status);
      if (!pending) return status;
      Frame<T> f(stream, source, normal_fix<T>);
      return normals_pairs(f, pending, n, r, a, sigma);
    }
    case 2: {
      Frame<T> f(stream, source, normal_fix<T>);
      return normals_inverse(f, n, r, a, sigma);
    }
    default:
      return TARR_ERROR_UNKNOWN_METHOD;
  }
}

// b + beta exp(N(a, sigma)). The whole word 0 draws the normals by pairs; any other word
// (the accurate variant of method 0 among them) by the inverse distribution function.
template <typename T>
int32_t lognormal(uint32_t method, StreamState* stream, int32_t n, T* r, T a, T sigma, T b, T beta) {
  if (n < 1) return TARR_STATUS_OK;
  const Source<T> source = source_of<T>(stream);
  if (!source) return TARR_ERROR_INVALID_BRNG;
  T* pending = nullptr;
  if (method == 0) {
    int32_t status;
    pending = pending_pair<T>(stream, Precision<T>::kGaussianChunk, &status);
    if (!pending) return status;
  }
  Frame<T> f(stream, source, normal_fix<T>);
  // A block of pairwise normals is one draw of the stream (a block of the inverse method is one
  // too), so a failing draw leaves whole blocks written, never normals not yet transformed.
  const int32_t block = pending ? 2 * kPairBlock : Precision<T>::kBlock;
  return in_blocks(n, block, [&](int32_t i, int32_t k) {
    const int32_t st = pending ? normals_pairs(f, pending, k, r + i, a, sigma) : normals_inverse(f, k, r + i, a, sigma);
    if (st < 0) return st;
    f.exp(k, r + i);
    affine(k, r + i, beta, b);
    if (method & kAccurate) clamp_below(k, r + i, b);
    return TARR_STATUS_OK;
  });
}

}  // namespace
}  // namespace zorp::dist

using zorp::dist::gaussian;
using zorp::dist::lognormal;

extern "C" {
ZORP_API int32_t _tarrdRngGaussian(int32_t method, StreamState* stream, int32_t n, double* r, double a, double sigma) {
  return gaussian(method, stream, n, r, a, sigma);
}
ZORP_API int32_t _tarrsRngGaussian(int32_t method, StreamState* stream, int32_t n, float* r, float a, float sigma) {
  return gaussian(method, stream, n, r, a, sigma);
}
ZORP_API int32_t _tarrdRngLognormal(int32_t method, StreamState* stream, int32_t n, double* r, double a, double sigma,
                                    double b, double beta) {
  return lognormal(method, stream, n, r, a, sigma, b, beta);
}
ZORP_API int32_t _tarrsRngLognormal(int32_t method, StreamState* stream, int32_t n, float* r, float a, float sigma,
                                    float b, float beta) {
  return lognormal(method, stream, n, r, a, sigma, b, beta);
}
}
