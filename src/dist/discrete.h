// What the discrete generators share beyond the frame: the log-factorial, the triangle-
// parallelogram-exponential envelope, the ratio of two probabilities of a unimodal distribution,
// and the candidate loop of the rejection methods.
#pragma once
#include <cmath>
#include <cstdint>

#include "dist/chunks.h"
#include "dist/frame.h"
#include "zorp/rng.h"
#include "zorp/ss.h"  // __tarrdSqrt

namespace zorp::dist {

// ---- arithmetic --------------------------------------------------------------------------------
// ln k! for k >= 0: exact sums below 16, above by the Stirling series
// ln k! = (k + 1/2) ln k - k + ln sqrt(2 pi) + 1/(12 k) - 1/(360 k^3) + 1/(1260 k^5),
// whose first omitted term, 1/(1680 k^7), is below 3e-12 there.
double log_factorial(double k);

// f(y) / f(mode) of a distribution whose consecutive probabilities have the ratio
// f(i) / f(i - 1) = step(i): the product of the steps when y is near the mode (exact and
// cheap), otherwise exp(far()), the caller's log-factorial form.
template <typename Step, typename Far>
inline double ratio_to_mode(int64_t y, int64_t mode, Step step, Far distant) {
  constexpr int64_t kNear = 24;
  if (y - mode > kNear || mode - y > kNear) return std::exp(distant());
  double f = 1;
  for (int64_t i = mode + 1; i <= y; ++i) f *= step(static_cast<double>(i));
  for (int64_t i = y + 1; i <= mode; ++i) f /= step(static_cast<double>(i));
  return f;
}

// One candidate of the triangle-parallelogram-exponential envelope from two uniforms on [0, 1):
// the candidate y and the height v it is accepted at (v <= f(y)/f(mode)); false when the
// candidate is refused by the envelope alone, true with *sure set when the triangle accepts it
// without a test. The support's bounds lo and hi refuse candidates outside.
bool tpe_candidate(const Envelope& e, double u, double v, int64_t lo, int64_t hi, int64_t* y, double* height,
                   bool* sure);

// The envelope for a unimodal distribution with mode m, triangle half-width p1 (already in its
// x.5 form), parallelogram height c and tail rates lambda_l, lambda_r.
Envelope tpe_envelope(double mode, double p1, double c, double lambda_l, double lambda_r);

// Poisson values of a mean per result (PoissonV, and the mixtures that reach the Poisson through
// a random mean): inversion below 10, PTRS above.
int32_t poisson_of_means(const Frame<double>& f, int32_t n, int32_t* r, const double* lambda);

// n results by rejection, in blocks of at most 512: for the results of a block still missing,
// pairs of double uniforms on [0, 1) are drawn at once and tried in order, attempt(u, v, &out)
// telling whether it accepted a value, until the block is full. A stream failure ends the call
// with its status; the blocks before it stay written.
template <typename Attempt>
inline int32_t by_rejection(const Frame<double>& f, int32_t n, int32_t* r, Attempt&& attempt) {
  constexpr int32_t kBlock = 512;
  alignas(64) double u[2 * kBlock];
  return in_blocks(n, kBlock, [&](int32_t i, int32_t k) {
    for (int32_t filled = 0; filled < k;) {
      const int32_t want = k - filled;
      if (const int32_t st = f.uniform(2 * want, u, 0.0, 1.0); st < 0) return st;
      for (int32_t j = 0; j < want; ++j)
        if (attempt(u[2 * j], u[2 * j + 1], &r[i + filled])) ++filled;
    }
    return int32_t{TARR_STATUS_OK};
  });
}

}  // namespace zorp::dist
