// The built vector-math functions as the tests and tools see them: each catalogue row joined
// with its contract (vm/dispatch/contracts.def); any slot of any row called through its dispatch
// table found by name, as a host calls it, in every calling shape and both storage forms; the
// samples a row is swept over; and the sweep, which checks every result part against the
// row's reference and every element's reported status against the row's status rule.
#pragma once
#include <dlfcn.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "accuracy/reference.h"
#include "library.h"
#include "accuracy/near_pio2.h"
#include "vm/dispatch/catalogue.h"
#include "zorp/vm.h"
#include "zorp/vm_functions.h"

namespace zorp::test {

using vm::catalogue::Shape;
// CLASS_OR_ENVELOPE, CLASS_PHASE: see contracts.def; they measure against an envelope
// (envelope() and phase_envelope() below).
enum class Rule { CLASS, CLASS_ZERO_ANY_SIGN, CLASS_OR_ENVELOPE, CLASS_PHASE, CR };
enum class Extra { none, near_ties, one_scale, every_scale, unit_circle, powers, near_pio2, orders };

// The orders a row of an integer order (Jn, Yn) is swept at, one per call of 64 elements in
// turn: both signs, the two that start the recurrences, small and large ones, and values that
// are not integers (the kernels truncate them toward zero). tools/accuracy may pin one.
inline const std::vector<double> kOrders = {17, 0, 1, 2, -3, 5, 100, 2.75, -3.5, 0.875, -0.5, 17.999};

struct VmRow {
  const vm::catalogue::Row& cat;
  accuracy::Reference ref;
  double lo, hi, ulo, uhi;
  Rule rule;
  accuracy::StatusRule status;
  Extra extra;
  std::vector<double> edges;
  std::vector<double> orders = extra == Extra::orders ? kOrders : std::vector<double>{};

