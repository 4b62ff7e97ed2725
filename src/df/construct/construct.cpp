// Spline construction: linear, default and knot-based quadratic, and the cubic kinds (natural,
// default, Akima, Bessel, Hyman, Hermite), in single and double precision.  Each export checks
// the task in a fixed order and then computes the coefficients of all functions.
//
// The derivative-based kinds (Akima, Bessel, Hyman, Hermite) and the linear kind split the work
// into items of a block of cells times a group of four functions and hand them to the host's
// launcher when ny*nx is at least 512; below that everything runs in the calling thread, through
// the same block routine (one code path keeps single- and multi-threaded results identical bit
// for bit).  The natural kind solves one tridiagonal system for all functions through the host's
// solvers and splits its right-hand sides among threads.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "host/host.h"
#include "platform/transpose.h"
#include "vm/simd/simd.h"
#include "zorp/df.h"

namespace {

using zorp::host::allocate;
using zorp::host::deallocate;

constexpr int64_t kBlockCells = 2048;   // derivative kinds
constexpr int64_t kLinearCells = 1024;  // linear kind
constexpr int64_t kGroup = 4;           // functions per work item
constexpr int64_t kThreadMin = 512;     // ny*nx from which the launcher is used
constexpr int64_t kNaturalMinPoints = 300;
constexpr int kNaturalMaxThreads = 8;

enum class Kind { Akima, Bessel, Hyman, Hermite, Linear };

// Akima's weights below this sum count as a flat neighbourhood: the derivative is then the mean
// of the two slopes instead of their weighted mean.
constexpr double kAkimaFlat = 1e-10;

// Boundary-condition type to end-formula code; -1 for a type no cubic kind accepts.
int bc_code(int64_t bct) {
  switch (bct) {
    case DF_BC_NOT_A_KNOT: return 0;
    case DF_BC_FREE_END: return 1;
    case DF_BC_1ST_LEFT_DER | DF_BC_1ST_RIGHT_DER: return 2;
    case DF_BC_1ST_LEFT_DER | DF_BC_2ND_RIGHT_DER: return 3;
    case DF_BC_2ND_LEFT_DER | DF_BC_1ST_RIGHT_DER: return 4;
    case DF_BC_2ND_LEFT_DER | DF_BC_2ND_RIGHT_DER: return 5;
    case DF_BC_PERIODIC: return 6;
    case 0: return 7;
    default: return -1;
  }
}

bool yhint_ok(int64_t v) { return v == 0 || v == 16 || v == 32 || v == 128; }

// Common checks of the cubic kinds after the nx check: yhint, bc type, bc values.
int check_bc(const DFTask* t, bool allow_none) {
  if (!yhint_ok(t->yhint)) return DF_ERROR_BAD_Y_HINT;
  const int code = bc_code(t->bc_type);
  if (code < 0 || (code == 7 && !allow_none)) return DF_ERROR_BAD_BC_TYPE;
  const bool values = (code >= 2 && code <= 5) || (code == 6 && (t->type == DF_PP_DEFAULT || t->type == DF_PP_HERMITE));
  if (values && !t->bc) return DF_ERROR_BAD_BC;
  return DF_STATUS_OK;
}

// Data every routine needs: the partition, the function values, the coefficient storage.
template <typename T>
struct Fit {
  const DFTask* t;
  int64_t n, ny;
  const T* x;
  bool uniform;
  T x0, h;
  bool by_cols;
  const T* ycols;
  void** y;
  void** coeff;
  int code;
  Kind kind;
  const T* bc;
  const T* ic;

