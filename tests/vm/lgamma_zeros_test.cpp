// LGamma near its zeros on the negative axis, which the contract's random sweep almost never
// reaches: there ln|Gamma| is the small difference of terms of order one or larger, and the
// kernels must still keep the relative accuracy of their class, in both precisions.
//
// Between the poles -n - 1 and -n ln|Gamma| is convex, negative at its minimum from n = 2 on,
// so each interval holds two zeros, within about 1/n! of its poles. Here the zeros are located by
// MPFR alone: the minimum by ternary search, then the first value of the precision past each
// sign change by bisection. Doubles come within the kernels' window (|lgamma| below 2^-5) of the
// zeros up to the one at -16 + 4.8e-14; around the next, -16 - 4.8e-14, they give |lgamma| of
// 0.034 at the least, and from -17 on a zero lies closer to its pole than the doubles' spacing
// there, the doubles beside the pole giving |lgamma| of 0.23 or more. The intervals up to n = 18
// are tried, the last three for the ordinary forms, which must hold the class there unaided.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "accuracy/rows.h"
#include "vm/kernels/special/generated/gamma_zeros.inc"

namespace zorp::test {
namespace {

// ln|Gamma x| to 200 bits.
class Exact {
 public:
  Exact() { mpfr_init2(m_, 200); }
  ~Exact() { mpfr_clear(m_); }
  Exact(const Exact&) = delete;
  Exact& operator=(const Exact&) = delete;
  double operator()(double x) {
    int sign;
    mpfr_set_d(m_, x, MPFR_RNDN);
    mpfr_lgamma(m_, &sign, m_, MPFR_RNDN);
    return mpfr_get_d(m_, MPFR_RNDN);
  }

