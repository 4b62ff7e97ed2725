// The data-fitting entries of one precision, for code written once over float and double: the
// tests and tools/df_digest (no test framework here, so that the tool can include it).
#pragma once
#include "zorp/df.h"

namespace zorp::test::df {

// The entries of one precision, so that a test written once calls those of its type.
template <typename T>
struct Entries;
template <>
struct Entries<double> {
  static constexpr auto new_task = zorp_df_kernel_dNewTask1D;
  static constexpr auto edit_pp = zorp_df_kernel_dEditPPSpline1D;
  static constexpr auto linear = zorp_df_kernel_dDFLinearSpline1D;
  static constexpr auto quadratic = zorp_df_kernel_dDFQuadraticSpline1D;
  static constexpr auto natural = zorp_df_kernel_dDFNaturalCubicSpline1D;
  static constexpr auto akima = zorp_df_kernel_dDFAkimaCubicSpline1D;
  static constexpr auto deflt = zorp_df_kernel_dDFDefaultCubicSpline1D;
  static constexpr auto bessel = zorp_df_kernel_dDFBesselCubicSpline1D;
  static constexpr auto hyman = zorp_df_kernel_dDFHymanCubicSpline1D;
  static constexpr auto hermite = zorp_df_kernel_dDFHermiteCubicSpline1D;
  static constexpr auto search = zorp_df_kernel_dDFSearch1D;
  static constexpr auto interpolate = zorp_df_kernel_dDFInterpolate1D;
  static constexpr auto integrate = zorp_df_kernel_dDFIntegrate1D;
  using SearchCb = zorp_df_dsearch_cb;
  using InterpCb = zorp_df_dinterp_cb;
  using IntegCb = zorp_df_dinteg_cb;
};
template <>
struct Entries<float> {
  static constexpr auto new_task = zorp_df_kernel_sNewTask1D;
  static constexpr auto edit_pp = zorp_df_kernel_sEditPPSpline1D;
  static constexpr auto linear = zorp_df_kernel_sDFLinearSpline1D;
  static constexpr auto quadratic = zorp_df_kernel_sDFQuadraticSpline1D;
  static constexpr auto natural = zorp_df_kernel_sDFNaturalCubicSpline1D;
  static constexpr auto akima = zorp_df_kernel_sDFAkimaCubicSpline1D;
  static constexpr auto deflt = zorp_df_kernel_sDFDefaultCubicSpline1D;
  static constexpr auto bessel = zorp_df_kernel_sDFBesselCubicSpline1D;
  static constexpr auto hyman = zorp_df_kernel_sDFHymanCubicSpline1D;
  static constexpr auto hermite = zorp_df_kernel_sDFHermiteCubicSpline1D;
  static constexpr auto search = zorp_df_kernel_sDFSearch1D;
  static constexpr auto interpolate = zorp_df_kernel_sDFInterpolate1D;
  static constexpr auto integrate = zorp_df_kernel_sDFIntegrate1D;
  using SearchCb = zorp_df_ssearch_cb;
  using InterpCb = zorp_df_sinterp_cb;
  using IntegCb = zorp_df_sinteg_cb;
};

}  // namespace zorp::test::df
