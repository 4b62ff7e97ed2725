// Every built generator's outputs in pieces against one call (the sequence itself is pinned by
// known_answers.txt), its reals against its own integer outputs, the methods each generator
// accepts, the hardware generator, and the WH parameter table.
#include <cpuid.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numeric>

#include "common/guarded.h"
#include "common/regenerated.h"
#include "model.h"

// The WH parameters as the library was built with them (compiled into this test too).
#include "rng/brng/wh/wh_params_table.cpp"

namespace {

using ref::GenCase;
using ref::Row;
using ref::Stream;

const std::vector<uint32_t> kSeed = {0x9ABCDEF1u, 0x0345678u, 12345, 777, 4, 5, 6, 7};

const int32_t kLengths[] = {0, 1, 2, 3, 7, 8, 9, 15, 16, 17, 24, 31, 32, 33, 40, 63, 64, 65, 100,
                            147, 249, 250, 251, 1023, 1024, 1025, 1300, 2047, 2048, 2049, 5000};

// The member of a WH identifier in either numbering.
int wh_member(uint32_t brng) { return brng >= 0x100000 ? static_cast<int>(brng & 0xFFFFF) : static_cast<int>(brng) - 4; }

class Generators : public testing::TestWithParam<GenCase> {};

// Requests of every length around the vector blocks, one after the other, continue the sequence
// of a single call exactly and write nothing past their end. WH's words follow its member's four
// recurrences x' = a x mod m, from the parameter table.
TEST_P(Generators, PiecesAcrossBlockBoundariesContinueOneCall) {
  const GenCase& g = GetParam();
  Stream pieces(g.brng, kSeed), whole(g.brng, kSeed);
  const int w = ref::words_per_output(*g.facts);
  std::vector<uint32_t> got;
  for (int32_t n : kLengths) {
    zorp::test::GuardedArray<uint32_t> out(static_cast<size_t>(n) * w);
    ASSERT_EQ(ref::entries(g.brng).iBRng(pieces.s, n, out.data()), 0);
    got.insert(got.end(), out.data(), out.data() + static_cast<size_t>(n) * w);
  }
  const std::vector<uint32_t> want = ref::draw(whole.s, std::accumulate(std::begin(kLengths), std::end(kLengths), 0));
  for (size_t i = 0; i < want.size(); ++i) ASSERT_EQ(got[i], want[i]) << g.name << " word " << i;
  if (ref::row_of(g.brng) != Row::WH) return;
  const int m = wh_member(g.brng);
  for (size_t i = 4; i < want.size(); ++i)
    ASSERT_EQ(want[i], uint64_t{zorp::rng::wh::kMultipliers[m][i % 4]} * want[i - 4] % zorp::rng::wh::kModuli[m][i % 4]) << i;
}

// How a generator makes reals of its integer output u: (b - a) * scale * u + a, or about the
// midpoint for the generators whose output counts as signed; a single in float arithmetic, with
// the scale and midpoint rounded from double, or as the double result rounded.
enum class Single { kFloat, kScaleFromDouble, kFromDouble };
struct Conv {
  double ds;
  float fs;
  Single single;
  bool centred = false;
};
Conv conv_of(Row row) {
  constexpr Conv kUnsigned32{0x1p-32, 0x1p-32f, Single::kFloat}, kSigned32{0x1p-32, 0x1p-32f, Single::kFloat, true};
  switch (row) {
    case Row::MCG31M1: return {1.0 / 2147483647.0, 0x1p-31f, Single::kFloat};
    case Row::MCG59: return {0x1p-59, 0x1p-59f, Single::kFloat};
    case Row::MRG32K3A: return {1.0 / 4294967087.0, 0, Single::kScaleFromDouble};
    case Row::R250: return {0x1p-32, 0, Single::kFromDouble};
    case Row::WH: return {1.0, 0, Single::kFromDouble};  // of the unit value the four words make
    case Row::SFMT19937: return {0x1p-32, 0, Single::kScaleFromDouble, true};
    case Row::PHILOX4X32X10:
    case Row::ARS5: return kSigned32;
    case Row::Sobol:
    case Row::Niederr: return {0x1p-31, 0, Single::kFromDouble};  // of the top 31 bits
    default: return kUnsigned32;
  }
}

// Reals on ordinary, empty and reversed intervals, in uneven pieces, bit for bit against the
// conversion of the same outputs drawn as integers.
TEST_P(Generators, RealOutputsAreTheIntegerOutputsScaled) {
  const GenCase& g = GetParam();
  const Row row = ref::row_of(g.brng);
  const Conv conv = conv_of(row);
  const int w = ref::words_per_output(*g.facts);
  for (auto [a, b] : {std::pair{0.0, 1.0}, std::pair{-3.0, 5.5}, std::pair{2.0, 2.0}, std::pair{7.0, -1.25}}) {
    Stream sd(g.brng, kSeed), sf(g.brng, kSeed), si(g.brng, kSeed);
    const float af = static_cast<float>(a), bf = static_cast<float>(b);
    for (int32_t n : {1, 9, 33, 1000, 7}) {
      zorp::test::GuardedArray<double> rd(n);
      zorp::test::GuardedArray<float> rf(n);
      ASSERT_EQ(ref::entries(g.brng).dBRng(sd.s, n, rd.data(), a, b), 0);
      ASSERT_EQ(ref::entries(g.brng).sBRng(sf.s, n, rf.data(), af, bf), 0);
      const std::vector<uint32_t> u = ref::draw(si.s, n);
      for (int32_t i = 0; i < n; ++i) {
        const uint32_t* x = &u[static_cast<size_t>(i) * w];
        double v = w == 2 ? static_cast<double>(x[0] | uint64_t{x[1]} << 32) : x[0];
        if (row == Row::Sobol || row == Row::Niederr) v = x[0] >> 1;
        if (row == Row::WH) {
          const double* rc = zorp::rng::wh::kReciprocals[wh_member(g.brng)];
          v = x[0] * rc[0];
          for (int c = 1; c < 4; ++c) v = std::fma(static_cast<double>(x[c]), rc[c], v);
          v -= std::trunc(v);
        }
        if (conv.centred) v = static_cast<int32_t>(x[0]);
        const auto real = [&](double lo, double hi) { return std::fma((hi - lo) * conv.ds, v, conv.centred ? (lo + hi) * 0.5 : lo); };
        const float vf = conv.centred ? static_cast<float>(static_cast<int32_t>(x[0])) : static_cast<float>(x[0] | uint64_t{w == 2 ? x[1] : 0} << 32);
        const double ed = real(a, b);
        const float ef = conv.single == Single::kFromDouble ? static_cast<float>(real(af, bf))
                         : conv.single == Single::kFloat
                             ? std::fma((bf - af) * conv.fs, vf, conv.centred ? (af + bf) * 0.5f : af)
                             : std::fma(static_cast<float>((double{bf} - af) * conv.ds), vf, conv.centred ? static_cast<float>((double{af} + bf) * 0.5) : af);
        ASSERT_EQ(std::memcmp(&rd[i], &ed, 8), 0) << g.name << " i=" << i << " " << rd[i] << " vs " << ed;
        ASSERT_EQ(std::memcmp(&rf[i], &ef, 4), 0) << g.name << " i=" << i << " " << rf[i] << " vs " << ef;
      }
    }
  }
}

// Counts of 0 and below write nothing and keep the state; a null stream and a method past the
// last one (or below the first) are refused.
TEST_P(Generators, EmptyRequestsAndRefusals) {
  const GenCase& g = GetParam();
  Stream st(g.brng, kSeed);
  const std::vector<uint8_t> before = ref::state_copy(st.s);
  const BrngProperties& row = ref::entries(g.brng);
  zorp::test::GuardedArray<double> none(0);
  EXPECT_EQ(row.dBRng(st.s, 0, none.data(), 0, 1), 0);
  EXPECT_EQ(row.dBRng(st.s, -5, none.data(), 0, 1), 0);
  EXPECT_EQ(ref::state_copy(st.s), before);
  EXPECT_EQ(row.InitStream(4, st.s, 0, nullptr), TARR_ERROR_UNKNOWN_METHOD);
  EXPECT_EQ(row.InitStream(-1, st.s, 0, nullptr), TARR_ERROR_UNKNOWN_METHOD);
  uint32_t r[4];
  EXPECT_EQ(row.InitStream(TARR_INIT_SEED, nullptr, 0, nullptr), TARR_ERROR_NULL_ENTRY);
  EXPECT_EQ(row.iBRng(nullptr, 1, r), TARR_ERROR_NULL_ENTRY);
}

INSTANTIATE_TEST_SUITE_P(All, Generators, testing::ValuesIn(ref::generator_cases()),
                         [](const testing::TestParamInfo<GenCase>& i) { return i.param.name; });

// Which splitting methods each generator accepts, written out here independently of the
// generator table that drives the library.
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
      {TARR_BRNG_MT19937, TARR_ERROR_NO_LEAPFROG, 0, TARR_ERROR_NO_SKIPAHEAD_EX},
      {TARR_BRNG_SFMT19937, TARR_ERROR_NO_LEAPFROG, 0, TARR_ERROR_NO_SKIPAHEAD_EX},
      {TARR_BRNG_MT2203 + 17, TARR_ERROR_NO_LEAPFROG, TARR_ERROR_NO_SKIPAHEAD, TARR_ERROR_NO_SKIPAHEAD_EX},
      {TARR_BRNG_PHILOX4X32X10, TARR_ERROR_NO_LEAPFROG, 0, 0},
      {TARR_BRNG_ARS5, TARR_ERROR_NO_LEAPFROG, __tarrCPUisAES() ? 0 : TARR_ERROR_NO_AES, __tarrCPUisAES() ? 0 : TARR_ERROR_NO_AES},
      {TARR_BRNG_NONDETERM, TARR_ERROR_NO_LEAPFROG, TARR_ERROR_NO_SKIPAHEAD, TARR_ERROR_NO_SKIPAHEAD_EX},
  };
  for (const auto& c : cases) {
    Stream st(c.brng, {11});
    const uint64_t ex[2] = {5, 0};
    EXPECT_EQ(__tarrLeapfrogStream(st.s, 1, 4), c.leap) << std::hex << c.brng;
    EXPECT_EQ(__tarrSkipAheadStream(st.s, 9), c.skip) << std::hex << c.brng;
    EXPECT_EQ(__tarrSkipAheadStreamEx(st.s, 2, ex), c.skip_ex) << std::hex << c.brng;
  }
}

