// Hypergeometric (l lot size, s sample size, m marked): the marked elements in a sample drawn
// without replacement. The problem is first reduced by symmetry to s, m <= l/2 (the support then
// starts at 0). Below a mode of 40: inversion of a table of the distribution function, continued
// by the recurrence of the probabilities past its end; above: Stadlober's ratio of uniforms
// with the table-mountain hat ("Ratio of uniforms as a convenient method for sampling from
// classical discrete distributions", Proc. Winter Simulation Conference 1989; algorithm HRUA),
// with its two squeezes. The set-up of the last (l, s, m) is kept in the stream's chunk 6; other
// parameters replace the chunk.
#include <cmath>
#include <cstring>

#include "dist/discrete.h"
#include "zorp/export.h"

namespace zorp::dist {
namespace {

constexpr int32_t kInversionBelow = 40;
constexpr uint32_t kHypergeometricChunkBytes = 600;
constexpr int32_t kTable = 56;

// ln of P(k) / the normalising constant, up to the terms that do not depend on k.
double log_weight(const HypergeometricChunk& c, double k) {
  return log_factorial(k) + log_factorial(c.rm - k) + log_factorial(c.rs - k) + log_factorial(double(c.l) - c.rm - c.rs + k);
}

void reduce(HypergeometricChunk* c, int32_t l, int32_t s, int32_t m) {
  c->l = l;
  c->s = s;
  c->m = m;
  c->offset = 0;
  c->sign = 1;
  // X = s - Y with Y of l - m marked; then Y = m' - Z with Z of a sample of l - s.
  if (m > l - m) {
    m = l - m;
    c->offset = s;
    c->sign = -1;
  }
  if (s > l - s) {
    c->offset += c->sign * m;
    c->sign = -c->sign;
    s = l - s;
  }
  c->rs = s;
  c->rm = m;
  c->top = std::min(s, m);
}

void build(HypergeometricChunk* c, int32_t l, int32_t s, int32_t m) {
  reduce(c, l, s, m);
  const double L = l, S = c->rs, M = c->rm;
  c->mode = static_cast<int32_t>((static_cast<float>(c->rs) + 1) * (static_cast<float>(c->rm) + 1) / (static_cast<float>(l) + 2));
  c->mode = std::min(c->mode, c->top);
  if (c->mode < kInversionBelow) {
    // P(0) = C(l - m, s) / C(l, s); P(k + 1) = P(k) (m - k)(s - k) / ((k + 1)(l - m - s + k + 1)).
    double p = std::exp(log_factorial(L - M) + log_factorial(L - S) - log_factorial(L - M - S) - log_factorial(L));
    double sum = p;
    c->table_size = std::min(c->top + 1, kTable);
    c->cdf[0] = sum;
    for (int32_t k = 0; k + 1 < c->table_size; ++k) {
      p *= (M - k) * (S - k) / ((k + 1.0) * (L - M - S + k + 1));
      sum += p;
      c->cdf[k + 1] = sum;
    }
    c->last_p = p;
    return;
  }
  // HRUA: the hat's centre d6 (the mean + 1/2) and width d8 = 2 sqrt(2/e) d7 + 3 - 2 sqrt(3/e)
  // from the deviation d7; candidates at or past d11 have negligible weight.
  c->table_size = 0;
  const double d7 = __tarrdSqrt((L - S) * S * (M / L) * (1 - M / L) / (L - 1) + 0.5);
  c->d6 = S * M / L + 0.5;
  c->d8 = 1.7155277699214135 * d7 + 0.8989161620588988;
  c->d10 = log_weight(*c, c->mode);
  c->d11 = std::min(c->top + 1.0, std::floor(c->d6 + 16 * d7));
}

int32_t invert(const HypergeometricChunk& c, double u) {
  const int32_t last = c.table_size - 1;
  for (int32_t k = 0; k <= last; ++k)
    if (u < c.cdf[k]) return k;
  const double L = c.l, S = c.rs, M = c.rm;
  double p = c.last_p, sum = c.cdf[last];
  int32_t k = last;
  while (u >= sum && k < c.top && p > 0) {
    p *= (M - k) * (S - k) / ((k + 1.0) * (L - M - S + k + 1));
    sum += p;
    ++k;
  }
  return k;
}

// A candidate w = d6 + d8 (v - 1/2) / u is accepted when u^2 <= P(floor w) / P(mode), first
// through the squeezes u(4 - u) - 3 <= t (accept) and u(u - t) >= 1 (refuse), t the logarithm
// of that ratio, which bound 2 ln u from above and below.
bool ratio_of_uniforms(const HypergeometricChunk& c, double u, double v, int32_t* z) {
  if (u <= 0) return false;
  const double w = c.d6 + c.d8 * (v - 0.5) / u;
  if (w < 0 || w >= c.d11) return false;
  const double k = std::floor(w), t = c.d10 - log_weight(c, k);
  if (u * (4 - u) - 3 > t) {
    if (u * (u - t) >= 1 || 2 * std::log(u) > t) return false;
  }
  *z = static_cast<int32_t>(k);
  return true;
}

int32_t hypergeometric(StreamState* stream, int32_t n, int32_t* r, int32_t l, int32_t s, int32_t m) {
  // The host refuses these before calling; the guard is here because outside the domain the
  // reduction by symmetry gives a negative sample or marked count, every candidate of the
  // rejection method is refused, and the call would never return.
  if (l < 0 || s < 0 || s > l || m < 0 || m > l) return TARR_ERROR_BAD_ARGUMENTS;
  return with_frame<double>(stream, n, log_floor_sing<double>, [&](const Frame<double>& f) {
    auto* c = static_cast<HypergeometricChunk*>(__tarrSearchChunk(stream, kHypergeometricChunk));
    if (c && !(c->l == l && c->s == s && c->m == m)) {
      if (const int32_t st = __tarrDeleteChunksById(stream, kHypergeometricChunk); st < 0) return st;
      c = nullptr;
    }
    if (!c) {
      int32_t status;
      c = static_cast<HypergeometricChunk*>(stream_chunk(stream, kHypergeometricChunk, kHypergeometricChunkBytes, &status,
                                                         [&](void* d) {
                                                           std::memset(d, 0, kHypergeometricChunkBytes);
                                                           build(static_cast<HypergeometricChunk*>(d), l, s, m);
                                                         }));
      if (!c) return status;
    }
    return by_rejection(f, n, r, [&](double u, double v, int32_t* out) {
      int32_t z;
      if (c->table_size > 0) z = invert(*c, u);
      else if (!ratio_of_uniforms(*c, u, v, &z)) return false;
      *out = c->offset + c->sign * z;
      return true;
    });
  });
}

}  // namespace
}  // namespace zorp::dist

using namespace zorp::dist;

extern "C" {
ZORP_API int32_t _tarriRngHypergeometric(int32_t, StreamState* stream, int32_t n, int32_t* r, int32_t l, int32_t s,
                                         int32_t m) {
  return hypergeometric(stream, n, r, l, s, m);
}
}
