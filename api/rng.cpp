// The checked random-stream entries: streams, skip-ahead and leapfrog, saved images with their
// length, and every distribution with its parameter domain.
//
// A distribution entry runs its checks in the order zorp/zorp.h gives (stream, count, arrays,
// kind of stream, method, parameters) and then calls the export; every refusal returns before
// the export runs, so nothing is written.
#include <cmath>
#include <cstring>
#include <initializer_list>

#include "api/loader.h"
#include "zorp/zorp.h"

namespace zorp::api {
namespace {

// ---- what a generator row supports: the generator table's methods column ------------------------
constexpr uint32_t kLeapfrog = 1, kSkip = 2, kSkipEx = 4;
struct RowMethods {
  uint32_t brng_row;  // the identifier's row number (identifier >> 20, minus 1)
  uint32_t methods;
};
constexpr RowMethods kRowMethods[] = {
#define ZORP_BRNG(row, NAME, label, state, seeds, zero, word, bits, members, legacy, methods, built) {row, methods},
#include "zorp/rng_generators.def"
#undef ZORP_BRNG
};

uint32_t row_of(uint32_t brng) { return (brng / TARR_BRNG_INC) - 1; }

uint32_t methods_of(uint32_t brng) {
  for (const RowMethods& r : kRowMethods)
    if (r.brng_row == row_of(brng)) return r.methods;
  return 0;
}

// ---- the abstract kinds: each serves one number type --------------------------------------------
enum class Draws { Doubles, Singles, Words, Counts };
int32_t kind_check(uint32_t brng, Draws draws) {
  const uint32_t family = brng & ~(TARR_BRNG_INC - 1);
  const bool ok = [&] {
    switch (family) {
      case TARR_BRNG_IABSTRACT: return draws == Draws::Words;
      case TARR_BRNG_DABSTRACT: return draws == Draws::Doubles || draws == Draws::Counts;
      case TARR_BRNG_SABSTRACT: return draws == Draws::Singles || draws == Draws::Counts;
      default: return true;
    }
  }();
  return ok ? TARR_STATUS_OK : TARR_ERROR_ABSTRACT_KIND;
}

// ---- parameter domains -------------------------------------------------------------------------
template <class T>
bool finite(T x) {
  return std::isfinite(x);
}
template <class T>
bool positive(T x) {  // scales, deviations, shapes: (0, inf)
  return x > 0 && std::isfinite(x);
}
bool probability(double p) { return p >= 0 && p <= 1; }
bool open_probability(double p) { return p > 0 && p <= 1; }  // a success must be possible

// ---- the stream ----------------------------------------------------------------------------------
// 0 and the generator identifier, or the refusal of a null stream or one whose generator word
// names no registered generator.
int32_t stream_check(const Kernel& k, const StreamState* s, uint32_t* brng) {
  if (!s) return TARR_ERROR_NULL_ENTRY;
  BrngProperties props;
  if (k.__tarrGetBrngProperties(s->brng, &props) != TARR_STATUS_OK) return TARR_ERROR_INVALID_BRNG;
  *brng = s->brng;
  return TARR_STATUS_OK;
}

// The checks every distribution starts with: library, stream, count, arrays, kind.
int32_t request(const Kernel** k, const StreamState* s, int64_t n, std::initializer_list<const void*> arrays,
                Draws draws) {
  if (const int32_t status = kernel(k); status != 0) return status;
  uint32_t brng;
  if (const int32_t status = stream_check(**k, s, &brng); status != TARR_STATUS_OK) return status;
  if (n < 0) return TARR_ERROR_BAD_ARGUMENTS;
  if (n > 0)
    for (const void* p : arrays)
      if (!p) return TARR_ERROR_NULL_ENTRY;
  return kind_check(brng, draws);
}

// The method word: one of `plain`, or one of them with the accurate flag where `accurate`.
int32_t method_check(int32_t method, std::initializer_list<int32_t> plain, bool accurate) {
  const int32_t base = accurate ? (method & ~TARR_METHOD_ACCURATE) : method;
  for (int32_t m : plain)
    if (base == m) return TARR_STATUS_OK;
  return TARR_ERROR_UNKNOWN_METHOD;
}

int32_t domain(bool ok) { return ok ? TARR_STATUS_OK : TARR_ERROR_BAD_ARGUMENTS; }

template <class T>
constexpr Draws real_draws() {
  return sizeof(T) == sizeof(double) ? Draws::Doubles : Draws::Singles;
}

// One distribution entry: the shared checks, the method, the domain, then the export. `call`
// receives the loaded entries.
template <class Call>
int32_t distribution(const StreamState* s, int64_t n, std::initializer_list<const void*> arrays, Draws draws,
                     int32_t method_status, bool in_domain, Call call) {
  const Kernel* k;
  if (const int32_t status = request(&k, s, n, arrays, draws); status != TARR_STATUS_OK) return status;
  if (method_status != TARR_STATUS_OK) return method_status;
  if (const int32_t status = domain(in_domain); status != TARR_STATUS_OK) return status;
  return call(*k);
}

constexpr bool kAccurateToo = true, kPlainOnly = false;

// ---- saved images --------------------------------------------------------------------------------
// The bytes an image declares, walked as the loader reads it (src/rng/stream/save_load.cpp): the
// 24-byte header (20 in the older layout), the state, and per chunk an id, a 16-byte key (saved
// since version 1), a size and the data. 0 when the buffer ends before a field that says how
// much follows, which the loader would read past.
constexpr size_t kHeader = 24, kOldHeader = 20;
uint32_t get32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
uint16_t get16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
struct Declared {
  bool whole;  // the buffer holds everything the image declares
  uint32_t brng;
};
Declared declared(const uint8_t* b, size_t size) {
  if (size < 8) return {false, 0};
  const bool current = b[0] == 2;
  const size_t header = current ? kHeader : kOldHeader;
  if (size < header) return {false, 0};
  const uint64_t state = current ? get32(b + 12) : get16(b + 10);
  const uint32_t chunks = current ? get16(b + 16) : get16(b + 12);
  const uint32_t brng = current ? get32(b + 20) : get32(b + 16);
  const uint8_t version = std::memcmp(b + 4, "RNG", 3) == 0 ? b[0] : b[4];
  const uint64_t chunk_head = (version == 1 || version == 2) ? 24 : 8;
  uint64_t at = header + state;
  for (uint32_t c = 0; c < chunks; ++c) {
    if (at + chunk_head > size) return {false, brng};
    at += chunk_head + get32(b + at + chunk_head - 4);
  }
  return {at <= size, brng};
}

bool abstract(uint32_t brng) {
  const uint32_t family = brng & ~(TARR_BRNG_INC - 1);
  return family == TARR_BRNG_IABSTRACT || family == TARR_BRNG_DABSTRACT || family == TARR_BRNG_SABSTRACT;
}


// An abstract stream's checks, then `create`: a count of at least one, the buffer and the
// callback, and for the real kinds an interval that is finite as well as ordered (an infinite end
// maps every number to a NaN or an infinity). The integer kind has no interval: a = 0, b = 1.
template <class T, class Create>
int32_t new_abstract(StreamState** s, int32_t n, T* buffer, double a, double b, AbstractStreamUpdate update,
                     Create create) {
  const Kernel* k;
  if (const int32_t status = kernel(&k); status != 0) return status;
  if (!s) return TARR_ERROR_NULL_ENTRY;
  if (n < 1 || !buffer || !update || !std::isfinite(a) || !std::isfinite(b) || !(a < b))
    return TARR_ERROR_BAD_ARGUMENTS;
  return create(*k);
}
}  // namespace
}  // namespace zorp::api

