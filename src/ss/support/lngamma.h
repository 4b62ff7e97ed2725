// Double-double logarithm and log-gamma of the chi-square helpers (lgamma.cpp).  The chi-square
// law's density and incomplete gamma function are e^E with E = a ln z - z - ln Gamma(a) a
// difference of terms that reach 10^4 or more while E itself is a few hundred at most: each term
// must carry well beyond double's accuracy for e^E to keep double's, hence pairs.
#pragma once
#include "simd/exact.h"

namespace zorp::ss::support {

using Pair = simd::DD<double>;

constexpr Pair kLn2{0x1.62e42fefa39efp-1, 0x1.abc9e3b39803fp-56};

// ln x for finite x > 0 (subnormals included), relative error below 1e-18 (the series' tail is summed in double).
Pair ln_pair(double x);
// ln(x.hi + x.lo) for a normalised pair with x.hi > 0.
Pair ln_pair(Pair x);
// ln Gamma(x) for finite x > 0 up to kLGammaOverflow, absolute error near 1e-17 max(1, |ln Gamma(x)|).
Pair lgamma_pair(double x);

// The largest argument whose log-gamma is finite in double.
constexpr double kLGammaOverflow = 0x1.754d9278b51a7p+1014;  // 2.5599833278516383e305

}  // namespace zorp::ss::support
