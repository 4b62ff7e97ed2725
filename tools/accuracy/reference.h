// Accuracy of vector-math results against MPFR and MPC, and the references the function
// contracts (vm/dispatch/contracts.def) name.
//
// A result part's error is |computed - exact| in units in the last place of the exact value in
// the kernel's precision (subnormal spacing below the normal range), the exact value computed at
// 160 bits. Besides max and mean ulp the figures keep the correct bits, -log2 of the largest
// relative error over normal results, which is what the EP class promises. Special results (NaN,
// infinities, exact zeros with their sign) must agree exactly and are counted apart.
#pragma once
#include <mpc.h>
#include <mpfr.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <utility>

namespace zorp::test::accuracy {

inline constexpr mpfr_prec_t kRefPrecision = 160;

// A complex value at the reference precision; real values live in the real part.
struct Z {
  mpc_t v;
  Z() { mpc_init2(v, kRefPrecision); }
  ~Z() { mpc_clear(v); }
  Z(const Z&) = delete;
  Z& operator=(const Z&) = delete;
  mpfr_ptr part(int k) { return k ? mpc_imagref(v) : mpc_realref(v); }
  mpfr_srcptr part(int k) const { return k ? mpc_imagref(v) : mpc_realref(v); }
};

// x exactly, the sign bit of a NaN included (CopySign reads it).
template <typename R>
inline void set_exact(mpfr_ptr m, R x) {
  mpfr_set_d(m, x, MPFR_RNDN);
  if (std::isnan(x)) mpfr_setsign(m, m, std::signbit(x), MPFR_RNDN);
}

// The exact value rounded to R (to nearest, with R's exponent range and subnormals).
template <typename R>
inline R round_to(mpfr_srcptr exact) {
  using L = std::numeric_limits<R>;
  static thread_local mpfr_t t;
  static thread_local bool ready = (mpfr_init2(t, L::digits), true);
  (void)ready;
  const mpfr_exp_t save_min = mpfr_get_emin(), save_max = mpfr_get_emax();
  int inex = mpfr_set(t, exact, MPFR_RNDN);
  mpfr_set_emin(L::min_exponent - L::digits + 1);
  mpfr_set_emax(L::max_exponent);
  inex = mpfr_check_range(t, inex, MPFR_RNDN);
  mpfr_subnormalize(t, inex, MPFR_RNDN);
  mpfr_set_emin(save_min);
  mpfr_set_emax(save_max);
  if constexpr (sizeof(R) == 4) return mpfr_get_flt(t, MPFR_RNDN);
  else return mpfr_get_d(t, MPFR_RNDN);
}
inline double round_to(mpfr_srcptr exact, bool dbl) { return dbl ? round_to<double>(exact) : round_to<float>(exact); }

// Error of `computed` in ulps of R at the exact value (`rounded` is the exact value rounded to
// R); negative when the two disagree on a special value: a NaN, an infinity, or the sign of an
// exact zero (with `any_zero`, a zero of either sign matches an exact zero). The second member
// is the relative error where the rounded exact value is a normal number, else 0.
template <typename R>
inline std::pair<double, double> error_of(R computed, mpfr_srcptr exact, R rounded, bool any_zero) {
  if (mpfr_nan_p(exact)) return {std::isnan(computed) ? 0.0 : -1.0, 0.0};
  if (std::isnan(computed)) return {-1.0, 0.0};
  if (mpfr_zero_p(exact))
    return {computed == 0 && (any_zero || std::signbit(computed) == (mpfr_signbit(exact) != 0)) ? 0.0 : -1.0, 0.0};
  if (std::isinf(computed) || std::isinf(rounded)) return {computed == rounded ? 0.0 : -1.0, 0.0};
  static thread_local mpfr_t diff;
  static thread_local bool ready = (mpfr_init2(diff, kRefPrecision), true);
  (void)ready;
  set_exact(diff, computed);
  mpfr_sub(diff, diff, exact, MPFR_RNDN);
  if (mpfr_zero_p(diff)) return {0.0, 0.0};
  const double relative = std::isnormal(rounded) ? std::fabs(mpfr_get_d(diff, MPFR_RNDN) / mpfr_get_d(exact, MPFR_RNDN)) : 0.0;
  constexpr int p = std::numeric_limits<R>::digits, emin = std::numeric_limits<R>::min_exponent;
  const long e = std::max<long>(mpfr_get_exp(exact), emin);  // |exact| < 2^e: one ulp is 2^(e-p)
  mpfr_mul_2si(diff, diff, p - e, MPFR_RNDN);
  return {std::fabs(mpfr_get_d(diff, MPFR_RNDN)), relative};
}

// ---- classes -----------------------------------------------------------------------------------
// CR is what exact functions promise: every result is the exact one rounded to nearest.
enum class Class { EP, LA, HA, CR };
inline const char* class_name(Class c) {
  return c == Class::EP ? "EP" : c == Class::LA ? "LA" : c == Class::HA ? "HA" : "CR";
}

// Figures of one kernel over one sample; arguments and results of the worst element and of the
// first mismatch are kept for the message.
struct Element {
  double a[2] = {}, b[2] = {}, r[2] = {};
  int part = 0;
};

template <typename R>
struct Stats {
  size_t count = 0;  // result parts compared
  double max_ulp = 0, sum_ulp = 0, max_relative = 0;
  size_t special_mismatches = 0, rounding_mismatches = 0, status_mismatches = 0;
  Element worst, first_special, first_rounding, first_status;
  int status_got = 0, status_wanted = 0;

