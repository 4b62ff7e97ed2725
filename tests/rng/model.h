// The generators the tests run, derived from the generator table, and one interface over the
// scalar models of reference.h so that every test is written once for all generators.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "quasi_reference.h"
#include "reference.h"
#include "rng/brng/generators.h"
#include "rng/brng/wh/wh_params.h"

namespace ref {

using zorp::rng::brng::Facts;
using zorp::rng::brng::Row;

struct Raw {
  uint32_t words[4];  // the integer output as 32-bit words
  double value;       // the integer output as a number (for WH the unit value)
};

class Model {
 public:
  virtual ~Model() = default;
  virtual Raw next() = 0;
  // The real outputs as the generator defines them.
  virtual double to_double(const Raw& r, double a, double b) const = 0;
  virtual float to_float(const Raw& r, float a, float b) const = 0;
};

namespace detail {

inline uint64_t value64(const Raw& r) { return r.words[0] | (uint64_t{r.words[1]} << 32); }
inline Raw raw(uint64_t v) { return Raw{{static_cast<uint32_t>(v), static_cast<uint32_t>(v >> 32), 0, 0}, static_cast<double>(v)}; }

template <class G>
struct Scalar : Model {
  G g;
  explicit Scalar(const StreamState* s) : g(s) {}
  explicit Scalar(G generator) : g(std::move(generator)) {}
  Raw next() override { return raw(g.next()); }
};

struct Mcg31M : Scalar<Mcg31> {
  using Scalar::Scalar;
  double to_double(const Raw& r, double a, double b) const override { return std::fma((b - a) * (1.0 / 2147483647.0), r.value, a); }
  float to_float(const Raw& r, float a, float b) const override {
    return std::fma((b - a) * 0x1p-31f, static_cast<float>(value64(r)), a);
  }
};

struct Mcg59M : Scalar<Mcg59> {
  using Scalar::Scalar;
  double to_double(const Raw& r, double a, double b) const override { return std::fma((b - a) * 0x1p-59, r.value, a); }
  float to_float(const Raw& r, float a, float b) const override {
    return std::fma((b - a) * 0x1p-59f, static_cast<float>(value64(r)), a);
  }
};

struct MrgM : Scalar<Mrg32k3a> {
  using Scalar::Scalar;
  double to_double(const Raw& r, double a, double b) const override { return std::fma((b - a) * (1.0 / 4294967087.0), r.value, a); }
  float to_float(const Raw& r, float a, float b) const override {
    const double ad = a, bd = b;
    return std::fma(static_cast<float>((bd - ad) * (1.0 / 4294967087.0)), static_cast<float>(value64(r)), a);
  }
};

struct R250M : Scalar<R250> {
  using Scalar::Scalar;
  double to_double(const Raw& r, double a, double b) const override { return std::fma((b - a) * 0x1p-32, r.value, a); }
  float to_float(const Raw& r, float a, float b) const override {
    const double ad = a, bd = b;
    return static_cast<float>(std::fma((bd - ad) * 0x1p-32, r.value, ad));
  }
};

struct WhM : Model {
  Wh g;
  static int member(const StreamState* s) {
    const uint32_t b = s->brng;
    return b >= 0x100000 ? static_cast<int>(b & 0xFFFFF) : static_cast<int>(b) - 4;
  }
  explicit WhM(const StreamState* s)
      : g(s, zorp::rng::wh::kModuli[member(s)], zorp::rng::wh::kReciprocals[member(s)]) {}
  Raw next() override {
    Raw r{};
    for (int c = 0; c < 4; ++c) r.words[c] = static_cast<uint32_t>(g.x[c]);
    r.value = g.unit();
    g.step();
    return r;
  }
  double to_double(const Raw& r, double a, double b) const override { return std::fma(b - a, r.value, a); }
  float to_float(const Raw& r, float a, float b) const override {
    const double ad = a, bd = b;
    return static_cast<float>(std::fma(bd - ad, r.value, ad));
  }
};

struct MtM : Scalar<Twister> {
  using Scalar::Scalar;
  double to_double(const Raw& r, double a, double b) const override { return std::fma((b - a) * 0x1p-32, r.value, a); }
  float to_float(const Raw& r, float a, float b) const override {
    return std::fma((b - a) * 0x1p-32f, static_cast<float>(r.words[0]), a);
  }
};

// SFMT outputs count as signed 32-bit numbers centred on the interval.
struct SfmtM : Scalar<Sfmt> {
  using Scalar::Scalar;
  static double signed_value(const Raw& r) { return static_cast<double>(static_cast<int32_t>(r.words[0])); }
  double to_double(const Raw& r, double a, double b) const override {
    return std::fma((b - a) * 0x1p-32, signed_value(r), (a + b) * 0.5);
  }
  float to_float(const Raw& r, float a, float b) const override {
    const double ad = a, bd = b;
    return std::fma(static_cast<float>((bd - ad) * 0x1p-32), static_cast<float>(static_cast<int32_t>(r.words[0])),
                    static_cast<float>((ad + bd) * 0.5));
  }
};

// Counter-based outputs count as signed 32-bit numbers centred on the interval; singles in float.
template <class G>
struct CounterM : Scalar<G> {
  using Scalar<G>::Scalar;
  double to_double(const Raw& r, double a, double b) const override {
    return std::fma((b - a) * 0x1p-32, static_cast<double>(static_cast<int32_t>(r.words[0])), (a + b) * 0.5);
  }
  float to_float(const Raw& r, float a, float b) const override {
    return std::fma((b - a) * 0x1p-32f, static_cast<float>(static_cast<int32_t>(r.words[0])), (a + b) * 0.5f);
  }
};

// Quasi-random coordinates: real numbers from their top 31 bits, singles rounded from the double.
struct QuasiM : Model {
  Quasi q;
  explicit QuasiM(Quasi model) : q(std::move(model)) {}
  Raw next() override { return raw(q.next()); }
  double to_double(const Raw& r, double a, double b) const override {
    return std::fma((b - a) * 0x1p-31, static_cast<double>(r.words[0] >> 1), a);
  }
  float to_float(const Raw& r, float a, float b) const override {
    return static_cast<float>(to_double(r, a, b));
  }
};

// Null when the reference knows fewer dimensions than the stream has.
inline std::unique_ptr<Model> quasi_model(std::vector<Directions> dirs, const StreamState* s) {
  Quasi q(std::move(dirs), s);
  if (q.dirs.size() < q.dim) return nullptr;
  return std::make_unique<QuasiM>(std::move(q));
}

}  // namespace detail

// A stream for the length of a scope.
struct Stream {
  StreamState* s = nullptr;
  Stream(uint32_t brng, const std::vector<uint32_t>& seed) {
    EXPECT_EQ(__tarrNewStreamEx(&s, brng, static_cast<int32_t>(seed.size()), seed.data()), TARR_STATUS_OK);
  }
  ~Stream() { __tarrDeleteStream(&s); }
  Stream(const Stream&) = delete;
};

// The entry points of a generator, by identifier in either numbering.
inline const BrngProperties& entries(uint32_t brng) {
  uint32_t index = 0;
  return __tarrGetBrngBaseOffset(brng, &index, nullptr)[index];
}

// n integer outputs of a stream as 32-bit words (a generator's word size in each), drawn through its
// row; the call must return `expect`.
inline std::vector<uint32_t> draw(StreamState* s, int32_t n, int32_t expect = TARR_STATUS_OK) {
  const BrngProperties& row = entries(s->brng);
  std::vector<uint32_t> r(static_cast<size_t>(std::max(n, 0)) * row.WordSize / 4);
  EXPECT_EQ(row.iBRng(s, n, r.data()), expect);
  return r;
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

// The scalar model of a stream's generator, started from the stream's current state; null for a
// generator that has no model here (the tests report that as a failure).
inline std::unique_ptr<Model> make_model(const StreamState* s) {
  switch (row_of(s->brng)) {
    case Row::MCG31M1: return std::make_unique<detail::Mcg31M>(s);
    case Row::MCG59: return std::make_unique<detail::Mcg59M>(s);
    case Row::MRG32K3A: return std::make_unique<detail::MrgM>(s);
    case Row::R250: return std::make_unique<detail::R250M>(s);
    case Row::WH: return std::make_unique<detail::WhM>(s);
    case Row::MT19937:
      return std::make_unique<detail::MtM>(Twister(s, 624, 397, 31, 0x9908B0DFu, 0x9D2C5680u, 0xEFC60000u, 11));
    case Row::SFMT19937: return std::make_unique<detail::SfmtM>(Sfmt(s));
    case Row::PHILOX4X32X10: return std::make_unique<detail::CounterM<Philox>>(s);
    case Row::ARS5: return std::make_unique<detail::CounterM<Ars5>>(s);
    case Row::Sobol: return detail::quasi_model(sobol_builtin(Quasi({}, s).dim), s);
    case Row::Niederr: return detail::quasi_model(niederreiter_builtin(Quasi({}, s).dim), s);
    case Row::MT2203: {
      uint32_t abc[3];  // the member's constants follow mt[69] and the position
      std::memcpy(abc, state_bytes(s) + 280, sizeof abc);
      return std::make_unique<detail::MtM>(Twister(s, 69, 34, 5, abc[0], abc[1], abc[2], 12));
    }
    default: return nullptr;
  }
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
