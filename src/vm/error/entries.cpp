// The error status, error callback and interface input vector entries. Each acts on the
// calling thread's record only.
#include "vm/state/thread_state.h"
#include "zorp/vm.h"

using zorp::vm::mode_of;
using zorp::vm::thread_state;

namespace {

// The callback flag goes through SetMode rather than straight into the record, so it obeys the
// same merge as a host's own mode change: clearing it when it is the only error flag would
// leave the error group empty, and an empty group in a SetMode argument means "keep", so the
// flag then stays set (with no callback it has nothing to call).
void follow_callback(zorp::vm::ThreadState* s, ZorpVmErrorCallback callback) {
  uint32_t mode = mode_of(s);
  if (callback) mode |= ZORP_VM_ERRMODE_CALLBACK;
  else mode &= ~ZORP_VM_ERRMODE_CALLBACK;
  zorp_fenn_kernel_SetMode(mode);
}

}  // namespace

extern "C" {

ZORP_API int32_t zorp_fenn_kernel_SetErrStatus(int32_t status) {
  zorp::vm::ThreadState* s = thread_state();
  const int32_t old = s->status;
  s->status = status;
  return old;
}

ZORP_API int32_t zorp_fenn_kernel_GetErrStatus(void) { return thread_state()->status; }

ZORP_API int32_t zorp_fenn_kernel_ClearErrStatus(void) {
  zorp::vm::ThreadState* s = thread_state();
  const int32_t old = s->status;
  s->status = ZORP_VM_STATUS_OK;
  return old;
}

ZORP_API ZorpVmErrorCallback zorp_fenn_kernel_SetErrorCallBack(ZorpVmErrorCallback callback) {
  zorp::vm::ThreadState* s = thread_state();
  const ZorpVmErrorCallback old = s->callback;
  s->callback = callback;
  follow_callback(s, callback);
  return old;
}

ZORP_API ZorpVmErrorCallback zorp_fenn_kernel_GetErrorCallBack(void) {
  return thread_state()->callback;
}

ZORP_API ZorpVmErrorCallback zorp_fenn_kernel_ClearErrorCallBack(void) {
  zorp::vm::ThreadState* s = thread_state();
  const ZorpVmErrorCallback old = s->callback;
  s->callback = nullptr;
  follow_callback(s, nullptr);
  return old;
}

ZORP_API const void* zorp_fenn_kernel_SetInterfInputVectorPointer(const void* start) {
  thread_state()->input_vector = const_cast<void*>(start);
  return start;
}

// The short names are second names of the same entries.
ZORP_API int32_t _fennSetErrStatus(int32_t) __attribute__((alias("zorp_fenn_kernel_SetErrStatus")));
ZORP_API int32_t _fennGetErrStatus(void) __attribute__((alias("zorp_fenn_kernel_GetErrStatus")));
ZORP_API int32_t _fennClearErrStatus(void)
    __attribute__((alias("zorp_fenn_kernel_ClearErrStatus")));
ZORP_API ZorpVmErrorCallback _fennSetErrorCallBack(ZorpVmErrorCallback)
    __attribute__((alias("zorp_fenn_kernel_SetErrorCallBack")));
ZORP_API ZorpVmErrorCallback _fennGetErrorCallBack(void)
    __attribute__((alias("zorp_fenn_kernel_GetErrorCallBack")));
ZORP_API ZorpVmErrorCallback _fennClearErrorCallBack(void)
    __attribute__((alias("zorp_fenn_kernel_ClearErrorCallBack")));
ZORP_API const void* _fennSetInterfInputVectorPointer(const void*)
    __attribute__((alias("zorp_fenn_kernel_SetInterfInputVectorPointer")));
}
