// A first program against the installed library: an exponential of a vector in the accurate
// slot, a thousand uniforms from a Mersenne twister stream, and their mean. It links the kernel
// library directly; a host would load it by name instead. Exits 0 when both answers check.
#include <cmath>
#include <cstdio>

#include "zorp/rng.h"
#include "zorp/vm_functions.h"

int main() {
  const double x[4] = {0.0, 1.0, -2.0, 0.5};
  double y[4];
  _fenndExp_HA(4, x, y);
  int failures = 0;
  for (int i = 0; i < 4; ++i) {
    std::printf("exp(%g) = %.17g\n", x[i], y[i]);
    if (std::fabs(y[i] - std::exp(x[i])) > 1e-15 * std::exp(x[i])) ++failures;
  }

  StreamState* stream = nullptr;
  const uint32_t seed = 777;
  if (__tarrNewStreamEx(&stream, TARR_BRNG_MT19937, 1, &seed) != 0) return 1;
  double u[1000];
  const int status = __tarrdBRngMT19937(stream, 1000, u, 0.0, 1.0);
  __tarrDeleteStream(&stream);
  double mean = 0;
  for (double v : u) mean += v / 1000;
  std::printf("MT19937: status %d, mean of 1000 uniforms on [0, 1) = %.4f\n", status, mean);
  if (status != 0 || std::fabs(mean - 0.5) > 0.05) ++failures;  // 0.05 is over five deviations

  std::printf("%s\n", failures ? "FAILED" : "consumer: all checks passed");
  return failures ? 1 : 0;
}
