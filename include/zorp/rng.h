/* Random streams: generator registry, stream blocks and chunks, the process-wide table of shared
 * read-only data, skip-ahead and leapfrog, the modular routines behind them, and the entries of
 * the congruential generators.  Every status code of the random families is defined here once. */
#ifndef ZORP_RNG_H
#define ZORP_RNG_H

#include <stddef.h>
#include <stdint.h>

#include "zorp/export.h"

ZORP_BEGIN_C

/* ---- status codes ------------------------------------------------------------------------ */
#define TARR_STATUS_OK 0
#define TARR_ERROR_UNKNOWN_METHOD (-2)
#define TARR_ERROR_BAD_ARGUMENTS (-3)
#define TARR_ERROR_NO_MEMORY (-4)
#define TARR_ERROR_NULL_ENTRY (-5)
#define TARR_ERROR_INVALID_BRNG (-1000)
#define TARR_ERROR_NO_LEAPFROG (-1002)
#define TARR_ERROR_NO_SKIPAHEAD (-1003)
#define TARR_ERROR_NO_SKIPAHEAD_EX (-1004)
#define TARR_ERROR_BAD_STATE_SIZE (-1008)
#define TARR_ERROR_BAD_WORD_SIZE (-1009)
#define TARR_ERROR_BAD_SEED_COUNT (-1010)
#define TARR_ERROR_BAD_BIT_COUNT (-1011)
#define TARR_ERROR_QUASI_EXHAUSTED (-1012)
#define TARR_ERROR_BAD_STREAM_COUNT (-1013)
#define TARR_ERROR_BRNG_UNSUPPORTED (-1014)
#define TARR_ERROR_FILE_CLOSE (-1100)
#define TARR_ERROR_FILE_OPEN (-1101)
#define TARR_ERROR_FILE_WRITE (-1102)
#define TARR_ERROR_FILE_READ (-1103)
#define TARR_ERROR_FILE_FORMAT (-1110)
#define TARR_ERROR_FILE_VERSION (-1111)
#define TARR_ERROR_ABSTRACT_UPDATE (-1120)
#define TARR_ERROR_ABSTRACT_EMPTY (-1121)
#define TARR_ERROR_ABSTRACT_KIND (-1122)
#define TARR_ERROR_NO_RDRAND (-1130)
#define TARR_ERROR_RDRAND_RETRIES (-1131)
#define TARR_ERROR_NO_AES (-1140)
#define TARR_ERROR_MEMORY_FORMAT (-1200)
#define TARR_GLOB_NOT_FOUND (-3000)
#define TARR_GLOB_TABLE_FULL (-3001)

/* ---- InitStream methods ------------------------------------------------------------------ */
#define TARR_INIT_SEED 0
#define TARR_INIT_LEAPFROG 1
#define TARR_INIT_SKIPAHEAD 2
#define TARR_INIT_SKIPAHEAD_EX 3

/* ---- generator identifiers (current numbering: (row + 1) << 20, plus the member) ---------- */
#define TARR_BRNG_INC 0x100000u
#define TARR_BRNG_MCG31 0x100000u
#define TARR_BRNG_R250 0x200000u
#define TARR_BRNG_MRG32K3A 0x300000u
#define TARR_BRNG_MCG59 0x400000u
#define TARR_BRNG_WH 0x500000u
#define TARR_BRNG_SOBOL 0x600000u
#define TARR_BRNG_NIEDERR 0x700000u
#define TARR_BRNG_MT19937 0x800000u
#define TARR_BRNG_MT2203 0x900000u
#define TARR_BRNG_IABSTRACT 0xA00000u
#define TARR_BRNG_DABSTRACT 0xB00000u
#define TARR_BRNG_SABSTRACT 0xC00000u
#define TARR_BRNG_SFMT19937 0xD00000u
#define TARR_BRNG_NONDETERM 0xE00000u
#define TARR_BRNG_ARS5 0xF00000u
#define TARR_BRNG_PHILOX4X32X10 0x1000000u

