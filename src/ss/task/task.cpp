// Task lifecycle and editing.  The record stores pointers only; the caller owns every array.
#include "ss/task/task.h"

#include <array>
#include <cstring>

#include "host/host.h"

namespace zorp::ss {

namespace {
enum class Kind : uint8_t { none, integer, real };
struct ParamRow {
  Kind kind;
  int8_t slot;
  int16_t error;
};

// One named row per parameter: number, editor (integer items by __tarriSSEditTask, real arrays by
// __tarrdSSEditTask and __tarrsSSEditTask), slot, code for a null value.
struct NamedRow {
  int number;
  Kind kind;
  int slot;
  int error;
};
constexpr NamedRow kRows[] = {
    {TARR_SS_PARAM_DIMENSION, Kind::integer, kSlotP, TARR_SS_ERROR_BAD_DIMENSION},
    {TARR_SS_PARAM_NOBS, Kind::integer, kSlotN, TARR_SS_ERROR_BAD_NOBS},
    {TARR_SS_PARAM_OBSERVATIONS, Kind::real, kSlotX, TARR_SS_ERROR_NULL_OBSERVATIONS},
    {TARR_SS_PARAM_STORAGE, Kind::integer, kSlotStorage, TARR_SS_ERROR_NULL_STORAGE_ITEM},
    {TARR_SS_PARAM_INDICES, Kind::integer, kSlotIndices, TARR_SS_ERROR_NULL_INDICES},
    {TARR_SS_PARAM_WEIGHTS, Kind::real, kSlotW, TARR_SS_ERROR_NULL_WEIGHTS},
    {TARR_SS_PARAM_MEAN, Kind::real, kSlotMean, TARR_SS_ERROR_NULL_MEAN},
    {TARR_SS_PARAM_RAW_MOMENT_2, Kind::real, kSlotRaw2, TARR_SS_ERROR_NULL_RAW_MOMENT_2},
    {TARR_SS_PARAM_RAW_MOMENT_3, Kind::real, kSlotRaw3, TARR_SS_ERROR_NULL_RAW_MOMENT_3},
    {TARR_SS_PARAM_RAW_MOMENT_4, Kind::real, kSlotRaw4, TARR_SS_ERROR_NULL_RAW_MOMENT_4},
    {TARR_SS_PARAM_CENTRAL_MOMENT_2, Kind::real, kSlotC2, TARR_SS_ERROR_NULL_CENTRAL_MOMENT_2},
    {TARR_SS_PARAM_CENTRAL_MOMENT_3, Kind::real, kSlotC3, TARR_SS_ERROR_NULL_CENTRAL_MOMENT_3},
    {TARR_SS_PARAM_CENTRAL_MOMENT_4, Kind::real, kSlotC4, TARR_SS_ERROR_NULL_CENTRAL_MOMENT_4},
    {TARR_SS_PARAM_KURTOSIS, Kind::real, kSlotKurt, TARR_SS_ERROR_NULL_KURTOSIS},
    {TARR_SS_PARAM_SKEWNESS, Kind::real, kSlotSkew, TARR_SS_ERROR_NULL_SKEWNESS},
    {TARR_SS_PARAM_EXTREME_LOW, Kind::real, kSlotMin, TARR_SS_ERROR_NULL_EXTREME_LOW},
    {TARR_SS_PARAM_EXTREME_HIGH, Kind::real, kSlotMax, TARR_SS_ERROR_NULL_EXTREME_HIGH},
    {TARR_SS_PARAM_VARIATION, Kind::real, kSlotVar, TARR_SS_ERROR_NULL_VARIATION},
    {TARR_SS_PARAM_COV, Kind::real, kSlotCov, TARR_SS_ERROR_NULL_COV},
    {TARR_SS_PARAM_COV_STORAGE, Kind::integer, kSlotCovStorage, TARR_SS_ERROR_NULL_STORAGE_ITEM},
    {TARR_SS_PARAM_COR, Kind::real, kSlotCor, TARR_SS_ERROR_NULL_COR},
    {TARR_SS_PARAM_COR_STORAGE, Kind::integer, kSlotCorStorage, TARR_SS_ERROR_NULL_STORAGE_ITEM},
    {TARR_SS_PARAM_ACCUM_WEIGHTS, Kind::real, kSlotAccum, TARR_SS_ERROR_NULL_ACCUM_WEIGHTS},
    {TARR_SS_PARAM_QUANT_COUNT, Kind::integer, kSlotQuantCount, TARR_SS_ERROR_NULL_QUANT_COUNT},
    {TARR_SS_PARAM_QUANT_ORDERS, Kind::real, kSlotQuantOrders, TARR_SS_ERROR_NULL_QUANT_ORDERS},
    {TARR_SS_PARAM_QUANTILES, Kind::real, kSlotQuantiles, TARR_SS_ERROR_NULL_QUANTILES},
    {TARR_SS_PARAM_ORDER_STATS, Kind::real, kSlotOrderStats, TARR_SS_ERROR_NULL_ORDER_STATS},
    {TARR_SS_PARAM_GROUP_INDICES, Kind::integer, kSlotGroupIndices, TARR_SS_ERROR_NULL_GROUP_ITEMS},
    {TARR_SS_PARAM_POOLED_COV_STORAGE, Kind::integer, kSlotPooledCovStorage, TARR_SS_ERROR_NULL_STORAGE_ITEM},
    {TARR_SS_PARAM_POOLED_MEAN, Kind::real, kSlotPooledMean, TARR_SS_ERROR_NULL_POOLED_MEAN},
    {TARR_SS_PARAM_POOLED_COV, Kind::real, kSlotPooledCov, TARR_SS_ERROR_NULL_POOLED_COV},
    {TARR_SS_PARAM_REQ_GROUPS, Kind::integer, kSlotReqGroups, TARR_SS_ERROR_NULL_GROUP_ITEMS},
    {TARR_SS_PARAM_GROUP_MEANS, Kind::real, kSlotGroupMeans, TARR_SS_ERROR_NULL_GROUP_MEANS},
    {TARR_SS_PARAM_GROUP_COVS_STORAGE, Kind::integer, kSlotGroupCovsStorage, TARR_SS_ERROR_NULL_STORAGE_ITEM},
    {TARR_SS_PARAM_GROUP_COVS, Kind::real, kSlotGroupCovs, TARR_SS_ERROR_NULL_GROUP_COVS},
    {TARR_SS_PARAM_RCOV_STORAGE, Kind::integer, kSlotRCovStorage, TARR_SS_ERROR_NULL_STORAGE_ITEM},
    {TARR_SS_PARAM_RCOV_NPARAMS, Kind::integer, kSlotRCovNParams, TARR_SS_ERROR_NULL_RCOV_NPARAMS},
    {TARR_SS_PARAM_RCOV_PARAMS, Kind::real, kSlotRCovParams, TARR_SS_ERROR_NULL_RCOV_PARAMS},
    {TARR_SS_PARAM_RCOV_MEAN, Kind::real, kSlotRCovMean, TARR_SS_ERROR_NULL_RCOV_MEAN},
    {TARR_SS_PARAM_RCOV, Kind::real, kSlotRCov, TARR_SS_ERROR_NULL_RCOV},
    {TARR_SS_PARAM_OUTL_NPARAMS, Kind::integer, kSlotOutlNParams, TARR_SS_ERROR_NULL_OUTL_NPARAMS},
    {TARR_SS_PARAM_OUTL_PARAMS, Kind::real, kSlotOutlParams, TARR_SS_ERROR_NULL_OUTL_PARAMS},
    {TARR_SS_PARAM_OUTL_WEIGHTS, Kind::real, kSlotOutlWeights, TARR_SS_ERROR_NULL_OUTL_WEIGHTS},
    {TARR_SS_PARAM_ORDER_STATS_STORAGE, Kind::integer, kSlotOrderStatsStorage, TARR_SS_ERROR_NULL_STORAGE_ITEM},
    {TARR_SS_PARAM_PARTIAL_INDICES, Kind::integer, kSlotPartialRoles, TARR_SS_ERROR_NULL_PARTIAL_INDICES},
    {TARR_SS_PARAM_PARTIAL_COV, Kind::real, kSlotPartialCov, TARR_SS_ERROR_NULL_PARTIAL_COV},
    {TARR_SS_PARAM_PARTIAL_COV_STORAGE, Kind::integer, kSlotPartialCovStorage, TARR_SS_ERROR_NULL_STORAGE_ITEM},
    {TARR_SS_PARAM_PARTIAL_COR, Kind::real, kSlotPartialCor, TARR_SS_ERROR_NULL_PARTIAL_COR},
    {TARR_SS_PARAM_PARTIAL_COR_STORAGE, Kind::integer, kSlotPartialCorStorage, TARR_SS_ERROR_NULL_STORAGE_ITEM},
    {TARR_SS_PARAM_MISSING_1, Kind::integer, kSlotMissing1, TARR_SS_ERROR_NULL_MISSING_1},
    {TARR_SS_PARAM_MISSING_2, Kind::real, kSlotMissing2, TARR_SS_ERROR_NULL_MISSING_2},
    {TARR_SS_PARAM_MISSING_3, Kind::integer, kSlotMissing3, TARR_SS_ERROR_NULL_MISSING_3},
    {TARR_SS_PARAM_MISSING_4, Kind::real, kSlotMissing4, TARR_SS_ERROR_NULL_MISSING_4},
    {TARR_SS_PARAM_MISSING_5, Kind::integer, kSlotMissing5, TARR_SS_ERROR_NULL_MISSING_5},
    {TARR_SS_PARAM_MISSING_6, Kind::real, kSlotMissing6, TARR_SS_ERROR_NULL_MISSING_6},
    {TARR_SS_PARAM_MISSING_7, Kind::integer, kSlotMissing7, TARR_SS_ERROR_NULL_MISSING_7},
    {TARR_SS_PARAM_MISSING_8, Kind::real, kSlotMissing8, TARR_SS_ERROR_NULL_MISSING_8},
    {TARR_SS_PARAM_MISSING_9, Kind::integer, kSlotMissing9, TARR_SS_ERROR_NULL_MISSING_9},
    {TARR_SS_PARAM_MISSING_10, Kind::real, kSlotMissing10, TARR_SS_ERROR_NULL_MISSING_10},
    {TARR_SS_PARAM_PARAMTRZ_COR, Kind::real, kSlotParamCor, TARR_SS_ERROR_NULL_PARAMTRZ_COR},
    {TARR_SS_PARAM_PARAMTRZ_COR_STORAGE, Kind::integer, kSlotParamCorStorage, TARR_SS_ERROR_NULL_STORAGE_ITEM},
    {TARR_SS_PARAM_SQUANT_NPARAMS, Kind::integer, kSlotSQuantNParams, TARR_SS_ERROR_NULL_SQUANT_NPARAMS},
    {TARR_SS_PARAM_SQUANT_PARAMS, Kind::real, kSlotSQuantParams, TARR_SS_ERROR_NULL_SQUANT_PARAMS},
    {TARR_SS_PARAM_SQUANT_COUNT, Kind::integer, kSlotSQuantCount, TARR_SS_ERROR_NULL_SQUANT_COUNT},
    {TARR_SS_PARAM_SQUANT_ORDERS, Kind::real, kSlotSQuantOrders, TARR_SS_ERROR_NULL_SQUANT_ORDERS},
    {TARR_SS_PARAM_SQUANTILES, Kind::real, kSlotSQuantiles, TARR_SS_ERROR_NULL_SQUANTILES},
    {TARR_SS_PARAM_SUM, Kind::real, kSlotSum, TARR_SS_ERROR_NULL_SUM},
    {TARR_SS_PARAM_RAW_SUM_2, Kind::real, kSlotRawSum2, TARR_SS_ERROR_NULL_RAW_SUM_2},
    {TARR_SS_PARAM_RAW_SUM_3, Kind::real, kSlotRawSum3, TARR_SS_ERROR_NULL_RAW_SUM_3},
    {TARR_SS_PARAM_RAW_SUM_4, Kind::real, kSlotRawSum4, TARR_SS_ERROR_NULL_RAW_SUM_4},
    {TARR_SS_PARAM_CENTRAL_SUM_2, Kind::real, kSlotCSum2, TARR_SS_ERROR_NULL_CENTRAL_SUM_2},
    {TARR_SS_PARAM_CENTRAL_SUM_3, Kind::real, kSlotCSum3, TARR_SS_ERROR_NULL_CENTRAL_SUM_3},
    {TARR_SS_PARAM_CENTRAL_SUM_4, Kind::real, kSlotCSum4, TARR_SS_ERROR_NULL_CENTRAL_SUM_4},
    {TARR_SS_PARAM_CP, Kind::real, kSlotCP, TARR_SS_ERROR_NULL_CP},
    {TARR_SS_PARAM_CP_STORAGE, Kind::integer, kSlotCPStorage, TARR_SS_ERROR_NULL_STORAGE_ITEM},
    {TARR_SS_PARAM_MEDIAN_ABS_DEV, Kind::real, kSlotMedianAbsDev, TARR_SS_ERROR_NULL_MEDIAN_ABS_DEV},
    {TARR_SS_PARAM_MEAN_ABS_DEV, Kind::real, kSlotMeanAbsDev, TARR_SS_ERROR_NULL_MEAN_ABS_DEV},
    {TARR_SS_PARAM_SORTED, Kind::real, kSlotSorted, TARR_SS_ERROR_NULL_SORTED},
    {TARR_SS_PARAM_SORTED_STORAGE, Kind::integer, kSlotSortedStorage, TARR_SS_ERROR_NULL_STORAGE_ITEM},
};

// The rows placed by number; every number from 1 to 79 must have exactly one row.
constexpr std::array<ParamRow, 80> by_number() {
  std::array<ParamRow, 80> t{};
  for (const NamedRow& r : kRows) t[r.number] = {r.kind, int8_t(r.slot), int16_t(r.error)};
  return t;
}
constexpr bool every_number_once() {
  int count[80] = {};
  for (const NamedRow& r : kRows) {
    if (r.number < 1 || r.number > 79) return false;
    ++count[r.number];
  }
  for (int k = 1; k < 80; ++k)
    if (count[k] != 1) return false;
  return true;
}
static_assert(every_number_once(), "one row for each parameter number 1..79");
constexpr std::array<ParamRow, 80> kParams = by_number();

int new_task(TarrSSTask** out, const void* p, const void* n, const void* storage, const void* x,
             const void* w, const void* indices, int wide, int precision) {
  if (!out) return TARR_SS_ERROR_NULL_TASK;
  const bool w64 = wide != 0;
  if (!p || read_int(p, w64) < 1) return TARR_SS_ERROR_BAD_DIMENSION;
  if (x) {
    if (!storage) return TARR_SS_ERROR_NULL_STORAGE_ITEM;
    const int64_t st = read_int(storage, w64);
    if (st != TARR_SS_MATRIX_STORAGE_1 && st != TARR_SS_MATRIX_STORAGE_2) return TARR_SS_ERROR_BAD_STORAGE;
    if (!n || read_int(n, w64) < 1) return TARR_SS_ERROR_BAD_NOBS;
  }
  auto* t = static_cast<TarrSSTask*>(host::allocate(sizeof(TarrSSTask)));
  if (!t) return TARR_SS_ERROR_ALLOCATION;
  std::memset(t, 0, sizeof *t);
  t->width_flag = wide;
  t->version = 2;
  t->precision = precision;
  t->dimension = p;
  t->nobs = n;
  t->storage = storage;
  t->x = x;
  t->weights = w;
  t->indices = indices;
  *out = t;
  return 0;
}

int edit(TarrSSTask* t, int param, const void* value, Kind kind) {
  if (!t) return TARR_SS_ERROR_NULL_TASK;
  if (param < 1 || param > 79 || kParams[param].kind != kind) return TARR_SS_ERROR_BAD_PARAM_NUMBER;
  if (!value) return kParams[param].error;
  slots(t)[kParams[param].slot] = const_cast<void*>(value);
  return 0;
}

// Stores every non-null argument in its slot; a null argument leaves the slot alone.
template <size_t N>
int group(TarrSSTask* t, const int (&slot_of)[N], const void* const (&values)[N]) {
  if (!t) return TARR_SS_ERROR_NULL_TASK;
  for (size_t i = 0; i < N; ++i)
    if (values[i]) slots(t)[slot_of[i]] = const_cast<void*>(values[i]);
  return 0;
}

}  // namespace
}  // namespace zorp::ss

