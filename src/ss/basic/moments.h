// Running moments of one set of observations, the block kernels that feed them and the exact
// merge of two sets.  Shared by the basic statistics routine and its tests of form.
//
// State per component: the mean m of x - s (s the call's shift, see below), the raw moments
// r2..r4 (sum w x^k / W) and the central sums S2..S4 (sum w (x-m)^k), with the weight totals W
// and W2 shared by all components.
//
// The shift s is chosen once per call by the routine (basic.cpp, `choose_shift`): the stored
// mean when a call continues, else the component's first observation.  Every sum that leads to
// the mean or to a central quantity is a sum of x - s, so its rounding is relative to the
// spread of the data, not to its magnitude: with mean 1e6 and spread 1, a plain sum of x would
// leave the block mean wrong by about eps * 1e6 * (a few), and the covariance, which subtracts
// W (m - s)(m - s)^T from the shifted cross-product, wrong by that much relative to the spread.
//
// The pass works block by block instead of observation by observation: a block small enough
// to stay in L1 is read twice, first for its weighted sum of x - s (and raw power sums of x),
// then for the sums of powers of x - c about the block's own centre c = s + (sum w (x-s))/W_b.
// Block mean and block central sums follow exactly from these (the first-pass centre is only a
// centre: the second pass measures its offset), and the block joins the running state by the
// exact pairwise formulas of merge_block.  That costs one division per block instead of one
// per observation and leaves the inner loops free of loop-carried latency: a few adds and
// fused multiply-adds per eight values, so that reading the data, not the arithmetic, is meant
// to set the pace.
#pragma once
#include "simd/isa.h"

#include <cstdint>

#include "simd/vec.h"

