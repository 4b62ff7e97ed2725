// The record of every polynomial the kernels evaluate: one record per polynomial, from
// which the fitter writes the coefficient array the vector kernel and its scalar callout read.
//
// A record names the target function and the interval the kernel's reduced argument
// stays in, the degree, the weighting of the error (relative or absolute), the precision the
// kernel computes in (which is also the precision the coefficients are rounded to), and how the
// coefficients are obtained:
//   Minimax  fitted here by the Remez exchange (low coefficients may be pinned, e.g. c0 = 0,
//            c1 = 1 where the kernel adds r exactly);
//   Taylor   the target's Taylor coefficients, rounded;
//   Fixed    coefficients whose values are given, rounded to the precision as a literal in
//            the kernel would be: published constants, and any set whose kernel's results
//            must keep their bits; the record still says what they approximate, and the
//            generated file states the error they reach there.
// Coefficients are written in rising degree, c[0] + c[1] x + ..., for simd::horner and friends.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "mp.h"
#include "remez.h"

namespace fit {

enum class How { Minimax, Taylor, Fixed };

struct Fit {
  const char* name;      // the generated array
  const char* target;    // the function approximated, as a reader writes it
  Target f;              // the same function for MPFR
  const char* interval;  // the argument's interval as a reader writes it
  double lo, hi;         // and as numbers
  int degree;
  Weight weight;
  Prec prec;
  How how;
  std::vector<double> values;  // Fixed: every coefficient; Minimax: the pinned low ones
  R (*term)(int) = nullptr;    // Taylor: coefficient of x^j
  const char* note = "";       // why fixed, or what the kernel does around the polynomial
};

// A piecewise polynomial: one polynomial per slice of the argument, stored coefficient-major
// (name[j][i] is coefficient j of piece i) so that a kernel reads coefficient j of every lane's
// piece with one register permute.
struct PiecewiseFit {
  const char* name;
  const char* target;
  Target f;
  int pieces;
  void (*slice)(int i, double& lo, double& hi);
  const char* slices;  // the slicing rule in words
  int degree;
  Weight weight;
  Prec prec;
  std::vector<std::pair<int, std::vector<double>>> fixed_rows;  // pieces given, not fitted
  const char* note = "";
  // Each piece a polynomial in the offset from its slice's midpoint rather than in the argument
  // itself (slices far from zero, where powers of the argument would cancel).
  bool centered = false;
  // With centered: each piece's value at its midpoint, rounded, is stored apart (<name>Head) and
  // the polynomial fits the rest, so that a kernel adds the head last and the head's own
  // rounding error (the polynomial's constant) is not lost.
  bool head = false;
};

std::vector<Fit> exp_fits();
std::vector<Fit> log_fits();
std::vector<Fit> power_fits();
std::vector<PiecewiseFit> power_piecewise_fits();
std::vector<Fit> trig_fits();
std::vector<Fit> hyper_fits();
std::vector<Fit> erf_fits();
std::vector<PiecewiseFit> erf_piecewise_fits();
std::vector<PiecewiseFit> erfc_piecewise_fits();
// The 848-row table of the double EP inverse error function (erfinv.cpp).
std::string erfinv_table();
std::vector<PiecewiseFit> log_piecewise_fits();
std::vector<Fit> gamma_fits();
std::vector<PiecewiseFit> gamma_piecewise_fits();
// The pieces around log-gamma's zeros on the negative axis (gamma.cpp).
std::string gamma_zero_tables();
std::vector<Fit> bessel_fits();
std::vector<PiecewiseFit> bessel_piecewise_fits();
std::string bessel_j_tables();
std::string bessel_phase_tables();
std::vector<Fit> bessel_y_fits();
std::string bessel_y_tables();

// Text of the generated file (namespace ns) holding the arrays of these fits.
std::string polynomial_file(const char* what, const char* ns, const std::vector<Fit>& fits,
                            const std::vector<PiecewiseFit>& piecewise);

// The coefficients of one fit, rounded to its precision (exits with a message if a fit fails).
std::vector<double> coefficients(const Fit& f);

}  // namespace fit
