// MCG59: x -> a x mod 2^59 with a = 13^13; outputs are x (one u64 each) before each step.
#include "rng/brng/mcg_engine.h"
#include "zorp/export.h"

namespace zorp::rng {
namespace {

struct Mcg59 {
  using Word = uint64_t;
  static constexpr uint64_t kDefaultA = 302875106592253ull;  // 13^13
  static constexpr uint32_t kType = 1;
  static uint64_t mul(uint64_t a, uint64_t x) { return (a * x) & kMask59; }
  static uint64_t pow(uint64_t a, uint64_t n) { return pow_2p59(a, n); }
  static uint64_t seed_value(int32_t n, const uint32_t* params) {
    uint64_t x = 0;
    if (n >= 2) x = (uint64_t{params[0]} + (uint64_t{params[1]} << 32)) & kMask59;
    else if (n == 1) x = params[0];
    return x ? x : 1;
  }
  static __m512i vmul(__m512i x, __m512i c) {
    return _mm512_and_si512(_mm512_mullo_epi64(x, c), _mm512_set1_epi64(kMask59));
  }
};
using E = mcg::Engine<Mcg59>;

constexpr double kScaleD = 0x1p-59;
constexpr float kScaleS = 0x1p-59f;

}  // namespace
}  // namespace zorp::rng

using zorp::rng::E;

extern "C" {

ZORP_API int32_t __tarrBRngMCG59InitStream(int32_t method, StreamState* s, int32_t n, const uint32_t* params) {
  return E::init(method, s, n, params);
}

ZORP_API int32_t __tarriBRngMCG59(StreamState* s, int32_t n, uint32_t* r) {
  auto* out = reinterpret_cast<uint64_t*>(r);
  return E::run(s, n, [out](int32_t i, __m512i v, int32_t c) { zorp::rng::put_u64(out + i, v, c); });
}

ZORP_API int32_t __tarrdBRngMCG59(StreamState* s, int32_t n, double* r, double a, double b) {
  const __m512d f = _mm512_set1_pd((b - a) * zorp::rng::kScaleD), base = _mm512_set1_pd(a);
  return E::run(s, n, [&](int32_t i, __m512i v, int32_t c) {
    zorp::rng::put_f64(r + i, _mm512_fmadd_pd(f, _mm512_cvtepu64_pd(v), base), c);
  });
}

ZORP_API int32_t __tarrsBRngMCG59(StreamState* s, int32_t n, float* r, float a, float b) {
  const __m256 f = _mm256_set1_ps((b - a) * zorp::rng::kScaleS), base = _mm256_set1_ps(a);
  return E::run(s, n, [&](int32_t i, __m512i v, int32_t c) {
    zorp::rng::put_f32(r + i, _mm256_fmadd_ps(f, _mm512_cvtepu64_ps(v), base), c);
  });
}

}  // extern "C"
