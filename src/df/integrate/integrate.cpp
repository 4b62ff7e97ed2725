// Integration: the integral of every function of a task between pairs of limits.
//
// A pair (l, r) integrates from a = min(l, r) to b = max(l, r), negated when l > r.  The part of
// [a, b] left of x[0] integrates the first block continued (the step kinds: y[0]) or goes to the
// left callback, the part right of the partition likewise with the last block (y[nx-1]) or the
// right callback; the part inside is [P_i(h_i) - P_i(a - x_i)] + (whole blocks i+1..j-1) +
// P_j(b - x_j) over the blocks i and j of its ends (one block: P_i(b - x_i) - P_i(a - x_i)),
// P_m the antiderivative of block m vanishing at its left point.
//
// The whole blocks between the ends are summed directly, eight blocks per register, while that
// is cheap; once the cells summed directly for this call would pass the number of blocks (what
// one pass costs), the call builds per-function prefix sums of the whole-block integrals, in
// double-double (the sums of float tasks in double), and every later pair takes its whole-block
// part as one difference: a pair then costs its two searches, whatever it spans, and a call at
// most twice what the better of the two ways would have cost.  Pairs go in blocks of 128 (the
// cells of their left and right limits found a block at a time), all in the one part of a routine
// of the step sequence (common/steps.h).
#include <algorithm>
#include <cmath>
#include <limits>

#include "df/common/eval.h"
#include "df/common/launch.h"
#include "host/host.h"
#include "simd/complex.h"
#include "simd/exact.h"
#include "simd/index.h"

