/* Summary statistics: the task record, its editors, basic statistics (moments, sums,
 * covariance, correlation, cross-product), the minimum/maximum routine, pooled and partial
 * covariance, quantiles, streaming quantiles, sorting, the weighted median and the absolute
 * deviations.  Every status code of the family is defined here once.
 *
 * ---- Observations -------------------------------------------------------------------------
 * The observation matrix holds n observations of p components.
 *   TARR_SS_MATRIX_STORAGE_1 (0x10000): component-major, one component's observations are
 *     contiguous: x[j*n + i] is observation i of component j.
 *   TARR_SS_MATRIX_STORAGE_2 (0x20000): observation-major, one observation's components are
 *     contiguous: x[i*p + j].
 * Weights: n reals, one per observation, expected >= 0 (the covariance scales observations by
 * sqrt(w)).  Component indices: p integers of the task's width; a zero entry leaves that
 * component out and nothing of it (vector entries, matrix rows and columns) is written.
 * Integer width: with the width flag of NewTask set, p, n, the storage word, the component
 * indices and every integer item (storage words of matrices) are 64-bit integers; otherwise
 * 32-bit.
 *
 * ---- Result matrices -----------------------------------------------------------------------
 * Storage word (slots 30, 32, 34): 0 = full p*p (column-major, both triangles written);
 * TARR_SS_MATRIX_STORAGE_U_PACKED (0x1) = upper triangle packed by columns (entry (r,c), r<=c,
 * at r + c*(c+1)/2); TARR_SS_MATRIX_STORAGE_L_PACKED (0x2) = lower triangle packed by columns
 * (entry (r,c), r>=c, at r + c*(2p-c-1)/2).  Entries of left-out components are not written.
 * An unregistered matrix storage word means full storage.
 *
 * Shift: each call sums x - s, s being the stored mean when continuing and the first
 * observation otherwise (the same s for every thread and every block), so data far from zero
 * (mean 1e6, spread 1) keeps mean, central moment 2, covariance and correlation to about 1e-15
 * relative in double on every path: either layout, packed storage, weights, index arrays,
 * several threads and several calls.  For the last, a call leaves in the task's work buffer
 * (slot 92, freed with the task) the part of its mean that the stored mean array cannot hold;
 * the next call uses it while the accumulator, the dimension and that array are still the ones
 * it wrote.
 *
 * Clean-up: the record has one clean-up slot (89) before the sorted-observation items; the
 * delete call runs at most that one function whatever count slot 88 holds.
 *
 * ---- Basic statistics: definitions -------------------------------------------------------
 * W = sum of weights, W2 = sum of squared weights (the accumulator, parameter 23); without
 * weights W = n and W2 = n.  B = W - W2/W (n - 1 without weights).
 *   mean m = sum(w x)/W;   raw moment k = sum(w x^k)/W;   raw sum k = sum(w x^k);
 *   central sum k S_k = sum(w (x-m)^k);
 *   central moment 2 = S_2/B (the variance, same divisor as the covariance);
 *   central moments 3, 4 = S_3/W, S_4/W;
 *   covariance = cross-product / B;  correlation_jk = cp_jk / sqrt(cp_jj cp_kk);
 *   cross-product cp_jk = sum(w (x_j-m_j)(x_k-m_k));
 *   kurtosis c4/(c2 c2) - 3, skewness c3/sqrt(c2^3), variation sqrt(c2)/m.
 *
 * Degenerate data (status 0 in every case; the values are what the definitions give):
 *   - no weight at all (every weight 0): there is no mean, so the mean, the raw and central
 *     moments, kurtosis, skewness, variation, covariance and correlation are NaN; the sums and
 *     the cross-product are empty sums, 0; the accumulator stays 0, so a later call starts afresh;
 *   - one observation (more generally B = 0, all weight on one observation): the mean, the raw
 *     moments and the sums are that observation's, but central moment 2 and the covariance
 *     divide by B = n - 1 = 0 and are NaN, and with them kurtosis, skewness and the variation
 *     coefficient: the unbiased spread of a single observation is unknown, and 0 would claim
 *     there is none;
 *   - infinite observations: the mean is +inf or -inf when every infinity of the component has
 *     that sign (NaN with both signs), the raw sums and moments follow it, and every central
 *     quantity is NaN (x - m is inf - inf).  A NaN observation makes its component's results NaN.
 *
 * Methods (the 32-bit method word of _tarr?SSBasic):
 *   TARR_SS_METHOD_FAST (0x1): the pass keeps only power sums (mean, raw moments); every
 *     central quantity is formed from raw moments: S_2 = W (r2 - m^2),
 *     S_3 = f (r3 - 3 m r2 + 2 m^3), S_4 = f (r4 - 4 m r3 + 6 m^2 r2 - 3 m^4) with f = W for
 *     central sums and f = 1 for central moments (f = W/B for central moment 2).  Cheapest;
 *     relative error grows like (m^2/c2)^(k/2) eps, so only for data whose mean is not large
 *     against its spread.
 *   TARR_SS_METHOD_1PASS (0x2): one pass over memory for mean and S_2 (accurate whatever the
 *     mean: each cache-sized block's mean and central sums about its own mean, merged into the
 *     running values by the pairwise formulas below), running central sums S_3, S_4 kept the
 *     same way (accurate); central moments
 *     3 and 4 formed from the raw moments by the formulas above.  Their relative error is about
 *     eps * (|m|+s)^k / |c_k| (s the spread): with mean 1e6 and spread 1 they are meaningless;
 *     with |m| <= s they carry about 13 digits in double.
 *   TARR_SS_METHOD_1PASS_CENTRAL (0x100):
 *     the same pass as 0x2 but central moments 3 and 4 (and so kurtosis and skewness) come
 *     from the running central sums, accurate whatever the mean.
 *   TARR_SS_METHOD_SUM_TO_MOM (0x200), TARR_SS_METHOD_SUM_TO_MOM_FREQ (0x400): read no
 *     observations; turn the sums held in the task (with W, W2 from the accumulator) into
 *     moments.  0x200 treats weights as reliability weights (divisor B = W - W2/W for order 2),
 *     0x400 as frequency weights (divisor W - 1).  Sums, the cross-product, the covariance and
 *     the correlation are refused with TARR_SS_ERROR_BAD_METHOD under these methods.
 *
 * Cumulative calls: results arrays hold the running values; the accumulator carries W, W2.
 * A later call reads mean, raw moments, S_2 (from central moment 2, central sum 2 or the
 * covariance diagonal), S_3, S_4 and the cross-product back from the registered arrays
 * and merges the new data in, so two calls on halves equal one call on the whole up to
 * rounding.  Continue with the same estimate set.  A stored correlation is turned back into a
 * cross-product with the old diagonal S_2 taken from the covariance, central moment 2 or
 * central sum 2 array (the first registered); without any of them the earlier data of the
 * correlation cannot be recovered and the matrix restarts from the new data.
 *
 * Threading: the observations are split into one consecutive range per thread; each range
 * yields a partial (W, W2, mean, raw moments, S_2..S_4, shifted cross-product).  Partials are
 * merged in range order by the exact pairwise formulas (d = m_b - m_a, W = W_a + W_b):
 *   m = m_a + d W_b/W;  r_k = (W_a r_ka + W_b r_kb)/W;
 *   S_2 = S_2a + S_2b + d^2 W_a W_b/W;
 *   S_3 = S_3a + S_3b + d^3 W_a W_b (W_a - W_b)/W^2 + 3 d (W_a S_2b - W_b S_2a)/W;
 *   S_4 = S_4a + S_4b + d^4 W_a W_b (W_a^2 - W_a W_b + W_b^2)/W^3
 *         + 6 d^2 (W_a^2 S_2b + W_b^2 S_2a)/W^2 + 4 d (W_a S_3b - W_b S_3a)/W;
 *   cross-products about one common shift s add: C = C_a + C_b, and the centred matrix is
 *   C - W (m - s)(m - s)^T.
 * So 1 and N threads agree to rounding.  Float tasks accumulate moments in double.
 *
 * Minimum/maximum (_tarr?SSMinmax, estimate bits 0x400 and 0x800): method 0x1 overwrites the
 * arrays with the extremes of the observations of this call; method 0x2 merges them with the
 * values already stored (a running minimum/maximum over calls).  Observations of weight 0
 * are skipped.
 *
 * Limits: p and n up to 2^31-1 with 32-bit task integers; with 64-bit task integers n up to
 * 2^63-1 and p up to 2^31-1 (matrix dimensions go to 32-bit BLAS).  Matrix estimates use the
 * host BLAS, so their accuracy is that of a shifted cross-product: about eps * n * spread^2.
 */
