// Interpolation: values and derivatives of every function of a task at a set of sites, and the
// cells of the sites.
//
// Sites go in blocks of 64: the block's cells come from the search (or from the caller, or from
// the user search callback run once over all sites), then every function is evaluated eight
// sites per register (coefficients gathered by block) into a per-thread scratch and copied
// into r in the arrangement the result hint names (straight into r when there is one result
// per site).  Large requests hand their blocks to the host's launcher; each block is computed
// the same way on any thread, so threaded results equal unthreaded ones bit for bit.  One site
// with at most four derivative orders and one function, no cells and no search callback takes
// a direct path without scratch, through the same polynomial routine on scalars.  The call is a
// routine of the step sequence (common/steps.h): one part per block of sites.
//
// Order-0 kinds read the function values: the step kinds by the rules of zorp/df.h, the look-up
// kind only at partition points (on a uniform partition within 2^-12 of x[0] + j*h in single
// precision, within 2^-40 * max(1, |x[0] + j*h|) in double); a site that matches none makes the
// call return DF_ERROR_SITE_NOT_IN_PARTITION.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "df/common/eval.h"
#include "df/common/launch.h"
#include "simd/index.h"

namespace zorp::df {
namespace {

template <typename T>
using InterpCallback = int (*)(int64_t*, int64_t*, const T*, T*, void*);

constexpr int64_t kBlockSites = 64;
// Sites * functions from which the blocks go to the host's threads: at 16,384 random sites two
// threads already took 0.77x one's time on a spline of 1,000 points and 0.53x on 1e6 points
// (bench_df_eval's interpolate_threads, ZORP_CORE_NUM_THREADS=2 against 1), and at 4,096 the
// start of a thread would be a tenth of the call.
constexpr int64_t kThreadWork = 16384;

// What a block reads of the call, set by the checks and the plan.
template <typename T>
struct Job {
  const DFTask* t;
  TaskView<T> v;
  Evaluation e;
  T x_last;  // the right end point as the search compares it
  int64_t nsite;
  const T* site;  // null: uniform sites
  UniformSites<T> usites;
  Method method;
  Partition<T> P;
  bool values, write_cells, cells_given;
  const int64_t* user_cells;  // cells found through the user search callback, or null
  int nd;
  const int32_t* orders;  // the nd requested derivative orders, rising
  T* r;
  int64_t rhint;
  void* cell;
  bool wide;
  InterpCallback<T> cb[3];  // left, right, interior
  void* cbp[3];
  int status;  // last negative status of any block
};

// ---- results ------------------------------------------------------------------------------------
template <typename T>
inline int64_t result_index(const Job<T>& J, int64_t j, int64_t f, int64_t k) {
  const int64_t ny = J.v.ny, nd = J.nd, ns = J.nsite;
  switch (J.rhint) {
    case DF_RHINT_FUNC_SITE_DER: return (f * ns + j) * nd + k;
    case DF_RHINT_FUNC_DER_SITE: return (f * nd + k) * ns + j;
    case DF_RHINT_DER_FUNC_SITE: return (k * ny + f) * ns + j;
    case DF_RHINT_DER_SITE_FUNC: return (k * ns + j) * ny + f;
    default: return (j * ny + f) * nd + k;
  }
}

inline int64_t read_cell(const void* cells, bool wide, int64_t j) {
  return wide ? static_cast<const int64_t*>(cells)[j] : static_cast<const int32_t*>(cells)[j];
}

// ---- order-0 kinds ----------------------------------------------------------------------------
// The index of the function value a site of cell k takes, or -1 for a look-up miss.
template <typename T>
int64_t value_index(const Job<T>& J, T t, int64_t k) {
  const TaskView<T>& v = J.v;
  const int64_t nx = v.n;
  switch (J.e.kind) {
    case EvalKind::StepRight:
      if (k == 0) return 0;
      if (k >= nx - 1 && t == J.x_last) return nx - 1;
      return k - 1;
    case EvalKind::StepLeft:
      if (k == 0) return 0;
      if (k >= nx) return nx - 1;
      return t == v.xi(k - 1) ? k - 1 : k;
    default: {  // look-up
      if (k == 0) return -1;
      for (int64_t j : {k - 1, std::min(k, nx - 1)}) {
        const T xj = v.xi(j);
        if (!v.uniform) {
          if (t == xj) return j;
        } else {
          const T tol = sizeof(T) == 4 ? T(1.0 / 4096) : T(0x1p-40) * std::max(T(1), std::fabs(xj));
          if (std::fabs(t - xj) <= tol) return j;
        }
      }
      return t == J.x_last ? nx - 1 : -1;
    }
  }
}

// ---- one site, any kind (the direct path and the kinds evaluated site by site) -----------------
// Results of function f at site t of cell k into out[0..nd); false for a look-up miss.
template <typename T>
bool eval_site(const Job<T>& J, int64_t f, T t, int64_t k, T* out) {
  const TaskView<T>& v = J.v;
  const int64_t nx = v.n;
  if (J.e.kind == EvalKind::Lookup || J.e.kind == EvalKind::StepRight || J.e.kind == EvalKind::StepLeft) {
    const int64_t j = value_index(J, t, k);
    if (j < 0) return false;
    out[0] = v.ybase(f)[j * v.ystride()];
    return true;
  }
  int64_t b;
  T left;
  const int p = J.e.order;
  if (J.e.kind == EvalKind::KnotQuadratic) {
    const T* ic = static_cast<const T*>(J.t->ic);
    b = k == 0 ? 0 : k >= nx ? nx - 1 : (t < quadratic_knot(v, J.t->ic_type, ic, k) ? k - 1 : k);
    left = quadratic_knot(v, J.t->ic_type, ic, b);
  } else {
    b = block_of_cell(k, nx);
    left = block_left(v, b);
  }
  const T* c = v.cf(f) + b * p;
  const T u = t - left;
  for (int q = 0; q < J.nd; ++q) out[q] = poly_derivative<T>(p, J.orders[q], u, [&](int j) { return c[j]; });
  return true;
}

// ---- blocks -----------------------------------------------------------------------------------
// One block's sites, cells and results, one copy per thread.
template <typename T>
struct Scratch {
  T* sites;         // kBlockSites
  int64_t* cells;   // kBlockSites
  T* res;           // nd * kBlockSites
  T* cbres;         // ny * nd, for the user callbacks
};

// The polynomial kinds, eight sites per register, into res[q*64 + j] or straight into r.
template <typename T>
void eval_poly_block(const Job<T>& J, int64_t f, int64_t j0, int64_t n, const Scratch<T>& s, bool direct) {
  using namespace simd;
  const TaskView<T>& v = J.v;
  const int p = J.e.order;
  const int64_t nx = v.n;
  const T* c = v.cf(f);
  const Vec<T> zv = zero<Vec<T>>();
  for (int64_t j = 0; j < n; j += 8) {
    const IndexMask m = first_lanes<double>(static_cast<uint32_t>(std::min<int64_t>(n - j, 8)));
    const Index8 b = index_clamp(index_sub(load_index(m, s.cells + j), index_splat(1)), 0, nx - 2);
    const Vec<T> t = load8(m, s.sites + j, zv);
    const Vec<T> left = v.uniform ? add(splat(v.x0), mul(index_to_value<T>(b), splat(v.h))) : gather(m, v.x, b, zv);
    const Vec<T> u = sub(t, left);
    const Index8 base = index_mul(b, p);
    auto coef = [&](int k) { return gather(m, c, iadd<double>(base, index_splat(k)), zv); };
    for (int q = 0; q < J.nd; ++q) {
      const Vec<T> val = poly_derivative<T>(p, J.orders[q], u, coef);
      store8(direct ? J.r + j0 + j : s.res + q * kBlockSites + j, m, val);
    }
  }
}

template <typename T>
void block(Job<T>& J, int item, const Scratch<T>& s) {
  const TaskView<T>& v = J.v;
  const int64_t nx = v.n, ny = v.ny;
  const int64_t j0 = static_cast<int64_t>(item) * kBlockSites, n = std::min(kBlockSites, J.nsite - j0);
  for (int64_t j = 0; j < n; ++j) s.sites[j] = J.site ? J.site[j0 + j] : J.usites.at(j0 + j);
  if (J.cells_given || J.user_cells) {
    for (int64_t j = 0; j < n; ++j)
      s.cells[j] = std::clamp<int64_t>(J.cells_given ? read_cell(J.cell, J.wide, j0 + j) : J.user_cells[j0 + j], 0, nx);
  } else {
    Partition<T> P = J.P;
    int64_t start = 0;
    P.start = &start;
    find_cells(J.method, P, n, s.sites, s.cells);
  }
  if (J.write_cells) {
    for (int64_t j = 0; j < n; ++j) {
      if (J.wide) static_cast<int64_t*>(J.cell)[j0 + j] = s.cells[j];
      else static_cast<int32_t*>(J.cell)[j0 + j] = static_cast<int32_t>(s.cells[j]);
    }
  }
  if (!J.values || J.nd == 0) return;
  const bool poly = J.e.kind == EvalKind::Poly;
  const bool direct = poly && ny * J.nd == 1;  // every arrangement is then r[j]
  for (int64_t f = 0; f < ny && J.e.kind != EvalKind::User; ++f) {
    if (poly) {
      eval_poly_block(J, f, j0, n, s, direct);
    } else {
      for (int64_t j = 0; j < n; ++j) {
        T one[1];
        T* out = J.e.kind == EvalKind::KnotQuadratic ? s.cbres : one;
        if (!eval_site(J, f, s.sites[j], s.cells[j], out)) {
          // A site with no value gets NaN, not whatever the scratch held: the call fails, but
          // the other sites' results stand and this one must not pass for a number.
          __atomic_store_n(&J.status, DF_ERROR_SITE_NOT_IN_PARTITION, __ATOMIC_RELAXED);
          for (int q = 0; q < J.nd; ++q) s.res[q * kBlockSites + j] = std::numeric_limits<T>::quiet_NaN();
          continue;
        }
        for (int q = 0; q < J.nd; ++q) s.res[q * kBlockSites + j] = out[q];
      }
    }
    if (!direct)
      for (int q = 0; q < J.nd; ++q)
        for (int64_t j = 0; j < n; ++j) J.r[result_index(J, j0 + j, f, q)] = s.res[q * kBlockSites + j];
  }
  // Sites the user callbacks take over: left of the partition, right of it, and every site of
  // a kind the library cannot evaluate.
  for (int64_t j = 0; j < n; ++j) {
    const int64_t k = s.cells[j];
    const int which = k == 0 ? 0 : k == nx ? 1 : 2;
    if (!J.cb[which] || (which == 2 && J.e.kind != EvalKind::User)) continue;
    int64_t one = 1, cellk = k;
    const int rc = J.cb[which](&one, &cellk, &s.sites[j], s.cbres, J.cbp[which]);
    if (rc < 0) {
      __atomic_store_n(&J.status, rc, __ATOMIC_RELAXED);
      return;
    }
    for (int64_t f = 0; f < ny; ++f)
      for (int q = 0; q < J.nd; ++q) J.r[result_index(J, j0 + j, f, q)] = s.cbres[f * J.nd + q];
  }
}

// The call: the checks in their order, one part per block of sites (the direct path is the one
// part of a call that carves nothing), the user search callback over all sites in start.
template <typename T>
struct Interpolation : Split, Job<T> {
  DFTask* task;
  int64_t type, sitehint, ndorder, nd = 0;
  const T* site_in;
  const int32_t* dorder;
  const T* datahint;
  SearchCallback<T> search_cb;
  void* search_params;
  bool direct = false;
  int32_t few[4];
  int64_t nblocks = 0;
  int32_t* orders_mem = nullptr;
  T* usite_mem = nullptr;
  int64_t* ucell_mem = nullptr;
  int32_t* flag_mem = nullptr;
  Scratch<T>* scratch = nullptr;  // one per thread

