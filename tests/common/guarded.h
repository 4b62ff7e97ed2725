// Arrays that end (or start) right at an inaccessible page, so that a kernel reading or writing
// one element too far faults at once instead of passing unnoticed.
#pragma once
#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace zorp::test {

template <typename T>
class GuardedArray {
 public:
  // `at_end`: the last element touches the guard page; otherwise the first one follows it.
  explicit GuardedArray(size_t n, bool at_end = true) : n_(n) {
    const size_t page = page_size();
    const size_t bytes = n * sizeof(T);
    data_pages_ = (bytes + page - 1) / page + 1;
    total_ = (data_pages_ + 2) * page;
    base_ = map_with_guards(total_, page);
    char* lo = base_ + page;
    char* hi = base_ + (data_pages_ + 1) * page;
    data_ = reinterpret_cast<T*>(at_end ? hi - bytes : lo);
  }
  ~GuardedArray() {
#if defined(_WIN32)
    VirtualFree(base_, 0, MEM_RELEASE);
#else
    munmap(base_, total_);
#endif
  }
  GuardedArray(const GuardedArray&) = delete;
  GuardedArray& operator=(const GuardedArray&) = delete;

  T* data() { return data_; }
  T& operator[](size_t i) { return data_[i]; }
  size_t size() const { return n_; }

 private:
  static size_t page_size() {
#if defined(_WIN32)
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
#else
    return static_cast<size_t>(sysconf(_SC_PAGESIZE));
#endif
  }
  // `total` bytes of read-write pages whose first and last page are inaccessible.
  static char* map_with_guards(size_t total, size_t page) {
#if defined(_WIN32)
    char* base = static_cast<char*>(VirtualAlloc(nullptr, total, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (!base) throw std::runtime_error("VirtualAlloc");
    DWORD old;
    VirtualProtect(base, page, PAGE_NOACCESS, &old);
    VirtualProtect(base + total - page, page, PAGE_NOACCESS, &old);
#else
    char* base = static_cast<char*>(mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (base == MAP_FAILED) throw std::runtime_error("mmap");
    mprotect(base, page, PROT_NONE);
    mprotect(base + total - page, page, PROT_NONE);
#endif
    return base;
  }

  size_t n_, data_pages_ = 0, total_ = 0;
  char* base_ = nullptr;
  T* data_ = nullptr;
};

}  // namespace zorp::test
