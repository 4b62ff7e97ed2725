// Random streams through the interface against the raw exports: three streams seeded alike (one
// driven by the exports, one through the C entries, one a C++ stream object) must give the same
// bits for every distribution in both precisions, and the stream operations (skip-ahead, leapfrog,
// copies, saved images in memory and in files) must leave the same positions.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "api/fixture.h"
#include "zorp/zorp.hpp"

namespace {

using apitest::raw_stream;
using apitest::same;
namespace rng = zorp::rng;

constexpr int kN = 1000;
constexpr uint32_t kSeed = 777;

struct Three {
  StreamState* raw = raw_stream(TARR_BRNG_MT19937, kSeed);
  StreamState* c = raw_stream(TARR_BRNG_MT19937, kSeed);
  rng::stream cxx{rng::brng::mt19937, kSeed};
  ~Three() {
    __tarrDeleteStream(&raw);
    __tarrDeleteStream(&c);
  }
};

// One distribution: the raw call, the C entry and the C++ call over n values of type T.
template <class T>
struct Case {
  std::string name;
  std::function<int32_t(StreamState*, int32_t, T*)> raw, c;
  std::function<void(rng::stream&, std::span<T>)> cxx;
};

template <class T>
void run(const std::vector<Case<T>>& cases) {
  for (const Case<T>& k : cases) {
    Three s;
    for (int round = 0; round < 2; ++round) {  // the second round starts where the first left each
      std::vector<T> x(kN), y(kN), z(kN);
      ASSERT_EQ(k.raw(s.raw, kN, x.data()), 0) << k.name;
      ASSERT_EQ(k.c(s.c, kN, y.data()), 0) << k.name;
      k.cxx(s.cxx, z);
      EXPECT_TRUE(same(x, y)) << k.name << " C entry, round " << round;
      EXPECT_TRUE(same(x, z)) << k.name << " C++ stream, round " << round;
    }
  }
}

// A case: its name, the method word, the raw and checked C entries with their arguments after r,
// and the C++ call on stream s over span r.
#define ZORP_RT_UNPAREN(...) __VA_ARGS__
#define ZORP_RT_CASE(name, m, raw_fn, c_fn, T, args, cxx_call)                                        \
  Case<T> {                                                                                            \
    name, [](StreamState* s, int32_t n, T* r) { return raw_fn(m, s, n, r, ZORP_RT_UNPAREN args); },   \
        [](StreamState* s, int32_t n, T* r) { return c_fn(m, s, n, r, ZORP_RT_UNPAREN args); },        \
        [](rng::stream& s, std::span<T> r) { s.cxx_call; }                                             \
  }

template <class T>
std::vector<Case<T>> real_cases() {
  if constexpr (std::is_same_v<T, double>) {
#define ZORP_RT_P(F) _tarrdRng##F
#define ZORP_RT_Q(F) zorp_rng_d##F
#include "api/rng_cases.inc"
#undef ZORP_RT_P
#undef ZORP_RT_Q
  } else {
#define ZORP_RT_P(F) _tarrsRng##F
#define ZORP_RT_Q(F) zorp_rng_s##F
#include "api/rng_cases.inc"
#undef ZORP_RT_P
#undef ZORP_RT_Q
  }
}

TEST(StreamRoundTrip, ContinuousDouble) { run(real_cases<double>()); }
TEST(StreamRoundTrip, ContinuousSingle) { run(real_cases<float>()); }

// One parameter set per distribution: the interface hands the parameters over alike whichever
// regime of the generator they select.
TEST(StreamRoundTrip, Discrete) {
  static std::vector<double> lambda = [] {
    std::vector<double> v(kN);
    for (int i = 0; i < kN; ++i) v[i] = 0.5 + i % 40;
    return v;
  }();
  static const double p3[3] = {0.2, 0.3, 0.5};
  run(std::vector<Case<int32_t>>{
      ZORP_RT_CASE("Uniform", 0, _tarriRngUniform, zorp_rng_iUniform, int32_t, (-5, 17), uniform(r, -5, 17)),
      ZORP_RT_CASE("Bernoulli", 0, _tarriRngBernoulli, zorp_rng_iBernoulli, int32_t, (0.3), bernoulli(r, 0.3)),
      ZORP_RT_CASE("Geometric", 0, _tarriRngGeometric, zorp_rng_iGeometric, int32_t, (0.1), geometric(r, 0.1)),
      ZORP_RT_CASE("Binomial", 0, _tarriRngBinomial, zorp_rng_iBinomial, int32_t, (20, 0.3), binomial(r, 20, 0.3)),
      ZORP_RT_CASE("Hypergeometric", 0, _tarriRngHypergeometric, zorp_rng_iHypergeometric, int32_t, (500, 200, 100),
                   hypergeometric(r, 500, 200, 100)),
      ZORP_RT_CASE("Poisson", 0, _tarriRngPoisson, zorp_rng_iPoisson, int32_t, (4.5), poisson(r, 4.5)),
      ZORP_RT_CASE("PoissonV", 0, _tarriRngPoissonV, zorp_rng_iPoissonV, int32_t, (lambda.data()),
                   poisson(r, std::span<const double>(lambda))),
      ZORP_RT_CASE("Negbinomial", 0, _tarriRngNegbinomial, zorp_rng_iNegbinomial, int32_t, (3.5, 0.25),
                   negbinomial(r, 3.5, 0.25)),
  });
  // Multinomial: 1000 counts are 333 vectors of 3 plus one left over, so the spans hold 999.
  Three s;
  std::vector<int32_t> x(999), y(999), z(999);
  ASSERT_EQ(_tarriRngMultinomial(0, s.raw, 333, x.data(), 10, 3, p3), 0);
  ASSERT_EQ(zorp_rng_iMultinomial(0, s.c, 333, y.data(), 10, 3, p3), 0);
  s.cxx.multinomial(z, 10, p3);
  EXPECT_TRUE(same(x, y));
  EXPECT_TRUE(same(x, z));
}

TEST(StreamRoundTrip, RawWords) {
  run(std::vector<Case<uint32_t>>{{"UniformBits32", [](StreamState* s, int32_t n, uint32_t* r) { return _tarriRngUniformBits32(0, s, n, r); },
                                   [](StreamState* s, int32_t n, uint32_t* r) { return zorp_rng_iUniformBits32(0, s, n, r); },
                                   [](rng::stream& s, std::span<uint32_t> r) { s.uniform_bits32(r); }}});
  run(std::vector<Case<uint64_t>>{{"UniformBits64", [](StreamState* s, int32_t n, uint64_t* r) { return _tarriRngUniformBits64(0, s, n, r); },
                                   [](StreamState* s, int32_t n, uint64_t* r) { return zorp_rng_iUniformBits64(0, s, n, r); },
                                   [](rng::stream& s, std::span<uint64_t> r) { s.uniform_bits64(r); }}});
}

// The next uniforms of a raw stream and of a C++ stream.
std::vector<double> next_raw(StreamState* s) {
  std::vector<double> v(64);
  EXPECT_EQ(_tarrdRngUniform(0, s, 64, v.data(), 0.0, 1.0), 0);
  return v;
}
std::vector<double> next(rng::stream& s) {
  std::vector<double> v(64);
  s.uniform(v, 0.0, 1.0);
  return v;
}

// A raw stream and a C++ stream of the same generator (its number, its C++ name) and seeds, each
// given the same operation (the export, the C++ call), stand at the same place: their next
// uniforms agree.
void expect_same_place(uint32_t brng, rng::brng cxx_brng, std::span<const uint32_t> seeds,
                       std::function<int32_t(StreamState*)> raw_op, std::function<void(rng::stream&)> cxx_op) {
  StreamState* raw = nullptr;
  ASSERT_EQ(__tarrNewStreamEx(&raw, brng, static_cast<int32_t>(seeds.size()), seeds.data()), 0);
  rng::stream cxx(cxx_brng, seeds);
  ASSERT_EQ(raw_op(raw), 0);
  cxx_op(cxx);
  EXPECT_EQ(next_raw(raw), next(cxx)) << brng;
  __tarrDeleteStream(&raw);
}

TEST(StreamRoundTrip, SkipLeapfrogCopy) {
  static const uint32_t seed[1] = {kSeed}, seeds[3] = {1, 2, 3};
  static const uint64_t count[2] = {5, 1};  // the long skip-ahead of MRG32k3a: 2^64 + 5
  expect_same_place(TARR_BRNG_MT19937, rng::brng::mt19937, seed,
                    [](StreamState* s) { return __tarrSkipAheadStream(s, 123457); },
                    [](rng::stream& s) { s.skip_ahead(123457); });
  expect_same_place(TARR_BRNG_MRG32K3A, rng::brng::mrg32k3a, seed,
                    [](StreamState* s) { return __tarrSkipAheadStreamEx(s, 2, count); },
                    [](rng::stream& s) { s.skip_ahead(std::span<const uint64_t>(count)); });
  // leapfrog: the second of three interleaved MCG31m1 streams
  expect_same_place(TARR_BRNG_MCG31, rng::brng::mcg31, seed, [](StreamState* s) { return __tarrLeapfrogStream(s, 1, 3); },
                    [](rng::stream& s) { s.leapfrog(1, 3); });
  // family members and several seed words
  expect_same_place(TARR_BRNG_MT2203 + 17, rng::member(rng::brng::mt2203, 17), seeds, [](StreamState*) { return 0; },
                    [](rng::stream&) {});
  {  // a copy continues where its source stands, and a moved stream is the same stream
    rng::stream a(rng::brng::philox4x32x10, kSeed);
    next(a);
    rng::stream b = a.copy();
    rng::stream c = std::move(a);
    EXPECT_FALSE(a);
    EXPECT_EQ(next(b), next(c));
    EXPECT_EQ(c.generator(), rng::brng::philox4x32x10);
    rng::stream d(rng::brng::philox4x32x10, 1);
    d.copy_state_from(b);
    EXPECT_EQ(next(d), next(c));
  }
}

TEST(StreamRoundTrip, SavedImages) {
  rng::stream a(rng::brng::mcg59, kSeed);
  std::vector<double> g(100);
  a.gaussian(g, 0.0, 1.0, rng::method::box_muller2);  // leaves a pending value in a chunk
  const std::vector<uint8_t> image = a.save();
  // The image is the export's, byte for byte.
  std::vector<uint8_t> raw_image(image.size());
  ASSERT_EQ(static_cast<size_t>(__tarrGetStreamSize(a.get())), image.size());
  ASSERT_EQ(__tarrSaveStreamM(a.get(), raw_image.data()), 0);
  EXPECT_EQ(image, raw_image);
  rng::stream b = rng::stream::load(image);
  std::vector<double> x(101), y(101);
  a.gaussian(x, 0.0, 1.0, rng::method::box_muller2);
  b.gaussian(y, 0.0, 1.0, rng::method::box_muller2);
  EXPECT_TRUE(same(x, y));

  const std::string path = (std::filesystem::temp_directory_path() / "zorp_api_saved_stream.bin").string();
  a.save_file(path.c_str());
  rng::stream c = rng::stream::load_file(path.c_str());
  EXPECT_EQ(next(a), next(c));
  std::remove(path.c_str());
}

}  // namespace
