// The generators the tests run, derived from the generator table, and the helpers every rng test
// shares: streams for a scope, their state bytes and outputs, saved images and failing allocations.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "rng/brng/generators.h"
#include "zorp/core.h"
#include "zorp/rng.h"

namespace ref {

using zorp::rng::brng::Facts;
using zorp::rng::brng::Row;

inline const uint8_t* state_bytes(const StreamState* s) { return reinterpret_cast<const uint8_t*>(s) + 16; }

// A stream for the length of a scope, with the status its creation returned.
struct Stream {
  StreamState* s = nullptr;
  int32_t status;
  Stream(uint32_t brng, const std::vector<uint32_t>& seed)
      : status(__tarrNewStreamEx(&s, brng, static_cast<int32_t>(seed.size()), seed.data())) {}
  ~Stream() { __tarrDeleteStream(&s); }
  Stream(const Stream&) = delete;
  uint32_t word(int k) const {  // 32-bit word k of the state
    uint32_t w;
    std::memcpy(&w, state_bytes(s) + 4 * k, 4);
    return w;
  }
};

// No block is left allocated at the end of the scope that holds one.
struct NoLeaks {
  const int64_t live = zorp_core_live_allocations();
  ~NoLeaks() { EXPECT_EQ(zorp_core_live_allocations(), live); }
};

// What f returns with the host's allocation k failing.
template <class F>
int32_t failing_allocation(int64_t k, F f) {
  zorp_core_fail_allocation(k);
  const int32_t status = f();
  zorp_core_fail_allocation(0);
  return status;
}

// f() with the host's allocation k failing for k = 1, 2, ... until a call succeeds: each failure
// must report the exhausted memory, and after(k) runs after it. Returns the number of failures.
template <class F, class After>
int each_failing_allocation(F f, After after) {
  for (int64_t k = 1;; ++k) {
    const int32_t status = failing_allocation(k, f);
    if (status == TARR_STATUS_OK) return static_cast<int>(k - 1);
    if (status != TARR_ERROR_NO_MEMORY) {
      ADD_FAILURE() << "allocation " << k << " failing gave " << status;
      return -1;
    }
    after(k);
  }
}

// The entry points of a generator, by identifier in either numbering.
inline const BrngProperties& entries(uint32_t brng) {
  uint32_t index = 0;
  return __tarrGetBrngBaseOffset(brng, &index, nullptr)[index];
}

// The bytes of a stream's state after its header, to see that a call left them alone.
inline std::vector<uint8_t> state_copy(const StreamState* s) {
  return std::vector<uint8_t>(state_bytes(s), state_bytes(s) + entries(s->brng).StateSize - 16);
}

// n integer outputs of a stream as 32-bit words (a generator's word size in each), drawn through its
// row; the call must return `expect`.
inline std::vector<uint32_t> draw(StreamState* s, int32_t n, int32_t expect = TARR_STATUS_OK) {
  const BrngProperties& row = entries(s->brng);
  std::vector<uint32_t> r(static_cast<size_t>(std::max(n, 0)) * row.WordSize / 4);
  EXPECT_EQ(row.iBRng(s, n, r.data()), expect);
  return r;
}

// The memory image of a stream, with guard bytes after it that a save must not touch.
inline std::vector<uint8_t> image_of(const StreamState* s) {
  const int32_t size = __tarrGetStreamSize(s);
  std::vector<uint8_t> b(static_cast<size_t>(size) + 16, 0xA5);
  EXPECT_EQ(__tarrSaveStreamM(s, b.data()), 0);
  for (size_t i = static_cast<size_t>(size); i < b.size(); ++i) EXPECT_EQ(b[i], 0xA5) << "wrote past the image";
  b.resize(static_cast<size_t>(size));
  return b;
}

// The table row of an identifier in either numbering.
inline Row row_of(uint32_t brng) {
  uint32_t index = 0;
  const BrngProperties* t = __tarrGetBrngBaseOffset(brng, &index, nullptr);
  if (t != __tarrGetBrngBaseOffset(0, nullptr, nullptr)) return static_cast<Row>(index);
  int32_t row = 0;
  while (zorp::rng::brng::legacy_first(row + 1) <= static_cast<int32_t>(index)) ++row;
  return static_cast<Row>(row);
}

// 32-bit words per integer output.
inline int words_per_output(const Facts& f) { return f.word_size / 4; }

struct GenCase {
  std::string name;
  uint32_t brng;
  const Facts* facts;
};

// Every built generator of the table that repeats its sequence from a seed (not the hardware one
// nor the abstract streams, which take no seed, each tested on their own): its first member, its last member for a family, and its last legacy identifier where
// it has legacy numbers.
inline std::vector<GenCase> generator_cases() {
  using zorp::rng::brng::kGenerators;
  std::vector<GenCase> out;
  for (const Facts& f : kGenerators) {
    if (!f.built || f.row == static_cast<int32_t>(Row::TRNG) || f.seed_count == 0) continue;
    std::string base;
    for (const char* c = f.label; *c; ++c) base += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    const uint32_t id = static_cast<uint32_t>(f.row + 1) << 20;
    out.push_back({base, id, &f});
    if (f.members > 1) out.push_back({base + "_last", id + static_cast<uint32_t>(f.members) - 1, &f});
    if (f.legacy > 0)
      out.push_back({base + "_legacy", static_cast<uint32_t>(zorp::rng::brng::legacy_first(f.row) + f.legacy - 1), &f});
  }
  return out;
}

}  // namespace ref