#define TARR_REGISTRY_ROWS 512
#define TARR_GLOB_TABLE_CAPACITY 128

/* ---- records ------------------------------------------------------------------------------ */
typedef struct StreamChunk StreamChunk;
struct StreamChunk {
  uint32_t id;   /* kind of data */
  uint32_t size; /* bytes of data */
  void* data;
  StreamChunk* next;
  uint64_t key[2]; /* (0, 0) for private data */
};

/* The 16-byte header of every stream block; the generator's state follows it. */
typedef struct StreamState {
  uint32_t brng;
  uint32_t reserved;
  StreamChunk* chunks;
} StreamState;

typedef struct GlobRODataTableEntry {
  uint64_t key[2];
  uint32_t refs;
  void* data;
} GlobRODataTableEntry;

typedef int32_t (*TarrInitStreamFn)(int32_t method, StreamState* stream, int32_t n,
                                    const uint32_t* params);
typedef int32_t (*TarrSBRngFn)(StreamState* stream, int32_t n, float* r, float a, float b);
typedef int32_t (*TarrDBRngFn)(StreamState* stream, int32_t n, double* r, double a, double b);
typedef int32_t (*TarrIBRngFn)(StreamState* stream, int32_t n, uint32_t* r);

typedef struct BrngProperties {
  int32_t StateSize;
  int32_t SeedCount;
  int32_t IncludesZero;
  int32_t WordSize;
  int32_t BitCount;
  int32_t reserved;
  TarrInitStreamFn InitStream;
  TarrSBRngFn sBRng;
  TarrDBRngFn dBRng;
  TarrIBRngFn iBRng;
} BrngProperties;

#ifdef __cplusplus
static_assert(sizeof(StreamChunk) == 40, "chunk record is 40 bytes");
static_assert(sizeof(StreamState) == 16, "stream header is 16 bytes");
static_assert(sizeof(BrngProperties) == 56, "registry row is 56 bytes");
static_assert(offsetof(BrngProperties, WordSize) == 12 && offsetof(BrngProperties, BitCount) == 16 &&
                  offsetof(BrngProperties, InitStream) == 24 && offsetof(BrngProperties, sBRng) == 32 &&
                  offsetof(BrngProperties, dBRng) == 40 && offsetof(BrngProperties, iBRng) == 48,
              "registry row layout");
#else
_Static_assert(sizeof(BrngProperties) == 56, "registry row is 56 bytes");
#endif

/* ---- registry ------------------------------------------------------------------------------ */
extern ZORP_API BrngProperties __RegBrngsNew[TARR_REGISTRY_ROWS];
extern ZORP_API const BrngProperties __RegBrngs[TARR_REGISTRY_ROWS];

ZORP_API int32_t __tarrRegisterBrng(const BrngProperties* p);
ZORP_API int32_t __tarrGetBrngProperties(uint32_t brng, BrngProperties* out);
ZORP_API int32_t __tarrIsBrngValid(const BrngProperties* table, int32_t index, int32_t member);
ZORP_API int32_t __tarrGetNumRegBrngs(void);
ZORP_API const BrngProperties* __tarrGetBrngBaseOffset(uint32_t brng, uint32_t* index,
                                                       uint32_t* member);

/* ---- streams --------------------------------------------------------------------------------- */
ZORP_API int32_t __tarrNewStreamEx(StreamState** s, uint32_t brng, int32_t n, const uint32_t* params);
ZORP_API int32_t __tarrAllocateStream(StreamState** s, const BrngProperties* table, uint32_t brng,
                                      int32_t index, int32_t member);
ZORP_API int32_t __tarrCopyStream(StreamState** dst, const StreamState* src);
ZORP_API int32_t __tarrCopyStreamState(StreamState* dst, const StreamState* src);
ZORP_API int32_t __tarrDeleteStream(StreamState** s);
ZORP_API int32_t __tarrGetStreamSize(const StreamState* s);
ZORP_API uint32_t __tarrGetStreamStateBrng(const StreamState* s);

