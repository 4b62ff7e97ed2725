// The registry: identifier mapping in both numberings, validation, the rows handed out, refusal
// of rows without a generator, and registration with its checks in order and its bound.
#include <dlfcn.h>

#include "library.h"
#include "model.h"

namespace {

// The tables as the library itself addresses them. The test does not name the exported data
// directly: a copy relocation in this executable would give it a second copy of each table.
const BrngProperties* current_table() { return __tarrGetBrngBaseOffset(TARR_BRNG_MCG31, nullptr, nullptr); }
const BrngProperties* legacy_table() { return __tarrGetBrngBaseOffset(0, nullptr, nullptr); }

TEST(Registry, TablesAreExportedUnderTheirNames) {
  void* lib = dlopen(zorp::test::kernel_library_path().c_str(), RTLD_NOW);
  ASSERT_NE(lib, nullptr);
  EXPECT_EQ(dlsym(lib, "__RegBrngsNew"), current_table());
  EXPECT_EQ(dlsym(lib, "__RegBrngs"), legacy_table());
  EXPECT_NE(current_table(), legacy_table());
  dlclose(lib);
}

// Each identifier's table, row and member, and whether the row and member are valid.
TEST(Registry, IdentifierMappingAndValidation) {
  constexpr int32_t kBad = TARR_ERROR_INVALID_BRNG;
  const struct {
    uint32_t brng;
    bool current;
    uint32_t row, member;
    int32_t status;
  } cases[] = {
      {0x100000, true, 0, 0, 0},          {0x1000000, true, 15, 0, 0},          {0x500000, true, 4, 0, 0},
      {0x500000 + 272, true, 4, 272, 0},  {0x500000 + 273, true, 4, 273, kBad},    {0x900000 + 6023, true, 8, 6023, 0},
      {0x900000 + 6024, true, 8, 6024, kBad}, {0x100001, true, 0, 1, kBad},        {0x2000000, true, 31, 0, kBad},
      {0, false, 0, 0, 0},                {3, false, 3, 0, 0},                     {4, false, 4, 0, 0},
      {100, false, 4, 96, 0},             {276, false, 4, 272, 0},                 {277, false, 277, 0, 0},
      {280, false, 280, 0, 0},            {281, false, 281, 0, kBad},              {0x80000000u, false, 0x80000000u, 0, kBad},
      {0x80000001u, false, 0x80000001u, 0, kBad}, {0xFFFFFFFFu, false, 0xFFFFFFFFu, 0, kBad},
  };
  for (const auto& c : cases) {
    uint32_t row = 1234, member = 1234;
    const BrngProperties* t = __tarrGetBrngBaseOffset(c.brng, &row, &member);
    EXPECT_EQ(t, c.current ? current_table() : legacy_table()) << std::hex << c.brng;
    EXPECT_EQ(row, c.row) << std::hex << c.brng;
    EXPECT_EQ(member, c.member) << std::hex << c.brng;
    EXPECT_EQ(__tarrIsBrngValid(t, static_cast<int32_t>(row), static_cast<int32_t>(member)), c.status) << std::hex << c.brng;
  }
  EXPECT_EQ(__tarrIsBrngValid(legacy_table(), -1, 0), kBad);
  EXPECT_EQ(__tarrIsBrngValid(current_table(), 4, -1), kBad);
  EXPECT_EQ(__tarrIsBrngValid(legacy_table(), 280, 12345), 0);
  EXPECT_EQ(__tarrIsBrngValid(nullptr, 0, 0), kBad);
}

// Rows that hold no generator (not part of this build, legacy 279 and 280), abstract identifiers
// and identifiers with the top bit set never get a seeded stream, and nothing is stored in the
// handle; only the abstract rows may be allocated, as their own constructors do, and have
// properties. Every built row has all four entries.
TEST(Registry, RowsWithoutGeneratorAreRefused) {
  std::vector<uint32_t> ids = {TARR_BRNG_IABSTRACT, TARR_BRNG_DABSTRACT, TARR_BRNG_SABSTRACT, 279, 280, 281,
                               0x80000000u, 0x80000004u, 0xFFFFFFFFu, 0x500000 + 273};
  for (const auto& f : zorp::rng::brng::kGenerators) {
    const uint32_t id = static_cast<uint32_t>(f.row + 1) << 20;
    if (!f.built) {
      ids.push_back(id);
      continue;
    }
    BrngProperties p;
    EXPECT_EQ(__tarrGetBrngProperties(id, &p), 0) << f.label;
    EXPECT_TRUE(p.InitStream && p.sBRng && p.dBRng && p.iBRng) << f.label;
  }
  for (uint32_t id : ids) {
    auto* sentinel = reinterpret_cast<StreamState*>(0x1234);
    StreamState* s = sentinel;
    const uint32_t seed = 1;
    EXPECT_EQ(__tarrNewStreamEx(&s, id, 1, &seed), TARR_ERROR_INVALID_BRNG) << std::hex << id;
    EXPECT_EQ(s, sentinel);
    uint32_t row = 0, member = 0;
    const BrngProperties* t = __tarrGetBrngBaseOffset(id, &row, &member);
    const bool abstract = id >= TARR_BRNG_IABSTRACT && id <= TARR_BRNG_SABSTRACT;
    BrngProperties p;
    EXPECT_EQ(__tarrGetBrngProperties(id, &p), abstract ? 0 : TARR_ERROR_INVALID_BRNG) << std::hex << id;
    EXPECT_EQ(__tarrAllocateStream(&s, t, id, static_cast<int32_t>(row), static_cast<int32_t>(member)),
              abstract ? 0 : TARR_ERROR_INVALID_BRNG) << std::hex << id;
    if (abstract) __tarrDeleteStream(&s);
  }
}

// The rows of the built generators, written out here from the published registry independently of
// the generator table the library is built from.
TEST(Registry, RowsOfTheBuiltGenerators) {
  const struct {
    uint32_t brng;
    int32_t state, seeds, zero, word, bits;
    const char* ibrng;  // the row's integer output is this export
  } rows[] = {
      {TARR_BRNG_MCG31, 24, 1, 0, 4, 31, "__tarriBRngMCG31M1"},
      {TARR_BRNG_R250, 1024, 252, 1, 4, 32, "__tarriBRngR250"},
      {TARR_BRNG_MRG32K3A, 40, 6, 1, 4, 32, "__tarriBRngMRG32K3A"},
      {TARR_BRNG_MCG59, 32, 1, 0, 8, 59, "__tarriBRngMCG59"},
      {TARR_BRNG_WH + 7, 48, 4, 1, 16, 24, "__tarriBRngWH"},
      {TARR_BRNG_SOBOL, 11712, 2604, 0, 4, 32, "__tarriBRngSobol"},
      {TARR_BRNG_NIEDERR, 84288, 10498, 0, 4, 32, "__tarriBRngNiederr"},
      {TARR_BRNG_MT19937, 2520, 625, 1, 4, 32, "__tarriBRngMT19937"},
      {TARR_BRNG_SFMT19937, 2536, 625, 1, 4, 32, "__tarriBRngSFMT19937"},
      {TARR_BRNG_MT2203 + 6023, 312, 70, 1, 4, 32, "__tarriBRngMT2203"},
      {TARR_BRNG_IABSTRACT, 48, 0, 1, 4, 32, "__tarriBRngiAbstract"},
      {TARR_BRNG_DABSTRACT, 64, 0, 1, 4, 32, "__tarriBRngdAbstract"},
      {TARR_BRNG_SABSTRACT, 56, 0, 1, 4, 32, "__tarriBRngsAbstract"},
  };
  for (const auto& r : rows) {
    BrngProperties p;
    ASSERT_EQ(__tarrGetBrngProperties(r.brng, &p), 0);
    EXPECT_EQ(std::vector<int32_t>({p.StateSize, p.SeedCount, p.IncludesZero, p.WordSize, p.BitCount}),
              std::vector<int32_t>({r.state, r.seeds, r.zero, r.word, r.bits})) << r.ibrng;
    EXPECT_EQ(reinterpret_cast<void*>(p.iBRng), zorp::test::exported_address(ZORP_KERNEL_FILE, r.ibrng));
  }
  // Legacy rows are copies: 0..3 the single generators, 4..276 all WH, 277 Sobol, 278 Niederreiter;
  // the rest hold nothing.
  const BrngProperties *cur = current_table(), *old = legacy_table();
  for (int i = 0; i < 512; ++i) {
    const int from = i < 4 ? i : i <= 276 ? 4 : i - 272;
    EXPECT_TRUE(i <= 278 ? std::memcmp(&old[i], &cur[from], 56) == 0 : old[i].InitStream == nullptr) << i;
  }
}

// A user generator: counts upward from its seed.
int32_t user_init(int32_t method, StreamState* s, int32_t n, const uint32_t* p) {
  if (method != 0) return TARR_ERROR_NO_LEAPFROG;
  reinterpret_cast<uint32_t*>(s)[4] = n > 0 ? p[0] : 0;
  return 0;
}
int32_t user_i(StreamState* s, int32_t n, uint32_t* r) {
  uint32_t& x = reinterpret_cast<uint32_t*>(s)[4];
  for (int32_t i = 0; i < n; ++i) r[i] = x++;
  return 0;
}
int32_t user_s(StreamState*, int32_t, float*, float, float) { return 0; }
int32_t user_d(StreamState*, int32_t, double*, double, double) { return 0; }

TEST(Registry, RegistrationChecksInOrderThenAddsRowsUpToTheTableSize) {
  EXPECT_EQ(__tarrGetNumRegBrngs(), 16);
  const BrngProperties good{20, 1, 1, 4, 32, 0, user_init, user_s, user_d, user_i};
  struct Bad {
    int32_t state, seeds, word, bits;
    bool null_entry;
    int32_t status;
  };
  const Bad bad[] = {
      {-1, 1, 12, 32, false, TARR_ERROR_BAD_STATE_SIZE}, {20, 0, 12, 0, true, TARR_ERROR_BAD_WORD_SIZE},
      {20, 0, 8, 0, true, TARR_ERROR_BAD_SEED_COUNT},   {20, 1, 16, 0, true, TARR_ERROR_BAD_BIT_COUNT},
      {20, 1, 4, 1, true, TARR_ERROR_NULL_ENTRY},
  };
  for (const Bad& b : bad) {
    BrngProperties p = good;
    p.StateSize = b.state;
    p.SeedCount = b.seeds;
    p.WordSize = b.word;
    p.BitCount = b.bits;
    if (b.null_entry) p.dBRng = nullptr;
    EXPECT_EQ(__tarrRegisterBrng(&p), b.status);
    EXPECT_EQ(__tarrGetNumRegBrngs(), 16);
  }
  EXPECT_EQ(__tarrRegisterBrng(nullptr), TARR_ERROR_NULL_ENTRY);

  const int32_t id = __tarrRegisterBrng(&good);
  ASSERT_EQ(id, 0x1100000);
  EXPECT_EQ(__tarrGetNumRegBrngs(), 17);
  BrngProperties back;
  ASSERT_EQ(__tarrGetBrngProperties(static_cast<uint32_t>(id), &back), 0);
  EXPECT_EQ(std::memcmp(&back, &good, sizeof good), 0);
  EXPECT_EQ(__tarrGetBrngProperties(static_cast<uint32_t>(id) + 1, &back), TARR_ERROR_INVALID_BRNG);

  // The new row serves streams like a built-in one.
  StreamState* s = nullptr;
  const uint32_t seed = 40;
  ASSERT_EQ(__tarrNewStreamEx(&s, static_cast<uint32_t>(id), 1, &seed), 0);
  uint32_t r[3];
  ASSERT_EQ(back.iBRng(s, 3, r), 0);
  EXPECT_EQ(std::vector<uint32_t>(r, r + 3), (std::vector<uint32_t>{40, 41, 42}));
  EXPECT_EQ(__tarrLeapfrogStream(s, 0, 2), TARR_ERROR_NO_LEAPFROG);
  EXPECT_EQ(__tarrLeapfrogStream(s, 0, -1), TARR_ERROR_BAD_STREAM_COUNT);  // refused before the row is asked
  __tarrDeleteStream(&s);

  // Fill the table; once all 512 rows are used registration is refused and nothing is written.
  for (int32_t k = 17; k < TARR_REGISTRY_ROWS; ++k) ASSERT_EQ(__tarrRegisterBrng(&good), (k + 1) << 20);
  EXPECT_EQ(__tarrGetNumRegBrngs(), 512);
  EXPECT_EQ(__tarrRegisterBrng(&good), TARR_ERROR_NO_MEMORY);
  EXPECT_EQ(__tarrGetNumRegBrngs(), 512);
}

}  // namespace
