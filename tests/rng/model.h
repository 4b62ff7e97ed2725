// One interface over the scalar models so that tests can be written once for all generators.
#pragma once
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "reference.h"
#include "rng/brng/wh/wh_params.h"

namespace ref {

enum class Kind { Mcg31, Mcg59, Mrg, R250, Wh };

struct Raw {
  uint32_t words[4];  // the integer output as 32-bit words
  int nwords;
  double value;       // integer output as a number, or for WH the unit value
};

class Model {
 public:
  Model(Kind k, const StreamState* s) : kind_(k) {
    switch (k) {
      case Kind::Mcg31: mcg31_ = std::make_unique<Mcg31>(s); break;
      case Kind::Mcg59: mcg59_ = std::make_unique<Mcg59>(s); break;
      case Kind::Mrg: mrg_ = std::make_unique<Mrg32k3a>(s); break;
      case Kind::R250: r250_ = std::make_unique<R250>(s); break;
      case Kind::Wh: {
        const uint32_t b = s->brng;
        const int member = b >= 0x100000 ? static_cast<int>(b & 0xFFFFF) : static_cast<int>(b) - 4;
        wh_ = std::make_unique<Wh>(s, zorp::rng::wh::kModuli[member], zorp::rng::wh::kReciprocals[member]);
        break;
      }
    }
  }
  Raw next() {
    Raw r{};
    uint64_t v = 0;
    switch (kind_) {
      case Kind::Mcg31: v = mcg31_->next(); break;
      case Kind::Mcg59: v = mcg59_->next(); break;
      case Kind::Mrg: v = mrg_->next(); break;
      case Kind::R250: v = r250_->next(); break;
      case Kind::Wh:
        for (int c = 0; c < 4; ++c) r.words[c] = static_cast<uint32_t>(wh_->x[c]);
        r.nwords = 4;
        r.value = wh_->unit();
        wh_->step();
        return r;
    }
    r.words[0] = static_cast<uint32_t>(v);
    r.words[1] = static_cast<uint32_t>(v >> 32);
    r.nwords = kind_ == Kind::Mcg59 ? 2 : 1;
    r.value = static_cast<double>(v);
    return r;
  }
  int words_per_output() const { return kind_ == Kind::Wh ? 4 : kind_ == Kind::Mcg59 ? 2 : 1; }

  // The real outputs as each generator defines them.
  double to_double(const Raw& r, double a, double b) const {
    switch (kind_) {
      case Kind::Mcg31: return std::fma((b - a) * (1.0 / 2147483647.0), r.value, a);
      case Kind::Mcg59: return std::fma((b - a) * 0x1p-59, r.value, a);
      case Kind::Mrg: return std::fma((b - a) * (1.0 / 4294967087.0), r.value, a);
      case Kind::R250: return std::fma((b - a) * 0x1p-32, r.value, a);
      case Kind::Wh: return std::fma(b - a, r.value, a);
    }
    return 0;
  }
  float to_float(const Raw& r, float a, float b) const {
    const double ad = a, bd = b;
    const uint64_t v = r.words[0] | (uint64_t{r.words[1]} << 32);
    switch (kind_) {
      case Kind::Mcg31: return std::fma((b - a) * 0x1p-31f, static_cast<float>(v), a);
      case Kind::Mcg59: return std::fma((b - a) * 0x1p-59f, static_cast<float>(v), a);
      case Kind::Mrg:
        return std::fma(static_cast<float>((bd - ad) * (1.0 / 4294967087.0)), static_cast<float>(v), a);
      case Kind::R250: return static_cast<float>(std::fma((bd - ad) * 0x1p-32, r.value, ad));
      case Kind::Wh: return static_cast<float>(std::fma(bd - ad, r.value, ad));
    }
    return 0;
  }

 private:
  Kind kind_;
  std::unique_ptr<Mcg31> mcg31_;
  std::unique_ptr<Mcg59> mcg59_;
  std::unique_ptr<Mrg32k3a> mrg_;
  std::unique_ptr<R250> r250_;
  std::unique_ptr<Wh> wh_;
};

struct GenCase {
  const char* name;
  Kind kind;
  uint32_t brng;
  std::vector<uint32_t> seed;
};

inline std::vector<GenCase> all_generators() {
  return {
      {"MCG31m1", Kind::Mcg31, TARR_BRNG_MCG31, {12345}},
      {"MCG59", Kind::Mcg59, TARR_BRNG_MCG59, {0x9ABCDEF1u, 0x0345678u}},
      {"MRG32k3a", Kind::Mrg, TARR_BRNG_MRG32K3A, {12345, 12345, 12345, 12345, 12345, 12345}},
      {"R250", Kind::R250, TARR_BRNG_R250, {777}},
      {"WH0", Kind::Wh, TARR_BRNG_WH, {1, 2, 3, 4}},
      {"WH137", Kind::Wh, TARR_BRNG_WH + 137, {99, 98, 97, 96}},
      {"WH272", Kind::Wh, TARR_BRNG_WH + 272, {5}},
      {"WHlegacy100", Kind::Wh, 100, {4242, 17}},
  };
}

}  // namespace ref
