// The complex kernels as the tests and tools see them: type letter and element type per real
// type, a kernel slot reached through its dispatch table by name (as a host reaches it), and
// the argument samples and MPFR references shared by the complex tests and tools/accuracy.
#pragma once
#include <dlfcn.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "common/accuracy.h"
#include "vm/arith_kernels.h"
#include "zorp/vm_functions.h"

namespace zorp::test {

template <typename R>
struct Cx;
template <>
struct Cx<float> {
  using C = ZorpComplex8;
  static constexpr char t = 'c';
};
template <>
struct Cx<double> {
  using C = ZorpComplex16;
  static constexpr char t = 'z';
};

// Slot `slot` of <t><fn>[I]_ttab; null when the function is not built for this type.
template <typename R>
void* slot_of(const char* fn, bool strided, int slot) {
  const std::string sym = std::string("zorp_fenn_kernel_") + Cx<R>::t + fn + (strided ? "I" : "") + "_ttab";
  auto* t = static_cast<void* const*>(dlsym(kernel_library(), sym.c_str()));
  return t ? t[slot] : nullptr;
}

template <typename R>
using Unary = void (*)(int32_t, const typename Cx<R>::C*, typename Cx<R>::C*);
template <typename R>
using Binary = void (*)(int32_t, const typename Cx<R>::C*, const typename Cx<R>::C*, typename Cx<R>::C*);

// Parts drawn independently over the whole finite range (so products of large or tiny parts
// would overflow or underflow if a kernel formed them naively), with a few elements whose parts
// are zero or equal, where cancellation is exact.
template <typename R>
std::vector<typename Cx<R>::C> components_over_whole_range(size_t n, uint64_t seed) {
  const auto re = accuracy::sample_whole_range<R>(n, seed), im = accuracy::sample_whole_range<R>(n, seed + 7);
  std::vector<typename Cx<R>::C> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = {re[i], im[i]};
  for (size_t i = 0; i + 3 < n && i < 40; i += 4) {
    v[i].im = 0;
    v[i + 1].re = v[i + 1].im;
  }
  return v;
}

// Parts of similar size (within 2^±30 of each other) at a common scale drawn over the whole
// exponent range: the ordinary case, taken by the kernels' vector paths.
template <typename R>
std::vector<typename Cx<R>::C> components_at_one_scale(size_t n, uint64_t seed) {
  using L = std::numeric_limits<R>;
  std::mt19937_64 rng(seed);
  std::uniform_int_distribution<int> scale(L::min_exponent + 30, L::max_exponent - 34), spread(-30, 30);
  std::uniform_real_distribution<R> mant(R(1), R(2));
  auto part = [&](int e) { return std::ldexp((rng() & 1) ? mant(rng) : -mant(rng), e + spread(rng)); };
  std::vector<typename Cx<R>::C> v(n);
  for (auto& c : v) {
    const int e = scale(rng);
    c = {part(e), part(e)};
  }
  return v;
}

// Parts from a pool of extremes: near the largest finite value, near the least normal,
// subnormal, zero, ordinary; every pairing of a huge, tiny or subnormal part with another.
template <typename R>
std::vector<typename Cx<R>::C> components_from_extremes(size_t n, uint64_t seed) {
  using L = std::numeric_limits<R>;
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<R> u(R(0.5), R(1));
  const R pool_scale[] = {L::max(), L::max() / R(4096), L::min() * R(4096), L::min(), L::denorm_min() * R(1 << 20),
                          L::denorm_min() * R(5), R(1), R(0)};
  std::vector<typename Cx<R>::C> v(n);
  auto part = [&] {
    const R s = pool_scale[rng() % (sizeof pool_scale / sizeof pool_scale[0])];
    const R x = s == L::max() ? s * u(rng) : s * R(2) * u(rng);
    return (rng() & 1) ? x : -x;
  };
  for (auto& c : v) c = {part(), part()};
  return v;
}

// Dividends a = b*w (rounded) for w = (x, x*2^-d), d in [8, 60]: the imaginary part of the
// quotient is the small difference of two nearly equal products, the case that needs the
// numerator formed exactly.
template <typename R>
std::vector<typename Cx<R>::C> dividends_that_cancel(const std::vector<typename Cx<R>::C>& b, uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<R> mant(R(0.5), R(2));
  std::uniform_int_distribution<int> gap(8, 60);
  std::vector<typename Cx<R>::C> a(b.size());
  for (size_t i = 0; i < b.size(); ++i) {
    const R wr = mant(rng), wi = std::ldexp(mant(rng), -gap(rng));
    a[i] = {b[i].re * wr - b[i].im * wi, b[i].re * wi + b[i].im * wr};
  }
  return a;
}

// Exact parts of a/b (MPFR at the reference precision: the products are exact, and sums
// that cancel have exponents within a few bits of each other, so they fit as well).
inline void exact_quotient(mpfr_ptr re, mpfr_ptr im, mpfr_srcptr ar, mpfr_srcptr ai, mpfr_srcptr br, mpfr_srcptr bi) {
  accuracy::Mp den, t1, t2;
  mpfr_sqr(t1, br, MPFR_RNDN), mpfr_sqr(t2, bi, MPFR_RNDN), mpfr_add(den, t1, t2, MPFR_RNDN);
  mpfr_mul(t1, ar, br, MPFR_RNDN), mpfr_mul(t2, ai, bi, MPFR_RNDN), mpfr_add(re, t1, t2, MPFR_RNDN);
  mpfr_div(re, re, den, MPFR_RNDN);
  mpfr_mul(t1, ai, br, MPFR_RNDN), mpfr_mul(t2, ar, bi, MPFR_RNDN), mpfr_sub(im, t1, t2, MPFR_RNDN);
  mpfr_div(im, im, den, MPFR_RNDN);
}

// Exact parts of the principal root of x + iy: with t = sqrt((|z| + |x|)/2) and u = |y|/(2t),
// (t, ±u) for x >= 0 and (u, ±t) for x < 0, the sign of y on the imaginary part. Returns false
// for z = 0 (t = 0), whose root the tests check separately.
inline bool exact_root(mpfr_ptr re, mpfr_ptr im, mpfr_srcptr x, mpfr_srcptr y) {
  accuracy::Mp mod, t, u;
  mpfr_hypot(mod, x, y, MPFR_RNDN);
  mpfr_abs(t, x, MPFR_RNDN), mpfr_add(t, t, mod, MPFR_RNDN), mpfr_div_2ui(t, t, 1, MPFR_RNDN);
  mpfr_sqrt(t, t, MPFR_RNDN);
  if (mpfr_zero_p(t)) return false;
  mpfr_abs(u, y, MPFR_RNDN), mpfr_div(u, u, t, MPFR_RNDN), mpfr_div_2ui(u, u, 1, MPFR_RNDN);
  const bool nonneg = mpfr_sgn(x) >= 0;
  mpfr_set(re, nonneg ? t : u, MPFR_RNDN);
  mpfr_set(im, nonneg ? u : t, MPFR_RNDN);
  if (mpfr_signbit(y)) mpfr_neg(im, im, MPFR_RNDN);
  return true;
}

// Part k (0 real, 1 imaginary) of one result, computed from arguments x and y, into s and, with
// `parts`, into parts[k] as well.
template <typename R>
void add_part(accuracy::Stats<R>& s, accuracy::Stats<R>* parts, int k, R x, R y, R computed, mpfr_srcptr exact) {
  s.add(x, y, computed, exact);
  if (parts) parts[k].add(x, y, computed, exact);
}

// Figures of Div or Sqrt (slot `slot`) over the elements a (and b), both parts together; with
// `parts`, also the real and the imaginary part alone, added into parts[0] and parts[1].
template <typename R>
accuracy::Stats<R> measure_div(int slot, const std::vector<typename Cx<R>::C>& a,
                               const std::vector<typename Cx<R>::C>& b, accuracy::Stats<R>* parts = nullptr) {
  using C = typename Cx<R>::C;
  std::vector<C> q(a.size());
  reinterpret_cast<Binary<R>>(slot_of<R>("Div", false, slot))(static_cast<int32_t>(a.size()), a.data(), b.data(), q.data());
  accuracy::Stats<R> s;
  accuracy::Mp ar, ai, br, bi, re, im;
  for (size_t i = 0; i < a.size(); ++i) {
    accuracy::set_exact(ar, a[i].re), accuracy::set_exact(ai, a[i].im);
    accuracy::set_exact(br, b[i].re), accuracy::set_exact(bi, b[i].im);
    if (b[i].re == 0 && b[i].im == 0) continue;  // the zero divisor has its own test
    exact_quotient(re, im, ar, ai, br, bi);
    add_part(s, parts, 0, a[i].re, b[i].re, q[i].re, re);
    add_part(s, parts, 1, a[i].im, b[i].im, q[i].im, im);
  }
  return s;
}

template <typename R>
accuracy::Stats<R> measure_sqrt(int slot, const std::vector<typename Cx<R>::C>& a, accuracy::Stats<R>* parts = nullptr) {
  using C = typename Cx<R>::C;
  std::vector<C> r(a.size());
  reinterpret_cast<Unary<R>>(slot_of<R>("Sqrt", false, slot))(static_cast<int32_t>(a.size()), a.data(), r.data());
  accuracy::Stats<R> s;
  accuracy::Mp x, y, re, im;
  for (size_t i = 0; i < a.size(); ++i) {
    accuracy::set_exact(x, a[i].re), accuracy::set_exact(y, a[i].im);
    if (!exact_root(re, im, x, y)) continue;
    add_part(s, parts, 0, a[i].re, a[i].im, r[i].re, re);
    add_part(s, parts, 1, a[i].re, a[i].im, r[i].im, im);
  }
  return s;
}

}  // namespace zorp::test
