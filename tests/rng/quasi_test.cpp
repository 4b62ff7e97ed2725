// The quasi-random generators beyond what the all-generator suites check: several dimensions
// against the scalar constructions of quasi_reference.h, every user-data form, seeding rules,
// dimension selection, skip-ahead and the index limits, the threaded path, the shared direction
// table across copies and saved images, allocation failures, and the convergence that makes the
// sequences worth having.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>
#include <numeric>
#include <algorithm>
#include <string>
#include <vector>

#include "common/regenerated.h"
#include "model.h"
#include "zorp/core.h"
#include "zorp/rng.h"

namespace {

using Words = std::vector<uint32_t>;

struct Stream {
  StreamState* s = nullptr;
  int32_t status;
  Stream(uint32_t brng, const Words& p) : status(__tarrNewStreamEx(&s, brng, static_cast<int32_t>(p.size()), p.data())) {}
  ~Stream() { __tarrDeleteStream(&s); }
  uint32_t word(int k) const {  // index, dimension, selected, left
    uint32_t w;
    std::memcpy(&w, ref::state_bytes(s) + 4 * k, 4);
    return w;
  }
};

const BrngProperties& row(uint32_t brng) {
  uint32_t index = 0;
  return __tarrGetBrngBaseOffset(brng, &index, nullptr)[index];
}

Words draw(StreamState* s, int32_t n, int32_t expect = TARR_STATUS_OK) {
  Words r(static_cast<size_t>(std::max(n, 0)));
  EXPECT_EQ(row(s->brng).iBRng(s, n, r.data()), expect);
  return r;
}

Words reference(std::vector<ref::Directions> dirs, const StreamState* s, size_t n) {
  ref::Quasi q(std::move(dirs), s);
  Words r(n);
  for (auto& x : r) x = static_cast<uint32_t>(q.next());
  return r;
}

struct Gen {
  const char* name;
  uint32_t brng;
  std::function<std::vector<ref::Directions>(uint32_t)> builtin;
  uint32_t max_dim;
};
const Gen kGens[] = {{"Sobol", TARR_BRNG_SOBOL, ref::sobol_builtin, 40},
                     {"Niederreiter", TARR_BRNG_NIEDERR, ref::niederreiter_builtin, 318}};

class Quasi : public testing::TestWithParam<Gen> {};

// Points of dimensions 1 .. 9 from the published data, through every path of the kernel: the
// head and tail of partly handed-out points and the sixteen-point blocks of small dimensions.
TEST_P(Quasi, FirstPointsMatchTheClassicConstruction) {
  const Gen& g = GetParam();
  for (uint32_t d : {1u, 2u, 3u, 5u, 8u, 9u}) {
    Stream st(g.brng, {d});
    ASSERT_EQ(st.word(1), d);
    const Words want = reference(g.builtin(d), st.s, 3000);
    Words got;
    for (int32_t cut : {1, 2, 17, 500, 7, 2473}) {
      const Words part = draw(st.s, cut);
      got.insert(got.end(), part.begin(), part.end());
    }
    ASSERT_EQ(got, want) << g.name << " d=" << d;
  }
}

// Every built-in dimension, also those beyond the reference's: in the 1024 points from 1024 the
// top ten bits of each coordinate take every value once (each direction matrix is triangular with
// a unit diagonal), however the points are split into calls.
TEST_P(Quasi, EveryBuiltInDimensionIsStratified) {
  const Gen& g = GetParam();
  Stream st(g.brng, {g.max_dim});
  ASSERT_EQ(st.word(1), g.max_dim);
  draw(st.s, static_cast<int32_t>(1023 * g.max_dim));
  Words pts;
  for (int32_t cut : {5, 1000, 333})
    for (; pts.size() + static_cast<size_t>(cut) <= 1024 * g.max_dim;) {
      const Words part = draw(st.s, cut);
      pts.insert(pts.end(), part.begin(), part.end());
      if (cut != 333) break;
    }
  const Words rest = draw(st.s, static_cast<int32_t>(1024 * g.max_dim - pts.size()));
  pts.insert(pts.end(), rest.begin(), rest.end());
  for (uint32_t i = 0; i < g.max_dim; ++i) {
    std::vector<int> seen(1024, 0);
    for (uint32_t p = 0; p < 1024; ++p) ++seen[pts[p * g.max_dim + i] >> 22];
    ASSERT_EQ(std::count(seen.begin(), seen.end(), 1), 1024) << g.name << " dimension " << i + 1;
  }
}

// Seeding: the dimension and its fallbacks, which user-data forms apply, and their refusals.
TEST(QuasiSeeding, DimensionsFormsAndRefusals) {
  const struct {
    uint32_t brng;
    Words params;
    int32_t status;
    uint32_t dim;
    int32_t chunks;
  } cases[] = {
      {TARR_BRNG_SOBOL, {}, 0, 1, 0},
      {TARR_BRNG_SOBOL, {41}, 0, 1, 0},
      {TARR_BRNG_SOBOL, {40}, 0, 40, 0},
      {TARR_BRNG_SOBOL, {0, 1, 1, 3}, 0, 1, 0},
      {TARR_BRNG_SOBOL, {5, 1, 1}, 0, 5, 0},             // form 1 needs four words
      {TARR_BRNG_SOBOL, {3, 1, 1, 7, 11}, 0, 3, 2},
      {TARR_BRNG_SOBOL, {3, 1, 1, 4, 11}, TARR_ERROR_BAD_ARGUMENTS, 0, 0},  // no constant term
      {TARR_BRNG_SOBOL, {3, 1, 1, 7, 9}, TARR_ERROR_BAD_ARGUMENTS, 0, 0},   // x^3 + 1 is reducible
      {TARR_BRNG_SOBOL, {3, 1, 1, 7, 31}, TARR_ERROR_BAD_ARGUMENTS, 0, 0},  // irreducible, not primitive
      {TARR_BRNG_SOBOL, {2, 1, 3, 7, 2, 1, 2}, TARR_ERROR_BAD_ARGUMENTS, 0, 0},  // m_2 even
      {TARR_BRNG_SOBOL, {2, 1, 3, 7, 2, 1, 5}, TARR_ERROR_BAD_ARGUMENTS, 0, 0},  // m_2 >= 4
      {TARR_BRNG_SOBOL, {2, 1, 3, 11, 2, 1, 3}, TARR_ERROR_BAD_ARGUMENTS, 0, 0}, // degree above M
      {TARR_BRNG_SOBOL, {2, 1, 3, 1, 2, 1, 1}, TARR_ERROR_BAD_ARGUMENTS, 0, 0},  // 1 only in form 11
      {TARR_BRNG_SOBOL, {2, 1, 2, 0}, TARR_ERROR_BAD_ARGUMENTS, 0, 0},
      {TARR_BRNG_SOBOL, {41, 1, 1, 3}, 0, 1, 0},         // form 1 stops at 40
      {TARR_BRNG_SOBOL, {2, 1, 4}, 0, 2, 0},             // too short for a matrix
      {TARR_BRNG_SOBOL, {2, 1, 11, 1, 3, 1, 1, 1}, 0, 2, 2},
      {TARR_BRNG_NIEDERR, {318}, 0, 318, 0},
      {TARR_BRNG_NIEDERR, {319}, 0, 1, 0},
      {TARR_BRNG_NIEDERR, {2, 1, 1, 2, 3}, 0, 2, 1},
      {TARR_BRNG_NIEDERR, {2, 1, 1, 5, 3}, TARR_ERROR_BAD_ARGUMENTS, 0, 0},  // (x + 1)^2
      {TARR_BRNG_NIEDERR, {2, 1, 1, 0, 3}, TARR_ERROR_BAD_ARGUMENTS, 0, 0},
      {TARR_BRNG_NIEDERR, {2, 1, 1, 3}, 0, 2, 0},        // one polynomial short
      {TARR_BRNG_NIEDERR, {1, 1, 4}, 0, 1, 0},
  };
  for (const auto& c : cases) {
    const std::string what = std::string(c.brng == TARR_BRNG_SOBOL ? "Sobol" : "Niederreiter") + " case " +
                             std::to_string(&c - cases);
    Stream st(c.brng, c.params);
    ASSERT_EQ(st.status, c.status) << what;
    if (c.status) continue;
    EXPECT_EQ(st.word(0), 1u) << what;
    EXPECT_EQ(st.word(1), c.dim) << what;
    EXPECT_EQ(st.word(2), 0xFFFFFFFFu) << what;
    EXPECT_EQ(__tarrGetNumChunks(st.s), c.chunks) << what;
  }
}

// Pseudo-random words for the direction-number forms, which accept any numbers.
Words scrambled(size_t n, uint32_t x) {
  Words w(n);
  for (auto& v : w) v = x = x * 1664525u + 1013904223u;
  return w;
}
std::vector<ref::Directions> as_directions(const Words& w, size_t d) {
  std::vector<ref::Directions> v(d);
  for (size_t i = 0; i < d; ++i) std::copy_n(w.begin() + static_cast<long>(32 * i), 32, v[i].begin());
  return v;
}
Words cat(Words a, const Words& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct UserCase {
  const char* name;
  uint32_t brng;
  Words params;
  std::vector<ref::Directions> dirs;
};
std::vector<UserCase> user_cases() {
  const auto& pub = ref::sobol_published();
  const Words dirs50 = scrambled(32 * 50, 7), dirs33 = scrambled(32 * 33, 11);
  Words form2 = {4, 1, 2, 5}, form3 = {4, 1, 3}, form3m;
  for (int i = 0; i < 3; ++i) {
    Words block = cat({pub[i].poly}, pub[i].m);
    block.resize(5, 0);
    form2 = cat(form2, block);
    form3.push_back(pub[i].poly);
    Words m = pub[i].m;
    m.resize(3, 0);
    form3m = cat(form3m, m);
  }
  form3 = cat(cat(form3, {3}), form3m);
  Words nied = {18, 1, 1};
  for (uint32_t p : ref::irreducible_published()) nied.push_back(p);
  return {
      {"SobolPolynomialsWithTableValues", TARR_BRNG_SOBOL, {5, 1, 1, 3, 7, 11, 13}, ref::sobol_builtin(5)},
      {"SobolBlocks", TARR_BRNG_SOBOL, form2, ref::sobol_builtin(4)},
      {"SobolPolynomialsThenValues", TARR_BRNG_SOBOL, form3, ref::sobol_builtin(4)},
      {"SobolOwnPolynomial", TARR_BRNG_SOBOL, {2, 1, 3, 67, 6, 1, 3, 5, 7, 9, 11},
       {ref::sobol_directions(1, {}), ref::sobol_directions(67, {1, 3, 5, 7, 9, 11})}},
      {"SobolAllDimensions", TARR_BRNG_SOBOL, {3, 1, 11, 1, 3, 7, 2, 0, 0, 1, 0, 1, 1},
       {ref::sobol_directions(1, {}), ref::sobol_directions(3, {1}), ref::sobol_directions(7, {1, 1})}},
      {"SobolMatrix", TARR_BRNG_SOBOL, cat({50, 1, 4}, dirs50), as_directions(dirs50, 50)},
      {"NiederreiterPolynomials", TARR_BRNG_NIEDERR, nied, ref::niederreiter_builtin(18)},
      {"NiederreiterMatrix", TARR_BRNG_NIEDERR, cat({33, 1, 4}, dirs33), as_directions(dirs33, 33)},
  };
}

class UserData : public testing::TestWithParam<UserCase> {};

TEST_P(UserData, StreamFollowsTheGivenData) {
  const UserCase& c = GetParam();
  Stream st(c.brng, c.params);
  ASSERT_EQ(st.status, 0);
  const Words want = reference(c.dirs, st.s, 40 * c.dirs.size() + 5);
  Words got = draw(st.s, 3);
  got = cat(got, draw(st.s, static_cast<int32_t>(want.size() - 3)));
  EXPECT_EQ(got, want);
}

// A copy shares the direction table (chunk 9 of Sobol) and has its own point; a saved image
// rebuilds both; every stream goes on where its source was, and nothing leaks.
TEST_P(UserData, CopiesAndSavedImagesContinue) {
  const UserCase& c = GetParam();
  const int64_t live = zorp_core_live_allocations();
  {
    Stream st(c.brng, c.params);
    draw(st.s, 77);
    StreamState *copy = nullptr, *loaded = nullptr;
    ASSERT_EQ(__tarrCopyStream(&copy, st.s), 0);
    ASSERT_EQ(__tarrGetNumChunks(copy), __tarrGetNumChunks(st.s));
    if (c.brng == TARR_BRNG_SOBOL) {
      EXPECT_EQ(__tarrSearchChunk(copy, 9), __tarrSearchChunk(st.s, 9));
      EXPECT_NE(__tarrSearchChunk(copy, 13), __tarrSearchChunk(st.s, 13));
    }
    std::vector<uint8_t> image(static_cast<size_t>(__tarrGetStreamSize(st.s)));
    ASSERT_EQ(__tarrSaveStreamM(st.s, image.data()), 0);
    ASSERT_EQ(__tarrLoadStreamM(&loaded, image.data()), 0);
    const Words want = draw(st.s, 999);
    __tarrDeleteStream(&st.s);  // the copies keep the shared table alive
    EXPECT_EQ(draw(copy, 999), want);
    EXPECT_EQ(draw(loaded, 999), want);
    __tarrDeleteStream(&copy);
    __tarrDeleteStream(&loaded);
  }
  EXPECT_EQ(zorp_core_live_allocations(), live);
}

// Every allocation of a user-data seeding can fail: -4, and nothing is left behind.
TEST_P(UserData, AllocationFailuresAreReported) {
  const UserCase& c = GetParam();
  const int64_t live = zorp_core_live_allocations();
  int failures = 0;
  for (int64_t k = 1;; ++k) {
    zorp_core_fail_allocation(k);
    Stream st(c.brng, c.params);
    zorp_core_fail_allocation(0);
    if (st.status == 0) break;
    ASSERT_EQ(st.status, TARR_ERROR_NO_MEMORY) << "allocation " << k;
    ++failures;
  }
  EXPECT_GE(failures, c.brng == TARR_BRNG_SOBOL ? 4 : 3);  // the block, the tables, the chunk records
  EXPECT_EQ(zorp_core_live_allocations(), live);
}

INSTANTIATE_TEST_SUITE_P(Forms, UserData, testing::ValuesIn(user_cases()), [](const auto& i) { return std::string(i.param.name); });

// A dimension-selecting leapfrog (2^31 - 1 streams) turns the stream into coordinate k of the
// points from the current one on; anything else is refused.
TEST_P(Quasi, DimensionSelection) {
  const Gen& g = GetParam();
  Stream st(g.brng, {5});
  draw(st.s, 7);  // part of the second point
  EXPECT_EQ(__tarrLeapfrogStream(st.s, 2, 4), TARR_ERROR_NO_LEAPFROG);
  EXPECT_EQ(__tarrLeapfrogStream(st.s, 5, 0x7FFFFFFF), TARR_ERROR_NO_LEAPFROG);
  ASSERT_EQ(__tarrLeapfrogStream(st.s, 2, 0x7FFFFFFF), 0);
  EXPECT_EQ(st.word(0), 2u);
  EXPECT_EQ(st.word(2), 2u);
  const Words want = reference(g.builtin(5), st.s, 300);
  EXPECT_EQ(draw(st.s, 300), want);
  const std::vector<uint8_t> before(ref::state_bytes(st.s), ref::state_bytes(st.s) + 256);
  ASSERT_EQ(__tarrLeapfrogStream(st.s, 2, 0x7FFFFFFF), 0);
  EXPECT_EQ(std::memcmp(before.data(), ref::state_bytes(st.s), before.size()), 0);
  ASSERT_EQ(__tarrSkipAheadStream(st.s, 10), 0);
  EXPECT_EQ(st.word(0), 312u);
  // Selecting another coordinate goes on from the same point.
  ASSERT_EQ(__tarrLeapfrogStream(st.s, 4, 0x7FFFFFFF), 0);
  EXPECT_EQ(draw(st.s, 50), reference(g.builtin(5), st.s, 50));
}

// Skip-ahead by N equals drawing N values, from whole and part-consumed points.
TEST_P(Quasi, SkipAheadEqualsDrawing) {
  const Gen& g = GetParam();
  for (int32_t before : {0, 3})
    for (uint64_t n : {0ull, 1ull, 2ull, 5ull, 6ull, 17ull, 80ull, 1001ull}) {
      Stream skipped(g.brng, {5}), drawn(g.brng, {5});
      draw(skipped.s, before);
      draw(drawn.s, before + static_cast<int32_t>(n));
      ASSERT_EQ(__tarrSkipAheadStream(skipped.s, n), 0);
      ASSERT_EQ(draw(skipped.s, 23), draw(drawn.s, 23)) << g.name << " after " << before << " skip " << n;
    }
}

// The index limits: skip-ahead may reach point 2^32 - 2, generation 2^32 - 1; a request past
// them is refused and leaves the stream as it was. Extended skip-ahead is not offered.
TEST_P(Quasi, IndexLimits) {
  const Gen& g = GetParam();
  Stream st(g.brng, {3});
  EXPECT_EQ(__tarrSkipAheadStream(st.s, ~uint64_t{0}), TARR_ERROR_NO_SKIPAHEAD);
  const uint64_t one = 1;
  EXPECT_EQ(__tarrSkipAheadStreamEx(st.s, 1, &one), TARR_ERROR_NO_SKIPAHEAD_EX);
  ASSERT_EQ(__tarrSkipAheadStream(st.s, 3 * uint64_t{0xFFFFFFFDu} + 1), 0);
  EXPECT_EQ(st.word(0), 0xFFFFFFFEu);
  EXPECT_EQ(st.word(3), 2u);
  EXPECT_EQ(__tarrSkipAheadStream(st.s, 2), TARR_ERROR_NO_SKIPAHEAD);
  const std::vector<uint8_t> before(ref::state_bytes(st.s), ref::state_bytes(st.s) + 256);
  draw(st.s, 2, TARR_ERROR_QUASI_EXHAUSTED);
  EXPECT_EQ(std::memcmp(before.data(), ref::state_bytes(st.s), before.size()), 0);
  const Words want = reference(g.builtin(3), st.s, 1);
  EXPECT_EQ(draw(st.s, 1), want);
  EXPECT_EQ(st.word(0), 0xFFFFFFFEu);
}

// Large requests run on the host's threads, one task per 32 dimensions: the result equals the
// classic construction (and so the single-threaded path, which small pieces take).
TEST(QuasiThreads, ThreadedRequestsMatchTheConstruction) {
  if (zorp_tarr_serv_threader_get_num_threads_limit() < 2) GTEST_SKIP() << "the host offers one thread";
  const Words dirs = scrambled(32 * 1000, 5);
  const struct {
    uint32_t brng;
    Words params;
    std::vector<ref::Directions> dirs;
    int32_t points;
  } cases[] = {{TARR_BRNG_SOBOL, cat({1000, 1, 4}, dirs), as_directions(dirs, 1000), 100},
               {TARR_BRNG_NIEDERR, cat({1000, 1, 4}, dirs), as_directions(dirs, 1000), 100}};
  for (const auto& c : cases) {
    Stream whole(c.brng, c.params), parts(c.brng, c.params);
    draw(whole.s, 7);
    draw(parts.s, 7);
    const Words want = reference(c.dirs, whole.s, static_cast<size_t>(c.points) * 1000);
    EXPECT_EQ(draw(whole.s, c.points * 1000), want);
    Words got;
    for (int k = 0; k < c.points / 20; ++k) got = cat(got, draw(parts.s, 20 * 1000));
    EXPECT_EQ(got, want);
  }
}

// The reason for the sequences: the mean of a smooth function of 8 variables over the first N
// points converges at close to 1/N (random points: 1/sqrt(N)). The integrand is a product of
// (pi/2) sin(pi x) with integral 1; the slope of log error against log N is fitted over N.
TEST_P(Quasi, IntegralConvergesAtCloseToOneOverN) {
  const Gen& g = GetParam();
  std::vector<double> lx, ly;
  for (int32_t n = 1000; n <= 128000; n *= 2) {
    Stream st(g.brng, {8});
    std::vector<double> x(static_cast<size_t>(n) * 8);
    ASSERT_EQ(row(g.brng).dBRng(st.s, n * 8, x.data(), 0.0, 1.0), 0);
    double sum = 0;
    for (int32_t p = 0; p < n; ++p) {
      double f = 1;
      for (int i = 0; i < 8; ++i) f *= std::numbers::pi / 2 * std::sin(std::numbers::pi * x[static_cast<size_t>(p) * 8 + i]);
      sum += f;
    }
    lx.push_back(std::log(n));
    ly.push_back(std::log(std::abs(sum / n - 1)));
  }
  const double mx = std::accumulate(lx.begin(), lx.end(), 0.0) / lx.size(), my = std::accumulate(ly.begin(), ly.end(), 0.0) / ly.size();
  double sxy = 0, sxx = 0;
  for (size_t i = 0; i < lx.size(); ++i) sxy += (lx[i] - mx) * (ly[i] - my), sxx += (lx[i] - mx) * (lx[i] - mx);
  const double slope = sxy / sxx;
  EXPECT_LT(slope, -0.8) << g.name;
  EXPECT_GT(slope, -1.6) << g.name;
  RecordProperty("slope", std::to_string(slope));
}

TEST(QuasiTables, ToolRegeneratesTheIrreduciblePolynomials) {
  zorp::test::expect_tool_regenerates("gen_irreducible_polys", "src/rng/brng/quasi/irreducible_polys.cpp");
}

INSTANTIATE_TEST_SUITE_P(Both, Quasi, testing::ValuesIn(kGens), [](const auto& i) { return std::string(i.param.name); });

}  // namespace
