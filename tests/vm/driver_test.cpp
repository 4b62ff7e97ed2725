// What the shared kernel driver promises beyond each function's results: the caller's
// floating-point control state comes back, the flushing mode, calls large enough to store
// around the caches, strided elements addressed in 64 bits however far apart, reports that show
// the arguments of in-place calls, and the few fixed values no reference settles.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/guarded.h"
#include "common/reporting.h"
#include "accuracy/rows.h"
#include "platform/fpu.h"

namespace zorp::test {
namespace {

// A large range that reserves no memory: only the pages a test touches become real.
template <typename T>
struct Sparse {
  explicit Sparse(uint64_t elements) : range(elements * sizeof(T)), data(static_cast<T*>(range.data())) {}
  zorp::test::SparseRange range;
  T* data;
};

std::vector<ZorpVmErrorRecord>& g_records = reported();

class Driver : public Reporting<> {};

// A kernel's special elements are finished one at a time: arrays that start off their element
// alignment (a double array 4 bytes off, a float array 2 bytes off) must come out as the vector
// path leaves them, and the callback's value must land in the array.  Under the undefined-
// behaviour sanitizer an element stored through a misaligned pointer stops the test.
int32_t seven(ZorpVmErrorRecord* r) {
  reported().push_back(*r);
  r->res1 = 7.0;
  return 0;
}
template <typename E>
void misaligned_special(void (*contiguous)(int32_t, const E*, E*),
                        void (*strided)(int32_t, const E*, int32_t, E*, int32_t), size_t off) {
  constexpr int n = 37;  // two full registers of either type and a tail
  alignas(64) unsigned char abuf[2 * n * sizeof(E) + 64], rbuf[2 * n * sizeof(E) + 64];
  unsigned char* a = abuf + off;
  unsigned char* r = rbuf + off;
  const auto put = [](unsigned char* p, int i, E v) { std::memcpy(p + i * sizeof(E), &v, sizeof(E)); };
  const auto get = [](const unsigned char* p, int i) {
    E v;
    std::memcpy(&v, p + i * sizeof(E), sizeof(E));
    return v;
  };
  for (int i = 0; i < 2 * n; ++i) put(a, i, (i % 17 == 3 || i == n - 1) ? E(2) : E(0.5));
  for (int inc : {1, 2}) {
    reported().clear();
    if (inc == 1) contiguous(n, reinterpret_cast<const E*>(a), reinterpret_cast<E*>(r));
    else strided(n, reinterpret_cast<const E*>(a), 2, reinterpret_cast<E*>(r), 2);
    int special = 0;
    for (int i = 0; i < n; ++i) {
      const E x = get(a, i * inc), y = get(r, i * inc);
      if (x == E(2)) {
        ++special;
        EXPECT_EQ(y, E(7)) << "element " << i << " increment " << inc;
      } else {
        EXPECT_NEAR(y, std::asin(0.5), 1e-6) << "element " << i << " increment " << inc;
      }
    }
    EXPECT_EQ(int(reported().size()), special) << inc;
  }
}

TEST_F(Driver, SpecialElementsOfMisalignedArrays) {
  _fennSetErrorCallBack(seven);
  misaligned_special<double>(_fenndAsin_HA, _fenndAsinI_HA, 4);
  misaligned_special<double>(_fenndAsin_26, _fenndAsinI_26, 4);
  misaligned_special<float>(_fennsAsin_HA, _fennsAsinI_HA, 2);
}


// A caller with flush-to-zero and rounding toward zero in the vector control register, and an
// x87 control word with the invalid-operation exception unmasked and 53-bit precision, gets
// results computed with round to nearest and no flushing, a callout that ran, and both control
// words back, with the flags the call raised added to the vector register's.
TEST_F(Driver, CallersControlStateComesBack) {
  const uint32_t mxcsr = _mm_getcsr();
  const uint16_t x87 = fpu::x87_get_control();
  const uint32_t caller = 0x1F80u | 0x8000u | 0x6000u;  // masked, FTZ, toward zero
  const uint16_t caller_x87 = static_cast<uint16_t>((0x037F & ~0x0300 & ~0x01) | 0x0200);
  const double one = 1, three = 3, tiny = 0x1p-1022, half = 0.5, minus_one = -1;
  double q, p, l;
  _mm_setcsr(caller);
  fpu::x87_set_control(caller_x87);
  _fenndDiv(1, &one, &three, &q);
  _fenndMul(1, &tiny, &half, &p);
  _fenndLn(1, &minus_one, &l);
  const uint16_t x87_after = fpu::x87_get_control();
  const uint32_t after = _mm_getcsr();
  fpu::x87_set_control(x87);
  _mm_setcsr(mxcsr);
  EXPECT_EQ(after & 0xFFC0u, caller & 0xFFC0u);
  EXPECT_NE(after & 0x20u, 0u) << "the inexact flag of 1/3 was not added";
  EXPECT_EQ(x87_after, caller_x87);
  EXPECT_EQ(q, 1.0 / 3.0);
  EXPECT_EQ(p, 0x1p-1023);
  EXPECT_EQ(g_records.size(), 1u) << "the callout of ln(-1) did not run";
}

// With the flushing mode a denormal argument counts as zero, in every form; with another
// denormal mode it does not.
TEST_F(Driver, FlushingModeTreatsDenormalsAsZero) {
  _fennSetMode(0x280000);
  const float d1[2] = {0x1p-149f * 3, -0x1p-149f}, d2[2] = {0x1p-149f * 5, 1};
  const double e1 = 0x1p-1074 * 3, e2 = 0x1p-1074 * 5;
  float r[4] = {1, 1, 1, 1};
  double s = 1, t[2] = {1, 1};
  _fennsAdd(1, d1, d2, r);
  _fenndAdd(1, &e1, &e2, &s);
  _fennsAbsI(2, d1, 1, r + 1, 2);
  _fenndAbsI(1, &e1, 1, t, 2);
  EXPECT_EQ(bits(r[0]), 0u);
  EXPECT_EQ(bits(s), 0u);
  EXPECT_EQ(bits(r[1]), 0u);
  EXPECT_EQ(bits(t[0]), 0u);
  _fennSetMode(0x40000);
  _fenndAdd(1, &e1, &e2, &s);
  EXPECT_EQ(s, 0x1p-1074 * 8);
}

// Calls that move more data than the caches hold, with arguments and results that start off a
// register boundary by 0 to 3 elements together, or with the results alone shifted (and the
// second results at yet another offset): every element equals the result of small calls, and
// zero divisors in the peel and the streamed blocks are reported with their indices.
template <typename R>
void check_large_calls() {
  const int n = 1800001, kChunk = 1000;  // above the streaming threshold in both precisions
  std::vector<R> a(n), b(n);
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<R> u(-50, 50);
  for (int i = 0; i < n; ++i) a[i] = u(rng), b[i] = u(rng);
  const std::vector<int32_t> zeros = {1, 2, 4096, 1523775, n - 2};
  for (int32_t z : zeros) b[z] = R(0);
  for (const char* name : {"Div", "Modf"}) {
    const VmRow& row = row_named(std::string("v") + (sizeof(R) == 4 ? 's' : 'd') + name);
    std::vector<R> w1(n), w2(n);
    for (int s = 0; s < n; s += kChunk)
      call<R>(row, 1, false, std::min(kChunk, n - s), &a[s], &b[s], &w1[s], &w2[s]);
    for (int k = 0; k < 5; ++k) {
      const int in = k == 4 ? 1 : k, out1 = k == 4 ? 2 : k, out2 = (k + 1) % 4;  // k = 4: the results alone shifted
      std::vector<R> ba(n + 8), bb(n + 8), r1(n + 8), r2(n + 8);
      std::copy(a.begin(), a.end(), ba.begin() + in);
      std::copy(b.begin(), b.end(), bb.begin() + in);
      g_records.clear();
      call<R>(row, 1, false, n, &ba[in], &bb[in], &r1[out1], &r2[out2]);
      for (int i = 0; i < n; ++i) {
        ASSERT_EQ(bits(r1[i + out1]), bits(w1[i])) << name << " offset " << k << " i " << i;
        if (row.results() == 2) {
          ASSERT_EQ(bits(r2[i + out2]), bits(w2[i])) << name << " i " << i;
        }
      }
      std::vector<int32_t> reported;
      for (const auto& rec : g_records) reported.push_back(rec.index);
      EXPECT_EQ(reported, row.results() == 2 ? std::vector<int32_t>{} : zeros) << name << " offset " << k;
    }
  }
}
TEST_F(Driver, LargeCallsMatchSmallCallsAtEveryOffset) {
  check_large_calls<float>();
  check_large_calls<double>();
}


// Lane i of a strided register sits i*inc elements away: with inc = 4e8 the last of eight lanes
// is 2.8e9 elements from the first, and the second register starts 3.2e9 elements away, past
// what 32-bit offsets hold.
TEST_F(Driver, StridedElementsFarApartAreAddressedIn64Bits) {
  constexpr int32_t kInc = 400000000;
  Sparse<double> r(uint64_t{8} * kInc + 1);
  ASSERT_NE(r.data, nullptr);
  const double a[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9}, b[9] = {10, 20, 30, 40, 50, 60, 70, 80, 90};
  // The result pages are made real before the call: under Wine, a vector scatter that faults
  // on a page the range then provides does not complete its remaining elements.
  for (uint64_t i = 0; i < 9; ++i) r.data[i * kInc] = -1.0;
  _fenndAddI(9, a, 1, b, 1, r.data, kInc);
  for (uint64_t i = 0; i < 9; ++i) EXPECT_EQ(r.data[i * kInc], a[i] + b[i]) << i;

  // Reading: the third argument lies 2^31 elements from the first, and it is special.
  constexpr int32_t kReadInc = 1 << 30;
  Sparse<double> x(uint64_t{2} * kReadInc + 1);
  ASSERT_NE(x.data, nullptr);
  x.data[0] = 1.0;
  x.data[kReadInc] = std::exp(1.0);
  x.data[uint64_t{2} * kReadInc] = -1.0;
  double out[3] = {};
  _fenndLnI(3, x.data, kReadInc, out, 1);
  EXPECT_EQ(out[0], 0.0);
  EXPECT_NEAR(out[1], 1.0, 1e-15);
  EXPECT_TRUE(std::isnan(out[2]));
  ASSERT_EQ(g_records.size(), 1u);
  EXPECT_EQ(g_records[0].index, 2);
  EXPECT_EQ(g_records[0].arg1, -1.0);
}

// The result array is the argument array: the record must carry the arguments, not the results
// already stored over them; strided and single precision take the same route.
TEST_F(Driver, InPlaceCallsReportTheArguments) {
  double b[4] = {-1, 0, 2, -5};
  _fenndLn(4, b, b);
  double p[3] = {1, 2, 3};
  const double q[3] = {4, 0, 8};
  _fenndDiv(3, p, q, p);
  float s[6] = {4, 9, -4, 9, 16, 9};
  _fennsSqrtI(3, s, 2, s, 2);
  ASSERT_EQ(g_records.size(), 5u);
  const double args[5] = {-1, 0, -5, 2, -4};
  for (int k = 0; k < 5; ++k) EXPECT_EQ(g_records[k].arg1, args[k]) << k;
  EXPECT_EQ(g_records[3].arg2, 0.0);
  EXPECT_EQ(p[1], INFINITY);
  EXPECT_EQ(s[4], 4.0f);
}

// Values no reference settles, in every slot: exact results of the exponentials (e^0 = 1 even
// where a few ulp are allowed), and what the vector path stores where the error mode "no error"
// lets no callout finish the element.
struct Point {
  const char* fn;
  double a[2], b[2];
  double want[2];  // NaN: any NaN
  bool no_error;
};
const double kInf = INFINITY, kNaN = NAN;
const Point kPoints[] = {
    {"vsExp", {0}, {0}, {1}, false},        {"vsExp", {-0.0}, {0}, {1}, false},
    {"vdExp", {0}, {0}, {1}, false},        {"vdExp", {-0.0}, {0}, {1}, false},
    {"vsExp2", {0}, {0}, {1}, false},       {"vdExp10", {0}, {0}, {1}, false},
    {"vsExp2", {3}, {0}, {8}, false},       {"vsExp2", {-3}, {0}, {0.125}, false},
    {"vsExp2", {10}, {0}, {1024}, false},   {"vdExp2", {1000}, {0}, {0x1p1000}, false},
    {"vdExp2", {-1074}, {0}, {0x1p-1074}, false},
    {"vsExp", {100}, {0}, {kInf}, true},    {"vdExp", {1000}, {0}, {kInf}, true},
    {"vdLn", {-1}, {0}, {kNaN}, true},      {"vzDiv", {3, 0}, {0, 0}, {kInf, kNaN}, true},
    {"vcDiv", {3, 0}, {0, 0}, {kInf, kNaN}, true},
    // Complex division with infinite parts, where the reference's zeros carry no sign we keep:
    // infinite parts count as +-1 and finite ones as +-0 in a*conj(b), which gives the signs.
    {"vzDiv", {kInf, 0}, {1, 1}, {kInf, -kInf}, false},
    {"vzDiv", {-kInf, 2}, {0, 3}, {kNaN, kInf}, false},  // real part undetermined
    {"vcDiv", {-1, 2}, {kInf, kInf}, {0.0, 0.0}, false},
    {"vzDiv", {1, -2}, {-kInf, 5}, {-0.0, 0.0}, false},
    {"vcDiv", {3, 4}, {kNaN, kInf}, {0.0, -0.0}, false},  // a NaN part of an infinite b counts as 0
};

template <typename R>
void check_point(const Point& pt) {
  const VmRow& row = row_named(pt.fn);
  const R a[2] = {R(pt.a[0]), R(pt.a[1])}, b[2] = {R(pt.b[0]), R(pt.b[1])};
  if (pt.no_error) _fennSetMode(ZORP_VM_ERRMODE_NOERR);
  for (int slot = 0; slot < 3; ++slot) {
    R r[2] = {};
    call<R>(row, slot, false, 1, a, b, r, r);
    for (int p = 0; p < row.out_parts(); ++p) {
      if (std::isnan(pt.want[p])) {
        EXPECT_TRUE(std::isnan(r[p])) << pt.fn << " slot " << slot;
      } else {
        EXPECT_EQ(bits(r[p]), bits(R(pt.want[p]))) << pt.fn << "(" << pt.a[0] << ") slot " << slot;
      }
    }
  }
}
TEST_F(Driver, FixedValues) {
  for (const Point& pt : kPoints) {
    _fennSetMode(ZORP_VM_HA | ZORP_VM_ERRMODE_CALLBACK);
    if (row_named(pt.fn).dbl()) check_point<double>(pt);
    else check_point<float>(pt);
  }
  // Abs quiets a signalling NaN and keeps its payload.
  const float snan = std::numeric_limits<float>::signaling_NaN();
  const double dsnan = -std::numeric_limits<double>::signaling_NaN();
  float r;
  double s;
  _fennsAbs(1, &snan, &r);
  _fenndAbs_26(1, &dsnan, &s);
  EXPECT_EQ(bits(r), bits(snan) | 0x400000u);
  EXPECT_EQ(bits(s), (bits(dsnan) & ~(1ull << 63)) | (1ull << 51));
}

// LinearFrac has no callout but guards the x87 unit at entry, like every kernel that does
// floating-point work of its own: a caller's pending unmasked x87 exception is cleared rather
// than left to trap inside the library, and the caller's control word comes back.
TEST_F(Driver, LinearFracGuardsTheX87UnitAtEntry) {
  using namespace zorp::fpu;
  X87Env saved, env;
  x87_store_env(&saved);
  env = saved;
  env.control = static_cast<uint16_t>((saved.control | 0x3F) & ~0x1);  // invalid unmasked
  env.status = static_cast<uint16_t>(saved.status | 0x81);             // invalid pending
  x87_load_env(&env);
  const float a[1] = {1}, b[1] = {2};
  float r[1];
  _fennsLinearFrac(1, a, b, 1, 0, 1, 0, r);
  const uint16_t status = x87_get_status(), control = x87_get_control();
  __asm__ volatile("fnclex");
  x87_load_env(&saved);
  EXPECT_EQ(r[0], 0.5f);
  EXPECT_EQ(status & 0x3F, 0) << "the pending exception was left for the caller's next x87 instruction";
  EXPECT_EQ(control, env.control) << "the caller's control word comes back";
}

}  // namespace
}  // namespace zorp::test