namespace zorp::df {
namespace {

template <typename T>
using IntegCallback = int (*)(int64_t*, const T*, const T*, T*, void*);

constexpr int64_t kBlockPairs = 128;

template <typename T>
struct Job {
  const DFTask* t;
  TaskView<T> v;
  Evaluation e;
  T x_first, x_last;  // the partition's ends (uniform: the two stored points)
  int64_t nblk;       // coefficient blocks per function: nx-1, nx for the knot-based quadratic
  const T* knots;     // knot-based quadratic: its nx+1 knots
  IntegCallback<T> cb[3];
  void* cbp[3];
  // Prefix sums of the whole-block integrals: function f's nblk+1 sums at f*(nblk+1), each
  // sum's high and low parts side by side (one cache line per lookup).
  simd::DD<double>* prefix;
  int64_t direct_cells;
};

// ---- blocks -----------------------------------------------------------------------------------
template <typename T>
T block_left(const Job<T>& J, int64_t m) {
  return J.e.kind == EvalKind::KnotQuadratic ? J.knots[m] : J.v.xi(m);
}
template <typename T>
T block_width(const Job<T>& J, int64_t m) {
  return J.e.kind == EvalKind::KnotQuadratic ? J.knots[m + 1] - J.knots[m] : J.v.hi(m);
}
template <typename T>
bool steps(const Job<T>& J) {
  return J.e.kind == EvalKind::StepRight || J.e.kind == EvalKind::StepLeft;
}
// The value of a step piece: y_m on [x_m, x_(m+1)) continuous from the right, y_(m+1) from the
// left.
template <typename T>
T step_value(const Job<T>& J, int64_t f, int64_t m) {
  return J.v.ybase(f)[(J.e.kind == EvalKind::StepLeft ? m + 1 : m) * J.v.ystride()];
}

// The antiderivative of block m of function f at offset u.
template <typename T>
T antiderivative(const Job<T>& J, int64_t f, int64_t m, T u) {
  if (steps(J)) return step_value(J, f, m) * u;
  const int p = J.e.order;
  const T* c = J.v.cf(f) + m * p;
  return poly_integral<T>(p, u, [&](int j) { return c[j]; });
}

// The block of a point t of [x[0], x[nx-1]] whose cell is k.
template <typename T>
int64_t block_at(const Job<T>& J, T t, int64_t k) {
  const int64_t nx = J.v.n;
  if (J.e.kind == EvalKind::KnotQuadratic) {
    k = std::clamp<int64_t>(k, 1, nx - 1);
    return t < J.knots[k] ? k - 1 : k;
  }
  return block_of_cell(k, nx);
}

// Sum of the whole-block integrals of blocks [m0, m1), eight blocks per register, in double for
// float tasks.
template <typename T>
double direct_sum(const Job<T>& J, int64_t f, int64_t m0, int64_t m1) {
  using namespace simd;
  const TaskView<T>& v = J.v;
  const int p = J.e.order;
  const Vec<T> zv = zero<Vec<T>>();
  __m512d acc = zero<__m512d>();
  for (int64_t m = m0; m < m1; m += 8) {
    const IndexMask mk = first_lanes<double>(static_cast<uint32_t>(std::min<int64_t>(m1 - m, 8)));
    const Index8 idx = iadd<double>(index_splat(m), index_iota());
    Vec<T> h;
    if (J.e.kind == EvalKind::KnotQuadratic) {
      h = sub(gather(mk, J.knots, iadd<double>(idx, index_splat(1)), zv), gather(mk, J.knots, idx, zv));
    } else if (v.uniform) {
      h = splat(v.h);
    } else {
      h = sub(gather(mk, v.x, iadd<double>(idx, index_splat(1)), zv), gather(mk, v.x, idx, zv));
    }
    Vec<T> w;
    if (steps(J)) {
      const Index8 at = index_mul(J.e.kind == EvalKind::StepLeft ? iadd<double>(idx, index_splat(1)) : idx, v.ystride());
      w = mul(gather(mk, v.ybase(f), at, zv), h);
    } else {
      const T* c = v.cf(f);
      const Index8 base = index_mul(idx, p);
      w = poly_integral<T>(p, h, [&](int j) { return gather(mk, c, iadd<double>(base, index_splat(j)), zv); });
    }
    w = zero_unless(static_cast<Mask<T>>(mk), w);
    if constexpr (sizeof(T) == 8) acc = add(acc, w);
    else acc = add(acc, widen_low(w));
  }
  return reduce_add(acc);
}

// Prefix sums of every function's whole blocks, compensated: a later difference of two sums is
// as accurate as the blocks between them summed directly.
template <typename T>
void build_prefix(Job<T>& J) {
  const int64_t nb = J.nblk;
  for (int64_t f = 0; f < J.v.ny; ++f) {
    simd::DD<double>* sums = J.prefix + f * (nb + 1);
    simd::DD<double> s{0.0, 0.0};
    sums[0] = s;
    for (int64_t m = 0; m < nb; ++m) {
      const double w = static_cast<double>(antiderivative(J, f, m, block_width(J, m)));
      const simd::DD<double> t = simd::two_sum(s.hi, w);
      s = {t.hi, s.lo + t.lo};
      sums[m + 1] = s;
    }
  }
}

// The integral over [a, b] of function f, a <= b, the cells of a and b given; user[w] holds the
// callbacks' integrals of the pair's part left of, right of and inside the partition.
template <typename T>
T integral(const Job<T>& J, int64_t f, T a, int64_t ka, T b, int64_t kb, bool use_prefix, T* const user[3]) {
  const int64_t nx = J.v.n;
  const int64_t last = J.nblk - 1;
  double sum = 0;
  // Left of the partition.
  if (a < J.x_first) {
    const T e = std::min(b, J.x_first);
    if (J.cb[0]) {
      sum += static_cast<double>(user[0][f]);
    } else if (steps(J)) {
      sum += static_cast<double>(J.v.ybase(f)[0] * (e - a));
    } else {
      const T x0 = block_left(J, 0);
      sum += static_cast<double>(antiderivative(J, f, 0, e - x0) - antiderivative(J, f, 0, a - x0));
    }
  }
  // Right of it.
  if (b > J.x_last) {
    const T s = std::max(a, J.x_last);
    if (J.cb[1]) {
      sum += static_cast<double>(user[1][f]);
    } else if (steps(J)) {
      sum += static_cast<double>(J.v.ybase(f)[(nx - 1) * J.v.ystride()] * (b - s));
    } else {
      const T xl = block_left(J, last);
      sum += static_cast<double>(antiderivative(J, f, last, b - xl) - antiderivative(J, f, last, s - xl));
    }
  }
  // Inside.
  const T ai = std::max(a, J.x_first), bi = std::min(b, J.x_last);
  if (ai < bi) {
    if (J.e.kind == EvalKind::User) {
      sum += static_cast<double>(user[2][f]);
    } else {
      const int64_t i = block_at(J, ai, a < J.x_first ? 1 : ka), j = block_at(J, bi, b > J.x_last ? nx - 1 : kb);
      const T li = block_left(J, i), lj = block_left(J, j);
      if (i == j) {
        sum += static_cast<double>(antiderivative(J, f, i, bi - li) - antiderivative(J, f, i, ai - li));
      } else {
        sum += static_cast<double>(antiderivative(J, f, i, block_width(J, i)) - antiderivative(J, f, i, ai - li));
        if (j > i + 1) {
          if (use_prefix) {
            const simd::DD<double>* sums = J.prefix + f * (J.nblk + 1);
            sum += (sums[j].hi - sums[i + 1].hi) + (sums[j].lo - sums[i + 1].lo);
          } else {
            sum += direct_sum(J, f, i + 1, j);
          }
        }
        sum += static_cast<double>(antiderivative(J, f, j, bi - lj));
      }
    }
  }
  return static_cast<T>(sum);
}

// The callbacks' parts of the pair [a, b] into user[0..2] (ny values each); 0 or the first
// negative callback status.
template <typename T>
int user_parts(const Job<T>& J, T a, T b, T* const user[3]) {
  int64_t one = 1;
  if (J.cb[0] && a < J.x_first) {
    const T e = std::min(b, J.x_first);
    if (const int rc = J.cb[0](&one, &a, &e, user[0], J.cbp[0]); rc < 0) return rc;
  }
  if (J.cb[1] && b > J.x_last) {
    const T s = std::max(a, J.x_last);
    if (const int rc = J.cb[1](&one, &s, &b, user[1], J.cbp[1]); rc < 0) return rc;
  }
  const T ai = std::max(a, J.x_first), bi = std::min(b, J.x_last);
  if (J.e.kind == EvalKind::User && ai < bi)
    if (const int rc = J.cb[2](&one, &ai, &bi, user[2], J.cbp[2]); rc < 0) return rc;
  return DF_STATUS_OK;
}

// The call: the checks in their order, then one part for all pairs (the limits held a block at
// a time, or all at once when the user search callback sees them all).  Integration takes no
// threading table, so its pool is never available.
template <typename T>
struct Integration : Split, Job<T> {
  DFTask* task;
  int64_t nlim, llimhint, rlimhint, rhint;
  const T *llim, *rlim, *ldatahint, *rdatahint;
  T* r;
  SearchCallback<T> search_cb;
  void* search_params;
  Method ml, mr;
  Partition<T> Pl, Pr;
  bool by_function = false;
  T *ls = nullptr, *rs = nullptr, *user_mem = nullptr;
  int64_t *lc = nullptr, *rc = nullptr;
  int32_t* flags = nullptr;
  T* knot_mem = nullptr;

