/* zorp_core: the host core library.
 *
 * Everything the kernel library does not do itself (memory, locks, environment, numbered
 * messages, process exit, processor-generation queries, threading, BLAS/LAPACK and the
 * tridiagonal solvers) lives here.  The kernel library imports these names and nothing
 * else from the host; a real host could replace this library with its own.
 *
 * Conventions: BLAS/LAPACK-style routines take every argument by address (Fortran style,
 * no hidden string lengths).  Counts are 32-bit signed integers. */
#ifndef ZORP_CORE_H
#define ZORP_CORE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- memory ---------------------------------------------------------------------- */
/* Aligned block of `size` bytes (alignment a power of two, callers pass 128); null when
 * memory is exhausted (or when the fault-injection hook says so). */
void* zorp_serv_allocate(size_t size, int alignment);
void zorp_serv_deallocate(void* p);

/* Test hook: make the k-th allocation from now fail (k = 1: the next one); k <= 0 turns
 * injection off.  zorp_core_allocation_count() counts successful allocations since load,
 * zorp_core_live_allocations() the blocks not yet freed (leak checks in tests). */
void zorp_core_fail_allocation(int64_t k);
int64_t zorp_core_allocation_count(void);
int64_t zorp_core_live_allocations(void);
/* Test hook: make the k-th LAPACK call from now (potrf, trtri, potri, syev, spevd, either
 * precision) fail: info = 1 and its arrays untouched; k <= 0 turns injection off.  A factor
 * that potrf accepted never makes potri fail, so the callers' handling of that failure can
 * only be reached this way. */
void zorp_core_fail_lapack(int64_t k);

/* ---- locks ----------------------------------------------------------------------- */
/* Mutual exclusion on a 32-bit lock word owned by the caller, initially 0. */
void zorp_serv_lock(volatile int32_t* word);
void zorp_serv_unlock(volatile int32_t* word);

/* ---- environment, messages, exit ---------------------------------------------------- */
/* Copies the variable's value, NUL-terminated, into buf (buflen bytes, callers pass 256)
 * and returns its length; 0 or less when not set.  A value longer than buflen-1 is cut. */
int zorp_serv_getenv(const char* name, char* buf, int buflen);
/* Prints message `code` of the numbered catalogue to stderr.  `nargs` further arguments
 * follow; their types depend on the message (see the catalogue in core/messages.cpp). */
void zorp_serv_print(int channel, int code, int nargs, ...);
void zorp_serv_exit(int code);

/* ---- files ------------------------------------------------------------------------ */
/* Buffered files: open (mode as for fopen; null on failure), read and write (bytes moved),
 * close (0, or nonzero on failure; the file is closed either way). */
void* zorp_serv_fopen(const char* name, const char* mode);
size_t zorp_serv_fread(void* dst, size_t bytes, void* file);
size_t zorp_serv_fwrite(const void* src, size_t bytes, void* file);
int zorp_serv_fclose(void* file);
/* Test hooks: make the k-th write, or the k-th close, from now fail (k <= 0: off). */
void zorp_core_fail_file_write(int64_t k);
void zorp_core_fail_file_close(int64_t k);

/* ---- processor ------------------------------------------------------------------------ */
/* Nonzero when the processor belongs to the tested generation (documented in core/cpu.cpp).
 * Both also require OS support for the AVX-512 register state and AVX-512 F/CD/BW/DQ/VL.
 * cpuisicx: plus IFMA, VBMI, VBMI2, VNNI, BITALG and VPOPCNTDQ.
 * cpuiscpx: plus VNNI and BF16. */
int zorp_serv_cpuisicx(void);
int zorp_serv_cpuiscpx(void);
/* CPUID leaf 1, register ECX, without the bits a test has hidden with
 * zorp_core_mask_cpuid1_ecx (0 hides nothing). */
