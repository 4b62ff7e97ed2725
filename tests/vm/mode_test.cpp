// The per-thread mode word: its initial value from the environment, the SetMode merge rule,
// the table-index queries, and the independence of threads.
#include <gtest/gtest.h>

#include <thread>

#include "common/portable.h"
#include "zorp/vm.h"

namespace {

// The environment is read when a thread first uses vector math, so each case runs its
// probe on a fresh thread.
template <typename Fn>
auto on_fresh_thread(Fn fn) {
  decltype(fn()) result{};
  std::thread t([&] { result = fn(); });
  t.join();
  return result;
}

uint32_t initial_mode_for(const char* value) {
  if (value)
    zorp::test::set_env("ZORP_FENN_MODE", value);
  else
    zorp::test::unset_env("ZORP_FENN_MODE");
  const uint32_t mode = on_fresh_thread([] { return _fennGetMode(); });
  zorp::test::unset_env("ZORP_FENN_MODE");
  return mode;
}

struct EnvCase {
  const char* value;
  uint32_t mode;
};

class EnvironmentMode : public testing::TestWithParam<EnvCase> {};

TEST_P(EnvironmentMode, GivesTheExpectedInitialMode) {
  EXPECT_EQ(initial_mode_for(GetParam().value), GetParam().mode) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(
    Keywords, EnvironmentMode,
    testing::Values(EnvCase{"FENN_EP", 0x1A03}, EnvCase{"FENN_LA", 0x1A01},
                    EnvCase{"FENN_ERRMODE_STDERR", 0x402},
                    EnvCase{"FENN_LA,FENN_ERRMODE_NOERR,FENN_TRAP_OVERFLOW", 0x4002001},
                    EnvCase{"FENN_DOUBLE_CONSISTEN", 0x1A22},
                    EnvCase{"FENN_FLOAT_CONSISTENT", 0x1A12},
                    EnvCase{"FENN_DEFAULT_PRECISION", 0x1A02},
                    // values are OR-ed without any consistency check
                    EnvCase{"FENN_LA,FENN_HA", 0x1A03},
                    EnvCase{"FENN_ERRMODE_IGNORE,FENN_ERRMODE_ERRNO", 0x302},
                    EnvCase{"FENN_TRAP_INVALID,FENN_TRAP_DIVBYZERO,FENN_TRAP_UNDERFLOW", 0xB001A02},
                    EnvCase{"FENN_HA,FENN_ERRMODE_DEFAULT", 0x1A02}));

INSTANTIATE_TEST_SUITE_P(
    Malformed, EnvironmentMode,
    testing::Values(EnvCase{nullptr, 0x1A02}, EnvCase{"", 0x1A02},
                    EnvCase{"FENN_LA, FENN_EP", 0x1A02},       // blank after the comma
                    EnvCase{"FENN_LA,", 0x1A02},               // trailing comma
                    EnvCase{"fenn_LA", 0x1A02},                // lower-case prefix
                    EnvCase{"FENN_la", 0x1A02},                // lower-case keyword
                    EnvCase{"FENN_DOUBLE_CONSISTENT", 0x1A02},  // the keyword has no final T
                    EnvCase{"LA", 0x1A02},                     // missing prefix
                    EnvCase{"FENN_LAX", 0x1A02},               // trailing characters
                    EnvCase{"FENN_", 0x1A02}, EnvCase{" FENN_LA", 0x1A02},
                    EnvCase{"FENN_LA,,FENN_EP", 0x1A02}));

// The value is read through a 256-byte buffer: what lies past 255 characters is never seen.
TEST(EnvironmentMode, LongValuesAreJudgedOnTheirFirst255Characters) {
  std::string cut_mid_token = "FENN_TRAP_INVALID,FENN_HA";  // 25 + 8k never ends at 255
  while (cut_mid_token.size() < 300) cut_mid_token += ",FENN_LA";
  EXPECT_EQ(initial_mode_for(cut_mid_token.c_str()), 0x1A02u);
  std::string cut_at_token_end = "FENN_EP";  // 7 + 8 * 31 = 255
  while (cut_at_token_end.size() < 300) cut_at_token_end += ",FENN_EP";
  EXPECT_EQ(initial_mode_for(cut_at_token_end.c_str()), 0x1A03u);
}

TEST(SetMode, ReplacesOnlyTheGroupsTheArgumentTouches) {
  on_fresh_thread([] {
    EXPECT_EQ(zorp_fenn_kernel_SetMode(0), 0x1A02u);  // 0 changes nothing
    EXPECT_EQ(_fennGetMode(), 0x1A02u);
    EXPECT_EQ(zorp_fenn_kernel_SetMode(0x3), 0x1A02u);
    EXPECT_EQ(_fennGetMode(), 0x1A03u);
    EXPECT_EQ(_fennSetMode(0x400), 0x1A03u);
    EXPECT_EQ(_fennGetMode(), 0x403u);
    zorp_fenn_kernel_SetMode(0x280000 | 0x4000000 | 0x10000);
    EXPECT_EQ(_fennGetMode(), 0x4290403u);
    zorp_fenn_kernel_SetMode(0x30);  // consistency bits are outside every group
    EXPECT_EQ(_fennGetMode(), 0x4290403u);
    zorp_fenn_kernel_SetMode(0x1);
    EXPECT_EQ(zorp_fenn_kernel_GetTTableIndex(), 0u);
    zorp_fenn_kernel_SetMode(0x2);
    EXPECT_EQ(zorp_fenn_kernel_GetTTableIndex(), 1u);
    zorp_fenn_kernel_SetMode(0x3);
    EXPECT_EQ(zorp_fenn_kernel_GetTTableIndex(), 2u);
    return 0;
  });
}

// The callback flag follows the callback: set with it, and cleared with it where another error
// flag keeps the group from being empty.
TEST(SetMode, CallbackFlagFollowsTheCallback) {
  on_fresh_thread([] {
    _fennSetMode(ZORP_VM_ERRMODE_ERRNO);
    _fennSetErrorCallBack([](ZorpVmErrorRecord*) { return int32_t{0}; });
    EXPECT_EQ(_fennGetMode() & ZORP_VM_ERRMODE_MASK, uint32_t{ZORP_VM_ERRMODE_ERRNO | ZORP_VM_ERRMODE_CALLBACK});
    _fennClearErrorCallBack();
    EXPECT_EQ(_fennGetMode() & ZORP_VM_ERRMODE_MASK, uint32_t{ZORP_VM_ERRMODE_ERRNO});
    return 0;
  });
}

TEST(SetMode, ConsistencyBitFromTheEnvironmentCannotBeCleared) {
  zorp::test::set_env("ZORP_FENN_MODE", "FENN_DOUBLE_CONSISTEN");
  const uint32_t after = on_fresh_thread([] {
    zorp_fenn_kernel_SetMode(0x1A01);
    EXPECT_EQ(_fennGetMode(), 0x1A21u);
    zorp_fenn_kernel_SetMode(0xFFFFFFFFu);
    zorp_fenn_kernel_SetMode(0);
    return _fennGetMode();
  });
  zorp::test::unset_env("ZORP_FENN_MODE");
  EXPECT_EQ(after & 0x30u, 0x20u);
}

TEST(TTableIndexM, IsAPureFunctionOfItsSecondArgument) {
  const uint32_t before = _fennGetMode();
  EXPECT_EQ(zorp_fenn_kernel_GetTTableIndexM(12345, 0x1A01), 0u);
  EXPECT_EQ(zorp_fenn_kernel_GetTTableIndexM(0, 0x1A03), 2u);
  EXPECT_EQ(zorp_fenn_kernel_GetTTableIndexM(7, 0x2), 1u);
  EXPECT_EQ(_fennGetMode(), before);
}

TEST(ThreadState, ThreadsDoNotShareTheirMode) {
  zorp_fenn_kernel_SetMode(0x1);
  const uint32_t other = on_fresh_thread([] {
    zorp_fenn_kernel_SetMode(0x3);
    return _fennGetMode();
  });
  EXPECT_EQ(other & 0xFu, 3u);
  EXPECT_EQ(_fennGetMode() & 0xFu, 1u);
  zorp_fenn_kernel_SetMode(0x2);
}

TEST(ThreadState, ManyShortLivedThreadsEachGetAFreshRecord) {
  // Records are freed at thread exit; thousands of threads must not exhaust anything and each
  // must start from the default.
  for (int i = 0; i < 2000; ++i) {
    const uint32_t m = on_fresh_thread([] {
      const uint32_t first = _fennGetMode();
      zorp_fenn_kernel_SetMode(0x3);
      return first;
    });
    ASSERT_EQ(m, 0x1A02u) << i;
  }
}

TEST(CpuVersion, IsTheAvx512Level) { EXPECT_EQ(dll_cpu_version(), 9); }

}  // namespace
