// Powx's dispatch on the exponent's bit pattern, which no reference settles: for every kernel
// and every exponent of the fast list (and a few next to it), the path the call must take, and
// results that are bit for bit those of that path: 1.0 (NaN elements included), a bit copy (a
// signalling NaN included), products in the order a*(a*(...*(a*a))) with no report on overflow,
// the delegate's own kernel reached through its dispatch table (a patched slot is followed) and
// reporting under its name, or Pow's kernel of the same slot with b in every element.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <dlfcn.h>
#include <limits>
#include <string>
#include <vector>

#include "common/vm_rows.h"
#include "common/reporting.h"
#include "zorp/vm.h"

namespace zorp::test {
namespace {

enum class Path { One, Copy, Product, Delegate, General };

// One kernel of sPowx or dPowx: its slot, whether it has the product and the cube-root fast
// paths, and the slot its delegates are called in.
struct Kernel {
  char type;
  int slot;
  bool products, roots;
  int delegate_slot;
};
const Kernel kKernels[] = {{'s', 0, false, false, 1}, {'s', 1, false, false, 1}, {'s', 2, true, true, 2},
                           {'d', 0, true, false, 0},  {'d', 1, false, false, 1}, {'d', 2, true, true, 2}};

struct Expected {
  Path path;
  int k = 0;                   // Product: the power
  const char* delegate = "";   // Delegate: the function
};

template <typename R>
Expected expected(const Kernel& kernel, R b) {
  if (b == 0) return std::signbit(b) ? Expected{Path::General} : Expected{Path::One};
  if (b == 1) return {Path::Copy};
  for (int k = 2; k <= 9; ++k)
    if (b == R(k)) return k == 2 || kernel.products ? Expected{Path::Product, k} : Expected{Path::General};
  if (b == R(-1)) return {Path::Delegate, 0, "Inv"};
  if (b == R(0.5)) return {Path::Delegate, 0, "Sqrt"};
  if (b == R(-0.5)) return {Path::Delegate, 0, "InvSqrt"};
  if (b == R(1.5)) return {Path::Delegate, 0, "Pow3o2"};
  if (kernel.roots && b == R(1) / R(3)) return {Path::Delegate, 0, "Cbrt"};
  if (kernel.roots && b == R(2) / R(3)) return {Path::Delegate, 0, "Pow2o3"};
  return {Path::General};
}


std::vector<ZorpVmErrorRecord>& g_records = reported();
int g_patched_calls = 0;
template <typename R>
void counting_probe(int32_t, const R*, R*) {
  ++g_patched_calls;
}

class Powx : public Reporting<testing::TestWithParam<Kernel>> {
 protected:

  template <typename R>
  void check() {
    using L = std::numeric_limits<R>;
    const Kernel& kernel = GetParam();
    const char t = kernel.type;
    // Ordinary elements, zeros of both signs, a zero, negative bases, overflowing and
    // underflowing products, infinities, a quiet and a signalling NaN; 37 of them, so that the
    // remainder path runs too.
    std::vector<R> a = {R(0.75), R(-1.25), R(3), R(-8), R(0), -R(0), R(1e-3), R(7.5), L::max() / 4, L::min(),
                        L::infinity(), -L::infinity(), L::quiet_NaN(), L::signaling_NaN(), R(2), R(0.1)};
    for (int i = 0; a.size() < 37; ++i) a.push_back(R(0.37) * R(i) - R(3));
    const int32_t n = static_cast<int32_t>(a.size());
    auto powx = reinterpret_cast<void (*)(int32_t, const R*, R, R*)>(kernel_table(t, "Powx")[kernel.slot]);
    auto pow = reinterpret_cast<void (*)(int32_t, const R*, const R*, R*)>(kernel_table(t, "Pow")[kernel.slot]);
    const R third = R(1) / R(3);
    const R exponents[] = {R(0), -R(0), R(1), R(2), R(3), R(4), R(5), R(6), R(7), R(8), R(9), R(10), R(-1), R(-2),
                           R(0.5), R(-0.5), R(1.5), third, std::nextafter(third, R(1)), R(2) / R(3), R(2.5)};
    for (R b : exponents) {
      const Expected e = expected(kernel, b);
      const std::string what = std::string(1, t) + "Powx slot " + std::to_string(kernel.slot) + " b " +
                               std::to_string(double(b)) + (std::signbit(b) && b == 0 ? " (-0)" : "");
      std::vector<R> r(n), want(n);
      g_records.clear();
      powx(n, a.data(), b, r.data());
      const std::vector<ZorpVmErrorRecord> got = g_records;
      g_records.clear();
      std::string reporter = std::string("v") + t + "Powx";
      switch (e.path) {
        case Path::One: std::fill(want.begin(), want.end(), R(1)); break;
        case Path::Copy: want = a; break;
        case Path::Product:
          for (int i = 0; i < n; ++i) {
            R p = a[i] * a[i];
            for (int j = 2; j < e.k; ++j) p = a[i] * p;
            want[i] = p;
          }
          break;
        case Path::Delegate: {
          void** d = kernel_table(t, e.delegate);
          reinterpret_cast<void (*)(int32_t, const R*, R*)>(d[kernel.delegate_slot])(n, a.data(), want.data());
          reporter = std::string("v") + t + e.delegate;
          // Through the table as it is at the time of the call.
          void* saved = d[kernel.delegate_slot];
          d[kernel.delegate_slot] = reinterpret_cast<void*>(&counting_probe<R>);
          g_patched_calls = 0;
          std::vector<R> scratch(n);
          powx(n, a.data(), b, scratch.data());
          d[kernel.delegate_slot] = saved;
          EXPECT_EQ(g_patched_calls, 1) << what;
          break;
        }
        case Path::General: {
          const std::vector<R> bs(n, b);
          pow(n, a.data(), bs.data(), want.data());
          break;
        }
      }
      const std::vector<ZorpVmErrorRecord> wanted = e.path == Path::Delegate || e.path == Path::General
                                                        ? g_records
                                                        : std::vector<ZorpVmErrorRecord>{};
      for (int i = 0; i < n; ++i) EXPECT_EQ(bits(r[i]), bits(want[i])) << what << " element " << i;
      ASSERT_EQ(got.size(), wanted.size()) << what;
      for (size_t k = 0; k < got.size(); ++k) {
        EXPECT_EQ(got[k].index, wanted[k].index) << what;
        EXPECT_EQ(got[k].status, wanted[k].status) << what;
        EXPECT_EQ(std::string(got[k].name), reporter) << what;
      }
      // Inv, Sqrt, InvSqrt and Pow3o2 have something to report among these elements (a zero,
      // a negative base), so the names above were seen; the cube roots report nothing, and the
      // in-place paths report nothing at all, overflow included.
      if (e.path == Path::Delegate && !std::strstr(e.delegate, "o3") && !std::strstr(e.delegate, "Cbrt"))
        EXPECT_FALSE(got.empty()) << what;
    }
  }
};

TEST_P(Powx, TakesThePathItsExponentSelects) {
  if (GetParam().type == 'd') check<double>();
  else check<float>();
}

std::string kernel_name(const testing::TestParamInfo<Kernel>& info) {
  return std::string(1, info.param.type) + "Powx_" + ("LA\0HA\0EP" + 3 * info.param.slot);
}
INSTANTIATE_TEST_SUITE_P(Kernels, Powx, testing::ValuesIn(kKernels), kernel_name);

}  // namespace
}  // namespace zorp::test
