/* Data fitting: the task record, its editors and queries, spline construction.  Every status
 * code of the family is defined here once.
 *
 * ---- Partition and cell buckets --------------------------------------------------------
 * x must be ascending with x[nx-1] > x[0].  The bucket table is built only for such a
 * partition: when the end points are not ordered (or not finite) or a later point lies below an
 * earlier one, no table is built (the task keeps a null bucket pointer and bucket count 0) and
 * the call still succeeds; cell search then works without buckets.  So a bad partition never
 * makes the builder index outside its table.
 * Construction needs every cell width x[i+1] - x[i] (uniform: (x[1] - x[0])/(nx-1)) positive and
 * finite: a repeated point, a descent, a NaN or an infinite point makes every construction
 * routine, for one function or several, return DF_ERROR_BAD_X (the one-function natural cubic
 * finds it while it builds its reduced system in the coefficient storage, which then holds
 * partial results, as on any error).  NaN function values are data: they give NaN coefficients
 * and status 0.
 *
 * ---- Shape edits -------------------------------------------------------------------------
 * iEditVal of ny or of yhint resizes the task's y and coefficient pointer arrays to the new shape
 * (one y pointer for storage by columns, ny otherwise; ny coefficient pointers): pointers that
 * still fit are kept, the others are empty, and construction returns DF_ERROR_BAD_Y or
 * DF_ERROR_BAD_SCOEFF until the caller sets them (EditPtr, or EditIdxPtr one function at a
 * time).  An edit of nx changes no pointer: the caller sets y and the coefficients again.
 *
 * ---- Construction ----------------------------------------------------------------------------
 * Coefficients: cell i of function f holds order values c0..c(order-1) with
 * S(t) = c0 + c1 (t-x_i) + c2 (t-x_i)^2 + c3 (t-x_i)^3.
 * Knot-based quadratic (type DF_PP_QUADRATIC_KNOTS): knots t_0 = x_0 < t_1 < ... < t_n = x_(n-1);
 * interior knots are the midpoints of the cells when ic is null; with ic type bit 4 they are
 * spaced evenly from ic[0] to ic[1]; with bit 4 clear and ic not null, ic holds the n-1 interior
 * knots t_1..t_(n-1).  Point x_j must lie in [t_j, t_(j+1)] (else DF_ERROR_BAD_IC).  Block j
 * (n blocks) is [S(t_j), S'(t_j), S''/2] relative to t_j.  The unknowns are the derivatives
 * D_0..D_n at the knots; interpolation of x_j and x_(j+1) with value continuity gives one row in
 * D_j, D_(j+1), D_(j+2); the end conditions give the first and last rows.
 * Hermite and default cubic with ny > 1: ic holds one row of n-2 values per function, function f
 * at ic + f*(n-2).
 * Periodic natural cubic on a non-uniform partition: the cyclic row 0 couples d_(n-2) with weight
 * h_0 and row n-2 couples d_0 with weight h_(n-3); the Sherman-Morrison split takes
 * u = (h_0, 0, ..., 0, h_(n-3)), v = (1, 0, ..., 0, 1), so the first diagonal entry is reduced by
 * h_0 and the last by h_(n-3) (both by 1 after the uniform scaling).
 */
#ifndef ZORP_DF_H
#define ZORP_DF_H

#include <stdint.h>

#include "zorp/export.h"

