// BLAS and LAPACK in plain C++ for hosts that have no system library: Debian ships neither for
// mingw-w64, so the Windows build of the host core links this file instead of OpenBLAS (the
// Linux build never compiles it). It holds exactly the routines core/blas.cpp calls, under the
// Fortran names and calling convention it uses (arguments by address, one hidden length per
// character flag, unused here), in both precisions.
//
// The level-2/3 loops run in the order that walks columns contiguously; they are meant for the
// block sizes the kernel library hands over, not to compete with a tuned library. The eigen
// solvers use cyclic Jacobi rotations in double precision: a few dozen lines, accurate to
// rounding for symmetric matrices of the sizes summary statistics meet, and free of the
// tridiagonal machinery a faster solver needs.
//
// Bad flags or sizes: the BLAS routines return without touching anything; the LAPACK ones set
// info to minus the position of the first bad argument, as callers of LAPACK expect.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>
#include <vector>

namespace {

using fchar = const char*;
using flen = size_t;

char up(fchar c) { return (*c >= 'a' && *c <= 'z') ? static_cast<char>(*c - 32) : *c; }
bool is_uplo(char c) { return c == 'U' || c == 'L'; }
bool is_trans(char c) { return c == 'N' || c == 'T' || c == 'C'; }
bool is_diag(char c) { return c == 'U' || c == 'N'; }

// Column-major element (i, j) with leading dimension ld.
template <typename T>
T& at(T* a, int ld, int i, int j) {
  return a[i + static_cast<ptrdiff_t>(j) * ld];
}
template <typename T>
T at(const T* a, int ld, int i, int j) {
  return a[i + static_cast<ptrdiff_t>(j) * ld];
}

// Index of the first element of a vector of n elements read with increment inc.
ptrdiff_t first(int n, int inc) { return inc > 0 ? 0 : -static_cast<ptrdiff_t>(n - 1) * inc; }

// C = beta*C on the given triangle (or all of it), with beta = 0 clearing NaNs as BLAS does.
template <typename T>
void scale_block(T* c, int ldc, int m, int n, T beta, char tri) {
  for (int j = 0; j < n; ++j) {
    const int lo = tri == 'L' ? j : 0, hi = tri == 'U' ? std::min(j + 1, m) : m;
    for (int i = lo; i < hi; ++i) at(c, ldc, i, j) = beta == T(0) ? T(0) : beta * at(c, ldc, i, j);
  }
}

// ---- level 2 ------------------------------------------------------------------------------
template <typename T>
void syr(fchar uplo, const int* n_, const T* alpha_, const T* x, const int* incx_, T* a, const int* lda_) {
  const char u = up(uplo);
  const int n = *n_, incx = *incx_, lda = *lda_;
  const T alpha = *alpha_;
  if (!is_uplo(u) || n < 0 || incx == 0 || lda < std::max(1, n)) return;
  if (n == 0 || alpha == T(0)) return;
  const ptrdiff_t kx = first(n, incx);
  for (int j = 0; j < n; ++j) {
    const T xj = x[kx + static_cast<ptrdiff_t>(j) * incx];
    if (xj == T(0)) continue;
    const T t = alpha * xj;
    const int lo = u == 'U' ? 0 : j, hi = u == 'U' ? j + 1 : n;
    for (int i = lo; i < hi; ++i) at(a, lda, i, j) += x[kx + static_cast<ptrdiff_t>(i) * incx] * t;
  }
}

template <typename T>
void gemv(fchar trans, const int* m_, const int* n_, const T* alpha_, const T* a, const int* lda_, const T* x,
          const int* incx_, const T* beta_, T* y, const int* incy_) {
  const char t = up(trans);
  const int m = *m_, n = *n_, lda = *lda_, incx = *incx_, incy = *incy_;
  const T alpha = *alpha_, beta = *beta_;
  if (!is_trans(t) || m < 0 || n < 0 || lda < std::max(1, m) || incx == 0 || incy == 0) return;
  if (m == 0 || n == 0 || (alpha == T(0) && beta == T(1))) return;
  const int lenx = t == 'N' ? n : m, leny = t == 'N' ? m : n;
  const ptrdiff_t kx = first(lenx, incx), ky = first(leny, incy);
  auto xe = [&](int i) { return x[kx + static_cast<ptrdiff_t>(i) * incx]; };
  auto ye = [&](int i) -> T& { return y[ky + static_cast<ptrdiff_t>(i) * incy]; };
  if (beta != T(1))
    for (int i = 0; i < leny; ++i) ye(i) = beta == T(0) ? T(0) : beta * ye(i);
  if (alpha == T(0)) return;
  if (t == 'N') {
    for (int j = 0; j < n; ++j) {
      const T s = alpha * xe(j);
      for (int i = 0; i < m; ++i) ye(i) += s * at(a, lda, i, j);
    }
  } else {
    for (int j = 0; j < n; ++j) {
      T s = 0;
      for (int i = 0; i < m; ++i) s += at(a, lda, i, j) * xe(i);
      ye(j) += alpha * s;
    }
  }
}

// x = op(A) x with A triangular, packed by columns. Every output element depends only on input
// elements that are still unwritten in the chosen direction, so no scratch is needed.
template <typename T>
void tpmv(fchar uplo, fchar trans, fchar diag, const int* n_, const T* ap, T* x, const int* incx_) {
  const char u = up(uplo), t = up(trans), d = up(diag);
  const int n = *n_, incx = *incx_;
  if (!is_uplo(u) || !is_trans(t) || !is_diag(d) || n < 0 || incx == 0) return;
  const ptrdiff_t kx = first(n, incx);
  auto xe = [&](int i) -> T& { return x[kx + static_cast<ptrdiff_t>(i) * incx]; };
  auto aij = [&](int i, int j) -> T {  // A(i, j) inside the stored triangle
    if (i == j && d == 'U') return T(1);
    const ptrdiff_t col = u == 'U' ? static_cast<ptrdiff_t>(j) * (j + 1) / 2
                                   : static_cast<ptrdiff_t>(j) * n - static_cast<ptrdiff_t>(j) * (j - 1) / 2 - j;
    return ap[col + i];
  };
  // Row i of op(A) is non-zero from column `lo` to `hi` (inclusive).
  const bool ascending = (u == 'U') == (t == 'N');
  for (int s = 0; s < n; ++s) {
    const int i = ascending ? s : n - 1 - s;
    const int lo = ascending ? i : 0, hi = ascending ? n - 1 : i;
    T sum = 0;
    for (int j = lo; j <= hi; ++j) sum += (t == 'N' ? aij(i, j) : aij(j, i)) * xe(j);
    xe(i) = sum;
  }
}

// ---- level 3 ------------------------------------------------------------------------------
template <typename T>
void gemm(fchar ta_, fchar tb_, const int* m_, const int* n_, const int* k_, const T* alpha_, const T* a,
          const int* lda_, const T* b, const int* ldb_, const T* beta_, T* c, const int* ldc_) {
  const char ta = up(ta_), tb = up(tb_);
  const int m = *m_, n = *n_, k = *k_, lda = *lda_, ldb = *ldb_, ldc = *ldc_;
  const T alpha = *alpha_, beta = *beta_;
  if (!is_trans(ta) || !is_trans(tb) || m < 0 || n < 0 || k < 0 || lda < std::max(1, ta == 'N' ? m : k) ||
      ldb < std::max(1, tb == 'N' ? k : n) || ldc < std::max(1, m))
    return;
  if (m == 0 || n == 0 || ((alpha == T(0) || k == 0) && beta == T(1))) return;
  auto bv = [&](int l, int j) { return tb == 'N' ? at(b, ldb, l, j) : at(b, ldb, j, l); };
  for (int j = 0; j < n; ++j) {
    if (beta != T(1))
      for (int i = 0; i < m; ++i) at(c, ldc, i, j) = beta == T(0) ? T(0) : beta * at(c, ldc, i, j);
    if (alpha == T(0)) continue;
    if (ta == 'N') {
      for (int l = 0; l < k; ++l) {
        const T s = alpha * bv(l, j);
        for (int i = 0; i < m; ++i) at(c, ldc, i, j) += s * at(a, lda, i, l);
      }
    } else {
      for (int i = 0; i < m; ++i) {
        T s = 0;
        for (int l = 0; l < k; ++l) s += at(a, lda, l, i) * bv(l, j);
        at(c, ldc, i, j) += alpha * s;
      }
    }
  }
}

template <typename T>
void syrk(fchar uplo, fchar trans, const int* n_, const int* k_, const T* alpha_, const T* a, const int* lda_,
          const T* beta_, T* c, const int* ldc_) {
  const char u = up(uplo), t = up(trans);
  const int n = *n_, k = *k_, lda = *lda_, ldc = *ldc_;
  const T alpha = *alpha_, beta = *beta_;
  if (!is_uplo(u) || !is_trans(t) || n < 0 || k < 0 || lda < std::max(1, t == 'N' ? n : k) ||
      ldc < std::max(1, n))
    return;
  if (n == 0 || ((alpha == T(0) || k == 0) && beta == T(1))) return;
  if (beta != T(1)) scale_block(c, ldc, n, n, beta, u);
  if (alpha == T(0)) return;
  for (int j = 0; j < n; ++j) {
    const int lo = u == 'U' ? 0 : j, hi = u == 'U' ? j + 1 : n;
    if (t == 'N') {  // C += alpha A A^T, column j of C from the columns of A
      for (int l = 0; l < k; ++l) {
        const T s = alpha * at(a, lda, j, l);
        for (int i = lo; i < hi; ++i) at(c, ldc, i, j) += s * at(a, lda, i, l);
      }
    } else {  // C += alpha A^T A: dot products of columns of A
      for (int i = lo; i < hi; ++i) {
        T s = 0;
        for (int l = 0; l < k; ++l) s += at(a, lda, l, i) * at(a, lda, l, j);
        at(c, ldc, i, j) += alpha * s;
      }
    }
  }
}

template <typename T>
void symm(fchar side, fchar uplo, const int* m_, const int* n_, const T* alpha_, const T* a, const int* lda_,
          const T* b, const int* ldb_, const T* beta_, T* c, const int* ldc_) {
  const char s = up(side), u = up(uplo);
  const int m = *m_, n = *n_, lda = *lda_, ldb = *ldb_, ldc = *ldc_;
  const T alpha = *alpha_, beta = *beta_;
  const int ka = s == 'L' ? m : n;
  if ((s != 'L' && s != 'R') || !is_uplo(u) || m < 0 || n < 0 || lda < std::max(1, ka) || ldb < std::max(1, m) ||
      ldc < std::max(1, m))
    return;
  if (m == 0 || n == 0 || (alpha == T(0) && beta == T(1))) return;
  auto sym = [&](int i, int j) { return (u == 'U') == (i <= j) ? at(a, lda, i, j) : at(a, lda, j, i); };
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < m; ++i) {
      T sum = 0;
      if (alpha != T(0))
        for (int l = 0; l < ka; ++l) sum += s == 'L' ? sym(i, l) * at(b, ldb, l, j) : at(b, ldb, i, l) * sym(l, j);
      const T old = beta == T(0) ? T(0) : beta * at(c, ldc, i, j);
      at(c, ldc, i, j) = alpha * sum + old;
    }
}

