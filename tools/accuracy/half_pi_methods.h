// Every reduction by pi/2 of vm/kernels/common/trig_reduce.h as a row (range, promised multiple,
// error bound, scalar and vector forms), and one check of all rows that hold an argument
// against MPFR. Shared by the reduction test and tools/reduce_sweep.
//
// Per row: the multiple k is the one the row promises (checked exactly), the remainder is
// within err <= relative |r| + per_k |k| of r = x - k pi/2, and the vector form, with the
// argument in one lane and other arguments in the rest, gives the scalar form's bits in every
// lane.
#pragma once
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "vm/kernels/common/trig_reduce.h"
#include "accuracy/near_pio2.h"

namespace zorp::test::pio2 {

using vm::trig::ErrorBound;
using vm::trig::HalfPi;

inline constexpr int kLanes = 16;

// One outcome, compared bit for bit between scalar and vector forms.
struct Out {
  double hi = 0, lo = 0, k = 0;
  int quadrant = 0;
  bool operator==(const Out& o) const {
    return std::memcmp(&hi, &o.hi, 8) == 0 && std::memcmp(&lo, &o.lo, 8) == 0 && std::memcmp(&k, &o.k, 8) == 0 &&
           quadrant == o.quadrant;
  }
};

// The multiple a row promises: the exact nearest integer (mod 4); an integer one off the
// nearest at most, of which the quadrant is reported; round(x fl(2/pi)); floor(x fl(2/pi)) + 1/2.
enum class K { kNearestMod4, kQuadrant, kRounded, kHalf };

struct Method {
  const char* name;
  double limit;  // applies to |x| < limit
  bool float_only;
  K k;
  double inverse;  // 1/C rounded, for kRounded and kHalf
  int quarter_turns;  // C = quarter_turns pi/2
  ErrorBound bound;
  std::function<Out(double)> scalar;
  std::function<void(const double*, Out*)> vector;  // kLanes arguments, or none
};

namespace detail {

// The Cody-Waite forms as (hi, lo, k, shifted), for a scalar or a register.
template <typename V>
struct Cw {
  V hi, lo, k, shifted;
};
template <typename V>
Cw<V> single(V x) {
  const vm::trig::Reduction<V> q = vm::trig::reduce_half_pi(x);
  return {q.r, V{}, q.k.k, q.k.shifted};
}
template <typename V>
Cw<V> pair(V x) {
  const vm::trig::PairReduction<V> q = vm::trig::reduce_half_pi_pair(x);
  return {q.r.hi, q.r.lo, q.k.k, q.k.shifted};
}
template <typename V>
Cw<V> short_pair(V x) {
  const vm::trig::PairReduction<V> q = vm::trig::reduce_half_pi_short_pair(x);
  return {q.r.hi, q.r.lo, q.k.k, q.k.shifted};
}
// Half multiples, with r^2 taken after two parts as a cosine kernel might (so in two slices).
template <typename V>
Cw<V> half(V x) {
  constexpr auto& c = HalfPi<double>::kSplit;
  const vm::trig::Multiple<V> k = vm::trig::half_multiple(x, c.inverse);
  const V r = vm::trig::subtract_multiple<0, 2>(x, k.k, c);
  return {vm::trig::subtract_multiple<2>(r, k.k, c), V{}, k.k, k.shifted};
}
// The general form with another constant: pi in two parts (twice c0 and c1; 1/pi is half the
// rounded 2/pi, all exact), nearest multiples.
inline constexpr vm::trig::Split<double, 2> kPiInTwo = {
    HalfPi<double>::kSplit.inverse / 2, {2 * HalfPi<double>::kSplit.part[0], 2 * HalfPi<double>::kSplit.part[1]}};
template <typename V>
Cw<V> pi_in_two(V x) {
  const vm::trig::Multiple<V> k = vm::trig::nearest_multiple(x, kPiInTwo.inverse);
  return {vm::trig::subtract_multiple(x, k.k, kPiInTwo), V{}, k.k, k.shifted};
}

template <typename T>
Out out_of(const Cw<T>& c) {
  return {c.hi, c.lo, c.k, vm::trig::quadrant_of(vm::trig::Multiple<T>{c.k, c.shifted})};
}

template <typename T, Cw<T> (*S)(T), Cw<simd::Vec<T>> (*V)(simd::Vec<T>)>
Method cody_waite(const char* name, double limit, K k, double inverse, int quarter_turns, ErrorBound bound) {
  auto vector = [](const double* in, Out* out) {
    constexpr int n = simd::kLanes<T>;
    for (int base = 0; base < kLanes; base += n) {
      T a[n], hi[n], lo[n], kk[n], sh[n];
      for (int i = 0; i < n; ++i) a[i] = static_cast<T>(in[base + i]);
      const Cw<simd::Vec<T>> r = V(simd::load(a));
      simd::store(hi, r.hi), simd::store(lo, r.lo), simd::store(kk, r.k), simd::store(sh, r.shifted);
      for (int i = 0; i < n; ++i) out[base + i] = out_of(Cw<T>{hi[i], lo[i], kk[i], sh[i]});
    }
  };
  return {name, limit, sizeof(T) == 4, k, inverse, quarter_turns, bound,
          [](double x) { return out_of(S(static_cast<T>(x))); }, vector};
}

inline Out huge(double x) {
  const vm::trig::QuadrantReduction q = vm::trig::reduce_half_pi_huge(x);
  return {q.hi, q.lo, 0, q.quadrant};
}
inline void huge_lanes(const double* in, Out* out) {
  for (int base = 0; base < kLanes; base += 8) {
    const vm::trig::HugeReduction<__m512d> r = vm::trig::reduce_half_pi_huge(simd::load(in + base));
    double hi[8], lo[8];
    int64_t q[8];
    simd::store(hi, r.r.hi), simd::store(lo, r.r.lo), _mm512_storeu_si512(q, r.quadrant);
    for (int i = 0; i < 8; ++i) out[base + i] = {hi[i], lo[i], 0, static_cast<int>(q[i])};
  }
}
inline Out huge_float(double x) {
  const vm::trig::QuadrantReduction q = vm::trig::reduce_half_pi_huge(x);
  return {static_cast<float>(q.hi), 0, 0, q.quadrant};
}
inline void huge_float_lanes(const double* in, Out* out) {
  float a[kLanes], r[kLanes];
  int32_t q[kLanes];
  for (int i = 0; i < kLanes; ++i) a[i] = static_cast<float>(in[i]);
  const vm::trig::HugeReduction<__m512> h = vm::trig::reduce_half_pi_huge(simd::load(a));
  simd::store(r, h.r), _mm512_storeu_si512(q, h.quadrant);
  for (int i = 0; i < kLanes; ++i) out[i] = {r[i], 0, 0, q[i]};
}
inline Out callout(double x) {
  const vm::trig::QuadrantReduction q = vm::trig::reduce_half_pi_scalar(x);
  return {q.hi, q.lo, 0, q.quadrant};
}

}  // namespace detail

inline const std::vector<Method>& methods() {
  using D = HalfPi<double>;
  using F = HalfPi<float>;
  using namespace detail;
  const double inv_d = D::kSplit.inverse, inv_f = F::kSplit.inverse;
  // Half multiples: below 1/2 the first part's subtraction may round once more (u |r|).
  static const ErrorBound half_bound = {D::kSingleError.relative + 0x1p-53, D::kSingleError.per_k};
  // pi in two parts: r1 exact, one rounding of r + k (pi - 2 c0 - 2 c1), |pi - 2 c0 - 2 c1| < 2^-108.
  static const ErrorBound pi_bound = {0x1p-53, 0x1p-108};
  static const std::vector<Method> all = {
      cody_waite<double, single<double>, single<__m512d>>("single double", D::kSingleLimit, K::kRounded, inv_d, 1,
                                                          D::kSingleError),
      cody_waite<double, pair<double>, pair<__m512d>>("pair double", D::kPairLimit, K::kRounded, inv_d, 1, D::kPairError),
      // |x| up to and including its limit
      cody_waite<double, short_pair<double>, short_pair<__m512d>>("short pair double", std::nextafter(D::kShortPairLimit, INFINITY),
                                                                  K::kRounded, inv_d, 1, D::kShortPairError),
      cody_waite<double, half<double>, half<__m512d>>("half multiple double", D::kSingleLimit, K::kHalf, inv_d, 1,
                                                      half_bound),
      cody_waite<double, pi_in_two<double>, pi_in_two<__m512d>>("pi in two parts", 0x1p24, K::kRounded,
                                                                kPiInTwo.inverse, 2, pi_bound),
      cody_waite<float, single<float>, single<__m512>>("single float", F::kSingleLimit, K::kRounded, inv_f, 1,
                                                       F::kSingleError),
      {"huge", INFINITY, false, K::kNearestMod4, 0, 1, D::kHugeError, huge, huge_lanes},
      // floats through the double path; the vector form rounds the remainder to float
      {"huge float", INFINITY, true, K::kNearestMod4, 0, 1, {0x1p-24 + 0x1p-102, 0}, huge_float, huge_float_lanes},
      // the pair below its limit (where k may be one off the nearest), Payne-Hanek above
      {"callout", INFINITY, false, K::kQuadrant, 0, 1, {D::kHugeError.relative, D::kPairError.per_k}, callout, nullptr},
  };
  return all;
}

// Other lanes of every vector call, within every row's range (and non-negative, for half
// multiples).
inline constexpr float kCompanions[kLanes] = {0.3f, 3.0f, 1e5f, 7.5f, 0.75f, 1234.5f, 2.5e-30f, 98765.25f,
                                              1.5707964f, 0.0f, 45.5f, 3e4f, 0.125f, 17.0f, 6e5f, 5e-3f};

struct Finding {
  const Method* method;
  double relative_error, bound;  // bound: relative + per_k |k| / |r| for this argument
  std::string failure;           // empty when the row keeps its contract
};

inline bool is_float(double x) { return static_cast<double>(static_cast<float>(x)) == x; }

// Runs every row whose range holds x.
inline std::vector<Finding> check(double x) {
  std::vector<Finding> found;
  mpfr_t r, t;
  mpfr_inits2(512, r, t, nullptr);
  int64_t nearest = 0;
  reduce_exact(x, nullptr, r, &nearest);
  for (const Method& m : methods()) {
    const double arg = m.k == K::kHalf ? std::fabs(x) : x;
    if (!(std::fabs(arg) < m.limit) || (m.float_only && !is_float(arg))) continue;
    std::ostringstream why;
    const Out o = m.scalar(arg);
    double k = o.k;
    if (m.k == K::kNearestMod4 || (m.k == K::kQuadrant && o.quadrant == (nearest & 3))) {
      if (o.quadrant != (nearest & 3)) why << "quadrant " << o.quadrant << ", nearest " << (nearest & 3) << "; ";
      k = static_cast<double>(nearest);
      mpfr_set(t, r, MPFR_RNDN);
    } else if (m.k == K::kQuadrant) {
      // one off the nearest: only below 2^28, where k is exact
      k = static_cast<double>(o.quadrant == ((nearest + 1) & 3) ? nearest + 1 : nearest - 1);
      if (std::fabs(arg) >= 0x1p53 || o.quadrant != (static_cast<int64_t>(k) & 3))
        why << "quadrant " << o.quadrant << ", nearest " << (nearest & 3) << "; ";
      reduce_exact(arg, &k, t);
    } else {
      // k against x fl(1/C) computed exactly; the reference is x - k C = x - (k turns) pi/2
      mpfr_set_d(t, arg, MPFR_RNDN);
      mpfr_mul_d(t, t, m.inverse, MPFR_RNDN);
      if (m.k == K::kRounded) mpfr_rint(t, t, MPFR_RNDN);
      else mpfr_floor(t, t), mpfr_add_d(t, t, 0.5, MPFR_RNDN);
      if (o.k != mpfr_get_d(t, MPFR_RNDN)) why << "k " << o.k << ", expected " << mpfr_get_d(t, MPFR_RNDN) << "; ";
      if (o.quadrant != (static_cast<int64_t>(std::floor(o.k)) & 3)) why << "quadrant " << o.quadrant << "; ";
      const double turns = o.k * m.quarter_turns;
      reduce_exact(arg, &turns, t);
    }
    const double rel = relative_error(o.hi, o.lo, t);
    const double bound = m.bound.relative + (k ? m.bound.per_k * std::fabs(k) / std::fabs(mpfr_get_d(t, MPFR_RNDN)) : 0);
    if (!(rel <= bound)) why << "relative error 2^" << std::log2(rel) << " above 2^" << std::log2(bound) << "; ";
    if (m.vector) {
      double in[kLanes];
      for (int i = 0; i < kLanes; ++i) in[i] = kCompanions[i];
      const int lane = static_cast<int>(std::hash<double>{}(arg) % kLanes);
      in[lane] = arg;
      Out v[kLanes];
      m.vector(in, v);
      for (int i = 0; i < kLanes; ++i)
        if (!(v[i] == m.scalar(in[i]))) why << "vector lane " << i << " differs from scalar; ";
    }
    found.push_back({&m, rel, bound, why.str()});
  }
  mpfr_clears(r, t, nullptr);
  return found;
}

}  // namespace zorp::test::pio2
