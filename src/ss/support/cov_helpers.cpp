// Rank test and inverse of a covariance estimate, shared by the robust estimator, the outlier
// detection and the imputation: each of them re-estimates a scatter matrix from a subset or a
// reweighting of the data, and a subset can be degenerate (a constant component, points on a
// hyperplane) long before the data are.
//
// Full rank is judged on a Cholesky factor: a pivot that falls to p * 2^-52 of the largest
// diagonal entry or below means the matrix is singular to working precision, and inverting it
// would return numbers dominated by rounding.  LAPACK's potrf alone only refuses pivots that are
// not positive, which lets through matrices whose inverse is meaningless.
#include <cmath>
#include <cstring>

#include "host/host.h"
#include "ss/common/blas.h"
#include "zorp/ss.h"

namespace zorp::ss {
namespace {

// Cholesky factor of the upper triangle of a (p x p, column-major) in place, with the pivot
// floor; false when a pivot falls to the floor or below (or is not a number).
bool factor_full_rank(int p, double* a) {
  double largest = 0.0;
  for (int j = 0; j < p; ++j) largest = std::fmax(largest, std::fabs(a[j + j * p]));
  if (!(largest > 0.0) || !std::isfinite(largest)) return false;
  const double floor = double(p) * 0x1p-52 * largest;
  if (blas::potrf(p, a, p) != 0) return false;
  for (int j = 0; j < p; ++j) {
    const double d = a[j + j * p];
    if (!(d * d > floor)) return false;
  }
  return true;
}

}  // namespace
}  // namespace zorp::ss

extern "C" ZORP_API int __tarrdTestCovRank(int p, const double* cov) {
  if (p < 1 || !cov) return TARR_SS_ERROR_BAD_DIMENSION;
  const size_t bytes = size_t(p) * size_t(p) * sizeof(double);
  auto* a = static_cast<double*>(zorp::host::allocate(bytes));
  if (!a) return TARR_SS_ERROR_ALLOCATION;
  std::memcpy(a, cov, bytes);
  const bool ok = zorp::ss::factor_full_rank(p, a);
  zorp::host::deallocate(a);
  return ok ? 0 : TARR_SS_ERROR_NOT_POSITIVE_DEFINITE;
}

extern "C" ZORP_API int __tarrdInvCov(int p, double* cov) {
  if (p < 1 || !cov) return TARR_SS_ERROR_BAD_DIMENSION;
  if (!zorp::ss::factor_full_rank(p, cov)) return TARR_SS_ERROR_NOT_POSITIVE_DEFINITE;
  if (zorp::ss::blas::potri(p, cov, p) != 0) return TARR_SS_ERROR_INVERSION_FAILED;
  for (int c = 0; c < p; ++c)  // potri leaves the upper triangle; callers read both
    for (int r = c + 1; r < p; ++r) cov[r + c * p] = cov[c + r * p];
  return 0;
}