// B = alpha op(A) B (side L) or alpha B op(A) (side R), A triangular, in place. Each loop runs
// in the direction that reads only entries of B it has not yet overwritten.
template <typename T>
void trmm(fchar side, fchar uplo, fchar transa, fchar diag, const int* m_, const int* n_, const T* alpha_,
          const T* a, const int* lda_, T* b, const int* ldb_) {
  const char s = up(side), u = up(uplo), t = up(transa), d = up(diag);
  const int m = *m_, n = *n_, lda = *lda_, ldb = *ldb_;
  const T alpha = *alpha_;
  if ((s != 'L' && s != 'R') || !is_uplo(u) || !is_trans(t) || !is_diag(d) || m < 0 || n < 0 ||
      lda < std::max(1, s == 'L' ? m : n) || ldb < std::max(1, m))
    return;
  if (m == 0 || n == 0) return;
  if (alpha == T(0)) {
    scale_block(b, ldb, m, n, T(0), 'A');
    return;
  }
  const bool unit = d == 'U', upper = u == 'U', notrans = t == 'N';
  auto diag_of = [&](int i) { return unit ? T(1) : at(a, lda, i, i); };
  if (s == 'L') {
    // Row i of op(A) is non-zero over [i, m) when op(A) is upper triangular, over [0, i] otherwise.
    const bool op_upper = upper == notrans;
    auto opa = [&](int i, int l) { return notrans ? at(a, lda, i, l) : at(a, lda, l, i); };
    for (int j = 0; j < n; ++j)
      for (int r = 0; r < m; ++r) {
        const int i = op_upper ? r : m - 1 - r;
        T sum = diag_of(i) * at(b, ldb, i, j);
        const int lo = op_upper ? i + 1 : 0, hi = op_upper ? m : i;
        for (int l = lo; l < hi; ++l) sum += opa(i, l) * at(b, ldb, l, j);
        at(b, ldb, i, j) = alpha * sum;
      }
    return;
  }
  // Column j of B op(A) combines the columns l of B with op(A)(l, j) non-zero: l <= j when
  // op(A) is upper triangular (so go from the last column down), l >= j otherwise.
  const bool op_upper = upper == notrans;
  auto opa = [&](int l, int j) { return notrans ? at(a, lda, l, j) : at(a, lda, j, l); };
  for (int r = 0; r < n; ++r) {
    const int j = op_upper ? n - 1 - r : r;
    const T dj = alpha * diag_of(j);
    for (int i = 0; i < m; ++i) at(b, ldb, i, j) *= dj;
    const int lo = op_upper ? 0 : j + 1, hi = op_upper ? j : n;
    for (int l = lo; l < hi; ++l) {
      const T f = alpha * opa(l, j);
      if (f == T(0)) continue;
      for (int i = 0; i < m; ++i) at(b, ldb, i, j) += f * at(b, ldb, i, l);
    }
  }
}

