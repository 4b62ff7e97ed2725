// ln|Gamma(x)| as a scalar export, and the pair logarithm and log-gamma the chi-square helpers
// build on.  Everything is carried as double-double pairs and rounded once at the end, because
// the forms used subtract terms much larger than the result:
//
//   x >= 10        Stirling's series (x - 1/2)(ln x - 1) + (ln(2 pi) - 1)/2 + S(x), S the
//                  Bernoulli-number series B_2k / (2k (2k - 1) x^(2k-1)), nine terms (the tenth
//                  is below 1.4e-19 at x = 10);
//   2^-40 <= x < 10  the recurrence ln Gamma(x) = ln Gamma(x + n) - ln(x (x + 1) ... (x + n - 1)),
//                  x + n >= 10, with the sums x + j and the product as pairs: near the zeros at 1
//                  and 2 the two terms are about 15 and cancel, and the pairs keep the remainder
//                  good to about 1e-17 absolutely;
//   0 < x < 2^-40  -ln x - gamma x (the next term, pi^2 x^2 / 12, is below 1e-24);
//   x < 0          the reflection Gamma(x) Gamma(-x) = -pi / (x sin(pi x)) with sin(pi x) =
//                  +-pi r sinc(pi r), r = x - round(x) exact: ln|Gamma(x)| = -ln|x| - ln|r| -
//                  ln sinc(pi r) - ln Gamma(-x).  ln pi cancels, -x is exact, and ln sinc is the
//                  power series -sum zeta(2k)/k r^2k (|r| <= 1/2), so every term is a pair and
//                  the zeros on the negative axis keep an absolute error near 1e-17.
//
// The logarithm: x = 2^k m with m in [sqrt(1/2), sqrt(2)), ln m = 2 atanh(f) = 2f + 2f T(f^2),
// f = (m - 1)/(m + 1) as a pair (|f| <= 0.172), T = f^2/3 + f^4/5 + ... in double (it is at most
// 1% of 2f, so its rounding is 1e-18 of the result), plus k ln 2 with ln 2 in two parts.
//
// No library log-gamma is called: some platforms' versions write a global sign variable, and
// these helpers must be pure.
#include <cmath>
#include <iterator>
#include <limits>

#include "ss/support/lngamma.h"
#include "zorp/export.h"

