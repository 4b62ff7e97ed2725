// MCG31m1: x -> a x mod 2^31 - 1 with a = 1132489760; outputs are x (never 0) before each step.
#include <bit>

#include "rng/brng/mcg_engine.h"

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
    const __m512i m = simd::isplat<double>(kM31);
    const __m512i p = simd::u64_mul_low32(x, c);
    const __m512i r = simd::iadd<double>(simd::bit_and(p, m), simd::shift_right<31, double>(p));
    return simd::u64_min(r, simd::u64_sub(r, m));
  }
};

// Real outputs scale by 1/(2^31 - 1) in double and by 2^-31 in single precision.
struct Mcg31Record : mcg::Engine<Mcg31> {
  static constexpr brng::Scale kScale{1.0 / 2147483647.0, 0x1p-31f, brng::Single::kFloat, false};
};
static_assert(std::bit_cast<uint64_t>(Mcg31Record::kScale.d) == 0x3E00000000200000ull);

}  // namespace

void mcg::rebuild_power_chunk_m31(StreamState* s, uint64_t* w) { Mcg31Record::rebuild(s, w); }

void mcg::rebuild_power_chunk(StreamState* s, size_t state_bytes, uint64_t* w) {
  if (w[0] == 0 && state_bytes >= 2 * sizeof(uint32_t)) rebuild_power_chunk_m31(s, w);
  else if (w[0] == 1 && state_bytes >= 2 * sizeof(uint64_t)) rebuild_power_chunk_m59(s, w);
}
}  // namespace zorp::rng

ZORP_BRNG_ENTRIES(MCG31M1, zorp::rng::Mcg31Record)
