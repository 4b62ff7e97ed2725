// Correlation repair (_tarr?SSCorParametrization, method 0x4): a correlation matrix assembled
// from pairwise estimates, or edited by hand, can have negative eigenvalues, and then no data
// set has it as its correlation.  The repair keeps the eigenvectors, raises every eigenvalue
// below 1e-14 to 1e-14 and scales the rebuilt matrix back to unit diagonal: the nearest matrix
// in the eigenvalue sense that a Cholesky factorisation (of a normal generator, say) accepts.
//
// Input: slot 33 in the storage of slot 32; output: slot 9 in the storage of slot 10 (0 full,
// 1 upper packed, 2 lower packed).  A full input is read through its upper triangle.  The
// output may be the input array itself, except a full output over a packed input (the array
// holds only p(p+1)/2 values).  Float tasks are repaired in double and rounded once.
//
// Returns 0 with the input copied when no eigenvalue needed raising, the positive warning
// TARR_SS_WARNING_COR_REPAIRED when the matrix was rebuilt, TARR_SS_ERROR_NO_USABLE_EIGENVALUE
// when all of them were below the floor (nothing is left to rebuild from), and
// TARR_SS_ERROR_EIGEN_FAILED when the host's syev reports a failure.
#include <cmath>

#include "ss/common/data.h"
#include "ss/common/steps.h"

namespace zorp::ss {
namespace {

constexpr double kEigenFloor = 1e-14;

template <typename T>
struct CorRepair : Split {
  TarrSSTask* t;
  uint32_t method;
  int64_t p = 0, fin = 0, fout = 0;
  const T* in = nullptr;
  T* out = nullptr;
  int lwork = 0;
  double *a = nullptr, *lambda = nullptr, *rebuilt = nullptr, *work = nullptr;
  int status = 0;  // what finish returns: 0 (copied) or the repair warning

  CorRepair(TarrSSTask* task, uint64_t, uint32_t m) : t(task), method(m) {}

  int check() {
    if (int e = read_dimension(t, p)) return e;
    if (!(in = static_cast<const T*>(slot(t, kSlotCor)))) return TARR_SS_ERROR_NULL_COR;
    if (!slot(t, kSlotCorStorage)) return TARR_SS_ERROR_NULL_STORAGE_ITEM;
    fin = item_at(t, kSlotCorStorage);
    if (fin < 0 || fin >= 3) return TARR_SS_ERROR_BAD_STORAGE;
    if (!(out = static_cast<T*>(slot(t, kSlotParamCor)))) return TARR_SS_ERROR_NULL_PARAMTRZ_COR;
    if (!slot(t, kSlotParamCorStorage)) return TARR_SS_ERROR_NULL_STORAGE_ITEM;
    fout = item_at(t, kSlotParamCorStorage);
    if (fout < 0 || fout > 2) return TARR_SS_ERROR_BAD_STORAGE;
    if (static_cast<const T*>(out) == in && fout == 0 && fin != 0) return TARR_SS_ERROR_BAD_STORAGE;
    if (!(method & TARR_SS_METHOD_COR_REPAIR)) return TARR_SS_ERROR_BAD_METHOD;
    if (p > (int64_t(1) << 31) / 4) return TARR_SS_ERROR_BAD_DIMENSION;  // syev's int sizes
    return 0;
  }
  int plan() {
    lwork = int(3 * p - 1 > 1 ? 3 * p - 1 : 1);  // syev's minimum: no workspace query, which
    return 0;                                     // would be a LAPACK call of its own
  }
  void carve(Carver& C) {
    a = C.scratch<double>(p * p);
    lambda = C.scratch<double>(p);
    rebuilt = C.scratch<double>(p * p);
    work = C.scratch<double>(lwork);
  }
  int start() {
    for (int64_t c = 0; c < p; ++c)
      for (int64_t r = 0; r <= c; ++r) a[r + c * p] = a[c + r * p] = double(in[mat_pos(r, c, p, fin)]);
    return 0;
  }
  int part(int, int) {
    const int n = int(p);
    int info = 0;
    zorp_lapack_dsyev("V", "U", &n, a, &n, lambda, work, &lwork, &info);
    if (info != 0) return TARR_SS_ERROR_EIGEN_FAILED;
    int64_t raised = 0;
    for (int64_t k = 0; k < p; ++k)
      if (!(lambda[k] >= kEigenFloor)) {  // NaN input leaves NaN eigenvalues: raised as well
        lambda[k] = kEigenFloor;
        ++raised;
      }
    if (raised == p) return TARR_SS_ERROR_NO_USABLE_EIGENVALUE;
    if (raised == 0) {  // already positive definite: the input itself is the answer
      for (int64_t c = 0; c < p; ++c)
        for (int64_t r = 0; r <= c; ++r) rebuilt[r + c * p] = double(in[mat_pos(r, c, p, fin)]);
      return 0;
    }
    // V diag(lambda) V^T, upper triangle, then the unit-diagonal scaling.
    for (int64_t c = 0; c < p; ++c)
      for (int64_t r = 0; r <= c; ++r) {
        double s = 0;
        for (int64_t k = 0; k < p; ++k) s += a[r + k * p] * lambda[k] * a[c + k * p];
        rebuilt[r + c * p] = s;
      }
    for (int64_t c = 0; c < p; ++c)
      for (int64_t r = 0; r < c; ++r)
        rebuilt[r + c * p] /= std::sqrt(rebuilt[r + r * p] * rebuilt[c + c * p]);
    for (int64_t j = 0; j < p; ++j) rebuilt[j + j * p] = 1.0;
    status = TARR_SS_WARNING_COR_REPAIRED;
    return 0;
  }
  int finish() {
    for (int64_t c = 0; c < p; ++c)
      for (int64_t r = 0; r <= c; ++r) put_symmetric(out, p, fout, r, c, rebuilt[r + c * p]);
    return status;
  }
};

}  // namespace
}  // namespace zorp::ss

ZORP_SS_EXPORTS(CorParametrization, CorRepair)
