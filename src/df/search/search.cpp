// Cell search exports: Search1D, which chooses the method from the task's and the caller's
// hints, and every method by itself in four forms (32-bit cells, 64-bit cells, 64-bit cells
// for nx below 2^31, and a flag word).  The methods live in df/common/search.h, shared with
// interpolation and integration.
#include "df/common/search.h"

#include "df/common/launch.h"

namespace zorp::df {
namespace {

template <typename T>
Partition<T> partition_of(int64_t nx, const T* x, T scale, int64_t* start, T bucket_scale, const int64_t* buckets,
                          T peak, SearchCallback<T> cb, void* params, int32_t* flag) {
  Partition<T> P{};
  P.nx = nx;
  P.x = x;
  P.scale = scale;
  P.start = start;
  P.bucket_scale = bucket_scale;
  P.buckets = buckets;
  P.peak = peak;
  P.cb = cb;
  P.params = params;
  P.flags = flag;
  return P;
}

// The method routines do not check what the host has checked before calling them; they refuse
// only what would make them read or write through a null pointer.
template <typename T, typename Out>
int by_method(Method m, const Partition<T>& P, int64_t nsite, const T* site, Out* cell) {
  if (nsite <= 0) return DF_STATUS_OK;
  if (!P.x || !site || !cell || P.nx < 2) return DF_ERROR_NULL_PTR;
  return find_cells(m, P, nsite, site, cell);
}

// Search1D as a routine of the step sequence (common/steps.h): one part, in the calling thread.
// Uniform sites are written out (the user callback and the methods take a site array), and the
// callback's flags need one word per site; a call that needs neither allocates nothing.
template <typename T>
struct Search : Split {
  DFTask* t;
  int64_t nsite, sitehint;
  const T *site, *datahint;
  void* cell;
  SearchCallback<T> cb;
  void* params;
  Method m;
  Partition<T> P;
  T* own = nullptr;
  int32_t* flags = nullptr;

  int check() {
    if (!t) return DF_ERROR_NULL_TASK;
    if (!t->x) return DF_ERROR_BAD_X;
    if (const int rc = choose_method(t, sitehint, datahint, cb, m, P)) return rc;
    if (nsite < 0) return DF_ERROR_BAD_NSITE;
    if (nsite == 0) return kNothingToDo;
    if (!site) return DF_ERROR_BAD_SITE;
    if (!cell) return DF_ERROR_BAD_CELL;
    return DF_STATUS_OK;
  }
  int plan() { return DF_STATUS_OK; }
  void carve(Carver& C) {
    own = sitehint == DF_UNIFORM_SITES ? C.scratch<T>(nsite) : nullptr;
    flags = cb ? C.scratch<int32_t>(nsite) : nullptr;
  }
  int start() {
    if (sitehint == DF_UNIFORM_SITES) {
      const UniformSites<T> u = UniformSites<T>::of(site, nsite);
      for (int64_t j = 0; j < nsite; ++j) own[j] = u.at(j);
      site = own;
    }
    P.flags = flags;
    P.params = params;
    return DF_STATUS_OK;
  }
  int part(int, int) {
    int64_t start = 0;
    P.start = &start;
    return t->index_width ? find_cells(m, P, nsite, site, static_cast<int64_t*>(cell))
                          : find_cells(m, P, nsite, site, static_cast<int32_t*>(cell));
  }
  int finish() { return DF_STATUS_OK; }
};

template <typename T>
int search(DFTask* t, int64_t nsite, const T* site, int64_t sitehint, const T* datahint, void* cell,
           SearchCallback<T> cb, void* params) {
  Search<T> S{};
  S.t = t;
  S.nsite = nsite;
  S.site = site;
  S.sitehint = sitehint;
  S.datahint = datahint;
  S.cell = cell;
  S.cb = cb;
  S.params = params;
  return run_steps(S);
}

}  // namespace
}  // namespace zorp::df

using zorp::df::Method;

extern "C" {

ZORP_API int zorp_df_kernel_dDFSearch1D(DFTask* task, int64_t, int64_t nsite, const double* site, int64_t sitehint,
                                        const double* datahint, void* cell, zorp_df_dsearch_cb cb, void* params,
                                        void**) {
  return zorp::df::search<double>(task, nsite, site, sitehint, datahint, cell, cb, params);
}
ZORP_API int zorp_df_kernel_sDFSearch1D(DFTask* task, int64_t, int64_t nsite, const float* site, int64_t sitehint,
                                        const float* datahint, void* cell, zorp_df_ssearch_cb cb, void* params,
                                        void**) {
  return zorp::df::search<float>(task, nsite, site, sitehint, datahint, cell, cb, params);
}

#define ZORP_DF_SEARCH_PARTITION \
  zorp::df::partition_of(nx, x, scale, start, bucket_scale, buckets, peak, cb, params, flag)
#define ZORP_DF_SEARCH_DEFINE(p, T, Name, M)                                                                      \
  ZORP_API int zorp_df_kernel_##p##DF##Name##Search1D32(ZORP_DF_SEARCH_ARGS(T, p), int32_t* cell) {               \
    return zorp::df::by_method(M, ZORP_DF_SEARCH_PARTITION, nsite, site, cell);                                  \
  }                                                                                                             \
  ZORP_API int zorp_df_kernel_##p##DF##Name##Search1D64(ZORP_DF_SEARCH_ARGS(T, p), int64_t* cell) {               \
    return zorp::df::by_method(M, ZORP_DF_SEARCH_PARTITION, nsite, site, cell);                                  \
  }                                                                                                             \
  ZORP_API int zorp_df_kernel_##p##DF##Name##Search1D64Pack(ZORP_DF_SEARCH_ARGS(T, p), int64_t* cell) {           \
    return zorp::df::by_method(M, ZORP_DF_SEARCH_PARTITION, nsite, site, cell);                                  \
  }                                                                                                             \
  ZORP_API int zorp_df_kernel_##p##DF##Name##Search1D(ZORP_DF_SEARCH_ARGS(T, p), void* cell, uint32_t flags) {   \
    if (!(flags & DF_SEARCH_WRITE_CELLS)) return DF_STATUS_OK;                                                  \
    if (flags & DF_SEARCH_64BIT_CELLS)                                                                          \
      return zorp::df::by_method(M, ZORP_DF_SEARCH_PARTITION, nsite, site, static_cast<int64_t*>(cell));         \
    return zorp::df::by_method(M, ZORP_DF_SEARCH_PARTITION, nsite, site, static_cast<int32_t*>(cell));           \
  }
#define ZORP_DF_SEARCH_BOTH(Name, M) \
  ZORP_DF_SEARCH_DEFINE(s, float, Name, M) ZORP_DF_SEARCH_DEFINE(d, double, Name, M)

ZORP_DF_SEARCH_BOTH(Uniform, Method::Uniform)
ZORP_DF_SEARCH_BOTH(QuasiUniform, Method::QuasiUniform)
ZORP_DF_SEARCH_BOTH(Sorted, Method::Sorted)
ZORP_DF_SEARCH_BOTH(Hybrid, Method::Hybrid)
ZORP_DF_SEARCH_BOTH(Peak, Method::Peak)
ZORP_DF_SEARCH_BOTH(UserDef, Method::UserDef)
ZORP_DF_SEARCH_BOTH(UniUserDef, Method::UniUserDef)

}  // extern "C"
