// Polynomials over GF(2) as bit vectors: coefficient i is bit i % 64 of 64-bit word i / 64 (the
// same bytes as the 32-bit word layout of the exported remainder). Used by the polynomial
// skip-ahead and by the tools that compute characteristic polynomials and search generator
// parameters.
//
// Reduction modulo a fixed P of degree p runs from the top in windows of four (or eight) bits:
// window i (bits p + 4i .. p + 4i + 3, value v) is replaced by v(x) x^(p + 4i) mod P, which is a
// table entry shifted by a whole number of bytes: v(x) x^p mod P for even i and v(x) x^(p+4) mod
// P for odd i, moved up by i / 2 bytes. The entry lies below the window it replaces, so windows
// are consumed in one pass whatever the gap between P's two highest exponents, and each costs
// one XOR of p / 8 bytes at a byte offset.
#pragma once
#include "simd/isa.h"  // _pdep_u64

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "simd/ints.h"

namespace zorp::rng::gf2 {

constexpr int32_t words_for(int64_t bits) { return static_cast<int32_t>((bits + 63) / 64); }

inline bool bit(const uint64_t* a, int64_t i) { return (a[i >> 6] >> (i & 63)) & 1; }
inline void flip(uint64_t* a, int64_t i) { a[i >> 6] ^= uint64_t{1} << (i & 63); }

// Highest set coefficient of a (words words), or -1 for the zero polynomial.
inline int64_t degree(const uint64_t* a, int32_t words) {
  for (int32_t k = words - 1; k >= 0; --k)
    if (a[k]) return int64_t{k} * 64 + 63 - __builtin_clzll(a[k]);
  return -1;
}

// r = a^2 (r holds 2 * words words and is not a): over GF(2) squaring spreads the bits.
inline void square(const uint64_t* a, int32_t words, uint64_t* r) {
  constexpr uint64_t kEven = 0x5555555555555555ull;
  for (int32_t k = 0; k < words; ++k) {
    r[2 * k] = _pdep_u64(a[k], kEven);
    r[2 * k + 1] = _pdep_u64(a[k] >> 32, kEven);
  }
}

// Arithmetic modulo one polynomial P of degree p >= 1, given by its ascending exponent list (the
// last exponent is p). Bits is the reduction window: 4 (two tables of 16 entries, little memory)
// or 8 (one table of 256 entries, half the windows). Storage comes from the caller:
// storage_words(p) words.
template <int Bits>
class Modulus {
  static_assert(Bits == 4 || Bits == 8);
  static constexpr int kTables = 8 / Bits, kEntries = 1 << Bits;

 public:
  // Words of a reduced polynomial: one spare zero word so that a table entry moved by bytes never
  // reads past its end, rounded up to whole 64-byte vectors so that the XOR of an entry needs no
  // tail.
  static constexpr int32_t width(int32_t p) { return (words_for(p) + 1 + 7) / 8 * 8; }
  static constexpr size_t storage_words(int32_t p) {
    return size_t{1 + kTables * kEntries} * static_cast<size_t>(width(p));
  }

  Modulus(int32_t p, const uint32_t* exps, uint32_t t, uint64_t* storage) : p_(p), w_(width(p)), q_(storage), tab_(storage + w_) {
    std::memset(storage, 0, storage_words(p) * 8);
    for (uint32_t i = 0; i < t; ++i)
      if (static_cast<int32_t>(exps[i]) < p) flip(q_, exps[i]);  // x^p = the lower terms
    // Table t, entry v: v(x) x^(p + Bits t) mod P. The one-bit entries are x^(p+b), b = 0..7.
    for (int b = 0; b < 8; ++b) {
      uint64_t* e = entry(b / Bits, 1 << (b % Bits));
      std::memcpy(e, b ? entry((b - 1) / Bits, 1 << ((b - 1) % Bits)) : q_, static_cast<size_t>(w_) * 8);
      if (b) mul_x(e);
    }
    for (int t = 0; t < kTables; ++t)
      for (int v = 3; v < kEntries; ++v) {
        if ((v & (v - 1)) == 0) continue;
        const uint64_t *x = entry(t, v & (v - 1)), *y = entry(t, v & -v);
        uint64_t* e = entry(t, v);
        for (int32_t k = 0; k < w_; ++k) e[k] = x[k] ^ y[k];
      }
  }

  int32_t degree() const { return p_; }
  int32_t width() const { return w_; }

  // a = a x mod P (a reduced, width() words).
  void mul_x(uint64_t* a) const {
    for (int32_t k = w_ - 1; k > 0; --k) a[k] = (a[k] << 1) | (a[k - 1] >> 63);
    a[0] <<= 1;
    if (bit(a, p_)) {
      flip(a, p_);
      for (int32_t k = 0; k < w_; ++k) a[k] ^= q_[k];
    }
  }

  // r (2 * width() words, degree below 2p) becomes r mod P; the words above width() are cleared.
  void reduce(uint64_t* r) const {
    const int64_t top = gf2::degree(r, 2 * w_);
    if (top >= p_) {
      auto* bytes = reinterpret_cast<uint8_t*>(r);
      for (int64_t i = (top - p_) / Bits; i >= 0; --i) {
        const uint32_t v = window(r, p_ + Bits * i);
        if (v) simd::xor_bytes(bytes + i / kTables, reinterpret_cast<const uint8_t*>(entry(static_cast<int>(i % kTables), v)),
                         static_cast<size_t>(w_) * 8);
      }
    }
    clear_from(r, p_, 2 * w_);
  }

 private:
  uint64_t* entry(int t, int v) const { return tab_ + (static_cast<size_t>(t) * kEntries + v) * w_; }
  static uint32_t window(const uint64_t* r, int64_t at) {
    const int64_t word = at >> 6, sh = at & 63;
    uint64_t v = r[word] >> sh;
    if (sh > 64 - Bits) v |= r[word + 1] << (64 - sh);
    return static_cast<uint32_t>(v & (kEntries - 1));
  }
  static void clear_from(uint64_t* r, int64_t from, int32_t words) {
    const int64_t word = from >> 6;
    if (word >= words) return;
    r[word] &= (uint64_t{1} << (from & 63)) - 1;
    for (int64_t k = word + 1; k < words; ++k) r[k] = 0;
  }
  int32_t p_, w_;
  uint64_t *q_, *tab_;
};

}  // namespace zorp::rng::gf2