  T xi(int64_t i) const { return uniform ? x0 + static_cast<T>(i) * h : x[i]; }
  T hi(int64_t i) const { return uniform ? h : x[i + 1] - x[i]; }
  const T* ybase(int64_t f) const { return by_cols ? ycols + f : static_cast<const T*>(y[f]); }
  int64_t ystride() const { return by_cols ? ny : 1; }
  T* cf(int64_t f) const { return static_cast<T*>(coeff[f]); }
};

// Validates the pointers the routines read (beyond the listed checks): they keep a bad task
// from being dereferenced.
template <typename T>
int make_fit(const DFTask* t, Fit<T>& F) {
  if (t->ny < 1) return DF_ERROR_BAD_NY;
  if (!t->x) return DF_ERROR_BAD_X;
  if (!t->y) return DF_ERROR_BAD_Y;
  if (!t->coeff) return DF_ERROR_BAD_SCOEFF;
  F.t = t;
  F.n = t->nx;
  F.ny = t->ny;
  F.x = static_cast<const T*>(t->x);
  F.uniform = (t->xhint & DF_UNIFORM_PARTITION) != 0;
  F.x0 = F.x[0];
  F.h = F.uniform ? (F.x[1] - F.x[0]) / static_cast<T>(F.n - 1) : T(0);
  F.by_cols = t->yhint == DF_MATRIX_STORAGE_COLS;
  F.ycols = static_cast<const T*>(t->y[0]);
  F.y = t->y;
  F.coeff = t->coeff;
  F.bc = static_cast<const T*>(t->bc);
  F.ic = static_cast<const T*>(t->ic);
  F.code = bc_code(t->bc_type);
  for (int64_t f = 0; f < F.ny; ++f) {
    if (!F.by_cols && !t->y[f]) return DF_ERROR_BAD_Y;
    if (!t->coeff[f]) return DF_ERROR_BAD_SCOEFF;
    if (F.by_cols) break;
  }
  for (int64_t f = 0; f < F.ny; ++f)
    if (!t->coeff[f]) return DF_ERROR_BAD_SCOEFF;
  return DF_STATUS_OK;
}

// y[0] == y[n-1] for every function; a NaN fails the comparison.
template <typename T>
bool periodic_ok(const Fit<T>& F) {
  const int64_t s = F.ystride();
  for (int64_t f = 0; f < F.ny; ++f) {
    const T* y = F.ybase(f);
    if (!(y[0] == y[(F.n - 1) * s])) return false;
  }
  return true;
}

// Every cell must have a positive, finite width.  A repeated point (width 0), a descent, or a
// NaN or infinite point leaves slopes of 0/0 or y/0 in the rows and coefficients; the solvers
// do not see it (a single zero width gives no zero pivot), so such a partition would come out
// as NaN coefficients with status 0 on some paths and as a solver failure on others.  Every
// construction routine refuses it with DF_ERROR_BAD_X instead, the code that names a bad x.
// The one-function natural cubic checks the widths inside its build pass, the many-function one
// while it tabulates them and the block routines while they form slopes, so none of them reads
// x an extra time; the other routines call partition_ok.  Every routine checks the periodic
// values first.  NaN function values are data: they give NaN coefficients and status 0.
template <typename T>
bool width_ok(T h) {
  return h > T(0) && h <= std::numeric_limits<T>::max();
}

template <typename T>
bool partition_ok(const Fit<T>& F) {
  if (F.uniform) return width_ok(F.h);
  using S = zorp::simd::Simd<T>;
  using V = typename S::V;
  constexpr int L = S::kLanes;
  const V zero = S::broadcast(T(0)), one = S::broadcast(T(1)), top = S::broadcast(std::numeric_limits<T>::max());
  const int64_t cells = F.n - 1;
  for (int64_t i = 0; i < cells; i += L) {
    const auto m = S::first_lanes(static_cast<uint32_t>(std::min<int64_t>(cells - i, L)));
    const V h = S::sub(S::load_or(m, F.x + i + 1, one), S::load_or(m, F.x + i, zero));
    if ((S::less(zero, h) & S::less_equal(h, top)) != S::first_lanes(L)) return false;
  }
  return true;
}

// ---------------------------------------------------------------- vector kernels
//
// Unit-stride function values run through AVX-512 loops; values by columns (stride ny) take the
// scalar loops below, which compute the same formulas.
using zorp::simd::Simd;

// The four coefficient vectors of kLanes consecutive cells go out as whole cell blocks
// [y, d, c2, c3]: pair the values inside 128-bit lanes, then transpose the 4x4 grid of lanes.
inline void transpose_lanes(__m512d& u0, __m512d& u1, __m512d& u2, __m512d& u3) {
  const __m512d v0 = _mm512_shuffle_f64x2(u0, u1, _MM_SHUFFLE(2, 0, 2, 0));
  const __m512d v1 = _mm512_shuffle_f64x2(u0, u1, _MM_SHUFFLE(3, 1, 3, 1));
  const __m512d v2 = _mm512_shuffle_f64x2(u2, u3, _MM_SHUFFLE(2, 0, 2, 0));
  const __m512d v3 = _mm512_shuffle_f64x2(u2, u3, _MM_SHUFFLE(3, 1, 3, 1));
  u0 = _mm512_shuffle_f64x2(v0, v2, _MM_SHUFFLE(2, 0, 2, 0));
  u1 = _mm512_shuffle_f64x2(v1, v3, _MM_SHUFFLE(2, 0, 2, 0));
  u2 = _mm512_shuffle_f64x2(v0, v2, _MM_SHUFFLE(3, 1, 3, 1));
  u3 = _mm512_shuffle_f64x2(v1, v3, _MM_SHUFFLE(3, 1, 3, 1));
}

// count cells (1..kLanes) starting at c; the output vectors beyond count are masked off.
inline void store_cells(double* c, __m512d y, __m512d d, __m512d p, __m512d q, int count) {
  __m512d u0 = _mm512_unpacklo_pd(y, d), u1 = _mm512_unpacklo_pd(p, q);
  __m512d u2 = _mm512_unpackhi_pd(y, d), u3 = _mm512_unpackhi_pd(p, q);
  transpose_lanes(u0, u1, u2, u3);
  if (count == 8) {
    _mm512_storeu_pd(c, u0);
    _mm512_storeu_pd(c + 8, u1);
    _mm512_storeu_pd(c + 16, u2);
    _mm512_storeu_pd(c + 24, u3);
    return;
  }
  const __m512d out[4] = {u0, u1, u2, u3};
  for (int k = 0; k < 4; ++k) {
    const int left = count - 2 * k;  // cells in this output vector
    if (left <= 0) break;
    _mm512_mask_storeu_pd(c + 8 * k, Simd<double>::first_lanes(static_cast<uint32_t>(left >= 2 ? 8 : 4 * left)), out[k]);
  }
}

inline void store_cells(float* c, __m512 y, __m512 d, __m512 p, __m512 q, int count) {
  const __m512d t0 = _mm512_castps_pd(_mm512_unpacklo_ps(y, d)), t1 = _mm512_castps_pd(_mm512_unpackhi_ps(y, d));
  const __m512d t2 = _mm512_castps_pd(_mm512_unpacklo_ps(p, q)), t3 = _mm512_castps_pd(_mm512_unpackhi_ps(p, q));
  __m512d u0 = _mm512_unpacklo_pd(t0, t2), u1 = _mm512_unpackhi_pd(t0, t2);
  __m512d u2 = _mm512_unpacklo_pd(t1, t3), u3 = _mm512_unpackhi_pd(t1, t3);
  transpose_lanes(u0, u1, u2, u3);
  if (count == 16) {
    _mm512_storeu_ps(c, _mm512_castpd_ps(u0));
    _mm512_storeu_ps(c + 16, _mm512_castpd_ps(u1));
    _mm512_storeu_ps(c + 32, _mm512_castpd_ps(u2));
    _mm512_storeu_ps(c + 48, _mm512_castpd_ps(u3));
    return;
  }
  const __m512d out[4] = {u0, u1, u2, u3};
  for (int k = 0; k < 4; ++k) {
    const int left = count - 4 * k;
    if (left <= 0) break;
    _mm512_mask_storeu_ps(c + 16 * k, Simd<float>::first_lanes(static_cast<uint32_t>(left >= 4 ? 16 : 4 * left)),
                          _mm512_castpd_ps(out[k]));
  }
}

// Where the cell widths come from: a uniform step, the partition itself, or a table of widths
// and their reciprocals built once for many functions.
template <typename T>
struct Widths {
  using S = Simd<T>;
  using V = typename S::V;
  using M = typename S::M;
  const T* x;    // partition (null when uniform or tabulated)
  const T* h;    // tabulated widths, or null
  const T* rh;   // tabulated reciprocals
  T step, rstep; // uniform
  // Widths and reciprocals of cells [i, i+kLanes) under mask m.
  void load(int64_t i, M m, V& hv, V& rv) const {
    if (h) {
      hv = S::load_or(m, h + i, S::broadcast(T(1)));
      rv = S::load_or(m, rh + i, S::broadcast(T(1)));
    } else if (x) {
      hv = S::sub(S::load_or(m, x + i + 1, S::broadcast(T(1))), S::load_or(m, x + i, S::broadcast(T(0))));
      rv = S::div(S::broadcast(T(1)), hv);
    } else {
      hv = S::broadcast(step);
      rv = S::broadcast(rstep);
    }
  }
  T width(int64_t i) const { return h ? h[i] : x ? x[i + 1] - x[i] : step; }
  T recip(int64_t i) const { return h ? rh[i] : x ? T(1) / (x[i + 1] - x[i]) : rstep; }
};

// One lane to the left: lane k of the result is lane k+1 of (prev, cur) joined, i.e. the
// vector that starts one element after prev.
inline __m512d next_lane(__m512d prev, __m512d cur) {
  return _mm512_castsi512_pd(_mm512_alignr_epi64(_mm512_castpd_si512(cur), _mm512_castpd_si512(prev), 1));
}
inline __m512 next_lane(__m512 prev, __m512 cur) {
  return _mm512_castsi512_ps(_mm512_alignr_epi32(_mm512_castps_si512(cur), _mm512_castps_si512(prev), 1));
}

// Interior rows i = 1..n-2 of the derivative system for one function with unit-stride values:
// r_i = 3*(h_i*m_(i-1) + h_(i-1)*m_i) (uniform: rows divided by h).  Row i goes to R1[i-1].
template <typename T>
void interior_rows(const Widths<T>& W, bool uniform, const T* y, int64_t n, T* R1) {
  using S = Simd<T>;
  using V = typename S::V;
  constexpr int L = S::kLanes;
  const int64_t cells = n - 1;
  auto slopes = [&](int64_t j, V& hv, V& mv) {  // cells [j, j+L)
    const int64_t left = cells - j;
    const auto m = S::first_lanes(static_cast<uint32_t>(left <= 0 ? 0 : std::min<int64_t>(left, L)));
    V rv;
    W.load(j, m, hv, rv);
    const V dy = S::sub(S::load_or(m, y + j + 1, S::broadcast(T(0))), S::load_or(m, y + j, S::broadcast(T(0))));
    mv = S::mul(dy, rv);
  };
  V hp, mp;
  slopes(0, hp, mp);
  const V three = S::broadcast(T(3));
  for (int64_t i0 = 1; i0 <= n - 2; i0 += L) {
    V hc, mc;
    slopes(i0 - 1 + L, hc, mc);
    // Cells i-1 (prev) and i (one lane on) for rows i0..i0+L-1.
    const V ha = hp, ma = mp, hb = next_lane(hp, hc), mb = next_lane(mp, mc);
    const auto m = S::first_lanes(static_cast<uint32_t>(std::min<int64_t>(n - 1 - i0, L)));
    const V r = uniform ? S::mul(three, S::add(ma, mb)) : S::mul(three, S::add(S::mul(hb, ma), S::mul(ha, mb)));
    S::store(R1 + (i0 - 1), m, r);
    hp = hc;
    mp = mc;
  }
}

// The cubic terms of a cell from its slope m, reciprocal width r and end derivatives d0, d1:
// c2 = (3m - 2*d0 - d1)/h and c3 = (d0 + d1 - 2m)/h^2.
template <typename T, typename V = typename Simd<T>::V>
inline void cubic_terms(V m, V r, V d0, V d1, V& c2, V& c3) {
  using S = Simd<T>;
  const V two = S::broadcast(T(2)), three = S::broadcast(T(3));
  c2 = S::mul(S::sub(S::sub(S::mul(three, m), S::mul(two, d0)), d1), r);
  c3 = S::mul(S::mul(S::sub(S::add(d0, d1), S::mul(two, m)), r), r);
}

// Coefficient blocks of cells [0, n-1) from the derivatives d[0..n-1], unit-stride values.
template <typename T>
void cubic_cells(const Widths<T>& W, const T* y, const T* d, int64_t n, T* c) {
  using S = Simd<T>;
  using V = typename S::V;
  constexpr int L = S::kLanes;
  const int64_t cells = n - 1;
  for (int64_t i = 0; i < cells; i += L) {
    const int count = static_cast<int>(std::min<int64_t>(cells - i, L));
    const auto m = S::first_lanes(static_cast<uint32_t>(count));
    V hv, rv;
    W.load(i, m, hv, rv);
    const V y0 = S::load_or(m, y + i, S::broadcast(T(0))), y1 = S::load_or(m, y + i + 1, S::broadcast(T(0)));
    const V d0 = S::load_or(m, d + i, S::broadcast(T(0))), d1 = S::load_or(m, d + i + 1, S::broadcast(T(0)));
    V p, q;
    cubic_terms<T>(S::mul(S::sub(y1, y0), rv), rv, d0, d1, p, q);
    store_cells(c + 4 * i, y0, d0, p, q, count);
  }
}

// The same two passes for values with a stride (storage by columns).
template <typename T>
void interior_rows_strided(const Widths<T>& W, bool uniform, const T* y, int64_t s, int64_t n, T* R1) {
  if (n < 3) return;
  T hp = W.width(0), mp = (y[s] - y[0]) * W.recip(0);
  for (int64_t i = 1; i <= n - 2; ++i) {
    const T hc = W.width(i), mc = (y[(i + 1) * s] - y[i * s]) * W.recip(i);
    R1[i - 1] = uniform ? 3 * (mp + mc) : 3 * (hc * mp + hp * mc);
    hp = hc;
    mp = mc;
  }
}

template <typename T>
void cubic_cells_strided(const Widths<T>& W, const T* y, int64_t s, const T* d, int64_t n, T* c) {
  for (int64_t i = 0; i + 1 < n; ++i) {
    const T r = W.recip(i), m = (y[(i + 1) * s] - y[i * s]) * r, d0 = d[i], d1 = d[i + 1];
    c[4 * i] = y[i * s];
    c[4 * i + 1] = d0;
    c[4 * i + 2] = (3 * m - 2 * d0 - d1) * r;
    c[4 * i + 3] = (d0 + d1 - 2 * m) * r * r;
  }
}

template <typename T>
Widths<T> widths_of(const Fit<T>& F) {
  Widths<T> W{};
  if (F.uniform) {
    W.step = F.h;
    W.rstep = T(1) / F.h;
  } else {
    W.x = F.x;
  }
  return W;
}

// ---------------------------------------------------------------- derivative kinds
template <typename T>
struct EndCtx {
  const Fit<T>& F;
  const T* y;
  int64_t s;
  T m(int64_t k) const { return (y[(k + 1) * s] - y[k * s]) / F.hi(k); }
};

// The left end derivative from d_1 (and the right from d_(n-2)) by the code of the task.
template <typename T>
T end_left(const EndCtx<T>& e, T d1) {
  const Fit<T>& F = e.F;
  const int64_t n = F.n;
  const T h0 = F.hi(0), h1 = F.hi(1), m0 = e.m(0);
  switch (F.code) {
    case 0: {
      const T m1 = e.m(1), H = h0 + h1;
      return (((2 * H + h0) * h1 * m0 + h0 * h0 * m1) / H - H * d1) / h1;
    }
    case 1: return T(1.5) * m0 - T(0.5) * d1;
    case 2:
    case 3: return F.bc[0];
    case 4:
    case 5: return T(1.5) * m0 - T(0.25) * h0 * F.bc[0] - T(0.5) * d1;
    case 6: {
      const T ml = e.m(n - 2);
      if (F.kind == Kind::Hermite) return F.bc[0];
      if (F.kind == Kind::Akima) {
        const T a = std::fabs(e.m(1) - m0), b = std::fabs(ml - e.m(n - 3));
        if (a + b < T(kAkimaFlat)) return (ml + m0) / 2;
        return (a * ml + b * m0) / (a + b);
      }
      const T hl = F.hi(n - 2);
      return (hl * m0 + h0 * ml) / (h0 + hl);
    }
    default: return (3 * m0 - e.m(1)) / 2;
  }
}

template <typename T>
T end_right(const EndCtx<T>& e, T dl, T d0) {
  const Fit<T>& F = e.F;
  const int64_t n = F.n;
  const T ha = F.hi(n - 2), mb = e.m(n - 2);
  switch (F.code) {
    case 0: {
      const T hb = F.hi(n - 3), mc = e.m(n - 3), H = ha + hb;
      return (((2 * H + ha) * hb * mb + ha * ha * mc) / H - H * dl) / hb;
    }
    case 1: return T(1.5) * mb - T(0.5) * dl;
    case 2:
    case 4: return F.bc[1];
    case 3:
    case 5: return T(1.5) * mb + T(0.25) * ha * F.bc[1] - T(0.5) * dl;
    case 6: return d0;  // the same value as the left end
    default: return (3 * mb - e.m(n - 3)) / 2;
  }
}

template <typename T>
void cubic_cell(T* c, T y0, T m, T h, T d0, T d1) {
  const T r = 1 / h;
  c[0] = y0;
  c[1] = d0;
  c[2] = (3 * m - 2 * d0 - d1) * r;
  c[3] = (d0 + d1 - 2 * m) * r * r;
}

// Slopes m_k, k = lo..hi, of unit-stride values into ms[k - lo].
// False when a width of a non-uniform partition is not positive and finite (the check of
// partition_ok, made here on widths this pass computes anyway).
template <typename T>
bool slopes_vec(const Fit<T>& F, const T* y, int64_t lo, int64_t hi, T* ms) {
  using S = Simd<T>;
  using V = typename S::V;
  using M = typename S::M;
  constexpr int L = S::kLanes;
  const V one = S::broadcast(T(1)), zero = S::broadcast(T(0)), top = S::broadcast(std::numeric_limits<T>::max());
  M good = S::first_lanes(L);
  for (int64_t k = lo; k <= hi; k += L) {
    const auto m = S::first_lanes(static_cast<uint32_t>(std::min<int64_t>(hi + 1 - k, L)));
    const V h = F.uniform ? S::broadcast(F.h) : S::sub(S::load_or(m, F.x + k + 1, one), S::load_or(m, F.x + k, zero));
    good &= S::less(zero, h) & S::less_equal(h, top);
    const V dy = S::sub(S::load_or(m, y + k + 1, zero), S::load_or(m, y + k, zero));
    S::store(ms + (k - lo), m, S::div(dy, h));
  }
  return good == S::first_lanes(L);
}

// Interior derivatives d_j, j = ja..jb, of the Akima (2 <= j <= n-3), Bessel and Hyman kinds
// from the slopes ms[k - lo] = m_k, into ds[j - i0]; the same formulas as the scalar ones,
// lane by lane.
template <typename T>
void interior_vec(const Fit<T>& F, const T* ms, int64_t lo, int64_t ja, int64_t jb, T* ds, int64_t i0) {
  using S = Simd<T>;
  using V = typename S::V;
  constexpr int L = S::kLanes;
  const V zero = S::broadcast(T(0)), one = S::broadcast(T(1)), half = S::broadcast(T(0.5));
  for (int64_t j = ja; j <= jb; j += L) {
    const auto m = S::first_lanes(static_cast<uint32_t>(std::min<int64_t>(jb + 1 - j, L)));
    const T* M = ms + (j - lo);  // M[q] = m_(j+q)
    const V a = S::load_or(m, M - 1, zero), b = S::load_or(m, M, zero);
    V d;
    if (F.kind == Kind::Akima) {
      const V wj = S::abs(S::sub(S::load_or(m, M + 1, zero), b));
      const V wl = S::abs(S::sub(a, S::load_or(m, M - 2, zero)));
      const V den = S::add(wj, wl);
      const auto flat = S::less(den, S::broadcast(T(kAkimaFlat)));
      // Flat lanes take the mean; the others divide (only where they are not flat).
      d = S::masked_div(S::mul(S::add(a, b), half), static_cast<decltype(m)>(m & ~flat),
                        S::add(S::mul(wj, a), S::mul(wl, b)), den);
    } else {
      V ha, hb;
      if (F.uniform) {
        ha = hb = S::broadcast(F.h);
      } else {
        const V x1 = S::load_or(m, F.x + j, one);
        ha = S::sub(x1, S::load_or(m, F.x + j - 1, zero));
        hb = S::sub(S::load_or(m, F.x + j + 1, S::broadcast(T(2))), x1);
      }
      d = S::div(S::add(S::mul(hb, a), S::mul(ha, b)), S::add(ha, hb));
      if (F.kind == Kind::Hyman) {
        const V aa = S::abs(a), ab = S::abs(b), ad = S::abs(d);
        const V least = S::select(S::less(ab, aa), ab, aa);
        const V cap = S::mul(S::broadcast(T(3)), least);
        const V mag = S::select(S::less(cap, ad), cap, ad);
        const V limited = S::bit_select(S::sign_mask(), d, mag);
        d = S::select(S::less_equal(S::mul(a, b), zero), zero, limited);
      }
    }
    S::store(ds + (j - i0), m, d);
  }
}

// Cells [i0, i1) of function f; ms and ds are scratch of kBlockCells + 8 each.  False when
// a cell width of the block is not positive and finite (see partition_ok).
template <typename T>
bool deriv_block(const Fit<T>& F, int64_t f, int64_t i0, int64_t i1, T* ms, T* ds) {
  const int64_t n = F.n, s = F.ystride();
  const T* y = F.ybase(f);
  T* c = F.cf(f);
  bool widths = true;
  if (F.kind == Kind::Linear) {
    for (int64_t i = i0; i < i1; ++i) {
      const T h = F.hi(i);
      widths &= width_ok(h);
      c[2 * i] = y[i * s];
      c[2 * i + 1] = (y[(i + 1) * s] - y[i * s]) / h;
    }
    return widths;
  }
  const int64_t lo = std::max<int64_t>(0, i0 - 3), hi = std::min<int64_t>(n - 2, i1 + 2);
  if (s == 1) {
    widths = slopes_vec(F, y, lo, hi, ms);
  } else {
    for (int64_t k = lo; k <= hi; ++k) {
      const T h = F.hi(k);
      widths &= width_ok(h);
      ms[k - lo] = (y[(k + 1) * s] - y[k * s]) / h;
    }
  }
  auto M = [&](int64_t k) { return ms[k - lo]; };
  auto interior = [&](int64_t j) -> T {
    switch (F.kind) {
      case Kind::Akima: {
        const T wj = j == n - 2 ? std::fabs(M(n - 2) - M(n - 3)) : std::fabs(M(j + 1) - M(j));
        const T wl = j == 1 ? std::fabs(M(1) - M(0)) : std::fabs(M(j - 1) - M(j - 2));
        const T den = wj + wl;
        if (den < T(kAkimaFlat)) return (M(j - 1) + M(j)) / 2;
        return (wj * M(j - 1) + wl * M(j)) / den;
      }
      case Kind::Hermite: return F.ic[f * (n - 2) + j - 1];
      default: {
        const T ha = F.hi(j - 1), hb = F.hi(j);
        const T d = (hb * M(j - 1) + ha * M(j)) / (ha + hb);
        if (F.kind == Kind::Bessel) return d;
        const T a = M(j - 1), b = M(j);
        if (a * b <= 0) return T(0);
        const T cap = 3 * std::min(std::fabs(a), std::fabs(b));
        return std::copysign(std::min(std::fabs(d), cap), d);
      }
    }
  };
  const int64_t ja = std::max<int64_t>(i0, 1), jb = std::min<int64_t>(i1, n - 2);
  if (F.kind == Kind::Hermite) {
    for (int64_t j = ja; j <= jb; ++j) ds[j - i0] = interior(j);
  } else {
    // Akima's first and last interior derivatives take the end weights; the rest go by vectors.
    const int64_t va = F.kind == Kind::Akima ? std::max<int64_t>(ja, 2) : ja;
    const int64_t vb = F.kind == Kind::Akima ? std::min<int64_t>(jb, n - 3) : jb;
    for (int64_t j = ja; j < std::min(va, jb + 1); ++j) ds[j - i0] = interior(j);
    if (va <= vb) interior_vec(F, ms, lo, va, vb, ds, i0);
    for (int64_t j = std::max(vb + 1, va); j <= jb; ++j) ds[j - i0] = interior(j);
  }
  if (i0 == 0 || i1 == n - 1) {
    EndCtx<T> e{F, y, s};
    // A block holding cell 0 holds d_1 as well; the right-end block needs d_0 only for the
    // periodic end, whose formula does not read d_1.
    const T d0 = i0 == 0 ? end_left(e, ds[1]) : F.code == 6 ? end_left(e, T(0)) : T(0);
    if (i0 == 0) ds[0] = d0;
    if (i1 == n - 1) {
      const T dl = ds[n - 2 - i0];
      ds[n - 1 - i0] = end_right(e, dl, d0);
    }
  }
  if (s == 1) {
    Widths<T> W = widths_of(F);
    if (W.x) W.x += i0;
    cubic_cells(W, y + i0, ds, i1 - i0 + 1, c + 4 * i0);
  } else {
    for (int64_t i = i0; i < i1; ++i) cubic_cell(c + 4 * i, y[i * s], M(i), F.hi(i), ds[i - i0], ds[i + 1 - i0]);
  }
  return widths;
}

template <typename T>
struct BlockJob {
  const Fit<T>* F;
  int64_t cells, nblocks;
  T* scratch;
  int64_t stride;
  int bad_widths;  // set by any item that met a bad cell width
};

template <typename T>
void block_item(void* ctx, int item, int thread) {
  BlockJob<T>& J = *static_cast<BlockJob<T>*>(ctx);
  const int64_t b = item % J.nblocks, g = item / J.nblocks;
  const int64_t i0 = b * J.cells, i1 = std::min(J.F->n - 1, i0 + J.cells);
  T* ms = J.scratch + thread * J.stride;
  T* ds = ms + J.stride / 2;
  bool widths = true;
  for (int64_t f = g * kGroup; f < std::min(J.F->ny, (g + 1) * kGroup); ++f) widths &= deriv_block(*J.F, f, i0, i1, ms, ds);
  if (!widths) __atomic_store_n(&J.bad_widths, 1, __ATOMIC_RELAXED);
}

template <typename T>
int run_blocks(Fit<T>& F, void** threading) {
  if (F.code == 6 && !periodic_ok(F)) return DF_ERROR_BAD_PERIODIC_VAL;
  const int64_t cells = F.kind == Kind::Linear ? kLinearCells : kBlockCells;
  const int64_t nblocks = (F.n - 1 + cells - 1) / cells, ngroups = (F.ny + kGroup - 1) / kGroup;
  const int64_t items = nblocks * ngroups;
  int nthreads = 1;
  const bool threaded = threading && threading[0] && F.ny * F.n >= kThreadMin;
  if (threaded && threading[4]) nthreads = reinterpret_cast<zorp_df_nthreads_fn>(threading[4])();
  if (nthreads < 1) nthreads = 1;
  if (nthreads > items) nthreads = static_cast<int>(items);
  const int64_t stride = 2 * (cells + 16);
  T* scratch = static_cast<T*>(allocate(static_cast<size_t>(nthreads * stride) * sizeof(T)));
  if (!scratch) return DF_ERROR_MEM_FAILURE;
  BlockJob<T> J{&F, cells, nblocks, scratch, stride, 0};
  if (threaded) {
    reinterpret_cast<zorp_df_launch_fn>(threading[0])(static_cast<int>(items), nthreads, &J, &block_item<T>);
  } else {
    for (int64_t it = 0; it < items; ++it) block_item<T>(&J, static_cast<int>(it), 0);
  }
  deallocate(scratch);
  return J.bad_widths ? DF_ERROR_BAD_X : DF_STATUS_OK;
}

template <typename T>
int derivative_kind(DFTask* t, int64_t method, void** threading, Kind kind, int64_t nmin) {
  if (!t) return DF_ERROR_NULL_TASK;
  if (kind == Kind::Linear) {
    if (method != 0) return DF_ERROR_METHOD_NOT_SUPPORTED;
    if (t->nx < 2) return DF_ERROR_BAD_NX;
    if (!yhint_ok(t->yhint)) return DF_ERROR_BAD_Y_HINT;
  } else {
    if (t->nx < nmin) return DF_ERROR_BAD_NX;
    if (const int rc = check_bc(t, kind == Kind::Akima)) return rc;
    if (kind == Kind::Hermite && !t->ic) return DF_ERROR_BAD_IC;
  }
  Fit<T> F;
  if (const int rc = make_fit(t, F)) return rc;
  if (F.uniform && !width_ok(F.h)) return DF_ERROR_BAD_X;  // the blocks check other partitions
  F.kind = kind;
  if (kind == Kind::Linear) F.code = t->bc_type == DF_BC_PERIODIC ? 6 : 1;
  return run_blocks(F, threading);
}

// ---------------------------------------------------------------- natural cubic
template <typename T> struct Lapack;
template <> struct Lapack<double> {
  static void trf(const int* n, double* a, double* b, double* c, int* i) { ddttrfb_4dfl(n, a, b, c, i); }
  static void trs(const int* n, const int* r, const double* a, const double* b, const double* c, double* x,
                  const int* ld, int* i) {
    const char N = 'N';
    ddttrsb_4dfl(&N, n, r, a, b, c, x, ld, i);
  }
  static void sv(const int* n, const int* r, double* a, double* b, double* c, double* x, const int* ld, int* i) {
    ddtsvb_4dfl(n, r, a, b, c, x, ld, i);
  }
};
template <> struct Lapack<float> {
  static void trf(const int* n, float* a, float* b, float* c, int* i) { sdttrfb_4dfl(n, a, b, c, i); }
  static void trs(const int* n, const int* r, const float* a, const float* b, const float* c, float* x,
                  const int* ld, int* i) {
    const char N = 'N';
    sdttrsb_4dfl(&N, n, r, a, b, c, x, ld, i);
  }
  static void sv(const int* n, const int* r, float* a, float* b, float* c, float* x, const int* ld, int* i) {
    sdtsvb_4dfl(n, r, a, b, c, x, ld, i);
  }
};

template <typename T>
struct NaturalJob {
  const Fit<T>* F;
  int size;  // system order: n, or n-1 when periodic
  const T *dl, *d, *du;
  T* rhs;      // column f at rhs + f*size
  const T* z;  // periodic correction column, or null
  int per;     // functions per item
  int info;    // first nonzero solver info
};

template <typename T>
void natural_coeffs(const Fit<T>& F, int64_t f, const T* dcol) {
  const int64_t n = F.n, s = F.ystride();
  const T* y = F.ybase(f);
  T* c = F.cf(f);
  const bool per = F.code == 6;
  for (int64_t i = 0; i < n - 1; ++i) {
    const T h = F.hi(i), m = (y[(i + 1) * s] - y[i * s]) / h;
    const T dn = per && i + 1 == n - 1 ? dcol[0] : dcol[i + 1];
    cubic_cell(c + 4 * i, y[i * s], m, h, dcol[i], dn);
  }
}

template <typename T>
void natural_item(void* ctx, int item, int) {
  NaturalJob<T>& J = *static_cast<NaturalJob<T>*>(ctx);
  const int64_t f0 = static_cast<int64_t>(item) * J.per, f1 = std::min(J.F->ny, f0 + J.per);
  if (f0 >= f1) return;
  const int nr = static_cast<int>(f1 - f0), n = J.size;
  int info = 0;
  T* b = J.rhs + f0 * n;
  Lapack<T>::trs(&n, &nr, J.dl, J.d, J.du, b, &n, &info);
  if (info != 0) {
    __atomic_store_n(&J.info, info, __ATOMIC_RELAXED);
    return;
  }
  for (int64_t f = f0; f < f1; ++f) {
    T* col = J.rhs + f * n;
    if (J.z) {
      const T vy = col[0] + col[n - 1], vz = J.z[0] + J.z[n - 1];
      const T k = vy / (1 + vz);
      for (int i = 0; i < n; ++i) col[i] -= k * J.z[i];
    }
    natural_coeffs(*J.F, f, col);
  }
}

// End rows of the open system by code: row 0 is b0*d_0 + c0*d_1 = r0, row n-1 is
// a*d_(n-2) + b*d_(n-1) = r (uniform: interior rows divided by h, end rows as written).
template <typename T>
struct EndRows {
  T b0, c0, an, bn;
};

template <typename T>
EndRows<T> end_rows(const Fit<T>& F) {
  const int64_t n = F.n;
  const int code = F.code;
  EndRows<T> e{};
  const T h0 = F.hi(0), hl = F.hi(n - 2);
  if (code == 0) {
    const T h1 = F.hi(1), hb = F.hi(n - 3);
    e.b0 = 1, e.c0 = (h0 + h1) / h1;
    e.bn = 1, e.an = (hl + hb) / hb;
  }
  if (code == 1 || code == 4 || code == 5) e.b0 = 2, e.c0 = 1;
  if (code == 2 || code == 3) e.b0 = 1, e.c0 = 0;
  if (code == 1 || code == 3 || code == 5) e.bn = 2, e.an = 1;
  if (code == 2 || code == 4) e.bn = 1, e.an = 0;
  return e;
}

// Right-hand sides of the end rows of one function.
template <typename T>
void end_rhs(const Fit<T>& F, const T* y, int64_t s, T& r0, T& rn) {
  const int64_t n = F.n;
  auto slope = [&](int64_t k) { return (y[(k + 1) * s] - y[k * s]) / F.hi(k); };
  const T h0 = F.hi(0), hl = F.hi(n - 2), m0 = slope(0), ml = slope(n - 2);
  switch (F.code) {
    case 0: {
      const T h1 = F.hi(1), H = h0 + h1, m1 = slope(1);
      r0 = ((2 * H + h0) * h1 * m0 + h0 * h0 * m1) / (H * h1);
      const T hb = F.hi(n - 3), G = hl + hb, mc = slope(n - 3);
      rn = ((2 * G + hl) * hb * ml + hl * hl * mc) / (G * hb);
      break;
    }
    case 1: r0 = 3 * m0; rn = 3 * ml; break;
    case 2: r0 = F.bc[0]; rn = F.bc[1]; break;
    case 3: r0 = F.bc[0]; rn = 3 * ml + hl * F.bc[1] / 2; break;
    case 4: r0 = 3 * m0 - h0 * F.bc[0] / 2; rn = F.bc[1]; break;
    default: r0 = 3 * m0 - h0 * F.bc[0] / 2; rn = 3 * ml + hl * F.bc[1] / 2; break;
  }
}


// ---------------------------------------------------------------- one function
//
// A long system of one function costs its passes over memory, not its arithmetic: building the
// rows, the solver's own passes and the coefficient pass each move as much as the whole
// coefficient output.  So the system is reduced to an eighth before it reaches the host
// solver, by three levels of odd-even elimination that are computed on the fly from x and y,
// and undone the same way while the coefficients are written:
//
//   build pass      x, y -> rows -> reduce -> rows 0, 8, 16, ... of the reduced system
//   host solver     the reduced system (an eighth of the rows, diagonally dominant like the
//                   full one: odd-even elimination keeps and strengthens dominance)
//   coefficients    x, y -> rows -> reduce again (bit for bit the same) -> back-substitute
//                   rows 4, then 2 and 6, then the odd rows -> coefficient blocks
//
// Rows go in tiles of 64.  A tile is transposed so that lane j of vector p holds row 64t+8j+p:
// every elimination is then a vector operation across lanes, and a row's neighbour in the
// lane before (row 8j-1, 8j-2 or 8j-4) comes from one lane shift with the previous tile's
// vector.  The end rows are folded into their neighbours first (row 0 into row 1, row n-1 into
// row n-2: the first elimination step, done by hand), which leaves rows that are all
// diagonally dominant whatever the end condition (a not-a-knot end row is not); rows 0 and n-1
// and every row past the end then become identity rows (1 on the diagonal, nothing else),
// which eliminate to nothing and leave the reduced order a multiple of eight plus one.  d_0
// and d_(n-1) come from the end rows once d_1 and d_(n-2) are known.
//
// Single-precision data is widened on loading and the whole computation is done in double;
// only the reduced system, which lives in the caller's storage, is rounded to single precision
// for the single-precision host solver.
//
// Memory: the reduced diagonals sit at the start of the coefficient storage and its
// right-hand side (then solution) in its last M+1 values.  Tile t reads solution values from
// 4(n-1)-(M+1)+8t on before it writes; the tiles before it have written below 256t.  With
// t <= (n-2)/64 and M <= (n+5)/8, 248t <= 3.875n - 7.75 < 4n - 5 - M, so no tile's solution
// values are overwritten before it reads them.
namespace reduced {

using V = __m512d;
constexpr int64_t kTileRows = 64;
// Two points have no interior row: their two end rows are the whole system (natural_one).
constexpr int64_t kMinPoints = 3;

// Loads of up to eight values widened to double (lanes off the mask take fill), and stores
// rounded back to the storage type.
inline V load_wide(__mmask8 m, const double* p, double fill) { return _mm512_mask_loadu_pd(_mm512_set1_pd(fill), m, p); }
inline V load_wide(__mmask8 m, const float* p, double fill) {
  return _mm512_mask_cvtps_pd(_mm512_set1_pd(fill), m, _mm256_maskz_loadu_ps(m, p));
}
inline void store_narrow(double* p, __mmask8 m, V v) { _mm512_mask_storeu_pd(p, m, v); }
inline void store_narrow(float* p, __mmask8 m, V v) { _mm256_mask_storeu_ps(p, m, _mm512_cvtpd_ps(v)); }

// Lane 0 = lane 7 of prev, lane k = lane k-1 of cur: the row one lane before.
inline V shift_in(V cur, V prev) {
  return _mm512_castsi512_pd(_mm512_alignr_epi64(_mm512_castpd_si512(cur), _mm512_castpd_si512(prev), 7));
}

using zorp::platform::transpose8;

// One row a*x_(k-1) + b*x_k + c*x_(k+1) = r of eight lanes, with q = 1/b once it is eliminated.
struct Row {
  V a, b, c, r, q;
};

inline Row identity_row() {
  const V z = _mm512_setzero_pd(), one = _mm512_set1_pd(1.0);
  return {z, one, z, z, one};
}

// Row e less the multiples of its neighbours l (before) and h (after) that clear its couplings
// to them; l and h carry their reciprocal pivots.  The result couples to l's and h's neighbours.
inline Row eliminate(const Row& e, const Row& l, const Row& h) {
  const V al = _mm512_mul_pd(e.a, l.q), ga = _mm512_mul_pd(e.c, h.q);
  Row o;
  o.a = _mm512_sub_pd(_mm512_setzero_pd(), _mm512_mul_pd(al, l.a));
  o.c = _mm512_sub_pd(_mm512_setzero_pd(), _mm512_mul_pd(ga, h.c));
  o.b = _mm512_fnmadd_pd(ga, h.a, _mm512_fnmadd_pd(al, l.c, e.b));
  o.r = _mm512_fnmadd_pd(ga, h.r, _mm512_fnmadd_pd(al, l.r, e.r));
  o.q = _mm512_setzero_pd();
  return o;
}

inline Row with_pivot(Row w) {
  w.q = _mm512_div_pd(_mm512_set1_pd(1.0), w.b);
  return w;
}

inline Row shift_row(const Row& cur, const Row& prev) {
  return {shift_in(cur.a, prev.a), shift_in(cur.b, prev.b), shift_in(cur.c, prev.c), shift_in(cur.r, prev.r),
          shift_in(cur.q, prev.q)};
}

// x_k from its row and the neighbours' values.
inline V back(const Row& w, V left, V right) {
  return _mm512_mul_pd(_mm512_fnmadd_pd(w.c, right, _mm512_fnmadd_pd(w.a, left, w.r)), w.q);
}

// What a tile hands to the next one: the rows one lane before its row 0 at each level, and the
// width and slope of the cell before its row 0.
struct Carry {
  Row r7, l6, m4;
  V h7, s7;
  __mmask8 bad_width;  // lanes of the build pass whose cell width was not positive and finite
};

template <typename T>
struct Problem {
  const T* x;  // partition, or null when uniform
  const T* y;
  int64_t n;
  double rstep;              // 1/h when uniform
  EndRows<double> e;
  double r0, rn;             // right-hand sides of the end rows
};

// The rows of tile t after the three levels: odd rows (level 0), rows 2 and 6 (level 1) and
// row 4 (level 2), each with its reciprocal pivot, and row 0 of the reduced system.
struct Levels {
  Row odd[4], two, six, four, zero;
};

// Cell widths and slopes of cells [i0, i0+64), natural order; cells past n-2 read nothing.
// With keep, the reciprocal widths and the slopes also go to rh and sl for the coefficients.
template <bool keep, typename T>
[[gnu::always_inline]] inline void cells(const Problem<T>& P, int64_t i0, bool edge, V h[8], V s[8], double* rh,
                                         double* sl) {
  const V one = _mm512_set1_pd(1.0);
  for (int q = 0; q < 8; ++q) {
    const int64_t i = i0 + 8 * q;
    const __mmask8 m = edge ? Simd<double>::first_lanes(static_cast<uint32_t>(std::clamp<int64_t>(P.n - 1 - i, 0, 8)))
                            : __mmask8(0xFF);
    const V y0 = load_wide(m, P.y + i, 0), y1 = load_wide(m, P.y + i + 1, 0);
    V r;
    if (P.x) {
      h[q] = _mm512_sub_pd(load_wide(m, P.x + i + 1, 1), load_wide(m, P.x + i, 0));
      r = _mm512_div_pd(one, h[q]);
    } else {
      h[q] = one;
      r = _mm512_set1_pd(P.rstep);
    }
    s[q] = _mm512_mul_pd(_mm512_sub_pd(y1, y0), r);
    if constexpr (keep) {
      _mm512_store_pd(rh + 8 * q, r);
      _mm512_store_pd(sl + 8 * q, s[q]);
    }
  }
}

// Identity rows outside 1..n-2, and the end rows folded into rows 1 and n-2.  Inlined: a call
// would take the address of the tile's rows and keep them out of registers in every tile.
template <typename T>
[[gnu::always_inline]] inline void patch_rows(const Problem<T>& P, int64_t i0, Row w[8]) {
  alignas(64) double a[8][8], b[8][8], c[8][8], r[8][8];
  for (int p = 0; p < 8; ++p) {
    _mm512_store_pd(a[p], w[p].a), _mm512_store_pd(b[p], w[p].b);
    _mm512_store_pd(c[p], w[p].c), _mm512_store_pd(r[p], w[p].r);
  }
  for (int p = 0; p < 8; ++p)
    for (int j = 0; j < 8; ++j) {
      const int64_t i = i0 + 8 * j + p;
      if (i == 0 || i >= P.n - 1) {
        a[p][j] = c[p][j] = r[p][j] = 0, b[p][j] = 1;
        continue;
      }
      if (i == 1) {
        const double k0 = a[p][j] / P.e.b0;
        b[p][j] -= k0 * P.e.c0, r[p][j] -= k0 * P.r0, a[p][j] = 0;
      }
      if (i == P.n - 2) {
        const double kn = c[p][j] / P.e.bn;
        b[p][j] -= kn * P.e.an, r[p][j] -= kn * P.rn, c[p][j] = 0;
      }
    }
  for (int p = 0; p < 8; ++p)
    w[p] = {_mm512_load_pd(a[p]), _mm512_load_pd(b[p]), _mm512_load_pd(c[p]), _mm512_load_pd(r[p]),
            _mm512_setzero_pd()};
}

// Rows of tile t, reduced; updates the carry.  The same inputs give the same bits in both
// passes.
template <bool keep, typename T>
[[gnu::always_inline]] inline Levels reduce_tile(const Problem<T>& P, int64_t t, Carry& C, double* rh = nullptr,
                                                 double* sl = nullptr) {
  const int64_t i0 = t * kTileRows;
  const bool edge = t == 0 || i0 + kTileRows > P.n - 2;
  V h[8], s[8];
  cells<keep>(P, i0, edge, h, s, rh, sl);
  if (!keep && P.x) {
    // Lanes past the last cell hold width 1.
    const V zero = _mm512_setzero_pd(), top = _mm512_set1_pd(std::numeric_limits<double>::max());
    for (int q = 0; q < 8; ++q)
      C.bad_width |= static_cast<__mmask8>(~(_mm512_cmp_pd_mask(zero, h[q], _CMP_LT_OQ) &
                                             _mm512_cmp_pd_mask(h[q], top, _CMP_LE_OQ)));
  }
  transpose8(h);
  transpose8(s);
  Row w[8];
  const V two = _mm512_set1_pd(2.0), three = _mm512_set1_pd(3.0);
  for (int p = 0; p < 8; ++p) {
    // Row i uses cells i-1 (a) and i (b): a = h_i, b = 2(h_(i-1)+h_i), c = h_(i-1),
    // r = 3(h_i*m_(i-1) + h_(i-1)*m_i).
    const V ha = p == 0 ? shift_in(h[7], C.h7) : h[p - 1], ma = p == 0 ? shift_in(s[7], C.s7) : s[p - 1];
    const V hb = h[p], mb = s[p];
    w[p] = {hb, _mm512_mul_pd(two, _mm512_add_pd(ha, hb)), ha,
            _mm512_mul_pd(three, _mm512_fmadd_pd(hb, ma, _mm512_mul_pd(ha, mb))), _mm512_setzero_pd()};
  }
  C.h7 = h[7], C.s7 = s[7];
  if (edge) patch_rows(P, i0, w);
  Levels L;
  for (int k = 0; k < 4; ++k) L.odd[k] = with_pivot(w[2 * k + 1]);
  const Row r7 = shift_row(L.odd[3], C.r7);
  C.r7 = L.odd[3];
  const Row l0 = eliminate(w[0], r7, L.odd[0]);
  L.two = with_pivot(eliminate(w[2], L.odd[0], L.odd[1]));
  const Row l4 = eliminate(w[4], L.odd[1], L.odd[2]);
  L.six = with_pivot(eliminate(w[6], L.odd[2], L.odd[3]));
  const Row l6 = shift_row(L.six, C.l6);
  C.l6 = L.six;
  const Row m0 = eliminate(l0, l6, L.two);
  L.four = with_pivot(eliminate(l4, L.two, L.six));
  const Row m4 = shift_row(L.four, C.m4);
  C.m4 = L.four;
  L.zero = eliminate(m0, m4, L.four);
  return L;
}

Carry first_carry() {
  const Row id = identity_row();
  return {id, id, id, _mm512_set1_pd(1.0), _mm512_setzero_pd(), 0};
}

template <typename T>
int solve(const Fit<T>& F) {
  const int64_t n = F.n;
  T* c = F.cf(0);
  const EndRows<T> e = end_rows(F);
  T r0, rn;
  end_rhs(F, F.ybase(0), 1, r0, rn);
  const Problem<T> P{F.uniform ? nullptr : F.x, F.ybase(0), n, F.uniform ? 1.0 / static_cast<double>(F.h) : 0.0,
                     {e.b0, e.c0, e.an, e.bn}, r0, rn};
  if (P.e.b0 == 0 || P.e.bn == 0) return DF_ERROR_SOLVER;  // never for the codes handled here
  // Reduced rows J = 0..M stand for rows 8J; every row of the folded system (1..n-2) is at or
  // below row 8M.
  const int64_t M = (n - 2 + 7) / 8, size = M + 1;
  T *dlx = c, *d = c + size, *du = c + 2 * size, *sol = c + 4 * (n - 1) - size;
  const int64_t build_tiles = M / 8 + 1;
  Carry C = first_carry();
  // A zero or NaN pivot anywhere makes the system unsolvable by this elimination, as a zero
  // pivot does in the host solver.  With every width positive and finite the rows are
  // diagonally dominant and no pivot is zero; the check stays for widths whose sums overflow.
  __mmask8 singular = 0;
  const V zero = _mm512_setzero_pd();
  for (int64_t t = 0; t < build_tiles; ++t) {
    const Levels L = reduce_tile<false>(P, t, C);
    auto bad = [&](V b) { return _mm512_cmp_pd_mask(b, zero, _CMP_EQ_UQ); };
    singular |= bad(L.odd[0].b) | bad(L.odd[1].b) | bad(L.odd[2].b) | bad(L.odd[3].b) | bad(L.two.b) |
                bad(L.six.b) | bad(L.four.b) | bad(L.zero.b);
    const int64_t J = 8 * t;
    const __mmask8 m = Simd<double>::first_lanes(static_cast<uint32_t>(std::min<int64_t>(size - J, 8)));
    store_narrow(dlx + J, m, L.zero.a);
    store_narrow(d + J, m, L.zero.b);
    store_narrow(du + J, m, L.zero.c);
    store_narrow(sol + J, m, L.zero.r);
  }
  if (C.bad_width) return DF_ERROR_BAD_X;
  if (singular) return DF_ERROR_SOLVER;
  {
    const int sz = static_cast<int>(size), one = 1;
    int info = 0;
    Lapack<T>::sv(&sz, &one, dlx + 1, d, du, sol, &sz, &info);
    if (info != 0) return DF_ERROR_SOLVER;
  }
  const int64_t last = (n - 2) / kTileRows;  // tiles that hold cells
  C = first_carry();
  alignas(64) double dv[kTileRows + 8], rh[kTileRows], sl[kTileRows];
  for (int64_t t = 0; t <= last; ++t) {
    const Levels L = reduce_tile<true>(P, t, C, rh, sl);
    const int64_t J = 8 * t;
    V x[9];
    x[0] = load_wide(Simd<double>::first_lanes(static_cast<uint32_t>(size - J)), sol + J, 0);
    x[8] = load_wide(Simd<double>::first_lanes(static_cast<uint32_t>(size - J - 1)), sol + J + 1, 0);
    x[4] = back(L.four, x[0], x[8]);
    x[2] = back(L.two, x[0], x[4]);
    x[6] = back(L.six, x[4], x[8]);
    for (int k = 0; k < 4; ++k) x[2 * k + 1] = back(L.odd[k], x[2 * k], x[2 * k + 2]);
    const V next = x[8];
    transpose8(x);
    for (int q = 0; q < 8; ++q) _mm512_store_pd(dv + 8 * q, x[q]);
    dv[kTileRows] = _mm512_cvtsd_f64(_mm512_permutexvar_pd(_mm512_set1_epi64(7), next));
    const int64_t i0 = t * kTileRows;
    if (t == 0) dv[0] = (P.r0 - P.e.c0 * dv[1]) / P.e.b0;
    if (n - 1 <= i0 + kTileRows) dv[n - 1 - i0] = (P.rn - P.e.an * dv[n - 2 - i0]) / P.e.bn;
    // Coefficient blocks from the widths and slopes the rows were built from.
    const int64_t cells_here = std::min<int64_t>(kTileRows, n - 1 - i0);
    // Single precision goes out sixteen cells at a time, two groups of eight joined.
    constexpr int kGroups = sizeof(T) == 8 ? 1 : 2;
    for (int q = 0; 8 * q < cells_here; q += kGroups) {
      V out[kGroups][4];
      int count = 0;
      for (int g = 0; g < kGroups; ++g) {
        const int k = q + g, here = static_cast<int>(std::clamp<int64_t>(cells_here - 8 * k, 0, 8));
        const V rv = _mm512_load_pd(rh + 8 * k), mv = _mm512_load_pd(sl + 8 * k);
        const V d0 = _mm512_load_pd(dv + 8 * k), d1 = _mm512_loadu_pd(dv + 8 * k + 1);
        out[g][0] = load_wide(Simd<double>::first_lanes(here), P.y + i0 + 8 * k, 0);
        out[g][1] = d0;
        cubic_terms<double>(mv, rv, d0, d1, out[g][2], out[g][3]);
        count += here;
      }
      if constexpr (sizeof(T) == 8) {
        store_cells(c + 4 * (i0 + 8 * q), out[0][0], out[0][1], out[0][2], out[0][3], count);
      } else {
        auto join = [&](int v) {
          return _mm512_insertf32x8(_mm512_castps256_ps512(_mm512_cvtpd_ps(out[0][v])), _mm512_cvtpd_ps(out[1][v]), 1);
        };
        store_cells(c + 4 * (i0 + 8 * q), join(0), join(1), join(2), join(3), count);
      }
    }
  }
  return DF_STATUS_OK;
}

}  // namespace reduced

// One function on an open partition.  Three or more points go through the reduced system
// above.  Two points (a given derivative at one end at least; the line and the periodic case
// are closed forms) leave one unknown: row 1 less an/b0 times row 0 gives d_1 as a system of
// order one for the host solver, and row 0 then gives d_0.
template <typename T>
int natural_one(const Fit<T>& F) {
  if (F.n >= reduced::kMinPoints) return reduced::solve(F);
  const EndRows<T> e = end_rows(F);
  T r0, rn;
  end_rhs(F, F.ybase(0), 1, r0, rn);
  if (e.b0 == T(0)) return DF_ERROR_SOLVER;  // never for the codes handled here
  const T k = e.an / e.b0;
  T dl = 0, D = e.bn - k * e.c0, du = 0, R = rn - k * r0;
  const int size = 1, one = 1;
  int info = 0;
  Lapack<T>::sv(&size, &one, &dl, &D, &du, &R, &size, &info);
  if (info != 0) return DF_ERROR_SOLVER;
  const T d[2] = {(r0 - e.c0 * R) / e.b0, R};
  natural_coeffs(F, 0, d);
  return DF_STATUS_OK;
}

// Many functions on an open partition: the matrix is built and factored once, the widths
// and their reciprocals are tabulated once; then each work item takes its functions in groups
// of kSolveGroup: right-hand sides, one solve for the group, coefficients, so that a group's
// columns stay in cache between the three steps.
constexpr int64_t kSolveGroup = 8;

template <typename T>
struct ManyJob {
  const Fit<T>* F;
  Widths<T> W;
  EndRows<T> e;
  const T *dl, *d, *du;
  T* scratch;  // per thread kSolveGroup columns of n
  int per;     // functions per item
  int info;
};

template <typename T>
void many_item(void* ctx, int item, int thread) {
  ManyJob<T>& J = *static_cast<ManyJob<T>*>(ctx);
  const Fit<T>& F = *J.F;
  const int64_t n = F.n, s = F.ystride();
  const int64_t f0 = static_cast<int64_t>(item) * J.per, f1 = std::min(F.ny, f0 + J.per);
  T* cols = J.scratch + static_cast<int64_t>(thread) * kSolveGroup * n;
  for (int64_t g = f0; g < f1; g += kSolveGroup) {
    const int64_t g1 = std::min(f1, g + kSolveGroup);
    for (int64_t f = g; f < g1; ++f) {
      const T* y = F.ybase(f);
      T* r = cols + (f - g) * n;
      if (s == 1) interior_rows<T>(J.W, F.uniform, y, n, r + 1);
      else interior_rows_strided(J.W, F.uniform, y, s, n, r + 1);
      end_rhs(F, y, s, r[0], r[n - 1]);
    }
    const int size = static_cast<int>(n), nr = static_cast<int>(g1 - g);
    int info = 0;
    Lapack<T>::trs(&size, &nr, J.dl, J.d, J.du, cols, &size, &info);
    if (info != 0) {
      __atomic_store_n(&J.info, info, __ATOMIC_RELAXED);
      return;
    }
    for (int64_t f = g; f < g1; ++f) {
      if (s == 1) cubic_cells(J.W, F.ybase(f), cols + (f - g) * n, n, F.cf(f));
      else cubic_cells_strided(J.W, F.ybase(f), s, cols + (f - g) * n, n, F.cf(f));
    }
  }
}

// Several threads only pay off for long systems and several functions: at least 300 points,
// and below 600 points at most two threads; never more than 8 nor more than the functions.
template <typename T>
int natural_threads(const Fit<T>& F, void** threading) {
  if (!threading || !threading[0] || !threading[4] || F.ny < 2 || F.n < kNaturalMinPoints) return 1;
  int threads = reinterpret_cast<zorp_df_nthreads_fn>(threading[4])();
  threads = std::min<int>({threads, kNaturalMaxThreads, static_cast<int>(std::min<int64_t>(F.ny, 1 << 30))});
  if (F.n < 2 * kNaturalMinPoints) threads = std::min(threads, 2);
  return std::max(threads, 1);
}

// A job's items of J.per functions on the host's threads, or all functions as one item here.
template <typename Job>
void run_natural(Job& J, int64_t ny, int threads, void** threading, void (*item)(void*, int, int)) {
  if (threads > 1) {
    const int items = static_cast<int>((ny + J.per - 1) / J.per);
    reinterpret_cast<zorp_df_launch_fn>(threading[0])(items, std::min(threads, items), &J, item);
  } else {
    J.per = static_cast<int>(std::min<int64_t>(ny, 1 << 30));
    item(&J, 0, 0);
  }
}

template <typename T>
int natural_many(const Fit<T>& F, void** threading) {
  const int64_t n = F.n;
  const int threads = natural_threads(F, threading);
  const bool table = !F.uniform;
  const size_t words = static_cast<size_t>(3 * n + (table ? 2 * n : 0) + threads * kSolveGroup * n + 16);
  T* mem = static_cast<T*>(allocate(words * sizeof(T)));
  if (!mem) return DF_ERROR_MEM_FAILURE;
  T *dl = mem, *d = dl + n, *du = d + n, *scratch = du + n;
  Widths<T> W = widths_of(F);
  if (table) {
    T *h = scratch + threads * kSolveGroup * n, *rh = h + n;
    bool widths = true;
    for (int64_t i = 0; i + 1 < n; ++i) {
      h[i] = F.x[i + 1] - F.x[i];
      rh[i] = T(1) / h[i];
      widths &= width_ok(h[i]);
    }
    if (!widths) {
      deallocate(mem);
      return DF_ERROR_BAD_X;
    }
    W.x = nullptr;
    W.h = h;
    W.rh = rh;
  }
  for (int64_t i = 1; i + 1 < n; ++i) {
    const T ha = F.uniform ? T(1) : W.h[i - 1], hb = F.uniform ? T(1) : W.h[i];
    dl[i - 1] = hb;
    d[i] = 2 * (ha + hb);
    du[i] = ha;
  }
  const EndRows<T> e = end_rows(F);
  d[0] = e.b0;
  du[0] = e.c0;
  d[n - 1] = e.bn;
  dl[n - 2] = e.an;
  const int size = static_cast<int>(n);
  int info = 0;
  Lapack<T>::trf(&size, dl, d, du, &info);
  int rc = DF_STATUS_OK;
  if (info != 0) {
    rc = DF_ERROR_SOLVER;
  } else {
    ManyJob<T> J{&F, W, e, dl, d, du, scratch, static_cast<int>((F.ny + threads - 1) / threads), 0};
    run_natural(J, F.ny, threads, threading, &many_item<T>);
    if (J.info != 0) rc = DF_ERROR_SOLVER;
  }
  deallocate(mem);
  return rc;
}

template <typename T>
int natural_general(Fit<T>& F, void** threading);

template <typename T>
int natural(DFTask* t, int64_t method, void** threading) {
  if (!t) return DF_ERROR_NULL_TASK;
  if (method != 0) return DF_ERROR_METHOD_NOT_SUPPORTED;
  if (t->nx < 2) return DF_ERROR_BAD_NX;
  if (t->nx == 2 && t->bc_type == DF_BC_NOT_A_KNOT) return DF_ERROR_BAD_NX;
  if (const int rc = check_bc(t, false)) return rc;
  Fit<T> F;
  if (const int rc = make_fit(t, F)) return rc;
  const int64_t n = F.n, s = F.ystride();
  const int code = F.code;
  // Small systems in closed form: the line (n = 2, free or periodic end), the parabola through
  // three points (not-a-knot, whose 3x3 system is singular), the free end on three uniform
  // points and the periodic spline on three points (all three derivatives equal).
  const bool closed = (n == 2 && (code == 1 || code == 6)) || (n == 3 && (code == 0 || code == 6 || (code == 1 && F.uniform)));
  // The reduced one-function solver and the many-function table check a non-uniform
  // partition's widths on their way; every other path checks it here.
  const bool checked_later = !F.uniform && !closed && code != 6 && (F.ny > 1 || n >= reduced::kMinPoints);
  if (code == 6 && !periodic_ok(F)) return DF_ERROR_BAD_PERIODIC_VAL;
  if (!checked_later && !partition_ok(F)) return DF_ERROR_BAD_X;
  if (closed) {
    for (int64_t f = 0; f < F.ny; ++f) {
      const T* y = F.ybase(f);
      T d[3];
      const T m0 = (y[s] - y[0]) / F.hi(0);
      if (n == 2) {
        d[0] = d[1] = code == 6 ? T(0) : m0;
      } else {
        const T m1 = (y[2 * s] - y[s]) / F.hi(1), h0 = F.hi(0), h1 = F.hi(1);
        if (code == 1) {
          d[1] = (m0 + m1) / 2;
          d[0] = T(1.5) * m0 - T(0.25) * (m0 + m1);
          d[2] = T(1.5) * m1 - T(0.25) * (m0 + m1);
        } else {
          const T b = (h1 * m0 + h0 * m1) / (h0 + h1);
          d[1] = b;
          d[0] = code == 6 ? b : 2 * m0 - b;
          d[2] = code == 6 ? b : 2 * m1 - b;
        }
      }
      natural_coeffs(F, f, d);
    }
    return DF_STATUS_OK;
  }
  if (code != 6) return F.ny == 1 ? natural_one(F) : natural_many(F, threading);
  return natural_general(F, threading);
}

// The periodic system (and any open one handed here): diagonals and all right-hand sides
// built up front, then one factorization shared by all functions.
template <typename T>
int natural_general(Fit<T>& F, void** threading) {
  const int64_t n = F.n, s = F.ystride();
  const int code = F.code;
  const bool per = code == 6;
  const int64_t N = per ? n - 1 : n;
  // One function on an open partition: the three diagonals (3n-2 values) live in the caller's
  // coefficient storage (4n-4 values) until the solve has consumed them, so only the
  // right-hand side is requested; a fresh block of 4n values costs more in page faults than
  // the whole construction.
  const bool in_place = F.ny == 1 && !per;
  const size_t words = in_place ? static_cast<size_t>(N + 16) : static_cast<size_t>(3 * N + N * F.ny + (per ? N : 0) + 16);
  T* mem = static_cast<T*>(allocate(words * sizeof(T)));
  if (!mem) return DF_ERROR_MEM_FAILURE;
  T* diag = in_place ? F.cf(0) : mem;
  T *dl = diag, *d = dl + (N - 1), *du = d + N;
  T *rhs = in_place ? mem : du + N, *z = per ? rhs + N * F.ny : nullptr;
  // Matrix coefficients: on a uniform partition every row is divided by h.
  auto hm = [&](int64_t i) { return F.uniform ? T(1) : F.hi(i); };
  auto slope = [&](const T* y, int64_t k) { return (y[(k + 1) * s] - y[k * s]) / F.hi(k); };
  if (per) {
    for (int64_t i = 0; i < N; ++i) {
      const int64_t ip = i == 0 ? N - 1 : i - 1;
      const T a = hm(ip), b = hm(i);
      if (i > 0) dl[i - 1] = b;
      d[i] = 2 * (a + b);
      if (i < N - 1) du[i] = a;
    }
    const T alpha = hm(0), beta = hm(N - 2);
    d[0] -= alpha;
    d[N - 1] -= beta;
    for (int64_t i = 0; i < N; ++i) z[i] = 0;
    z[0] = alpha;
    z[N - 1] = beta;
    for (int64_t f = 0; f < F.ny; ++f) {
      const T* y = F.ybase(f);
      T* r = rhs + f * N;
      for (int64_t i = 0; i < N; ++i) {
        const int64_t ip = i == 0 ? N - 1 : i - 1;
        r[i] = 3 * (hm(i) * slope(y, ip) + hm(ip) * slope(y, i));
      }
    }
  } else {
    for (int64_t i = 1; i < n - 1; ++i) {
      const T a = hm(i - 1), b = hm(i);
      dl[i - 1] = b;
      d[i] = 2 * (a + b);
      du[i] = a;
    }
    const T h0 = F.hi(0), hl = F.hi(n - 2);
    switch (code) {
      case 0: {
        const T h1 = F.hi(1);
        d[0] = 1;
        du[0] = (h0 + h1) / h1;
        const T hb = F.hi(n - 3);
        d[n - 1] = 1;
        dl[n - 2] = (hl + hb) / hb;
        break;
      }
      default: break;
    }
    if (code == 1 || code == 4 || code == 5) d[0] = 2, du[0] = 1;
    if (code == 2 || code == 3) d[0] = 1, du[0] = 0;
    if (code == 1 || code == 3 || code == 5) d[n - 1] = 2, dl[n - 2] = 1;
    if (code == 2 || code == 4) d[n - 1] = 1, dl[n - 2] = 0;
    for (int64_t f = 0; f < F.ny; ++f) {
      const T* y = F.ybase(f);
      T* r = rhs + f * n;
      T prev = slope(y, 0);  // each slope is divided out once and carried to the next row
      for (int64_t i = 1; i < n - 1; ++i) {
        const T cur = slope(y, i);
        r[i] = 3 * (hm(i) * prev + hm(i - 1) * cur);
        prev = cur;
      }
      const T m0 = slope(y, 0), ml = slope(y, n - 2);
      switch (code) {
        case 0: {
          const T h1 = F.hi(1), H = h0 + h1, m1 = slope(y, 1);
          r[0] = ((2 * H + h0) * h1 * m0 + h0 * h0 * m1) / (H * h1);
          const T hb = F.hi(n - 3), G = hl + hb, mc = slope(y, n - 3);
          r[n - 1] = ((2 * G + hl) * hb * ml + hl * hl * mc) / (G * hb);
          break;
        }
        case 1: r[0] = 3 * m0; r[n - 1] = 3 * ml; break;
        case 2: r[0] = F.bc[0]; r[n - 1] = F.bc[1]; break;
        case 3: r[0] = F.bc[0]; r[n - 1] = 3 * ml + hl * F.bc[1] / 2; break;
        case 4: r[0] = 3 * m0 - h0 * F.bc[0] / 2; r[n - 1] = F.bc[1]; break;
        default: r[0] = 3 * m0 - h0 * F.bc[0] / 2; r[n - 1] = 3 * ml + hl * F.bc[1] / 2; break;
      }
    }
  }
  int rc = DF_STATUS_OK;
  const int size = static_cast<int>(N);
  int info = 0;
  if (F.ny == 1 && !per) {
    const int one = 1;
    Lapack<T>::sv(&size, &one, dl, d, du, rhs, &size, &info);
    if (info != 0) rc = DF_ERROR_SOLVER;
    else natural_coeffs(F, 0, rhs);
  } else {
    Lapack<T>::trf(&size, dl, d, du, &info);
    if (info == 0 && per) {
      const int one = 1;
      Lapack<T>::trs(&size, &one, dl, d, du, z, &size, &info);
    }
    if (info != 0) {
      rc = DF_ERROR_SOLVER;
    } else {
      const int threads = natural_threads(F, threading);
      NaturalJob<T> J{&F, size, dl, d, du, rhs, z, static_cast<int>((F.ny + threads - 1) / threads), 0};
      run_natural(J, F.ny, threads, threading, &natural_item<T>);
      if (J.info != 0) rc = DF_ERROR_SOLVER;
    }
  }
  deallocate(mem);
  return rc;
}

// ---------------------------------------------------------------- default cubic
template <typename T>
int default_cubic(DFTask* t) {
  if (!t) return DF_ERROR_NULL_TASK;
  if (t->nx < 3) return DF_ERROR_BAD_NX;
  if (const int rc = check_bc(t, false)) return rc;
  if (!t->ic) return DF_ERROR_BAD_IC;
  Fit<T> F;
  if (const int rc = make_fit(t, F)) return rc;
  if (F.code == 6 && !periodic_ok(F)) return DF_ERROR_BAD_PERIODIC_VAL;
  if (!partition_ok(F)) return DF_ERROR_BAD_X;
  const int64_t n = F.n, s = F.ystride();
  const int code = F.code;
  for (int64_t f = 0; f < F.ny; ++f) {
    const T* y = F.ybase(f);
    const T* M = F.ic + f * (n - 2);  // M_j = M[j-1]
    auto slope = [&](int64_t k) { return (y[(k + 1) * s] - y[k * s]) / F.hi(k); };
    const T h0 = F.hi(0), hl = F.hi(n - 2);
    T ML = 0, MR = 0;
    // Left end second derivative.
    switch (code) {
      case 0:
        ML = n == 3 ? M[0] : M[0] - h0 * (M[1] - M[0]) / F.hi(1);
        break;
      case 2:
      case 3: ML = (6 * (slope(0) - F.bc[0]) / h0 - M[0]) / 2; break;  // c1 of cell 0 is bc[0]
      case 4:
      case 5: ML = F.bc[0]; break;
      case 6: ML = F.bc[0]; break;
      default: ML = 0; break;
    }
    switch (code) {
      case 0:
        MR = n == 3 ? M[0] : M[n - 3] + hl * (M[n - 3] - M[n - 4]) / F.hi(n - 3);
        break;
      case 2:
      case 4: MR = (6 * (F.bc[1] - slope(n - 2)) / hl - M[n - 3]) / 2; break;  // S'(x_(n-1)) = bc[1]
      case 3:
      case 5: MR = F.bc[1]; break;
      case 6: MR = F.bc[0]; break;
      default: MR = 0; break;
    }
    T* c = F.cf(f);
    for (int64_t i = 0; i < n - 1; ++i) {
      const T a = i == 0 ? ML : M[i - 1], b = i + 1 == n - 1 ? MR : M[i];
      const T h = F.hi(i);
      c[4 * i] = y[i * s];
      c[4 * i + 1] = slope(i) - h * (2 * a + b) / 6;
      c[4 * i + 2] = a / 2;
      c[4 * i + 3] = (b - a) / (6 * h);
    }
  }
  return DF_STATUS_OK;
}

// ---------------------------------------------------------------- quadratic kinds
template <typename T>
int default_quadratic(Fit<T>& F) {
  const int64_t n = F.n, s = F.ystride();
  for (int64_t f = 0; f < F.ny; ++f) {
    const T* y = F.ybase(f);
    T* c = F.cf(f);
    T v = F.bc[0];
    for (int64_t i = 0; i < n - 1; ++i) {
      const T h = F.hi(i), g = h / 2, y0 = y[i * s], y1 = y[(i + 1) * s];
      const T c2 = 2 * (y0 - 2 * v + y1) / (h * h);
      const T c1 = (v - y0) / g - c2 * g;
      c[3 * i] = y0;
      c[3 * i + 1] = c1;
      c[3 * i + 2] = c2;
      if (i + 2 < n) {
        // The next midpoint value keeps S' continuous at x_(i+1).
        const T D = c1 + 2 * c2 * h, hn = F.hi(i + 1);
        v = (D * hn + 3 * y1 + y[(i + 2) * s]) / 4;
      }
    }
  }
  return DF_STATUS_OK;
}

template <typename T>
int knot_quadratic(Fit<T>& F) {
  const DFTask* t = F.t;
  const int64_t n = F.n, s = F.ystride(), N = n + 1;
  const int code = F.code;
  const size_t words = static_cast<size_t>(N + 3 * N + N * F.ny + 8);
  T* mem = static_cast<T*>(allocate(words * sizeof(T)));
  if (!mem) return DF_ERROR_MEM_FAILURE;
  T *kt = mem, *dl = kt + N, *d = dl + N, *du = d + N, *rhs = du + N;
  kt[0] = F.xi(0);
  kt[n] = F.xi(n - 1);
  int rc = DF_STATUS_OK;
  if (!F.ic) {
    for (int64_t j = 1; j < n; ++j) kt[j] = (F.xi(j - 1) + F.xi(j)) / 2;
  } else if (t->ic_type & DF_IC_Q_KNOT_RANGE) {
    const T a = F.ic[0], b = F.ic[1];
    if (!(kt[0] < a && b < kt[n])) rc = DF_ERROR_BAD_IC;
    for (int64_t j = 1; j < n; ++j) kt[j] = n == 2 ? a : a + static_cast<T>(j - 1) * (b - a) / static_cast<T>(n - 2);
  } else {
    for (int64_t j = 1; j < n; ++j) kt[j] = F.ic[j - 1];
  }
  // Each x_j must lie in its own knot interval, and the knots must increase.
  for (int64_t j = 0; rc == 0 && j < n; ++j)
    if (!(kt[j + 1] > kt[j]) || !(F.xi(j) >= kt[j] && F.xi(j) <= kt[j + 1])) rc = DF_ERROR_BAD_IC;
  if (rc) {
    deallocate(mem);
    return rc;
  }
  auto k = [&](int64_t j) { return kt[j + 1] - kt[j]; };
  auto tau = [&](int64_t j) { return F.xi(j) - kt[j]; };
  // Row j+1 (j = 0..n-2): interpolation at x_j and x_(j+1) with continuity of value at t_(j+1).
  for (int64_t j = 0; j + 1 < n; ++j) {
    const T kj = k(j), kn = k(j + 1), tj = tau(j), tn = tau(j + 1);
    dl[j] = (kj - tj) * (kj - tj) / (2 * kj);
    d[j + 1] = kj / 2 + tn - tn * tn / (2 * kn) - tj * tj / (2 * kj);
    du[j + 1] = tn * tn / (2 * kn);
  }
  const bool left_first = code == 2 || code == 3, right_first = code == 2 || code == 4;
  d[0] = 1;
  du[0] = left_first ? T(0) : T(-1);
  d[n] = 1;
  dl[n - 1] = right_first ? T(0) : T(-1);
  for (int64_t f = 0; f < F.ny; ++f) {
    const T* y = F.ybase(f);
    T* r = rhs + f * N;
    for (int64_t j = 0; j + 1 < n; ++j) r[j + 1] = y[(j + 1) * s] - y[j * s];
    r[0] = left_first ? F.bc[0] : (code == 4 || code == 5) ? -k(0) * F.bc[0] : T(0);
    r[n] = right_first ? F.bc[1] : (code == 3 || code == 5) ? k(n - 1) * F.bc[1] : T(0);
  }
  const int size = static_cast<int>(N), nr = static_cast<int>(F.ny);
  int info = 0;
  Lapack<T>::sv(&size, &nr, dl, d, du, rhs, &size, &info);
  if (info != 0) {
    deallocate(mem);
    return DF_ERROR_SOLVER;
  }
  for (int64_t f = 0; f < F.ny; ++f) {
    const T* y = F.ybase(f);
    const T* D = rhs + f * N;
    T* c = F.cf(f);
    for (int64_t j = 0; j < n; ++j) {
      const T c2 = (D[j + 1] - D[j]) / (2 * k(j)), tj = tau(j);
      c[3 * j] = y[j * s] - D[j] * tj - c2 * tj * tj;
      c[3 * j + 1] = D[j];
      c[3 * j + 2] = c2;
    }
  }
  deallocate(mem);
  return DF_STATUS_OK;
}

template <typename T>
int quadratic(DFTask* t) {
  if (!t) return DF_ERROR_NULL_TASK;
  if (!yhint_ok(t->yhint)) return DF_ERROR_BAD_Y_HINT;
  if (t->type == DF_PP_DEFAULT) {
    if (t->bc_type != DF_BC_Q_VAL) return DF_ERROR_BAD_BC_TYPE;
    if (!t->bc) return DF_ERROR_BAD_BC;
  } else if (t->type == DF_PP_QUADRATIC_KNOTS) {
    if (!(t->ic_type & DF_IC_Q_KNOT)) return DF_ERROR_BAD_IC_TYPE;
    const int code = bc_code(t->bc_type);
    if (code < 0 || code == 7) return DF_ERROR_BAD_BC_TYPE;
    if (code >= 2 && code <= 5 && !t->bc) return DF_ERROR_BAD_BC;
    // No knot-based routine for not-a-knot and periodic ends.
    if (code == 0 || code == 6) return DF_ERROR_BAD_BC_TYPE;
    if ((t->ic_type & DF_IC_Q_KNOT_RANGE) && !t->ic) return DF_ERROR_BAD_IC;
  } else {
    return DF_ERROR_METHOD_NOT_SUPPORTED;
  }
  Fit<T> F;
  if (const int rc = make_fit(t, F)) return rc;
  if (!partition_ok(F)) return DF_ERROR_BAD_X;
  return t->type == DF_PP_DEFAULT ? default_quadratic(F) : knot_quadratic(F);
}

}  // namespace

