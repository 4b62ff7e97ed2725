// Tridiagonal systems without pivoting: A = L*U with L unit lower bidiagonal (multipliers in
// dl) and U upper bidiagonal (pivots in d, super-diagonal du unchanged). The data-fitting
// routines hand in diagonally dominant spline systems, for which elimination without row
// exchanges is stable and keeps the factors in the three input arrays.
//
// A zero pivot stops the factorisation at that row (info = its 1-based number); entries from
// there on are left as they were and the factors must not be used. Argument errors give
// info = -(position of the argument) and touch nothing.
//
// Speed. Elimination is a recurrence, so the time per row is the latency of its dependent
// chain, not the work. The solve of several right-hand sides therefore runs up to eight
// columns side by side (independent chains) and divides once per row for all of them, through
// the reciprocal of the pivot; each column gets the same operations whatever its group, so a
// column's result does not depend on how the columns are split among calls. The one-call
// solve (dtsv) runs the forward substitution in the same pass as the factorisation and keeps
// the reciprocal pivots, so the backward pass has no division left on its chain; it uses the
// three diagonals as workspace (their contents on return are not the factors), and b is
// touched only once every pivot is known to be nonzero.
#include <immintrin.h>
#include <zorp/core.h>

#include "transpose8.h"

#include <cmath>
#include <cstddef>
#include <cstdlib>

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

// L y = b and U x = y for up to kGroup columns at once.
constexpr int kGroup = 8;

template <typename T, int G>
void solve_group(int n, const T* dl, const T* d, const T* du, T* b, ptrdiff_t ldb) {
  // The value carried from row to row stays in a register: reading it back from the column
  // would put a store-to-load round trip on every chain.
  T* x[G];
  T v[G];
  for (int j = 0; j < G; ++j) x[j] = b + j * ldb, v[j] = x[j][0];
  for (int i = 1; i < n; ++i) {
    const T l = dl[i - 1];
    for (int j = 0; j < G; ++j) x[j][i] = v[j] = x[j][i] - l * v[j];
  }
  {
    const T w = T(1) / d[n - 1];
    for (int j = 0; j < G; ++j) x[j][n - 1] = v[j] = v[j] * w;
  }
  for (int i = n - 2; i >= 0; --i) {
    const T w = T(1) / d[i], u = du[i];
    for (int j = 0; j < G; ++j) x[j][i] = v[j] = (x[j][i] - u * v[j]) * w;
  }
}

// Double columns on a processor with AVX-512, up to eight at a time: the columns go through in
// tiles of eight rows, transposed so that one vector holds one row of the group (lanes of
// missing columns are left empty); the chain from row to row is then one fused multiply-add
// for the whole group. Every double column takes this path on such a processor, each in its
// own lane with the same operations, so its bits do not depend on its group.
#define ZORP_AVX512 __attribute__((target("avx512f")))
// GCC 12 warns that some AVX-512 intrinsics read an undefined source register; they do not.
#pragma GCC diagnostic ignored "-Wuninitialized"
using zorp::lanes::transpose8;

// r[k] = row i0+k of the first cols columns, rows i0..i0+rows-1.
ZORP_AVX512 inline void load_tile(double* const x[8], int i0, int rows, __m512d r[8], int cols = 8) {
  const __mmask8 m = static_cast<__mmask8>((1u << rows) - 1u);
  for (int j = 0; j < 8; ++j) r[j] = j < cols ? _mm512_maskz_loadu_pd(m, x[j] + i0) : _mm512_setzero_pd();
  transpose8(r);
}

ZORP_AVX512 inline void store_tile(double* const x[8], int i0, int rows, __m512d r[8], int cols = 8) {
  const __mmask8 m = static_cast<__mmask8>((1u << rows) - 1u);
  transpose8(r);
  for (int j = 0; j < cols; ++j) _mm512_mask_storeu_pd(x[j] + i0, m, r[j]);
}

// Products and differences through the builtins that take a rounding argument, so that the
// compiler does not fuse them: the partitioned blocks below then round as their scalar form
// (the head and tail blocks) does.
ZORP_AVX512 inline __m512d mul(__m512d a, __m512d b) { return _mm512_mul_round_pd(a, b, _MM_FROUND_CUR_DIRECTION); }
ZORP_AVX512 inline __m512d sub(__m512d a, __m512d b) { return _mm512_sub_round_pd(a, b, _MM_FROUND_CUR_DIRECTION); }

