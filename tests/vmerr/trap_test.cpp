// The except channel: the report loads the caller's x87 environment with the thread's selected
// exceptions unmasked and the status's flag added, so an unmasked exception with its flag set
// traps (SIGFPE; a structured exception on Windows) there; afterwards the flag stays raised and
// all six exceptions are masked.
#include "common/fp_trap.h"
#include "vmerr/fixture.h"

namespace zorp::test {
namespace {

// Reports `status`; the exception that trapped, if any. The x87 unit is left as the report (or
// the trap handler) left it.
FpException trap_of(int32_t status) {
  return trapped_exception([&] {
    double a[1] = {1.0}, r[1] = {2.0};
    vm::report(status, 0, a, a, r, r, "vdTrap");
  });
}

// Loads an x87 environment with the given control word and exception flags (nothing pending).
void x87_set(uint16_t control, uint16_t flags) {
  fpu::X87Env env;
  fpu::x87_store_env(&env);
  env.control = control;
  env.status = static_cast<uint16_t>((env.status & ~0x80FF) | flags);
  fpu::x87_load_env(&env);
}

// The caller's x87 state before the report (control word with its masks, flags), the thread's
// trap bits and the status reported: the exception expected to trap (none, kNone) and, when
// nothing traps, the flags left and the control word's masks.
struct TrapCase {
  const char* label;
  uint16_t masks, flags;
  uint32_t traps;
  int32_t status;
  FpException raised;
  uint16_t flags_after;
};

class Traps : public VmErrTest, public ::testing::WithParamInterface<TrapCase> {};

TEST_P(Traps, RaiseWhatTheEnvironmentUnmasks) {
  const TrapCase c = GetParam();
  reset(ZORP_VM_ERRMODE_EXCEPT | ZORP_VM_HA | c.traps);
  x87_set(static_cast<uint16_t>(0x0340 | c.masks), c.flags);
  const FpException raised = trap_of(c.status);
  const uint16_t flags = x87_flags(), masks = x87_masks();
  x87_reset();
  EXPECT_EQ(raised, c.raised);
  EXPECT_EQ(status(), c.status) << "the status is stored before any channel runs";
  if (c.raised == FpException::kNone) {
    EXPECT_EQ(flags, c.flags_after);
    EXPECT_EQ(masks, 0x3F);
  }
}

constexpr uint32_t kAll = ZORP_VM_TRAP_MASK;
using E = FpException;
INSTANTIATE_TEST_SUITE_P(
    Cases, Traps,
    ::testing::Values(
        // the thread's trap of the status's own exception, whatever else is selected
        TrapCase{"invalid", 0x3F, 0, ZORP_VM_TRAP_INVALID, 1, E::kInvalid, 0},
        TrapCase{"zero_divide", 0x3F, 0, ZORP_VM_TRAP_DIVBYZERO, 2, E::kDivideByZero, 0},
        TrapCase{"overflow", 0x3F, 0, ZORP_VM_TRAP_OVERFLOW, 3, E::kOverflow, 0},
        TrapCase{"underflow", 0x3F, 0, kAll, 4, E::kUnderflow, 0},
        // other traps selected: the flag alone
        TrapCase{"invalid_others", 0x3F, 0, kAll & ~ZORP_VM_TRAP_INVALID, 1, E::kNone, 0x01},
        TrapCase{"zero_divide_others", 0x3F, 0, kAll & ~ZORP_VM_TRAP_DIVBYZERO, 2, E::kNone, 0x04},
        TrapCase{"overflow_others", 0x3F, 0, kAll & ~ZORP_VM_TRAP_OVERFLOW, 3, E::kNone, 0x08},
        TrapCase{"underflow_others", 0x3F, 0, kAll & ~ZORP_VM_TRAP_UNDERFLOW, 4, E::kNone, 0x10},
        // statuses without an exception never trap and raise no flag
        TrapCase{"ok", 0x3F, 0, kAll, 0, E::kNone, 0}, TrapCase{"bad_size", 0x3F, 0, kAll, -1, E::kNone, 0},
        TrapCase{"bad_memory", 0x3F, 0, kAll, -2, E::kNone, 0},
        TrapCase{"unknown", 0x3F, 0, kAll, 5, E::kNone, 0},
        // earlier flags stay; one of an exception the thread selected traps now
        TrapCase{"earlier_flag_kept", 0x3F, 0x01, 0, 2, E::kNone, 0x05},
        TrapCase{"earlier_flag_selected", 0x3F, 0x01, ZORP_VM_TRAP_INVALID, 2, E::kInvalid, 0},
        // an exception the caller unmasked traps as the thread's own would
        TrapCase{"caller_unmasked", 0x3F & ~0x04, 0, 0, 2, E::kDivideByZero, 0},
        TrapCase{"caller_unmasked_other", 0x3F & ~0x08, 0, 0, 2, E::kNone, 0x04}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(VmErrTest, TrapBitsWithoutTheExceptFlagDoNothing) {
  reset(0x0202 | ZORP_VM_TRAP_MASK);
  const FpException raised = trap_of(ZORP_VM_STATUS_SING);
  const uint16_t flags = x87_flags();
  x87_reset();
  EXPECT_EQ(raised, FpException::kNone);
  EXPECT_EQ(flags, 0);
  EXPECT_EQ(errno, 34);
}

TEST_F(VmErrTest, OtherX87StateSurvivesTheReport) {
  reset(ZORP_VM_ERRMODE_EXCEPT | ZORP_VM_HA);
  // Rounding toward zero and 53-bit precision in the control word; a value on the x87 stack.
  x87_set(0x0E7F & ~0x0100, 0);
  const uint16_t control_before = fpu::x87_get_control();
  long double kept = 1.0L / 3.0L;
  __asm__ volatile("fldt %0" : : "m"(kept));
  double a[1] = {1.0}, r[1] = {2.0};
  vm::report(ZORP_VM_STATUS_OVERFLOW, 0, a, a, r, r, "vdTrap");
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
