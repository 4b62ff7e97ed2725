// The error channels a report may go through after the callback: the C runtime's errno, the
// host's numbered messages on stderr, and a hardware floating-point exception. Each acts only
// when its flag is set in the thread's mode as read at the moment it runs, so a callback that
// changed the mode is obeyed by the channels that follow it.
#pragma once
#include <cstdint>

#include "platform/platform.h"
#include "zorp/vm.h"

namespace zorp::vm {

// What a status means in each channel. Codes outside -2..4 are "unknown".
int errno_value_of(int32_t status);     // 0, 33 (EDOM), 34 (ERANGE), 22, 13, 14
uint16_t x87_flag_of(int32_t status);   // x87 status-word exception flag, 0 for none
int message_code_of(int32_t status);    // 748..754, 0 for status 0

// Runs errno, stderr and except in this order, each if its mode flag is set.
void run_channels(const ZorpVmErrorRecord& rec);

// The runtime's errno entry, searched for once per process; null when the runtime has none.
platform::ErrnoEntry runtime_errno_entry();

}  // namespace zorp::vm
