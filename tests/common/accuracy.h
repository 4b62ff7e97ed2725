// Accuracy measurement of vector-math kernels against MPFR.
//
// A kernel's error on one element is |computed - exact| in units in the last place of the exact
// value in the kernel's precision (the spacing of that precision's numbers at the exact value,
// subnormal spacing below the normal range), with the exact value computed by MPFR at 160 bits.
// Besides max and mean ulp, the harness keeps the number of correct bits, -log2 of the largest
// relative error, which is what the EP class promises.
//
// Registering a function takes a few lines: name, slot, the kernel as a callable on n elements,
// and the MPFR reference, e.g.
//
//   using namespace zorp::test::accuracy;
//   Case<float> c = unary<float>("vsExp", Slot::HA, [](int n, const float* a, float* r) {
//     _fennsExp_HA(n, a, r); }, mpfr_exp);
//   Stats s = measure(c, sample_bits<float>(100000, -104.0f, 89.0f, 1));
//   EXPECT_TRUE(s.meets(c.slot)) << s.describe(c);
//
// Special results (NaN, infinities, exact zeros) are checked for exact agreement and counted in
// `special_mismatches` rather than folded into the ulp figures. Tests assert the class bound of
// the slot; tools/accuracy prints the whole table.
#pragma once
#include <mpfr.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

namespace zorp::test::accuracy {

enum class Slot { LA = 0, HA = 1, EP = 2 };
inline const char* slot_name(Slot s) { return s == Slot::LA ? "LA" : s == Slot::HA ? "HA" : "EP"; }

inline constexpr mpfr_prec_t kRefPrecision = 160;

// The correct-bit counts of the EP entry suffixes.
template <typename T>
constexpr int ep_bits() {
  return sizeof(T) == 4 ? 11 : 26;
}

// An MPFR value with the reference precision, freed on scope exit.
struct Mp {
  mpfr_t v;
  Mp() { mpfr_init2(v, kRefPrecision); }
  explicit Mp(mpfr_prec_t p) { mpfr_init2(v, p); }
  ~Mp() { mpfr_clear(v); }
  Mp(const Mp&) = delete;
  Mp& operator=(const Mp&) = delete;
  operator mpfr_ptr() { return v; }
  operator mpfr_srcptr() const { return v; }
};

template <typename T>
inline void set_exact(mpfr_ptr m, T x) {
  if constexpr (sizeof(T) == 4) mpfr_set_flt(m, x, MPFR_RNDN);
  else mpfr_set_d(m, x, MPFR_RNDN);
}

// The exact value rounded to T (round to nearest, with T's exponent range and subnormals).
template <typename T>
inline T round_to(mpfr_srcptr exact) {
  constexpr int p = std::numeric_limits<T>::digits;
  constexpr int emin = std::numeric_limits<T>::min_exponent - p + 1;
  constexpr int emax = std::numeric_limits<T>::max_exponent;
  const mpfr_exp_t save_min = mpfr_get_emin(), save_max = mpfr_get_emax();
  Mp t(p);
  int inex = mpfr_set(t, exact, MPFR_RNDN);
  mpfr_set_emin(emin);
  mpfr_set_emax(emax);
  inex = mpfr_check_range(t, inex, MPFR_RNDN);
  mpfr_subnormalize(t, inex, MPFR_RNDN);
  mpfr_set_emin(save_min);
  mpfr_set_emax(save_max);
  if constexpr (sizeof(T) == 4) return mpfr_get_flt(t, MPFR_RNDN);
  else return mpfr_get_d(t, MPFR_RNDN);
}

// Error of `computed` against the exact value in ulps of T at the exact value. Returns a
// negative number when the two disagree on a special value (NaN, infinity), 0 when they agree.
template <typename T>
inline double ulp_error(T computed, mpfr_srcptr exact) {
  if (mpfr_nan_p(exact)) return std::isnan(computed) ? 0.0 : -1.0;
  const T rounded = round_to<T>(exact);
  if (std::isinf(rounded) || std::isnan(computed) || std::isinf(computed)) {
    if (std::isnan(computed)) return -1.0;
    if (rounded == computed) return 0.0;
    if (std::isinf(rounded) && std::isinf(computed)) return -1.0;  // opposite infinities
    if (std::isinf(computed)) return -1.0;
    // the exact value overflows but the kernel gave a finite number: measure it anyway
  }
  constexpr int p = std::numeric_limits<T>::digits;
  constexpr int emin_normal = std::numeric_limits<T>::min_exponent;  // 2^(e-1) is the least normal
  Mp diff;
  set_exact(diff, computed);
  mpfr_sub(diff, diff, exact, MPFR_RNDN);
  if (mpfr_zero_p(diff)) return 0.0;
  long e = mpfr_zero_p(exact) ? emin_normal : static_cast<long>(mpfr_get_exp(exact));
  if (e < emin_normal) e = emin_normal;
  // |exact| < 2^e, so one ulp is 2^(e - p)
  mpfr_mul_2si(diff, diff, p - e, MPFR_RNDN);
  return std::fabs(mpfr_get_d(diff, MPFR_RNDN));
}

// Relative error |computed - exact| / |exact| (0 for an exact zero matched exactly).
template <typename T>
inline double relative_error(T computed, mpfr_srcptr exact) {
  if (!mpfr_number_p(exact) || !std::isfinite(computed)) return 0.0;
  Mp diff;
  set_exact(diff, computed);
  mpfr_sub(diff, diff, exact, MPFR_RNDN);
  if (mpfr_zero_p(diff)) return 0.0;
  if (mpfr_zero_p(exact)) return std::numeric_limits<double>::infinity();
  mpfr_div(diff, diff, exact, MPFR_RNDN);
  return std::fabs(mpfr_get_d(diff, MPFR_RNDN));
}

template <typename T>
struct Worst {
  T arg1 = 0, arg2 = 0, computed = 0;
  double ulps = 0;
};

// Figures of one kernel over one sample.
template <typename T>
struct Stats {
  size_t count = 0;             // elements with a finite, non-special comparison
  double max_ulp = 0, sum_ulp = 0;
  double max_relative = 0;      // over elements whose exact result is a normal number
  size_t special_mismatches = 0;
  Worst<T> worst;
  T first_mismatch_arg1 = 0, first_mismatch_arg2 = 0, first_mismatch_computed = 0;