/* ---- status codes ---- */
#define DF_STATUS_OK 0
#define DF_ERROR_NULL_TASK (-1000)
#define DF_ERROR_MEM_FAILURE (-1001)
#define DF_ERROR_METHOD_NOT_SUPPORTED (-1002)
#define DF_ERROR_BAD_NX (-1004)
#define DF_ERROR_BAD_X (-1005)
#define DF_ERROR_BAD_X_HINT (-1006)
#define DF_ERROR_BAD_NY (-1007)
#define DF_ERROR_BAD_Y (-1008)
#define DF_ERROR_BAD_Y_HINT (-1009)
#define DF_ERROR_BAD_SPLINE_ORDER (-1010)
#define DF_ERROR_BAD_SPLINE_TYPE (-1011)
#define DF_ERROR_BAD_IC_TYPE (-1012)
#define DF_ERROR_BAD_IC (-1013)
#define DF_ERROR_BAD_BC_TYPE (-1014)
#define DF_ERROR_BAD_BC (-1015)
#define DF_ERROR_BAD_SCOEFF (-1016)
#define DF_ERROR_BAD_SCOEFF_HINT (-1017)
#define DF_ERROR_BAD_PERIODIC_VAL (-1018)
#define DF_ERROR_BAD_ATTRIBUTE (-1019)
#define DF_ERROR_BAD_INDEX (-1020)
#define DF_ERROR_SITE_NOT_IN_PARTITION (-1022)
#define DF_ERROR_BAD_SEARCH_HINT (-1026)
#define DF_ERROR_BAD_RHINT (-1028)
#define DF_ERROR_BAD_INTEGRATION_RHINT (-1034)
#define DF_ERROR_BAD_FLAG (-1036)
#define DF_ERROR_NULL_PTR (-1037)
#define DF_ERROR_SOLVER (-1500)

/* ---- attributes ---- */
#define DF_ATTR_X 1
#define DF_ATTR_Y 2
#define DF_ATTR_IC 3
#define DF_ATTR_BC 4
#define DF_ATTR_SCOEFF 5
#define DF_ATTR_NX 14
#define DF_ATTR_XHINT 15
#define DF_ATTR_NY 16
#define DF_ATTR_YHINT 17
#define DF_ATTR_SPLINE_ORDER 18
#define DF_ATTR_SPLINE_TYPE 19
#define DF_ATTR_IC_TYPE 20
#define DF_ATTR_BC_TYPE 21
#define DF_ATTR_SCOEFF_HINT 22
#define DF_ATTR_AUX_FLAG 23

/* ---- hints ---- */
#define DF_NO_HINT 0
#define DF_NON_UNIFORM_PARTITION 1
#define DF_QUASI_UNIFORM_PARTITION 2
#define DF_UNIFORM_PARTITION 4
#define DF_MATRIX_STORAGE_ROWS 16
#define DF_MATRIX_STORAGE_COLS 32
#define DF_MATRIX_STORAGE_FUNCS_SEP 128

/* ---- spline orders ---- */
#define DF_PP_LINEAR 2
#define DF_PP_QUADRATIC 3
#define DF_PP_CUBIC 4

/* ---- spline types: the one table of type values.  0 is the default kind of its order, 1 the
 * knot-based quadratic, 3 Hermite; the cubic kinds natural, Bessel, Akima and Hyman take the
 * values the host's dispatcher gives them, which are these four. */
#define DF_PP_DEFAULT 0
#define DF_PP_QUADRATIC_KNOTS 1
#define DF_PP_NATURAL 2
#define DF_PP_HERMITE 3
#define DF_PP_BESSEL 4
#define DF_PP_AKIMA 5
#define DF_PP_HYMAN 9

/* ---- boundary conditions (bit set) ---- */
#define DF_BC_NOT_A_KNOT 1
#define DF_BC_FREE_END 2
#define DF_BC_1ST_LEFT_DER 4
#define DF_BC_1ST_RIGHT_DER 8
#define DF_BC_2ND_LEFT_DER 16
#define DF_BC_2ND_RIGHT_DER 32
#define DF_BC_PERIODIC 64
#define DF_BC_Q_VAL 128

/* ---- internal conditions ---- */
#define DF_IC_1ST_DER 1
#define DF_IC_2ND_DER 2
#define DF_IC_Q_KNOT 8
#define DF_IC_Q_KNOT_RANGE 4

