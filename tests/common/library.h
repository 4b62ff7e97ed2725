// Loading the kernel library the way a host does: by file name, with every entry found by name.
#pragma once
#include <dlfcn.h>

#include <string>

namespace zorp::test {

inline std::string kernel_library_path() { return std::string(ZORP_LIB_DIR) + "/libzorp_fenn_avx512.so.2"; }

// dlsym with the result cast to the entry's type; null when the name is not exported.
template <typename Fn>
Fn entry(void* lib, const char* name) {
  return reinterpret_cast<Fn>(dlsym(lib, name));
}

}  // namespace zorp::test
