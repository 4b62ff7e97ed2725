// GF(2) polynomial work for the generator tools: Berlekamp-Massey, gcd and inverse, the
// irreducibility test, and the equidistribution of a linear generator's output bits by lattice
// reduction over GF(2)[z]. Polynomials are bit vectors as in src/rng/skip/gf2poly.h.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "rng/skip/gf2poly.h"

namespace zorp::tools::gf2 {

using namespace zorp::rng::gf2;
using Poly = std::vector<uint64_t>;

inline int64_t deg(const Poly& a) { return degree(a.data(), static_cast<int32_t>(a.size())); }

inline std::vector<uint32_t> exponents(const Poly& a) {
  std::vector<uint32_t> e;
  for (int64_t i = 0; i <= deg(a); ++i)
    if (bit(a.data(), i)) e.push_back(static_cast<uint32_t>(i));
  return e;
}

// a ^= b << sh (a large enough).
inline void xor_shifted(Poly& a, const Poly& b, int64_t sh) {
  const int64_t q = sh >> 6, r = sh & 63;
  const int64_t top = deg(b);
  if (top < 0) return;
  const int64_t words = (top >> 6) + 1;
  for (int64_t k = 0; k < words; ++k) {
    a[k + q] ^= b[k] << r;
    if (r && k + q + 1 < static_cast<int64_t>(a.size())) a[k + q + 1] ^= b[k] >> (64 - r);
  }
}

// The characteristic polynomial of the shortest linear recurrence that generates bits[0 .. n)
// (Berlekamp-Massey over GF(2)), as x^L + c1 x^(L-1) + ... + cL.
inline Poly berlekamp_massey(const std::vector<uint8_t>& bits) {
  const int64_t n = static_cast<int64_t>(bits.size());
  const int32_t words = words_for(n + 64);
  // Sequence stored backwards, so that s[j - i] for i = 0..L is one window of bits.
  Poly rev(static_cast<size_t>(words) + 1, 0);
  for (int64_t j = 0; j < n; ++j)
    if (bits[j]) flip(rev.data(), n - 1 - j);
  Poly c(static_cast<size_t>(words) + 1, 0), b = c, t;
  c[0] = b[0] = 1;
  int64_t L = 0, m = 1;
  for (int64_t j = 0; j < n; ++j) {
    // discrepancy: sum over i of c_i s[j - i] = parity(c & (rev >> (n - 1 - j)))
    const int64_t off = n - 1 - j, q = off >> 6, r = off & 63;
    uint64_t acc = 0;
    for (int64_t k = 0; k <= (L >> 6); ++k) {
      uint64_t w = rev[k + q] >> r;
      if (r && k + q + 1 < static_cast<int64_t>(rev.size())) w |= rev[k + q + 1] << (64 - r);
      if (k == (L >> 6)) w &= (L & 63) == 63 ? ~uint64_t{0} : (uint64_t{2} << (L & 63)) - 1;
      acc ^= c[k] & w;
    }
    if (!(__builtin_popcountll(acc) & 1)) {
      ++m;
    } else if (2 * L <= j) {
      t = c;
      xor_shifted(c, b, m);
      L = j + 1 - L;
      b = t;
      m = 1;
    } else {
      xor_shifted(c, b, m);
      ++m;
    }
  }
  Poly p(static_cast<size_t>(words_for(L + 1)), 0);
  for (int64_t i = 0; i <= L; ++i)
    if (bit(c.data(), i)) flip(p.data(), L - i);
  return p;
}

// r = a * b mod P for reduced a and b (r holds 2 * width words, is neither a nor b): a table of
// b times every byte value, then Horner over the bytes of a, each step r = r x^8 + byte * b.
template <class Mod>
class Multiplier {
 public:
  explicit Multiplier(const Mod& mod) : mod_(mod), w_(mod.width()), table_(256 * static_cast<size_t>(w_)) {}

