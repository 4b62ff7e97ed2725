// Binomial: BTPE (Kachitvichyanukul and Schmeiser, "Binomial random variate generation", CACM
// 31, 1988) when ntrial min(p, 1 - p) >= 30, inversion by the recurrence of the probabilities
// below. Draws are made for q = min(p, 1 - p); for p >= 1/2 every result is mirrored to
// ntrial - result, so Binomial(p) = ntrial - Binomial(1 - p) from the same stream state. The
// set-up of the last (ntrial, p) is kept in the stream's chunk 5.
#include <cmath>
#include <cstring>
#include <limits>

#include "dist/discrete.h"
#include "zorp/export.h"

namespace zorp::dist {
namespace {

constexpr double kBtpeFrom = 30;
constexpr uint32_t kBinomialChunkBytes = 544;

bool uses_btpe(const BinomialChunk& c) { return c.ntrial * c.q >= kBtpeFrom; }

void build(const Frame<double>& f, BinomialChunk* c, int32_t ntrial, double p) {
  const double q = p >= 0.5 ? 1 - p : p, s = 1 - q;
  c->ntrial = ntrial;
  c->p = p;
  c->q = q;
  c->ratio = q / s;
  c->g = c->ratio * (ntrial + 1.0);
  c->ln_ratio = __tarrdLn(c->ratio);
  if (!uses_btpe(*c)) {
    c->p0 = f.powx_once(s, double(ntrial));
    return;
  }
  // The paper's set-up: the mode of fm = (ntrial + 1) q, the triangle's half-width from the
  // deviation, the parallelograms' height, and the tails' rates from the slope of the
  // logarithm of the probabilities at xl and xr (to second order).
  const double fm = ntrial * q + q, m = std::floor(fm), npq = ntrial * q * s;
  const double p1 = std::floor(2.195 * __tarrdSqrt(npq) - 4.6 * s) + 0.5;
  const double xl = m + 0.5 - p1, xr = m + 0.5 + p1;
  const double al = (fm - xl) / (fm - xl * q), ar = (xr - fm) / (xr * s);
  c->env = tpe_envelope(m, p1, 0.134 + 20.5 / (15.3 + m), al * (1 + 0.5 * al), ar * (1 + 0.5 * ar));
  c->mode = static_cast<int32_t>(m);
}

// The first k with u < P(X <= k): P(k + 1) = P(k) (g / (k + 1) - ratio).
int32_t invert(const BinomialChunk& c, double u) {
  double p = c.p0, sum = p;
  int32_t k = 0;
  while (u >= sum && k < c.ntrial && p > 0) {
    p *= c.g / (k + 1) - c.ratio;
    sum += p;
    ++k;
  }
  return k;
}

int32_t by_inversion(const Frame<double>& f, const BinomialChunk& c, int32_t n, int32_t* r, bool mirror) {
  constexpr int32_t kBlock = 1024;
  alignas(64) double u[kBlock];
  return in_blocks(n, kBlock, [&](int32_t i, int32_t k) {
    if (const int32_t st = f.uniform(k, u, 0.0, 1.0); st < 0) return st;
    for (int32_t j = 0; j < k; ++j) r[i + j] = mirror ? c.ntrial - invert(c, u[j]) : invert(c, u[j]);
    return int32_t{TARR_STATUS_OK};
  });
}

int32_t by_btpe(const Frame<double>& f, const BinomialChunk& c, int32_t n, int32_t* r, bool mirror) {
  const int64_t mode = c.mode, trials = c.ntrial;
  const double lf_mode = log_factorial(double(mode)) + log_factorial(double(trials - mode));
  return by_rejection(f, n, r, [&](double u, double v, int32_t* out) {
    int64_t y;
    double height;
    bool sure;
    if (!tpe_candidate(c.env, u, v, 0, trials, &y, &height, &sure)) return false;
    if (!sure) {
      const double ratio = ratio_to_mode(
          y, mode, [&](double i) { return c.g / i - c.ratio; },
          [&] {
            return lf_mode - log_factorial(double(y)) - log_factorial(double(trials - y)) + double(y - mode) * c.ln_ratio;
          });
      if (height > ratio) return false;
    }
    *out = static_cast<int32_t>(mirror ? trials - y : y);
    return true;
  });
}

int32_t binomial(StreamState* stream, int32_t n, int32_t* r, int32_t ntrial, double p) {
  return with_frame<double>(stream, n, nullptr, [&](const Frame<double>& f) {
    int32_t status;
    auto* c = static_cast<BinomialChunk*>(stream_chunk(stream, kBinomialChunk, kBinomialChunkBytes, &status, [](void* d) {
      std::memset(d, 0, kBinomialChunkBytes);
      static_cast<BinomialChunk*>(d)->p = std::numeric_limits<double>::quiet_NaN();
    }));
    if (!c) return status;
    if (!(c->p == p && c->ntrial == ntrial)) build(f, c, ntrial, p);
    // Mirrored as they are written, so that what a stream failure leaves written is final.
    const bool mirror = p >= 0.5;
    return uses_btpe(*c) ? by_btpe(f, *c, n, r, mirror) : by_inversion(f, *c, n, r, mirror);
  });
}

}  // namespace
}  // namespace zorp::dist

using namespace zorp::dist;

extern "C" {
ZORP_API int32_t _tarriRngBinomial(int32_t, StreamState* stream, int32_t n, int32_t* r, int32_t ntrial, double p) {
  return binomial(stream, n, r, ntrial, p);
}
}