  std::string name() const { return cat.name; }
  bool dbl() const { return cat.type == 'd' || cat.type == 'z'; }
  Shape shape() const { return cat.shape; }
  int args() const { return shape() == Shape::A1R1 || shape() == Shape::A1R2 || shape() == Shape::C1R1R || shape() == Shape::R1C1 ? 1 : 2; }
  int results() const { return shape() == Shape::A1R2 ? 2 : 1; }
  int in_parts() const { return cat.complex() && shape() != Shape::R1C1 ? 2 : 1; }
  int out_parts() const { return cat.complex() && shape() != Shape::C1R1R ? 2 : 1; }
  // The slots whose kernels are distinct: each slot that owns its kernel.
  std::vector<int> owners() const {
    std::vector<int> v;
    for (int s = 0; s < 3; ++s)
      if (cat.owner(s) == s) v.push_back(s);
    return v;
  }
  // What the kernel in `slot` must meet: the strictest class of the slots it fills.
  accuracy::Class required(int slot) const {
    using accuracy::Class;
    if (rule == Rule::CR) return Class::CR;
    Class c = Class::EP;
    for (int s = 0; s < 3; ++s)
      if (cat.owner(s) == slot) c = std::max(c, s == 1 ? Class::HA : s == 0 ? Class::LA : Class::EP);
    return c;
  }
};

// Every contract row, built or not.
inline const std::vector<VmRow>& contract_rows() {
  static const std::vector<VmRow> rows = [] {
    using namespace accuracy;
    using namespace accuracy::formula;
    std::vector<VmRow> v;
#define VM_CONTRACT(t, F, ref, lo, hi, ulo, uhi, rule, status, extra, ...) \
  v.push_back({vm::catalogue::t##F, Reference(ref), lo, hi, ulo, uhi, Rule::rule, status, Extra::extra, {__VA_ARGS__}});
#include "vm/dispatch/contracts.def"
#undef VM_CONTRACT
    return v;
  }();
  return rows;
}

inline std::vector<const VmRow*> built_rows() {
  std::vector<const VmRow*> v;
  for (const VmRow& r : contract_rows())
    if (r.cat.built) v.push_back(&r);
  return v;
}

// The built row of a function by its name ("vdExp").
inline const VmRow& row_named(const std::string& name) {
  for (const VmRow* r : built_rows())
    if (r->name() == name) return *r;
  throw std::runtime_error(name + " is not built");
}

// ---- calls --------------------------------------------------------------------------------------
// The kernel library as a host loads it: by file name (a program that imports nothing from it
// may not have it loaded yet).
inline void* kernel_library() {
  static void* lib = dlopen(kernel_library_path().c_str(), RTLD_NOW | RTLD_LOCAL);
  return lib;
}

// The dispatch table of a row's contiguous or strided form, by name.
inline void* const* table(const vm::catalogue::Row& row, bool strided) {
  void* lib = kernel_library();
  const std::string sym = "zorp_fenn_kernel_" + std::string(row.name + 1) + (strided ? "I" : "") + "_ttab";
  return static_cast<void* const*>(dlsym(lib, sym.c_str()));
}

// One call of `slot` on n elements given as arrays of parts: a, b the arguments, r1, r2 the
// results; inc = {inca, incb, incr1, incr2} in elements, read by the strided form only. Arrays a
// shape does not use may be null. VS passes element 0 of b as its scalar.
template <typename R>
void call(const VmRow& row, int slot, bool strided, int32_t n, const R* a, const R* b, R* r1, R* r2,
          const int32_t* inc = nullptr) {
  void* k = table(row.cat, strided)[slot];
  using P = const void*;
  using Q = void*;
  const int32_t* i = inc;
  switch (row.shape()) {
    case Shape::A1R1:
    case Shape::C1R1R:
    case Shape::R1C1:
      if (strided) reinterpret_cast<void (*)(int32_t, P, int32_t, Q, int32_t)>(k)(n, a, i[0], r1, i[2]);
      else reinterpret_cast<void (*)(int32_t, P, Q)>(k)(n, a, r1);
      return;
    case Shape::A2R1:
      if (strided) reinterpret_cast<void (*)(int32_t, P, int32_t, P, int32_t, Q, int32_t)>(k)(n, a, i[0], b, i[1], r1, i[2]);
      else reinterpret_cast<void (*)(int32_t, P, P, Q)>(k)(n, a, b, r1);
      return;
    case Shape::A1R2:
      if (strided) reinterpret_cast<void (*)(int32_t, P, int32_t, Q, int32_t, Q, int32_t)>(k)(n, a, i[0], r1, i[2], r2, i[3]);
      else reinterpret_cast<void (*)(int32_t, P, Q, Q)>(k)(n, a, r1, r2);
      return;
    case Shape::LINFRAC: {
      using S = accuracy::LinearFracScalars<R>;
      if (strided)
        reinterpret_cast<void (*)(int32_t, P, int32_t, P, int32_t, R, R, R, R, Q, int32_t)>(k)(
            n, a, i[0], b, i[1], S::sa, S::ha, S::sb, S::hb, r1, i[2]);
      else reinterpret_cast<void (*)(int32_t, P, P, R, R, R, R, Q)>(k)(n, a, b, S::sa, S::ha, S::sb, S::hb, r1);
      return;
    }
    case Shape::VS: {
      // The scalar goes by value, but a double complex one by reference.
      auto go = [&](auto s) {
        if (strided) reinterpret_cast<void (*)(int32_t, P, int32_t, decltype(s), Q, int32_t)>(k)(n, a, i[0], s, r1, i[2]);
        else reinterpret_cast<void (*)(int32_t, P, decltype(s), Q)>(k)(n, a, s, r1);
      };
      if (row.cat.type == 'z') return go(static_cast<const ZorpComplex16*>(static_cast<P>(b)));
      if (!b) return go(R(0));  // n = 0
      if (row.cat.type == 'c') return go(ZorpComplex8{float(b[0]), float(b[1])});
      return go(b[0]);
    }
    default: return;  // pack and unpack have tests of their own
  }
}

// ---- samples ------------------------------------------------------------------------------------
template <typename R>
using Bits = std::conditional_t<sizeof(R) == 4, uint32_t, uint64_t>;
template <typename R>
Bits<R> bits(R x) {
  Bits<R> b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}

// Zeros, infinities, NaN, the extremes of the normal and subnormal ranges, numbers next to 1,
// small integers and halves.
template <typename R>
std::vector<R> special_values() {
  using L = std::numeric_limits<R>;
  std::vector<R> v = {R(0), -R(0), L::infinity(), -L::infinity(), L::quiet_NaN(), L::denorm_min(), -L::denorm_min(),
                      L::min(), -L::min(), L::min() - L::denorm_min(), L::max(), -L::max(), L::epsilon(),
                      R(1) - L::epsilon() / 2, R(1) + L::epsilon()};
  for (int k = -4; k <= 4; ++k) v.insert(v.end(), {R(k), R(k) + R(0.5)});
  return v;
}

// Arguments as arrays of parts: n elements of the row's argument shape.
template <typename R>
struct Sample {
  std::vector<R> a, b;
  size_t n = 0;
};

template <typename R>
class Sampler {
 public:
  Sampler(const VmRow& row, uint64_t seed) : row_(row), parts_(row.in_parts()), rng_(seed) {}

  // Values spread evenly over the bit patterns between lo and hi; both signs when the range
  // straddles zero.
  R spread(R lo, R hi) {
    auto between = [&](R x, R y) {  // 0 <= x <= y
      return from_bits(std::uniform_int_distribution<Bits<R>>(bits(x), bits(y))(rng_));
    };
    if (lo >= 0) return between(lo, hi);
    if (hi <= 0) return -between(-hi, -lo);
    return (rng_() & 1) ? between(R(0), hi) : -between(R(0), -lo);
  }
  R uniform(R lo, R hi) { return std::uniform_real_distribution<R>(lo, hi)(rng_); }

  // n elements with every part drawn by `part`.
  template <typename F>
  void fill(Sample<R>& s, size_t n, F part) {
    for (size_t i = 0; i < n * parts_; ++i) s.a.push_back(part()), s.b.push_back(part());
    s.n += n;
  }
  void push(Sample<R>& s, std::initializer_list<R> a, std::initializer_list<R> b) {
    s.a.insert(s.a.end(), a.begin(), a.end());
    s.b.insert(s.b.end(), b.begin(), b.end());
    ++s.n;
  }

  // Every special element: each special value (or pair of them, the parts of a complex
  // element) alone, and for two arguments against every other.
  void specials(Sample<R>& s) {
    const auto v = special_values<R>();
    std::vector<std::pair<R, R>> e;
    for (R x : v)
      for (R y : parts_ == 2 ? v : std::vector<R>{R(0)}) e.push_back({x, y});
    const size_t m = e.size();
    auto add = [&](const std::pair<R, R>& x, const std::pair<R, R>& y) {
      if (parts_ == 2) push(s, {x.first, x.second}, {y.first, y.second});
      else push(s, {x.first}, {y.first});
    };
    if (row_.args() == 1) {
      for (const auto& x : e) add(x, x);
    } else if (parts_ == 1) {
      for (const auto& x : e)
        for (const auto& y : e) add(x, y);
    } else {  // complex pairs: a shuffled pairing, and each against an ordinary element
      const std::pair<R, R> ordinary = {R(0.75), R(-1.25)};
      for (size_t i = 0; i < m; ++i) add(e[i], e[(37 * i + 11) % m]), add(e[i], ordinary), add(ordinary, e[i]);
    }
  }

  // Each edge of a one-argument function and its two neighbours.
  void edges(Sample<R>& s) {
    if ((row_.args() != 1 && row_.extra != Extra::orders) || parts_ != 1) return;
    for (double e : row_.edges)
      for (R x : {R(e), std::nextafter(R(e), -std::numeric_limits<R>::infinity()),
                  std::nextafter(R(e), std::numeric_limits<R>::infinity())})
        push(s, {x}, {x});
  }

  // Quotients a/b next to m + 1/2 and at m for integers m of every size, and huge ones.
  void near_ties(Sample<R>& s, size_t n) {
    std::uniform_real_distribution<R> mant(1, 2);
    const int digits = std::numeric_limits<R>::digits;
    while (s.n < n) {
      const R y = std::ldexp(mant(rng_), static_cast<int>(rng_() % 60) - 30);
      const R m = std::floor(std::ldexp(mant(rng_), static_cast<int>(rng_() % (digits - 2))));
      const R tie = (m + R(0.5)) * y, huge = std::ldexp(mant(rng_), static_cast<int>(rng_() % (digits + 8)) - 4) * y;
      const R sa = (rng_() & 1) ? R(1) : R(-1), sb = (rng_() & 1) ? R(1) : R(-1);
      for (R x : {tie, std::nextafter(tie, R(0)), std::nextafter(tie, 2 * tie), m * y, huge}) push(s, {sa * x}, {sb * y});
    }
  }

  // A part within 2^±2 of a scale drawn over the whole exponent range, with either sign.
  R at_scale(int e) {
    const R m = std::uniform_real_distribution<R>(R(0.5), R(2))(rng_);
    return std::ldexp((rng_() & 1) ? m : -m, e + std::uniform_int_distribution<int>(-2, 2)(rng_));
  }
  int scale() {
    using L = std::numeric_limits<R>;
    return std::uniform_int_distribution<int>(L::min_exponent + 30, L::max_exponent - 34)(rng_);
  }
  // Complex elements whose parts are of similar size at a common scale (the ordinary case, at
  // every scale); for two arguments every other pair has a = b*w with w = (x, x*2^-d), so that
  // a part of a/b (and of a*conj(b)) is the small difference of two nearly equal products.
  void one_scale(Sample<R>& s, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      const int e = scale(), f = scale();
      const R br = at_scale(e), bi = at_scale(e), ar = at_scale(f), ai = at_scale(f);
      if (row_.args() == 1) {
        push(s, {ar, ai}, {ar, ai});
        continue;
      }
      const R wr = std::abs(at_scale(0)), wi = std::ldexp(wr, -std::uniform_int_distribution<int>(8, 60)(rng_));
      if (i % 2) push(s, {ar, ai}, {br, bi});
      else push(s, {br * wr - bi * wi, br * wi + bi * wr}, {br, bi});
    }
  }

  // |z|^2 - 1 of a complex element, to some 2^-60 of itself near the unit circle (the squares
  // split exactly, the cancelling terms summed exactly): the sample's guide for picking elements
  // and exponents, not a reference.
  static long double unit_gap(R x, R y) {
    const double a = x, b = y, p = a * a, q = b * b, h = p - 1;  // h exact for p in [1/2, 2]
    const double s = h + q, t = (h - (s - (s - h))) + (q - (s - h));
    return (static_cast<long double>(s) + std::fma(a, a, -p) + std::fma(b, b, -q)) + t;
  }
  // Complex elements next to the unit circle, where ln|z| is tiny beside the parts and |z|^2 - 1
  // cancels: the logarithms, the power (Re w = br ln|a| - bi arg a) and the inverse functions
  // whose branch points lie on the circle. A point cos t + i sin t rounded, t at every angle and
  // half the time next to an axis or a diagonal (down to 2^-(digits+8) away), or now and then a
  // rational point of the circle ((m^2 - j^2, 2mj) / (m^2 + j^2), (3/5, 4/5) among them) rounded.
  // Runs of 64 elements take it in one of three ways: both parts scaled by 1 +- 2^-e u (e from
  // 16 to the precision, u in [1, 2)), so that |z|^2 - 1 is some 2^-e; one part moved by up to 4
  // ulps; or, of 64 neighbours (the smaller part moved by up to 32 ulps, the larger the circle's
  // for it, rounded), the one nearest the circle, where the parts' rounding errors cancel in
  // |z|^2 - 1 to some 2^-6 of an ulp or less. Never on the circle itself: its only points with
  // binary parts, those on the axes, are moved off it. For two arguments a run also shares the
  // way b is drawn: in half the runs br puts br ln|a| within 2^+-2 of one (an error of ln|a|
  // shows in the modulus) beside a small bi, in the others both parts of b are of moderate size;
  // so Powx, which takes one exponent per call of 64, suits most of a call's elements.
  void unit_circle(Sample<R>& s, size_t n) {
    using L = std::numeric_limits<R>;
    using LD = long double;
    const LD pi = 3.141592653589793238462643383279502884L;
    const R inf = L::infinity();
    auto sign = [&] { return (rng_() & 1) ? 1 : -1; };
    auto between = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); };
    auto mantissa = [&] { return LD(uniform(R(1), R(2))); };
    auto moved = [&](R p, int steps) {
      for (int i = 0; i < std::abs(steps); ++i) p = std::nextafter(p, steps > 0 ? inf : -inf);
      return p;
    };
    const size_t end = s.n + n;
    while (s.n < end) {
      const int way = rng_() % 4, e = between(16, L::digits);
      const bool large_br = rng_() & 1;
      for (int k = 0; k < 64 && s.n < end; ++k) {
        R x, y;
        if (rng_() % 8 == 0) {
          const LD m = 2 + rng_() % 4000, j = 1 + rng_() % (static_cast<uint64_t>(m) - 1), h = m * m + j * j;
          x = R(sign() * (m * m - j * j) / h), y = R(sign() * 2 * m * j / h);
          if (rng_() & 1) std::swap(x, y);
        } else {
          const LD off = sign() * std::ldexp(mantissa(), -between(1, L::digits + 8));
          const int kind = rng_() % 4;  // anywhere, anywhere, next to an axis, next to a diagonal
          const LD t = kind < 2 ? LD(uniform(R(0), R(2))) * pi : LD(rng_() % 4) * pi / 2 + (kind == 3 ? pi / 4 : 0) + off;
          x = R(std::cos(t)), y = R(std::sin(t));
        }
        if (way < 2) {
          const LD f = 1 + sign() * std::ldexp(mantissa(), -e);
          x = R(x * f), y = R(y * f);
        } else if (way == 2) {
          R& p = (rng_() & 1) ? x : y;
          p = moved(p, between(-4, 4));
        } else {
          const bool x_lesser = std::abs(x) < std::abs(y);
          const R lesser = x_lesser ? x : y, greater = x_lesser ? y : x;
          R best_lesser = lesser, best_greater = greater;
          LD best = std::fabs(unit_gap(x, y));
          for (int step = -32; step < 32; ++step) {
            const R a = moved(lesser, step), b = std::copysign(R(std::sqrt(1 - LD(a) * a)), greater);
            const LD g = std::fabs(unit_gap(a, b));
            if (g != 0 && (g < best || best == 0)) best = g, best_lesser = a, best_greater = b;
          }
          x = x_lesser ? best_lesser : best_greater, y = x_lesser ? best_greater : best_lesser;
        }
        if ((x == 0 || y == 0) && std::max(std::abs(x), std::abs(y)) == 1) (x == 0 ? y : x) *= R(1) - L::epsilon() / 2;
        if (row_.args() == 1) {
          push(s, {x, y}, {x, y});
        } else if (large_br) {
          const LD ln_abs = std::max(std::fabs(unit_gap(x, y)) / 2, std::ldexp(LD(1), -2 * L::digits));
          push(s, {x, y}, {R(sign() * std::ldexp(mantissa(), between(-2, 1)) / ln_abs), at_scale(-2)});
        } else {
          push(s, {x, y}, {at_scale(0), at_scale(0)});
        }
      }
    }
  }

