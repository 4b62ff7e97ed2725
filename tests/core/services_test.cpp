// Memory, fault injection, memcpy_s, locks, environment, messages and the CPU queries.
#include <gtest/gtest.h>
#include <zorp/core.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "common/portable.h"

namespace {
TEST(Memory, AlignedBlocksAreCountedAndFreed) {
  const int64_t live = zorp_core_live_allocations(), count = zorp_core_allocation_count();
  std::vector<void*> blocks;
  for (int align : {8, 64, 128, 4096})
    for (size_t size : {size_t(0), size_t(1), size_t(1000)}) {
      void* p = zorp_serv_allocate(size, align);
      ASSERT_NE(p, nullptr);
      EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % align, 0u);
      if (size) static_cast<unsigned char*>(p)[size - 1] = 1;  // the whole block is ours
      blocks.push_back(p);
    }
  EXPECT_EQ(zorp_core_live_allocations(), live + 12);
  EXPECT_EQ(zorp_core_allocation_count(), count + 12);
  for (void* p : blocks) zorp_serv_deallocate(p);
  zorp_serv_deallocate(nullptr);
  EXPECT_EQ(zorp_core_live_allocations(), live);
  // Not a power of two: refused before it counts as an attempt, so an armed failure still
  // hits the next request.
  zorp_core_fail_allocation(1);
  EXPECT_EQ(zorp_serv_allocate(64, 48), nullptr);
  EXPECT_EQ(zorp_serv_allocate(64, 64), nullptr);
  zorp_core_fail_allocation(0);
  EXPECT_EQ(zorp_core_live_allocations(), live);
}

TEST(Memory, KthAllocationFailsThenRecovers) {
  for (int k : {1, 2, 5}) {
    const int64_t live = zorp_core_live_allocations();
    zorp_core_fail_allocation(k);
    std::vector<void*> got;
    for (int i = 1; i <= 7; ++i) {
      void* p = zorp_serv_allocate(32, 128);
      EXPECT_EQ(p == nullptr, i == k) << "allocation " << i << " with k " << k;
      if (p) got.push_back(p);
    }
    EXPECT_EQ(zorp_core_live_allocations(), live + 6);
    for (void* p : got) zorp_serv_deallocate(p);
    EXPECT_EQ(zorp_core_live_allocations(), live);
  }
  zorp_core_fail_allocation(3);
  zorp_core_fail_allocation(0);  // off again before it fired
  for (int i = 0; i < 5; ++i) {
    void* p = zorp_serv_allocate(8, 128);
    EXPECT_NE(p, nullptr);
    zorp_serv_deallocate(p);
  }
}

TEST(Memory, InjectionFailsExactlyOneAmongThreads) {
  zorp_core_fail_allocation(200);
  std::atomic<int> nulls{0};
  std::vector<std::thread> ts;
  for (int t = 0; t < 4; ++t)
    ts.emplace_back([&] {
      for (int i = 0; i < 100; ++i) {
        void* p = zorp_serv_allocate(16, 128);
        if (!p) nulls++;
        zorp_serv_deallocate(p);
      }
    });
  for (auto& t : ts) t.join();
  EXPECT_EQ(nulls.load(), 1);
}

// A count up to the destination's size is copied (all of it the last accepted), one more is
// refused, and so is a null pointer; a refusal writes nothing.
TEST(Memory, MemcpySCopiesUpToTheDestinationSizeOnly) {
  struct Row { bool dst; size_t size; bool src; size_t count; int rc; const char* after; };
  const Row rows[] = {{true, 4, true, 5, ERANGE, "abcdefg"}, {true, 4, true, 4, 0, "0123efg"},
                      {true, 7, true, 8, ERANGE, "abcdefg"}, {true, 7, true, 7, 0, "0123456"},
                      {false, 4, true, 1, EINVAL, nullptr},  {true, 8, false, 1, EINVAL, "abcdefg"},
                      {true, 8, true, 0, 0, "abcdefg"}};
  for (const Row& r : rows) {
    char dst[8] = "abcdefg";
    const char src[16] = "0123456789";
    EXPECT_EQ(zorp_serv_memcpy_s(r.dst ? dst : nullptr, r.size, r.src ? src : nullptr, r.count), r.rc) << r.size << " " << r.count;
    if (r.after) {
      EXPECT_STREQ(dst, r.after) << r.size << " " << r.count;
    }
  }
  char dst[8] = "0123efg";
  EXPECT_EQ(zorp_serv_memcpy_s(dst + 1, 7, dst, 4), 0);  // overlapping copy keeps the source
  EXPECT_STREQ(dst, "00123fg");
}

