// Building blocks of the exponential family (Exp, Exp2, Exp10, Expm1; Pow and the hyperbolic
// functions are meant to reuse them), written once for vectors of both precisions and, where
// the callouts need them, for scalars.
//
// The method: write x/ln2 = k, put k on a grid of 2^-b with a shifter, take 2^(grid fraction)
// from an in-register table indexed by the low bits of the shifted value, approximate e^r - 1
// for the small remainder r = x - k*ln2 by a polynomial (coefficients from tools/fit in
// exp/generated/exp_polys.inc), and scale by 2^floor(k) with the scale instruction, which
// overflows to infinity and underflows gradually by itself.
//
//   ExpTraits<T>          the constants of e^x per precision (1/ln2, ln2 in two parts, the
//                         fast-path bound, the callout thresholds, the 16-entry pair table);
//                         Exp2Traits, Exp10Traits, Expm1Traits those of the relatives
//   grid_toward_zero      t = x*c + shifter rounded toward zero: k = t - shifter is x*c cut
//                         onto the grid (floor for positive t), t's low bits the table index
//   reduce                r = x - k*(hi + lo), the high step exact for the grids used
//   scale_table           tab * (1 + q) * 2^k
//   scale_pair            (hi + (lo + hi*p)) * 2^k, for pair tables with an absolute low part
//   exp_fixed_result      the callouts' results that need no arithmetic (NaN, overflow, total
//                         underflow, infinities)
//   expscalar::           the double-precision scalar e^x, 2^x and 10^x of the callouts
#pragma once
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "simd/exact.h"
#include "simd/poly.h"
#include "simd/vec.h"
#include "vm/kernels/exp/generated/exp_polys.inc"
#include "vm/kernels/exp/generated/exp_tables.inc"

