// Construction: the cell writers.  Cubic coefficient blocks [y, d, c2, c3] from derivatives,
// the interior rows of the derivative system, and the widths they are built from, for
// unit-stride function values (vector loops) and for values with a stride (storage by
// columns, scalar loops computing the same formulas).
#pragma once
#include "simd/isa.h"

#include <algorithm>
#include <cstdint>

#include "df/construct/fit.h"
#include "simd/transpose.h"
#include "simd/vec.h"

namespace zorp::df {

// Unit-stride function values run through vector loops; values by columns (stride ny) take the
// scalar loops below, which compute the same formulas.
using namespace zorp::simd;

// The four coefficient vectors of kLanes consecutive cells go out as whole cell blocks
// [y, d, c2, c3]: count cells (1..kLanes) from c, the registers beyond count masked off.
template <typename V>
inline void store_cells(Elem<V>* c, V y, V d, V p, V q, int count) {
  using T = Elem<V>;
  constexpr int L = kLanes<T>, per = L / 4;  // cells per register
  V v[4] = {y, d, p, q};
  interleave4(v);
  if (count == L) {
    for (int k = 0; k < 4; ++k) store(c + L * k, v[k]);
    return;
  }
  for (int k = 0; k < 4; ++k) {
    const int left = count - per * k;  // cells in this register
    if (left <= 0) break;
    store(c + L * k, first_lanes<T>(static_cast<uint32_t>(left >= per ? L : 4 * left)), v[k]);
  }
}

// Where the cell widths come from: a uniform step, the partition itself, or a table of widths
// and their reciprocals built once for many functions.
template <typename T>
struct Widths {
  using V = Vec<T>;
  using M = Mask<T>;
  const T* x;    // partition (null when uniform or tabulated)
  const T* h;    // tabulated widths, or null
  const T* rh;   // tabulated reciprocals
  T step, rstep; // uniform
  // Widths and reciprocals of cells [i, i+kLanes) under mask m.
  void load(int64_t i, M m, V& hv, V& rv) const {
    if (h) {
      hv = zorp::simd::load(m, h + i, splat(T(1)));
      rv = zorp::simd::load(m, rh + i, splat(T(1)));
    } else if (x) {
      hv = sub(zorp::simd::load(m, x + i + 1, splat(T(1))), zorp::simd::load(m, x + i, splat(T(0))));
      rv = div(splat(T(1)), hv);
    } else {
      hv = splat(step);
      rv = splat(rstep);
    }
  }
  T width(int64_t i) const { return h ? h[i] : x ? x[i + 1] - x[i] : step; }
  T recip(int64_t i) const { return h ? rh[i] : x ? T(1) / (x[i + 1] - x[i]) : rstep; }
};

// One lane to the left: lane k of the result is lane k+1 of (prev, cur) joined, i.e. the
// vector that starts one element after prev.
template <typename V>
inline V next_lane(V prev, V cur) {
  return lanes_from<1>(prev, cur);
}

// Interior rows i = 1..n-2 of the derivative system for one function with unit-stride values:
// r_i = 3*(h_i*m_(i-1) + h_(i-1)*m_i) (uniform: rows divided by h).  Row i goes to R1[i-1].
template <typename T>
void interior_rows(const Widths<T>& W, bool uniform, const T* y, int64_t n, T* R1) {
  using V = Vec<T>;
  constexpr int L = kLanes<T>;
  const int64_t cells = n - 1;
  auto slopes = [&](int64_t j, V& hv, V& mv) {  // cells [j, j+L)
    const int64_t left = cells - j;
    const auto m = first_lanes<T>(static_cast<uint32_t>(left <= 0 ? 0 : std::min<int64_t>(left, L)));
    V rv;
    W.load(j, m, hv, rv);
    const V dy = sub(load(m, y + j + 1, splat(T(0))), load(m, y + j, splat(T(0))));
    mv = mul(dy, rv);
  };
  V hp, mp;
  slopes(0, hp, mp);
  const V three = splat(T(3));
  for (int64_t i0 = 1; i0 <= n - 2; i0 += L) {
    V hc, mc;
    slopes(i0 - 1 + L, hc, mc);
    // Cells i-1 (prev) and i (one lane on) for rows i0..i0+L-1.
    const V ha = hp, ma = mp, hb = next_lane(hp, hc), mb = next_lane(mp, mc);
    const auto m = first_lanes<T>(static_cast<uint32_t>(std::min<int64_t>(n - 1 - i0, L)));
    const V r = uniform ? mul(three, add(ma, mb)) : mul(three, add(mul(hb, ma), mul(ha, mb)));
    store(R1 + (i0 - 1), m, r);
    hp = hc;
    mp = mc;
  }
}

// The cubic terms of a cell from its slope m, reciprocal width r and end derivatives d0, d1:
// c2 = (3m - 2*d0 - d1)/h and c3 = (d0 + d1 - 2m)/h^2.
template <typename T, typename V = Vec<T>>
inline void cubic_terms(V m, V r, V d0, V d1, V& c2, V& c3) {
  const V two = splat(T(2)), three = splat(T(3));
  c2 = mul(sub(sub(mul(three, m), mul(two, d0)), d1), r);
  c3 = mul(mul(sub(add(d0, d1), mul(two, m)), r), r);
}

// Coefficient blocks of cells [0, n-1) from the derivatives d[0..n-1], unit-stride values.
template <typename T>
void cubic_cells(const Widths<T>& W, const T* y, const T* d, int64_t n, T* c) {
  using V = Vec<T>;
  constexpr int L = kLanes<T>;
  const int64_t cells = n - 1;
  for (int64_t i = 0; i < cells; i += L) {
    const int count = static_cast<int>(std::min<int64_t>(cells - i, L));
    const auto m = first_lanes<T>(static_cast<uint32_t>(count));
    V hv, rv;
    W.load(i, m, hv, rv);
    const V y0 = load(m, y + i, splat(T(0))), y1 = load(m, y + i + 1, splat(T(0)));
    const V d0 = load(m, d + i, splat(T(0))), d1 = load(m, d + i + 1, splat(T(0)));
    V p, q;
    cubic_terms<T>(mul(sub(y1, y0), rv), rv, d0, d1, p, q);
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
