// What the load, unload and thread-exit tests look at from outside the library: the thread
// record it keeps in its thread-local slot, and whether that memory is still in use or mapped.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#endif

#include "library.h"

namespace zorp::test {

using GetMode = uint32_t (*)();
using SetMode = uint32_t (*)(uint32_t);

// A copy of the library under a name of its own, so that loading it makes a fresh instance
// that no other test holds.
inline std::string private_copy(const char* tag) {
#if defined(_WIN32)
  const unsigned long pid = GetCurrentProcessId();
#else
  const unsigned long pid = static_cast<unsigned long>(getpid());
#endif
  const std::string dst = testing::TempDir() + "/zorp_" + tag + "_" + std::to_string(pid) + ".lib";
  std::filesystem::copy_file(kernel_library_path(), dst, std::filesystem::copy_options::overwrite_existing);
  return dst;
}

// The calling thread's value in every thread-local slot (pthread keys; TLS indices on Windows).
inline std::vector<void*> thread_slots() {
#if defined(_WIN32)
  const DWORD saved = GetLastError();
  std::vector<void*> v(TLS_MINIMUM_AVAILABLE + 1024);  // the 64 slots and the expansion slots
  for (DWORD i = 0; i < v.size(); ++i) v[i] = TlsGetValue(i);
  SetLastError(saved);
#else
  std::vector<void*> v(PTHREAD_KEYS_MAX);
  for (size_t k = 0; k < v.size(); ++k) v[k] = pthread_getspecific(static_cast<pthread_key_t>(k));
#endif
  return v;
}

// The record the library makes when the calling thread, new to it, calls `first_call`: the one
// slot that was empty before and holds a value after. Null (and a test failure) otherwise.
template <typename Fn>
void* record_made_by(Fn first_call) {
  const std::vector<void*> before = thread_slots();
  first_call();
  const std::vector<void*> after = thread_slots();
  void* found = nullptr;
  int changed = 0;
  for (size_t i = 0; i < before.size(); ++i)
    if (before[i] != after[i]) {
      ++changed;
      found = after[i];
    }
  EXPECT_EQ(changed, 1) << "the first call should fill exactly one thread-local slot";
  return changed == 1 ? found : nullptr;
}

// True while the page holding p belongs to the process.
inline bool is_mapped(const void* p) {
#if defined(_WIN32)
  MEMORY_BASIC_INFORMATION info;
  return VirtualQuery(p, &info, sizeof info) == sizeof info && info.State == MEM_COMMIT;
#else
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  unsigned char resident;
  void* start = reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(p) & ~(page - 1));
  return !(mincore(start, 1, &resident) == -1 && errno == ENOMEM);
#endif
}

#if defined(_WIN32)
// True when some heap of the process has p as an allocated block.
inline bool is_heap_block_in_use(const void* p) {
  std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
  heaps.resize(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
  for (HANDLE h : heaps) {
    PROCESS_HEAP_ENTRY e{};
    bool in_use = false, found = false;
    HeapLock(h);
    while (!found && HeapWalk(h, &e))
      if (e.lpData == p) {
        found = true;
        in_use = (e.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0;
      }
    HeapUnlock(h);
    if (found) return in_use;
  }
  return false;
}
#endif

}  // namespace zorp::test
