// The one adaptor between a generator and its four registry entries.
//
// A generator supplies a record R with its state handling and its integer block step:
//   seed(s, n, params)                      method 0
//   leapfrog(s, nstreams, k), skip(s, N),   the methods its table row lists (N: the 64-bit count)
//   skip_ex(s, n, params)
//   run(s, n, emit)                         produces n integer outputs, calling emit(at, block,
//                                           count) for the `count` outputs starting at output
//                                           index `at`; it also owns the n <= 0 and missing-data
//                                           answers, since those differ between generators
//   kScale                                  how its integers become real numbers
// The adaptor decodes the InitStream arguments, refuses the methods the generator table does not
// list for the row, and turns blocks into the integer, double and single outputs with the common
// output rules: doubles are fma((b - a) * scale, x, a) (or about the midpoint for generators whose
// outputs count as signed), singles follow one of three rules below.
#pragma once
#include <cstdint>
#include <cstring>

#include "rng/brng/generators.h"
#include "rng/registry/registry.h"
#include "simd/ints.h"
#include "zorp/export.h"
#include "zorp/rng.h"

namespace zorp::rng::brng {

// The 64-bit skip count of method 2: two words, low first. Missing words count as zero.
inline uint64_t skip_count(int32_t n, const uint32_t* params) {
  if (!params || n <= 0) return 0;
  uint64_t N = params[0];
  if (n >= 2) N |= uint64_t{params[1]} << 32;
  return N;
}

// Leapfrog index k (params[0]); a missing parameter block counts as index 0.
inline uint64_t leapfrog_index(const uint32_t* params) { return params ? params[0] : 0; }

// How single-precision outputs are formed from the float bounds.
enum class Single {
  kFloat,          // factor (b - a) * scale_s in single precision, integer rounded to float, fmaf
  kRoundedDouble,  // factor and offset formed in double and rounded to float, integer rounded, fmaf
  kDouble,         // the whole value in double precision, rounded to float at the end
};

struct Scale {
  double d;        // factor per unit of the integer output
  float s;         // the same in single precision, for Single::kFloat
  Single single;
  bool centred;    // outputs count as signed: the offset is the midpoint (a + b) / 2
};

// ---- blocks -----------------------------------------------------------------------------------

// Up to eight outputs, one per 64-bit lane (values below 2^63).
struct Lanes64 {
  __m512i v;
  template <int Word>
  void store(uint32_t* r, int32_t at, int32_t count) const {
    if constexpr (Word == 4) simd::store_first(r + at, simd::u64_narrow32(v), count);
    else simd::store_first(reinterpret_cast<uint64_t*>(r) + at, v, count);
  }
  template <class F>
  void doubles(int32_t count, F&& f) const {
    f(0, simd::u64_to_double(v), count);
  }
  // Straight from the integer: a 59-bit value rounds once, not through a double.
  template <class F>
  void singles(int32_t count, F&& f) const {
    f(0, simd::u64_to_float(v), count);
  }
};

// A run of 32-bit outputs of any length, read as unsigned or signed.
template <bool Signed>
struct Words32 {
  const uint32_t* w;
  template <int Word>
  void store(uint32_t* r, int32_t at, int32_t count) const {
    std::memcpy(r + at, w, static_cast<size_t>(count) * 4);
  }
  template <class F>
  void doubles(int32_t count, F&& f) const {
    each8(count, [&](int32_t k, __m256i x, int32_t c) {
      f(k, Signed ? simd::to_double_signed(x) : simd::to_double_unsigned(x), c);
    });
  }
  template <class F>
  void singles(int32_t count, F&& f) const {
    each8(count, [&](int32_t k, __m256i x, int32_t c) { f(k, Signed ? simd::to_float_signed(x) : simd::to_float_unsigned(x), c); });
  }

 private:
  template <class F>
  void each8(int32_t count, F&& f) const {
    for (int32_t k = 0; k < count; k += 8) {
      const int32_t c = count - k < 8 ? count - k : 8;
      f(k, simd::load_first(w + k, c), c);
    }
  }
};

// ---- the adaptor ------------------------------------------------------------------------------

template <class R, Row kRow>
struct Adaptor {
  static constexpr const Facts& kFacts = facts(kRow);
  static_assert(kFacts.built, "a generator with entries is marked built in the generator table");