#ifndef ZORP_SS_H
#define ZORP_SS_H

#include <stddef.h>
#include <stdint.h>

#include "zorp/export.h"

ZORP_BEGIN_C

/* ---- status codes ---------------------------------------------------------------------- */
#define TARR_SS_STATUS_OK 0
#define TARR_SS_ERROR_BAD_PARAM_NUMBER (-3)
#define TARR_SS_ERROR_ALLOCATION (-4000)
#define TARR_SS_ERROR_BAD_DIMENSION (-4001)
#define TARR_SS_ERROR_BAD_NOBS (-4002)
#define TARR_SS_ERROR_BAD_STORAGE (-4003)
#define TARR_SS_ERROR_NULL_INDICES (-4004)
#define TARR_SS_ERROR_NULL_WEIGHTS (-4005)
#define TARR_SS_ERROR_NULL_MEAN (-4006)
#define TARR_SS_ERROR_NULL_RAW_MOMENT_2 (-4007)
#define TARR_SS_ERROR_NULL_RAW_MOMENT_3 (-4008)
#define TARR_SS_ERROR_NULL_RAW_MOMENT_4 (-4009)
#define TARR_SS_ERROR_NULL_CENTRAL_MOMENT_2 (-4010)
#define TARR_SS_ERROR_NULL_CENTRAL_MOMENT_3 (-4011)
#define TARR_SS_ERROR_NULL_CENTRAL_MOMENT_4 (-4012)
#define TARR_SS_ERROR_NULL_KURTOSIS (-4013)
#define TARR_SS_ERROR_NULL_SKEWNESS (-4014)
#define TARR_SS_ERROR_NULL_EXTREME_LOW (-4015)
#define TARR_SS_ERROR_NULL_EXTREME_HIGH (-4016)
#define TARR_SS_ERROR_NULL_VARIATION (-4017)
#define TARR_SS_ERROR_NULL_COV (-4018)
#define TARR_SS_ERROR_NULL_COR (-4019)
#define TARR_SS_ERROR_NULL_ACCUM_WEIGHTS (-4020)
#define TARR_SS_ERROR_NULL_QUANT_ORDERS (-4021)
#define TARR_SS_ERROR_NULL_QUANT_COUNT (-4022)
#define TARR_SS_ERROR_NULL_QUANTILES (-4023)
#define TARR_SS_ERROR_NULL_ORDER_STATS (-4024)
#define TARR_SS_ERROR_OUTL_SUBSET_TOO_SMALL (-4026)
#define TARR_SS_ERROR_NULL_RCOV (-4027)
#define TARR_SS_ERROR_NULL_RCOV_MEAN (-4028)
#define TARR_SS_ERROR_BAD_METHOD (-4029)
#define TARR_SS_ERROR_NULL_GROUP_INDICES (-4030)
#define TARR_SS_ERROR_NULL_TASK (-4031)
#define TARR_SS_ERROR_NULL_OBSERVATIONS (-4032)
#define TARR_SS_ERROR_NULL_POOLED_COV (-4034)
#define TARR_SS_ERROR_NULL_POOLED_MEAN (-4035)
#define TARR_SS_ERROR_NULL_GROUP_COVS (-4036)
#define TARR_SS_ERROR_NULL_GROUP_MEANS (-4037)
#define TARR_SS_ERROR_NULL_GROUP_ITEMS (-4038)
#define TARR_SS_ERROR_NULL_OUTL_PARAMS (-4039)
#define TARR_SS_ERROR_NULL_OUTL_NPARAMS (-4040)
#define TARR_SS_ERROR_NULL_OUTL_WEIGHTS (-4041)
#define TARR_SS_ERROR_NULL_RCOV_PARAMS (-4042)
#define TARR_SS_ERROR_NULL_RCOV_NPARAMS (-4043)
#define TARR_SS_ERROR_NULL_STORAGE_ITEM (-4044)
#define TARR_SS_ERROR_NULL_PARTIAL_INDICES (-4045)
#define TARR_SS_ERROR_NULL_PARTIAL_COV (-4046)
#define TARR_SS_ERROR_NULL_PARTIAL_COR (-4047)
#define TARR_SS_ERROR_NULL_MISSING_2 (-4048)
#define TARR_SS_ERROR_NULL_MISSING_1 (-4049)
#define TARR_SS_ERROR_BAD_MISSING_NPARAMS (-4050)
#define TARR_SS_ERROR_NULL_MISSING_3 (-4052)
#define TARR_SS_ERROR_NULL_MISSING_4 (-4053)
#define TARR_SS_ERROR_NULL_MISSING_6 (-4054)
#define TARR_SS_ERROR_NULL_MISSING_5 (-4055)
#define TARR_SS_ERROR_NULL_MISSING_7 (-4056)
#define TARR_SS_ERROR_NULL_MISSING_8 (-4057)
#define TARR_SS_ERROR_NULL_MISSING_9 (-4061)
#define TARR_SS_ERROR_BAD_MISSING_ITEMS (-4060)
#define TARR_SS_ERROR_NULL_MISSING_10 (-4062)
#define TARR_SS_ERROR_SQUANT_NPARAMS_MISSING (-4064)
#define TARR_SS_ERROR_NULL_SQUANT_PARAMS (-4065)
/* a null parameter-count item in the editor; in _tarr?SSStreamQuantiles a count other than 1 */
#define TARR_SS_ERROR_NULL_SQUANT_NPARAMS (-4066)
#define TARR_SS_ERROR_NULL_SQUANT_ORDERS (-4068)
#define TARR_SS_ERROR_NULL_SQUANT_COUNT (-4069)
#define TARR_SS_ERROR_NULL_SQUANTILES (-4070)
#define TARR_SS_ERROR_NULL_PARAMTRZ_COR (-4071)
#define TARR_SS_ERROR_EIGEN_FAILED (-4072)
#define TARR_SS_ERROR_PARTIAL_BAD_DIMENSION (-4073)
/* the same code from the correlation repair: every eigenvalue was below the floor */
#define TARR_SS_ERROR_NO_USABLE_EIGENVALUE (-4073)
#define TARR_SS_ERROR_NULL_SUM (-4074)
#define TARR_SS_ERROR_NULL_RAW_SUM_2 (-4075)
#define TARR_SS_ERROR_NULL_RAW_SUM_3 (-4076)
#define TARR_SS_ERROR_NULL_RAW_SUM_4 (-4077)
#define TARR_SS_ERROR_NULL_CENTRAL_SUM_2 (-4078)
#define TARR_SS_ERROR_NULL_CENTRAL_SUM_3 (-4079)
#define TARR_SS_ERROR_NULL_CENTRAL_SUM_4 (-4080)
#define TARR_SS_ERROR_NULL_CP (-4081)
#define TARR_SS_ERROR_NULL_MEDIAN_ABS_DEV (-4082)
#define TARR_SS_ERROR_NULL_MEAN_ABS_DEV (-4083)
#define TARR_SS_ERROR_NULL_SORTED (-4084)
#define TARR_SS_ERROR_SORT_IN_PLACE_WITH_INDICES (-4085)
#define TARR_SS_ERROR_NOT_POSITIVE_DEFINITE (-5010)
#define TARR_SS_ERROR_INVERSION_FAILED (-5011)
/* warning (positive): the correlation repair changed the matrix */
#define TARR_SS_WARNING_COR_REPAIRED 4029

