// What the shared kernel driver promises whatever the function: strided elements addressed in
// 64 bits however far apart, and reports that show the arguments as the caller passed them even
// when the results overwrite them (in-place calls).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "common/guarded.h"
#include "platform/fpu.h"
#include "zorp/vm.h"
#include "zorp/vm_functions.h"

namespace {

// A large range that reserves no memory: only the pages a test touches become real.
template <typename T>
struct Sparse {
  explicit Sparse(uint64_t elements) : range(elements * sizeof(T)), data(static_cast<T*>(range.data())) {}
  zorp::test::SparseRange range;
  T* data;
};

std::vector<ZorpVmErrorRecord> g_records;
int32_t keep_record(ZorpVmErrorRecord* r) {
  g_records.push_back(*r);
  return 0;
}

class Driver : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = _fennGetMode();
    _fennSetMode(ZORP_VM_HA | ZORP_VM_ERRMODE_CALLBACK);
    _fennSetErrorCallBack(keep_record);
    g_records.clear();
  }
  void TearDown() override {
    _fennClearErrorCallBack();
    _fennSetMode(saved_);
    _fennClearErrStatus();
  }
  uint32_t saved_ = 0;
};

// Lane i of a strided register sits i*inc elements away: with inc = 4e8 the last of eight lanes
// is 2.8e9 elements from the first, past what a 32-bit offset holds.
TEST_F(Driver, StridedElementsFarApartAreAddressedIn64Bits) {
  constexpr int32_t kInc = 400000000;
  Sparse<double> r(uint64_t{6} * kInc + 1);
  ASSERT_NE(r.data, nullptr);
  const double a[7] = {1, 2, 3, 4, 5, 6, 7}, b[7] = {10, 20, 30, 40, 50, 60, 70};
  // The result pages are made real before the call: under Wine, a vector scatter that faults
  // on a page the range then provides does not complete its remaining elements.
  for (int i = 0; i < 7; ++i) r.data[uint64_t{i} * kInc] = -1.0;
  _fenndAddI(7, a, 1, b, 1, r.data, kInc);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(r.data[uint64_t{i} * kInc], a[i] + b[i]) << i;

  // Reading: the third argument lies 2^31 elements from the first, and it is special.
  constexpr int32_t kReadInc = 1 << 30;
  Sparse<double> x(uint64_t{2} * kReadInc + 1);
  ASSERT_NE(x.data, nullptr);
  x.data[0] = 1.0;
  x.data[kReadInc] = std::exp(1.0);
  x.data[uint64_t{2} * kReadInc] = -1.0;
  double out[3] = {};
  _fenndLnI(3, x.data, kReadInc, out, 1);
  EXPECT_EQ(out[0], 0.0);
  EXPECT_NEAR(out[1], 1.0, 1e-15);
  EXPECT_TRUE(std::isnan(out[2]));
  ASSERT_EQ(g_records.size(), 1u);
  EXPECT_EQ(g_records[0].index, 2);
  EXPECT_EQ(g_records[0].arg1, -1.0);
}

// The result array is the argument array: the record must carry the arguments, not the results
// already stored over them.
TEST_F(Driver, InPlaceCallsReportTheArguments) {
  double b[4] = {-1, 0, 2, -5};
  _fenndLn(4, b, b);
  ASSERT_EQ(g_records.size(), 3u);
  EXPECT_EQ(g_records[0].arg1, -1.0);
  EXPECT_EQ(g_records[1].arg1, 0.0);
  EXPECT_EQ(g_records[2].arg1, -5.0);
  EXPECT_TRUE(std::isnan(g_records[0].res1));
  EXPECT_EQ(g_records[1].res1, -INFINITY);

  g_records.clear();
  double p[3] = {1, 2, 3};
  const double q[3] = {4, 0, 8};
  _fenndDiv(3, p, q, p);
  ASSERT_EQ(g_records.size(), 1u);
  EXPECT_EQ(g_records[0].arg1, 2.0);
  EXPECT_EQ(g_records[0].arg2, 0.0);
  EXPECT_EQ(p[1], INFINITY);

  // Strided and single precision take the same route.
  g_records.clear();
  float s[6] = {4, 9, -4, 9, 16, 9};
  _fennsSqrtI(3, s, 2, s, 2);
  ASSERT_EQ(g_records.size(), 1u);
  EXPECT_EQ(g_records[0].arg1, -4.0);
  EXPECT_EQ(s[0], 2.0f);
  EXPECT_EQ(s[4], 4.0f);
}

// LinearFrac has no callout but guards the x87 unit at entry, like every kernel that does
// floating-point work of its own: a caller's pending unmasked x87 exception is cleared rather
// than left to trap inside the library, and the caller's control word comes back.
TEST_F(Driver, LinearFracGuardsTheX87UnitAtEntry) {
  using namespace zorp::fpu;
  X87Env saved, env;
  x87_store_env(&saved);
  env = saved;
  env.control = static_cast<uint16_t>((saved.control | 0x3F) & ~0x1);  // invalid unmasked
  env.status = static_cast<uint16_t>(saved.status | 0x81);             // invalid pending
  x87_load_env(&env);
  const float a[1] = {1}, b[1] = {2};
  float r[1];
  _fennsLinearFrac(1, a, b, 1, 0, 1, 0, r);
  const uint16_t status = x87_get_status(), control = x87_get_control();
  __asm__ volatile("fnclex");
  x87_load_env(&saved);
  EXPECT_EQ(r[0], 0.5f);
  EXPECT_EQ(status & 0x3F, 0) << "the pending exception was left for the caller's next x87 instruction";
  EXPECT_EQ(control, env.control) << "the caller's control word comes back";
}

}  // namespace