uint32_t zorp_serv_cpuid1_ecx(void);
void zorp_core_mask_cpuid1_ecx(uint32_t bits);
/* One RDRAND step, on a processor that has the instruction: 1 and the value in *v, or 0 when the
 * instruction reported none. Test hook: the next k steps report none (k <= 0: off). */
int zorp_serv_rdrand64(uint64_t* v);
void zorp_core_fail_rdrand(int64_t k);

/* ---- threading -------------------------------------------------------------------- */
/* Task routine of the parallel-for: called once per task number in [0, ntasks). */
typedef void (*zorp_thread_task_fn)(int task, int thread, int nthreads, void* ctx);
/* "zorp_tarr_serv_threader_get_num_threads_limit": int (*)(void)
 * "zorp_tarr_serv_threader_for": void (*)(int ntasks, int flags, void* ctx, zorp_thread_task_fn)
 * The thread count comes from ZORP_CORE_NUM_THREADS, default the number of cores. */
void* zorp_serv_load_thread_fun(const char* name);
int zorp_tarr_serv_threader_get_num_threads_limit(void);
void zorp_tarr_serv_threader_for(int ntasks, int flags, void* ctx, zorp_thread_task_fn fn);

/* Host threading table handed to the data-fitting routines: entry 1 (index 0) is the
 * parallel launcher, entry 5 (index 4) the number of threads to use; the others are null. */
typedef void (*zorp_df_worker_fn)(void* ctx, int item, int thread);
typedef void (*zorp_df_launch_fn)(int nitems, int nthreads, void* ctx, zorp_df_worker_fn worker);
typedef int (*zorp_df_nthreads_fn)(void);
void** zorp_serv_df_threading_table(void);

/* ---- memory copy -------------------------------------------------------------------- */
/* Copies count bytes; returns 0, or nonzero (copying nothing) when dst/src is null or
 * count > dstsize. */
int zorp_serv_memcpy_s(void* dst, size_t dstsize, const void* src, size_t count);

/* ---- BLAS (column-major, standard semantics, all by address) ------------------------ */
/* The x-prefixed siblings have exactly the semantics of the plain names and call the same
 * routine; they are the ones to use from inside a parallel region. The packed trmm leaves B
 * untouched on a bad flag or size. */
