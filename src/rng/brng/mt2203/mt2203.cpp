// The MT2203 family: 6,024 Mersenne twisters with n = 69, m = 34, r = 5 (period 2^2203 - 1), one
// per member, each with its own matrix constant a and tempering masks b, c. State: mt[0..68], the
// position (69: block used up), then the member's a, b, c, copied in by seeding so that the
// output loop reads the stream alone. Conversions as for MT19937; no splitting methods.
#include "rng/brng/mt/twister.h"
#include "rng/brng/mt2203/mt2203_params.h"

namespace zorp::rng {
namespace {

// Sixteen blocks per buffer pass: long requests pay for the block's small size once per 1,104
// words, not once per 69.
using Shape = mt::Shape<69, 34, 0x1Fu, 16>;
using Engine = mt::Twister<Shape>;

struct State {
  uint32_t mt[Shape::kN];
  int32_t pos;
  uint32_t a, b, c;
};
static_assert(sizeof(StreamState) + sizeof(State) <= static_cast<size_t>(brng::facts(brng::Row::MT2203).state_size));

struct Mt2203Record {
  static constexpr brng::Scale kScale{0x1p-32, 0x1p-32f, brng::Single::kFloat, false};

  static int32_t seed(StreamState* s, int32_t n, const uint32_t* params) {
    const uint32_t member = stream_member(s);
    if (member >= static_cast<uint32_t>(mt2203::kMembers)) return TARR_ERROR_INVALID_BRNG;
    State& st = *state_of<State>(s);
    Engine::seed(st.mt, st.pos, n, params);
    st.a = mt2203::kParams[member][0];
    st.b = mt2203::kParams[member][1];
    st.c = mt2203::kParams[member][2];
    return TARR_STATUS_OK;
  }

  template <class Emit>
  static int32_t run(StreamState* s, int32_t n, Emit&& emit) {
    State& st = *state_of<State>(s);
    const mt::Temper temper{simd::isplat<float>(st.b), simd::isplat<float>(st.c), 12};
    return Engine::run(st.mt, st.pos, st.a, temper, n, emit);
  }
};

}  // namespace
}  // namespace zorp::rng

ZORP_BRNG_ENTRIES(MT2203, zorp::rng::Mt2203Record)
