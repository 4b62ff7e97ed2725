/* Data fitting: the task record, its editors and queries, spline construction, cell search,
 * interpolation and integration.  Every status code of the family is defined here once.
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
/* Argument errors of search, interpolation and integration. */
#define DF_ERROR_BAD_NSITE (-1021)      /* negative number of sites */
#define DF_ERROR_BAD_SITE (-1023)       /* site array null while sites are to be read */
#define DF_ERROR_BAD_NDORDER (-1024)    /* ndorder below 1 while values are requested */
#define DF_ERROR_BAD_DORDER (-1025)     /* dorder null; or a derivative asked of an order-0 kind */
#define DF_ERROR_BAD_R (-1027)          /* result array null while results are requested */
#define DF_ERROR_BAD_CELL (-1029)       /* cell array null while cells are written or read */
#define DF_ERROR_BAD_NLIM (-1030)       /* negative number of limit pairs */
#define DF_ERROR_BAD_LLIM (-1031)       /* left limits null */
#define DF_ERROR_BAD_RLIM (-1032)       /* right limits null */

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

/* ---- sites, data hints, computation types, result hints ---- */
#define DF_SORTED_DATA 64            /* sitehint: sites ascending */
#define DF_UNIFORM_SITES 4           /* sitehint: sites given by the first and the last */
#define DF_INTERP 1                  /* computation type: values and derivatives */
#define DF_CELL 2                    /* computation type: cells */
#define DF_CELL_GIVEN 4              /* computation type: the caller supplies the cells */
/* Interpolation result hints: the arrangement of r (nd requested orders, counted k = 0..nd-1
 * in rising derivative order; function f; site j).  0 is taken as 16. */
#define DF_RHINT_SITE_FUNC_DER 16    /* r[(j*ny + f)*nd + k]: all results of one site together */
#define DF_RHINT_FUNC_SITE_DER 32    /* r[(f*nsite + j)*nd + k] */
#define DF_RHINT_FUNC_DER_SITE 128   /* r[(f*nd + k)*nsite + j] */
#define DF_RHINT_DER_FUNC_SITE 256   /* r[(k*ny + f)*nsite + j] */
#define DF_RHINT_DER_SITE_FUNC 512   /* r[(k*nsite + j)*ny + f] */
/* Integration result hints (0 and 32 one arrangement, 16 and 128 the other). */
#define DF_RHINT_PAIR_FUNC 32        /* r[p*ny + f]: the ny integrals of pair p together */
#define DF_RHINT_FUNC_PAIR 16        /* r[f*nlim + p] */

/* ---- spline orders ---- */
#define DF_PP_LINEAR 2
#define DF_PP_QUADRATIC 3
#define DF_PP_CUBIC 4

/* Order-0 kinds of interpolation and integration (spline order 0). */
#define DF_PP_LOOKUP 6
#define DF_PP_STEP_RIGHT 7           /* continuous from the right */
#define DF_PP_STEP_LEFT 8            /* continuous from the left */

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

/* ---- cell search ------------------------------------------------------------------------
 * Cell of a site t: 0 for t < x[0] and for a NaN site; i for x[i-1] <= t < x[i]; nx-1 for
 * t = x[nx-1]; nx for t > x[nx-1].
 *
 * User search callback: called once per call (integration: once for the left limits, once for
 * the right ones) with the site count, the sites, a cell array (the method exports: the call's
 * own, in its width; Search1D: the caller's, in the task's index width; interpolation and
 * integration: int64_t cells of their own), one int32_t flag per site and the parameters.  It may fill cells and sets flag[j] nonzero for each site whose cell it
 * computed.  A negative result is returned at once; 1000 means every cell is done (the call
 * returns 0); any other result lets the library find the cells of the sites whose flag is 0,
 * starting from the cell the callback left (a negative cell counts as 0, one above nx as nx).
 *
 * Method exports take the same arguments in the same order, each method reading its own:
 * nx, x (uniform methods: the two end points), nsite, site, scale (uniform and uniform
 * user-defined: (nx-1)/(x[1]-x[0]); quasi-uniform: (nx-1)/(x[nx-1]-x[0])), start (sorted: the
 * starting cell, in and out), bucket_scale and buckets (hybrid: the task's cell buckets, null for
 * a plain bisection), peak (peak: the index near which most sites lie), cb, params, flag (the
 * user-defined methods), then the cell array; the form without suffix takes a flag word last
 * (bit 1: write cells; bit 0: 64-bit cells, else 32-bit).  They return 0 or the negative result
 * of the user callback. */
