// The fit records of the complementary error function: erfcx on centred slices, with the
// fitter's own cheap reference (Taylor series about each slice's midpoint).
#include <algorithm>
#include <cmath>

#include "fits.h"

// ---- erfcx -------------------------------------------------------------------------------------
namespace fit {
namespace {

constexpr int kErfcxSlices = 96;

// Slice i of erfcx's range [0, 32): sixteen of width 1/16 on [0, 1), then sixteen per octave
// (the slice a kernel reads from the exponent and the top four bits of the argument).
void erfcx_slice(int i, double& lo, double& hi) {
  if (i < 16) {
    lo = i / 16.0;
    hi = (i + 1) / 16.0;
    return;
  }
  const double octave = std::ldexp(1.0, (i - 16) / 16);
  lo = octave * (1 + ((i - 16) % 16) / 16.0);
  hi = lo + octave / 16;
}

// erfcx x = e^(x^2) erfc x, evaluated cheaply and exactly enough for the fitter: its Taylor
// series about the midpoint m of x's slice. erfcx solves y' = 2xy - 2/sqrt(pi), which gives
// y^(n+1) = 2m y^(n) + 2n y^(n-1) at m, so one MPFR erfc per slice is the only costly call.
// Thirty-two terms reach far below the fitter's precision at 1.5 half-widths from m (where a
// boundary argument may be evaluated). erfcx is the solution of that recurrence that decays,
// and the forward recurrence amplifies its rounding errors by up to 2^240 over those terms at
// m = 32: the coefficients are computed at 1024 bits and then kept at the fitter's precision.
constexpr int kTaylorTerms = 32;
constexpr mpfr_prec_t kTaylorPrec = 1024;

const std::vector<R>& erfcx_taylor(int i) {
  static std::vector<std::vector<R>> cache(kErfcxSlices);
  std::vector<R>& a = cache[i];
  if (!a.empty()) return a;
  double lo, hi;
  erfcx_slice(i, lo, hi);
  mpfr_t m, y0, y1, y2, t, c;
  for (mpfr_ptr v : {m, y0, y1, y2, t, c}) mpfr_init2(v, kTaylorPrec);
  mpfr_set_d(m, (lo + hi) / 2, MPFR_RNDN);
  // y0 = erfcx m, y1 = 2m y0 - 2/sqrt(pi); a_n = y^(n)/n!.
  mpfr_sqr(t, m, MPFR_RNDN);
  mpfr_exp(t, t, MPFR_RNDN);
  mpfr_erfc(y0, m, MPFR_RNDN);
  mpfr_mul(y0, y0, t, MPFR_RNDN);
  mpfr_const_pi(c, MPFR_RNDN);
  mpfr_rec_sqrt(c, c, MPFR_RNDN);
  mpfr_mul_ui(c, c, 2, MPFR_RNDN);
  mpfr_mul(y1, m, y0, MPFR_RNDN);
  mpfr_mul_ui(y1, y1, 2, MPFR_RNDN);
  mpfr_sub(y1, y1, c, MPFR_RNDN);
  mpfr_set_ui(c, 1, MPFR_RNDN);  // n!
  for (int n = 0; n < kTaylorTerms; ++n) {
    R coef;
    mpfr_div(t, y0, c, MPFR_RNDN);
    mpfr_set(coef.v, t, MPFR_RNDN);
    a.push_back(coef);
    // y2 = 2m y1 + 2(n+1) y0, the (n+2)th derivative.
    mpfr_mul(y2, m, y1, MPFR_RNDN);
    mpfr_mul_ui(t, y0, n + 1, MPFR_RNDN);
    mpfr_add(y2, y2, t, MPFR_RNDN);
    mpfr_mul_ui(y2, y2, 2, MPFR_RNDN);
    mpfr_swap(y0, y1);
    mpfr_swap(y1, y2);
    mpfr_mul_ui(c, c, n + 1, MPFR_RNDN);
  }
  for (mpfr_ptr v : {m, y0, y1, y2, t, c}) mpfr_clear(v);
  return a;
}

int erfcx_slice_of(double x) {
  if (x < 1) return std::max(0, static_cast<int>(x * 16));
  int e;
  const double f = std::frexp(x, &e);  // x = f 2^e, f in [1/2, 1)
  return std::min(kErfcxSlices - 1, 16 + 16 * (e - 1) + static_cast<int>((f * 2 - 1) * 16));
}

R erfcx_(const R& x) {
  const int i = erfcx_slice_of(x.d());
  double lo, hi;
  erfcx_slice(i, lo, hi);
  const std::vector<R>& a = erfcx_taylor(i);
  const R u = x - R((lo + hi) / 2);
  R s = a.back();
  for (size_t j = a.size() - 1; j-- > 0;) s = s * u + a[j];
  return s;
}

// Slice i of the single-precision pieces: four per octave of [1/2, 16), the slice a kernel reads
// from the float's exponent and top two significand bits; the table is padded to 32 pieces with
// copies of the last, which no argument (clamped at 10) reaches.
void erfcx_slice_f(int i, double& lo, double& hi) {
  i = std::min(i, 19);
  const double octave = std::ldexp(0.5, i / 4);
  lo = octave * (1 + (i % 4) / 4.0);
  hi = lo + octave / 4;
}

// Slice i of the double LA and EP pieces: two per octave of [1/2, 32), the slice a kernel reads
// from the exponent and the top significand bit, so that each coefficient's sixteen entries are
// one two-register permute; pieces 12 to 15 only fill the table with copies of the last.
void erfcx_slice_d2(int i, double& lo, double& hi) {
  i = std::min(i, 11);
  const double octave = std::ldexp(0.5, i / 2);
  lo = octave * (1 + (i % 2) / 2.0);
  hi = lo + octave / 2;
}

// Slice i of the double LA pieces: those of erfcx_slice_d2 for [1/2, 32), and in the table's
// four spare entries, pieces 12 to 15, four of width 1/8 on [0, 1/2), so that one piecewise
// polynomial serves every argument and the small range needs no series of its own.
void erfcx_slice_d2_low(int i, double& lo, double& hi) {
  if (i < 12) return erfcx_slice_d2(i, lo, hi);
  lo = (i - 12) / 8.0;
  hi = lo + 1 / 8.0;
}

}  // namespace

std::vector<PiecewiseFit> erfc_piecewise_fits() {
  return {
      {"kErfcxPiecesD", "erfcx x - erfcx(midpoint) rounded", erfcx_, kErfcxSlices, erfcx_slice,
       "x in [i/16, (i + 1)/16) below 1, sixteen slices per octave of [1, 32), in x - midpoint", 11,
       Weight::Absolute, Prec::Double, {},
       "erfcx x = H_i + P_i(x - midpoint); erfc x = e^(-x^2) erfcx x, every slot but single LA and EP", true, true},
      {"kErfcxPiecesLaF", "erfcx x", erfcx_, 32, erfcx_slice_f,
       "x in [1/2, 16), four slices per octave, in x - midpoint", 6, Weight::Relative, Prec::Single, {},
       "single Erfc and CdfNorm LA from 1/2: e^(-x^2) P_i(x - midpoint)", true, false},
      {"kErfcxPiecesEpF", "erfcx x", erfcx_, 32, erfcx_slice_f,
       "x in [1/2, 16), four slices per octave, in x - midpoint", 3, Weight::Relative, Prec::Single, {},
       "single Erfc and CdfNorm EP from 1/2", true, false},
      {"kErfcxPiecesLaD", "erfcx x", erfcx_, 16, erfcx_slice_d2_low,
       "x in [1/2, 32), two slices per octave, and [0, 1/2) in four of width 1/8 as pieces 12 to 15, in "
       "x - midpoint", 17, Weight::Relative, Prec::Double, {},
       "double Erfc LA: e^(-x^2) P_i(x - midpoint)", true, false},
      {"kErfcxPiecesEpD", "erfcx x", erfcx_, 16, erfcx_slice_d2,
       "x in [1/2, 32), two slices per octave, in x - midpoint", 9, Weight::Relative, Prec::Double, {},
       "double Erfc EP from 1/2", true, false},
  };
}

}  // namespace fit
