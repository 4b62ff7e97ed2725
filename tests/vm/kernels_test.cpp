// What the binding and the shared driver promise for every built function, whatever it
// computes: entry names that jump through their slot, slots shared as the catalogue says, the
// published costs; strided forms that give the contiguous results and reports bit for bit;
// callback results stored in place of the kernel's; arrays never touched beyond n; n = 0 doing
// nothing; the error mode "no error" running no callout.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <vector>

#include "common/guarded.h"
#include "common/reporting.h"
#include "accuracy/rows.h"

namespace zorp::test {
namespace {

int g_probe = -1;
template <int k>
void probe() {
  g_probe = k;
}

std::vector<ZorpVmErrorRecord>& g_records = reported();
// Keeps the record and replaces every result part by 42 + its position in the record.
int32_t replace_results(ZorpVmErrorRecord* r) {
  g_records.push_back(*r);
  r->res1 = 42, r->res1_im = 43, r->res2 = 44, r->res2_im = 45;
  return 0;
}

class Kernels : public Reporting<testing::TestWithParam<const VmRow*>> {
 protected:
  void SetUp() override {
    Reporting::SetUp();
    _fennSetErrorCallBack(replace_results);
    _fennClearErrStatus();
  }
  const VmRow& row() const { return *GetParam(); }
};

// Each of the four names of a form jumps through its slot of the table as the table is at the
// time of the call (the table is patched here as a host may patch it), and a strided entry
// with unit increments hands over to the contiguous slot that owns its kernel.
TEST_P(Kernels, EntriesTablesAndCosts) {
  const vm::catalogue::Row& cat = row().cat;
  const bool single = cat.type == 's' || cat.type == 'c';
  void* lib = kernel_library();
  void* probes[3] = {reinterpret_cast<void*>(&probe<0>), reinterpret_cast<void*>(&probe<1>),
                     reinterpret_cast<void*>(&probe<2>)};
  for (bool strided : {false, true}) {
    const std::string base = std::string(cat.name + 1) + (strided ? "I" : "");
    auto** t = const_cast<void**>(table(cat, strided));
    ASSERT_NE(t, nullptr) << base;
    const float* cost = static_cast<const float*>(dlsym(lib, ("zorp_fenn_kernel_" + base + "_ctab").c_str()));
    for (int s = 0; s < 3; ++s) {
      EXPECT_EQ(cost[s], cat.cost[s]) << base;
      EXPECT_EQ(t[s], t[cat.owner(s)]) << base << " slot " << s;
      if (cat.owner(s) == s && s > 0) {
        EXPECT_NE(t[s], t[0]) << base << " slot " << s;
      }
    }
    void* saved[3] = {t[0], t[1], t[2]};
    std::copy(probes, probes + 3, t);
    const std::pair<const char*, int> names[] = {
        {"", 1}, {"_HA", 1}, {single ? "_21" : "_50", 0}, {single ? "_11" : "_26", 2}};
    for (auto [suffix, slot] : names) {
      g_probe = -1;
      reinterpret_cast<void (*)()>(dlsym(lib, ("_fenn" + base + suffix).c_str()))();
      EXPECT_EQ(g_probe, slot) << "_fenn" << base << suffix;
    }
    std::copy(saved, saved + 3, t);
  }
  // Unit increments: the strided kernel calls through the contiguous table, unless a complex
  // function keeps one kernel for all slots.
  auto** t = const_cast<void**>(table(cat, false));
  void* saved[3] = {t[0], t[1], t[2]};
  std::copy(probes, probes + 3, t);
  for (int s = 0; s < 3; ++s) {
    double a[4] = {1, 1, 1, 1}, b[4] = {1, 1, 1, 1}, r1[4], r2[4];
    const int32_t ones[4] = {1, 1, 1, 1};
    g_probe = -1;
    if (row().dbl()) call<double>(row(), s, true, 1, a, b, r1, r2, ones);
    else call<float>(row(), s, true, 1, reinterpret_cast<float*>(a), reinterpret_cast<float*>(b),
                     reinterpret_cast<float*>(r1), reinterpret_cast<float*>(r2), ones);
    EXPECT_EQ(g_probe, cat.unit_stride_shortcut() ? cat.owner(s) : -1) << cat.name << " slot " << s;
  }
  std::copy(saved, saved + 3, t);
}

// Bit for bit, but any NaN for a NaN: which NaN an operation on two NaN operands passes on
// depends on the order of its operands, which the compiler may choose differently in the
// contiguous and the strided instance of a kernel.
template <typename R>
bool same(R x, R y) {
  return bits(x) == bits(y) || (std::isnan(x) && std::isnan(y));
}
bool same(const ZorpVmErrorRecord& x, const ZorpVmErrorRecord& y) {
  return x.status == y.status && x.index == y.index && !std::strcmp(x.name, y.name) && same(x.arg1, y.arg1) &&
         same(x.arg2, y.arg2) && same(x.arg1_im, y.arg1_im) && same(x.arg2_im, y.arg2_im) && same(x.res1, y.res1) &&
         same(x.res2, y.res2) && same(x.res1_im, y.res1_im) && same(x.res2_im, y.res2_im);
}

// Strided forms, with unit, wider and negative increments, store the contiguous results at
// their places and nothing in between, and report the same elements with the same records
// (under the strided name, which differs for zExp's HA kernel).
// Every report carries the element's arguments and the row's name, and the callback's results
// are stored.
template <typename R>
void check_strided(const VmRow& row) {
  const Sample<R> s = Sampler<R>(row, 5).make(20, 20);
  const int n = static_cast<int>(s.n), pin = row.in_parts(), pout = row.out_parts();
  const R poison = R(-7.25);
  for (int slot : row.owners()) {
    std::vector<R> c1(n * pout), c2(n * pout);
    g_records.clear();
    call<R>(row, slot, false, n, s.a.data(), s.b.data(), c1.data(), c2.data());
    const std::vector<ZorpVmErrorRecord> want = g_records;
    // The same records under the strided name, unless unit increments hand the call over.
    std::vector<ZorpVmErrorRecord> want_strided = want;
    for (ZorpVmErrorRecord& rec : want_strided) std::snprintf(rec.name, sizeof rec.name, "%s", row.cat.strided_name(slot));
    for (const ZorpVmErrorRecord& rec : want) {
      const int i = rec.index;
      EXPECT_STREQ(rec.name, row.cat.name);
      EXPECT_EQ(bits(R(rec.arg1)), bits(s.a[i * pin])) << row.name() << " element " << i;
      const R arg2 = row.shape() == Shape::VS ? s.b[0] : row.args() == 2 ? s.b[i * pin] : s.a[i * pin];
      EXPECT_EQ(bits(R(rec.arg2)), bits(arg2)) << row.name();
      if (pin == 2) {
        EXPECT_EQ(bits(R(rec.arg1_im)), bits(s.a[i * pin + 1])) << row.name();
      }
      EXPECT_EQ(c1[i * pout], R(42)) << row.name() << " element " << i;
      if (pout == 2) {
        EXPECT_EQ(c1[i * pout + 1], R(43)) << row.name();
      }
      if (row.results() == 2) {
        EXPECT_EQ(c2[i * pout], R(44)) << row.name();
      }
    }
    for (const auto& inc : {std::vector<int32_t>{1, 1, 1, 1}, {2, 3, 2, 3}, {-1, 2, -3, 1}}) {
      auto span = [&](int32_t k, int parts) { return static_cast<size_t>(n * std::abs(k) * parts); };
      auto first = [&](int32_t k) { return k < 0 ? (n - 1) * -k : 0; };  // element 0 of a negative stride
      std::vector<R> sa(span(inc[0], pin), poison), sb(span(inc[1], pin), poison);
      std::vector<R> s1(span(inc[2], pout), poison), s2(span(inc[3], pout), poison);
      for (int i = 0; i < n; ++i)
        for (int p = 0; p < pin; ++p) {
          sa[(first(inc[0]) + i * inc[0]) * pin + p] = s.a[i * pin + p];
          sb[(first(inc[1]) + i * inc[1]) * pin + p] = s.b[i * pin + p];
        }
      g_records.clear();
      call<R>(row, slot, true, n, &sa[first(inc[0]) * pin], &sb[first(inc[1]) * pin], &s1[first(inc[2]) * pout],
              &s2[first(inc[3]) * pout], inc.data());
      SCOPED_TRACE(testing::Message() << row.name() << " slot " << slot << " increments " << inc[0] << " " << inc[1]
                                      << " " << inc[2] << " " << inc[3]);
      for (int k = 0; k < row.results(); ++k) {
        const std::vector<R>& got = k ? s2 : s1;
        const std::vector<R>& ref = k ? c2 : c1;
        std::vector<R> expect(got.size(), poison);
        for (int i = 0; i < n; ++i)
          for (int p = 0; p < pout; ++p) expect[(first(inc[2 + k]) + i * inc[2 + k]) * pout + p] = ref[i * pout + p];
        for (size_t j = 0; j < got.size(); ++j) ASSERT_TRUE(same(got[j], expect[j])) << "result " << k << " at " << j;
      }
      ASSERT_EQ(g_records.size(), want.size());
      const bool handed_over = row.cat.unit_stride_shortcut() && inc == std::vector<int32_t>{1, 1, 1, 1};
      for (size_t j = 0; j < want.size(); ++j)
        EXPECT_TRUE(same(g_records[j], handed_over ? want[j] : want_strided[j])) << g_records[j].name;
    }
  }
}

TEST_P(Kernels, StridedFormsMatchContiguousResultsAndReports) {
  if (row().dbl()) check_strided<double>(row());
  else check_strided<float>(row());
}

// Arrays that end at a page mapped without access, in every slot, for every length from one
// element to two registers past two of the main loop's blocks, contiguous and strided: a masked
// load or store one element too far faults here at once, which the address sanitizer would not
// see (it leaves AVX-512 masked accesses uninstrumented). A negative increment walks down from
// element 0, so its array starts right after an inaccessible page instead.
// Every placement gives the results of the same call on ordinary arrays. Ordinary arguments
// (the row's uniform piece) also give the results of one long call: the remainder's masked
// registers compute what the blocks do. That is not asked of the whole sample, because some
// kernels send a register with one huge lane through their large-argument path whole, which
// may round its other lanes differently (the fixed trigonometric kernels).
template <typename R>
void check_guarded(const VmRow& row) {
  constexpr int kRegister = 64 / sizeof(R), kMax = 2 * (256 / sizeof(R)) + 2 * kRegister;
  Sampler<R> sampler(row, 3);
  const Sample<R> mixed = sampler.make(kMax, 0);
  Sample<R> plain = mixed;
  for (R& v : plain.a) v = sampler.uniform(R(row.ulo), R(row.uhi));
  if (row.shape() != Shape::VS)  // a scalar second argument (an order) stays as the row has it
    for (R& v : plain.b) v = sampler.uniform(R(row.ulo), R(row.uhi));
  const int pin = row.in_parts(), pout = row.out_parts();
  // Strided kernels go register by register: the lengths around one and two registers and
  // around the block cover their every path at a tenth of the calls.
  const int strided_lengths[] = {1, 2, kRegister - 1, kRegister, kRegister + 1, 2 * kRegister + 1, kMax};
  for (int slot = 0; slot < 3; ++slot) {
    SCOPED_TRACE(testing::Message() << row.name() << " slot " << slot);
    std::vector<R> long1(plain.n * pout), long2(plain.n * pout);
    call<R>(row, slot, false, static_cast<int32_t>(plain.n), plain.a.data(), plain.b.data(), long1.data(), long2.data());
    for (int32_t step : {1, 2, -3}) {
      const size_t span = static_cast<size_t>(kMax) * std::abs(step);
      const bool down = step < 0;
      GuardedArray<R> a(span * pin, !down), b(span * pin, !down), r1(span * pout, !down), r2(span * pout, !down);
      const int32_t inc[4] = {step, step, step, step};
      for (int n = 1; n <= kMax; ++n) {
        if (step != 1 && std::find(std::begin(strided_lengths), std::end(strided_lengths), n) == std::end(strided_lengths))
          continue;
        // Element i of an array of `parts` per element, placed so that the element farthest
        // along the walk touches the guard page.
        const size_t used = static_cast<size_t>(n - 1) * std::abs(step) + 1;
        auto at = [&](GuardedArray<R>& g, int parts, int i) {
          R* lowest = down ? g.data() : g.data() + (span - used) * parts;
          return lowest + (down ? static_cast<size_t>(n - 1 - i) * -step : static_cast<size_t>(i) * step) * parts;
        };
        auto run = [&](const Sample<R>& in, const R* want1, const R* want2) {
          for (int i = 0; i < n; ++i)
            for (int p = 0; p < pin; ++p) {
              at(a, pin, i)[p] = in.a[i * pin + p];
              at(b, pin, i)[p] = in.b[i * pin + p];
            }
          call<R>(row, slot, step != 1, n, at(a, pin, 0), at(b, pin, 0), at(r1, pout, 0), at(r2, pout, 0), inc);
          for (int i = 0; i < n; ++i)
            for (int p = 0; p < pout; ++p) {
              ASSERT_TRUE(same(at(r1, pout, i)[p], want1[i * pout + p]))
                  << "increment " << step << " n " << n << " element " << i << " argument " << in.a[i * pin];
              if (row.results() == 2) {
                ASSERT_TRUE(same(at(r2, pout, i)[p], want2[i * pout + p])) << "increment " << step << " n " << n;
              }
            }
        };
        std::vector<R> c1(n * pout), c2(n * pout);
        call<R>(row, slot, false, n, mixed.a.data(), mixed.b.data(), c1.data(), c2.data());
        run(mixed, c1.data(), c2.data());
        if (step == 1) run(plain, long1.data(), long2.data());
      }
    }
  }
}

TEST_P(Kernels, GuardPagesAtEveryLengthAndIncrement) {
  if (row().dbl()) check_guarded<double>(row());
  else check_guarded<float>(row());
}

TEST_P(Kernels, ZeroLengthTouchesNothingAndReportsNothing) {
  const int32_t inc[4] = {3, 3, 3, 3};
  for (int slot = 0; slot < 3; ++slot)
    for (bool strided : {false, true}) {
      if (row().dbl()) call<double>(row(), slot, strided, 0, nullptr, nullptr, nullptr, nullptr, inc);
      else call<float>(row(), slot, strided, 0, nullptr, nullptr, nullptr, nullptr, inc);
    }
  EXPECT_EQ(_fennGetErrStatus(), 0);
  EXPECT_TRUE(g_records.empty());
}

// With the error mode exactly "no error" no callout runs: no status, no callback.
TEST_P(Kernels, NoErrorModeReportsNothing) {
  _fennSetMode(ZORP_VM_ERRMODE_NOERR);
  const bool dbl = row().dbl();
  for (int slot : row().owners()) {
    if (dbl) {
      const Sample<double> s = Sampler<double>(row(), 9).make(10, 10);
      std::vector<double> r1(2 * s.n), r2(2 * s.n);
      call<double>(row(), slot, false, static_cast<int32_t>(s.n), s.a.data(), s.b.data(), r1.data(), r2.data());
    } else {
      const Sample<float> s = Sampler<float>(row(), 9).make(10, 10);
      std::vector<float> r1(2 * s.n), r2(2 * s.n);
      call<float>(row(), slot, false, static_cast<int32_t>(s.n), s.a.data(), s.b.data(), r1.data(), r2.data());
    }
  }
  EXPECT_EQ(_fennGetErrStatus(), 0);
  EXPECT_TRUE(g_records.empty());
}

std::string row_name(const testing::TestParamInfo<const VmRow*>& info) { return info.param->name(); }
INSTANTIATE_TEST_SUITE_P(BuiltRows, Kernels, testing::ValuesIn(built_rows()), row_name);

}  // namespace
}  // namespace zorp::test