/* ---- chunks ---------------------------------------------------------------------------------- */
ZORP_API int32_t __tarrAddChunk(StreamState* s, uint32_t id, const uint64_t* key, void* data,
                                uint32_t size);
ZORP_API void* __tarrSearchChunk(const StreamState* s, uint32_t id);
ZORP_API int32_t __tarrGetNumChunks(const StreamState* s);
ZORP_API int32_t __tarrDeleteChunks(StreamState* s);
ZORP_API int32_t __tarrDeleteChunksById(StreamState* s, uint32_t id);
ZORP_API int32_t __tarrCopyChunks(StreamState* dst, const StreamState* src);

/* ---- global read-only data ------------------------------------------------------------------- */
ZORP_API int32_t __tarrFindGlobRODataTableEntry(GlobRODataTableEntry** out, const uint64_t* key);
ZORP_API int32_t __tarrCreateGlobRODataTableEntry(GlobRODataTableEntry** out, const uint64_t* key,
                                                  void* data);
ZORP_API int32_t __tarrRegisterGlobRODataReference(StreamChunk* c, const uint64_t* key);
ZORP_API int32_t __tarrUnregisterGlobRODataReference(const uint64_t* key);
ZORP_API int32_t __tarrGenerateNewGlobalRODataTableEntryId(uint64_t* key, uint64_t tag);

/* ---- skip-ahead and leapfrog ------------------------------------------------------------------ */
ZORP_API int32_t __tarrSkipAheadStream(StreamState* s, uint64_t nskip);
ZORP_API int32_t __tarrSkipAheadStreamEx(StreamState* s, int32_t n, const uint64_t* nskip);
ZORP_API int32_t __tarrLeapfrogStream(StreamState* s, uint32_t k, int32_t nstreams);

ZORP_API uint32_t __tarriPowMod(uint32_t a, uint64_t n, uint32_t m);
ZORP_API uint64_t __tarriPowMod2P31M1(uint64_t a, uint64_t n);
ZORP_API uint64_t __tarriPowMod2P59(uint64_t a, uint64_t n);
ZORP_API void __tarriVect3PowMod(uint32_t x[3], const uint32_t c[3], uint32_t m, uint64_t n);
ZORP_API void __tarriVect3PowArrayMod(uint32_t x[3], const uint32_t c[3], uint32_t m, int32_t n,
                                      const uint64_t* count);
/* table: A^(2^k) for k = 0 .. 192, nine row-major words each; count in n 32-bit words. */
ZORP_API void __tarriVect3PowArrayMod_M1(uint32_t x[3], int32_t n, const uint32_t* count,
                                         const uint32_t* table);
ZORP_API void __tarriVect3PowArrayMod_M2(uint32_t x[3], int32_t n, const uint32_t* count,
                                         const uint32_t* table);

/* ---- polynomial skip-ahead (generators linear over GF(2)) ---------------------------------- */
/* Remainders are bit vectors of 32-bit words, coefficient i in bit i % 32 of word i / 32; a
 * polynomial P is given by its degree p and its t exponents in ascending order (the last is p).
 * Counts are read as unsigned 64-bit numbers. Bad polynomial arguments give -3. */
ZORP_API int32_t __tarrPolyRem(int64_t n, int32_t p, uint32_t t, const uint32_t* exps, int32_t w,
                               uint32_t* out);

/* Work states have StateSize bytes and a layout of the generator's choosing; prepare fills one
 * with the stream's state (returning 0 when the count asks for nothing), write_back stores one
 * into the stream, step advances one by one step of the transition, add XORs src into dst. */
typedef void (*TarrSkipClearFn)(void* state);
typedef void (*TarrSkipAddFn)(void* dst, const void* src);
typedef void (*TarrSkipCopyFn)(void* dst, const void* src);
typedef void (*TarrSkipStepFn)(void* state);
typedef void (*TarrSkipWriteBackFn)(StreamState* s, const void* state);
typedef int32_t (*TarrSkipPrepareFn)(const StreamState* s, uint64_t n, void* state);