// The feature queries answer with CPUID leaf 1's bits (read here on their own); the hardware
// generator keeps its retry limit, refuses outputs without RDRAND, and with it delivers values
// that cover the interval and differ from call to call.
TEST(Hardware, FeatureQueriesAndRdrand) {
  unsigned a, b, c = 0, d;
  ASSERT_TRUE(__get_cpuid(1, &a, &b, &c, &d));
  EXPECT_EQ(__tarrCPUisAES(), static_cast<int32_t>((c >> 25) & 1));
  EXPECT_EQ(__tarrCPUisRDRAND(), static_cast<int32_t>((c >> 30) & 1));
  EXPECT_EQ(__tarrCPUisVAES(), zorp_serv_cpuisicx() != 0 ? 1 : 0);

  const struct {
    std::vector<uint32_t> seed;
    uint32_t limit;
  } limits[] = {{{}, 10}, {{7}, 10}, {{7, 0}, 10}, {{7, 3}, 3}, {{7, 0xFFFFFFFF}, 0xFFFFFFFF}};
  for (const auto& l : limits) {
    Stream st(TARR_BRNG_NONDETERM, l.seed);
    uint32_t w[2];
    std::memcpy(w, ref::state_bytes(st.s), 8);
    EXPECT_EQ(w[0], 0u);
    EXPECT_EQ(w[1], l.limit) << l.seed.size();
  }
  if (!__tarrCPUisRDRAND()) return;  // the refusals without it are the next test's
  Stream st(TARR_BRNG_NONDETERM, {});
  std::vector<double> x(1000), y(1000);
  std::vector<float> f(1000);
  std::vector<uint32_t> u(1000);
  ASSERT_EQ(__tarrdBRngTRNG(st.s, 1000, x.data(), -2, 2), 0);
  ASSERT_EQ(__tarrdBRngTRNG(st.s, 1000, y.data(), -2, 2), 0);
  ASSERT_EQ(__tarrsBRngTRNG(st.s, 1000, f.data(), 0, 1), 0);
  ASSERT_EQ(__tarriBRngTRNG(st.s, 1000, u.data()), 0);
  EXPECT_NE(x, y);
  // Bounds that 1000 uniform draws miss with probability below 1e-22 (0.95^1000, (15/16)^1000):
  // the check is on the range reached, not on chance; the top bits reach the words.
  const auto [xlo, xhi] = std::minmax_element(x.begin(), x.end());
  const auto [flo, fhi] = std::minmax_element(f.begin(), f.end());
  EXPECT_TRUE(*xlo >= -2 && *xlo < -1.9 && *xhi > 1.9 && *xhi <= 2) << *xlo << " " << *xhi;
  EXPECT_TRUE(*flo >= 0 && *fhi > 0.95f && *fhi <= 1) << *flo << " " << *fhi;
  EXPECT_GT(*std::max_element(u.begin(), u.end()), 0xF0000000u);
}