/* ---- storage words ------------------------------------------------------------------------ */
#define TARR_SS_MATRIX_STORAGE_1 0x10000
#define TARR_SS_MATRIX_STORAGE_2 0x20000
#define TARR_SS_MATRIX_STORAGE_FULL 0x0
#define TARR_SS_MATRIX_STORAGE_U_PACKED 0x1
#define TARR_SS_MATRIX_STORAGE_L_PACKED 0x2

/* ---- estimate bits (64-bit mask) ---------------------------------------------------------- */
#define TARR_SS_MEAN 0x1ULL
#define TARR_SS_RAW_MOMENT_2 0x2ULL
#define TARR_SS_RAW_MOMENT_3 0x4ULL
#define TARR_SS_RAW_MOMENT_4 0x8ULL
#define TARR_SS_CENTRAL_MOMENT_2 0x10ULL
#define TARR_SS_CENTRAL_MOMENT_3 0x20ULL
#define TARR_SS_CENTRAL_MOMENT_4 0x40ULL
#define TARR_SS_KURTOSIS 0x80ULL
#define TARR_SS_SKEWNESS 0x100ULL
#define TARR_SS_VARIATION 0x200ULL
#define TARR_SS_MIN 0x400ULL
#define TARR_SS_MAX 0x800ULL
#define TARR_SS_COV 0x1000ULL
#define TARR_SS_COR 0x2000ULL
#define TARR_SS_SUM 0x2000000ULL
#define TARR_SS_RAW_SUM_2 0x4000000ULL
#define TARR_SS_RAW_SUM_3 0x8000000ULL
#define TARR_SS_RAW_SUM_4 0x10000000ULL
#define TARR_SS_CENTRAL_SUM_2 0x20000000ULL
#define TARR_SS_CENTRAL_SUM_3 0x40000000ULL
#define TARR_SS_CENTRAL_SUM_4 0x80000000ULL
#define TARR_SS_CP 0x100000000ULL
#define TARR_SS_POOLED_COV 0x4000ULL
#define TARR_SS_GROUP_COV 0x8000ULL
#define TARR_SS_QUANTS 0x10000ULL
#define TARR_SS_ORDER_STATS 0x20000ULL
#define TARR_SS_PARTIAL_COV 0x100000ULL
#define TARR_SS_PARTIAL_COR 0x200000ULL
#define TARR_SS_MEDIAN_ABS_DEV 0x200000000ULL
#define TARR_SS_MEAN_ABS_DEV 0x400000000ULL
#define TARR_SS_POOLED_MEAN 0x800000000ULL
#define TARR_SS_GROUP_MEAN 0x1000000000ULL

