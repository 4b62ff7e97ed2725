// Platform-specific: the notifications the operating system gives the library, seen from a
// host. Each test has a POSIX body (constructor, destructor and pthread-key destructor) and a
// Windows body (DllMain), checking the same promise:
//  * a thread that exits gives its record back;
//  * a load that cannot set up thread-local storage is refused (Windows: LoadLibrary fails;
//    POSIX, where a constructor cannot fail dlopen: the first call ends the process, code 3);
//  * process exit leaves the library alone for threads still inside it (unloading, which frees
//    everything, is checked in unload_test.cpp).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "abi/lifecycle.h"

namespace zorp::test {
namespace {

TEST(Lifecycle, ThreadExitFreesItsRecord) {
  void* lib = dlopen(kernel_library_path().c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr);
  auto get = entry<GetMode>(lib, "_fennGetMode");
  ASSERT_NE(get, nullptr);
  void* first = nullptr;
  std::thread([&] { first = record_made_by(get); }).join();
  ASSERT_NE(first, nullptr);
#if defined(_WIN32)
  // DLL_THREAD_DETACH gave the block back to the library's private heap.
  EXPECT_FALSE(is_heap_block_in_use(first));
#else
  // The pthread key's destructor gave the block back: the private heap hands the most recently
  // freed block of a size out first, so the next thread's record is the same block.
  void* second = nullptr;
  std::thread([&] { second = record_made_by(get); }).join();
  EXPECT_EQ(second, first);
#endif
  dlclose(lib);
}

#if defined(_WIN32)
TEST(Lifecycle, AttachWithoutAFreeTlsIndexRefusesTheLoad) {
  const std::string copy = private_copy("refused");
  std::vector<DWORD> taken;
  for (DWORD i; (i = TlsAlloc()) != TLS_OUT_OF_INDEXES;) taken.push_back(i);
  void* refused = dlopen(copy.c_str(), RTLD_NOW);
  const DWORD error = GetLastError();
  for (DWORD i : taken) TlsFree(i);
  EXPECT_EQ(refused, nullptr);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
  // With an index free again the same file loads.
  void* lib = dlopen(copy.c_str(), RTLD_NOW);
  EXPECT_NE(lib, nullptr);
  if (lib) dlclose(lib);
  std::filesystem::remove(copy);
}
#else
TEST(LifecycleDeathTest, AttachWithoutAFreeKeyEndsTheProcessAtTheFirstCall) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string copy = private_copy("refused");
  EXPECT_EXIT(
      {
        for (pthread_key_t k; pthread_key_create(&k, nullptr) == 0;) {
        }
        void* lib = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!lib) std::exit(10);
        entry<GetMode>(lib, "_fennGetMode")();
        std::exit(0);
      },
      testing::ExitedWithCode(3), "per-thread state");
  std::filesystem::remove(copy);
}
#endif

// At exit another thread may still be inside a kernel: its record must stay valid. (On Windows
// the system stops that thread before the library hears of the exit; the process must still end
// with its own exit code.)
TEST(LifecycleDeathTest, ExitWhileAnotherThreadIsInsideTheLibrary) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        void* lib = dlopen(kernel_library_path().c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!lib) std::exit(10);
        auto get = entry<GetMode>(lib, "_fennGetMode");
        static std::atomic<long> calls{0};
        std::thread([get] {
          for (;;) {
            get();
            calls.fetch_add(1, std::memory_order_relaxed);
          }
        }).detach();
        while (calls.load() < 1000) std::this_thread::yield();
        std::exit(5);
      },
      testing::ExitedWithCode(5), "");
}

}  // namespace
}  // namespace zorp::test