using namespace zorp::api;

extern "C" {

// ---- streams ---------------------------------------------------------------------------------------

int32_t zorp_rng_new_stream_ex(StreamState** s, uint32_t brng, int32_t n, const uint32_t* params) {
  const Kernel* k;
  if (const int32_t status = kernel(&k); status != 0) return status;
  if (!s) return TARR_ERROR_NULL_ENTRY;
  if (n < 0) return TARR_ERROR_BAD_ARGUMENTS;
  if (n > 0 && !params) return TARR_ERROR_NULL_ENTRY;
  return k->__tarrNewStreamEx(s, brng, n, params);
}

int32_t zorp_rng_new_stream(StreamState** s, uint32_t brng, uint32_t seed) {
  return zorp_rng_new_stream_ex(s, brng, 1, &seed);
}

int32_t zorp_rng_new_abstract_stream(StreamState** s, int32_t n, uint32_t* buffer, AbstractStreamUpdate update) {
  return new_abstract(s, n, buffer, 0, 1, update,
                      [&](const Kernel& k) { return k.__tarriNewAbstractStream(s, n, buffer, update); });
}

int32_t zorp_rng_new_abstract_stream_d(StreamState** s, int32_t n, double* buffer, double a, double b,
                                       AbstractStreamUpdate update) {
  return new_abstract(s, n, buffer, a, b, update,
                      [&](const Kernel& k) { return k.__tarrdNewAbstractStream(s, n, buffer, a, b, update); });
}

int32_t zorp_rng_new_abstract_stream_s(StreamState** s, int32_t n, float* buffer, float a, float b,
                                       AbstractStreamUpdate update) {
  return new_abstract(s, n, buffer, a, b, update,
                      [&](const Kernel& k) { return k.__tarrsNewAbstractStream(s, n, buffer, a, b, update); });
}

int32_t zorp_rng_copy_stream(StreamState** dst, const StreamState* src) {
  const Kernel* k;
  if (const int32_t status = kernel(&k); status != 0) return status;
  uint32_t brng;
  if (!dst) return TARR_ERROR_NULL_ENTRY;
  if (const int32_t status = stream_check(*k, src, &brng); status != TARR_STATUS_OK) return status;
  return k->__tarrCopyStream(dst, src);
}

int32_t zorp_rng_copy_stream_state(StreamState* dst, const StreamState* src) {
  const Kernel* k;
  if (const int32_t status = kernel(&k); status != 0) return status;
  uint32_t from, to;
  if (const int32_t status = stream_check(*k, dst, &to); status != TARR_STATUS_OK) return status;
  if (const int32_t status = stream_check(*k, src, &from); status != TARR_STATUS_OK) return status;
  if (from != to) return TARR_ERROR_INVALID_BRNG;
  return k->__tarrCopyStreamState(dst, src);
}

int32_t zorp_rng_delete_stream(StreamState** s) {
  const Kernel* k;
  if (const int32_t status = kernel(&k); status != 0) return status;
  if (!s) return TARR_ERROR_NULL_ENTRY;
  if (!*s) return TARR_STATUS_OK;
  uint32_t brng;
  if (const int32_t status = stream_check(*k, *s, &brng); status != TARR_STATUS_OK) return status;
  return k->__tarrDeleteStream(s);
}

int32_t zorp_rng_stream_brng(const StreamState* s, uint32_t* brng) {
  const Kernel* k;
  if (const int32_t status = kernel(&k); status != 0) return status;
  uint32_t b;
  if (const int32_t status = stream_check(*k, s, &b); status != TARR_STATUS_OK) return status;
  if (!brng) return TARR_ERROR_NULL_ENTRY;
  *brng = b;
  return TARR_STATUS_OK;
}

// ---- skip-ahead and leapfrog ---------------------------------------------------------------------

namespace {
// The stream, and whether its generator has the method (else that method's refusal).
int32_t split_check(const Kernel** k, const StreamState* s, uint32_t method, int32_t refusal) {
  if (const int32_t status = kernel(k); status != 0) return status;
  uint32_t brng;
  if (const int32_t status = stream_check(**k, s, &brng); status != TARR_STATUS_OK) return status;
  return (methods_of(brng) & method) ? TARR_STATUS_OK : refusal;
}
}  // namespace

int32_t zorp_rng_skip_ahead(StreamState* s, uint64_t nskip) {
  const Kernel* k;
  if (const int32_t status = split_check(&k, s, kSkip, TARR_ERROR_NO_SKIPAHEAD); status != TARR_STATUS_OK)
    return status;
  return k->__tarrSkipAheadStream(s, nskip);
}

int32_t zorp_rng_skip_ahead_ex(StreamState* s, int32_t n, const uint64_t* nskip) {
  const Kernel* k;
  if (const int32_t status = split_check(&k, s, kSkipEx, TARR_ERROR_NO_SKIPAHEAD_EX); status != TARR_STATUS_OK)
    return status;
  if (n < 1) return TARR_ERROR_BAD_ARGUMENTS;
  if (!nskip) return TARR_ERROR_NULL_ENTRY;
  return k->__tarrSkipAheadStreamEx(s, n, nskip);
}

int32_t zorp_rng_leapfrog(StreamState* s, uint32_t kth, int32_t nstreams) {
  const Kernel* k;
  if (const int32_t status = split_check(&k, s, kLeapfrog, TARR_ERROR_NO_LEAPFROG); status != TARR_STATUS_OK)
    return status;
  if (nstreams < 1) return TARR_ERROR_BAD_STREAM_COUNT;
  if (kth >= static_cast<uint32_t>(nstreams)) return TARR_ERROR_BAD_ARGUMENTS;
  return k->__tarrLeapfrogStream(s, kth, nstreams);
}

// ---- saved images ------------------------------------------------------------------------------

int32_t zorp_rng_image_size(const StreamState* s, size_t* bytes) {
  const Kernel* k;
  if (const int32_t status = kernel(&k); status != 0) return status;
  uint32_t brng;
  if (const int32_t status = stream_check(*k, s, &brng); status != TARR_STATUS_OK) return status;
  if (!bytes) return TARR_ERROR_NULL_ENTRY;
  const int32_t size = k->__tarrGetStreamSize(s);
  if (size < 0) return size;
  *bytes = static_cast<size_t>(size);
  return TARR_STATUS_OK;
}

int32_t zorp_rng_save(const StreamState* s, uint8_t* buffer, size_t size) {
  size_t need = 0;
  if (const int32_t status = zorp_rng_image_size(s, &need); status != TARR_STATUS_OK) return status;
  if (!buffer) return TARR_ERROR_NULL_ENTRY;
  if (size < need) return TARR_ERROR_BAD_ARGUMENTS;
  const Kernel* k;
  kernel(&k);
  return k->__tarrSaveStreamM(s, buffer);
}

int32_t zorp_rng_load(StreamState** s, const uint8_t* buffer, size_t size, int32_t allow_abstract) {
  const Kernel* k;
  if (const int32_t status = kernel(&k); status != 0) return status;
  if (!s || !buffer) return TARR_ERROR_NULL_ENTRY;
  const Declared image = declared(buffer, size);
  if (!image.whole) return TARR_ERROR_MEMORY_FORMAT;
  if (abstract(image.brng) && !allow_abstract) return TARR_ERROR_BRNG_UNSUPPORTED;
  return k->__tarrLoadStreamM(s, buffer);
}

int32_t zorp_rng_save_file(const StreamState* s, const char* path) {
  const Kernel* k;
  if (const int32_t status = kernel(&k); status != 0) return status;
  uint32_t brng;
  if (const int32_t status = stream_check(*k, s, &brng); status != TARR_STATUS_OK) return status;
  if (!path) return TARR_ERROR_NULL_ENTRY;
  return k->__tarrSaveStreamF(s, path, -1);
}

int32_t zorp_rng_load_file(StreamState** s, const char* path, int32_t allow_abstract) {
  const Kernel* k;
  if (const int32_t status = kernel(&k); status != 0) return status;
  if (!s || !path) return TARR_ERROR_NULL_ENTRY;
  StreamState* loaded = nullptr;
  if (const int32_t status = k->__tarrLoadStreamF(&loaded, path, -1); status != TARR_STATUS_OK) return status;
  // A file's image is only known once read; a refused one is dropped before the caller sees it.
  if (abstract(loaded->brng) && !allow_abstract) {
    k->__tarrDeleteStream(&loaded);
    return TARR_ERROR_BRNG_UNSUPPORTED;
  }
  *s = loaded;
  return TARR_STATUS_OK;
}

// ---- continuous distributions --------------------------------------------------------------------

#define ZORP_API_CONTINUOUS(t, T)                                                                                 \
  int32_t zorp_rng_##t##Uniform(int32_t method, StreamState* s, int32_t n, T* r, T a, T b) {                      \
    return distribution(s, n, {r}, real_draws<T>(), method_check(method, {0}, kAccurateToo),                      \
                        finite(a) && finite(b) && a < b,                                                          \
                        [&](const Kernel& k) { return k._tarr##t##RngUniform(method, s, n, r, a, b); });           \
  }                                                                                                               \
  int32_t zorp_rng_##t##Gaussian(int32_t method, StreamState* s, int32_t n, T* r, T a, T sigma) {                 \
    return distribution(s, n, {r}, real_draws<T>(), method_check(method, {0, 1, 2}, kPlainOnly),                  \
                        finite(a) && positive(sigma),                                                             \
                        [&](const Kernel& k) { return k._tarr##t##RngGaussian(method, s, n, r, a, sigma); });      \
  }                                                                                                               \
  int32_t zorp_rng_##t##Exponential(int32_t method, StreamState* s, int32_t n, T* r, T a, T beta) {               \
    return distribution(s, n, {r}, real_draws<T>(), method_check(method, {0}, kAccurateToo),                      \
                        finite(a) && positive(beta),                                                              \
                        [&](const Kernel& k) { return k._tarr##t##RngExponential(method, s, n, r, a, beta); });   \
  }                                                                                                               \
  int32_t zorp_rng_##t##Laplace(int32_t method, StreamState* s, int32_t n, T* r, T a, T beta) {                   \
    return distribution(s, n, {r}, real_draws<T>(), method_check(method, {0}, kPlainOnly),                        \
                        finite(a) && positive(beta),                                                              \
                        [&](const Kernel& k) { return k._tarr##t##RngLaplace(method, s, n, r, a, beta); });       \
  }                                                                                                               \
  int32_t zorp_rng_##t##Weibull(int32_t method, StreamState* s, int32_t n, T* r, T alpha, T a, T beta) {          \
    return distribution(s, n, {r}, real_draws<T>(), method_check(method, {0}, kAccurateToo),                      \
                        positive(alpha) && finite(a) && positive(beta),                                           \
                        [&](const Kernel& k) { return k._tarr##t##RngWeibull(method, s, n, r, alpha, a, beta); }); \
  }                                                                                                               \
  int32_t zorp_rng_##t##Cauchy(int32_t method, StreamState* s, int32_t n, T* r, T a, T beta) {                    \
    return distribution(s, n, {r}, real_draws<T>(), method_check(method, {0}, kPlainOnly),                        \
                        finite(a) && positive(beta),                                                              \
                        [&](const Kernel& k) { return k._tarr##t##RngCauchy(method, s, n, r, a, beta); });        \
  }                                                                                                               \
  int32_t zorp_rng_##t##Rayleigh(int32_t method, StreamState* s, int32_t n, T* r, T a, T beta) {                  \
    return distribution(s, n, {r}, real_draws<T>(), method_check(method, {0}, kAccurateToo),                      \
                        finite(a) && positive(beta),                                                              \
                        [&](const Kernel& k) { return k._tarr##t##RngRayleigh(method, s, n, r, a, beta); });      \
  }                                                                                                               \
  int32_t zorp_rng_##t##Lognormal(int32_t method, StreamState* s, int32_t n, T* r, T a, T sigma, T b, T beta) {   \
    return distribution(                                                                                          \
        s, n, {r}, real_draws<T>(), method_check(method, {0, 2}, kAccurateToo),                                   \
        finite(a) && positive(sigma) && finite(b) && positive(beta),                                              \
        [&](const Kernel& k) { return k._tarr##t##RngLognormal(method, s, n, r, a, sigma, b, beta); });           \
  }                                                                                                               \
  int32_t zorp_rng_##t##Gumbel(int32_t method, StreamState* s, int32_t n, T* r, T a, T beta) {                    \
    return distribution(s, n, {r}, real_draws<T>(), method_check(method, {0}, kPlainOnly),                        \
                        finite(a) && positive(beta),                                                              \
                        [&](const Kernel& k) { return k._tarr##t##RngGumbel(method, s, n, r, a, beta); });        \
  }                                                                                                               \
  int32_t zorp_rng_##t##Gamma(int32_t method, StreamState* s, int32_t n, T* r, T alpha, T a, T beta) {            \
    return distribution(s, n, {r}, real_draws<T>(), method_check(method, {0}, kPlainOnly),                        \
                        positive(alpha) && finite(a) && positive(beta),                                           \
                        [&](const Kernel& k) { return k._tarr##t##RngGamma(method, s, n, r, alpha, a, beta); });  \
  }                                                                                                               \
  int32_t zorp_rng_##t##Beta(int32_t method, StreamState* s, int32_t n, T* r, T p, T q, T a, T beta) {            \
    return distribution(s, n, {r}, real_draws<T>(), method_check(method, {0}, kPlainOnly),                        \
                        positive(p) && positive(q) && finite(a) && positive(beta),                                \
                        [&](const Kernel& k) { return k._tarr##t##RngBeta(method, s, n, r, p, q, a, beta); });    \
  }                                                                                                               \
  int32_t zorp_rng_##t##ChiSquare(int32_t method, StreamState* s, int32_t n, T* r, int32_t v) {                   \
    return distribution(s, n, {r}, real_draws<T>(), method_check(method, {0}, kPlainOnly), v >= 1,                \
                        [&](const Kernel& k) { return k._tarr##t##RngChiSquare(method, s, n, r, v); });           \
  }                                                                                                               \
  int32_t zorp_rng_##t##GaussianMV(int32_t method, StreamState* s, int32_t n, T* r, int32_t d, int32_t storage,   \
                                   const T* a, const T* tf) {                                                     \
    return distribution(                                                                                          \
        s, n, {r, a, tf}, real_draws<T>(), method_check(method, {0, 1, 2}, kPlainOnly),                           \
        d >= 1 && storage >= TARR_MV_FULL && storage <= TARR_MV_DIAGONAL && int64_t{n} * d <= INT32_MAX,          \
        [&](const Kernel& k) { return k._tarr##t##RngGaussianMV(method, s, n, r, d, storage, a, tf); });          \
  }
ZORP_API_CONTINUOUS(d, double)
ZORP_API_CONTINUOUS(s, float)

// ---- discrete distributions ------------------------------------------------------------------------

int32_t zorp_rng_iUniform(int32_t method, StreamState* s, int32_t n, int32_t* r, int32_t a, int32_t b) {
  return distribution(s, n, {r}, Draws::Counts, method_check(method, {0}, kPlainOnly), a < b,
                      [&](const Kernel& k) { return k._tarriRngUniform(method, s, n, r, a, b); });
}
int32_t zorp_rng_iUniformBits(int32_t method, StreamState* s, int32_t n, uint32_t* r) {
  return distribution(s, n, {r}, Draws::Words, method_check(method, {0}, kPlainOnly), true,
                      [&](const Kernel& k) { return k._tarriRngUniformBits(method, s, n, r); });
}
int32_t zorp_rng_iUniformBits32(int32_t method, StreamState* s, int32_t n, uint32_t* r) {
  return distribution(s, n, {r}, Draws::Words, method_check(method, {0}, kPlainOnly), true,
                      [&](const Kernel& k) { return k._tarriRngUniformBits32(method, s, n, r); });
}
int32_t zorp_rng_iUniformBits64(int32_t method, StreamState* s, int32_t n, uint64_t* r) {
  return distribution(s, n, {r}, Draws::Words, method_check(method, {0}, kPlainOnly), true,
                      [&](const Kernel& k) { return k._tarriRngUniformBits64(method, s, n, r); });
}
int32_t zorp_rng_iBernoulli(int32_t method, StreamState* s, int32_t n, int32_t* r, double p) {
  return distribution(s, n, {r}, Draws::Counts, method_check(method, {0}, kPlainOnly), probability(p),
                      [&](const Kernel& k) { return k._tarriRngBernoulli(method, s, n, r, p); });
}
int32_t zorp_rng_iGeometric(int32_t method, StreamState* s, int32_t n, int32_t* r, double p) {
  return distribution(s, n, {r}, Draws::Counts, method_check(method, {0}, kPlainOnly), open_probability(p),
                      [&](const Kernel& k) { return k._tarriRngGeometric(method, s, n, r, p); });
}
int32_t zorp_rng_iBinomial(int32_t method, StreamState* s, int32_t n, int32_t* r, int32_t ntrial, double p) {
  return distribution(s, n, {r}, Draws::Counts, method_check(method, {0}, kPlainOnly),
                      ntrial >= 0 && probability(p),
                      [&](const Kernel& k) { return k._tarriRngBinomial(method, s, n, r, ntrial, p); });
}
int32_t zorp_rng_iHypergeometric(int32_t method, StreamState* s, int32_t n, int32_t* r, int32_t l, int32_t ssize,
                                 int32_t m) {
  return distribution(s, n, {r}, Draws::Counts, method_check(method, {0}, kPlainOnly),
                      l >= 0 && ssize >= 0 && ssize <= l && m >= 0 && m <= l,
                      [&](const Kernel& k) { return k._tarriRngHypergeometric(method, s, n, r, l, ssize, m); });
}
int32_t zorp_rng_iPoisson(int32_t method, StreamState* s, int32_t n, int32_t* r, double lambda) {
  return distribution(s, n, {r}, Draws::Counts, method_check(method, {0, 1}, kPlainOnly), positive(lambda),
                      [&](const Kernel& k) { return k._tarriRngPoisson(method, s, n, r, lambda); });
}
int32_t zorp_rng_iPoissonV(int32_t method, StreamState* s, int32_t n, int32_t* r, const double* lambda) {
  bool means = true;
  for (int32_t i = 0; lambda && i < n && means; ++i) means = positive(lambda[i]);
  return distribution(s, n, {r, lambda}, Draws::Counts, method_check(method, {0}, kPlainOnly), means,
                      [&](const Kernel& k) { return k._tarriRngPoissonV(method, s, n, r, lambda); });
}
int32_t zorp_rng_iNegbinomial(int32_t method, StreamState* s, int32_t n, int32_t* r, double a, double p) {
  return distribution(s, n, {r}, Draws::Counts, method_check(method, {0}, kPlainOnly),
                      positive(a) && open_probability(p),
                      [&](const Kernel& k) { return k._tarriRngNegbinomial(method, s, n, r, a, p); });
}
int32_t zorp_rng_iMultinomial(int32_t method, StreamState* s, int32_t n, int32_t* r, int32_t ntrial, int32_t k,
                              const double* p) {
  return distribution(s, n, {r, p}, Draws::Counts, method_check(method, {0}, kPlainOnly),
                      ntrial >= 0 && k >= 1 && int64_t{n} * k <= INT32_MAX,
                      [&](const Kernel& kl) { return kl._tarriRngMultinomial(method, s, n, r, ntrial, k, p); });
}

}  // extern "C"
