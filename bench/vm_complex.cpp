// Complex functions against a loop over the C library's cexp, clog, clog10, cpow (glibc) and one
// over std::complex, all in one run, at n = 1,024 and 1,000,000 parts (512 and 500,000 elements).
// Real and imaginary parts are drawn from the same range; Powx raises every element to
// 0.75 - 1.25i.
//
//   bench_vm_complex --benchmark_min_time=0.1 --benchmark_filter=/1024
#include <complex>

extern "C" {
__complex__ float clog10f(__complex__ float);
__complex__ double clog10(__complex__ double);
}

#include "vm_bench.h"

namespace {

using vmbench::add;
using vmbench::Kernel;
using vmbench::Range;
using vmbench::uniform;

template <typename T>
using C = std::conditional_t<std::is_same_v<T, float>, ZorpComplex8, ZorpComplex16>;
template <typename T>
using Builtin = std::conditional_t<std::is_same_v<T, float>, __complex__ float, __complex__ double>;

// The benchmark's arrays hold parts; a kernel sees n/2 complex elements.
template <typename T>
Kernel<T> ours(void (*f)(int32_t, const C<T>*, C<T>*)) {
  return [f](int32_t n, const T* a, const T*, T* r, T*) {
    f(n / 2, reinterpret_cast<const C<T>*>(a), reinterpret_cast<C<T>*>(r));
  };
}

// The C library's function, one element per call (the builtins compile to the calls).
template <typename T>
Kernel<T> libc(Builtin<T> (*f)(Builtin<T>)) {
  return [f](int32_t n, const T* a, const T*, T* r, T*) {
    const auto* x = reinterpret_cast<const Builtin<T>*>(a);
    auto* y = reinterpret_cast<Builtin<T>*>(r);
    for (int32_t i = 0; i < n / 2; ++i) y[i] = f(x[i]);
  };
}

template <typename T>
Kernel<T> stdc(std::complex<T> (*f)(const std::complex<T>&)) {
  return [f](int32_t n, const T* a, const T*, T* r, T*) {
    const auto* x = reinterpret_cast<const std::complex<T>*>(a);
    auto* y = reinterpret_cast<std::complex<T>*>(r);
    for (int32_t i = 0; i < n / 2; ++i) y[i] = f(x[i]);
  };
}

// Two arguments (Pow), and one with a fixed exponent (Powx: by value for c, by reference for z).
template <typename T>
Kernel<T> ours(void (*f)(int32_t, const C<T>*, const C<T>*, C<T>*)) {
  return [f](int32_t n, const T* a, const T* b, T* r, T*) {
    f(n / 2, reinterpret_cast<const C<T>*>(a), reinterpret_cast<const C<T>*>(b), reinterpret_cast<C<T>*>(r));
  };
}
constexpr double kExponentRe = 0.75, kExponentIm = -1.25;
inline Kernel<float> ours_x(void (*f)(int32_t, const ZorpComplex8*, ZorpComplex8, ZorpComplex8*)) {
  return [f](int32_t n, const float* a, const float*, float* r, float*) {
    f(n / 2, reinterpret_cast<const ZorpComplex8*>(a), ZorpComplex8{float(kExponentRe), float(kExponentIm)},
      reinterpret_cast<ZorpComplex8*>(r));
  };
}
inline Kernel<double> ours_x(void (*f)(int32_t, const ZorpComplex16*, const ZorpComplex16*, ZorpComplex16*)) {
  return [f](int32_t n, const double* a, const double*, double* r, double*) {
    const ZorpComplex16 b{kExponentRe, kExponentIm};
    f(n / 2, reinterpret_cast<const ZorpComplex16*>(a), &b, reinterpret_cast<ZorpComplex16*>(r));
  };
}
template <typename T, bool kFixed>
Kernel<T> libc_pow() {
  return [](int32_t n, const T* a, const T* b, T* r, T*) {
    const auto* x = reinterpret_cast<const Builtin<T>*>(a);
    const auto* y = reinterpret_cast<const Builtin<T>*>(b);
    auto* z = reinterpret_cast<Builtin<T>*>(r);
    Builtin<T> e;
    __real__ e = T(kExponentRe), __imag__ e = T(kExponentIm);
    for (int32_t i = 0; i < n / 2; ++i) {
      if constexpr (std::is_same_v<T, float>) z[i] = __builtin_cpowf(x[i], kFixed ? e : y[i]);
      else z[i] = __builtin_cpow(x[i], kFixed ? e : y[i]);
    }
  };
}
template <typename T, bool kFixed>
Kernel<T> std_pow() {
  return [](int32_t n, const T* a, const T* b, T* r, T*) {
    const auto* x = reinterpret_cast<const std::complex<T>*>(a);
    const auto* y = reinterpret_cast<const std::complex<T>*>(b);
    auto* z = reinterpret_cast<std::complex<T>*>(r);
    const std::complex<T> e{T(kExponentRe), T(kExponentIm)};
    for (int32_t i = 0; i < n / 2; ++i) z[i] = std::pow(x[i], kFixed ? e : y[i]);
  };
}

__complex__ float c_exp(__complex__ float z) { return __builtin_cexpf(z); }
__complex__ double z_exp(__complex__ double z) { return __builtin_cexp(z); }
__complex__ float c_log(__complex__ float z) { return __builtin_clogf(z); }
__complex__ double z_log(__complex__ double z) { return __builtin_clog(z); }
__complex__ float c_log10(__complex__ float z) { return clog10f(z); }
__complex__ double z_log10(__complex__ double z) { return clog10(z); }
#define LIBC_PAIR(fn)                                                               \
  __complex__ float c_##fn(__complex__ float z) { return __builtin_c##fn##f(z); } \
  __complex__ double z_##fn(__complex__ double z) { return __builtin_c##fn(z); }
LIBC_PAIR(sinh)
LIBC_PAIR(cosh)
LIBC_PAIR(sin)
LIBC_PAIR(cos)
LIBC_PAIR(tanh)
LIBC_PAIR(tan)
template <typename T>
std::complex<T> std_exp(const std::complex<T>& z) {
  return std::exp(z);
}
template <typename T>
std::complex<T> std_log(const std::complex<T>& z) {
  return std::log(z);
}
template <typename T>
std::complex<T> std_log10(const std::complex<T>& z) {
  return std::log10(z);
}

#define STD_FN(fn)                                  \
  template <typename T>                             \
  std::complex<T> std_##fn(const std::complex<T>& z) { \
    return std::fn(z);                              \
  }
