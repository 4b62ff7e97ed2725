// The strided vector-math forms: the C entry passes the increments through to the strided export
// as they are (negative ones included), the C++ form holds every view to its span, and both refuse
// as the contiguous forms do, writing nothing.
#include <gtest/gtest.h>

#include <complex>
#include <cstring>
#include <utility>
#include <vector>

#include "zorp/zorp.hpp"

namespace {

constexpr float kFill = -777.0f;

// a[i * inca] for i < n read, r[i * incr] written: the raw export, the C entry and the C++ form
// over the same views give the same bits, and elements between the strided ones stay untouched.
TEST(Strided, ThreeFormsAgreeForEachShape) {
  constexpr int n = 19;  // a block of sixteen and a masked remainder
  std::vector<double> a(3 * n), b(2 * n);
  for (size_t i = 0; i < a.size(); ++i) a[i] = 0.05 + 0.9 * double(i) / double(a.size());
  for (size_t i = 0; i < b.size(); ++i) b[i] = 1.5 - double(i) / double(b.size());
  using V = std::vector<double>;
  for (int acc : {ZORP_VM_LA, ZORP_VM_HA, ZORP_VM_EP}) {
    const auto slot = static_cast<zorp::vm::accuracy>(acc);
    // One in, one out (Asin at increments 3 and 2).
    V x(2 * n, kFill), y = x, z = x;
    (acc == ZORP_VM_LA ? _fenndAsinI_50 : acc == ZORP_VM_HA ? _fenndAsinI_HA : _fenndAsinI_26)(n, a.data(), 3, x.data(), 2);
    EXPECT_EQ(zorp_vm_dAsinI(n, a.data(), 3, y.data(), 2, acc), 0);
    EXPECT_EQ(zorp::vm::asin(n, zorp::vm::every(a, 3), zorp::vm::every(z, 2), slot, std::nothrow), 0);
    EXPECT_EQ(x, y) << acc;
    EXPECT_EQ(x, z) << acc;
    EXPECT_EQ(x[1], kFill);
    // Two in, one out, with a negative increment through the C entry (from the last element back).
    V p(n, kFill), q = p;
    (acc == ZORP_VM_LA ? _fenndHypotI_50 : acc == ZORP_VM_HA ? _fenndHypotI_HA : _fenndHypotI_26)(
        n, a.data() + 2 * (n - 1), -2, b.data(), 2, p.data(), 1);
    EXPECT_EQ(zorp_vm_dHypotI(n, a.data() + 2 * (n - 1), -2, b.data(), 2, q.data(), 1, acc), 0);
    EXPECT_EQ(p, q) << acc;
    // One in, two out, and the vector-and-scalar shape.
    V s1(2 * n, kFill), c1 = s1, s2 = s1, c2 = s1;
    _fenndSinCosI_HA(n, a.data(), 1, s1.data(), 2, c1.data(), 2);
    EXPECT_EQ(zorp::vm::sin_cos(n, zorp::vm::every(a, 1), zorp::vm::every(s2, 2), zorp::vm::every(c2, 2),
                               zorp::vm::accuracy::ha, std::nothrow),
              0);
    EXPECT_EQ(s1, s2);
    EXPECT_EQ(c1, c2);
    V w1(n, kFill), w2 = w1;
    _fenndPowxI_HA(n, a.data(), 2, 1.75, w1.data(), 1);
    zorp::vm::powx(n, zorp::vm::every(a, 2), 1.75, zorp::vm::every(w2, 1));  // throwing form
    EXPECT_EQ(w1, w2);
  }
  // Complex in, real out.
  std::vector<std::complex<double>> za(2 * n, {0.5, -0.25});
  std::vector<double> m1(n, kFill), m2 = m1;
  _fennzAbsI_HA(n, reinterpret_cast<const ZorpComplex16*>(za.data()), 2, m1.data(), 1);
  zorp::vm::abs(n, zorp::vm::every(std::as_const(za), 2), zorp::vm::every(m2, 1));
  EXPECT_EQ(m1, m2);
}

// Each view refusal of the C++ form with nothing written; the first refused and the last accepted
// view (the C entries' refusals are rows of the interface's refusal table).
TEST(Strided, RefusalsWriteNothing) {
  constexpr int n = 5;
  const std::vector<float> a(3 * (n - 1) + 1, 0.5f), untouched(n, kFill);
  using zorp::vm::every;
  const std::span<const float> all(a);
  struct View {
    std::span<const float> in;
    int32_t inc, out_inc;
    size_t count;
    bool accepted;
  } views[] = {
      {all, 3, 1, n, true},                         // the last element exactly at the end
      {all.first(all.size() - 1), 3, 1, n, false},  // one short
      {all, 0, 1, n, true},                         // element 0 repeated
      {all, -1, 1, 2, false},                       // walks before the first element
      {all, -1, 1, 1, true},                        // one element reads only element 0
      {all, 3, 1, n + 1, false},                    // one more than r holds
      {all, 0, 0, size_t{1} << 31, false},          // both views hold it, the C count does not
      {all.first(0), 1, 1, 0, true},                // nothing to do
  };
  for (const View& v : views) {
    std::vector<float> out(n, kFill);
    const int32_t st = zorp::vm::exp(v.count, zorp::vm::strided(v.in, v.inc), every(out, v.out_inc),
                                     zorp::vm::accuracy::la, std::nothrow);
    EXPECT_EQ(st, v.accepted ? 0 : ZORP_VM_STATUS_BADSIZE) << v.inc << " " << v.count << " " << v.in.size();
    if (!v.accepted) {
      EXPECT_EQ(out, untouched);
      EXPECT_THROW(zorp::vm::exp(v.count, zorp::vm::strided(v.in, v.inc), every(out, v.out_inc)), zorp::error);
    }
  }
}

}  // namespace