/* ---- method bits -------------------------------------------------------------------------- */
#define TARR_SS_METHOD_FAST 0x1
#define TARR_SS_METHOD_1PASS 0x2
#define TARR_SS_METHOD_1PASS_CENTRAL 0x100
#define TARR_SS_METHOD_SUM_TO_MOM 0x200
#define TARR_SS_METHOD_SUM_TO_MOM_FREQ 0x400
/* minimum/maximum */
#define TARR_SS_METHOD_MINMAX_NEW 0x1
#define TARR_SS_METHOD_MINMAX_CONTINUE 0x2
/* partial covariance, pooled covariance */
#define TARR_SS_METHOD_PARTIAL 0x1
#define TARR_SS_METHOD_POOLED 0x2
/* quantiles, order statistics, weighted median */
#define TARR_SS_METHOD_QUANTILES 0x1
/* streaming quantiles: estimates that are observed values, or interpolated between them */
#define TARR_SS_METHOD_SQUANTS_OBSERVED 0x40
#define TARR_SS_METHOD_SQUANTS 0x80
/* sorting */
#define TARR_SS_METHOD_SORT 0x100000
/* absolute deviations: medians and mean computed, or the mean given in slot 11 */
#define TARR_SS_METHOD_MAD 0x1
#define TARR_SS_METHOD_MAD_GIVEN_MEAN 0x100
/* robust estimates, outliers, missing values, correlation repair */
#define TARR_SS_METHOD_COR_REPAIR 0x4
#define TARR_SS_METHOD_ROBUST_COV 0x8
#define TARR_SS_METHOD_MISSING_VALUES 0x10
#define TARR_SS_METHOD_BACON 0x20

