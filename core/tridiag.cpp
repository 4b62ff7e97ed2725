// Tridiagonal systems without pivoting: A = L*U with L unit lower bidiagonal (multipliers in
// dl) and U upper bidiagonal (pivots in d, super-diagonal du unchanged). The data-fitting
// routines hand in diagonally dominant spline systems, for which elimination without row
// exchanges is stable and keeps the factors in the three input arrays.
//
// A zero pivot stops the factorisation at that row (info = its 1-based number); entries from
// there on are left as they were and the factors must not be used. Argument errors give
// info = -(position of the argument) and touch nothing.
#include <zorp/core.h>

#include <cstddef>

namespace {
template <typename T>
int factor(int n, T* dl, T* d, const T* du) {
  for (int i = 0; i + 1 < n; ++i) {
    if (d[i] == T(0)) return i + 1;
    const T l = dl[i] / d[i];
    dl[i] = l;
    d[i + 1] -= l * du[i];
  }
  if (n > 0 && d[n - 1] == T(0)) return n;
  return 0;
}

template <typename T>
void solve(bool transposed, int n, int nrhs, const T* dl, const T* d, const T* du, T* b, int ldb) {
  for (int j = 0; j < nrhs; ++j) {
    T* x = b + static_cast<ptrdiff_t>(j) * ldb;
    if (!transposed) {
      for (int i = 1; i < n; ++i) x[i] -= dl[i - 1] * x[i - 1];  // L y = b
      x[n - 1] /= d[n - 1];                                       // U x = y
      for (int i = n - 2; i >= 0; --i) x[i] = (x[i] - du[i] * x[i + 1]) / d[i];
    } else {
      x[0] /= d[0];  // U^T z = b
      for (int i = 1; i < n; ++i) x[i] = (x[i] - du[i - 1] * x[i - 1]) / d[i];
      for (int i = n - 2; i >= 0; --i) x[i] -= dl[i] * x[i + 1];  // L^T x = z
    }
  }
}

template <typename T>
void dttrf(const int* n, T* dl, T* d, T* du, int* info) {
  if (!info) return;
  if (!n || *n < 0) {
    *info = -1;
    return;
  }
  *info = *n == 0 ? 0 : factor(*n, dl, d, du);
}

template <typename T>
void dttrs(const char* trans, const int* n, const int* nrhs, const T* dl, const T* d, const T* du,
           T* b, const int* ldb, int* info) {
  if (!info) return;
  const char t = trans ? *trans : '\0';
  const bool notrans = t == 'N' || t == 'n';
  const bool tr = t == 'T' || t == 't' || t == 'C' || t == 'c';
  if (!notrans && !tr) *info = -1;
  else if (!n || *n < 0) *info = -2;
  else if (!nrhs || *nrhs < 0) *info = -3;
  else if (!ldb || *ldb < (*n > 1 ? *n : 1)) *info = -8;
  else {
    *info = 0;
    if (*n > 0 && *nrhs > 0) solve(tr, *n, *nrhs, dl, d, du, b, *ldb);
  }
}

template <typename T>
void dtsv(const int* n, const int* nrhs, T* dl, T* d, T* du, T* b, const int* ldb, int* info) {
  if (!info) return;
  if (!n || *n < 0) *info = -1;
  else if (!nrhs || *nrhs < 0) *info = -2;
  else if (!ldb || *ldb < (*n > 1 ? *n : 1)) *info = -7;
  else {
    *info = *n == 0 ? 0 : factor(*n, dl, d, du);
    if (*info == 0 && *n > 0 && *nrhs > 0) solve(false, *n, *nrhs, dl, d, du, b, *ldb);
  }
}
}  // namespace

extern "C" {
void ddttrfb_4dfl(const int* n, double* dl, double* d, double* du, int* info) { dttrf(n, dl, d, du, info); }
void sdttrfb_4dfl(const int* n, float* dl, float* d, float* du, int* info) { dttrf(n, dl, d, du, info); }
void ddttrsb_4dfl(const char* trans, const int* n, const int* nrhs, const double* dl, const double* d,
                  const double* du, double* b, const int* ldb, int* info) {
  dttrs(trans, n, nrhs, dl, d, du, b, ldb, info);
}
void sdttrsb_4dfl(const char* trans, const int* n, const int* nrhs, const float* dl, const float* d,
                  const float* du, float* b, const int* ldb, int* info) {
  dttrs(trans, n, nrhs, dl, d, du, b, ldb, info);
}
void ddtsvb_4dfl(const int* n, const int* nrhs, double* dl, double* d, double* du, double* b,
                 const int* ldb, int* info) {
  dtsv(n, nrhs, dl, d, du, b, ldb, info);
}
void sdtsvb_4dfl(const int* n, const int* nrhs, float* dl, float* d, float* du, float* b,
                 const int* ldb, int* info) {
  dtsv(n, nrhs, dl, d, du, b, ldb, info);
}
}