  double mean_ulp() const { return count ? sum_ulp / static_cast<double>(count) : 0.0; }
  double correct_bits() const {
    return max_relative > 0 ? -std::log2(max_relative) : std::numeric_limits<R>::digits;
  }
  static constexpr int ep_bits() { return sizeof(R) == 4 ? 11 : 26; }

  // envelope > 0: the error may instead be measured absolutely, in ulps of the envelope, where
  // that is the smaller figure (results near a zero of an oscillating function, or a difference
  // of terms larger than itself).
  void add(R computed, mpfr_srcptr exact, const Element& e, bool any_zero = false, double envelope = 0) {
    const R rounded = round_to<R>(exact);
    const bool same = std::isnan(computed) ? std::isnan(rounded) : std::memcmp(&computed, &rounded, sizeof(R)) == 0;
    if (!same && rounding_mismatches++ == 0) first_rounding = e;
    auto [u, relative] = error_of<R>(computed, exact, rounded, any_zero);
    if (envelope > 0 && u > 0 && mpfr_regular_p(exact)) {
      constexpr long emin = std::numeric_limits<R>::min_exponent;
      // an infinite envelope (beside an overflowing modulus) counts any finite error as none
      const long exact_e = std::max<long>(mpfr_get_exp(exact), emin);
      const long envelope_e = std::isinf(envelope) ? exact_e + 4096 : std::max<long>(std::ilogb(envelope) + 1L, emin);
      const double absolute = std::ldexp(u, static_cast<int>(std::clamp<long>(exact_e - envelope_e, -4096, 4096)));
      if (absolute < u) u = absolute, relative = 0;
    }
    if (u < 0) {
      if (special_mismatches++ == 0) first_special = e;
      return;
    }
    ++count;
    sum_ulp += u;
    if (u > max_ulp) max_ulp = u, worst = e;
    max_relative = std::max(max_relative, relative);
  }
  // Only the class of a part: NaN, infinite (of either sign) or finite; beside an infinite
  // modulus (`unbounded`) a part that is a number may be of any size.
  void add_class(R computed, mpfr_srcptr exact, const Element& e, bool unbounded) {
    const int want = mpfr_nan_p(exact) ? 0 : mpfr_inf_p(exact) || std::isinf(round_to<R>(exact)) ? 1 : 2;
    const int got = std::isnan(computed) ? 0 : std::isinf(computed) ? 1 : 2;
    if (want != got && !(unbounded && want && got) && special_mismatches++ == 0) first_special = e;
  }
  void add_status(int got, int wanted, const Element& e) {
    if (got == wanted || status_mismatches++) return;
    first_status = e;
    status_got = got;
    status_wanted = wanted;
  }

  bool meets(Class c) const {
    if (special_mismatches || status_mismatches) return false;
    switch (c) {
      case Class::CR: return rounding_mismatches == 0;
      case Class::HA: return max_ulp < 1.0;
      case Class::LA: return max_ulp <= 4.0;
      case Class::EP: return correct_bits() >= ep_bits();
    }
    return false;
  }

  std::string describe(const std::string& name, Class c) const {
    auto el = [](const Element& e) {
      char b[200];
      std::snprintf(b, sizeof b, "(%.17g, %.17g; %.17g, %.17g) -> part %d %.17g", e.a[0], e.a[1], e.b[0], e.b[1],
                    e.part, e.r[e.part]);
      return std::string(b);
    };
    char buf[256];
    std::snprintf(buf, sizeof buf, "%s, class %s: max %.3f ulp, mean %.4f ulp, %.1f correct bits, %zu parts; ",
                  name.c_str(), class_name(c), max_ulp, mean_ulp(), correct_bits(), count);
    std::string s = buf + ("worst at " + el(worst));
    if (special_mismatches) s += "; " + std::to_string(special_mismatches) + " special mismatches, first " + el(first_special);
    if (c == Class::CR && rounding_mismatches)
      s += "; " + std::to_string(rounding_mismatches) + " not correctly rounded, first " + el(first_rounding);
    if (status_mismatches)
      s += "; " + std::to_string(status_mismatches) + " wrong statuses, first " + el(first_status) + " reported " +
           std::to_string(status_got) + ", wanted " + std::to_string(status_wanted);
    return s;
  }
};

// ---- references ------------------------------------------------------------------------------
// A reference computes the exact results of one element: args[0], args[1] the arguments (real
// ones in the real part), out[0], out[1] the results. `dbl` tells the precision of the kernel,
// for the few formulas whose definition rounds on the way.
using Formula = void (*)(const Z* args, Z* out, bool dbl);

struct Reference {
  std::function<void(const Z*, Z*, bool)> f;
  Reference(Formula g) : f(g) {}
  Reference(int (*g)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t))
      : f([g](const Z* a, Z* r, bool) { g(r[0].part(0), a[0].part(0), MPFR_RNDN); }) {}
  // An integer order and an argument (mpfr_jn, mpfr_yn): the order is the second argument
  // truncated toward zero, as the kernels take it from their floating scalar. A negative order
  // goes in as its magnitude with the sign (-1)^n applied after (J_-n = (-1)^n J_n, and so for
  // Y; at an infinite argument the result stays +0, as MPFR gives it): MPFR 4.2's jn fails an
  // assertion or exhausts memory for a negative order with a large argument (n = -3, a = -1e10).
  Reference(int (*g)(mpfr_ptr, long, mpfr_srcptr, mpfr_rnd_t))
      : f([g](const Z* a, Z* r, bool) {
          const long n = order(a[1].part(0));
          g(r[0].part(0), n < 0 ? -n : n, a[0].part(0), MPFR_RNDN);
          if (n < 0 && n % 2 && !mpfr_inf_p(a[0].part(0))) mpfr_neg(r[0].part(0), r[0].part(0), MPFR_RNDN);
        }) {}
  static long order(mpfr_srcptr b) {
    // Clamped to an even order that fits a long: 2^62, or 2^30 where a long has 32 bits (Windows).
    constexpr int kShift = std::numeric_limits<long>::digits > 62 ? 62 : std::numeric_limits<long>::digits - 1;
    constexpr long kHuge = 1L << kShift;
    const double t = std::trunc(mpfr_get_d(b, MPFR_RNDZ));
    return t >= double(kHuge) ? kHuge : t <= -double(kHuge) ? -kHuge : static_cast<long>(t);
  }
  Reference(int (*g)(mpfr_ptr, mpfr_srcptr, mpfr_srcptr, mpfr_rnd_t))
      : f([g](const Z* a, Z* r, bool) { g(r[0].part(0), a[0].part(0), a[1].part(0), MPFR_RNDN); }) {}
  Reference(int (*g)(mpfr_ptr, mpfr_ptr, mpfr_srcptr, mpfr_rnd_t))
      : f([g](const Z* a, Z* r, bool) { g(r[0].part(0), r[1].part(0), a[0].part(0), MPFR_RNDN); }) {}
  Reference(int (*g)(mpc_ptr, mpc_srcptr, mpc_rnd_t)) : f([g](const Z* a, Z* r, bool) { g(r[0].v, a[0].v, MPC_RNDNN); }) {}
  Reference(int (*g)(mpc_ptr, mpc_srcptr, mpc_srcptr, mpc_rnd_t))
      : f([g](const Z* a, Z* r, bool) { g(r[0].v, a[0].v, a[1].v, MPC_RNDNN); }) {}
  Reference(int (*g)(mpfr_ptr, mpc_srcptr, mpfr_rnd_t))
      : f([g](const Z* a, Z* r, bool) { g(r[0].part(0), a[0].v, MPFR_RNDN); }) {}
};

