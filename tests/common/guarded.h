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

// A large range that reserves no memory: only the pages a test touches become real. POSIX: a
// MAP_NORESERVE mapping. Windows: reserved address space whose pages a vectored exception
// handler commits at their first touch (one range at a time).
class SparseRange {
 public:
  explicit SparseRange(uint64_t bytes) : bytes_(bytes) {
#if defined(_WIN32)
    base_ = static_cast<char*>(VirtualAlloc(nullptr, bytes, MEM_RESERVE, PAGE_NOACCESS));
    if (base_) {
      active() = this;
      handler_ = AddVectoredExceptionHandler(1, commit_on_touch);
    }
#else
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    base_ = p == MAP_FAILED ? nullptr : static_cast<char*>(p);
#endif
  }
  ~SparseRange() {
    if (!base_) return;
#if defined(_WIN32)
    RemoveVectoredExceptionHandler(handler_);
    active() = nullptr;
    VirtualFree(base_, 0, MEM_RELEASE);
#else
    munmap(base_, bytes_);
#endif
  }
  SparseRange(const SparseRange&) = delete;
  SparseRange& operator=(const SparseRange&) = delete;

  void* data() const { return base_; }

 private:
#if defined(_WIN32)
  static SparseRange*& active() {
    static SparseRange* r = nullptr;
    return r;
  }
  static LONG CALLBACK commit_on_touch(EXCEPTION_POINTERS* info) {
    SparseRange* r = active();
    if (!r || info->ExceptionRecord->ExceptionCode != EXCEPTION_ACCESS_VIOLATION) return EXCEPTION_CONTINUE_SEARCH;
    char* at = reinterpret_cast<char*>(info->ExceptionRecord->ExceptionInformation[1]);
    if (at < r->base_ || at >= r->base_ + r->bytes_) return EXCEPTION_CONTINUE_SEARCH;
    return VirtualAlloc(at, 1, MEM_COMMIT, PAGE_READWRITE) ? EXCEPTION_CONTINUE_EXECUTION : EXCEPTION_CONTINUE_SEARCH;
  }
  void* handler_ = nullptr;
#endif
  uint64_t bytes_;
  char* base_ = nullptr;
};

}  // namespace zorp::test
