// The reporting routines called directly, as a kernel calls them: what each status does in each
// channel, the record a callback receives, and what is written back.
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <thread>

#include <unistd.h>

#include "vm/error/channels.h"
#include "vmerr/fixture.h"

namespace zorp::test {
namespace {

using vm::report;
using vm::report_strided;

constexpr uint32_t kErrnoStderrExceptCallback = 0x1E02;

// ---- every status through every channel -------------------------------------------------------

struct StatusCase {
  int32_t status;
  int errno_value;
  uint16_t x87_flag;
  int headline;       // stderr code, 0 for none
  bool carries_values;  // record values filled and written back
};

class EveryStatus : public VmErrTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(EveryStatus, AllChannelsAndTheCallback) {
  const StatusCase c = GetParam();
  reset(kErrnoStderrExceptCallback, recording_callback);
  // A one-result element: the callback changes both copies of the result, so that stderr
  // still sees one result.
  callback_body() = [](ZorpVmErrorRecord* r) {
    r->res1 = 42.0;
    r->res2 = 42.0;
    return 0;
  };
  double a[3] = {0.5, 2.5, 0.75};
  double r[3] = {1.0, -3.0, 1.0};
  report(c.status, 1, a, a, r, r, "vdTest");

  EXPECT_EQ(status(), c.status);
  ASSERT_EQ(seen_records().size(), 1u);
  const ZorpVmErrorRecord& rec = seen_records()[0];
  EXPECT_EQ(rec.status, c.status);
  EXPECT_EQ(rec.index, 1);
  EXPECT_STREQ(rec.name, "vdTest");
  EXPECT_EQ(rec.name_length, 6);
  if (c.carries_values) {
    EXPECT_EQ(rec.arg1, 2.5);
    EXPECT_EQ(rec.arg2, 2.5);
    EXPECT_EQ(rec.res1, -3.0);
    EXPECT_EQ(rec.res2, -3.0);
    EXPECT_EQ(r[1], 42.0) << "the callback's result is stored";
  } else {
    EXPECT_EQ(rec.arg1, 0.0);
    EXPECT_EQ(rec.res1, 0.0);
    EXPECT_EQ(r[1], -3.0) << "nothing is written back for a count or pointer error";
  }
  EXPECT_EQ(r[0], 1.0);
  EXPECT_EQ(r[2], 1.0);

  EXPECT_EQ(errno, c.errno_value);
  EXPECT_EQ(x87_flags(), c.x87_flag);
  EXPECT_EQ(x87_masks(), 0x3F);