// ---- factorisations -----------------------------------------------------------------------
template <typename T>
void potrf(fchar uplo, const int* n_, T* a, const int* lda_, int* info) {
  const char u = up(uplo);
  const int n = *n_, lda = *lda_;
  *info = !is_uplo(u) ? -1 : n < 0 ? -2 : lda < std::max(1, n) ? -4 : 0;
  if (*info != 0 || n == 0) return;
  // Upper: A = U^T U, row j of U from column j of A. Lower: A = L L^T, its transpose.
  auto el = [&](int r, int c) -> T& { return u == 'U' ? at(a, lda, r, c) : at(a, lda, c, r); };
  for (int j = 0; j < n; ++j) {
    T djj = el(j, j);
    for (int k = 0; k < j; ++k) djj -= el(k, j) * el(k, j);
    if (!(djj > T(0))) {  // not positive definite (a NaN also stops here)
      el(j, j) = djj;
      *info = j + 1;
      return;
    }
    djj = std::sqrt(djj);
    el(j, j) = djj;
    for (int i = j + 1; i < n; ++i) {
      T s = el(j, i);
      for (int k = 0; k < j; ++k) s -= el(k, j) * el(k, i);
      el(j, i) = s / djj;
    }
  }
}

// Inverse of a triangular matrix in place: column by column, each new column is the already
// inverted part times the old column, scaled by minus the new diagonal element.
template <typename T>
void trtri(fchar uplo, fchar diag, const int* n_, T* a, const int* lda_, int* info) {
  const char u = up(uplo), d = up(diag);
  const int n = *n_, lda = *lda_;
  *info = !is_uplo(u) ? -1 : !is_diag(d) ? -2 : n < 0 ? -3 : lda < std::max(1, n) ? -5 : 0;
  if (*info != 0 || n == 0) return;
  const bool unit = d == 'U';
  if (!unit)
    for (int i = 0; i < n; ++i)
      if (at(a, lda, i, i) == T(0)) {
        *info = i + 1;
        return;
      }
  if (u == 'U') {
    for (int j = 0; j < n; ++j) {
      if (!unit) at(a, lda, j, j) = T(1) / at(a, lda, j, j);
      const T ajj = unit ? T(-1) : -at(a, lda, j, j);
      for (int i = 0; i < j; ++i) {  // rows above: upper-triangular product, ascending
        T s = (unit ? T(1) : at(a, lda, i, i)) * at(a, lda, i, j);
        for (int k = i + 1; k < j; ++k) s += at(a, lda, i, k) * at(a, lda, k, j);
        at(a, lda, i, j) = s * ajj;
      }
    }
  } else {
    for (int j = n - 1; j >= 0; --j) {
      if (!unit) at(a, lda, j, j) = T(1) / at(a, lda, j, j);
      const T ajj = unit ? T(-1) : -at(a, lda, j, j);
      for (int i = n - 1; i > j; --i) {  // rows below: lower-triangular product, descending
        T s = (unit ? T(1) : at(a, lda, i, i)) * at(a, lda, i, j);
        for (int k = j + 1; k < i; ++k) s += at(a, lda, i, k) * at(a, lda, k, j);
        at(a, lda, i, j) = s * ajj;
      }
    }
  }
}

