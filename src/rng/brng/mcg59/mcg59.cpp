// MCG59: x -> a x mod 2^59 with a = 13^13; outputs are x (one u64 each) before each step.
#include "rng/brng/mcg_engine.h"

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
    return simd::bit_and(simd::u64_mul_low(x, c), simd::isplat<double>(kMask59));
  }
};

struct Mcg59Record : mcg::Engine<Mcg59> {
  static constexpr brng::Scale kScale{0x1p-59, 0x1p-59f, brng::Single::kFloat, false};
};

}  // namespace

void mcg::rebuild_power_chunk_m59(StreamState* s, uint64_t* w) { Mcg59Record::rebuild(s, w); }
}  // namespace zorp::rng

ZORP_BRNG_ENTRIES(MCG59, zorp::rng::Mcg59Record)
