// The layouts of the discrete generators' set-up chunks, kept in the stream between calls (the
// tests read them too, to see whether a set-up was rebuilt).
#pragma once
#include <cstdint>

namespace zorp::dist {

inline constexpr uint32_t kPoissonChunk = 3, kNegbinomialChunk = 4, kBinomialChunk = 5, kHypergeometricChunk = 6;

// The envelope of the triangle-parallelogram-exponential rejection methods (Kachitvichyanukul
// and Schmeiser): region bounds p1 < p2 < p3 < p4 of the area, the triangle's centre xm and
// half-width p1 (so xl = xm - p1, xr = xm + p1), the parallelograms' height c and the tails'
// decay rates.
struct Envelope {
  double p1, p2, p3, p4, xm, xl, xr, c, lambda_l, lambda_r;
};

// Chunk 3, Poisson method 0: both regimes side by side, each with the mean it was built for.
// The rejection half keeps that mean as a float in its first word (and exactly beside it).
struct PoissonChunk {
  float ptpe_mean;        // as a float, at the start of the chunk
  int32_t mode;           // floor(mean)
  double ptpe_exact;      // the mean the rejection set-up below was made for; NaN before
  Envelope env;
  double ln_mean;         // ln(mean), for the ratio of two probabilities
  double table_mean;      // the mean of the inversion table; NaN before
  int32_t table_size;     // entries of cdf
  int32_t reserved;
  double last_p;          // P(table_size - 1): where the recurrence goes on past the table
  double cdf[44];         // P(X <= k), k = 0 ... floor(mean) + 16
};
static_assert(sizeof(PoissonChunk) <= 696, "the Poisson chunk is 696 bytes");

// Chunk 5, Binomial: the set-up of the last (ntrial, p); q is min(p, 1 - p).
struct BinomialChunk {
  int32_t ntrial, mode;
  double p;               // as the caller gave it; NaN before
  double q, ratio, g;     // q, q / (1 - q), (ntrial + 1) q / (1 - q)
  double p0;              // (1 - q)^ntrial: inversion's first probability
  double ln_ratio;        // ln(q / (1 - q))
  Envelope env;           // BTPE, when ntrial q >= 30
};
static_assert(sizeof(BinomialChunk) <= 544, "the Binomial chunk is 544 bytes");

// Chunk 4, Negative binomial: the set-up of the last (a, p).
struct NegbinomialChunk {
  double a, p;            // NaN before
  double mean;            // a (1 - p) / p
  double p0;              // p^a: inversion's first probability
  double d, c;            // Marsaglia and Tsang's d = shape - 1/3 and 1 / sqrt(9 d)
  double scale;           // (1 - p) / p: the Gamma value's scale as a Poisson mean
  double inv_a;           // 1 / a: the exponent that lowers a raised shape again
};
static_assert(sizeof(NegbinomialChunk) <= 1328, "the Negative binomial chunk is 1328 bytes");

// Chunk 6, Hypergeometric: the set-up of the last (l, s, m), reduced by symmetry to a sample and
// a marked count of at most half the lot each (support 0 ... min(s, m)); a result of the reduced
// problem z becomes offset + sign z.
struct HypergeometricChunk {
  int32_t l, s, m;        // as the caller gave them
  int32_t rs, rm;         // reduced
  int32_t offset, sign;
  int32_t mode, top;      // the reduced mode and min(rs, rm)
  int32_t table_size;     // inversion's entries of cdf; 0 for the ratio of uniforms
  double last_p;          // P(table_size - 1)
  double d6, d8, d10, d11;  // the ratio of uniforms: centre, width, ln of the mode's weight, end
  double cdf[56];         // P(X <= k)
};
static_assert(sizeof(HypergeometricChunk) <= 600, "the Hypergeometric chunk is 600 bytes");

}  // namespace zorp::dist