// Inverse of A = U^T U (or L L^T) from its factor: invert the factor, then form U^-1 U^-T
// (L^-T L^-1) into the same triangle. Entry (i, j), i <= j, reads only factor entries in
// columns >= j of rows i and j, which the row-by-row order has not overwritten yet.
template <typename T>
void potri(fchar uplo, const int* n_, T* a, const int* lda_, int* info) {
  const char u = up(uplo);
  const int n = *n_, lda = *lda_;
  *info = !is_uplo(u) ? -1 : n < 0 ? -2 : lda < std::max(1, n) ? -4 : 0;
  if (*info != 0 || n == 0) return;
  trtri(uplo, "N", n_, a, lda_, info);
  if (*info != 0) return;
  auto el = [&](int r, int c) -> T& { return u == 'U' ? at(a, lda, r, c) : at(a, lda, c, r); };
  for (int i = 0; i < n; ++i)
    for (int j = i; j < n; ++j) {
      T s = 0;
      for (int k = j; k < n; ++k) s += el(i, k) * el(j, k);
      el(i, j) = s;
    }
}

// ---- symmetric eigenproblem -----------------------------------------------------------------
// Cyclic Jacobi on the full n x n matrix `a` (column-major, double): on return w holds the
// eigenvalues in ascending order and, when v is given, its columns the matching orthonormal
// eigenvectors. A rotation is skipped when the off-diagonal element is below rounding of both
// diagonal elements; the method converges quadratically, so a sweep limit is only a guard.
bool jacobi_eigen(std::vector<double>& a, int n, std::vector<double>* v, std::vector<double>& w) {
  auto A = [&](int i, int j) -> double& { return a[i + static_cast<size_t>(j) * n]; };
  std::vector<double> vec;
  if (v) {
    vec.assign(static_cast<size_t>(n) * n, 0.0);
    for (int i = 0; i < n; ++i) vec[i + static_cast<size_t>(i) * n] = 1.0;
  }
  bool converged = n <= 1;
  for (int sweep = 0; sweep < 64 && !converged; ++sweep) {
    bool rotated = false;
    for (int p = 0; p < n - 1; ++p)
      for (int q = p + 1; q < n; ++q) {
        const double apq = A(p, q);
        if (apq == 0.0) continue;
        const double app = A(p, p), aqq = A(q, q);
        if (std::fabs(apq) <= 0x1p-54 * std::sqrt(std::fabs(app)) * std::sqrt(std::fabs(aqq))) {
          A(p, q) = A(q, p) = 0.0;
          continue;
        }
        rotated = true;
        // The rotation angle that zeroes A(p, q): t = tan(phi), the smaller root.
        const double theta = (aqq - app) / (2.0 * apq);
        const double t = std::fabs(theta) > 0x1p500 ? 0.5 / theta
                                                     : std::copysign(1.0, theta) / (std::fabs(theta) + std::hypot(theta, 1.0));
        const double c = 1.0 / std::sqrt(t * t + 1.0), s = t * c;
        for (int k = 0; k < n; ++k) {
          if (k == p || k == q) continue;
          const double akp = A(k, p), akq = A(k, q);
          A(k, p) = A(p, k) = c * akp - s * akq;
          A(k, q) = A(q, k) = s * akp + c * akq;
        }
        A(p, p) = app - t * apq;
        A(q, q) = aqq + t * apq;
        A(p, q) = A(q, p) = 0.0;
        if (v)
          for (int k = 0; k < n; ++k) {
            double& vkp = vec[k + static_cast<size_t>(p) * n];
            double& vkq = vec[k + static_cast<size_t>(q) * n];
            const double x = vkp, y = vkq;
            vkp = c * x - s * y;
            vkq = s * x + c * y;
          }
      }
    converged = !rotated;
  }
  std::vector<int> order(n);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int x, int y) { return A(x, x) < A(y, y); });
  w.resize(n);
  for (int e = 0; e < n; ++e) w[e] = A(order[e], order[e]);
  if (v) {
    v->resize(static_cast<size_t>(n) * n);
    for (int e = 0; e < n; ++e)
      std::copy_n(vec.begin() + static_cast<ptrdiff_t>(order[e]) * n, n, v->begin() + static_cast<ptrdiff_t>(e) * n);
  }
  return converged;
}

