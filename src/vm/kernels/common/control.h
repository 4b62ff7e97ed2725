// The floating-point control state a kernel pins for the duration of a call.
//
// On entry the vector control register gets all exceptions masked and round to nearest, with
// flush-to-zero and denormals-are-zero exactly when the thread's mode asks for flushing; the
// caller's flags stay. The x87 unit is guarded once, before the first scalar callout, because
// callouts may use x87 instructions (long double arithmetic) whose unmasked exceptions would
// otherwise trap inside the kernel. On exit the caller's control bits come back and the
// exception flags raised during the call are added to the caller's.
#pragma once
#include <cstdint>

#include "platform/fpu.h"
#include "zorp/vm.h"

namespace zorp::vm {

inline constexpr uint32_t kMxcsrTargetFlush = 0x9FC0;  // masked, nearest, FTZ + DAZ
inline constexpr uint32_t kMxcsrTargetPlain = 0x1F80;  // masked, nearest, no flushing
inline constexpr uint32_t kMxcsrControlBits = 0xFFC0;
inline constexpr uint16_t kX87ExceptionMasks = 0x3F;

inline bool flushing(uint32_t mode) { return (mode & ZORP_VM_DENORMAL_MASK) == ZORP_VM_FTZDAZ_ON; }
inline bool no_error_mode(uint32_t mode) { return (mode & ZORP_VM_ERRMODE_MASK) == ZORP_VM_ERRMODE_NOERR; }

class ControlGuard {
 public:
  explicit ControlGuard(uint32_t mode) {
    const uint32_t target = flushing(mode) ? kMxcsrTargetFlush : kMxcsrTargetPlain;
    entry_mxcsr_ = fpu::get_mxcsr();
    if ((entry_mxcsr_ & kMxcsrControlBits) != target) {
      fpu::set_mxcsr((entry_mxcsr_ & 0xFFFF003Fu) | target);
      restore_mxcsr_ = true;
    }
  }
  ControlGuard(const ControlGuard&) = delete;
  ControlGuard& operator=(const ControlGuard&) = delete;

  // Before the first callout of a call; later calls do nothing.
  void guard_x87() {
    if (x87_checked_) return;
    x87_checked_ = true;
    entry_x87_ = fpu::x87_get_control();
    if ((entry_x87_ & kX87ExceptionMasks) != kX87ExceptionMasks) {
      __asm__ volatile("fnclex");
      fpu::x87_set_control(entry_x87_ | kX87ExceptionMasks);
      restore_x87_ = true;
    }
  }

  ~ControlGuard() {
    if (restore_x87_) fpu::x87_set_control(entry_x87_);
    if (restore_mxcsr_) fpu::set_mxcsr(entry_mxcsr_ | (fpu::get_mxcsr() & fpu::kMxcsrFlags));
  }

 private:
  uint32_t entry_mxcsr_ = 0;
  uint16_t entry_x87_ = 0;
  bool restore_mxcsr_ = false;
  bool x87_checked_ = false;
  bool restore_x87_ = false;
};

}  // namespace zorp::vm