// A full group's full tiles (eight rows of eight columns) stay untransposed between the two
// passes: the forward pass leaves row k of the tile in column k's eight slots of that tile, and
// the backward pass reads it back from there, so each such tile is transposed once on the way
// in and once on the way out instead of twice each way.  Both passes use the same tiles, from
// row 0 in steps of eight.
ZORP_AVX512 void solve_tiles_avx512(int n, const double* dl, const double* d, const double* du, double* b,
                                    ptrdiff_t ldb, int cols) {
  double* x[8];
  for (int j = 0; j < 8; ++j) x[j] = b + (j < cols ? j : 0) * ldb;
  const bool keep = cols == 8;
  __m512d r[8], v = _mm512_setzero_pd();
  // L y = b: row 0 stays.
  for (int i0 = 0; i0 < n; i0 += 8) {
    const int rows = n - i0 < 8 ? n - i0 : 8;
    load_tile(x, i0, rows, r, cols);
    for (int k = 0; k < rows; ++k) {
      const int i = i0 + k;
      if (i > 0) r[k] = _mm512_fnmadd_pd(_mm512_set1_pd(dl[i - 1]), v, r[k]);
      v = r[k];
    }
    if (keep && rows == 8) {
      for (int k = 0; k < 8; ++k) _mm512_storeu_pd(x[k] + i0, r[k]);
    } else {
      store_tile(x, i0, rows, r, cols);
    }
  }
  // U x = y, from the last row up.
  for (int i0 = (n - 1) / 8 * 8; i0 >= 0; i0 -= 8) {
    const int rows = n - i0 < 8 ? n - i0 : 8;
    if (keep && rows == 8) {
      for (int k = 0; k < 8; ++k) r[k] = _mm512_loadu_pd(x[k] + i0);
    } else {
      load_tile(x, i0, rows, r, cols);
    }
    for (int k = rows - 1; k >= 0; --k) {
      const int i = i0 + k;
      const __m512d w = _mm512_set1_pd(1.0 / d[i]);
      r[k] = i == n - 1 ? mul(r[k], w) : mul(_mm512_fnmadd_pd(_mm512_set1_pd(du[i]), v, r[k]), w);
      v = r[k];
    }
    store_tile(x, i0, rows, r, cols);
  }
}

bool has_avx512() {
  static const bool yes = __builtin_cpu_supports("avx512f");
  return yes;
}