// The scalars every generic LinearFrac call passes.
template <typename R>
struct LinearFracScalars {
  static constexpr R sa = R(1.5), ha = R(-0.25), sb = R(-2), hb = R(3);
};

// Named formulas: where MPFR and MPC have no function, or where the convention is ours.
namespace formula {

inline bool any_nan(const Z* a) { return mpfr_nan_p(a[0].part(0)) || mpfr_nan_p(a[1].part(0)); }

// a - trunc(a) with the sign bit of a: -3 gives -0, and an infinity gives NaN.
inline void Frac(const Z* a, Z* r, bool) {
  mpfr_ptr f = r[1].part(0);
  mpfr_rint_trunc(f, a[0].part(0), MPFR_RNDN);
  mpfr_sub(f, a[0].part(0), f, MPFR_RNDN);
  mpfr_setsign(r[0].part(0), f, mpfr_signbit(a[0].part(0)) || mpfr_signbit(f), MPFR_RNDN);
}
// The integral part toward zero, and the fractional part as Frac gives it.
inline void Modf(const Z* a, Z* r, bool dbl) {
  Frac(a, r, dbl);
  mpfr_swap(r[0].part(0), r[1].part(0));
  mpfr_rint_trunc(r[0].part(0), a[0].part(0), MPFR_RNDN);
}

// Degrees: MPFR's functions of x in units of a full turn of 360.
template <int (*kF)(mpfr_ptr, mpfr_srcptr, unsigned long, mpfr_rnd_t)>
inline void InDegrees(const Z* a, Z* r, bool) {
  kF(r[0].part(0), a[0].part(0), 360, MPFR_RNDN);
}
inline constexpr Formula Sind = InDegrees<mpfr_sinu>, Cosd = InDegrees<mpfr_cosu>, Tand = InDegrees<mpfr_tanu>;
// r1 the sine, r2 the cosine of pi x.
inline void SinCospi(const Z* a, Z* r, bool) {
  mpfr_sinpi(r[0].part(0), a[0].part(0), MPFR_RNDN);
  mpfr_cospi(r[1].part(0), a[0].part(0), MPFR_RNDN);
}

// cos x + i sin x of a real x.
inline void CIS(const Z* a, Z* r, bool) { mpfr_sin_cos(r[0].part(1), r[0].part(0), a[0].part(0), MPFR_RNDN); }

// The complex tangents by MPC, except where the hyperbolic one's |x| passes 2^13: MPC reaches
// those at a precision that grows with |x| (seconds an element by 10^6), while there
//   tanh(x + iy) = sign(x) + i 4 sin y cos y e^(-2|x|)
// to a relative e^(-2|x|), far below the reference precision. tan z = i tanh(-iz).
inline bool tanh_far(mpfr_srcptr x, mpfr_srcptr y, mpfr_ptr re, mpfr_ptr im) {
  if (!mpfr_number_p(x) || !mpfr_number_p(y) || mpfr_cmpabs_ui(x, 8192) <= 0) return false;
  mpfr_set_si(re, mpfr_sgn(x), MPFR_RNDN);
  if (mpfr_zero_p(y)) return mpfr_set(im, y, MPFR_RNDN), true;
  Z t;
  mpfr_sin_cos(t.part(0), t.part(1), y, MPFR_RNDN);
  mpfr_mul(t.part(0), t.part(0), t.part(1), MPFR_RNDN);
  mpfr_abs(t.part(1), x, MPFR_RNDN);
  mpfr_mul_si(t.part(1), t.part(1), -2, MPFR_RNDN);
  mpfr_exp(t.part(1), t.part(1), MPFR_RNDN);
  mpfr_mul(im, t.part(0), t.part(1), MPFR_RNDN);
  mpfr_mul_2ui(im, im, 2, MPFR_RNDN);
  return true;
}
inline void Tanh(const Z* a, Z* r, bool) {
  if (!tanh_far(a[0].part(0), a[0].part(1), r[0].part(0), r[0].part(1))) mpc_tanh(r[0].v, a[0].v, MPC_RNDNN);
}
inline void Tan(const Z* a, Z* r, bool) {
  Z w;  // -iz = y - ix
  mpfr_set(w.part(0), a[0].part(1), MPFR_RNDN);
  mpfr_neg(w.part(1), a[0].part(0), MPFR_RNDN);
  if (tanh_far(w.part(0), w.part(1), r[0].part(1), r[0].part(0))) mpfr_neg(r[0].part(0), r[0].part(0), MPFR_RNDN);
  else mpc_tan(r[0].v, a[0].v, MPC_RNDNN);
}

// a^b by MPC with the branch cut on the sign of a zero imaginary part everywhere. MPC takes an
// exactly representable power of a negative real a as that of a + 0i whatever the zero's sign
// ((-4 - 0i)^0.5 = 2i, but (-3 - 0i)^0.5 = -1.7320508i, as C's logarithm gives it), so such an a
// goes in mirrored: a^b = conj(conj(a)^conj(b)).
// MPC also loses the zero part of a power of +-1 or +-i with a whole number of quarter turns
// once the modulus leaves its exponent range ((-1)^(-2.5 - 1e10 i) = 0 - i inf, but
// (-1)^(-2.5 - 1.8e308 i) = -inf - i inf): there the power is |a^b| i^p, p = br q for
// a = e^(i q pi/2), and |a^b| = e^(-bi q pi/2).
inline bool unit_axis_power(const Z* a, Z* r) {
  const double ar = mpfr_get_d(a[0].part(0), MPFR_RNDN), ai = mpfr_get_d(a[0].part(1), MPFR_RNDN);
  const double br = mpfr_get_d(a[1].part(0), MPFR_RNDN), bi = mpfr_get_d(a[1].part(1), MPFR_RNDN);
  const bool unit = (std::fabs(ar) == 1 && ai == 0) || (ar == 0 && std::fabs(ai) == 1);
  if (!unit || !std::isfinite(br) || !std::isfinite(bi) || bi == 0) return false;
  const double q = ai == 0 ? (ar > 0 ? 0 : std::signbit(ai) ? -2 : 2) : (ai > 0 ? 1 : -1);
  const double p = br * q;  // exact: q is a small integer
  if (p != std::nearbyint(p)) return false;
  const int quadrant = static_cast<int>(std::fmod(std::fmod(p, 4.0) + 4, 4.0));
  mpfr_t m;
  mpfr_init2(m, kRefPrecision);
  mpfr_const_pi(m, MPFR_RNDN);
  mpfr_mul_d(m, m, -bi * q / 2, MPFR_RNDN);
  mpfr_exp(m, m, MPFR_RNDN);
  mpfr_set_zero(r[0].part(0), 1), mpfr_set_zero(r[0].part(1), 1);
  mpfr_set(r[0].part(quadrant % 2), m, MPFR_RNDN);
  if (quadrant >= 2) mpfr_neg(r[0].part(quadrant % 2), r[0].part(quadrant % 2), MPFR_RNDN);
  mpfr_clear(m);
  return true;
}
inline void Pow(const Z* a, Z* r, bool) {
  if (unit_axis_power(a, r)) return;
  mpfr_srcptr ai = a[0].part(1);
  if (!(mpfr_zero_p(ai) && mpfr_signbit(ai) && mpfr_sgn(a[0].part(0)) < 0)) {
    mpc_pow(r[0].v, a[0].v, a[1].v, MPC_RNDNN);
    return;
  }
  Z ca, cb;
  mpc_conj(ca.v, a[0].v, MPC_RNDNN);
  mpc_conj(cb.v, a[1].v, MPC_RNDNN);
  mpc_pow(r[0].v, ca.v, cb.v, MPC_RNDNN);
  mpc_conj(r[0].v, r[0].v, MPC_RNDNN);
}

// The product by the textbook formula (ac - bd, ad + bc), exactly (MPFR's range: a finite
// product never overflows there, so an infinite factor's infinity is never lost to inf - inf).
// Where both parts are NaN but a factor is infinite, C's annex for complex arithmetic recovers
// an infinity: each infinite factor's parts become +-1 (infinite) or +-0, the other factor's NaN
// parts +-0, and their product is scaled by infinity.
template <bool kConj>
inline void Product(const Z* a, Z* r, bool) {
  Z t;
  mpfr_srcptr ar = a[0].part(0), ai = a[0].part(1), br = a[1].part(0);
  mpfr_ptr bi = t.part(0);
  mpfr_set(bi, a[1].part(1), MPFR_RNDN);
  if (kConj) mpfr_neg(bi, bi, MPFR_RNDN);
  mpfr_fmms(r[0].part(0), ar, br, ai, bi, MPFR_RNDN);
  mpfr_fmma(r[0].part(1), ar, bi, ai, br, MPFR_RNDN);
  if (!(mpfr_nan_p(r[0].part(0)) && mpfr_nan_p(r[0].part(1)))) return;
  double x[4] = {round_to<double>(ar), round_to<double>(ai), round_to<double>(br), round_to<double>(bi)};
  bool recover = false;
  for (int f = 0; f < 2; ++f) {
    double* own = x + 2 * f;
    double* other = x + 2 * (1 - f);
    if (!std::isinf(own[0]) && !std::isinf(own[1])) continue;
    for (int k = 0; k < 2; ++k) {
      own[k] = std::copysign(std::isinf(own[k]) ? 1.0 : 0.0, own[k]);
      if (std::isnan(other[k])) other[k] = std::copysign(0.0, other[k]);
    }
    recover = true;
  }
  if (!recover) return;
  const double inf = std::numeric_limits<double>::infinity();
  mpfr_set_d(r[0].part(0), inf * (x[0] * x[2] - x[1] * x[3]), MPFR_RNDN);
  mpfr_set_d(r[0].part(1), inf * (x[0] * x[3] + x[1] * x[2]), MPFR_RNDN);
}
inline constexpr Formula Mul = Product<false>, MulByConj = Product<true>;

inline void Inv(const Z* a, Z* r, bool) { mpfr_ui_div(r[0].part(0), 1, a[0].part(0), MPFR_RNDN); }

// The unbiased exponent as a value; a zero is a pole (-inf), infinities give +inf.
inline void Logb(const Z* a, Z* r, bool) {
  mpfr_srcptr x = a[0].part(0);
  if (mpfr_zero_p(x)) mpfr_set_inf(r[0].part(0), -1), mpfr_set_divby0();
  else if (!mpfr_number_p(x)) mpfr_abs(r[0].part(0), x, MPFR_RNDN);
  else mpfr_set_si(r[0].part(0), mpfr_get_exp(x) - 1, MPFR_RNDN);
}

// Roots: 1/sqrt and 1/cbrt keep the sign of a zero (1/sqrt(-0) = -inf, as 1/(-0)), which MPFR's
// reciprocal square root does not; Pow2o3 is the square of the real cube root, defined for
// negative arguments; Pow3o2 is x*sqrt(x), NaN below zero.
inline void InvSqrt(const Z* a, Z* r, bool) {
  mpfr_srcptr x = a[0].part(0);
  if (mpfr_zero_p(x)) mpfr_set_inf(r[0].part(0), mpfr_signbit(x) ? -1 : 1), mpfr_set_divby0();
  else mpfr_rec_sqrt(r[0].part(0), x, MPFR_RNDN);
}
inline void InvCbrt(const Z* a, Z* r, bool) {
  mpfr_cbrt(r[0].part(0), a[0].part(0), MPFR_RNDN);
  mpfr_ui_div(r[0].part(0), 1, r[0].part(0), MPFR_RNDN);
}
inline void Pow2o3(const Z* a, Z* r, bool) {
  mpfr_sqr(r[0].part(0), a[0].part(0), MPFR_RNDN);
  mpfr_cbrt(r[0].part(0), r[0].part(0), MPFR_RNDN);
}
// Powr: MPFR's, but a NaN argument gives NaN whatever the other (MPFR keeps powr(1, NaN) = 1,
// the rule of pow).
inline void Powr(const Z* a, Z* r, bool) {
  if (any_nan(a)) return mpfr_set_nan(r[0].part(0));
  mpfr_powr(r[0].part(0), a[0].part(0), a[1].part(0), MPFR_RNDN);
}
inline void Pow3o2(const Z* a, Z* r, bool) {
  mpfr_sqrt(r[0].part(0), a[0].part(0), MPFR_RNDN);
  mpfr_mul(r[0].part(0), r[0].part(0), a[0].part(0), MPFR_RNDN);
}

// a - b where b < a, else +0: a NaN argument gives +0, since b < a is then false.
inline void Fdim(const Z* a, Z* r, bool) {
  if (mpfr_less_p(a[1].part(0), a[0].part(0))) mpfr_sub(r[0].part(0), a[0].part(0), a[1].part(0), MPFR_RNDN);
  else mpfr_set_zero(r[0].part(0), 1);
}

// Larger and smaller value with -0 below +0; a NaN argument gives NaN.
template <bool kMax>
inline void MaxMin(const Z* a, Z* r, bool) {
  if (any_nan(a)) return mpfr_set_nan(r[0].part(0));
  (kMax ? mpfr_max : mpfr_min)(r[0].part(0), a[0].part(0), a[1].part(0), MPFR_RNDN);
}
inline constexpr Formula Fmax = MaxMin<true>, Fmin = MaxMin<false>;

// Larger and smaller magnitude; equal magnitudes are decided as Fmax and Fmin decide them.
template <bool kMax>
inline void Mag(const Z* a, Z* r, bool dbl) {
  const int c = mpfr_cmpabs(a[0].part(0), a[1].part(0));
  if (any_nan(a) || c == 0) return MaxMin<kMax>(a, r, dbl);
  mpfr_set(r[0].part(0), a[(c > 0) == kMax ? 0 : 1].part(0), MPFR_RNDN);
}
inline constexpr Formula MaxMag = Mag<true>, MinMag = Mag<false>;

// The neighbour of a in the kernel's format in the direction of b; b itself when a == b.
inline void NextAfter(const Z* a, Z* r, bool dbl) {
  const double x = mpfr_get_d(a[0].part(0), MPFR_RNDN), y = mpfr_get_d(a[1].part(0), MPFR_RNDN);
  mpfr_set_d(r[0].part(0), dbl ? std::nextafter(x, y) : std::nextafter(float(x), float(y)), MPFR_RNDN);
}

// (scalea*a + shifta) / (scaleb*b + shiftb) with each sum rounded once to the kernel's format.
inline void LinearFrac(const Z* a, Z* r, bool dbl) {
  using S = LinearFracScalars<double>;
  const double x = mpfr_get_d(a[0].part(0), MPFR_RNDN), y = mpfr_get_d(a[1].part(0), MPFR_RNDN);
  const double num = dbl ? std::fma(S::sa, x, S::ha) : std::fma(float(S::sa), float(x), float(S::ha));
  const double den = dbl ? std::fma(S::sb, y, S::hb) : std::fma(float(S::sb), float(y), float(S::hb));
  mpfr_set_d(r[0].part(0), num, MPFR_RNDN);
  mpfr_div_d(r[0].part(0), r[0].part(0), den, MPFR_RNDN);
}

// e^(x^2) erfc x; far above zero, where erfc leaves MPFR's exponent range, its asymptotic
// series (x sqrt(pi))^-1 sum (-1)^n (2n-1)!!/(2x^2)^n, whose first omitted term is below
// 2^-180 from x = 2^12.
inline void Erfcx(const Z* a, Z* r, bool) {
  mpfr_srcptr x = a[0].part(0);
  mpfr_ptr y = r[0].part(0);
  mpfr_t t, u;
  mpfr_inits2(kRefPrecision + 40, t, u, static_cast<mpfr_ptr>(nullptr));
  if (mpfr_number_p(x) && mpfr_cmp_ui(x, 4096) > 0) {
    mpfr_sqr(u, x, MPFR_RNDN);
    mpfr_mul_2ui(u, u, 1, MPFR_RNDN);  // 2x^2
    mpfr_set_ui(t, 1, MPFR_RNDN);
    mpfr_t term;
    mpfr_init2(term, kRefPrecision + 40);
    mpfr_set_ui(term, 1, MPFR_RNDN);
    for (int n = 1; n <= 8; ++n) {
      mpfr_mul_si(term, term, -(2 * n - 1), MPFR_RNDN);
      mpfr_div(term, term, u, MPFR_RNDN);
      mpfr_add(t, t, term, MPFR_RNDN);
    }
    mpfr_clear(term);
    mpfr_const_pi(u, MPFR_RNDN);
    mpfr_sqrt(u, u, MPFR_RNDN);
    mpfr_mul(u, u, x, MPFR_RNDN);
    mpfr_div(y, t, u, MPFR_RNDN);
  } else if (mpfr_inf_p(x) && mpfr_sgn(x) > 0) {
    mpfr_set_zero(y, 1);
  } else {
    mpfr_sqr(u, x, MPFR_RNDN);
    mpfr_exp(u, u, MPFR_RNDN);
    mpfr_erfc(t, x, MPFR_RNDN);
    mpfr_mul(y, t, u, MPFR_RNDN);
  }
  mpfr_clears(t, u, static_cast<mpfr_ptr>(nullptr));
}
// The standard normal distribution function, erfc(-x/sqrt 2)/2.
inline void CdfNorm(const Z* a, Z* r, bool) {
  mpfr_t t;
  mpfr_init2(t, kRefPrecision + 40);
  mpfr_sqrt_ui(t, 2, MPFR_RNDN);
  mpfr_div(t, a[0].part(0), t, MPFR_RNDN);
  mpfr_neg(t, t, MPFR_RNDN);
  mpfr_erfc(r[0].part(0), t, MPFR_RNDN);
  mpfr_div_2ui(r[0].part(0), r[0].part(0), 1, MPFR_RNDN);
  mpfr_clear(t);
}
// ln|Gamma(x)|: MPFR's lngamma is NaN where Gamma is negative.
inline void LGamma(const Z* a, Z* r, bool) {
  int sign;
  mpfr_lgamma(r[0].part(0), &sign, a[0].part(0), MPFR_RNDN);
}
// The modified Bessel functions I0 and I1, which MPFR lacks. Up to |x| = 120 the power series,
// all of whose terms are positive; beyond it e^x (2 pi x)^-1/2 sum_k (-1)^k a_k / x^k, the
// asymptotic series, summed to its smallest term (there below e^-240 of the first, far under the
// reference's precision). Both carry 40 bits beyond the reference. I0 is even, I1 odd.
template <int kNu>
inline void BesselI(const Z* a, Z* r, bool) {
  mpfr_srcptr x = a[0].part(0);
  mpfr_ptr y = r[0].part(0);
  if (mpfr_nan_p(x)) return mpfr_set_nan(y);
  if (mpfr_inf_p(x)) return mpfr_set_inf(y, kNu == 1 && mpfr_signbit(x) ? -1 : 1);
  if (mpfr_zero_p(x)) {
    if (kNu == 0) mpfr_set_ui(y, 1, MPFR_RNDN);
    else mpfr_set(y, x, MPFR_RNDN);
    return;
  }
  const mpfr_prec_t p = kRefPrecision + 40;
  mpfr_t ax, sum, term, u;
  mpfr_inits2(p, ax, sum, term, u, static_cast<mpfr_ptr>(nullptr));
  mpfr_abs(ax, x, MPFR_RNDN);
  mpfr_set_zero(sum, 1);
  if (mpfr_cmp_ui(ax, 120) < 0) {
    mpfr_set_ui(term, 1, MPFR_RNDN);
    if (kNu == 1) mpfr_div_2ui(term, ax, 1, MPFR_RNDN);
    mpfr_sqr(u, ax, MPFR_RNDN);
    mpfr_div_2ui(u, u, 2, MPFR_RNDN);
    for (unsigned long k = 0;; ++k) {
      mpfr_add(sum, sum, term, MPFR_RNDN);
      if (mpfr_get_exp(term) < mpfr_get_exp(sum) - p) break;
      mpfr_mul(term, term, u, MPFR_RNDN);
      mpfr_div_ui(term, term, (k + 1) * (k + 1 + kNu), MPFR_RNDN);
    }
  } else {
    mpfr_set_ui(term, 1, MPFR_RNDN);
    for (long k = 0; k < 1000; ++k) {
      mpfr_add(sum, sum, term, MPFR_RNDN);
      mpfr_mul_si(u, term, (2 * k + 1) * (2 * k + 1) - 4 * kNu * kNu, MPFR_RNDN);
      mpfr_div_ui(u, u, 8 * (k + 1), MPFR_RNDN);
      mpfr_div(u, u, ax, MPFR_RNDN);
      if (mpfr_zero_p(u) || mpfr_get_exp(u) < mpfr_get_exp(sum) - p || mpfr_cmpabs(u, term) > 0) break;
      mpfr_swap(term, u);
    }
    mpfr_const_pi(u, MPFR_RNDN);
    mpfr_mul(u, u, ax, MPFR_RNDN);
    mpfr_mul_2ui(u, u, 1, MPFR_RNDN);
    mpfr_rec_sqrt(u, u, MPFR_RNDN);
    mpfr_mul(sum, sum, u, MPFR_RNDN);
    mpfr_exp(u, ax, MPFR_RNDN);
    mpfr_mul(sum, sum, u, MPFR_RNDN);
  }
  mpfr_setsign(y, sum, kNu == 1 && mpfr_signbit(x), MPFR_RNDN);
  mpfr_clears(ax, sum, term, u, static_cast<mpfr_ptr>(nullptr));
}
inline constexpr Formula I0 = BesselI<0>, I1 = BesselI<1>;
// One Newton step of the inverse error functions: v += f sqrt(pi)/2 e^(v^2), f the residual
// (erfc v - y, or |x| - erf v) on entry and the step on return; c = sqrt(pi)/2, g scratch.
inline void erf_newton_update(mpfr_ptr v, mpfr_ptr f, mpfr_ptr g, mpfr_srcptr c) {
  mpfr_sqr(g, v, MPFR_RNDN);
  mpfr_exp(g, g, MPFR_RNDN);
  mpfr_mul(f, f, g, MPFR_RNDN);
  mpfr_mul(f, f, c, MPFR_RNDN);
  mpfr_add(v, v, f, MPFR_RNDN);
}
// The inverse error function: Newton's method on erf w = x (on erfc w = 1 - x from 1/2, where
// 1 - x is exact and erf's slope no longer hides the residual), from x sqrt(pi)/2 for tiny x
// and otherwise from a double bisection; +-1 are poles, beyond NaN.
inline void ErfInv(const Z* a, Z* r, bool) {
  mpfr_srcptr x = a[0].part(0);
  mpfr_ptr w = r[0].part(0);
  if (mpfr_nan_p(x) || mpfr_cmpabs_ui(x, 1) > 0) return mpfr_set_nan(w);
  if (mpfr_cmpabs_ui(x, 1) == 0) return mpfr_set_inf(w, mpfr_sgn(x)), mpfr_set_divby0();
  if (mpfr_zero_p(x)) return (void)mpfr_set(w, x, MPFR_RNDN);
  const double xd = std::fabs(mpfr_get_d(x, MPFR_RNDN));
  mpfr_t y, f, g, c;
  mpfr_inits2(kRefPrecision + 40, y, f, g, c, static_cast<mpfr_ptr>(nullptr));
  mpfr_const_pi(c, MPFR_RNDN);
  mpfr_sqrt(c, c, MPFR_RNDN);
  mpfr_div_2ui(c, c, 1, MPFR_RNDN);  // sqrt(pi)/2
  mpfr_abs(y, x, MPFR_RNDN);
  const bool tail = xd >= 0.5;
  mpfr_ui_sub(y, 1, y, MPFR_RNDN);  // 1 - |x|, exact from 1/2
  mpfr_t v;
  mpfr_init2(v, kRefPrecision + 40);
  if (xd < 1e-8) {
    mpfr_abs(v, x, MPFR_RNDN);
    mpfr_mul(v, v, c, MPFR_RNDN);
  } else {
    double lo = 0, hi = 6;
    for (int i = 0; i < 64; ++i) {
      const double mid = (lo + hi) / 2;
      (std::erf(mid) < xd ? lo : hi) = mid;
    }
    mpfr_set_d(v, (lo + hi) / 2, MPFR_RNDN);
  }
  for (int i = 0; i < 5; ++i) {
    // v += (erfc v - y) sqrt(pi)/2 e^(v^2), or (|x| - erf v) likewise.
    if (tail) {
      mpfr_erfc(f, v, MPFR_RNDN);
      mpfr_sub(f, f, y, MPFR_RNDN);
    } else {
      mpfr_erf(f, v, MPFR_RNDN);
      mpfr_abs(g, x, MPFR_RNDN);
      mpfr_sub(f, g, f, MPFR_RNDN);
    }
    erf_newton_update(v, f, g, c);
  }
  mpfr_setsign(w, v, mpfr_signbit(x), MPFR_RNDN);
  mpfr_clears(y, f, g, c, v, static_cast<mpfr_ptr>(nullptr));
}

// The inverse complementary error function: ErfInv at 1 - x (exact) for 1/2 <= x <= 3/2;
// otherwise Newton's method on erfc w = y with y = x or 2 - x (exact; the result's sign turned
// for the latter), from a double bisection on erfc, or below 1e-300, where erfc's double
// subnormals lose bits, from w^2 = -ln y - ln(w sqrt(pi)); iterated until the step is below
// the working precision.
inline void ErfcInv(const Z* a, Z* r, bool dbl) {
  mpfr_srcptr x = a[0].part(0);
  mpfr_ptr w = r[0].part(0);
  if (mpfr_nan_p(x) || mpfr_sgn(x) < 0 || mpfr_cmp_ui(x, 2) > 0) return mpfr_set_nan(w);
  if (mpfr_zero_p(x) || mpfr_cmp_ui(x, 2) == 0) return mpfr_set_inf(w, mpfr_zero_p(x) ? 1 : -1), mpfr_set_divby0();
  Z z;
  mpfr_ui_sub(z.part(0), 1, x, MPFR_RNDN);
  if (mpfr_cmp_d(z.part(0), 0.5) <= 0 && mpfr_cmp_d(z.part(0), -0.5) >= 0) return ErfInv(&z, r, dbl);
  const bool upper = mpfr_sgn(z.part(0)) < 0;
  const mpfr_prec_t p = kRefPrecision + 40;
  mpfr_t y, v, f, g, c;
  mpfr_inits2(p, y, v, f, g, c, static_cast<mpfr_ptr>(nullptr));
  if (upper) mpfr_ui_sub(y, 2, x, MPFR_RNDN);
  else mpfr_set(y, x, MPFR_RNDN);
  const double yd = mpfr_get_d(y, MPFR_RNDN);
  double guess;
  if (yd < 1e-300) {
    const double l = -std::log(yd);
    guess = l;
    for (int i = 0; i < 4; ++i) guess = l - 0.5 * std::log(3.141592653589793 * guess);
    guess = std::sqrt(guess);
  } else {
    double lo = 0, hi = 27;
    for (int i = 0; i < 64; ++i) {
      const double mid = (lo + hi) / 2;
      (std::erfc(mid) > yd ? lo : hi) = mid;
    }
    guess = (lo + hi) / 2;
  }
  mpfr_set_d(v, guess, MPFR_RNDN);
  mpfr_const_pi(c, MPFR_RNDN);
  mpfr_sqrt(c, c, MPFR_RNDN);
  mpfr_div_2ui(c, c, 1, MPFR_RNDN);  // sqrt(pi)/2
  for (int i = 0; i < 40; ++i) {
    // v += (erfc v - y) sqrt(pi)/2 e^(v^2)
    mpfr_erfc(f, v, MPFR_RNDN);
    mpfr_sub(f, f, y, MPFR_RNDN);
    erf_newton_update(v, f, g, c);
    if (mpfr_zero_p(f) || mpfr_get_exp(f) < mpfr_get_exp(v) - p + 4) break;
  }
  mpfr_setsign(w, v, upper, MPFR_RNDN);
  mpfr_clears(y, v, f, g, c, static_cast<mpfr_ptr>(nullptr));
}
// The inverse of the standard normal distribution function, -sqrt 2 erfcinv(2p); +0 at 1/2.
inline void CdfNormInv(const Z* a, Z* r, bool dbl) {
  Z twice;
  mpfr_mul_2ui(twice.part(0), a[0].part(0), 1, MPFR_RNDN);
  ErfcInv(&twice, r, dbl);
  mpfr_t s;
  mpfr_init2(s, kRefPrecision + 40);
  mpfr_sqrt_ui(s, 2, MPFR_RNDN);
  mpfr_mul(r[0].part(0), r[0].part(0), s, MPFR_RNDN);
  if (!mpfr_zero_p(r[0].part(0))) mpfr_neg(r[0].part(0), r[0].part(0), MPFR_RNDN);  // the median is +0
  mpfr_clear(s);
}

// E1 x = -Ei(-x) for x >= 0 (+inf at 0, with MPFR's pole flag); NaN for negative x.
inline void ExpInt1(const Z* a, Z* r, bool) {
  mpfr_srcptr x = a[0].part(0);
  if (mpfr_sgn(x) < 0 && !mpfr_zero_p(x)) {
    mpfr_set_nan(r[0].part(0));
    return;
  }
  mpfr_neg(r[1].part(0), x, MPFR_RNDN);
  mpfr_eint(r[0].part(0), r[1].part(0), MPFR_RNDN);
  mpfr_neg(r[0].part(0), r[0].part(0), MPFR_RNDN);
}

}  // namespace formula

