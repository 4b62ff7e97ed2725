// Writes the MT2203 family's parameter table (src/rng/brng/mt2203/mt2203_params_table.cpp): for
// each of the 6,024 members the matrix constant a and the tempering masks b and c of a Mersenne
// twister with n = 69, m = 34, r = 5 and period 2^2203 - 1.
//
// The search follows the dynamic creator of Matsumoto and Nishimura:
//   * a = 0x80000000 | (15 random bits) << 16 | member: the member number in the low bits makes
//     the recurrences of different members differ;
//   * the characteristic polynomial P of the recurrence comes from the generator's own output by
//     Berlekamp-Massey (through its affine dependence on a, see CharPolys); since 2^2203 - 1 is
//     a Mersenne prime, the period is full exactly when P is irreducible (no factor of degree up
//     to 40, then x^(2^2203) = x mod P);
//   * the tempering masks (b: bits 7..31, c: bits 15..31) are settled bit level by bit level from
//     the top, each time keeping the setting that gives the top v output bits the highest
//     dimension of equidistribution k(v) (computed exactly by lattice reduction), in two runs
//     with different random choices, of which the one with the lower total defect (the sum over
//     v = 1..32 of floor(2203 / v) - k(v)) is kept. `--rows` writes that defect beside the row.
//     (A further pass of single-bit flips lowered the defect by about 5% but took a third of the
//     time; the full search has to run on a shared machine.)
// Members 0 and 6023 are the published sets and are only checked, not searched. Every choice
// comes from a splitmix64 sequence seeded by the member number, so each member is reproducible
// on its own.
//
//   gen_mt2203_params <out.cpp>                 all members (hours: run it in slices, below)
//   gen_mt2203_params --rows FROM TO <rows.txt> members FROM..TO as "member a b c defect" lines
//   gen_mt2203_params --assemble <out.cpp> <rows.txt>...   the table from such slices
//   gen_mt2203_params --print M1,M2,...          the rows of a few members on stdout
#include <algorithm>
#include <climits>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "gf2_tools.h"
#include "splitmix.h"

namespace {

using zorp::tools::gf2::Poly;
namespace g2 = zorp::tools::gf2;

constexpr int kN = 69, kM = 34, kP = 2203, kMembers = 6024;
constexpr uint32_t kUpper = 0xFFFFFFE0u, kLower = 0x1Fu;
constexpr uint32_t kBMask = 0xFFFFFF80u, kCMask = 0xFFFF8000u;  // bits a left shift by 7 / 15 can reach

struct Params {
  uint32_t a, b, c;
};
// The published members.
constexpr Params kFirst{0xAF81055Fu, 0xDD7EEF80u, 0xEFD78000u};
constexpr Params kLast{0xE8761D4Bu, 0x72967680u, 0xEFEB0000u};

using zorp::tools::SplitMix;

// `count` untempered outputs of the recurrence with matrix constant a from the state mt.
std::vector<uint32_t> outputs(uint32_t a, std::vector<uint32_t> mt, int count) {
  std::vector<uint32_t> out;
  out.reserve(static_cast<size_t>(count));
  while (static_cast<int>(out.size()) < count) {
    for (int i = 0; i < kN; ++i) {
      const uint32_t y = (mt[i] & kUpper) | (mt[(i + 1) % kN] & kLower);
      mt[i] = mt[(i + kM) % kN] ^ (y >> 1) ^ ((y & 1) ? a : 0);
    }
    out.insert(out.end(), mt.begin(), mt.end());
  }
  out.resize(static_cast<size_t>(count));
  return out;
}

uint32_t temper(uint32_t y, uint32_t b, uint32_t c) {
  y ^= y >> 12;
  y ^= (y << 7) & b;
  y ^= (y << 15) & c;
  return y ^ (y >> 18);
}

const g2::IrreducibilityTest& irreducible() {
  static const g2::IrreducibilityTest test;
  return test;
}

// The characteristic polynomial of the recurrence with matrix constant a, by Berlekamp-Massey on
// the top bit of 2p outputs from the state mt: the whole polynomial when its degree is p.
Poly berlekamp_massey(uint32_t a, const std::vector<uint32_t>& mt) {
  const std::vector<uint32_t> y = outputs(a, mt, 2 * kP);
  std::vector<uint8_t> bits(y.size());
  for (size_t t = 0; t < y.size(); ++t) bits[t] = static_cast<uint8_t>(y[t] >> 31);
  return g2::berlekamp_massey(bits);
}

// The characteristic polynomial is affine in the bits of a: phi(a) = phi(base) + the sum, over the
// bits k where a and base differ, of phi(base ^ 2^k) - phi(base). Every matrix constant here has
// its top bit set, so the 31 lower bits suffice. The 32 polynomials come once from
// Berlekamp-Massey (on a base whose neighbours all give the full degree, so each result is the
// whole characteristic polynomial); a few more recurrences check the rule before it is used.
// A candidate then costs a few XORs instead of 2p steps and a Berlekamp-Massey run, and the
// search accepts exactly what it accepted with Berlekamp-Massey per candidate: a polynomial of
// degree 2203 that passes the irreducibility test is the characteristic polynomial either way.
class CharPolys {
 public:
  CharPolys() {
    SplitMix rng{0xC4A2u};
    std::vector<uint32_t> mt(kN);
    for (;;) {
      for (uint32_t& w : mt) w = static_cast<uint32_t>(rng.next());
      base_ = static_cast<uint32_t>(rng.next()) | 0x80000000u;
      phi_ = berlekamp_massey(base_, mt);
      bool full = g2::deg(phi_) == kP;
      for (int k = 0; k < 31 && full; ++k) {
        Poly d = berlekamp_massey(base_ ^ (1u << k), mt);
        full = g2::deg(d) == kP;
        for (size_t i = 0; i < d.size(); ++i) d[i] ^= phi_[i];
        diff_[k] = std::move(d);
      }
      if (full) break;
    }
    for (int checked = 0; checked < 3;) {
      const uint32_t a = static_cast<uint32_t>(rng.next()) | 0x80000000u;
      const Poly p = berlekamp_massey(a, mt);
      if (g2::deg(p) != kP) continue;
      if ((*this)(a) != p) {
        std::fprintf(stderr, "the characteristic polynomial is not affine in a\n");
        std::exit(1);
      }
      ++checked;
    }
  }
  Poly operator()(uint32_t a) const {  // a with its top bit set
    Poly p = phi_;
    for (int k = 0; k < 31; ++k)
      if (((a ^ base_) >> k) & 1)
        for (size_t i = 0; i < p.size(); ++i) p[i] ^= diff_[k][i];
    return p;
  }