// A processor without AES or RDRAND (the host hides the CPUID bits): every output and skip of
// ARS-5 is refused and leaves the stream as it was, the hardware generator refuses outputs, and
// saved streams of both are refused on load with the handle left null.
TEST(Hardware, RefusalsWithoutTheFeatures) {
  Stream ars(TARR_BRNG_ARS5, {1, 2, 3});
  Stream trng(TARR_BRNG_NONDETERM, {});
  const std::vector<uint8_t> ars_image = ref::image_of(ars.s), trng_image = ref::image_of(trng.s);
  const std::vector<uint8_t> before = ref::state_copy(ars.s);
  uint32_t u[10];
  double x[10];
  float f[10];
  const uint64_t ex[1] = {9};
  zorp_core_mask_cpuid1_ecx((1u << 25) | (1u << 30));
  EXPECT_EQ(__tarrCPUisAES(), 0);
  EXPECT_EQ(__tarriBRngARS5(ars.s, 10, u), TARR_ERROR_NO_AES);
  EXPECT_EQ(__tarrdBRngARS5(ars.s, 10, x, 0, 1), TARR_ERROR_NO_AES);
  EXPECT_EQ(__tarrsBRngARS5(ars.s, 10, f, 0, 1), TARR_ERROR_NO_AES);
  EXPECT_EQ(__tarrSkipAheadStream(ars.s, 9), TARR_ERROR_NO_AES);
  EXPECT_EQ(__tarrSkipAheadStreamEx(ars.s, 1, ex), TARR_ERROR_NO_AES);
  EXPECT_EQ(ref::state_copy(ars.s), before);
  EXPECT_EQ(__tarriBRngTRNG(trng.s, 10, u), TARR_ERROR_NO_RDRAND);
  EXPECT_EQ(__tarrdBRngTRNG(trng.s, 10, x, 0, 1), TARR_ERROR_NO_RDRAND);
  StreamState* loaded = ars.s;  // a handle the refusals must null
  EXPECT_EQ(__tarrLoadStreamM(&loaded, ars_image.data()), TARR_ERROR_NO_AES);
  EXPECT_EQ(loaded, nullptr);
  EXPECT_EQ(__tarrLoadStreamM(&loaded, trng_image.data()), TARR_ERROR_NO_RDRAND);
  EXPECT_EQ(loaded, nullptr);
  zorp_core_mask_cpuid1_ecx(0);
}