  void operator()(const uint64_t* a, const uint64_t* b, uint64_t* r) {
    // table[v] = v(x) b(x), of degree below p + 8 (so within w words: the width keeps a spare word)
    std::memset(table_.data(), 0, 2 * static_cast<size_t>(w_) * 8);
    std::memcpy(entry(1), b, static_cast<size_t>(w_) * 8);
    for (int v = 2; v < 256; ++v) {
      uint64_t* e = entry(v);
      if (v & 1) {
        const uint64_t *x = entry(v - 1), *y = entry(1);
        for (int32_t k = 0; k < w_; ++k) e[k] = x[k] ^ y[k];
      } else {
        const uint64_t* h = entry(v >> 1);
        for (int32_t k = w_ - 1; k > 0; --k) e[k] = (h[k] << 1) | (h[k - 1] >> 63);
        e[0] = h[0] << 1;
      }
    }
    std::memset(r, 0, 2 * static_cast<size_t>(w_) * 8);
    for (int64_t byte = static_cast<int64_t>(w_) * 8 - 1; byte >= 0; --byte) {
      std::memmove(reinterpret_cast<uint8_t*>(r) + 1, r, static_cast<size_t>(w_) * 8);
      reinterpret_cast<uint8_t*>(r)[0] = 0;
      const uint8_t v = reinterpret_cast<const uint8_t*>(a)[byte];
      if (v) simd::xor_bytes(r, entry(v), static_cast<size_t>(w_) * 8);
      mod_.reduce(r);
    }
  }

 private:
  uint64_t* entry(int v) { return table_.data() + static_cast<size_t>(v) * static_cast<size_t>(w_); }
  const Mod& mod_;
  int32_t w_;
  std::vector<uint64_t> table_;
};

// a mod b (b non-zero).
inline void mod_in_place(Poly& a, const Poly& b) {
  const int64_t db = deg(b);
  for (int64_t da = deg(a); da >= db; da = deg(a)) xor_shifted(a, b, da - db);
}

inline Poly gcd(Poly a, Poly b) {
  const size_t n = std::max(a.size(), b.size()) + 1;
  a.resize(n, 0);
  b.resize(n, 0);
  while (deg(b) >= 0) {
    mod_in_place(a, b);
    std::swap(a, b);
  }
  return a;
}

// a^-1 mod m, for a coprime to m (extended Euclid on bit vectors).
inline Poly inverse(const Poly& a, const Poly& m) {
  const size_t n = m.size() + 2;
  Poly r0 = m, r1 = a, s0(n, 0), s1(n, 0);
  r0.resize(n, 0);
  r1.resize(n, 0);
  mod_in_place(r1, r0);
  s1[0] = 1;
  while (deg(r1) > 0) {
    // r0 = r0 - (x^k) r1 and s0 likewise, until deg r0 < deg r1; then swap.
    for (int64_t d0 = deg(r0), d1 = deg(r1); d0 >= d1; d0 = deg(r0)) {
      xor_shifted(r0, r1, d0 - d1);
      xor_shifted(s0, s1, d0 - d1);
    }
    std::swap(r0, r1);
    std::swap(s0, s1);
  }
  mod_in_place(s1, m);
  s1.resize(m.size());
  return s1;
}

// Whether P (degree p > 40) is irreducible: no root, no factor of degree 2..10 (one gcd with the
// product of all irreducible polynomials of those degrees), none of degree 11..40 (below), and
// x^(2^p) = x mod P. For prime p that is the whole test, since a factor would have degree below p.
class IrreducibilityTest {
  static constexpr int64_t kSieve = 40;

 public:
  IrreducibilityTest() {
    // prod over d = 1..10 of (x^(2^d) - x) has every irreducible of degree <= 10 as a factor;
    // its gcd with P is 1 exactly when P has none of them.
    Poly acc{6};  // x^2 + x
    for (int d = 2; d <= 10; ++d) {
      Poly f(static_cast<size_t>(words_for((int64_t{1} << d) + 1)), 0);
      flip(f.data(), int64_t{1} << d);
      flip(f.data(), 1);
      acc = lcm(acc, f);
    }
    small_ = acc;
  }

