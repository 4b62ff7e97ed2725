// Poisson. Method 0 inverts a cached table of the distribution function below a mean of 27 and
// runs PTPE above (Schmeiser and Kachitvichyanukul, "Poisson random variate generation", 1981:
// the triangle-parallelogram-exponential envelope that BTPE also uses), both set-ups kept in
// the stream's chunk 3 and rebuilt only when the mean changes. Method 1 maps normals to counts:
// a series inversion below a mean of 1, a fitted quartic of the normal up to 100, a corrected
// normal above. PoissonV, a mean per result, has no set-up to keep: it inverts below a mean of
// 10 and runs PTRS above.
#include <cmath>
#include <cstring>
#include <limits>

#include "dist/discrete.h"
#include "dist/generated/poisson_normal.inc"
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

// ---- method 1: the normal approximation ----------------------------------------------------------
// Below a mean of 1: u on [0, U), U = the series of e^lambda to its tenth term, and the count is
// the number of its partial sums 1, 1 + lambda, 1 + lambda + lambda^2/2, ... that u reaches
// (exact up to the series' tail, below 3e-7 of the mass).
int32_t poisson_series(StreamState* stream, int32_t n, int32_t* r, double lambda) {
  constexpr int kTerms = 10;
  constexpr float kFactor[kTerms] = {1, 1, 0.5f, 1 / 3.0f, 0.25f, 0.2f, 1 / 6.0f, 1 / 7.0f, 0.125f, 1 / 9.0f};
  const float l = static_cast<float>(lambda);
  float sum[kTerms], term = 1, total = 0;
  for (int j = 0; j < kTerms; ++j) {
    term *= j ? l * kFactor[j] : 1.0f;
    total += term;
    sum[j] = total;
  }
  constexpr int32_t kBlock = 1024;
  alignas(64) float u[kBlock];
  return in_blocks(n, kBlock, [&](int32_t i, int32_t k) {
    if (const int32_t st = _tarrsRngUniform(0, stream, k, u, 0.0f, total); st < 0) return st;
    for (int32_t j = 0; j < k; ++j) {
      int32_t c = 0;
      while (c < kTerms - 1 && u[j] >= sum[c]) ++c;
      r[i + j] = c;
    }
    return int32_t{TARR_STATUS_OK};
  });
}

// Means 1 to 100: the fitted quartic of the normal (tools/fit, poisson.cpp), its row by the
// binary exponent of lambda and its coefficients cubics in the fraction, all in float.
int32_t poisson_fitted(StreamState* stream, int32_t n, int32_t* r, double lambda) {
  const float l = static_cast<float>(lambda);
  uint32_t bits;
  std::memcpy(&bits, &l, sizeof bits);
  const int e = static_cast<int>(bits >> 23) - 127;
  const uint32_t one = (bits & 0x7FFFFFu) | 0x3F800000u;
  float f;
  std::memcpy(&f, &one, sizeof f);
  f -= 1;
  const double* t = poissontab::kNormalRows[e];
  auto cubic = [&](int k) { return float(t[k]) + f * (float(t[k + 1]) + f * (float(t[k + 2]) + f * float(t[k + 3]))); };
  const float d = float(t[0]) + 1 + f * (float(t[1]) + f * float(t[2]));
  const float q1 = cubic(3), q2 = cubic(7), q3 = cubic(11), q4 = cubic(15), q5 = cubic(19);
  constexpr int32_t kBlock = 1024;
  alignas(64) float z[kBlock];
  return in_blocks(n, kBlock, [&](int32_t i, int32_t k) {
    if (const int32_t st = _tarrsRngGaussian(2, stream, k, z, 0.0f, 1.0f); st < 0) return st;
    for (int32_t j = 0; j < k; ++j) {
      const float x = z[j];
      r[i + j] = static_cast<int32_t>(std::max(0.0f, d + x * q1 * (q2 + x * (q3 + x * (q4 + x * q5)))));
    }
    return int32_t{TARR_STATUS_OK};
  });
}

// From a mean of 100: a normal of the corrected mean and deviation, then a cubic correction of
// its offset from that mean; in double, so that counts above 2^24 keep their units.
int32_t poisson_normal(StreamState* stream, int32_t n, int32_t* r, double lambda) {
  const double t = 1 / lambda;
  const double mean = lambda - 0.6666957198 + t * (-0.01941020862 + t * (-0.001288719308 + t * 0.001645153709));
  const double sd = __tarrdSqrt(lambda - 0.05580667628 + t * (-0.000975814817 + t * (-0.005534854444 + t * 0.00519830812)));
  const double a = t * (0.00774710541609 + t * (-0.443911391797447 + t * (2.29098262740971 + t * (-3.85841212878712 + t * 2.02847035732762))));
  const double b = t * (0.168577008904505 + t * (0.0472242348292688 + t * (-0.228162379800275 + t * (0.358642226989579 - t * 0.185436433294704))));
  const double c = t * (-0.0001145865551857 + t * (-0.0126559989233446 + t * (0.0232257954288354 + t * (-0.0291113093667918 + t * 0.014389264627966))));
  constexpr int32_t kBlock = 1024;
  alignas(64) double g[kBlock];
  return in_blocks(n, kBlock, [&](int32_t i, int32_t k) {
    if (const int32_t st = _tarrdRngGaussian(2, stream, k, g, mean, sd); st < 0) return st;
    for (int32_t j = 0; j < k; ++j) {
      const double x = g[j] - mean;
      r[i + j] = static_cast<int32_t>(std::max(0.0, g[j] + 1 + x * (a + x * (b + x * c))));
    }
    return int32_t{TARR_STATUS_OK};
  });
}

int32_t poisson(int32_t method, StreamState* stream, int32_t n, int32_t* r, double lambda) {
  if ((method & ~static_cast<int32_t>(kAccurate)) == 1) {
    if (n < 1) return TARR_STATUS_OK;
    if (lambda < 1) return poisson_series(stream, n, r, lambda);
    return lambda < 100 ? poisson_fitted(stream, n, r, lambda) : poisson_normal(stream, n, r, lambda);
  }
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