template <typename T>
void solve(bool transposed, int n, int nrhs, const T* dl, const T* d, const T* du, T* b, int ldb) {
  if (!transposed) {
    if constexpr (sizeof(T) == 8) {
      if (has_avx512()) {
        for (int j = 0; j < nrhs; j += kGroup)
          solve_tiles_avx512(n, dl, d, du, b + static_cast<ptrdiff_t>(j) * ldb, ldb, nrhs - j < kGroup ? nrhs - j : kGroup);
        return;
      }
    }
    int j = 0;
    for (; j + kGroup <= nrhs; j += kGroup) solve_group<T, kGroup>(n, dl, d, du, b + static_cast<ptrdiff_t>(j) * ldb, ldb);
    for (; j < nrhs; ++j) solve_group<T, 1>(n, dl, d, du, b + static_cast<ptrdiff_t>(j) * ldb, ldb);
    return;
  }
  for (int j = 0; j < nrhs; ++j) {
    T* x = b + static_cast<ptrdiff_t>(j) * ldb;
    {
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

// One right-hand side in two passes. Forward: pivot p_i = d_i - dl_(i-1)*du_(i-1)*q_(i-1)
// with q = 1/p, and y_i = b_i - dl_(i-1)*q_(i-1)*y_(i-1), kept in dl_(i-1); q_i goes to d_i.
// Backward: x_i = (y_i - du_i*x_(i+1))*q_i into b. Returns the 1-based row of a zero pivot.
template <typename T>
int solve_one(int n, T* dl, T* d, const T* du, T* b) {
  T p = d[0];
  if (p == T(0)) return 1;
  T q = T(1) / p, y = b[0];
  d[0] = q;
  for (int i = 1; i < n; ++i) {
    const T a = dl[i - 1];
    p = d[i] - (a * du[i - 1]) * q;
    y = b[i] - (a * q) * y;
    if (p == T(0)) return i + 1;
    q = T(1) / p;
    d[i] = q;
    dl[i - 1] = y;
  }
  T x = y * q;  // y and q of row n-1
  b[n - 1] = x;
  for (int i = n - 2; i >= 0; --i) {
    const T yi = i == 0 ? b[0] : dl[i - 1];
    x = (yi - du[i] * x) * d[i];
    b[i] = x;
  }
  return 0;
}

// ---- one long, diagonally dominant system: partitioned elimination
//
// The rows are cut into blocks that are eliminated independently (eight at a time, one per
// vector lane, where the processor has AVX-512), each row ending as
//   x_i = Y_i - F_i * X - G_i * Z,
// X the last unknown of the block before and Z the first of the block after. The first and
// last unknowns of all blocks then satisfy a small system, solved in order, and a last pass
// forms every x_i. The chain from row to row no longer runs through the whole system, only
// through a block, and eight blocks advance together.
//
// Blocks restart their pivots, so a pivot that is zero in one order need not be zero in the
// other. The partitioned path is taken only when every row is strictly diagonally dominant by
// a margin (|d_i| >= (1 + 1/256)(|dl_(i-1)| + |du_i|)): then no pivot of either order can
// vanish, the answer of the plain elimination (info 0) is the answer here as well, and the
// inputs are untouched until that is known. Anything else (NaN included) takes the plain path.
constexpr int kBlockRows = 512;
constexpr int kPartitionedMin = 1 << 14;

constexpr double kMargin = 1.0 + 1.0 / 256;

ZORP_AVX512 inline __m512d absv(__m512d v, __m512i m) {
  return _mm512_castsi512_pd(_mm512_and_si512(_mm512_castpd_si512(v), m));
}

// Rows 1..n-2 by vectors: a failed comparison (NaN included) clears the mask.
ZORP_AVX512 bool dominant_inner_avx512(int n, const double* dl, const double* d, const double* du) {
  const __m512d k = _mm512_set1_pd(kMargin);
  const __m512i abs_bits = _mm512_set1_epi64(0x7FFFFFFFFFFFFFFFll);
  __mmask8 ok = 0xFF;
  int i = 1;
  for (; i + 8 <= n - 1; i += 8) {
    const __m512d side = _mm512_add_pd(absv(_mm512_loadu_pd(dl + i - 1), abs_bits), absv(_mm512_loadu_pd(du + i), abs_bits));
    ok &= _mm512_cmp_pd_mask(absv(_mm512_loadu_pd(d + i), abs_bits), mul(k, side), _CMP_GE_OQ);
  }
  if (ok != 0xFF) return false;
  for (; i + 1 < n; ++i)
    if (!(std::fabs(d[i]) >= kMargin * (std::fabs(dl[i - 1]) + std::fabs(du[i])))) return false;
  return true;
}

template <typename T>
bool dominant(int n, const T* dl, const T* d, const T* du) {
  const T k = T(kMargin);
  if (!(std::fabs(d[0]) >= k * std::fabs(du[0])) || !(std::fabs(d[n - 1]) >= k * std::fabs(dl[n - 2]))) return false;
  if constexpr (sizeof(T) == 8) {
    if (has_avx512()) return dominant_inner_avx512(n, dl, d, du);
  }
  int ok = 1;
  for (int i = 1; i + 1 < n; ++i) ok &= std::fabs(d[i]) >= k * (std::fabs(dl[i - 1]) + std::fabs(du[i]));
  return ok != 0;
}

// Rows [s, e) of one block, scalar. Down: p_i = d_i - l*du_(i-1), l = dl_(i-1)/p_(i-1),
// f_i = -l*f_(i-1) (f_s = dl_(s-1), the coupling to X), y_i = b_i - l*y_(i-1); q_i = 1/p_i to d,
// f to dl_(i-1), y to b. Up: Y, F, G into b, dl_(i-1), d.
template <typename T>
void block_scalar(int n, int s, int e, T* dl, T* d, const T* du, T* b) {
  T q = T(1) / d[s], f = s > 0 ? dl[s - 1] : T(0), y = b[s];
  d[s] = q;
  for (int i = s + 1; i < e; ++i) {
    const T l = dl[i - 1] * q;
    const T p = d[i] - l * du[i - 1];
    f = -(l * f);
    y = b[i] - l * y;
    q = T(1) / p;
    d[i] = q;
    dl[i - 1] = f;
    b[i] = y;
  }
  T Y = 0, F = 0, G = 0;
  for (int i = e - 1; i >= s; --i) {
    const T qi = d[i], c = i + 1 < n ? du[i] : T(0), fi = i > 0 ? dl[i - 1] : T(0);
    if (i == e - 1) {
      Y = b[i] * qi, F = fi * qi, G = c * qi;
    } else {
      Y = (b[i] - c * Y) * qi;
      F = (fi - c * F) * qi;
      G = -(c * G) * qi;
    }
    b[i] = Y;
    if (i > 0) dl[i - 1] = F;
    d[i] = G;
  }
}

// Eight blocks of kBlockRows rows from row r0 (all rows within 1..n-2), one per lane.
ZORP_AVX512 void blocks_avx512(int r0, double* dl, double* d, const double* du, double* b) {
  constexpr int B = kBlockRows;
  double *pa[8], *pd[8], *pb[8], *pc[8], *pu[8];
  for (int j = 0; j < 8; ++j) {
    const int s = r0 + j * B;
    pa[j] = dl + s - 1;                            // dl_(i-1): a_i, then f_i, then F_i
    pd[j] = d + s;                                 // d_i, then q_i, then G_i
    pb[j] = b + s;                                 // b_i, then y_i, then Y_i
    pc[j] = const_cast<double*>(du) + s - 1;       // du_(i-1), read only
    pu[j] = const_cast<double*>(du) + s;           // du_i, read only
  }
  const __m512d zero = _mm512_setzero_pd(), one = _mm512_set1_pd(1.0);
  __m512d A[8], D[8], C[8], Bv[8];
  __m512d q = zero, f = zero, y = zero;
  for (int t0 = 0; t0 < B; t0 += 8) {
    load_tile(pa, t0, 8, A);
    load_tile(pd, t0, 8, D);
    load_tile(pc, t0, 8, C);
    load_tile(pb, t0, 8, Bv);
    for (int k = 0; k < 8; ++k) {
      if (t0 + k == 0) {
        f = A[k];
        y = Bv[k];
        q = _mm512_div_pd(one, D[k]);
      } else {
        const __m512d l = mul(A[k], q);
        const __m512d p = sub(D[k], mul(l, C[k]));
        f = sub(zero, mul(l, f));
        y = sub(Bv[k], mul(l, y));
        q = _mm512_div_pd(one, p);
      }
      D[k] = q, A[k] = f, Bv[k] = y;
    }
    store_tile(pa, t0, 8, A);
    store_tile(pd, t0, 8, D);
    store_tile(pb, t0, 8, Bv);
  }
  __m512d Y = zero, F = zero, G = zero;
  for (int t0 = B - 8; t0 >= 0; t0 -= 8) {
    load_tile(pa, t0, 8, A);
    load_tile(pd, t0, 8, D);
    load_tile(pu, t0, 8, C);
    load_tile(pb, t0, 8, Bv);
    for (int k = 7; k >= 0; --k) {
      if (t0 + k == B - 1) {
        Y = mul(Bv[k], D[k]);
        F = mul(A[k], D[k]);
        G = mul(C[k], D[k]);
      } else {
        Y = mul(sub(Bv[k], mul(C[k], Y)), D[k]);
        F = mul(sub(A[k], mul(C[k], F)), D[k]);
        G = mul(sub(zero, mul(C[k], G)), D[k]);
      }
      Bv[k] = Y, A[k] = F, D[k] = G;
    }
    store_tile(pa, t0, 8, A);
    store_tile(pd, t0, 8, D);
    store_tile(pb, t0, 8, Bv);
  }
}

template <typename T>
void blocks_batch(int r0, T* dl, T* d, const T* du, T* b, int n) {
  if constexpr (sizeof(T) == 8) {
    if (has_avx512()) return blocks_avx512(r0, dl, d, du, b);
  }
  for (int j = 0; j < 8; ++j) block_scalar(n, r0 + j * kBlockRows, r0 + (j + 1) * kBlockRows, dl, d, du, b);
}

// Returns false (nothing touched) when the partitioned path does not apply.
template <typename T>
bool solve_partitioned(int n, T* dl, T* d, const T* du, T* b) {
  constexpr int B = kBlockRows;
  if (n < kPartitionedMin) return false;
  // Blocks: a head [0, B), batches of eight from B on, a tail of at least two rows.
  const int batches = (n - 2 - B) / (8 * B);
  if (batches < 1) return false;
  const int nb = 2 + 8 * batches;
  auto start = [&](int k) { return k == 0 ? 0 : B + (k - 1) * B; };
  auto end = [&](int k) { return k == nb - 1 ? n : start(k) + B; };
  T* w = static_cast<T*>(std::malloc(sizeof(T) * 6 * static_cast<size_t>(nb)));
  if (!w) return false;
  if (!dominant(n, dl, d, du)) {
    std::free(w);
    return false;
  }
  block_scalar(n, 0, B, dl, d, du, b);
  for (int j = 0; j < batches; ++j) blocks_batch(B + j * 8 * B, dl, d, du, b, n);
  block_scalar(n, start(nb - 1), n, dl, d, du, b);
  // First (u_k) and last (v_k) unknowns of the blocks. With
  //   v_k = Ye_k - Fe_k v_(k-1) - Ge_k u_(k+1),  u_k = Ys_k - Fs_k v_(k-1) - Gs_k u_(k+1),
  // eliminate forward to v_(k-1) = al_(k-1) - be_(k-1) u_(k+1), u_k = ga_k - de_k u_(k+1).
  T *al = w, *be = al + nb, *ga = be + nb, *de = ga + nb, *u = de + nb, *v = u + nb;
  auto Ys = [&](int k) { return b[start(k)]; };
  auto Fs = [&](int k) { return start(k) > 0 ? dl[start(k) - 1] : T(0); };
  auto Gs = [&](int k) { return d[start(k)]; };
  auto Ye = [&](int k) { return b[end(k) - 1]; };
  auto Fe = [&](int k) { return end(k) - 1 > 0 ? dl[end(k) - 2] : T(0); };
  auto Ge = [&](int k) { return d[end(k) - 1]; };
  T ap = 0, bp = 0;  // al, be of the step before (none before block 0)
  for (int k = 1; k < nb; ++k) {
    const T g = Ge(k - 1) - Fe(k - 1) * bp, r1 = Ye(k - 1) - Fe(k - 1) * ap;
    const T det = 1 - g * Fs(k);
    al[k - 1] = (r1 - g * Ys(k)) / det;
    be[k - 1] = -(g * Gs(k)) / det;
    ga[k] = Ys(k) - Fs(k) * al[k - 1];
    de[k] = Gs(k) - Fs(k) * be[k - 1];
    ap = al[k - 1], bp = be[k - 1];
  }
  T next = 0;  // u_(k+1)
  u[nb - 1] = ga[nb - 1];
  for (int k = nb - 1; k >= 1; --k) {
    next = k + 1 < nb ? u[k + 1] : T(0);
    u[k] = ga[k] - de[k] * next;
    v[k - 1] = al[k - 1] - be[k - 1] * next;
  }
  for (int k = 0; k < nb; ++k) {
    const T X = k > 0 ? v[k - 1] : T(0), Z = k + 1 < nb ? u[k + 1] : T(0);
    const int s = start(k), e = end(k);
    if (s == 0) {
      for (int i = 0; i < e; ++i) b[i] = b[i] - d[i] * Z;
    } else {
      for (int i = s; i < e; ++i) b[i] = (b[i] - dl[i - 1] * X) - d[i] * Z;
    }
  }
  std::free(w);
  return true;
}

template <typename T>
void dtsv(const int* n, const int* nrhs, T* dl, T* d, T* du, T* b, const int* ldb, int* info) {
  if (!info) return;
  if (!n || *n < 0) *info = -1;
  else if (!nrhs || *nrhs < 0) *info = -2;
  else if (!ldb || *ldb < (*n > 1 ? *n : 1)) *info = -7;
  else if (*nrhs == 1 && *n > 0) *info = solve_partitioned(*n, dl, d, du, b) ? 0 : solve_one(*n, dl, d, du, b);
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
