// The private heap on Windows is a heap of its own (HeapCreate). Blocks are freed one by one
// with HeapFree, and HeapDestroy returns every block at once, which is how the records of all
// threads disappear together when the library is unloaded. A growable heap (maximum size 0)
// serialises its own calls, so no lock is needed here; its blocks are 16-byte aligned on x64.
#include <windows.h>

#include "platform/fail_countdown.h"
#include "platform/platform.h"

namespace zorp::platform {

namespace {
FailCountdown g_fail;
HANDLE handle_of(Heap* heap) { return reinterpret_cast<HANDLE>(heap); }
}  // namespace

Heap* heap_create(size_t initial_bytes) { return reinterpret_cast<Heap*>(HeapCreate(0, initial_bytes, 0)); }

void* heap_alloc(Heap* heap, size_t bytes) {
  if (!heap || g_fail.fails_now()) return nullptr;
  return HeapAlloc(handle_of(heap), 0, bytes ? bytes : 1);
}

void heap_free(Heap* heap, void* block) {
  if (heap && block) HeapFree(handle_of(heap), 0, block);
}

void heap_destroy(Heap* heap) {
  if (heap) HeapDestroy(handle_of(heap));
}

void heap_fail_allocation(int64_t k) { g_fail.arm(k); }

}  // namespace zorp::platform
