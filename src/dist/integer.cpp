// The discrete generators that map each uniform (or each generator word) to one result on its
// own: integer Uniform, the raw bits, Bernoulli and Geometric.
#include <cmath>
#include <cstring>

#include "dist/discrete.h"
#include "zorp/export.h"

namespace zorp::dist {
namespace {

// floor(u) of doubles on [a, b): the double scale gives every integer of [a, b) the same share
// as long as b - a is far below 2^53.
int32_t uniform_int(StreamState* stream, int32_t n, int32_t* r, int32_t a, int32_t b) {
  constexpr int32_t kBlock = 1024;
  alignas(64) double u[kBlock];
  if (n < 1) return TARR_STATUS_OK;
  return in_blocks(n, kBlock, [&](int32_t i, int32_t k) {
    if (const int32_t st = _tarrdRngUniform(0, stream, k, u, double(a), double(b)); st < 0) return st;
    for (int32_t j = 0; j < k; ++j) r[i + j] = static_cast<int32_t>(std::floor(u[j]));
    return int32_t{TARR_STATUS_OK};
  });
}

TarrIBRngFn words_of(StreamState* stream) {
  const BrngProperties* row = stream ? rng::stream_row(stream) : nullptr;
  return row ? row->iBRng : nullptr;
}

int32_t uniform_bits(StreamState* stream, int32_t n, uint32_t* r) {
  if (n < 1) return TARR_STATUS_OK;
  const TarrIBRngFn words = words_of(stream);
  return words ? words(stream, n, r) : TARR_ERROR_INVALID_BRNG;
}

// `count` 32-bit values of uniform bits into r, or -1014 (nothing written) for the generators
// whose words are not 32 uniform bits: the 31-bit and combined congruential ones, WH, the
// quasi-random and the abstract streams. MCG59 gives the 32 highest of its 59 bits per word;
// the others give their own words.
int32_t uniform_bits32(StreamState* stream, int64_t count, uint32_t* r) {
  if (count < 1) return TARR_STATUS_OK;
  const TarrIBRngFn words = words_of(stream);
  if (!words) return TARR_ERROR_INVALID_BRNG;
  switch (rng::map_brng(stream->brng).index) {
    case 0: case 1: case 2: case 4: case 5: case 6: case 9: case 10: case 11:
      return TARR_ERROR_BRNG_UNSUPPORTED;
    case 3: {
      constexpr int32_t kBlock = 2048;
      alignas(64) uint64_t x[kBlock];
      for (int64_t done = 0; done < count;) {
        const int32_t k = static_cast<int32_t>(std::min<int64_t>(kBlock, count - done));
        if (const int32_t st = words(stream, k, reinterpret_cast<uint32_t*>(x)); st < 0) return st;
        for (int32_t j = 0; j < k; ++j) r[done + j] = static_cast<uint32_t>(x[j] >> 27);
        done += k;
      }
      return TARR_STATUS_OK;
    }
    default:
      // The count of a 64-bit request can pass the generator's 32-bit count.
      for (int64_t done = 0; done < count;) {
        const int32_t k = static_cast<int32_t>(std::min<int64_t>(int64_t{1} << 30, count - done));
        if (const int32_t st = words(stream, k, r + done); st < 0) return st;
        done += k;
      }
      return TARR_STATUS_OK;
  }
}

// 1 where the float uniform is below (float)p. Both are non-negative floats, whose order is that
// of their bit patterns read as integers; the uniforms are drawn into r itself.
int32_t bernoulli(StreamState* stream, int32_t n, int32_t* r, double p) {
  if (n < 1) return TARR_STATUS_OK;
  static_assert(sizeof(float) == sizeof(int32_t));
  if (const int32_t st = _tarrsRngUniform(0, stream, n, reinterpret_cast<float*>(r), 0.0f, 1.0f); st < 0) return st;
  int32_t edge;
  const float pf = static_cast<float>(p);
  std::memcpy(&edge, &pf, sizeof edge);
  for (int32_t i = 0; i < n; ++i) r[i] = edge > r[i] ? 1 : 0;
  return TARR_STATUS_OK;
}

// Inversion: floor(ln u / ln(1 - p)) counts the failures before the first success. p = 1 makes
// the factor -0 and every result 0; a uniform of 0 meets the logarithm's fix-up.
int32_t geometric(StreamState* stream, int32_t n, int32_t* r, double p) {
  constexpr int32_t kBlock = 1024;
  alignas(64) float u[kBlock];
  const float c = static_cast<float>(1 / __tarrdLn(1 - p));
  return on_frame<float>(stream, n, log_floor_any<float>, kBlock, [&](const Frame<float>& f, int32_t i, int32_t k) {
    if (const int32_t st = f.uniform(k, u, 0.0f, 1.0f); st < 0) return st;
    f.ln(k, u);
    for (int32_t j = 0; j < k; ++j) {
      const float g = std::floor(c * u[j]);
      r[i + j] = g < 2147483648.0f ? static_cast<int32_t>(g) : INT32_MAX;
    }
    return int32_t{TARR_STATUS_OK};
  });
}

}  // namespace
}  // namespace zorp::dist

using namespace zorp::dist;

extern "C" {
ZORP_API int32_t _tarriRngUniform(int32_t, StreamState* stream, int32_t n, int32_t* r, int32_t a, int32_t b) {
  return uniform_int(stream, n, r, a, b);
}
ZORP_API int32_t _tarriRngUniformBits(int32_t, StreamState* stream, int32_t n, uint32_t* r) {
  return uniform_bits(stream, n, r);
}
ZORP_API int32_t _tarriRngUniformBits32(int32_t, StreamState* stream, int32_t n, uint32_t* r) {
  return uniform_bits32(stream, n, r);
}
// Two 32-bit values per result, the earlier one in the low half.
ZORP_API int32_t _tarriRngUniformBits64(int32_t, StreamState* stream, int32_t n, uint64_t* r) {
  return uniform_bits32(stream, 2 * int64_t{n}, reinterpret_cast<uint32_t*>(r));
}
ZORP_API int32_t _tarriRngBernoulli(int32_t, StreamState* stream, int32_t n, int32_t* r, double p) {
  return bernoulli(stream, n, r, p);
}
ZORP_API int32_t _tarriRngGeometric(int32_t, StreamState* stream, int32_t n, int32_t* r, double p) {
  return geometric(stream, n, r, p);
}
}
