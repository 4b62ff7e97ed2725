// R250: the shift-register generator z[t] = z[t-250] XOR z[t-147] (taps 0 and 103 of a 250-word
// register). Each call advances first and writes the word produced.
//
// Vector loop: the register is laid out oldest first in a linear work buffer followed by the new
// words; since the nearest tap is 147 words back, sixteen new words at a time depend only on words
// already written. The buffer slides every kBlock words. At the end the register and its two
// indices are left exactly as the scalar recurrence would leave them.
#include <cstring>

#include "rng/brng/adaptor.h"

namespace zorp::rng {
namespace {

constexpr int32_t kWords = 250, kTap = 103;
constexpr int32_t kBlock = 1024;

struct State {
  uint32_t w[kWords];
  int32_t i;  // word to replace
  int32_t j;  // partner word
};

// Real outputs: fma((b - a) * 2^-32, out, a), singles formed in double and rounded at the end.
struct R250Record {
  static constexpr brng::Scale kScale{0x1p-32, 0.0f, brng::Single::kDouble, false};
  static int32_t seed(StreamState* s, int32_t n, const uint32_t* params);
  template <class Emit>
  static int32_t run(StreamState* s, int32_t n, Emit&& emit);
};

uint32_t wrap(int32_t v) { return static_cast<uint32_t>(v) % kWords; }

// Scalar path, used when the partner is not 103 words ahead (a state not made by this generator).
template <class Emit>
void run_scalar(State& st, int32_t n, Emit&& emit) {
  uint32_t i = wrap(st.i), j = wrap(st.j);
  uint32_t buf[16];
  for (int32_t t = 0; t < n; t += 16) {
    const int32_t c = n - t < 16 ? n - t : 16;
    for (int32_t k = 0; k < c; ++k) {
      buf[k] = st.w[i] ^= st.w[j];
      i = i + 1 == kWords ? 0 : i + 1;
      j = j + 1 == kWords ? 0 : j + 1;
    }
    emit(t, brng::Words32<false>{buf}, c);
  }
  st.i = static_cast<int32_t>(i);
  st.j = static_cast<int32_t>(j);
}

// The block step: runs of up to kBlock new words.
template <class Emit>
int32_t R250Record::run(StreamState* s, int32_t n, Emit&& emit) {
  if (n <= 0) return TARR_STATUS_OK;
  State& st = *state_of<State>(s);
  const uint32_t i0 = wrap(st.i);
  if (wrap(st.j) != (i0 + kTap) % kWords) {
    run_scalar(st, n, emit);
    return TARR_STATUS_OK;
  }
  alignas(64) uint32_t buf[kWords + kBlock];
  std::memcpy(buf, st.w + i0, (kWords - i0) * 4);
  std::memcpy(buf + (kWords - i0), st.w, i0 * 4);
  for (int32_t done = 0; done < n;) {
    const int32_t c = n - done < kBlock ? n - done : kBlock;
    uint32_t* out = buf + kWords;
    int32_t t = 0;
    for (; t + 16 <= c; t += 16) {
      simd::store(out + t, simd::bit_xor(simd::load(buf + t), simd::load(buf + t + kTap)));
    }
    if (t < c) {
      const __mmask16 m = simd::first_lanes<float>(static_cast<uint32_t>(c - t));
      simd::store(out + t, m, simd::bit_xor(simd::load_zero(m, buf + t), simd::load_zero(m, buf + t + kTap)));
    }
    emit(done, brng::Words32<false>{out}, c);
    done += c;
    std::memmove(buf, buf + c, kWords * 4);
  }
  // buf[0..249] now holds z[n-250 .. n-1]; the scalar recurrence keeps z[n-250+k] in word
  // (i0 + n + k) mod 250 and moves both indices on by n.
  const uint32_t i1 = (i0 + static_cast<uint32_t>(n)) % kWords;
  std::memcpy(st.w + i1, buf, (kWords - i1) * 4);
  std::memcpy(st.w, buf + (kWords - i1), i1 * 4);
  st.i = static_cast<int32_t>(i1);
  st.j = static_cast<int32_t>((i1 + kTap) % kWords);
  return TARR_STATUS_OK;
}

int32_t R250Record::seed(StreamState* s, int32_t n, const uint32_t* params) {
  State& st = *state_of<State>(s);
  if (params && n >= kWords) {
    std::memcpy(st.w, params, sizeof st.w);
  } else {
    uint32_t x = (params && n >= 1 && params[0]) ? params[0] : 1;
    for (int k = 0; k < kWords; ++k) st.w[k] = x *= 69069u;
    // 32 linearly independent words: word 3 + 7t gets bit 31 - t as its leading bit.
    for (int t = 0; t < 32; ++t) {
      const uint32_t bit = 1u << (31 - t);
      uint32_t& w = st.w[3 + 7 * t];
      w = (w & (bit - 1)) | bit;
    }
  }
  st.i = 0;
  st.j = kTap;
  return TARR_STATUS_OK;
}

}  // namespace
}  // namespace zorp::rng

ZORP_BRNG_ENTRIES(R250, zorp::rng::R250Record)
