// Bessel functions: ours (one kernel fills all three slots, so the HA entry stands for it) against
// GSL's gsl_sf_bessel_* and the C library's j0/j1/jn/y0/y1/yn (the only peers that have them: SLEEF and
// libmvec have no Bessel functions), the peers called element by element, at n = 1,024 (in cache)
// and 1,000,000 (memory-bound).
//
//   bench_vm_bessel --benchmark_min_time=0.1 --benchmark_filter=/1024
#include <gsl/gsl_errno.h>
#include <gsl/gsl_sf_bessel.h>

#include <cmath>
#include <string>

#include "vm_bench.h"

namespace {

using vmbench::add;
using vmbench::Kernel;
using vmbench::Range;

// A scalar peer in a plain loop.
template <typename T, typename F>
Kernel<T> loop(F f) {
  return [f](int32_t n, const T* a, const T*, T* r, T*) {
    for (int32_t i = 0; i < n; ++i) r[i] = static_cast<T>(f(a[i]));
  };
}

#define OURS(t, F, rg) add<VMBENCH_T_##t>(#t #F, "zorp", vmbench::one(_fenn##t##F##_HA), rg);

void register_all() {
  gsl_set_error_handler_off();
  using vmbench::log_spaced;
  const Range i_s = log_spaced(1e-3, 88), i_d = log_spaced(1e-3, 700), j_r = log_spaced(1e-3, 1e3);
  OURS(s, I0, i_s)
  add<float>("sI0", "gsl", loop<float>([](float x) { return gsl_sf_bessel_I0(x); }), i_s);
  OURS(d, I0, i_d)
  add<double>("dI0", "gsl", loop<double>([](double x) { return gsl_sf_bessel_I0(x); }), i_d);
  OURS(s, I1, i_s)
  add<float>("sI1", "gsl", loop<float>([](float x) { return gsl_sf_bessel_I1(x); }), i_s);
  OURS(d, I1, i_d)
  add<double>("dI1", "gsl", loop<double>([](double x) { return gsl_sf_bessel_I1(x); }), i_d);
  OURS(s, J0, j_r)
  add<float>("sJ0", "gsl", loop<float>([](float x) { return gsl_sf_bessel_J0(x); }), j_r);
  add<float>("sJ0", "libm", loop<float>([](float x) { return j0f(x); }), j_r);
  OURS(d, J0, j_r)
  add<double>("dJ0", "gsl", loop<double>([](double x) { return gsl_sf_bessel_J0(x); }), j_r);
  add<double>("dJ0", "libm", loop<double>([](double x) { return j0(x); }), j_r);
  OURS(s, J1, j_r)
  add<float>("sJ1", "gsl", loop<float>([](float x) { return gsl_sf_bessel_J1(x); }), j_r);
  add<float>("sJ1", "libm", loop<float>([](float x) { return j1f(x); }), j_r);
  OURS(d, J1, j_r)
  add<double>("dJ1", "gsl", loop<double>([](double x) { return gsl_sf_bessel_J1(x); }), j_r);
  add<double>("dJ1", "libm", loop<double>([](double x) { return j1(x); }), j_r);
  // Jn at orders 5 and 100 over the same range: the order fixes the work (recurrences of about
  // max(n, |x|) steps below twice the order, n steps beyond).
  for (int order : {5, 100}) {
    const std::string s = "sJn(" + std::to_string(order) + ")", d = "dJn(" + std::to_string(order) + ")";
    add<float>(s.c_str(), "zorp", vmbench::scalar<float>(_fennsJn_HA, float(order)), j_r);
    add<float>(s.c_str(), "gsl", loop<float>([order](float x) { return gsl_sf_bessel_Jn(order, x); }), j_r);
    add<float>(s.c_str(), "libm", loop<float>([order](float x) { return jnf(order, x); }), j_r);
    add<double>(d.c_str(), "zorp", vmbench::scalar<double>(_fenndJn_HA, double(order)), j_r);
    add<double>(d.c_str(), "gsl", loop<double>([order](double x) { return gsl_sf_bessel_Jn(order, x); }), j_r);
    add<double>(d.c_str(), "libm", loop<double>([order](double x) { return jn(order, x); }), j_r);
  }
  OURS(s, Y0, j_r)
  add<float>("sY0", "gsl", loop<float>([](float x) { return gsl_sf_bessel_Y0(x); }), j_r);
  add<float>("sY0", "libm", loop<float>([](float x) { return y0f(x); }), j_r);
  OURS(d, Y0, j_r)
  add<double>("dY0", "gsl", loop<double>([](double x) { return gsl_sf_bessel_Y0(x); }), j_r);
  add<double>("dY0", "libm", loop<double>([](double x) { return y0(x); }), j_r);
  OURS(s, Y1, j_r)
  add<float>("sY1", "gsl", loop<float>([](float x) { return gsl_sf_bessel_Y1(x); }), j_r);
  add<float>("sY1", "libm", loop<float>([](float x) { return y1f(x); }), j_r);
  OURS(d, Y1, j_r)
  add<double>("dY1", "gsl", loop<double>([](double x) { return gsl_sf_bessel_Y1(x); }), j_r);
  add<double>("dY1", "libm", loop<double>([](double x) { return y1(x); }), j_r);
  // Yn at order 5: four steps of the recurrence after Y0 and Y1.
  add<float>("sYn(5)", "zorp", vmbench::scalar<float>(_fennsYn_HA, 5.0f), j_r);
  add<float>("sYn(5)", "gsl", loop<float>([](float x) { return gsl_sf_bessel_Yn(5, x); }), j_r);
  add<float>("sYn(5)", "libm", loop<float>([](float x) { return ynf(5, x); }), j_r);
  add<double>("dYn(5)", "zorp", vmbench::scalar<double>(_fenndYn_HA, 5.0), j_r);
  add<double>("dYn(5)", "gsl", loop<double>([](double x) { return gsl_sf_bessel_Yn(5, x); }), j_r);
  add<double>("dYn(5)", "libm", loop<double>([](double x) { return yn(5, x); }), j_r);
}

}  // namespace

int main(int argc, char** argv) { return vmbench::main(argc, argv, register_all); }
