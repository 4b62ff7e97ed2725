// Abstract streams: the caller's own numbers, fed through a circular buffer that the caller's
// update callback refills, served to every consumer of a stream. One kind per number type
// (32-bit integers, doubles, singles); each serves only its own output, and the outputs of the
// other two types are one shared refusal.
//
// The buffer holds n slots. idx is the slot of the next number to hand out and `used` counts the
// slots whose numbers are gone (all n right after creation), so n - used numbers wait from idx
// on, and the free slots begin right after them. When a request outruns what waits, the callback
// is asked to write into the free slots: at least one number, at most `used` of them; it may
// write fewer than the request still needs, and is then simply asked again.
//
// The buffer and the callback stay the caller's: copies of the stream share them, deleting the
// stream leaves them alone, and a saved image records their addresses, which mean something only
// in the process that saved it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "rng/registry/registry.h"
#include "zorp/export.h"
#include "zorp/rng.h"

namespace zorp::rng {
namespace {

// The state after the 16-byte header, one layout per kind; the common fields come first.
struct Ring {
  uint32_t n, idx, used;
};
struct IntState {
  Ring ring;
  uint32_t pad;
  uint32_t* buffer;
  AbstractStreamUpdate update;
};
struct DoubleState {
  Ring ring;
  uint32_t pad;
  double a, b;
  double* buffer;
  AbstractStreamUpdate update;
};
struct SingleState {
  Ring ring;
  float a, b;
  uint32_t pad;
  float* buffer;
  AbstractStreamUpdate update;
};
static_assert(sizeof(StreamState) + sizeof(IntState) == 48 && offsetof(IntState, buffer) == 16);
static_assert(sizeof(StreamState) + sizeof(DoubleState) == 64 && offsetof(DoubleState, buffer) == 32);
static_assert(sizeof(StreamState) + sizeof(SingleState) == 56 && offsetof(SingleState, a) == 12 &&
              offsetof(SingleState, buffer) == 24);

// The creation words InitStream receives: pointers, two 32-bit words each.
constexpr int32_t kIntWords = 6, kRealWords = 10;

template <class T>
struct Kind;
template <>
struct Kind<uint32_t> {
  using State = IntState;
  static constexpr uint32_t kBrng = TARR_BRNG_IABSTRACT;
  static constexpr int32_t kWords = kIntWords;
};
template <>
struct Kind<double> {
  using State = DoubleState;
  static constexpr uint32_t kBrng = TARR_BRNG_DABSTRACT;
  static constexpr int32_t kWords = kRealWords;
};
template <>
struct Kind<float> {
  using State = SingleState;
  static constexpr uint32_t kBrng = TARR_BRNG_SABSTRACT;
  static constexpr int32_t kWords = kRealWords;
};

// The checks of creation, shared with a direct call of the row's InitStream. NaN bounds fail
// a < b and are refused with the rest.
template <class T>
int32_t check(int32_t n, const T* buffer, AbstractStreamUpdate update, T a = 0, T b = 1) {
  if (n <= 0 || !buffer || !update || !(a < b)) return TARR_ERROR_BAD_ARGUMENTS;
  return TARR_STATUS_OK;
}

template <class T>
int32_t init(int32_t method, StreamState* s, int32_t k, const uint32_t* params) {
  switch (method) {
    case TARR_INIT_SEED: break;
    case TARR_INIT_LEAPFROG: return TARR_ERROR_NO_LEAPFROG;
    case TARR_INIT_SKIPAHEAD: return TARR_ERROR_NO_SKIPAHEAD;
    case TARR_INIT_SKIPAHEAD_EX: return TARR_ERROR_NO_SKIPAHEAD_EX;
    default: return TARR_ERROR_UNKNOWN_METHOD;
  }
  if (!s) return TARR_ERROR_NULL_ENTRY;
  if (!params || k < Kind<T>::kWords) return TARR_ERROR_BAD_ARGUMENTS;
  void* p[5];
  std::memcpy(p, params, static_cast<size_t>(Kind<T>::kWords) * 4);
  const int32_t n = p[0] ? *static_cast<const int32_t*>(p[0]) : 0;
  auto* buffer = static_cast<T*>(p[1]);
  typename Kind<T>::State& st = *state_of<typename Kind<T>::State>(s);
  std::memset(&st, 0, sizeof st);
  if constexpr (std::is_same_v<T, uint32_t>) {
    AbstractStreamUpdate update;
    std::memcpy(&update, &p[2], sizeof update);
    if (const int32_t status = check(n, buffer, update); status != TARR_STATUS_OK) return status;
    st.update = update;
  } else {
    if (!p[2] || !p[3]) return TARR_ERROR_BAD_ARGUMENTS;
    const T a = *static_cast<const T*>(p[2]), b = *static_cast<const T*>(p[3]);
    AbstractStreamUpdate update;
    std::memcpy(&update, &p[4], sizeof update);
    if (const int32_t status = check(n, buffer, update, a, b); status != TARR_STATUS_OK) return status;
    st.a = a;
    st.b = b;
    st.update = update;
  }
  st.ring = {static_cast<uint32_t>(n), 0, static_cast<uint32_t>(n)};
  st.buffer = buffer;
  return TARR_STATUS_OK;
}

// Hands out m numbers, each passed through put(at, from, count) in runs of consecutive slots,
// refilling through the callback as often as the request needs. A failing callback leaves the
// numbers handed out so far written and counted as gone.
template <class T, class Put>
int32_t serve(StreamState* s, int32_t m, Put&& put) {
  if (!s) return TARR_ERROR_NULL_ENTRY;
  typename Kind<T>::State& st = *state_of<typename Kind<T>::State>(s);
  if (!st.buffer) return TARR_ERROR_NULL_ENTRY;
  Ring& ring = st.ring;
  // A loaded image may carry any counts: they are brought inside the buffer, never trusted.
  if (ring.n == 0 || ring.n > INT32_MAX) return TARR_ERROR_BAD_ARGUMENTS;
  ring.idx %= ring.n;
  ring.used = std::min(ring.used, ring.n);
  int32_t done = 0;
  while (done < m) {
    const uint32_t waiting = ring.n - ring.used;
    if (waiting == 0) {
      const int32_t n = static_cast<int32_t>(ring.n);
      const int32_t nmin = std::min(m - done, n);
      const int32_t nmax = static_cast<int32_t>(ring.used);
      // Everything waiting is handed out, so all free slots start at idx.
      const int32_t at = static_cast<int32_t>(ring.idx);
      const int32_t got = st.update(s, &n, st.buffer, &nmin, &nmax, &at);
      if (got < 0 || got > nmax) return TARR_ERROR_ABSTRACT_UPDATE;
      if (got == 0) return TARR_ERROR_ABSTRACT_EMPTY;
      ring.used -= static_cast<uint32_t>(got);
      continue;
    }
    // One run: up to the end of the buffer, the waiting numbers, or the request.
    const int32_t run = static_cast<int32_t>(std::min({ring.n - ring.idx, waiting, static_cast<uint32_t>(m - done)}));
    put(done, st.buffer + ring.idx, run);
    done += run;
    ring.idx = (ring.idx + static_cast<uint32_t>(run)) % ring.n;
    ring.used += static_cast<uint32_t>(run);
  }
  return TARR_STATUS_OK;
}

// u on [a_s, b_s] to [a, b]: a + (u - a_s) * ((b - a) / (b_s - a_s)). The factor is formed once
// per call rather than dividing per number; for the usual [0, 1) sources it is exact.
template <class T>
int32_t reals(StreamState* s, int32_t m, T* r, T a, T b) {
  if (!s) return TARR_ERROR_NULL_ENTRY;
  const typename Kind<T>::State& st = *state_of<typename Kind<T>::State>(s);
  const T as = st.a, f = (b - a) / (st.b - st.a);
  return serve<T>(s, m, [&](int32_t at, const T* from, int32_t count) {
    for (int32_t i = 0; i < count; ++i) r[at + i] = a + (from[i] - as) * f;
  });
}

int32_t refuse() { return TARR_ERROR_ABSTRACT_KIND; }

// Creation: the arguments, then the row (refused when it is not in the registry), the block,
// and the row's own InitStream on the pointers to the arguments.
template <class T>
int32_t create(StreamState** s, int32_t n, T* buffer, AbstractStreamUpdate update, void* const* words, T a = 0,
               T b = 1) {
  if (!s) return TARR_ERROR_NULL_ENTRY;
  if (const int32_t status = check(n, buffer, update, a, b); status != TARR_STATUS_OK) return status;
  const RowRef r = map_brng(Kind<T>::kBrng);
  StreamState* block = nullptr;
  int32_t status = __tarrAllocateStream(&block, r.table, Kind<T>::kBrng, r.index, r.member);
  if (status == TARR_ERROR_NO_MEMORY) *s = nullptr;
  if (status != TARR_STATUS_OK) return status;
  uint32_t params[kRealWords];
  std::memcpy(params, words, static_cast<size_t>(Kind<T>::kWords) * 4);
  status = r.table[r.index].InitStream(TARR_INIT_SEED, block, Kind<T>::kWords, params);
  if (status != TARR_STATUS_OK) {
    __tarrDeleteStream(&block);
    return status;
  }
  *s = block;
  return TARR_STATUS_OK;
}

}  // namespace
}  // namespace zorp::rng

