// Loading the kernel library for the checked interface.
//
// Why by name at run time and not as a link-time dependency: the kernel library is compiled for
// AVX-512, and its load-time constructors are kernel code like the rest. A program linked against
// it dies with SIGILL before main on a processor without AVX-512, before any check could speak.
// This library is built for the baseline, asks the processor first (processor.cpp), and only then
// loads the kernel library, the way a host does, so that such a processor gets
// ZORP_ERROR_NO_AVX512 from the first call instead.
//
// Where: the kernel library's file beside this library's own file first (an installed tree keeps
// them in one folder), then the loader's search path. The library stays loaded for the life of
// the process: other threads may be inside it at any time.
#include "api/loader.h"

#include <atomic>
#include <mutex>
#include <string>

#include "zorp/zorp.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#define ZORP_API_STR_(x) #x
#define ZORP_API_STR(x) ZORP_API_STR_(x)

namespace zorp::api {
namespace {

#if defined(_WIN32)
using Handle = HMODULE;
std::string own_folder() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCSTR>(&own_folder), &self))
    return {};
  char path[MAX_PATH];
  const DWORD len = GetModuleFileNameA(self, path, MAX_PATH);
  if (len == 0 || len == MAX_PATH) return {};
  std::string s(path, len);
  const size_t cut = s.find_last_of("\\/");
  return cut == std::string::npos ? std::string{} : s.substr(0, cut + 1);
}
Handle open_library(const std::string& file) { return LoadLibraryA(file.c_str()); }
void* find_entry(Handle h, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(h, name));
}
#else
using Handle = void*;
std::string own_folder() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&own_folder), &info) || !info.dli_fname) return {};
  std::string s(info.dli_fname);
  const size_t cut = s.rfind('/');
  return cut == std::string::npos ? std::string{} : s.substr(0, cut + 1);
}
Handle open_library(const std::string& file) { return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL); }
void* find_entry(Handle h, const char* name) { return dlsym(h, name); }
#endif

constexpr const char* kKernelFile = ZORP_KERNEL_FILE;

// The three slot names of every row, LA, HA, EP, as the catalogue derives them.
#define ZORP_API_SLOT_NAMES(t, F)                                           \
  {ZORP_API_STR(ZORP_VM_CAT3(_fenn, t##F, ZORP_VM_LA_##t)), "_fenn" #t #F "_HA", \
   ZORP_API_STR(ZORP_VM_CAT3(_fenn, t##F, ZORP_VM_EP_##t))},
constexpr const char* kVmNames[kVmRows][3] = {
#define VM_FN(t, F, shape, share, la, ha, ep, built) ZORP_API_SLOT_NAMES(t, F)
#include "zorp/vm_catalogue.def"
#undef VM_FN
};
// The strided twins' names; pack and unpack have none (their rows stay null).
#define ZORP_API_STRIDED_NAMES(t, F, shape) ZORP_API_STRIDED_##shape(t, F)
#define ZORP_API_STRIDED_PACK(t, F) {nullptr, nullptr, nullptr},
#define ZORP_API_STRIDED_UNPACK(t, F) {nullptr, nullptr, nullptr},
#define ZORP_API_STRIDED_ANY(t, F) ZORP_API_SLOT_NAMES(t, F##I)
#define ZORP_API_STRIDED_A1R1 ZORP_API_STRIDED_ANY
#define ZORP_API_STRIDED_A2R1 ZORP_API_STRIDED_ANY
#define ZORP_API_STRIDED_A1R2 ZORP_API_STRIDED_ANY
#define ZORP_API_STRIDED_VS ZORP_API_STRIDED_ANY
#define ZORP_API_STRIDED_LINFRAC ZORP_API_STRIDED_ANY
#define ZORP_API_STRIDED_C1R1R ZORP_API_STRIDED_ANY
#define ZORP_API_STRIDED_R1C1 ZORP_API_STRIDED_ANY
constexpr const char* kVmStridedNames[kVmRows][3] = {
#define VM_FN(t, F, shape, share, la, ha, ep, built) ZORP_API_STRIDED_NAMES(t, F, shape)
#include "zorp/vm_catalogue.def"
#undef VM_FN
};

struct Loaded {
  Kernel k;
  void* vm[2][kVmRows][3];  // contiguous, strided
};

Loaded g_loaded;
std::atomic<bool> g_ready{false};
std::mutex g_mutex;

// Finds every entry; false when one is missing (a kernel library of another version).
bool resolve(Handle h, Loaded& l) {
  bool ok = true;
#define ZORP_API_FIND(name)                                                       \
  l.k.name = reinterpret_cast<decltype(&::name)>(find_entry(h, #name));          \
  ok = ok && l.k.name != nullptr;
  ZORP_API_KERNEL_ENTRIES(ZORP_API_FIND)
#undef ZORP_API_FIND
  for (int row = 0; row < kVmRows; ++row)
    for (int slot = 0; slot < 3; ++slot) {
      l.vm[0][row][slot] = find_entry(h, kVmNames[row][slot]);
      ok = ok && l.vm[0][row][slot] != nullptr;
      if (const char* name = kVmStridedNames[row][slot]) {
        l.vm[1][row][slot] = find_entry(h, name);
        ok = ok && l.vm[1][row][slot] != nullptr;
      }
    }
  return ok;
}

int32_t load() {
  if (!processor_runs_kernels()) return ZORP_ERROR_NO_AVX512;
  Handle h = open_library(own_folder() + kKernelFile);
  if (!h) h = open_library(kKernelFile);
  if (!h || !resolve(h, g_loaded)) return ZORP_ERROR_NO_LIBRARY;
  return 0;
}

}  // namespace

int32_t kernel(const Kernel** k) {
  if (!g_ready.load(std::memory_order_acquire)) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_ready.load(std::memory_order_relaxed)) {
      if (const int32_t status = load(); status != 0) return status;
      g_ready.store(true, std::memory_order_release);
    }
  }
  *k = &g_loaded.k;
  return 0;
}

void* vm_entry(int row, int32_t accuracy, bool strided) { return g_loaded.vm[strided][row][accuracy - 1]; }

}  // namespace zorp::api

extern "C" ZORP_CHECKED int32_t zorp_ready(void) {
  const zorp::api::Kernel* k;
  return zorp::api::kernel(&k);
}
