// The fit records of the Bessel kernels (special/generated/bessel_polys.inc).
//
// e^r - 1 carries the factor e^a of the modified functions to some 2^-64, so that the result's
// one rounding dominates its error.
//
// J0 and J1 are fitted in pieces around their zeros and extrema below 63 pi/8, with Hankel's
// amplitudes P and Q beyond (the J tables in special/generated/bessel_j_tables.inc).
//
// The modified functions are fitted scaled, F_n(x) = e^-x I_n(x): F_n falls slowly (like
// 1/sqrt(2 pi x)) where I_n itself grows like e^x, so the kernels form I_n as F_n times e^x, and
// F_n is what a polynomial approximates well:
//   0 <= x < 16   sixteen slices of width 1, each F_n = H_i + P_i(x - midpoint);
//   x >= 16       sqrt(x) F_n(x) = G_n(t) in t = 1/x, G_n(0) = 1/sqrt(2 pi); the fit is
//                 Q_n(t) = (G_n(t) - G_n(0)) / t, so that a kernel keeps G_n(0) as a pair;
//   |x| < 1       I0 = 1 + S0(u), I1 = x/2 (1 + S1(u)) in u = x^2/4 with the series' own
//                 coefficients: there F_n changes fastest (F0' = -1 at 0), so a slice's
//                 polynomial part would be nearly as large as its head and carry its own
//                 rounding error into the result, and F1 vanishes at 0.
#include <mpfr.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "bessel_pieces.h"
#include "fits.h"

