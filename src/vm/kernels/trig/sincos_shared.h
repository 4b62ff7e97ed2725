// What the double (sincos.cpp) and single (sincos_single.cpp) sine and cosine kernels share: the
// sign tricks of the quadrant logic and the per-element callouts of the special lanes.
#pragma once
#include <cmath>

#include "vm/kernels/common/callout.h"
#include "vm/kernels/common/sincos_core.h"

namespace zorp::vm {
namespace {

constexpr uint64_t kSignD = uint64_t(1) << 63;
constexpr uint32_t kSignF = uint32_t(1) << 31;

// v with the sign bit of s XOR-ed in.
inline __m512d xor_sign(__m512d v, __m512d s) {
  using namespace zorp::simd;
  return as_double(bit_xor(bits(v), bit_and(bits(s), isplat<double>(kSignD))));
}
inline __m512 xor_sign(__m512 v, __m512 s) {
  using namespace zorp::simd;
  return as_float(bit_xor(bits(v), bit_and(bits(s), isplat<float>(kSignF))));
}
// v with its sign flipped where bit 0 of the integer image of t is set.
inline __m512d flip_if_odd(__m512d v, __m512d t) {
  using namespace zorp::simd;
  return as_double(bit_xor(bits(v), shift_left<63, double>(bits(t))));
}
inline __m512 flip_if_odd(__m512 v, __m512 t) {
  using namespace zorp::simd;
  return as_float(bit_xor(bits(v), shift_left<31, float>(bits(t))));
}

// An infinity gives NaN (the argument times 0) and a domain report; a NaN gives NaN (the argument
// times itself) and none; a finite argument its value by the accurate method, in double.
template <typename T, trig::Fn F>
int trig_callout(const T* a, T* r) {
  const T x = *a;
  if (std::isnan(x)) *r = x * x;
  else if (std::isinf(x)) *r = x * T(0);
  else *r = static_cast<T>(trig::trig_any<F>(static_cast<double>(x)));
  return result_status<trig::kTrigReports>(*r, x);
}
template <typename T>
int sincos_callout(const T* a, T* s, T* c) {
  const T x = *a;
  if (std::isnan(x)) {
    *s = *c = x * x;
  } else if (std::isinf(x)) {
    *s = *c = x * T(0);
  } else {
    double sd, cd;
    trig::sincos_any(static_cast<double>(x), sd, cd);
    *s = static_cast<T>(sd);
    *c = static_cast<T>(cd);
  }
  return result_status<trig::kTrigReports>(*s, x);
}

}  // namespace
}  // namespace zorp::vm
