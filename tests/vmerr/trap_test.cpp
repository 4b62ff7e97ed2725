// The except channel: the x87 flag of a status is always left raised, and a hardware exception
// (SIGFPE; a structured exception on Windows) is delivered exactly when the thread selected the
// trap of that status.
#include "common/fp_trap.h"
#include "vmerr/fixture.h"

namespace zorp::test {
namespace {

// True when fn trapped.
template <typename Fn>
bool traps(Fn fn) {
  return trapped_exception(fn) != FpException::kNone;
}

void report_one(int32_t status) {
  double a[1] = {1.0}, r[1] = {2.0};
  vm::report(status, 0, a, a, r, r, "vdTrap");
}

// Loads an x87 environment with the given control word and exception flags (nothing pending).
void x87_set(uint16_t control, uint16_t flags) {
  fpu::X87Env env;
  fpu::x87_store_env(&env);
  env.control = control;
  env.status = static_cast<uint16_t>((env.status & ~0x80FF) | flags);
  fpu::x87_load_env(&env);
}

struct TrapCase {
  int32_t status;
  uint32_t trap;
  FpException raised;
  uint16_t flag;
};

class Traps : public VmErrTest, public ::testing::WithParamInterface<TrapCase> {};

TEST_P(Traps, SelectedAndMatchingRaises) {
  const TrapCase c = GetParam();
  reset(ZORP_VM_ERRMODE_EXCEPT | ZORP_VM_HA | c.trap);
  const FpException raised = trapped_exception([&] { report_one(c.status); });
  x87_reset();
  EXPECT_EQ(raised, c.raised);
  EXPECT_EQ(status(), c.status) << "the status is stored before any channel runs";
}

TEST_P(Traps, EveryOtherTrapBitLeavesOnlyTheFlag) {
  const TrapCase c = GetParam();
  const uint32_t others = ZORP_VM_TRAP_MASK & ~c.trap;
  reset(ZORP_VM_ERRMODE_EXCEPT | ZORP_VM_HA | others);
  const bool trapped = traps([&] { report_one(c.status); });
  const uint16_t flags = x87_flags(), masks = x87_masks();
  x87_reset();
  EXPECT_FALSE(trapped);
  EXPECT_EQ(flags, c.flag);
  EXPECT_EQ(masks, 0x3F);
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, Traps,
    ::testing::Values(TrapCase{1, ZORP_VM_TRAP_INVALID, FpException::kInvalid, 0x01},
                      TrapCase{2, ZORP_VM_TRAP_DIVBYZERO, FpException::kDivideByZero, 0x04},
                      TrapCase{3, ZORP_VM_TRAP_OVERFLOW, FpException::kOverflow, 0x08},
                      TrapCase{4, ZORP_VM_TRAP_UNDERFLOW, FpException::kUnderflow, 0x10}));

class NoFlagStatus : public VmErrTest, public ::testing::WithParamInterface<int32_t> {};

TEST_P(NoFlagStatus, NeverTrapsWhateverIsSelected) {
  reset(ZORP_VM_ERRMODE_EXCEPT | ZORP_VM_HA | ZORP_VM_TRAP_MASK);
  const bool trapped = traps([&] { report_one(GetParam()); });
  const uint16_t flags = x87_flags(), masks = x87_masks();
  x87_reset();
  EXPECT_FALSE(trapped);
  EXPECT_EQ(flags, 0);
  EXPECT_EQ(masks, 0x3F);
}

INSTANTIATE_TEST_SUITE_P(Statuses, NoFlagStatus, ::testing::Values(0, -1, -2, 5, 1000));

TEST_F(VmErrTest, TrapBitsWithoutTheExceptFlagDoNothing) {
  reset(0x0202 | ZORP_VM_TRAP_MASK);
  const bool trapped = traps([] { report_one(ZORP_VM_STATUS_SING); });
  const uint16_t flags = x87_flags();
  x87_reset();
  EXPECT_FALSE(trapped);
  EXPECT_EQ(flags, 0);
  EXPECT_EQ(errno, 34);
}

TEST_F(VmErrTest, EarlierFlagsNeitherTrapNorGetLost) {
  // An invalid-operation flag left from earlier x87 work, the invalid trap selected, and a
  // zero-divide report: the trap belongs to the reported element only.
  reset(ZORP_VM_ERRMODE_EXCEPT | ZORP_VM_HA | ZORP_VM_TRAP_INVALID);
  x87_set(0x037F, 0x01);
  const bool trapped = traps([] { report_one(ZORP_VM_STATUS_SING); });
  const uint16_t flags = x87_flags();
  x87_reset();
  EXPECT_FALSE(trapped);
  EXPECT_EQ(flags, 0x01 | 0x04);
}

TEST_F(VmErrTest, CallerUnmaskedExceptionsAreNotTrapsOfTheThread) {
  // The caller runs with x87 zero-divide unmasked, the thread selected no trap: the report
  // leaves the flag and the control word with all six masked, and raises nothing.
  reset(ZORP_VM_ERRMODE_EXCEPT | ZORP_VM_HA);
  x87_set(0x037F & ~0x04, 0);
  const bool trapped = traps([] { report_one(ZORP_VM_STATUS_SING); });
  const uint16_t flags = x87_flags(), masks = x87_masks();
  x87_reset();
  EXPECT_FALSE(trapped);
  EXPECT_EQ(flags, 0x04);
  EXPECT_EQ(masks, 0x3F);
}

TEST_F(VmErrTest, OtherX87StateSurvivesTheReport) {
  reset(ZORP_VM_ERRMODE_EXCEPT | ZORP_VM_HA);
  // Rounding toward zero and 53-bit precision in the control word; a value on the x87 stack.
  x87_set(0x0E7F & ~0x0100, 0);
  const uint16_t control_before = fpu::x87_get_control();
  long double kept = 1.0L / 3.0L;
  __asm__ volatile("fldt %0" : : "m"(kept));
  report_one(ZORP_VM_STATUS_OVERFLOW);
  long double back;
  __asm__ volatile("fstpt %0" : "=m"(back));
  const uint16_t control_after = fpu::x87_get_control();
  const uint16_t flags = x87_flags();
  x87_reset();
  EXPECT_EQ(control_after, control_before | 0x3F);
  EXPECT_EQ(flags, 0x08);
  EXPECT_EQ(back, kept);
}

}  // namespace
}  // namespace zorp::test