  double mean_ulp() const { return count ? sum_ulp / static_cast<double>(count) : 0.0; }
  double correct_bits() const {
    return max_relative > 0 ? -std::log2(max_relative) : std::numeric_limits<T>::digits;
  }

  // One element. arg2 is only for the report; pass arg1 again for one-argument functions.
  void add(T arg1, T arg2, T computed, mpfr_srcptr exact) {
    const double u = ulp_error<T>(computed, exact);
    if (u < 0) {
      if (special_mismatches++ == 0) {
        first_mismatch_arg1 = arg1;
        first_mismatch_arg2 = arg2;
        first_mismatch_computed = computed;
      }
      return;
    }
    ++count;
    sum_ulp += u;
    if (u > max_ulp) {
      max_ulp = u;
      worst = {arg1, arg2, computed, u};
    }
    if (mpfr_number_p(exact) && !mpfr_zero_p(exact)) {
      const T r = round_to<T>(exact);
      if (std::isnormal(r)) {
        const double rel = relative_error<T>(computed, exact);
        if (rel > max_relative) max_relative = rel;
      }
    }
  }
  void merge(const Stats& o) {
    if (o.max_ulp > max_ulp) {
      max_ulp = o.max_ulp;
      worst = o.worst;
    }
    if (o.max_relative > max_relative) max_relative = o.max_relative;
    if (special_mismatches == 0 && o.special_mismatches) {
      first_mismatch_arg1 = o.first_mismatch_arg1;
      first_mismatch_arg2 = o.first_mismatch_arg2;
      first_mismatch_computed = o.first_mismatch_computed;
    }
    special_mismatches += o.special_mismatches;
    count += o.count;
    sum_ulp += o.sum_ulp;
  }