template <typename T>
void syev(fchar jobz, fchar uplo, const int* n_, T* a, const int* lda_, T* w, T* work, const int* lwork_,
          int* info) {
  const char jz = up(jobz), u = up(uplo);
  const int n = *n_, lda = *lda_, lwork = *lwork_;
  const int lwmin = std::max(1, 3 * n - 1);
  *info = (jz != 'N' && jz != 'V') ? -1 : !is_uplo(u) ? -2 : n < 0 ? -3 : lda < std::max(1, n) ? -5
        : (lwork < lwmin && lwork != -1) ? -8 : 0;
  if (*info != 0) return;
  work[0] = static_cast<T>(lwmin);
  if (lwork == -1 || n == 0) return;
  std::vector<double> full(static_cast<size_t>(n) * n), vec, ev;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i)
      full[i + static_cast<size_t>(j) * n] = (u == 'U') == (i <= j) ? at(a, lda, i, j) : at(a, lda, j, i);
  const bool wantz = jz == 'V';
  if (!jacobi_eigen(full, n, wantz ? &vec : nullptr, ev)) *info = 1;
  for (int e = 0; e < n; ++e) w[e] = static_cast<T>(ev[e]);
  if (wantz)
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) at(a, lda, i, j) = static_cast<T>(vec[i + static_cast<size_t>(j) * n]);
}