  bool operator()(const Poly& P) const {
    const int64_t p = deg(P);
    if (p <= kSieve || !bit(P.data(), 0) || !(exponents(P).size() & 1)) return false;  // root 0 or 1
    Poly g = gcd(P, small_);
    if (deg(g) > 0) return false;
    const std::vector<uint32_t> e = exponents(P);
    using Mod = Modulus<8>;
    std::vector<uint64_t> storage(Mod::storage_words(static_cast<int32_t>(p)));
    const Mod mod(static_cast<int32_t>(p), e.data(), static_cast<uint32_t>(e.size()), storage.data());
    const int32_t w = mod.width();
    std::vector<uint64_t> r(static_cast<size_t>(w), 0), sq(static_cast<size_t>(2 * w), 0);
    std::vector<uint64_t> acc(static_cast<size_t>(w), 0), t(static_cast<size_t>(w)), prod(static_cast<size_t>(2 * w));
    Multiplier<Mod> mul(mod);
    acc[0] = 1;
    flip(r.data(), 1);  // x
    for (int64_t k = 1; k <= p; ++k) {
      square(r.data(), w, sq.data());
      mod.reduce(sq.data());
      std::memcpy(r.data(), sq.data(), static_cast<size_t>(w) * 8);
      // r = x^(2^k). A factor of degree d divides x^(2^k) - x when d divides k: the product of
      // those differences for k = 11..kSieve, and one gcd, rejects most reducible P at a
      // fraction of the squarings the whole test takes.
      if (k > 10 && k <= kSieve) {
        t = r;
        flip(t.data(), 1);
        mul(acc.data(), t.data(), prod.data());
        std::memcpy(acc.data(), prod.data(), static_cast<size_t>(w) * 8);
        if (k == kSieve) {
          Poly a(acc.begin(), acc.end());
          if (deg(a) < 0 || deg(gcd(P, a)) > 0) return false;
        }
      }
    }
    flip(r.data(), 1);
    return deg(r) < 0;
  }

 private:
  static Poly mul(const Poly& a, const Poly& b) {
    Poly r(a.size() + b.size() + 1, 0);
    for (int64_t i = 0; i <= deg(a); ++i)
      if (bit(a.data(), i)) xor_shifted(r, b, i);
    return r;
  }
  static Poly lcm(const Poly& a, const Poly& b) {
    Poly g = gcd(a, b), q = mul(a, b), out(q.size(), 0);
    // q / g by long division
    const int64_t dg = deg(g);
    for (int64_t d = deg(q); d >= dg; d = deg(q)) {
      xor_shifted(q, g, d - dg);
      flip(out.data(), d - dg);
    }
    return out;
  }
  Poly small_;
};

// Equidistribution of the top v bits of a linear generator's outputs.
//
// g_j describes output bit j: if x_j(0), x_j(1), ... is that bit of successive outputs from some
// state, g_j = the polynomial part of P(z) * sum_t x_j(t) z^-(t+1). A vector (f_1..f_v) of
// polynomials with sum f_j g_j = 0 mod P is a linear relation between the top v bits of outputs
// 0 .. max deg f_j, the same for every state; the generator is k-distributed to v bits exactly
// when no such relation has degree below k. So k(v) is the degree of the shortest non-zero vector
// of that lattice, found by reducing a basis to weak Popov form (Mulders and Storjohann). With
// u_j = g_j / g_1 mod P, the lattice for v bits is the one for v - 1 bits plus the vector
// (u_v, 0, .., 0, 1), so each level adds one row to the reduced basis of the level before.
//
// A row is kept transposed: for each power of z, the mask of the coordinates whose polynomial
// has that coefficient. Subtracting z^s times another row is then one pass of 32-bit XORs over
// the powers, whatever the number of coordinates.
class DualLattice {
 public:
  // Level 1 (the top bit alone): the lattice of multiples of P.
  explicit DualLattice(const Poly& P) : p_(deg(P)) {
    owner_.assign(32, -1);
    push(P, 0);
  }

  int levels() const { return levels_; }
  int64_t shortest() const {
    int64_t s = p_;
    for (const Row& r : rows_) s = std::min(s, r.deg);
    return s;
  }
  // The next level, with u = g_v / g_1 mod P.
  void push(const Poly& u) { push(u, levels_); }
  // k at the next level if u were pushed; the lattice is unchanged.
  int64_t with(const Poly& u) const {
    DualLattice t = *this;
    t.push(u);
    return t.shortest();
  }

