// BLAS and LAPACK adapters over the system's OpenBLAS (which carries LAPACK too).
//
// The Fortran entry points take, after the listed arguments, one hidden length per character
// argument (gfortran passes them as size_t); every flag here is one character, so 1 is passed
// for each.
//
// The x-prefixed siblings (zorp_blas_xdsyrk, ...) are the ones the kernel library calls from
// inside its own parallel regions. They have exactly the semantics of the plain ones and call
// the same OpenBLAS routine: OpenBLAS may be entered from several threads at once, and for the
// small blocks those callers pass it works on the calling thread.
#include <zorp/core.h>

#include <cstddef>

#include "platform/fail_countdown.h"

using fchar = const char*;
using flen = size_t;

extern "C" {
#define ZORP_FORTRAN_DECL(p, T)                                                                   \
  void p##syrk_(fchar, fchar, const int*, const int*, const T*, const T*, const int*, const T*,  \
                T*, const int*, flen, flen);                                                       \
  void p##syr_(fchar, const int*, const T*, const T*, const int*, T*, const int*, flen);         \
  void p##gemm_(fchar, fchar, const int*, const int*, const int*, const T*, const T*, const int*, \
                const T*, const int*, const T*, T*, const int*, flen, flen);                      \
  void p##gemv_(fchar, const int*, const int*, const T*, const T*, const int*, const T*,         \
                const int*, const T*, T*, const int*, flen);                                      \
  void p##trmm_(fchar, fchar, fchar, fchar, const int*, const int*, const T*, const T*,          \
                const int*, T*, const int*, flen, flen, flen, flen);                              \
  void p##symm_(fchar, fchar, const int*, const int*, const T*, const T*, const int*, const T*,  \
                const int*, const T*, T*, const int*, flen, flen);                                \
  void p##tpmv_(fchar, fchar, fchar, const int*, const T*, T*, const int*, flen, flen, flen);     \
  void p##potrf_(fchar, const int*, T*, const int*, int*, flen);                                  \
  void p##trtri_(fchar, fchar, const int*, T*, const int*, int*, flen, flen);                     \
  void p##potri_(fchar, const int*, T*, const int*, int*, flen);                                  \
  void p##syev_(fchar, fchar, const int*, T*, const int*, T*, T*, const int*, int*, flen, flen);  \
  void p##spevd_(fchar, fchar, const int*, T*, T*, T*, const int*, T*, const int*, int*,         \
                 const int*, int*, flen, flen);
ZORP_FORTRAN_DECL(d, double)
ZORP_FORTRAN_DECL(s, float)
#undef ZORP_FORTRAN_DECL
}

namespace {
zorp::platform::FailCountdown g_fail_lapack;

// The LAPACK fault-injection hook (zorp_core_fail_lapack): true, with info = 1, for the one
// call the countdown selected.
inline bool injected_failure(int* info) {
  if (!g_fail_lapack.fails_now()) return false;
  *info = 1;
  return true;
}

inline char up(const char* c) { return (*c >= 'a' && *c <= 'z') ? static_cast<char>(*c - 32) : *c; }

// Packed triangular multiply. A (k x k, k = m for side L, n for side R) is stored packed by
// columns as tpmv expects. When a k x k scratch block is available, A is unpacked into it and
// the level-3 trmm does the work; without scratch (allocation refused) every column (side L)
// or row (side R) of B goes through tpmv, which needs no memory at all. Bad flags or sizes
// leave B untouched.
template <typename T, typename Trmm, typename Tpmv>
void ptrmm(const char* side, const char* uplo, const char* transa, const char* diag, const int* m,
           const int* n, const T* alpha, const T* ap, T* b, const int* ldb, Trmm trmm, Tpmv tpmv) {
  const char s = up(side), u = up(uplo), t = up(transa), dg = up(diag);
  if ((s != 'L' && s != 'R') || (u != 'U' && u != 'L') || (t != 'N' && t != 'T' && t != 'C') ||
      (dg != 'U' && dg != 'N'))
    return;
  const int M = *m, N = *n, LDB = *ldb;
  if (M < 0 || N < 0 || LDB < (M > 1 ? M : 1)) return;
  if (M == 0 || N == 0) return;
  const T a = *alpha;
  if (a == T(0)) {
    for (int j = 0; j < N; ++j)
      for (int i = 0; i < M; ++i) b[i + static_cast<ptrdiff_t>(j) * LDB] = T(0);
    return;
  }
  const int k = s == 'L' ? M : N;
  T* full = static_cast<T*>(zorp_serv_allocate(sizeof(T) * static_cast<size_t>(k) * k, 128));
  if (full) {
    const T* q = ap;
    for (int j = 0; j < k; ++j) {
      T* col = full + static_cast<ptrdiff_t>(j) * k;
      for (int i = 0; i < k; ++i) col[i] = T(0);
      if (u == 'U')
        for (int i = 0; i <= j; ++i) col[i] = *q++;
      else
        for (int i = j; i < k; ++i) col[i] = *q++;
    }
    trmm(side, uplo, transa, diag, m, n, alpha, full, &k, b, ldb, 1, 1, 1, 1);
    zorp_serv_deallocate(full);
    return;
  }
  const int one = 1;
  if (s == 'L') {
    for (int j = 0; j < N; ++j) tpmv(uplo, transa, diag, &M, ap, b + static_cast<ptrdiff_t>(j) * LDB, &one, 1, 1, 1);
  } else {
    // Row i of B times op(A) is op(A)^T applied to that row read with stride ldb.
    const char* flipped = t == 'N' ? "T" : "N";
    for (int i = 0; i < M; ++i) tpmv(uplo, flipped, diag, &N, ap, b + i, ldb, 1, 1, 1);
  }
  if (a != T(1))
    for (int j = 0; j < N; ++j)
      for (int i = 0; i < M; ++i) b[i + static_cast<ptrdiff_t>(j) * LDB] *= a;
}
}  // namespace

