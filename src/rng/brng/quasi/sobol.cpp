// Sobol's sequence. Dimension 1 takes the direction numbers 2^31, 2^30, ..., 1; every other
// dimension a primitive polynomial of degree s and initial values m_1 .. m_s (m_k odd, below 2^k),
// extended by m_j = 2^s m_(j-s) ^ m_(j-s) ^ (XOR over k < s of 2^k a_k m_(j-k)), a_k the inner
// coefficients; direction number j (1 .. 32) is m_j << (32 - j).
//
// Built-in streams (dimensions up to 40) keep everything in the state: the current point at block
// offset 32; at 256 one group of 33 words per dimension, the polynomial and then the 32 direction
// numbers; at kRowsAt the direction numbers of bits 0 .. 29 once more as rows across dimensions,
// for the vector Gray steps (the two highest bits, used once in 2^30 points, are read from the
// groups so that the rows stay inside the part of the state a state copy takes).
//
// User data (params[1] = 1, params[2] the form, d = params[0]; n the number of words):
//   1   n >= 4, d <= 40, n >= d + 2: primitive polynomials of dimensions 2 .. d in params[3 ..];
//       initial values from the built-in row of the same dimension, 1 where that row has fewer
//   2   n >= 4, d <= 40, n >= (d - 1) w + 4 with w = params[3]: for dimensions 2 .. d a block of w
//       words from params[4], the polynomial and then its s initial values (s < w)
//   3   n >= d + 3, n >= (M + 1)(d - 1) + 4 with M = params[d + 2]: polynomials of dimensions
//       2 .. d in params[3 ..], then blocks of M initial values (s <= M) from params[d + 3]
//   11  n >= d + 4, n >= (M + 1) d + 4 with M = params[d + 3]: the same for all d dimensions,
//       polynomials from params[3], initial values from params[d + 4]; the polynomial 1 gives
//       a dimension the direction numbers of dimension 1
//   4   n >= 32 d + 3: the 32 direction numbers of each dimension in turn, from params[3]
// Their direction numbers live in chunk 9 (a header word d, then rows across dimensions for all 32
// bits), shared by copies of the stream under a key of its own; the current point in chunk 13,
// each stream's own.
#include "host/host.h"
#include "rng/brng/quasi/quasi_engine.h"

namespace zorp::rng::quasi {
namespace {

constexpr uint32_t kMaxDim = 40;
constexpr size_t kPointAt = 32, kGroupsAt = 256, kRowsAt = kGroupsAt + 33 * 4 * kMaxDim;
constexpr int kRows = 30;
static_assert(kRowsAt + 4 * kRows * kMaxDim <= 16 + 2604 * 4, "a state copy takes the rows");
constexpr uint32_t kTableChunk = 9, kPointChunk = 13;
constexpr size_t kChunkHeader = 16;

// Dimensions 2 .. 40: degree, polynomial, initial values.
struct Row {
  uint8_t s;
  uint16_t poly;
  uint8_t m[8];
};
constexpr Row kTable[kMaxDim - 1] = {
    {1, 3, {1}},
    {2, 7, {1, 1}},
    {3, 11, {1, 3, 7}},
    {3, 13, {1, 1, 5}},
    {4, 19, {1, 3, 1, 1}},
    {4, 25, {1, 1, 3, 7}},
    {5, 37, {1, 3, 3, 9, 9}},
    {5, 59, {1, 3, 7, 13, 3}},
    {5, 47, {1, 1, 5, 11, 27}},
    {5, 61, {1, 3, 5, 1, 15}},
    {5, 55, {1, 1, 7, 3, 29}},
    {5, 41, {1, 3, 7, 7, 21}},
    {6, 67, {1, 1, 1, 9, 23, 37}},
    {6, 97, {1, 3, 3, 5, 19, 33}},
    {6, 91, {1, 1, 3, 13, 11, 7}},
    {6, 109, {1, 1, 7, 13, 25, 5}},
    {6, 103, {1, 3, 5, 11, 7, 11}},
    {6, 115, {1, 1, 1, 3, 13, 39}},
    {7, 131, {1, 3, 1, 15, 17, 63, 13}},
    {7, 193, {1, 1, 5, 5, 1, 27, 33}},
    {7, 137, {1, 3, 3, 3, 25, 17, 115}},
    {7, 145, {1, 1, 3, 15, 29, 15, 41}},
    {7, 143, {1, 3, 1, 7, 3, 23, 79}},
    {7, 241, {1, 3, 7, 9, 31, 29, 17}},
    {7, 157, {1, 1, 5, 13, 11, 3, 29}},
    {7, 185, {1, 3, 1, 9, 5, 21, 119}},
    {7, 167, {1, 1, 3, 1, 23, 13, 75}},
    {7, 229, {1, 3, 3, 11, 27, 31, 73}},
    {7, 171, {1, 1, 7, 7, 19, 25, 105}},
    {7, 213, {1, 3, 5, 5, 21, 9, 7}},
    {7, 191, {1, 1, 1, 15, 5, 49, 59}},
    {7, 253, {1, 1, 1, 1, 1, 33, 65}},
    {7, 203, {1, 3, 5, 15, 17, 19, 21}},
    {7, 211, {1, 1, 7, 11, 13, 29, 3}},
    {7, 239, {1, 3, 7, 5, 7, 11, 113}},
    {7, 247, {1, 1, 5, 3, 15, 19, 61}},
    {8, 285, {1, 3, 1, 1, 9, 27, 89, 7}},
    {8, 369, {1, 1, 3, 7, 31, 15, 45, 23}},
    {8, 299, {1, 3, 3, 9, 9, 25, 107, 39}},
};

// The 32 direction numbers of a polynomial (degree s, 0 for dimension 1) and its initial values.
void directions(uint32_t poly, const uint32_t* m0, uint32_t* v) {
  const int s = degree(poly);
  if (s == 0) {
    for (int j = 0; j < kBits; ++j) v[j] = 0x80000000u >> j;
    return;
  }
  uint64_t m[kBits + 1] = {};
  for (int j = 1; j <= kBits; ++j) {
    if (j <= s) {
      m[j] = m0[j - 1];
    } else {
      uint64_t x = (m[j - s] << s) ^ m[j - s];
      for (int k = 1; k < s; ++k)
        if (poly >> (s - k) & 1) x ^= m[j - k] << k;
      m[j] = x;
    }
    v[j - 1] = static_cast<uint32_t>(m[j] << (kBits - j));
  }
}

// A polynomial of a user form and its initial values: 1 (dimension 1's numbers) where allowed, or
// primitive of degree up to 31 with each m_k odd and below 2^k.
bool valid(uint32_t poly, const uint32_t* m, bool one_allowed) {
  if (poly == 1) return one_allowed;
  if (!primitive(poly)) return false;
  for (int k = 1; k <= degree(poly); ++k)
    if (!(m[k - 1] & 1) || (k < kBits && m[k - 1] >> k)) return false;
  return true;
}

struct Sobol {
  static constexpr uint32_t kMaxDim = quasi::kMaxDim;