/* ---- parameter numbers ------------------------------------------------------------------ */
#define TARR_SS_PARAM_DIMENSION 1
#define TARR_SS_PARAM_NOBS 2
#define TARR_SS_PARAM_OBSERVATIONS 3
#define TARR_SS_PARAM_STORAGE 4
#define TARR_SS_PARAM_INDICES 5
#define TARR_SS_PARAM_WEIGHTS 6
#define TARR_SS_PARAM_MEAN 7
#define TARR_SS_PARAM_RAW_MOMENT_2 8
#define TARR_SS_PARAM_RAW_MOMENT_3 9
#define TARR_SS_PARAM_RAW_MOMENT_4 10
#define TARR_SS_PARAM_CENTRAL_MOMENT_2 11
#define TARR_SS_PARAM_CENTRAL_MOMENT_3 12
#define TARR_SS_PARAM_CENTRAL_MOMENT_4 13
#define TARR_SS_PARAM_KURTOSIS 14
#define TARR_SS_PARAM_SKEWNESS 15
#define TARR_SS_PARAM_EXTREME_LOW 16
#define TARR_SS_PARAM_EXTREME_HIGH 17
#define TARR_SS_PARAM_VARIATION 18
#define TARR_SS_PARAM_COV 19
#define TARR_SS_PARAM_COV_STORAGE 20
#define TARR_SS_PARAM_COR 21
#define TARR_SS_PARAM_COR_STORAGE 22
#define TARR_SS_PARAM_ACCUM_WEIGHTS 23
#define TARR_SS_PARAM_QUANT_COUNT 24
#define TARR_SS_PARAM_QUANT_ORDERS 25
#define TARR_SS_PARAM_QUANTILES 26
#define TARR_SS_PARAM_ORDER_STATS 27
#define TARR_SS_PARAM_GROUP_INDICES 28
#define TARR_SS_PARAM_POOLED_COV_STORAGE 29
#define TARR_SS_PARAM_POOLED_MEAN 30
#define TARR_SS_PARAM_POOLED_COV 31
#define TARR_SS_PARAM_REQ_GROUPS 32
#define TARR_SS_PARAM_GROUP_MEANS 33
#define TARR_SS_PARAM_GROUP_COVS_STORAGE 34
#define TARR_SS_PARAM_GROUP_COVS 35
#define TARR_SS_PARAM_RCOV_STORAGE 36
#define TARR_SS_PARAM_RCOV_NPARAMS 37
#define TARR_SS_PARAM_RCOV_PARAMS 38
#define TARR_SS_PARAM_RCOV_MEAN 39
#define TARR_SS_PARAM_RCOV 40
#define TARR_SS_PARAM_OUTL_NPARAMS 41
#define TARR_SS_PARAM_OUTL_PARAMS 42
#define TARR_SS_PARAM_OUTL_WEIGHTS 43
#define TARR_SS_PARAM_ORDER_STATS_STORAGE 44
#define TARR_SS_PARAM_PARTIAL_INDICES 45
#define TARR_SS_PARAM_PARTIAL_COV 46
#define TARR_SS_PARAM_PARTIAL_COV_STORAGE 47
#define TARR_SS_PARAM_PARTIAL_COR 48
#define TARR_SS_PARAM_PARTIAL_COR_STORAGE 49
#define TARR_SS_PARAM_MISSING_1 50
#define TARR_SS_PARAM_MISSING_2 51
#define TARR_SS_PARAM_MISSING_3 52
#define TARR_SS_PARAM_MISSING_4 53
#define TARR_SS_PARAM_MISSING_5 54
#define TARR_SS_PARAM_MISSING_6 55
#define TARR_SS_PARAM_MISSING_7 56
#define TARR_SS_PARAM_MISSING_8 57
#define TARR_SS_PARAM_MISSING_9 58
#define TARR_SS_PARAM_MISSING_10 59
#define TARR_SS_PARAM_PARAMTRZ_COR 60
#define TARR_SS_PARAM_PARAMTRZ_COR_STORAGE 61
#define TARR_SS_PARAM_SQUANT_NPARAMS 62
#define TARR_SS_PARAM_SQUANT_PARAMS 63
#define TARR_SS_PARAM_SQUANT_COUNT 64
#define TARR_SS_PARAM_SQUANT_ORDERS 65
#define TARR_SS_PARAM_SQUANTILES 66
#define TARR_SS_PARAM_SUM 67
#define TARR_SS_PARAM_RAW_SUM_2 68
#define TARR_SS_PARAM_RAW_SUM_3 69
#define TARR_SS_PARAM_RAW_SUM_4 70
#define TARR_SS_PARAM_CENTRAL_SUM_2 71
#define TARR_SS_PARAM_CENTRAL_SUM_3 72
#define TARR_SS_PARAM_CENTRAL_SUM_4 73
#define TARR_SS_PARAM_CP 74
#define TARR_SS_PARAM_CP_STORAGE 75
#define TARR_SS_PARAM_MEDIAN_ABS_DEV 76
#define TARR_SS_PARAM_MEAN_ABS_DEV 77
#define TARR_SS_PARAM_SORTED 78
#define TARR_SS_PARAM_SORTED_STORAGE 79

/* ---- the task record: 93 eight-byte slots, 744 bytes ----------------------------------- */
#define TARR_SS_TASK_SLOTS 93
typedef struct TarrSSTask TarrSSTask;
typedef void (*TarrSSCleanupFn)(TarrSSTask* task);
struct TarrSSTask {
  int32_t width_flag;    /* slot 0 low: nonzero = 64-bit task integers */
  int32_t version;       /* slot 0 high: 2 */
  int32_t precision;     /* slot 1 low: 1 double, 0 float */
  int32_t reserved1;     /* slot 1 high */
  const void* dimension; /* 2 */
  const void* nobs;      /* 3 */
  const void* indices;   /* 4 */
  const void* x;         /* 5 */
  const void* weights;   /* 6 */
  void* accum_weights;   /* 7: two reals W, W2 */
  const void* storage;   /* 8 */
  void* slot[84];        /* 9 .. 92, indexed by slot number - 9; see TARR_SS_SLOT */
};
/* slot[] index of a slot number >= 9 */
#define TARR_SS_SLOT(n) ((n)-9)

/* ---- task entries ---------------------------------------------------------------------- */
/* p, n, storage (and indices) are read as int64_t when width_flag is nonzero, else int32_t. */
ZORP_API int __tarrdSSNewTask(TarrSSTask** task, const void* p, const void* n, const void* storage,
                              const double* x, const double* w, const void* indices,
                              int width_flag);
ZORP_API int __tarrsSSNewTask(TarrSSTask** task, const void* p, const void* n, const void* storage,
                              const float* x, const float* w, const void* indices, int width_flag);
ZORP_API int __tarrdSSEditTask(TarrSSTask* task, int param, const double* value);
ZORP_API int __tarrsSSEditTask(TarrSSTask* task, int param, const float* value);
ZORP_API int __tarriSSEditTask(TarrSSTask* task, int param, const void* value);
ZORP_API int __tarrSSDeleteTask(TarrSSTask** task);

/* Grouped editors: null arguments leave their slots as they were; -4031 for a null task.
 * Real arrays are double* (the d editors) or float* (the s editors), integer items const void*. */
