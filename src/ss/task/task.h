// Internal view of the summary-statistics task record: slot access by number, integers read
// with the task's width, and the parameter table shared by the editors.
#pragma once
#include <cstdint>

#include "zorp/ss.h"

namespace zorp::ss {

inline void** slots(TarrSSTask* t) { return reinterpret_cast<void**>(t); }
inline void* slot(const TarrSSTask* t, int n) { return reinterpret_cast<void* const*>(t)[n]; }

// Reads an integer item (p, n, storage words, index entries) with the task's width.
inline int64_t read_int(const void* p, bool wide, int64_t i = 0) {
  return wide ? static_cast<const int64_t*>(p)[i] : static_cast<const int32_t*>(p)[i];
}

// Slot numbers of the record.
enum Slot : int {
  kSlotP = 2, kSlotN = 3, kSlotIndices = 4, kSlotX = 5, kSlotW = 6, kSlotAccum = 7, kSlotStorage = 8,
  kSlotParamCor = 9, kSlotParamCorStorage = 10,
  kSlotMean = 11, kSlotRaw2 = 12, kSlotRaw3 = 13, kSlotRaw4 = 14, kSlotC2 = 15, kSlotC3 = 16, kSlotC4 = 17,
  kSlotSum = 18, kSlotRawSum2 = 19, kSlotRawSum3 = 20, kSlotRawSum4 = 21, kSlotCSum2 = 22,
  kSlotCSum3 = 23, kSlotCSum4 = 24, kSlotKurt = 25, kSlotSkew = 26, kSlotVar = 27, kSlotMin = 28,
  kSlotMax = 29, kSlotCovStorage = 30, kSlotCov = 31, kSlotCorStorage = 32, kSlotCor = 33,
  kSlotCPStorage = 34, kSlotCP = 35,
  kSlotGroupIndices = 36, kSlotReqGroups = 37, kSlotGroupMeans = 38, kSlotGroupCovs = 39,
  kSlotGroupCovsStorage = 40, kSlotPooledMean = 41, kSlotPooledCov = 42, kSlotPooledCovStorage = 43,
  kSlotQuantCount = 44, kSlotQuantOrders = 45, kSlotQuantiles = 46, kSlotOrderStats = 47,
  kSlotOrderStatsStorage = 48,
  kSlotSQuantCount = 49, kSlotSQuantOrders = 50, kSlotSQuantiles = 51,
  kSlotSQuantState = 52,  // the streaming summaries; no editor reaches it
  kSlotSQuantNParams = 53, kSlotSQuantParams = 54,
  kSlotMeanAbsDev = 55, kSlotMedianAbsDev = 56,
  kSlotRCovNParams = 57, kSlotRCovParams = 58, kSlotRCovMean = 59, kSlotRCov = 60, kSlotRCovStorage = 61,
  kSlotOutlNParams = 62, kSlotOutlParams = 63, kSlotOutlWeights = 64,
  kSlotPartialRoles = 65, kSlotPartialCov = 66, kSlotPartialCovStorage = 67, kSlotPartialCor = 68,
  kSlotPartialCorStorage = 69,
  kSlotMissing1 = 70, kSlotMissing2 = 71, kSlotMissing3 = 72, kSlotMissing4 = 73, kSlotMissing9 = 74,
  kSlotMissing10 = 75, kSlotMissing5 = 76, kSlotMissing6 = 77, kSlotMissing7 = 78, kSlotMissing8 = 79,
  // Internal, free of editors: what the outlier detection hands the Mahalanobis distances while
  // it runs (the subset's mean and inverse covariance, full p x p, and the n distances out);
  // cleared again before it returns.
  kSlotMahMean = 80, kSlotMahInvCov = 81, kSlotMahDistances = 82,
  kSlotCleanupCount = 88, kSlotCleanup = 89, kSlotSorted = 90, kSlotSortedStorage = 91, kSlotWork = 92
};

}  // namespace zorp::ss
