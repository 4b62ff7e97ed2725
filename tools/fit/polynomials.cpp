// The fit records of the exponential and logarithm kernels, and the writer of their
// coefficient files. Each entry below is the whole record of one polynomial: change a degree or
// an interval here, run `fit <source dir>`, and the kernels read the new coefficients.
#include <cstdio>
#include <cstdlib>

#include "fits.h"

namespace fit {
namespace {

R expm1_(const R& r) { return expm1(r); }
R exp_(const R& r) { return exp(r); }
R exp2m1(const R& r) { return exp2(r) - R(1); }
R exp10m1(const R& r) { return exp10(r) - R(1); }
R log1p_(const R& u) { return log1p(u); }
R log1p_over_u(const R& u) { return u.zero() ? R(1) : log1p(u) / u; }
R inv_cbrt_1p(const R& u) {
  R c, t = R(1) + u;
  mpfr_cbrt(c.v, t.v, MPFR_RNDN);
  return R(1) / c;
}
R inv_factorial(int j) {
  R f(1);
  for (int i = 2; i <= j; ++i) f = f * R(i);
  return R(1) / f;
}

// The sine and cosine polynomials are polynomials in u = r^2 (their arguments are even or odd
// in r): the kernels form sin r = r + r u S(u) (or r + r S(u) with S the whole of sin r / r - 1)
// and cos r = 1 - u/2 + u^2 C(u). The limits at u = 0 are the series' leading terms.
R sin_tail(const R& u) {
  if (u.zero()) return R(-1) / R(6);
  const R r = sqrt(u);
  return (sin(r) - r) / (u * r);
}
R sin_over_r_m1(const R& u) { return u.zero() ? R(0) : sin(sqrt(u)) / sqrt(u) - R(1); }
R cos_sqrt(const R& u) { return cos(sqrt(u)); }
R atan_tail(const R& u) {
  if (u.zero()) return R(-1) / R(3);
  const R t = sqrt(u);
  R a;
  mpfr_atan(a.v, t.v, MPFR_RNDN);
  return (a - t) / (u * t);
}
// The same past its seventh-power term, for an angle that carries t - t^3/3 + t^5/5 - t^7/7 as
// a pair.
R atan_tail9(const R& u) {
  if (u.zero()) return R(1) / R(9);
  const R t = sqrt(u);
  R a;
  mpfr_atan(a.v, t.v, MPFR_RNDN);
  return (a - t + u * t / R(3) - u * u * t / R(5) + u * u * u * t / R(7)) / (u * u * u * u * t);
}
R asin_tail(const R& u) {
  if (u.zero()) return R(1) / R(6);
  const R t = sqrt(u);
  R a;
  mpfr_asin(a.v, t.v, MPFR_RNDN);
  return (a - t) / (u * t);
}
// The tangent near zero, odd in r: tan r = r + r u T(u).
R tan_tail(const R& u) {
  if (u.zero()) return R(1) / R(3);
  const R r = sqrt(u);
  R t;
  mpfr_tan(t.v, r.v, MPFR_RNDN);
  return (t - r) / (u * r);
}
// The hyperbolic sine and tangent near zero, odd in r: sinh r = r + r u S(u), tanh r = r + r u T(u).
R sinh_tail(const R& u) {
  if (u.zero()) return R(1) / R(6);
  const R r = sqrt(u);
  R s;
  mpfr_sinh(s.v, r.v, MPFR_RNDN);
  return (s - r) / (u * r);
}
R tanh_tail(const R& u) {
  if (u.zero()) return R(-1) / R(3);
  const R r = sqrt(u);
  R t;
  mpfr_tanh(t.v, r.v, MPFR_RNDN);
  return (t - r) / (u * r);
}
// The error function: erf(r)/r - 1 in u = r^2 near zero, erf x itself in the slices beyond.
R erf_(const R& x) {
  R e;
  mpfr_erf(e.v, x.v, MPFR_RNDN);
  return e;
}
R erf_over_r_m1(const R& u) {
  if (u.zero()) {
    R pi;
    mpfr_const_pi(pi.v, MPFR_RNDN);
    return R(2) / sqrt(pi) - R(1);
  }
  const R r = sqrt(u);
  return erf_(r) / r - R(1);
}
// The single-precision roots read one argument x = m + 2j for |a| = m 2^(j + 3q), m in [1, 2)
// and j in 0..2: the three octaves of z = m 2^j laid end to end, so that one slicing serves
// them and each slice's polynomial is in m - midpoint, as the kernel computes it. k/3 is the
// power: 1 for Cbrt, -1 for InvCbrt, 2 for Pow2o3.
R z_pow_thirds(const R& x, int k) {
  const double j = std::floor((x.d() - 1) / 2);
  const R z = (x - R(2 * j)) * R(std::ldexp(1.0, static_cast<int>(j)));
  return exp(log(z) * R(k) / R(3));
}
R cbrt_octaves(const R& x) { return z_pow_thirds(x, 1); }
R inv_cbrt_octaves(const R& x) { return z_pow_thirds(x, -1); }
R pow2o3_octaves(const R& x) { return z_pow_thirds(x, 2); }
R cos_tail(const R& u) { return u.zero() ? R(1) / R(24) : (cos(sqrt(u)) - R(1) + u / R(2)) / (u * u); }
// One term further, for pairs that carry r^3/6 and r^4/24 exactly.
R sin_tail5(const R& u) {
  if (u.zero()) return R(1) / R(120);
  const R r = sqrt(u);
  return (sin(r) - r + u * r / R(6)) / (u * u * r);
}
R cos_tail6(const R& u) {
  return u.zero() ? R(-1) / R(720) : (cos(sqrt(u)) - R(1) + u / R(2) - u * u / R(24)) / (u * u * u);
}
// Twice the tangent of half the argument, odd in r: 2 tan(r/2) = r + r u T(u), from which
// tan r = t/(1 - t^2/4) with one quotient.
R tan_half_tail(const R& u) {
  if (u.zero()) return R(1) / R(12);
  const R r = sqrt(u), h = r / R(2);
  R t;
  mpfr_tan(t.v, h.v, MPFR_RNDN);
  return (R(2) * t - r) / (u * r);
}

// The tangent with its poles at +-pi/2 divided out: tan r = r P(u) / (1 - c u), c = fl(4/pi^2)
// (the double the kernel reads), and P(u) = 1 + u T(u). Its nearest singularities are the poles
// at +-3 pi/2, so a polynomial in u converges about seven bits a degree over a quarter turn,
// where 2 tan(r/2) gains six.
const double kFourOverPiSq = 0x1.9f02f6222c720p-2;
R tan_pole_tail(const R& u) {
  const R c(kFourOverPiSq);
  if (u.zero()) return R(1) / R(3) - c;
  const R r = sqrt(u);
  R t;
  mpfr_tan(t.v, r.v, MPFR_RNDN);
  return (t * (R(1) - c * u) / r - R(1)) / u;
}

const double kLn2 = std::log(2.0), kLog10of2 = std::log10(2.0);
const double kPi = 3.141592653589793;

}  // namespace

std::vector<Fit> exp_fits() {
  using W = Weight;
  return {
      // ---- Exp -------------------------------------------------------------------------------
      {"kExpHaF", "e^r - 1", expm1_, "[0, ln2/32]", 0, kLn2 / 32, 3, W::Absolute, Prec::Single, How::Fixed,
       {0, 1, 0.5000146627426147, 0.16667155921459198}, nullptr,
       "published; the kernel adds r and the table's low part itself and evaluates c2 + c3 r"},
      {"kExpOctaveF", "e^r - 1", expm1_, "[-ln2/2, ln2/2]", -kLn2 / 2, kLn2 / 2, 4, W::Absolute, Prec::Single,
       How::Minimax, {0}, nullptr,
       "whole octaves rounded to nearest, no table: the single EP hyperbolic functions (e^r and e^-r from "
       "its even and odd parts), Erfc and CdfNorm"},
      {"kExpLaD", "e^r - 1", expm1_, "[0, ln2/16]", 0, kLn2 / 16, 6, W::Absolute, Prec::Double, How::Fixed,
       {0, 1, 0.5000000000010838, 0.16666666637508337, 0.041666695348322125, 0.008332058899382488,
        0.0014149452874381984},
       nullptr, "published; the kernel forms r + r^2 (c2 + ...)"},
      {"kExpHaD", "e^r - 1", expm1_, "[0, ln2/16]", 0, kLn2 / 16, 6, W::Absolute, Prec::Double, How::Fixed,
       {0, 0.999999999999984, 0.5000000000059126, 0.1666666658485894, 0.0416667205488057, 0.008331512908898442,
        0.0014193283516881214},
       nullptr, "published; also the scalar e^x of the double callouts"},
      {"kExpEpD", "e^r - 1", expm1_, "[0, ln2/16]", 0, kLn2 / 16, 3, W::Absolute, Prec::Double, How::Fixed,
       {0, 1.000000863624094, 0.4999005827986578, 0.17032218485319242}, nullptr, "published"},
      {"kExpCalloutF", "e^r", exp_, "[-ln2/2, ln2/2]", -kLn2 / 2, kLn2 / 2, 5, W::Relative, Prec::Single,
       How::Fixed,
       {0x1.000002p+0, 0x1.000002p+0, 0.49998870491981506, 0.166663259267807, 0.041917525231838226,
        0.008381112478673458},
       nullptr, "published (c0 = c1 one unit above 1); the single LA and EP callout"},
      {"kExpCalloutHaF", "e^r - 1", expm1_, "[-ln2/128, ln2/128]", -kLn2 / 128, kLn2 / 128, 6, W::Absolute,
       Prec::Double, How::Fixed,
       {0, 1, 0.5, 0.1666666666665788, 0.04166666666677052, 0.008333341995140497, 0.0013888870459233254},
       nullptr, "published; the single HA callout, computed in double"},
      // ---- Exp2 and Exp10 ------------------------------------------------------------------------
      {"kExp2F", "2^r - 1", exp2m1, "[0, 1/16]", 0, 1.0 / 16, 4, W::Absolute, Prec::Single, How::Fixed,
       {0, 0x1.62e43p-1, 0.24022676050662994, 0.05549252778291702, 0.009829008020460606}, nullptr,
       "published (c1 = ln2 rounded)"},
      {"kExp2D", "2^r - 1", exp2m1, "[0, 1/16]", 0, 1.0 / 16, 6, W::Absolute, Prec::Double, How::Fixed,
       {0, 0.6931471805599342, 0.24022650696194142, 0.055504108392381686, 0.009618141545517354,
        0.0013330645418221986, 0.00015741120530459663},
       nullptr, "published; also the scalar 2^x of the callouts"},
      {"kExp10F", "10^r - 1", exp10m1, "[0, log10(2)/32]", 0, kLog10of2 / 32, 3, W::Absolute, Prec::Single,
       How::Fixed, {0, 2.3025870323181152, 2.6504218578338623, 2.079305410385132}, nullptr, "published"},
      {"kExp10D", "10^r - 1", exp10m1, "[0, log10(2)/16]", 0, kLog10of2 / 16, 6, W::Absolute, Prec::Double,
       How::Fixed,
       {0, 2.3025850929940086, 2.6509490552705466, 2.0346785823063307, 1.1712566635458537, 0.5392651004918929,
        0.2115324552507909},
       nullptr, "published; also the scalar 10^x of the callouts"},
      // ---- Expm1: the kernels form r + (r^2 (c2 + c3 r + ...) + low parts) --------------------
      {"kExpm1LaF", "e^r - 1", expm1_, "[-ln2/16, ln2/16]", -kLn2 / 16, kLn2 / 16, 4, W::Relative, Prec::Single,
       How::Fixed, {0, 1, 0.5, 0.16668230295181274, 0.041670575737953186}, nullptr, "published"},
      {"kExpm1HaF", "e^r - 1", expm1_, "[-ln2/16, ln2/16]", -kLn2 / 16, kLn2 / 16, 5, W::Relative, Prec::Single,
       How::Fixed, {0, 1, 0.5, 0.16668230295181274, 0.041670575737953186, 1.0 / 120}, nullptr,
       "published up to r^4, and 1/5! for r^5, which HA needs: see expm1.cpp"},
      {"kExpm1EpF", "e^r - 1", expm1_, "[-ln2/16, ln2/16]", -kLn2 / 16, kLn2 / 16, 3, W::Relative, Prec::Single,
       How::Taylor, {}, inv_factorial},
      {"kExpm1LaD", "e^r - 1", expm1_, "[-ln2/16, ln2/16]", -kLn2 / 16, kLn2 / 16, 8, W::Relative, Prec::Double,
       How::Fixed,
       {0, 1, 0.5, 0.1666666666666712, 0.04166666666666792, 0.008333333321199928, 0.0013888888868262008,
        0.00019842304240775933, 2.4802880303830418e-05},
       nullptr, "published"},
      {"kExpm1HaD", "e^r - 1", expm1_, "[-ln2/16, ln2/16]", -kLn2 / 16, kLn2 / 16, 9, W::Relative, Prec::Double,
       How::Fixed,
       {0, 1, 0.5, 0.1666666666666712, 0.04166666666666792, 0.008333333321199928, 0.0013888888868262008,
        0.00019842304240775933, 2.4802880303830418e-05, 2.7557319223985893e-06},
       nullptr, "published up to r^8, and 1/9! for r^9, which HA needs: see expm1.cpp"},
      {"kExpm1EpD", "e^r - 1", expm1_, "[-ln2/16, ln2/16]", -kLn2 / 16, kLn2 / 16, 5, W::Relative, Prec::Double,
       How::Fixed, {0, 1, 0.5, 0.1666666666666712, 0.041666666666666792, 0.008333333321199928}, nullptr,
       "the published set cut after r^5, its r^4 coefficient 1/24 rounded a few units differently; EP "
       "results rest on these values"},
  };
}

std::vector<Fit> power_fits() {
  using W = Weight;
  return {
      {"kInvCbrtD", "(1 + u)^(-1/3)", inv_cbrt_1p, "[0, 1]", 0, 1, 6, W::Relative, Prec::Double, How::Minimax, {},
       nullptr,
       "the start of the cube roots' Newton steps on the mantissa m = 1 + u in [1, 2); each step doubles "
       "the bits"},
      {"kLnPowD", "ln(1 + r)", log1p_, "[-1/32, 1/32]", -1.0 / 32, 1.0 / 32, 13, W::Relative, Prec::Double,
       How::Minimax, {0, 1, -0.5}, nullptr,
       "the extended logarithm of Pow: the kernel adds r and -r^2/2 exactly and evaluates c3 + c4 r + ..."},
      {"kExpPowD", "e^r - 1", expm1_, "[-ln2/32, ln2/32]", -kLn2 / 32, kLn2 / 32, 8, W::Relative, Prec::Double,
       How::Minimax, {0, 1}, nullptr, "the exponential of Pow, on a 1/16 grid rounded to nearest; c2 + c3 r + ..."},
      {"kExpPowLaD", "e^r - 1", expm1_, "[-ln2/32, ln2/32]", -kLn2 / 32, kLn2 / 32, 6, W::Absolute,
       Prec::Double, How::Minimax, {0, 1}, nullptr,
       "the exponential of double LA Pow: the table's high part alone, one rounding less than HA's; c2 + c3 r + ..."},
      {"kLnPowF", "ln(1 + r)", log1p_, "[-1/32, 1/32]", -1.0 / 32, 1.0 / 32, 6, W::Relative, Prec::Double,
       How::Minimax, {0, 1}, nullptr,
       "single-precision Pow's logarithm, computed in double: r + r^2 (c2 + c3 r + ...); 88 times its error "
       "stays far below an ulp of the result"},
      {"kExpPowF", "e^r - 1", expm1_, "[-ln2/32, ln2/32]", -kLn2 / 32, kLn2 / 32, 4, W::Relative, Prec::Double,
       How::Minimax, {0, 1}, nullptr,
       "single-precision Pow's exponential, computed in double on a 1/16 grid rounded to nearest; c2 + c3 r + ..."},
  };
}

namespace {
// Slice i of the single-precision roots: octave j = i/8 and the top three fraction bits of m;
// pieces 24 to 31 (j = 3) are never read and only fill the second register of the table.
void root_slice(int i, double& lo, double& hi) {
  lo = 1 + 2 * (i / 8) + (i % 8) / 8.0;
  hi = lo + 0.125;
}
}  // namespace

std::vector<PiecewiseFit> power_piecewise_fits() {
  const char* slices = "x = m + 2j in [1 + 2j + s/8, 1 + 2j + (s + 1)/8), piece 8j + s, in m - midpoint";
  // With a head the polynomial fits the rest, whose error counts absolutely; without, the error
  // relative to the result is what the kernel's ulps see.
  auto fit = [&](const char* name, const char* target, Target f, int degree, bool head, const char* note) {
    return PiecewiseFit{name, target, f, 32, root_slice, slices, degree, head ? Weight::Absolute : Weight::Relative,
                        Prec::Single, {}, note, true, head};
  };
  return {
      fit("kCbrtHaF", "(m 2^j)^(1/3)", cbrt_octaves, 4, true, "single Cbrt HA: head + P(m - midpoint), added last"),
      fit("kCbrtLaF", "(m 2^j)^(1/3)", cbrt_octaves, 3, false, "single Cbrt LA"),
      fit("kCbrtEpF", "(m 2^j)^(1/3)", cbrt_octaves, 2, false, "single Cbrt EP"),
      fit("kInvCbrtHaF", "(m 2^j)^(-1/3)", inv_cbrt_octaves, 4, true, "single InvCbrt HA: head + P(m - midpoint)"),
      fit("kInvCbrtLaF", "(m 2^j)^(-1/3)", inv_cbrt_octaves, 4, false,
          "single InvCbrt LA: degree 3 reaches only 22 bits, four ulps of results below 1"),
      fit("kInvCbrtEpF", "(m 2^j)^(-1/3)", inv_cbrt_octaves, 2, false, "single InvCbrt EP"),
      fit("kPow2o3HaF", "(m 2^j)^(2/3)", pow2o3_octaves, 4, true, "single Pow2o3 HA: head + P(m - midpoint)"),
      fit("kPow2o3LaF", "(m 2^j)^(2/3)", pow2o3_octaves, 3, false, "single Pow2o3 LA"),
      fit("kPow2o3EpF", "(m 2^j)^(2/3)", pow2o3_octaves, 2, false, "single Pow2o3 EP"),
  };
}

std::vector<Fit> trig_fits() {
  using W = Weight;
  const double kHalfPiSq = kPi * kPi / 4, kQuarterPiSq = kPi * kPi / 16;
  return {
      // ---- the fixed kernels: published sets whose results keep their bits ------------------
      {"kSinEpD", "(sin r - r)/r^3 in u = r^2", sin_tail, "r in [-pi/2, pi/2]", 0, kHalfPiSq, 3, W::Relative,
       Prec::Double, How::Fixed,
       {-0x1.55554ad3eaf1fp-3, 0x1.110ea968a0185p-7, -0x1.9f67d9395d587p-13, 0x1.5d4567512bbd5p-19}, nullptr,
       "published; the double EP sine and sine-cosine: r + r (u S(u))"},
      {"kCosKernelD", "(sin r - r)/r^3 in u = r^2", sin_tail, "r in [-pi/2, pi/2]", 0, kHalfPiSq, 6, W::Relative,
       Prec::Double, How::Fixed,
       {-0x1.55555555554a7p-3, 0x1.111111110a4a8p-7, -0x1.a01a019a5b87bp-13, 0x1.71de38030fea0p-19,
        -0x1.ae63546002231p-26, 0x1.60e6857a2f220p-33, -0x1.9f0d60811aac8p-41},
       nullptr, "published; the double cosine of the LA and EP slots, cos x as the sine of (N + 1/2) pi - |x|"},
      {"kSinLaF", "(sin r - r)/r^3 in u = r^2", sin_tail, "r in [-pi/2, pi/2]", 0, kHalfPiSq, 3, W::Relative,
       Prec::Single, How::Fixed,
       {-0x1.55554cp-3, 0x1.110eccp-7, -0x1.9f6ffep-13, 0x1.5dbdf0p-19}, nullptr,
       "published; the single LA sine: r + (S(u) u) r"},
      {"kCosLaF", "(sin r - r)/r^3 in u = r^2", sin_tail, "r in [-pi/2, pi/2]", 0, kHalfPiSq, 3, W::Relative,
       Prec::Single, How::Fixed,
       {-0x1.55554cp-3, 0x1.110ec8p-7, -0x1.9f6d9ep-13, 0x1.5d866ap-19}, nullptr,
       "published; the single LA cosine, a quarter turn ahead of the sine"},
      {"kSinCosSinF", "sin(r)/r - 1 in u = r^2", sin_over_r_m1, "r in [-pi/4, pi/4]", 0, kQuarterPiSq, 3,
       W::Absolute, Prec::Single, How::Fixed, {-0x1.bd0e1ap-29, -0x1.55554p-3, 0x1.110606p-7, -0x1.98fb9cp-13},
       nullptr, "published; the single LA sine-cosine: r + r S(u)"},
      {"kSinCosCosF", "cos(r) in u = r^2", cos_sqrt, "r in [-pi/4, pi/4]", 0, kQuarterPiSq, 3, W::Absolute,
       Prec::Single, How::Fixed, {1, -0x1.ffff96p-2, 0x1.553ba6p-5, -0x1.63f9d6p-10}, nullptr,
       "published; the single LA sine-cosine"},
      // ---- the accurate kernels: r = hi + lo within a quarter turn ----------------------------
      {"kSinTailD", "(sin r - r)/r^3 in u = r^2", sin_tail, "r in [-pi/4, pi/4]", 0, kQuarterPiSq, 5,
       W::Relative, Prec::Double, How::Minimax, {}, nullptr,
       "sin(hi + lo) = hi + (hi u S(u) + lo (1 - u/2)); the tail is below a tenth of the result"},
      {"kCosTailD", "(cos r - 1 + r^2/2)/r^4 in u = r^2", cos_tail, "r in [-pi/4, pi/4]", 0, kQuarterPiSq, 5,
       W::Relative, Prec::Double, How::Minimax, {}, nullptr,
       "cos(hi + lo) = (1 - u/2) + (u^2 C(u) - hi lo) with u = hi^2 as an exact pair"},
      {"kAtanTailD", "(atan t - t)/t^3 in u = t^2", atan_tail, "t in [-tan(pi/8), tan(pi/8)]", 0,
       0.17157287525381, 12, W::Relative, Prec::Double, How::Minimax, {}, nullptr,
       "atan(hi + lo) = hi + (hi u A(u) + lo); the tail is below a sixteenth of the result"},
      {"kSinTail5D", "(sin r - r + r^3/6)/r^5 in u = r^2", sin_tail5, "r in [-pi/4, pi/4]", 0, kQuarterPiSq, 5,
       W::Relative, Prec::Double, How::Minimax, {}, nullptr,
       "the fine sine pair of the complex power: sin(hi + lo) = hi - hi^3/6 (a pair) + (hi^5 S(u) + lo cos hi)"},
      {"kCosTail6D", "(cos r - 1 + r^2/2 - r^4/24)/r^6 in u = r^2", cos_tail6, "r in [-pi/4, pi/4]", 0, kQuarterPiSq,
       5, W::Relative, Prec::Double, How::Minimax, {}, nullptr,
       "the fine cosine pair of the complex power: cos(hi + lo) = 1 - u/2 + u^2/24 (pairs) + (u^3 C(u) - lo sin hi)"},
      {"kAtanTail9D", "(atan t - t + t^3/3 - t^5/5 + t^7/7)/t^9 in u = t^2", atan_tail9,
       "t in [-tan(pi/8), tan(pi/8)]", 0, 0.17157287525381, 11, W::Relative, Prec::Double, How::Minimax, {}, nullptr,
       "the fine angle of the complex power: atan(hi + lo) = hi - hi^3/3 + hi^5/5 - hi^7/7 (pairs) + (hi^9 C(u) + lo/(1 + u))"},
      {"kAsinTailD", "(asin t - t)/t^3 in u = t^2", asin_tail, "t in [-1/2, 1/2]", 0, 0.25, 14, W::Relative,
       Prec::Double, How::Minimax, {}, nullptr,
       "asin(hi + lo) = hi + (hi u A(u) + lo); beyond 1/2 the argument is sqrt((1 - |x|)/2)"},
      // ---- single precision computed in double registers and rounded once -------------------
      {"kSinTailS", "(sin r - r)/r^3 in u = r^2", sin_tail, "r in [-pi/4, pi/4]", 0, kQuarterPiSq, 4,
       W::Relative, Prec::Double, How::Minimax, {}, nullptr, "single sine in double: sin r = r + r u S(u)"},
      {"kCosTailS", "(cos r - 1 + r^2/2)/r^4 in u = r^2", cos_tail, "r in [-pi/4, pi/4]", 0, kQuarterPiSq, 4,
       W::Relative, Prec::Double, How::Minimax, {}, nullptr, "single cosine in double: cos r = 1 - u/2 + u^2 C(u)"},
      {"kAtanTailS", "(atan t - t)/t^3 in u = t^2", atan_tail, "t in [-tan(pi/8), tan(pi/8)]", 0,
       0.17157287525381, 6, W::Relative, Prec::Double, How::Minimax, {}, nullptr,
       "the single-precision complex argument in double: atan t = t + t u A(u)"},
      // ---- single precision in single registers, one polynomial per accuracy class ------------
      // HA reduces once more at tan(pi/8) as double does: over [0, 1] the tail reaches 0.27 of
      // the result, and its float rounding alone then cost more than the half ulp HA has left.
      {"kAtanHaF", "(atan t - t)/t^3 in u = t^2", atan_tail, "t in [-tan(pi/8), tan(pi/8)]", 0,
       0.17157287525381, 4, W::Relative, Prec::Single, How::Minimax, {}, nullptr,
       "single HA angle: t + (t u A(u) + residual of the quotient)"},
      // The HA arctangent's own reduction: t = a up to 1/2, (a - 1)/(a + 1) up to tan(3pi/8)
      // (a - 1 exact from 1/2 up), -1/a beyond; the tail at most 0.08 of the result.
      {"kAtanHalfHaF", "(atan t - t)/t^3 in u = t^2", atan_tail, "t in [-1/2, 1/2]", 0, 0.25, 5, W::Relative,
       Prec::Single, How::Minimax, {}, nullptr, "single HA arctangent: t + (t u A(u) + residual of the quotient)"},
      // LA and EP: atan t over the whole of [0, 1] (t = min/max of the sides, one quotient and no
      // second reduction): atan t = t + t u A(u), the tail at most 0.27 of the result at t = 1.
      {"kAtanLaF", "(atan t - t)/t^3 in u = t^2", atan_tail, "t in [-1, 1]", 0, 1, 8, W::Relative, Prec::Single,
       How::Minimax, {}, nullptr, "single LA angle: t + t u A(u)"},
      {"kAtanEpF", "(atan t - t)/t^3 in u = t^2", atan_tail, "t in [-1, 1]", 0, 1, 3, W::Relative, Prec::Single,
       How::Minimax, {}, nullptr, "single EP angle: t + t u A(u)"},
      // asin s for s up to 1/2 (beyond, s = sqrt((1 - |x|)/2)): the tail at most 0.047 of asin s.
      {"kAsinHaF", "(asin t - t)/t^3 in u = t^2", asin_tail, "t in [-1/2, 1/2]", 0, 0.25, 5, W::Relative,
       Prec::Single, How::Minimax, {}, nullptr, "single HA arcsine and arccosine: s + (s u A(u) + residual of the root)"},
      {"kAsinLaF", "(asin t - t)/t^3 in u = t^2", asin_tail, "t in [-1/2, 1/2]", 0, 0.25, 4, W::Relative,
       Prec::Single, How::Minimax, {}, nullptr, "single LA arcsine and arccosine: s + s u A(u)"},
      {"kAsinEpF", "(asin t - t)/t^3 in u = t^2", asin_tail, "t in [-1/2, 1/2]", 0, 0.25, 1, W::Relative,
       Prec::Single, How::Minimax, {}, nullptr, "single EP arcsine and arccosine: s + s u A(u)"},
      // ---- double LA and EP, each sized to its class (no pairs) ----------------------------------
      // The LA sine reduces by pi (one polynomial over half a turn rather than two over a quarter).
      {"kSinPiLaD", "(sin r - r)/r^3 in u = r^2", sin_tail, "r in [-pi/2, pi/2]", 0, kHalfPiSq * 1.0001, 7,
       W::Relative, Prec::Double, How::Minimax, {}, nullptr, "double LA sine: r + r u S(u), x = k pi + r"},
      // The LA tangent as a quotient with the poles divided out: tan r = r (1 + u T(u))/(1 - c u),
      // -cot r its negated inverse, so numerator and denominator are the same two values swapped.
      {"kTanPoleLaD", "(tan r (1 - c r^2)/r - 1)/r^2 in u = r^2, c = fl(4/pi^2)", tan_pole_tail,
       "r in [-pi/4, pi/4]", 0, kQuarterPiSq * 1.0001, 6, W::Relative, Prec::Double, How::Minimax, {}, nullptr,
       "double LA tangent: r + r u T(u) over 1 - c u, one quotient"},
      // The EP tangent from twice the tangent of half the reduced argument, t = r + r u T(u):
      // tan r = t/(1 - t^2/4), -cot r = -(1 - t^2/4)/t.
      {"kTanHalfEpD", "(2 tan(r/2) - r)/r^3 in u = r^2", tan_half_tail, "r in [-pi/4, pi/4]", 0,
       kQuarterPiSq * 1.0001, 3, W::Relative, Prec::Double, How::Minimax, {}, nullptr,
       "double EP tangent: t = r + r u T(u), then one quotient"},
      // Arcsine and arccosine of the LA and EP slots: asin s = s + s u A(u) on [0, 1/2] (beyond,
      // s = sqrt((1 - |x|)/2)), the tail at most 0.047 of the result, so A needs some 47 bits
      // for LA's few units of 2^-53 and 22 for EP's 26 bits.
      {"kAsinLaD", "(asin t - t)/t^3 in u = t^2", asin_tail, "t in [-1/2, 1/2]", 0, 0.25, 11, W::Relative,
       Prec::Double, How::Minimax, {}, nullptr, "double LA arcsine and arccosine: s + s u A(u), rounded plainly"},
      {"kAsinEpD", "(asin t - t)/t^3 in u = t^2", asin_tail, "t in [-1/2, 1/2]", 0, 0.25, 5, W::Relative,
       Prec::Double, How::Minimax, {}, nullptr, "double EP arcsine and arccosine: s + s u A(u)"},
      // Arctangent of the LA and EP slots on [0, tan(pi/8)], the tail below a sixteenth of the
      // result: A to some 48 bits for LA, 24 for EP.
      {"kAtanLaD", "(atan t - t)/t^3 in u = t^2", atan_tail, "t in [-tan(pi/8), tan(pi/8)]", 0,
       0.17157287525381, 11, W::Relative, Prec::Double, How::Minimax, {}, nullptr,
       "double LA angle: t + t u A(u), rounded plainly"},
      {"kAtanEpD", "(atan t - t)/t^3 in u = t^2", atan_tail, "t in [-tan(pi/8), tan(pi/8)]", 0,
       0.17157287525381, 5, W::Relative, Prec::Double, How::Minimax, {}, nullptr, "double EP angle: t + t u A(u)"},
      // ---- single sine, cosine and tangent in single registers (sincos_single.cpp) -------------
      // HA and LA tangent: x = k pi/2 + hi + lo in float, the tails of a quarter turn added to
      // the exact heads (sine at most a tenth of the result, cosine a sixtieth).
      {"kSinHaF", "(sin r - r)/r^3 in u = r^2", sin_tail, "r in [-pi/4, pi/4]", 0, kQuarterPiSq, 3, W::Relative,
       Prec::Single, How::Minimax, {}, nullptr, "single HA sine: hi + (hi u S(u) + lo)"},
      {"kCosHaF", "(cos r - 1 + r^2/2)/r^4 in u = r^2", cos_tail, "r in [-pi/4, pi/4]", 0, kQuarterPiSq, 2,
       W::Relative, Prec::Single, How::Minimax, {}, nullptr,
       "single HA cosine: (1 - u/2) + (u^2 C(u) - hi lo + what 1 - u/2 lost)"},
      // EP sine and cosine: reduced by pi (cosine a quarter turn on), one odd polynomial over
      // half a turn.
      {"kSinEpF", "(sin r - r)/r^3 in u = r^2", sin_tail, "r in [-pi/2, pi/2]", 0, kHalfPiSq, 2, W::Relative,
       Prec::Single, How::Minimax, {}, nullptr, "single EP sine and cosine: r + r u S(u)"},
      // EP sine-cosine and tangent: a quarter turn, the shortest pair.
      {"kSinQuarterEpF", "(sin r - r)/r^3 in u = r^2", sin_tail, "r in [-pi/4, pi/4]", 0, kQuarterPiSq, 1,
       W::Relative, Prec::Single, How::Minimax, {}, nullptr, "single EP sine-cosine and tangent: r + r u S(u)"},
      {"kCosQuarterEpF", "cos(r) in u = r^2", cos_sqrt, "r in [-pi/4, pi/4]", 0, kQuarterPiSq, 2, W::Relative,
       Prec::Single, How::Minimax, {}, nullptr, "single EP sine-cosine and tangent: C(u)"},
      // LA and EP tangent: one odd polynomial over a quarter turn, -1/t for odd quadrants; the
      // reduction with a rounded 2/pi reaches pi/4 + 0.05 below 2^20 (trig_reduce.h), which the
      // fit covers.
      {"kTanLaF", "(tan r - r)/r^3 in u = r^2", tan_tail, "r in [-0.84, 0.84]", 0, 0.7056, 6, W::Relative,
       Prec::Single, How::Minimax, {}, nullptr, "single LA tangent: r + r u T(u)"},
      {"kTanEpF", "(tan r - r)/r^3 in u = r^2", tan_tail, "r in [-0.84, 0.84]", 0, 0.7056, 3, W::Relative,
       Prec::Single, How::Minimax, {}, nullptr, "single EP tangent: r + r u T(u)"},
  };
}

std::vector<Fit> hyper_fits() {
  using W = Weight;
  // Below 1 (sinh) and 1/2 (tanh) the difference of two exponentials cancels too much; there the
  // kernels evaluate the odd series r + r u P(u). The tail is at most a sixth (sinh) and a
  // thirteenth (tanh) of the result, so the tail's own relative error counts that much less.
  //
  // Single precision works in float: e^a/2 and e^-a/2 come from one reduction a = k ln2 + r,
  // the two polynomials for e^r - 1 and e^-r - 1 sharing the even and odd parts of one fit on
  // the symmetric interval. HA and LA keep c1 = 1 (r is added exactly); EP's grid is whole
  // octaves (exppoly::kExpOctaveF).
  return {
      {"kSinhTailHaD", "(sinh r - r)/r^3 in u = r^2", sinh_tail, "r in [-1, 1]", 0, 1, 6, W::Relative,
       Prec::Double, How::Minimax, {}, nullptr, "double HA"},
      {"kSinhTailLaD", "(sinh r - r)/r^3 in u = r^2", sinh_tail, "r in [-1, 1]", 0, 1, 5, W::Relative,
       Prec::Double, How::Minimax, {}, nullptr, "double LA and EP"},
      {"kTanhTailHaD", "(tanh r - r)/r^3 in u = r^2", tanh_tail, "r in [-1/2, 1/2]", 0, 0.25, 10, W::Relative,
       Prec::Double, How::Minimax, {}, nullptr, "double HA"},
      {"kTanhTailLaD", "(tanh r - r)/r^3 in u = r^2", tanh_tail, "r in [-1/2, 1/2]", 0, 0.25, 9, W::Relative,
       Prec::Double, How::Minimax, {}, nullptr, "double LA"},
      {"kTanhTailEpD", "(tanh r - r)/r^3 in u = r^2", tanh_tail, "r in [-1/2, 1/2]", 0, 0.25, 4, W::Relative,
       Prec::Double, How::Minimax, {}, nullptr, "double EP"},
      // Double LA and EP Sinh and Cosh take e^a/2 and e^-a/2 from one reduction on the 1/16-octave
      // grid rounded to nearest, as single precision does: one fit on the symmetric interval
      // serves e^r - 1 and e^-r - 1 through its even and odd parts.
      {"kHalfExpLaD", "e^r - 1", expm1_, "[-ln2/32, ln2/32]", -kLn2 / 32, kLn2 / 32, 6, W::Absolute,
       Prec::Double, How::Minimax, {0, 1}, nullptr, "double LA Sinh and Cosh: even and odd parts"},
      {"kHalfExpEpD", "e^r - 1", expm1_, "[-ln2/32, ln2/32]", -kLn2 / 32, kLn2 / 32, 3, W::Absolute,
       Prec::Double, How::Minimax, {0, 1}, nullptr, "double EP Sinh and Cosh: even and odd parts"},
      {"kSinhTailEpD", "(sinh r - r)/r^3 in u = r^2", sinh_tail, "r in [-1, 1]", 0, 1, 3, W::Relative,
       Prec::Double, How::Minimax, {}, nullptr, "double EP"},
      // Double LA tanh a = (E - 1)/(E + 1), E = e^2a, as single LA: E - 1 = H q + (H - 1) with
      // q = r + T_low + r^2 P(r), near a = 0 the polynomial itself, so its error is weighed
      // relative to e^r - 1 on the grid's interval (k cut toward zero).
      {"kTanhExpm1D", "e^r - 1", expm1_, "[0, ln2/16]", 0, kLn2 / 16, 7, W::Relative, Prec::Double, How::Minimax,
       {0, 1}, nullptr, "double LA tanh: q = r + T_low + r^2 (c2 + c3 r + ...)"},
      // ---- single precision --------------------------------------------------------------------
      {"kHalfExpF", "e^r - 1", expm1_, "[-ln2/32, ln2/32]", -kLn2 / 32, kLn2 / 32, 3, W::Absolute, Prec::Single,
       How::Minimax, {0, 1}, nullptr,
       "single HA and LA on a 1/32-octave grid; HA adds the table's low part to q, LA reads the high part alone"},
      {"kSinhTailHaF", "(sinh r - r)/r^3 in u = r^2", sinh_tail, "r in [-1, 1]", 0, 1, 3, W::Relative,
       Prec::Single, How::Minimax, {}, nullptr, "single HA"},
      {"kSinhTailLaF", "(sinh r - r)/r^3 in u = r^2", sinh_tail, "r in [-1, 1]", 0, 1, 2, W::Relative,
       Prec::Single, How::Minimax, {}, nullptr, "single LA"},
      {"kSinhTailEpF", "(sinh r - r)/r^3 in u = r^2", sinh_tail, "r in [-1, 1]", 0, 1, 1, W::Relative,
       Prec::Single, How::Minimax, {}, nullptr, "single EP"},
      {"kTanhTailHaF", "(tanh r - r)/r^3 in u = r^2", tanh_tail, "r in [-1/2, 1/2]", 0, 0.25, 4, W::Relative,
       Prec::Single, How::Minimax, {}, nullptr, "single HA"},
      {"kTanhTailEpF", "(tanh r - r)/r^3 in u = r^2", tanh_tail, "r in [-1/2, 1/2]", 0, 0.25, 1, W::Relative,
       Prec::Single, How::Minimax, {}, nullptr, "single EP"},
      // tanh a = (E - 1)/(E + 1), E = e^2a: near a = 0, E - 1 is the polynomial itself, so its error
      // is weighed relative to e^r - 1, on the grid's interval (k cut toward zero).
      {"kTanhExpm1F", "e^r - 1", expm1_, "[0, ln2/32]", 0, kLn2 / 32, 3, W::Relative, Prec::Single, How::Minimax,
       {0, 1}, nullptr, "single LA tanh: E - 1 = H q + (H - 1) with H = 2^k T(k), q = r + T_low + r^2 (c2 + c3 r)"},
  };
}

std::vector<Fit> erf_fits() {
  using W = Weight;
  // erf x = x + x Q(x^2) below 1/2; Q is at most 2/sqrt(pi) - 1, an eighth of the result.
  return {
      {"kErfSmallD", "erf(r)/r - 1 in u = r^2", erf_over_r_m1, "r in [-1/2, 1/2]", 0, 0.25, 10, W::Absolute,
       Prec::Double, How::Minimax, {}, nullptr, "erf x = x + x Q(x^2) for |x| < 1/2, double HA"},
      {"kErfSmallLaD", "erf(r)/r - 1 in u = r^2", erf_over_r_m1, "r in [-1/2, 1/2]", 0, 0.25, 9, W::Absolute,
       Prec::Double, How::Minimax, {}, nullptr, "double LA"},
      {"kErfSmallEpD", "erf(r)/r - 1 in u = r^2", erf_over_r_m1, "r in [-1/2, 1/2]", 0, 0.25, 4, W::Absolute,
       Prec::Double, How::Minimax, {}, nullptr, "double EP"},
      {"kErfSmallHaF", "erf(r)/r - 1 in u = r^2", erf_over_r_m1, "r in [-1/2, 1/2]", 0, 0.25, 5, W::Absolute,
       Prec::Single, How::Minimax, {}, nullptr, "single HA"},
      {"kErfSmallLaF", "erf(r)/r - 1 in u = r^2", erf_over_r_m1, "r in [-1/2, 1/2]", 0, 0.25, 4, W::Absolute,
       Prec::Single, How::Minimax, {}, nullptr, "single LA"},
      {"kErfSmallEpF", "erf(r)/r - 1 in u = r^2", erf_over_r_m1, "r in [-1/2, 1/2]", 0, 0.25, 2, W::Absolute,
       Prec::Single, How::Minimax, {}, nullptr, "single EP"},
  };
}

// Slice i of the error function's middle range: [1/2 + 11i/32, 1/2 + 11(i + 1)/32), sixteen
// slices up to 6, beyond which erf rounds to 1 in double precision.
void erf_slice(int i, double& lo, double& hi) {
  lo = 0.5 + 0.34375 * i;
  hi = lo + 0.34375;
}
// Single precision: sixteen slices of 7/32 up to 4, beyond which erf rounds to 1 in single
// precision (1 - erf 3.92 is 2^-25, half an ulp of 1).
void erf_slice_f(int i, double& lo, double& hi) {
  lo = 0.5 + 0.21875 * i;
  hi = lo + 0.21875;
}

std::vector<PiecewiseFit> erf_piecewise_fits() {
  return {
      {"kErfPiecesD", "erf x - erf(midpoint) rounded", erf_, 16, erf_slice,
       "x in [1/2 + 11i/32, 1/2 + 11(i + 1)/32), in x - midpoint", 12, Weight::Absolute, Prec::Double, {},
       "erf x = H_i + P_i(x - midpoint), double HA", true, true},
      {"kErfPiecesLaD", "erf x", erf_, 16, erf_slice, "x in [1/2 + 11i/32, 1/2 + 11(i + 1)/32), in x - midpoint",
       11, Weight::Absolute, Prec::Double, {}, "double LA", true, false},
      {"kErfPiecesEpD", "erf x", erf_, 16, erf_slice, "x in [1/2 + 11i/32, 1/2 + 11(i + 1)/32), in x - midpoint",
       6, Weight::Absolute, Prec::Double, {}, "double EP", true, false},
      {"kErfPiecesHaF", "erf x - erf(midpoint) rounded", erf_, 16, erf_slice_f,
       "x in [1/2 + 7i/32, 1/2 + 7(i + 1)/32), in x - midpoint", 6, Weight::Absolute, Prec::Single, {},
       "single HA: H_i + P_i(x - midpoint)", true, true},
      {"kErfPiecesLaF", "erf x", erf_, 16, erf_slice_f, "x in [1/2 + 7i/32, 1/2 + 7(i + 1)/32), in x - midpoint",
       5, Weight::Absolute, Prec::Single, {}, "single LA", true, false},
      {"kErfPiecesEpF", "erf x", erf_, 16, erf_slice_f, "x in [1/2 + 7i/32, 1/2 + 7(i + 1)/32), in x - midpoint",
       3, Weight::Absolute, Prec::Single, {}, "single EP", true, false},
  };
}

std::vector<Fit> log_fits() {
  using W = Weight;
  return {
      {"kLnLaD", "ln(1 + r)", log1p_, "[-1/32, 1/32]", -1.0 / 32, 1.0 / 32, 9, W::Relative, Prec::Double,
       How::Fixed,
       {0, 1, -0.4999999999999968, 0.33333333333332005, -0.2500000000437373, 0.20000000009280938,
        -0.16666650546695666, 0.14285690939597326, -0.125220000081181, 0.11135561406034511},
       nullptr, "published; LA and HA, the kernels form r + r^2 (c2 + ...)"},
      {"kLnEpD", "ln(1 + r)", log1p_, "[-1/32, 1/32]", -1.0 / 32, 1.0 / 32, 5, W::Relative, Prec::Double,
       How::Fixed, {0, 1, -0.4999999502783749, 0.33333322249022734, -0.2502036072575226, 0.20024438577708045},
       nullptr, "published"},
      {"kLnHaF", "ln(1 + r)", log1p_, "[-1/32, 1/32]", -1.0 / 32, 1.0 / 32, 4, W::Relative, Prec::Single,
       How::Fixed, {0, 1, -0.5, 0.3333825469017029, -0.2500615119934082}, nullptr,
       "published; the kernel adds r and -r^2/2 itself and evaluates c3 + c4 r"},
      {"kLnExact", "ln(1 + u)", log1p_, "[-2^-7, 2^-7]", -0x1p-7, 0x1p-7, 8, W::Relative, Prec::Double,
       How::Minimax, {0, 1}, nullptr,
       "the single-precision callouts' logarithm in double: near 1 directly in u = x - 1, elsewhere "
       "in the reduced argument of the 128-entry table"},
  };
}

namespace {
// Slice i of the single-precision Ln rows: the mantissa m in [0.75, 1.5) whose top four fraction
// bits are i; u = m - 1.
void ln_slice(int i, double& a, double& b) {
  if (i < 8) { a = i / 16.0; b = (i + 1) / 16.0; }
  else { a = (1 + i / 16.0) / 2 - 1; b = (1 + (i + 1) / 16.0) / 2 - 1; }
}
}  // namespace

std::vector<PiecewiseFit> log_piecewise_fits() {
  const char* slices = "u = m - 1, m in [0.75, 1.5) sliced by its top four fraction bits";
  return {
      {"kLnLaPieces", "ln(1 + u)/u", log1p_over_u, 16, ln_slice, slices, 3, Weight::Relative, Prec::Single,
       {{0, {1.0, -0.4999891221523285, 0.332448810338974, -0.22675298154354095}},
        {1, {0.9999898076057434, -0.4995311200618744, 0.32528093457221985, -0.18774625658988953}},
        {8, {0.9985433220863342, -0.5236687660217285, 0.19386669993400574, -0.5856712460517883}},
        {15, {1.0, -0.5000016093254089, 0.3330762982368469, -0.2629842758178711}}},
       "single Ln LA; rows 0, 1, 8 and 15 published (0 and 15 keep c0 = 1 so that ln 1 is exact)"},
      {"kLnEpPieces", "ln(1 + u)/u", log1p_over_u, 16, ln_slice, slices, 2, Weight::Relative, Prec::Single,
       {{0, {1.0, -0.4994935691356659, 0.3112337291240692}},
        {1, {0.9998483061790466, -0.4947246015071869, 0.27251094579696655}},
        {8, {1.0060604810714722, -0.42724302411079407, 0.6057038307189941}},
        {15, {1.0, -0.49985674023628235, 0.34541672468185425}}},
       "single Ln EP; rows 0, 1, 8 and 15 published"},
  };
}

// ---- writing ---------------------------------------------------------------------------------
namespace {
const char* how_name(How h) { return h == How::Minimax ? "minimax" : h == How::Taylor ? "Taylor" : "fixed"; }
const char* weight_name(Weight w) { return w == Weight::Relative ? "relative" : "absolute"; }
std::string fmt(const char* f, double a, double b = 0) {
  char buf[96];
  std::snprintf(buf, sizeof buf, f, a, b);
  return buf;
}
}  // namespace

std::vector<double> coefficients(const Fit& f) {
  std::vector<double> c;
  switch (f.how) {
    case How::Fixed:
      if (static_cast<int>(f.values.size()) != f.degree + 1) {
        std::fprintf(stderr, "fit: %s lists %zu coefficients for degree %d\n", f.name, f.values.size(), f.degree);
        std::exit(1);
      }
      for (double v : f.values) c.push_back(round_to(R(v), f.prec));
      break;
    case How::Taylor:
      for (int j = 0; j <= f.degree; ++j) c.push_back(j == 0 ? 0.0 : round_to(f.term(j), f.prec));
      break;
    case How::Minimax: {
      std::vector<R> pinned;
      for (double v : f.values) pinned.emplace_back(v);
      for (const R& v : remez(f.f, f.lo, f.hi, f.degree, f.weight, pinned)) c.push_back(round_to(v, f.prec));
      break;
    }
  }
  return c;
}

std::string polynomial_file(const char* what, const char* ns, const std::vector<Fit>& fits,
                            const std::vector<PiecewiseFit>& piecewise) {
  Out o;
  o.line(std::string("// Generated by tools/fit; do not edit. Polynomial coefficients of the ") + what +
         " kernels,");
  o.line("// rising degree (c[0] + c[1] x + ...); each fit is recorded in tools/fit/polynomials.cpp.");
  o.line("#pragma once");
  o.line(std::string("namespace ") + ns + " {");
  for (const Fit& f : fits) {
    const std::vector<double> c = coefficients(f);
    o.line("// " + std::string(f.name) + ": " + f.target + ", " + f.interval + ", degree " +
           std::to_string(f.degree) + ", " + weight_name(f.weight) + " error, " + type_name(f.prec) + ", " +
           how_name(f.how) + ": " + fmt("%.1f bits", accuracy_bits(f.f, f.lo, f.hi, c, f.weight)));
    if (*f.note) o.line(std::string("//   ") + f.note);
    std::string row = "inline constexpr " + std::string(type_name(f.prec)) + " " + f.name + "[" +
                      std::to_string(c.size()) + "] = {";
    o.line(row);
    o.items(f.prec, c);
    o.line("};");
  }
  for (const PiecewiseFit& p : piecewise) {
    std::vector<std::vector<double>> cols(p.degree + 1);
    std::vector<double> heads;
    o.line("// " + std::string(p.name) + ": " + p.target + " per piece, " + p.slices + "; degree " +
           std::to_string(p.degree) + ", " + weight_name(p.weight) + " error, " + type_name(p.prec) +
           ", minimax but for the fixed rows");
    if (*p.note) o.line(std::string("//   ") + p.note);
    for (int i = 0; i < p.pieces; ++i) {
      double a, b;
      p.slice(i, a, b);
      const double mid = p.centered ? (a + b) / 2 : 0;
      const double head = p.head ? round_to(p.f(R(mid)), p.prec) : 0;
      heads.push_back(head);
      const Target f = p.centered ? Target([&p, mid, head](const R& u) { return p.f(R(mid) + u) - R(head); }) : p.f;
      a -= mid;
      b -= mid;
      std::vector<double> row;
      bool fixed = false;
      for (const auto& [k, v] : p.fixed_rows)
        if (k == i) {
          for (double x : v) row.push_back(round_to(R(x), p.prec));
          fixed = true;
        }
      if (!fixed)
        for (const R& v : remez(f, a, b, p.degree, p.weight, {})) row.push_back(round_to(v, p.prec));
      for (int j = 0; j <= p.degree; ++j) cols[j].push_back(row[j]);
      o.line("//   piece " + fmt("%2.0f", i) + "  u in " + fmt("[%+.6f, %+.6f)", a, b) + "  " +
             fmt("%.1f bits", accuracy_bits(f, a, b, row, p.weight)) + (fixed ? "  (fixed)" : ""));
    }
    o.array2(p.prec, p.name, cols);
    if (p.head) o.array(p.prec, std::string(p.name) + "Head", heads);
  }
  o.line(std::string("}  // namespace ") + ns);
  return o.text;
}

}  // namespace fit
