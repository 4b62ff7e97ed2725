// Niederreiter's sequence in base 2, with the generator matrices of Bratley, Fox and
// Niederreiter's base-2 program (ACM TOMS 738, 1992: CALCC2 and CALCV), so that the points are
// the ones that program, and the libraries that follow it, give. Dimension i takes the i-th
// irreducible polynomial p of degree e in the program's order (irreducible_polys.cpp). Rows
// j = 1, 2, ... of its matrix come in blocks of e, block k belonging to b = p^k (degree m = k e):
// row j = (k - 1) e + u + 1 has entry v_(r + u) in column r, where v is the linear recurring
// sequence of b, v_(t + m) = sum over i < m of b_i v_(t + i), started 0 below M = (k - 1) e, 1 at
// M and 1 above it up to m - 1. Section 3.3 of the paper leaves those last values free; the
// program fixes them at 1 (its ARBIT), and matching its output means doing the same.
//
// Direction number r (used for Gray bit r) holds column r with row j in bit 32 - j: the program
// packs its 31 rows the same way into 31 bits, which are the top 31 of ours (the real outputs use
// exactly those), and our bit 0 carries row 32 of the same construction.
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

// The 32 direction numbers of an irreducible polynomial of degree 1 .. 31, into v[r * stride]. The
// sequence v of the current power sits in the bits of one word: the last power has degree
// m = e ceil(32 / e) < 32 + e, at most 62, and column 31 of a block's last row reads v_(30 + e).
void directions(uint32_t poly, uint32_t* v, size_t stride) {
  const int e = degree(poly);
  for (int r = 0; r < kBits; ++r) v[static_cast<size_t>(r) * stride] = 0;
  uint64_t power = 1, seq = 0;
  for (int j = 0; j < kBits; ++j) {
    const int u = j % e;
    if (u == 0) {
      const int lead = degree(power);  // M, the degree of the previous power
      power = clmul(power, poly);
      const int m = degree(power);
      const uint64_t below = (uint64_t{1} << m) - 1, taps = power & below;
      seq = below & ~((uint64_t{1} << lead) - 1);
      for (int t = m; t < 64; ++t) seq |= static_cast<uint64_t>(std::popcount(seq >> (t - m) & taps) & 1) << t;
    }
    for (int r = 0; r < kBits; ++r) v[static_cast<size_t>(r) * stride] |= static_cast<uint32_t>(seq >> (r + u) & 1) << (31 - j);
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
