// The pieces the discrete generators share: the log-factorial, the triangle-parallelogram-
// exponential envelope, and the scalar set-up helpers exported for them.
#include "dist/discrete.h"

#include <cmath>

#include "zorp/export.h"

namespace zorp::dist {

double log_factorial(double k) {
  static const auto small = [] {
    struct Table {
      double v[16];
    } t{};
    for (int i = 1; i < 16; ++i) t.v[i] = t.v[i - 1] + std::log(double(i));
    return t;
  }();
  if (k < 16) return small.v[static_cast<int>(k)];
  const double r = 1 / k, r2 = r * r;
  return (k + 0.5) * std::log(k) - k + 0.9189385332046727 + r * (1.0 / 12 - r2 * (1.0 / 360 - r2 * (1.0 / 1260)));
}

Envelope tpe_envelope(double mode, double p1, double c, double lambda_l, double lambda_r) {
  Envelope e{};
  e.p1 = p1;
  e.c = c;
  e.xm = mode + 0.5;
  e.xl = e.xm - p1;
  e.xr = e.xm + p1;
  e.lambda_l = lambda_l;
  e.lambda_r = lambda_r;
  e.p2 = p1 * (1 + 2 * c);
  e.p3 = e.p2 + c / lambda_l;
  e.p4 = e.p3 + c / lambda_r;
  return e;
}

// Steps 1 to 4 of BTPE (Kachitvichyanukul and Schmeiser, "Binomial random variate generation",
// CACM 31, 1988), which PTPE shares: the area p4 is split into the triangle (accepted at once),
// two parallelograms over [xl, xr] and two exponential tails; u picks the region and the
// abscissa, v the height.
bool tpe_candidate(const Envelope& e, double u, double v, int64_t lo, int64_t hi, int64_t* y, double* height,
                   bool* sure) {
  u *= e.p4;
  *sure = false;
  double x;
  if (u <= e.p1) {
    x = std::floor(e.xm - e.p1 * v + u);
    *sure = true;
    *height = 0;
  } else if (u <= e.p2) {
    const double at = e.xl + (u - e.p1) / e.c;
    const double w = v * e.c + 1 - std::fabs(at - e.xm) / e.p1;
    if (w > 1) return false;
    x = std::floor(at);
    *height = w;
  } else {
    if (v <= 0) return false;  // ln 0: a tail at infinity
    if (u <= e.p3) {
      x = std::floor(e.xl + std::log(v) / e.lambda_l);
      *height = v * (u - e.p2) * e.lambda_l;
    } else {
      x = std::floor(e.xr - std::log(v) / e.lambda_r);
      *height = v * (u - e.p3) * e.lambda_r;
    }
  }
  if (x < double(lo) || x > double(hi)) return false;
  *y = static_cast<int64_t>(x);
  return true;
}

}  // namespace zorp::dist

extern "C" {
ZORP_API double __tarrdLn(double x) { return std::log(x); }
ZORP_API double __tarrdFloor(double x) { return std::floor(x); }
}
