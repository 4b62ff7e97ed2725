// The host's BLAS and LAPACK in the task's precision: one name per operation, overloaded on
// float and double, every argument by address underneath as the host takes them.
#pragma once
#include "host/host.h"

namespace zorp::ss::blas {

// C += A A^T (trans "N", A n x k) or A^T A (trans "T", A k x n), upper triangle; the x-siblings,
// which may be called from inside the library's own parallel regions.
inline void syrk(const char* trans, int n, int k, const double* a, int lda, double* c, int ldc) {
  const double one = 1.0;
  zorp_blas_xdsyrk("U", trans, &n, &k, &one, a, &lda, &one, c, &ldc);
}
inline void syrk(const char* trans, int n, int k, const float* a, int lda, float* c, int ldc) {
  const float one = 1.0f;
  zorp_blas_xssyrk("U", trans, &n, &k, &one, a, &lda, &one, c, &ldc);
}
// A += alpha x x^T, upper triangle.
inline void syr(int n, double alpha, const double* x, double* a, int lda) {
  const int inc = 1;
  zorp_blas_xdsyr("U", &n, &alpha, x, &inc, a, &lda);
}
inline void syr(int n, double alpha, const float* x, float* a, int lda) {
  const int inc = 1;
  const float al = float(alpha);
  zorp_blas_xssyr("U", &n, &al, x, &inc, a, &lda);
}
// C := alpha A B + beta C (no transposes), A m x k, B k x n.
inline void gemm(int m, int n, int k, double alpha, const double* a, int lda, const double* b, int ldb, double beta,
                 double* c, int ldc) {
  zorp_blas_dgemm("N", "N", &m, &n, &k, &alpha, a, &lda, b, &ldb, &beta, c, &ldc);
}
inline void gemm(int m, int n, int k, double alpha, const float* a, int lda, const float* b, int ldb, double beta,
                 float* c, int ldc) {
  const float al = float(alpha), be = float(beta);
  zorp_blas_sgemm("N", "N", &m, &n, &k, &al, a, &lda, b, &ldb, &be, c, &ldc);
}
// Cholesky factor and inverse from it, upper triangle; LAPACK's info.
inline int potrf(int n, double* a, int lda) {
  int info = 0;
  zorp_lapack_dpotrf("U", &n, a, &lda, &info);
  return info;
}
inline int potrf(int n, float* a, int lda) {
  int info = 0;
  zorp_lapack_spotrf("U", &n, a, &lda, &info);
  return info;
}
inline int potri(int n, double* a, int lda) {
  int info = 0;
  zorp_lapack_dpotri("U", &n, a, &lda, &info);
  return info;
}
inline int potri(int n, float* a, int lda) {
  int info = 0;
  zorp_lapack_spotri("U", &n, a, &lda, &info);
  return info;
}

}  // namespace zorp::ss::blas
