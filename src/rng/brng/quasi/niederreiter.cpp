// Niederreiter's sequence in base 2. Dimension i takes an irreducible polynomial p of degree e; row
// j = q e + u (0 <= u < e) of its generator matrix holds the Laurent coefficients a_1, a_2, ... of
// x^(e - u - 1) / p(x)^(q + 1), and direction number r (used for Gray bit r) has bit 31 - j equal to
// a_(r + 1). The coefficients come from long division: a_t is the coefficient of x^(m - t) of the
// numerator plus the sum over i = 1 .. min(t - 1, m) of b_(m - i) a_(t - i), b = p^(q + 1) of
// degree m.
//
// Built-in streams (dimensions up to 318, the polynomials of irreducible_polys.cpp in order) keep
// the current point at block offset 32 and the direction numbers as rows across all 318 dimensions
// right after it, which ends where a state copy ends.
//
// User data (params[1] = 1, params[2] the form, d = params[0]; n the number of words):
//   1   n >= 3, n >= d + 3: the irreducible polynomials of dimensions 1 .. d in params[3 ..]
//   4   n >= 3, n >= 32 d + 3: the 32 direction numbers of each dimension in turn, from params[3]
// They live in chunk 10, each stream's own: a header word d, the current point, then the rows.
#include "host/host.h"
#include "rng/brng/quasi/irreducible_polys.h"
#include "rng/brng/quasi/quasi_engine.h"

namespace zorp::rng::quasi {
namespace {

constexpr uint32_t kMaxDim = kIrreducibleCount;
constexpr size_t kPointAt = 32, kRowsAt = kPointAt + 4 * kMaxDim;
static_assert(kRowsAt + 4 * kBits * kMaxDim == 16 + 10498 * 4, "a state copy takes the rows");
constexpr uint32_t kChunk = 10;
constexpr size_t kChunkHeader = 16;

uint64_t clmul(uint64_t a, uint64_t b) {
  uint64_t r = 0;
  for (; b; b >>= 1, a <<= 1)
    if (b & 1) r ^= a;
  return r;
}

// The 32 direction numbers of an irreducible polynomial of degree 1 .. 31, into v[b * stride].
void directions(uint32_t poly, uint32_t* v, size_t stride) {
  const int e = degree(poly);
  for (int b = 0; b < kBits; ++b) v[b * stride] = 0;
  uint64_t power = 1;
  for (int j = 0; j < kBits; ++j) {
    const int u = j % e;
    if (u == 0) power = clmul(power, poly);  // p^(q + 1), degree at most 62
    const int m = degree(power);
    // back holds a_(t-1), a_(t-2), ... in bits 0, 1, ...; taps bit i - 1 = b_(m - i).
    uint64_t taps = 0, back = 0;
    for (int i = 1; i <= m; ++i) taps |= (power >> (m - i) & 1) << (i - 1);
    const int lead = m - (e - u - 1);  // the numerator's single term x^(e-u-1) sits at t = lead
    for (int t = 1; t <= kBits; ++t) {
      const uint64_t a = (t == lead ? 1u : 0u) ^ (std::popcount(back & taps) & 1u);
      if (a) v[(t - 1) * stride] |= 0x80000000u >> j;
      back = back << 1 | a;
    }
  }
}

struct Niederreiter {
  static constexpr uint32_t kMaxDim = quasi::kMaxDim;

  static void drop_chunks(StreamState* s) { __tarrDeleteChunksById(s, kChunk); }

  static bool view(StreamState* s, View& v) {
    const uint32_t d = header(s).dim;
    for (const StreamChunk* c = s->chunks; c; c = c->next) {
      if (c->id != kChunk) continue;
      auto* w = static_cast<uint32_t*>(c->data);
      if (c->size < kChunkHeader + uint64_t{4} * (kBits + 1) * d || w[0] != d) return false;
      uint32_t* x = w + kChunkHeader / 4;
      v = View{d, x, x + d, d, kBits, nullptr};
      return true;
    }
    if (d < 1 || d > kMaxDim) return false;
    v = View{d, at_offset(s, kPointAt), at_offset(s, kRowsAt), kMaxDim, kBits, nullptr};
    return true;
  }

  static void seed_builtin(StreamState* s, uint32_t d) {
    uint32_t* rows = at_offset(s, kRowsAt);
    for (uint32_t i = 0; i < d; ++i) directions(kIrreducible[i], rows + i, kMaxDim);
  }

  static int32_t seed_user(StreamState* s, uint32_t d, int32_t n, const uint32_t* p) {
    const auto N = static_cast<uint64_t>(n);
    const uint32_t f = p[2];
    if (!((f == 1 && N >= uint64_t{d} + 3) || (f == 4 && N >= uint64_t{kBits} * d + 3))) return -1;
    const uint64_t bytes = kChunkHeader + uint64_t{4} * (kBits + 1) * d;
    if (bytes > 0xFFFFFFFFu) return TARR_ERROR_NO_MEMORY;
    if (f == 1)
      for (uint32_t i = 0; i < d; ++i)
        if (degree(p[3 + i]) > 31 || !irreducible(p[3 + i])) return TARR_ERROR_BAD_ARGUMENTS;
    auto* w = static_cast<uint32_t*>(zorp::host::allocate(bytes));
    if (!w) return TARR_ERROR_NO_MEMORY;
    std::memset(w, 0, bytes);
    w[0] = d;
    uint32_t* rows = w + kChunkHeader / 4 + d;
    for (uint32_t i = 0; i < d; ++i) {
      if (f == 1) {
        directions(p[3 + i], rows + i, d);
      } else {
        for (int b = 0; b < kBits; ++b) rows[static_cast<size_t>(b) * d + i] = p[3 + static_cast<size_t>(kBits) * i + b];
      }
    }
    const int32_t status = __tarrAddChunk(s, kChunk, nullptr, w, static_cast<uint32_t>(bytes));
    if (status != TARR_STATUS_OK) zorp::host::deallocate(w);
    return status;
  }
};

}  // namespace
}  // namespace zorp::rng::quasi

ZORP_BRNG_ENTRIES(Niederr, zorp::rng::quasi::Record<zorp::rng::quasi::Niederreiter>)
