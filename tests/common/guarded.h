// Arrays that end (or start) right at an inaccessible page, so that a kernel reading or writing
// one element too far faults at once instead of passing unnoticed.
#pragma once
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace zorp::test {

template <typename T>
class GuardedArray {
 public:
  // `at_end`: the last element touches the guard page; otherwise the first one follows it.
  explicit GuardedArray(size_t n, bool at_end = true) : n_(n) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t bytes = n * sizeof(T);
    data_pages_ = (bytes + page - 1) / page + 1;
    total_ = (data_pages_ + 2) * page;
    base_ = static_cast<char*>(mmap(nullptr, total_, PROT_READ | PROT_WRITE,
                                    MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (base_ == MAP_FAILED) throw std::runtime_error("mmap");
    mprotect(base_, page, PROT_NONE);
    mprotect(base_ + (data_pages_ + 1) * page, page, PROT_NONE);
    char* lo = base_ + page;
    char* hi = base_ + (data_pages_ + 1) * page;
    data_ = reinterpret_cast<T*>(at_end ? hi - bytes : lo);
  }
  ~GuardedArray() { munmap(base_, total_); }
  GuardedArray(const GuardedArray&) = delete;
  GuardedArray& operator=(const GuardedArray&) = delete;

  T* data() { return data_; }
  T& operator[](size_t i) { return data_[i]; }
  size_t size() const { return n_; }

 private:
  size_t n_, data_pages_ = 0, total_ = 0;
  char* base_ = nullptr;
  T* data_ = nullptr;
};

}  // namespace zorp::test
