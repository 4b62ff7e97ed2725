// Load and unload hooks on POSIX.
//
// The library's constructor is the process-attach notification and its destructor the
// process-detach one. A destructor runs in two situations that need different handling:
// dlclose (the library goes away while the process and its other threads live on: free
// everything) and process exit (other threads may still be inside kernels: touch nothing).
// glibc runs the exit handlers registered with __cxa_atexit before it runs the destructors of
// shared objects, so a handler registered without a DSO tells the two apart: it marks "the
// process is exiting" before our destructor runs. The handler is libc's own time(), writing
// into a page of its own that is never unmapped, so that the handler stays harmless after an
// unload (the price: one page of address space per load of the library). It is registered at load and once more at the first thread record made after
// load: a library loaded at start-up runs its constructor before the C runtime registers its
// own finaliser, and only a handler registered later runs before that finaliser.
#include <dlfcn.h>
#include <sys/mman.h>

#include <atomic>
#include <cstdlib>
#include <ctime>

#include "platform/platform.h"

extern "C" int __cxa_atexit(void (*fn)(void*), void* arg, void* dso);

namespace zorp::platform {

namespace {
std::atomic<time_t*> g_exit_sentinel{nullptr};
std::atomic<bool> g_late_registration_done{false};

void register_exit_sentinel() {
#if defined(__SANITIZE_THREAD__)
  // ThreadSanitizer's interceptor calls DSO-less exit handlers without their argument, so the
  // sentinel cannot work there; such builds treat every destructor call as an unload, which is
  // harmless for test programs that join their threads before exiting.
  return;
#endif
  time_t* s = g_exit_sentinel.load();
  if (!s) return;
  // time() ignores what the handler calling convention passes beyond its one pointer.
  __cxa_atexit(reinterpret_cast<void (*)(void*)>(reinterpret_cast<void (*)()>(&time)), s, nullptr);
}

bool process_exiting() {
  time_t* s = g_exit_sentinel.load();
  return s && *s != 0;
}

__attribute__((constructor)) void on_load() {
  void* page = mmap(nullptr, sizeof(time_t), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  g_exit_sentinel.store(page == MAP_FAILED ? nullptr : static_cast<time_t*>(page));
  register_exit_sentinel();
  if (!zorp::lifecycle::process_attach()) {
    // A refused load: there is no way to fail dlopen from a constructor, so the library stays
    // mapped but every entry will find no thread state and end the process as documented.
  }
}

__attribute__((destructor)) void on_unload() { zorp::lifecycle::process_detach(!process_exiting()); }
}  // namespace

// Called from the record-creation path (see the comment at the top of the file).
void note_first_use_after_load() {
  bool expected = false;
  if (g_late_registration_done.compare_exchange_strong(expected, true)) register_exit_sentinel();
}

ErrnoEntry find_errno_entry() {
  // glibc exports the per-thread errno address under this name.
  return reinterpret_cast<ErrnoEntry>(dlsym(RTLD_DEFAULT, "__errno_location"));
}

}  // namespace zorp::platform