using namespace zorp::rng;

extern "C" {

ZORP_API int32_t __tarriNewAbstractStream(StreamState** s, int32_t n, uint32_t* buffer,
                                          AbstractStreamUpdate update) {
  void* const words[] = {&n, buffer, reinterpret_cast<void*>(update)};
  return create(s, n, buffer, update, words);
}

ZORP_API int32_t __tarrdNewAbstractStream(StreamState** s, int32_t n, double* buffer, double a, double b,
                                          AbstractStreamUpdate update) {
  void* const words[] = {&n, buffer, &a, &b, reinterpret_cast<void*>(update)};
  return create(s, n, buffer, update, words, a, b);
}

ZORP_API int32_t __tarrsNewAbstractStream(StreamState** s, int32_t n, float* buffer, float a, float b,
                                          AbstractStreamUpdate update) {
  void* const words[] = {&n, buffer, &a, &b, reinterpret_cast<void*>(update)};
  return create(s, n, buffer, update, words, a, b);
}

ZORP_API int32_t __tarrBRngiAbstractInitStream(int32_t method, StreamState* s, int32_t n, const uint32_t* params) {
  return init<uint32_t>(method, s, n, params);
}
ZORP_API int32_t __tarrBRngdAbstractInitStream(int32_t method, StreamState* s, int32_t n, const uint32_t* params) {
  return init<double>(method, s, n, params);
}
ZORP_API int32_t __tarrBRngsAbstractInitStream(int32_t method, StreamState* s, int32_t n, const uint32_t* params) {
  return init<float>(method, s, n, params);
}

ZORP_API int32_t __tarriBRngiAbstract(StreamState* s, int32_t n, uint32_t* r) {
  return serve<uint32_t>(s, n, [r](int32_t at, const uint32_t* from, int32_t count) {
    std::memcpy(r + at, from, static_cast<size_t>(count) * sizeof *from);
  });
}
ZORP_API int32_t __tarrdBRngdAbstract(StreamState* s, int32_t n, double* r, double a, double b) {
  return reals<double>(s, n, r, a, b);
}
ZORP_API int32_t __tarrsBRngsAbstract(StreamState* s, int32_t n, float* r, float a, float b) {
  return reals<float>(s, n, r, a, b);
}

// The other two types of each kind: the shared refusal.
ZORP_API int32_t __tarrsBRngiAbstract(StreamState*, int32_t, float*, float, float) { return refuse(); }
ZORP_API int32_t __tarrdBRngiAbstract(StreamState*, int32_t, double*, double, double) { return refuse(); }
ZORP_API int32_t __tarrsBRngdAbstract(StreamState*, int32_t, float*, float, float) { return refuse(); }
ZORP_API int32_t __tarriBRngdAbstract(StreamState*, int32_t, uint32_t*) { return refuse(); }
ZORP_API int32_t __tarrdBRngsAbstract(StreamState*, int32_t, double*, double, double) { return refuse(); }
ZORP_API int32_t __tarriBRngsAbstract(StreamState*, int32_t, uint32_t*) { return refuse(); }

}  // extern "C"
