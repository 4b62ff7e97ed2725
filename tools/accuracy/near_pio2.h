// The binary floating-point numbers closest to a multiple of pi/2, binade by binade, and the
// exact reduction x - k pi/2 as a reference. MPFR and GMP; shared by the reduction test and
// tools/reduce_sweep.
//
// A binade of a p-bit format holds x = m 2^e with m in [A, 2A), A = 2^(p-1). Then x (2/pi) =
// m beta with beta = 2^e (2/pi), and since m is an integer, the distance of x (2/pi) to the
// nearest integer is ||m alpha|| with alpha = frac(beta); the reduced argument is
// |r| = (pi/2) ||m alpha||. Writing m = A + i, ||m alpha|| is the distance on the circle R/Z
// between the point {i alpha} and the target t = {-A alpha}, and the task is the point of
// {i alpha : 0 <= i < A} nearest to t.
//
// The search is the continued-fraction walk of the three-distance theorem (the subtractive form
// of Euclid's algorithm on alpha, as in Kahan and McDonald's search for the double-precision
// worst case and Lefevre's lower-bound algorithm), made exact by following the target: the
// points {i alpha}, 0 <= i < u + v, cut the circle into gaps of two lengths, x = {u alpha} (above
// every point of index i < v) and y = 1 - {v alpha} (above every other point). One step adds the
// points of index u + v up to u + 2v - 1 (when y < x) or up to 2u + v - 1 (when x < y): each of
// them splits one gap of the longer kind, at a place known from its lower end. The walk keeps the
// index j of the point just below the target and the distance d to it, moves j when the split
// falls below the target, and stops once the indices reach A; runs of equal steps (one partial
// quotient) are taken at once. Every point below the target is then at least d away, so the
// minimum is exact, not a bound; the upward distance is the same walk on 1 - alpha and 1 - t.
// alpha is taken to 320 fraction bits and every operation on it is exact integer arithmetic, so
// the distances are right to about 2^-260. Checked against an exhaustive scan of small formats
// (reduce_sweep --self-check) and against the published double worst case 6381956970095103 *
// 2^797.
#pragma once
#include <gmp.h>
#include <mpfr.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace zorp::test::pio2 {

inline constexpr int kFractionBits = 320;

struct Nearest {
  int e = 0;             // x = m 2^e
  uint64_t m = 0;
  double distance = 1;   // ||x (2/pi)||, so |r| = (pi/2) distance
  double value() const { return std::ldexp(static_cast<double>(m), e); }
};

namespace detail {

// RAII for a few mpz_t.
struct Z {
  mpz_t v;
  Z() { mpz_init(v); }
  ~Z() { mpz_clear(v); }
  Z(const Z&) = delete;
  Z& operator=(const Z&) = delete;
  operator mpz_ptr() { return v; }
  operator mpz_srcptr() const { return v; }
};

inline uint64_t ceil_div(uint64_t a, uint64_t b) { return a / b + (a % b != 0); }
// The length of a run of equal steps: the partial quotient q, cut at the last step needed.
inline uint64_t steps(mpz_srcptr q, uint64_t needed) {
  return mpz_fits_ulong_p(q) ? std::min<uint64_t>(mpz_get_ui(q), needed) : needed;
}

// min over 0 <= i < n of (t - {i a}) mod 1, all quantities in units of 2^-F, a in (0, 2^F).
// Writes the distance to d and returns the index i that attains it.
inline uint64_t walk_down(mpz_srcptr a, mpz_srcptr t, uint64_t n_max, mpz_ptr d) {
  Z x, y, q, w;
  mpz_set(x, a);
  mpz_set_ui(y, 0);
  mpz_setbit(y, kFractionBits);
  mpz_sub(y, y, a);
  uint64_t u = 1, v = 1, n = 2, j = 0;
  mpz_set(d, t);
  if (n_max >= 2 && mpz_cmp(t, a) >= 0) {
    j = 1;
    mpz_sub(d, t, a);
  }
  while (n < n_max) {
    if (mpz_cmp(x, y) < 0) {
      // y-gaps (above points j >= v) split at their lower end + x, by point j + u.
      mpz_sub_ui(q, y, 1);
      mpz_fdiv_q(q, q, x);
      const uint64_t s = steps(q, ceil_div(n_max - n, u));
      if (j >= v) {
        mpz_fdiv_q(q, d, x);
        uint64_t c = std::min<uint64_t>(mpz_fits_ulong_p(q) ? mpz_get_ui(q) : s, s);
        c = std::min<uint64_t>(c, (n_max - 1 - j) / u);
        j += c * u;
        mpz_submul_ui(d, x, c);
      }
      v += s * u;
      n += s * u;
      mpz_submul_ui(y, x, s);
    } else {
      // x-gaps (above points j < v) split at their lower end + x - i y in step i, by point
      // j + n_i; once split below it, the target sits in a y-gap for the rest of the run.
      mpz_sub_ui(q, x, 1);
      mpz_fdiv_q(q, q, y);
      const uint64_t s = steps(q, ceil_div(n_max - n, v));
      if (j < v) {
        mpz_sub(w, x, d);
        mpz_cdiv_q(q, w, y);  // first step i with d >= x - i y
        if (mpz_cmp_ui(q.v, s) <= 0) {
          const uint64_t i = mpz_get_ui(q);
          const uint64_t index = j + n + (i - 1) * v;
          if (index < n_max) {
            j = index;
            mpz_addmul_ui(d, y, i);
            mpz_sub(d, d, x);
          }
        }
      }
      u += s * v;
      n += s * v;
      mpz_submul_ui(x, y, s);
    }
  }
  return j;
}

}  // namespace detail

