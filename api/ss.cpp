// The checked summary-statistics entries: a task made with its observations, one parameter edited
// at a time, one compute entry that hands the estimates to the routine that makes them, delete.
//
// The exports already refuse a null task, an unknown parameter number, a null value, and at
// compute time a missing array, dimension, count or layout; those are theirs to report. What they
// leave to the host is what they cannot see: whose record the task is, the values of the integer
// items (an edit stores a pointer, and a bad storage word is only met, or misread, at compute
// time), and method words with bits the routine does not know (most routines test one bit and
// ignore the rest).
#include "api/loader.h"
#include "zorp/zorp.h"

namespace zorp::api {
namespace {

// Whether t is a statistics record of the element type: the kernel library writes version 2 and
// the precision (1 double, 0 float) into every record it makes. A data-fitting record read as one
// has its kind byte, 4, where the version is. Integer items and delete take either type.
enum Precision : int32_t { kFloat = 0, kDouble = 1, kEither = 2 };
int32_t open_task(const Kernel** k, const TarrSSTask* t, Precision want) {
  if (const int32_t status = kernel(k); status != 0) return status;
  if (!t) return TARR_SS_ERROR_NULL_TASK;
  const bool typed = want == kEither ? (t->precision == kFloat || t->precision == kDouble) : t->precision == want;
  return t->version == 2 && typed ? TARR_SS_STATUS_OK : ZORP_ERROR_TASK_KIND;
}

// ---- integer items -------------------------------------------------------------------------------
enum class Word { none, positive_dimension, positive_nobs, layout, matrix };

Word word_of(int32_t param) {
  switch (param) {
    case TARR_SS_PARAM_DIMENSION: return Word::positive_dimension;
    case TARR_SS_PARAM_NOBS: return Word::positive_nobs;
    case TARR_SS_PARAM_STORAGE:
    case TARR_SS_PARAM_ORDER_STATS_STORAGE:
    case TARR_SS_PARAM_SORTED_STORAGE: return Word::layout;
    case TARR_SS_PARAM_COV_STORAGE:
    case TARR_SS_PARAM_COR_STORAGE:
    case TARR_SS_PARAM_CP_STORAGE:
    case TARR_SS_PARAM_POOLED_COV_STORAGE:
    case TARR_SS_PARAM_GROUP_COVS_STORAGE:
    case TARR_SS_PARAM_RCOV_STORAGE:
    case TARR_SS_PARAM_PARTIAL_COV_STORAGE:
    case TARR_SS_PARAM_PARTIAL_COR_STORAGE:
    case TARR_SS_PARAM_PARAMTRZ_COR_STORAGE: return Word::matrix;
    default: return Word::none;
  }
}

int32_t value_check(const TarrSSTask* t, int32_t param, const void* value) {
  const Word w = word_of(param);
  if (w == Word::none || !value) return TARR_SS_STATUS_OK;  // the export's to judge
  const int64_t v = t->width_flag ? *static_cast<const int64_t*>(value) : *static_cast<const int32_t*>(value);
  switch (w) {
    case Word::positive_dimension: return v >= 1 ? TARR_SS_STATUS_OK : TARR_SS_ERROR_BAD_DIMENSION;
    case Word::positive_nobs: return v >= 1 ? TARR_SS_STATUS_OK : TARR_SS_ERROR_BAD_NOBS;
    case Word::layout:
      return v == TARR_SS_MATRIX_STORAGE_1 || v == TARR_SS_MATRIX_STORAGE_2 ? TARR_SS_STATUS_OK
                                                                            : TARR_SS_ERROR_BAD_STORAGE;
    default:
      return v == TARR_SS_MATRIX_STORAGE_FULL || v == TARR_SS_MATRIX_STORAGE_U_PACKED ||
                     v == TARR_SS_MATRIX_STORAGE_L_PACKED
                 ? TARR_SS_STATUS_OK
                 : TARR_SS_ERROR_BAD_STORAGE;
  }
}

// ---- routines --------------------------------------------------------------------------------------
// Which routine makes which estimates, and the method words it takes. A routine with no estimate
// bits reads none: its method word alone chooses it (those words are distinct from the others').
// No method word is 0, so 0 ends a routine's list.
using Compute = int (*)(TarrSSTask*, uint64_t, uint32_t);
struct Routine {
  uint64_t estimates;
  uint32_t methods[5];
  Compute Kernel::*d;
  Compute Kernel::*s;
};

constexpr uint64_t kBasic = TARR_SS_MEAN | TARR_SS_RAW_MOMENT_2 | TARR_SS_RAW_MOMENT_3 | TARR_SS_RAW_MOMENT_4 |
                            TARR_SS_CENTRAL_MOMENT_2 | TARR_SS_CENTRAL_MOMENT_3 | TARR_SS_CENTRAL_MOMENT_4 |
                            TARR_SS_KURTOSIS | TARR_SS_SKEWNESS | TARR_SS_VARIATION | TARR_SS_COV | TARR_SS_COR |
                            TARR_SS_SUM | TARR_SS_RAW_SUM_2 | TARR_SS_RAW_SUM_3 | TARR_SS_RAW_SUM_4 |
                            TARR_SS_CENTRAL_SUM_2 | TARR_SS_CENTRAL_SUM_3 | TARR_SS_CENTRAL_SUM_4 | TARR_SS_CP;

#define ZORP_API_ROUTINE(bits, methods, Name) \
  Routine { bits, methods, &Kernel::_tarrdSS##Name, &Kernel::_tarrsSS##Name }
#define ZORP_API_WORDS(...) \
  { __VA_ARGS__ }
const Routine kRoutines[] = {
    ZORP_API_ROUTINE(kBasic,
                     ZORP_API_WORDS(TARR_SS_METHOD_FAST, TARR_SS_METHOD_1PASS, TARR_SS_METHOD_1PASS_CENTRAL,
                                    TARR_SS_METHOD_SUM_TO_MOM, TARR_SS_METHOD_SUM_TO_MOM_FREQ),
                     Basic),
    ZORP_API_ROUTINE(TARR_SS_MIN | TARR_SS_MAX,
                     ZORP_API_WORDS(TARR_SS_METHOD_MINMAX_NEW, TARR_SS_METHOD_MINMAX_CONTINUE), Minmax),
    ZORP_API_ROUTINE(TARR_SS_QUANTS | TARR_SS_ORDER_STATS, ZORP_API_WORDS(TARR_SS_METHOD_QUANTILES), Quantiles),
    ZORP_API_ROUTINE(TARR_SS_MEDIAN_ABS_DEV | TARR_SS_MEAN_ABS_DEV,
                     ZORP_API_WORDS(TARR_SS_METHOD_MAD, TARR_SS_METHOD_MAD_GIVEN_MEAN,
                                    TARR_SS_METHOD_MAD | TARR_SS_METHOD_MAD_GIVEN_MEAN),
                     MAD),
    ZORP_API_ROUTINE(TARR_SS_POOLED_COV | TARR_SS_GROUP_COV | TARR_SS_POOLED_MEAN | TARR_SS_GROUP_MEAN,
                     ZORP_API_WORDS(TARR_SS_METHOD_POOLED), PooledCovariance),
    ZORP_API_ROUTINE(TARR_SS_PARTIAL_COV | TARR_SS_PARTIAL_COR, ZORP_API_WORDS(TARR_SS_METHOD_PARTIAL),
                     PartialCovariance),
    ZORP_API_ROUTINE(0, ZORP_API_WORDS(TARR_SS_METHOD_SQUANTS, TARR_SS_METHOD_SQUANTS_OBSERVED), StreamQuantiles),
    ZORP_API_ROUTINE(0, ZORP_API_WORDS(TARR_SS_METHOD_SORT), Sort),
    ZORP_API_ROUTINE(0, ZORP_API_WORDS(TARR_SS_METHOD_ROBUST_COV), RobustCovariance),
    ZORP_API_ROUTINE(0, ZORP_API_WORDS(TARR_SS_METHOD_BACON), OutliersDetection),
    ZORP_API_ROUTINE(0, ZORP_API_WORDS(TARR_SS_METHOD_MISSING_VALUES), MissingValues),
    ZORP_API_ROUTINE(0, ZORP_API_WORDS(TARR_SS_METHOD_COR_REPAIR), CorParametrization),
};
#undef ZORP_API_ROUTINE
#undef ZORP_API_WORDS

const Routine* routine_of(uint64_t estimates, uint32_t method) {
  for (const Routine& r : kRoutines) {
    const bool makes = r.estimates == 0 || (estimates != 0 && (estimates & ~r.estimates) == 0);
    if (!makes) continue;
    for (uint32_t m : r.methods)
      if (m != 0 && m == method) return &r;
  }
  return nullptr;
}

template <class T>
int32_t new_task(TarrSSTask** task, const void* p, const void* n, const void* storage, const T* x, const T* w,
                 const void* indices, int32_t width_flag) {
  const Kernel* k;
  if (const int32_t status = kernel(&k); status != 0) return status;
  // The export accepts a task without observations (to be edited in later) and then checks
  // neither n nor the storage word; a checked task has its data from the start.
  if (!x) return TARR_SS_ERROR_NULL_OBSERVATIONS;
  if constexpr (sizeof(T) == sizeof(double))
    return k->__tarrdSSNewTask(task, p, n, storage, x, w, indices, width_flag);
  else
    return k->__tarrsSSNewTask(task, p, n, storage, x, w, indices, width_flag);
}

int32_t compute(TarrSSTask* task, uint64_t estimates, uint32_t method, bool is_double) {
  const Kernel* k;
  if (const int32_t status = open_task(&k, task, is_double ? kDouble : kFloat); status != 0) return status;
  const Routine* r = routine_of(estimates, method);
  if (!r) return TARR_SS_ERROR_BAD_METHOD;
  return (k->*(is_double ? r->d : r->s))(task, estimates, method);
}

int32_t weighted_median(TarrSSTask* task, uint32_t method, bool is_double) {
  const Kernel* k;
  if (const int32_t status = open_task(&k, task, is_double ? kDouble : kFloat); status != 0) return status;
  if (method != TARR_SS_METHOD_QUANTILES) return TARR_SS_ERROR_BAD_METHOD;
  return is_double ? k->_tarrdSSWMedian(task, 0, method) : k->_tarrsSSWMedian(task, 0, method);
}

}  // namespace
}  // namespace zorp::api

using namespace zorp::api;

extern "C" {

int32_t zorp_ss_dnew_task(TarrSSTask** task, const void* p, const void* n, const void* storage, const double* x,
                          const double* weights, const void* indices, int32_t width_flag) {
  return new_task(task, p, n, storage, x, weights, indices, width_flag);
}
int32_t zorp_ss_snew_task(TarrSSTask** task, const void* p, const void* n, const void* storage, const float* x,
                          const float* weights, const void* indices, int32_t width_flag) {
  return new_task(task, p, n, storage, x, weights, indices, width_flag);
}

int32_t zorp_ss_delete_task(TarrSSTask** task) {
  const Kernel* k;
  if (const int32_t status = kernel(&k); status != 0) return status;
  if (!task) return TARR_SS_ERROR_NULL_TASK;
  if (!*task) return TARR_SS_STATUS_OK;
  if (const int32_t status = open_task(&k, *task, kEither); status != 0) return status;
  return k->__tarrSSDeleteTask(task);
}

int32_t zorp_ss_dedit(TarrSSTask* task, int32_t param, const double* value) {
  const Kernel* k;
  if (const int32_t status = open_task(&k, task, kDouble); status != 0) return status;
  return k->__tarrdSSEditTask(task, param, value);
}
int32_t zorp_ss_sedit(TarrSSTask* task, int32_t param, const float* value) {
  const Kernel* k;
  if (const int32_t status = open_task(&k, task, kFloat); status != 0) return status;
  return k->__tarrsSSEditTask(task, param, value);
}
// Integer items are the same in either element type's task.
int32_t zorp_ss_iedit(TarrSSTask* task, int32_t param, const void* value) {
  const Kernel* k;
  if (const int32_t status = open_task(&k, task, kEither); status != 0) return status;
  if (const int32_t status = value_check(task, param, value); status != 0) return status;
  return k->__tarriSSEditTask(task, param, value);
}

int32_t zorp_ss_dcompute(TarrSSTask* task, uint64_t estimates, uint32_t method) {
  return compute(task, estimates, method, true);
}
int32_t zorp_ss_scompute(TarrSSTask* task, uint64_t estimates, uint32_t method) {
  return compute(task, estimates, method, false);
}

int32_t zorp_ss_dweighted_median(TarrSSTask* task, uint32_t method) { return weighted_median(task, method, true); }
int32_t zorp_ss_sweighted_median(TarrSSTask* task, uint32_t method) { return weighted_median(task, method, false); }

}  // extern "C"
