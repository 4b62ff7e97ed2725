// Scalar logarithm for the callouts: the double-precision reciprocal-table method of the
// vector kernels, one element at a time, with the high/low table split. Accurate to about half
// a unit in double precision, so single-precision callouts round it once more and stay
// correctly rounded in all but the rarest halfway cases.
#pragma once
#include <cmath>
#include <cstdint>
#include <cstring>

#include "vm/kernels/log/generated/log_tables.inc"

namespace zorp::vm::logscalar {

inline double from_bits(uint64_t b) {
  double d;
  std::memcpy(&d, &b, 8);
  return d;
}

// ln x for positive finite x (subnormals included).
inline double ln_positive(double x) {
  uint64_t b;
  std::memcpy(&b, &x, 8);
  int e = static_cast<int>((b >> 52) & 0x7FF);
  if (e == 0) {  // subnormal: scale up by 2^60 first
    x *= from_bits(0x43B0000000000000ull);
    std::memcpy(&b, &x, 8);
    e = static_cast<int>((b >> 52) & 0x7FF) - 60;
  }
  e -= 1023;
  const double m = from_bits((b & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull);
  const int k = static_cast<int>(std::nearbyint(32.0 / m));  // reciprocal on the grid k/32
  const double y = k / 32.0;
  int i = k - 16;
  if (k == 32) i = 0;
  if (k < 24) e += 1;
  const double r = std::fma(y, m, -1.0);
  double p = 0.11135561406034511;
  p = std::fma(p, r, -0.125220000081181);
  p = std::fma(p, r, 0.14285690939597326);
  p = std::fma(p, r, -0.16666650546695666);
  p = std::fma(p, r, 0.20000000009280938);
  p = std::fma(p, r, -0.2500000000437373);
  p = std::fma(p, r, 0.33333333333332005);
  p = std::fma(p, r, -0.4999999999999968);
  const double ed = e;
  const double hi = std::fma(ed, logtab::kLn2High, logtab::kLnDHigh[i]);
  const double lo = std::fma(ed, logtab::kLn2Low, logtab::kLnDLow[i]);
  return hi + (r + std::fma(p, r * r, lo));
}

}  // namespace zorp::vm::logscalar
