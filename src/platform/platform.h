// The platform layer: everything the library needs from the operating system, behind one
// small interface. posix/ implements it for Linux; win32/ will implement it for Windows as a
// build option, so nothing outside this folder may use pthreads, mmap or dlfcn directly.
#pragma once
#include <cstddef>
#include <cstdint>

namespace zorp::platform {

// ---- thread-local storage ------------------------------------------------------------
// An index names one pointer-sized slot per thread. kInvalidTls is the "no index" value.
using TlsIndex = uint32_t;
inline constexpr TlsIndex kInvalidTls = 0xFFFFFFFFu;
bool tls_alloc(TlsIndex* index);  // false when the system has no free index
void tls_free(TlsIndex index);
void* tls_get(TlsIndex index);
bool tls_set(TlsIndex index, void* value);

// ---- private heap ----------------------------------------------------------------------
// A growable heap whose blocks can be freed one by one or all at once by destroying it.
struct Heap;
Heap* heap_create(size_t initial_bytes);
void* heap_alloc(Heap* heap, size_t bytes);  // 16-byte aligned; null when out of memory
void heap_free(Heap* heap, void* block);
void heap_destroy(Heap* heap);

// Test hook: the k-th heap allocation from now fails (k <= 0: off). Lets tests reach the
// paths that report a thread record that cannot be set up.
void heap_fail_allocation(int64_t k);

// Called once a process has started running code that uses the library (see posix/load.cpp).
void note_first_use_after_load();

// ---- runtime error number ------------------------------------------------------------
// The C runtime's own errno entry (returns the calling thread's errno address), looked up by
// name the way a host finds it; null when the runtime has none.
using ErrnoEntry = int* (*)();
ErrnoEntry find_errno_entry();

}  // namespace zorp::platform

// ---- notifications the platform delivers to the library -------------------------------
// Implemented by the library (vector-math state); called by the platform layer from its load
// and unload hooks. process_attach returns false to refuse the load.
namespace zorp::lifecycle {
bool process_attach();
void thread_detach(void* tls_value);
void process_detach(bool unloading);
}  // namespace zorp::lifecycle