template <typename T>
void spevd(fchar jobz, fchar uplo, const int* n_, T* ap, T* w, T* z, const int* ldz_, T* work, const int* lwork_,
           int* iwork, const int* liwork_, int* info) {
  const char jz = up(jobz), u = up(uplo);
  const int n = *n_, ldz = *ldz_, lwork = *lwork_, liwork = *liwork_;
  const bool wantz = jz == 'V';
  const int lwmin = n <= 1 ? 1 : wantz ? 1 + 6 * n + n * n : 2 * n;
  const int liwmin = (n <= 1 || !wantz) ? 1 : 3 + 5 * n;
  *info = (jz != 'N' && jz != 'V') ? -1 : !is_uplo(u) ? -2 : n < 0 ? -3 : (ldz < 1 || (wantz && ldz < n)) ? -7 : 0;
  if (*info == 0) {
    work[0] = static_cast<T>(lwmin);
    iwork[0] = liwmin;
    if (lwork < lwmin && lwork != -1) *info = -9;
    else if (liwork < liwmin && liwork != -1) *info = -11;
  }
  if (*info != 0 || lwork == -1 || liwork == -1 || n == 0) return;
  std::vector<double> full(static_cast<size_t>(n) * n), vec, ev;
  const T* p = ap;
  for (int j = 0; j < n; ++j)
    for (int i = u == 'U' ? 0 : j; i < (u == 'U' ? j + 1 : n); ++i, ++p)
      full[i + static_cast<size_t>(j) * n] = full[j + static_cast<size_t>(i) * n] = *p;
  if (!jacobi_eigen(full, n, wantz ? &vec : nullptr, ev)) *info = 1;
  for (int e = 0; e < n; ++e) w[e] = static_cast<T>(ev[e]);
  if (wantz)
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) at(z, ldz, i, j) = static_cast<T>(vec[i + static_cast<size_t>(j) * n]);
}

}  // namespace