typedef int (*zorp_df_dsearch_cb)(int64_t* n, const double* site, void* cell, int32_t* flag, void* params);
typedef int (*zorp_df_ssearch_cb)(int64_t* n, const float* site, void* cell, int32_t* flag, void* params);

/* Search1D: task, method (passed on), nsite, site, sitehint, datahint (null, or datahint[1] = 0
 * or 1 and with 1 datahint[4] the peak index), cell (int32_t or int64_t by the task's index
 * width), user search callback and its parameters, host threading table (not read). */
ZORP_API int zorp_df_kernel_dDFSearch1D(DFTask* task, int64_t method, int64_t nsite, const double* site,
                                        int64_t sitehint, const double* datahint, void* cell, zorp_df_dsearch_cb cb,
                                        void* params, void** threading);
ZORP_API int zorp_df_kernel_sDFSearch1D(DFTask* task, int64_t method, int64_t nsite, const float* site,
                                        int64_t sitehint, const float* datahint, void* cell, zorp_df_ssearch_cb cb,
                                        void* params, void** threading);

#define ZORP_DF_SEARCH_ARGS(T, p)                                                                       \
  int64_t nx, const T* x, int64_t nsite, const T* site, T scale, int64_t* start, T bucket_scale,      \
      const int64_t* buckets, T peak, zorp_df_##p##search_cb cb, void* params, int32_t* flag
#define ZORP_DF_SEARCH_DECL(p, T, Method)                                                               \
  ZORP_API int zorp_df_kernel_##p##DF##Method##Search1D(ZORP_DF_SEARCH_ARGS(T, p), void* cell, uint32_t flags); \
  ZORP_API int zorp_df_kernel_##p##DF##Method##Search1D32(ZORP_DF_SEARCH_ARGS(T, p), int32_t* cell);          \
  ZORP_API int zorp_df_kernel_##p##DF##Method##Search1D64(ZORP_DF_SEARCH_ARGS(T, p), int64_t* cell);          \
  ZORP_API int zorp_df_kernel_##p##DF##Method##Search1D64Pack(ZORP_DF_SEARCH_ARGS(T, p), int64_t* cell);
#define ZORP_DF_SEARCH_BOTH(Method) ZORP_DF_SEARCH_DECL(s, float, Method) ZORP_DF_SEARCH_DECL(d, double, Method)
ZORP_DF_SEARCH_BOTH(Uniform)
ZORP_DF_SEARCH_BOTH(QuasiUniform)
ZORP_DF_SEARCH_BOTH(Sorted)
ZORP_DF_SEARCH_BOTH(Hybrid)
ZORP_DF_SEARCH_BOTH(Peak)
ZORP_DF_SEARCH_BOTH(UserDef)
ZORP_DF_SEARCH_BOTH(UniUserDef)
#undef ZORP_DF_SEARCH_BOTH
#undef ZORP_DF_SEARCH_DECL
#define DF_SEARCH_WRITE_CELLS 2u /* flag word of the method exports without suffix */
#define DF_SEARCH_64BIT_CELLS 1u

/* ---- interpolation ------------------------------------------------------------------------
 * Evaluation kind by (order, type): (0, 6) look-up, (0, 7) step continuous from the right,
 * (0, 8) step continuous from the left, (2, any) linear, (3, 0) default quadratic, (3, 1)
 * knot-based quadratic, (4, 0/2/3/4/5/9) cubic, (5 or more, any) piecewise polynomial of that
 * order; any other pair only with all three user callbacks (then the polynomial of the task's
 * order, its interior sites by the interior callback).  Order-0 kinds give values only.
 *
 * User callbacks (three pairs: left of the partition, right of it, interior of an unsupported
 * kind): called once per site they take over, as cb(&n (1), &cell, site, r, params); r receives
 * the site's results for every function, nd per function in rising derivative order.  A left
 * (right) callback takes over the sites of cell 0 (nx) from the end polynomial; the interior
 * callback serves cells 1..nx-1 of a kind the library cannot evaluate.  A negative result is
 * returned at once. */
typedef int (*zorp_df_dinterp_cb)(int64_t* n, int64_t* cell, const double* site, double* r, void* params);
typedef int (*zorp_df_sinterp_cb)(int64_t* n, int64_t* cell, const float* site, float* r, void* params);

