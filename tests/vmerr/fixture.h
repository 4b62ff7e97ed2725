// Shared set-up of the error-machinery tests: the thread record put into a known state, a
// callback whose behaviour each test chooses, and the x87 unit read and reset.
#pragma once
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/fpu.h"
#include "vm/error/report.h"
#include "vm/state/thread_state.h"
#include "vmerr/printed.h"
#include "zorp/vm.h"

namespace zorp::test {

// Every record the callback saw, as it arrived; then `callback_body` decides what it does.
inline std::vector<ZorpVmErrorRecord>& seen_records() {
  static std::vector<ZorpVmErrorRecord> v;
  return v;
}
inline std::function<int32_t(ZorpVmErrorRecord*)>& callback_body() {
  static std::function<int32_t(ZorpVmErrorRecord*)> f;
  return f;
}
inline int32_t recording_callback(ZorpVmErrorRecord* rec) {
  seen_records().push_back(*rec);
  return callback_body() ? callback_body()(rec) : 0;
}

inline void x87_reset() { __asm__ volatile("fninit"); }
inline uint16_t x87_flags() { return fpu::x87_get_status() & 0x3F; }
inline uint16_t x87_masks() { return fpu::x87_get_control() & 0x3F; }

class VmErrTest : public ::testing::Test {
 protected:
  void SetUp() override { reset(ZORP_VM_DEFAULT_MODE); }
  void TearDown() override { reset(ZORP_VM_DEFAULT_MODE); }

  // Sets the whole mode word directly: SetMode cannot empty a group (the trap bits, say), and
  // each test needs an exact mode.
  static void reset(uint32_t mode, ZorpVmErrorCallback cb = nullptr) {
    vm::ThreadState* s = vm::thread_state();
    s->mode = mode;
    s->status = 0;
    s->callback = cb;
    s->input_vector = nullptr;
    errno = 0;
    printed().clear();
    seen_records().clear();
    callback_body() = nullptr;
    x87_reset();
  }
  static int32_t status() { return vm::thread_state()->status; }
};

}  // namespace zorp::test