namespace zorp::vm {

template <typename T>
struct ExpTraits;

template <>
struct ExpTraits<float> {
  static constexpr float kInvLn2 = std::bit_cast<float>(0x3FB8AA3Bu);
  static constexpr float kLn2Hi = std::bit_cast<float>(0x3F317218u);
  static constexpr float kLn2Lo = std::bit_cast<float>(0xB102E308u);
  static constexpr float kFastBound = 87.33654022216797f;      // ln 2^126: |x| at or above is special
  static constexpr float kOverflowAbove = 88.72283172607422f;   // e^x rounds to infinity above
  static constexpr float kZeroBelow = -103.97207641601562f;     // e^x rounds to +0 below
  // 2^(i/16): high parts, and the low parts relative to them and absolute.
  static constexpr const auto& kH16 = exptab::kH16f;
  static constexpr const auto& kL16Rel = exptab::kL16fRel;
  static constexpr const auto& kL16Abs = exptab::kL16fAbs;
};

template <>
struct ExpTraits<double> {
  static constexpr double kInvLn2 = std::bit_cast<double>(0x3FF71547652B82FEull);
  static constexpr double kLn2Hi = std::bit_cast<double>(0x3FE62E42FEFA39EFull);
  static constexpr double kLn2Lo = std::bit_cast<double>(0x3C7ABC9E3B39803Full);
  static constexpr double kFastBound = 707.7032713517042;       // ln 2^1021
  static constexpr double kOverflowAbove = 709.782712893384;
  static constexpr double kZeroBelow = -745.1332191019411;
  // The shifter of the 1/16 grid: 1.5*2^48 with 0x3FF0 in its low bits, which the table index
  // (the low four bits) never sees.
  static constexpr double kShifter16 = std::bit_cast<double>(0x42F8000000003FF0ull);
  static constexpr const auto& kH16 = exptab::kH16;
  static constexpr const auto& kL16Rel = exptab::kL16Rel;
  static constexpr const auto& kL16Abs = exptab::kL16Abs;
};

// 2^x: x is already in octaves; r = x - floor(16x)/16 comes exactly from the range-reduction
// instruction, and the index from the low four bits of x + shifter added toward -inf.
template <typename T>
struct Exp2Traits;
template <>
struct Exp2Traits<float> {
  static constexpr float kShifter = 786432.0f;  // 1.5*2^19
  static constexpr float kCalloutClamp = 200.0f;  // beyond: infinity or zero in any case
  static constexpr const auto& kPoly = exppoly::kExp2F;
  // |x| > 126: NaN stays on the vector path.
  static simd::Mask<float> special(__m512 x) { return simd::abs_greater(x, simd::splat(126.0f)); }
};
template <>
struct Exp2Traits<double> {
  static constexpr double kShifter = 422212465065984.0;  // 1.5*2^48
  static constexpr double kCalloutClamp = 1100.0;
  static constexpr const auto& kPoly = exppoly::kExp2D;
  static simd::Mask<double> special(__m512d x) {
    return simd::abs_at_least(x, simd::splat(std::bit_cast<double>(0x408FEFFF00000000ull)));  // 1021.99951171875
  }
};

// 10^x: k = x*log2(10) on the grid, r = x - k*log10(2) with log10(2) in two parts.
template <typename T>
struct Exp10Traits;
template <>
struct Exp10Traits<float> {
  static constexpr float kLog2of10 = std::bit_cast<float>(0x40549A78u);
  static constexpr float kLog10of2Hi = std::bit_cast<float>(0x3E9A209Bu);
  static constexpr float kLog10of2Lo = std::bit_cast<float>(0xB2760860u);
  static constexpr float kShifter = 393216.0f;  // 1.5*2^18: five index bits
  static constexpr float kFastBound = std::bit_cast<float>(0x4217B818u);  // 37.929779052734375
  static constexpr float kCalloutClamp = 60.0f;
  static constexpr const auto& kHigh = exptab::kH32;
  static constexpr const auto& kLowAbs = exptab::kL32Abs;
  static constexpr const auto& kPoly = exppoly::kExp10F;
};
template <>
struct Exp10Traits<double> {
  static constexpr double kLog2of10 = std::bit_cast<double>(0x400A934F0979A371ull);
  static constexpr double kLog10of2Hi = std::bit_cast<double>(0x3FD34413509F79FFull);
  static constexpr double kLog10of2Lo = std::bit_cast<double>(0xBC49DC1DA994FD21ull);
  static constexpr double kShifter = ExpTraits<double>::kShifter16;  // four index bits
  static constexpr double kFastBound = std::bit_cast<double>(0x40733A7146F72A41ull);  // 307.65...
  static constexpr double kCalloutClamp = 330.0;
  static constexpr const auto& kHigh = exptab::kH16;
  static constexpr const auto& kLowAbs = exptab::kL16Abs;
  static constexpr const auto& kPoly = exppoly::kExp10D;
};

// e^x - 1: x/ln2 truncated toward zero onto the 1/16 grid (so r has the sign of x), ln2 in two
// parts whose high part has trailing zeros, the scale clamped from below (far below zero the
// result is -1 whatever the scale), and above `kBigK` octaves the 1 is folded in differently.
template <typename T>
struct Expm1Traits;
template <>
struct Expm1Traits<float> {
  static constexpr float kLn2Hi = std::bit_cast<float>(0x3F317200u);
  static constexpr float kLn2Lo = std::bit_cast<float>(0x35BFBE8Eu);
  static constexpr float kShifter = 786432.0f;  // 1.5*2^19: index in the low four bits
  static constexpr float kFloor = -104.0f;       // arguments clamped here (keeps -inf off)
  static constexpr float kScaleFloor = -64.0f;
  static constexpr float kBigK = 20.0f;
  static constexpr float kFastBound = std::bit_cast<float>(0x42AD496Bu);  // 86.64339447021484
  static constexpr const auto& kLa = exppoly::kExpm1LaF;
  static constexpr const auto& kHa = exppoly::kExpm1HaF;
  static constexpr const auto& kEp = exppoly::kExpm1EpF;
};
template <>
struct Expm1Traits<double> {
  static constexpr double kLn2Hi = std::bit_cast<double>(0x3FE62E42FEFA0000ull);
  static constexpr double kLn2Lo = std::bit_cast<double>(0x3D7CF79ABC9E3B3Aull);
  static constexpr double kShifter = ExpTraits<double>::kShifter16;
  static constexpr double kFloor = -746.0;
  static constexpr double kScaleFloor = -128.0;
  static constexpr double kBigK = 50.0;
  static constexpr double kFastBound = ExpTraits<double>::kFastBound;
  static constexpr const auto& kLa = exppoly::kExpm1LaD;
  static constexpr const auto& kHa = exppoly::kExpm1HaD;
  static constexpr const auto& kEp = exppoly::kExpm1EpD;
};

// ---- vector blocks ------------------------------------------------------------------------------
template <typename V>
struct Grid {
  V k;             // x*c on the grid
  __m512i index;   // its low bits index the table
};

template <typename V>
inline Grid<V> grid_toward_zero(V x, simd::Elem<V> c, simd::Elem<V> shifter) {
  const V s = simd::splat(shifter);
  const V t = simd::fma_toward_zero(x, simd::splat(c), s);
  return {simd::sub(t, s), simd::bits(t)};
}

// x - k*hi - k*lo, and the one-step x - k*hi.
template <typename V>
inline V reduce(V x, V k, simd::Elem<V> hi, simd::Elem<V> lo) {
  return simd::fma_quiet(k, simd::splat(-lo), simd::fma_quiet(k, simd::splat(-hi), x));
}
template <typename V>
inline V reduce(V x, V k, simd::Elem<V> hi) {
  return simd::fma_quiet(k, simd::splat(-hi), x);
}

template <typename V>
inline V scale_table(V tab, V q, V k) {
  return simd::scale_by_pow2(simd::fma_quiet(tab, q, tab), k);
}
template <typename V>
inline V scale_pair(V hi, V lo, V p, V k) {
  return simd::scale_by_pow2(simd::add_quiet(hi, simd::fma_quiet(hi, p, lo)), k);
}

// e^x/2 as an unevaluated pair hi + lo for double x, |x| < 711 (NaN flows through): hi = h 2^(k-1)
// with h the table's high part, lo = h q 2^(k-1) with q = e^r (1 + L) - 1, |q| < 0.05. The pair
// carries far more than double precision (the hyperbolic functions add or subtract two of them
// before rounding); both halves are scaled separately so that hi may overflow to infinity while
// lo stays finite. kAccurate: ln2 in two parts, the table's low part and the HA polynomial;
// otherwise one-part ln2 and the EP polynomial (about 50 correct bits).
template <bool kAccurate>
inline simd::DD<__m512d> half_exp_pair(__m512d x) {
  using namespace simd;
  using D = ExpTraits<double>;
  const Grid<__m512d> g = grid_toward_zero(x, D::kInvLn2, D::kShifter16);
  const __m512d h = lookup(g.index, exptab::kH16);
  const __m512d k = sub(g.k, splat(1.0));
  __m512d q;
  if constexpr (kAccurate) {
    const __m512d r = clear_bits(reduce(x, g.k, D::kLn2Hi, D::kLn2Lo), 1ull << 62);
    q = fma_quiet(horner_from<1>(r, exppoly::kExpHaD), r, lookup(g.index, exptab::kL16Rel));
  } else {
    const __m512d r = clear_bits(reduce(x, g.k, D::kLn2Hi), 1ull << 62);
    q = mul_quiet(horner_from<1>(r, exppoly::kExpEpD), r);
  }
  return {scale_by_pow2(h, k), scale_by_pow2(mul_quiet(h, q), k)};
}

// ---- callouts -----------------------------------------------------------------------------------
// Results of e^x that need no arithmetic; true with *r set when x is one of them. The status
// follows from the result (callout.h).
template <typename T>
inline bool exp_fixed_result(T x, T* r) {
  if (std::isnan(x)) { *r = x + x; return true; }
  if (x > ExpTraits<T>::kOverflowAbove) { *r = std::numeric_limits<T>::infinity(); return true; }
  if (x < ExpTraits<T>::kZeroBelow) { *r = T(0); return true; }
  return false;
}

// Scalar pieces of the callouts, in double precision, on the kernels' own tables and
// polynomials. Each returns y and m with the result y * 2^m, y in [1, 2]; scale_once applies
// 2^m with a single rounding even when the result is subnormal.
namespace expscalar {

// 2^m for -1022 <= m <= 1023.
inline double pow2(int m) { return std::bit_cast<double>(static_cast<uint64_t>(m + 1023) << 52); }

// y * 2^m. Results in the subnormal range get one rounding: y is first scaled to a normal
// number 2^600 too large, then the final multiplication by 2^-600 rounds once.
inline double scale_once(double y, int m) {
  if (m > 1023) return y * pow2(1023) * pow2(m - 1023 > 1023 ? 1023 : m - 1023);
  if (m >= -1022) return y * pow2(m);
  if (m < -1200) m = -1200;
  return (y * pow2(m + 600)) * pow2(-600);
}

// 2^x = y * 2^m for finite x with |x| < 1100: x = f/16 + r with 0 <= r < 1/16.
inline double exp2_parts(double x, int& m) {
  const double f = std::floor(x * 16.0);
  const int n = static_cast<int>(f);
  const int i = n & 15;
  m = n >> 4;
  const double r = x - f * 0.0625;  // exact
  const double p = simd::horner_from<1>(r, exppoly::kExp2D) * r;
  const double h = exptab::kH16[i];
  return h + std::fma(h, p, exptab::kL16Abs[i]);
}

// e^x = y * 2^m for finite x with |x| < 760, reduced on a grid of ln2/16 from below.
inline double exp_parts(double x, int& m) {
  using E = ExpTraits<double>;
  const double f = std::floor(x * (16.0 * E::kInvLn2));
  const int n = static_cast<int>(f);
  const int i = n & 15;
  m = n >> 4;
  double r = std::fma(-f, E::kLn2Hi / 16, x);
  r = std::fma(-f, E::kLn2Lo / 16, r);
  const double q = std::fma(simd::horner_from<1>(r, exppoly::kExpHaD), r, exptab::kL16Rel[i]);
  const double h = exptab::kH16[i];
  return std::fma(h, q, h);
}

// 10^x = y * 2^m for finite x with |x| < 330: x = k*log10(2) + r, k on a grid of 1/16.
inline double exp10_parts(double x, int& m) {
  using E = Exp10Traits<double>;
  const double f = std::floor(x * (16.0 * E::kLog2of10));
  const int n = static_cast<int>(f);
  const int i = n & 15;
  m = n >> 4;
  const double k = f * 0.0625;
  double r = std::fma(-k, E::kLog10of2Hi, x);
  r = std::fma(-k, E::kLog10of2Lo, r);
  const double p = simd::horner_from<1>(r, exppoly::kExp10D) * r;
  const double h = exptab::kH16[i];
  return h + std::fma(h, p, exptab::kL16Abs[i]);
}

}  // namespace expscalar
}  // namespace zorp::vm
