// What a callout reports. A callout finishes one special element and returns the status the
// error machinery reports for it; every callout derives that status from its result by the one
// rule below instead of repeating threshold tests next to its own:
//
//   a NaN argument                          0   (NaN in, NaN out, never reported)
//   a NaN result from numbers               1   domain: the function is undefined there
//   an infinite result from finite numbers  3   overflow, or 2 (singularity) for a function
//                                               whose infinities are poles, as the logarithms'
//   a zero or subnormal result from finite  4   underflow, for functions that can underflow
//     numbers                                   (the exponentials: a logarithm's exact zero
//                                               at 1 is no underflow)
//   anything else, infinite arguments too   0
//
// The thresholds a function's results cross (e^x overflows above ln(2^128)) are then written
// once, where the callout produces its result.
#pragma once
#include <cmath>
#include <limits>

namespace zorp::vm {

inline constexpr int kStatusDomain = 1;
inline constexpr int kStatusSingularity = 2;
inline constexpr int kStatusOverflow = 3;
inline constexpr int kStatusUnderflow = 4;

// How a function's results map to statuses: the status of an infinite result from finite
// arguments, and whether tiny results are underflows.
struct Reports {
  int infinite;
  bool underflows;
};
inline constexpr Reports kGrowthReports{kStatusOverflow, true};     // exponentials, powers
inline constexpr Reports kPoleReports{kStatusSingularity, false};   // logarithms: -inf at the pole

// The status of result y computed from the arguments args.
template <Reports kR, typename T, typename... A>
int result_status(T y, A... args) {
  if ((std::isnan(args) || ...)) return 0;
  if (std::isnan(y)) return kStatusDomain;
  if ((std::isinf(args) || ...)) return 0;
  if (std::isinf(y)) return kR.infinite;
  if (kR.underflows && std::fabs(y) < std::numeric_limits<T>::min()) return kStatusUnderflow;
  return 0;
}

}  // namespace zorp::vm