  // Powers: bases within 2^-k of 1 with exponents up to 2^(digits+8); bases anywhere with the
  // exponent that puts the result within 2% (in the logarithm) of the overflow or the underflow
  // threshold; small integral bases and exponents whose results are exact; negative bases with
  // integral exponents.
  void powers(Sample<R>& s, size_t n) {
    using L = std::numeric_limits<R>;
    const int digits = L::digits;
    const double ln_max = std::log(double(L::max())), ln_min = std::log(double(L::denorm_min()));
    while (s.n < n) {
      R x, y;
      switch (rng_() % 4) {
        case 0:
          x = R(1) + std::ldexp(uniform(R(-1), R(1)), -static_cast<int>(rng_() % digits));
          y = std::ldexp(uniform(R(-1), R(1)), static_cast<int>(rng_() % (digits + 8)));
          break;
        case 1: {
          x = spread(L::min(), L::max());
          const double t = ((rng_() & 1) ? ln_max : ln_min) * uniform(R(0.98), R(1.02));
          y = R(t / std::log(double(x)));
          break;
        }
        case 2: {
          x = R(2 + rng_() % 30);
          y = R(std::floor(uniform(R(1), R(digits / std::log2(double(x))))));
          if (rng_() & 1) x = -x;
          break;
        }
        default:
          x = -uniform(R(0.5), R(4));
          y = R(static_cast<int>(rng_() % 200) - 100);
      }
      push(s, {x}, {y});
    }
  }
  // Arguments next to multiples of pi/2, where the reduced argument loses the most leading bits:
  // the number of each binade nearest to a multiple (found exactly by the continued-fraction
  // walk of near_pio2.h) with its two neighbours, then the multiples k pi/2 rounded, for k of
  // every size, with their neighbours. Both signs.
  void near_pio2(Sample<R>& s, size_t n) {
    using L = std::numeric_limits<R>;
    static const std::vector<R> nearest = [] {
      std::vector<R> v;
      for (int e = -L::digits; e + L::digits <= L::max_exponent; ++e) v.push_back(R(pio2::nearest_in_binade(L::digits, e).value()));
      return v;
    }();
    const R inf = L::infinity();
    auto around = [&](R x) {
      for (R y : {x, std::nextafter(x, R(0)), std::nextafter(x, inf)})
        if (y >= R(row_.lo) && y <= R(row_.hi)) push(s, {(rng_() & 1) ? y : -y}, {y});
    };
    for (R x : nearest) around(x);
    // A range that holds no positive multiple of pi/2 (a tool run on [0.6, 1]) has nothing more.
    const double quarter_turns = std::floor(row_.hi / 1.5707963267948966);
    if (quarter_turns < 1 || quarter_turns * 1.5707963267948966 < row_.lo) return;
    while (s.n < n) {
      const double k = std::floor(std::ldexp(uniform(R(1), R(2)), static_cast<int>(rng_() % (L::digits + 10))));
      around(R(k * 1.5707963267948966));
    }
  }

