// Negative binomial: the failures before the a-th success, P(k) = G(a + k) / (G(a) k!) p^a (1 - p)^k
// for a real a > 0. Means below 20 invert the recurrence P(k + 1) = P(k) (a + k)(1 - p) / (k + 1)
// from P(0) = p^a; larger means draw the Gamma-Poisson mixture: a Poisson value whose mean is a
// Gamma(a) variable times (1 - p) / p, the Gamma value by Marsaglia and Tsang ("A simple method
// for generating gamma variables", ACM TOMS 26, 2000) from normals and uniforms, a shape below 1
// raised by one and its value multiplied by u^(1/a) (Stuart's theorem). The set-up of the last
// (a, p) is kept in the stream's chunk 4.
#include <cmath>
#include <cstring>
#include <limits>

#include "dist/discrete.h"
#include "zorp/export.h"

namespace zorp::dist {
namespace {

constexpr double kMixtureFrom = 20;
constexpr uint32_t kNegbinomialChunkBytes = 1328;

void build(const Frame<double>& f, NegbinomialChunk* c, double a, double p) {
  c->a = a;
  c->p = p;
  c->scale = (1 - p) / p;
  c->mean = a * c->scale;
  c->p0 = f.powx_once(p, a);
  const double shape = a < 1 ? a + 1 : a;
  c->d = shape - 1.0 / 3;
  c->c = 1 / __tarrdSqrt(9 * c->d);
  c->inv_a = 1 / a;
}

int32_t by_inversion(const Frame<double>& f, const NegbinomialChunk& c, int32_t n, int32_t* r) {
  const double q = 1 - c.p;
  return by_rejection(f, n, r, [&](double u, double, int32_t* out) {
    double p = c.p0, sum = p;
    int32_t k = 0;
    while (u >= sum && p > 0) {
      p *= (c.a + k) * q / (k + 1);
      sum += p;
      ++k;
    }
    *out = k;
    return true;
  });
}

// Gamma(shape) values into g[0 .. k): a normal z and a uniform per candidate, accepted when
// ln u < z^2/2 + d - d t + d ln t with t = (1 + c z)^3 > 0; then the shape's lowering factor.
int32_t gammas(const Frame<double>& f, const NegbinomialChunk& c, int32_t k, double* g) {
  constexpr int32_t kMax = 256;
  alignas(64) double z[kMax], u[2 * kMax];
  for (int32_t filled = 0; filled < k;) {
    const int32_t want = k - filled;
    if (const int32_t st = _tarrdRngGaussian(2, f.stream(), want, z, 0.0, 1.0); st < 0) return st;
    if (const int32_t st = f.uniform(2 * want, u, 0.0, 1.0); st < 0) return st;
    for (int32_t j = 0; j < want; ++j) {
      const double t0 = 1 + c.c * z[j];
      if (t0 <= 0) continue;
      const double t = t0 * t0 * t0;
      if (!(std::log(u[2 * j]) < 0.5 * z[j] * z[j] + c.d - c.d * t + c.d * std::log(t))) continue;
      g[filled++] = c.d * t * (c.a < 1 ? std::pow(u[2 * j + 1], c.inv_a) : 1.0);
    }
  }
  return TARR_STATUS_OK;
}

int32_t by_mixture(const Frame<double>& f, const NegbinomialChunk& c, int32_t n, int32_t* r) {
  constexpr int32_t kBlock = 256;
  alignas(64) double mean[kBlock];
  return in_blocks(n, kBlock, [&](int32_t i, int32_t k) {
    if (const int32_t st = gammas(f, c, k, mean); st < 0) return st;
    for (int32_t j = 0; j < k; ++j) mean[j] *= c.scale;
    return poisson_of_means(f, k, r + i, mean);
  });
}

int32_t negbinomial(StreamState* stream, int32_t n, int32_t* r, double a, double p) {
  return with_frame<double>(stream, n, log_floor_sing<double>, [&](const Frame<double>& f) {
    int32_t status;
    auto* c = static_cast<NegbinomialChunk*>(
        stream_chunk(stream, kNegbinomialChunk, kNegbinomialChunkBytes, &status, [](void* d) {
          std::memset(d, 0, kNegbinomialChunkBytes);
          static_cast<NegbinomialChunk*>(d)->a = std::numeric_limits<double>::quiet_NaN();
        }));
    if (!c) return status;
    if (!(c->a == a && c->p == p)) build(f, c, a, p);
    return c->mean < kMixtureFrom ? by_inversion(f, *c, n, r) : by_mixture(f, *c, n, r);
  });
}

}  // namespace
}  // namespace zorp::dist

using namespace zorp::dist;

extern "C" {
ZORP_API int32_t _tarriRngNegbinomial(int32_t, StreamState* stream, int32_t n, int32_t* r, double a, double p) {
  return negbinomial(stream, n, r, a, p);
}
}
