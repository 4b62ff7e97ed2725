// Load and unload hooks on Windows: the library's DllMain.
//
// Windows says everything the POSIX hooks must work out for themselves: DLL_PROCESS_ATTACH can
// refuse the load (LoadLibrary then fails, after a DLL_PROCESS_DETACH that lets the library
// free what it had set up), DLL_THREAD_DETACH arrives on every exiting thread, and
// DLL_PROCESS_DETACH carries a null reserved pointer for FreeLibrary and a non-null one at
// process exit, when other threads have been stopped wherever they were.
//
// DllMain runs under the loader lock: what it calls here (the TLS slot, the private heap, the
// host core's lock and, on a refused load, its message) loads no module and waits for no
// other thread.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace zorp::platform {

// The unload flag comes with the detach notification; nothing needs noting at first use.
void note_first_use_after_load() {}

// The runtime library that holds _errno, searched by module name in this order: the versioned
// runtimes first, then the system's MSVCRT.DLL, then the debug builds.
ErrnoEntry find_errno_entry() {
  static const char* const kRuntimes[] = {
      "MSVCR100.DLL",  "MSVCR90.DLL",  "MSVCR80.DLL",  "MSVCR71.DLL",  "MSVCR70.DLL",  "MSVCRT.DLL",
      "MSVCR100D.DLL", "MSVCR90D.DLL", "MSVCR80D.DLL", "MSVCR71D.DLL", "MSVCR70D.DLL", "MSVCRTD.DLL"};
  for (const char* name : kRuntimes)
    if (HMODULE runtime = GetModuleHandleA(name))
      return reinterpret_cast<ErrnoEntry>(reinterpret_cast<void*>(GetProcAddress(runtime, "_errno")));
  return nullptr;
}

}  // namespace zorp::platform

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      return zorp::lifecycle::process_attach() ? TRUE : FALSE;
    case DLL_THREAD_DETACH:
      zorp::platform::notify_thread_detach();
      return TRUE;
    case DLL_PROCESS_DETACH:
      zorp::lifecycle::process_detach(/*unloading=*/reserved == nullptr);
      return TRUE;
    default:
      return TRUE;
  }
}