namespace fit {
namespace {

// e^-x I_nu(x) for x >= 0: the power series (all terms positive) up to x = 120, beyond that the
// asymptotic series e^-x I_nu(x) ~ (2 pi x)^-1/2 sum (-1)^k a_k(nu) / x^k, whose smallest term
// there is near e^-2x, far below the 256 bits carried.
R scaled_bessel_i(int nu, const R& x) {
  R sum(0);
  const R eps = R(std::ldexp(1.0, -300));
  if (x < R(120)) {
    if (x.zero()) return R(nu == 0 ? 1 : 0);
    const R u = x * x / R(4);
    R term(1);
    for (int j = 1; j <= nu; ++j) term = term * x / R(2 * j);
    for (int k = 0;; ++k) {
      sum = sum + term;
      if (abs(term) < sum * eps) break;
      term = term * u / R((k + 1) * (k + 1 + nu));
    }
    return sum * exp(-x);
  }
  const R mu(4 * nu * nu);
  R term(1);
  for (int k = 0; k < 400; ++k) {
    sum = sum + term;
    const R next = term * (R((2 * k + 1) * (2 * k + 1)) - mu) / (R(8 * (k + 1)) * x);
    if (abs(next) < sum * eps || abs(term) < abs(next)) break;
    term = next;
  }
  R pi;
  mpfr_const_pi(pi.v, MPFR_RNDN);
  return sum / sqrt(R(2) * pi * x);
}

template <int kNu>
R scaled_i(const R& x) { return scaled_bessel_i(kNu, x); }

// Q_n(t) = (sqrt(x) e^-x I_n(x) - 1/sqrt(2 pi)) / t with x = 1/t; at t = 0 its limit,
// -(4n^2 - 1)/8 / sqrt(2 pi), the first term of the asymptotic series.
template <int kNu>
R asym_tail(const R& t) {
  R pi;
  mpfr_const_pi(pi.v, MPFR_RNDN);
  const R c0 = R(1) / sqrt(R(2) * pi);
  if (t.zero()) return c0 * R(1 - 4 * kNu * kNu) / R(8);
  const R x = R(1) / t;
  return (sqrt(x) * scaled_bessel_i(kNu, x) - c0) / t;
}

// I0(x) - 1 and I1(x) / (x/2) - 1 in u = x^2/4, and their series sum_j u^j / (j! (j+n)!) from
// j = 1.
template <int kNu>
R small_ratio_m1(const R& u) {
  if (u.zero()) return R(0);
  const R x = R(2) * sqrt(u);
  const R i = scaled_bessel_i(kNu, x) * exp(x);
  return (kNu == 0 ? i : i / (x / R(2))) - R(1);
}
template <int kNu>
R small_series_term(int j) {
  R d(1);
  for (int i = 2; i <= j; ++i) d = d * R(i);
  for (int i = 2; i <= j + kNu; ++i) d = d * R(i);
  return R(1) / d;
}

R expm1_(const R& r) { return expm1(r); }

// ---- J0 and J1 ----------------------------------------------------------------------------------

// The Hankel amplitudes P_n and Q_n of J_n(x) = sqrt(2/(pi x)) (P cos chi - Q sin chi),
// chi = x - (2n + 1) pi/4: from J_n and Y_n where x is moderate, from their asymptotic series
// sum (-1)^k a_2k / x^2k and sum (-1)^k a_(2k+1) / x^(2k+1) beyond 60, whose smallest terms lie
// near e^-2x there, below the 256 bits carried.
void hankel(int n, const R& x, R& p, R& q) {
  if (x < R(60)) {
    const R chi = x - R(2 * n + 1) * pi_() / R(4);
    const R scale = sqrt(pi_() * x / R(2));
    const R j = bessel_j(n, x), y = bessel_y(n, x), c = cos(chi), s = sin(chi);
    p = scale * (j * c + y * s);
    q = scale * (y * c - j * s);
    return;
  }
  const R mu(4 * n * n);
  R term(1);
  p = R(0);
  q = R(0);
  for (int k = 0; k < 200; ++k) {
    if (k % 2 == 0) p = p + ((k / 2) % 2 ? -term : term);
    else q = q + ((k / 2) % 2 ? -term : term);
    const R next = term * (mu - R((2 * k + 1) * (2 * k + 1))) / (R(8 * (k + 1)) * x);
    if (abs(next) < R(std::ldexp(1.0, -300)) || abs(term) < abs(next)) break;
    term = next;
  }
}
// (P_n - 1) / s and x Q_n in s = 1/x^2, with their limits at s = 0.
template <int kN>
R hankel_p(const R& s) {
  if (s.zero()) return R((4 * kN * kN - 1) * (4 * kN * kN - 9)) / R(-128);
  R p, q;
  hankel(kN, R(1) / sqrt(s), p, q);
  return (p - R(1)) / s;
}
template <int kN>
R hankel_q(const R& s) {
  if (s.zero()) return R(4 * kN * kN - 1) / R(8);
  R p, q;
  const R x = R(1) / sqrt(s);
  hankel(kN, x, p, q);
  return q * x;
}

// The modulus and phase of J_n + i Y_n = M e^(i theta) (J = M cos theta, Y = M sin theta), from
// Hankel's amplitudes: M = sqrt(2/(pi x)) sqrt(P^2 + Q^2) and theta = chi + alpha with
// alpha = atan(Q/P) (P > 0 for x >= 63 pi/8). alpha ~ (4n^2 - 1)/(8x) falls like 1/x, so the fit
// is x alpha in s = 1/x^2, with its limit (4n^2 - 1)/8 at s = 0; the modulus's factor is fitted as
// (sqrt(P^2 + Q^2) - 1)/s, with its limit (4n^2 - 1)/16.
template <int kN>
R hankel_phase(const R& s) {
  if (s.zero()) return R(4 * kN * kN - 1) / R(8);
  R p, q, a;
  const R x = R(1) / sqrt(s);
  hankel(kN, x, p, q);
  mpfr_atan(a.v, (q / p).v, MPFR_RNDN);
  return a * x;
}
template <int kN>
R hankel_modulus(const R& s) {
  if (s.zero()) return R(4 * kN * kN - 1) / R(16);
  R p, q;
  hankel(kN, R(1) / sqrt(s), p, q);
  return (sqrt(p * p + q * q) - R(1)) / s;
}
// The interval of s = 1/x^2 the Hankel form serves, x >= 63 pi/8, widened by 1% as the other
// fits of that form.
constexpr double kHankelS = 64.0 / (3969 * 9.8696044010893586) * 1.01;

// A piece of the J tables: [m pi/4 - pi/8, (m + 1) pi/4 - pi/8) (piece 0 from 0), so that the
// zeros of J0 near (k - 1/4) pi and of J1 near (k + 1/4) pi sit mid-piece; centred at f's zero
// in it (to 256 bits, found by bisection) or, where it has none, at its midpoint rounded to a
// double (so that d = x - centre is exact).
constexpr int kJPieces = 32;
void j_piece(int m, R& lo, R& hi) {
  lo = m == 0 ? R(0) : R(2 * m - 1) * pi_() / R(8);
  hi = R(2 * m + 1) * pi_() / R(8);
}
struct Centre {
  R at;
  bool zero;
};
Centre centre(int n, int m) {
  if (m == 0) return {R(0), n == 1};  // J0 even, J1 odd: in x itself
  R lo, hi;
  j_piece(m, lo, hi);
  R a = lo, b = hi;
  const bool neg_a = bessel_j(n, a) < R(0), neg_b = bessel_j(n, b) < R(0);
  if (neg_a == neg_b) return {R(((lo + hi) / R(2)).d()), false};
  for (int i = 0; i < 300; ++i) {
    const R c = (a + b) / R(2);
    if ((bessel_j(n, c) < R(0)) == neg_a) a = c;
    else b = c;
  }
  return {(a + b) / R(2), true};
}

std::string format(const char* f, double v) {
  char b[64];
  std::snprintf(b, sizeof b, f, v);
  return b;
}

void unit_slice(int i, double& lo, double& hi) {
  lo = i;
  hi = i + 1;
}

}  // namespace

std::vector<Fit> bessel_fits() {
  using W = Weight;
  return {
      {"kExpm1D", "e^r - 1", expm1_, "[-2^-10, ln2/16 + 2^-10]", -0x1p-10, 0.6931471805599453 / 16 + 0x1p-10, 9,
       W::Absolute, Prec::Double, How::Minimax, {0}, nullptr,
       "e^a on the exponential's table and reduction, more accurate than its kernels need"},
      {"kJ0HankelPD", "(P0 - 1) / s in s = 1/x^2", hankel_p<0>, "x >= 63 pi/8: s in [0, (8/(63 pi))^2]", 0,
       kHankelS, 9, W::Absolute, Prec::Double, How::Minimax, {}, nullptr,
       "J0 = (P0 cos(x - pi/4) - Q0 sin(x - pi/4)) sqrt(2/(pi x)), P0 = 1 + s P(s)"},
      {"kJ0HankelQD", "x Q0 in s = 1/x^2", hankel_q<0>, "x >= 63 pi/8: s in [0, (8/(63 pi))^2]", 0,
       kHankelS, 9, W::Absolute, Prec::Double, How::Minimax, {}, nullptr,
       "Q0 = Q(s) / x"},
      {"kJ1HankelPD", "(P1 - 1) / s in s = 1/x^2", hankel_p<1>, "x >= 63 pi/8: s in [0, (8/(63 pi))^2]", 0,
       kHankelS, 9, W::Absolute, Prec::Double, How::Minimax, {}, nullptr,
       "J1 = (P1 cos(x - 3pi/4) - Q1 sin(x - 3pi/4)) sqrt(2/(pi x)), P1 = 1 + s P(s)"},
      {"kJ1HankelQD", "x Q1 in s = 1/x^2", hankel_q<1>, "x >= 63 pi/8: s in [0, (8/(63 pi))^2]", 0,
       kHankelS, 9, W::Absolute, Prec::Double, How::Minimax, {}, nullptr,
       "Q1 = Q(s) / x"},
      {"kJ0ModulusD", "(sqrt(P0^2 + Q0^2) - 1) / s in s = 1/x^2", hankel_modulus<0>,
       "x >= 63 pi/8: s in [0, (8/(63 pi))^2]", 0, kHankelS, 9, W::Absolute, Prec::Double, How::Minimax, {}, nullptr,
       "|J0 + i Y0| = sqrt(2/(pi x)) (1 + s M(s)), near the zeros beyond 63 pi/8 (bessel_core.h)"},
      {"kJ1ModulusD", "(sqrt(P1^2 + Q1^2) - 1) / s in s = 1/x^2", hankel_modulus<1>,
       "x >= 63 pi/8: s in [0, (8/(63 pi))^2]", 0, kHankelS, 9, W::Absolute, Prec::Double, How::Minimax, {}, nullptr,
       "|J1 + i Y1| = sqrt(2/(pi x)) (1 + s M(s))"},
      {"kI0AsymD", "(sqrt(x) e^-x I0(x) - 1/sqrt(2 pi)) / t in t = 1/x", asym_tail<0>, "x >= 16: t in [0, 1/16]",
       0, 1.0 / 16, 17, W::Absolute, Prec::Double, How::Minimax, {}, nullptr,
       "I0 = e^x (c0 + t Q(t)) / sqrt(x), c0 kept as a pair by the kernel"},
      {"kI1AsymD", "(sqrt(x) e^-x I1(x) - 1/sqrt(2 pi)) / t in t = 1/x", asym_tail<1>, "x >= 16: t in [0, 1/16]",
       0, 1.0 / 16, 17, W::Absolute, Prec::Double, How::Minimax, {}, nullptr,
       "I1 = e^x (c0 + t Q(t)) / sqrt(x), c0 kept as a pair by the kernel"},
      {"kI0SmallD", "I0(x) - 1 in u = x^2/4", small_ratio_m1<0>, "|x| < 1: u in [0, 1/4]", 0, 0.25, 10,
       W::Absolute, Prec::Double, How::Taylor, {}, small_series_term<0>, "I0 = 1 + S(u), every slot"},
      {"kI1SmallD", "I1(x) / (x/2) - 1 in u = x^2/4", small_ratio_m1<1>, "|x| < 1: u in [0, 1/4]", 0, 0.25, 9,
       W::Absolute, Prec::Double, How::Taylor, {}, small_series_term<1>, "I1 = x/2 + (x/2) S(u), every slot"},
  };
}

R bessel_j(int n, const R& x) {
  R r;
  if (n == 0) mpfr_j0(r.v, x.v, MPFR_RNDN);
  else mpfr_j1(r.v, x.v, MPFR_RNDN);
  return r;
}
R bessel_y(int n, const R& x) {
  R r;
  if (n == 0) mpfr_y0(r.v, x.v, MPFR_RNDN);
  else mpfr_y1(r.v, x.v, MPFR_RNDN);
  return r;
}
R pi_() {
  R p;
  mpfr_const_pi(p.v, MPFR_RNDN);
  return p;
}

// One piece of a table of pieces (see below): the centre as a pair, the polynomial in d (its
// constant 0 at a zero), the rounding errors of the leading coefficients kept apart, and a comment
// line with the error the stored coefficients reach against f over [a, b].
void PieceColumns::add(Out& o, int m, const R& at, bool zero, double a, double b, const Target& f,
                       const std::vector<R>& exact) {
  const double hi = at.d(), lo = (at - R(hi)).d();
  his.push_back(hi);
  los.push_back(lo);
  los2.push_back((at - R(hi) - R(lo)).d());
  std::vector<double> row;
  for (const R& v : exact) row.push_back(v.d());
  const int lead = zero ? 1 : 0;
  leads.push_back((exact[lead] - R(row[lead])).d());
  nexts.push_back(zero ? 0.0 : (exact[1] - R(row[1])).d());
  for (int j = 0; j <= degree; ++j) cols[j].push_back(row[j]);
  // The error as the kernel's coefficients give it: the lead as its pair, the rest rounded.
  std::vector<R> stored;
  for (int j = 0; j <= degree; ++j) stored.emplace_back(row[j]);
  stored[lead] = stored[lead] + R(leads.back());
  stored[1] = stored[1] + R(nexts.back());
  double worst = 0;
  for (int k = 0; k <= 2000; ++k) {
    const R d = R(a) + (R(b) - R(a)) * R(k) / R(2000);
    if (d.zero()) continue;
    R v = stored.back();
    for (int j = degree; j-- > 0;) v = v * d + stored[j];
    worst = std::max(worst, std::fabs((v / f(d) - R(1)).d()));
  }
  o.line("//   piece " + format("%2.0f", m) + (zero ? "  zero " : "  mid  ") + format("%.17g", hi) + "  d in " + "[" +
         format(span, a) + ", " + format(span, b) + "]" + "  " + format("%.1f bits", -std::log2(worst)));
}

void PieceColumns::skip(Out& o, int m, double centre, const char* why) {
  his.push_back(centre);
  los.push_back(0);
  los2.push_back(0);
  leads.push_back(0);
  nexts.push_back(0);
  for (auto& c : cols) c.push_back(0);
  o.line("//   piece " + format("%2.0f", m) + "  none " + why);
}

void PieceColumns::write(Out& o, const std::string& name) const {
  o.array(Prec::Double, name + "CentreHi", his);
  o.array(Prec::Double, name + "CentreLo", los);
  if (tails) o.array(Prec::Double, name + "CentreTail", los2);
  o.array(Prec::Double, name + "LeadLo", leads);
  o.array(Prec::Double, name + "NextLo", nexts);
  o.array2(Prec::Double, name + "Pieces", cols);
}

// The J tables (fitted for relative error, by the Remez exchange): per piece the centre as a pair (hi, lo: a zero needs more than a double) and the
// polynomial in d = x - centre, fitted for relative error over the piece widened by 1/64 on each
// side, its constant pinned to 0 at a zero so that the result keeps its relative accuracy there.
// The leading coefficient (c1 at a zero, c0 elsewhere) carries most of the result, and its
// rounding alone would cost a quarter ulp: its rounding error is stored apart (<name>LeadLo);
// away from a zero c1 d reaches most of the result as well, and c1's rounding error is kept too
// (<name>NextLo, 0 at a zero, where c2 d is small beside c1).
std::string bessel_j_tables() {
  Out o;
  o.line("// Generated by tools/fit; do not edit. The Bessel functions J0 and J1 below 63 pi/8: 32 pieces");
  o.line("// [m pi/4 - pi/8, (m + 1) pi/4 - pi/8), each centred at the function's zero in it (hi + lo) or at");
  o.line("// its midpoint, and the polynomial in d = x - centre (rising degree), recorded in tools/fit/bessel.cpp.");
  o.line("#pragma once");
  o.line("namespace zorp::vm::besseltab {");
  constexpr int kDegree = 14;
  for (int n = 0; n <= 1; ++n) {
    PieceColumns t(kDegree);
    const std::string name = "kJ" + std::to_string(n);
    o.line("// " + name + "Pieces: J" + std::to_string(n) + "(centre + d), degree " + std::to_string(kDegree) +
           ", relative error, double");
    for (int m = 0; m < kJPieces; ++m) {
      const Centre c = centre(n, m);
      const R at = c.at;
      R from, to;
      j_piece(m, from, to);
      const double a = (from - at).d() - 1.0 / 64, b = (to - at).d() + 1.0 / 64;
      const Target f = [n, at](const R& d) { return bessel_j(n, at + d); };
      std::vector<R> pinned;
      if (c.zero) pinned.push_back(R(0));
      t.add(o, m, at, c.zero, a, b, f, remez(f, a, b, kDegree, Weight::Relative, pinned));
    }
    t.write(o, name);
  }
  o.line("}  // namespace zorp::vm::besseltab");
  return o.text;
}

// The phase corrections alpha_n of J_n + i Y_n beyond 63 pi/8 (special/generated/
// bessel_phase.inc): x alpha_n = A(u) in u = 1/x^2 - s_c by the Remez exchange for absolute
// error. Near a zero the result is the modulus times the sine of the phase's distance from the
// zero, which the kernel forms as the sum of the reduced argument and alpha: alpha must be known
// to some 2^-112 (a double's distance from a zero near 25 is typically 2^-50, and the result's
// relative error is the phase's absolute error over that distance). A's expansion at s = 1/x^2 = 0
// is asymptotic, its coefficients growing like (2j)!: in powers of s itself the terms of degree 8
// to 12 still reach 2^-48 to 2^-59 at the interval's end, and their roundings left the degree-20
// fit at 102.5 bits with pairs to degree 7; about the interval's midpoint s_c it keeps 111.6 bits
// (J0; 113.3 J1) with pairs to degree 8. The coefficients whose terms reach 2^-60 over the
// interval are stored as pairs (<name>Hi + <name>Lo, summed in double-double), the rest rounded.
constexpr double kPhaseCentre = kHankelS / 2;
std::string bessel_phase_tables() {
  constexpr int kDegree = 20;
  Out o;
  o.line("// Generated by tools/fit; do not edit. The phase corrections of the Bessel functions J_n + i Y_n");
  o.line("// = M e^(i theta), theta = x - (2n + 1) pi/4 + alpha_n, for x >= 63 pi/8: x alpha_n = A(u) in");
  o.line("// u = 1/x^2 - kPhaseCentre (rising degree), the leading coefficients as pairs hi + lo, recorded in");
  o.line("// tools/fit/bessel.cpp.");
  o.line("#pragma once");
  o.line("namespace zorp::vm::besselphase {");
  o.line("inline constexpr double kPhaseCentre = " + hexf(kPhaseCentre) + ";");
  const Target fs[2] = {hankel_phase<0>, hankel_phase<1>};
  for (int n = 0; n <= 1; ++n) {
    const Target f = [&fs, n](const R& u) { return fs[n](u + R(kPhaseCentre)); };
    const std::vector<R> c = remez(f, -kPhaseCentre, kPhaseCentre, kDegree, Weight::Absolute, {});
    std::vector<double> hi, lo;
    std::vector<R> stored;
    R reach(1);
    for (int j = 0; j <= kDegree; ++j, reach = reach * R(kPhaseCentre)) {
      hi.push_back(c[j].d());
      stored.emplace_back(hi.back());
      if (j == static_cast<int>(lo.size()) && !(abs(c[j]) * reach < R(0x1p-60))) {
        lo.push_back((c[j] - R(hi.back())).d());
        stored.back() = stored.back() + R(lo.back());
      }
    }
    const double bits = accuracy_bits(f, -kPhaseCentre, kPhaseCentre, stored, Weight::Absolute);
    const std::string name = "kJ" + std::to_string(n) + "Phase";
    o.line("// " + name + ": x alpha_" + std::to_string(n) + " in u = 1/x^2 - kPhaseCentre, x >= 63 pi/8: " +
           "u in [-kPhaseCentre, kPhaseCentre], degree " + std::to_string(kDegree) +
           ", absolute error, pairs to degree " + std::to_string(lo.size() - 1) + ": " + format("%.1f bits", bits));
    o.array(Prec::Double, name + "Hi", hi);
    o.array(Prec::Double, name + "Lo", lo);
  }
  o.line("}  // namespace zorp::vm::besselphase");
  return o.text;
}

std::vector<PiecewiseFit> bessel_piecewise_fits() {
  return {
      {"kI0PiecesD", "e^-x I0(x) - H_i", scaled_i<0>, 16, unit_slice, "x in [i, i + 1), in x - (i + 1/2)", 14,
       Weight::Absolute, Prec::Double, {}, "I0 = e^x (H_i + P_i(x - midpoint)) from 1 to 16", true, true},
      {"kI1PiecesD", "e^-x I1(x) - H_i", scaled_i<1>, 16, unit_slice, "x in [i, i + 1), in x - (i + 1/2)", 14,
       Weight::Absolute, Prec::Double, {}, "I1 = e^x (H_i + P_i(x - midpoint)) from 1 to 16", true, true},
  };
}

}  // namespace fit
