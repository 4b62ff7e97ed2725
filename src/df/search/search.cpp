// Cell search exports: Search1D, which chooses the method from the task's and the caller's
// hints, and every method by itself in four forms (32-bit cells, 64-bit cells, 64-bit cells
// for nx below 2^31, and a flag word).  The methods live in df/common/search.h, shared with
// interpolation and integration.
#include "df/common/search.h"

#include <cstring>

#include "host/host.h"

namespace zorp::df {
namespace {

using zorp::host::allocate;
using zorp::host::deallocate;

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

template <typename T>
int search(DFTask* t, int64_t nsite, const T* site, int64_t sitehint, const T* datahint, void* cell,
           SearchCallback<T> cb, void* params) {
  if (!t) return DF_ERROR_NULL_TASK;
  if (!t->x) return DF_ERROR_BAD_X;
  Method m;
  Partition<T> P;
  if (const int rc = choose_method(t, sitehint, datahint, cb, m, P)) return rc;
  if (nsite < 0) return DF_ERROR_BAD_NSITE;
  if (nsite == 0) return DF_STATUS_OK;
  if (!site) return DF_ERROR_BAD_SITE;
  if (!cell) return DF_ERROR_BAD_CELL;
  // Uniform sites are written out (the user callback and the methods take a site array), and
  // the callback's flags need one word per site.
  const bool uniform_sites = sitehint == DF_UNIFORM_SITES;
  const size_t site_bytes = uniform_sites ? static_cast<size_t>(nsite) * sizeof(T) : 0;
  const size_t flag_bytes = cb ? static_cast<size_t>(nsite) * sizeof(int32_t) : 0;
  unsigned char* mem = nullptr;
  if (site_bytes + flag_bytes) {
    mem = static_cast<unsigned char*>(allocate(site_bytes + flag_bytes));
    if (!mem) return DF_ERROR_MEM_FAILURE;
  }
  const T* s = site;
  if (uniform_sites) {
    T* own = reinterpret_cast<T*>(mem);
    const UniformSites<T> u = UniformSites<T>::of(site, nsite);
    for (int64_t j = 0; j < nsite; ++j) own[j] = u.at(j);
    s = own;
  }
  P.flags = cb ? reinterpret_cast<int32_t*>(mem + site_bytes) : nullptr;
  P.params = params;
  int64_t start = 0;
  P.start = &start;
  const int rc = t->index_width ? find_cells(m, P, nsite, s, static_cast<int64_t*>(cell))
                                : find_cells(m, P, nsite, s, static_cast<int32_t*>(cell));
  if (mem) deallocate(mem);
  return rc;
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
