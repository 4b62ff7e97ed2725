// The generator registry: the current table (rows filled at build time, more added by
// registration), the legacy table, the row count and the member counts.
//
// The built-in rows come from the generator table (zorp/rng_generators.def). Rows of generators
// that are not part of this build stay zero: their identifiers still map and validate (the
// numbering is fixed), but no stream can be made on them and their properties are not handed
// out, so no call ever goes through a null entry. Adding a generator is its folder under brng/
// plus marking its row built.
#include "rng/registry/registry.h"

#include "rng/brng/generators.h"
#include "zorp/export.h"

namespace {

using zorp::rng::brng::kBuiltInRows;

// One row per line of the generator table: a built generator's facts and entries, or an empty row.
#define ZORP_ROW_IF_BUILT_0(NAME, state, seeds, zero, word, bits) BrngProperties{}
#define ZORP_ROW_IF_BUILT_1(NAME, state, seeds, zero, word, bits)                                \
  BrngProperties {                                                                             \
    state, seeds, zero, word, bits, 0, __tarrBRng##NAME##InitStream, __tarrsBRng##NAME,        \
        __tarrdBRng##NAME, __tarriBRng##NAME                                                   \
  }
#define ZORP_BRNG(row, NAME, label, state, seeds, zero, word, bits, members, legacy, methods, built) \
  constexpr BrngProperties kRow##NAME = ZORP_ROW_IF_BUILT_##built(NAME, state, seeds, zero, word, bits);
#include "zorp/rng_generators.def"
#undef ZORP_BRNG

// A row repeated once per legacy identifier that names it (0, 1 or the 273 WH members).
#define R2(...) __VA_ARGS__, __VA_ARGS__
#define R4(...) R2(R2(__VA_ARGS__))
#define R16(...) R4(R4(__VA_ARGS__))
#define R256(...) R16(R16(__VA_ARGS__))
#define ZORP_LEGACY_0(row)
#define ZORP_LEGACY_1(row) row,
#define ZORP_LEGACY_273(row) R256(row), R16(row), row,

constexpr int32_t kLegacyValidRows = 281;  // legacy indices below this pass validation

int32_t g_count = kBuiltInRows;  // rows in use in __RegBrngsNew
// Members per row: 1 for single generators, the family size for families; 1 for each registered
// generator.
int32_t g_members[TARR_REGISTRY_ROWS] = {
#define ZORP_BRNG(row, NAME, label, state, seeds, zero, word, bits, members, legacy, methods, built) members,
#include "zorp/rng_generators.def"
#undef ZORP_BRNG
};

int32_t load_count() { return __atomic_load_n(&g_count, __ATOMIC_ACQUIRE); }

}  // namespace