  // The class bound of a slot: HA within 1 ulp, LA within 4 ulp, EP the correct bits of its
  // suffix. Special values must agree exactly in every class.
  bool meets(Slot slot) const {
    if (special_mismatches) return false;
    switch (slot) {
      case Slot::HA: return max_ulp <= 1.0;
      case Slot::LA: return max_ulp <= 4.0;
      case Slot::EP: return correct_bits() >= ep_bits<T>();
    }
    return false;
  }

  std::string describe(const char* name, Slot slot) const {
    char buf[512];
    std::snprintf(buf, sizeof buf,
                  "%s %s: max %.3f ulp (at %.17g, %.17g -> %.17g), mean %.4f ulp, %.1f correct bits, "
                  "%zu elements, %zu special mismatches (first at %.17g, %.17g -> %.17g)",
                  name, slot_name(slot), max_ulp, double(worst.arg1), double(worst.arg2),
                  double(worst.computed), mean_ulp(), correct_bits(), count, special_mismatches,
                  double(first_mismatch_arg1), double(first_mismatch_arg2),
                  double(first_mismatch_computed));
    return buf;
  }
};

// ---- registering a function -------------------------------------------------------------
// The reference computes the exact value of f at the arguments into `out` (reference precision).
using Reference1 = std::function<void(mpfr_ptr out, mpfr_srcptr a)>;
using Reference2 = std::function<void(mpfr_ptr out, mpfr_srcptr a, mpfr_srcptr b)>;

// Adapters for MPFR's own functions, which take a rounding argument.
inline Reference1 ref(int (*f)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t)) {
  return [f](mpfr_ptr out, mpfr_srcptr a) { f(out, a, MPFR_RNDN); };
}
inline Reference2 ref(int (*f)(mpfr_ptr, mpfr_srcptr, mpfr_srcptr, mpfr_rnd_t)) {
  return [f](mpfr_ptr out, mpfr_srcptr a, mpfr_srcptr b) { f(out, a, b, MPFR_RNDN); };
}

template <typename T>
struct Case {
  std::string name;  // public function name, "vsExp"
  Slot slot = Slot::HA;
  int arity = 1;
  std::function<void(int32_t n, const T* a, const T* b, T* r)> kernel;  // b unused for arity 1
  Reference1 ref1;
  Reference2 ref2;
};

template <typename T>
inline Case<T> unary(std::string name, Slot slot, std::function<void(int32_t, const T*, T*)> kernel,
                     Reference1 reference) {
  Case<T> c;
  c.name = std::move(name);
  c.slot = slot;
  c.arity = 1;
  c.kernel = [kernel](int32_t n, const T* a, const T*, T* r) { kernel(n, a, r); };
  c.ref1 = std::move(reference);
  return c;
}
template <typename T>
inline Case<T> unary(std::string name, Slot slot, std::function<void(int32_t, const T*, T*)> kernel,
                     int (*reference)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t)) {
  return unary<T>(std::move(name), slot, std::move(kernel), ref(reference));
}
template <typename T>
inline Case<T> binary(std::string name, Slot slot,
                      std::function<void(int32_t, const T*, const T*, T*)> kernel, Reference2 reference) {
  Case<T> c;
  c.name = std::move(name);
  c.slot = slot;
  c.arity = 2;
  c.kernel = std::move(kernel);
  c.ref2 = std::move(reference);
  return c;
}
template <typename T>
inline Case<T> binary(std::string name, Slot slot,
                      std::function<void(int32_t, const T*, const T*, T*)> kernel,
                      int (*reference)(mpfr_ptr, mpfr_srcptr, mpfr_srcptr, mpfr_rnd_t)) {
  return binary<T>(std::move(name), slot, std::move(kernel), ref(reference));
}