// ---- statuses ----------------------------------------------------------------------------------
// What the status rules see of one element: its arguments and its exact results classified.
struct Outcome {
  double a[2], b[2], r;  // argument parts; the first result rounded to the kernel's format
  bool complex;
  bool arg_nan, args_finite;  // over every argument part
  bool nan, pole, overflow, underflow;
  double least_normal;
};

struct StatusRule {
  int invalid = 0, pole = 0, overflow = 0, underflow = 0;
  int (*named)(const Outcome&) = nullptr;
  int operator()(const Outcome& o) const {
    if (named) return named(o);
    if (o.arg_nan) return 0;
    if (o.nan) return invalid;
    if (o.pole) return pole;
    if (o.overflow) return overflow;
    return o.underflow ? underflow : 0;
  }
};
constexpr StatusRule ieee(int invalid, int pole, int overflow, int underflow) {
  return {invalid, pole, overflow, underflow, nullptr};
}
// Division: status 2 for a zero divisor, whatever the dividend but a real NaN.
inline constexpr StatusRule zero_divisor{0, 0, 0, 0, [](const Outcome& o) {
  return o.b[0] == 0 && o.b[1] == 0 && (o.complex || !std::isnan(o.a[0])) ? 2 : 0;
}};
// Complex logarithms: status 2 for the pole at a zero element (of either sign in each part).
inline constexpr StatusRule zero_argument{0, 0, 0, 0, [](const Outcome& o) {
  return o.a[0] == 0 && o.a[1] == 0 ? 2 : 0;
}};
// NextAfter: 3 where a finite a steps to infinity, 4 where the step lands on a subnormal or zero.
inline constexpr StatusRule next_after{0, 0, 0, 0, [](const Outcome& o) {
  if (std::isnan(o.a[0]) || std::isnan(o.b[0]) || o.a[0] == o.b[0]) return 0;
  if (std::isinf(o.r)) return std::isfinite(o.a[0]) ? 3 : 0;
  return std::fabs(o.r) < o.least_normal ? 4 : 0;
}};

}  // namespace zorp::test::accuracy
