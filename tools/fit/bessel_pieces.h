// The tables of pieces of the Bessel kernels J and Y below 63 pi/8 (special/generated/
// bessel_j_tables.inc, bessel_y_tables.inc), and of log-gamma around its negative zeros
// (gamma_zeros.inc): per piece a centre as a pair hi + lo (a zero needs more than a double), the polynomial in d = x - centre, and the rounding errors of its leading
// coefficients, stored coefficient-major so that a kernel reads one coefficient of every
// lane's piece with one lookup.
#pragma once
#include <string>
#include <vector>

#include "mp.h"
#include "remez.h"

namespace fit {

// J_n, Y_n (n = 0, 1) and pi from MPFR at the fitter's precision.
R bessel_j(int n, const R& x);
R bessel_y(int n, const R& x);
R pi_();

struct PieceColumns {
  explicit PieceColumns(int degree_) : degree(degree_), cols(degree_ + 1) {}
  // Adds piece m centred at `at` (a zero of f when `zero`), the polynomial `exact` for f(d) over
  // d in [a, b], and writes its comment line.
  void add(Out& o, int m, const R& at, bool zero, double a, double b, const Target& f, const std::vector<R>& exact);
  // A slot the kernel never reads: all zero but the centre.
  void skip(Out& o, int m, double centre, const char* why);
  void write(Out& o, const std::string& name) const;

  int degree;
  const char* span = "%+.4f";  // how the comment lines print the interval of d
  // Whether the centres' third parts are written (<name>CentreTail): where an argument may equal
  // hi, d = -lo alone, and lo's own rounding would cost up to half an ulp.
  bool tails = false;
  std::vector<double> his, los, los2, leads, nexts;
  std::vector<std::vector<double>> cols;
};

}  // namespace fit