  static void drop_chunks(StreamState* s) {
    __tarrDeleteChunksById(s, kTableChunk);
    __tarrDeleteChunksById(s, kPointChunk);
  }

  static const StreamChunk* chunk(const StreamState* s, uint32_t id) {
    for (const StreamChunk* c = s->chunks; c; c = c->next)
      if (c->id == id) return c;
    return nullptr;
  }

  static bool view(StreamState* s, View& v) {
    const uint32_t d = header(s).dim;
    const StreamChunk* table = chunk(s, kTableChunk);
    const StreamChunk* point = chunk(s, kPointChunk);
    if (table && point) {
      if (table->size < kChunkHeader + uint64_t{4} * kBits * d || point->size < kChunkHeader + uint64_t{4} * d ||
          *static_cast<const uint32_t*>(table->data) != d)
        return false;
      v = View{d, reinterpret_cast<uint32_t*>(static_cast<char*>(point->data) + kChunkHeader),
               reinterpret_cast<const uint32_t*>(static_cast<const char*>(table->data) + kChunkHeader), d, kBits, nullptr};
      return true;
    }
    if (d < 1 || d > kMaxDim) return false;
    v = View{d, at_offset(s, kPointAt), at_offset(s, kRowsAt), kMaxDim, kRows, at_offset(s, kGroupsAt)};
    return true;
  }

  static void seed_builtin(StreamState* s, uint32_t d) {
    uint32_t* groups = at_offset(s, kGroupsAt);
    uint32_t* rows = at_offset(s, kRowsAt);
    for (uint32_t i = 0; i < d; ++i) {
      uint32_t m[8] = {}, poly = 1;
      if (i > 0) {
        const Row& r = kTable[i - 1];
        poly = r.poly;
        std::copy_n(r.m, r.s, m);
      }
      uint32_t* g = groups + 33 * i;
      g[0] = poly;
      directions(poly, m, g + 1);
      for (int b = 0; b < kRows; ++b) rows[static_cast<size_t>(b) * kMaxDim + i] = g[1 + b];
    }
  }

