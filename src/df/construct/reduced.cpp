// Construction of the natural cubic: the reduced solver for one function on an open partition.
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
#include "simd/isa.h"

#include "df/construct/natural.h"
#include "simd/transpose.h"

namespace zorp::df {
namespace reduced {

using V = __m512d;
constexpr int64_t kTileRows = 64;

// Lane 0 = lane 7 of prev, lane k = lane k-1 of cur: the row one lane before.
inline V shift_in(V cur, V prev) { return lanes_from<7>(prev, cur); }

using zorp::simd::transpose8;

// One row a*x_(k-1) + b*x_k + c*x_(k+1) = r of eight lanes, with q = 1/b once it is eliminated.
struct Row {
  V a, b, c, r, q;
};

inline Row identity_row() {
  const V z = zero<V>(), one = splat(1.0);
  return {z, one, z, z, one};
}

// Row e less the multiples of its neighbours l (before) and h (after) that clear its couplings
// to them; l and h carry their reciprocal pivots.  The result couples to l's and h's neighbours.
inline Row eliminate(const Row& e, const Row& l, const Row& h) {
  const V al = mul(e.a, l.q), ga = mul(e.c, h.q);
  Row o;
  o.a = sub(zero<V>(), mul(al, l.a));
  o.c = sub(zero<V>(), mul(ga, h.c));
  o.b = fnma(ga, h.a, fnma(al, l.c, e.b));
  o.r = fnma(ga, h.r, fnma(al, l.r, e.r));
  o.q = zero<V>();
  return o;
}

inline Row with_pivot(Row w) {
  w.q = div(splat(1.0), w.b);
  return w;
}

inline Row shift_row(const Row& cur, const Row& prev) {
  return {shift_in(cur.a, prev.a), shift_in(cur.b, prev.b), shift_in(cur.c, prev.c), shift_in(cur.r, prev.r),
          shift_in(cur.q, prev.q)};
}

// x_k from its row and the neighbours' values.
inline V back(const Row& w, V left, V right) {
  return mul(fnma(w.c, right, fnma(w.a, left, w.r)), w.q);
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
  const V one = splat(1.0);
  for (int q = 0; q < 8; ++q) {
    const int64_t i = i0 + 8 * q;
    const __mmask8 m = edge ? first_lanes<double>(static_cast<uint32_t>(std::clamp<int64_t>(P.n - 1 - i, 0, 8)))
                            : all_lanes<double>();
    const V y0 = load_wide(m, P.y + i), y1 = load_wide(m, P.y + i + 1);
    V r;
    if (P.x) {
      h[q] = sub(load_wide(m, P.x + i + 1, splat(1.0)), load_wide(m, P.x + i));
      r = div(one, h[q]);
    } else {
      h[q] = one;
      r = splat(P.rstep);
    }
    s[q] = mul(sub(y1, y0), r);
    if constexpr (keep) {
      store(rh + 8 * q, r);
      store(sl + 8 * q, s[q]);
    }
  }
}

// Identity rows outside 1..n-2, and the end rows folded into rows 1 and n-2.  Inlined: a call
// would take the address of the tile's rows and keep them out of registers in every tile.
template <typename T>
[[gnu::always_inline]] inline void patch_rows(const Problem<T>& P, int64_t i0, Row w[8]) {
  alignas(64) double a[8][8], b[8][8], c[8][8], r[8][8];
  for (int p = 0; p < 8; ++p) {
    store(a[p], w[p].a), store(b[p], w[p].b);
    store(c[p], w[p].c), store(r[p], w[p].r);
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
    w[p] = {load(a[p]), load(b[p]), load(c[p]), load(r[p]),
            zero<V>()};
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
    const V none = zero<V>(), top = splat(std::numeric_limits<double>::max());
    for (int q = 0; q < 8; ++q)
      C.bad_width |= static_cast<__mmask8>(~(less(none, h[q]) & less_equal(h[q], top)));
  }
  transpose8(h);
  transpose8(s);
  Row w[8];
  const V two = splat(2.0), three = splat(3.0);
  for (int p = 0; p < 8; ++p) {
    // Row i uses cells i-1 (a) and i (b): a = h_i, b = 2(h_(i-1)+h_i), c = h_(i-1),
    // r = 3(h_i*m_(i-1) + h_(i-1)*m_i).
    const V ha = p == 0 ? shift_in(h[7], C.h7) : h[p - 1], ma = p == 0 ? shift_in(s[7], C.s7) : s[p - 1];
    const V hb = h[p], mb = s[p];
    w[p] = {hb, mul(two, add(ha, hb)), ha,
            mul(three, fma(hb, ma, mul(ha, mb))), zero<V>()};
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
  return {id, id, id, splat(1.0), zero<V>(), 0};
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
  const V none = zero<V>();
  for (int64_t t = 0; t < build_tiles; ++t) {
    const Levels L = reduce_tile<false>(P, t, C);
    auto bad = [&](V b) { return static_cast<__mmask8>(equal(b, none) | unordered(b, b)); };
    singular |= bad(L.odd[0].b) | bad(L.odd[1].b) | bad(L.odd[2].b) | bad(L.odd[3].b) | bad(L.two.b) |
                bad(L.six.b) | bad(L.four.b) | bad(L.zero.b);
    const int64_t J = 8 * t;
    const __mmask8 m = first_lanes<double>(static_cast<uint32_t>(std::min<int64_t>(size - J, 8)));
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
    x[0] = load_wide(first_lanes<double>(static_cast<uint32_t>(size - J)), sol + J);
    x[8] = load_wide(first_lanes<double>(static_cast<uint32_t>(size - J - 1)), sol + J + 1);
    x[4] = back(L.four, x[0], x[8]);
    x[2] = back(L.two, x[0], x[4]);
    x[6] = back(L.six, x[4], x[8]);
    for (int k = 0; k < 4; ++k) x[2 * k + 1] = back(L.odd[k], x[2 * k], x[2 * k + 2]);
    const V next = x[8];
    transpose8(x);
    for (int q = 0; q < 8; ++q) store(dv + 8 * q, x[q]);
    dv[kTileRows] = lane<7>(next);
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
        const V rv = load(rh + 8 * k), mv = load(sl + 8 * k);
        const V d0 = load(dv + 8 * k), d1 = load(dv + 8 * k + 1);
        out[g][0] = load_wide(first_lanes<double>(here), P.y + i0 + 8 * k);
        out[g][1] = d0;
        cubic_terms<double>(mv, rv, d0, d1, out[g][2], out[g][3]);
        count += here;
      }
      if constexpr (sizeof(T) == 8) {
        store_cells(c + 4 * (i0 + 8 * q), out[0][0], out[0][1], out[0][2], out[0][3], count);
      } else {
        auto join = [&](int v) {
          return narrow_pair(out[0][v], out[1][v]);
        };
        store_cells(c + 4 * (i0 + 8 * q), join(0), join(1), join(2), join(3), count);
      }
    }
  }
  return DF_STATUS_OK;
}

template int solve<float>(const Fit<float>&);
template int solve<double>(const Fit<double>&);

}  // namespace reduced
}  // namespace zorp::df