 private:
  uint32_t base_ = 0;
  Poly phi_, diff_[31];
};

// Whether a's recurrence has the full period; if so its characteristic polynomial and p untempered
// outputs from a random state (the lattice data comes from them).
bool full_period(uint32_t a, SplitMix& rng, Poly& P, std::vector<uint32_t>& y) {
  static const CharPolys char_polys;
  std::vector<uint32_t> mt(kN);
  for (uint32_t& w : mt) w = static_cast<uint32_t>(rng.next());
  P = char_polys(a);
  if (!irreducible()(P)) return false;
  y = outputs(a, mt, kP);
  return true;
}

// The output bits of one recurrence as lattice data: g_j for each untempered bit j, and from them
// the tempered bits of any masks (tempering is linear, so a tempered bit is the XOR of the
// untempered bits in its row of the tempering matrix).
class OutputBits {
 public:
  OutputBits(const Poly& P, const std::vector<uint32_t>& y) : P_(P) {
    // g_j = polynomial part of P(z) * sum_t x_j(t) z^-(t+1): coefficient m is the parity of
    // P_(m+1+i) x_j(i) over i.
    const int32_t w = g2::words_for(kP + 1);
    std::vector<Poly> xs(32, Poly(static_cast<size_t>(w) + 1, 0));
    for (int t = 0; t < kP; ++t)
      for (int j = 0; j < 32; ++j)
        if ((y[static_cast<size_t>(t)] >> j) & 1) g2::flip(xs[static_cast<size_t>(j)].data(), t);
    g_.assign(32, Poly(static_cast<size_t>(w), 0));
    Poly shifted(static_cast<size_t>(w) + 1, 0);
    for (int m = 0; m < kP; ++m) {
      const int s = m + 1, q = s >> 6, r = s & 63;  // shifted = P >> (m + 1)
      for (int k = 0; k < w; ++k) {
        uint64_t v = k + q < static_cast<int>(P_.size()) ? P_[static_cast<size_t>(k + q)] >> r : 0;
        if (r && k + q + 1 < static_cast<int>(P_.size())) v |= P_[static_cast<size_t>(k + q + 1)] << (64 - r);
        shifted[static_cast<size_t>(k)] = v;
      }
      for (int j = 0; j < 32; ++j) {
        uint64_t acc = 0;
        for (int k = 0; k < w; ++k) acc ^= shifted[static_cast<size_t>(k)] & xs[static_cast<size_t>(j)][static_cast<size_t>(k)];
        if (__builtin_popcountll(acc) & 1) g2::flip(g_[static_cast<size_t>(j)].data(), m);
      }
    }
  }

  const Poly& P() const { return P_; }