  // count elements spread over [lo, hi], count/2 uniform in [ulo, uhi], `extra` of the row's
  // extra sample, the special elements and the edges.
  Sample<R> make(size_t count, size_t extra) {
    Sample<R> s;
    fill(s, count, [&] { return spread(R(row_.lo), R(row_.hi)); });
    fill(s, count / 2, [&] { return uniform(R(row_.ulo), R(row_.uhi)); });
    if (row_.extra == Extra::near_ties) near_ties(s, s.n + extra);
    if (row_.extra == Extra::one_scale) one_scale(s, extra);
    if (row_.extra == Extra::every_scale || row_.extra == Extra::unit_circle) one_scale(s, extra / 8);
    if (row_.extra == Extra::unit_circle) unit_circle(s, extra / 8);
    if (row_.extra == Extra::powers) powers(s, s.n + extra);
    if (row_.extra == Extra::near_pio2) near_pio2(s, s.n + extra);
    specials(s);
    edges(s);
    // A row of an integer order: every call of the sweep (64 elements) takes the next order.
    if (!row_.orders.empty())
      for (size_t i = 0; i < s.n; ++i) s.b[i] = R(row_.orders[i / 64 % row_.orders.size()]);
    return s;
  }

 private:
  static R from_bits(Bits<R> b) {
    R x;
    std::memcpy(&x, &b, sizeof x);
    return x;
  }
  const VmRow& row_;
  size_t parts_;
  std::mt19937_64 rng_;
};

