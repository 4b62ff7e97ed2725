// The library sources this white-box test compiles in (the load hooks stay out).
#include "platform/posix/heap.cpp"
#include "platform/posix/tls.cpp"
#include "vm/state/mode.cpp"
#include "vm/state/state.cpp"

namespace zorp::platform {
// The load hooks normally provide this; the test has none.
void note_first_use_after_load() {}
}  // namespace zorp::platform
