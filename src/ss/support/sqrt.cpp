// Scalar square root of the statistics routines (correlation, skewness, variation
// coefficient) and of the distributions' set-up values.  The hardware instruction is correctly
// rounded in every rounding mode and gives NaN for negative input and -0 for -0, so the export
// is that instruction alone: no errno, no library call.
#include "simd/isa.h"

#include "zorp/export.h"

extern "C" ZORP_API double __tarrdSqrt(double x) {
  const __m128d v = _mm_set_sd(x);
  return _mm_cvtsd_f64(_mm_sqrt_sd(v, v));
}