// ---- the sweep ----------------------------------------------------------------------------------
inline std::vector<int32_t>* g_statuses = nullptr;
inline size_t g_status_base = 0;  // the element of the sample where the current call starts
inline int32_t record_status(ZorpVmErrorRecord* rec) {
  (*g_statuses)[g_status_base + rec->index] = rec->status;
  return 1;  // the kernel's results stay
}

// Powx's exponents with a fast path in some slot: +0, 1 to 9, -1, +-1/2, 3/2, 1/3 and 2/3 (the
// nearest numbers of the type).
template <typename R>
bool is_powx_fast_exponent(const VmRow& row, R b) {
  if (std::string(row.name()).find("Powx") == std::string::npos) return false;
  if (b == 0) return !std::signbit(b);
  for (int k = 1; k <= 9; ++k)
    if (b == R(k)) return true;
  return b == R(-1) || b == R(0.5) || b == R(-0.5) || b == R(1.5) || b == R(1) / R(3) || b == R(2) / R(3);
}

// The magnitude in whose ulps an error may be counted instead (0: none): for the Bessel
// functions 1/sqrt(max(1, |a|)), their size far from the origin.
inline double envelope(Rule rule, double a) {
  if (rule == Rule::CLASS_OR_ENVELOPE) return 1 / std::sqrt(std::max(1.0, std::fabs(a)));
  return 0;
}