  ~Integration() {
    if (this->prefix) host::deallocate(this->prefix);
  }

  int check() {
    Job<T>& J = *this;
    DFTask* t = task;
    if (const int e = take_task(J, t)) return e;
    if (J.e.kind == EvalKind::Invalid || J.e.kind == EvalKind::Lookup) return DF_ERROR_BAD_SPLINE_TYPE;
    if (const int e = choose_method(t, llimhint, ldatahint, search_cb, ml, Pl)) return e;
    if (const int e = choose_method(t, rlimhint, rdatahint, search_cb, mr, Pr)) return e;
    if (rhint != 0 && rhint != DF_RHINT_PAIR_FUNC && rhint != DF_RHINT_FUNC_PAIR && rhint != 128)
      return DF_ERROR_BAD_INTEGRATION_RHINT;
    by_function = rhint == DF_RHINT_FUNC_PAIR || rhint == 128;
    if (nlim < 0) return DF_ERROR_BAD_NLIM;
    // No pairs is an empty request, as no sites are for interpolation and search: it succeeds
    // before anything it would read (limits, results, the spline's data) is looked at.
    if (nlim == 0) return kNothingToDo;
    if (!llim) return DF_ERROR_BAD_LLIM;
    if (!rlim) return DF_ERROR_BAD_RLIM;
    if (!r) return DF_ERROR_BAD_R;
    return check_data(t, J.e.kind);
  }

