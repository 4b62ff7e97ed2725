// Loading the kernel library the way a host does: by file name, with every entry found by name.
#pragma once
#include <dlfcn.h>

#include <string>

namespace zorp::test {

inline std::string kernel_library_path() { return std::string(ZORP_LIB_DIR) + "/" ZORP_KERNEL_FILE; }

// dlsym with the result cast to the entry's type; null when the name is not exported.
template <typename Fn>
Fn entry(void* lib, const char* name) {
  return reinterpret_cast<Fn>(dlsym(lib, name));
}

// The address a host finds for `name` in a library this program has loaded (file name
// ZORP_KERNEL_FILE or ZORP_CORE_FILE). Compare function addresses with this, not with `&f`:
// on Windows a program's `&f` of a DLL's function is the program's own import thunk.
inline void* exported_address(const char* library_file, const char* name) {
  void* lib = dlopen(library_file, RTLD_NOW | RTLD_NOLOAD);
  if (!lib) return nullptr;
  void* p = dlsym(lib, name);
  dlclose(lib);
  return p;
}

}  // namespace zorp::test