// A complex power a^b = e^w: the magnitude of the terms of its phase Im w = br arg a + bi ln|a|,
// T = 1 + |br arg a| + |bi ln|a||, sets how well a double-double method knows the phase: to some
// 2^-62 T. A part's error may be counted in ulps of E = 2^-10 T |a^b|, the error such a phase
// leaves in a part near a zero of the cosine or sine; a part below one ulp of E is not settled
// at all (its sign, and beside an overflowing modulus whether it is finite), and is only held
// below a few ulps of E. Beyond T = 2^44 no such method knows the phase to a fraction of a
// turn, and only the class of each part (NaN, infinite, finite) is compared, and beside an
// infinite modulus only whether it is NaN. T = 0 where the arguments are not finite and nonzero.
struct Phase {
  double terms = 0;
  long double log2_modulus = 0;  // Re w / ln 2
};
inline Phase phase_of(const accuracy::Outcome& o) {
  using L = long double;
  const L la = std::log(std::hypot(L(o.a[0]), L(o.a[1]))), ta = std::atan2(L(o.a[1]), L(o.a[0]));
  const L br = o.b[0], bi = o.b[1];
  if (!std::isfinite(la) || !std::isfinite(br) || !std::isfinite(bi)) return {};
  return {static_cast<double>(1 + std::fabs(br * ta) + std::fabs(bi * la)), (br * la - bi * ta) / std::log(L(2))};
}
constexpr double kPhaseLost = 0x1p44, kPhaseShare = 0x1p-10;