// The retry limit from the seed (and its default, 10, for a limit of 0): with that many steps
// reporting no value the draw still succeeds on the last attempt, with one more it fails.
TEST(Hardware, RdrandRetriesRunOut) {
  if (!__tarrCPUisRDRAND()) GTEST_SKIP() << "no RDRAND";
  for (uint32_t limit : {0u, 1u, 3u}) {
    Stream trng(TARR_BRNG_NONDETERM, {0, limit});
    const int64_t retries = limit ? limit : 10;
    uint32_t u[3];
    zorp_core_fail_rdrand(retries);
    EXPECT_EQ(__tarriBRngTRNG(trng.s, 3, u), 0) << limit;
    zorp_core_fail_rdrand(retries + 1);
    EXPECT_EQ(__tarriBRngTRNG(trng.s, 3, u), TARR_ERROR_RDRAND_RETRIES) << limit;
    zorp_core_fail_rdrand(0);
  }
}

// Family members seeded alike run different recurrences.
TEST(Mt2203, MembersSeededAlikeDiffer) {
  Stream m0(TARR_BRNG_MT2203, {42}), m1(TARR_BRNG_MT2203 + 1, {42});
  EXPECT_NE(ref::draw(m0.s, 16), ref::draw(m1.s, 16));
}

// The table of multiplier powers that seeding attaches (a documented chunk: saved images carry
// it), against the published powers of the default multiplier.
TEST(Mcg31m1, SeedingAttachesPowerTable) {
  Stream st(TARR_BRNG_MCG31, {1});
  ASSERT_EQ(__tarrGetNumChunks(st.s), 1);
  const auto* w = static_cast<const uint64_t*>(__tarrSearchChunk(st.s, 14));
  ASSERT_NE(w, nullptr);
  const uint64_t powers[8] = {1, 1132489760, 826537482, 289798557, 480863449, 1381340036, 1582925527, 1918178478};
  const uint64_t lanes[4] = {1286028348, 1918607382, 30702993, 837482658};  // a^8, a^16, a^24, a^32 in every lane
  EXPECT_EQ(static_cast<uint32_t>(w[0]), 0u);
  for (int k = 0; k < 40; ++k) EXPECT_EQ(w[8 + k], k < 8 ? powers[k] : lanes[k / 8 - 1]) << k;
}