 private:
  mpfr_t m_;
};

// Where lgamma crosses `level` between `inside` and `outside`: the first value of R past the
// crossing, by bisection (`outside` itself where no value of R lies beyond it).
template <typename R>
R crossing(Exact& lg, R inside, R outside, double level) {
  const bool below = lg(inside) < level;
  while (std::nextafter(inside, outside) != outside) {
    const R mid = inside + (outside - inside) / 2;
    if (mid == inside || mid == outside) break;
    ((lg(mid) < level) == below ? inside : outside) = mid;
  }
  return outside;
}

// The arguments of R tried in (-n - 1, -n): for each of the two zeros the 16 values either side
// of the sign change; the 4 either side of the values where |lgamma| crosses the kernels'
// window (where they change method); and on either side, toward where |lgamma| reaches four
// times the window, 24 points evenly and 160 at distances shrinking by 2^(1/4) from there to
// 2^-40 of it, so that every scale of the result below the window and just above it is tried.
template <typename R>
Sample<R> around_zeros(int n, Exact& lg) {
  const R upper = R(-n), lower = R(-n - 1);
  R a = lower, b = upper;
  for (int i = 0; i < 200; ++i) {  // the minimum
    const R l = a + (b - a) / 3, r = b - (b - a) / 3;
    if (lg(l) < lg(r)) b = r;
    else a = l;
  }
  const R lowest = a + (b - a) / 2;
  const double window = vm::gammazero::kZeroWindow;
  // Toward the minimum the points go as far as lgamma = -4 windows, or half the minimum (-0.12
  // between -3 and -2).
  const double deepest = std::max(-4 * window, lg(lowest) / 2);
  Sample<R> s;
  auto push = [&](R x) {
    if (x > lower && x < upper) s.a.push_back(x), s.b.push_back(x), ++s.n;
  };
  auto neighbours = [&](R x, int k) {
    push(x);
    for (R up = x, down = x; k-- > 0;) push(up = std::nextafter(up, upper)), push(down = std::nextafter(down, lower));
  };
  EXPECT_LT(lg(lowest), -2 * window) << "n = " << n;
  for (const R pole : {upper, lower}) {
    const R outside = std::nextafter(pole, lowest);
    const R zero = crossing(lg, lowest, outside, 0.0);
    neighbours(zero, 16);
    for (double level : {-window, window}) neighbours(crossing(lg, lowest, outside, level), 4);
    const R far_in = crossing(lg, lowest, outside, deepest);
    const R far_out = crossing(lg, lowest, outside, 4 * window);
    for (const R end : {far_in, far_out}) {
      for (int i = 1; i <= 24; ++i) push(zero + (end - zero) * R(i) / 24);
      for (int k = 1; k <= 160; ++k) push(zero + (end - zero) * R(std::exp2(-k / 4.0)));
    }
  }
  return s;
}

class LGammaNearZeros : public testing::TestWithParam<int> {};

TEST_P(LGammaNearZeros, KeepTheirClass) {
  const int n = GetParam();
  Exact lg;
  for (const char t : {'s', 'd'}) {
    const VmRow& row = row_named(std::string("v") + t + "LGamma");
    for (int slot : row.owners()) {
      const accuracy::Class c = row.required(slot);
      if (t == 'd') {
        const auto st = sweep<double>(row, slot, around_zeros<double>(n, lg));
        EXPECT_TRUE(st.meets(c)) << st.describe(row.name(), c);
      } else {
        const auto st = sweep<float>(row, slot, around_zeros<float>(n, lg));
        EXPECT_TRUE(st.meets(c)) << st.describe(row.name(), c);
      }
    }
  }
}

// The same arguments with a NaN, an infinity or a pole beside each (one kind at a time), in
// every slot: each result must be the one it has alone (a lane that takes no part in a method
// must not change how that method treats the others).
template <typename R>
void expect_independent_of_neighbours(const VmRow& row, const Sample<R>& s) {
  using L = std::numeric_limits<R>;
  for (const R beside : {L::quiet_NaN(), -L::infinity(), L::infinity(), R(-7), R(0)}) {
    for (size_t odd = 0; odd < 2; ++odd) {  // the arguments in the even lanes, then the odd ones
      std::vector<R> mixed;
      for (size_t i = 0; i < s.n; ++i) mixed.push_back(odd ? beside : s.a[i]), mixed.push_back(odd ? s.a[i] : beside);
      for (int slot : row.owners()) {
        std::vector<R> together(mixed.size()), alone(1);
        call<R>(row, slot, false, static_cast<int32_t>(mixed.size()), mixed.data(), nullptr, together.data(), nullptr);
        size_t wrong = 0;
        for (size_t i = 0; i < s.n; ++i) {
          call<R>(row, slot, false, 1, &s.a[i], nullptr, alone.data(), nullptr);
          if (together[2 * i + odd] != alone[0] && wrong++ == 0)
            ADD_FAILURE() << row.name() << " slot " << slot << " x = " << s.a[i] << " beside " << beside << ": "
                          << together[2 * i + odd] << ", alone " << alone[0];
        }
        EXPECT_EQ(wrong, 0u) << row.name() << " slot " << slot << " beside " << beside;
      }
    }
  }
}

TEST_P(LGammaNearZeros, DoNotDependOnTheirNeighbours) {
  const int n = GetParam();
  Exact lg;
  expect_independent_of_neighbours(row_named("vdLGamma"), around_zeros<double>(n, lg));
  expect_independent_of_neighbours(row_named("vsLGamma"), around_zeros<float>(n, lg));
}

// TGamma's recurrences count their factors the same way, upward for arguments above 7/4 too.
template <typename R>
Sample<R> gamma_arguments() {
  Sample<R> s;
  for (R x : {R(0.3), R(1.5), R(2.25), R(5.5), R(9.25), R(20.5), R(33.75), R(-0.5), R(-2.5), R(-10.44)})
    s.a.push_back(x), s.b.push_back(x), ++s.n;
  return s;
}

TEST(TGammaBesideSpecials, DoesNotDependOnItsNeighbours) {
  expect_independent_of_neighbours(row_named("vdTGamma"), gamma_arguments<double>());
  expect_independent_of_neighbours(row_named("vsTGamma"), gamma_arguments<float>());
}

INSTANTIATE_TEST_SUITE_P(BetweenPoles, LGammaNearZeros, testing::Range(2, 19),
                         [](const testing::TestParamInfo<int>& i) {
                           return std::string("n").append(std::to_string(i.param));
                         });

}  // namespace
}  // namespace zorp::test
