// What the pieces of the Windows platform layer tell each other.
#pragma once

namespace zorp::platform {
// DLL_THREAD_DETACH (load.cpp) hands the exiting thread's record to the library (tls.cpp knows
// the index whose values are thread records).
void notify_thread_detach();
}  // namespace zorp::platform
