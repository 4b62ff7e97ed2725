// The error machinery as a host meets it: the library loaded by file name, its status, callback
// and mode entries found by name, and special values reported by its own kernels (Inv, Sqrt,
// Div). Each test runs on a fresh thread, so it starts from a new thread record (a trap bit,
// once set, cannot be cleared through SetMode).
#include <dlfcn.h>

#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "common/fp_trap.h"
#include "common/library.h"
#include "vmerr/fixture.h"

namespace zorp::test {
namespace {

using UnaryFn = void (*)(int32_t, const double*, double*);
using UnaryStridedFn = void (*)(int32_t, const double*, int32_t, double*, int32_t);
using BinaryFn = void (*)(int32_t, const float*, const float*, float*);
using ModeFn = uint32_t (*)(uint32_t);
using StatusFn = int32_t (*)(void);
using SetStatusFn = int32_t (*)(int32_t);
using SetCallbackFn = ZorpVmErrorCallback (*)(ZorpVmErrorCallback);
using GetCallbackFn = ZorpVmErrorCallback (*)(void);
using SetVectorFn = const void* (*)(const void*);

struct Library {
  void* handle = nullptr;
  ModeFn set_mode = nullptr;
  StatusFn get_status = nullptr, clear_status = nullptr;
  SetStatusFn set_status = nullptr;
  SetCallbackFn set_callback = nullptr;
  GetCallbackFn get_callback = nullptr, clear_callback = nullptr;
  SetVectorFn set_vector = nullptr;
  UnaryFn dinv = nullptr;
  UnaryStridedFn dsqrt_strided = nullptr;
  BinaryFn sdiv = nullptr;