extern "C" {
#define ZORP_ADAPTERS(p, T)                                                                         \
  void zorp_blas_##p##syrk(fchar uplo, fchar trans, const int* n, const int* k, const T* alpha,     \
                           const T* a, const int* lda, const T* beta, T* c, const int* ldc) {       \
    p##syrk_(uplo, trans, n, k, alpha, a, lda, beta, c, ldc, 1, 1);                                 \
  }                                                                                                 \
  void zorp_blas_x##p##syrk(fchar uplo, fchar trans, const int* n, const int* k, const T* alpha,    \
                            const T* a, const int* lda, const T* beta, T* c, const int* ldc) {      \
    p##syrk_(uplo, trans, n, k, alpha, a, lda, beta, c, ldc, 1, 1);                                 \
  }                                                                                                 \
  void zorp_blas_##p##syr(fchar uplo, const int* n, const T* alpha, const T* x, const int* incx,    \
                          T* a, const int* lda) {                                                   \
    p##syr_(uplo, n, alpha, x, incx, a, lda, 1);                                                    \
  }                                                                                                 \
  void zorp_blas_x##p##syr(fchar uplo, const int* n, const T* alpha, const T* x, const int* incx,   \
                           T* a, const int* lda) {                                                  \
    p##syr_(uplo, n, alpha, x, incx, a, lda, 1);                                                    \
  }                                                                                                 \
  void zorp_blas_##p##gemm(fchar ta, fchar tb, const int* m, const int* n, const int* k,            \
                           const T* alpha, const T* a, const int* lda, const T* b, const int* ldb,  \
                           const T* beta, T* c, const int* ldc) {                                   \
    p##gemm_(ta, tb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc, 1, 1);                           \
  }                                                                                                 \
  void zorp_blas_x##p##gemm(fchar ta, fchar tb, const int* m, const int* n, const int* k,           \
                            const T* alpha, const T* a, const int* lda, const T* b,                 \
                            const int* ldb, const T* beta, T* c, const int* ldc) {                  \
    p##gemm_(ta, tb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc, 1, 1);                           \
  }                                                                                                 \
  void zorp_blas_##p##gemv(fchar trans, const int* m, const int* n, const T* alpha, const T* a,     \
                           const int* lda, const T* x, const int* incx, const T* beta, T* y,        \
                           const int* incy) {                                                       \
    p##gemv_(trans, m, n, alpha, a, lda, x, incx, beta, y, incy, 1);                                \
  }                                                                                                 \
  void zorp_blas_x##p##gemv(fchar trans, const int* m, const int* n, const T* alpha, const T* a,    \
                            const int* lda, const T* x, const int* incx, const T* beta, T* y,       \
                            const int* incy) {                                                      \
    p##gemv_(trans, m, n, alpha, a, lda, x, incx, beta, y, incy, 1);                                \
  }                                                                                                 \
  void zorp_blas_##p##trmm(fchar side, fchar uplo, fchar ta, fchar diag, const int* m,              \
                           const int* n, const T* alpha, const T* a, const int* lda, T* b,          \
                           const int* ldb) {                                                        \
    p##trmm_(side, uplo, ta, diag, m, n, alpha, a, lda, b, ldb, 1, 1, 1, 1);                        \
  }                                                                                                 \
  void zorp_blas_x##p##trmm(fchar side, fchar uplo, fchar ta, fchar diag, const int* m,             \
                            const int* n, const T* alpha, const T* a, const int* lda, T* b,         \
                            const int* ldb) {                                                       \
    p##trmm_(side, uplo, ta, diag, m, n, alpha, a, lda, b, ldb, 1, 1, 1, 1);                        \
  }                                                                                                 \
  void zorp_blas_##p##symm(fchar side, fchar uplo, const int* m, const int* n, const T* alpha,      \
                           const T* a, const int* lda, const T* b, const int* ldb, const T* beta,   \
                           T* c, const int* ldc) {                                                  \
    p##symm_(side, uplo, m, n, alpha, a, lda, b, ldb, beta, c, ldc, 1, 1);                          \
  }                                                                                                 \
  void zorp_blas_x##p##symm(fchar side, fchar uplo, const int* m, const int* n, const T* alpha,     \
                            const T* a, const int* lda, const T* b, const int* ldb, const T* beta,  \
                            T* c, const int* ldc) {                                                 \
    p##symm_(side, uplo, m, n, alpha, a, lda, b, ldb, beta, c, ldc, 1, 1);                          \
  }                                                                                                 \
  void zorp_blas4fenn_##p##trmm(fchar side, fchar uplo, fchar ta, fchar diag, const int* m,         \
                                const int* n, const T* alpha, const T* a, const int* lda, T* b,     \
                                const int* ldb) {                                                   \
    p##trmm_(side, uplo, ta, diag, m, n, alpha, a, lda, b, ldb, 1, 1, 1, 1);                        \
  }                                                                                                 \
  void zorp_blas_x##p##trmm_4fenn(fchar side, fchar uplo, fchar ta, fchar diag, const int* m,       \
                                  const int* n, const T* alpha, const T* a, const int* lda, T* b,   \
                                  const int* ldb) {                                                 \
    p##trmm_(side, uplo, ta, diag, m, n, alpha, a, lda, b, ldb, 1, 1, 1, 1);                        \
  }                                                                                                 \
  void zorp_blas4fenn_##p##ptrmm(fchar side, fchar uplo, fchar ta, fchar diag, const int* m,        \
                                 const int* n, const T* alpha, const T* ap, T* b, const int* ldb) { \
    ptrmm<T>(side, uplo, ta, diag, m, n, alpha, ap, b, ldb, p##trmm_, p##tpmv_);                    \
  }                                                                                                 \
  void zorp_lapack_##p##potrf(fchar uplo, const int* n, T* a, const int* lda, int* info) {          \
    if (injected_failure(info)) return;                                                             \
    p##potrf_(uplo, n, a, lda, info, 1);                                                            \
  }                                                                                                 \
  void zorp_lapack_##p##trtri(fchar uplo, fchar diag, const int* n, T* a, const int* lda,           \
                              int* info) {                                                          \
    if (injected_failure(info)) return;                                                             \
    p##trtri_(uplo, diag, n, a, lda, info, 1, 1);                                                   \
  }                                                                                                 \
  void zorp_lapack_##p##potri(fchar uplo, const int* n, T* a, const int* lda, int* info) {          \
    if (injected_failure(info)) return;                                                             \
    p##potri_(uplo, n, a, lda, info, 1);                                                            \
  }                                                                                                 \
  void zorp_lapack_##p##syev(fchar jobz, fchar uplo, const int* n, T* a, const int* lda, T* w,      \
                             T* work, const int* lwork, int* info) {                                \
    if (injected_failure(info)) return;                                                             \
    p##syev_(jobz, uplo, n, a, lda, w, work, lwork, info, 1, 1);                                    \
  }                                                                                                 \
  void zorp_lapack_##p##spevd(fchar jobz, fchar uplo, const int* n, T* ap, T* w, T* z,              \
                              const int* ldz, T* work, const int* lwork, int* iwork,                \
                              const int* liwork, int* info) {                                       \
    if (injected_failure(info)) return;                                                             \
    p##spevd_(jobz, uplo, n, ap, w, z, ldz, work, lwork, iwork, liwork, info, 1, 1);                \
  }
ZORP_ADAPTERS(d, double)
ZORP_ADAPTERS(s, float)
#undef ZORP_ADAPTERS

void zorp_core_fail_lapack(int64_t k) { g_fail_lapack.arm(k); }
}