extern "C" {
#define ZORP_PORTABLE(p, T)                                                                              \
  void p##syrk_(fchar uplo, fchar trans, const int* n, const int* k, const T* alpha, const T* a,          \
                const int* lda, const T* beta, T* c, const int* ldc, flen, flen) {                        \
    syrk<T>(uplo, trans, n, k, alpha, a, lda, beta, c, ldc);                                             \
  }                                                                                                      \
  void p##syr_(fchar uplo, const int* n, const T* alpha, const T* x, const int* incx, T* a,              \
               const int* lda, flen) {                                                                   \
    syr<T>(uplo, n, alpha, x, incx, a, lda);                                                             \
  }                                                                                                      \
  void p##gemm_(fchar ta, fchar tb, const int* m, const int* n, const int* k, const T* alpha, const T* a, \
                const int* lda, const T* b, const int* ldb, const T* beta, T* c, const int* ldc, flen,    \
                flen) {                                                                                  \
    gemm<T>(ta, tb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc);                                       \
  }                                                                                                      \
  void p##gemv_(fchar trans, const int* m, const int* n, const T* alpha, const T* a, const int* lda,      \
                const T* x, const int* incx, const T* beta, T* y, const int* incy, flen) {               \
    gemv<T>(trans, m, n, alpha, a, lda, x, incx, beta, y, incy);                                         \
  }                                                                                                      \
  void p##trmm_(fchar side, fchar uplo, fchar ta, fchar diag, const int* m, const int* n, const T* alpha, \
                const T* a, const int* lda, T* b, const int* ldb, flen, flen, flen, flen) {              \
    trmm<T>(side, uplo, ta, diag, m, n, alpha, a, lda, b, ldb);                                          \
  }                                                                                                      \
  void p##symm_(fchar side, fchar uplo, const int* m, const int* n, const T* alpha, const T* a,          \
                const int* lda, const T* b, const int* ldb, const T* beta, T* c, const int* ldc, flen,    \
                flen) {                                                                                  \
    symm<T>(side, uplo, m, n, alpha, a, lda, b, ldb, beta, c, ldc);                                      \
  }                                                                                                      \
  void p##tpmv_(fchar uplo, fchar trans, fchar diag, const int* n, const T* ap, T* x, const int* incx,   \
                flen, flen, flen) {                                                                      \
    tpmv<T>(uplo, trans, diag, n, ap, x, incx);                                                          \
  }                                                                                                      \
  void p##potrf_(fchar uplo, const int* n, T* a, const int* lda, int* info, flen) {                      \
    potrf<T>(uplo, n, a, lda, info);                                                                     \
  }                                                                                                      \
  void p##trtri_(fchar uplo, fchar diag, const int* n, T* a, const int* lda, int* info, flen, flen) {    \
    trtri<T>(uplo, diag, n, a, lda, info);                                                               \
  }                                                                                                      \
  void p##potri_(fchar uplo, const int* n, T* a, const int* lda, int* info, flen) {                      \
    potri<T>(uplo, n, a, lda, info);                                                                     \
  }                                                                                                      \
  void p##syev_(fchar jobz, fchar uplo, const int* n, T* a, const int* lda, T* w, T* work,               \
                const int* lwork, int* info, flen, flen) {                                               \
    syev<T>(jobz, uplo, n, a, lda, w, work, lwork, info);                                                \
  }                                                                                                      \
  void p##spevd_(fchar jobz, fchar uplo, const int* n, T* ap, T* w, T* z, const int* ldz, T* work,       \
                 const int* lwork, int* iwork, const int* liwork, int* info, flen, flen) {               \
    spevd<T>(jobz, uplo, n, ap, w, z, ldz, work, lwork, iwork, liwork, info);                            \
  }
ZORP_PORTABLE(d, double)
ZORP_PORTABLE(s, float)
#undef ZORP_PORTABLE
}
