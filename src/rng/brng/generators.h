// The generator table (zorp/rng_generators.def) as constants: one record per registry row, and
// the row numbers by entry name. The registry, the shared adaptor and the tests read it.
#pragma once
#include <cstdint>
#include <iterator>

namespace zorp::rng::brng {

// InitStream methods a generator supports besides seeding.
enum Method : uint32_t { kLeapfrog = 1, kSkip = 2, kSkipEx = 4 };

struct Facts {
  int32_t row;
  const char* name;   // entry-name suffix
  const char* label;  // the generator's usual name
  int32_t state_size, seed_count, includes_zero, word_size, bit_count;
  int32_t members;  // family size, 1 for a single generator
  int32_t legacy;   // legacy identifiers naming this row
  uint32_t methods;
  bool built;
};

inline constexpr Facts kGenerators[] = {
#define ZORP_BRNG(row, NAME, label, state, seeds, zero, word, bits, members, legacy, methods, built) \
  {row, #NAME, label, state, seeds, zero, word, bits, members, legacy, methods, built != 0},
#include "zorp/rng_generators.def"
#undef ZORP_BRNG
};
inline constexpr int32_t kBuiltInRows = static_cast<int32_t>(std::size(kGenerators));

enum class Row : int32_t {
#define ZORP_BRNG(row, NAME, ...) NAME = row,
#include "zorp/rng_generators.def"
#undef ZORP_BRNG
};

constexpr const Facts& facts(Row r) { return kGenerators[static_cast<int32_t>(r)]; }

// First legacy identifier of a row (meaningful when the row has any): legacy identifiers are
// numbered in row order.
constexpr int32_t legacy_first(int32_t row) {
  int32_t first = 0;
  for (int32_t r = 0; r < row; ++r) first += kGenerators[r].legacy;
  return first;
}

constexpr bool rows_in_order() {
  for (int32_t r = 0; r < kBuiltInRows; ++r)
    if (kGenerators[r].row != r) return false;
  return true;
}
static_assert(rows_in_order(), "the generator table lists rows 0, 1, 2, ... in order");
// Legacy rows 0..278 are filled; 279 and 280 pass validation but hold nothing.
static_assert(legacy_first(kBuiltInRows) == 279, "the legacy table fills rows 0 to 278");

}  // namespace zorp::rng::brng
