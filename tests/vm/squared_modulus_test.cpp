// The squared modulus of the complex logarithms and power (vm/kernels/complex/polar.h) against
// MPFR: within 2^-20 of the unit circle it must give |z|^2 = 1 + head + c with head + c the
// exact x^2 + y^2 - 1 (to 2^-100 of itself) as a normalised pair, elsewhere w + c within 2^-100
// of |z|^2, both scaled by 2^extra. The elements are those where the difference cancels: the
// rounded points of the circle's rational points and of angles next to the axes and diagonals
// with their neighbours, parts whose rounding errors cancel in it, a smaller part next to and
// below 2^-26 (its square on a grid finer than the larger part's, the plain sums' hardest case),
// single-precision parts, the edge of the band, and elements scaled by 2^+-600.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "vm/kernels/complex/polar.h"

namespace {

using zorp::vm::polar::kNearCircle;

struct Case {
  double x, y;
  const char* kind;
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.kind << " " << std::hexfloat << c.x << ", " << c.y; }

double step(double v, int k) {
  for (; k > 0; --k) v = std::nextafter(v, INFINITY);
  for (; k < 0; ++k) v = std::nextafter(v, -INFINITY);
  return v;
}

// (x, y) and its neighbours up to two ulps in either part, with the parts' signs and order
// varied along the list.
void around(std::vector<Case>& c, double x, double y, const char* kind) {
  int turn = 0;
  for (int i = -2; i <= 2; ++i)
    for (int k = -2; k <= 2; ++k, ++turn) {
      const double a = step(x, i) * (turn & 1 ? -1 : 1), b = step(y, k) * (turn & 2 ? -1 : 1);
      c.push_back(turn & 4 ? Case{b, a, kind} : Case{a, b, kind});
    }
}

std::vector<Case> cases() {
  std::vector<Case> c;
  c.push_back({-0.48175213936439149, 0.87630752377109711, "reported"});
  const std::pair<int, int> euclid[] = {{2, 1}, {3, 2}, {4, 1}, {5, 2}, {4, 3}, {7, 6}, {99, 70}, {1000, 999}, {4001, 3}};
  for (auto [m, j] : euclid)
    around(c, double(m * m - j * j) / (m * m + j * j), 2.0 * m * j / (m * m + j * j), "rational point");
  const double pi = 3.14159265358979323846;
  for (int k = 1; k <= 60; k += 3) {
    const double t = std::ldexp(1.0, -k);
    around(c, std::cos(t), std::sin(t), "next to an axis");
    around(c, std::cos(pi / 4 + t), std::sin(pi / 4 + t), "next to a diagonal");
  }
  for (int k = 1; k < 16; ++k) around(c, std::cos(k * pi / 32), std::sin(k * pi / 32), "angle");
  // of 64 neighbours of a point, the one whose |z|^2 - 1 cancels furthest (an ulp's 2^-8 or so)
  for (int k = 1; k < 40; ++k) {
    double best_x = 0, best_y = 0, best = 1;
    for (int i = 0; i < 64; ++i) {
      const double x = step(std::cos(0.0123 * k), i), y = std::sqrt(std::fma(-x, x, 1.0));
      const double p = x * x, q = y * y, gap = std::fabs((p - 1 + q) + std::fma(x, x, -p) + std::fma(y, y, -q));
      if (gap != 0 && gap < best) best = gap, best_x = x, best_y = y;
    }
    c.push_back({best_x, best_y, "cancelling rounding errors"});
  }
  // x one to three ulps below 1, y^2 next to the 2^-52 k that x^2 lacks
  for (int k = 1; k <= 3; ++k) {
    const double x = step(1.0, -k), y = std::sqrt(k * 0x1p-52);
    for (int i = -3; i <= 3; ++i) c.push_back({x, step(y, i), "small part next to 2^-26"});
  }
  for (int k : {27, 30, 40, 53, 60, 200, 500}) c.push_back({1.0, std::ldexp(1.5, -k), "x = 1, small y"});
  c.push_back({1.0, 0.0, "on the circle"});
  c.push_back({0.0, -1.0, "on the circle"});
  for (int k = 1; k < 8; ++k) {
    const float x = std::cos(float(k) * 0.2f), y = std::sin(float(k) * 0.2f);
    for (float v : {std::nextafter(x, 0.0f), x, std::nextafter(x, 2.0f)}) c.push_back({v, y, "single parts"});
  }
  // |z|^2 - 1 next to the band's edge, on both sides and both ways
  for (double f : {0x1p-21 * (1 - 0x1p-12), 0x1p-21 * (1 + 0x1p-12), 0x1p-22, 0x1p-19})
    for (double s : {1.0, -1.0}) c.push_back({0.6 * (1 + s * f), 0.8 * (1 + s * f), "band edge"});
  // parts beyond 2^+-500 are scaled by 2^-extra/2 first, the larger into [1, 2)
  for (double k : {0x1p600, 0x1p-600}) {
    c.push_back({k, k * 0x1p-30, "scaled"});
    c.push_back({step(k, 1), k * 0x1p-20, "scaled"});
    c.push_back({0.6 * k, 0.8 * k, "scaled"});
  }
  return c;
}

// The lane's outcome checked against x^2 + y^2 computed exactly: the error of what it stands
// for, relative to |z|^2 - 1 near the circle and to |z|^2 elsewhere (all scaled by 2^-extra).
std::string check(double x, double y, double w, double head, double c, double extra) {
  constexpr mpfr_prec_t kBits = 2600;  // exact: the squares' exponents lie within 2200 of each other
  mpfr_t s, t, d, err;
  mpfr_inits2(kBits, s, t, d, err, static_cast<mpfr_ptr>(nullptr));
  mpfr_set_d(s, x, MPFR_RNDN);
  mpfr_sqr(s, s, MPFR_RNDN);
  mpfr_set_d(t, y, MPFR_RNDN);
  mpfr_sqr(t, t, MPFR_RNDN);
  mpfr_add(s, s, t, MPFR_RNDN);
  mpfr_div_2si(s, s, static_cast<long>(extra), MPFR_RNDN);  // |z|^2 2^-extra
  mpfr_sub_ui(d, s, 1, MPFR_RNDN);                         // its distance from 1
  mpfr_set_d(err, w, MPFR_RNDN);
  mpfr_add_d(err, err, head, MPFR_RNDN);
  mpfr_add_d(err, err, c, MPFR_RNDN);
  mpfr_sub(err, err, s, MPFR_RNDN);
  mpfr_abs(err, err, MPFR_RNDN);
  const double gap = std::fabs(mpfr_get_d(d, MPFR_RNDN));
  const bool inside = gap < kNearCircle, edge = std::fabs(gap - kNearCircle) < kNearCircle * 0x1p-40;
  if (!mpfr_zero_p(err)) mpfr_div(err, err, inside ? d : s, MPFR_RNDN);  // d is not zero then
  const double relative = std::fabs(mpfr_get_d(err, MPFR_RNDN));
  mpfr_clears(s, t, d, err, static_cast<mpfr_ptr>(nullptr));
  char b[200];
  std::snprintf(b, sizeof b, "|z|^2 2^-extra - 1 = %a; w %a, head %a, c %a, extra %g, relative error %a: ", gap, w,
                head, c, extra, relative);
  const std::string at = b;
  if (edge) return "";  // either way is right
  if (inside) {
    if (w != 1) return at + "not carried as 1 + d";
    if (relative > 0x1p-100) return at + "head + c is not |z|^2 - 1";
    // On the circle itself head is 0 (ilogb would give INT_MIN) and so must c be.
    const double half_ulp = head == 0 ? 0 : std::ldexp(0.5, std::ilogb(head) - 52);
    if (std::fabs(c) > half_ulp) return at + "c beyond half an ulp of head";
  } else {
    if (head != 0) return at + "a head away from the circle";
    if (relative > 0x1p-100) return at + "w + c is not |z|^2";
  }
  return "";
}

class SquaredModulus : public testing::TestWithParam<Case> {};

// Each element in one lane and the other lanes filled with the neighbouring elements, so that
// the lanes of one register take different branches.
TEST_P(SquaredModulus, NearTheCircleTheDistanceIsExact) {
  static const std::vector<Case> all = cases();
  const Case& e = GetParam();
  alignas(64) double xs[8], ys[8], w[8], head[8], c[8], extra[8];
  size_t at = 0;
  while (all[at].x != e.x || all[at].y != e.y) ++at;
  for (int i = 0; i < 8; ++i) xs[i] = all[(at + i) % all.size()].x, ys[i] = all[(at + i) % all.size()].y;
  using namespace zorp::simd;
  const auto m = zorp::vm::polar::squared_modulus(load(xs), load(ys));
  store(w, m.w), store(head, m.head), store(c, m.c), store(extra, m.extra);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(check(xs[i], ys[i], w[i], head[i], c[i], extra[i]), "") << xs[i] << " " << ys[i];
}

INSTANTIATE_TEST_SUITE_P(Elements, SquaredModulus, testing::ValuesIn(cases()));

}  // namespace