extern "C" {

#define ZORP_DF_BOTH(Name, body)                                                                         \
  ZORP_API int zorp_df_kernel_sDF##Name##Spline1D(DFTask* t, int64_t, int64_t method, void** thr) {        \
    using T = float;                                                                                      \
    (void)method;                                                                                         \
    (void)thr;                                                                                            \
    body;                                                                                                 \
  }                                                                                                       \
  ZORP_API int zorp_df_kernel_dDF##Name##Spline1D(DFTask* t, int64_t, int64_t method, void** thr) {        \
    using T = double;                                                                                     \
    (void)method;                                                                                         \
    (void)thr;                                                                                            \
    body;                                                                                                 \
  }

ZORP_DF_BOTH(Linear, return derivative_kind<T>(t, method, thr, Kind::Linear, 2))
ZORP_DF_BOTH(Quadratic, return quadratic<T>(t))
ZORP_DF_BOTH(NaturalCubic, return natural<T>(t, method, thr))
ZORP_DF_BOTH(DefaultCubic, return default_cubic<T>(t))
ZORP_DF_BOTH(AkimaCubic, return derivative_kind<T>(t, 0, thr, Kind::Akima, 5))
ZORP_DF_BOTH(BesselCubic, return derivative_kind<T>(t, 0, thr, Kind::Bessel, 4))
ZORP_DF_BOTH(HymanCubic, return derivative_kind<T>(t, 0, thr, Kind::Hyman, 4))
ZORP_DF_BOTH(HermiteCubic, return derivative_kind<T>(t, 0, thr, Kind::Hermite, 3))

}  // extern "C"
