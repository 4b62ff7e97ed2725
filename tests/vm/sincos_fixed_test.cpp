// The six sine and cosine kernels the random distributions call through fixed slots must keep
// their results bit for bit, which no accuracy reference settles: each is compared here with a
// scalar model of its algorithm, written out step by step with the published constants, on
// arguments spread over its fast range (bit patterns and a uniform piece) and at its edges.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/vm_rows.h"

namespace zorp::test {
namespace {

template <typename R>
R from(uint64_t b) {
  R x;
  if constexpr (sizeof(R) == 4) {
    const uint32_t w = static_cast<uint32_t>(b);
    std::memcpy(&x, &w, 4);
  } else {
    std::memcpy(&x, &b, 8);
  }
  return x;
}
template <typename R>
uint64_t bits(R x) {
  if constexpr (sizeof(R) == 4) {
    uint32_t w;
    std::memcpy(&w, &x, 4);
    return w;
  } else {
    uint64_t w;
    std::memcpy(&w, &x, 8);
    return w;
  }
}
template <typename R>
R flip(R v, bool f) {
  return f ? -v : v;
}
template <typename R, size_t N>
R horner(R u, const uint64_t (&c)[N]) {
  R p = from<R>(c[N - 1]);
  for (size_t i = N - 1; i-- > 0;) p = std::fma(p, u, from<R>(c[i]));
  return p;
}

struct Pair {
  double s, c;
};

// ---- double ---------------------------------------------------------------------------------
const double kInvPi = from<double>(0x3FD45F306DC9C883), kPiHi = from<double>(0x400921FB54442D18),
             kPiMid = from<double>(0x3CA1A62633145C06), kPiLow = from<double>(0x395C1CD129024E09);
const uint64_t kSinEp[] = {0xBFC55554AD3EAF1F, 0x3F8110EA968A0185, 0xBF29F67D9395D587, 0x3EC5D4567512BBD5};
const uint64_t kCos15[] = {0xBFC55555555554A7, 0x3F8111111110A4A8, 0xBF2A01A019A5B87B, 0x3EC71DE38030FEA0,
                           0xBE5AE63546002231, 0x3DE60E6857A2F220, 0xBD69F0D60811AAC8};

double sin_ep_poly(double r) {
  const double u = r * r;
  return std::fma(r, u * horner(u, kSinEp), r);
}

Pair d_sincos_ep(double x) {
  const double a = std::fabs(x), shifter = 0x1.8p52;
  const double t = std::fma(a, kInvPi, shifter), k = t - shifter;
  const bool odd = bits(t) & 1;
  const double rs = std::fma(k, -kPiMid, std::fma(k, -kPiHi, a));
  const double s = flip(sin_ep_poly(flip(rs, odd)), std::signbit(x));
  const double kc = k + std::copysign(0.5, rs);
  const double rc = std::fma(kc, -kPiMid, std::fma(kc, -kPiHi, a));
  const double c = flip(sin_ep_poly(rc), odd != std::signbit(rs) != true);
  return {s, c};
}

Pair d_cos(double x) {
  const double a = std::fabs(x);
  if (a < 0x1p-27) return {1.0, 0};
  // floor(a/pi) by a rounding to nearest and one step down where that went up.
  double t = std::fma(a, kInvPi, 0x1p52);
  if (std::fma(a, kInvPi, 0x1p52 - t) < 0) t -= 1;
  const double n = t - 0x1p52, k = n + 0.5;
  double r = std::fma(k, kPiHi, -a);
  r = std::fma(k, kPiMid, r);
  const double u = r * r;
  r = flip(std::fma(k, kPiLow, r), static_cast<int64_t>(n) & 1);
  return {std::fma(r * u, horner(u, kCos15), r), 0};
}

// ---- single ---------------------------------------------------------------------------------
const float kInvPiF = from<float>(0x3EA2F983), kPiF[] = {from<float>(0x40490FDB), from<float>(0xB3BBBD2E),
                                                         from<float>(0xA7772CED)};
const uint64_t kSinLa[] = {0xBE2AAAA6, 0x3C088766, 0xB94FB7FF, 0x362EDEF8};
const uint64_t kCosLa[] = {0xBE2AAAA6, 0x3C088764, 0xB94FB6CF, 0x362EC335};
const uint64_t kScS[] = {0xB15E870D, 0xBE2AAAA0, 0x3C088303, 0xB94C7DCE};
const uint64_t kScC[] = {0x3F800000, 0xBEFFFFCB, 0x3D2A9DD3, 0xBAB1FCEB};

float reduce_pi(float a, float k) {
  return std::fma(k, -kPiF[2], std::fma(k, -kPiF[1], std::fma(k, -kPiF[0], a)));
}

Pair s_sin(double xd) {
  const float x = static_cast<float>(xd), a = std::fabs(x), shifter = 0x1.8p23f;
  const float t = std::fma(a, kInvPiF, shifter), k = t - shifter;
  float r = reduce_pi(a, k);
  const float u = r * r;
  r = flip(r, bits(t) & 1);
  return {flip(std::fma(horner(u, kSinLa) * u, r, r), std::signbit(x)), 0};
}

Pair s_cos(double xd) {
  const float x = static_cast<float>(xd), a = std::fabs(x), shifter = 0x1.8p23f, half_pi = from<float>(0x3FC90FDB);
  const float v = a + half_pi;
  if (v == half_pi) return {1.0, 0};
  const float t = std::fma(v, kInvPiF, shifter), k = t - shifter;
  float r = reduce_pi(a, k - 0.5f);
  const float u = r * r;
  r = flip(r, bits(t) & 1);
  return {std::fma(u * r, horner(u, kCosLa), r), 0};
}

Pair s_sincos(double xd) {
  const float x = static_cast<float>(xd), a = std::fabs(x), shifter = 0x1.8p23f;
  const float t = std::fma(a, from<float>(0x3F22F983), shifter), q = t - shifter;
  float r = std::fma(q, from<float>(0xBFC90FDB), a);
  r = std::fma(q, from<float>(0x333BBD2E), r);
  r = std::fma(q, from<float>(0x26F72CED), r);
  const float u = r * r;
  const float S = std::fma(r, horner(u, kScS), r), C = horner(u, kScC);
  const unsigned b = static_cast<unsigned>(bits(t));
  const bool b0 = b & 1, b1 = b & 2;
  return {flip(b0 ? C : S, b1 != std::signbit(x)), flip(b0 ? S : C, b1 != b0)};
}

// ---- the comparison ---------------------------------------------------------------------------
struct Fixed {
  const char* row;
  int slot;
  double limit;  // the model holds for |x| <= limit
  Pair (*model)(double);
};
const Fixed kFixed[] = {
    {"vdSin", 2, 0x1p24, d_sincos_ep},   {"vdCos", 0, 8388606 * 3.14159, d_cos},
    {"vdCos", 2, 8388606 * 3.14159, d_cos}, {"vdSinCos", 2, 0x1p23, d_sincos_ep},
    {"vsSin", 0, 10000, s_sin},          {"vsCos", 0, 10000, s_cos},
    {"vsSinCos", 0, 0x1p19 * 0.99999, s_sincos},
};

const VmRow& row_named(const std::string& name) {
  for (const VmRow& r : contract_rows())
    if (r.name() == name) return r;
  throw std::runtime_error(name);
}

template <typename R>
void compare(const Fixed& f) {
  const VmRow& row = row_named(f.row);
  std::mt19937_64 rng(17);
  std::vector<R> x = {R(0), R(-0.0), R(1e-9), R(-1e-9), R(3.141592653589793), R(1.5707963267948966), R(f.limit),
                      R(-f.limit), R(0.75), R(1e-30)};
  const uint64_t top = bits(R(f.limit));
  for (int i = 0; i < 4000; ++i) {
    const R v = i % 2 ? from<R>(rng() % top) : std::uniform_real_distribution<R>(R(-10), R(10))(rng);
    x.push_back(rng() & 1 ? -v : v);
  }
  std::vector<R> r1(x.size()), r2(x.size());
  call<R>(row, f.slot, false, static_cast<int32_t>(x.size()), x.data(), nullptr, r1.data(), r2.data());
  const bool two = row.shape() == Shape::A1R2;
  int mismatches = 0;
  for (size_t i = 0; i < x.size() && mismatches < 5; ++i) {
    Pair m = f.model(x[i]);
    if (std::string(f.row) == "vdSin") m.c = 0;
    const R want_s = R(m.s), want_c = R(m.c);
    const bool ok = bits(r1[i]) == bits(want_s) && (!two || bits(r2[i]) == bits(want_c));
    if (!ok) {
      ++mismatches;
      ADD_FAILURE() << f.row << " slot " << f.slot << " at " << x[i] << ": " << r1[i] << ", " << r2[i]
                    << "; model " << want_s << ", " << want_c;
    }
  }
}

class FixedKernel : public testing::TestWithParam<Fixed> {};

TEST_P(FixedKernel, MatchesItsAlgorithmBitForBit) {
  if (GetParam().row[1] == 'd') compare<double>(GetParam());
  else compare<float>(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Distributions, FixedKernel, testing::ValuesIn(kFixed),
                         [](const testing::TestParamInfo<Fixed>& i) {
                           return std::string(i.param.row) + "_" + ("LA\0HA\0EP" + 3 * i.param.slot);
                         });

}  // namespace
}  // namespace zorp::test
