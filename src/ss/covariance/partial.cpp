// Partial covariance and correlation (_tarr?SSPartialCovariance, method 0x1): the covariance of
// the components Y given the components Z, Cyy - Cyz Czz^-1 Czy, from the covariance (slot 31)
// or, when none is registered, the correlation (slot 33) in its storage word.
//
// Roles (slot 65, p integers of the task's width): a positive entry puts the component in Y, a
// negative entry in Z, 0 leaves it out.  The results are |Y| x |Y| matrices over the Y
// components in increasing order, the partial covariance (slot 66) and correlation (slot 68)
// each in its own storage word (slots 67, 69).  With Z empty the partial covariance is Cyy.
// Czz is factored and inverted by the host's LAPACK (potrf, then potri: -5010 when it is not
// positive definite, -5011 should the inversion fail), the products are the host's gemm, in the
// task's precision; results are written only after all of that succeeded.
#include <cmath>

#include "ss/common/blas.h"
#include "ss/common/data.h"
#include "ss/common/steps.h"

namespace zorp::ss {
namespace {

template <typename T>
struct Partial : Split {
  TarrSSTask* t;
  uint64_t est;
  uint32_t method;
  const T* input = nullptr;
  int64_t fin = 0, fcov = 0, fcor = 0, p = 0, ny = 0, nz = 0;
  int64_t* ys = nullptr;
  int64_t* zs = nullptr;
  T *czz = nullptr, *cyz = nullptr, *czy = nullptr, *cyy = nullptr, *w = nullptr;

  Partial(TarrSSTask* task, uint64_t e, uint32_t m) : t(task), est(e), method(m) {}
  int64_t role(int64_t j) const { return item_at(t, kSlotPartialRoles, j); }
  double in(int64_t a, int64_t b) const { return double(input[mat_pos(a, b, p, fin)]); }

  int check() {
    const bool have_cov = slot(t, kSlotCov) != nullptr;
    if (!have_cov && !slot(t, kSlotCor)) return TARR_SS_ERROR_NULL_COV;
    const int word = have_cov ? kSlotCovStorage : kSlotCorStorage;
    if (!slot(t, word)) return TARR_SS_ERROR_NULL_STORAGE_ITEM;
    input = static_cast<const T*>(slot(t, have_cov ? kSlotCov : kSlotCor));
    fin = item_at(t, word);
    if (!slot(t, kSlotPartialRoles)) return TARR_SS_ERROR_NULL_PARTIAL_INDICES;
    if (est & TARR_SS_PARTIAL_COV) {
      if (!slot(t, kSlotPartialCov)) return TARR_SS_ERROR_NULL_PARTIAL_COV;
      if (!slot(t, kSlotPartialCovStorage)) return TARR_SS_ERROR_NULL_STORAGE_ITEM;
      fcov = item_at(t, kSlotPartialCovStorage);
    }
    if (est & TARR_SS_PARTIAL_COR) {
      if (!slot(t, kSlotPartialCor)) return TARR_SS_ERROR_NULL_PARTIAL_COR;
      if (!slot(t, kSlotPartialCorStorage)) return TARR_SS_ERROR_NULL_STORAGE_ITEM;
      fcor = item_at(t, kSlotPartialCorStorage);
    }
    if (!(method & TARR_SS_METHOD_PARTIAL)) return TARR_SS_ERROR_BAD_METHOD;
    if (!t->dimension || (p = item(t, t->dimension)) < 1) return TARR_SS_ERROR_PARTIAL_BAD_DIMENSION;
    return 0;
  }
  int plan() {
    for (int64_t j = 0; j < p; ++j) {
      const int64_t r = role(j);
      ny += r > 0;
      nz += r < 0;
    }
    return ny == 0 || !(est & (TARR_SS_PARTIAL_COV | TARR_SS_PARTIAL_COR)) ? kNothingToDo : 0;
  }
  void carve(Carver& C) {
    ys = C.take<int64_t>(ny);
    zs = C.take<int64_t>(nz);
    czz = C.take<T>(nz * nz);
    cyz = C.take<T>(ny * nz);
    czy = C.take<T>(nz * ny);
    cyy = C.take<T>(ny * ny);
    w = C.take<T>(ny * nz);
  }
  // The blocks, column-major.
  int start() {
    for (int64_t j = 0, a = 0, b = 0; j < p; ++j) {
      const int64_t r = role(j);
      if (r > 0) ys[a++] = j;
      if (r < 0) zs[b++] = j;
    }
    for (int64_t c = 0; c < nz; ++c)
      for (int64_t r = 0; r < nz; ++r) czz[r + c * nz] = T(in(zs[r], zs[c]));
    for (int64_t c = 0; c < nz; ++c)
      for (int64_t r = 0; r < ny; ++r) cyz[r + c * ny] = czy[c + r * nz] = T(in(ys[r], zs[c]));
    for (int64_t c = 0; c < ny; ++c)
      for (int64_t r = 0; r < ny; ++r) cyy[r + c * ny] = T(in(ys[r], ys[c]));
    return 0;
  }
  int part(int, int) {
    if (nz == 0) return 0;
    const int z = int(nz), y = int(ny);
    if (blas::potrf(z, czz, z) != 0) return TARR_SS_ERROR_NOT_POSITIVE_DEFINITE;
    if (blas::potri(z, czz, z) != 0) return TARR_SS_ERROR_INVERSION_FAILED;
    for (int64_t c = 0; c < nz; ++c)  // potri leaves the upper triangle; gemm reads both
      for (int64_t r = c + 1; r < nz; ++r) czz[r + c * nz] = czz[c + r * nz];
    blas::gemm(y, z, z, 1.0, cyz, y, czz, z, 0.0, w, y);     // W = Cyz Czz^-1
    blas::gemm(y, y, z, -1.0, w, y, czy, z, 1.0, cyy, y);    // Cyy - W Czy
    return 0;
  }
  int finish() {
    T* cov = static_cast<T*>(slot(t, kSlotPartialCov));
    T* cor = static_cast<T*>(slot(t, kSlotPartialCor));
    for (int64_t b = 0; b < ny; ++b)
      for (int64_t a = 0; a <= b; ++a) {
        const double v = double(cyy[a + b * ny]);
        if (est & TARR_SS_PARTIAL_COV) put_symmetric(cov, ny, fcov, a, b, v);
        if (est & TARR_SS_PARTIAL_COR)
          put_symmetric(cor, ny, fcor, a, b,
                        a == b ? 1.0 : v / __tarrdSqrt(double(cyy[a + a * ny]) * double(cyy[b + b * ny])));
      }
    return 0;
  }
};

}  // namespace
}  // namespace zorp::ss

ZORP_SS_EXPORTS(PartialCovariance, Partial)