  int check() {
    Job<T>& J = *this;
    DFTask* t = task;
    if (const int e = take_task(J, t)) return e;
    if (J.e.kind == EvalKind::Invalid) return DF_ERROR_BAD_SPLINE_TYPE;
    if (const int rc = choose_method(t, sitehint, datahint, search_cb, J.method, J.P)) return rc;
    if (J.rhint == 0) J.rhint = DF_RHINT_SITE_FUNC_DER;
    const int64_t rhint = J.rhint;
    if (rhint != DF_RHINT_SITE_FUNC_DER && rhint != DF_RHINT_FUNC_SITE_DER && rhint != DF_RHINT_FUNC_DER_SITE &&
        rhint != DF_RHINT_DER_FUNC_SITE && rhint != DF_RHINT_DER_SITE_FUNC)
      return DF_ERROR_BAD_RHINT;
    J.values = (type & DF_INTERP) != 0;
    J.cells_given = (type & DF_CELL_GIVEN) != 0;
    J.write_cells = (type & DF_CELL) != 0 && !J.cells_given;
    if (J.nsite < 0) return DF_ERROR_BAD_NSITE;
    if (J.values) {
      if (ndorder < 1) return DF_ERROR_BAD_NDORDER;
      if (!dorder) return DF_ERROR_BAD_DORDER;
    }
    // The requested orders, rising; order-0 kinds give values only.
    if (J.values)
      for (int64_t k = 0; k < ndorder; ++k) nd += dorder[k] != 0;
    const bool order0 = J.e.kind == EvalKind::Lookup || J.e.kind == EvalKind::StepRight || J.e.kind == EvalKind::StepLeft;
    if (J.values && order0)
      for (int64_t k = 1; k < ndorder; ++k)
        if (dorder[k]) return DF_ERROR_BAD_DORDER;
    if (nd == 0) J.values = false;
    if (J.nsite == 0 || !(J.values || J.write_cells)) return kNothingToDo;
    if (!site_in) return DF_ERROR_BAD_SITE;
    if ((J.write_cells || J.cells_given) && !J.cell) return DF_ERROR_BAD_CELL;
    if (J.values && !J.r) return DF_ERROR_BAD_R;
    if (J.values)
      if (const int rc = check_data(t, J.e.kind)) return rc;
    return DF_STATUS_OK;
  }