#ifdef __cplusplus
extern "C" {
#endif

/* The task record; fields in this order.  The bucket scale is a double in a double-precision
 * task and a float (first four bytes) in a single-precision one. */
typedef struct DFTask {
  uint32_t index_width;
  uint8_t kind;
  uint32_t precision;
  uint32_t dimension;
  int64_t nx;
  void* x;
  int64_t xhint;
  int64_t ny;
  void** y;
  int64_t yhint;
  int64_t order;
  int64_t type;
  int64_t ic_type;
  void* ic;
  int64_t bc_type;
  void* bc;
  void** coeff;
  int64_t coeff_hint;
  int64_t aux_flag;
  int64_t nbuckets;
  int64_t* buckets;
  union {
    double d;
    float s;
  } bucket_scale;
} DFTask;

ZORP_API int zorp_df_kernel_dNewTask1D(DFTask** task, int64_t nx, const double* x, int64_t xhint, int64_t ny,
                                       const double* y, int64_t yhint, uint32_t index_width);
ZORP_API int zorp_df_kernel_sNewTask1D(DFTask** task, int64_t nx, const float* x, int64_t xhint, int64_t ny,
                                       const float* y, int64_t yhint, uint32_t index_width);
ZORP_API int zorp_df_kernel_DeleteTask(DFTask** task);
ZORP_API int zorp_df_kernel_iEditVal(DFTask* task, int64_t attr, int64_t value);
ZORP_API int zorp_df_kernel_iQueryVal(DFTask* task, int64_t attr, void* out);
ZORP_API int zorp_df_kernel_dEditPtr(DFTask* task, int64_t attr, const double* p);
ZORP_API int zorp_df_kernel_sEditPtr(DFTask* task, int64_t attr, const float* p);
ZORP_API int zorp_df_kernel_dQueryPtr(DFTask* task, int64_t attr, void** out);
ZORP_API int zorp_df_kernel_sQueryPtr(DFTask* task, int64_t attr, void** out);
ZORP_API int zorp_df_kernel_dEditIdxPtr(DFTask* task, int64_t attr, int64_t idx, const double* p);
ZORP_API int zorp_df_kernel_sEditIdxPtr(DFTask* task, int64_t attr, int64_t idx, const float* p);
ZORP_API int zorp_df_kernel_dQueryIdxPtr(DFTask* task, int64_t attr, int64_t idx, void** out);
ZORP_API int zorp_df_kernel_sQueryIdxPtr(DFTask* task, int64_t attr, int64_t idx, void** out);
ZORP_API int zorp_df_kernel_dEditPPSpline1D(DFTask* task, int64_t order, int64_t type, int64_t bc_type,
                                            const double* bc, int64_t ic_type, const double* ic, double* scoeff,
                                            int64_t coeff_hint);
ZORP_API int zorp_df_kernel_sEditPPSpline1D(DFTask* task, int64_t order, int64_t type, int64_t bc_type,
                                            const float* bc, int64_t ic_type, const float* ic, float* scoeff,
                                            int64_t coeff_hint);

/* Construction: task, format (not read), method (0), host threading table (entry 0 the
 * launcher, entry 4 the thread count; may be null: everything runs in the calling thread). */
#define ZORP_DF_CONSTRUCT_DECL(p, Kind) \
  ZORP_API int zorp_df_kernel_##p##DF##Kind##Spline1D(DFTask* task, int64_t format, int64_t method, void** threading);
ZORP_DF_CONSTRUCT_DECL(s, Linear)
ZORP_DF_CONSTRUCT_DECL(d, Linear)
ZORP_DF_CONSTRUCT_DECL(s, Quadratic)
ZORP_DF_CONSTRUCT_DECL(d, Quadratic)
ZORP_DF_CONSTRUCT_DECL(s, NaturalCubic)
ZORP_DF_CONSTRUCT_DECL(d, NaturalCubic)
ZORP_DF_CONSTRUCT_DECL(s, AkimaCubic)
ZORP_DF_CONSTRUCT_DECL(d, AkimaCubic)
ZORP_DF_CONSTRUCT_DECL(s, BesselCubic)
ZORP_DF_CONSTRUCT_DECL(d, BesselCubic)
ZORP_DF_CONSTRUCT_DECL(s, HermiteCubic)
ZORP_DF_CONSTRUCT_DECL(d, HermiteCubic)
ZORP_DF_CONSTRUCT_DECL(s, HymanCubic)
ZORP_DF_CONSTRUCT_DECL(d, HymanCubic)
ZORP_DF_CONSTRUCT_DECL(s, DefaultCubic)
ZORP_DF_CONSTRUCT_DECL(d, DefaultCubic)
#undef ZORP_DF_CONSTRUCT_DECL

#ifdef __cplusplus
}
#endif
#endif