extern "C" {

// Current numbering: row r is identifier (r + 1) << 20.
ZORP_API BrngProperties __RegBrngsNew[TARR_REGISTRY_ROWS] = {
#define ZORP_BRNG(row, NAME, ...) kRow##NAME,
#include "zorp/rng_generators.def"
#undef ZORP_BRNG
};

// Legacy numbering: 0..3 the single generators, 4..276 one WH row per legacy WH identifier,
// 277 Sobol and 278 Niederreiter.
extern ZORP_API const BrngProperties __RegBrngs[TARR_REGISTRY_ROWS] = {
#define ZORP_BRNG(row, NAME, label, state, seeds, zero, word, bits, members, legacy, methods, built) \
  ZORP_LEGACY_##legacy(kRow##NAME)
#include "zorp/rng_generators.def"
#undef ZORP_BRNG
};

ZORP_API const BrngProperties* __tarrGetBrngBaseOffset(uint32_t brng, uint32_t* index,
                                                       uint32_t* member) {
  const zorp::rng::RowRef r = zorp::rng::map_brng(brng);
  if (index) *index = static_cast<uint32_t>(r.index);
  if (member) *member = static_cast<uint32_t>(r.member);
  return r.table;
}

ZORP_API int32_t __tarrIsBrngValid(const BrngProperties* table, int32_t index, int32_t member) {
  if (index < 0) return TARR_ERROR_INVALID_BRNG;
  if (table == __RegBrngs) return index < kLegacyValidRows ? TARR_STATUS_OK : TARR_ERROR_INVALID_BRNG;
  if (table == __RegBrngsNew) {
    if (index >= load_count() || member < 0 || member >= g_members[index]) return TARR_ERROR_INVALID_BRNG;
    return TARR_STATUS_OK;
  }
  return TARR_ERROR_INVALID_BRNG;
}

// A valid identifier whose row holds no generator (a row of this build that is not built,
// legacy rows 279 and 280) is refused like an invalid one: its entries would be null.
ZORP_API int32_t __tarrGetBrngProperties(uint32_t brng, BrngProperties* out) {
  const zorp::rng::RowRef r = zorp::rng::map_brng(brng);
  const int32_t status = zorp::rng::validate(r);
  if (status != TARR_STATUS_OK) return status;
  if (!r.table[r.index].InitStream) return TARR_ERROR_INVALID_BRNG;
  if (!out) return TARR_ERROR_NULL_ENTRY;
  *out = r.table[r.index];
  return TARR_STATUS_OK;
}

ZORP_API int32_t __tarrGetNumRegBrngs(void) { return load_count(); }

// Registration writes the row, then its member count, and only then publishes the new count, so
// that a reader who sees the count also sees the row. Once all rows are used there is no room for
// another generator, which is reported like any other exhausted resource (-4); nothing is written.
ZORP_API int32_t __tarrRegisterBrng(const BrngProperties* p) {
  if (!p) return TARR_ERROR_NULL_ENTRY;
  if (p->StateSize < 0) return TARR_ERROR_BAD_STATE_SIZE;
  if (p->WordSize != 4 && p->WordSize != 8 && p->WordSize != 16) return TARR_ERROR_BAD_WORD_SIZE;
  if (p->SeedCount < 1) return TARR_ERROR_BAD_SEED_COUNT;
  if (p->BitCount < 1) return TARR_ERROR_BAD_BIT_COUNT;
  if (!p->InitStream || !p->sBRng || !p->dBRng || !p->iBRng) return TARR_ERROR_NULL_ENTRY;
  const int32_t k = load_count();
  if (k >= TARR_REGISTRY_ROWS) return TARR_ERROR_NO_MEMORY;
  __RegBrngsNew[k] = *p;
  g_members[k] = 1;
  __atomic_store_n(&g_count, k + 1, __ATOMIC_RELEASE);
  return static_cast<int32_t>(static_cast<uint32_t>(k + 1) << 20);
}

// A missing stream answers with the null-entry status, as every other stream query does.
ZORP_API uint32_t __tarrGetStreamStateBrng(const StreamState* s) {
  return s ? s->brng : static_cast<uint32_t>(TARR_ERROR_NULL_ENTRY);
}

}  // extern "C"

namespace zorp::rng {

RowRef map_brng(uint32_t brng) {
  if (static_cast<int32_t>(brng) >= static_cast<int32_t>(TARR_BRNG_INC))
    return {__RegBrngsNew, static_cast<int32_t>(brng >> 20) - 1, static_cast<int32_t>(brng & 0xFFFFF)};
  if (brng >= 4 && brng <= 276) return {__RegBrngs, 4, static_cast<int32_t>(brng - 4)};
  return {__RegBrngs, static_cast<int32_t>(brng), 0};
}

int32_t validate(const RowRef& r) { return __tarrIsBrngValid(r.table, r.index, r.member); }

const BrngProperties* stream_row(const StreamState* s) {
  const RowRef r = map_brng(s->brng);
  if (r.index < 0 || r.index >= TARR_REGISTRY_ROWS) return nullptr;
  const BrngProperties* row = &r.table[r.index];
  return row->InitStream ? row : nullptr;
}

}  // namespace zorp::rng
