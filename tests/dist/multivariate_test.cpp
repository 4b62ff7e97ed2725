// The multivariate normal over both precisions, the three storages and dimensions on both sides
// of the small-dimension path (one dimension among them, where it is the Gaussian draw scaled):
// every storage gives x = a + L z for the stream's own normals (the Gaussian generator's own fit
// is tested with the continuous distributions), and the checks refuse at their boundaries.
#include <cmath>
#include <string>
#include <vector>

#include "streams.h"

namespace {

using namespace zorp::test;

// A lower-triangular factor with a positive diagonal and mixed-sign entries below it.
std::vector<double> factor(int d) {
  std::vector<double> l(static_cast<size_t>(d) * d, 0.0);
  for (int i = 0; i < d; ++i)
    for (int j = 0; j <= i; ++j) l[i * d + j] = i == j ? 1.0 + 0.1 * i : 0.3 * std::sin(1.0 + i * 7 + j * 3);
  return l;
}
// The factor in a storage's layout; the full storage's upper part holds values that must not be read.
template <typename T>
std::vector<T> stored(const std::vector<double>& l, int d, int storage) {
  std::vector<T> t;
  if (storage == TARR_MV_FULL) {
    for (int i = 0; i < d; ++i)
      for (int j = 0; j < d; ++j) t.push_back(static_cast<T>(j <= i ? l[i * d + j] : 1e3));
  } else if (storage == TARR_MV_PACKED) {
    for (int j = 0; j < d; ++j)
      for (int i = j; i < d; ++i) t.push_back(static_cast<T>(l[i * d + j]));
  } else {
    for (int i = 0; i < d; ++i) t.push_back(static_cast<T>(l[i * d + i]));
  }
  return t;
}
std::vector<double> diagonal_only(std::vector<double> l, int d) {
  for (int i = 0; i < d; ++i)
    for (int j = 0; j < i; ++j) l[i * d + j] = 0;
  return l;
}

struct Shape {
  int d, storage, method;
};
std::string name(const testing::TestParamInfo<Shape>& i) {
  return "d" + std::to_string(i.param.d) + "_storage" + std::to_string(i.param.storage) + "_method" +
         std::to_string(i.param.method);
}
std::vector<Shape> shapes() {
  std::vector<Shape> v;
  for (int d : {1, 2, 3, 10, 11, 17})
    for (int storage : {TARR_MV_FULL, TARR_MV_PACKED, TARR_MV_DIAGONAL}) v.push_back({d, storage, d % 3});
  return v;
}

template <typename T>
void matches_the_factor_times_the_streams_normals(const Shape& p) {
  const int d = p.d, n = 37;  // not a whole number of the small path's mean blocks
  const std::vector<double> l = p.storage == TARR_MV_DIAGONAL ? diagonal_only(factor(d), d) : factor(d);
  const std::vector<T> t = stored<T>(l, d, p.storage);
  std::vector<T> a(d);
  for (int j = 0; j < d; ++j) a[j] = static_cast<T>(-1 + 0.5 * j);
  Stream s = mt_stream(7);
  Stream copy = s.copy();
  GuardedArray<T> x(static_cast<size_t>(n) * d);
  ASSERT_EQ(GaussianMV(p.method, s, n, x.data(), d, p.storage, a.data(), t.data()), 0);
  std::vector<T> z(static_cast<size_t>(n) * d);
  ASSERT_EQ(Gaussian(p.method, copy, n * d, z.data(), T(0), T(1)), 0);
  const double tol = sizeof(T) == 8 ? 1e-12 : 2e-4;
  for (int v = 0; v < n; ++v)
    for (int i = 0; i < d; ++i) {
      double want = a[i];
      for (int j = 0; j <= i; ++j) want += static_cast<double>(static_cast<T>(l[i * d + j])) * z[v * d + j];
      ASSERT_NEAR(x[v * d + i], want, tol * (1 + std::fabs(want))) << "vector " << v << " coordinate " << i;
    }
}

class Multivariate : public testing::TestWithParam<Shape> {};
TEST_P(Multivariate, IsTheFactorTimesTheStreamsNormals) {
  matches_the_factor_times_the_streams_normals<double>(GetParam());
  matches_the_factor_times_the_streams_normals<float>(GetParam());
}
INSTANTIATE_TEST_SUITE_P(Shapes, Multivariate, testing::ValuesIn(shapes()), name);

TEST(MultivariateChecks, RefusesWhatItCannotDrawAndWritesNothing) {
  Stream s = mt_stream(5);
  const double a[3] = {0, 0, 0}, t[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  GuardedArray<double> x(9);
  for (int i = 0; i < 9; ++i) x[i] = -7;
  struct Bad {
    int32_t n, d, storage, status;
  } const cases[] = {{0, 3, TARR_MV_FULL, 0},        {-1, 3, TARR_MV_FULL, 0},
                     {0, 0, -1, 0},  // a count below one ends the call before the other checks
                     {3, 0, TARR_MV_FULL, TARR_ERROR_BAD_ARGUMENTS}, {3, 3, -1, TARR_ERROR_BAD_ARGUMENTS},
                     {3, 3, 3, TARR_ERROR_BAD_ARGUMENTS}};
  for (const Bad& c : cases) {
    EXPECT_EQ(_tarrdRngGaussianMV(0, s, c.n, x.data(), c.d, c.storage, a, t), c.status)
        << "n " << c.n << " d " << c.d << " storage " << c.storage;
    for (int i = 0; i < 9; ++i) ASSERT_EQ(x[i], -7) << "element " << i;
  }
  // The last accepted storage code draws.
  EXPECT_EQ(_tarrdRngGaussianMV(0, s, 3, x.data(), 3, TARR_MV_DIAGONAL, a, t), 0);
  // An unusable stream is the Gaussian generator's refusal, passed up.
  StreamState bogus{};
  bogus.brng = 0xFFFFFFFFu;  // no row
  EXPECT_EQ(_tarrdRngGaussianMV(0, &bogus, 3, x.data(), 3, TARR_MV_FULL, a, t), TARR_ERROR_INVALID_BRNG);
}

}  // namespace
