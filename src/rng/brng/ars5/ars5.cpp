// ARS-5: the output block for a 128-bit counter is the counter XOR the key, then four AES
// encryption rounds and the last AES round, with round keys key + i W (i = 1 .. 5; W the two
// 64-bit Weyl constants added lane-wise as 64-bit integers). Buffer, skip-ahead and conversions:
// counter_engine.h. Without the AES instructions outputs and skips are refused.
//
// The sixteen blocks of a pass run as two groups of eight independent AES chains, enough to keep
// the AES unit busy across its latency.
#include "simd/isa.h"

#include "rng/brng/counter/counter_engine.h"

namespace zorp::rng {
namespace {

using counter::u128;

struct Ars5 {
  static constexpr int kKeyWords = 4;
  static int32_t ready() { return __tarrCPUisAES() ? TARR_STATUS_OK : TARR_ERROR_NO_AES; }

  __attribute__((target("aes"))) static void blocks16(const uint32_t key[4], u128 c, uint32_t* r) {
    const __m128i k = simd::load128(key);
    const __m128i weyl = _mm_set_epi64x(static_cast<int64_t>(0xBB67AE8584CAA73Bull), static_cast<int64_t>(0x9E3779B97F4A7C15ull));
    __m128i rk[6];
    rk[0] = k;
    for (int i = 1; i <= 5; ++i) rk[i] = _mm_add_epi64(rk[i - 1], weyl);
    constexpr int kChains = 8;
    for (int g = 0; g < counter::kBlocks; g += kChains) {
      __m128i x[kChains];
      for (int j = 0; j < kChains; ++j) {
        const u128 cj = c + static_cast<u128>(g + j);
        x[j] = simd::bit_xor(_mm_set_epi64x(static_cast<int64_t>(cj >> 64), static_cast<int64_t>(cj)), k);
      }
      for (int i = 1; i <= 4; ++i)
        for (int j = 0; j < kChains; ++j) x[j] = _mm_aesenc_si128(x[j], rk[i]);
      for (int j = 0; j < kChains; ++j) simd::store128(r + 4 * (g + j), _mm_aesenclast_si128(x[j], rk[5]));
    }
  }
};
static_assert(sizeof(counter::State<4>) + sizeof(StreamState) <= 72, "ARS-5 state fits its block");

}  // namespace
}  // namespace zorp::rng

ZORP_BRNG_ENTRIES(ARS5, zorp::rng::counter::Record<zorp::rng::Ars5>)