  // u_j = (tempered bit j) / (tempered top bit) mod P. The top tempered bit depends only on b_31,
  // c_31 and b_16, so the quotients g_i / top of the untempered bits are kept for each of those
  // eight settings and u_j is the XOR of the ones in row j of the tempering matrix.
  Poly ratio(int j, uint32_t b, uint32_t c) const {
    const uint32_t key = (b >> 31) | ((c >> 31) << 1) | (((b >> 16) & 1) << 2);
    std::vector<Poly>& q = quotients_[key];
    if (q.empty()) {
      g2::Divider div(P_, tempered(31, b, c));
      for (int i = 0; i < 32; ++i) q.push_back(div(g_[static_cast<size_t>(i)]));
    }
    Poly out(q[0].size(), 0);
    for (int i = 0; i < 32; ++i)
      if ((temper(1u << i, b, c) >> j) & 1)
        for (size_t k = 0; k < out.size(); ++k) out[k] ^= q[static_cast<size_t>(i)][k];
    return out;
  }

  // g of tempered bit j under masks b, c.
  Poly tempered(int j, uint32_t b, uint32_t c) const {
    Poly out(g_[0].size(), 0);
    for (int i = 0; i < 32; ++i)
      if ((temper(1u << i, b, c) >> j) & 1)
        for (size_t k = 0; k < out.size(); ++k) out[k] ^= g_[static_cast<size_t>(i)][k];
    return out;
  }

  // Sum over v of floor(p / v) - k(v) for the tempered outputs.
  int64_t defect(uint32_t b, uint32_t c) const {
    g2::DualLattice lattice(P_);
    int64_t d = 0;
    for (int v = 2; v <= 32; ++v) {
      lattice.push(ratio(32 - v, b, c));
      d += kP / v - lattice.shortest();
    }
    return d;
  }

