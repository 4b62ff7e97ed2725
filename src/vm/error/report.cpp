// Reporting one special element: status, callback, channels, and the results written back.
#include "vm/error/report.h"

#include <cstring>

#include "vm/error/channels.h"
#include "vm/state/thread_state.h"
#include "zorp/vm.h"

namespace zorp::vm {

namespace {

constexpr size_t kMaxNameLength = 47;  // the record's name field keeps a NUL after it

// How an element goes into the record's double fields and back. Single precision widens
// exactly; narrowing back rounds under the caller's rounding mode, which gives the value back
// unchanged unless a callback stored something a float cannot hold.
template <typename E>
struct Element;
template <>
struct Element<float> {
  static void read(const float& e, double& re, double&) { re = e; }
  static void write(float& e, double re, double) { e = static_cast<float>(re); }
};
template <>
struct Element<double> {
  static void read(const double& e, double& re, double&) { re = e; }
  static void write(double& e, double re, double) { e = re; }
};
template <>
struct Element<ZorpComplex8> {
  static void read(const ZorpComplex8& e, double& re, double& im) {
    re = e.re;
    im = e.im;
  }
  static void write(ZorpComplex8& e, double re, double im) {
    e.re = static_cast<float>(re);
    e.im = static_cast<float>(im);
  }
};
template <>
struct Element<ZorpComplex16> {
  static void read(const ZorpComplex16& e, double& re, double& im) {
    re = e.re;
    im = e.im;
  }
  static void write(ZorpComplex16& e, double re, double im) {
    e.re = re;
    e.im = im;
  }
};

// A host that splits one long vector among its threads sets the start of the whole vector, so
// that the index a callback sees counts from there. The distance is taken in bytes as an
// unsigned number and cut to 32 bits like the index itself.
int32_t whole_vector_index(int32_t index, const void* a, const void* start, size_t element_bytes) {
  if (!start) return index;
  const uint64_t bytes =
      static_cast<uint64_t>(reinterpret_cast<uintptr_t>(a) - reinterpret_cast<uintptr_t>(start));
  return static_cast<int32_t>(static_cast<uint32_t>(index) +
                              static_cast<uint32_t>(bytes / element_bytes));
}

void copy_name(ZorpVmErrorRecord& rec, const char* name) {
  size_t length = 0;
  if (name)
    while (length < kMaxNameLength && name[length] != '\0') ++length;
  if (length) std::memcpy(rec.name, name, length);
  rec.name[length] = '\0';
  rec.name_length = static_cast<int32_t>(length);
}

bool carries_values(int32_t status) {
  return status != ZORP_VM_STATUS_BADSIZE && status != ZORP_VM_STATUS_BADMEM;
}

// `a` is the argument array as the kernel received it (for the index within the whole vector);
// arg1 and arg2 are the element's arguments as the kernel read them, before any result was
// stored (an in-place call has overwritten a[index] by then); r1 and r2 point at the element's
// results. Arguments and results may differ in type (complex Abs: complex in, real out; CIS:
// real in, complex out); the record's imaginary fields of a real value stay zero.
template <typename E, typename R = E>
void report_element(int32_t status, int32_t index, const E* a, const E& arg1, const E& arg2, R* pr1,
                    R* pr2, const char* name) {
  ThreadState* s = thread_state();
  const uint32_t mode = mode_of(s);
  const uint32_t group = mode & ZORP_VM_ERRMODE_MASK;
  if (group == ZORP_VM_ERRMODE_NOERR) return;
  s->status = status;  // the last report wins
  if (group == ZORP_VM_ERRMODE_IGNORE) return;

  ZorpVmErrorRecord rec;
  std::memset(&rec, 0, sizeof rec);
  rec.status = status;
  // The index counts elements of the function's type: complex ones where either side is
  // complex (CIS, real in, divides the byte distance by the complex size, as the host's own
  // split of such a call is in complex elements).
  rec.index = whole_vector_index(index, a, s->input_vector, sizeof(E) > sizeof(R) ? sizeof(E) : sizeof(R));
  copy_name(rec, name);
  const bool values = carries_values(status);
  if (values) {
    Element<E>::read(arg1, rec.arg1, rec.arg1_im);
    Element<E>::read(arg2, rec.arg2, rec.arg2_im);
    Element<R>::read(*pr1, rec.res1, rec.res1_im);
    Element<R>::read(*pr2, rec.res2, rec.res2_im);
  }

  // A callback that returns non-zero has dealt with the element: the kernel's results stay
  // and no channel runs.
  if ((mode & ZORP_VM_ERRMODE_CALLBACK) && s->callback && s->callback(&rec) != 0) return;

  constexpr uint32_t kChannelGroup = ZORP_VM_ERRMODE_ERRNO | ZORP_VM_ERRMODE_STDERR |
                                     ZORP_VM_ERRMODE_EXCEPT | ZORP_VM_ERRMODE_IGNORE |
                                     ZORP_VM_ERRMODE_NOERR;
  if (mode & kChannelGroup) run_channels(rec);

  // Second result first: a one-result kernel passes the same array twice, and its first
  // result is the one that must stay.
  if (values) {
    Element<R>::write(*pr2, rec.res2, rec.res2_im);
    Element<R>::write(*pr1, rec.res1, rec.res1_im);
  }
}

// Kernels count elements as unsigned, so an index at or above 2^31 still lies after the start.
inline uint32_t element(int32_t index) { return static_cast<uint32_t>(index); }

// The element of a strided array. The offset is formed in 64 bits: a 32-bit product of index and
// increment would wrap for long strided vectors and reach outside the caller's arrays.
template <typename E>
E* element_at(E* p, int32_t index, int32_t inc) {
  return p + static_cast<int64_t>(element(index)) * inc;
}

}  // namespace

template <typename E, typename R>
void report(int32_t status, int32_t index, const E* a, const E* b, R* r1, R* r2, const char* name) {
  report_element(status, index, a, a[element(index)], b[element(index)], r1 + element(index),
                 r2 + element(index), name);
}
template <typename E, typename R>
void report_strided(int32_t status, int32_t index, const E* a, int32_t inca, const E* b,
                    int32_t incb, R* r1, int32_t incr1, R* r2, int32_t incr2, const char* name) {
  report_element(status, index, a, *element_at(a, index, inca), *element_at(b, index, incb),
                 element_at(r1, index, incr1), element_at(r2, index, incr2), name);
}
template <typename E, typename R>
void report_values(int32_t status, int32_t index, const E* a, const E& arg1, const E& arg2, R* r1,
                   R* r2, const char* name) {
  report_element(status, index, a, arg1, arg2, r1, r2, name);
}

// The element types the kernels report with.
#define ZORP_VM_REPORT_TYPES(E, R)                                                              \
  template void report<E, R>(int32_t, int32_t, const E*, const E*, R*, R*, const char*);       \
  template void report_strided<E, R>(int32_t, int32_t, const E*, int32_t, const E*, int32_t, R*, \
                                     int32_t, R*, int32_t, const char*);                         \
  template void report_values<E, R>(int32_t, int32_t, const E*, const E&, const E&, R*, R*,      \
                                    const char*);
ZORP_VM_REPORT_TYPES(float, float)
ZORP_VM_REPORT_TYPES(double, double)
ZORP_VM_REPORT_TYPES(ZorpComplex8, ZorpComplex8)
ZORP_VM_REPORT_TYPES(ZorpComplex16, ZorpComplex16)
ZORP_VM_REPORT_TYPES(ZorpComplex8, float)
ZORP_VM_REPORT_TYPES(ZorpComplex16, double)
ZORP_VM_REPORT_TYPES(float, ZorpComplex8)
ZORP_VM_REPORT_TYPES(double, ZorpComplex16)
#undef ZORP_VM_REPORT_TYPES

}  // namespace zorp::vm
