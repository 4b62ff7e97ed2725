// The congruential generators against their scalar models: every output kind, lengths around the
// vector block sizes, requests split into pieces, seeding rules and the values known in advance.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <cmath>
#include <cstring>
#include <vector>

#include "common/guarded.h"
#include "common/regenerated.h"
#include "model.h"
#include "zorp/rng.h"

// The WH parameters as the library was built with them (compiled into this test too).
#include "rng/brng/wh/wh_params_table.cpp"

namespace {

using ref::GenCase;
using ref::Kind;
using ref::Model;

struct Stream {
  StreamState* s = nullptr;
  Stream(uint32_t brng, const std::vector<uint32_t>& seed) {
    EXPECT_EQ(__tarrNewStreamEx(&s, brng, static_cast<int32_t>(seed.size()), seed.data()), TARR_STATUS_OK);
  }
  explicit Stream(StreamState* p) : s(p) {}
  ~Stream() { __tarrDeleteStream(&s); }
  Stream(const Stream&) = delete;
};

const int32_t kLengths[] = {0, 1, 2, 3, 7, 8, 9, 15, 16, 17, 24, 31, 32, 33, 40, 63, 64, 65, 100,
                            147, 249, 250, 251, 1023, 1024, 1025, 1300, 2047, 2048, 2049, 5000};

const BrngProperties& row_of(uint32_t brng) {
  uint32_t index = 0, member = 0;
  const BrngProperties* t = __tarrGetBrngBaseOffset(brng, &index, &member);
  return t[index];
}

class Generators : public testing::TestWithParam<GenCase> {};

TEST_P(Generators, IntegerOutputMatchesScalarModelAcrossBlockBoundaries) {
  const GenCase& g = GetParam();
  Stream st(g.brng, g.seed);
  Model model(g.kind, st.s);
  const int w = model.words_per_output();
  for (int32_t n : kLengths) {
    zorp::test::GuardedArray<uint32_t> out(static_cast<size_t>(n) * w);
    ASSERT_EQ(row_of(g.brng).iBRng(st.s, n, out.data()), 0);
    for (int32_t i = 0; i < n; ++i) {
      const ref::Raw r = model.next();
      for (int k = 0; k < w; ++k) ASSERT_EQ(out[static_cast<size_t>(i) * w + k], r.words[k]) << g.name << " n=" << n << " i=" << i;
    }
  }
}

TEST_P(Generators, RealOutputsMatchScalarModelBitForBit) {
  const GenCase& g = GetParam();
  const struct {
    double a, b;
  } bounds[] = {{0.0, 1.0}, {-3.0, 5.5}, {2.0, 2.0}, {7.0, -1.25}};
  for (const auto& bd : bounds) {
    Stream sd(g.brng, g.seed), sf(g.brng, g.seed);
    Model md(g.kind, sd.s), mf(g.kind, sf.s);
    for (int32_t n : {1, 9, 33, 1000, 7}) {
      zorp::test::GuardedArray<double> rd(n);
      zorp::test::GuardedArray<float> rf(n);
      ASSERT_EQ(row_of(g.brng).dBRng(sd.s, n, rd.data(), bd.a, bd.b), 0);
      ASSERT_EQ(row_of(g.brng).sBRng(sf.s, n, rf.data(), static_cast<float>(bd.a), static_cast<float>(bd.b)), 0);
      for (int32_t i = 0; i < n; ++i) {
        const double ed = md.to_double(md.next(), bd.a, bd.b);
        const float ef = mf.to_float(mf.next(), static_cast<float>(bd.a), static_cast<float>(bd.b));
        ASSERT_EQ(std::memcmp(&rd[i], &ed, 8), 0) << g.name << " i=" << i << " " << rd[i] << " vs " << ed;
        ASSERT_EQ(std::memcmp(&rf[i], &ef, 4), 0) << g.name << " i=" << i << " " << rf[i] << " vs " << ef;
        if (bd.a == bd.b) {
          ASSERT_EQ(rd[i], bd.a);
        }
        if (bd.a < bd.b) {
          ASSERT_TRUE(rd[i] >= bd.a && rd[i] <= bd.b);
        }
      }
    }
  }
}

// A long request and the same request cut into uneven pieces give the same numbers, and leave
// the stream in the same state.
TEST_P(Generators, SplitRequestsEqualOneRequest) {
  const GenCase& g = GetParam();
  Stream whole(g.brng, g.seed), parts(g.brng, g.seed);
  const int32_t total = 3000;
  std::vector<double> a(total), b(total);
  ASSERT_EQ(row_of(g.brng).dBRng(whole.s, total, a.data(), 0.0, 1.0), 0);
  const int32_t cuts[] = {1, 7, 8, 13, 31, 33, 250, 5, 64, 1000};
  int32_t at = 0;
  for (int k = 0; at < total; ++k) {
    const int32_t c = std::min(cuts[k % 10], total - at);
    ASSERT_EQ(row_of(g.brng).dBRng(parts.s, c, b.data() + at, 0.0, 1.0), 0);
    at += c;
  }
  EXPECT_EQ(std::memcmp(a.data(), b.data(), total * sizeof(double)), 0);
  const int32_t bytes = row_of(g.brng).StateSize - 16;
  EXPECT_EQ(std::memcmp(ref::state_bytes(whole.s), ref::state_bytes(parts.s), bytes), 0);
}

TEST_P(Generators, NonPositiveCountWritesNothingAndKeepsState) {
  const GenCase& g = GetParam();
  Stream st(g.brng, g.seed);
  std::vector<uint8_t> before(ref::state_bytes(st.s), ref::state_bytes(st.s) + row_of(g.brng).StateSize - 16);
  zorp::test::GuardedArray<double> none(0);
  EXPECT_EQ(row_of(g.brng).dBRng(st.s, 0, none.data(), 0, 1), 0);
  EXPECT_EQ(row_of(g.brng).dBRng(st.s, -5, none.data(), 0, 1), 0);
  EXPECT_EQ(std::memcmp(before.data(), ref::state_bytes(st.s), before.size()), 0);
}

TEST_P(Generators, UnknownMethodIsRefused) {
  const GenCase& g = GetParam();
  Stream st(g.brng, g.seed);
  EXPECT_EQ(row_of(g.brng).InitStream(4, st.s, 0, nullptr), TARR_ERROR_UNKNOWN_METHOD);
  EXPECT_EQ(row_of(g.brng).InitStream(-1, st.s, 0, nullptr), TARR_ERROR_UNKNOWN_METHOD);
}

INSTANTIATE_TEST_SUITE_P(All, Generators, testing::ValuesIn(ref::all_generators()),
                         [](const testing::TestParamInfo<GenCase>& i) { return std::string(i.param.name); });

uint32_t mcg31_x(const StreamState* s) {
  uint32_t x;
  std::memcpy(&x, ref::state_bytes(s), 4);
  return x;
}

TEST(Mcg31m1, SeedingRulesAndFirstOutputs) {
  const struct {
    int32_t n;
    uint32_t seed;
    uint32_t x;
  } cases[] = {{1, 0, 1}, {1, 2147483647u, 1}, {1, 0xFFFFFFFFu, 1}, {0, 55, 1}, {1, 2147483648u, 1}, {1, 1234, 1234}};
  for (const auto& c : cases) {
    StreamState* s = nullptr;
    ASSERT_EQ(__tarrNewStreamEx(&s, TARR_BRNG_MCG31, c.n, &c.seed), 0);
    EXPECT_EQ(mcg31_x(s), c.x) << c.seed;
    __tarrDeleteStream(&s);
  }
  Stream st(TARR_BRNG_MCG31, {1});
  uint32_t r[3];
  ASSERT_EQ(__tarriBRngMCG31M1(st.s, 3, r), 0);
  EXPECT_EQ(r[0], 1u);
  EXPECT_EQ(r[1], 1132489760u);
  EXPECT_EQ(r[2], 826537482u);
}

// The table of multiplier powers that seeding attaches, against the published powers of the
// default multiplier.
TEST(Mcg31m1, SeedingAttachesPowerTable) {
  Stream st(TARR_BRNG_MCG31, {1});
  ASSERT_EQ(__tarrGetNumChunks(st.s), 1);
  const auto* w = static_cast<const uint64_t*>(__tarrSearchChunk(st.s, 14));
  ASSERT_NE(w, nullptr);
  const uint64_t powers[8] = {1, 1132489760, 826537482, 289798557, 480863449, 1381340036, 1582925527, 1918178478};
  EXPECT_EQ(static_cast<uint32_t>(w[0]), 0u);
  for (int k = 0; k < 8; ++k) EXPECT_EQ(w[8 + k], powers[k]) << k;
  for (int l = 0; l < 8; ++l) {
    EXPECT_EQ(w[16 + l], 1286028348u);
    EXPECT_EQ(w[24 + l], 1918607382u);
    EXPECT_EQ(w[32 + l], 30702993u);
    EXPECT_EQ(w[40 + l], 837482658u);
  }
  Stream s59(TARR_BRNG_MCG59, {3});
  const auto* w59 = static_cast<const uint64_t*>(__tarrSearchChunk(s59.s, 14));
  ASSERT_NE(w59, nullptr);
  EXPECT_EQ(static_cast<uint32_t>(w59[0]), 1u);
  uint64_t p = 3;
  for (int k = 0; k < 8; ++k, p = (p * 302875106592253ull) & ((uint64_t{1} << 59) - 1)) EXPECT_EQ(w59[8 + k], p);
}

// Both multiplicative generators need their power table; without it every entry that uses the
// table reports the missing memory instead of producing numbers.
TEST(Mcg, MissingPowerTableIsReported) {
  for (uint32_t brng : {TARR_BRNG_MCG31, TARR_BRNG_MCG59}) {
    Stream st(brng, {7});
    ASSERT_EQ(__tarrDeleteChunks(st.s), 0);
    const BrngProperties& row = row_of(brng);
    uint64_t r[4];
    double d[4];
    float f[4];
    EXPECT_EQ(row.iBRng(st.s, 4, reinterpret_cast<uint32_t*>(r)), TARR_ERROR_NO_MEMORY);
    EXPECT_EQ(row.dBRng(st.s, 4, d, 0, 1), TARR_ERROR_NO_MEMORY);
    EXPECT_EQ(row.sBRng(st.s, 4, f, 0, 1), TARR_ERROR_NO_MEMORY);
    EXPECT_EQ(__tarrSkipAheadStream(st.s, 5), TARR_ERROR_NO_MEMORY);
    EXPECT_EQ(__tarrLeapfrogStream(st.s, 1, 3), TARR_ERROR_NO_MEMORY);
  }
}

TEST(Mcg59, SeedingRules) {
  const struct {
    std::vector<uint32_t> seed;
    uint64_t x;
  } cases[] = {{{}, 1}, {{0}, 1}, {{5}, 5}, {{0, 0}, 1}, {{1, 2}, 0x200000001ull}, {{0, 0xF8000000u}, 1}, {{3, 0xFFFFFFFFu}, (0x7FFFFFFull << 32) | 3}};
  for (const auto& c : cases) {
    Stream st(TARR_BRNG_MCG59, c.seed);
    uint64_t x;
    std::memcpy(&x, ref::state_bytes(st.s), 8);
    EXPECT_EQ(x, c.x);
  }
}

TEST(Mrg32k3a, SeedingReducesAndRepairsZeroComponents) {
  const uint32_t m1 = 4294967087u, m2 = 4294944443u;
  Stream all_m1(TARR_BRNG_MRG32K3A, {m1, m1, m1, m1, m1, m1});
  uint32_t w[6];
  std::memcpy(w, ref::state_bytes(all_m1.s), 24);
  EXPECT_EQ(std::vector<uint32_t>(w, w + 6), (std::vector<uint32_t>{1, 0, 0, m1 - m2, m1 - m2, m1 - m2}));
  Stream zeros(TARR_BRNG_MRG32K3A, {0, 0, 0, m2, 0, 0});
  std::memcpy(w, ref::state_bytes(zeros.s), 24);
  EXPECT_EQ(std::vector<uint32_t>(w, w + 6), (std::vector<uint32_t>{1, 0, 0, 1, 0, 0}));
  Stream two(TARR_BRNG_MRG32K3A, {7, 8});
  std::memcpy(w, ref::state_bytes(two.s), 24);
  EXPECT_EQ(std::vector<uint32_t>(w, w + 6), (std::vector<uint32_t>{7, 8, 1, 1, 1, 1}));
}

// Outputs are never 0, and equal m1 exactly when the two components agree.
TEST(Mrg32k3a, OutputRangeIsOneToM1) {
  Stream st(TARR_BRNG_MRG32K3A, {1, 2, 3, 4, 5, 6});
  std::vector<uint32_t> r(100000);
  ASSERT_EQ(__tarriBRngMRG32K3A(st.s, 100000, r.data()), 0);
  for (uint32_t v : r) ASSERT_TRUE(v >= 1 && v <= 4294967087u);
}

TEST(R250, SeedingRules) {
  StreamState *a = nullptr, *b = nullptr;
  const uint32_t zero = 0;
  ASSERT_EQ(__tarrNewStreamEx(&a, TARR_BRNG_R250, 0, nullptr), 0);
  ASSERT_EQ(__tarrNewStreamEx(&b, TARR_BRNG_R250, 1, &zero), 0);
  EXPECT_EQ(std::memcmp(ref::state_bytes(a), ref::state_bytes(b), 1008), 0);
  uint32_t w[250];
  std::memcpy(w, ref::state_bytes(a), 1000);
  uint32_t x = 1;
  for (int k = 0; k < 250; ++k) {
    x *= 69069u;
    const int t = (k - 3) / 7;
    if (k >= 3 && (k - 3) % 7 == 0 && t < 32) {
      const uint32_t bit = 1u << (31 - t);
      EXPECT_EQ(w[k], (x & (bit - 1)) | bit) << k;
    } else {
      EXPECT_EQ(w[k], x) << k;
    }
  }
  EXPECT_EQ(w[220], 1u);
  EXPECT_GE(w[3], 0x80000000u);
  int32_t ij[2];
  std::memcpy(ij, ref::state_bytes(a) + 1000, 8);
  EXPECT_EQ(ij[0], 0);
  EXPECT_EQ(ij[1], 103);
  std::vector<uint32_t> full(250);
  for (int k = 0; k < 250; ++k) full[k] = 1000u + k;
  Stream direct(TARR_BRNG_R250, full);
  EXPECT_EQ(std::memcmp(ref::state_bytes(direct.s), full.data(), 1000), 0);
  __tarrDeleteStream(&a);
  __tarrDeleteStream(&b);
}

TEST(Wh, SeedingRules) {
  const uint32_t* m = zorp::rng::wh::kModuli[0];
  Stream two(TARR_BRNG_WH, {m[0] + 5, 0});
  uint32_t w[8];
  std::memcpy(w, ref::state_bytes(two.s), 32);
  EXPECT_EQ(std::vector<uint32_t>(w, w + 8), (std::vector<uint32_t>{5, 1, 1, 1, 125, 117, 127, 126}));
  Stream none(TARR_BRNG_WH + 9, {});
  std::memcpy(w, ref::state_bytes(none.s), 32);
  for (int c = 0; c < 4; ++c) {
    EXPECT_EQ(w[c], 1u);
    EXPECT_EQ(w[4 + c], zorp::rng::wh::kMultipliers[9][c]);
  }
}

TEST(Wh, ToolRegeneratesTheCommittedTable) {
  zorp::test::expect_tool_regenerates("gen_wh_params", "src/rng/brng/wh/wh_params_table.cpp");
}

bool is_prime(uint32_t n) {
  for (uint32_t d = 2; d * d <= n; ++d)
    if (n % d == 0) return false;
  return n > 1;
}
bool primitive_root(uint64_t a, uint32_t p) {
  uint32_t n = p - 1;
  for (uint32_t q = 2; q * q <= n || n > 1; ++q) {
    if (q * q > n) q = n;
    if (n % q) continue;
    while (n % q == 0) n /= q;
    if (__tarriPowMod(static_cast<uint32_t>(a), (p - 1) / q, p) == 1) return false;
  }
  return true;
}

// The parameter table: member 0 the classic set, the others four distinct primes in range with
// primitive-root multipliers, no two members alike, reciprocals exact.
TEST(Wh, ParameterTableIsWellFormed) {
  using namespace zorp::rng::wh;
  const uint32_t m0[4] = {16770647, 16770643, 16770623, 16770617};
  const uint8_t a0[4] = {125, 117, 127, 126};
  EXPECT_EQ(std::memcmp(kModuli[0], m0, sizeof m0), 0);
  EXPECT_EQ(std::memcmp(kMultipliers[0], a0, sizeof a0), 0);
  std::vector<std::vector<uint32_t>> seen;
  for (int i = 0; i < kMembers; ++i) {
    std::vector<uint32_t> set(kModuli[i], kModuli[i] + 4);
    std::sort(set.begin(), set.end());
    EXPECT_EQ(std::adjacent_find(set.begin(), set.end()), set.end()) << i;
    EXPECT_EQ(std::find(seen.begin(), seen.end(), set), seen.end()) << i;
    seen.push_back(set);
    for (int c = 0; c < 4; ++c) {
      EXPECT_TRUE(kModuli[i][c] >= 16766231 && kModuli[i][c] <= 16770647 && is_prime(kModuli[i][c])) << i;
      EXPECT_TRUE(kMultipliers[i][c] >= 117 && kMultipliers[i][c] <= 127) << i;
      if (i > 0) {
        EXPECT_TRUE(primitive_root(kMultipliers[i][c], kModuli[i][c])) << i << " " << c;
      }
      EXPECT_EQ(kReciprocals[i][c], 1.0 / kModuli[i][c]);
    }
  }
}

TEST(Methods, UnsupportedSplittingIsReported) {
  const struct {
    uint32_t brng;
    int32_t leap, skip, skip_ex;
  } cases[] = {
      {TARR_BRNG_MCG31, 0, 0, TARR_ERROR_NO_SKIPAHEAD_EX},
      {TARR_BRNG_MCG59, 0, 0, TARR_ERROR_NO_SKIPAHEAD_EX},
      {TARR_BRNG_MRG32K3A, TARR_ERROR_NO_LEAPFROG, 0, 0},
      {TARR_BRNG_R250, TARR_ERROR_NO_LEAPFROG, TARR_ERROR_NO_SKIPAHEAD, TARR_ERROR_NO_SKIPAHEAD_EX},
      {TARR_BRNG_WH + 3, 0, 0, TARR_ERROR_NO_SKIPAHEAD_EX},
  };
  for (const auto& c : cases) {
    Stream st(c.brng, {11});
    const uint64_t ex[2] = {5, 0};
    EXPECT_EQ(__tarrLeapfrogStream(st.s, 1, 4), c.leap) << std::hex << c.brng;
    EXPECT_EQ(__tarrSkipAheadStream(st.s, 9), c.skip) << std::hex << c.brng;
    EXPECT_EQ(__tarrSkipAheadStreamEx(st.s, 2, ex), c.skip_ex) << std::hex << c.brng;
  }
}

}  // namespace
