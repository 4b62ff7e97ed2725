// MCG31m1: x -> a x mod 2^31 - 1 with a = 1132489760; outputs are x (never 0) before each step.
#include <bit>

#include "rng/brng/mcg_engine.h"
#include "zorp/export.h"

namespace zorp::rng {
namespace {

struct Mcg31 {
  using Word = uint32_t;
  static constexpr uint64_t kDefaultA = 1132489760;
  static constexpr uint32_t kType = 0;
  static uint64_t mul(uint64_t a, uint64_t x) { return mul_m31(a, x); }
  static uint64_t pow(uint64_t a, uint64_t n) { return pow_m31(a, n); }
  static uint64_t seed_value(int32_t n, const uint32_t* params) {
    if (n < 1) return 1;
    const uint32_t x = params[0] % kM31;
    return x ? x : 1;
  }
  // Lanes hold residues below 2^31: the 62-bit product folds once (2^31 = 1) and needs at most one
  // subtraction of m.
  static __m512i vmul(__m512i x, __m512i c) {
    const __m512i m = _mm512_set1_epi64(kM31);
    const __m512i p = _mm512_mul_epu32(x, c);
    const __m512i r = _mm512_add_epi64(_mm512_and_si512(p, m), _mm512_srli_epi64(p, 31));
    return _mm512_min_epu64(r, _mm512_sub_epi64(r, m));
  }
};
using E = mcg::Engine<Mcg31>;

// Scale of the real outputs: 1/(2^31 - 1) in double, 2^-31 in single precision.
constexpr double kScaleD = 1.0 / 2147483647.0;
constexpr float kScaleS = 0x1p-31f;
static_assert(std::bit_cast<uint64_t>(kScaleD) == 0x3E00000000200000ull);

}  // namespace
}  // namespace zorp::rng

using zorp::rng::E;

extern "C" {

ZORP_API int32_t __tarrBRngMCG31M1InitStream(int32_t method, StreamState* s, int32_t n, const uint32_t* params) {
  return E::init(method, s, n, params);
}

ZORP_API int32_t __tarriBRngMCG31M1(StreamState* s, int32_t n, uint32_t* r) {
  return E::run(s, n, [r](int32_t i, __m512i v, int32_t c) { zorp::rng::put_u32(r + i, _mm512_cvtepi64_epi32(v), c); });
}

ZORP_API int32_t __tarrdBRngMCG31M1(StreamState* s, int32_t n, double* r, double a, double b) {
  const __m512d f = _mm512_set1_pd((b - a) * zorp::rng::kScaleD), base = _mm512_set1_pd(a);
  return E::run(s, n, [&](int32_t i, __m512i v, int32_t c) {
    zorp::rng::put_f64(r + i, _mm512_fmadd_pd(f, _mm512_cvtepi64_pd(v), base), c);
  });
}

ZORP_API int32_t __tarrsBRngMCG31M1(StreamState* s, int32_t n, float* r, float a, float b) {
  const __m256 f = _mm256_set1_ps((b - a) * zorp::rng::kScaleS), base = _mm256_set1_ps(a);
  return E::run(s, n, [&](int32_t i, __m512i v, int32_t c) {
    zorp::rng::put_f32(r + i, _mm256_fmadd_ps(f, _mm512_cvtepi64_ps(v), base), c);
  });
}

}  // extern "C"
