// First programs against an installed copy of the library, one per family: an exponential of a
// vector, Gaussian numbers from a Mersenne twister stream, the mean and variance of a small data
// set, and a cubic spline evaluated between its knots. The README quotes them. Vector math and
// random streams go through the checked C++ interface (zorp/zorp.hpp, libzorp_api), as a user
// writes them, and so do statistics; data fitting calls the kernel library's exports, the way a
// program without the interface does. Exits 0 when every answer checks, 77 when this processor cannot run the library.
#include <cmath>
#include <cstdio>
#include <vector>

#include "zorp/df.h"
#include "zorp/zorp.hpp"

namespace {

int failures = 0;
void check(bool ok, const char* what) {
  std::printf("  %-44s %s\n", what, ok ? "ok" : "FAILED");
  failures += !ok;
}

// Vector math: one call over the whole array, accurate slot.
void vector_math() {
  const std::vector<double> x = {0.0, 1.0, -2.0, 0.5};
  std::vector<double> y(x.size());
  zorp::vm::exp(x, y, zorp::vm::accuracy::ha);
  bool ok = true;
  for (size_t i = 0; i < x.size(); ++i) ok = ok && std::fabs(y[i] - std::exp(x[i])) <= 1e-15 * std::exp(x[i]);
  std::printf("exp(1) = %.17g\n", y[1]);
  check(ok, "zorp::vm::exp against std::exp");
}

// Random streams: a Mersenne twister stream, a thousand Gaussian numbers; a deviation of 0 is
// refused with the library's status and message instead of reaching the generator.
void random_streams() {
  zorp::rng::stream stream(zorp::rng::brng::mt19937, 777);
  std::vector<double> g(1000);
  stream.gaussian(g, 0.0, 1.0);
  double mean = 0;
  for (double v : g) mean += v / 1000;
  std::printf("mean of 1000 Gaussian numbers = %.4f\n", mean);
  check(std::fabs(mean) < 0.2, "MT19937 Gaussian numbers, mean near 0");  // 0.2: six deviations
  try {
    stream.gaussian(g, 0.0, 0.0);
    check(false, "a deviation of 0 is refused");
  } catch (const zorp::error& e) {
    std::printf("refused: %s (status %d)\n", e.what(), e.status());
    check(e.status() == TARR_ERROR_BAD_ARGUMENTS, "a deviation of 0 is refused");
  }
}

// Summary statistics: a task over 5 observations of 2 components (observation-major), mean and
// variance in one call (the variance is made from the raw second moment, which needs its array).
void statistics() {
  const std::vector<double> x = {1, 10, 2, 20, 3, 30, 4, 40, 5, 50};
  std::vector<double> mean(2), raw2(2), var(2);
  zorp::ss::task<double> task(x, 2, 5, zorp::ss::layout::by_observation);
  task.mean(mean);
  task.edit(TARR_SS_PARAM_RAW_MOMENT_2, raw2);
  task.variance(var);
  const int32_t status = task.compute(TARR_SS_MEAN | TARR_SS_CENTRAL_MOMENT_2, TARR_SS_METHOD_1PASS);
  std::printf("means %g %g, variances %g %g\n", mean[0], mean[1], var[0], var[1]);
  check(status == 0 && std::fabs(mean[1] - 30) < 1e-12 && std::fabs(var[0] - 2.5) < 1e-12, "mean and variance");
}

// Data fitting: a natural cubic spline (not-a-knot ends) of sin on 50 knots, evaluated at 3 sites.
void data_fitting() {
  double x[50], y[50], coeff[4 * 49];
  for (int i = 0; i < 50; ++i) x[i] = 0.1 * i, y[i] = std::sin(x[i]);
  const double site[3] = {0.55, 2.05, 4.85};
  const int32_t value_only[1] = {1};
  double r[3];
  DFTask* task = nullptr;
  int status = zorp_df_kernel_dNewTask1D(&task, 50, x, DF_NON_UNIFORM_PARTITION, 1, y, DF_NO_HINT, 0);
  if (status == 0)
    status = zorp_df_kernel_dEditPPSpline1D(task, DF_PP_CUBIC, DF_PP_NATURAL, DF_BC_NOT_A_KNOT, nullptr, 0, nullptr,
                                            coeff, DF_NO_HINT);
  if (status == 0) status = zorp_df_kernel_dDFNaturalCubicSpline1D(task, 0, 0, nullptr);
  if (status == 0)
    status = zorp_df_kernel_dDFInterpolate1D(task, DF_INTERP, 0, 3, site, 0, 1, value_only, nullptr, r, 0, nullptr,
                                             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                             nullptr);
  zorp_df_kernel_DeleteTask(&task);
  bool ok = status == 0;
  for (int j = 0; j < 3 && ok; ++j) ok = std::fabs(r[j] - std::sin(site[j])) < 1e-5;
  std::printf("spline(2.05) = %.9f, sin(2.05) = %.9f\n", r[1], std::sin(2.05));
  check(ok, "cubic spline of sin between its knots");
}

}  // namespace

int main() {
  // The interface asks the processor before it loads the kernel library.
  if (const int32_t status = zorp::ready(std::nothrow); status != 0) {
    std::printf("%s\n", zorp_status_message(ZORP_FAMILY_VM, status));
    return 77;
  }
  vector_math();
  random_streams();
  statistics();
  data_fitting();
  std::printf("%s\n", failures ? "FAILED" : "consumer: all checks passed");
  return failures ? 1 : 0;
}