  int plan() {
    Job<T>& J = *this;
    view_task(task, J.v);
    J.x_last = J.v.uniform ? J.v.x[1] : J.v.x[J.v.n - 1];
    J.site = sitehint == DF_UNIFORM_SITES ? nullptr : site_in;
    if (!J.site) J.usites = UniformSites<T>::of(site_in, J.nsite);
    J.nd = static_cast<int>(std::min<int64_t>(nd, 1 << 30));
    J.wide = task->index_width != 0;
    // One site, straight: no scratch, the same routines on scalars.
    direct = J.nsite == 1 && J.values && !J.write_cells && !J.cells_given && J.site && nd <= 4 && J.v.ny == 1 &&
             !search_cb;
    if (direct) {
      for (int64_t k = 0, q = 0; k < ndorder && J.values; ++k)
        if (dorder[k]) few[q++] = static_cast<int32_t>(k);
      J.orders = few;
      return DF_STATUS_OK;
    }
    nblocks = (J.nsite + kBlockSites - 1) / kBlockSites;
    parts = static_cast<int>(nblocks);
    threaded = nblocks > 1 && J.nsite * std::max<int64_t>(J.v.ny, 1) >= kThreadWork;
    return DF_STATUS_OK;
  }

  // The requested orders, the user search's sites, cells and flags, and per thread one block's
  // sites, cells and results.
  void carve(Carver& C) {
    if (direct) return;
    const int64_t ns = this->nsite, ny = this->v.ny;
    orders_mem = C.take<int32_t>(nd + 1);
    usite_mem = C.scratch<T>(search_cb && !this->site ? ns : 0);
    ucell_mem = C.scratch<int64_t>(search_cb ? ns : 0);
    flag_mem = C.scratch<int32_t>(search_cb ? ns : 0);
    scratch = C.take<Scratch<T>>(threads);
    for (int k = 0; k < threads; ++k) {
      // A block's cells first: the sites, results and callback results follow in one piece.
      int64_t* cells = C.scratch<int64_t>(kBlockSites);
      T* sites = C.scratch<T>(kBlockSites * (1 + nd) + ny * nd);
      if (scratch) scratch[k] = {sites, cells, sites + kBlockSites, sites + kBlockSites + nd * kBlockSites};
    }
  }

