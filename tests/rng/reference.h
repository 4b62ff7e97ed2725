// Plain scalar models of the congruential generators, written from their definitions with
// ordinary % arithmetic, to check the library's vector loops and skip/leapfrog arithmetic.
#pragma once
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "zorp/rng.h"

namespace ref {

constexpr uint64_t kM31 = 2147483647, kM59 = uint64_t{1} << 59;
constexpr int64_t kM1 = 4294967087, kM2 = 4294944443;

inline const uint8_t* state_bytes(const StreamState* s) { return reinterpret_cast<const uint8_t*>(s) + 16; }

struct Mcg31 {
  uint64_t x, a;
  explicit Mcg31(const StreamState* s) {
    uint32_t w[2];
    std::memcpy(w, state_bytes(s), 8);
    x = w[0];
    a = w[1];
  }
  uint64_t next() {
    const uint64_t r = x;
    x = a * x % kM31;
    return r;
  }
  double scale_d() const { return 1.0 / 2147483647.0; }
};

struct Mcg59 {
  uint64_t x, a;
  explicit Mcg59(const StreamState* s) {
    std::memcpy(&x, state_bytes(s), 8);
    std::memcpy(&a, state_bytes(s) + 8, 8);
  }
  uint64_t next() {
    const uint64_t r = x;
    x = (a * x) % kM59;
    return r;
  }
};

struct Mrg32k3a {
  int64_t x1[3], x2[3];
  explicit Mrg32k3a(const StreamState* s) {
    uint32_t w[6];
    std::memcpy(w, state_bytes(s), 24);
    for (int i = 0; i < 3; ++i) x1[i] = w[i], x2[i] = w[3 + i];
  }
  static int64_t mod(__int128 v, int64_t m) {
    int64_t r = static_cast<int64_t>(v % m);
    return r < 0 ? r + m : r;
  }
  uint64_t next() {
    const int64_t y1 = mod(__int128(1403580) * x1[1] - __int128(810728) * x1[0], kM1);
    const int64_t y2 = mod(__int128(527612) * x2[2] - __int128(1370589) * x2[0], kM2);
    x1[0] = x1[1], x1[1] = x1[2], x1[2] = y1;
    x2[0] = x2[1], x2[1] = x2[2], x2[2] = y2;
    return static_cast<uint64_t>(y1 > y2 ? y1 - y2 : y1 - y2 + kM1);
  }
};

struct R250 {
  uint32_t w[250];
  int i, j;
  explicit R250(const StreamState* s) {
    std::memcpy(w, state_bytes(s), 1000);
    std::memcpy(&i, state_bytes(s) + 1000, 4);
    std::memcpy(&j, state_bytes(s) + 1004, 4);
  }
  uint64_t next() {
    const uint32_t r = w[i] ^ w[j];
    w[i] = r;
    i = (i + 1) % 250;
    j = (j + 1) % 250;
    return r;
  }
};

// WH needs the member's moduli: the test passes them in.
struct Wh {
  uint64_t x[4], a[4], m[4];
  double rc[4];
  Wh(const StreamState* s, const uint32_t* moduli, const double* recip) {
    uint32_t w[8];
    std::memcpy(w, state_bytes(s), 32);
    for (int c = 0; c < 4; ++c) x[c] = w[c], a[c] = w[4 + c], m[c] = moduli[c], rc[c] = recip[c];
  }
  void step() {
    for (int c = 0; c < 4; ++c) x[c] = a[c] * x[c] % m[c];
  }
  double unit() const {
    double s = static_cast<double>(x[0]) * rc[0];
    for (int c = 1; c < 4; ++c) s = std::fma(static_cast<double>(x[c]), rc[c], s);
    return s - std::trunc(s);
  }
};

}  // namespace ref
