// Complex inverse trigonometric and hyperbolic functions (one kernel for all slots) against a
// loop over glibc's casin/cacos/catan/casinh/cacosh/catanh and one over std::complex, in one
// run, at n = 1,024 and 1,000,000 complex elements (counters per element), both parts uniform
// in [-2, 2], where every region of the functions is visited.
//
//   bench_vm_complex_inverse --benchmark_min_time=0.1 --benchmark_filter=/1024
#include <complex>

#include "vm_bench.h"

// glibc's C99 functions, declared here: C++'s <complex.h> gives std::complex instead.
extern "C" {
#define C99(fn) float _Complex c##fn##f(float _Complex); double _Complex c##fn(double _Complex);
C99(asin) C99(acos) C99(atan) C99(asinh) C99(acosh) C99(atanh)
#undef C99
}

namespace {

using vmbench::add;

template <typename T>
using Cx = std::conditional_t<std::is_same_v<T, float>, ZorpComplex8, ZorpComplex16>;

// Our kernel on n complex elements, which are pairs of T.
template <typename T>
vmbench::Kernel<T> ours(void (*f)(int32_t, const Cx<T>*, Cx<T>*)) {
  return [f](int32_t n, const T* a, const T*, T* r, T*) {
    f(n, reinterpret_cast<const Cx<T>*>(a), reinterpret_cast<Cx<T>*>(r));
  };
}
// An element loop over a scalar complex function of C or C++.
template <typename T, typename C>
vmbench::Kernel<T> loop(C (*f)(C)) {
  return [f](int32_t n, const T* a, const T*, T* r, T*) {
    const C* in = reinterpret_cast<const C*>(a);
    C* out = reinterpret_cast<C*>(r);
    for (int32_t i = 0; i < n; ++i) out[i] = f(in[i]);
  };
}
#define ROW(F, cf, sf)                                                                                     \
  add<float, 2>("c" #F, "zorp", ours<float>(_fennc##F), rg);                                                \
  add<float, 2>("c" #F, "glibc", loop<float, float _Complex>(c##cf##f), rg);                                \
  add<float, 2>("c" #F, "std_complex", [](int32_t n, const float* a, const float*, float* r, float*) {      \
    auto in = reinterpret_cast<const std::complex<float>*>(a);                                               \
    auto out = reinterpret_cast<std::complex<float>*>(r);                                                    \
    for (int32_t i = 0; i < n; ++i) out[i] = std::sf(in[i]);                                                 \
  }, rg);                                                                                                   \
  add<double, 2>("z" #F, "zorp", ours<double>(_fennz##F), rg);                                              \
  add<double, 2>("z" #F, "glibc", loop<double, double _Complex>(c##cf), rg);                                \
  add<double, 2>("z" #F, "std_complex", [](int32_t n, const double* a, const double*, double* r, double*) { \
    auto in = reinterpret_cast<const std::complex<double>*>(a);                                              \
    auto out = reinterpret_cast<std::complex<double>*>(r);                                                   \
    for (int32_t i = 0; i < n; ++i) out[i] = std::sf(in[i]);                                                 \
  }, rg);

void register_all() {
  const vmbench::Range rg = vmbench::uniform(-2, 2);
  ROW(Asin, asin, asin)
  ROW(Acos, acos, acos)
  ROW(Atan, atan, atan)
  ROW(Asinh, asinh, asinh)
  ROW(Acosh, acosh, acosh)
  ROW(Atanh, atanh, atanh)
}

}  // namespace

int main(int argc, char** argv) { return vmbench::main(argc, argv, register_all); }
