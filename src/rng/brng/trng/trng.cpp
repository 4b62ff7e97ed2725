// The non-deterministic generator: 64-bit values of the processor's RDRAND instruction. Each
// value is one output: its low 32 bits for integers and singles, all 64 bits for doubles (so one
// draw serves every output form alike; integers could share a value between two outputs, but
// the hardware rate, not the halving, bounds this generator). An instruction that reports no
// value is retried, at most retry limit + 1 attempts in all; the state is only that limit.
#include "simd/isa.h"

#include "host/host.h"
#include "rng/brng/adaptor.h"

namespace zorp::rng {
namespace {

struct State {
  uint32_t reserved;
  uint32_t retries;  // retry limit
};

constexpr uint32_t kDefaultRetries = 10;

// Up to eight 64-bit values; conversions as the hardware values are defined.
struct Values64 {
  const uint64_t* v;
  template <int Word>
  void store(uint32_t* r, int32_t at, int32_t count) const {
    for (int32_t i = 0; i < count; ++i) r[at + i] = static_cast<uint32_t>(v[i]);
  }
  template <class F>
  void doubles(int32_t count, F&& f) const {
    f(0, _mm512_cvtepu64_pd(_mm512_maskz_loadu_epi64(static_cast<__mmask8>((1u << count) - 1), v)), count);
  }
  template <class F>
  void singles(int32_t count, F&& f) const {
    f(0, _mm256_cvtepu32_ps(_mm512_cvtepi64_epi32(_mm512_maskz_loadu_epi64(static_cast<__mmask8>((1u << count) - 1), v))),
      count);
  }
};

struct TrngRecord {
  // Doubles scale the 64-bit value by 2^-64 from a; singles the 32-bit value by 2^-32 in float.
  static constexpr brng::Scale kScale{0x1p-64, 0x1p-32f, brng::Single::kFloat, false};

  static int32_t seed(StreamState* s, int32_t n, const uint32_t* params) {
    State& st = *state_of<State>(s);
    st.reserved = 0;
    st.retries = params && n >= 2 && params[1] != 0 ? params[1] : kDefaultRetries;
    return TARR_STATUS_OK;
  }

  // The instruction is the host's (one step per call), so tests can make it report no value.
  static bool draw(uint64_t& v, uint32_t retries) {
    for (uint64_t attempt = 0; attempt <= retries; ++attempt)
      if (zorp_serv_rdrand64(&v)) return true;
    return false;
  }

  template <class Emit>
  static int32_t run(StreamState* s, int32_t n, Emit&& emit) {
    if (n <= 0) return TARR_STATUS_OK;
    if (!__tarrCPUisRDRAND()) return TARR_ERROR_NO_RDRAND;
    const uint32_t retries = state_of<State>(s)->retries;
    uint64_t v[8];
    for (int32_t i = 0; i < n; i += 8) {
      const int32_t count = n - i < 8 ? n - i : 8;
      for (int32_t k = 0; k < count; ++k)
        if (!draw(v[k], retries)) return TARR_ERROR_RDRAND_RETRIES;
      emit(i, Values64{v}, count);
    }
    return TARR_STATUS_OK;
  }
};

}  // namespace
}  // namespace zorp::rng

ZORP_BRNG_ENTRIES(TRNG, zorp::rng::TrngRecord)
