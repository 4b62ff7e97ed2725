// The reporting routines called directly, as a kernel calls them: what each status does in each
// channel, the record a callback receives, what is written back, and the stderr lines (which
// the host core prints as its message catalogue says: tests/core).
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <thread>

#include "vm/error/channels.h"
#include "vmerr/fixture.h"

namespace zorp::test {
namespace {

using vm::report;
using vm::report_strided;

// ---- every status through every channel -------------------------------------------------------
struct StatusCase {
  int32_t status;
  int errno_value;
  uint16_t x87_flag;
  int headline;         // stderr code, 0 for none
  bool carries_values;  // record values filled and written back
};

class EveryStatus : public VmErrTest, public ::testing::WithParamInterface<StatusCase> {};

// A one-result element whose callback changes both copies of the result (so that stderr still
// sees one result) and returns 0: errno, stderr and except act after it.
TEST_P(EveryStatus, AllChannelsAndTheCallback) {
  const StatusCase c = GetParam();
  reset(0x1E02, recording_callback);
  callback_body() = [](ZorpVmErrorRecord* r) {
    r->res1 = r->res2 = 42.0;
    return 0;
  };
  double a[3] = {0.5, 2.5, 0.75}, r[3] = {1.0, -3.0, 1.0};
  report(c.status, 1, a, a, r, r, "vdTest");
  EXPECT_EQ(status(), c.status);
  ASSERT_EQ(seen_records().size(), 1u);
  const ZorpVmErrorRecord& rec = seen_records()[0];
  EXPECT_EQ(rec.status, c.status);
  EXPECT_EQ(rec.index, 1);
  EXPECT_STREQ(rec.name, "vdTest");
  EXPECT_EQ(rec.name_length, 6);
  EXPECT_EQ(rec.arg1, c.carries_values ? 2.5 : 0.0);
  EXPECT_EQ(rec.res1, c.carries_values ? -3.0 : 0.0);
  EXPECT_EQ(r[1], c.carries_values ? 42.0 : -3.0) << "the callback's result is stored unless the status has no values";
  EXPECT_EQ(r[0] + r[2], 2.0);
  EXPECT_EQ(errno, c.errno_value);
  EXPECT_EQ(x87_flags(), c.x87_flag);
  EXPECT_EQ(x87_masks(), 0x3F);
  const auto& p = printed();
  if (c.headline == 0) {
    EXPECT_TRUE(p.empty());
    return;
  }
  ASSERT_EQ(p.size(), c.carries_values ? 3u : 1u);
  EXPECT_EQ(p[0].channel, 1);
  EXPECT_EQ(p[0].code, c.headline);
  EXPECT_EQ(p[0].text, "vdTest");
  EXPECT_EQ(p[0].nargs, c.status == ZORP_VM_STATUS_BADSIZE ? 2 : 1);
  if (c.status == ZORP_VM_STATUS_BADSIZE) {
    EXPECT_EQ(p[0].integer, 1);
  }
  if (c.carries_values) {  // one argument, one result; the printed result is the callback's
    EXPECT_EQ(p[1].code, 755);
    EXPECT_EQ(p[1].integer, 1);
    EXPECT_EQ(p[1].value, 2.5);
    EXPECT_EQ(p[2].code, 756);
    EXPECT_EQ(p[2].value, 42.0);
  }
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
struct ChannelCase { const char* label; uint32_t mode; bool status_set, callback_runs, errno_set, printed, x87_flag; };

class Channels : public VmErrTest, public ::testing::WithParamInterface<ChannelCase> {};

// A callback is installed in every case; only the mode decides whether it runs. The result is a
// signalling NaN: a mode that acts beyond the status writes the record back (through double,
// which quiets it); ignore alone and no error leave its bits as they were.
TEST_P(Channels, OnlyTheSelectedChannelsAct) {
  const ChannelCase c = GetParam();
  reset(c.mode, recording_callback);
  errno = 1234;
  const uint32_t snan = 0x7F800001u;
  float a[2] = {1.0f, 1e30f}, r[2] = {0.0f, 0.0f};
  std::memcpy(&r[1], &snan, sizeof snan);
  report(ZORP_VM_STATUS_OVERFLOW, 1, a, a, r, r, "vsExp");
  EXPECT_EQ(status(), c.status_set ? ZORP_VM_STATUS_OVERFLOW : 0);
  EXPECT_EQ(seen_records().size(), c.callback_runs ? 1u : 0u);
  EXPECT_EQ(errno, c.errno_set ? 34 : 1234);
  EXPECT_EQ(printed().empty(), !c.printed);
  EXPECT_EQ(x87_flags(), c.x87_flag ? 0x08 : 0);
  uint32_t bits;
  std::memcpy(&bits, &r[1], sizeof bits);
  const bool written = c.callback_runs || c.errno_set || c.printed || c.x87_flag;
  EXPECT_EQ(bits, written ? snan | 0x00400000u : snan);
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

// A callback returning non-zero keeps the kernel's result and ends the report; one that changes
// the mode is obeyed by the channels after it; the last status wins while x87 flags accumulate.
TEST_F(VmErrTest, CallbackDecidesWhatFollows) {
  double a[2] = {0.0, 1e300}, r[2] = {-INFINITY, INFINITY};
  for (int32_t handled : {1, -1}) {  // any non-zero result
    reset(0x1E02, recording_callback);
    callback_body() = [handled](ZorpVmErrorRecord* rec) {
      rec->res1 = 42.0;
      return handled;
    };
    report(ZORP_VM_STATUS_SING, 0, a, a, r, r, "vdLn");
    EXPECT_EQ(r[0], -INFINITY) << handled;
    EXPECT_EQ(errno, 0) << handled;
    EXPECT_TRUE(printed().empty()) << handled;
    EXPECT_EQ(x87_flags(), 0) << handled;
  }
  callback_body() = [](ZorpVmErrorRecord*) {
    vm::thread_state()->mode = 0x1802;  // except and callback only
    return 0;
  };
  report(ZORP_VM_STATUS_SING, 0, a, a, r, r, "vdInv");
  report(ZORP_VM_STATUS_OVERFLOW, 1, a, a, r, r, "vdExp");
  EXPECT_EQ(errno, 0);
  EXPECT_TRUE(printed().empty());
  EXPECT_EQ(status(), ZORP_VM_STATUS_OVERFLOW);
  EXPECT_EQ(x87_flags(), 0x04 | 0x08);
}

TEST_F(VmErrTest, ErrnoIsTheReportingThreadsOwn) {
  reset(0x0202);
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
  EXPECT_EQ(vm::runtime_errno_entry()(), &errno);
}

// ---- the record, by element type ---------------------------------------------------------------
template <typename E>
class RecordByType : public VmErrTest {};
using ElementTypes = ::testing::Types<float, double, ZorpComplex8, ZorpComplex16>;
TYPED_TEST_SUITE(RecordByType, ElementTypes);

// Elements as parts: (re, im) for complex types, re alone for real ones.
template <typename E>
struct Parts {
  using P = std::conditional_t<sizeof(E) == 4 || (sizeof(E) == 8 && !std::is_same_v<E, double>), float, double>;
  static constexpr bool kComplex = sizeof(E) == 2 * sizeof(P);
  static E make(double re, double im) {
    E e{};
    P* p = reinterpret_cast<P*>(&e);
    p[0] = static_cast<P>(re);
    if (kComplex) p[1] = static_cast<P>(im);
    return e;
  }
  static double re(const E& e) { return reinterpret_cast<const P*>(&e)[0]; }
  static double im(const E& e) { return kComplex ? reinterpret_cast<const P*>(&e)[1] : 0.0; }
};

// A record's (re, im) pair holds (v, -v), the imaginary part 0 for a real type.
template <typename E>
void expect_pair(double re, double im, double v, int k) {
  EXPECT_EQ(re, v) << k;
  EXPECT_EQ(im, Parts<E>::kComplex ? -v : 0.0) << k;
}

// Element i holds (base + i, -(base + i)).
template <typename E>
void fill(E* v, double base) {
  for (int i = 0; i < 64; ++i) v[i] = Parts<E>::make(base + i, -(base + i));
}

// Values and imaginary parts in the record, written back to both result arrays (to the first
// last when a one-result kernel passes one array twice), contiguous and strided with positive
// and negative increments; arguments never written.
TYPED_TEST(RecordByType, ValuesAndWriteBack) {
  using E = TypeParam;
  using X = Parts<E>;
  this->reset(0x1002, recording_callback);
  callback_body() = [](ZorpVmErrorRecord* r) {
    r->res1 = 7.0, r->res1_im = -7.5, r->res2 = 9.0, r->res2_im = 9.5;
    return 0;
  };
  E a[64], b[64], r1[64], r2[64];
  fill(a, 100), fill(b, 300), fill(r1, 500), fill(r2, 700);
  report(ZORP_VM_STATUS_ERRDOM, 2, a, b, r1, r2, "vxTest");
  report_strided(ZORP_VM_STATUS_ERRDOM, 4, a, 3, b, 5, r1, 2, r2, 7, "vxTest");
  report_strided(ZORP_VM_STATUS_ERRDOM, 3, a + 40, -2, b + 40, -1, r1 + 40, -3, r2 + 40, -5, "vxTest");
  ASSERT_EQ(seen_records().size(), 3u);
  const int at[3][4] = {{2, 2, 2, 2}, {12, 20, 8, 28}, {34, 37, 31, 25}};  // a, b, r1, r2
  for (int k = 0; k < 3; ++k) {
    const ZorpVmErrorRecord& rec = seen_records()[k];
    EXPECT_EQ(rec.index, k == 0 ? 2 : k == 1 ? 4 : 3);
    expect_pair<E>(rec.arg1, rec.arg1_im, 100.0 + at[k][0], k);
    expect_pair<E>(rec.arg2, rec.arg2_im, 300.0 + at[k][1], k);
    expect_pair<E>(rec.res1, rec.res1_im, 500.0 + at[k][2], k);
    expect_pair<E>(rec.res2, rec.res2_im, 700.0 + at[k][3], k);
    EXPECT_EQ(rec.reserved, 0);
    EXPECT_EQ(X::re(r1[at[k][2]]), 7.0);
    EXPECT_EQ(X::im(r1[at[k][2]]), X::kComplex ? -7.5 : 0.0);
    EXPECT_EQ(X::re(r2[at[k][3]]), 9.0);
    EXPECT_EQ(X::im(r2[at[k][3]]), X::kComplex ? 9.5 : 0.0);
  }
  for (int i = 0; i < 64; ++i) {
    EXPECT_EQ(X::re(a[i]), 100.0 + i);
    if (i != 2 && i != 8 && i != 31) {
      EXPECT_EQ(X::re(r1[i]), 500.0 + i) << i;
    }
  }
  E one[1] = {X::make(5, 6)};
  report(ZORP_VM_STATUS_SING, 0, a, a, one, one, "vxTest");
  EXPECT_EQ(X::re(one[0]), 7.0);
  EXPECT_EQ(X::im(one[0]), X::kComplex ? -7.5 : 0.0);
}

// With an interface input vector, the index counts from it: the byte distance of the argument
// array, taken as unsigned and cut to 32 bits, whatever the increments, divided by the size of
// the function's own element, the complex one where arguments and results differ (CIS: real
// in, complex out; Abs and Arg: complex in, real out); a distance below the start wraps. The
// record holds the argument and the result.
template <typename Pair>
class IndexByPair : public VmErrTest {};
template <typename E, typename R>
struct Types { using In = E; using Out = R; };
using Pairs = ::testing::Types<Types<float, float>, Types<double, double>, Types<ZorpComplex8, ZorpComplex8>,
                               Types<ZorpComplex16, ZorpComplex16>, Types<float, ZorpComplex8>,
                               Types<double, ZorpComplex16>, Types<ZorpComplex8, float>, Types<ZorpComplex16, double>>;
TYPED_TEST_SUITE(IndexByPair, Pairs);

TYPED_TEST(IndexByPair, IndexCountsArgumentsFromTheInterfaceInputVector) {
  using E = typename TypeParam::In;
  using R = typename TypeParam::Out;
  this->reset(0x1002, recording_callback);
  E whole[64];
  R out[64];
  fill(whole, 0), fill(out, 500);
  const int64_t size = int64_t(sizeof(E) > sizeof(R) ? sizeof(E) : sizeof(R));
  // start: the bytes past `whole` where the interface vector starts (-1: none set).
  struct Case { int offset, index, inc; int64_t start; };
  const Case cases[] = {{40, 3, 1, 0}, {40, 3, 5, 0}, {0, 0, 1, 0}, {1, 0, 1, 0}, {63, 0, 1, 0},
                        {0, 5, 1, int64_t(sizeof(E))}, {0, 5, 1, 1}, {40, 5, 1, -1}};
  for (const Case& c : cases) {
    zorp_fenn_kernel_SetInterfInputVectorPointer(c.start < 0 ? nullptr : reinterpret_cast<const char*>(whole) + c.start);
    const E* piece = whole + c.offset;
    if (c.inc == 1) report(ZORP_VM_STATUS_ERRDOM, c.index, piece, piece, out, out, "vxTest");
    else report_strided(ZORP_VM_STATUS_ERRDOM, c.index, piece, c.inc, piece, c.inc, out, 1, out, 1, "vxTest");
  }
  zorp_fenn_kernel_SetInterfInputVectorPointer(nullptr);
  ASSERT_EQ(seen_records().size(), std::size(cases));
  for (size_t k = 0; k < std::size(cases); ++k) {
    const Case& c = cases[k];
    const ZorpVmErrorRecord& rec = seen_records()[k];
    // A start past the argument wraps to 2^64 / size - 1, all ones in 32 bits: one element back
    // (from a start one byte past, a signed quotient would round to no element at all).
    const int32_t want = c.start < 0 ? c.index : c.start > 0 ? c.index - 1 : c.index + c.offset * int32_t(sizeof(E)) / int32_t(size);
    EXPECT_EQ(rec.index, want) << k;
    expect_pair<E>(rec.arg1, rec.arg1_im, double(c.offset + c.index * c.inc), int(k));
    expect_pair<R>(rec.res1, rec.res1_im, 500.0 + c.index, int(k));
  }
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
struct Line { int code; char field; };
struct LinesCase {
  const char* label;
  double a, b, r1, r2;
  bool same_args, same_results;  // the kernel passes one array twice
  std::vector<Line> lines;       // after the headline
};

class StderrLines : public VmErrTest, public ::testing::WithParamInterface<LinesCase> {};

double from_bits(uint64_t u) {
  double v;
  std::memcpy(&v, &u, sizeof v);
  return v;
}
const double kNanA = from_bits(0x7FF8000000000001ull), kNanB = from_bits(0x7FF8000000000002ull);

TEST_P(StderrLines, ArgumentAndResultCounts) {
  const LinesCase c = GetParam();
  reset(0x0402);
  double whole[16] = {};
  whole[9] = c.a;
  double b[3] = {0, c.b, 0}, r1[3] = {0, c.r1, 0}, r2[3] = {0, c.r2, 0};
  zorp_fenn_kernel_SetInterfInputVectorPointer(whole);
  const double* pa = whole + 8;  // reported index 1 + 8
  report(ZORP_VM_STATUS_ERRDOM, 1, pa, c.same_args ? pa : b, r1, c.same_results ? r1 : r2, "vdTest");
  const auto& p = printed();
  ASSERT_EQ(p.size(), c.lines.size() + 1);
  EXPECT_EQ(p[0].code, 750);
  for (size_t i = 0; i < c.lines.size(); ++i) {
    const Line& l = c.lines[i];
    const double want = l.field == 'a' ? c.a : l.field == 'b' ? c.b : l.field == '1' ? c.r1 : c.r2;
    EXPECT_EQ(p[i + 1].code, l.code) << i;
    EXPECT_EQ(p[i + 1].nargs, 2);
    EXPECT_EQ(p[i + 1].integer, 9);
    EXPECT_EQ(std::memcmp(&p[i + 1].value, &want, sizeof want), 0) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, StderrLines,
    ::testing::Values(
        LinesCase{"one_one", -1.0, 0, NAN, 0, true, true, {{755, 'a'}, {756, '1'}}},
        LinesCase{"one_two", 1e300, 0, INFINITY, -INFINITY, true, false, {{757, 'a'}, {758, '1'}, {759, '2'}}},
        LinesCase{"second_result_zero", 1e300, 0, INFINITY, 0.0, true, false, {{755, 'a'}, {756, '1'}}},
        LinesCase{"second_result_minus_zero", 1e300, 0, INFINITY, -0.0, true, false, {{755, 'a'}, {756, '1'}}},
        LinesCase{"second_result_equal", 1e300, 0, INFINITY, INFINITY, true, false, {{755, 'a'}, {756, '1'}}},
        LinesCase{"second_arg_finite", 1.0, 0.0, INFINITY, 0, false, true, {{755, 'a'}, {756, '1'}}},
        LinesCase{"second_arg_nan", 1.0, kNanA, kNanA, 0, false, true, {{760, 'a'}, {761, 'b'}, {762, '1'}}},
        LinesCase{"same_nan_twice", kNanA, kNanA, kNanA, 0, false, true, {{755, 'a'}, {756, '1'}}},
        LinesCase{"other_nan", kNanA, kNanB, kNanA, 0, false, true, {{760, 'a'}, {761, 'b'}, {762, '1'}}},
        LinesCase{"two_two", 2.0, kNanA, 3.0, 4.0, false, false, {{763, 'a'}, {764, 'b'}, {765, '1'}, {766, '2'}}}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace zorp::test
