// What the interface tests share: streams made through the raw exports, a callback for abstract
// streams, and the bytes of a stream's saved image (how a test sees that a refused call left a
// stream as it was).
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include "zorp/rng.h"

namespace apitest {

// The same bytes in both arrays.
template <class T>
bool same(const std::vector<T>& x, const std::vector<T>& y) {
  return x.size() == y.size() && std::memcmp(x.data(), y.data(), x.size() * sizeof(T)) == 0;
}

// The entry of precision T among a double and a float entry (pick<T>(zorp_x_dF, zorp_x_sF)).
template <class T, class D, class S>
constexpr auto pick(D d, S s) {
  if constexpr (std::is_same_v<T, double>) return d;
  else return s;
}

inline StreamState* raw_stream(uint32_t brng, uint32_t seed = 777) {
  StreamState* s = nullptr;
  EXPECT_EQ(__tarrNewStreamEx(&s, brng, 1, &seed), 0);
  return s;
}

inline std::vector<uint8_t> image_of(const StreamState* s) {
  std::vector<uint8_t> b(static_cast<size_t>(__tarrGetStreamSize(s)));
  EXPECT_EQ(__tarrSaveStreamM(s, b.data()), 0);
  return b;
}

// Refills with the middle of the range, where no generator meets an edge case.
template <class T>
int32_t ones(StreamState*, const int32_t* n, void* buffer, const int32_t*, const int32_t* nmax, const int32_t* idx) {
  for (int32_t i = 0; i < *nmax; ++i) static_cast<T*>(buffer)[(*idx + i) % *n] = std::is_integral_v<T> ? T(0x80000000u) : T(0.5);
  return *nmax;
}

struct AbstractStreams {
  uint32_t ibuf[4] = {};
  double dbuf[4] = {};
  float sbuf[4] = {};
  StreamState *i = nullptr, *d = nullptr, *s = nullptr;
  AbstractStreams() {
    EXPECT_EQ(__tarriNewAbstractStream(&i, 4, ibuf, ones<uint32_t>), 0);
    EXPECT_EQ(__tarrdNewAbstractStream(&d, 4, dbuf, 0.0, 1.0, ones<double>), 0);
    EXPECT_EQ(__tarrsNewAbstractStream(&s, 4, sbuf, 0.0f, 1.0f, ones<float>), 0);
  }
  ~AbstractStreams() {
    __tarrDeleteStream(&i);
    __tarrDeleteStream(&d);
    __tarrDeleteStream(&s);
  }
};

}  // namespace apitest