/* Apply (x^n mod P)(T) to the stream's state; 0, -3, -4 (stream unchanged) or -5. */
ZORP_API int32_t __tarr_SkipAheadHorner(StreamState* s, TarrSkipClearFn clear, TarrSkipAddFn add,
                                        TarrSkipCopyFn copy, TarrSkipStepFn step,
                                        TarrSkipWriteBackFn write_back, TarrSkipPrepareFn prepare,
                                        int64_t n, int32_t w, int32_t p, int32_t state_size,
                                        uint32_t t, const uint32_t* exps);
ZORP_API int32_t __tarr_SkipAheadSWin(StreamState* s, TarrSkipClearFn clear, TarrSkipAddFn add,
                                      TarrSkipCopyFn copy, TarrSkipStepFn step,
                                      TarrSkipWriteBackFn write_back, TarrSkipPrepareFn prepare,
                                      int64_t n, int32_t w, int32_t p, int32_t state_size,
                                      uint32_t t, const uint32_t* exps);

/* ---- generator entries -------------------------------------------------------------------- */
#define TARR_DECLARE_BRNG(NAME)                                                                   \
  ZORP_API int32_t __tarrBRng##NAME##InitStream(int32_t method, StreamState* stream, int32_t n,  \
                                                const uint32_t* params);                          \
  ZORP_API int32_t __tarrsBRng##NAME(StreamState* stream, int32_t n, float* r, float a, float b);  \
  ZORP_API int32_t __tarrdBRng##NAME(StreamState* stream, int32_t n, double* r, double a,         \
                                     double b);                                                   \
  ZORP_API int32_t __tarriBRng##NAME(StreamState* stream, int32_t n, uint32_t* r);

/* Abstract streams over a caller's circular buffer of n numbers. When the numbers waiting in it
 * run out, the stream calls the update callback with (stream, &n, buffer, &nmin, &nmax, &idx):
 * it writes between 1 and nmax new numbers from slot idx on, wrapping at n, and returns how many
 * (nmin is what the current request still needs, at most n). A negative or too large count fails
 * with -1120, none with -1121. The double and single kinds map the caller's numbers from [a, b]
 * onto the interval each request asks for. The buffer and callback stay the caller's. */
typedef int32_t (*AbstractStreamUpdate)(StreamState* stream, const int32_t* n, void* buffer, const int32_t* nmin,
                                        const int32_t* nmax, const int32_t* idx);
ZORP_API int32_t __tarriNewAbstractStream(StreamState** s, int32_t n, uint32_t* buffer, AbstractStreamUpdate update);
ZORP_API int32_t __tarrdNewAbstractStream(StreamState** s, int32_t n, double* buffer, double a, double b,
                                          AbstractStreamUpdate update);
ZORP_API int32_t __tarrsNewAbstractStream(StreamState** s, int32_t n, float* buffer, float a, float b,
                                          AbstractStreamUpdate update);

/* Saved-stream images in a file (namelen bytes of fname, or a zero-terminated name when
 * namelen < 0) or in a caller's buffer of __tarrGetStreamSize bytes.
 * An image is trusted input: the loader checks its header, sizes and generator identity, but
 * an image of an abstract stream carries the caller's buffer and callback addresses as they
 * were when it was saved, and the generator word is not authenticated (an image of another
 * generator relabelled as abstract loads, and its first output calls whatever address it
 * holds).  Load only images this process, or a process you trust, wrote. */
ZORP_API int32_t __tarrSaveStreamF(const StreamState* s, const char* fname, int32_t namelen);
ZORP_API int32_t __tarrLoadStreamF(StreamState** s, const char* fname, int32_t namelen);
ZORP_API int32_t __tarrSaveStreamM(const StreamState* s, uint8_t* buffer);
ZORP_API int32_t __tarrLoadStreamM(StreamState** s, const uint8_t* buffer);