  int plan() {
    Job<T>& J = *this;
    view_task(task, J.v);
    const int64_t nx = J.v.n;
    J.x_first = J.v.x[0];
    J.x_last = J.v.uniform ? J.v.x[1] : J.v.x[nx - 1];
    J.nblk = J.e.kind == EvalKind::KnotQuadratic ? nx : nx - 1;
    return DF_STATUS_OK;
  }

  // The knots, the limits of a block and their cells (or every limit and cell when a user
  // search callback sees them all), the callback's flags and results; the prefix sums come
  // later, if the pairs' spans ask for them.
  void carve(Carver& C) {
    const int64_t held = search_cb ? nlim : kBlockPairs;  // limits held at once
    knot_mem = C.scratch<T>(this->e.kind == EvalKind::KnotQuadratic ? this->v.n + 1 : 0);
    ls = C.scratch<T>(held);
    rs = C.scratch<T>(held);
    lc = C.scratch<int64_t>(held);
    rc = C.scratch<int64_t>(held);
    flags = C.scratch<int32_t>(search_cb ? nlim : 0);
    // Null without callbacks: the pairs ask the callbacks for their parts only when it is set.
    const bool callbacks = this->cb[0] || this->cb[1] || this->cb[2];
    user_mem = callbacks ? C.scratch<T>(3 * this->v.ny) : nullptr;
  }

  int start() {
    Job<T>& J = *this;
    if (J.e.kind == EvalKind::KnotQuadratic) {
      for (int64_t j = 0; j <= J.v.n; ++j) knot_mem[j] = quadratic_knot(J.v, task->ic_type, static_cast<const T*>(task->ic), j);
      J.knots = knot_mem;
    }
    return DF_STATUS_OK;
  }

  int part(int, int) { return all_pairs(); }
  int finish() { return DF_STATUS_OK; }

  // The cells of limits [p0, p0+n) into the held arrays at their offset o.
  int locate(const UniformSites<T>& lus, const UniformSites<T>& rus, int64_t p0, int64_t n, int64_t o) {
    const bool lu = llimhint == DF_UNIFORM_SITES, ru = rlimhint == DF_UNIFORM_SITES;
    for (int64_t q = 0; q < n; ++q) {
      ls[o + q] = lu ? lus.at(p0 + q) : llim[p0 + q];
      rs[o + q] = ru ? rus.at(p0 + q) : rlim[p0 + q];
    }
    if (const int s = find_cells(ml, Pl, n, ls + o, lc + o)) return s;
    return find_cells(mr, Pr, n, rs + o, rc + o);
  }

