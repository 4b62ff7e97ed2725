// Reporting one special element to the error machinery: the status goes to the thread's
// record, the element to the callback, and the errno, stderr and exception channels act as
// the thread's mode asks. One routine per element type pair and storage.
//
// `a` and `b` are the kernel's input arrays (a one-argument kernel passes `a` twice), `r1` and
// `r2` its output arrays (a one-result kernel passes `r` twice), `index` the element's position
// within this call and `name` the public function name ("vsExp"). The element concerned is
// a[index] (strided: a[index * inca], the offset formed in 64 bits). Unless the status is -1 or
// -2, the record's results are written back to r2 and then r1 at the element.
//
// The kernels themselves call report_values: they pass the element's arguments as they read
// them, since an in-place call has already overwritten the argument array with results, and the
// addresses of the element's results.
#pragma once
#include <cstdint>

#include "zorp/vm_functions.h"

namespace zorp::vm {

// E is float, double, ZorpComplex8 or ZorpComplex16 with R the same type; or a complex E with
// R its real part type (complex in, real out). Instantiated for those pairs only.
template <typename E, typename R>
void report(int32_t status, int32_t index, const E* a, const E* b, R* r1, R* r2, const char* name);
template <typename E, typename R>
void report_strided(int32_t status, int32_t index, const E* a, int32_t inca, const E* b,
                    int32_t incb, R* r1, int32_t incr1, R* r2, int32_t incr2, const char* name);
template <typename E, typename R>
void report_values(int32_t status, int32_t index, const E* a, const E& arg1, const E& arg2, R* r1,
                   R* r2, const char* name);

}  // namespace zorp::vm