 private:
  Poly P_;
  std::vector<Poly> g_;
  mutable std::map<uint32_t, std::vector<Poly>> quotients_;
};

struct Row {
  int member;
  Params p;
  int64_t defect;
};

// The mask bits settled at level v (output bit i = 32 - v): output bit i depends on b_i, c_i and,
// through c_i, on b_(i-15); each mask bit is settled at the first level it reaches, so no later
// choice changes an earlier level.
std::vector<uint32_t> level_bits(int i, uint32_t& settled_b) {
  std::vector<uint32_t> bits;  // bit k < 32: b's bit k; 32 + k: c's bit k
  auto take_b = [&](int k) {
    if (k >= 7 && k < 32 && !((settled_b >> k) & 1)) {
      settled_b |= 1u << k;
      bits.push_back(static_cast<uint32_t>(k));
    }
  };
  take_b(i);
  if (i >= 15) bits.push_back(32u + static_cast<uint32_t>(i));
  take_b(i - 15);
  return bits;
}

// Tempering masks chosen level by level from the top bit, as the dynamic creator does: at each
// level every setting of the newly settled mask bits is tried and one giving the largest k(v) is
// kept (the first in a random order). The top level cannot tell settings apart (k(1) = p), so its
// bits are drawn at random.
Params temper_masks(const OutputBits& out, uint32_t a, SplitMix& rng) {
  uint32_t b = 0, c = 0, settled = 0;
  auto set = [&](uint32_t bitno, bool on) {
    uint32_t& m = bitno < 32 ? b : c;
    const uint32_t k = bitno & 31;
    m = on ? m | (1u << k) : m & ~(1u << k);
  };
  for (uint32_t bitno : level_bits(31, settled)) set(bitno, rng.next() & 1);
  g2::DualLattice lattice(out.P());
  for (int v = 2; v <= 32; ++v) {
    const int i = 32 - v;
    const std::vector<uint32_t> bits = level_bits(i, settled);
    const uint32_t combos = 1u << bits.size();
    const uint32_t start = static_cast<uint32_t>(rng.next() % combos);
    int64_t best_k = -1;
    uint32_t best = 0;
    Poly best_u;
    for (uint32_t t = 0; t < combos; ++t) {
      const uint32_t combo = (start + t) % combos;
      for (size_t k = 0; k < bits.size(); ++k) set(bits[k], (combo >> k) & 1);
      Poly u = out.ratio(i, b, c);
      const int64_t kv = lattice.with(u);
      if (kv > best_k) {
        best_k = kv;
        best = combo;
        best_u = std::move(u);
      }
    }
    for (size_t k = 0; k < bits.size(); ++k) set(bits[k], (best >> k) & 1);
    lattice.push(best_u);
  }
  return {a, b & kBMask, c & kCMask};
}

constexpr int kGreedyRuns = 2;

Row search(int member) {
  SplitMix rng{0x4D54323230330000ull ^ static_cast<uint64_t>(member)};
  Poly P;
  std::vector<uint32_t> y;
  if (member == 0 || member == kMembers - 1) {
    const Params p = member == 0 ? kFirst : kLast;
    if (!full_period(p.a, rng, P, y)) {
      std::fprintf(stderr, "published member %d does not have the full period\n", member);
      std::exit(1);
    }
    return {member, p, OutputBits(P, y).defect(p.b, p.c)};
  }
  uint32_t a = 0;
  do {
    a = 0x80000000u | (static_cast<uint32_t>(rng.next()) & 0x7FFF0000u) | static_cast<uint32_t>(member);
  } while (!full_period(a, rng, P, y));
  const OutputBits out(P, y);
  // Two greedy runs (their random choices differ); the one with the lower total defect is kept.
  Params best{};
  int64_t best_defect = INT64_MAX;
  for (int run = 0; run < kGreedyRuns; ++run) {
    const Params p = temper_masks(out, a, rng);
    const int64_t d = out.defect(p.b, p.c);
    if (d < best_defect) {
      best_defect = d;
      best = p;
    }
  }
  return {member, best, best_defect};
}

void write_rows(FILE* f, const std::vector<Row>& rows) {
  for (const Row& r : rows)
    std::fprintf(f, "%d 0x%08" PRIX32 " 0x%08" PRIX32 " 0x%08" PRIX32 " %" PRId64 "\n", r.member, r.p.a, r.p.b, r.p.c,
                 r.defect);
}

int write_table(const char* path, const std::vector<Row>& rows) {
  std::set<uint32_t> seen;
  for (int m = 0; m < kMembers; ++m) {
    if (rows[static_cast<size_t>(m)].member != m || !seen.insert(rows[static_cast<size_t>(m)].p.a).second) {
      std::fprintf(stderr, "member %d missing or its matrix constant repeats another's\n", m);
      return 1;
    }
  }
  FILE* f = std::fopen(path, "w");
  if (!f) return 1;
  std::fprintf(f,
               "// Generated by tools/gen_mt2203_params.cpp: do not edit; rerun the tool instead.\n"
               "// Per member: matrix constant a, tempering masks b and c.\n"
               "#include \"rng/brng/mt2203/mt2203_params.h\"\n\n"
               "namespace zorp::rng::mt2203 {\n\n"
               "const uint32_t kParams[kMembers][3] = {\n");
  for (const Row& r : rows) std::fprintf(f, "    {0x%08" PRIX32 "u, 0x%08" PRIX32 "u, 0x%08" PRIX32 "u},\n", r.p.a, r.p.b, r.p.c);
  std::fprintf(f, "};\n\n}  // namespace zorp::rng::mt2203\n");
  return std::fclose(f) == 0 ? 0 : 1;
}

std::vector<Row> read_rows(const char* path) {
  std::vector<Row> rows;
  FILE* f = std::fopen(path, "r");
  if (!f) return rows;
  Row r{};
  while (std::fscanf(f, "%d %" SCNx32 " %" SCNx32 " %" SCNx32 " %" SCNd64, &r.member, &r.p.a, &r.p.b, &r.p.c, &r.defect) == 5)
    rows.push_back(r);
  std::fclose(f);
  return rows;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && !std::strcmp(argv[1], "--print")) {
    std::vector<Row> rows;
    std::stringstream list(argv[2]);
    for (std::string m; std::getline(list, m, ',');) rows.push_back(search(std::stoi(m)));
    write_rows(stdout, rows);
    return 0;
  }
  if (argc == 5 && !std::strcmp(argv[1], "--rows")) {
    const int from = std::atoi(argv[2]), to = std::atoi(argv[3]);
    FILE* f = std::fopen(argv[4], "a");
    if (!f) return 1;
    for (int m = from; m <= to; ++m) {
      write_rows(f, {search(m)});
      std::fflush(f);
    }
    return std::fclose(f) == 0 ? 0 : 1;
  }
  if (argc >= 4 && !std::strcmp(argv[1], "--assemble")) {
    std::map<int, Row> by_member;
    for (int i = 3; i < argc; ++i)
      for (const Row& r : read_rows(argv[i])) by_member[r.member] = r;
    std::vector<Row> rows;
    for (auto& [m, r] : by_member) rows.push_back(r);
    if (rows.size() != kMembers) {
      std::fprintf(stderr, "%zu members found, %d needed\n", rows.size(), kMembers);
      return 1;
    }
    return write_table(argv[2], rows);
  }
  if (argc == 2 && argv[1][0] != '-') {
    std::vector<Row> rows;
    for (int m = 0; m < kMembers; ++m) rows.push_back(search(m));
    return write_table(argv[1], rows);
  }
  std::fprintf(stderr,
               "usage: gen_mt2203_params <out.cpp> | --rows FROM TO <rows.txt> | --assemble <out.cpp> <rows.txt>... | "
               "--print M1,M2,...\n");
  return 2;
}