namespace zorp::ss {

struct MomentArrays {
  double* m;
  double* r2;
  double* r3;
  double* r4;
  double* s2;
  double* s3;
  double* s4;
};

// The mean of a U b: m_a + d W_b/W, or, where d is not finite (an infinite observation in
// either set: inf - inf would give NaN for two infinite means of one sign), the weighted sum
// of the two means, which is +-inf when the infinities share a sign and NaN otherwise.  V is
// double or a vector of doubles (GCC vector arithmetic).
template <typename V>
inline V merged_mean(V ma, V mb, V d, double ia, double ib) {
  return d - d == 0 ? ma + d * ib : ma * ia + mb * ib;
}

// Merge set b into set a (a := a U b), component by component, for q components.
// d = m_b - m_a; every term is the exact algebraic combination, so the order of merging
// only changes rounding.
inline void merge_moments(MomentArrays a, double& Wa, double& W2a, const MomentArrays b, double Wb,
                          double W2b, int64_t q, int raw_order, int central_order) {
  if (Wb == 0) return;
  if (Wa == 0) {
    for (int64_t j = 0; j < q; ++j) {
      a.m[j] = b.m[j];
      if (raw_order >= 2) a.r2[j] = b.r2[j];
      if (raw_order >= 3) a.r3[j] = b.r3[j];
      if (raw_order >= 4) a.r4[j] = b.r4[j];
      if (central_order >= 2) a.s2[j] = b.s2[j];
      if (central_order >= 3) a.s3[j] = b.s3[j];
      if (central_order >= 4) a.s4[j] = b.s4[j];
    }
    Wa = Wb;
    W2a = W2b;
    return;
  }
  const double W = Wa + Wb, ia = Wa / W, ib = Wb / W;
  for (int64_t j = 0; j < q; ++j) {
    const double d = b.m[j] - a.m[j];
    if (central_order >= 4) {
      const double d2 = d * d;
      a.s4[j] = a.s4[j] + b.s4[j] + d2 * d2 * Wa * ib * (ia * ia - ia * ib + ib * ib) +
                6 * d2 * (ia * ia * b.s2[j] + ib * ib * a.s2[j]) + 4 * d * (ia * b.s3[j] - ib * a.s3[j]);
    }
    if (central_order >= 3)
      a.s3[j] = a.s3[j] + b.s3[j] + d * d * d * Wa * ib * (ia - ib) + 3 * d * (ia * b.s2[j] - ib * a.s2[j]);
    if (central_order >= 2) a.s2[j] = a.s2[j] + b.s2[j] + d * d * Wa * ib;
    if (raw_order >= 2) a.r2[j] = ia * a.r2[j] + ib * b.r2[j];
    if (raw_order >= 3) a.r3[j] = ia * a.r3[j] + ib * b.r3[j];
    if (raw_order >= 4) a.r4[j] = ia * a.r4[j] + ib * b.r4[j];
    a.m[j] = merged_mean(a.m[j], b.m[j], d, ia, ib);
  }
  Wa = W;
  W2a += W2b;
}

// ---- one set of lanes: a scalar component or eight components in a vector ----------------
// V is double or Lanes8 (GCC vector arithmetic, scalars broadcast), so the merge and the
// block formulas are written once for both layouts.  Lanes8 is __m512d without its may_alias
// attribute, which a template argument would drop anyway.
using Lanes8 = double __attribute__((vector_size(64)));
template <typename V>
struct Moments {  // V: double or Lanes8
  V m, r2, r3, r4, s2, s3, s4;
};

// Coefficients of one merge, shared by every lane set merged with the same weights (the
// divisions are then paid once per block, not once per component group).
struct MergeWeights {
  double Wa, ia, ib;  // the running weight before the merge, Wa/W and Wb/W with W = Wa + Wb
  MergeWeights(double wa, double wb) : Wa(wa), ia(wa / (wa + wb)), ib(wb / (wa + wb)) {}
};

// a := a U b for a block b of weight Wb > 0 (the same formulas as merge_moments).
template <int R, int C, typename V>
inline void merge_block(Moments<V>& a, const MergeWeights& mw, const Moments<V>& b) {
  if (mw.Wa == 0) {
    a = b;
    return;
  }
  const double Wa = mw.Wa, ia = mw.ia, ib = mw.ib;
  const V d = b.m - a.m;
  if constexpr (C >= 4) {
    const V d2 = d * d;
    a.s4 = a.s4 + b.s4 + d2 * d2 * (Wa * ib * (ia * ia - ia * ib + ib * ib)) +
           6.0 * d2 * ((ia * ia) * b.s2 + (ib * ib) * a.s2) + 4.0 * d * (ia * b.s3 - ib * a.s3);
  }
  if constexpr (C >= 3) a.s3 = a.s3 + b.s3 + d * d * d * (Wa * ib * (ia - ib)) + 3.0 * d * (ia * b.s2 - ib * a.s2);
  if constexpr (C >= 2) a.s2 = a.s2 + b.s2 + d * d * (Wa * ib);
  if constexpr (R >= 2) a.r2 = ia * a.r2 + ib * b.r2;
  if constexpr (R >= 3) a.r3 = ia * a.r3 + ib * b.r3;
  if constexpr (R >= 4) a.r4 = ia * a.r4 + ib * b.r4;
  a.m = merged_mean(a.m, b.m, d, ia, ib);
}

// Block moments from the two passes: X_k = sum w x^k (raw sums), cr = (sum w (x-s))/W_b the
// first-pass centre relative to the shift s, c = s + cr the same centre as a value,
// A_k = sum w (x-c)^k.  With e = A_1/W_b the offset of the true block mean from c, the central
// sums about the block mean are A_2 - e A_1, A_3 - 3 e A_2 + 2 e^2 A_1 and
// A_4 - 4 e A_3 + 6 e^2 A_2 - 3 e^3 A_1 (e is of rounding size, so these barely move).
// Without a second pass (C < 2) the block mean is cr itself, a sum of x - s.
template <int R, int C, typename V>
inline Moments<V> block_moments(double iw, V cr, V c, V shift, V X2, V X3, V X4, V A1, V A2, V A3, V A4) {
  Moments<V> b{};  // iw = 1/W_b
  if constexpr (C >= 2) {
    // A block holding an infinity has an infinite centre and NaN central sums; its mean is the
    // centre itself (the offset would be inf - inf).
    const V e = c - c == 0 ? A1 * iw : V{};
    b.m = (c - shift) + e;
    b.s2 = A2 - e * A1;
    if constexpr (C >= 3) b.s3 = A3 - e * (3.0 * A2 - 2.0 * (e * A1));
    if constexpr (C >= 4) b.s4 = A4 - e * (4.0 * A3 - e * (6.0 * A2 - 3.0 * (e * A1)));
  } else {
    b.m = cr;
  }
  if constexpr (R >= 2) b.r2 = X2 * iw;
  if constexpr (R >= 3) b.r3 = X3 * iw;
  if constexpr (R >= 4) b.r4 = X4 * iw;
  return b;
}

// ---- loads -----------------------------------------------------------------------------
// Eight values widened to double, whole or the first k (the rest zero).
template <typename T>
inline __m512d load8(const T* p) {
  return simd::load_wide(p);
}
template <typename T>
inline __m512d load8(const T* p, __mmask8 k) {
  return simd::load_wide(k, p);
}
inline __mmask8 first_lanes(int64_t k) { return simd::first_lanes<double>(static_cast<uint32_t>(k < 8 ? k : 8)); }

// Power sums of one vector of values x with weights w (unit weights when !Wt): x1 sums w (x - s)
// (d = x - s, given by the caller), x2..x4 the raw powers w x^k.  Masked-off lanes hold x = 0,
// d = 0 (and w = 0), so they add nothing; the second pass masks them explicitly because x - c
// is not 0 there.
template <int R, bool Wt>
struct RawSums {
  __m512d x1 = simd::zero<__m512d>(), x2 = x1, x3 = x1, x4 = x1;
  inline void add(__m512d x, __m512d d, __m512d w) {
    x1 = Wt ? simd::fma(w, d, x1) : simd::add(x1, d);
    if constexpr (R >= 2) {
      const __m512d wx = Wt ? simd::mul(w, x) : x;
      const __m512d wx2 = simd::mul(wx, x);
      x2 = simd::add(x2, wx2);
      if constexpr (R >= 3) x3 = simd::fma(wx2, x, x3);
      if constexpr (R >= 4) x4 = simd::fma(wx2, simd::mul(x, x), x4);
    }
  }
  inline void join(const RawSums& o) {
    x1 = simd::add(x1, o.x1);
    x2 = simd::add(x2, o.x2);
    x3 = simd::add(x3, o.x3);
    x4 = simd::add(x4, o.x4);
  }
};
template <int C, bool Wt>
struct CentralSums {
  __m512d a1 = simd::zero<__m512d>(), a2 = a1, a3 = a1, a4 = a1;
  inline void add(__m512d d, __m512d w) {  // d = x - c, already 0 in masked-off lanes
    const __m512d wd = Wt ? simd::mul(w, d) : d;
    a1 = simd::add(a1, wd);
    if constexpr (C >= 3) {
      const __m512d wd2 = simd::mul(wd, d);
      a2 = simd::add(a2, wd2);
      a3 = simd::fma(wd2, d, a3);
      if constexpr (C >= 4) a4 = simd::fma(wd2, simd::mul(d, d), a4);
    } else {
      a2 = simd::fma(wd, d, a2);
    }
  }
  inline void join(const CentralSums& o) {
    a1 = simd::add(a1, o.a1);
    a2 = simd::add(a2, o.a2);
    a3 = simd::add(a3, o.a3);
    a4 = simd::add(a4, o.a4);
  }
};

// Rows 0..L-1 added into four accumulators in turn, joined at the end: four independent chains
// of additions instead of one.  add_row(A, k) adds row k to accumulator A.
template <typename Acc, typename AddRow>
inline Acc sum_rows(int64_t L, AddRow add_row) {
  Acc A0, A1, A2, A3;
  int64_t k = 0;
  for (; k + 4 <= L; k += 4) {
    add_row(A0, k);
    add_row(A1, k + 1);
    add_row(A2, k + 2);
    add_row(A3, k + 3);
  }
  for (; k < L; ++k) add_row(A0, k);
  A0.join(A1);
  A2.join(A3);
  A0.join(A2);
  return A0;
}

// ---- component-major kernel: one component's len contiguous values ----------------------
// Lanes run over observations; sub-blocks of `sub` values, wsum[k] the weight of sub-block k
// (computed once by the caller for all components, so every component's running weight is the
// same number).  W is the running weight before the first value; the state is one scalar set.
template <int R, int C, bool Wt, typename T>
void component_moments(const T* x, const double* w, int64_t len, int64_t sub, const double* wsum, double shift,
                       Moments<double>& st, double& W) {
  double Wr = W;
  for (int64_t k0 = 0, sb = 0; k0 < len; k0 += sub, ++sb) {
    const int64_t L = len - k0 < sub ? len - k0 : sub;
    const double Wb = Wt ? wsum[sb] : double(L);
    if (Wb == 0) continue;  // a block of zero weights carries no data
    const T* xs = x + k0;
    const double* ws = Wt ? w + k0 : nullptr;
    const __m512d one = simd::splat(1.0), sv = simd::splat(shift);
    RawSums<R, Wt> P0, P1, P2, P3;
    auto first = [&](RawSums<R, Wt>& P, int64_t at) {
      const __m512d v = load8(xs + at);
      P.add(v, simd::sub(v, sv), Wt ? load8(ws + at) : one);
    };
    int64_t k = 0;
    for (; k + 32 <= L; k += 32) {
      first(P0, k);
      first(P1, k + 8);
      first(P2, k + 16);
      first(P3, k + 24);
    }
    for (; k < L; k += 8) {
      const __mmask8 mk = first_lanes(L - k);
      const __m512d v = load8(xs + k, mk);
      P0.add(v, simd::sub_zero(mk, v, sv), Wt ? load8(ws + k, mk) : one);
    }
    P0.join(P1);
    P2.join(P3);
    P0.join(P2);
    const double cr = simd::reduce_add(P0.x1) / Wb, c = shift + cr;
    double A1 = 0, A2 = 0, A3 = 0, A4 = 0;
    if constexpr (C >= 2) {
      const __m512d cv = simd::splat(c);
      CentralSums<C, Wt> Q0, Q1, Q2, Q3;
      k = 0;
      for (; k + 32 <= L; k += 32) {
        Q0.add(simd::sub(load8(xs + k), cv), Wt ? load8(ws + k) : one);
        Q1.add(simd::sub(load8(xs + k + 8), cv), Wt ? load8(ws + k + 8) : one);
        Q2.add(simd::sub(load8(xs + k + 16), cv), Wt ? load8(ws + k + 16) : one);
        Q3.add(simd::sub(load8(xs + k + 24), cv), Wt ? load8(ws + k + 24) : one);
      }
      for (; k < L; k += 8) {
        const __mmask8 mk = first_lanes(L - k);
        Q0.add(simd::sub_zero(mk, load8(xs + k, mk), cv), Wt ? load8(ws + k, mk) : one);
      }
      Q0.join(Q1);
      Q2.join(Q3);
      Q0.join(Q2);
      A1 = simd::reduce_add(Q0.a1);
      A2 = simd::reduce_add(Q0.a2);
      if constexpr (C >= 3) A3 = simd::reduce_add(Q0.a3);
      if constexpr (C >= 4) A4 = simd::reduce_add(Q0.a4);
    }
    double X2 = 0, X3 = 0, X4 = 0;
    if constexpr (R >= 2) X2 = simd::reduce_add(P0.x2);
    if constexpr (R >= 3) X3 = simd::reduce_add(P0.x3);
    if constexpr (R >= 4) X4 = simd::reduce_add(P0.x4);
    merge_block<R, C>(st, MergeWeights(Wr, Wb), block_moments<R, C, double>(1.0 / Wb, cr, c, shift, X2, X3, X4, A1, A2, A3, A4));
    Wr += Wb;
  }
  W = Wr;
}

// ---- observation-major kernel: bs rows of q values at P + k*ld ---------------------------
// Lanes run over components, eight at a time (state arrays and the shift are padded to a
// multiple of eight).  Sub-blocks of `sub` rows, sized by the caller to stay in cache while
// they are read twice.
// Narrow rows (fewer than four groups of eight) go group by group with four rows in flight.
// Wider rows go through tiles of up to 8 groups row by row, in memory order (group by group,
// a row of 64 components would be read at a 512-byte stride, one line per row and group),
// and the second pass over one sub-block runs in the same loop as the first pass over the
// next one, so that the arithmetic of the one hides behind the memory traffic of the other.
template <int R, int C, bool Wt>
void row_moments(const double* P, int64_t ld, int64_t bs, int64_t q, const double* w, int64_t sub,
                 const double* wsum, const double* shift, MomentArrays s, double& W) {
  constexpr int64_t kTile = 8;
  const int64_t nv = (q + 7) / 8;
  // Masked loads are slow when the row spills over a cache line, so only the last group of
  // rows that are not padded to whole groups (a panel is) uses them.
  const __mmask8 last = ld >= 8 * nv ? __mmask8(0xFF) : first_lanes(q - 8 * (nv - 1));
  auto mask_of = [&](int64_t v) { return v == nv - 1 ? last : __mmask8(0xFF); };
  auto load_row = [](const double* a, __mmask8 mk) {
    return mk == 0xFF ? simd::load(a) : simd::load_zero(mk, a);
  };
  const __m512d one = simd::splat(1.0);
  auto wv = [&](const double* ws, int64_t k) { return Wt ? simd::splat(ws[k]) : one; };
  auto weight_of = [&](int64_t sb, int64_t L) { return Wt ? wsum[sb] : double(L); };

  // The centre of group v's block: s + (sum w (x - s))/W_b (padding lanes have s = 0 and x = 0).
  auto centre = [&](int64_t v, const RawSums<R, Wt>& X, __m512d iw) {
    return simd::add(simd::load(shift + 8 * v), simd::mul(X.x1, iw));
  };
  // Block moments of group v into the running state.
  auto finish = [&](int64_t v, double iw, const MergeWeights& mw, const RawSums<R, Wt>& X, __m512d c,
                    const CentralSums<C, Wt>& A) {
    const int64_t o = 8 * v;
    const __m512d sh = simd::load(shift + o), cr = simd::mul(X.x1, simd::splat(iw));
    const Moments<Lanes8> b =
        block_moments<R, C, Lanes8>(iw, cr, c, sh, X.x2, X.x3, X.x4, A.a1, A.a2, A.a3, A.a4);
    const __m512d z = simd::zero<__m512d>();
    Moments<Lanes8> a;
    a.m = simd::load(s.m + o);
    a.r2 = R >= 2 ? simd::load(s.r2 + o) : z;
    a.r3 = R >= 3 ? simd::load(s.r3 + o) : z;
    a.r4 = R >= 4 ? simd::load(s.r4 + o) : z;
    a.s2 = C >= 2 ? simd::load(s.s2 + o) : z;
    a.s3 = C >= 3 ? simd::load(s.s3 + o) : z;
    a.s4 = C >= 4 ? simd::load(s.s4 + o) : z;
    merge_block<R, C>(a, mw, b);
    simd::store(s.m + o, a.m);
    if constexpr (R >= 2) simd::store(s.r2 + o, a.r2);
    if constexpr (R >= 3) simd::store(s.r3 + o, a.r3);
    if constexpr (R >= 4) simd::store(s.r4 + o, a.r4);
    if constexpr (C >= 2) simd::store(s.s2 + o, a.s2);
    if constexpr (C >= 3) simd::store(s.s3 + o, a.s3);
    if constexpr (C >= 4) simd::store(s.s4 + o, a.s4);
  };

  if (nv < 4) {
    double Wr = W;
    for (int64_t k0 = 0, sb = 0; k0 < bs; k0 += sub, ++sb) {
      const int64_t L = bs - k0 < sub ? bs - k0 : sub;
      const double Wb = weight_of(sb, L);
      if (Wb == 0) continue;  // a block of zero weights carries no data
      const double* rows = P + k0 * ld;
      const double* ws = Wt ? w + k0 : nullptr;
      const double iws = 1.0 / Wb;
      const MergeWeights mw(Wr, Wb);
      for (int64_t v = 0; v < nv; ++v) {
        const __mmask8 mk = mask_of(v);
        const double* col = rows + 8 * v;
        const __m512d sh = simd::load(shift + 8 * v);
        auto x = [&](int64_t k) { return load_row(col + k * ld, mk); };
        const RawSums<R, Wt> P0 = sum_rows<RawSums<R, Wt>>(L, [&](RawSums<R, Wt>& A, int64_t k) {
          const __m512d xk = x(k);
          A.add(xk, simd::sub(xk, sh), wv(ws, k));
        });
        const __m512d c = centre(v, P0, simd::splat(iws));
        CentralSums<C, Wt> Q0;
        if constexpr (C >= 2)
          Q0 = sum_rows<CentralSums<C, Wt>>(L, [&](CentralSums<C, Wt>& A, int64_t k) {
            A.add(simd::sub_zero(mk, x(k), c), wv(ws, k));
          });
        finish(v, iws, mw, P0, c, Q0);
      }
      Wr += Wb;
    }
    W = Wr;
    return;
  }

  // One tile of TN groups from group t0.  TN is a constant so that the tile's sums live in
  // registers: sums in a stack array, read and written back for every row, leave each row's
  // additions waiting on the stores of the row before.
  double Wend = W;
  auto tile = [&]<int TN>(int64_t t0) {
    double Wr = W;  // every tile runs through the same sub-blocks from the same weight
    struct Sub {
      const double* rows;  // first row, at the tile's first group
      const double* ws;
      int64_t L;
      double Wb;
    } prev{nullptr, nullptr, 0, 0};
    RawSums<R, Wt> Xn[TN], Xp[TN];  // first-pass sums of this and of the previous sub-block
    CentralSums<C, Wt> A[TN];
    __m512d c[TN];  // centres of the previous sub-block
    __m512d sh[TN];
    __mmask8 mk[TN];
    for (int u = 0; u < TN; ++u) mk[u] = mask_of(t0 + u), sh[u] = simd::load(shift + 8 * (t0 + u));
    auto second = [&](int64_t k) {  // second pass over row k of the previous sub-block
      const double* row = prev.rows + k * ld;
      const __m512d wk = wv(prev.ws, k);
#pragma GCC unroll 8
      for (int u = 0; u < TN; ++u) A[u].add(simd::sub_zero(mk[u], load_row(row + 8 * u, mk[u]), c[u]), wk);
    };
    auto first = [&](const Sub& sb, int64_t k) {
      const double* row = sb.rows + k * ld;
      const __m512d wk = wv(sb.ws, k);
#pragma GCC unroll 8
      for (int u = 0; u < TN; ++u) {
        const __m512d xk = load_row(row + 8 * u, mk[u]);
        Xn[u].add(xk, simd::sub(xk, sh[u]), wk);
      }
    };
    auto close_prev = [&]() {
      const double iws = 1.0 / prev.Wb;
      const MergeWeights mw(Wr, prev.Wb);
      for (int u = 0; u < TN; ++u) finish(t0 + u, iws, mw, Xp[u], c[u], A[u]);
      Wr += prev.Wb;
    };
    for (int64_t k0 = 0, sb = 0; k0 < bs; k0 += sub, ++sb) {
      const int64_t L = bs - k0 < sub ? bs - k0 : sub;
      const double Wb = weight_of(sb, L);
      if (Wb == 0) continue;
      const Sub now{P + k0 * ld + 8 * t0, Wt ? w + k0 : nullptr, L, Wb};
#pragma GCC unroll 8
      for (int u = 0; u < TN; ++u) Xn[u] = RawSums<R, Wt>();
      int64_t k = 0;
      if (prev.rows) {
#pragma GCC unroll 8
        for (int u = 0; u < TN; ++u) A[u] = CentralSums<C, Wt>();
        if constexpr (C >= 2) {
          const int64_t both = L < prev.L ? L : prev.L;
          for (; k < both; ++k) {
            first(now, k);
            second(k);
          }
          for (int64_t kp = k; kp < prev.L; ++kp) second(kp);
        }
      }
      for (; k < L; ++k) first(now, k);
      if (prev.rows) close_prev();
      const __m512d iw = simd::splat(1.0 / Wb);
#pragma GCC unroll 8
      for (int u = 0; u < TN; ++u) {
        Xp[u] = Xn[u];
        c[u] = centre(t0 + u, Xn[u], iw);
      }
      prev = now;
    }
    if (prev.rows) {
#pragma GCC unroll 8
      for (int u = 0; u < TN; ++u) A[u] = CentralSums<C, Wt>();
      if constexpr (C >= 2)
        for (int64_t k = 0; k < prev.L; ++k) second(k);
      close_prev();
    }
    Wend = Wr;
  };
  for (int64_t t0 = 0; t0 < nv; t0 += kTile) {
    switch (nv - t0 < kTile ? nv - t0 : kTile) {
      case 1: tile.template operator()<1>(t0); break;
      case 2: tile.template operator()<2>(t0); break;
      case 3: tile.template operator()<3>(t0); break;
      case 4: tile.template operator()<4>(t0); break;
      case 5: tile.template operator()<5>(t0); break;
      case 6: tile.template operator()<6>(t0); break;
      case 7: tile.template operator()<7>(t0); break;
      default: tile.template operator()<8>(t0); break;
    }
  }
  W = Wend;
}

}  // namespace zorp::ss
