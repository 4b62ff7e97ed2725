// Poisson. Method 0 inverts a cached table of the distribution function below a mean of 27 and
// runs PTPE above (Schmeiser and Kachitvichyanukul, "Poisson random variate generation", 1981:
// the triangle-parallelogram-exponential envelope that BTPE also uses), both set-ups kept in
// the stream's chunk 3 and rebuilt only when the mean changes. PoissonV, a mean per result, has
// no set-up to keep: it inverts below a mean of 10 and runs PTRS above.
#include <cmath>
#include <cstring>
#include <limits>

#include "dist/discrete.h"
#include "zorp/export.h"

namespace zorp::dist {
namespace {

constexpr double kPtpeFrom = 27;
constexpr uint32_t kPoissonChunkBytes = 696;

PoissonChunk* poisson_chunk(StreamState* s, int32_t* status) {
  return static_cast<PoissonChunk*>(stream_chunk(s, kPoissonChunk, kPoissonChunkBytes, status, [](void* p) {
    std::memset(p, 0, kPoissonChunkBytes);
    auto* c = static_cast<PoissonChunk*>(p);
    c->ptpe_exact = c->table_mean = std::numeric_limits<double>::quiet_NaN();
  }));
}

// P(0) = e^-lambda from the HA kernel, P(k + 1) = P(k) lambda / (k + 1), summed up to
// k = floor(lambda) + 16.
void build_table(const Frame<double>& f, PoissonChunk* c, double lambda) {
  c->table_size = static_cast<int32_t>(lambda) + 17;
  double p = f.exp_once(-lambda), sum = p;
  c->cdf[0] = sum;
  for (int32_t k = 1; k < c->table_size; ++k) {
    p *= lambda / k;
    sum += p;
    c->cdf[k] = sum;
  }
  c->last_p = p;
  c->table_mean = lambda;
}

// The first k with u < P(X <= k); past the table the recurrence goes on (a mean of 26.9 leaves
// about 0.4% above the table's last entry).
int32_t invert(const PoissonChunk& c, double lambda, double u) {
  const int32_t last = c.table_size - 1;
  for (int32_t k = 0; k <= last; ++k)
    if (u < c.cdf[k]) return k;
  double p = c.last_p, sum = c.cdf[last];
  int32_t k = last;
  while (u >= sum && p > 0) {
    p *= lambda / ++k;
    sum += p;
  }
  return k;
}

int32_t by_table(const Frame<double>& f, PoissonChunk* c, int32_t n, int32_t* r, double lambda) {
  if (!(c->table_mean == lambda)) build_table(f, c, lambda);
  constexpr int32_t kBlock = 1024;
  alignas(64) double u[kBlock];
  return in_blocks(n, kBlock, [&](int32_t i, int32_t k) {
    if (const int32_t st = f.uniform(k, u, 0.0, 1.0); st < 0) return st;
    for (int32_t j = 0; j < k; ++j) r[i + j] = invert(*c, lambda, u[j]);
    return int32_t{TARR_STATUS_OK};
  });
}

// PTPE's set-up: the triangle's half-width p1 = floor(2.195 sqrt(m) - 2.2) + 0.5 and the
// parallelograms' height c = 0.133 + 8.56 / (lambda + 6.83) about the mode m = floor(lambda);
// the tails decay as the logarithm of the probabilities does at xl and xr, to second order
// (ln(lambda / xl) ~ a (1 + a/2) with a = (lambda - xl) / lambda, and likewise on the right),
// which keeps them above the distribution from a mean of 27 up.
void build_ptpe(PoissonChunk* c, double lambda) {
  const double m = std::floor(lambda);
  const double p1 = std::floor(2.195 * __tarrdSqrt(m) - 2.2) + 0.5;
  const double xl = m + 0.5 - p1, xr = m + 0.5 + p1;
  const double al = (lambda - xl) / lambda, ar = (xr - lambda) / xr;
  c->env = tpe_envelope(m, p1, 0.133 + 8.56 / (lambda + 6.83), al * (1 + 0.5 * al), ar * (1 + 0.5 * ar));
  c->mode = static_cast<int32_t>(m);
  c->ln_mean = __tarrdLn(lambda);
  c->ptpe_mean = static_cast<float>(lambda);
  c->ptpe_exact = lambda;
}

int32_t by_ptpe(const Frame<double>& f, PoissonChunk* c, int32_t n, int32_t* r, double lambda) {
  if (!(c->ptpe_exact == lambda)) build_ptpe(c, lambda);
  const int64_t mode = c->mode;
  const double ln_mean = c->ln_mean, lf_mode = log_factorial(double(mode));
  return by_rejection(f, n, r, [&](double u, double v, int32_t* out) {
    int64_t y;
    double height;
    bool sure;
    if (!tpe_candidate(c->env, u, v, 0, INT32_MAX, &y, &height, &sure)) return false;
    if (!sure) {
      const double ratio = ratio_to_mode(
          y, mode, [&](double i) { return lambda / i; },
          [&] { return double(y - mode) * ln_mean + lf_mode - log_factorial(double(y)); });
      if (height > ratio) return false;
    }
    *out = static_cast<int32_t>(y);
    return true;
  });
}

// Inversion by the recurrence of the probabilities from one uniform: the first k with
// u < P(X <= k).
int32_t poisson_by_recurrence(double lambda, double u) {
  double p = std::exp(-lambda), sum = p;
  int32_t k = 0;
  while (u >= sum && p > 0) {
    p *= lambda / ++k;
    sum += p;
  }
  return k;
}

// PTRS, the transformed rejection with squeeze of Hoermann ("The transformed rejection method
// for generating Poisson random variables", Insurance: Mathematics and Economics 12, 1993),
// exact for means from 10 up: a candidate from the inverse of a hat of the form a / (x^2) + b
// about the mean, accepted at once in the hat's bulk and otherwise against ln P(k).
bool poisson_by_ptrs(double lambda, double u, double v, int32_t* out) {
  const double root = __tarrdSqrt(lambda), b = 0.931 + 2.53 * root, a = -0.059 + 0.02483 * b;
  const double inv_alpha = 1.1239 + 1.1328 / (b - 3.4), vr = 0.9277 - 3.6224 / (b - 2);
  const double x = u - 0.5, us = 0.5 - std::fabs(x);
  if (us <= 0) return false;
  const double k = std::floor((2 * a / us + b) * x + lambda + 0.43);
  if (us >= 0.07 && v <= vr) {
    *out = static_cast<int32_t>(k);
    return true;
  }
  if (k < 0 || (us < 0.013 && v > us) || v <= 0) return false;
  if (std::log(v * inv_alpha / (a / (us * us) + b)) > k * std::log(lambda) - lambda - log_factorial(k)) return false;
  *out = static_cast<int32_t>(k);
  return true;
}

}  // namespace

int32_t poisson_of_means(const Frame<double>& f, int32_t n, int32_t* r, const double* lambda) {
  constexpr double kPtrsFrom = 10;
  return by_rejection(f, n, r, [&](double u, double v, int32_t* out) {
    const double mean = lambda[out - r];
    if (mean < kPtrsFrom) {
      *out = poisson_by_recurrence(mean, u);
      return true;
    }
    return poisson_by_ptrs(mean, u, v, out);
  });
}

namespace {

int32_t poisson(int32_t method, StreamState* stream, int32_t n, int32_t* r, double lambda) {
  (void)method;
  return with_frame<double>(stream, n, log_floor_sing<float>, [&](const Frame<double>& f) {
    int32_t status;
    PoissonChunk* c = poisson_chunk(stream, &status);
    if (!c) return status;
    return lambda >= kPtpeFrom ? by_ptpe(f, c, n, r, lambda) : by_table(f, c, n, r, lambda);
  });
}

}  // namespace
}  // namespace zorp::dist

using namespace zorp::dist;

extern "C" {
ZORP_API int32_t _tarriRngPoissonV(int32_t, StreamState* stream, int32_t n, int32_t* r, const double* lambda) {
  return with_frame<double>(stream, n, nullptr, [&](const Frame<double>& f) { return poisson_of_means(f, n, r, lambda); });
}
ZORP_API int32_t _tarriRngPoisson(int32_t method, StreamState* stream, int32_t n, int32_t* r, double lambda) {
  return poisson(method, stream, n, r, lambda);
}
}