/* ---- continuous distributions ----------------------------------------------------------------
 * n values into r from the stream's uniforms: 0, or the stream's negative status (values of the
 * blocks finished before it stay written), or -4 when a stream chunk cannot be allocated. n < 1
 * writes nothing. The method word's low bits select the method, TARR_METHOD_ACCURATE keeps every
 * value inside the support where a generator honours it (Uniform, Exponential, Weibull, Rayleigh,
 * Lognormal). Gaussian methods: 0 Box-Muller, one value per pair; 1 Box-Muller, both values of a
 * pair (any split of a request gives the values of one call); 2 inverse distribution function.
 * Lognormal: method word 0 draws its normals as Gaussian method 1, any other word as method 2.
 * Parameters: a displacement, beta scale, alpha shape, sigma deviation of the normal. */
#define TARR_METHOD_ACCURATE 0x40000000
#define TARR_DECLARE_CONTINUOUS(t, T)                                                                      \
  ZORP_API int32_t _tarr##t##RngUniform(int32_t method, StreamState* stream, int32_t n, T* r, T a, T b);   \
  ZORP_API int32_t _tarr##t##RngGaussian(int32_t method, StreamState* stream, int32_t n, T* r, T a,        \
                                         T sigma);                                                         \
  ZORP_API int32_t _tarr##t##RngExponential(int32_t method, StreamState* stream, int32_t n, T* r, T a,     \
                                            T beta);                                                       \
  ZORP_API int32_t _tarr##t##RngLaplace(int32_t method, StreamState* stream, int32_t n, T* r, T a, T beta); \
  ZORP_API int32_t _tarr##t##RngWeibull(int32_t method, StreamState* stream, int32_t n, T* r, T alpha, T a, \
                                        T beta);                                                           \
  ZORP_API int32_t _tarr##t##RngCauchy(int32_t method, StreamState* stream, int32_t n, T* r, T a, T beta);  \
  ZORP_API int32_t _tarr##t##RngRayleigh(int32_t method, StreamState* stream, int32_t n, T* r, T a,        \
                                         T beta);                                                          \
  ZORP_API int32_t _tarr##t##RngLognormal(int32_t method, StreamState* stream, int32_t n, T* r, T a,       \
                                          T sigma, T b, T beta);                                           \
  ZORP_API int32_t _tarr##t##RngGumbel(int32_t method, StreamState* stream, int32_t n, T* r, T a, T beta);  \
  ZORP_API int32_t _tarr##t##RngGamma(int32_t method, StreamState* stream, int32_t n, T* r, T alpha, T a,  \
                                      T beta);                                                             \
  ZORP_API int32_t _tarr##t##RngBeta(int32_t method, StreamState* stream, int32_t n, T* r, T p, T q, T a,  \
                                     T beta);                                                              \
  ZORP_API int32_t _tarr##t##RngChiSquare(int32_t method, StreamState* stream, int32_t n, T* r, int32_t v);
TARR_DECLARE_CONTINUOUS(d, double)
TARR_DECLARE_CONTINUOUS(s, float)

/* ---- discrete distributions ------------------------------------------------------------------
 * n 32-bit integers into r (UniformBits: the generator's native words, WordSize bytes each;
 * UniformBits64: n 64-bit words), with the status rules of the continuous entries; UniformBits32
 * and UniformBits64 return TARR_ERROR_BRNG_UNSUPPORTED, writing nothing, for generators whose
 * words are not 32 uniform bits. Poisson methods: 0 acceptance-rejection above a mean of 27 and
 * table inversion below, 1 normal approximation. Hypergeometric: l lot size, s sample size,
 * m marked elements. Negbinomial: the failures before the a-th success, success probability p. */
ZORP_API int32_t _tarriRngUniform(int32_t method, StreamState* stream, int32_t n, int32_t* r, int32_t a, int32_t b);
ZORP_API int32_t _tarriRngUniformBits(int32_t method, StreamState* stream, int32_t n, uint32_t* r);
ZORP_API int32_t _tarriRngUniformBits32(int32_t method, StreamState* stream, int32_t n, uint32_t* r);
ZORP_API int32_t _tarriRngUniformBits64(int32_t method, StreamState* stream, int32_t n, uint64_t* r);
ZORP_API int32_t _tarriRngBernoulli(int32_t method, StreamState* stream, int32_t n, int32_t* r, double p);
ZORP_API int32_t _tarriRngGeometric(int32_t method, StreamState* stream, int32_t n, int32_t* r, double p);
ZORP_API int32_t _tarriRngBinomial(int32_t method, StreamState* stream, int32_t n, int32_t* r, int32_t ntrial, double p);
ZORP_API int32_t _tarriRngHypergeometric(int32_t method, StreamState* stream, int32_t n, int32_t* r, int32_t l,
                                         int32_t s, int32_t m);
