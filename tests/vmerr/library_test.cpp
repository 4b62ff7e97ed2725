// The error machinery as a host meets it: the library loaded by file name, its status, callback
// and mode entries found by name, and special values reported by its own kernels. Each test runs
// on a fresh thread, so it starts from a new thread record (a trap bit, once set, cannot be
// cleared through SetMode).
#include <dlfcn.h>

#include <cmath>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "common/fp_trap.h"
#include "library.h"
#include "vmerr/fixture.h"

namespace zorp::test {
namespace {

void* lib() {
  static void* h = dlopen(kernel_library_path().c_str(), RTLD_NOW | RTLD_LOCAL);
  return h;
}
template <typename Fn>
Fn fn(const char* name) {
  return entry<Fn>(lib(), name);
}
using ModeFn = uint32_t (*)(uint32_t);
using StatusFn = int32_t (*)();
using SetStatusFn = int32_t (*)(int32_t);
using SetCallbackFn = ZorpVmErrorCallback (*)(ZorpVmErrorCallback);
using GetCallbackFn = ZorpVmErrorCallback (*)();
using SetVectorFn = const void* (*)(const void*);
using UnaryFn = void (*)(int32_t, const double*, double*);
using BinaryFn = void (*)(int32_t, const float*, const float*, float*);

// Runs fn on a thread of its own: a new thread record with the default mode.
template <typename F>
void on_fresh_thread(F f) {
  seen_records().clear();
  callback_body() = nullptr;
  std::thread t(f);
  t.join();
}

int32_t other_callback(ZorpVmErrorRecord*) { return 0; }

TEST(LibraryErrors, ServiceEntries) {
  ASSERT_NE(lib(), nullptr) << dlerror();
  for (const char* e : {"SetErrStatus", "GetErrStatus", "ClearErrStatus", "SetErrorCallBack", "GetErrorCallBack",
                        "ClearErrorCallBack", "SetInterfInputVectorPointer"}) {
    void* a = dlsym(lib(), (std::string("_fenn") + e).c_str());
    EXPECT_NE(a, nullptr) << e;
    EXPECT_EQ(a, dlsym(lib(), (std::string("zorp_fenn_kernel_") + e).c_str())) << e;
  }
  on_fresh_thread([] {
    const auto get = fn<StatusFn>("_fennGetErrStatus"), clear = fn<StatusFn>("_fennClearErrStatus");
    const auto set = fn<SetStatusFn>("_fennSetErrStatus");
    EXPECT_EQ(get(), 0);
    EXPECT_EQ(set(-2), 0);
    EXPECT_EQ(set(7), -2);
    EXPECT_EQ(get(), 7);
    EXPECT_EQ(clear(), 7);
    EXPECT_EQ(clear(), 0);
    set(3);
    std::thread other([&] { EXPECT_EQ(get(), 0) << "statuses are per thread"; });
    other.join();
    EXPECT_EQ(get(), 3);
    double v[4];
    EXPECT_EQ(fn<SetVectorFn>("_fennSetInterfInputVectorPointer")(v + 2), v + 2);
  });
}

// Setting a callback sets the mode's callback flag through SetMode's merge, clearing it clears
// the flag, unless that would leave the error group empty.
TEST(LibraryErrors, CallbackEntriesMoveTheModeFlagThroughTheMerge) {
  on_fresh_thread([] {
    const auto set_mode = fn<ModeFn>("_fennSetMode");
    const auto set = fn<SetCallbackFn>("_fennSetErrorCallBack");
    const auto get = fn<GetCallbackFn>("_fennGetErrorCallBack"), clear = fn<GetCallbackFn>("_fennClearErrorCallBack");
    EXPECT_EQ(get(), nullptr);
    set_mode(0x0203 | ZORP_VM_TRAP_OVERFLOW);  // errno only, EP, one trap bit
    EXPECT_EQ(set(recording_callback), nullptr);
    EXPECT_EQ(set_mode(0), 0x1203u | ZORP_VM_TRAP_OVERFLOW);
    EXPECT_EQ(get(), recording_callback);
    EXPECT_EQ(set(other_callback), recording_callback);
    EXPECT_EQ(clear(), other_callback);
    EXPECT_EQ(get(), nullptr);
    EXPECT_EQ(set_mode(0), 0x0203u | ZORP_VM_TRAP_OVERFLOW);
    set_mode(0x1000);
    set(recording_callback);
    EXPECT_EQ(clear(), recording_callback);
    EXPECT_EQ(set_mode(0) & ZORP_VM_ERRMODE_MASK, 0x1000u);
    EXPECT_EQ(set(nullptr), nullptr);
    EXPECT_EQ(set_mode(0) & ZORP_VM_ERRMODE_MASK, 0x1000u);
  });
}

// A kernel's special element through the mode's channels: the status, errno and the x87 flag
// of each status, and the groups that leave them out. The callback, where installed, is
// installed before the group is set, so only the default group keeps the callback flag.
struct KernelCase {
  const char* label;
  uint32_t group;
  bool install_callback;
  const char* kernel;  // a double one-argument kernel, or single-precision Div
  double a;
  int32_t status;
  int errno_value;
  uint16_t x87_flag;
};

class KernelReports : public ::testing::TestWithParam<KernelCase> {};

TEST_P(KernelReports, ReachTheChannels) {
  const KernelCase c = GetParam();
  on_fresh_thread([&] {
    if (c.install_callback) fn<SetCallbackFn>("_fennSetErrorCallBack")(recording_callback);
    fn<ModeFn>("_fennSetMode")(c.group);
    errno = 0;
    x87_reset();
    double r[2];
    if (std::string(c.kernel) == "_fennsDiv_21") {
      const float a[2] = {1.0f, -2.0f}, b[2] = {0.0f, 4.0f};
      float q[2];
      fn<BinaryFn>(c.kernel)(2, a, b, q);
      EXPECT_EQ(q[0], INFINITY);
      EXPECT_EQ(q[1], -0.5f);
    } else {
      const double a[2] = {1.0, c.a};
      fn<UnaryFn>(c.kernel)(2, a, r);
    }
    EXPECT_EQ(fn<StatusFn>("_fennGetErrStatus")(), c.status);
    EXPECT_TRUE(seen_records().empty());
    EXPECT_EQ(errno, c.errno_value);
    EXPECT_EQ(x87_flags(), c.x87_flag);
    EXPECT_EQ(x87_masks(), 0x3F) << "no trap is armed";
  });
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KernelReports,
    ::testing::Values(KernelCase{"domain", ZORP_VM_ERRMODE_DEFAULT, false, "_fenndLn", -1, 1, 33, 0x01},
                      KernelCase{"singularity", ZORP_VM_ERRMODE_DEFAULT, false, "_fenndLn_26", 0, 2, 34, 0x04},
                      KernelCase{"overflow", ZORP_VM_ERRMODE_ERRNO | ZORP_VM_ERRMODE_EXCEPT, false, "_fenndExp_50",
                                 1000, 3, 34, 0x08},
                      KernelCase{"underflow", ZORP_VM_ERRMODE_DEFAULT, false, "_fenndExp", -1000, 4, 34, 0x10},
                      KernelCase{"noerror", ZORP_VM_ERRMODE_NOERR, true, "_fennsDiv_21", 0, 0, 0, 0},
                      KernelCase{"ignore", ZORP_VM_ERRMODE_IGNORE, true, "_fennsDiv_21", 0, 2, 0, 0},
                      KernelCase{"default_without_callback", ZORP_VM_ERRMODE_DEFAULT, false, "_fennsDiv_21", 0, 2,
                                 34, 0x04}),
    [](const auto& info) { return std::string(info.param.label); });

// A host working on part of a vector, after setting the start of the whole vector, sees the
// index within the whole vector; CIS (real in, complex out) through its own kernels shows it
// with the hardest count: a NaN gives NaN without a report, an infinity of either sign a
// domain error; the distance from the whole vector's start counts
// complex elements (50 reals are 25 of them), and the record carries the real argument and both
// parts of the result.
template <typename R, typename C>
void cis_piece(const char* kernel) {
  fn<SetCallbackFn>("_fennSetErrorCallBack")(recording_callback);
  const auto set_vector = fn<SetVectorFn>("_fennSetInterfInputVectorPointer");
  const auto cis = fn<void (*)(int32_t, const R*, C*)>(kernel);
  std::vector<R> whole(100, R(0.5));
  std::vector<C> r(100);
  whole[55] = std::numeric_limits<R>::quiet_NaN();
  whole[58] = -std::numeric_limits<R>::infinity();
  whole[61] = std::numeric_limits<R>::infinity();
  set_vector(whole.data());
  cis(20, whole.data() + 50, r.data() + 50);
  set_vector(nullptr);
  cis(20, whole.data() + 50, r.data() + 50);
  EXPECT_EQ(fn<StatusFn>("_fennGetErrStatus")(), ZORP_VM_STATUS_ERRDOM);
  const int32_t want[4] = {33, 36, 8, 11};
  ASSERT_EQ(seen_records().size(), 4u) << kernel;
  for (int k = 0; k < 4; ++k) {
    const ZorpVmErrorRecord& rec = seen_records()[k];
    EXPECT_EQ(rec.status, ZORP_VM_STATUS_ERRDOM) << kernel << " " << k;
    EXPECT_EQ(rec.index, want[k]) << kernel << " " << k;
    EXPECT_EQ(rec.arg1, k % 2 ? INFINITY : -INFINITY) << kernel << " " << k;
    EXPECT_EQ(rec.arg1_im, 0.0);
    EXPECT_TRUE(std::isnan(rec.res1) && std::isnan(rec.res1_im)) << kernel << " " << k;
  }
  EXPECT_TRUE(std::isnan(r[55].re) && std::isnan(r[55].im));
  EXPECT_NEAR(r[50].re, std::cos(0.5), 4 * std::numeric_limits<R>::epsilon());
}

TEST(LibraryErrors, RealToComplexCountsComplexElements) {
  on_fresh_thread([] { cis_piece<double, ZorpComplex16>("_fennzCIS"); });
  on_fresh_thread([] { cis_piece<float, ZorpComplex8>("_fenncCIS"); });
}

TEST(LibraryErrors, SelectedTrapRaisesFromInsideTheKernel) {
  on_fresh_thread([] {
    fn<ModeFn>("_fennSetMode")(ZORP_VM_ERRMODE_EXCEPT | ZORP_VM_TRAP_DIVBYZERO);
    double a[4] = {1.0, 2.0, 0.0, 3.0}, r[4] = {};
    const FpException raised = trapped_exception([&] { fn<UnaryFn>("_fenndInv")(4, a, r); });
    x87_reset();
    EXPECT_EQ(raised, FpException::kDivideByZero);
    EXPECT_EQ(r[2], INFINITY) << "the element's result is stored before it is reported";
    EXPECT_EQ(fn<StatusFn>("_fennGetErrStatus")(), ZORP_VM_STATUS_SING);
  });
}

}  // namespace
}  // namespace zorp::test