#define TARR_SS_GROUPED_EDITORS(t, T)                                                             \
  ZORP_API int __tarr##t##SSEditMoments(TarrSSTask* task, T* mean, T* r2, T* r3, T* r4, T* c2,  \
                                        T* c3, T* c4);                                          \
  ZORP_API int __tarr##t##SSEditSums(TarrSSTask* task, T* sum, T* rs2, T* rs3, T* rs4, T* cs2,  \
                                     T* cs3, T* cs4);                                           \
  ZORP_API int __tarr##t##SSEditCovCor(TarrSSTask* task, T* mean, T* cov, const void* cov_storage, \
                                       T* cor, const void* cor_storage);                        \
  ZORP_API int __tarr##t##SSEditCP(TarrSSTask* task, T* mean, T* sum, T* cp,                    \
                                   const void* cp_storage);                                     \
  ZORP_API int __tarr##t##SSEditPartialCovCor(TarrSSTask* task, const void* roles, T* cov,      \
                                              const void* cov_storage, T* cor,                  \
                                              const void* cor_storage, T* pcov,                 \
                                              const void* pcov_storage, T* pcor,                \
                                              const void* pcor_storage);                        \
  ZORP_API int __tarr##t##SSEditQuantiles(TarrSSTask* task, const void* count, T* orders,       \
                                          T* quantiles, T* order_stats,                         \
                                          const void* order_stats_storage);                     \
  ZORP_API int __tarr##t##SSEditStreamQuantiles(TarrSSTask* task, const void* count, T* orders, \
                                                T* estimates, const void* nparams, T* params);  \
  ZORP_API int __tarr##t##SSEditPooledCovariance(TarrSSTask* task, const void* group_indices,   \
                                                 T* pooled_mean, T* pooled_cov,                 \
                                                 const void* req_groups, T* group_means,        \
                                                 T* group_covs);                                \
  ZORP_API int __tarr##t##SSEditRCov(TarrSSTask* task, const void* rcov_storage,                \
                                     const void* nparams, T* params, T* rmean, T* rcov);        \
  ZORP_API int __tarr##t##SSEditOutDetect(TarrSSTask* task, const void* nparams, T* params,     \
                                          T* weights_out);                                      \
  ZORP_API int __tarr##t##SSEditMissingVals(TarrSSTask* task, const void* i1, T* r1,            \
                                            const void* i2, T* r2, const void* i3, T* r3,       \
                                            const void* i4, T* r4, const void* i5, T* r5);      \
  ZORP_API int __tarr##t##SSEditMtxParametrz(TarrSSTask* task, T* cor, const void* cor_storage, \
                                             T* pcor, const void* pcor_storage);
TARR_SS_GROUPED_EDITORS(d, double)
TARR_SS_GROUPED_EDITORS(s, float)

/* ---- compute entries ------------------------------------------------------------------- */
ZORP_API int _tarrdSSBasic(TarrSSTask* task, uint64_t estimates, uint32_t method);
ZORP_API int _tarrsSSBasic(TarrSSTask* task, uint64_t estimates, uint32_t method);
ZORP_API int _tarrdSSMinmax(TarrSSTask* task, uint64_t estimates, uint32_t method);
ZORP_API int _tarrsSSMinmax(TarrSSTask* task, uint64_t estimates, uint32_t method);
/* Pooled covariance (method 0x2): group numbers 0..g-1 (g = largest entry + 1) in the group
 * array, a negative entry leaves the observation out; the requested-group array has g entries
 * and the requested groups' means (p each) and covariances follow one another.  A group's
 * covariance divides by W_g - W2_g/W_g (n_g - 1 unweighted), the pooled one by the sum of those
 * (n - g unweighted); the pooled mean is that of every grouped observation.
 * Partial covariance (method 0x1): a positive role puts the component in Y, a negative one in
 * Z (conditioned on), 0 leaves it out; results are |Y| x |Y| over Y in increasing order.
 * Quantiles and streaming quantiles: component c's estimates at results + c * count; NaNs sort
 * last.  Streaming: rank error below epsilon n; exact while a component's stream holds no
 * more than k observations, k the least even number with k epsilon >= 66 - log2 k (4,870 for
 * epsilon 0.01).
 * WMedian: the first value whose cumulative weight reaches q W, the midpoint with the next
 * weighted value where it equals q W exactly (0 < q < 1); NaN without any weight. */
