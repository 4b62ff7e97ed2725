// Construction of the kinds that work from derivatives: Akima, Bessel, Hyman and Hermite cubics,
// and the linear kind.  Work items are a block of cells times a group of four functions; they
// go to the host's launcher when ny*nx is at least 512 and run in the calling thread below
// that, through the same block routine (one code path keeps single- and multi-threaded results
// identical bit for bit).  Each call is a routine of the step sequence (common/steps.h), one
// part per work item.
#include "df/common/launch.h"
#include "df/construct/cells.h"
#include "df/construct/kinds.h"

namespace zorp::df {

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
    case End::NotAKnot: {
      const T m1 = e.m(1), H = h0 + h1;
      return (((2 * H + h0) * h1 * m0 + h0 * h0 * m1) / H - H * d1) / h1;
    }
    case End::FreeEnd: return T(1.5) * m0 - T(0.5) * d1;
    case End::FirstFirst:
    case End::FirstSecond: return F.bc[0];
    case End::SecondFirst:
    case End::SecondSecond: return T(1.5) * m0 - T(0.25) * h0 * F.bc[0] - T(0.5) * d1;
    case End::Periodic: {
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
    case End::NotAKnot: {
      const T hb = F.hi(n - 3), mc = e.m(n - 3), H = ha + hb;
      return (((2 * H + ha) * hb * mb + ha * ha * mc) / H - H * dl) / hb;
    }
    case End::FreeEnd: return T(1.5) * mb - T(0.5) * dl;
    case End::FirstFirst:
    case End::SecondFirst: return F.bc[1];
    case End::FirstSecond:
    case End::SecondSecond: return T(1.5) * mb + T(0.25) * ha * F.bc[1] - T(0.5) * dl;
    case End::Periodic: return d0;  // the same value as the left end
    default: return (3 * mb - e.m(n - 3)) / 2;
  }
}

// Slopes m_k, k = lo..hi, of unit-stride values into ms[k - lo].
// False when a width of a non-uniform partition is not positive and finite (the check of
// partition_ok, made here on widths this pass computes anyway).
template <typename T>
bool slopes_vec(const Fit<T>& F, const T* y, int64_t lo, int64_t hi, T* ms) {
  using V = Vec<T>;
  using M = Mask<T>;
  constexpr int L = kLanes<T>;
  const V one = splat(T(1)), zero = splat(T(0)), top = splat(std::numeric_limits<T>::max());
  M good = all_lanes<T>();
  for (int64_t k = lo; k <= hi; k += L) {
    const auto m = first_lanes<T>(static_cast<uint32_t>(std::min<int64_t>(hi + 1 - k, L)));
    const V h = F.uniform ? splat(F.h) : sub(load(m, F.x + k + 1, one), load(m, F.x + k, zero));
    good &= less(zero, h) & less_equal(h, top);
    const V dy = sub(load(m, y + k + 1, zero), load(m, y + k, zero));
    store(ms + (k - lo), m, div(dy, h));
  }
  return good == all_lanes<T>();
}

