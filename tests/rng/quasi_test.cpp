// The quasi-random generators beyond the all-generator suites: several dimensions against the
// constructions of quasi_reference.h, Niederreiter's against the published program's points, the
// user-data forms, seeding rules, dimension selection, skip-ahead and the index limits, the
// threaded path, copies and saved images of user data, and allocation failures.
#include <bit>

#if defined(ZORP_TEST_GSL)
#include <gsl/gsl_qrng.h>
#endif

#include "common/regenerated.h"
#include "model.h"
#include "quasi_reference.h"

namespace {

using Words = std::vector<uint32_t>;
using Dirs = std::vector<ref::Directions>;

// A stream's words 0 .. 3: index, dimension, selected, left.
using ref::Stream;
using ref::draw;
const auto& row = ref::entries;

// What the reference makes of a stream's position words and the given direction numbers.
Words reference(const Dirs& dirs, const StreamState* s, size_t n) {
  ref::Quasi q(dirs, s);
  Words r(n);
  for (auto& x : r) x = static_cast<uint32_t>(q.next());
  return r;
}

Words cat(Words a, const Words& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Arbitrary 32 d words for the direction-number forms, and the directions they stand for.
Words matrix(uint32_t d) {
  Words w(32 * d);
  uint32_t x = d;
  for (auto& v : w) v = x = x * 1664525u + 1013904223u;
  return w;
}
Dirs as_dirs(const Words& w) {
  Dirs v(w.size() / 32);
  for (size_t i = 0; i < v.size(); ++i) std::copy_n(w.begin() + static_cast<long>(32 * i), 32, v[i].begin());
  return v;
}

struct Gen {
  const char* name;
  uint32_t brng;
  Dirs (*builtin)(uint32_t);
  uint32_t known;  // dimensions the reference has published data for
};
class Quasi : public testing::TestWithParam<Gen> {};

// Points of several dimensions, drawn in uneven pieces through the heads and tails of partly
// handed-out points, the sixteen-point blocks of small dimensions and the register path.
TEST_P(Quasi, FirstPointsMatchTheClassicConstruction) {
  const Gen& g = GetParam();
  for (uint32_t d : {1u, 2u, 3u, 7u, 8u, g.known}) {
    Stream st(g.brng, {d});
    ASSERT_EQ(st.word(1), d);
    const Words want = reference(g.builtin(d), st.s, 3000);
    Words got;
    for (int32_t cut : {1, 2, 17, 500, 7, 2473}) got = cat(got, draw(st.s, cut));
    ASSERT_EQ(got, want) << g.name << " d=" << d;
  }
}

// Dimension selection (2^31 - 1 streams) yields coordinate k of the points from the current one;
// anything else is refused. Selecting the selected dimension changes nothing.
TEST_P(Quasi, DimensionSelection) {
  const Gen& g = GetParam();
  Stream st(g.brng, {5});
  draw(st.s, 7);
  EXPECT_EQ(__tarrLeapfrogStream(st.s, 2, 4), TARR_ERROR_NO_LEAPFROG);
  EXPECT_EQ(__tarrLeapfrogStream(st.s, 5, 0x7FFFFFFF), TARR_ERROR_NO_LEAPFROG);
  ASSERT_EQ(__tarrLeapfrogStream(st.s, 2, 0x7FFFFFFF), 0);
  EXPECT_EQ(st.word(0), 2u);
  EXPECT_EQ(draw(st.s, 300), reference(g.builtin(5), st.s, 300));
  const std::vector<uint8_t> before = ref::state_copy(st.s);
  ASSERT_EQ(__tarrLeapfrogStream(st.s, 2, 0x7FFFFFFF), 0);
  EXPECT_EQ(ref::state_copy(st.s), before);
  ASSERT_EQ(__tarrSkipAheadStream(st.s, 10), 0);
  ASSERT_EQ(__tarrLeapfrogStream(st.s, 4, 0x7FFFFFFF), 0);
  EXPECT_EQ(st.word(0), 312u);
  EXPECT_EQ(draw(st.s, 50), reference(g.builtin(5), st.s, 50));
}

// Skip-ahead may reach point 2^32 - 2, generation 2^32 - 1; requests past them are refused and
// leave the stream as it was. Extended skip-ahead is not offered.
TEST_P(Quasi, IndexLimits) {
  const Gen& g = GetParam();
  Stream st(g.brng, {3});
  EXPECT_EQ(__tarrSkipAheadStream(st.s, ~uint64_t{0}), TARR_ERROR_NO_SKIPAHEAD);
  const uint64_t one = 1;
  EXPECT_EQ(__tarrSkipAheadStreamEx(st.s, 1, &one), TARR_ERROR_NO_SKIPAHEAD_EX);
  ASSERT_EQ(__tarrSkipAheadStream(st.s, 3 * uint64_t{0xFFFFFFFDu} + 1), 0);
  EXPECT_EQ(st.word(0), 0xFFFFFFFEu);
  EXPECT_EQ(__tarrSkipAheadStream(st.s, 2), TARR_ERROR_NO_SKIPAHEAD);
  const std::vector<uint8_t> before = ref::state_copy(st.s);
  draw(st.s, 2, TARR_ERROR_QUASI_EXHAUSTED);
  EXPECT_EQ(ref::state_copy(st.s), before);
  EXPECT_EQ(draw(st.s, 1), reference(g.builtin(3), st.s, 1));
  // Across point 2^31, whose step takes the highest direction numbers.
  Stream high(g.brng, {3});
  ASSERT_EQ(__tarrSkipAheadStream(high.s, 3 * ((uint64_t{1} << 31) - 40)), 0);
  EXPECT_EQ(draw(high.s, 300), reference(g.builtin(3), high.s, 300));
}

// A loaded image may carry any position words: a selected dimension or a count of coordinates
// left beyond the point, or no dimension at all, is refused by output and skip-ahead rather than
// read through (the loader's fuzz target found the first).
TEST_P(Quasi, DamagedPositionWordsAreRefused) {
  const Gen& g = GetParam();
  struct Damage {
    int word;
    uint32_t value;
  };
  for (const Damage& d : {Damage{2, 5}, Damage{2, 0x7FFFFFFF}, Damage{3, 6}, Damage{1, 0}}) {
    Stream st(g.brng, {5});
    auto* words = reinterpret_cast<uint32_t*>(const_cast<uint8_t*>(ref::state_bytes(st.s)));
    words[d.word] = d.value;
    draw(st.s, 40, TARR_ERROR_BAD_ARGUMENTS);
    EXPECT_EQ(__tarrSkipAheadStream(st.s, 3), TARR_ERROR_BAD_ARGUMENTS) << d.word << " " << d.value;
  }
}

INSTANTIATE_TEST_SUITE_P(Both, Quasi,
                         testing::Values(Gen{"Sobol", TARR_BRNG_SOBOL, ref::sobol_builtin, 9},
                                         Gen{"Niederreiter", TARR_BRNG_NIEDERR, ref::niederreiter_builtin, 318}),
                         [](const auto& i) { return std::string(i.param.name); });

// Seeding: the dimension and its fallbacks, which user-data forms apply, and their refusals.
TEST(QuasiSeeding, DimensionsFormsAndRefusals) {
  constexpr int32_t kBad = TARR_ERROR_BAD_ARGUMENTS;
  constexpr uint32_t kS = TARR_BRNG_SOBOL, kN = TARR_BRNG_NIEDERR;
  const struct {
    uint32_t brng;
    Words params;
    int32_t status;
    uint32_t dim;
    int32_t chunks;
  } cases[] = {
      {kS, {}, 0, 1, 0}, {kS, {41}, 0, 1, 0}, {kS, {40}, 0, 40, 0}, {kS, {0, 1, 1, 3}, 0, 1, 0},
      {kS, {5, 1, 1}, 0, 5, 0},                 // form 1 needs four words
      {kS, {41, 1, 1, 3}, 0, 1, 0},             // form 1 stops at 40
      {kS, {2, 1, 4}, 0, 2, 0},                 // too short for a matrix
      {kS, {3, 1, 1, 7, 11}, 0, 3, 2},
      {kS, {3, 1, 1, 4, 11}, kBad, 0, 0},       // no constant term
      {kS, {3, 1, 1, 7, 9}, kBad, 0, 0},        // x^3 + 1 is reducible
      {kS, {3, 1, 1, 7, 31}, kBad, 0, 0},       // irreducible, not primitive
      {kS, {2, 1, 3, 7, 2, 1, 2}, kBad, 0, 0},  // m_2 even
      {kS, {2, 1, 3, 7, 2, 1, 5}, kBad, 0, 0},  // m_2 >= 4
      {kS, {2, 1, 3, 11, 2, 1, 3}, kBad, 0, 0}, // degree above M
      {kS, {2, 1, 3, 1, 2, 1, 1}, kBad, 0, 0},  // 1 only in form 11
      {kS, {2, 1, 2, 0}, kBad, 0, 0},           // no room for a polynomial
      {kN, {318}, 0, 318, 0}, {kN, {319}, 0, 1, 0}, {kN, {1, 1, 4}, 0, 1, 0}, {kN, {2, 1, 1, 2, 3}, 0, 2, 1},
      {kN, {2, 1, 1, 3}, 0, 2, 0},              // one polynomial short
      {kN, {2, 1, 1, 5, 3}, kBad, 0, 0},        // (x + 1)^2
      {kN, {2, 1, 1, 0, 3}, kBad, 0, 0},
  };
  for (const auto& c : cases) {
    const std::string what = "case " + std::to_string(&c - cases);
    Stream st(c.brng, c.params);
    ASSERT_EQ(st.status, c.status) << what;
    if (c.status) continue;
    EXPECT_EQ(st.word(0), 1u) << what;
    EXPECT_EQ(st.word(1), c.dim) << what;
    EXPECT_EQ(st.word(2), 0xFFFFFFFFu) << what;
    EXPECT_EQ(__tarrGetNumChunks(st.s), c.chunks) << what;
  }
}

struct UserCase {
  const char* name;
  uint32_t brng;
  Words params;
  Dirs dirs;
};
std::vector<UserCase> user_cases() {
  const Words m50 = matrix(50), m33 = matrix(33);
  return {
      {"SobolPolynomialsWithTableValues", TARR_BRNG_SOBOL, {5, 1, 1, 3, 7, 11, 13}, ref::sobol_builtin(5)},
      {"SobolBlocks", TARR_BRNG_SOBOL, {3, 1, 2, 3, 3, 1, 0, 7, 1, 1}, ref::sobol_builtin(3)},
      {"SobolPolynomialsThenValues", TARR_BRNG_SOBOL, {3, 1, 3, 3, 7, 2, 1, 0, 1, 1}, ref::sobol_builtin(3)},
      {"SobolOwnPolynomial", TARR_BRNG_SOBOL, {2, 1, 3, 67, 6, 1, 3, 5, 7, 9, 11},
       {ref::sobol_directions(1, {}), ref::sobol_directions(67, {1, 3, 5, 7, 9, 11})}},
      {"SobolAllDimensions", TARR_BRNG_SOBOL, {3, 1, 11, 1, 3, 7, 2, 0, 0, 1, 0, 1, 1}, ref::sobol_builtin(3)},
      {"SobolMatrix", TARR_BRNG_SOBOL, cat({50, 1, 4}, m50), as_dirs(m50)},
      {"NiederreiterPolynomials", TARR_BRNG_NIEDERR, {5, 1, 1, 2, 3, 7, 11, 13}, ref::niederreiter_builtin(5)},
      // Degrees 31, 21, 17, 16 and 11: powers up to degree 62 and blocks that straddle the last rows.
      {"NiederreiterHighDegrees", TARR_BRNG_NIEDERR, {5, 1, 1, 0x80000009, 0x200005, 0x20009, 0x1002D, 0x805},
       {ref::niederreiter_directions(0x80000009), ref::niederreiter_directions(0x200005), ref::niederreiter_directions(0x20009),
        ref::niederreiter_directions(0x1002D), ref::niederreiter_directions(0x805)}},
      {"NiederreiterMatrix", TARR_BRNG_NIEDERR, cat({33, 1, 4}, m33), as_dirs(m33)},
  };
}
class UserData : public testing::TestWithParam<UserCase> {};

// The stream follows the given data; a copy shares Sobol's direction table (chunk 9) and has its
// own point; a saved image rebuilds the stream; each goes on where its source was, even after the
// source is gone, and nothing leaks.
TEST_P(UserData, FollowsTheDataAndSurvivesCopiesAndImages) {
  const UserCase& c = GetParam();
  const ref::NoLeaks leaks;
  {
    Stream st(c.brng, c.params);
    ASSERT_EQ(st.status, 0);
    const Words want = reference(c.dirs, st.s, 40 * c.dirs.size() + 5);
    const Words head = draw(st.s, 3);
    ASSERT_EQ(cat(head, draw(st.s, static_cast<int32_t>(want.size() - 3))), want);
    StreamState *copy = nullptr, *loaded = nullptr;
    ASSERT_EQ(__tarrCopyStream(&copy, st.s), 0);
    if (c.brng == TARR_BRNG_SOBOL) {
      EXPECT_EQ(__tarrSearchChunk(copy, 9), __tarrSearchChunk(st.s, 9));
      EXPECT_NE(__tarrSearchChunk(copy, 13), __tarrSearchChunk(st.s, 13));
    }
    ASSERT_EQ(__tarrLoadStreamM(&loaded, ref::image_of(st.s).data()), 0);
    const Words next = draw(st.s, 999);
    __tarrDeleteStream(&st.s);
    EXPECT_EQ(draw(copy, 999), next);
    EXPECT_EQ(draw(loaded, 999), next);
    __tarrDeleteStream(&copy);
    __tarrDeleteStream(&loaded);
  }
}

// Every allocation of a user-data seeding can fail: -4, and nothing is left behind.
TEST_P(UserData, AllocationFailuresAreReported) {
  const UserCase& c = GetParam();
  const ref::NoLeaks leaks;
  StreamState* s = nullptr;
  const int failures = ref::each_failing_allocation(
      [&] { return __tarrNewStreamEx(&s, c.brng, static_cast<int32_t>(c.params.size()), c.params.data()); },
      [&](int64_t) { __tarrDeleteStream(&s); });
  __tarrDeleteStream(&s);
  EXPECT_GE(failures, c.brng == TARR_BRNG_SOBOL ? 4 : 3);  // the block, the tables, the chunk records
}

INSTANTIATE_TEST_SUITE_P(Forms, UserData, testing::ValuesIn(user_cases()), [](const auto& i) { return std::string(i.param.name); });

// Large requests (here 1,000 dimensions, 100 points) run on the host's threads, one task per 32
// dimensions; the result is the construction's, as are the same points drawn in small pieces.
TEST(QuasiThreads, ThreadedRequestsMatchTheConstruction) {
  if (zorp_tarr_serv_threader_get_num_threads_limit() < 2) GTEST_SKIP() << "the host offers one thread";
  const Words m = matrix(1000);
  for (uint32_t brng : {TARR_BRNG_SOBOL, TARR_BRNG_NIEDERR}) {
    Stream whole(brng, cat({1000, 1, 4}, m)), parts(brng, cat({1000, 1, 4}, m));
    draw(whole.s, 7);
    draw(parts.s, 7);
    const Words want = reference(as_dirs(m), whole.s, 100 * 1000);
    EXPECT_EQ(draw(whole.s, 100 * 1000), want);
    Words got;
    for (int k = 0; k < 5; ++k) got = cat(got, draw(parts.s, 20 * 1000));
    EXPECT_EQ(got, want);
  }
}

// Beyond the program's 12 dimensions, the built-in stream against the test's own transcription of
// the program on the sieved polynomials (which begin with the program's table): dimension 13 from
// point 1, and all 318 from point 1 and on both sides of points 2^20 and 2^31, where the high
// columns of the matrices come in.
TEST(NiederreiterProgram, HigherDimensionsFollowTheProgram) {
  const auto& sieved = ref::irreducible_sieve();
  ASSERT_EQ(std::vector<uint32_t>(sieved.begin(), sieved.begin() + 12), ref::irreducible_published());
  const struct {
    uint32_t d, first, points;
  } rows[] = {{13, 1, 4096}, {318, 1, 1000}, {318, (1u << 20) - 7, 40}, {318, 0x7FFFFFF0u, 40}};
  for (const auto& r : rows) {
    Stream st(TARR_BRNG_NIEDERR, {r.d});
    ASSERT_EQ(__tarrSkipAheadStream(st.s, uint64_t{r.d} * (r.first - 1)), 0);
    const size_t n = size_t{r.d} * r.points;
    const Words want = reference(ref::niederreiter_builtin(r.d), st.s, n);
    ASSERT_EQ(draw(st.s, static_cast<int32_t>(n)), want) << "d=" << r.d << " from point " << r.first;
  }
}

#if defined(ZORP_TEST_GSL)
// GSL's gsl_qrng_niederreiter_2 follows the program and gives what it gives: numerators of 31 bits
// times 2^-31, from point 0. The stream's doubles on [0, 1) are its words' top 31 bits times 2^-31.
// Both are exact in double, so they must agree bit for bit, and the top 31 bits of the words must
// be GSL's numerators. Every dimension GSL offers (1 .. 12) from point 1 (its point 0 skipped),
// then 12 dimensions on both sides of point 2^20, where Gray bit 20 first comes in.
TEST(NiederreiterProgram, MatchesGslBitForBit) {
  struct Run {
    uint32_t d, first, points;
  };
  std::vector<Run> runs;
  for (uint32_t d = 1; d <= 12; ++d) runs.push_back({d, 1, 4096});
  runs.push_back({12, (1u << 20) - 100, 300});
  for (const Run& r : runs) {
    gsl_qrng* q = gsl_qrng_alloc(gsl_qrng_niederreiter_2, r.d);
    ASSERT_NE(q, nullptr);
    std::vector<double> g(r.d);
    for (uint32_t k = 0; k < r.first; ++k) gsl_qrng_get(q, g.data());  // points 0 .. first - 1
    const size_t n = size_t{r.d} * r.points;
    Stream reals(TARR_BRNG_NIEDERR, {r.d}), ints(TARR_BRNG_NIEDERR, {r.d});
    for (Stream* st : {&reals, &ints}) ASSERT_EQ(__tarrSkipAheadStream(st->s, uint64_t{r.d} * (r.first - 1)), 0);
    std::vector<double> x(n);
    ASSERT_EQ(row(TARR_BRNG_NIEDERR).dBRng(reals.s, static_cast<int32_t>(n), x.data(), 0.0, 1.0), 0);
    const Words w = draw(ints.s, static_cast<int32_t>(n));
    size_t wrong = 0;
    for (uint32_t p = 0; p < r.points; ++p) {
      gsl_qrng_get(q, g.data());
      for (uint32_t i = 0; i < r.d; ++i) {
        const size_t k = size_t{p} * r.d + i;
        if (std::bit_cast<uint64_t>(x[k]) == std::bit_cast<uint64_t>(g[i]) && (w[k] >> 1) == g[i] * 0x1p31) continue;
        if (wrong++ == 0)
          ADD_FAILURE() << "d=" << r.d << " point " << r.first + p << " coordinate " << i + 1 << ": GSL " << g[i] << ", stream "
                        << x[k] << " (word " << w[k] << ")";
      }
    }
    EXPECT_EQ(wrong, 0u) << "d=" << r.d << " from point " << r.first;
    gsl_qrng_free(q);
  }
}
#endif

TEST(QuasiTables, ToolRegeneratesTheIrreduciblePolynomials) {
  zorp::test::expect_tool_regenerates("gen_irreducible_polys", "src/rng/brng/quasi/irreducible_polys.cpp");
}

}  // namespace