ZORP_API int _tarrdSSPooledCovariance(TarrSSTask* task, uint64_t estimates, uint32_t method);
ZORP_API int _tarrsSSPooledCovariance(TarrSSTask* task, uint64_t estimates, uint32_t method);
ZORP_API int _tarrdSSPartialCovariance(TarrSSTask* task, uint64_t estimates, uint32_t method);
ZORP_API int _tarrsSSPartialCovariance(TarrSSTask* task, uint64_t estimates, uint32_t method);
ZORP_API int _tarrdSSQuantiles(TarrSSTask* task, uint64_t estimates, uint32_t method);
ZORP_API int _tarrsSSQuantiles(TarrSSTask* task, uint64_t estimates, uint32_t method);
ZORP_API int _tarrdSSStreamQuantiles(TarrSSTask* task, uint64_t estimates, uint32_t method);
ZORP_API int _tarrsSSStreamQuantiles(TarrSSTask* task, uint64_t estimates, uint32_t method);
ZORP_API int _tarrdSSSort(TarrSSTask* task, uint64_t estimates, uint32_t method);
ZORP_API int _tarrsSSSort(TarrSSTask* task, uint64_t estimates, uint32_t method);
ZORP_API int _tarrdSSWMedian(TarrSSTask* task, uint64_t estimates, uint32_t method);
ZORP_API int _tarrsSSWMedian(TarrSSTask* task, uint64_t estimates, uint32_t method);
ZORP_API int _tarrdSSMAD(TarrSSTask* task, uint64_t estimates, uint32_t method);
ZORP_API int _tarrsSSMAD(TarrSSTask* task, uint64_t estimates, uint32_t method);
/* Robust estimates, outliers, missing values, correlation repair.  Each computes what its
 * method bit names; the estimate mask is not read.  Float tasks compute in double inside and
 * round the results once.
 *
 * RobustCovariance (method 0x8): robust mean (slot 59, p reals) and covariance (slot 60, in the
 * storage of slot 61) of the n > 2p observations by Rocke's translated-biweight S-estimator,
 * started from coordinate-wise medians and concentration steps.  Parameters (slot 57 count,
 * slot 58): count 0 (or no count) takes every default; count k in 1..4 gives the first k of
 * [0] breakdown point in (0, 0.5] (0.5), [1] asymptotic rejection probability in (0, 1)
 * (0.001), [2] stopping accuracy > 0 (0.0001: the iteration ends when every eigenvalue of
 * S_old^-1 S_new is within it of 1 and the mean moved by at most it in the old metric),
 * [3] iteration limit, a whole number >= 1 (100).  A count outside 0..4 gives
 * TARR_SS_ERROR_NULL_RCOV_NPARAMS, a missing array or an unusable value
 * TARR_SS_ERROR_NULL_RCOV_PARAMS; TARR_SS_ERROR_NOT_POSITIVE_DEFINITE when a scatter is
 * singular, TARR_SS_ERROR_EIGEN_FAILED when an eigen-decomposition fails.  Weights and
 * component indices are not read.
 *
 * OutliersDetection (method 0x20, BACON): weights (slot 64) 1 for observations of the final
 * clean subset, 0 for outliers.  Parameters (slot 62 count, slot 63): with count 3, start
 * method (1: distances from the coordinate-wise mean and covariance; 2: distances from the
 * coordinate-wise median), alpha (the Bonferroni level: the cut-off is the chi-square quantile
 * of p degrees of freedom at 1 - alpha/n, scaled by the small-sample correction factor) and the
 * stopping tolerance (the subset's relative growth per step that ends the iteration); defaults
 * start 2, alpha 0.05, tolerance 0.005 (also when the given tolerance is not positive).  A
 * start other than 1 or 2, or alpha outside (0, 1), gives TARR_SS_ERROR_NULL_OUTL_PARAMS.
 * Weights and component indices are not read.  TARR_SS_ERROR_OUTL_SUBSET_TOO_SMALL when at most 4p
 * observations stay clean; TARR_SS_ERROR_NOT_POSITIVE_DEFINITE when a subset's covariance is
 * singular (a constant component, say).
 *
 * MahDistance: the squared Mahalanobis distance of every observation from the mean and
 * inverse covariance that the outlier detection keeps in the task's internal slots while it
 * runs; called directly, with those slots empty, it returns TARR_SS_ERROR_NULL_OUTL_WEIGHTS.
 *
 * MissingValues (method 0x10): missing entries are NaN.  The ten items (parameter numbers
 * TARR_SS_PARAM_MISSING_1 .. _10):
 *   1  integer: number of parameters in item 2, must be 5;
 *   2  reals: the parameters: [0] EM iteration limit, [1] data-augmentation iterations between
 *      two imputed sets (and before the first), [2] EM stopping tolerance (largest change of a
 *      mean or covariance entry, relative to the variances), [3] number m of imputed sets,
 *      [4] 0 for the non-informative prior in the posterior draws, 1 for one that adds
 *      p + 1 degrees of freedom with the EM covariance as its scale (steadier for small n);
 *   3, 4  integer and reals: a starting point for EM, mean then covariance as the upper
 *      triangle packed by columns (count p + p(p+1)/2); count 0 or items absent: start from
 *      the mean and variance of each component's observed values;
 *   5, 6  integer and reals: where EM's estimates go, same layout as items 3 and 4 (count at
 *      least p + p(p+1)/2);
 *   7, 8  integer and reals: the m sets' simulated estimates (the parameters drawn in each
 *      set's last posterior step), one set after the other in the layout of items 3 and 4
 *      (count at least m (p + p(p+1)/2)); given both, the data augmentation runs;
 *   9, 10  integer and reals: the imputed values, for each of the m sets every missing entry
 *      in the order of the observation array (count at least m times the number of NaNs);
 *      optional.
 * Without items 7 and 8 only EM runs, and items 5 and 6 must be there.  Inconsistent counts
 * give TARR_SS_ERROR_BAD_MISSING_ITEMS.  Items 3/4 and 9/10 are used only when both halves
 * are given.  __tarr?SSEditMissingVals takes its five pairs as items (1, 2), (3, 4), (9, 10),
 * (5, 6), (7, 8), in the order of the task's slots 70 to 79.
 * EM stops when no mean moves by more than the tolerance times its standard deviation and no
 * covariance entry by more than the tolerance times sqrt(s_ii s_jj), or at the iteration limit
 * (not an error).  Observations with nothing observed are left out of EM and the posterior and
 * only imputed.  Prior 1: Sigma^-1 ~ Wishart(n' + p, (A + (p+1) Sigma_EM)^-1), A the completed
 * data's centred cross-product; prior 0: Wishart(n' - 1, A^-1).
 * The draws come from a private MCG59 stream seeded with the fixed words 0x40000 and 0, in
 * that order, so a call is repeatable (the other order seeds 2^50, from which MCG59 repeats
 * after 128 draws).  TARR_SS_ERROR_NOT_POSITIVE_DEFINITE when a factorisation fails (a
 * component without observed values or spread, a singular estimate, n' <= p),
 * TARR_SS_ERROR_INVERSION_FAILED when a triangular inversion does, the stream's status when
 * the stream cannot be made or drawn from.  p + 1 and n must not exceed 2^31 - 1.  Weights and
 * indices are not read.
 *
 * CorParametrization (method 0x4): the nearest-by-eigenvalues positive definite correlation
 * of the matrix in slot 33: eigenvalues below 1e-14 are raised to 1e-14 and the rebuilt
 * matrix scaled back to unit diagonal.  0 and a copy when nothing needed raising,
 * TARR_SS_WARNING_COR_REPAIRED when the matrix was repaired, TARR_SS_ERROR_NO_USABLE_EIGENVALUE
 * when every eigenvalue was below the floor, TARR_SS_ERROR_EIGEN_FAILED when the
 * eigen-decomposition failed. */
