/* The checked interface for programs: entry points that check what the kernel library's exports
 * leave to their host (counts, null pointers, distribution parameters, the kind of stream or task
 * a call needs, the length of a saved image, the words a task is edited with) and return a status
 * instead of running on bad arguments.
 *
 * It lives in its own library, libzorp_api (zorp::api in the CMake package, in zorp.pc), which
 * loads the kernel library by file name on first use, after asking the processor whether it can
 * run it; see api/loader.cpp for why the kernel library is not a link-time dependency. Nothing
 * here adds a name to the kernel library's export table.
 *
 * Every entry returns 0, the status a refused argument earns (the family's own code from
 * zorp/vm.h, zorp/rng.h, zorp/ss.h or zorp/df.h, else one of the ZORP_ERROR_* below), or what the
 * export it calls
 * returned. A refused call writes nothing. zorp_status_message() says what a status means.
 *
 * Checks run in this order: the processor and the kernel library, then the stream (null: -5;
 * not a registered generator: -1000), the count (n < 0), the array pointers (null with n > 0),
 * the kind of stream the call needs, the method, the parameters. */
#ifndef ZORP_ZORP_H
#define ZORP_ZORP_H

#include <stddef.h>
#include <stdint.h>

#include "zorp/df.h"
#include "zorp/rng.h"
#include "zorp/ss.h"
#include "zorp/vm.h"
#include "zorp/vm_functions.h"

/* The checked entries are the one export table of libzorp_api. Windows: the MinGW linker exports
 * every global of a DLL that marks none, which is what this library does. */
#if defined(_WIN32)
#define ZORP_CHECKED
#else
#define ZORP_CHECKED __attribute__((visibility("default")))
#endif

ZORP_BEGIN_C

/* ---- statuses of the interface itself ------------------------------------------------------
 * Beyond the families' codes: the processor lacks what the kernel library runs on (AVX-512 F, DQ,
 * BW and VL with their register state saved by the operating system; the emulated test build asks
 * for the AVX2 set its emulation runs on), the kernel library or one of its entries cannot be
 * found, an accuracy other than ZORP_VM_LA, ZORP_VM_HA or ZORP_VM_EP, a task record of another
 * family or of the other element type than the entry's, and (from the C++ interface) an array too
 * short for what the call reads or writes. They stay clear of every family's codes, because any
 * entry of any family may return the first two: the statistics family's own codes take -4000 and
 * up. */
#define ZORP_ERROR_NO_AVX512 (-9000)
#define ZORP_ERROR_NO_LIBRARY (-9001)
#define ZORP_ERROR_BAD_ACCURACY (-9002)
#define ZORP_ERROR_TASK_KIND (-9003)
#define ZORP_ERROR_BAD_SIZE (-9004)

/* The family a status belongs to: the same number means different things in two families
 * (-2 is a null array in vector math and an unknown method in random streams). */
#define ZORP_FAMILY_VM 1
#define ZORP_FAMILY_RNG 2
#define ZORP_FAMILY_SS 3
#define ZORP_FAMILY_DF 4

/* What `status` means in `family`, as one English sentence; never null. */
ZORP_CHECKED const char* zorp_status_message(int32_t family, int32_t status);

/* 0 when this processor runs the kernel library and it is loaded (loading it on the first call),
 * else ZORP_ERROR_NO_AVX512 or ZORP_ERROR_NO_LIBRARY. Every other entry asks this first. */
ZORP_CHECKED int32_t zorp_ready(void);

/* ---- vector math ---------------------------------------------------------------------------
 * One entry per function of the catalogue (zorp/vm_catalogue.def), named zorp_vm_<type><Func>,
 * with the export's arguments followed by the accuracy (ZORP_VM_LA, ZORP_VM_HA or ZORP_VM_EP).
 * Refusals, in this order: ZORP_VM_STATUS_BADSIZE for n < 0 (a pack or unpack of width 1 reads
 * the low 32 bits of n), ZORP_VM_STATUS_BADMEM for a null array (or scalar) pointer with n > 0,
 * ZORP_ERROR_BAD_ACCURACY. n = 0 returns 0 and calls nothing. A pack's increment is not checked:
 * C gives no array lengths to hold it to (the C++ interface holds it to its spans).
 * A call that runs returns what its kernels reported under the thread's mode (0, or a positive
 * ZORP_VM_STATUS_*); the thread's own status keeps its earlier value when they reported nothing. */
