// Construction: the cell writers.  Cubic coefficient blocks [y, d, c2, c3] from derivatives,
// the interior rows of the derivative system, and the widths they are built from, for
// unit-stride function values (vector loops) and for values with a stride (storage by
// columns, scalar loops computing the same formulas).
#pragma once
#include <immintrin.h>

#include <algorithm>
#include <cstdint>

#include "df/construct/fit.h"
#include "vm/simd/simd.h"

namespace zorp::df {

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

// One cubic block from the slope m, width h and end derivatives d0, d1 of its cell.
template <typename T>
void cubic_cell(T* c, T y0, T m, T h, T d0, T d1) {
  const T r = 1 / h;
  c[0] = y0;
  c[1] = d0;
  c[2] = (3 * m - 2 * d0 - d1) * r;
  c[3] = (d0 + d1 - 2 * m) * r * r;
}

}  // namespace zorp::df
