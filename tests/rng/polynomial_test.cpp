// Polynomial skip-ahead: remainders x^N mod P against stepping x one degree at a time and their
// refusals, the refusals of the two evaluators (on a shift register whose characteristic
// polynomial is known by construction), and the committed characteristic polynomials of the
// twisters.
#include "common/regenerated.h"
#include "model.h"

// The polynomials as the library was built with them (compiled into this test too).
#include "rng/skip/char_polys.cpp"

namespace {

using Bits = std::vector<uint32_t>;

bool bit(const Bits& r, int64_t i) { return (r[static_cast<size_t>(i >> 5)] >> (i & 31)) & 1; }

// x^N mod P by N multiplications by x (the definition, for counts small enough to walk).
Bits walk(uint64_t n, int32_t p, const uint32_t* exps, uint32_t t, int32_t w) {
  Bits r(static_cast<size_t>(w) + 1, 0);  // room for the x^p term before it is folded
  r[0] = 1;
  for (uint64_t k = 0; k < n; ++k) {
    for (int32_t i = w; i > 0; --i) r[i] = (r[i] << 1) | (r[i - 1] >> 31);
    r[0] <<= 1;
    if (bit(r, p)) {
      r[static_cast<size_t>(p >> 5)] ^= 1u << (p & 31);
      for (uint32_t e = 0; e + 1 < t; ++e) r[exps[e] >> 5] ^= 1u << (exps[e] & 31);
    }
  }
  r.resize(static_cast<size_t>(w));
  return r;
}

struct Poly {
  const char* name;
  int32_t p;
  uint32_t t;
  const uint32_t* exps;
};

class Remainder : public testing::TestWithParam<Poly> {};

TEST_P(Remainder, MatchesTheDefinition) {
  const Poly& P = GetParam();
  const int32_t w = (P.p + 31) / 32;
  for (uint64_t n : {uint64_t{0}, uint64_t{1}, uint64_t{77}, uint64_t(P.p) - 1, uint64_t(P.p), uint64_t(P.p) + 1,
                     uint64_t{3} * P.p + 5, uint64_t{100003}}) {
    Bits got(static_cast<size_t>(w) + 1, 0xA5A5A5A5u);
    ASSERT_EQ(__tarrPolyRem(static_cast<int64_t>(n), P.p, P.t, P.exps, w, got.data()), 0);
    EXPECT_EQ(got[static_cast<size_t>(w)], 0xA5A5A5A5u) << "wrote past w words";
    got.resize(static_cast<size_t>(w));
    EXPECT_EQ(got, walk(n, P.p, P.exps, P.t, w)) << P.name << " N=" << n;
  }
}

const uint32_t kTrinomial[] = {0, 38, 89};
INSTANTIATE_TEST_SUITE_P(Twisters, Remainder,
                         testing::Values(Poly{"MT19937", 19937, zorp::rng::charpoly::kMt19937Terms, zorp::rng::charpoly::kMt19937},
                                         Poly{"SFMT19937", 19968, zorp::rng::charpoly::kSfmt19937Terms,
                                              zorp::rng::charpoly::kSfmt19937},
                                         Poly{"x89_x38_1", 89, 3, kTrinomial}),
                         [](const testing::TestParamInfo<Poly>& i) { return std::string(i.param.name); });

// Each check's first refused value beside its last accepted one (x^5 mod P where accepted).
TEST(Remainder, ChecksRefuseAtTheirBoundaries) {
  constexpr int32_t kBad = TARR_ERROR_BAD_ARGUMENTS;
  const uint32_t one[] = {0}, x_1[] = {0, 1}, x89[] = {89}, unsorted[] = {0, 60, 38, 89}, repeated[] = {0, 38, 38, 89},
                 short_top[] = {0, 38, 88};
  const struct {
    int32_t p;
    uint32_t t;
    const uint32_t* exps;
    int32_t w, status;
    uint32_t low;  // the remainder's first word
  } rows[] = {
      {89, 3, kTrinomial, 2, kBad, 0}, {89, 3, kTrinomial, 3, 0, 1u << 5},  // 64 bits < 89 <= 96
      {89, 3, nullptr, 3, kBad, 0},    {89, 0, kTrinomial, 3, kBad, 0},
      {89, 1, x89, 3, 0, 1u << 5},     // P = x^89
      {0, 1, one, 1, kBad, 0},         {1, 2, x_1, 1, 0, 1},  // P = 1; P = x + 1, where x = 1
      {89, 4, unsorted, 3, kBad, 0},   {89, 4, repeated, 3, kBad, 0}, {89, 3, short_top, 3, kBad, 0},
  };
  for (const auto& r : rows) {
    uint32_t out[3] = {7, 7, 7};
    EXPECT_EQ(__tarrPolyRem(5, r.p, r.t, r.exps, r.w, out), r.status) << &r - rows;
    if (r.status == 0) { EXPECT_EQ(out[0], r.low) << &r - rows; }
  }
  uint32_t* none = nullptr;
  EXPECT_EQ(__tarrPolyRem(5, 89, 3, kTrinomial, 3, none), kBad);
}

// ---- the evaluators on a shift register: s(t + 89) = s(t + 38) ^ s(t), whose transition has
// the characteristic polynomial x^89 + x^38 + 1. A state holds s(t .. t + 88) in two words. ------

struct Register {
  StreamState header;
  uint64_t s[2];
};

Register& reg(void* p) { return *static_cast<Register*>(p); }
const Register& reg(const void* p) { return *static_cast<const Register*>(p); }

void reg_clear(void* p) { reg(p).s[0] = reg(p).s[1] = 0; }
void reg_add(void* d, const void* s) {
  reg(d).s[0] ^= reg(s).s[0];
  reg(d).s[1] ^= reg(s).s[1];
}
void reg_copy(void* d, const void* s) { std::memcpy(reg(d).s, reg(s).s, sizeof reg(d).s); }
void reg_step(void* p) {
  uint64_t* s = reg(p).s;
  const uint64_t in = (s[0] ^ (s[0] >> 38)) & 1;
  s[0] = (s[0] >> 1) | (s[1] << 63);
  s[1] = (s[1] >> 1) | (in << 24);  // bit 88 of the window is bit 24 of the second word
}
void reg_write_back(StreamState* s, const void* p) { reg_copy(s, p); }
int32_t reg_prepare(const StreamState* s, uint64_t n, void* p) {
  if (n == 0) return 0;
  reg_copy(p, s);
  return 1;
}

using Evaluator = decltype(&__tarr_SkipAheadHorner);

int32_t skip(Evaluator f, Register& r, uint64_t n) {
  return f(&r.header, reg_clear, reg_add, reg_copy, reg_step, reg_write_back, reg_prepare, static_cast<int64_t>(n), 3, 89,
           sizeof(Register), 3, kTrinomial);
}

// (That the evaluators equal stepping is checked on the twisters themselves, in skip_test:
// SFMT19937's skips of up to 19,967 outputs take Horner's rule, longer ones and MT19937's the
// sliding window; the remainder they evaluate is checked above.)
TEST(Evaluators, RefusalsLeaveTheStateAlone) {
  for (Evaluator f : {&__tarr_SkipAheadHorner, &__tarr_SkipAheadSWin}) {
    Register r{{}, {9, 9}};
    EXPECT_EQ(f(&r.header, nullptr, reg_add, reg_copy, reg_step, reg_write_back, reg_prepare, 5, 3, 89, sizeof r, 3,
                kTrinomial),
              TARR_ERROR_NULL_ENTRY);
    EXPECT_EQ(f(&r.header, reg_clear, reg_add, reg_copy, reg_step, reg_write_back, reg_prepare, 5, 2, 89, sizeof r, 3,
                kTrinomial),
              TARR_ERROR_BAD_ARGUMENTS);
    // A state size of 0 is refused even for a count of 0, which would not touch the state.
    EXPECT_EQ(f(&r.header, reg_clear, reg_add, reg_copy, reg_step, reg_write_back, reg_prepare, 0, 3, 89, 0, 3, kTrinomial),
              TARR_ERROR_BAD_ARGUMENTS);
    EXPECT_GT(ref::each_failing_allocation([&] { return skip(f, r, uint64_t{1} << 50); },
                                           [&](int64_t k) { EXPECT_TRUE(r.s[0] == 9 && r.s[1] == 9) << k; }),
              0);
  }
}

// ---- the committed polynomials ------------------------------------------------------------------

// Their published sizes and lowest terms.
TEST(CharacteristicPolynomials, PublishedShape) {
  using namespace zorp::rng::charpoly;
  ASSERT_EQ(kMt19937Terms, 135u);
  ASSERT_EQ(kSfmt19937Terms, 6711u);
  EXPECT_EQ(Bits(kMt19937, kMt19937 + 5), (Bits{0, 1189, 1416, 1585, 1643}));
  EXPECT_EQ(kMt19937[134], 19937u);
  EXPECT_EQ(Bits(kSfmt19937, kSfmt19937 + 5), (Bits{0, 1041, 1195, 1197, 1232}));
  EXPECT_EQ(kSfmt19937[6710], 19968u);
}

// The tool rebuilds the committed file byte for byte from the generators.
TEST(CharacteristicPolynomials, ToolRegeneratesTheCommittedFile) {
  zorp::test::expect_tool_regenerates("gen_char_polys", "src/rng/skip/char_polys.cpp");
}

}  // namespace
