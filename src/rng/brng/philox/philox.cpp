// Philox4x32-10: the output block for a 128-bit counter is ten rounds of a keyed bijection on the
// counter's four words (two 32 x 32-bit products per round, the key bumped by Weyl constants
// between rounds). Buffer, skip-ahead and conversions: counter_engine.h.
//
// Vector loop: sixteen consecutive counters, one per 32-bit lane of four registers (one per
// counter word), run through the rounds together and are interleaved back into block order.
#include "rng/brng/counter/counter_engine.h"
#include "simd/transpose.h"

namespace zorp::rng {
namespace {

using counter::u128;

constexpr uint32_t kM0 = 0xD2511F53, kM1 = 0xCD9E8D57;
constexpr uint32_t kW0 = 0x9E3779B9, kW1 = 0xBB67AE85;

struct Philox {
  static constexpr int kKeyWords = 2;
  static int32_t ready() { return TARR_STATUS_OK; }

  static void blocks16(const uint32_t key[2], u128 c, uint32_t* r) {
    __m512i x[4];
    const auto low = static_cast<uint32_t>(c);
    if (low <= 0xFFFFFFFFu - (counter::kBlocks - 1)) {
      // No carry out of the low word within the pass: only word 0 differs between lanes.
      x[0] = _mm512_add_epi32(_mm512_set1_epi32(static_cast<int32_t>(low)),
                              _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
      for (int w = 1; w < 4; ++w) x[w] = _mm512_set1_epi32(static_cast<int32_t>(c >> (32 * w)));
    } else {
      alignas(64) uint32_t lanes[4][counter::kBlocks];
      for (int j = 0; j < counter::kBlocks; ++j) {
        const u128 cj = c + static_cast<u128>(j);
        for (int w = 0; w < 4; ++w) lanes[w][j] = static_cast<uint32_t>(cj >> (32 * w));
      }
      for (int w = 0; w < 4; ++w) x[w] = simd::load(lanes[w]);
    }
    const __m512i m0 = _mm512_set1_epi32(static_cast<int32_t>(kM0));
    const __m512i m1 = _mm512_set1_epi32(static_cast<int32_t>(kM1));
    uint32_t k0 = key[0], k1 = key[1];
    for (int round = 0; round < 10; ++round) {
      __m512i hi0, lo0, hi1, lo1;
      simd::mul32_wide(x[0], m0, hi0, lo0);
      simd::mul32_wide(x[2], m1, hi1, lo1);
      x[0] = simd::bit_xor3(hi1, x[1], _mm512_set1_epi32(static_cast<int32_t>(k0)));
      x[2] = simd::bit_xor3(hi0, x[3], _mm512_set1_epi32(static_cast<int32_t>(k1)));
      x[1] = lo1;
      x[3] = lo0;
      k0 += kW0;
      k1 += kW1;
    }
    // Lane j of x[w] is word w of block j: interleave into block order (as bit patterns).
    __m512 v[4];
    for (int w = 0; w < 4; ++w) v[w] = _mm512_castsi512_ps(x[w]);
    simd::interleave4(v);
    for (int w = 0; w < 4; ++w) _mm512_storeu_si512(r + 16 * w, _mm512_castps_si512(v[w]));
  }
};
static_assert(sizeof(counter::State<2>) + sizeof(StreamState) <= 64, "Philox state fits its block");

}  // namespace
}  // namespace zorp::rng

ZORP_BRNG_ENTRIES(PHILOX4X32X10, zorp::rng::counter::Record<zorp::rng::Philox>)
