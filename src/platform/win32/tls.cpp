// Thread-local storage on Windows: an index is a TLS slot. Windows runs no destructor on a
// slot's values; the thread-exit notification is DllMain's DLL_THREAD_DETACH (load.cpp), which
// asks this file for the exiting thread's value of the index the library allocated.
#include <windows.h>

#include <atomic>

#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace zorp::platform {

namespace {
// The index whose values are thread records. The library holds one index at a time (it frees
// it at unload), which is all the detach notification needs to know.
std::atomic<TlsIndex> g_record_index{kInvalidTls};
}  // namespace

// TLS_OUT_OF_INDEXES and kInvalidTls are the same value, so a valid index never looks invalid.
static_assert(TLS_OUT_OF_INDEXES == kInvalidTls);

bool tls_alloc(TlsIndex* index) {
  const DWORD i = TlsAlloc();
  if (i == TLS_OUT_OF_INDEXES) return false;
  *index = i;
  g_record_index.store(i, std::memory_order_release);
  return true;
}

void tls_free(TlsIndex index) {
  TlsIndex expected = index;
  g_record_index.compare_exchange_strong(expected, kInvalidTls);
  TlsFree(index);
}

// TlsGetValue clears the thread's last-error value when it succeeds; a kernel call must not
// change what the caller's next GetLastError returns, so the value is put back.
void* tls_get(TlsIndex index) {
  const DWORD saved = GetLastError();
  void* value = TlsGetValue(index);
  SetLastError(saved);
  return value;
}

bool tls_set(TlsIndex index, void* value) { return TlsSetValue(index, value) != 0; }

// As on POSIX, the slot is cleared before the library sees the value.
void notify_thread_detach() {
  const TlsIndex index = g_record_index.load(std::memory_order_acquire);
  if (index == kInvalidTls) return;
  if (void* value = tls_get(index)) {
    TlsSetValue(index, nullptr);
    zorp::lifecycle::thread_detach(value);
  }
}

}  // namespace zorp::platform