ZORP_API int _tarrdSSRobustCovariance(TarrSSTask* task, uint64_t estimates, uint32_t method);
ZORP_API int _tarrsSSRobustCovariance(TarrSSTask* task, uint64_t estimates, uint32_t method);
ZORP_API int _tarrdSSOutliersDetection(TarrSSTask* task, uint64_t estimates, uint32_t method);
ZORP_API int _tarrsSSOutliersDetection(TarrSSTask* task, uint64_t estimates, uint32_t method);
ZORP_API int _tarrdSSMahDistance(TarrSSTask* task, uint64_t estimates, uint32_t method);
ZORP_API int _tarrsSSMahDistance(TarrSSTask* task, uint64_t estimates, uint32_t method);
ZORP_API int _tarrdSSMissingValues(TarrSSTask* task, uint64_t estimates, uint32_t method);
ZORP_API int _tarrsSSMissingValues(TarrSSTask* task, uint64_t estimates, uint32_t method);
ZORP_API int _tarrdSSCorParametrization(TarrSSTask* task, uint64_t estimates, uint32_t method);
ZORP_API int _tarrsSSCorParametrization(TarrSSTask* task, uint64_t estimates, uint32_t method);
/* Frees the task's streaming summaries (the clean-up function _tarr?SSStreamQuantiles
 * registers on the task); a later streaming call starts a new stream. */
ZORP_API void __tarrSQuantilesFreeBuffers(TarrSSTask* task);

/* ---- sorting and selection ----------------------------------------------------------------- */
/* Ascending, in place; NaNs go last.  Counts below 2, a null array or a step below 1 do nothing. */
ZORP_API void __tarrdQSort(int n, double* x);
ZORP_API void __tarrsQSort(int n, float* x);
/* The n values x[0], x[step], ..., x[(n-1)*step], sorted in place. */
ZORP_API void __tarrdQSortStep(int n, double* x, int step);
ZORP_API void __tarrsQSortStep(int n, float* x, int step);
/* The k-th smallest of x[0..n-1] (k from 0; NaNs count as the largest values); x is left
 * partially ordered: x[k] holds the result, nothing before it is larger, nothing after it
 * smaller.  NaN for k outside [0, n) or a null array. */
ZORP_API double __tarrdQSortSelect(int n, double* x, int k);
ZORP_API float __tarrsQSortSelect(int n, float* x, int k);

/* ---- support functions ------------------------------------------------------------------ */
/* Correctly rounded square root (NaN for negative input); the root of the correlation,
 * skewness and variation coefficient. */
ZORP_API double __tarrdSqrt(double x);
/* Chi-square law with `dof` > 0 degrees of freedom: distribution function, density, and the
 * quantile of probability `prob` in [0, 1] (0 and +inf at the ends).  NaN for a NaN argument,
 * dof <= 0, or prob outside [0, 1]; x < 0 gives 0 for both the distribution and the density. */
ZORP_API double __tarrdChi2CDF(double x, double dof);
ZORP_API double __tarrdChi2PDF(double x, double dof);
ZORP_API double __tarrdChi2ICDF(double prob, double dof);
/* dof = +inf: the distribution function is 0 for finite x (1 at x = +inf), the density 0 and
 * the quantile +inf for prob > 0.  For dof in [0.1, 1e4] the distribution function and density
 * are within a few 1e-15 relatively and the quantile within 1e-14; beyond dof 2e8 a uniform
 * asymptotic form takes over, relative error about 1e-10.
 * ln |Gamma(x)|; +inf at 0, the negative integers and every number below -2^52; never -0. */
ZORP_API double __tarrdLGamma(double x);
/* A symmetric p x p matrix in full column-major storage (both triangles read):
 * TestCovRank returns 0 when it is numerically of full rank and positive definite (a Cholesky
 * factor whose every pivot exceeds p * 2^-52 times the largest diagonal entry), otherwise
 * TARR_SS_ERROR_NOT_POSITIVE_DEFINITE; TARR_SS_ERROR_ALLOCATION if its work copy cannot be had.
 * InvCov replaces the matrix by its inverse (both triangles written): 0, or
 * TARR_SS_ERROR_NOT_POSITIVE_DEFINITE / TARR_SS_ERROR_INVERSION_FAILED with the matrix
 * undefined.  p < 1 or a null matrix gives TARR_SS_ERROR_BAD_DIMENSION. */
ZORP_API int __tarrdTestCovRank(int p, const double* cov);
ZORP_API int __tarrdInvCov(int p, double* cov);

ZORP_END_C

#ifdef __cplusplus
static_assert(sizeof(TarrSSTask) == 744, "summary statistics task record is 93 slots");
static_assert(offsetof(TarrSSTask, dimension) == 2 * 8 && offsetof(TarrSSTask, storage) == 8 * 8 &&
                  offsetof(TarrSSTask, slot) == 9 * 8,
              "slot layout");
#endif
#endif
