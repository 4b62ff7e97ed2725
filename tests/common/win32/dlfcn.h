// The few dlfcn calls the tests and the tour make, over LoadLibrary and GetProcAddress, so that
// they load the kernel library by file name and find every entry by name on Windows as well.
// Only on the include path of the Windows build.
#pragma once
#include <windows.h>

#include <cstdio>
#include <string>

#define RTLD_LAZY 0x1
#define RTLD_NOW 0x2
#define RTLD_NOLOAD 0x4
#define RTLD_LOCAL 0
#define RTLD_GLOBAL 0

namespace zorp_dlfcn_detail {
inline DWORD& last_error() {
  static thread_local DWORD e = 0;
  return e;
}
inline void note(bool ok) { last_error() = ok ? 0 : GetLastError(); }
}  // namespace zorp_dlfcn_detail

// RTLD_NOLOAD finds a module that is already loaded (and counts the reference, as dlopen does).
inline void* dlopen(const char* file, int flags) {
  std::string path(file ? file : "");
  for (char& c : path)
    if (c == '/') c = '\\';
  HMODULE h = nullptr;
  if (flags & RTLD_NOLOAD) {
    // By the path given, else by file name among the loaded modules.
    const std::string name = path.substr(path.find_last_of('\\') + 1);
    if (!GetModuleHandleExA(0, path.c_str(), &h) && !GetModuleHandleExA(0, name.c_str(), &h)) h = nullptr;
  } else {
    // The DLLs it imports are searched in its own folder, then in the program's folder (where
    // the host core is) and the system's.
    const bool has_folder = path.find('\\') != std::string::npos;
    h = LoadLibraryExA(path.c_str(), nullptr,
                       has_folder ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS : 0);
  }
  zorp_dlfcn_detail::note(h != nullptr);
  return reinterpret_cast<void*>(h);
}

inline void* dlsym(void* handle, const char* name) {
  FARPROC p = GetProcAddress(reinterpret_cast<HMODULE>(handle), name);
  zorp_dlfcn_detail::note(p != nullptr);
  return reinterpret_cast<void*>(p);
}

inline int dlclose(void* handle) {
  const bool ok = FreeLibrary(reinterpret_cast<HMODULE>(handle)) != 0;
  zorp_dlfcn_detail::note(ok);
  return ok ? 0 : -1;
}

// The last failure of this thread as text, then null until the next failure.
inline char* dlerror() {
  static thread_local char text[64];
  DWORD& e = zorp_dlfcn_detail::last_error();
  if (e == 0) return nullptr;
  std::snprintf(text, sizeof text, "Windows error %lu", static_cast<unsigned long>(e));
  e = 0;
  return text;
}