  Library() {
    handle = dlopen(kernel_library_path().c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return;
    set_mode = entry<ModeFn>(handle, "_fennSetMode");
    get_status = entry<StatusFn>(handle, "_fennGetErrStatus");
    clear_status = entry<StatusFn>(handle, "_fennClearErrStatus");
    set_status = entry<SetStatusFn>(handle, "_fennSetErrStatus");
    set_callback = entry<SetCallbackFn>(handle, "_fennSetErrorCallBack");
    get_callback = entry<GetCallbackFn>(handle, "_fennGetErrorCallBack");
    clear_callback = entry<GetCallbackFn>(handle, "_fennClearErrorCallBack");
    set_vector = entry<SetVectorFn>(handle, "_fennSetInterfInputVectorPointer");
    dinv = entry<UnaryFn>(handle, "_fenndInv");
    dsqrt_strided = entry<UnaryStridedFn>(handle, "_fenndSqrtI");
    sdiv = entry<BinaryFn>(handle, "_fennsDiv_21");
  }
};

const Library& lib() {
  static Library l;
  return l;
}

// Runs fn on a thread of its own: a new thread record with the default mode.
template <typename Fn>
void on_fresh_thread(Fn fn) {
  std::thread t(fn);
  t.join();
}

class LibraryErrors : public ::testing::Test {
 protected:
  void SetUp() override {
    const Library& l = lib();
    ASSERT_NE(l.handle, nullptr) << dlerror();
    ASSERT_NE(l.set_mode, nullptr);
    ASSERT_NE(l.set_callback, nullptr);
    ASSERT_NE(l.get_status, nullptr);
    ASSERT_NE(l.dinv, nullptr);
    ASSERT_NE(l.dsqrt_strided, nullptr);
    ASSERT_NE(l.sdiv, nullptr);
    seen_records().clear();
    callback_body() = nullptr;
  }
};

TEST_F(LibraryErrors, BothNamesOfEachEntryAreOneEntry) {
  const char* pairs[][2] = {
      {"_fennSetErrStatus", "zorp_fenn_kernel_SetErrStatus"},
      {"_fennGetErrStatus", "zorp_fenn_kernel_GetErrStatus"},
      {"_fennClearErrStatus", "zorp_fenn_kernel_ClearErrStatus"},
      {"_fennSetErrorCallBack", "zorp_fenn_kernel_SetErrorCallBack"},
      {"_fennGetErrorCallBack", "zorp_fenn_kernel_GetErrorCallBack"},
      {"_fennClearErrorCallBack", "zorp_fenn_kernel_ClearErrorCallBack"},
      {"_fennSetInterfInputVectorPointer", "zorp_fenn_kernel_SetInterfInputVectorPointer"},
  };
  for (auto& p : pairs) {
    void* a = dlsym(lib().handle, p[0]);
    void* b = dlsym(lib().handle, p[1]);
    EXPECT_NE(a, nullptr) << p[0];
    EXPECT_EQ(a, b) << p[0];
  }
}

TEST_F(LibraryErrors, StatusEntries) {
  on_fresh_thread([] {
    const Library& l = lib();
    EXPECT_EQ(l.get_status(), 0);
    EXPECT_EQ(l.set_status(-2), 0);
    EXPECT_EQ(l.set_status(7), -2);
    EXPECT_EQ(l.get_status(), 7);
    EXPECT_EQ(l.clear_status(), 7);
    EXPECT_EQ(l.get_status(), 0);
    EXPECT_EQ(l.clear_status(), 0);
    l.set_status(3);
    std::thread other([&] { EXPECT_EQ(l.get_status(), 0) << "statuses are per thread"; });
    other.join();
    EXPECT_EQ(l.get_status(), 3);
  });
}

int32_t other_callback(ZorpVmErrorRecord*) { return 0; }

TEST_F(LibraryErrors, CallbackEntriesMoveTheModeFlagThroughTheMerge) {
  on_fresh_thread([] {
    const Library& l = lib();
    EXPECT_EQ(l.get_callback(), nullptr);
    l.set_mode(0x0203 | ZORP_VM_TRAP_OVERFLOW);  // errno only, EP, one trap bit
    EXPECT_EQ(l.set_callback(recording_callback), nullptr);
    EXPECT_EQ(l.set_mode(0), 0x1203u | ZORP_VM_TRAP_OVERFLOW);
    EXPECT_EQ(l.get_callback(), recording_callback);
    EXPECT_EQ(l.set_callback(other_callback), recording_callback);
    EXPECT_EQ(l.clear_callback(), other_callback);
    EXPECT_EQ(l.get_callback(), nullptr);
    EXPECT_EQ(l.set_mode(0), 0x0203u | ZORP_VM_TRAP_OVERFLOW);

    // With the callback flag alone in the error group, clearing it would empty the group,
    // which the merge reads as "keep": the flag stays.
    l.set_mode(0x1000);
    l.set_callback(recording_callback);
    EXPECT_EQ(l.clear_callback(), recording_callback);
    EXPECT_EQ(l.set_mode(0) & ZORP_VM_ERRMODE_MASK, 0x1000u);
    EXPECT_EQ(l.set_callback(nullptr), nullptr);
    EXPECT_EQ(l.set_mode(0) & ZORP_VM_ERRMODE_MASK, 0x1000u);
  });
}

TEST_F(LibraryErrors, InterfaceVectorEntryReturnsWhatItStored) {
  on_fresh_thread([] {
    double v[4];
    EXPECT_EQ(lib().set_vector(v + 2), v + 2);
    EXPECT_EQ(lib().set_vector(nullptr), nullptr);
  });
}

// Inv over 19 doubles with zeros in the whole block and in the remainder.
TEST_F(LibraryErrors, KernelReportsEachZeroInOrderAndTakesTheCallbacksResult) {
  on_fresh_thread([] {
    const Library& l = lib();
    l.set_callback(recording_callback);
    callback_body() = [](ZorpVmErrorRecord* r) {
      if (r->index != 9) return 1;
      r->res1 = 42.0;
      r->res2 = 42.0;
      return 0;
    };
    std::vector<double> a(19, 4.0), r(19, 0.0);
    a[0] = 0.0;
    a[9] = 0.0;
    a[18] = -0.0;
    errno = 0;
    l.dinv(19, a.data(), r.data());
    ASSERT_EQ(seen_records().size(), 3u);
    const int want_index[3] = {0, 9, 18};
    for (int k = 0; k < 3; ++k) {
      const ZorpVmErrorRecord& rec = seen_records()[k];
      EXPECT_EQ(rec.status, ZORP_VM_STATUS_SING);
      EXPECT_EQ(rec.index, want_index[k]);
      EXPECT_STREQ(rec.name, "vdInv");
      EXPECT_EQ(rec.name_length, 5);
      EXPECT_EQ(rec.arg1, 0.0);
      EXPECT_EQ(rec.arg1, rec.arg2);
      EXPECT_EQ(std::fabs(rec.res1), INFINITY);
    }
    EXPECT_EQ(r[0], INFINITY);
    EXPECT_EQ(r[9], 42.0);
    EXPECT_EQ(r[18], -INFINITY);
    EXPECT_EQ(r[1], 0.25);
    EXPECT_EQ(l.get_status(), ZORP_VM_STATUS_SING);
    // Only the element whose callback returned 0 went on to the channels.
    EXPECT_EQ(errno, 34);
  });
}

// The error groups as a kernel meets them: a callback is installed first and the group set
// afterwards, so only the default group keeps the callback flag (and there is no callback then).
struct GroupCase {
  const char* label;
  uint32_t group;
  bool install_callback;
  int32_t status;
  int errno_value;
  uint16_t x87_flag;
};

class LibraryGroups : public LibraryErrors, public ::testing::WithParamInterface<GroupCase> {};

TEST_P(LibraryGroups, DivByZero) {
  const GroupCase c = GetParam();
  on_fresh_thread([&] {
    const Library& l = lib();
    if (c.install_callback) l.set_callback(recording_callback);
    l.set_mode(c.group);
    float a[2] = {1.0f, -2.0f}, b[2] = {0.0f, 4.0f}, r[2] = {};
    errno = 0;
    x87_reset();
    l.sdiv(2, a, b, r);
    EXPECT_EQ(l.get_status(), c.status);
    EXPECT_TRUE(seen_records().empty());
    EXPECT_EQ(errno, c.errno_value);
    EXPECT_EQ(x87_flags(), c.x87_flag);
    EXPECT_EQ(x87_masks(), 0x3F) << "no trap is armed";
    EXPECT_EQ(r[0], INFINITY);
    EXPECT_EQ(r[1], -0.5f);
  });
}

INSTANTIATE_TEST_SUITE_P(
    Groups, LibraryGroups,
    ::testing::Values(GroupCase{"noerror", ZORP_VM_ERRMODE_NOERR, true, 0, 0, 0},
                      GroupCase{"ignore", ZORP_VM_ERRMODE_IGNORE, true, 2, 0, 0},
                      GroupCase{"default_without_callback", ZORP_VM_ERRMODE_DEFAULT, false, 2,
                                34, 0x04}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(LibraryErrors, StridedKernelReportsTheIndexWithinTheCallAndWritesAtTheStride) {
  on_fresh_thread([] {
    const Library& l = lib();
    l.set_callback(recording_callback);
    callback_body() = [](ZorpVmErrorRecord* r) {
      r->res1 = r->res2 = 42.0;
      return 0;
    };
    std::vector<double> a(30, 4.0), r(30, -7.0);
    a[3 * 4] = -1.0;  // element 4 with inca 3
    l.dsqrt_strided(9, a.data(), 3, r.data(), 2);
    ASSERT_EQ(seen_records().size(), 1u);
    EXPECT_EQ(seen_records()[0].index, 4);
    EXPECT_EQ(seen_records()[0].arg1, -1.0);
    EXPECT_TRUE(std::isnan(seen_records()[0].res1));
    EXPECT_STREQ(seen_records()[0].name, "vdSqrt");
    for (int i = 0; i < 30; ++i) {
      const double want = i % 2 == 1 || i >= 18 ? -7.0 : i == 8 ? 42.0 : 2.0;
      EXPECT_EQ(r[i], want) << i;
    }
    EXPECT_EQ(l.get_status(), ZORP_VM_STATUS_ERRDOM);
  });
}

TEST_F(LibraryErrors, PieceOfALargerVectorReportsTheWholeVectorIndex) {
  on_fresh_thread([] {
    const Library& l = lib();
    l.set_callback(recording_callback);
    std::vector<double> whole(100, 2.0), r(100, 0.0);
    whole[61] = 0.0;
    l.set_vector(whole.data());
    l.dinv(20, whole.data() + 50, r.data() + 50);
    l.set_vector(nullptr);
    l.dinv(20, whole.data() + 50, r.data() + 50);
    ASSERT_EQ(seen_records().size(), 2u);
    EXPECT_EQ(seen_records()[0].index, 61);
    EXPECT_EQ(seen_records()[1].index, 11);
  });
}

TEST_F(LibraryErrors, SelectedTrapRaisesFromInsideTheKernel) {
  on_fresh_thread([] {
    const Library& l = lib();
    l.set_mode(ZORP_VM_ERRMODE_EXCEPT | ZORP_VM_TRAP_DIVBYZERO);
    double a[4] = {1.0, 2.0, 0.0, 3.0}, r[4] = {};
    const FpException raised = trapped_exception([&] { l.dinv(4, a, r); });
    x87_reset();
    EXPECT_EQ(raised, FpException::kDivideByZero);
    EXPECT_EQ(r[2], INFINITY) << "the element's result is stored before it is reported";
    EXPECT_EQ(l.get_status(), ZORP_VM_STATUS_SING);
  });
}

}  // namespace
}  // namespace zorp::test