#define ZORP_CHECKED_NAME(t, F) zorp_vm_##t##F
#define ZORP_CHECKED_PROTO_A1R1(t, F) \
  ZORP_CHECKED int32_t ZORP_CHECKED_NAME(t, F)(int32_t n, const ZORP_VM_T_##t* a, ZORP_VM_T_##t* r, int32_t accuracy);
#define ZORP_CHECKED_PROTO_A2R1(t, F)                                                                        \
  ZORP_CHECKED int32_t ZORP_CHECKED_NAME(t, F)(int32_t n, const ZORP_VM_T_##t* a, const ZORP_VM_T_##t* b, \
                                               ZORP_VM_T_##t* r, int32_t accuracy);
#define ZORP_CHECKED_PROTO_A1R2(t, F)                                                                          \
  ZORP_CHECKED int32_t ZORP_CHECKED_NAME(t, F)(int32_t n, const ZORP_VM_T_##t* a, ZORP_VM_T_##t* r1, \
                                               ZORP_VM_T_##t* r2, int32_t accuracy);
#define ZORP_CHECKED_PROTO_VS(t, F)                                                                        \
  ZORP_CHECKED int32_t ZORP_CHECKED_NAME(t, F)(int32_t n, const ZORP_VM_T_##t* a, ZORP_VM_S_##t b, \
                                               ZORP_VM_T_##t* r, int32_t accuracy);
#define ZORP_CHECKED_PROTO_LINFRAC(t, F)                                                                      \
  ZORP_CHECKED int32_t ZORP_CHECKED_NAME(t, F)(int32_t n, const ZORP_VM_T_##t* a, const ZORP_VM_T_##t* b,    \
                                               ZORP_VM_T_##t scalea, ZORP_VM_T_##t shifta, ZORP_VM_T_##t scaleb, \
                                               ZORP_VM_T_##t shiftb, ZORP_VM_T_##t* r, int32_t accuracy);
#define ZORP_CHECKED_PROTO_C1R1R(t, F) \
  ZORP_CHECKED int32_t ZORP_CHECKED_NAME(t, F)(int32_t n, const ZORP_VM_T_##t* a, ZORP_VM_R_##t* r, int32_t accuracy);
#define ZORP_CHECKED_PROTO_R1C1(t, F) \
  ZORP_CHECKED int32_t ZORP_CHECKED_NAME(t, F)(int32_t n, const ZORP_VM_R_##t* a, ZORP_VM_T_##t* r, int32_t accuracy);
/* Pack and unpack keep the export's 64-bit count and width word (1: 32-bit count, increment,
 * indices and mask elements; anything else: 64-bit). */
#define ZORP_CHECKED_PROTO_PACK(t, F)                                                                           \
  ZORP_CHECKED int32_t ZORP_CHECKED_NAME(t, F)(int64_t n, const ZORP_VM_T_##t* a, ZORP_VM_PACK_X_##F x, \
                                               ZORP_VM_T_##t* y, int32_t width, int32_t accuracy);
#define ZORP_CHECKED_PROTO_UNPACK(t, F)                                                                        \
  ZORP_CHECKED int32_t ZORP_CHECKED_NAME(t, F)(int64_t n, const ZORP_VM_T_##t* a, ZORP_VM_T_##t* y, \
                                               ZORP_VM_PACK_X_##F x, int32_t width, int32_t accuracy);
#define VM_FN(t, F, shape, share, la, ha, ep, built) ZORP_VM_IF_BUILT_##built(ZORP_CHECKED_PROTO_##shape(t, F))
#include "zorp/vm_catalogue.def"
#undef VM_FN

/* The strided twins, zorp_vm_<type><Func>I, one per catalogue row but pack and unpack: the
 * export's arguments with their 32-bit increments (element i of a is a[i * inca], any sign, as the
 * kernels take them), then the accuracy; the same refusals in the same order. The increments are
 * not checked: C gives no array lengths to hold them to (the C++ interface holds them to its
 * spans). */
#define ZORP_CHECKED_NAME_I(t, F) zorp_vm_##t##F##I
#define ZORP_CHECKED_PROTO_I_A1R1(t, F)                                                                     \
  ZORP_CHECKED int32_t ZORP_CHECKED_NAME_I(t, F)(int32_t n, const ZORP_VM_T_##t* a, int32_t inca,          \
                                                 ZORP_VM_T_##t* r, int32_t incr, int32_t accuracy);
#define ZORP_CHECKED_PROTO_I_A2R1(t, F)                                                                     \
  ZORP_CHECKED int32_t ZORP_CHECKED_NAME_I(t, F)(int32_t n, const ZORP_VM_T_##t* a, int32_t inca,          \
                                                 const ZORP_VM_T_##t* b, int32_t incb, ZORP_VM_T_##t* r,   \
                                                 int32_t incr, int32_t accuracy);
#define ZORP_CHECKED_PROTO_I_A1R2(t, F)                                                                     \
  ZORP_CHECKED int32_t ZORP_CHECKED_NAME_I(t, F)(int32_t n, const ZORP_VM_T_##t* a, int32_t inca,          \
                                                 ZORP_VM_T_##t* r1, int32_t incr1, ZORP_VM_T_##t* r2,      \
                                                 int32_t incr2, int32_t accuracy);
#define ZORP_CHECKED_PROTO_I_VS(t, F)                                                                       \
  ZORP_CHECKED int32_t ZORP_CHECKED_NAME_I(t, F)(int32_t n, const ZORP_VM_T_##t* a, int32_t inca,          \
                                                 ZORP_VM_S_##t b, ZORP_VM_T_##t* r, int32_t incr,          \
                                                 int32_t accuracy);
#define ZORP_CHECKED_PROTO_I_LINFRAC(t, F)                                                                  \
  ZORP_CHECKED int32_t ZORP_CHECKED_NAME_I(t, F)(int32_t n, const ZORP_VM_T_##t* a, int32_t inca,          \
                                                 const ZORP_VM_T_##t* b, int32_t incb, ZORP_VM_T_##t scalea, \
                                                 ZORP_VM_T_##t shifta, ZORP_VM_T_##t scaleb,               \
                                                 ZORP_VM_T_##t shiftb, ZORP_VM_T_##t* r, int32_t incr,     \
                                                 int32_t accuracy);
#define ZORP_CHECKED_PROTO_I_C1R1R(t, F)                                                                    \
  ZORP_CHECKED int32_t ZORP_CHECKED_NAME_I(t, F)(int32_t n, const ZORP_VM_T_##t* a, int32_t inca,          \
                                                 ZORP_VM_R_##t* r, int32_t incr, int32_t accuracy);
#define ZORP_CHECKED_PROTO_I_R1C1(t, F)                                                                     \
  ZORP_CHECKED int32_t ZORP_CHECKED_NAME_I(t, F)(int32_t n, const ZORP_VM_R_##t* a, int32_t inca,          \
                                                 ZORP_VM_T_##t* r, int32_t incr, int32_t accuracy);
#define ZORP_CHECKED_PROTO_I_PACK(t, F)
#define ZORP_CHECKED_PROTO_I_UNPACK(t, F)
#define VM_FN(t, F, shape, share, la, ha, ep, built) ZORP_VM_IF_BUILT_##built(ZORP_CHECKED_PROTO_I_##shape(t, F))
#include "zorp/vm_catalogue.def"
#undef VM_FN

/* ---- random streams ------------------------------------------------------------------------
 * Streams are the kernel library's StreamState blocks: these entries and its exports take each
 * other's streams. */
ZORP_CHECKED int32_t zorp_rng_new_stream(StreamState** s, uint32_t brng, uint32_t seed);
/* n seed words; n >= 0, params non-null when n > 0. */
ZORP_CHECKED int32_t zorp_rng_new_stream_ex(StreamState** s, uint32_t brng, int32_t n, const uint32_t* params);
/* Abstract streams over the caller's circular buffer of n numbers and its update callback (see
 * zorp/rng.h), both the caller's and outliving the stream. Refused with TARR_ERROR_BAD_ARGUMENTS:
 * n < 1, a null buffer or callback, and for the double and single kinds an interval [a, b] of the
 * caller's numbers that is not finite with a < b (an infinite end would map every number to a NaN
 * or an infinity). */
ZORP_CHECKED int32_t zorp_rng_new_abstract_stream(StreamState** s, int32_t n, uint32_t* buffer,
                                                  AbstractStreamUpdate update);
ZORP_CHECKED int32_t zorp_rng_new_abstract_stream_d(StreamState** s, int32_t n, double* buffer, double a, double b,
                                                    AbstractStreamUpdate update);
ZORP_CHECKED int32_t zorp_rng_new_abstract_stream_s(StreamState** s, int32_t n, float* buffer, float a, float b,
                                                    AbstractStreamUpdate update);
ZORP_CHECKED int32_t zorp_rng_copy_stream(StreamState** dst, const StreamState* src);
/* Both streams of the same generator (else TARR_ERROR_INVALID_BRNG, dst untouched). */
ZORP_CHECKED int32_t zorp_rng_copy_stream_state(StreamState* dst, const StreamState* src);
ZORP_CHECKED int32_t zorp_rng_delete_stream(StreamState** s);
/* Skip-ahead and leapfrog, refused before the call with the generator table's code when the
 * stream's generator has no such method: TARR_ERROR_NO_SKIPAHEAD, _NO_SKIPAHEAD_EX, _NO_LEAPFROG.
 * Leapfrog: nstreams >= 1 (TARR_ERROR_BAD_STREAM_COUNT) and k < nstreams (BAD_ARGUMENTS). The
 * extended skip takes n >= 1 64-bit words of one count, lowest first. */
ZORP_CHECKED int32_t zorp_rng_skip_ahead(StreamState* s, uint64_t nskip);
ZORP_CHECKED int32_t zorp_rng_skip_ahead_ex(StreamState* s, int32_t n, const uint64_t* nskip);
ZORP_CHECKED int32_t zorp_rng_leapfrog(StreamState* s, uint32_t k, int32_t nstreams);
/* The stream's generator identifier into *brng. */
ZORP_CHECKED int32_t zorp_rng_stream_brng(const StreamState* s, uint32_t* brng);

/* Saved images in memory, with the buffer's length. zorp_rng_image_size gives the bytes the
 * stream's image takes; saving into fewer is refused (TARR_ERROR_BAD_ARGUMENTS). Loading refuses,
 * creating nothing, an image shorter than its header or than the state and chunks it declares
 * (TARR_ERROR_MEMORY_FORMAT), and an image of an abstract stream unless allow_abstract is nonzero
 * (TARR_ERROR_BRNG_UNSUPPORTED): such an image holds a buffer and a callback address of the
 * process that saved it. Files: the same rule for abstract streams. */
ZORP_CHECKED int32_t zorp_rng_image_size(const StreamState* s, size_t* bytes);
ZORP_CHECKED int32_t zorp_rng_save(const StreamState* s, uint8_t* buffer, size_t size);
ZORP_CHECKED int32_t zorp_rng_load(StreamState** s, const uint8_t* buffer, size_t size, int32_t allow_abstract);
ZORP_CHECKED int32_t zorp_rng_save_file(const StreamState* s, const char* path);
ZORP_CHECKED int32_t zorp_rng_load_file(StreamState** s, const char* path, int32_t allow_abstract);

/* ---- distributions -------------------------------------------------------------------------
 * The exports' arguments, checked. Domains (refused with TARR_ERROR_BAD_ARGUMENTS):
 * displacements, bounds and means finite; scales and deviations (beta, sigma), shapes (alpha, p
 * and q of Beta, a of Negbinomial) and Poisson means finite and above 0; Uniform a < b;
 * probabilities in [0, 1], above 0 for Geometric and Negbinomial; ChiSquare v >= 1; Binomial
 * ntrial >= 0; Hypergeometric l >= 0, s and m in [0, l]; Multinomial ntrial >= 0, k >= 1 and
 * n * k within 32 bits; GaussianMV d >= 1, one of the three storages and n * d within 32 bits.
 * Methods (else TARR_ERROR_UNKNOWN_METHOD): Gaussian and GaussianMV 0, 1, 2; Lognormal 0, 2;
 * Poisson 0, 1; Uniform, Exponential, Weibull, Rayleigh and Lognormal also with
 * TARR_METHOD_ACCURATE; every other distribution 0. Stream kind (TARR_ERROR_ABSTRACT_KIND): an
 * abstract stream serves one number type, so double results need a double abstract stream,
 * single results a single one, raw bits an integer one, and counts any but an integer one. */
#define ZORP_CHECKED_CONTINUOUS(t, T)                                                                            \
  ZORP_CHECKED int32_t zorp_rng_##t##Uniform(int32_t method, StreamState* s, int32_t n, T* r, T a, T b);        \
  ZORP_CHECKED int32_t zorp_rng_##t##Gaussian(int32_t method, StreamState* s, int32_t n, T* r, T a, T sigma);   \
  ZORP_CHECKED int32_t zorp_rng_##t##Exponential(int32_t method, StreamState* s, int32_t n, T* r, T a, T beta); \
  ZORP_CHECKED int32_t zorp_rng_##t##Laplace(int32_t method, StreamState* s, int32_t n, T* r, T a, T beta);     \
  ZORP_CHECKED int32_t zorp_rng_##t##Weibull(int32_t method, StreamState* s, int32_t n, T* r, T alpha, T a,     \
                                             T beta);                                                            \
  ZORP_CHECKED int32_t zorp_rng_##t##Cauchy(int32_t method, StreamState* s, int32_t n, T* r, T a, T beta);      \
  ZORP_CHECKED int32_t zorp_rng_##t##Rayleigh(int32_t method, StreamState* s, int32_t n, T* r, T a, T beta);    \
  ZORP_CHECKED int32_t zorp_rng_##t##Lognormal(int32_t method, StreamState* s, int32_t n, T* r, T a, T sigma,   \
                                               T b, T beta);                                                     \
  ZORP_CHECKED int32_t zorp_rng_##t##Gumbel(int32_t method, StreamState* s, int32_t n, T* r, T a, T beta);      \
  ZORP_CHECKED int32_t zorp_rng_##t##Gamma(int32_t method, StreamState* s, int32_t n, T* r, T alpha, T a,       \
                                           T beta);                                                              \
  ZORP_CHECKED int32_t zorp_rng_##t##Beta(int32_t method, StreamState* s, int32_t n, T* r, T p, T q, T a,       \
                                          T beta);                                                               \
  ZORP_CHECKED int32_t zorp_rng_##t##ChiSquare(int32_t method, StreamState* s, int32_t n, T* r, int32_t v);     \
  ZORP_CHECKED int32_t zorp_rng_##t##GaussianMV(int32_t method, StreamState* s, int32_t n, T* r, int32_t d,     \
                                                int32_t storage, const T* a, const T* tf);
ZORP_CHECKED_CONTINUOUS(d, double)
ZORP_CHECKED_CONTINUOUS(s, float)

ZORP_CHECKED int32_t zorp_rng_iUniform(int32_t method, StreamState* s, int32_t n, int32_t* r, int32_t a, int32_t b);
ZORP_CHECKED int32_t zorp_rng_iUniformBits(int32_t method, StreamState* s, int32_t n, uint32_t* r);
ZORP_CHECKED int32_t zorp_rng_iUniformBits32(int32_t method, StreamState* s, int32_t n, uint32_t* r);
ZORP_CHECKED int32_t zorp_rng_iUniformBits64(int32_t method, StreamState* s, int32_t n, uint64_t* r);
ZORP_CHECKED int32_t zorp_rng_iBernoulli(int32_t method, StreamState* s, int32_t n, int32_t* r, double p);
ZORP_CHECKED int32_t zorp_rng_iGeometric(int32_t method, StreamState* s, int32_t n, int32_t* r, double p);
ZORP_CHECKED int32_t zorp_rng_iBinomial(int32_t method, StreamState* s, int32_t n, int32_t* r, int32_t ntrial,
                                        double p);
ZORP_CHECKED int32_t zorp_rng_iHypergeometric(int32_t method, StreamState* s, int32_t n, int32_t* r, int32_t l,
                                              int32_t ssize, int32_t m);
ZORP_CHECKED int32_t zorp_rng_iPoisson(int32_t method, StreamState* s, int32_t n, int32_t* r, double lambda);
/* lambda: n means, each finite and above 0. */
ZORP_CHECKED int32_t zorp_rng_iPoissonV(int32_t method, StreamState* s, int32_t n, int32_t* r, const double* lambda);
ZORP_CHECKED int32_t zorp_rng_iNegbinomial(int32_t method, StreamState* s, int32_t n, int32_t* r, double a, double p);
/* r holds n * k counts; p's k probabilities are checked by the export (TARR_ERROR_BAD_PROBABILITIES). */
ZORP_CHECKED int32_t zorp_rng_iMultinomial(int32_t method, StreamState* s, int32_t n, int32_t* r, int32_t ntrial,
                                           int32_t k, const double* p);

/* ---- summary statistics ----------------------------------------------------------------------
 * Tasks are the kernel library's TarrSSTask records: these entries and its exports take each
 * other's tasks. The record keeps pointers only: p, n, the storage word, the observations and
 * every edited array must outlive the task (the C++ interface owns its integers).
 * Checks run in this order: the processor and the kernel library, the task (null:
 * TARR_SS_ERROR_NULL_TASK; not a statistics record of the entry's element type:
 * ZORP_ERROR_TASK_KIND), then the entry's own.
 *
 * A new task is made with its observations: x null is refused first
 * (TARR_SS_ERROR_NULL_OBSERVATIONS); the export then checks the task's address
 * (TARR_SS_ERROR_NULL_TASK), p >= 1 (TARR_SS_ERROR_BAD_DIMENSION), the storage word, one of
 * TARR_SS_MATRIX_STORAGE_1 and _2 (TARR_SS_ERROR_NULL_STORAGE_ITEM, _BAD_STORAGE), and n >= 1
 * (TARR_SS_ERROR_BAD_NOBS). Integers are read with the width width_flag gives (nonzero: 64-bit). */
ZORP_CHECKED int32_t zorp_ss_dnew_task(TarrSSTask** task, const void* p, const void* n, const void* storage,
                                       const double* x, const double* weights, const void* indices,
                                       int32_t width_flag);
ZORP_CHECKED int32_t zorp_ss_snew_task(TarrSSTask** task, const void* p, const void* n, const void* storage,
                                       const float* x, const float* weights, const void* indices,
                                       int32_t width_flag);
/* *task null returns 0 and does nothing. */
ZORP_CHECKED int32_t zorp_ss_delete_task(TarrSSTask** task);
/* One parameter (TARR_SS_PARAM_*): real arrays through the d and s entries, integer items through
 * the i entry. The export refuses a number it does not know or of the other kind
 * (TARR_SS_ERROR_BAD_PARAM_NUMBER) and a null value (the parameter's own code). The i entry holds
 * the values the header enumerates to them: dimension and observation count >= 1
 * (TARR_SS_ERROR_BAD_DIMENSION, _BAD_NOBS), the observations' and the order statistics' and sorted
 * observations' storage one of TARR_SS_MATRIX_STORAGE_1 and _2, a matrix's storage one of
 * _FULL, _U_PACKED and _L_PACKED (TARR_SS_ERROR_BAD_STORAGE). */
ZORP_CHECKED int32_t zorp_ss_dedit(TarrSSTask* task, int32_t param, const double* value);
ZORP_CHECKED int32_t zorp_ss_sedit(TarrSSTask* task, int32_t param, const float* value);
ZORP_CHECKED int32_t zorp_ss_iedit(TarrSSTask* task, int32_t param, const void* value);
/* The routine that makes the estimates (TARR_SS_* bits) with the method word:
 *   basic (moments, sums, kurtosis, skewness, variation, covariance, correlation, cross-product):
 *     exactly one of METHOD_FAST, _1PASS, _1PASS_CENTRAL, _SUM_TO_MOM, _SUM_TO_MOM_FREQ;
 *   minimum and maximum: METHOD_MINMAX_NEW or _CONTINUE;   quantiles, order statistics:
 *   METHOD_QUANTILES;   absolute deviations: METHOD_MAD, _MAD_GIVEN_MEAN or both;
 *   pooled and group covariance and means: METHOD_POOLED;   partial covariance and
 *   correlation: METHOD_PARTIAL;
 * and, whatever the estimates (those routines read none), METHOD_SQUANTS and _SQUANTS_OBSERVED
 * (streaming quantiles), _SORT, _ROBUST_COV, _BACON, _MISSING_VALUES, _COR_REPAIR.
 * Estimates that no one routine makes (bits of two routines, unknown bits, none) or a method word
 * that routine does not take: TARR_SS_ERROR_BAD_METHOD. The routine checks the rest. */
ZORP_CHECKED int32_t zorp_ss_dcompute(TarrSSTask* task, uint64_t estimates, uint32_t method);
/* The weighted quantile of the first order of the quantile orders (0 <= q <= 1), one value per
 * component into the quantiles array, with the task's weights (every weight 1 without them). It
 * reads no estimate bits, so it has an entry of its own; the method word is METHOD_QUANTILES and
 * nothing else (else TARR_SS_ERROR_BAD_METHOD). The squared Mahalanobis distances are a step of
 * outlier detection and have no entry here: called alone they have no subset to measure from. */
ZORP_CHECKED int32_t zorp_ss_dweighted_median(TarrSSTask* task, uint32_t method);
ZORP_CHECKED int32_t zorp_ss_sweighted_median(TarrSSTask* task, uint32_t method);
ZORP_CHECKED int32_t zorp_ss_scompute(TarrSSTask* task, uint64_t estimates, uint32_t method);

/* ---- data fitting ----------------------------------------------------------------------------
 * Tasks are the kernel library's DFTask records; x, y, the boundary and internal conditions and
 * the coefficients stay the caller's and must outlive the task. Checks run in this order: the
 * processor and the kernel library, the task (null: DF_ERROR_NULL_TASK; not a one-dimensional
 * data-fitting record of the entry's element type: ZORP_ERROR_TASK_KIND), then the entry's own.
 *
 * A new task: ny >= 1 (DF_ERROR_BAD_NY); the export checks nx >= 2, x, the partition hint, y and
 * its storage hint. */
ZORP_CHECKED int32_t zorp_df_dnew_task(DFTask** task, int64_t nx, const double* x, int64_t xhint, int64_t ny,
                                       const double* y, int64_t yhint, uint32_t index_width);
ZORP_CHECKED int32_t zorp_df_snew_task(DFTask** task, int64_t nx, const float* x, int64_t xhint, int64_t ny,
                                       const float* y, int64_t yhint, uint32_t index_width);
/* *task null returns 0 and does nothing. */
ZORP_CHECKED int32_t zorp_df_delete_task(DFTask** task);
/* The spline: order and type one of the pairs the header names, (0: DF_PP_LOOKUP, _STEP_RIGHT,
 * _STEP_LEFT), (DF_PP_LINEAR: DF_PP_DEFAULT), (DF_PP_QUADRATIC: DF_PP_DEFAULT, _QUADRATIC_KNOTS),
 * (DF_PP_CUBIC: DF_PP_DEFAULT, _NATURAL, _HERMITE, _BESSEL, _AKIMA, _HYMAN) (else
 * DF_ERROR_BAD_SPLINE_ORDER for the order, DF_ERROR_BAD_SPLINE_TYPE for the type); bc_type of
 * DF_BC_* bits (DF_ERROR_BAD_BC_TYPE), bc given when bc_type is 3 or more and not DF_BC_PERIODIC
 * alone (DF_ERROR_BAD_BC); ic_type of DF_IC_* bits (DF_ERROR_BAD_IC_TYPE), ic given exactly when
 * ic_type is nonzero (DF_ERROR_BAD_IC, _BAD_IC_TYPE); scoeff given for orders above 0
 * (DF_ERROR_BAD_SCOEFF) and coeff_hint a storage hint (DF_ERROR_BAD_SCOEFF_HINT). A refused edit
 * leaves the task as it was. */
ZORP_CHECKED int32_t zorp_df_dedit_spline(DFTask* task, int64_t order, int64_t type, int64_t bc_type,
                                          const double* bc, int64_t ic_type, const double* ic, double* scoeff,
                                          int64_t coeff_hint);
ZORP_CHECKED int32_t zorp_df_sedit_spline(DFTask* task, int64_t order, int64_t type, int64_t bc_type,
                                          const float* bc, int64_t ic_type, const float* ic, float* scoeff,
                                          int64_t coeff_hint);
/* The construction routine of the task's order and type (order 0 has nothing to construct:
 * 0). The routine refuses a partition that is not strictly increasing (DF_ERROR_BAD_X). */
ZORP_CHECKED int32_t zorp_df_dconstruct(DFTask* task);
ZORP_CHECKED int32_t zorp_df_sconstruct(DFTask* task);
/* Search, interpolation and integration assume a strictly increasing, finite partition (for
 * DF_UNIFORM_PARTITION its two end points): else DF_ERROR_BAD_X, checked on every call since the
 * task's x may have changed. The exports check the counts, the arrays and the hints. Cells are of
 * the task's index width. The _ex forms also take the data hints, the user callbacks with their
 * parameters (zorp/df.h says when each is called; a null callbacks pointer is none at all) and,
 * for interpolation, the host's threading table; the plain forms pass none of them. */
#define ZORP_DF_CALLBACKS(t, Kind, Cb)                                                             \
  typedef struct ZorpDf##t##Kind##Callbacks {                                                     \
    Cb left;                                                                                      \
    void* left_params;                                                                            \
    Cb right;                                                                                     \
    void* right_params;                                                                           \
    Cb interior;                                                                                  \
    void* interior_params;                                                                        \
    zorp_df_##t##search_cb search;                                                                \
    void* search_params;                                                                          \
  } ZorpDf##t##Kind##Callbacks;
ZORP_DF_CALLBACKS(d, Interp, zorp_df_dinterp_cb)
ZORP_DF_CALLBACKS(s, Interp, zorp_df_sinterp_cb)
ZORP_DF_CALLBACKS(d, Integ, zorp_df_dinteg_cb)
ZORP_DF_CALLBACKS(s, Integ, zorp_df_sinteg_cb)
#undef ZORP_DF_CALLBACKS
#define ZORP_DF_EX_PROTOS(t, T)                                                                                   \
  ZORP_CHECKED int32_t zorp_df_##t##search_ex(DFTask* task, int64_t nsite, const T* site, int64_t sitehint,       \
                                              const T* datahint, void* cell, zorp_df_##t##search_cb search_cb,    \
                                              void* search_params);                                               \
  ZORP_CHECKED int32_t zorp_df_##t##interpolate_ex(DFTask* task, int64_t type, int64_t nsite, const T* site,      \
                                                   int64_t sitehint, int64_t ndorder, const int32_t* dorder,      \
                                                   const T* datahint, T* r, int64_t rhint, void* cell,            \
                                                   const ZorpDf##t##InterpCallbacks* callbacks, void** threading); \
  ZORP_CHECKED int32_t zorp_df_##t##integrate_ex(DFTask* task, int64_t nlim, const T* llim, int64_t llimhint,     \
                                                 const T* rlim, int64_t rlimhint, const T* ldatahint,             \
                                                 const T* rdatahint, T* r, int64_t rhint,                         \
                                                 const ZorpDf##t##IntegCallbacks* callbacks);
ZORP_DF_EX_PROTOS(d, double)
ZORP_DF_EX_PROTOS(s, float)
#undef ZORP_DF_EX_PROTOS
ZORP_CHECKED int32_t zorp_df_dsearch(DFTask* task, int64_t nsite, const double* site, int64_t sitehint, void* cell);
ZORP_CHECKED int32_t zorp_df_ssearch(DFTask* task, int64_t nsite, const float* site, int64_t sitehint, void* cell);
ZORP_CHECKED int32_t zorp_df_dinterpolate(DFTask* task, int64_t type, int64_t nsite, const double* site,
                                          int64_t sitehint, int64_t ndorder, const int32_t* dorder, double* r,
                                          int64_t rhint, void* cell);
ZORP_CHECKED int32_t zorp_df_sinterpolate(DFTask* task, int64_t type, int64_t nsite, const float* site,
                                          int64_t sitehint, int64_t ndorder, const int32_t* dorder, float* r,
                                          int64_t rhint, void* cell);
ZORP_CHECKED int32_t zorp_df_dintegrate(DFTask* task, int64_t nlim, const double* llim, int64_t llimhint,
                                        const double* rlim, int64_t rlimhint, double* r, int64_t rhint);
ZORP_CHECKED int32_t zorp_df_sintegrate(DFTask* task, int64_t nlim, const float* llim, int64_t llimhint,
                                        const float* rlim, int64_t rlimhint, float* r, int64_t rhint);

ZORP_END_C

#endif
