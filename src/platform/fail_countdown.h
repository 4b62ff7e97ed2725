// Fault injection for allocators: arm(k) makes the k-th attempt from now fail (k <= 0: off).
// The private heaps and the host core's allocator share it. The countdown is taken with a
// compare-and-swap, so that with several threads allocating exactly one attempt fails.
#pragma once
#include <atomic>
#include <cstdint>

namespace zorp::platform {

class FailCountdown {
 public:
  void arm(int64_t k) { left_.store(k > 0 ? k : 0, std::memory_order_relaxed); }
  // True for the one attempt the countdown selected.
  bool fails_now() {
    int64_t k = left_.load(std::memory_order_relaxed);
    while (k > 0)
      if (left_.compare_exchange_weak(k, k - 1, std::memory_order_relaxed)) return k == 1;
    return false;
  }

 private:
  std::atomic<int64_t> left_{0};
};

}  // namespace zorp::platform