  static int32_t init(int32_t method, StreamState* s, int32_t n, const uint32_t* params) {
    if (!s) return TARR_ERROR_NULL_ENTRY;
    switch (method) {
      case TARR_INIT_SEED:
        // Bytes a generator's state does not use are zero, so a seeded state (and a saved image
        // of it) depends on the seed alone.
        std::memset(state_of<char>(s), 0, static_cast<size_t>(kFacts.state_size) - sizeof(StreamState));
        return R::seed(s, n, params);
      case TARR_INIT_LEAPFROG:
        if constexpr ((kFacts.methods & kLeapfrog) != 0) {
          if (n < 0) return TARR_ERROR_BAD_STREAM_COUNT;
          return R::leapfrog(s, n, leapfrog_index(params));
        }
        return TARR_ERROR_NO_LEAPFROG;
      case TARR_INIT_SKIPAHEAD:
        if constexpr ((kFacts.methods & kSkip) != 0) return R::skip(s, skip_count(n, params));
        return TARR_ERROR_NO_SKIPAHEAD;
      case TARR_INIT_SKIPAHEAD_EX:
        if constexpr ((kFacts.methods & kSkipEx) != 0) return R::skip_ex(s, n, params);
        return TARR_ERROR_NO_SKIPAHEAD_EX;
      default:
        return TARR_ERROR_UNKNOWN_METHOD;
    }
  }

  static int32_t ints(StreamState* s, int32_t n, uint32_t* r) {
    if (!s) return TARR_ERROR_NULL_ENTRY;
    return R::run(s, n, [r](int32_t at, const auto& block, int32_t count) {
      block.template store<kFacts.word_size>(r, at, count);
    });
  }

  static int32_t doubles(StreamState* s, int32_t n, double* r, double a, double b) {
    if (!s) return TARR_ERROR_NULL_ENTRY;
    const __m512d f = simd::splat((b - a) * R::kScale.d);
    const __m512d off = simd::splat(R::kScale.centred ? (a + b) * 0.5 : a);
    return R::run(s, n, [r, f, off](int32_t at, const auto& block, int32_t count) {
      block.doubles(count, [&](int32_t k, __m512d x, int32_t c) { simd::store_first(r + at + k, simd::fma(f, x, off), c); });
    });
  }

  static int32_t singles(StreamState* s, int32_t n, float* r, float a, float b) {
    if (!s) return TARR_ERROR_NULL_ENTRY;
    constexpr Scale sc = R::kScale;
    const double ad = a, bd = b;
    if constexpr (sc.single == Single::kDouble) {
      const __m512d f = simd::splat((bd - ad) * sc.d);
      const __m512d off = simd::splat(sc.centred ? (ad + bd) * 0.5 : ad);
      return R::run(s, n, [r, f, off](int32_t at, const auto& block, int32_t count) {
        block.doubles(count, [&](int32_t k, __m512d x, int32_t c) {
          simd::store_first(r + at + k, simd::to_float(simd::fma(f, x, off)), c);
        });
      });
    } else {
      float fs, os;
      if constexpr (sc.single == Single::kFloat) {
        fs = (b - a) * sc.s;
        os = sc.centred ? (a + b) * 0.5f : a;
      } else {
        fs = static_cast<float>((bd - ad) * sc.d);
        os = static_cast<float>(sc.centred ? (ad + bd) * 0.5 : ad);
      }
      const __m256 f = simd::splat_half(fs), off = simd::splat_half(os);
      return R::run(s, n, [r, f, off](int32_t at, const auto& block, int32_t count) {
        block.singles(count, [&](int32_t k, __m256 x, int32_t c) { simd::store_first(r + at + k, simd::fma(f, x, off), c); });
      });
    }
  }
};

}  // namespace zorp::rng::brng

// The four exported entries of the generator whose table row is NAME, served by record R.
#define ZORP_BRNG_ENTRIES(NAME, R)                                                                        \
  extern "C" {                                                                                            \
  ZORP_API int32_t __tarrBRng##NAME##InitStream(int32_t method, StreamState* s, int32_t n,               \
                                                const uint32_t* params) {                                 \
    return ::zorp::rng::brng::Adaptor<R, ::zorp::rng::brng::Row::NAME>::init(method, s, n, params);       \
  }                                                                                                       \
  ZORP_API int32_t __tarriBRng##NAME(StreamState* s, int32_t n, uint32_t* r) {                           \
    return ::zorp::rng::brng::Adaptor<R, ::zorp::rng::brng::Row::NAME>::ints(s, n, r);                    \
  }                                                                                                       \
  ZORP_API int32_t __tarrdBRng##NAME(StreamState* s, int32_t n, double* r, double a, double b) {         \
    return ::zorp::rng::brng::Adaptor<R, ::zorp::rng::brng::Row::NAME>::doubles(s, n, r, a, b);           \
  }                                                                                                       \
  ZORP_API int32_t __tarrsBRng##NAME(StreamState* s, int32_t n, float* r, float a, float b) {            \
    return ::zorp::rng::brng::Adaptor<R, ::zorp::rng::brng::Row::NAME>::singles(s, n, r, a, b);           \
  }                                                                                                       \
  }
