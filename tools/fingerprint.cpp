// Fingerprint of every built vector-math kernel: one 64-bit hash per (function, slot, storage
// form) of everything a call leaves behind on a fixed set of arguments: the result arrays (the
// whole buffer, so a write outside the stride shows), and every reported element (index,
// status and the record's values) seen by an error callback. Two builds whose listings agree
// computed the same bits; a restructuring of the kernels is checked by diffing the listings of
// the library before and after.
//   fingerprint [library-path]   (default: the library found beside the tool, by its soname)
#include <dlfcn.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "zorp/vm.h"
#include "zorp/vm_functions.h"

namespace {

constexpr int kN = 1029;  // a few main-loop blocks and an odd remainder

struct Hash {
  uint64_t h = 1469598103934665603ull;
  void add(const void* p, size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    for (size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;
  }
  template <typename T>
  void add(const T& v) {
    add(&v, sizeof v);
  }
};

Hash g_reports;
int32_t record_callback(ZorpVmErrorRecord* r) {
  g_reports.add(r->status);
  g_reports.add(r->index);
  g_reports.add(r->arg1);
  g_reports.add(r->arg2);
  g_reports.add(r->res1);
  g_reports.add(r->res2);
  g_reports.add(r->arg1_im);
  g_reports.add(r->res1_im);
  return 0;
}

// Arguments of one real precision: special values, then bit patterns of the whole range, then
// moderate values where most functions do their ordinary work.
template <typename R>
std::vector<R> arguments(uint32_t seed) {
  using L = std::numeric_limits<R>;
  std::vector<R> v = {R(0), -R(0), L::infinity(), -L::infinity(), L::quiet_NaN(), -L::quiet_NaN(),
                      L::signaling_NaN(), L::denorm_min(), -L::denorm_min(), L::min(), -L::min(),
                      L::max(), -L::max(), R(1), R(-1), R(0.5), R(-0.5), R(2), R(2.5), R(-2.5),
                      R(3.5), R(-0.4), R(-3), R(0.75), R(88.72283172607422), R(-104), R(709.78),
                      R(710), R(-746), R(1e-40), R(100)};
  std::mt19937_64 g(seed);
  using U = std::conditional_t<sizeof(R) == 4, uint32_t, uint64_t>;
  const size_t specials = v.size();
  for (size_t i = specials; i < 6 * kN; ++i) {
    R x;
    const int kind = i % 4;
    if (kind == 0) {
      const U b = static_cast<U>(g());
      std::memcpy(&x, &b, sizeof x);
    } else if (kind == 1) {
      x = std::uniform_real_distribution<R>(R(-10), R(10))(g);
    } else if (kind == 2) {
      x = std::uniform_real_distribution<R>(R(-800), R(800))(g);
    } else {
      x = std::uniform_real_distribution<R>(R(0), R(3))(g);
    }
    v.push_back(x);
  }
  return v;
}

void* g_lib = nullptr;

void* const* table(const std::string& name) {
  return static_cast<void* const*>(dlsym(g_lib, ("zorp_fenn_kernel_" + name + "_ttab").c_str()));
}

template <typename R>
void fill_out(std::vector<R>& out) {
  for (size_t i = 0; i < out.size(); ++i) out[i] = R(-7.25) - R(i % 13);
}

// One call per slot and storage form; R is the real part type, E the element size in R's.
template <typename R>
void run_row(char t, const char* fn, const char* shape) {
  const int ein = (t == 'c' || t == 'z') && std::strcmp(shape, "R1C1") != 0 ? 2 : 1;
  const int eout = (t == 'c' || t == 'z') && std::strcmp(shape, "C1R1R") != 0 ? 2 : 1;
  const std::vector<R> a = arguments<R>(11), b = arguments<R>(12);
  const std::string name = std::string(1, t) + fn;
  const bool pack = !std::strcmp(shape, "PACK") || !std::strcmp(shape, "UNPACK");
  for (int strided = 0; strided < (pack ? 1 : 2); ++strided) {
    void* const* tab = table(name + (strided ? "I" : ""));
    if (!tab) continue;
    for (int slot = 0; slot < 3; ++slot) {
      const int32_t inca = strided ? 2 : 1, incb = strided ? 3 : 1, incr = strided ? 2 : 1;
      std::vector<R> r1(static_cast<size_t>(3 * kN * 2)), r2(r1.size());
      fill_out(r1);
      fill_out(r2);
      g_reports = Hash{};
      void* k = tab[slot];
      const int32_t n = kN;
      if (!std::strcmp(shape, "A1R1") || !std::strcmp(shape, "C1R1R") || !std::strcmp(shape, "R1C1")) {
        if (strided) reinterpret_cast<void (*)(int32_t, const R*, int32_t, R*, int32_t)>(k)(n, a.data(), inca, r1.data(), incr);
        else reinterpret_cast<void (*)(int32_t, const R*, R*)>(k)(n, a.data(), r1.data());
      } else if (!std::strcmp(shape, "A2R1")) {
        if (strided)
          reinterpret_cast<void (*)(int32_t, const R*, int32_t, const R*, int32_t, R*, int32_t)>(k)(
              n, a.data(), inca, b.data(), incb, r1.data(), incr);
        else reinterpret_cast<void (*)(int32_t, const R*, const R*, R*)>(k)(n, a.data(), b.data(), r1.data());
      } else if (!std::strcmp(shape, "A1R2")) {
        if (strided)
          reinterpret_cast<void (*)(int32_t, const R*, int32_t, R*, int32_t, R*, int32_t)>(k)(
              n, a.data(), inca, r1.data(), incr, r2.data(), incb);
        else reinterpret_cast<void (*)(int32_t, const R*, R*, R*)>(k)(n, a.data(), r1.data(), r2.data());
      } else if (!std::strcmp(shape, "LINFRAC")) {
        const R sa = R(1.5), ha = R(-0.25), sb = R(-2), hb = R(3);
        if (strided)
          reinterpret_cast<void (*)(int32_t, const R*, int32_t, const R*, int32_t, R, R, R, R, R*, int32_t)>(k)(
              n, a.data(), inca, b.data(), incb, sa, ha, sb, hb, r1.data(), incr);
        else
          reinterpret_cast<void (*)(int32_t, const R*, const R*, R, R, R, R, R*)>(k)(n, a.data(), b.data(), sa, ha, sb,
                                                                                    hb, r1.data());
      } else if (pack) {
        // Every index/mask form with 32-bit integers.
        std::vector<int32_t> idx(kN), mask(kN);
        for (int i = 0; i < kN; ++i) idx[i] = (i * 7) % kN, mask[i] = (i % 3) != 1;
        const bool unpack = shape[0] == 'U';
        const char kind = fn[std::strlen(fn) - 1];
        const void* x = kind == 'V' ? static_cast<const void*>(idx.data()) : mask.data();
        if (!unpack) {
          if (kind == 'I') reinterpret_cast<void (*)(int64_t, const R*, int64_t, R*, int32_t)>(k)(kN / 3, a.data(), 3, r1.data(), 1);
          else reinterpret_cast<void (*)(int64_t, const R*, const void*, R*, int32_t)>(k)(kN, a.data(), x, r1.data(), 1);
        } else {
          if (kind == 'I') reinterpret_cast<void (*)(int64_t, const R*, R*, int64_t, int32_t)>(k)(kN / 3, a.data(), r1.data(), 3, 1);
          else reinterpret_cast<void (*)(int64_t, const R*, R*, const void*, int32_t)>(k)(kN, a.data(), r1.data(), x, 1);
        }
      } else {
        continue;  // shapes with no built row yet
      }
      Hash h;
      h.add(r1.data(), r1.size() * sizeof(R));
      h.add(r2.data(), r2.size() * sizeof(R));
      std::printf("%-16s %s %s %016llx %016llx\n", (name + (strided ? "I" : "")).c_str(),
                  slot == 0 ? "LA" : slot == 1 ? "HA" : "EP", shape, static_cast<unsigned long long>(h.h),
                  static_cast<unsigned long long>(g_reports.h));
      (void)ein;
      (void)eout;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  g_lib = argc > 1 ? dlopen(argv[1], RTLD_NOW | RTLD_LOCAL) : dlopen(ZORP_KERNEL_FILE, RTLD_NOW | RTLD_LOCAL);
  if (!g_lib) {
    std::fprintf(stderr, "cannot load the library: %s\n", dlerror());
    return 1;
  }
  using SetCb = ZorpVmErrorCallback (*)(ZorpVmErrorCallback);
  using SetMode = uint32_t (*)(uint32_t);
  reinterpret_cast<SetMode>(dlsym(g_lib, "_fennSetMode"))(ZORP_VM_HA | ZORP_VM_ERRMODE_CALLBACK);
  reinterpret_cast<SetCb>(dlsym(g_lib, "_fennSetErrorCallBack"))(record_callback);
#define VM_FN(t, F, shape, share, la, ha, ep, built)                         \
  if (built) {                                                               \
    if (#t[0] == 's' || #t[0] == 'c') run_row<float>(#t[0], #F, #shape);     \
    else run_row<double>(#t[0], #F, #shape);                                 \
  }
#include "zorp/vm_catalogue.def"
#undef VM_FN
  return 0;
}
