// Every row of known_answers.txt: seed a stream, drop the first outputs, compare the next ones
// with values obtained outside this library (published outputs, or big-integer arithmetic).
#include <fstream>
#include <sstream>

#include "model.h"

namespace {

struct Kat {
  int line;
  std::string generator;
  uint32_t brng;
  std::vector<uint32_t> seed;
  int64_t skip;
  std::vector<uint64_t> words;
  std::string source;
};

uint64_t number(const std::string& s) { return std::stoull(s, nullptr, 0); }

std::vector<Kat> load() {
  std::ifstream in(std::string(ZORP_SOURCE_DIR) + "/tests/rng/known_answers.txt");
  std::vector<Kat> rows;
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    const size_t hash = line.find('#');
    Kat k{n, {}, 0, {}, 0, {}, hash == std::string::npos ? "" : line.substr(hash + 1)};
    std::istringstream f(line.substr(0, hash));
    std::string id, seed, skip, w;
    if (!(f >> k.generator >> id >> seed >> skip)) continue;
    k.brng = static_cast<uint32_t>(number(id));
    k.skip = static_cast<int64_t>(number(skip));
    if (seed != "-") {
      std::istringstream s(seed);
      for (std::string part; std::getline(s, part, ',');) {
        const size_t dots = part.find("..");
        const uint64_t first = number(part.substr(0, dots));
        const uint64_t last = dots == std::string::npos ? first : number(part.substr(dots + 2));
        for (uint64_t v = first; v <= last; ++v) k.seed.push_back(static_cast<uint32_t>(v));
      }
    }
    while (f >> w) k.words.push_back(number(w));
    rows.push_back(k);
  }
  return rows;
}

void PrintTo(const Kat& k, std::ostream* os) { *os << k.generator << " row at line " << k.line; }

class KnownAnswers : public testing::TestWithParam<Kat> {};

TEST_P(KnownAnswers, OutputsMatch) {
  const Kat& k = GetParam();
  ASSERT_FALSE(k.words.empty()) << "line " << k.line << " has no values";
  const BrngProperties& row = ref::entries(k.brng);
  ASSERT_NE(row.iBRng, nullptr) << k.generator << " is not built";
  // u64 words for 8-byte outputs, u32 words otherwise.
  const bool wide = row.WordSize == 8;
  const int32_t per_output = wide ? 1 : row.WordSize / 4;
  ASSERT_EQ(k.words.size() % per_output, 0u) << "line " << k.line;
  ref::Stream st(k.brng, k.seed);
  if (k.skip > 0) ref::draw(st.s, static_cast<int32_t>(k.skip));
  const std::vector<uint32_t> got = ref::draw(st.s, static_cast<int32_t>(k.words.size()) / per_output);
  for (size_t i = 0; i < k.words.size(); ++i) {
    const uint64_t v = wide ? got[2 * i] | (uint64_t{got[2 * i + 1]} << 32) : got[i];
    EXPECT_EQ(v, k.words[i]) << k.generator << " (line " << k.line << ", word " << i << "):" << k.source;
  }
}

INSTANTIATE_TEST_SUITE_P(File, KnownAnswers, testing::ValuesIn(load()), [](const testing::TestParamInfo<Kat>& i) {
  std::string name = i.param.generator + "_line" + std::to_string(i.param.line);
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
});

// A file that cannot be read would leave the suite above with nothing to run.
TEST(KnownAnswers, FileIsRead) { EXPECT_GE(load().size(), 25u); }

}  // namespace
