// The few operating-system calls of the host core, in one place: aligned blocks, the number of
// online cores, the thread pool's lifetime and the fork hook. Linux uses POSIX; the Windows build (mingw-w64) has neither
// posix_memalign nor sysconf nor fork.
#pragma once
#include <cstddef>
#include <cstdlib>

#if defined(_WIN32)
#include <malloc.h>
#include <windows.h>
#else
#include <pthread.h>
#include <unistd.h>
#endif

namespace zorp::core_os {

// A block of `size` bytes aligned to `align` (a power of two, at least the pointer size);
// null when there is no memory. Free it with aligned_free only.
inline void* aligned_alloc(size_t size, size_t align) {
#if defined(_WIN32)
  return _aligned_malloc(size, align);
#else
  void* p = nullptr;
  return posix_memalign(&p, align, size) == 0 ? p : nullptr;
#endif
}

inline void aligned_free(void* p) {
#if defined(_WIN32)
  _aligned_free(p);
#else
  std::free(p);
#endif
}

inline long online_cores() {
#if defined(_WIN32)
  return static_cast<long>(GetActiveProcessorCount(ALL_PROCESSOR_GROUPS));
#else
  return sysconf(_SC_NPROCESSORS_ONLN);
#endif
}

// The thread pool's workers run this library's code for as long as the process lives. On
// Windows the library is therefore pinned when the pool starts: unloading it would mean joining
// the workers from DllMain, under the loader lock that each exiting thread needs. Windows also
// ends every other thread before the libraries see process exit (possibly inside the pool's
// critical section), so the pool is left alone there; POSIX runs the exit handlers while the
// workers still live, and they are stopped and joined.
#if defined(_WIN32)
inline constexpr bool kJoinWorkersAtExit = false;
inline void keep_library_loaded() {
  HMODULE self;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                     reinterpret_cast<LPCSTR>(&keep_library_loaded), &self);
}
#else
inline constexpr bool kJoinWorkersAtExit = true;
inline void keep_library_loaded() {}
#endif

// Runs `fn` in the child after a fork. Windows has no fork, so nothing is registered there.
inline void at_fork_child(void (*fn)()) {
#if defined(_WIN32)
  (void)fn;
#else
  pthread_atfork(nullptr, nullptr, fn);
#endif
}

}  // namespace zorp::core_os