  // Which form applies (0 for none), by the size conditions alone.
  static uint32_t form(uint32_t d, int32_t n, const uint32_t* p) {
    const auto N = static_cast<uint64_t>(n);
    switch (p[2]) {
      case 1: return N >= 4 && d <= kMaxDim && N >= uint64_t{d} + 2 ? 1 : 0;
      case 2: return N >= 4 && d <= kMaxDim && N >= uint64_t{d - 1} * p[3] + 4 ? 2 : 0;
      case 3: return N >= uint64_t{d} + 3 && N >= (uint64_t{p[d + 2]} + 1) * (d - 1) + 4 ? 3 : 0;
      case 11: return N >= uint64_t{d} + 4 && N >= (uint64_t{p[d + 3]} + 1) * d + 4 ? 11 : 0;
      case 4: return N >= uint64_t{kBits} * d + 3 ? 4 : 0;
      default: return 0;
    }
  }

  // Direction numbers of dimension i (0-based) of a form; false for invalid data.
  static bool user_directions(uint32_t f, uint32_t d, uint32_t i, const uint32_t* p, uint32_t* v) {
    if (f == 4) {
      std::copy_n(p + 3 + static_cast<size_t>(kBits) * i, kBits, v);
      return true;
    }
    const bool all = f == 11;
    if (i == 0 && !all) {
      directions(1, nullptr, v);
      return true;
    }
    uint32_t poly = 0, m[kBits] = {};
    const uint32_t* given = nullptr;
    size_t room = 0;
    switch (f) {
      case 1: {
        poly = p[2 + i];
        const uint8_t* table = i < kMaxDim ? kTable[i - 1].m : nullptr;
        for (int k = 0; k < kBits; ++k) m[k] = table && k < kTable[i - 1].s ? table[k] : 1;
        given = m;
        room = kBits;
        break;
      }
      case 2: {
        const uint32_t w = p[3];
        if (w == 0) return false;
        poly = p[4 + static_cast<size_t>(i - 1) * w];
        given = p + 5 + static_cast<size_t>(i - 1) * w;
        room = w - 1;
        break;
      }
      case 3:
        poly = p[2 + i];
        given = p + d + 3 + static_cast<size_t>(i - 1) * p[d + 2];
        room = p[d + 2];
        break;
      default:  // 11
        poly = p[3 + i];
        given = p + d + 4 + static_cast<size_t>(i) * p[d + 3];
        room = p[d + 3];
        break;
    }
    if (poly != 1 && static_cast<size_t>(degree(poly)) > room) return false;
    if (!valid(poly, given, all)) return false;
    directions(poly, given, v);
    return true;
  }

  static int32_t seed_user(StreamState* s, uint32_t d, int32_t n, const uint32_t* p) {
    const uint32_t f = form(d, n, p);
    if (!f) return -1;
    const uint64_t table_bytes = kChunkHeader + uint64_t{4} * kBits * d, point_bytes = kChunkHeader + uint64_t{4} * d;
    if (table_bytes > 0xFFFFFFFFu) return TARR_ERROR_NO_MEMORY;
    auto* table = static_cast<uint32_t*>(zorp::host::allocate(table_bytes));
    auto* point = static_cast<uint32_t*>(table ? zorp::host::allocate(point_bytes) : nullptr);
    if (!point) {
      zorp::host::deallocate(table);
      return TARR_ERROR_NO_MEMORY;
    }
    std::memset(table, 0, kChunkHeader);
    std::memset(point, 0, kChunkHeader);
    table[0] = point[0] = d;
    uint32_t* rows = table + kChunkHeader / 4;
    for (uint32_t i = 0; i < d; ++i) {
      uint32_t v[kBits];
      if (!user_directions(f, d, i, p, v)) {
        zorp::host::deallocate(table);
        zorp::host::deallocate(point);
        return TARR_ERROR_BAD_ARGUMENTS;
      }
      for (int b = 0; b < kBits; ++b) rows[static_cast<size_t>(b) * d + i] = v[b];
    }
    // The table is read-only from here on; copies of the stream share it under a fresh key.
    uint64_t key[2];
    __tarrGenerateNewGlobalRODataTableEntryId(key, reinterpret_cast<uint64_t>(table));
    int32_t status = __tarrAddChunk(s, kTableChunk, key, table, static_cast<uint32_t>(table_bytes));
    if (status != TARR_STATUS_OK) {
      zorp::host::deallocate(table);
      zorp::host::deallocate(point);
      return status;
    }
    status = __tarrAddChunk(s, kPointChunk, nullptr, point, static_cast<uint32_t>(point_bytes));
    if (status != TARR_STATUS_OK) {
      zorp::host::deallocate(point);
      drop_chunks(s);
    }
    return status;
  }
};

}  // namespace
}  // namespace zorp::rng::quasi

ZORP_BRNG_ENTRIES(Sobol, zorp::rng::quasi::Record<zorp::rng::quasi::Sobol>)
