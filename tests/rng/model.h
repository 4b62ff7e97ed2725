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
#include "zorp/core.h"

namespace ref {

using zorp::rng::brng::Facts;
using zorp::rng::brng::Row;

struct Raw {
  uint32_t words[4];  // the integer output as 32-bit words
  double value;       // the integer output as the number its reals scale (WH: the unit value;
                      // quasi-random: the top 31 bits)
};

// How a generator makes reals of its integer output: the size of one unit of the output in
// double and in float, whether the output counts as a signed 32-bit number centred on the
// interval, and how a single is formed.
enum class Single {
  kFloat,            // in float arithmetic: (b - a) fs * output + a (or the midpoint)
  kScaleFromDouble,  // the same with the scale and midpoint formed in double, rounded to float
  kFromDouble,       // the double result over the float bounds, rounded
};
struct Conv {
  double ds;
  float fs;
  Single single;
  bool centred = false;
};

class Model {
 public:
  explicit Model(Conv c) : conv(c) {}
  virtual ~Model() = default;
  virtual Raw next() = 0;
  // The real outputs as the generator defines them.
  double to_double(const Raw& r, double a, double b) const {
    const double v = conv.centred ? static_cast<double>(static_cast<int32_t>(r.words[0])) : r.value;
    return std::fma((b - a) * conv.ds, v, conv.centred ? (a + b) * 0.5 : a);
  }
  float to_float(const Raw& r, float a, float b) const {
    const double ad = a, bd = b;
    if (conv.single == Single::kFromDouble) return static_cast<float>(to_double(r, ad, bd));
    const float v = conv.centred ? static_cast<float>(static_cast<int32_t>(r.words[0]))
                                 : static_cast<float>(r.words[0] | (uint64_t{r.words[1]} << 32));
    if (conv.single == Single::kFloat) return std::fma((b - a) * conv.fs, v, conv.centred ? (a + b) * 0.5f : a);
    return std::fma(static_cast<float>((bd - ad) * conv.ds), v, conv.centred ? static_cast<float>((ad + bd) * 0.5) : a);
  }
  Conv conv;
};

namespace detail {

inline Raw raw(uint64_t v) { return Raw{{static_cast<uint32_t>(v), static_cast<uint32_t>(v >> 32), 0, 0}, static_cast<double>(v)}; }

template <class G>
struct Scalar : Model {
  G g;
  Scalar(G generator, Conv c) : Model(c), g(std::move(generator)) {}
  Raw next() override { return raw(g.next()); }
};
template <class G>
std::unique_ptr<Model> scalar(G g, Conv c) {
  return std::make_unique<Scalar<G>>(std::move(g), c);
}

struct WhM : Model {
  Wh g;
  static int member(const StreamState* s) {
    const uint32_t b = s->brng;
    return b >= 0x100000 ? static_cast<int>(b & 0xFFFFF) : static_cast<int>(b) - 4;
  }
  explicit WhM(const StreamState* s)
      : Model({1.0, 0, Single::kFromDouble}),
        g(s, zorp::rng::wh::kModuli[member(s)], zorp::rng::wh::kReciprocals[member(s)]) {}
  Raw next() override {
    Raw r{};
    for (int c = 0; c < 4; ++c) r.words[c] = static_cast<uint32_t>(g.x[c]);
    r.value = g.unit();
    g.step();
    return r;
  }
};

// Quasi-random coordinates: real numbers from their top 31 bits, singles rounded from the double.
struct QuasiM : Model {
  Quasi q;
  explicit QuasiM(Quasi model) : Model({0x1p-31, 0, Single::kFromDouble}), q(std::move(model)) {}
  Raw next() override {
    Raw r = raw(q.next());
    r.value = static_cast<double>(r.words[0] >> 1);
    return r;
  }
};

// Null when the reference knows fewer dimensions than the stream has.
inline std::unique_ptr<Model> quasi_model(std::vector<Directions> dirs, const StreamState* s) {
  Quasi q(std::move(dirs), s);
  if (q.dirs.size() < q.dim) return nullptr;
  return std::make_unique<QuasiM>(std::move(q));
}

}  // namespace detail

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

// The scalar model of a stream's generator, started from the stream's current state; null for a
// generator that has no model here (the tests report that as a failure).
inline std::unique_ptr<Model> make_model(const StreamState* s) {
  using detail::scalar;
  constexpr Conv kUnsigned32{0x1p-32, 0x1p-32f, Single::kFloat}, kSigned32{0x1p-32, 0x1p-32f, Single::kFloat, true};
  switch (row_of(s->brng)) {
    case Row::MCG31M1: return scalar(Mcg31(s), {1.0 / 2147483647.0, 0x1p-31f, Single::kFloat});
    case Row::MCG59: return scalar(Mcg59(s), {0x1p-59, 0x1p-59f, Single::kFloat});
    case Row::MRG32K3A: return scalar(Mrg32k3a(s), {1.0 / 4294967087.0, 0, Single::kScaleFromDouble});
    case Row::R250: return scalar(R250(s), {0x1p-32, 0, Single::kFromDouble});
    case Row::WH: return std::make_unique<detail::WhM>(s);
    case Row::MT19937: return scalar(Twister(s, 624, 397, 31, 0x9908B0DFu, 0x9D2C5680u, 0xEFC60000u, 11), kUnsigned32);
    case Row::SFMT19937: return scalar(Sfmt(s), {0x1p-32, 0, Single::kScaleFromDouble, true});
    case Row::PHILOX4X32X10: return scalar(Philox(s), kSigned32);
    case Row::ARS5: return scalar(Ars5(s), kSigned32);
    case Row::Sobol: return detail::quasi_model(sobol_builtin(Quasi({}, s).dim), s);
    case Row::Niederr: return detail::quasi_model(niederreiter_builtin(Quasi({}, s).dim), s);
    case Row::MT2203: {
      uint32_t abc[3];  // the member's constants follow mt[69] and the position
      std::memcpy(abc, state_bytes(s) + 280, sizeof abc);
      return scalar(Twister(s, 69, 34, 5, abc[0], abc[1], abc[2], 12), kUnsigned32);
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