// Runs the kernel once over the whole sample and compares element by element. For arity 1,
// `b` may be empty.
template <typename T>
inline Stats<T> measure(const Case<T>& c, const std::vector<T>& a, const std::vector<T>& b = {}) {
  Stats<T> s;
  std::vector<T> r(a.size());
  c.kernel(static_cast<int32_t>(a.size()), a.data(), c.arity == 2 ? b.data() : a.data(), r.data());
  Mp x, y, exact;
  for (size_t i = 0; i < a.size(); ++i) {
    set_exact(x, a[i]);
    if (c.arity == 2) {
      set_exact(y, b[i]);
      c.ref2(exact, x, y);
    } else {
      c.ref1(exact, x);
    }
    s.add(a[i], c.arity == 2 ? b[i] : a[i], r[i], exact);
  }
  return s;
}

// ---- samples ------------------------------------------------------------------------------
template <typename T>
using Bits = std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>;

template <typename T>
inline T from_bits(Bits<T> b) {
  T x;
  std::memcpy(&x, &b, sizeof x);
  return x;
}
template <typename T>
inline Bits<T> bits_of(T x) {
  Bits<T> b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}

// Values spread evenly over the bit patterns between lo and hi (so evenly over binades, which
// covers the whole range when lo and hi are the extremes). Signs follow lo and hi; a range
// that straddles zero draws both signs.
template <typename T>
inline std::vector<T> sample_bits(size_t n, T lo, T hi, uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::vector<T> v;
  v.reserve(n);
  auto draw_between = [&](T a, T b) {  // 0 <= a <= b
    const Bits<T> ba = bits_of(a), bb = bits_of(b);
    std::uniform_int_distribution<Bits<T>> d(ba, bb);
    return from_bits<T>(d(rng));
  };
  for (size_t i = 0; i < n; ++i) {
    if (lo >= 0) v.push_back(draw_between(lo, hi));
    else if (hi <= 0) v.push_back(-draw_between(-hi, -lo));
    else v.push_back((rng() & 1) ? draw_between(T(0), hi) : -draw_between(T(0), -lo));
  }
  return v;
}

// Every finite value, both signs, evenly over binades.
template <typename T>
inline std::vector<T> sample_whole_range(size_t n, uint64_t seed) {
  using L = std::numeric_limits<T>;
  return sample_bits<T>(n, L::lowest(), L::max(), seed);
}

// Uniform in [lo, hi).
template <typename T>
inline std::vector<T> sample_uniform(size_t n, T lo, T hi, uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<T> d(lo, hi);
  std::vector<T> v(n);
  for (auto& x : v) x = d(rng);
  return v;
}

// The values every function should be tried on: zeros, infinities, NaN, extremes of the normal
// and subnormal ranges, small integers and halves.
template <typename T>
inline std::vector<T> special_set() {
  using L = std::numeric_limits<T>;
  std::vector<T> v = {T(0), -T(0), L::infinity(), -L::infinity(), L::quiet_NaN(),
                      L::denorm_min(), -L::denorm_min(), L::min(), -L::min(),
                      L::min() - L::denorm_min(), L::max(), -L::max(), L::epsilon(),
                      T(1) - L::epsilon() / 2, T(1) + L::epsilon()};
  for (int k = -4; k <= 4; ++k) {
    v.push_back(T(k));
    v.push_back(T(k) + T(0.5));
  }
  return v;
}

// All ordered pairs of a set, as two parallel arrays.
template <typename T>
inline void all_pairs(const std::vector<T>& set, std::vector<T>& a, std::vector<T>& b) {
  a.clear();
  b.clear();
  for (T x : set)
    for (T y : set) {
      a.push_back(x);
      b.push_back(y);
    }
}

}  // namespace zorp::test::accuracy