TEST(Locks, SerialiseAnUnprotectedCounter) {
  static volatile int32_t word = 0;
  static long counter = 0;  // plain on purpose: only the lock orders the updates
  std::vector<std::thread> ts;
  for (int t = 0; t < 4; ++t)
    ts.emplace_back([] {
      for (int i = 0; i < 20000; ++i) {
        zorp_serv_lock(&word);
        counter = counter + 1;
        zorp_serv_unlock(&word);
      }
    });
  for (auto& t : ts) t.join();
  EXPECT_EQ(counter, 80000);
  EXPECT_EQ(word, 0);
}

TEST(Environment, CopiesCutsAndReportsUnset) {
  char buf[256];
  ASSERT_EQ(zorp::test::set_env("ZORP_CORE_TEST_VAR", "hello"), 0);
  EXPECT_EQ(zorp_serv_getenv("ZORP_CORE_TEST_VAR", buf, 256), 5);
  EXPECT_STREQ(buf, "hello");
  const std::string longv(300, 'x');
  ASSERT_EQ(zorp::test::set_env("ZORP_CORE_TEST_VAR", longv.c_str()), 0);
  buf[255] = 'z';
  EXPECT_EQ(zorp_serv_getenv("ZORP_CORE_TEST_VAR", buf, 256), 255);
  EXPECT_EQ(std::string(buf), std::string(255, 'x'));
  char small[4];
  EXPECT_EQ(zorp_serv_getenv("ZORP_CORE_TEST_VAR", small, 4), 3);
  EXPECT_STREQ(small, "xxx");
  zorp::test::unset_env("ZORP_CORE_TEST_VAR");
  buf[0] = 'q';
  EXPECT_LE(zorp_serv_getenv("ZORP_CORE_TEST_VAR", buf, 256), 0);
  EXPECT_EQ(buf[0], '\0');
  EXPECT_LE(zorp_serv_getenv("PATH", buf, 0), 0);
}

template <typename Emit>
std::string printed(Emit emit) {
  testing::internal::CaptureStderr();
  emit();
  return testing::internal::GetCapturedStderr();
}

TEST(Messages, CatalogueLinesCarryTheirArguments) {
  EXPECT_EQ(printed([] { zorp_serv_print(1, 748, 2, "vdLn", 17); }), "zorp: vdLn: bad element count (index 17)\n");
  EXPECT_EQ(printed([] { zorp_serv_print(1, 749, 1, "vsExp"); }), "zorp: vsExp: null array pointer\n");
  const char* headline[] = {"argument outside the domain", "singularity", "overflows", "underflows", "unknown"};
  for (int code = 750; code <= 754; ++code) {
    const std::string s = printed([code] { zorp_serv_print(1, code, 1, "vdPow"); });
    EXPECT_EQ(s.rfind("zorp: vdPow: ", 0), 0u) << s;
    EXPECT_NE(s.find(headline[code - 750]), std::string::npos) << s;
  }
  for (int code = 755; code <= 766; ++code) {
    const std::string s = printed([code] { zorp_serv_print(1, code, 2, 42, -0.125); });
    EXPECT_NE(s.find("element 42:"), std::string::npos) << s;
    EXPECT_NE(s.find("= -0.125"), std::string::npos) << s;
  }
  EXPECT_NE(printed([] { zorp_serv_print(1, 773, 0); }).find("per-thread state"), std::string::npos);
  // Fewer arguments than the message takes: nothing beyond them is read.
  EXPECT_EQ(printed([] { zorp_serv_print(1, 749, 0); }), "zorp: ?: null array pointer\n");
  EXPECT_EQ(printed([] { zorp_serv_print(1, 999, 0); }), "zorp: message 999\n");
}

TEST(Messages, ExitEndsTheProcessWithTheCode) {
  EXPECT_EXIT(zorp_serv_exit(3), testing::ExitedWithCode(3), "");
}

// The queries read CPUID themselves; the compiler's own feature detection is an independent
// reading of the same bits.
TEST(Processor, GenerationQueriesMatchFeatureBits) {
  __builtin_cpu_init();
  const bool base = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512cd") &&
                    __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512dq") &&
                    __builtin_cpu_supports("avx512vl");
  const bool icx = base && __builtin_cpu_supports("avx512ifma") && __builtin_cpu_supports("avx512vbmi") &&
                   __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("avx512vnni") &&
                   __builtin_cpu_supports("avx512bitalg") && __builtin_cpu_supports("avx512vpopcntdq");
  const bool cpx = base && __builtin_cpu_supports("avx512vnni") && __builtin_cpu_supports("avx512bf16");
  EXPECT_EQ(zorp_serv_cpuisicx() != 0, icx);
  EXPECT_EQ(zorp_serv_cpuiscpx() != 0, cpx);
}
}  // namespace
