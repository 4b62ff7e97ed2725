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

enum class Kind : uint8_t { none, integer, real };
struct ParamRow {
  Kind kind;
  int8_t slot;
  int16_t error;
};
// Parameter numbers 0..79: which editor accepts the number, its slot, its null-value code.
extern const ParamRow kParams[80];

// Slot numbers used by the compute routines.
enum Slot : int {
  kSlotP = 2, kSlotN = 3, kSlotIndices = 4, kSlotX = 5, kSlotW = 6, kSlotAccum = 7, kSlotStorage = 8,
  kSlotMean = 11, kSlotRaw2 = 12, kSlotRaw3 = 13, kSlotRaw4 = 14, kSlotC2 = 15, kSlotC3 = 16, kSlotC4 = 17,
  kSlotSum = 18, kSlotRawSum2 = 19, kSlotRawSum3 = 20, kSlotRawSum4 = 21, kSlotCSum2 = 22,
  kSlotCSum3 = 23, kSlotCSum4 = 24, kSlotKurt = 25, kSlotSkew = 26, kSlotVar = 27, kSlotMin = 28,
  kSlotMax = 29, kSlotCovStorage = 30, kSlotCov = 31, kSlotCorStorage = 32, kSlotCor = 33,
  kSlotCPStorage = 34, kSlotCP = 35, kSlotCleanupCount = 88, kSlotCleanup = 89, kSlotWork = 92
};

}  // namespace zorp::ss