/* Interpolate1D: task, computation type (DF_INTERP | DF_CELL, or DF_CELL_GIVEN [| DF_INTERP]),
 * method (not read), nsite, site, sitehint, ndorder, dorder (ndorder int32_t; 1 asks for that
 * derivative order, 0 the value), datahint, r, rhint, cell, left callback and parameters, right
 * callback and parameters, interior callback and parameters, user search callback and
 * parameters, host threading table (may be null). */
ZORP_API int zorp_df_kernel_dDFInterpolate1D(DFTask* task, int64_t type, int64_t method, int64_t nsite,
                                             const double* site, int64_t sitehint, int64_t ndorder,
                                             const int32_t* dorder, const double* datahint, double* r, int64_t rhint,
                                             void* cell, zorp_df_dinterp_cb le_cb, void* le_params,
                                             zorp_df_dinterp_cb re_cb, void* re_params, zorp_df_dinterp_cb i_cb,
                                             void* i_params, zorp_df_dsearch_cb search_cb, void* search_params,
                                             void** threading);
ZORP_API int zorp_df_kernel_sDFInterpolate1D(DFTask* task, int64_t type, int64_t method, int64_t nsite,
                                             const float* site, int64_t sitehint, int64_t ndorder,
                                             const int32_t* dorder, const float* datahint, float* r, int64_t rhint,
                                             void* cell, zorp_df_sinterp_cb le_cb, void* le_params,
                                             zorp_df_sinterp_cb re_cb, void* re_params, zorp_df_sinterp_cb i_cb,
                                             void* i_params, zorp_df_ssearch_cb search_cb, void* search_params,
                                             void** threading);

/* ---- integration --------------------------------------------------------------------------
 * Every kind of interpolation except the look-up kind.  The integral of a pair (llim, rlim) is
 * the integral from min to max, negated when llim > rlim; limits outside the partition
 * integrate the first or last cell's polynomial continued (the step kinds: y[0] and y[nx-1]).
 * Over many cells the whole-cell part comes from per-cell prefix sums (built once per call, in
 * twice the working precision, when the cells summed directly would pass their cost), so a
 * pair costs its two searches.
 *
 * User callbacks (three pairs, roles as in interpolation): cb(&n (1), &a, &b, r, params) puts
 * in r[f] the integral of function f over [a, b] (a < b): the left callback the part of a pair
 * left of x[0], the right one the part right of x[nx-1], the interior one the part inside the
 * partition for a kind the library cannot integrate.  A negative result is returned at once. */
typedef int (*zorp_df_dinteg_cb)(int64_t* n, const double* a, const double* b, double* r, void* params);
typedef int (*zorp_df_sinteg_cb)(int64_t* n, const float* a, const float* b, float* r, void* params);

/* Integrate1D: task, method (not read), nlim, llim, llimhint, rlim, rlimhint, ldatahint,
 * rdatahint, r, rhint, left, right and interior callbacks with their parameters, user search
 * callback and parameters.  Checks in order: the task and its x, the kind, the search hints,
 * rhint, nlim (negative: DF_ERROR_BAD_NLIM), then llim, rlim, r and the spline's data (y or
 * coefficients).  nlim = 0 is an empty request, as nsite = 0 is for search and interpolation:
 * status 0 once the checks before it pass, with the limits, r and the spline's data not read
 * (they may be null), nothing allocated and no callback called. */
ZORP_API int zorp_df_kernel_dDFIntegrate1D(DFTask* task, int64_t method, int64_t nlim, const double* llim,
                                           int64_t llimhint, const double* rlim, int64_t rlimhint,
                                           const double* ldatahint, const double* rdatahint, double* r, int64_t rhint,
                                           zorp_df_dinteg_cb le_cb, void* le_params, zorp_df_dinteg_cb re_cb,
                                           void* re_params, zorp_df_dinteg_cb i_cb, void* i_params,
                                           zorp_df_dsearch_cb search_cb, void* search_params);
ZORP_API int zorp_df_kernel_sDFIntegrate1D(DFTask* task, int64_t method, int64_t nlim, const float* llim,
                                           int64_t llimhint, const float* rlim, int64_t rlimhint,
                                           const float* ldatahint, const float* rdatahint, float* r, int64_t rhint,
                                           zorp_df_sinteg_cb le_cb, void* le_params, zorp_df_sinteg_cb re_cb,
                                           void* re_params, zorp_df_sinteg_cb i_cb, void* i_params,
                                           zorp_df_ssearch_cb search_cb, void* search_params);

#ifdef __cplusplus
}
#endif
#endif
