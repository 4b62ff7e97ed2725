// The data-fitting entries' full forms: user callbacks reach the routine and take over what they
// should (values right of the partition, the integral left of it, the search's cells); their
// refusals are rows of the interface's refusal table. The spline is y = x on x = 0..4, linear, so
// every value the library computes is exact.
#include <gtest/gtest.h>

#include <vector>

#include "zorp/zorp.hpp"

namespace {

int right_value(int64_t*, int64_t*, const double*, double* r, void* params) {
  r[0] = *static_cast<double*>(params);
  return 0;
}
int left_integral(int64_t*, const double* a, const double* b, double* r, void*) {
  r[0] = 100 * (*b - *a);  // the integral of 100
  return 0;
}
int every_cell_two(int64_t* n, const double*, void* cell, int32_t* flag, void*) {
  for (int64_t j = 0; j < *n; ++j) static_cast<int64_t*>(cell)[j] = 2, flag[j] = 1;
  return 1000;
}
int refuse(int64_t*, int64_t*, const double*, double*, void*) { return -7; }

struct Linear {
  std::vector<double> x = {0, 1, 2, 3, 4}, y = x, coeff = std::vector<double>(8);
  DFTask* t = nullptr;
  Linear() {
    EXPECT_EQ(zorp_df_dnew_task(&t, 5, x.data(), DF_NON_UNIFORM_PARTITION, 1, y.data(), DF_NO_HINT, 1), 0);
    EXPECT_EQ(zorp_df_dedit_spline(t, DF_PP_LINEAR, DF_PP_DEFAULT, 0, nullptr, 0, nullptr, coeff.data(), DF_NO_HINT), 0);
    EXPECT_EQ(zorp_df_dconstruct(t), 0);
  }
  ~Linear() { zorp_df_delete_task(&t); }
};

TEST(DfCallbacks, CallbacksTakeOverTheirSites) {
  Linear s;
  const std::vector<double> sites = {0.5, 1.5, 5.0, 6.0};
  const int32_t values[] = {1};
  double ninety_nine = 99;
  ZorpDfdInterpCallbacks icb{};
  icb.right = right_value;
  icb.right_params = &ninety_nine;
  std::vector<double> r(4, -1);
  EXPECT_EQ(zorp_df_dinterpolate_ex(s.t, DF_INTERP, 4, sites.data(), DF_SORTED_DATA, 1, values, nullptr, r.data(),
                                    DF_NO_HINT, nullptr, &icb, nullptr),
            0);
  EXPECT_EQ(r, (std::vector<double>{0.5, 1.5, 99, 99}));
  // No callbacks at all is the plain entry: the last polynomial continued.
  EXPECT_EQ(zorp_df_dinterpolate_ex(s.t, DF_INTERP, 4, sites.data(), 0, 1, values, nullptr, r.data(), 0, nullptr,
                                    nullptr, nullptr),
            0);
  EXPECT_EQ(r, (std::vector<double>{0.5, 1.5, 5, 6}));
  // A callback's failure is the call's.
  icb.right = refuse;
  EXPECT_EQ(zorp_df_dinterpolate_ex(s.t, DF_INTERP, 4, sites.data(), 0, 1, values, nullptr, r.data(), 0, nullptr,
                                    &icb, nullptr),
            -7);

  ZorpDfdIntegCallbacks gcb{};
  gcb.left = left_integral;
  const double llim[] = {-1, 1}, rlim[] = {2, 3};
  double integral[2] = {};
  EXPECT_EQ(zorp_df_dintegrate_ex(s.t, 2, llim, 0, rlim, 0, nullptr, nullptr, integral, 0, &gcb), 0);
  EXPECT_EQ(integral[0], 100 + 2);  // [-1, 0] by the callback, x over [0, 2]
  EXPECT_EQ(integral[1], 4);        // x over [1, 3]: no callback

  std::vector<int64_t> cells(4, -1);
  EXPECT_EQ(zorp_df_dsearch_ex(s.t, 4, sites.data(), 0, nullptr, cells.data(), every_cell_two, nullptr), 0);
  EXPECT_EQ(cells, std::vector<int64_t>(4, 2));
}

}  // namespace