// Both multiplicative generators need their power table; without it every entry that uses the
// table reports the missing memory instead of producing numbers.
TEST(Mcg, MissingPowerTableIsReported) {
  for (uint32_t brng : {TARR_BRNG_MCG31, TARR_BRNG_MCG59}) {
    Stream st(brng, {7});
    ASSERT_EQ(__tarrDeleteChunks(st.s), 0);
    const BrngProperties& row = ref::entries(brng);
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

TEST(Wh, ToolRegeneratesTheCommittedTable) {
  zorp::test::expect_tool_regenerates("gen_wh_params", "src/rng/brng/wh/wh_params_table.cpp");
}

// The full MT2203 search takes about two hours of one core, too long for a test: the tool repeats
// it for the two published members (which it only checks) and two searched ones, and their rows
// must be the committed ones (skipped when the tool is not part of the build). Every other
// searched row must at least carry its member number in the low half of its matrix constant.
TEST(Mt2203, ToolRegeneratesCommittedMembers) {
  const std::string tool = std::string(ZORP_LIB_DIR) + "/../bin/gen_mt2203_params";
  if (access(tool.c_str(), X_OK) != 0) GTEST_SKIP() << tool << " not built";
  std::ifstream table(std::string(ZORP_SOURCE_DIR) + "/src/rng/brng/mt2203/mt2203_params_table.cpp");
  std::vector<std::string> rows;
  for (std::string line; std::getline(table, line);)
    if (line.rfind("    {0x", 0) == 0) rows.push_back(line);
  ASSERT_EQ(rows.size(), 6024u);
  for (size_t m = 1; m + 1 < rows.size(); ++m) EXPECT_EQ(std::stoul(rows[m].substr(7, 8), nullptr, 16) & 0xFFFFu, m) << m;
  const std::string out = testing::TempDir() + "mt2203_rows.txt";
  ASSERT_EQ(std::system((tool + " --print 0,1,3011,6023 > " + out).c_str()), 0);
  std::ifstream got(out);
  int member = 0, count = 0;
  std::string a, b, c, defect;
  while (got >> member >> a >> b >> c >> defect) {
    ASSERT_LT(member, 6024);
    EXPECT_EQ(rows[static_cast<size_t>(member)], "    {" + a + "u, " + b + "u, " + c + "u},") << member;
    ++count;
  }
  EXPECT_EQ(count, 4);
  std::remove(out.c_str());
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

}  // namespace