  int all_pairs() {
    Job<T>& J = *this;
    const int64_t nx = J.v.n, ny = J.v.ny;
    // Locals, not members: the results written through r could otherwise alias them, and every
    // pair would read them again.
    const T *const ls = this->ls, *const rs = this->rs;
    const int64_t *const lc = this->lc, *const rc = this->rc;
    T* const r = this->r;
    const int64_t nlim = this->nlim;
    const bool by_function = this->by_function;
    T* const user[3] = {user_mem, user_mem ? user_mem + ny : nullptr, user_mem ? user_mem + 2 * ny : nullptr};
    const UniformSites<T> lus = llimhint == DF_UNIFORM_SITES ? UniformSites<T>::of(llim, nlim) : UniformSites<T>{},
                          rus = rlimhint == DF_UNIFORM_SITES ? UniformSites<T>::of(rlim, nlim) : UniformSites<T>{};
    Pl.flags = Pr.flags = flags;
    Pl.params = Pr.params = search_params;
    int64_t lstart = 0, rstart = 0;
    Pl.start = &lstart;
    Pr.start = &rstart;
    int status = search_cb ? locate(lus, rus, 0, nlim, 0) : DF_STATUS_OK;
    for (int64_t p0 = 0; p0 < nlim && status == DF_STATUS_OK; p0 += kBlockPairs) {
      const int64_t n = std::min(kBlockPairs, nlim - p0), o = search_cb ? p0 : 0;
      if (!search_cb && (status = locate(lus, rus, p0, n, 0)) != DF_STATUS_OK) break;
      for (int64_t q = 0; q < n && status == DF_STATUS_OK; ++q) {
        const T l = ls[o + q], rr = rs[o + q];
        const bool swap = l > rr;
        const T a = swap ? rr : l, b = swap ? l : rr;
        int64_t ka = swap ? rc[o + q] : lc[o + q], kb = swap ? lc[o + q] : rc[o + q];
        ka = std::clamp<int64_t>(ka, 0, nx);
        kb = std::clamp<int64_t>(kb, 0, nx);
        // Whole blocks between the ends: directly while the cells summed so far and these stay
        // below one pass over the blocks, else from the prefix sums (built once).
        const int64_t span = std::max<int64_t>(0, std::min(kb, nx - 1) - std::max<int64_t>(ka, 1) - 1);
        bool use_prefix = J.prefix != nullptr;
        if (!use_prefix && J.e.kind != EvalKind::User && span > 8 && J.direct_cells + span > J.nblk) {
          J.prefix = static_cast<simd::DD<double>*>(
              host::allocate(static_cast<size_t>(ny * (J.nblk + 1)) * sizeof(simd::DD<double>)));
          if (!J.prefix) return DF_ERROR_MEM_FAILURE;
          build_prefix(J);
          use_prefix = true;
        }
        if (!use_prefix) J.direct_cells += span;
        const bool nan = !(l == l && rr == rr);
        if (!nan && user_mem && (status = user_parts(J, a, b, user)) != DF_STATUS_OK) break;
        for (int64_t f = 0; f < ny; ++f) {
          T v = nan ? std::numeric_limits<T>::quiet_NaN() : l == rr ? T(0) : integral(J, f, a, ka, b, kb, use_prefix, user);
          r[by_function ? f * nlim + p0 + q : (p0 + q) * ny + f] = swap ? -v : v;
        }
      }
    }
    return status;
  }
};

template <typename T>
int integrate(DFTask* t, int64_t nlim, const T* llim, int64_t llimhint, const T* rlim, int64_t rlimhint,
              const T* ldatahint, const T* rdatahint, T* r, int64_t rhint, IntegCallback<T> le, void* lep,
              IntegCallback<T> re, void* rep, IntegCallback<T> ic, void* icp, SearchCallback<T> search_cb,
              void* search_params) {
  Integration<T> I{};
  I.task = t;
  I.nlim = nlim;
  I.llim = llim;
  I.llimhint = llimhint;
  I.rlim = rlim;
  I.rlimhint = rlimhint;
  I.ldatahint = ldatahint;
  I.rdatahint = rdatahint;
  I.r = r;
  I.rhint = rhint;
  take_callbacks(I, le, lep, re, rep, ic, icp, search_cb, search_params);
  return run_steps(I);
}

}  // namespace
}  // namespace zorp::df

extern "C" {

ZORP_API int zorp_df_kernel_dDFIntegrate1D(DFTask* task, int64_t, int64_t nlim, const double* llim, int64_t llimhint,
                                           const double* rlim, int64_t rlimhint, const double* ldatahint,
                                           const double* rdatahint, double* r, int64_t rhint, zorp_df_dinteg_cb le_cb,
                                           void* le_params, zorp_df_dinteg_cb re_cb, void* re_params,
                                           zorp_df_dinteg_cb i_cb, void* i_params, zorp_df_dsearch_cb search_cb,
                                           void* search_params) {
  return zorp::df::integrate<double>(task, nlim, llim, llimhint, rlim, rlimhint, ldatahint, rdatahint, r, rhint, le_cb,
                                     le_params, re_cb, re_params, i_cb, i_params, search_cb, search_params);
}
ZORP_API int zorp_df_kernel_sDFIntegrate1D(DFTask* task, int64_t, int64_t nlim, const float* llim, int64_t llimhint,
                                           const float* rlim, int64_t rlimhint, const float* ldatahint,
                                           const float* rdatahint, float* r, int64_t rhint, zorp_df_sinteg_cb le_cb,
                                           void* le_params, zorp_df_sinteg_cb re_cb, void* re_params,
                                           zorp_df_sinteg_cb i_cb, void* i_params, zorp_df_ssearch_cb search_cb,
                                           void* search_params) {
  return zorp::df::integrate<float>(task, nlim, llim, llimhint, rlim, rlimhint, ldatahint, rdatahint, r, rhint, le_cb,
                                    le_params, re_cb, re_params, i_cb, i_params, search_cb, search_params);
}

}  // extern "C"