STD_FN(sinh)
STD_FN(cosh)
STD_FN(sin)
STD_FN(cos)
STD_FN(tanh)
STD_FN(tan)

#define OURS(t, F, rg)                                                                                         \
  add<VMBENCH_T_##t>(#t #F, "zorp_LA", ours<VMBENCH_T_##t>(ZORP_VM_CAT3(_fenn, t##F, ZORP_VM_LA_##t)), rg); \
  add<VMBENCH_T_##t>(#t #F, "zorp_HA", ours<VMBENCH_T_##t>(ZORP_VM_CAT3(_fenn, t##F, _HA)), rg);            \
  add<VMBENCH_T_##t>(#t #F, "zorp_EP", ours<VMBENCH_T_##t>(ZORP_VM_CAT3(_fenn, t##F, ZORP_VM_EP_##t)), rg);
#define VMBENCH_T_c float
#define VMBENCH_T_z double

#define PEERS(F, fn, rg)                                                 \
  OURS(c, F, rg)                                                         \
  add<float>("c" #F, "glibc", libc<float>(c_##fn), rg);                  \
  add<float>("c" #F, "std_complex", stdc<float>(std_##fn<float>), rg);    \
  OURS(z, F, rg)                                                         \
  add<double>("z" #F, "glibc", libc<double>(z_##fn), rg);                \
  add<double>("z" #F, "std_complex", stdc<double>(std_##fn<double>), rg);

#define POWERS(t, T)                                                                                     \
  OURS(t, Pow, pow_r)                                                                                    \
  add<T>(#t "Pow", "glibc", libc_pow<T, false>(), pow_r);                                                 \
  add<T>(#t "Pow", "std_complex", std_pow<T, false>(), pow_r);                                            \
  add<T>(#t "Powx", "zorp_LA", ours_x(ZORP_VM_CAT3(_fenn, t##Powx, ZORP_VM_LA_##t)), pow_r);             \
  add<T>(#t "Powx", "zorp_HA", ours_x(ZORP_VM_CAT3(_fenn, t##Powx, _HA)), pow_r);                        \
  add<T>(#t "Powx", "zorp_EP", ours_x(ZORP_VM_CAT3(_fenn, t##Powx, ZORP_VM_EP_##t)), pow_r);             \
  add<T>(#t "Powx", "glibc", libc_pow<T, true>(), pow_r);                                                 \
  add<T>(#t "Powx", "std_complex", std_pow<T, true>(), pow_r);

void register_all() {
  const Range pow_r{{-4, 4, false}, {-2, 2, false}, ""};
  POWERS(c, float)
  POWERS(z, double)
  const Range exp_r = uniform(-20, 20), log_r = uniform(-100, 100);
  PEERS(Exp, exp, exp_r)
  PEERS(Ln, log, log_r)
  PEERS(Log10, log10, log_r)
  PEERS(Sinh, sinh, exp_r)
  PEERS(Cosh, cosh, exp_r)
  PEERS(Sin, sin, exp_r)
  PEERS(Cos, cos, exp_r)
  PEERS(Tanh, tanh, exp_r)
  PEERS(Tan, tan, exp_r)
}

}  // namespace

int main(int argc, char** argv) { return vmbench::main(argc, argv, register_all); }