using namespace zorp::ss;

extern "C" {

ZORP_API int __tarrdSSNewTask(TarrSSTask** task, const void* p, const void* n, const void* storage,
                              const double* x, const double* w, const void* indices, int width_flag) {
  return new_task(task, p, n, storage, x, w, indices, width_flag, 1);
}
ZORP_API int __tarrsSSNewTask(TarrSSTask** task, const void* p, const void* n, const void* storage,
                              const float* x, const float* w, const void* indices, int width_flag) {
  return new_task(task, p, n, storage, x, w, indices, width_flag, 0);
}
ZORP_API int __tarrdSSEditTask(TarrSSTask* task, int param, const double* value) {
  return edit(task, param, value, Kind::real);
}
ZORP_API int __tarrsSSEditTask(TarrSSTask* task, int param, const float* value) {
  return edit(task, param, value, Kind::real);
}
ZORP_API int __tarriSSEditTask(TarrSSTask* task, int param, const void* value) {
  return edit(task, param, value, Kind::integer);
}

// Frees the task's work buffer, runs the clean-up functions compute routines hung on the task,
// then frees the record.  The record has one clean-up slot (89) before the sorted-observation
// items (90, 91), so at most one function is called whatever the count says.
ZORP_API int __tarrSSDeleteTask(TarrSSTask** task) {
  if (!task || !*task) return TARR_SS_ERROR_NULL_TASK;
  TarrSSTask* t = *task;
  if (void* work = slot(t, kSlotWork)) zorp::host::deallocate(work);
  const int64_t count = reinterpret_cast<int64_t>(slot(t, kSlotCleanupCount));
  for (int64_t i = 0; i < count && i < 1; ++i)
    if (auto fn = reinterpret_cast<TarrSSCleanupFn>(slot(t, int(kSlotCleanup + i)))) fn(t);
  zorp::host::deallocate(t);
  *task = nullptr;
  return 0;
}

}  // extern "C"

