// Skip-ahead and leapfrog against drawing the same outputs (the sequence itself is pinned by
// known_answers.txt), composition of large counts, multi-word counts of MRG32k3a, and the exported
// modular routines.
#include "model.h"
#include "rng/skip/modular.h"

namespace {

using ref::draw;
using ref::Stream;

struct SkipCase {
  const char* name;
  uint32_t brng;
  uint64_t reach = 0;  // largest count the generator can skip from a fresh stream, 0 for no limit
};
const SkipCase kSkippable[] = {{"MCG31m1", TARR_BRNG_MCG31},   {"MCG59", TARR_BRNG_MCG59},
                               {"MRG32k3a", TARR_BRNG_MRG32K3A}, {"WH", TARR_BRNG_WH + 41},
                               {"MT19937", TARR_BRNG_MT19937},   {"SFMT19937", TARR_BRNG_SFMT19937},
                               {"Philox4x32_10", TARR_BRNG_PHILOX4X32X10}, {"ARS_5", TARR_BRNG_ARS5},
                               {"Sobol", TARR_BRNG_SOBOL, 0xFFFFFFFDull}, {"Niederreiter", TARR_BRNG_NIEDERR, 0xFFFFFFFDull}};

class Skip : public testing::TestWithParam<SkipCase> {};

// skip a, then b, equals skip a + b: for counts near 2^40, near the reach of a generator with a
// limit, and (without a limit) for counts near 2^63 whose sum nears 2^64 (MRG32k3a across 2^64
// below).
TEST_P(Skip, SkipsCompose) {
  const SkipCase& c = GetParam();
  const uint64_t unit = c.reach ? c.reach / 2 - 20000 : uint64_t{1} << 40, big = uint64_t{1} << 63;
  for (auto [a, b] : {std::pair{unit - 3, unit + 12345}, std::pair{big - 12345, big - 999}}) {
    if (c.reach && a > unit) continue;
    Stream one(c.brng, {99, 98, 97, 96, 95, 94}), two(c.brng, {99, 98, 97, 96, 95, 94});
    ASSERT_EQ(__tarrSkipAheadStream(one.s, a), 0);
    ASSERT_EQ(__tarrSkipAheadStream(one.s, b), 0);
    ASSERT_EQ(__tarrSkipAheadStream(two.s, a + b), 0);
    EXPECT_EQ(draw(one.s, 50), draw(two.s, 50)) << c.name << " " << a;
  }
}

INSTANTIATE_TEST_SUITE_P(All, Skip, testing::ValuesIn(kSkippable),
                         [](const testing::TestParamInfo<SkipCase>& i) { return std::string(i.param.name); });

// Skipping n equals drawing n and dropping them, from a fresh stream and from one part-way through
// a block (the quasi-random generators, seeded with dimension 5, part-way through a point), for
// counts around the vector blocks; then the twisters at the counts where their skip-ahead changes
// method (MT19937: direct stepping up to 8,388,607, the polynomial above; SFMT19937: Horner's rule
// up to 19,967, the sliding window above) and around block ends and 128-bit groups; Philox from
// every position inside a block, with a counter about to carry out of its low words.
TEST(SkipByDrawing, EqualsDrawing) {
  const std::vector<uint32_t> philox_seed = {1, 2, 0xFFFFFFF0u, 0xFFFFFFFFu, 0xFFFFFFFFu, 0};
  struct Row {
    uint32_t brng;
    std::vector<uint32_t> seed;
    std::vector<int32_t> before;
    std::vector<uint64_t> counts;
  };
  std::vector<Row> rows;
  for (const SkipCase& c : kSkippable) rows.push_back({c.brng, {5, 8765, 3, 4, 5, 6}, {0, 3}, {0, 1, 2, 6, 7, 8, 9, 17, 31, 32, 33, 1000}});
  rows.push_back({TARR_BRNG_MT19937, {0x123, 0x234}, {0, 1, 2, 3, 622}, {1, 623, 624, 625, 1248, 19937, 8388607, 8388608, 8389000}});
  rows.push_back({TARR_BRNG_SFMT19937, {0x123, 0x234}, {0, 1, 2, 3, 622}, {1, 2, 3, 4, 5, 623, 624, 625, 19967, 19968, 19969, 80001}});
  rows.push_back({TARR_BRNG_PHILOX4X32X10, philox_seed, {0, 1, 2, 3, 4, 5}, {1, 2, 3, 4, 5, 7, 8, 63, 64, 65, 1000}});
  for (const Row& c : rows)
    for (int32_t before : c.before)
      for (uint64_t n : c.counts) {
        Stream skipped(c.brng, c.seed), drawn(c.brng, c.seed);
        draw(skipped.s, before);
        draw(drawn.s, before);
        ASSERT_EQ(__tarrSkipAheadStream(skipped.s, n), 0);
        draw(drawn.s, static_cast<int32_t>(n));
        ASSERT_EQ(draw(skipped.s, 700), draw(drawn.s, 700)) << std::hex << c.brng << std::dec << " after " << before << " skip " << n;
      }
}

// A failed allocation inside the polynomial skip-ahead leaves the stream as it was.
TEST(SkipByDrawing, AllocationFailureLeavesTheStream) {
  for (uint32_t brng : {TARR_BRNG_MT19937, TARR_BRNG_SFMT19937}) {
    Stream st(brng, {5}), ref(brng, {5});
    draw(st.s, 3);
    draw(ref.s, 3);
    EXPECT_GT(ref::each_failing_allocation([&] { return __tarrSkipAheadStream(st.s, uint64_t{1} << 40); },
                                           [&](int64_t k) { EXPECT_EQ(draw(st.s, 100), draw(ref.s, 100)) << std::hex << brng << " " << k; }),
              0);
  }
}

// Counts of several words: two sequences of skips that add up to the same count reach the same
// point. A plain skip is a one-word vector; `ex` marks an extended one.
struct Jump {
  bool ex;
  std::vector<uint64_t> words;
};
int32_t jump(StreamState* s, const Jump& j) {
  const uint64_t none = 0;
  if (!j.ex) return __tarrSkipAheadStream(s, j.words[0]);
  return __tarrSkipAheadStreamEx(s, static_cast<int32_t>(j.words.size()), j.words.empty() ? &none : j.words.data());
}

TEST(SkipEx, SequencesWithTheSameSumMeet) {
  const uint64_t half = uint64_t{1} << 63;
  const std::vector<uint32_t> mrg = {1, 2, 3, 4, 5, 6}, philox = {1, 2, 0xFFFFFFF0u, 0xFFFFFFFFu, 0xFFFFFFFFu, 0};
  const struct {
    const char* what;
    uint32_t brng;
    const std::vector<uint32_t>& seed;
    std::vector<Jump> a, b;
  } cases[] = {
      {"one word through the table path", TARR_BRNG_MRG32K3A, mrg, {{true, {0x123456789ABCDEFull}}}, {{false, {0x123456789ABCDEFull}}}},
      {"2^64 as {0, 1}", TARR_BRNG_MRG32K3A, mrg, {{true, {0, 1}}}, {{false, {half}}, {false, {half}}}},
      // The fourth word set: square-and-multiply against two table skips of 2^191.
      {"2^192 + 7", TARR_BRNG_MRG32K3A, mrg, {{true, {7, 0, 0, 1}}}, {{true, {0, 0, half}}, {true, {0, 0, half}}, {true, {7}}}},
      {"trailing zero words", TARR_BRNG_MRG32K3A, mrg, {{true, {12345, 0, 0, 0, 0, 0}}}, {{false, {12345}}}},
      {"no words", TARR_BRNG_MRG32K3A, mrg, {{true, {}}}, {}},
      {"2^64 + 5 through the 128-bit counter", TARR_BRNG_PHILOX4X32X10, philox, {{true, {5, 1}}},
       {{false, {half}}, {false, {half}}, {false, {5}}}},
      // 2^130 words are 2^128 blocks: the counter comes back to where it was. A fourth word is ignored.
      {"2^130 wraps", TARR_BRNG_PHILOX4X32X10, philox, {{true, {0, 0, 4, 9}}}, {}},
  };
  for (const auto& c : cases) {
    Stream a(c.brng, c.seed), b(c.brng, c.seed);
    draw(a.s, 3);
    draw(b.s, 3);
    for (const Jump& j : c.a) ASSERT_EQ(jump(a.s, j), 0) << c.what;
    for (const Jump& j : c.b) ASSERT_EQ(jump(b.s, j), 0) << c.what;
    EXPECT_EQ(draw(a.s, 20), draw(b.s, 20)) << c.what;
  }
}

struct LeapCase {
  const char* name;
  uint32_t brng;
  int words;
};
const LeapCase kLeap[] = {{"MCG31m1", TARR_BRNG_MCG31, 1}, {"MCG59", TARR_BRNG_MCG59, 2}, {"WH", TARR_BRNG_WH + 200, 4}};

class Leapfrog : public testing::TestWithParam<LeapCase> {};

// Stream k of s yields outputs k, k + s, k + 2s, ... of the base sequence; a later skip counts in
// those strides.
TEST_P(Leapfrog, StreamKOfSYieldsEverySthOutput) {
  const LeapCase& c = GetParam();
  const int32_t s = 5, n = 70;
  Stream base(c.brng, {2024, 6});
  const std::vector<uint32_t> seq = draw(base.s, s * (n + 3));
  auto word = [&](int64_t output, int w) { return seq[static_cast<size_t>(output * c.words + w)]; };
  for (uint32_t k = 0; k < static_cast<uint32_t>(s); ++k) {
    Stream st(c.brng, {2024, 6});
    ASSERT_EQ(__tarrLeapfrogStream(st.s, k, s), 0);
    const auto got = draw(st.s, n);
    for (int i = 0; i < n; ++i)
      for (int w = 0; w < c.words; ++w) ASSERT_EQ(got[i * c.words + w], word(k + i * s, w)) << c.name << " k=" << k << " i=" << i;
    ASSERT_EQ(__tarrSkipAheadStream(st.s, 2), 0);
    const auto after = draw(st.s, 1);
    for (int w = 0; w < c.words; ++w) EXPECT_EQ(after[w], word(k + (n + 2) * s, w));
  }
}

// Zero streams: the multiplier becomes 1 and the stream repeats its current value; a negative
// count is refused before the stream is touched.
TEST_P(Leapfrog, ZeroAndNegativeStreamCounts) {
  const LeapCase& c = GetParam();
  Stream st(c.brng, {77});
  const std::vector<uint8_t> before = ref::state_copy(st.s);
  EXPECT_EQ(__tarrLeapfrogStream(st.s, 0, -1), TARR_ERROR_BAD_STREAM_COUNT);
  EXPECT_EQ(ref::state_copy(st.s), before);
  ASSERT_EQ(__tarrLeapfrogStream(st.s, 0, 0), 0);
  const auto r = draw(st.s, 10);
  for (size_t i = 0; i < r.size(); ++i) EXPECT_EQ(r[i], r[i % c.words]) << i;
}

INSTANTIATE_TEST_SUITE_P(All, Leapfrog, testing::ValuesIn(kLeap),
                         [](const testing::TestParamInfo<LeapCase>& i) { return std::string(i.param.name); });

uint64_t naive_pow(uint64_t a, uint64_t n, uint64_t m) {
  uint64_t r = 1 % m;
  for (uint64_t i = 0; i < n; ++i) r = static_cast<uint64_t>((unsigned __int128)r * a % m);
  return r;
}

TEST(Modular, PowersAgainstRepeatedMultiplication) {
  for (uint64_t n : {0ull, 1ull, 2ull, 3ull, 17ull, 64ull, 1000ull, 4097ull}) {
    for (uint32_t a : {2u, 125u, 1132489760u, 4294967295u}) {
      EXPECT_EQ(__tarriPowMod(a, n, 16770647u), naive_pow(a, n, 16770647u));
      EXPECT_EQ(__tarriPowMod(a, n, 4294967291u), naive_pow(a, n, 4294967291u));
      EXPECT_EQ(__tarriPowMod2P31M1(a, n), naive_pow(a, n, 2147483647u));
    }
    EXPECT_EQ(__tarriPowMod2P59(302875106592253ull, n), naive_pow(302875106592253ull, n, uint64_t{1} << 59));
  }
  EXPECT_EQ(__tarriPowMod(5, 0, 7), 1u);
  EXPECT_EQ(__tarriPowMod2P31M1(2147483647ull, 3), 0u);
  // Fermat: a^(p-1) = 1 for the large exponent path.
  EXPECT_EQ(__tarriPowMod2P31M1(48271, 2147483646ull), 1u);
}

// The table-driven forms with a table built here by squaring agree with the square-and-multiply
// form, also for bits past the last table entry, which no generator's count reaches. (The
// square-and-multiply form itself is MRG32k3a's skip-ahead, checked against drawing above.)
TEST(Modular, TableFormsAgreeWithSquareAndMultiply) {
  for (int comp = 0; comp < 2; ++comp) {
    const uint32_t m = comp ? zorp::rng::kMrgM2 : zorp::rng::kMrgM1;
    const uint32_t* c = comp ? zorp::rng::kMrgC2 : zorp::rng::kMrgC1;
    std::vector<uint32_t> table(193 * 9);
    zorp::rng::Mat3 a = zorp::rng::companion(c);
    for (int k = 0; k < 193; ++k, a = zorp::rng::mat_mul(a, a, m)) std::memcpy(&table[9 * k], a.v, 36);
    const uint64_t count64[4] = {0xDEADBEEF12345678ull, 0x0123456789ABCDEFull, 0xF0F0F0F00F0F0F0Full, 0x5ull};
    uint32_t count32[8];
    std::memcpy(count32, count64, sizeof count64);
    for (int words : {1, 2, 3, 4}) {
      uint32_t x[3] = {5, 6, 7}, y[3] = {5, 6, 7};
      __tarriVect3PowArrayMod(x, c, m, words, count64);
      if (comp) __tarriVect3PowArrayMod_M2(y, 2 * words, count32, table.data());
      else __tarriVect3PowArrayMod_M1(y, 2 * words, count32, table.data());
      EXPECT_EQ(std::vector<uint32_t>(x, x + 3), std::vector<uint32_t>(y, y + 3)) << comp << " " << words;
    }
  }
}

}  // namespace