  int start() {
    Job<T>& J = *this;
    if (direct) return DF_STATUS_OK;
    for (int64_t k = 0, q = 0; k < ndorder && J.values; ++k)
      if (dorder[k]) orders_mem[q++] = static_cast<int32_t>(k);
    J.orders = orders_mem;
    if (!search_cb || J.cells_given) return DF_STATUS_OK;
    // The callback sees every site once, with 64-bit cells.
    const T* all = J.site;
    if (!all) {
      for (int64_t j = 0; j < J.nsite; ++j) usite_mem[j] = J.usites.at(j);
      all = usite_mem;
    }
    Partition<T> P = J.P;
    P.flags = flag_mem;
    P.params = search_params;
    const int rc = find_cells(J.method, P, J.nsite, all, ucell_mem);
    J.user_cells = ucell_mem;
    return rc;
  }

  int part(int item, int thread) {
    if (direct) return direct_site();
    block(*this, item, scratch[thread]);
    return DF_STATUS_OK;
  }

  int finish() { return this->status; }

  int direct_site() {
    Job<T>& J = *this;
    int64_t k = 0;
    find_cells(J.method, J.P, 1, site_in, &k);
    T out[4];
    const int which = k == 0 ? 0 : k == J.v.n ? 1 : 2;
    if (J.cb[which] && (which < 2 || J.e.kind == EvalKind::User)) {
      int64_t one = 1;
      const int rc = J.cb[which](&one, &k, site_in, out, J.cbp[which]);
      if (rc < 0) return rc;
    } else if (!eval_site(J, 0, site_in[0], k, out)) {
      return DF_ERROR_SITE_NOT_IN_PARTITION;
    }
    for (int q = 0; q < J.nd; ++q) J.r[q] = out[q];
    return DF_STATUS_OK;
  }
};

template <typename T>
int interpolate(DFTask* t, int64_t type, int64_t nsite, const T* site, int64_t sitehint, int64_t ndorder,
                const int32_t* dorder, const T* datahint, T* r, int64_t rhint, void* cell, InterpCallback<T> le,
                void* lep, InterpCallback<T> re, void* rep, InterpCallback<T> ic, void* icp,
                SearchCallback<T> search_cb, void* search_params, void** threading) {
  Interpolation<T> I{};
  I.pool.table = threading;
  I.task = t;
  I.type = type;
  I.nsite = nsite;
  I.site_in = site;
  I.sitehint = sitehint;
  I.ndorder = ndorder;
  I.dorder = dorder;
  I.datahint = datahint;
  I.r = r;
  I.rhint = rhint;
  I.cell = cell;
  take_callbacks(I, le, lep, re, rep, ic, icp, search_cb, search_params);
  return run_steps(I);
}

}  // namespace
}  // namespace zorp::df

