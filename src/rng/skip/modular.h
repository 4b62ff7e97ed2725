// Modular arithmetic shared by the congruential generators and their skip-ahead and leapfrog.
#pragma once
#include <cstdint>

namespace zorp::rng {

inline constexpr uint32_t kM31 = 0x7FFFFFFFu;                 // 2^31 - 1
inline constexpr uint64_t kMask59 = (uint64_t{1} << 59) - 1;  // arithmetic mod 2^59
inline constexpr uint32_t kMrgM1 = 4294967087u;               // 2^32 - 209
inline constexpr uint32_t kMrgM2 = 4294944443u;               // 2^32 - 22853

// a * x mod 2^31 - 1 for a, x < 2^31 - 1, without division: 2^31 = 1 (mod m).
constexpr uint32_t mul_m31(uint64_t a, uint64_t x) {
  const uint64_t p = a * x;
  uint64_t r = (p & kM31) + (p >> 31);
  if (r >= kM31) r -= kM31;
  return static_cast<uint32_t>(r);
}

constexpr uint64_t pow_m31(uint64_t a, uint64_t n) {
  a %= kM31;
  uint64_t r = 1;
  while (n) {
    if (n & 1) r = mul_m31(r, a);
    a = mul_m31(a, a);
    n >>= 1;
  }
  return r;
}

constexpr uint64_t pow_2p59(uint64_t a, uint64_t n) {
  uint64_t r = 1;
  while (n) {
    if (n & 1) r = (r * a) & kMask59;
    a = (a * a) & kMask59;
    n >>= 1;
  }
  return r & kMask59;
}

// 3 x 3 row-major matrices modulo m < 2^32.
struct Mat3 {
  uint32_t v[9];
};

constexpr Mat3 mat_mul(const Mat3& a, const Mat3& b, uint32_t m) {
  Mat3 c{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      uint64_t s = 0;
      for (int k = 0; k < 3; ++k) s += (uint64_t{a.v[3 * i + k]} * b.v[3 * k + j]) % m;
      c.v[3 * i + j] = static_cast<uint32_t>(s % m);
    }
  return c;
}

constexpr Mat3 identity3() { return Mat3{{1, 0, 0, 0, 1, 0, 0, 0, 1}}; }

// Companion matrix of x[n] = c0 x[n-1] + c1 x[n-2] + c2 x[n-3] acting on (x[n-3], x[n-2], x[n-1]).
constexpr Mat3 companion(const uint32_t c[3]) { return Mat3{{0, 1, 0, 0, 0, 1, c[2], c[1], c[0]}}; }

constexpr void mat_apply(const Mat3& a, uint32_t x[3], uint32_t m) {
  uint32_t y[3] = {};
  for (int i = 0; i < 3; ++i) {
    uint64_t s = 0;
    for (int k = 0; k < 3; ++k) s += (uint64_t{a.v[3 * i + k]} * x[k]) % m;
    y[i] = static_cast<uint32_t>(s % m);
  }
  x[0] = y[0];
  x[1] = y[1];
  x[2] = y[2];
}

inline constexpr uint32_t kMrgC1[3] = {0, 1403580, kMrgM1 - 810728};
inline constexpr uint32_t kMrgC2[3] = {527612, 0, kMrgM2 - 1370589};

inline constexpr int kMrgPowTableSize = 193;  // A^(2^k), k = 0 .. 192

// Tables of A1^(2^k) mod m1 and A2^(2^k) mod m2, 193 matrices of nine words each.
const uint32_t* mrg_pow2_table_m1();
const uint32_t* mrg_pow2_table_m2();

}  // namespace zorp::rng
