// What the counter-based generators share: the stream is the output blocks of counter,
// counter + 1, ... (a 128-bit counter, four words of 32 bits each), read word by word.
//
// A word buffer keeps the block that the last word handed out came from, with the count of its
// words not yet handed out. So the sequence of words does not depend on how it is split across
// calls, and neither does the state: it is a function of the position alone. Skip-ahead is an
// addition to the counter (with carry through all 128 bits) plus the buffer's position.
//
// A generator G supplies:
//   kKeyWords                   32-bit words of its key (the key precedes the counter)
//   blocks16(key, c, r)         the blocks of counters c .. c + 15 into r[0 .. 64), in order
//   ready()                     0, or the status that refuses outputs and skips on this processor
#pragma once
#include <algorithm>

#include "rng/brng/adaptor.h"

namespace zorp::rng::counter {

using u128 = unsigned __int128;
constexpr int kBlocks = 16;  // blocks per call of blocks16

template <int KeyWords>
struct State {
  uint32_t key[KeyWords];
  uint32_t ctr[4];  // least significant word first
  uint32_t left;    // words of buf not yet handed out; the next one is buf[4 - left]
  uint32_t buf[4];  // the block of the last word handed out or skipped (zero before any)
};

template <int KeyWords>
u128 counter(const State<KeyWords>& st) {
  u128 c = 0;
  for (int i = 3; i >= 0; --i) c = (c << 32) | st.ctr[i];
  return c;
}
template <int KeyWords>
void set_counter(State<KeyWords>& st, u128 c) {
  for (int i = 0; i < 4; ++i) st.ctr[i] = static_cast<uint32_t>(c >> (32 * i));
}

// Outputs are signed 32-bit words scaled by 2^-32 about the midpoint of (a, b), singles in float.
template <class G>
struct Record {
  using St = State<G::kKeyWords>;
  static constexpr brng::Scale kScale{0x1p-32, 0x1p-32f, brng::Single::kFloat, true};

  // Key words, then counter words, low first; missing ones are zero.
  static int32_t seed(StreamState* s, int32_t n, const uint32_t* params) {
    St& st = *state_of<St>(s);
    constexpr int kWords = G::kKeyWords + 4;
    uint32_t w[kWords] = {};
    if (params) std::copy_n(params, std::clamp(n, 0, kWords), w);
    std::copy_n(w, G::kKeyWords, st.key);
    std::copy_n(w + G::kKeyWords, 4, st.ctr);
    st.left = 0;
    return TARR_STATUS_OK;
  }

  static int32_t skip(StreamState* s, uint64_t N) {
    const uint64_t w[3] = {N, 0, 0};
    return skip192(*state_of<St>(s), w);
  }

  // n 64-bit words, low first; words from the fourth on are ignored.
  static int32_t skip_ex(StreamState* s, int32_t n, const uint32_t* params) {
    uint64_t w[3] = {};
    if (params && n > 0) std::memcpy(w, params, static_cast<size_t>(std::min(n, 3)) * 8);
    return skip192(*state_of<St>(s), w);
  }

  template <class Emit>
  static int32_t run(StreamState* s, int32_t n, Emit&& emit) {
    if (n <= 0) return TARR_STATUS_OK;
    if (const int32_t status = G::ready()) return status;
    St& st = *state_of<St>(s);
    held_in_buffer(st);
    int32_t i = std::min<int32_t>(static_cast<int32_t>(st.left), n);
    if (i) emit(0, brng::Words32<true>{st.buf + 4 - st.left}, i);
    st.left -= static_cast<uint32_t>(i);
    if (i == n) return TARR_STATUS_OK;
    u128 c = counter(st);
    alignas(64) uint32_t r[4 * kBlocks];
    while (i < n) {
      G::blocks16(st.key, c, r);
      const int32_t take = std::min(n - i, 4 * kBlocks);
      emit(i, brng::Words32<true>{r}, take);
      i += take;
      const int32_t used = (take + 3) / 4;
      c += static_cast<u128>(used);
      std::copy_n(r + 4 * (used - 1), 4, st.buf);
      st.left = static_cast<uint32_t>((4 - take % 4) % 4);
    }
    set_counter(st, c);
    return TARR_STATUS_OK;
  }

 private:
  // A loaded image may carry any count of unread words; the buffer holds four.
  static void held_in_buffer(St& st) { st.left = std::min(st.left, 4u); }

  // The count is an unsigned number of up to 192 bits, three 64-bit words low first.
  static int32_t skip192(St& st, const uint64_t w[3]) {
    held_in_buffer(st);
    if (w[1] == 0 && w[2] == 0 && w[0] <= st.left) {
      st.left -= static_cast<uint32_t>(w[0]);
      return TARR_STATUS_OK;
    }
    if (const int32_t status = G::ready()) return status;
    // X = N - buffered - 1 = M - 1 (M >= 1), in 192 bits.
    const uint64_t sub = uint64_t{st.left} + 1;
    const uint64_t x0 = w[0] - sub;
    const bool borrow0 = w[0] < sub;
    const uint64_t x1 = w[1] - borrow0;
    const bool borrow1 = borrow0 && w[1] == 0;
    const uint64_t x2 = w[2] - borrow1;
    // floor((M - 1) / 4), of which the bits above 128 are dropped.
    const u128 low = (static_cast<u128>(x1) << 64) | x0;
    const u128 q = (low >> 2) | (static_cast<u128>(x2 & 3) << 126);
    const u128 c = counter(st) + q;
    alignas(64) uint32_t r[4 * kBlocks];
    G::blocks16(st.key, c, r);
    std::copy_n(r, 4, st.buf);
    set_counter(st, c + 1);
    st.left = (4 - static_cast<uint32_t>((x0 + 1) & 3)) & 3;
    return TARR_STATUS_OK;
  }
};

}  // namespace zorp::rng::counter
