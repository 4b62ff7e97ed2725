// Task lifecycle and editing.  The record stores pointers only; the caller owns every array.
#include "ss/task/task.h"

#include <cstring>

#include "host/host.h"

namespace zorp::ss {

namespace {
constexpr ParamRow I(int slot, int err) { return {Kind::integer, int8_t(slot), int16_t(err)}; }
constexpr ParamRow R(int slot, int err) { return {Kind::real, int8_t(slot), int16_t(err)}; }
}  // namespace

const ParamRow kParams[80] = {
    {Kind::none, 0, 0},
    I(2, -4001), I(3, -4002), R(5, -4032), I(8, -4044), I(4, -4004), R(6, -4005), R(11, -4006),
    R(12, -4007), R(13, -4008), R(14, -4009), R(15, -4010), R(16, -4011), R(17, -4012),
    R(25, -4013), R(26, -4014), R(28, -4015), R(29, -4016), R(27, -4017), R(31, -4018),
    I(30, -4044), R(33, -4019), I(32, -4044), R(7, -4020), I(44, -4022), R(45, -4021),
    R(46, -4023), R(47, -4024), I(36, -4038), I(43, -4044), R(41, -4035), R(42, -4034),
    I(37, -4038), R(38, -4037), I(40, -4044), R(39, -4036), I(61, -4044), I(57, -4043),
    R(58, -4042), R(59, -4028), R(60, -4027), I(62, -4040), R(63, -4039), R(64, -4041),
    I(48, -4044), I(65, -4045), R(66, -4046), I(67, -4044), R(68, -4047), I(69, -4044),
    I(70, -4049), R(71, -4048), I(72, -4052), R(73, -4053), I(76, -4055), R(77, -4054),
    I(78, -4056), R(79, -4057), I(74, -4061), R(75, -4062), R(9, -4071), I(10, -4044),
    I(53, -4066), R(54, -4065), I(49, -4069), R(50, -4068), R(51, -4070), R(18, -4074),
    R(19, -4075), R(20, -4076), R(21, -4077), R(22, -4078), R(23, -4079), R(24, -4080),
    R(35, -4081), I(34, -4044), R(56, -4082), R(55, -4083), R(90, -4084), I(91, -4044),
};

namespace {

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