  const auto& p = printed();
  if (c.headline == 0) {
    EXPECT_TRUE(p.empty());
    return;
  }
  ASSERT_FALSE(p.empty());
  EXPECT_EQ(p[0].channel, 1);
  EXPECT_EQ(p[0].code, c.headline);
  EXPECT_EQ(p[0].text, "vdTest");
  if (c.status == ZORP_VM_STATUS_BADSIZE) {
    EXPECT_EQ(p[0].nargs, 2);
    EXPECT_EQ(p[0].integer, 1);
  } else {
    EXPECT_EQ(p[0].nargs, 1);
  }
  if (!c.carries_values) {
    EXPECT_EQ(p.size(), 1u);
    return;
  }
  // One argument, one result; the printed result is the callback's.
  ASSERT_EQ(p.size(), 3u);
  EXPECT_EQ(p[1].code, 755);
  EXPECT_EQ(p[1].integer, 1);
  EXPECT_EQ(p[1].value, 2.5);
  EXPECT_EQ(p[2].code, 756);
  EXPECT_EQ(p[2].value, 42.0);
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, EveryStatus,
    ::testing::Values(StatusCase{1, 33, 0x01, 750, true}, StatusCase{2, 34, 0x04, 751, true},
                      StatusCase{3, 34, 0x08, 752, true}, StatusCase{4, 34, 0x10, 753, true},
                      StatusCase{0, 0, 0, 0, true}, StatusCase{-1, 22, 0, 748, false},
                      StatusCase{-2, 13, 0, 749, false}, StatusCase{5, 14, 0, 754, true},
                      StatusCase{-3, 14, 0, 754, true},
                      StatusCase{std::numeric_limits<int32_t>::min(), 14, 0, 754, true}),
    [](const auto& info) {
      const int32_t s = info.param.status;
      return s < 0 ? "minus" + std::to_string(-static_cast<int64_t>(s)) : std::to_string(s);
    });

// ---- error groups and single channels -------------------------------------------------------

struct ChannelCase {
  const char* label;
  uint32_t mode;
  bool status_set, callback_runs, errno_set, printed, x87_flag;
};

class Channels : public VmErrTest, public ::testing::WithParamInterface<ChannelCase> {};

TEST_P(Channels, OnlyTheSelectedChannelsAct) {
  const ChannelCase c = GetParam();
  reset(c.mode, recording_callback);
  errno = 1234;
  float a[2] = {1.0f, 1e30f};
  float r[2] = {0.0f, INFINITY};
  report(ZORP_VM_STATUS_OVERFLOW, 1, a, a, r, r, "vsExp");
  EXPECT_EQ(status(), c.status_set ? ZORP_VM_STATUS_OVERFLOW : 0);
  EXPECT_EQ(seen_records().size(), c.callback_runs ? 1u : 0u);
  EXPECT_EQ(errno, c.errno_set ? 34 : 1234);
  EXPECT_EQ(printed().empty(), !c.printed);
  EXPECT_EQ(x87_flags(), c.x87_flag ? 0x08 : 0);
  EXPECT_EQ(r[1], INFINITY);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, Channels,
    ::testing::Values(
        ChannelCase{"noerror", 0x2002, false, false, false, false, false},
        ChannelCase{"ignore", 0x0102, true, false, false, false, false},
        ChannelCase{"errno", 0x0202, true, false, true, false, false},
        ChannelCase{"stderr", 0x0402, true, false, false, true, false},
        ChannelCase{"except", 0x0802, true, false, false, false, true},
        ChannelCase{"callback", 0x1002, true, true, false, false, false},
        ChannelCase{"default", 0x1A02, true, true, true, false, true},
        ChannelCase{"all", 0x1E02, true, true, true, true, true},
        // The two special groups act only when they stand alone; combined, the other flags
        // work as usual.
        ChannelCase{"noerror_and_errno", 0x2202, true, false, true, false, false},
        ChannelCase{"ignore_and_errno", 0x0302, true, false, true, false, false},
        ChannelCase{"ignore_and_callback", 0x1102, true, true, false, false, false}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(VmErrTest, TheLastReportWinsAndStatusesAreNotAccumulated) {
  reset(ZORP_VM_DEFAULT_MODE);
  double a[2] = {0.0, 1e300}, r[2] = {INFINITY, INFINITY};
  report(ZORP_VM_STATUS_SING, 0, a, a, r, r, "vdInv");
  report(ZORP_VM_STATUS_OVERFLOW, 1, a, a, r, r, "vdExp");
  EXPECT_EQ(status(), ZORP_VM_STATUS_OVERFLOW);
  // The x87 flags do accumulate, like any floating-point flags.
  EXPECT_EQ(x87_flags(), 0x04 | 0x08);
}

TEST_F(VmErrTest, CallbackReturningNonZeroKeepsTheKernelResultAndStopsTheChannels) {
  reset(kErrnoStderrExceptCallback, recording_callback);
  callback_body() = [](ZorpVmErrorRecord* r) {
    r->res1 = 42.0;
    return 1;
  };
  double a[1] = {0.0}, r[1] = {-INFINITY};
  report(ZORP_VM_STATUS_SING, 0, a, a, r, r, "vdLn");
  EXPECT_EQ(r[0], -INFINITY);
  EXPECT_EQ(status(), ZORP_VM_STATUS_SING);
  EXPECT_EQ(errno, 0);
  EXPECT_TRUE(printed().empty());
  EXPECT_EQ(x87_flags(), 0);
}

TEST_F(VmErrTest, CallbackIsSkippedWithoutItsModeFlag) {
  reset(0x0202, recording_callback);
  double a[1] = {0.0}, r[1] = {1.0};
  report(ZORP_VM_STATUS_SING, 0, a, a, r, r, "vdInv");
  EXPECT_TRUE(seen_records().empty());
  EXPECT_EQ(errno, 34);
}

TEST_F(VmErrTest, ChannelsFollowAModeTheCallbackChanged) {
  reset(0x1202, recording_callback);  // callback + errno
  callback_body() = [](ZorpVmErrorRecord*) {
    vm::thread_state()->mode = 0x0402;  // the callback switches to stderr only
    return 0;
  };
  double a[1] = {0.0}, r[1] = {1.0};
  report(ZORP_VM_STATUS_SING, 0, a, a, r, r, "vdInv");
  EXPECT_EQ(errno, 0);
  EXPECT_FALSE(printed().empty());
}

TEST_F(VmErrTest, ErrnoIsTheReportingThreadsOwn) {
  reset(0x0202);
  errno = 0;
  int thread_errno = -1;
  std::thread t([&] {
    vm::thread_state()->mode = 0x0202;
    double a[1] = {0.0}, r[1] = {1.0};
    report(ZORP_VM_STATUS_ERRDOM, 0, a, a, r, r, "vdAcos");
    thread_errno = errno;
  });
  t.join();
  EXPECT_EQ(thread_errno, 33);
  EXPECT_EQ(errno, 0);
  // The entry found once is the runtime's own.
  ASSERT_NE(vm::runtime_errno_entry(), nullptr);
  EXPECT_EQ(vm::runtime_errno_entry()(), &errno);
  EXPECT_EQ(vm::runtime_errno_entry(), vm::runtime_errno_entry());
}

// ---- the record, by element type ---------------------------------------------------------------

template <typename E>
struct Elem;
template <>
struct Elem<float> {
  static float make(double re, double) { return static_cast<float>(re); }
  static double re(float e) { return e; }
  static double im(float) { return 0.0; }
  static constexpr bool kComplex = false;
};
template <>
struct Elem<double> {
  static double make(double re, double) { return re; }
  static double re(double e) { return e; }
  static double im(double) { return 0.0; }
  static constexpr bool kComplex = false;
};
template <>
struct Elem<ZorpComplex8> {
  static ZorpComplex8 make(double re, double im) {
    return {static_cast<float>(re), static_cast<float>(im)};
  }
  static double re(ZorpComplex8 e) { return e.re; }
  static double im(ZorpComplex8 e) { return e.im; }
  static constexpr bool kComplex = true;
};
template <>
struct Elem<ZorpComplex16> {
  static ZorpComplex16 make(double re, double im) { return {re, im}; }
  static double re(ZorpComplex16 e) { return e.re; }
  static double im(ZorpComplex16 e) { return e.im; }
  static constexpr bool kComplex = true;
};

template <typename E>
class RecordByType : public VmErrTest {};
using ElementTypes = ::testing::Types<float, double, ZorpComplex8, ZorpComplex16>;
TYPED_TEST_SUITE(RecordByType, ElementTypes);

TYPED_TEST(RecordByType, ValuesImaginaryPartsAndWriteBack) {
  using E = TypeParam;
  using X = Elem<E>;
  this->reset(0x1002, recording_callback);
  callback_body() = [](ZorpVmErrorRecord* r) {
    r->res1 = 7.0;
    r->res1_im = -7.5;
    r->res2 = 9.0;
    r->res2_im = 9.5;
    return 0;
  };
  E a[4], b[4], r1[4], r2[4];
  for (int i = 0; i < 4; ++i) {
    a[i] = X::make(100 + i, 200 + i);
    b[i] = X::make(300 + i, 400 + i);
    r1[i] = X::make(500 + i, 600 + i);
    r2[i] = X::make(700 + i, 800 + i);
  }
  report(ZORP_VM_STATUS_ERRDOM, 2, a, b, r1, r2, "vxTest");
  ASSERT_EQ(seen_records().size(), 1u);
  const ZorpVmErrorRecord& rec = seen_records()[0];
  EXPECT_EQ(rec.index, 2);
  EXPECT_EQ(rec.arg1, 102.0);
  EXPECT_EQ(rec.arg2, 302.0);
  EXPECT_EQ(rec.res1, 502.0);
  EXPECT_EQ(rec.res2, 702.0);
  EXPECT_EQ(rec.arg1_im, X::kComplex ? 202.0 : 0.0);
  EXPECT_EQ(rec.arg2_im, X::kComplex ? 402.0 : 0.0);
  EXPECT_EQ(rec.res1_im, X::kComplex ? 602.0 : 0.0);
  EXPECT_EQ(rec.res2_im, X::kComplex ? 802.0 : 0.0);
  EXPECT_EQ(rec.reserved, 0);

  EXPECT_EQ(X::re(r1[2]), 7.0);
  EXPECT_EQ(X::re(r2[2]), 9.0);
  EXPECT_EQ(X::im(r1[2]), X::kComplex ? -7.5 : 0.0);
  EXPECT_EQ(X::im(r2[2]), X::kComplex ? 9.5 : 0.0);
  for (int i : {0, 1, 3}) {
    EXPECT_EQ(X::re(r1[i]), 500.0 + i) << i;
    EXPECT_EQ(X::re(r2[i]), 700.0 + i) << i;
  }
  EXPECT_EQ(X::re(a[2]), 102.0);  // arguments are never written
}

TYPED_TEST(RecordByType, OneResultArrayKeepsTheFirstResult) {
  using E = TypeParam;
  using X = Elem<E>;
  this->reset(0x1002, recording_callback);
  callback_body() = [](ZorpVmErrorRecord* r) {
    r->res1 = 1.0;
    r->res1_im = 1.5;
    r->res2 = 2.0;
    r->res2_im = 2.5;
    return 0;
  };
  E a[1] = {X::make(3, 4)}, r[1] = {X::make(5, 6)};
  report(ZORP_VM_STATUS_SING, 0, a, a, r, r, "vxTest");
  EXPECT_EQ(X::re(r[0]), 1.0);
  EXPECT_EQ(X::im(r[0]), X::kComplex ? 1.5 : 0.0);
}

TYPED_TEST(RecordByType, IndexCountsFromTheInterfaceInputVector) {
  using E = TypeParam;
  using X = Elem<E>;
  this->reset(0x1002, recording_callback);
  E whole[64];
  for (int i = 0; i < 64; ++i) whole[i] = X::make(i, -i);
  const E* piece = whole + 40;
  zorp_fenn_kernel_SetInterfInputVectorPointer(whole);
  report(ZORP_VM_STATUS_ERRDOM, 3, piece, piece, whole, whole, "vxTest");
  // The strided form counts the same way, whatever the increment.
  report_strided(ZORP_VM_STATUS_ERRDOM, 3, piece, 5, piece, 5, whole, 1, whole, 1, "vxTest");
  // An argument array before the start: the byte distance wraps as an unsigned number.
  report(ZORP_VM_STATUS_ERRDOM, 5, whole, whole, whole, whole + 1, "vxTest");
  zorp_fenn_kernel_SetInterfInputVectorPointer(whole + 1);
  report(ZORP_VM_STATUS_ERRDOM, 5, whole, whole, whole, whole, "vxTest");
  // A start one byte after the array: the unsigned quotient rounds the other way than a signed
  // one would.
  zorp_fenn_kernel_SetInterfInputVectorPointer(reinterpret_cast<const char*>(whole) + 1);
  report(ZORP_VM_STATUS_ERRDOM, 5, whole, whole, whole, whole, "vxTest");
  zorp_fenn_kernel_SetInterfInputVectorPointer(nullptr);
  report(ZORP_VM_STATUS_ERRDOM, 5, piece, piece, whole, whole, "vxTest");
  ASSERT_EQ(seen_records().size(), 6u);
  EXPECT_EQ(seen_records()[0].index, 43);
  EXPECT_EQ(seen_records()[0].arg1, 43.0);  // the element itself is still a[index]
  EXPECT_EQ(seen_records()[1].index, 43);
  EXPECT_EQ(seen_records()[1].arg1, 55.0);
  EXPECT_EQ(seen_records()[2].index, 5);
  EXPECT_EQ(seen_records()[3].index, 4);  // 5 + (2^64 - size) / size cut to 32 bits
  EXPECT_EQ(seen_records()[4].index, 4);
  EXPECT_EQ(seen_records()[5].index, 5);
}

TYPED_TEST(RecordByType, StridedElements) {
  using E = TypeParam;
  using X = Elem<E>;
  this->reset(0x1002, recording_callback);
  callback_body() = [](ZorpVmErrorRecord* r) {
    r->res1 = -1.0;
    r->res2 = -2.0;
    return 0;
  };
  E a[64], b[64], r1[64], r2[64];
  for (int i = 0; i < 64; ++i) {
    a[i] = X::make(i, 0);
    b[i] = X::make(100 + i, 0);
    r1[i] = X::make(200 + i, 0);
    r2[i] = X::make(300 + i, 0);
  }
  report_strided(ZORP_VM_STATUS_OVERFLOW, 4, a, 3, b, 5, r1, 2, r2, 7, "vxTest");
  ASSERT_EQ(seen_records().size(), 1u);
  EXPECT_EQ(seen_records()[0].index, 4);
  EXPECT_EQ(seen_records()[0].arg1, 12.0);
  EXPECT_EQ(seen_records()[0].arg2, 120.0);
  EXPECT_EQ(seen_records()[0].res1, 208.0);
  EXPECT_EQ(seen_records()[0].res2, 328.0);
  for (int i = 0; i < 64; ++i) {
    EXPECT_EQ(X::re(r1[i]), i == 8 ? -1.0 : 200.0 + i) << i;
    EXPECT_EQ(X::re(r2[i]), i == 28 ? -2.0 : 300.0 + i) << i;
  }

  // A negative increment reaches back from the array pointer.
  seen_records().clear();
  report_strided(ZORP_VM_STATUS_OVERFLOW, 3, a + 40, -2, b + 40, -1, r1 + 40, -3, r2 + 40, -5,
                 "vxTest");
  ASSERT_EQ(seen_records().size(), 1u);
  EXPECT_EQ(seen_records()[0].arg1, 34.0);
  EXPECT_EQ(seen_records()[0].arg2, 137.0);
  EXPECT_EQ(X::re(r1[31]), -1.0);
  EXPECT_EQ(X::re(r2[25]), -2.0);
}

// ---- the name ------------------------------------------------------------------------------

class NameLength : public VmErrTest, public ::testing::WithParamInterface<int> {};

TEST_P(NameLength, CutTo47Characters) {
  const int length = GetParam();
  reset(0x1402, recording_callback);
  std::string name;
  for (int i = 0; i < length; ++i) name += static_cast<char>('a' + i % 26);
  double a[1] = {0.0}, r[1] = {0.0};
  report(ZORP_VM_STATUS_SING, 0, a, a, r, r, name.c_str());
  ASSERT_EQ(seen_records().size(), 1u);
  const ZorpVmErrorRecord& rec = seen_records()[0];
  const int kept = length < 47 ? length : 47;
  EXPECT_EQ(rec.name_length, kept);
  EXPECT_EQ(std::string(rec.name), name.substr(0, kept));
  for (int i = kept; i < 64; ++i) EXPECT_EQ(rec.name[i], '\0') << i;
  ASSERT_FALSE(printed().empty());
  EXPECT_EQ(printed()[0].text, name.substr(0, kept));
}

INSTANTIATE_TEST_SUITE_P(Lengths, NameLength, ::testing::Values(0, 5, 46, 47, 48, 63, 64, 200));

// ---- stderr lines ------------------------------------------------------------------------------

// Each expected line: its code and the record field it prints ('a' first argument, 'b' second
// argument, '1' first result, '2' second result).
struct Line {
  int code;
  char field;
};
struct LinesCase {
  const char* label;
  double a, b, r1, r2;
  bool same_args, same_results;  // the kernel passes one array twice
  std::vector<Line> lines;       // after the headline
};

class StderrLines : public VmErrTest, public ::testing::WithParamInterface<LinesCase> {};

uint64_t bits(double v) {
  uint64_t u;
  std::memcpy(&u, &v, sizeof u);
  return u;
}
double from_bits(uint64_t u) {
  double v;
  std::memcpy(&v, &u, sizeof v);
  return v;
}
const double kNanA = from_bits(0x7FF8000000000001ull);
const double kNanB = from_bits(0x7FF8000000000002ull);

TEST_P(StderrLines, ArgumentAndResultCounts) {
  const LinesCase c = GetParam();
  reset(0x0402);
  double whole[16] = {};
  whole[9] = c.a;
  double b[3] = {0, c.b, 0}, r1[3] = {0, c.r1, 0}, r2[3] = {0, c.r2, 0};
  zorp_fenn_kernel_SetInterfInputVectorPointer(whole);
  const double* pa = whole + 8;  // reported index 1 + 8
  report(ZORP_VM_STATUS_ERRDOM, 1, pa, c.same_args ? pa : b, r1, c.same_results ? r1 : r2,
         "vdTest");
  const auto& p = printed();
  ASSERT_EQ(p.size(), c.lines.size() + 1);
  EXPECT_EQ(p[0].code, 750);
  for (size_t i = 0; i < c.lines.size(); ++i) {
    const Line& l = c.lines[i];
    const double want = l.field == 'a' ? c.a : l.field == 'b' ? c.b : l.field == '1' ? c.r1 : c.r2;
    EXPECT_EQ(p[i + 1].code, l.code) << i;
    EXPECT_EQ(p[i + 1].nargs, 2);
    EXPECT_EQ(p[i + 1].integer, 9);
    EXPECT_EQ(bits(p[i + 1].value), bits(want)) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, StderrLines,
    ::testing::Values(
        LinesCase{"one_one", -1.0, 0, NAN, 0, true, true, {{755, 'a'}, {756, '1'}}},
        LinesCase{"one_two", 1e300, 0, INFINITY, -INFINITY, true, false,
                  {{757, 'a'}, {758, '1'}, {759, '2'}}},
        LinesCase{"second_result_zero", 1e300, 0, INFINITY, 0.0, true, false,
                  {{755, 'a'}, {756, '1'}}},
        LinesCase{"second_result_minus_zero", 1e300, 0, INFINITY, -0.0, true, false,
                  {{755, 'a'}, {756, '1'}}},
        LinesCase{"second_result_equal", 1e300, 0, INFINITY, INFINITY, true, false,
                  {{755, 'a'}, {756, '1'}}},
        LinesCase{"second_arg_finite", 1.0, 0.0, INFINITY, 0, false, true,
                  {{755, 'a'}, {756, '1'}}},
        LinesCase{"second_arg_nan", 1.0, kNanA, kNanA, 0, false, true,
                  {{760, 'a'}, {761, 'b'}, {762, '1'}}},
        LinesCase{"same_nan_twice", kNanA, kNanA, kNanA, 0, false, true,
                  {{755, 'a'}, {756, '1'}}},
        LinesCase{"other_nan", kNanA, kNanB, kNanA, 0, false, true,
                  {{760, 'a'}, {761, 'b'}, {762, '1'}}},
        LinesCase{"two_two", 2.0, kNanA, 3.0, 4.0, false, false,
                  {{763, 'a'}, {764, 'b'}, {765, '1'}, {766, '2'}}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(VmErrTest, StderrReallyReceivesOneLinePerMessage) {
  reset(0x0402);
  fflush(stderr);
  FILE* capture = std::tmpfile();
  ASSERT_NE(capture, nullptr);
  const int saved = dup(2);
  dup2(fileno(capture), 2);
  double a[2] = {0.0, 0.0}, r[2] = {0.0, -INFINITY};
  report(ZORP_VM_STATUS_SING, 1, a, a, r, r, "vdLnCaptured");
  report(ZORP_VM_STATUS_BADSIZE, 0, a, a, r, r, "vdLnCaptured");
  fflush(stderr);
  dup2(saved, 2);
  close(saved);
  std::string out;
  std::rewind(capture);
  for (int ch; (ch = std::fgetc(capture)) != EOF;) out += static_cast<char>(ch);
  std::fclose(capture);
  size_t lines = 0;
  for (char ch : out) lines += ch == '\n';
  EXPECT_EQ(lines, printed().size()) << out;
  EXPECT_EQ(printed().size(), 4u);
  EXPECT_NE(out.find("vdLnCaptured"), std::string::npos) << out;
}

}  // namespace
}  // namespace zorp::test
