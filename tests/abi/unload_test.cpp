// Loading and unloading: a private copy of the library is loaded and unloaded repeatedly while
// other threads hold thread records in it. Unloading must free everything at once (the records
// of threads that are still alive included) and a later load must start clean.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "abi/lifecycle.h"

namespace zorp::test {
namespace {

TEST(Unload, RepeatedLoadUseUnloadWithLiveThreads) {
  const std::string path = private_copy("unload");
  for (int round = 0; round < 20; ++round) {
    void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    auto get = entry<GetMode>(lib, "_fennGetMode");
    auto set = entry<SetMode>(lib, "zorp_fenn_kernel_SetMode");
    ASSERT_TRUE(get && set);
    // A fresh load gives every thread the default mode, whatever an earlier load left.
    EXPECT_EQ(get(), 0x1A02u) << "round " << round;
    set(0x3);

    // Threads that made a record and stay alive across the unload.
    std::mutex m;
    std::condition_variable cv;
    bool release = false;
    std::atomic<int> ready{0};
    std::vector<void*> records(3);
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
      threads.emplace_back([&, t] {
        records[t] = record_made_by([&] { set(0x1); });
        ready++;
        std::unique_lock<std::mutex> lk(m);
        cv.wait(lk, [&] { return release; });
      });
    while (ready.load() < 3) std::this_thread::yield();
    ASSERT_EQ(dlclose(lib), 0);
    // The private heap went with the library, live threads' records and all.
    for (void* rec : records) {
      ASSERT_NE(rec, nullptr);
      EXPECT_FALSE(is_mapped(rec)) << "round " << round;
    }
    {
      std::lock_guard<std::mutex> lk(m);
      release = true;
    }
    cv.notify_all();
    for (auto& th : threads) th.join();  // their exit must not touch the unloaded library
  }
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace zorp::test
