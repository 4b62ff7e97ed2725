// The summary-statistics task record: creation checks in order, integer width, the parameter
// table of the editors (slot, editor, null-value code for all 79 numbers), grouped editors,
// deletion with its clean-up, allocation failure without leaks.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "zorp/core.h"
#include "zorp/ss.h"

namespace {

void* slot_of(TarrSSTask* t, int n) { return reinterpret_cast<void**>(t)[n]; }

TEST(SSTask, LayoutAndCreation) {
  const int32_t p = 3, n = 10, st = TARR_SS_MATRIX_STORAGE_2, idx[3] = {1, 0, 1};
  double x[30] = {}, w[10] = {};
  TarrSSTask* t = nullptr;
  ASSERT_EQ(__tarrdSSNewTask(&t, &p, &n, &st, x, w, idx, 0), 0);
  const uint64_t s0 = reinterpret_cast<uint64_t*>(t)[0];
  EXPECT_EQ(s0 & 0xffffffffu, 0u);
  EXPECT_EQ(s0 >> 32, 2u);
  EXPECT_EQ(reinterpret_cast<uint64_t*>(t)[1] & 0xffffffffu, 1u);
  const void* want[9] = {nullptr, nullptr, &p, &n, idx, x, w, nullptr, &st};
  for (int s = 2; s < TARR_SS_TASK_SLOTS; ++s) EXPECT_EQ(slot_of(t, s), s < 9 ? want[s] : nullptr) << s;
  EXPECT_EQ(__tarrSSDeleteTask(&t), 0);
  EXPECT_EQ(t, nullptr);

  float xf[30] = {};
  const int64_t p64 = 3, n64 = 10, st64 = TARR_SS_MATRIX_STORAGE_1;
  ASSERT_EQ(__tarrsSSNewTask(&t, &p64, &n64, &st64, xf, nullptr, nullptr, 1), 0);
  EXPECT_EQ(reinterpret_cast<uint64_t*>(t)[0], (2ull << 32) | 1u);
  EXPECT_EQ(reinterpret_cast<uint64_t*>(t)[1] & 0xffffffffu, 0u);
  __tarrSSDeleteTask(&t);
}

TEST(SSTask, CreationChecksInOrder) {
  double x[4] = {};
  constexpr int64_t kNull = INT64_MIN;  // the item's address is null
  struct Case {
    const char* what;
    int64_t p, n, st;
    bool with_x;
    int expect;
  };
  const Case cases[] = {
      {"p null first", kNull, kNull, kNull, true, TARR_SS_ERROR_BAD_DIMENSION},
      {"p zero", 0, 1, TARR_SS_MATRIX_STORAGE_1, true, TARR_SS_ERROR_BAD_DIMENSION},
      {"storage null", 1, kNull, kNull, true, TARR_SS_ERROR_NULL_STORAGE_ITEM},
      {"storage 1, n zero", 1, 0, TARR_SS_MATRIX_STORAGE_1, true, TARR_SS_ERROR_BAD_NOBS},
      {"storage 1, n null", 1, kNull, TARR_SS_MATRIX_STORAGE_1, true, TARR_SS_ERROR_BAD_NOBS},
      {"bad storage before n", 1, kNull, 0x30000, true, TARR_SS_ERROR_BAD_STORAGE},
      {"storage 2, n negative", 1, -5, TARR_SS_MATRIX_STORAGE_2, true, TARR_SS_ERROR_BAD_NOBS},
      {"no x: anything goes", 1, kNull, kNull, false, 0},
  };
  for (int wide = 0; wide < 2; ++wide)
    for (const Case& c : cases) {
      int64_t v64[3] = {c.p, c.n, c.st};
      int32_t v32[3] = {int32_t(c.p), int32_t(c.n), int32_t(c.st)};
      const void* item[3];
      for (int k = 0; k < 3; ++k) item[k] = v64[k] == kNull ? nullptr : wide ? (const void*)&v64[k] : &v32[k];
      TarrSSTask* t = nullptr;
      EXPECT_EQ(__tarrdSSNewTask(&t, item[0], item[1], item[2], c.with_x ? x : nullptr, nullptr, nullptr, wide), c.expect)
          << c.what << " wide=" << wide;
      if (c.expect == 0) __tarrSSDeleteTask(&t);
      else EXPECT_EQ(t, nullptr);
    }
  // Width decides how p is read: 2^32 is 0 in its low half.
  const int64_t big = int64_t(1) << 32, one = 1, st = TARR_SS_MATRIX_STORAGE_1;
  TarrSSTask* t = nullptr;
  EXPECT_EQ(__tarrdSSNewTask(&t, &big, &one, &st, x, nullptr, nullptr, 0), TARR_SS_ERROR_BAD_DIMENSION);
  ASSERT_EQ(__tarrdSSNewTask(&t, &big, &one, &st, x, nullptr, nullptr, 1), 0);
  __tarrSSDeleteTask(&t);
}

TEST(SSTask, AllocationFailureLeavesNothing) {
  const int32_t p = 2, n = 2, st = TARR_SS_MATRIX_STORAGE_1;
  double x[4] = {};
  const int64_t live = zorp_core_live_allocations();
  TarrSSTask* t = nullptr;
  zorp_core_fail_allocation(1);
  EXPECT_EQ(__tarrdSSNewTask(&t, &p, &n, &st, x, nullptr, nullptr, 0), TARR_SS_ERROR_ALLOCATION);
  zorp_core_fail_allocation(0);
  EXPECT_EQ(t, nullptr);
  EXPECT_EQ(zorp_core_live_allocations(), live);
}

// The parameter table as documented: number, integer item?, slot, null-value code.
struct Param {
  int number;
  bool integer;
  int slot;
  int error;
};
const Param kTable[] = {
    {1, true, 2, -4001},   {2, true, 3, -4002},   {3, false, 5, -4032},  {4, true, 8, -4044},
    {5, true, 4, -4004},   {6, false, 6, -4005},  {7, false, 11, -4006}, {8, false, 12, -4007},
    {9, false, 13, -4008}, {10, false, 14, -4009}, {11, false, 15, -4010}, {12, false, 16, -4011},
    {13, false, 17, -4012}, {14, false, 25, -4013}, {15, false, 26, -4014}, {16, false, 28, -4015},
    {17, false, 29, -4016}, {18, false, 27, -4017}, {19, false, 31, -4018}, {20, true, 30, -4044},
    {21, false, 33, -4019}, {22, true, 32, -4044}, {23, false, 7, -4020},  {24, true, 44, -4022},
    {25, false, 45, -4021}, {26, false, 46, -4023}, {27, false, 47, -4024}, {28, true, 36, -4038},
    {29, true, 43, -4044}, {30, false, 41, -4035}, {31, false, 42, -4034}, {32, true, 37, -4038},
    {33, false, 38, -4037}, {34, true, 40, -4044}, {35, false, 39, -4036}, {36, true, 61, -4044},
    {37, true, 57, -4043}, {38, false, 58, -4042}, {39, false, 59, -4028}, {40, false, 60, -4027},
    {41, true, 62, -4040}, {42, false, 63, -4039}, {43, false, 64, -4041}, {44, true, 48, -4044},
    {45, true, 65, -4045}, {46, false, 66, -4046}, {47, true, 67, -4044}, {48, false, 68, -4047},
    {49, true, 69, -4044}, {50, true, 70, -4049}, {51, false, 71, -4048}, {52, true, 72, -4052},
    {53, false, 73, -4053}, {54, true, 76, -4055}, {55, false, 77, -4054}, {56, true, 78, -4056},
    {57, false, 79, -4057}, {58, true, 74, -4061}, {59, false, 75, -4062}, {60, false, 9, -4071},
    {61, true, 10, -4044}, {62, true, 53, -4066}, {63, false, 54, -4065}, {64, true, 49, -4069},
    {65, false, 50, -4068}, {66, false, 51, -4070}, {67, false, 18, -4074}, {68, false, 19, -4075},
    {69, false, 20, -4076}, {70, false, 21, -4077}, {71, false, 22, -4078}, {72, false, 23, -4079},
    {73, false, 24, -4080}, {74, false, 35, -4081}, {75, true, 34, -4044}, {76, false, 56, -4082},
    {77, false, 55, -4083}, {78, false, 90, -4084}, {79, true, 91, -4044},
};

TEST(SSTask, EditByNumberFollowsTheTable) {
  const int32_t p = 1;
  TarrSSTask* t = nullptr;
  ASSERT_EQ(__tarrdSSNewTask(&t, &p, nullptr, nullptr, nullptr, nullptr, nullptr, 0), 0);
  ASSERT_EQ(sizeof kTable / sizeof kTable[0], 79u);
  double d[1];
  float f[1];
  int64_t i[1];
  for (const Param& row : kTable) {
    SCOPED_TRACE(row.number);
    unsigned char before[744];
    std::memcpy(before, t, 744);
    if (row.integer) {
      EXPECT_EQ(__tarrdSSEditTask(t, row.number, d), TARR_SS_ERROR_BAD_PARAM_NUMBER);
      EXPECT_EQ(__tarrsSSEditTask(t, row.number, f), TARR_SS_ERROR_BAD_PARAM_NUMBER);
      EXPECT_EQ(__tarriSSEditTask(t, row.number, nullptr), row.error);
      EXPECT_EQ(std::memcmp(before, t, 744), 0);  // failures leave the task as it was
      EXPECT_EQ(__tarriSSEditTask(t, row.number, i), 0);
      EXPECT_EQ(slot_of(t, row.slot), i);
    } else {
      EXPECT_EQ(__tarriSSEditTask(t, row.number, i), TARR_SS_ERROR_BAD_PARAM_NUMBER);
      EXPECT_EQ(__tarrdSSEditTask(t, row.number, nullptr), row.error);
      EXPECT_EQ(__tarrsSSEditTask(t, row.number, nullptr), row.error);
      EXPECT_EQ(std::memcmp(before, t, 744), 0);
      EXPECT_EQ(__tarrsSSEditTask(t, row.number, f), 0);
      EXPECT_EQ(slot_of(t, row.slot), f);
      EXPECT_EQ(__tarrdSSEditTask(t, row.number, d), 0);
      EXPECT_EQ(slot_of(t, row.slot), d);
    }
  }
  for (int bad : {0, 80, -1, 1000}) {
    EXPECT_EQ(__tarrdSSEditTask(t, bad, d), TARR_SS_ERROR_BAD_PARAM_NUMBER);
    EXPECT_EQ(__tarrsSSEditTask(t, bad, f), TARR_SS_ERROR_BAD_PARAM_NUMBER);
    EXPECT_EQ(__tarriSSEditTask(t, bad, i), TARR_SS_ERROR_BAD_PARAM_NUMBER);
  }
  EXPECT_EQ(__tarrdSSEditTask(nullptr, 7, d), TARR_SS_ERROR_NULL_TASK);
  EXPECT_EQ(__tarriSSEditTask(nullptr, 1, i), TARR_SS_ERROR_NULL_TASK);
  __tarrSSDeleteTask(&t);
}

TEST(SSTask, GroupedEditorsStoreNonNullArguments) {
  const int32_t p = 1;
  TarrSSTask* t = nullptr;
  ASSERT_EQ(__tarrdSSNewTask(&t, &p, nullptr, nullptr, nullptr, nullptr, nullptr, 0), 0);
  double a[16];
  auto A = [&](int k) { return &a[k]; };
  auto F = [&](int k) { return reinterpret_cast<float*>(&a[k]); };
  // Each call names distinct addresses; its slots must then hold them in argument order. The
  // editors share slots, so each is checked right after its own call.
  struct Check {
    std::function<int()> call;
    std::vector<int> slots;
  };
  const Check checks[] = {
      {[&] { return __tarrdSSEditMoments(t, A(0), A(1), A(2), A(3), A(4), A(5), A(6)); }, {11, 12, 13, 14, 15, 16, 17}},
      {[&] { return __tarrdSSEditSums(t, A(0), A(1), A(2), A(3), A(4), A(5), A(6)); }, {18, 19, 20, 21, 22, 23, 24}},
      {[&] { return __tarrsSSEditSums(t, F(0), F(1), F(2), F(3), F(4), F(5), F(6)); }, {18, 19, 20, 21, 22, 23, 24}},
      {[&] { return __tarrdSSEditCovCor(t, A(0), A(1), A(2), A(3), A(4)); }, {11, 31, 30, 33, 32}},
      {[&] { return __tarrdSSEditCP(t, A(0), A(1), A(2), A(3)); }, {11, 18, 35, 34}},
      {[&] { return __tarrdSSEditPartialCovCor(t, A(0), A(1), A(2), A(3), A(4), A(5), A(6), A(7), A(8)); },
       {65, 31, 30, 33, 32, 66, 67, 68, 69}},
      {[&] { return __tarrdSSEditQuantiles(t, A(0), A(1), A(2), A(3), A(4)); }, {44, 45, 46, 47, 48}},
      {[&] { return __tarrdSSEditStreamQuantiles(t, A(0), A(1), A(2), A(3), A(4)); }, {49, 50, 51, 53, 54}},
      {[&] { return __tarrdSSEditPooledCovariance(t, A(0), A(1), A(2), A(3), A(4), A(5)); }, {36, 41, 42, 37, 38, 39}},
      {[&] { return __tarrdSSEditRCov(t, A(0), A(1), A(2), A(3), A(4)); }, {61, 57, 58, 59, 60}},
      {[&] { return __tarrdSSEditOutDetect(t, A(0), A(1), A(2)); }, {62, 63, 64}},
      {[&] { return __tarrdSSEditMissingVals(t, A(0), A(1), A(2), A(3), A(4), A(5), A(6), A(7), A(8), A(9)); },
       {70, 71, 72, 73, 74, 75, 76, 77, 78, 79}},
      {[&] { return __tarrdSSEditMtxParametrz(t, A(0), A(1), A(2), A(3)); }, {33, 32, 9, 10}},
      {[&] { return __tarrsSSEditMtxParametrz(t, F(0), A(1), F(2), A(3)); }, {33, 32, 9, 10}},
  };
  for (const Check& c : checks) {
    EXPECT_EQ(c.call(), 0);
    for (size_t k = 0; k < c.slots.size(); ++k) EXPECT_EQ(slot_of(t, c.slots[k]), A(int(k))) << c.slots[k];
  }

  // All-null calls change nothing.
  unsigned char before[744];
  std::memcpy(before, t, 744);
  EXPECT_EQ(__tarrdSSEditMoments(t, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(__tarrsSSEditCovCor(t, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(__tarrdSSEditMissingVals(t, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                     nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(std::memcmp(before, t, 744), 0);
  // One non-null argument changes exactly its slot.
  EXPECT_EQ(__tarrdSSEditCP(t, nullptr, nullptr, A(9), nullptr), 0);
  EXPECT_EQ(slot_of(t, 35), A(9));
  EXPECT_EQ(slot_of(t, 11), A(0));

  EXPECT_EQ(__tarrdSSEditMoments(nullptr, A(0), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            TARR_SS_ERROR_NULL_TASK);
  EXPECT_EQ(__tarrsSSEditOutDetect(nullptr, nullptr, nullptr, nullptr), TARR_SS_ERROR_NULL_TASK);
  __tarrSSDeleteTask(&t);
}

int g_cleanups = 0;
TarrSSTask* g_cleaned = nullptr;
void count_cleanup(TarrSSTask* t) {
  ++g_cleanups;
  g_cleaned = t;
}

TEST(SSTask, DeleteFreesWorkBufferAndRunsCleanup) {
  EXPECT_EQ(__tarrSSDeleteTask(nullptr), TARR_SS_ERROR_NULL_TASK);
  TarrSSTask* none = nullptr;
  EXPECT_EQ(__tarrSSDeleteTask(&none), TARR_SS_ERROR_NULL_TASK);

  const int64_t live = zorp_core_live_allocations();
  const int32_t p = 1;
  TarrSSTask* t = nullptr;
  ASSERT_EQ(__tarrdSSNewTask(&t, &p, nullptr, nullptr, nullptr, nullptr, nullptr, 0), 0);
  EXPECT_EQ(zorp_core_live_allocations(), live + 1);
  void** s = reinterpret_cast<void**>(t);
  s[92] = zorp_serv_allocate(256, 128);
  s[88] = reinterpret_cast<void*>(intptr_t(1));
  s[89] = reinterpret_cast<void*>(&count_cleanup);
  TarrSSTask* const addr = t;
  g_cleanups = 0;
  EXPECT_EQ(__tarrSSDeleteTask(&t), 0);
  EXPECT_EQ(t, nullptr);
  EXPECT_EQ(g_cleanups, 1);
  EXPECT_EQ(g_cleaned, addr);
  EXPECT_EQ(zorp_core_live_allocations(), live);
}

}  // namespace