#define ZORP_CORE_BLAS_DECL(p, T)                                                              \
  void zorp_blas_##p##syrk(const char* uplo, const char* trans, const int* n, const int* k,      \
                           const T* alpha, const T* a, const int* lda, const T* beta, T* c,      \
                           const int* ldc);                                                      \
  void zorp_blas_x##p##syrk(const char* uplo, const char* trans, const int* n, const int* k,     \
                            const T* alpha, const T* a, const int* lda, const T* beta, T* c,     \
                            const int* ldc);                                                     \
  void zorp_blas_##p##syr(const char* uplo, const int* n, const T* alpha, const T* x,            \
                          const int* incx, T* a, const int* lda);                                \
  void zorp_blas_x##p##syr(const char* uplo, const int* n, const T* alpha, const T* x,           \
                           const int* incx, T* a, const int* lda);                               \
  void zorp_blas_##p##gemm(const char* transa, const char* transb, const int* m, const int* n,   \
                           const int* k, const T* alpha, const T* a, const int* lda, const T* b, \
                           const int* ldb, const T* beta, T* c, const int* ldc);                 \
  void zorp_blas_x##p##gemm(const char* transa, const char* transb, const int* m, const int* n,  \
                            const int* k, const T* alpha, const T* a, const int* lda,            \
                            const T* b, const int* ldb, const T* beta, T* c, const int* ldc);    \
  void zorp_blas_##p##gemv(const char* trans, const int* m, const int* n, const T* alpha,        \
                           const T* a, const int* lda, const T* x, const int* incx,              \
                           const T* beta, T* y, const int* incy);                                \
  void zorp_blas_x##p##gemv(const char* trans, const int* m, const int* n, const T* alpha,       \
                            const T* a, const int* lda, const T* x, const int* incx,             \
                            const T* beta, T* y, const int* incy);                               \
  void zorp_blas_##p##trmm(const char* side, const char* uplo, const char* transa,               \
                           const char* diag, const int* m, const int* n, const T* alpha,         \
                           const T* a, const int* lda, T* b, const int* ldb);                    \
  void zorp_blas_x##p##trmm(const char* side, const char* uplo, const char* transa,              \
                            const char* diag, const int* m, const int* n, const T* alpha,        \
                            const T* a, const int* lda, T* b, const int* ldb);                   \
  void zorp_blas_##p##symm(const char* side, const char* uplo, const int* m, const int* n,       \
                           const T* alpha, const T* a, const int* lda, const T* b,               \
                           const int* ldb, const T* beta, T* c, const int* ldc);                 \
  void zorp_blas_x##p##symm(const char* side, const char* uplo, const int* m, const int* n,      \
                            const T* alpha, const T* a, const int* lda, const T* b,              \
                            const int* ldb, const T* beta, T* c, const int* ldc);                \
  /* triangular multiply B := alpha*op(A)*B or alpha*B*op(A), as trmm */                        \
  void zorp_blas4fenn_##p##trmm(const char* side, const char* uplo, const char* transa,          \
                                const char* diag, const int* m, const int* n, const T* alpha,    \
                                const T* a, const int* lda, T* b, const int* ldb);               \
  void zorp_blas_x##p##trmm_4fenn(const char* side, const char* uplo, const char* transa,        \
                                  const char* diag, const int* m, const int* n, const T* alpha,  \
                                  const T* a, const int* lda, T* b, const int* ldb);             \
  /* the same with A in packed triangular storage (column-major packed, as tpmv) */             \
  void zorp_blas4fenn_##p##ptrmm(const char* side, const char* uplo, const char* transa,         \
                                 const char* diag, const int* m, const int* n, const T* alpha,   \
                                 const T* ap, T* b, const int* ldb);                             \
  /* LAPACK */                                                                                   \
  void zorp_lapack_##p##potrf(const char* uplo, const int* n, T* a, const int* lda, int* info);  \
  void zorp_lapack_##p##trtri(const char* uplo, const char* diag, const int* n, T* a,            \
                              const int* lda, int* info);                                        \
  void zorp_lapack_##p##potri(const char* uplo, const int* n, T* a, const int* lda, int* info);  \
  void zorp_lapack_##p##syev(const char* jobz, const char* uplo, const int* n, T* a,             \
                             const int* lda, T* w, T* work, const int* lwork, int* info);        \
  void zorp_lapack_##p##spevd(const char* jobz, const char* uplo, const int* n, T* ap, T* w,     \
                              T* z, const int* ldz, T* work, const int* lwork, int* iwork,       \
                              const int* liwork, int* info);                                     \
  /* Tridiagonal systems without pivoting (dl: n-1 sub-, d: n main, du: n-1 super-diagonal).   \
   * Factor A = L*U in place (dl gets the multipliers, d the pivots of U, du is kept);        \
   * info = 0, or i > 0 when the i-th pivot is exactly zero; < 0 for a bad argument.          \
   * dtsvb with one right-hand side uses dl and d as workspace (on return they are not the    \
   * factors); b is the solution, or untouched when info is not 0. */                           \
  void p##dttrfb_4dfl(const int* n, T* dl, T* d, T* du, int* info);                              \
  void p##dttrsb_4dfl(const char* trans, const int* n, const int* nrhs, const T* dl,             \
                      const T* d, const T* du, T* b, const int* ldb, int* info);                 \
  void p##dtsvb_4dfl(const int* n, const int* nrhs, T* dl, T* d, T* du, T* b, const int* ldb,    \
                     int* info);

ZORP_CORE_BLAS_DECL(d, double)
ZORP_CORE_BLAS_DECL(s, float)

#ifdef __cplusplus
}
#endif
#endif
