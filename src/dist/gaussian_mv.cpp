// The multivariate normal: n vectors x = a + T z of dimension d, z standard normal, T the
// Cholesky factor of the covariance (lower triangular) in one of three storages:
//   0  full d x d, the lower triangle in row order (BLAS reads it as an upper triangle in column
//      order, so the multiply is op = transpose);
//   1  packed lower triangle in column order;
//   2  the diagonal alone (independent coordinates).
// The normals come from the Gaussian generator with the caller's method, so every method and
// the way a request is split keep the scalar generator's sequence; the multiply is the host's.
#include <algorithm>
#include <cstdint>

#include "host/host.h"
#include "zorp/export.h"
#include "zorp/rng.h"

namespace zorp::dist {
namespace {

enum Storage : int32_t { kFull = 0, kPacked = 1, kDiagonal = 2 };
// Small dimensions take the mean from a buffer of whole copies of a, so that the addition runs
// over long contiguous stretches instead of d elements at a time.
constexpr int32_t kSmallDimension = 11, kMeanBuffer = 32;

template <typename T>
struct Blas;
template <>
struct Blas<double> {
  static int32_t gaussian(int32_t m, StreamState* s, int32_t n, double* r, double a, double sigma) {
    return _tarrdRngGaussian(m, s, n, r, a, sigma);
  }
  static constexpr auto trmm_small = zorp_blas_xdtrmm_4fenn;
  static constexpr auto trmm = zorp_blas4fenn_dtrmm;
  static constexpr auto ptrmm = zorp_blas4fenn_dptrmm;
};
template <>
struct Blas<float> {
  static int32_t gaussian(int32_t m, StreamState* s, int32_t n, float* r, float a, float sigma) {
    return _tarrsRngGaussian(m, s, n, r, a, sigma);
  }
  static constexpr auto trmm_small = zorp_blas_xstrmm_4fenn;
  static constexpr auto trmm = zorp_blas4fenn_strmm;
  static constexpr auto ptrmm = zorp_blas4fenn_sptrmm;
};

// r[i*d + j] += a[j] over `vectors` vectors.
template <typename T>
void add_mean(int32_t d, int64_t vectors, T* r, const T* a) {
  if (d < kSmallDimension) {
    const int32_t copies = kMeanBuffer / d, span = copies * d;
    T buffer[kMeanBuffer];
    for (int32_t c = 0; c < copies; ++c) std::copy(a, a + d, buffer + c * d);
    int64_t v = 0;
    for (; v + copies <= vectors; v += copies, r += span)
      for (int32_t j = 0; j < span; ++j) r[j] += buffer[j];
    for (int64_t e = (vectors - v) * d, j = 0; j < e; ++j) r[j] += buffer[j];
    return;
  }
  for (int64_t v = 0; v < vectors; ++v, r += d)
    for (int32_t j = 0; j < d; ++j) r[j] += a[j];
}

template <typename T>
int32_t gaussian_mv(int32_t method, StreamState* stream, int32_t n, T* r, int32_t d, int32_t storage, const T* a,
                    const T* t) {
  if (n < 1) return TARR_STATUS_OK;
  if (d < 1 || storage < kFull || storage > kDiagonal) return TARR_ERROR_BAD_ARGUMENTS;
  if (d == 1) return Blas<T>::gaussian(method, stream, n, r, a[0], t[0]);
  // n*d normals may pass the generator's 32-bit count: a request is drawn in pieces of whole
  // vectors, which the Gaussian generator continues exactly (its pending pair included).
  const int64_t per_call = std::max<int64_t>(1, (int64_t{1} << 30) / d);
  for (int64_t done = 0; done < n;) {
    const int32_t vectors = static_cast<int32_t>(std::min<int64_t>(per_call, n - done));
    T* x = r + done * d;
    const int32_t status = Blas<T>::gaussian(method, stream, vectors * d, x, T(0), T(1));
    if (status < 0) return status;
    const T one = 1;
    switch (storage) {
      case kFull:
        (d < kSmallDimension ? Blas<T>::trmm_small : Blas<T>::trmm)("L", "U", "T", "N", &d, &vectors, &one, t, &d,
                                                                     x, &d);
        add_mean(d, vectors, x, a);
        break;
      case kPacked:
        Blas<T>::ptrmm("L", "L", "N", "N", &d, &vectors, &one, t, x, &d);
        add_mean(d, vectors, x, a);
        break;
      default:
        for (int64_t v = 0; v < vectors; ++v, x += d)
          for (int32_t j = 0; j < d; ++j) x[j] = t[j] * x[j] + a[j];
        break;
    }
    done += vectors;
  }
  return TARR_STATUS_OK;
}

}  // namespace
}  // namespace zorp::dist

extern "C" {
ZORP_API int32_t _tarrdRngGaussianMV(int32_t method, StreamState* stream, int32_t n, double* r, int32_t d,
                                     int32_t storage, const double* a, const double* t) {
  return zorp::dist::gaussian_mv(method, stream, n, r, d, storage, a, t);
}
ZORP_API int32_t _tarrsRngGaussianMV(int32_t method, StreamState* stream, int32_t n, float* r, int32_t d,
                                     int32_t storage, const float* a, const float* t) {
  return zorp::dist::gaussian_mv(method, stream, n, r, d, storage, a, t);
}
}
