// The multinomial: n vectors of k counts, each the outcome of ntrial independent trials that
// fall in category j with probability p[j].
//
// Method (the Poisson split; for instance Devroye, Non-Uniform Random Variate Generation,
// 1986, on conditioning independent Poisson variables on their sum): independent Poisson
// counts with means L p[j] are, given their sum S, multinomial(S, p). So a vector starts from
// such counts with a total mean L a little below ntrial, and the ntrial - S trials left are
// placed one by one by their uniforms; a start that overshoots ntrial (its sum above it) is
// drawn again, which keeps the conditioning exact. The Poisson start does most of the work in
// k draws where trial-by-trial placement would take ntrial.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "host/host.h"
#include "zorp/export.h"
#include "zorp/rng.h"

namespace zorp::dist {
namespace {

constexpr int32_t kBadProbabilities = TARR_ERROR_BAD_PROBABILITIES;
constexpr double kSumLow = 0.999, kSumHigh = 1.001;  // the rounding a caller's p may carry
constexpr int32_t kFewTrials = 17;                   // below: every trial one by one
constexpr int32_t kUniformBlock = 1024;

// Places `trials` trials by uniforms: each goes to the first category whose cumulative
// probability reaches its uniform. A uniform of exactly 0, or above the last cumulative sum (p
// summing a little below 1), places nothing.
int32_t place(StreamState* stream, int32_t trials, int32_t k, const double* cumulative, int32_t* counts) {
  double u[kUniformBlock];
  while (trials > 0) {
    const int32_t m = std::min(trials, kUniformBlock);
    const int32_t status = _tarrdRngUniform(0, stream, m, u, 0.0, 1.0);
    if (status < 0) return status;
    for (int32_t i = 0; i < m; ++i) {
      if (u[i] == 0.0 || u[i] > cumulative[k - 1]) continue;
      const int32_t j = static_cast<int32_t>(std::lower_bound(cumulative, cumulative + k, u[i]) - cumulative);
      ++counts[j];
    }
    trials -= m;
  }
  return TARR_STATUS_OK;
}

int32_t multinomial(int32_t method, StreamState* stream, int32_t n, int32_t* r, int32_t ntrial, int32_t k,
                    const double* p) {
  if (n < 1) return TARR_STATUS_OK;
  if (ntrial == 0) {
    if (k > 0) std::fill(r, r + static_cast<int64_t>(n) * k, 0);
    return TARR_STATUS_OK;
  }
  if (k < 1) return kBadProbabilities;
  double sum = 0;
  for (int32_t j = 0; j < k; ++j) {
    if (!(p[j] >= 0)) return kBadProbabilities;  // NaN too
    sum += p[j];
  }
  if (!(sum >= kSumLow && sum <= kSumHigh)) return kBadProbabilities;

  // The Poisson start's total mean: ntrial less about one deviation of its sum (sqrt(ntrial)),
  // so that it seldom overshoots, and never more than k below.
  const double s = std::sqrt(static_cast<double>(ntrial));
  const double total = s >= k ? static_cast<double>(ntrial) - k : ntrial - (s + std::sqrt(k - s));
  const bool poisson_start = ntrial >= kFewTrials && total > 0;

  // One allocation: the cumulative probabilities, then the Poisson means.
  double* work = static_cast<double*>(host::allocate(sizeof(double) * 2 * static_cast<size_t>(k)));
  if (!work) return TARR_ERROR_NO_MEMORY;
  double* cumulative = work;
  double* means = work + k;
  double c = 0;
  for (int32_t j = 0; j < k; ++j) {
    c += p[j];
    cumulative[j] = c;
    means[j] = total * p[j];
  }

  int32_t status = TARR_STATUS_OK;
  for (int32_t v = 0; v < n && status == TARR_STATUS_OK; ++v) {
    int32_t* counts = r + static_cast<int64_t>(v) * k;
    int64_t placed = 0;
    if (poisson_start) {
      do {
        status = _tarriRngPoissonV(0, stream, k, counts, means);
        if (status < 0) break;
        placed = 0;
        for (int32_t j = 0; j < k; ++j) placed += counts[j];
      } while (placed > ntrial);
      if (status < 0) break;
    } else {
      std::fill(counts, counts + k, 0);
    }
    status = place(stream, static_cast<int32_t>(ntrial - placed), k, cumulative, counts);
  }
  host::deallocate(work);
  return status < 0 ? status : TARR_STATUS_OK;
}

}  // namespace
}  // namespace zorp::dist

extern "C" ZORP_API int32_t _tarriRngMultinomial(int32_t method, StreamState* stream, int32_t n, int32_t* r,
                                                 int32_t ntrial, int32_t k, const double* p) {
  return zorp::dist::multinomial(method, stream, n, r, ntrial, k, p);
}