namespace zorp::ss::support {
namespace {

using simd::dd_add;
using simd::dd_mul;
using simd::fast_two_sum;
using simd::two_prod;
using simd::two_sum;

constexpr Pair kStirlingConstant{0x1.acfe390c97d69p-2, 0x1.3494bc9001442p-56};  // (ln(2 pi) - 1)/2
constexpr Pair kZeta2{0x1.a51a6625307d3p+0, 0x1.1873d8912200cp-55};            // pi^2 / 6
constexpr double kEuler = 0x1.2788cfc6fb619p-1;
constexpr double kStirlingFrom = 10.0, kTiny = 0x1p-40;

// B_2k / (2k (2k - 1)), k = 1 ... 9.
constexpr double kStirling[] = {1.0 / 12,     -1.0 / 360,    1.0 / 1260,         -1.0 / 1680,   1.0 / 1188,
                                -691.0 / 360360, 1.0 / 156, -3617.0 / 122400, 43867.0 / 244188};

// zeta(2k) / k, k = 2 ... 29: the terms of -ln sinc(pi r) after the first; the 30th term is below
// 2e-19 at r = 1/2.
constexpr double kLnSinc[] = {
    0x1.151322ac7d848p-1, 0x1.5b40cb100c306p-2, 0x1.010b36af86397p-2, 0x1.9a01e385d5f8fp-3, 0x1.556ad63243bc4p-3,
    0x1.2496df8320c5fp-3, 0x1.00010064cdeb2p-3, 0x1.c71ce3a20b419p-4, 0x1.9999b3352d5bap-4, 0x1.745d1d1778df9p-4,
    0x1.555556aaafdcdp-4, 0x1.3b13b189d925ep-4, 0x1.24924936db7bcp-4, 0x1.111111155556dp-4, 0x1.0000000100002p-4,
    0x1.e1e1e1e25a5a6p-5, 0x1.c71c71c738e39p-5, 0x1.af286bca21af3p-5, 0x1.999999999b333p-5, 0x1.8618618618c31p-5,
    0x1.745d1745d18bap-5, 0x1.642c8590b21bdp-5, 0x1.555555555556bp-5, 0x1.47ae147ae1480p-5, 0x1.3b13b13b13b15p-5,
    0x1.2f684bda12f69p-5, 0x1.2492492492492p-5, 0x1.1a7b9611a7b96p-5};

Pair neg(Pair a) { return {-a.hi, -a.lo}; }

// ln Gamma(y) for a pair y >= 10 by Stirling's series.
Pair stirling(Pair y) {
  const Pair ln_y1 = dd_add(ln_pair(y), Pair{-1.0, 0.0});
  const Pair half_less = dd_add(y, Pair{-0.5, 0.0});
  const double u = 1.0 / y.hi, w = u * u;
  double s = kStirling[std::size(kStirling) - 1];
  for (size_t j = std::size(kStirling) - 1; j-- > 0;) s = std::fma(s, w, kStirling[j]);
  return dd_add(dd_mul(half_less, ln_y1), dd_add(kStirlingConstant, Pair{s * u, 0.0}));
}

// -ln sinc(pi r) for |r| <= 1/2: zeta(2) r^2 as a pair, the rest in double.
Pair minus_ln_sinc(double r) {
  const double r2 = r * r;
  double s = kLnSinc[std::size(kLnSinc) - 1];
  for (size_t j = std::size(kLnSinc) - 1; j-- > 0;) s = std::fma(s, r2, kLnSinc[j]);
  return dd_add(dd_mul(kZeta2, two_prod(r, r)), Pair{s * r2 * r2, 0.0});
}

}  // namespace

Pair ln_pair(double x) {
  int k = 0;
  if (x < std::numeric_limits<double>::min()) {  // subnormal: scale into the normal range first
    x *= 0x1p54;
    k = -54;
  }
  int e;
  double m = std::frexp(x, &e);  // m in [1/2, 1), exact
  if (m < 0x1.6a09e667f3bcdp-1) {
    m *= 2;
    --e;
  }
  k += e;
  // f = (m - 1)/(m + 1): m - 1 is exact (Sterbenz), m + 1 a pair, the quotient corrected once.
  const double num = m - 1.0;
  const Pair den = fast_two_sum(1.0, m);
  const double fh = num / den.hi;
  const double fl = (std::fma(-fh, den.hi, num) - fh * den.lo) / den.hi;
  const double t = fh * fh;
  double tail = 1.0 / 27;
  for (int j = 12; j >= 1; --j) tail = std::fma(tail, t, 1.0 / (2 * j + 1));
  tail *= t;  // f^2/3 + f^4/5 + ... + f^26/27; the next term is below 2e-23 of the sum
  // ln m = 2 fh + (2 fl + 2 fh tail); k ln 2 added as a pair.
  const Pair lnm = fast_two_sum(2 * fh, 2 * fl + 2 * fh * tail);
  return dd_add(dd_mul(kLn2, double(k)), lnm);
}

Pair ln_pair(Pair x) {
  // ln(hi (1 + lo/hi)) = ln hi + lo/hi to within (lo/hi)^2 / 2 < 2^-107.
  const Pair l = ln_pair(x.hi);
  return fast_two_sum(l.hi, l.lo + x.lo / x.hi);
}

Pair lgamma_pair(double x) {
  if (x >= kStirlingFrom) return stirling({x, 0.0});
  if (x < kTiny) return dd_add(neg(ln_pair(x)), Pair{-kEuler * x, 0.0});
  // Climb to x + n >= 10 and divide by x (x + 1) ... (x + n - 1).
  Pair prod{1.0, 0.0}, y{x, 0.0};
  for (; y.hi < kStirlingFrom; y = dd_add(y, Pair{1.0, 0.0})) prod = dd_mul(prod, y);
  return dd_add(stirling(y), neg(ln_pair(prod)));
}

}  // namespace zorp::ss::support

using namespace zorp::ss::support;

extern "C" ZORP_API double __tarrdLGamma(double x) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  if (std::isnan(x)) return x + x;
  if (x > 0) {
    if (x > kLGammaOverflow) return kInf;  // +inf included
    if (x == 1.0 || x == 2.0) return 0.0;  // the pairs would leave a residue near 1e-19
    const Pair g = lgamma_pair(x);
    return g.hi + g.lo;
  }
  // Zero, the negative integers (every number below -2^52 is one) and -inf are poles.
  const double nearest = std::round(x);
  if (x == nearest) return kInf;
  const double r = x - nearest;  // exact, |r| <= 1/2
  const Pair sum = dd_add(dd_add(ln_pair(-x), ln_pair(std::fabs(r))), dd_add(neg(minus_ln_sinc(r)), lgamma_pair(-x)));
  return -(sum.hi + sum.lo);
}