// The exponent of one ulp of E for a result of R's precision: |exact part| below 2^that is not
// settled. The modulus's exponent from the exact parts, or from Re w where it leaves even the
// reference's range.
template <typename R>
long unsettled_below(const Phase& ph, const accuracy::Z& r) {
  long e = LONG_MIN;
  for (int p = 0; p < 2; ++p)
    if (mpfr_regular_p(r.part(p))) e = std::max<long>(e, mpfr_get_exp(r.part(p)));
  // Re w itself may be far beyond any exponent (1e300 ln 2): held to 2^40, far past both ranges
  if (e == LONG_MIN && (mpfr_inf_p(r.part(0)) || mpfr_inf_p(r.part(1))) && !std::isnan(ph.log2_modulus))
    e = static_cast<long>(std::clamp(ph.log2_modulus, -0x1p40L, 0x1p40L)) + 1;
  return e == LONG_MIN ? LONG_MIN : e + std::ilogb(kPhaseShare * ph.terms) + 1 - std::numeric_limits<R>::digits;
}
template <typename R>
bool unsettled(mpfr_srcptr exact, long below) {
  return below != LONG_MIN && !mpfr_nan_p(exact) && !mpfr_zero_p(exact) && (mpfr_inf_p(exact) || mpfr_get_exp(exact) <= below);
}
// An unsettled part is right when its size stays within a few of those ulps (infinite where they
// lie beyond R's range).
template <typename R>
bool within_unsettled(R computed, long below) {
  const long limit = below + 2;
  if (computed == 0) return true;
  if (std::isnan(computed)) return false;
  if (std::isinf(computed)) return limit > std::numeric_limits<R>::max_exponent;
  return std::ilogb(computed) + 1 <= limit;
}