ZORP_API int32_t _tarriRngPoisson(int32_t method, StreamState* stream, int32_t n, int32_t* r, double lambda);
ZORP_API int32_t _tarriRngPoissonV(int32_t method, StreamState* stream, int32_t n, int32_t* r, const double* lambda);
ZORP_API int32_t _tarriRngNegbinomial(int32_t method, StreamState* stream, int32_t n, int32_t* r, double a, double p);

/* Scalar helpers of the discrete generators' set-up. */
ZORP_API double __tarrdLn(double x);
ZORP_API double __tarrdFloor(double x);

/* ---- multivariate normal ----------------------------------------------------------------------
 * n vectors of dimension d, one after the other in r: r[i*d .. i*d+d-1] = a + T z with z drawn by
 * the Gaussian generator's method (0, 1, 2 as above, so d = 1 is that generator's draw with mean
 * a[0] and deviation T[0]). T is the lower-triangular Cholesky factor of the covariance, stored
 * as TARR_MV_FULL (d*d values, the lower triangle in row order: T[i*d + j] for j <= i; the upper
 * part is not read), TARR_MV_PACKED (d*(d+1)/2 values, the lower triangle packed column by
 * column) or TARR_MV_DIAGONAL (d values). Returns 0, the Gaussian generator's negative status,
 * or TARR_ERROR_BAD_ARGUMENTS for d < 1 or another storage code. */
#define TARR_MV_FULL 0
#define TARR_MV_PACKED 1
#define TARR_MV_DIAGONAL 2
ZORP_API int32_t _tarrdRngGaussianMV(int32_t method, StreamState* stream, int32_t n, double* r, int32_t d,
                                     int32_t storage, const double* a, const double* t);
ZORP_API int32_t _tarrsRngGaussianMV(int32_t method, StreamState* stream, int32_t n, float* r, int32_t d,
                                     int32_t storage, const float* a, const float* t);

/* ---- multinomial ------------------------------------------------------------------------------
 * n vectors of k counts, one after the other in r, each the outcome of ntrial trials falling in
 * category j with probability p[j]. ntrial = 0 writes n*k zeros. Returns 0, -1150 (writing
 * nothing) when k < 1, a p[j] is negative or NaN, or the p sum outside [0.999, 1.001]; -4 when
 * its work array cannot be allocated; or the stream's negative status. With p summing a little
 * below 1, a trial whose uniform falls past the last cumulative probability is not counted. */
#define TARR_ERROR_BAD_PROBABILITIES (-1150)
ZORP_API int32_t _tarriRngMultinomial(int32_t method, StreamState* stream, int32_t n, int32_t* r, int32_t ntrial,
                                      int32_t k, const double* p);

/* Processor features guarding the counter-based and hardware generators: 1 or 0. */
ZORP_API int32_t __tarrCPUisAES(void);
ZORP_API int32_t __tarrCPUisRDRAND(void);
ZORP_API int32_t __tarrCPUisVAES(void);

/* The entries of every generator that is built, from the generator table. */
#define TARR_DECLARE_IF_BUILT_0(NAME)
#define TARR_DECLARE_IF_BUILT_1(NAME) TARR_DECLARE_BRNG(NAME)
#define ZORP_BRNG(row, NAME, label, state, seeds, zero, word, bits, members, legacy, methods, built) \
  TARR_DECLARE_IF_BUILT_##built(NAME)
#include "zorp/rng_generators.def"
#undef ZORP_BRNG

ZORP_END_C

#endif