// floor(frac(2^e * 2/pi) * 2^F).
inline void alpha_bits(int e, mpz_ptr a) {
  mpfr_t t;
  mpfr_init2(t, std::max(e, 0) + kFractionBits + 96);
  mpfr_const_pi(t, MPFR_RNDN);
  mpfr_ui_div(t, 2, t, MPFR_RNDN);
  mpfr_mul_2si(t, t, e + kFractionBits, MPFR_RNDN);
  mpfr_get_z(a, t, MPFR_RNDZ);
  mpfr_clear(t);
  mpz_fdiv_r_2exp(a, a, kFractionBits);
}

// ||m alpha|| for alpha = a 2^-F, as a double.
inline double distance_of(uint64_t m, mpz_srcptr a) {
  detail::Z t, full;
  mpz_mul_ui(t, a, m);
  mpz_fdiv_r_2exp(t, t, kFractionBits);
  mpz_setbit(full, kFractionBits);
  mpz_sub(full, full, t);
  if (mpz_cmp(full, t) < 0) mpz_swap(t, full);
  return std::ldexp(mpz_get_d(t), -kFractionBits);
}

// The p-bit number of the binade [2^(e+p-1), 2^(e+p)) nearest to a multiple of pi/2 (p <= 62).
inline Nearest nearest_in_binade(int p, int e) {
  detail::Z a, t, a_up, t_up, d_down, d_up;
  alpha_bits(e, a);
  const uint64_t big_a = uint64_t(1) << (p - 1);
  // t = {-A alpha}
  mpz_mul_2exp(t, a, p - 1);
  mpz_neg(t, t);
  mpz_fdiv_r_2exp(t, t, kFractionBits);
  // The mirrored walk: 1 - alpha and 1 - t (mod 1).
  mpz_set_ui(a_up, 0);
  mpz_setbit(a_up, kFractionBits);
  mpz_sub(a_up, a_up, a);
  mpz_neg(t_up, t);
  mpz_fdiv_r_2exp(t_up, t_up, kFractionBits);
  const uint64_t below = detail::walk_down(a, t, big_a, d_down);
  const uint64_t above = detail::walk_down(a_up, t_up, big_a, d_up);
  Nearest n;
  n.e = e;
  n.m = big_a + (mpz_cmp(d_down, d_up) <= 0 ? below : above);
  n.distance = distance_of(n.m, a);
  return n;
}

// Reference reductions -----------------------------------------------------------------------

// pi/2 to at least `bits` bits, computed once per precision and thread.
inline mpfr_srcptr half_pi(mpfr_prec_t bits) {
  static thread_local mpfr_t v;
  static thread_local mpfr_prec_t have = 0;
  if (have < bits) {
    if (have) mpfr_clear(v);
    mpfr_init2(v, bits);
    mpfr_const_pi(v, MPFR_RNDN);
    mpfr_div_2ui(v, v, 1, MPFR_RNDN);
    have = bits;
  }
  return v;
}

// r := x - k pi/2 exactly enough (about 2^-250 relative for any double x and integer k below
// 2^1025), where k is `k` when given and otherwise the integer nearest to x (2/pi), which is
// then written back to *nearest_low as k mod 2^62.
inline void reduce_exact(double x, const double* k, mpfr_ptr r, int64_t* nearest_low = nullptr) {
  int ex = 0;
  std::frexp(x, &ex);
  const mpfr_prec_t bits = std::max(ex, 0) + 400;
  mpfr_t t, kk;
  mpfr_inits2(bits, t, kk, nullptr);
  if (k) {
    mpfr_set_d(kk, *k, MPFR_RNDN);
  } else {
    mpfr_set_d(t, x, MPFR_RNDN);
    mpfr_div(t, t, half_pi(bits), MPFR_RNDN);
    mpfr_rint(kk, t, MPFR_RNDN);
  }
  mpfr_mul(t, kk, half_pi(bits), MPFR_RNDN);
  mpfr_d_sub(t, x, t, MPFR_RNDN);
  mpfr_set(r, t, MPFR_RNDN);
  if (nearest_low) {
    detail::Z kz;
    mpfr_get_z(kz, kk, MPFR_RNDN);
    mpz_fdiv_r_2exp(kz, kz, 62);
    *nearest_low = static_cast<int64_t>(mpz_get_ui(kz));
  }
  mpfr_clears(t, kk, nullptr);
}

// |(hi + lo) - r| / |r|.
inline double relative_error(double hi, double lo, mpfr_srcptr r) {
  mpfr_t d;
  mpfr_init2(d, mpfr_get_prec(r) + 128);
  mpfr_set_d(d, hi, MPFR_RNDN);
  mpfr_add_d(d, d, lo, MPFR_RNDN);
  mpfr_sub(d, d, r, MPFR_RNDN);
  double e = 0;
  if (mpfr_zero_p(r)) {
    e = mpfr_zero_p(d) ? 0.0 : INFINITY;
  } else {
    mpfr_div(d, d, r, MPFR_RNDN);
    e = std::fabs(mpfr_get_d(d, MPFR_RNDN));
  }
  mpfr_clear(d);
  return e;
}

}  // namespace zorp::test::pio2
