// The kernel library as the checked interface sees it: loaded by file name on first use, after the
// processor check, its entries found by name. Every entry the interface calls is listed here once;
// the types come from the public headers' declarations (decltype names no symbol, so nothing links
// against the kernel library).
#pragma once
#include <cstdint>

#include "zorp/df.h"
#include "zorp/rng.h"
#include "zorp/ss.h"
#include "zorp/vm.h"
#include "zorp/vm_functions.h"

#define ZORP_API_KERNEL_ENTRIES(X)                                                                      \
  X(zorp_fenn_kernel_ClearErrStatus) X(zorp_fenn_kernel_GetErrStatus) X(zorp_fenn_kernel_SetErrStatus) \
  X(__tarrNewStreamEx) X(__tarrCopyStream) X(__tarrCopyStreamState) X(__tarrDeleteStream)              \
  X(__tarrGetStreamSize) X(__tarrGetBrngProperties) X(__tarrSkipAheadStream)                            \
  X(__tarrSkipAheadStreamEx) X(__tarrLeapfrogStream) X(__tarrSaveStreamF) X(__tarrLoadStreamF)          \
  X(__tarrSaveStreamM) X(__tarrLoadStreamM) X(__tarriNewAbstractStream) X(__tarrdNewAbstractStream)       \
  X(__tarrsNewAbstractStream)                                                                           \
  X(_tarrdRngUniform) X(_tarrdRngGaussian) X(_tarrdRngExponential) X(_tarrdRngLaplace)                  \
  X(_tarrdRngWeibull) X(_tarrdRngCauchy) X(_tarrdRngRayleigh) X(_tarrdRngLognormal) X(_tarrdRngGumbel)  \
  X(_tarrdRngGamma) X(_tarrdRngBeta) X(_tarrdRngChiSquare) X(_tarrdRngGaussianMV)                       \
  X(_tarrsRngUniform) X(_tarrsRngGaussian) X(_tarrsRngExponential) X(_tarrsRngLaplace)                  \
  X(_tarrsRngWeibull) X(_tarrsRngCauchy) X(_tarrsRngRayleigh) X(_tarrsRngLognormal) X(_tarrsRngGumbel)  \
  X(_tarrsRngGamma) X(_tarrsRngBeta) X(_tarrsRngChiSquare) X(_tarrsRngGaussianMV)                       \
  X(_tarriRngUniform) X(_tarriRngUniformBits) X(_tarriRngUniformBits32) X(_tarriRngUniformBits64)      \
  X(_tarriRngBernoulli) X(_tarriRngGeometric) X(_tarriRngBinomial) X(_tarriRngHypergeometric)          \
  X(_tarriRngPoisson) X(_tarriRngPoissonV) X(_tarriRngNegbinomial) X(_tarriRngMultinomial)          \
  ZORP_API_SS_ENTRIES(X, d) ZORP_API_SS_ENTRIES(X, s) X(__tarriSSEditTask) X(__tarrSSDeleteTask)       \
  ZORP_API_DF_ENTRIES(X, d) ZORP_API_DF_ENTRIES(X, s) X(zorp_df_kernel_DeleteTask)

// The statistics and data-fitting entries of one element type (t: d or s).
#define ZORP_API_SS_ENTRIES(X, t)                                                                        \
  X(__tarr##t##SSNewTask) X(__tarr##t##SSEditTask) X(_tarr##t##SSBasic) X(_tarr##t##SSMinmax)           \
  X(_tarr##t##SSQuantiles) X(_tarr##t##SSStreamQuantiles) X(_tarr##t##SSSort) X(_tarr##t##SSMAD)        \
  X(_tarr##t##SSWMedian)                                                                                \
  X(_tarr##t##SSPooledCovariance) X(_tarr##t##SSPartialCovariance) X(_tarr##t##SSRobustCovariance)      \
  X(_tarr##t##SSOutliersDetection) X(_tarr##t##SSMissingValues) X(_tarr##t##SSCorParametrization)
#define ZORP_API_DF_ENTRIES(X, t)                                                                        \
  X(zorp_df_kernel_##t##NewTask1D) X(zorp_df_kernel_##t##EditPPSpline1D)                                \
  X(zorp_df_kernel_##t##DFLinearSpline1D) X(zorp_df_kernel_##t##DFQuadraticSpline1D)                    \
  X(zorp_df_kernel_##t##DFNaturalCubicSpline1D) X(zorp_df_kernel_##t##DFDefaultCubicSpline1D)           \
  X(zorp_df_kernel_##t##DFAkimaCubicSpline1D) X(zorp_df_kernel_##t##DFBesselCubicSpline1D)              \
  X(zorp_df_kernel_##t##DFHymanCubicSpline1D) X(zorp_df_kernel_##t##DFHermiteCubicSpline1D)             \
  X(zorp_df_kernel_##t##DFSearch1D) X(zorp_df_kernel_##t##DFInterpolate1D) X(zorp_df_kernel_##t##DFIntegrate1D)

namespace zorp::api {

struct Kernel {
#define ZORP_API_MEMBER(name) decltype(&::name) name;
  ZORP_API_KERNEL_ENTRIES(ZORP_API_MEMBER)
#undef ZORP_API_MEMBER
};

// One row per vector-math catalogue row, in catalogue order.
enum VmRow : int {
#define VM_FN(t, F, shape, share, la, ha, ep, built) kRow_##t##F,
#include "zorp/vm_catalogue.def"
#undef VM_FN
  kVmRows
};

// 0 and the loaded entries in *k, or ZORP_ERROR_NO_AVX512 / ZORP_ERROR_NO_LIBRARY. A refusal is
// not remembered: the next call asks again (only a success is final).
int32_t kernel(const Kernel** k);

// The vector-math entry of a row in an accuracy slot (1 LA, 2 HA, 3 EP), contiguous or its
// strided twin (null for pack and unpack); valid once kernel() has returned 0.
void* vm_entry(int row, int32_t accuracy, bool strided);

// Whether the processor runs the kernel library (see processor.cpp).
bool processor_runs_kernels();

}  // namespace zorp::api