// Runs the kernel of `slot` once over the sample with callouts on, then compares every element.
template <typename R>
accuracy::Stats<R> sweep(const VmRow& row, int slot, Sample<R> s) {
  using namespace accuracy;
  const size_t n = s.n, pin = row.in_parts(), pout = row.out_parts();
  std::vector<R> r1(n * pout), r2(n * pout);
  std::vector<int32_t> statuses(n, 0);
  g_statuses = &statuses;
  g_status_base = 0;
  const uint32_t saved = _fennSetMode(ZORP_VM_HA | ZORP_VM_ERRMODE_CALLBACK);
  const ZorpVmErrorCallback saved_cb = _fennSetErrorCallBack(record_status);
  if (row.shape() == Shape::VS) {  // one scalar per call: the first element's b, for 64 elements
    for (size_t i = 0; i < n; i += 64) {
      // Powx hands a fixed list of exponents to other kernels (tested on their own, with the
      // hand-over in tests/vm/powx_test.cpp); the contract is the general power, so a block
      // takes the first exponent of its elements that is not on the list.
      size_t first = i;
      while (is_powx_fast_exponent(row, s.b[first * pin]) && first + 1 < std::min(n, i + 64)) ++first;
      std::swap(s.b[i * pin], s.b[first * pin]);
      std::swap(s.a[i * pin], s.a[first * pin]);
      for (size_t j = i; j < std::min(n, i + 64); ++j)
        for (size_t p = 0; p < pin; ++p) s.b[j * pin + p] = s.b[i * pin + p];
      g_status_base = i;
      call<R>(row, slot, false, static_cast<int32_t>(std::min<size_t>(64, n - i)), &s.a[i * pin], &s.b[i * pin],
              &r1[i * pout], &r2[i * pout]);
    }
  } else {
    call<R>(row, slot, false, static_cast<int32_t>(n), s.a.data(), s.b.data(), r1.data(), r2.data());
  }
  _fennSetErrorCallBack(saved_cb);
  _fennSetMode(saved);

  Stats<R> st;
  Z args[2], exact[2];
  const R* res[2] = {r1.data(), r2.data()};
  for (size_t i = 0; i < n; ++i) {
    Outcome o{};
    Element el;
    o.complex = row.cat.complex();
    o.arg_nan = false;
    o.args_finite = true;
    for (int k = 0; k < 2; ++k)
      for (size_t p = 0; p < 2; ++p) {
        const std::vector<R>& v = k ? s.b : s.a;
        const R x = p < pin ? v[i * pin + p] : R(0);
        (k ? o.b : o.a)[p] = (k ? el.b : el.a)[p] = x;
        set_exact(args[k].part(p), x);
        if (k < row.args()) o.arg_nan |= std::isnan(x), o.args_finite &= std::isfinite(x);
      }
    mpfr_clear_flags();
    row.ref.f(args, exact, row.dbl());
    // MPC reaches some poles (atanh(1)) without raising the flag: an infinite exact part from
    // finite arguments that did not overflow the reference's range is a pole all the same
    o.pole = mpfr_divby0_p();
    const bool beyond_range = mpfr_overflow_p();
    for (int k = 0; k < row.results(); ++k)
      for (size_t p = 0; p < pout; ++p) o.pole |= o.args_finite && !beyond_range && mpfr_inf_p(exact[k].part(p));
    const bool mpfr_underflow = mpfr_underflow_p();
    o.least_normal = std::numeric_limits<R>::min();
    o.r = round_to<R>(exact[0].part(0));
    o.nan = o.overflow = o.underflow = false;
    for (int k = 0; k < row.results(); ++k)
      for (size_t p = 0; p < pout; ++p) {
        mpfr_srcptr x = exact[k].part(p);
        o.nan |= mpfr_nan_p(x) != 0;
        o.overflow |= o.args_finite && std::isinf(round_to<R>(x));
        o.underflow |= o.args_finite && (mpfr_underflow || (mpfr_regular_p(x) && std::fabs(mpfr_get_d(x, MPFR_RNDZ)) < o.least_normal));
      }
    const Phase ph = row.rule == Rule::CLASS_PHASE ? phase_of(o) : Phase{};
    const bool phase_lost = ph.terms > kPhaseLost;
    const long below = ph.terms > 0 && !phase_lost ? unsettled_below<R>(ph, exact[0]) : LONG_MIN;
    double env = envelope(row.rule, o.a[0]);
    if (ph.terms > 0) env = kPhaseShare * ph.terms * std::hypot(mpfr_get_d(exact[0].part(0), MPFR_RNDN), mpfr_get_d(exact[0].part(1), MPFR_RNDN));
    const bool any_zero = row.rule == Rule::CLASS_ZERO_ANY_SIGN || row.rule == Rule::CLASS_PHASE;
    bool loose = phase_lost;
    const bool unbounded = std::isinf(accuracy::round_to<R>(exact[0].part(0))) || std::isinf(accuracy::round_to<R>(exact[0].part(1)));
    for (int k = 0; k < row.results(); ++k) {
      for (size_t p = 0; p < pout; ++p) el.r[p] = res[k][i * pout + p];
      for (size_t p = 0; p < pout; ++p) {
        el.part = static_cast<int>(p);
        const R got = res[k][i * pout + p];
        if (phase_lost) {
          st.add_class(got, exact[k].part(p), el, unbounded);
        } else if (unsettled<R>(exact[k].part(p), below)) {
          loose = true;
          if (!within_unsettled(got, below)) st.add(got, exact[k].part(p), el, any_zero, 0);
        } else {
          st.add(got, exact[k].part(p), el, any_zero, env);
        }
      }
    }
    // where a part is not settled, neither is whether it overflows or underflows
    const int wanted = row.status(o);
    auto size_status = [](int s) { return s == 0 || s == 3 || s == 4; };
    st.add_status(loose && size_status(wanted) && size_status(statuses[i]) ? wanted : statuses[i], wanted, el);
  }
  return st;
}

template <typename R>
accuracy::Stats<R> sweep(const VmRow& row, int slot, size_t count, size_t extra, uint64_t seed) {
  return sweep<R>(row, slot, Sampler<R>(row, seed).make(count, extra));
}

}  // namespace zorp::test