// Interior derivatives d_j, j = ja..jb, of the Akima (2 <= j <= n-3), Bessel and Hyman kinds
// from the slopes ms[k - lo] = m_k, into ds[j - i0]; the same formulas as the scalar ones,
// lane by lane.
template <typename T>
void interior_vec(const Fit<T>& F, const T* ms, int64_t lo, int64_t ja, int64_t jb, T* ds, int64_t i0) {
  using V = Vec<T>;
  constexpr int L = kLanes<T>;
  const V zero = splat(T(0)), one = splat(T(1)), half = splat(T(0.5));
  for (int64_t j = ja; j <= jb; j += L) {
    const auto m = first_lanes<T>(static_cast<uint32_t>(std::min<int64_t>(jb + 1 - j, L)));
    const T* M = ms + (j - lo);  // M[q] = m_(j+q)
    const V a = load(m, M - 1, zero), b = load(m, M, zero);
    V d;
    if (F.kind == Kind::Akima) {
      const V wj = abs(sub(load(m, M + 1, zero), b));
      const V wl = abs(sub(a, load(m, M - 2, zero)));
      const V den = add(wj, wl);
      const auto flat = less(den, splat(T(kAkimaFlat)));
      // Flat lanes take the mean; the others divide (only where they are not flat).
      d = div(mul(add(a, b), half), static_cast<decltype(m)>(m & ~flat),
              add(mul(wj, a), mul(wl, b)), den);
    } else {
      V ha, hb;
      if (F.uniform) {
        ha = hb = splat(F.h);
      } else {
        const V x1 = load(m, F.x + j, one);
        ha = sub(x1, load(m, F.x + j - 1, zero));
        hb = sub(load(m, F.x + j + 1, splat(T(2))), x1);
      }
      d = div(add(mul(hb, a), mul(ha, b)), add(ha, hb));
      if (F.kind == Kind::Hyman) {
        const V aa = abs(a), ab = abs(b), ad = abs(d);
        const V least = select(less(ab, aa), ab, aa);
        const V cap = mul(splat(T(3)), least);
        const V mag = select(less(cap, ad), cap, ad);
        const V limited = bit_select(sign_mask<V>(), d, mag);
        d = select(less_equal(mul(a, b), zero), zero, limited);
      }
    }
    store(ds + (j - i0), m, d);
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
    const T d0 = i0 == 0 ? end_left(e, ds[1]) : F.code == End::Periodic ? end_left(e, T(0)) : T(0);
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
struct DerivativeKind : Split {
  DFTask* t;
  int64_t method, nmin;
  Kind kind;
  Fit<T> F;
  int64_t cells = 0, nblocks = 0, stride = 0;
  T** scratch = nullptr;  // per thread: the slopes, then the derivatives at stride/2

  int check() {
    if (!t) return DF_ERROR_NULL_TASK;
    if (kind == Kind::Linear) {
      if (method != 0) return DF_ERROR_METHOD_NOT_SUPPORTED;
      if (t->nx < 2) return DF_ERROR_BAD_NX;
      if (!storage_hint_ok(t->yhint)) return DF_ERROR_BAD_Y_HINT;
    } else {
      if (t->nx < nmin) return DF_ERROR_BAD_NX;
      if (const int rc = check_bc(t, kind == Kind::Akima)) return rc;
      if (kind == Kind::Hermite && !t->ic) return DF_ERROR_BAD_IC;
    }
    if (const int rc = make_fit(t, F)) return rc;
    if (F.uniform && !width_ok(F.h)) return DF_ERROR_BAD_X;  // the blocks check other partitions
    F.kind = kind;
    if (kind == Kind::Linear) F.code = t->bc_type == DF_BC_PERIODIC ? End::Periodic : End::FreeEnd;
    if (F.code == End::Periodic && !periodic_ok(F)) return DF_ERROR_BAD_PERIODIC_VAL;
    return DF_STATUS_OK;
  }
  // Items are a block of cells times a group of kGroup functions.
  int plan() {
    cells = F.kind == Kind::Linear ? kLinearCells : kBlockCells;
    nblocks = (F.n - 1 + cells - 1) / cells;
    parts = static_cast<int>(nblocks * ((F.ny + kGroup - 1) / kGroup));
    threaded = F.ny * F.n >= kThreadMin;
    stride = 2 * (cells + 16);
    return DF_STATUS_OK;
  }
  void carve(Carver& C) { scratch = C.scratch_each<T>(threads, stride); }
  int start() { return DF_STATUS_OK; }
  int part(int item, int thread) {
    const int64_t b = item % nblocks, g = item / nblocks;
    const int64_t i0 = b * cells, i1 = std::min(F.n - 1, i0 + cells);
    T* ms = scratch[thread];
    T* ds = ms + stride / 2;
    bool widths = true;
    for (int64_t f = g * kGroup; f < std::min(F.ny, (g + 1) * kGroup); ++f) widths &= deriv_block(F, f, i0, i1, ms, ds);
    return widths ? DF_STATUS_OK : DF_ERROR_BAD_X;
  }
  int finish() { return DF_STATUS_OK; }
};

template <typename T>
int derivative_kind(DFTask* t, int64_t method, void** threading, Kind kind, int64_t nmin) {
  DerivativeKind<T> r{};
  r.pool.table = threading;
  r.t = t;
  r.method = method;
  r.kind = kind;
  r.nmin = nmin;
  return run_steps(r);
}

template int derivative_kind<float>(DFTask*, int64_t, void**, Kind, int64_t);
template int derivative_kind<double>(DFTask*, int64_t, void**, Kind, int64_t);

}  // namespace zorp::df