extern "C" {

ZORP_API int zorp_df_kernel_dDFInterpolate1D(DFTask* task, int64_t type, int64_t, int64_t nsite, const double* site,
                                             int64_t sitehint, int64_t ndorder, const int32_t* dorder,
                                             const double* datahint, double* r, int64_t rhint, void* cell,
                                             zorp_df_dinterp_cb le_cb, void* le_params, zorp_df_dinterp_cb re_cb,
                                             void* re_params, zorp_df_dinterp_cb i_cb, void* i_params,
                                             zorp_df_dsearch_cb search_cb, void* search_params, void** threading) {
  return zorp::df::interpolate<double>(task, type, nsite, site, sitehint, ndorder, dorder, datahint, r, rhint, cell,
                                       le_cb, le_params, re_cb, re_params, i_cb, i_params, search_cb, search_params,
                                       threading);
}
ZORP_API int zorp_df_kernel_sDFInterpolate1D(DFTask* task, int64_t type, int64_t, int64_t nsite, const float* site,
                                             int64_t sitehint, int64_t ndorder, const int32_t* dorder,
                                             const float* datahint, float* r, int64_t rhint, void* cell,
                                             zorp_df_sinterp_cb le_cb, void* le_params, zorp_df_sinterp_cb re_cb,
                                             void* re_params, zorp_df_sinterp_cb i_cb, void* i_params,
                                             zorp_df_ssearch_cb search_cb, void* search_params, void** threading) {
  return zorp::df::interpolate<float>(task, type, nsite, site, sitehint, ndorder, dorder, datahint, r, rhint, cell,
                                      le_cb, le_params, re_cb, re_params, i_cb, i_params, search_cb, search_params,
                                      threading);
}

}  // extern "C"