// Grouped editors: one body per group; the d and s exports share it (same slots).
#define ZORP_DEF_GROUPS(t, T)                                                                      \
  ZORP_API int __tarr##t##SSEditMoments(TarrSSTask* task, T* mean, T* r2, T* r3, T* r4, T* c2,     \
                                        T* c3, T* c4) {                                            \
    static const int s[] = {11, 12, 13, 14, 15, 16, 17};                                           \
    const void* const v[] = {mean, r2, r3, r4, c2, c3, c4};                                        \
    return group(task, s, v);                                                                      \
  }                                                                                                \
  ZORP_API int __tarr##t##SSEditSums(TarrSSTask* task, T* sum, T* rs2, T* rs3, T* rs4, T* cs2,     \
                                     T* cs3, T* cs4) {                                             \
    static const int s[] = {18, 19, 20, 21, 22, 23, 24};                                           \
    const void* const v[] = {sum, rs2, rs3, rs4, cs2, cs3, cs4};                                   \
    return group(task, s, v);                                                                      \
  }                                                                                                \
  ZORP_API int __tarr##t##SSEditCovCor(TarrSSTask* task, T* mean, T* cov, const void* cov_storage, \
                                       T* cor, const void* cor_storage) {                          \
    static const int s[] = {11, 31, 30, 33, 32};                                                   \
    const void* const v[] = {mean, cov, cov_storage, cor, cor_storage};                            \
    return group(task, s, v);                                                                      \
  }                                                                                                \
  ZORP_API int __tarr##t##SSEditCP(TarrSSTask* task, T* mean, T* sum, T* cp,                       \
                                   const void* cp_storage) {                                       \
    static const int s[] = {11, 18, 35, 34};                                                       \
    const void* const v[] = {mean, sum, cp, cp_storage};                                           \
    return group(task, s, v);                                                                      \
  }                                                                                                \
  ZORP_API int __tarr##t##SSEditPartialCovCor(                                                     \
      TarrSSTask* task, const void* roles, T* cov, const void* cov_storage, T* cor,                \
      const void* cor_storage, T* pcov, const void* pcov_storage, T* pcor,                         \
      const void* pcor_storage) {                                                                  \
    static const int s[] = {65, 31, 30, 33, 32, 66, 67, 68, 69};                                   \
    const void* const v[] = {roles, cov, cov_storage, cor, cor_storage,                            \
                             pcov, pcov_storage, pcor, pcor_storage};                              \
    return group(task, s, v);                                                                      \
  }                                                                                                \
  ZORP_API int __tarr##t##SSEditQuantiles(TarrSSTask* task, const void* count, T* orders,          \
                                          T* quantiles, T* order_stats,                            \
                                          const void* order_stats_storage) {                       \
    static const int s[] = {44, 45, 46, 47, 48};                                                   \
    const void* const v[] = {count, orders, quantiles, order_stats, order_stats_storage};          \
    return group(task, s, v);                                                                      \
  }                                                                                                \
  ZORP_API int __tarr##t##SSEditStreamQuantiles(TarrSSTask* task, const void* count, T* orders,    \
                                                T* estimates, const void* nparams, T* params) {    \
    static const int s[] = {49, 50, 51, 53, 54};                                                   \
    const void* const v[] = {count, orders, estimates, nparams, params};                           \
    return group(task, s, v);                                                                      \
  }                                                                                                \
  ZORP_API int __tarr##t##SSEditPooledCovariance(TarrSSTask* task, const void* group_indices,      \
                                                 T* pooled_mean, T* pooled_cov,                    \
                                                 const void* req_groups, T* group_means,           \
                                                 T* group_covs) {                                  \
    static const int s[] = {36, 41, 42, 37, 38, 39};                                               \
    const void* const v[] = {group_indices, pooled_mean, pooled_cov,                               \
                             req_groups, group_means, group_covs};                                 \
    return group(task, s, v);                                                                      \
  }                                                                                                \
  ZORP_API int __tarr##t##SSEditRCov(TarrSSTask* task, const void* rcov_storage,                   \
                                     const void* nparams, T* params, T* rmean, T* rcov) {          \
    static const int s[] = {61, 57, 58, 59, 60};                                                   \
    const void* const v[] = {rcov_storage, nparams, params, rmean, rcov};                          \
    return group(task, s, v);                                                                      \
  }                                                                                                \
  ZORP_API int __tarr##t##SSEditOutDetect(TarrSSTask* task, const void* nparams, T* params,        \
                                          T* weights_out) {                                        \
    static const int s[] = {62, 63, 64};                                                           \
    const void* const v[] = {nparams, params, weights_out};                                        \
    return group(task, s, v);                                                                      \
  }                                                                                                \
  ZORP_API int __tarr##t##SSEditMissingVals(TarrSSTask* task, const void* i1, T* r1,               \
                                            const void* i2, T* r2, const void* i3, T* r3,          \
                                            const void* i4, T* r4, const void* i5, T* r5) {        \
    static const int s[] = {70, 71, 72, 73, 74, 75, 76, 77, 78, 79};                               \
    const void* const v[] = {i1, r1, i2, r2, i3, r3, i4, r4, i5, r5};                              \
    return group(task, s, v);                                                                      \
  }                                                                                                \
  ZORP_API int __tarr##t##SSEditMtxParametrz(TarrSSTask* task, T* cor, const void* cor_storage,    \
                                             T* pcor, const void* pcor_storage) {                  \
    static const int s[] = {33, 32, 9, 10};                                                        \
    const void* const v[] = {cor, cor_storage, pcor, pcor_storage};                                \
    return group(task, s, v);                                                                      \
  }

extern "C" {
ZORP_DEF_GROUPS(d, double)
ZORP_DEF_GROUPS(s, float)
}