 private:
  struct Row {
    std::vector<uint32_t> m;  // m[d]: coordinates with a z^d term
    int64_t deg = -1;
    int lp() const { return 31 - __builtin_clz(m[static_cast<size_t>(deg)]); }
  };

  // hi -= z^(deg hi - deg lo) lo, for two rows with one leading position.
  static void lower(Row& hi, const Row& lo) {
    simd::xor_bytes(hi.m.data() + (hi.deg - lo.deg), lo.m.data(), static_cast<size_t>(lo.deg + 1) * 4);
    while (hi.deg >= 0 && hi.m[static_cast<size_t>(hi.deg)] == 0) --hi.deg;
  }

  // Adds the row (first, 0, .., 0, z^0 at coordinate `last`) to a basis in weak Popov form (all
  // leading positions distinct) and restores the form: while the row meets the owner of its
  // leading position, the one of higher degree is lowered by the other, and a displaced owner
  // goes on in its place.
  void push(const Poly& first, int last) {
    Row r;
    r.m.assign(static_cast<size_t>(p_) + 1, 0);
    for (int64_t d = 0; d <= std::min(deg(first), p_); ++d)
      if (bit(first.data(), d)) r.m[static_cast<size_t>(d)] |= 1u;
    if (last > 0) r.m[0] |= 1u << last;
    r.deg = p_;
    while (r.deg >= 0 && r.m[static_cast<size_t>(r.deg)] == 0) --r.deg;
    rows_.push_back(std::move(r));
    ++levels_;
    int cur = static_cast<int>(rows_.size()) - 1;
    while (rows_[static_cast<size_t>(cur)].deg >= 0) {
      Row& c = rows_[static_cast<size_t>(cur)];
      const int lp = c.lp();
      const int o = owner_[static_cast<size_t>(lp)];
      if (o < 0) {
        owner_[static_cast<size_t>(lp)] = cur;
        return;
      }
      Row& other = rows_[static_cast<size_t>(o)];
      if (c.deg >= other.deg) {
        lower(c, other);
      } else {
        owner_[static_cast<size_t>(lp)] = cur;
        lower(other, c);
        cur = o;
      }
    }
  }

  int64_t p_;
  int levels_ = 0;
  std::vector<Row> rows_;
  std::vector<int> owner_;  // row holding each leading position, or -1
};

// g / d mod P for a fixed denominator d coprime to P.
class Divider {
 public:
  Divider(const Poly& P, const Poly& d) : p_(static_cast<int32_t>(deg(P))), e_(exponents(P)) {
    storage_.resize(Mod::storage_words(p_));
    mod_ = std::make_unique<Mod>(p_, e_.data(), static_cast<uint32_t>(e_.size()), storage_.data());
    const size_t w = static_cast<size_t>(mod_->width());
    Poly m = P;
    m.resize(w + 1, 0);
    Poly dd = d;
    dd.resize(w + 1, 0);
    inv_ = inverse(dd, m);
    inv_.resize(w, 0);
    r_.resize(2 * w);
    mul_ = std::make_unique<Multiplier<Mod>>(*mod_);
  }
  Poly operator()(Poly g) {
    const size_t w = static_cast<size_t>(mod_->width());
    g.resize(w, 0);
    (*mul_)(g.data(), inv_.data(), r_.data());
    return Poly(r_.begin(), r_.begin() + static_cast<std::ptrdiff_t>(w));
  }

 private:
  using Mod = Modulus<8>;
  int32_t p_;
  std::vector<uint32_t> e_;
  std::vector<uint64_t> storage_;
  std::unique_ptr<Mod> mod_;
  std::unique_ptr<Multiplier<Mod>> mul_;
  Poly inv_, r_;
};

// k(v) for v = 1..32 from the 32 bit polynomials g (index = bit, 0 the least significant).
inline std::vector<int64_t> equidistribution(const Poly& P, const std::vector<Poly>& g) {
  Divider div(P, g[31]);
  DualLattice lattice(P);
  std::vector<int64_t> k{lattice.shortest()};
  for (int j = 30; j >= 0; --j) {
    lattice.push(div(g[static_cast<size_t>(j)]));
    k.push_back(lattice.shortest());
  }
  return k;
}

}  // namespace zorp::tools::gf2
