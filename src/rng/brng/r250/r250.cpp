// R250: the shift-register generator z[t] = z[t-250] XOR z[t-147] (taps 0 and 103 of a 250-word
// register). Each call advances first and writes the word produced.
//
// Vector loop: the register is laid out oldest first in a linear work buffer followed by the new
// words; since the nearest tap is 147 words back, sixteen new words at a time depend only on words
// already written. The buffer slides every kBlock words. At the end the register and its two
// indices are left exactly as the scalar recurrence would leave them.
#include <immintrin.h>

#include <cstring>

#include "rng/brng/common.h"
#include "zorp/export.h"

namespace zorp::rng {
namespace {

constexpr int32_t kWords = 250, kTap = 103;
constexpr int32_t kBlock = 1024;

struct State {
  uint32_t w[kWords];
  int32_t i;  // word to replace
  int32_t j;  // partner word
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
    emit(t, buf, c);
  }
  st.i = static_cast<int32_t>(i);
  st.j = static_cast<int32_t>(j);
}

// emit(offset, words, count) consumes `count` (<= kBlock) new words.
template <class Emit>
int32_t run(StreamState* s, int32_t n, Emit&& emit) {
  if (!s) return TARR_ERROR_NULL_ENTRY;
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
      const __m512i a = _mm512_loadu_si512(buf + t), b = _mm512_loadu_si512(buf + t + kTap);
      _mm512_storeu_si512(out + t, _mm512_xor_si512(a, b));
    }
    if (t < c) {
      const __mmask16 m = static_cast<__mmask16>((1u << (c - t)) - 1u);
      const __m512i a = _mm512_maskz_loadu_epi32(m, buf + t), b = _mm512_maskz_loadu_epi32(m, buf + t + kTap);
      _mm512_mask_storeu_epi32(out + t, m, _mm512_xor_si512(a, b));
    }
    emit(done, out, c);
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

void seed(State& st, int32_t n, const uint32_t* params) {
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
}

constexpr double kScale = 0x1p-32;

template <class Put>
void convert(const uint32_t* w, int32_t c, Put&& put) {
  int32_t k = 0;
  for (; k + 8 <= c; k += 8) put(k, _mm512_cvtepu32_pd(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + k))), 8);
  if (k < c) put(k, _mm512_cvtepu32_pd(_mm256_maskz_loadu_epi32(lanes8(c - k), w + k)), c - k);
}


}  // namespace
}  // namespace zorp::rng

using namespace zorp::rng;

extern "C" {

ZORP_API int32_t __tarrBRngR250InitStream(int32_t method, StreamState* s, int32_t n, const uint32_t* params) {
  if (!s) return TARR_ERROR_NULL_ENTRY;
  switch (method) {
    case TARR_INIT_SEED:
      seed(*state_of<State>(s), n, params);
      return TARR_STATUS_OK;
    case TARR_INIT_LEAPFROG:
      return TARR_ERROR_NO_LEAPFROG;
    case TARR_INIT_SKIPAHEAD:
      return TARR_ERROR_NO_SKIPAHEAD;
    case TARR_INIT_SKIPAHEAD_EX:
      return TARR_ERROR_NO_SKIPAHEAD_EX;
    default:
      return TARR_ERROR_UNKNOWN_METHOD;
  }
}

ZORP_API int32_t __tarriBRngR250(StreamState* s, int32_t n, uint32_t* r) {
  return run(s, n, [r](int32_t at, const uint32_t* w, int32_t c) { std::memcpy(r + at, w, size_t(c) * 4); });
}

ZORP_API int32_t __tarrdBRngR250(StreamState* s, int32_t n, double* r, double a, double b) {
  const __m512d f = _mm512_set1_pd((b - a) * kScale), base = _mm512_set1_pd(a);
  return run(s, n, [&](int32_t at, const uint32_t* w, int32_t c) {
    convert(w, c, [&](int32_t k, __m512d x, int32_t m) { put_f64(r + at + k, _mm512_fmadd_pd(f, x, base), m); });
  });
}

// The value is formed in double precision from the float bounds and rounded to float at the end.
ZORP_API int32_t __tarrsBRngR250(StreamState* s, int32_t n, float* r, float a, float b) {
  const double ad = a, bd = b;
  const __m512d f = _mm512_set1_pd((bd - ad) * kScale), base = _mm512_set1_pd(ad);
  return run(s, n, [&](int32_t at, const uint32_t* w, int32_t c) {
    convert(w, c, [&](int32_t k, __m512d x, int32_t m) {
      put_f32(r + at + k, _mm512_cvtpd_ps(_mm512_fmadd_pd(f, x, base)), m);
    });
  });
}

}  // extern "C"
