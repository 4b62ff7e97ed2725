// Scalar pieces shared by the callouts of the exponential family: the lanes the vector path
// leaves out are finished here, one element at a time, in double precision, using the same
// tables as the vector kernels. Each routine returns y and m with the result y * 2^m, y in
// [1, 2]; scale_once applies 2^m with a single rounding even when the result is subnormal.
#pragma once
#include <cmath>
#include <cstdint>
#include <cstring>

#include "vm/kernels/exp/generated/exp_tables.inc"

namespace zorp::vm::expscalar {

inline double from_bits(uint64_t b) {
  double d;
  std::memcpy(&d, &b, 8);
  return d;
}
inline float from_bits32(uint32_t b) {
  float f;
  std::memcpy(&f, &b, 4);
  return f;
}
// 2^m for -1022 <= m <= 1023.
inline double pow2(int m) { return from_bits(static_cast<uint64_t>(m + 1023) << 52); }

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
  double p = 0.00015741120530459663;
  p = std::fma(p, r, 0.0013330645418221986);
  p = std::fma(p, r, 0.009618141545517354);
  p = std::fma(p, r, 0.055504108392381686);
  p = std::fma(p, r, 0.24022650696194142);
  p = std::fma(p, r, 0.6931471805599342);
  p *= r;
  const double h = exptab::kH16[i];
  return h + std::fma(h, p, exptab::kL16Abs[i]);
}

// e^x = y * 2^m for finite x with |x| < 760, reduced on a grid of ln2/16 from below.
inline double exp_parts(double x, int& m) {
  const double ln2_16_hi = from_bits(0x3FE62E42FEFA39EFull) / 16;
  const double ln2_16_lo = from_bits(0x3C7ABC9E3B39803Full) / 16;
  const double f = std::floor(x * (16.0 * from_bits(0x3FF71547652B82FEull)));
  const int n = static_cast<int>(f);
  const int i = n & 15;
  m = n >> 4;
  double r = std::fma(-f, ln2_16_hi, x);
  r = std::fma(-f, ln2_16_lo, r);
  double p = 0.0014193283516881214;
  p = std::fma(p, r, 0.008331512908898442);
  p = std::fma(p, r, 0.0416667205488057);
  p = std::fma(p, r, 0.1666666658485894);
  p = std::fma(p, r, 0.5000000000059126);
  p = std::fma(p, r, 0.999999999999984);
  const double q = std::fma(p, r, exptab::kL16Rel[i]);
  const double h = exptab::kH16[i];
  return std::fma(h, q, h);
}

// 10^x = y * 2^m for finite x with |x| < 330: x = k*log10(2) + r, k on a grid of 1/16.
inline double exp10_parts(double x, int& m) {
  const double l10_hi = from_bits(0x3FD34413509F79FFull);
  const double l10_lo = from_bits(0xBC49DC1DA994FD21ull);
  const double f = std::floor(x * (16.0 * from_bits(0x400A934F0979A371ull)));
  const int n = static_cast<int>(f);
  const int i = n & 15;
  m = n >> 4;
  const double k = f * 0.0625;
  double r = std::fma(-k, l10_hi, x);
  r = std::fma(-k, l10_lo, r);
  double p = 0.2115324552507909;
  p = std::fma(p, r, 0.5392651004918929);
  p = std::fma(p, r, 1.1712566635458537);
  p = std::fma(p, r, 2.0346785823063307);
  p = std::fma(p, r, 2.6509490552705466);
  p = std::fma(p, r, 2.3025850929940086);
  p *= r;
  const double h = exptab::kH16[i];
  return h + std::fma(h, p, exptab::kL16Abs[i]);
}

}  // namespace zorp::vm::expscalar
