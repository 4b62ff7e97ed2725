// The library sources this white-box test compiles in (the load hooks stay out).
#if defined(_WIN32)
#include "platform/win32/heap.cpp"
#include "platform/win32/tls.cpp"
#else
#include "platform/posix/heap.cpp"
#include "platform/posix/tls.cpp"
#endif
#include "vm/state/mode.cpp"
#include "vm/state/state.cpp"

namespace zorp::platform {
// The load hooks normally provide this; the test has none.
void note_first_use_after_load() {}
}  // namespace zorp::platform
