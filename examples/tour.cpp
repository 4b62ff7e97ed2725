// The tour: loads the kernel library as a host does (dlopen by file name, every entry found by
// dlsym by name), shows what this processor and thread get, and runs one request of every
// family that exists, checking each answer and printing its speed.
#include <dlfcn.h>
#include <x86intrin.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

template <typename Fn>
Fn find(void* lib, const char* name) {
  return reinterpret_cast<Fn>(dlsym(lib, name));
}

// Cycles per element of `fn` over n elements: the best of a few runs, after a warm-up.
template <typename F>
double cycles_per_element(size_t n, F fn) {
  fn();
  uint64_t best = ~uint64_t{0};
  for (int rep = 0; rep < 7; ++rep) {
    const uint64_t t0 = __rdtsc();
    fn();
    const uint64_t t = __rdtsc() - t0;
    if (t < best) best = t;
  }
  return static_cast<double>(best) / static_cast<double>(n);
}

int g_failures = 0;
void check(bool ok, const char* what) {
  std::printf("  %-58s %s\n", what, ok ? "ok" : "FAILED");
  if (!ok) ++g_failures;
}

void tour_platform(void* lib) {
  std::printf("Library and thread\n");
  auto cpu = find<int32_t (*)()>(lib, "dll_cpu_version");
  auto get_mode = find<uint32_t (*)()>(lib, "_fennGetMode");
  auto index = find<uint32_t (*)()>(lib, "zorp_fenn_kernel_GetTTableIndex");
  if (!cpu || !get_mode || !index) {
    check(false, "service entries found");
    return;
  }
  std::printf("  processor level served: %d\n", cpu());
  std::printf("  this thread's mode word: 0x%X (table slot %u)\n", get_mode(), index());
}

struct VmCase {
  const char* name;  // entry name
  bool is_double;
};

void tour_vector_math(void* lib) {
  std::printf("Vector math (n = 1,000,000 per call)\n");
  const VmCase cases[] = {{"_fennsAbs", false}, {"_fenndAbs", true}};
  const size_t n = 1000000;
  std::vector<float> af(n), rf(n);
  std::vector<double> ad(n), rd(n);
  for (size_t i = 0; i < n; ++i) {
    af[i] = static_cast<float>(std::sin(double(i))) * 100.0f;
    ad[i] = std::cos(double(i)) * 1e10;
  }
  for (const VmCase& c : cases) {
    void* entry = dlsym(lib, c.name);
    if (!entry) {
      std::printf("  %-20s not present\n", c.name);
      continue;
    }
    bool ok = true;
    double cpe;
    if (c.is_double) {
      auto fn = reinterpret_cast<void (*)(int32_t, const double*, double*)>(entry);
      cpe = cycles_per_element(n, [&] { fn(static_cast<int32_t>(n), ad.data(), rd.data()); });
      for (size_t i = 0; i < n; ++i) ok &= rd[i] == std::fabs(ad[i]);
    } else {
      auto fn = reinterpret_cast<void (*)(int32_t, const float*, float*)>(entry);
      cpe = cycles_per_element(n, [&] { fn(static_cast<int32_t>(n), af.data(), rf.data()); });
      for (size_t i = 0; i < n; ++i) ok &= rf[i] == std::fabs(af[i]);
    }
    std::printf("  %-20s %6.3f cycles/element  ", c.name, cpe);
    std::printf("%s\n", ok ? "results ok" : "results WRONG");
    if (!ok) ++g_failures;
  }
  // The two-argument shape: adding the data to itself doubles it exactly.
  if (void* entry = dlsym(lib, "_fenndAdd")) {
    auto fn = reinterpret_cast<void (*)(int32_t, const double*, const double*, double*)>(entry);
    const double cpe = cycles_per_element(n, [&] { fn(static_cast<int32_t>(n), ad.data(), ad.data(), rd.data()); });
    bool ok = true;
    for (size_t i = 0; i < n; ++i) ok &= rd[i] == 2 * ad[i];
    std::printf("  %-20s %6.3f cycles/element  %s\n", "_fenndAdd", cpe, ok ? "results ok" : "results WRONG");
    if (!ok) ++g_failures;
  }
}

}  // namespace

// Each family's request lives beside the family's code and is compiled in when present.
#if __has_include("tour_vm_explog.inc")
#include "tour_vm_explog.inc"
#define ZORP_TOUR_EXPLOG 1
#endif
#if __has_include("tour_vm_power.inc")
#include "tour_vm_power.inc"
#define ZORP_TOUR_POWER 1
#endif
#if __has_include("tour_vm_trig.inc")
#include "tour_vm_trig.inc"
#define ZORP_TOUR_TRIG 1
#endif
#if __has_include("tour_rng.inc")
#include "tour_rng.inc"
#define ZORP_TOUR_RNG 1
#endif
#if __has_include("tour_dist.inc")
#include "tour_dist.inc"
#define ZORP_TOUR_DIST 1
#endif
#if __has_include("tour_ss.inc")
#include "tour_ss.inc"
#define ZORP_TOUR_SS 1
#endif
#if __has_include("tour_df.inc")
#include "tour_df.inc"
#define ZORP_TOUR_DF 1
#endif

int main(int argc, char** argv) {
  const std::string path =
      argc > 1 ? argv[1] : std::string(ZORP_LIB_DIR) + "/" ZORP_KERNEL_FILE;
  // A host loads this library only on a processor with what its kernels use (loading it runs
  // AVX-512 code already); the tour asks the same question first. 77: not applicable here.
#if defined(ZORP_EMULATE_AVX512)
  // The emulated build runs anywhere with AVX2; its results are the library's, its times are not.
  std::printf("EMULATED BUILD: the AVX-512 instructions run as AVX2 emulation on this processor.\n"
              "Every result below is checked as usual; the speeds printed are the emulation's and say\n"
              "nothing of the library on an AVX-512 processor.\n\n");
#else
  __builtin_cpu_init();
  if (!(__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
        __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl"))) {
    std::fprintf(stderr, "This processor lacks AVX-512 F, DQ, BW or VL: a host would not load %s here, "
                         "and the tour does not either.\n", path.c_str());
    return 77;
  }
#endif
  void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    std::fprintf(stderr, "cannot load %s: %s\n", path.c_str(), dlerror());
    return 1;
  }
  std::printf("Loaded %s\n\n", path.c_str());
  tour_platform(lib);
  tour_vector_math(lib);
#ifdef ZORP_TOUR_EXPLOG
  if (!tour_explog(lib)) ++g_failures;
#endif
#ifdef ZORP_TOUR_POWER
  if (!tour_power(lib)) ++g_failures;
#endif
#ifdef ZORP_TOUR_TRIG
  if (!tour_trig(lib)) ++g_failures;
#endif
#ifdef ZORP_TOUR_RNG
  if (!tour_rng(lib)) ++g_failures;
#endif
#ifdef ZORP_TOUR_DIST
  if (!tour_dist(lib)) ++g_failures;
#endif
#ifdef ZORP_TOUR_SS
  if (!tour_ss(lib)) ++g_failures;
#endif
#ifdef ZORP_TOUR_DF
  if (!tour_df(lib)) ++g_failures;
#endif
  dlclose(lib);
  std::printf("\n%s\n", g_failures ? "Some checks FAILED." : "All checks passed.");
  return g_failures ? 1 : 0;
}
