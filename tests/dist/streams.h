// The streams the distribution tests draw from: MT19937 by seed, and a scripted generator that
// gives the MT19937 values with a failure at a chosen call, or one fixed point of every
// requested interval; the caller's floating-point and vector-math state, to see it restored.
#pragma once
#include <gtest/gtest.h>

#include "simd/isa.h"

#include <cctype>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "cdf.h"
#include "common/guarded.h"
#include "zorp/core.h"
#include "zorp/rng.h"
#include "zorp/vm.h"

namespace zorp::test {

// A stream deleted at the end of its scope; the entries take it as the handle it holds.
struct Stream {
  StreamState* s = nullptr;
  Stream() = default;
  Stream(uint32_t brng, uint32_t seed) { EXPECT_EQ(__tarrNewStreamEx(&s, brng, 1, &seed), 0); }
  Stream(Stream&& o) noexcept : s(o.s) { o.s = nullptr; }
  Stream& operator=(Stream&& o) noexcept {
    std::swap(s, o.s);
    return *this;
  }
  ~Stream() { __tarrDeleteStream(&s); }
  operator StreamState*() const { return s; }
  Stream copy() const {
    Stream c;
    EXPECT_EQ(__tarrCopyStream(&c.s, s), 0);
    return c;
  }
};
inline Stream mt_stream(uint32_t seed) { return Stream(TARR_BRNG_MT19937, seed); }

inline uint32_t seed_of(const std::string& name) { return static_cast<uint32_t>(std::hash<std::string>{}(name)); }

// ---- a scripted generator: the MT19937 stream's values with a failure at a chosen call, or one
// fixed point t of every requested interval [a, b) (t = 0 is a itself) --------------------------
constexpr int32_t kInjected = -1777;
struct Script {
  StreamState* source = nullptr;
  int fail_at = 0, calls = 0;
  bool fixed = false;
  double t = 0;
};
inline Script g_script;

template <typename T>
inline int32_t scripted(StreamState*, int32_t n, T* r, T a, T b) {
  if (++g_script.calls == g_script.fail_at) return kInjected;
  if (g_script.fixed) {
    for (int32_t i = 0; i < n; ++i) r[i] = a + static_cast<T>(g_script.t) * (b - a);
    return 0;
  }
  if constexpr (sizeof(T) == 8) return __tarrdBRngMT19937(g_script.source, n, r, a, b);
  else return __tarrsBRngMT19937(g_script.source, n, r, a, b);
}

// The scripted stream and the MT19937 stream its values come from (none for seed 0), both
// deleted at the end of their scope; the script starts afresh.
struct Scripted : Stream {
  Stream source;
};
inline Scripted scripted_stream(uint32_t source_seed = 0, int fail_at = 0) {
  static const uint32_t brng = [] {
    BrngProperties p{};
    p.StateSize = 16;
    p.SeedCount = 1;
    p.WordSize = 4;
    p.BitCount = 32;
    p.InitStream = [](int32_t, StreamState*, int32_t, const uint32_t*) { return 0; };
    p.sBRng = scripted<float>;
    p.dBRng = scripted<double>;
    p.iBRng = [](StreamState*, int32_t, uint32_t*) { return 0; };
    return static_cast<uint32_t>(__tarrRegisterBrng(&p));
  }();
  Scripted s;
  EXPECT_EQ(__tarrNewStreamEx(&s.s, brng, 0, nullptr), 0);
  if (source_seed) s.source = mt_stream(source_seed);
  g_script = Script{s.source, fail_at};
  return s;
}

// ---- both precisions of an entry under one name, the parameters converted to the precision ----
#define ZORP_BOTH(Name)                                                                        \
  template <typename... A>                                                                     \
  int32_t Name(int32_t m, StreamState* s, int32_t n, double* r, A... a) {                      \
    return _tarrdRng##Name(m, s, n, r, static_cast<double>(a)...);                             \
  }                                                                                            \
  template <typename... A>                                                                     \
  int32_t Name(int32_t m, StreamState* s, int32_t n, float* r, A... a) {                       \
    return _tarrsRng##Name(m, s, n, r, static_cast<float>(a)...);                              \
  }
ZORP_BOTH(Uniform)
ZORP_BOTH(Gaussian)
ZORP_BOTH(Exponential)
ZORP_BOTH(Laplace)
ZORP_BOTH(Weibull)
ZORP_BOTH(Cauchy)
ZORP_BOTH(Rayleigh)
ZORP_BOTH(Lognormal)
ZORP_BOTH(Gumbel)
ZORP_BOTH(Gamma)
ZORP_BOTH(Beta)
#undef ZORP_BOTH
inline int32_t ChiSquare(int32_t m, StreamState* s, int32_t n, double* r, int32_t v) { return _tarrdRngChiSquare(m, s, n, r, v); }
inline int32_t ChiSquare(int32_t m, StreamState* s, int32_t n, float* r, int32_t v) { return _tarrsRngChiSquare(m, s, n, r, v); }
inline int32_t GaussianMV(int32_t m, StreamState* s, int32_t n, double* r, int32_t d, int32_t st, const double* a, const double* t) {
  return _tarrdRngGaussianMV(m, s, n, r, d, st, a, t);
}
inline int32_t GaussianMV(int32_t m, StreamState* s, int32_t n, float* r, int32_t d, int32_t st, const float* a, const float* t) {
  return _tarrsRngGaussianMV(m, s, n, r, d, st, a, t);
}

struct CallerState {
  uint32_t mode;
  ZorpVmErrorCallback callback;
  uint16_t x87;
  uint32_t mxcsr;
  bool operator==(const CallerState&) const = default;
};
inline CallerState caller_state() {
  CallerState c{_fennGetMode(), _fennGetErrorCallBack(), 0, _mm_getcsr()};
  __asm__ volatile("fnstcw %0" : "=m"(c.x87));
  return c;
}
inline int32_t caller_callback(ZorpVmErrorRecord*) { return 0; }

// A parameterised case's name as gtest takes it: letters and digits, anything else an underscore.
inline std::string test_name(std::string s) {
  for (char& ch : s)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return s;
}

using Precisions = testing::Types<double, float>;

// n < 1 writes nothing (a guard page stands right after the one element) and ends the call before
// the stream is looked at (one without a generator is no error then); n = 1 writes one value,
// which is returned.
template <typename T>
T expect_counts_below_one_write_nothing(const std::function<int32_t(StreamState*, int32_t, T*)>& draw, T untouched) {
  Stream s = mt_stream(7);
  StreamState none{};
  none.brng = 0xFFFFFFFFu;
  GuardedArray<T> x(1);
  x[0] = untouched;
  EXPECT_EQ(draw(&none, 0, x.data()), 0);
  EXPECT_EQ(draw(s, 0, x.data()), 0);
  EXPECT_EQ(draw(s, -3, x.data()), 0);
  EXPECT_EQ(x[0], untouched);
  EXPECT_EQ(draw(s, 1, x.data()), 0);
  return x[0];
}

// A generator changes method at a threshold of a parameter, and at the threshold itself takes the
// method of the side that `same` lies on (a parameter just beside it, `other` one just across).
// From copies of one stream, the same method with an almost equal set-up gives almost every value
// again (to a few units in the last place), another method only chance coincidences.
template <typename T>
void expect_method_changes_at(const std::string& name, const std::function<int32_t(StreamState*, int32_t, T*, double)>& draw,
                              double at, double same, double other) {
  constexpr int32_t n = 2000;
  auto agreeing = [&](double beside) {
    Stream s = mt_stream(21), t = s.copy();
    std::vector<T> x(n), y(n);
    EXPECT_EQ(draw(s, n, x.data(), at), 0);
    EXPECT_EQ(draw(t, n, y.data(), beside), 0);
    int32_t equal = 0;
    for (int32_t i = 0; i < n; ++i) equal += std::fabs(double(x[i]) - double(y[i])) <= 1e-9 * (1 + std::fabs(double(x[i])));
    return equal;
  };
  EXPECT_GT(agreeing(same), n * 9 / 10) << name << " at " << at << " is not the method at " << same;
  EXPECT_LT(agreeing(other), n / 2) << name << " at " << at << " is the method at " << other;
}

// A stream error at call `fail_at` of a draw of n values (0: its last call) ends the draw with that
// status: what came before stays written with the values of a run without the error, nothing after
// it is touched (it keeps `untouched`), and the caller's mode word, callback, x87 control word and
// MXCSR are as they were after either run. `flags` are MXCSR flags raised beforehand (the test's
// own conversions raise some); a generator that leaves its kernel's flags (`adds_flags`) may add
// to them. Returns the values written and the stream's calls in the whole run.
struct Written {
  int32_t count;
  int calls;
};
template <typename T>
Written expect_stream_error_handled(const std::function<int32_t(StreamState*, int32_t, T*)>& draw, int32_t n, int fail_at,
                                    T untouched, uint32_t flags, bool adds_flags = false) {
  const CallerState original = caller_state();
  const uint16_t odd_x87 = 0x027F;
  _fennSetMode(ZORP_VM_EP | ZORP_VM_ERRMODE_STDERR);
  _fennSetErrorCallBack(caller_callback);
  __asm__ volatile("fldcw %0" : : "m"(odd_x87));
  _mm_setcsr(0x1F80 | flags);
  const CallerState set = caller_state();
  std::vector<T> want(n), got(n, untouched);
  Scripted s = scripted_stream(99);
  EXPECT_EQ(draw(s, n, want.data()), 0);
  const int calls = g_script.calls;
  CallerState clean = caller_state();
  _mm_setcsr(set.mxcsr);
  s = scripted_stream(99, fail_at ? fail_at : calls);
  EXPECT_EQ(draw(s, n, got.data()), kInjected);
  CallerState after = caller_state();
  __asm__ volatile("fldcw %0" : : "m"(original.x87));
  _mm_setcsr(original.mxcsr);
  _fennSetErrorCallBack(original.callback);
  _fennSetMode(original.mode);
  for (CallerState* c : {&clean, &after}) {
    if (adds_flags) c->mxcsr = (c->mxcsr & ~0x3Fu) | flags;
    EXPECT_TRUE(*c == set) << std::hex << c->mode << " " << c->x87 << " " << c->mxcsr;
  }
  int32_t written = 0, wrong = 0;
  while (written < n && got[written] != untouched) ++written;
  for (int32_t i = 0; i < n; ++i) wrong += i < written ? got[i] != want[i] : got[i] != untouched;
  EXPECT_EQ(wrong, 0) << "values other than those of a run without the error, or written after it";
  return {written, calls};
}

// A generator's chunk is two allocations (its data, then the chunk record): either failing gives
// -4, leaks nothing, leaves the caller's state, and the next call succeeds with the one chunk.
inline void expect_no_memory_handled(const char* name, const std::function<int32_t(StreamState*)>& draw) {
  for (int k : {1, 2}) {
    Stream s = mt_stream(3);
    const int64_t live = zorp_core_live_allocations();
    const CallerState before = caller_state();
    zorp_core_fail_allocation(k);
    EXPECT_EQ(draw(s), TARR_ERROR_NO_MEMORY) << name << " allocation " << k;
    zorp_core_fail_allocation(0);
    EXPECT_EQ(zorp_core_live_allocations(), live) << name;
    EXPECT_TRUE(caller_state() == before) << name;
    EXPECT_EQ(__tarrGetNumChunks(s), 0);
    EXPECT_EQ(draw(s), 0) << name;
    EXPECT_EQ(__tarrGetNumChunks(s), 1);
  }
}

}  // namespace zorp::test
