// The thread record's fast path: one per-thread pointer that kernels read before they ask the
// thread-local-storage slot. The slot stays the owner (its detach notification frees the
// record); this word only saves a kernel call the lookup.
#pragma once

namespace zorp::platform {

#if defined(_WIN32)
// mingw-w64 has no native thread-local variables: GCC emulates them with a lookup of its own
// (a call per access, with storage that the threads runtime frees before DLL_THREAD_DETACH
// reaches the library, so touching it there would allocate it again). Reading the TLS slot
// costs no more, so Windows keeps no separate copy.
inline void* thread_cache() { return nullptr; }
inline void set_thread_cache(void*) {}
#else
// ELF TLS in the TLS-descriptor dialect (see posix/tls.cpp).
extern __thread void* t_thread_cache;
inline void* thread_cache() { return t_thread_cache; }
inline void set_thread_cache(void* value) { t_thread_cache = value; }
#endif

}  // namespace zorp::platform
