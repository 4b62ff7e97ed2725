// Cell search, shared by the search exports, interpolation and integration: the seven methods,
// each giving the cell of every site by one convention (0 left of x[0] and for NaN, i for
// x[i-1] <= t < x[i], nx-1 for t = x[nx-1], nx right of it), the user-callback protocol, and the
// choice of method from the task's and the caller's hints.
//
// Every method computes its cells in 64-bit integers and writes them as 32- or 64-bit cells;
// with nx below 2^31 (what the 32-bit and packed forms require) the cells do not depend on the
// width of the arithmetic.  The uniform and hybrid methods run eight sites per register (float
// data in the low lanes of a float register, so both precisions compare and round in their own
// precision); the others locate one site at a time by galloping from a guess, which finds the
// same cell as the scans the methods describe in O(log distance) steps; sorted sites are counted
// against the points eight at a time.
#pragma once
#include <algorithm>
#include <cstdint>
#include <limits>

#include "df/common/task_view.h"
#include "simd/index.h"
#include "simd/vec.h"
#include "zorp/df.h"

namespace zorp::df {

using simd::Mask;
using simd::Vec;

// Table order of the method routines.
enum class Method : int { Uniform, QuasiUniform, Sorted, Peak, Hybrid, UserDef, UniUserDef };

template <typename T>
using SearchCallback = int (*)(int64_t*, const T*, void*, int32_t*, void*);
constexpr int kSearchAllDone = 1000;  // callback result: every cell is set

// What the methods read besides the sites.
template <typename T>
struct Partition {
  int64_t nx;
  const T* x;             // every point; uniform methods: the two end points
  T scale;                // uniform: (nx-1)/(x[1]-x[0]); quasi-uniform: (nx-1)/(x[nx-1]-x[0])
  int64_t* start;         // sorted: starting cell in, last cell found out (may be null)
  T bucket_scale;         // hybrid
  const int64_t* buckets; // hybrid: the task's cell buckets, or null for a plain bisection
  int64_t nbuckets;       // their count when known (clamps the bucket of a site), else 0
  T peak;                 // peak: the index near which most sites lie
  SearchCallback<T> cb;   // user-defined methods
  void* params;
  int32_t* flags;
};

// ---- one site ----------------------------------------------------------------------------

// The uniform formula: k = trunc((t - x[0]) * scale), capped at nx-2, gives cell k+1 for
// x[0] <= t < x[nx-1]; left of x[0] and NaN give 0, the right end point nx-1, right of it nx.
// The ends are decided by comparing t with them, not by the formula: the rounded scale can put
// a site one ulp below x[nx-1] at u = nx-1 (cell nx, where the right-end callback would take it
// over) or one just above at u < nx-1.
template <typename T>
int64_t uniform_cell(const Partition<T>& P, T t) {
  const T x0 = P.x[0], xe = P.x[1];
  if (!(t >= x0)) return 0;
  if (t >= xe) return t == xe ? P.nx - 1 : P.nx;
  const T u = (t - x0) * P.scale;
  // Clamped below too: a partition too narrow for its scale makes u NaN at t = x[0].
  const int64_t k = !(u >= T(0)) ? 0 : u < static_cast<T>(P.nx - 2) ? static_cast<int64_t>(u) : P.nx - 2;
  return std::clamp<int64_t>(k, 0, P.nx - 2) + 1;
}

// The cell of t by galloping from the guess g (any value; clamped), then bisecting.
template <typename T>
int64_t cell_from(const T* x, int64_t nx, T t, int64_t g) {
  if (!(t >= x[0])) return 0;
  if (t >= x[nx - 1]) return t == x[nx - 1] ? nx - 1 : nx;
  // x[0] <= t < x[nx-1]: the cell c in 1..nx-1 has x[c-1] <= t < x[c].
  g = std::clamp<int64_t>(g, 1, nx - 1);
  int64_t lo, hi;  // x[lo] <= t < x[hi]
  if (x[g - 1] <= t) {
    lo = g - 1;
    hi = g;
    for (int64_t step = 1; x[hi] <= t; step *= 2) {
      lo = hi;
      hi = std::min(hi + step, nx - 1);
    }
  } else {
    hi = g - 1;
    lo = std::max<int64_t>(hi - 1, 0);
    for (int64_t step = 2; x[lo] > t; step *= 2) {
      hi = lo;
      lo = std::max<int64_t>(lo - step, 0);
    }
  }
  while (hi - lo > 1) {
    const int64_t mid = lo + (hi - lo) / 2;
    (x[mid] <= t ? lo : hi) = mid;
  }
  return hi;
}

// Hybrid: the bucket of t brackets its cell; a bisection of the bracket finds it.
template <typename T>
int64_t hybrid_cell(const Partition<T>& P, T t) {
  const T* x = P.x;
  const int64_t nx = P.nx;
  if (!(t >= x[0])) return 0;
  if (t >= x[nx - 1]) return t == x[nx - 1] ? nx - 1 : nx;
  int64_t lo = 0, hi = nx - 1;
  if (P.buckets) {
    int64_t b = static_cast<int64_t>((t - x[0]) * P.bucket_scale);
    if (P.nbuckets) b = std::min(b, P.nbuckets);
    lo = P.buckets[2 * b];
    hi = P.buckets[2 * b + 1];
  }
  while (hi - lo > 1) {
    const int64_t mid = lo + (hi - lo) / 2;
    (x[mid] <= t ? lo : hi) = mid;
  }
  return hi;
}

// ---- eight sites ----------------------------------------------------------------------------
using simd::Index8;
using simd::IndexMask;

template <typename T>
Vec<T> sites8(IndexMask m, const T* site) {
  return simd::load8(m, site, simd::zero<Vec<T>>());
}

// The same formula as uniform_cell, eight sites at a time.
template <typename T>
Index8 uniform_cells8(const Partition<T>& P, Vec<T> t) {
  using namespace simd;
  const Vec<T> x0 = splat(P.x[0]), xe = splat(P.x[1]);
  const auto inside = greater_equal(t, x0), at_end = equal(t, xe), beyond = less(xe, t);
  const Vec<T> u = mul(sub(t, x0), splat(P.scale));
  const auto below = less(u, splat(static_cast<T>(P.nx - 2)));
  const Index8 cap = index_splat(P.nx - 2);
  // Lanes not below the cap (and lanes outside) are not converted: their value may not fit.
  Index8 k = iselect<double>(static_cast<IndexMask>(below & inside), truncate_to_index(zero_unless(below & inside, u)), cap);
  k = iadd<double>(index_clamp(k, 0, P.nx - 2), index_splat(1));
  k = iselect<double>(static_cast<IndexMask>(inside), k, index_splat(0));
  k = iselect<double>(static_cast<IndexMask>(beyond & inside), index_splat(P.nx), k);
  return iselect<double>(static_cast<IndexMask>(at_end & inside), index_splat(P.nx - 1), k);
}

// Hybrid, up to 64 sites at once: every lane's bucket bracket is gathered, then the brackets of
// eight registers are bisected in lockstep until all have narrowed to one cell.  The eight
// independent chains of gathers keep as many cache misses in flight on long partitions, where
// a bracket of the 1024 buckets still holds about nx/1024 points.
template <typename T, typename Out>
void hybrid_cells(const Partition<T>& P, int64_t n, const T* site, Out* out) {
  using namespace simd;
  constexpr int G = 8;
  const T* x = P.x;
  const int64_t nx = P.nx;
  const Vec<T> x0 = splat(x[0]), xe = splat(x[nx - 1]), zv = zero<Vec<T>>();
  const Index8 one = index_splat(1);
  for (int64_t j0 = 0; j0 < n; j0 += 8 * G) {
    const int g = static_cast<int>(std::min<int64_t>(G, (n - j0 + 7) / 8));
    Vec<T> t[G];
    Index8 lo[G], hi[G];
    IndexMask mask[G], inside[G], open[G];
    IndexMask any = 0;
    for (int k = 0; k < g; ++k) {
      mask[k] = first_lanes<double>(static_cast<uint32_t>(std::min<int64_t>(n - j0 - 8 * k, 8)));
      t[k] = sites8(mask[k], site + j0 + 8 * k);
      inside[k] = static_cast<IndexMask>(mask[k] & greater_equal(t[k], x0) & less(t[k], xe));
      lo[k] = index_splat(0);
      hi[k] = index_splat(nx - 1);
      if (P.buckets) {
        Index8 b = truncate_to_index(zero_unless(static_cast<Mask<T>>(inside[k]), mul(sub(t[k], x0), splat(P.bucket_scale))));
        if (P.nbuckets) b = imin<double>(b, index_splat(P.nbuckets));
        const Index8 b2 = iadd<double>(b, b);
        lo[k] = gather(inside[k], P.buckets, b2, lo[k]);
        hi[k] = gather(inside[k], P.buckets, iadd<double>(b2, one), hi[k]);
      }
      open[k] = static_cast<IndexMask>(inside[k] & index_greater(index_sub(hi[k], lo[k]), one));
      any |= open[k];
    }
    while (any) {
      any = 0;
      for (int k = 0; k < g; ++k) {
        if (!open[k]) continue;
        const Index8 mid = iadd<double>(lo[k], index_shift_right1(index_sub(hi[k], lo[k])));
        const Vec<T> xm = gather(open[k], x, mid, zv);
        const IndexMask le = static_cast<IndexMask>(open[k] & less_equal(xm, t[k]));
        lo[k] = iselect<double>(le, mid, lo[k]);
        hi[k] = iselect<double>(static_cast<IndexMask>(open[k] & ~le), mid, hi[k]);
        open[k] = static_cast<IndexMask>(open[k] & index_greater(index_sub(hi[k], lo[k]), one));
        any |= open[k];
      }
    }
    for (int k = 0; k < g; ++k) {
      // Outside lanes by the convention.
      const IndexMask left = static_cast<IndexMask>(~greater_equal(t[k], x0)), at_end = static_cast<IndexMask>(equal(t[k], xe));
      Index8 c = iselect<double>(inside[k], hi[k], index_splat(nx));
      c = iselect<double>(at_end, index_splat(nx - 1), c);
      store_index(out + j0 + 8 * k, mask[k], iselect<double>(left, index_splat(0), c));
    }
  }
}

// Sorted sites, eight at a time from the previous cell c: with every site of the register inside
// and x[c-1] <= the least of them, the cell of each is c plus the number of points from c on that
// are at most it. One pass over the points up to the greatest site counts them for all eight
// lanes at once (a broadcast and a compare per point), so a register costs one loop exit to
// predict instead of a search per site, whose branches follow the data. A register whose sites
// lie more than kFar points on, and registers with sites outside, NaNs or lanes past the end,
// take the galloping search site by site; so do sites left of c (the hint does not make the
// caller's sites sorted, only the results of sorted ones fast). Returns the last cell.
template <typename T, typename Out>
int64_t sorted_cells(const Partition<T>& P, int64_t n, const T* site, Out* out, int64_t c) {
  using namespace simd;
  constexpr int64_t kFar = 32;
  const T* x = P.x;
  const int64_t nx = P.nx;
  const Vec<T> x0 = splat(x[0]), xe = splat(x[nx - 1]);
  for (int64_t j = 0; j < n; j += 8) {
    const IndexMask m = first_lanes<double>(static_cast<uint32_t>(std::min<int64_t>(n - j, 8)));
    const Vec<T> t = sites8(m, site + j);
    const IndexMask inside = static_cast<IndexMask>(greater_equal(t, x0) & less(t, xe));
    if (m != 0xff || inside != 0xff) {
      for (int64_t i = j; i < std::min(n, j + 8); ++i) out[i] = static_cast<Out>(c = cell_from(x, nx, site[i], c));
      continue;
    }
    T lo = site[j], hi = site[j];
    for (int i = 1; i < 8; ++i) {
      lo = std::min(lo, site[j + i]);
      hi = std::max(hi, site[j + i]);
    }
    c = std::clamp<int64_t>(c, 1, nx - 1);
    if (!(x[c - 1] <= lo)) c = cell_from(x, nx, lo, c);
    if (c + kFar < nx - 1 && x[c + kFar] <= hi) {
      for (int i = 0; i < 8; ++i) out[j + i] = static_cast<Out>(c = cell_from(x, nx, site[j + i], c));
      continue;
    }
    Index8 count = index_splat(c);
    int64_t k = c;  // x[k] <= hi < x[nx-1] keeps k below nx-1
    for (; x[k] <= hi; ++k) count = index_increment(count, static_cast<IndexMask>(less_equal(splat(x[k]), t)));
    store_index(out + j, m, count);
    c = k;
  }
  return c;
}

// ---- a run of sites --------------------------------------------------------------------------

// Cells of n sites into out (int32_t or int64_t), by one method; the user-defined methods run
// their callback first (see zorp/df.h for the protocol).  Returns 0 or the callback's negative
// result.
template <typename T, typename Out>
int find_cells(Method method, const Partition<T>& P, int64_t n, const T* site, Out* out) {
  using namespace simd;
  if (n <= 0) return DF_STATUS_OK;
  const int64_t nx = P.nx;
  switch (method) {
    case Method::Uniform:
      for (int64_t j = 0; j < n; j += 8) {
        const IndexMask m = first_lanes<double>(static_cast<uint32_t>(std::min<int64_t>(n - j, 8)));
        store_index(out + j, m, uniform_cells8(P, sites8(m, site + j)));
      }
      return DF_STATUS_OK;
    case Method::Hybrid:
      hybrid_cells(P, n, site, out);
      return DF_STATUS_OK;
    case Method::QuasiUniform:
      for (int64_t j = 0; j < n; ++j) {
        const T t = site[j];
        const T u = (t - P.x[0]) * P.scale;
        const int64_t g = t >= P.x[0] ? (u < static_cast<T>(nx - 1) ? static_cast<int64_t>(u) : nx - 1) + 1 : 0;
        out[j] = static_cast<Out>(cell_from(P.x, nx, t, g));
      }
      return DF_STATUS_OK;
    case Method::Sorted: {
      const int64_t c = sorted_cells(P, n, site, out, P.start ? *P.start : 0);
      if (P.start) *P.start = c;
      return DF_STATUS_OK;
    }
    case Method::Peak: {
      const int64_t p = P.peak >= T(0) ? static_cast<int64_t>(std::min<T>(P.peak, static_cast<T>(nx))) : 0;
      for (int64_t j = 0; j < n; ++j) out[j] = static_cast<Out>(cell_from(P.x, nx, site[j], p + 1));
      return DF_STATUS_OK;
    }
    case Method::UserDef:
    case Method::UniUserDef: {
      if (P.cb) {
        if (!P.flags) return DF_ERROR_NULL_PTR;
        std::fill(P.flags, P.flags + n, 0);
        int64_t count = n;
        const int rc = P.cb(&count, site, out, P.flags, P.params);
        if (rc < 0) return rc;
        if (rc == kSearchAllDone) return DF_STATUS_OK;
      }
      for (int64_t j = 0; j < n; ++j) {
        if (P.cb && P.flags[j]) continue;
        const int64_t g = P.cb ? std::clamp<int64_t>(static_cast<int64_t>(out[j]), 0, nx) : 0;
        out[j] = static_cast<Out>(method == Method::UniUserDef ? uniform_cell(P, site[j]) : cell_from(P.x, nx, site[j], g));
      }
      return DF_STATUS_OK;
    }
  }
  return DF_STATUS_OK;
}

// ---- the choice of a method --------------------------------------------------------------------

// The method Search1D, interpolation and integration use for a task and the caller's hints, and
// the partition data it reads; DF_ERROR_BAD_SEARCH_HINT for a malformed data hint.
template <typename T>
int choose_method(const DFTask* t, int64_t sitehint, const T* datahint, SearchCallback<T> cb, Method& method,
                  Partition<T>& P) {
  const T* x = static_cast<const T*>(t->x);
  const int64_t nx = t->nx;
  P = Partition<T>{};
  P.nx = nx;
  P.x = x;
  if (cb) {
    method = t->xhint == DF_UNIFORM_PARTITION ? Method::UniUserDef : Method::UserDef;
  } else if (t->xhint == DF_QUASI_UNIFORM_PARTITION) {
    method = Method::QuasiUniform;
  } else if (t->xhint == DF_UNIFORM_PARTITION) {
    method = Method::Uniform;
  } else if (sitehint == DF_SORTED_DATA) {
    method = Method::Sorted;
  } else if (datahint) {
    if (datahint[1] != T(0) && datahint[1] != T(1)) return DF_ERROR_BAD_SEARCH_HINT;
    if (datahint[1] == T(1)) {
      if (!(datahint[4] >= T(0) && datahint[4] <= static_cast<T>(nx))) return DF_ERROR_BAD_SEARCH_HINT;
      method = Method::Peak;
      P.peak = datahint[4];
    } else {
      method = Method::Hybrid;
    }
  } else {
    method = Method::Hybrid;
  }
  if (method == Method::Uniform || method == Method::UniUserDef) P.scale = static_cast<T>(nx - 1) / (x[1] - x[0]);
  if (method == Method::QuasiUniform) P.scale = static_cast<T>(nx - 1) / (x[nx - 1] - x[0]);
  if (method == Method::Hybrid && t->buckets) {
    P.buckets = t->buckets;
    P.nbuckets = t->nbuckets;
    P.bucket_scale = sizeof(T) == 8 ? static_cast<T>(t->bucket_scale.d) : static_cast<T>(t->bucket_scale.s);
  }
  P.cb = cb;
  return DF_STATUS_OK;
}

// Sites given as the first and the last (site hint DF_UNIFORM_SITES): site j is
// first + j*step with step = (last - first)/(nsite - 1).
template <typename T>
struct UniformSites {
  T first = T(0), step = T(0);
  static UniformSites of(const T* ends, int64_t n) {
    return {ends[0], n > 1 ? (ends[1] - ends[0]) / static_cast<T>(n - 1) : T(0)};
  }
  T at(int64_t j) const { return first + static_cast<T>(j) * step; }
};

}  // namespace zorp::df
