// Reporting one special element to the error machinery: the status goes to the thread's
// record, the element to the callback, and the errno, stderr and exception channels act as
// the thread's mode asks. One routine per type and storage.
//
// `a` and `b` are the kernel's input arrays (a one-argument kernel passes `a` twice), `r1` and
// `r2` its output arrays (a one-result kernel passes `r` twice), `index` the element's position
// within this call and `name` the public function name ("vsExp"). The element concerned is
// a[index] (strided: a[index * inca], the product taken in 32 bits). Unless the status is -1 or
// -2, the record's results are written back to r2 and then r1 at the element.
#pragma once
#include <cstdint>

#include "zorp/vm_functions.h"

namespace zorp::vm {

void report(int32_t status, int32_t index, const float* a, const float* b, float* r1, float* r2,
            const char* name);
void report(int32_t status, int32_t index, const double* a, const double* b, double* r1,
            double* r2, const char* name);
void report(int32_t status, int32_t index, const ZorpComplex8* a, const ZorpComplex8* b,
            ZorpComplex8* r1, ZorpComplex8* r2, const char* name);
void report(int32_t status, int32_t index, const ZorpComplex16* a, const ZorpComplex16* b,
            ZorpComplex16* r1, ZorpComplex16* r2, const char* name);

void report_strided(int32_t status, int32_t index, const float* a, int32_t inca, const float* b,
                    int32_t incb, float* r1, int32_t incr1, float* r2, int32_t incr2,
                    const char* name);
void report_strided(int32_t status, int32_t index, const double* a, int32_t inca, const double* b,
                    int32_t incb, double* r1, int32_t incr1, double* r2, int32_t incr2,
                    const char* name);
void report_strided(int32_t status, int32_t index, const ZorpComplex8* a, int32_t inca,
                    const ZorpComplex8* b, int32_t incb, ZorpComplex8* r1, int32_t incr1,
                    ZorpComplex8* r2, int32_t incr2, const char* name);
void report_strided(int32_t status, int32_t index, const ZorpComplex16* a, int32_t inca,
                    const ZorpComplex16* b, int32_t incb, ZorpComplex16* r1, int32_t incr1,
                    ZorpComplex16* r2, int32_t incr2, const char* name);

}  // namespace zorp::vm
