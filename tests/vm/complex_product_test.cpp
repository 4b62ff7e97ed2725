// Complex products with an infinite or NaN part, every combination of special and ordinary
// parts, against the compiler's own complex multiplication (its runtime follows C's annex for
// complex arithmetic): an infinite factor gives an infinite product even where the plain
// formula gives NaN in both parts. Both precisions, Mul and MulByConj, in one call each, so the
// vector path and its per-element fix-up both meet the cases.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <vector>

#include "zorp/vm.h"
#include "zorp/vm_functions.h"

namespace {

template <typename T>
bool same(T got, T want) {
  if (std::isnan(want)) return std::isnan(got);
  return got == want && std::signbit(got) == std::signbit(want);
}

template <typename C, typename T, typename Mul>
void check(Mul mul, bool conj, const char* name) {
  const T inf = std::numeric_limits<T>::infinity(), nan = std::numeric_limits<T>::quiet_NaN();
  const T parts[] = {inf, -inf, nan, T(0), T(-0.0), T(1.5), T(-2)};
  std::vector<C> a, b;
  for (T ar : parts)
    for (T ai : parts)
      for (T br : parts)
        for (T bi : parts) {
          if (std::isfinite(ar) && std::isfinite(ai) && std::isfinite(br) && std::isfinite(bi)) continue;
          a.push_back({ar, ai});
          b.push_back({br, bi});
        }
  std::vector<C> r(a.size());
  mul(static_cast<int32_t>(a.size()), a.data(), b.data(), r.data());
  int wrong = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    const std::complex<T> x(a[i].re, a[i].im), y(b[i].re, conj ? -b[i].im : b[i].im);
    const std::complex<T> want = x * y;
    if (!same(r[i].re, want.real()) || !same(r[i].im, want.imag())) {
      if (++wrong <= 5)
        ADD_FAILURE() << name << " (" << a[i].re << ", " << a[i].im << ") x (" << b[i].re << ", " << b[i].im
                      << "): got (" << r[i].re << ", " << r[i].im << "), want (" << want.real() << ", "
                      << want.imag() << ")";
    }
  }
  EXPECT_EQ(wrong, 0) << name << ": of " << a.size() << " products";
}

TEST(ComplexProduct, InfinitiesSurviveNaNPartsAsTheAnnexSays) {
  check<ZorpComplex16, double>(_fennzMul, false, "zMul");
  check<ZorpComplex16, double>(_fennzMulByConj, true, "zMulByConj");
  check<ZorpComplex8, float>(_fenncMul, false, "cMul");
  check<ZorpComplex8, float>(_fenncMulByConj, true, "cMulByConj");
}

}  // namespace
