// The data-fitting task record: creation checks in order, the pointer arrays of every storage
// hint, the cell buckets against a brute-force bracket check, attribute editing and queries
// with their codes, deletion, allocation failure without leaks.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "zorp/core.h"
#include "zorp/df.h"

namespace {

std::vector<double> ramp(int n, double step = 1.0) {
  std::vector<double> x(n);
  for (int i = 0; i < n; ++i) x[i] = i * step + 0.001 * i * i;
  return x;
}

// Creation checks in order, both precisions, each at both edges where it has them: nx 1 is
// refused and 2 accepted; a y pointer needs at least one function (0 and below are refused, 1
// is accepted and points at y); without y only ny = 0 (a task of partition alone) is accepted.
// A refused task is neither made nor leaves anything allocated.
TEST(DFTask, CreationChecksInOrder) {
  std::vector<double> x = ramp(10), y(20);
  const std::vector<float> xf(x.begin(), x.end()), yf(y.begin(), y.end());
  struct Row { int64_t nx; bool with_x; int64_t xhint, ny; bool with_y; int64_t yhint; int code; };
  const Row rows[] = {{1, false, 9, 0, true, 7, DF_ERROR_BAD_NX},   {2, true, 1, 0, false, 0, 0},
                      {10, false, 9, 0, true, 7, DF_ERROR_BAD_X},  {10, true, 3, 0, true, 7, DF_ERROR_BAD_X_HINT},
                      {10, true, 5, 0, true, 7, DF_ERROR_BAD_X_HINT}, {10, true, 4, 0, false, 0, 0},
                      {10, true, 1, 0, true, 7, DF_ERROR_BAD_NY},  {10, true, 1, -1, true, 0, DF_ERROR_BAD_NY},
                      {10, true, 1, 1, true, 0, 0},                {10, true, 1, 0, false, 0, 0},
                      {10, true, 1, 1, false, 0, DF_ERROR_BAD_Y},  {10, true, 1, 2, false, 7, DF_ERROR_BAD_Y},
                      {10, true, 1, 2, true, 7, DF_ERROR_BAD_Y_HINT}};
  for (const Row& r : rows)
    for (bool dbl : {true, false}) {
      SCOPED_TRACE(testing::Message() << "nx " << r.nx << " xhint " << r.xhint << " ny " << r.ny << " y " << r.with_y
                                      << " yhint " << r.yhint << " double " << dbl);
      const int64_t live = zorp_core_live_allocations();
      DFTask* t = nullptr;
      const int rc = dbl ? zorp_df_kernel_dNewTask1D(&t, r.nx, r.with_x ? x.data() : nullptr, r.xhint, r.ny,
                                                     r.with_y ? y.data() : nullptr, r.yhint, 0)
                         : zorp_df_kernel_sNewTask1D(&t, r.nx, r.with_x ? xf.data() : nullptr, r.xhint, r.ny,
                                                     r.with_y ? yf.data() : nullptr, r.yhint, 0);
      EXPECT_EQ(rc, r.code);
      if (rc != 0) {
        EXPECT_EQ(t, nullptr);
        EXPECT_EQ(zorp_core_live_allocations(), live);
        continue;
      }
      ASSERT_NE(t, nullptr);
      EXPECT_EQ(t->nx, r.nx);
      EXPECT_EQ(t->ny, r.ny);
      EXPECT_EQ(t->kind, 4);
      EXPECT_EQ(t->precision, dbl ? 1u : 0u);
      EXPECT_EQ(t->dimension, 1u);
      if (r.with_y) {
        EXPECT_EQ(t->y[0], dbl ? static_cast<const void*>(y.data()) : static_cast<const void*>(yf.data()));
      } else {
        EXPECT_EQ(t->y, nullptr);
      }
      EXPECT_EQ(zorp_df_kernel_DeleteTask(&t), 0);
      EXPECT_EQ(t, nullptr);
      EXPECT_EQ(zorp_df_kernel_DeleteTask(&t), DF_ERROR_NULL_TASK);
    }
}

TEST(DFTask, PointerArraysByHint) {
  const int nx = 10, ny = 3;
  std::vector<double> x = ramp(nx), y(nx * ny);
  struct Case { int64_t hint; int set; };
  for (Case c : {Case{0, ny}, Case{16, ny}, Case{32, 1}, Case{128, 1}}) {
    DFTask* t = nullptr;
    ASSERT_EQ(zorp_df_kernel_dNewTask1D(&t, nx, x.data(), 1, ny, y.data(), c.hint, 0), 0);
    for (int i = 0; i < c.set; ++i) EXPECT_EQ(t->y[i], y.data() + (c.set == 1 ? 0 : i * nx));
    void* out = nullptr;
    if (c.hint == 32) {
      EXPECT_EQ(zorp_df_kernel_dEditIdxPtr(t, DF_ATTR_Y, 0, y.data()), DF_ERROR_BAD_Y_HINT);
      EXPECT_EQ(zorp_df_kernel_dQueryIdxPtr(t, DF_ATTR_Y, 0, &out), DF_ERROR_BAD_Y_HINT);
    } else {
      EXPECT_EQ(zorp_df_kernel_dEditIdxPtr(t, DF_ATTR_Y, ny, y.data()), DF_ERROR_BAD_INDEX);
      EXPECT_EQ(zorp_df_kernel_dEditIdxPtr(t, DF_ATTR_Y, 2, nullptr), DF_ERROR_BAD_Y);
      EXPECT_EQ(zorp_df_kernel_dEditIdxPtr(t, DF_ATTR_Y, 2, y.data() + 5), 0);
      EXPECT_EQ(zorp_df_kernel_dQueryIdxPtr(t, DF_ATTR_Y, 2, &out), 0);
      EXPECT_EQ(out, y.data() + 5);
      EXPECT_EQ(zorp_df_kernel_dQueryIdxPtr(t, DF_ATTR_Y, ny, &out), DF_ERROR_BAD_INDEX);
    }
    EXPECT_EQ(zorp_df_kernel_dQueryIdxPtr(t, DF_ATTR_Y, 0, nullptr), DF_ERROR_NULL_PTR);
    EXPECT_EQ(zorp_df_kernel_dEditIdxPtr(t, DF_ATTR_X, 0, y.data()), DF_ERROR_BAD_ATTRIBUTE);
    EXPECT_EQ(zorp_df_kernel_dQueryIdxPtr(t, DF_ATTR_X, 0, &out), DF_ERROR_BAD_ATTRIBUTE);
    zorp_df_kernel_DeleteTask(&t);
  }
}

// Every bucket's pair brackets the points of that bucket: entry 2k is 0 or a point of an
// earlier bucket, entry 2k+1 is nx-1 or a point of a later bucket, and no point of bucket k lies
// outside [entry 2k, entry 2k+1].
template <typename T>
void check_buckets(const std::vector<T>& x) {
  const int64_t nx = static_cast<int64_t>(x.size());
  DFTask* t = nullptr;
  if constexpr (sizeof(T) == 8) ASSERT_EQ(zorp_df_kernel_dNewTask1D(&t, nx, x.data(), 1, 0, nullptr, 0, 0), 0);
  else ASSERT_EQ(zorp_df_kernel_sNewTask1D(&t, nx, x.data(), 1, 0, nullptr, 0, 0), 0);
  int64_t m = nx / 16;
  m = m < 17 ? 16 : (m > 1024 ? 1024 : m);
  ASSERT_EQ(t->nbuckets, m);
  const int64_t* b = t->buckets;
  const T scale = sizeof(T) == 8 ? static_cast<T>(t->bucket_scale.d) : static_cast<T>(t->bucket_scale.s);
  auto bucket = [&](int64_t i) { return static_cast<int64_t>((x[i] - x[0]) * scale); };
  for (int64_t k = 0; k <= m; ++k) {
    const int64_t lo = b[2 * k], hi = b[2 * k + 1];
    ASSERT_GE(lo, 0);
    ASSERT_LE(hi, nx - 1);
    ASSERT_LE(lo, hi);
    const int64_t kk = k == m ? m - 1 : k;
    if (lo != 0) {
      EXPECT_LT(bucket(lo), kk) << k;
    }
    if (hi != nx - 1) {
      EXPECT_GT(bucket(hi), kk) << k;
    }
    for (int64_t i = 0; i < nx; ++i) {
      if (bucket(i) == kk && i != 0 && i != nx - 1) {
        EXPECT_TRUE(lo <= i && i <= hi) << k << " " << i;
      }
    }
  }
  EXPECT_EQ(b[2 * m], b[2 * m - 2]);
  EXPECT_EQ(b[2 * m + 1], b[2 * m - 1]);
  zorp_df_kernel_DeleteTask(&t);
}

TEST(DFTask, BucketCountsAndBrackets) {
  for (int nx : {2, 17, 100, 300, 20000}) check_buckets(ramp(nx, 0.5));
  // Clustered points leave many buckets empty.
  std::vector<double> c(400);
  for (int i = 0; i < 400; ++i) c[i] = i < 390 ? i * 1e-3 : 100.0 + i;
  check_buckets(c);
  std::vector<float> f(1000);
  for (int i = 0; i < 1000; ++i) f[i] = static_cast<float>(i * i) * 1e-3f;
  check_buckets(f);
}

// A partition that is not increasing gets no buckets, and neither does a uniform one (the hint
// decides); the counts follow nx when the partition changes.
TEST(DFTask, BucketsFollowThePartitionAndItsHint) {
  for (std::vector<double> x : {std::vector<double>{0, 2, 1, 3}, std::vector<double>{1, 1, 1, 1},
                                std::vector<double>{3, 2, 1, 0}}) {
    DFTask* t = nullptr;
    ASSERT_EQ(zorp_df_kernel_dNewTask1D(&t, 4, x.data(), 1, 0, nullptr, 0, 0), 0);
    EXPECT_EQ(t->buckets, nullptr);
    EXPECT_EQ(t->nbuckets, 0);
    zorp_df_kernel_DeleteTask(&t);
  }
  std::vector<double> x = ramp(300), x2 = ramp(600, 2.0);
  DFTask* t = nullptr;
  ASSERT_EQ(zorp_df_kernel_dNewTask1D(&t, 300, x.data(), DF_UNIFORM_PARTITION, 0, nullptr, 0, 0), 0);
  EXPECT_EQ(t->buckets, nullptr);
  EXPECT_EQ(zorp_df_kernel_iEditVal(t, DF_ATTR_XHINT, 2), 0);
  EXPECT_EQ(t->buckets, nullptr);
  EXPECT_EQ(zorp_df_kernel_iEditVal(t, DF_ATTR_XHINT, 1), 0);
  EXPECT_EQ(t->nbuckets, 18);
  ASSERT_EQ(zorp_df_kernel_dEditPtr(t, DF_ATTR_X, x2.data()), 0);
  ASSERT_EQ(zorp_df_kernel_iEditVal(t, DF_ATTR_NX, 600), 0);
  EXPECT_EQ(zorp_df_kernel_iEditVal(t, DF_ATTR_XHINT, 0), 0);
  EXPECT_EQ(t->nbuckets, 18);
  EXPECT_EQ(zorp_df_kernel_iEditVal(t, DF_ATTR_XHINT, 1), 0);
  EXPECT_EQ(t->nbuckets, 37);
  zorp_df_kernel_DeleteTask(&t);
}

TEST(DFTask, EditAndQueryValues) {
  std::vector<double> x = ramp(10);
  struct Row { int64_t attr, good, bad; int code; };
  const Row rows[] = {{DF_ATTR_NX, 2, 1, DF_ERROR_BAD_NX},
                      {DF_ATTR_XHINT, 2, 3, DF_ERROR_BAD_X_HINT},
                      {DF_ATTR_NY, 1, 0, DF_ERROR_BAD_NY},
                      {DF_ATTR_YHINT, 128, 64, DF_ERROR_BAD_Y_HINT},
                      {DF_ATTR_SPLINE_ORDER, 4, -1, DF_ERROR_BAD_SPLINE_ORDER},
                      {DF_ATTR_SPLINE_TYPE, 9, 6, DF_ERROR_BAD_SPLINE_TYPE},
                      {DF_ATTR_IC_TYPE, 12, 4, DF_ERROR_BAD_IC_TYPE},
                      {DF_ATTR_BC_TYPE, 48, -2, DF_ERROR_BAD_BC_TYPE},
                      {DF_ATTR_SCOEFF_HINT, 32, 48, DF_ERROR_BAD_SCOEFF_HINT},
                      {DF_ATTR_AUX_FLAG, 1, -1, DF_ERROR_BAD_FLAG}};
  for (uint32_t width : {0u, 1u}) {
    DFTask* t = nullptr;
    ASSERT_EQ(zorp_df_kernel_dNewTask1D(&t, 10, x.data(), 1, 0, nullptr, 0, width), 0);
    for (const Row& r : rows) {
      EXPECT_EQ(zorp_df_kernel_iEditVal(t, r.attr, r.bad), r.code) << r.attr;
      EXPECT_EQ(zorp_df_kernel_iEditVal(t, r.attr, r.good), 0) << r.attr;
      int64_t out = -0x5555555555555556;  // canary in the upper half
      EXPECT_EQ(zorp_df_kernel_iQueryVal(t, r.attr, &out), 0);
      if (width) EXPECT_EQ(out, r.good);
      else {
        int32_t lo, hi;
        std::memcpy(&lo, &out, 4);
        std::memcpy(&hi, reinterpret_cast<char*>(&out) + 4, 4);
        EXPECT_EQ(lo, r.good);
        EXPECT_EQ(hi, static_cast<int32_t>(0xAAAAAAAA));
      }
    }
    int64_t out;
    EXPECT_EQ(zorp_df_kernel_iQueryVal(t, 13, &out), DF_ERROR_BAD_ATTRIBUTE);
    EXPECT_EQ(zorp_df_kernel_iEditVal(t, 24, 0), DF_ERROR_BAD_ATTRIBUTE);
    EXPECT_EQ(zorp_df_kernel_iQueryVal(t, DF_ATTR_NX, nullptr), DF_ERROR_NULL_PTR);
    EXPECT_EQ(zorp_df_kernel_iQueryVal(nullptr, DF_ATTR_NX, &out), DF_ERROR_NULL_TASK);
    EXPECT_EQ(zorp_df_kernel_iEditVal(nullptr, DF_ATTR_NX, 3), DF_ERROR_NULL_TASK);
    zorp_df_kernel_DeleteTask(&t);
  }
}

TEST(DFTask, PointerEditsAndSpline) {
  const int nx = 10, ny = 2;
  std::vector<double> x = ramp(nx), y(nx * ny), bc(2), ic(8), coeff(4 * nx * ny);
  DFTask* t = nullptr;
  ASSERT_EQ(zorp_df_kernel_dNewTask1D(&t, nx, x.data(), 1, ny, y.data(), 16, 0), 0);
  EXPECT_EQ(zorp_df_kernel_dEditPtr(t, DF_ATTR_X, nullptr), DF_ERROR_BAD_X);
  EXPECT_EQ(zorp_df_kernel_dEditPtr(t, DF_ATTR_Y, nullptr), DF_ERROR_BAD_Y);
  EXPECT_EQ(zorp_df_kernel_dEditPtr(t, DF_ATTR_IC, nullptr), DF_ERROR_BAD_IC);
  EXPECT_EQ(zorp_df_kernel_dEditPtr(t, DF_ATTR_BC, nullptr), DF_ERROR_BAD_BC);
  EXPECT_EQ(zorp_df_kernel_dEditPtr(t, DF_ATTR_SCOEFF, nullptr), DF_ERROR_BAD_SCOEFF);
  EXPECT_EQ(zorp_df_kernel_dEditPtr(t, 6, y.data()), DF_ERROR_BAD_ATTRIBUTE);
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(zorp_df_kernel_dQueryPtr(t, DF_ATTR_SCOEFF, &out), 0);
  EXPECT_EQ(out, nullptr);
  // Spacing of per-function coefficients: type 1 has one block more.
  ASSERT_EQ(zorp_df_kernel_dEditPPSpline1D(t, 3, 1, DF_BC_FREE_END, nullptr, 8, nullptr, coeff.data(), 0),
            DF_ERROR_BAD_IC);
  ASSERT_EQ(zorp_df_kernel_dEditPPSpline1D(t, 3, 1, DF_BC_FREE_END, nullptr, 0, nullptr, coeff.data(), 0), 0);
  EXPECT_EQ(static_cast<double*>(t->coeff[1]) - coeff.data(), 30);
  ASSERT_EQ(zorp_df_kernel_dEditPPSpline1D(t, 3, 0, DF_BC_PERIODIC, nullptr, 0, nullptr, coeff.data(), 0), 0);
  EXPECT_EQ(static_cast<double*>(t->coeff[1]) - coeff.data(), 27);
  ASSERT_EQ(zorp_df_kernel_dEditPPSpline1D(t, 4, 2, 1, nullptr, 0, nullptr, coeff.data(), 128), 0);
  EXPECT_EQ(t->coeff[0], coeff.data());
  EXPECT_EQ(t->coeff[1], nullptr);
  EXPECT_EQ(zorp_df_kernel_dEditIdxPtr(t, DF_ATTR_SCOEFF, 1, nullptr), DF_ERROR_BAD_SCOEFF);
  EXPECT_EQ(zorp_df_kernel_dEditIdxPtr(t, DF_ATTR_SCOEFF, 2, coeff.data()), DF_ERROR_BAD_INDEX);
  EXPECT_EQ(zorp_df_kernel_dEditIdxPtr(t, DF_ATTR_SCOEFF, 1, coeff.data() + 40), 0);
  EXPECT_EQ(zorp_df_kernel_sQueryIdxPtr(t, DF_ATTR_SCOEFF, 1, &out), 0);
  EXPECT_EQ(out, coeff.data() + 40);
  // Check order: fields before the failing check are stored.
  EXPECT_EQ(zorp_df_kernel_dEditPPSpline1D(t, 2, 3, 4, nullptr, 0, nullptr, nullptr, 0), DF_ERROR_BAD_BC);
  EXPECT_EQ(t->order, 2);
  EXPECT_EQ(t->type, 3);
  EXPECT_EQ(zorp_df_kernel_dEditPPSpline1D(t, -1, 0, 0, nullptr, 0, nullptr, nullptr, 0), DF_ERROR_BAD_SPLINE_ORDER);
  EXPECT_EQ(zorp_df_kernel_dEditPPSpline1D(t, 1, -1, 0, nullptr, 0, nullptr, nullptr, 0), DF_ERROR_BAD_SPLINE_TYPE);
  EXPECT_EQ(zorp_df_kernel_dEditPPSpline1D(t, 1, 0, 0, nullptr, 0, ic.data(), nullptr, 0), DF_ERROR_BAD_IC_TYPE);
  EXPECT_EQ(zorp_df_kernel_dEditPPSpline1D(nullptr, 1, 0, 0, nullptr, 0, nullptr, nullptr, 0), DF_ERROR_NULL_TASK);
  ASSERT_EQ(zorp_df_kernel_dEditPtr(t, DF_ATTR_IC, ic.data()), 0);
  ASSERT_EQ(zorp_df_kernel_dEditPtr(t, DF_ATTR_BC, bc.data()), 0);
  for (int a = 1; a <= 4; ++a) EXPECT_EQ(zorp_df_kernel_dQueryPtr(t, a, &out), 0);
  EXPECT_EQ(out, bc.data());
  EXPECT_EQ(zorp_df_kernel_dQueryPtr(t, DF_ATTR_IC, nullptr), DF_ERROR_NULL_PTR);
  EXPECT_EQ(zorp_df_kernel_dQueryPtr(t, 7, &out), DF_ERROR_BAD_ATTRIBUTE);
  // ny = 0 forbids coefficient storage.
  DFTask* e = nullptr;
  ASSERT_EQ(zorp_df_kernel_sNewTask1D(&e, 3, reinterpret_cast<float*>(x.data()), 4, 0, nullptr, 0, 0), 0);
  float fc[8];
  EXPECT_EQ(zorp_df_kernel_sEditPtr(e, DF_ATTR_SCOEFF, fc), DF_ERROR_BAD_NY);
  EXPECT_EQ(zorp_df_kernel_sEditPPSpline1D(e, 2, 0, 0, nullptr, 0, nullptr, fc, 0), DF_ERROR_BAD_NY);
  zorp_df_kernel_DeleteTask(&e);
  zorp_df_kernel_DeleteTask(&t);
}

TEST(DFTask, AllocationFailureLeavesNothing) {
  std::vector<double> x = ramp(100), y(300), coeff(1200);
  const int64_t base = zorp_core_live_allocations();
  for (int k = 1; k <= 3; ++k) {
    DFTask* t = nullptr;
    zorp_core_fail_allocation(k);
    EXPECT_EQ(zorp_df_kernel_dNewTask1D(&t, 100, x.data(), 1, 3, y.data(), 0, 0), DF_ERROR_MEM_FAILURE) << k;
    zorp_core_fail_allocation(0);
    if (t) zorp_df_kernel_DeleteTask(&t);
    EXPECT_EQ(zorp_core_live_allocations(), base);
  }
  DFTask* t = nullptr;
  ASSERT_EQ(zorp_df_kernel_dNewTask1D(&t, 100, x.data(), 1, 3, y.data(), 0, 0), 0);
  zorp_core_fail_allocation(1);
  EXPECT_EQ(zorp_df_kernel_dEditPPSpline1D(t, 4, 2, 1, nullptr, 0, nullptr, coeff.data(), 0), DF_ERROR_MEM_FAILURE);
  zorp_core_fail_allocation(1);
  EXPECT_EQ(zorp_df_kernel_dEditPtr(t, DF_ATTR_Y, y.data()), DF_ERROR_MEM_FAILURE);
  zorp_core_fail_allocation(1);
  EXPECT_EQ(zorp_df_kernel_iEditVal(t, DF_ATTR_XHINT, 1), DF_ERROR_MEM_FAILURE);
  zorp_core_fail_allocation(0);
  zorp_df_kernel_DeleteTask(&t);
  EXPECT_EQ(zorp_core_live_allocations(), base);
}

}  // namespace
