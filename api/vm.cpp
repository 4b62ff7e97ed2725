// The checked vector-math entries, one per catalogue row, generated from zorp/vm_catalogue.def by
// calling shape as the export prototypes are: a row added to the catalogue gets its checked entry
// with no edit here.
#include <initializer_list>

#include "api/loader.h"
#include "zorp/zorp.h"

namespace zorp::api {
namespace {

// The checks every shape shares, then the call in the chosen slot. The thread's status is
// cleared for the call so that what the call reported can be returned, and put back when the
// call reported nothing: a caller reading it afterwards sees what the export alone would leave.
template <class Fn, bool kStrided = false, class Call>
int32_t vm_call(int row, int32_t accuracy, int64_t n, std::initializer_list<const void*> arrays, Call call) {
  const Kernel* k;
  if (const int32_t status = kernel(&k); status != 0) return status;
  if (n < 0) return ZORP_VM_STATUS_BADSIZE;
  if (n > 0)
    for (const void* p : arrays)
      if (!p) return ZORP_VM_STATUS_BADMEM;
  if (accuracy < int32_t{ZORP_VM_LA} || accuracy > int32_t{ZORP_VM_EP}) return ZORP_ERROR_BAD_ACCURACY;
  if (n == 0) return ZORP_VM_STATUS_OK;
  const int32_t before = k->zorp_fenn_kernel_ClearErrStatus();
  call(reinterpret_cast<Fn>(vm_entry(row, accuracy, kStrided)));
  const int32_t status = k->zorp_fenn_kernel_GetErrStatus();
  if (status == ZORP_VM_STATUS_OK && before != ZORP_VM_STATUS_OK) k->zorp_fenn_kernel_SetErrStatus(before);
  return status;
}

// The scalar of a vector-and-scalar row: the double complex one comes by address.
template <class S>
const void* scalar_address(const S&) {
  static const int kByValue = 0;
  return &kByValue;
}
inline const void* scalar_address(const ZorpComplex16* b) { return b; }

// What a pack's width makes of its count.
inline int64_t pack_count(int64_t n, int32_t width) { return width == 1 ? static_cast<int32_t>(n) : n; }
// An increment needs no pointer; an index or mask array does.
inline const void* pack_operand(int64_t) {
  static const int kByValue = 0;
  return &kByValue;
}
inline const void* pack_operand(const void* x) { return x; }

}  // namespace
}  // namespace zorp::api

using namespace zorp::api;

#define ZORP_T(t) ZORP_VM_T_##t
#define ZORP_R(t) ZORP_VM_R_##t

#define ZORP_API_DEF_A1R1(t, F)                                                                      \
  int32_t ZORP_CHECKED_NAME(t, F)(int32_t n, const ZORP_T(t) * a, ZORP_T(t) * r, int32_t accuracy) {  \
    using Fn = void (*)(int32_t, const ZORP_T(t)*, ZORP_T(t)*);                                      \
    return vm_call<Fn>(kRow_##t##F, accuracy, n, {a, r}, [&](Fn f) { f(n, a, r); });                  \
  }
#define ZORP_API_DEF_A2R1(t, F)                                                                      \
  int32_t ZORP_CHECKED_NAME(t, F)(int32_t n, const ZORP_T(t) * a, const ZORP_T(t) * b, ZORP_T(t) * r, \
                                  int32_t accuracy) {                                                \
    using Fn = void (*)(int32_t, const ZORP_T(t)*, const ZORP_T(t)*, ZORP_T(t)*);                    \
    return vm_call<Fn>(kRow_##t##F, accuracy, n, {a, b, r}, [&](Fn f) { f(n, a, b, r); });            \
  }
#define ZORP_API_DEF_A1R2(t, F)                                                                        \
  int32_t ZORP_CHECKED_NAME(t, F)(int32_t n, const ZORP_T(t) * a, ZORP_T(t) * r1, ZORP_T(t) * r2,       \
                                  int32_t accuracy) {                                                  \
    using Fn = void (*)(int32_t, const ZORP_T(t)*, ZORP_T(t)*, ZORP_T(t)*);                            \
    return vm_call<Fn>(kRow_##t##F, accuracy, n, {a, r1, r2}, [&](Fn f) { f(n, a, r1, r2); });          \
  }
#define ZORP_API_DEF_VS(t, F)                                                                           \
  int32_t ZORP_CHECKED_NAME(t, F)(int32_t n, const ZORP_T(t) * a, ZORP_VM_S_##t b, ZORP_T(t) * r,        \
                                  int32_t accuracy) {                                                   \
    using Fn = void (*)(int32_t, const ZORP_T(t)*, ZORP_VM_S_##t, ZORP_T(t)*);                          \
    return vm_call<Fn>(kRow_##t##F, accuracy, n, {a, scalar_address(b), r}, [&](Fn f) { f(n, a, b, r); }); \
  }
#define ZORP_API_DEF_LINFRAC(t, F)                                                                          \
  int32_t ZORP_CHECKED_NAME(t, F)(int32_t n, const ZORP_T(t) * a, const ZORP_T(t) * b, ZORP_T(t) scalea,      \
                                  ZORP_T(t) shifta, ZORP_T(t) scaleb, ZORP_T(t) shiftb, ZORP_T(t) * r,        \
                                  int32_t accuracy) {                                                       \
    using Fn = void (*)(int32_t, const ZORP_T(t)*, const ZORP_T(t)*, ZORP_T(t), ZORP_T(t), ZORP_T(t),        \
                        ZORP_T(t), ZORP_T(t)*);                                                             \
    return vm_call<Fn>(kRow_##t##F, accuracy, n, {a, b, r},                                                 \
                       [&](Fn f) { f(n, a, b, scalea, shifta, scaleb, shiftb, r); });                       \
  }
#define ZORP_API_DEF_C1R1R(t, F)                                                                     \
  int32_t ZORP_CHECKED_NAME(t, F)(int32_t n, const ZORP_T(t) * a, ZORP_R(t) * r, int32_t accuracy) {  \
    using Fn = void (*)(int32_t, const ZORP_T(t)*, ZORP_R(t)*);                                      \
    return vm_call<Fn>(kRow_##t##F, accuracy, n, {a, r}, [&](Fn f) { f(n, a, r); });                  \
  }
#define ZORP_API_DEF_R1C1(t, F)                                                                      \
  int32_t ZORP_CHECKED_NAME(t, F)(int32_t n, const ZORP_R(t) * a, ZORP_T(t) * r, int32_t accuracy) {  \
    using Fn = void (*)(int32_t, const ZORP_R(t)*, ZORP_T(t)*);                                      \
    return vm_call<Fn>(kRow_##t##F, accuracy, n, {a, r}, [&](Fn f) { f(n, a, r); });                  \
  }
#define ZORP_API_DEF_PACK(t, F)                                                                            \
  int32_t ZORP_CHECKED_NAME(t, F)(int64_t n, const ZORP_T(t) * a, ZORP_VM_PACK_X_##F x, ZORP_T(t) * y,      \
                                  int32_t width, int32_t accuracy) {                                       \
    using Fn = void (*)(int64_t, const ZORP_T(t)*, ZORP_VM_PACK_X_##F, ZORP_T(t)*, int32_t);               \
    return vm_call<Fn>(kRow_##t##F, accuracy, pack_count(n, width), {a, pack_operand(x), y},               \
                       [&](Fn f) { f(n, a, x, y, width); });                                               \
  }
#define ZORP_API_DEF_UNPACK(t, F)                                                                          \
  int32_t ZORP_CHECKED_NAME(t, F)(int64_t n, const ZORP_T(t) * a, ZORP_T(t) * y, ZORP_VM_PACK_X_##F x,      \
                                  int32_t width, int32_t accuracy) {                                       \
    using Fn = void (*)(int64_t, const ZORP_T(t)*, ZORP_T(t)*, ZORP_VM_PACK_X_##F, int32_t);               \
    return vm_call<Fn>(kRow_##t##F, accuracy, pack_count(n, width), {a, pack_operand(x), y},               \
                       [&](Fn f) { f(n, a, y, x, width); });                                               \
  }

// The strided twins: the same checks, the export's increments passed through as they are.
// One array in, one out; the element types differ for the real-result and complex-result rows.
#define ZORP_API_DEF_I_ONE(t, F, TA, TR)                                                              \
  int32_t ZORP_CHECKED_NAME_I(t, F)(int32_t n, const TA* a, int32_t inca, TR* r, int32_t incr,       \
                                    int32_t accuracy) {                                              \
    using Fn = void (*)(int32_t, const TA*, int32_t, TR*, int32_t);                                  \
    return vm_call<Fn, true>(kRow_##t##F, accuracy, n, {a, r}, [&](Fn f) { f(n, a, inca, r, incr); }); \
  }
#define ZORP_API_DEF_I_A1R1(t, F) ZORP_API_DEF_I_ONE(t, F, ZORP_T(t), ZORP_T(t))
#define ZORP_API_DEF_I_C1R1R(t, F) ZORP_API_DEF_I_ONE(t, F, ZORP_T(t), ZORP_R(t))
#define ZORP_API_DEF_I_R1C1(t, F) ZORP_API_DEF_I_ONE(t, F, ZORP_R(t), ZORP_T(t))
#define ZORP_API_DEF_I_A2R1(t, F)                                                                       \
  int32_t ZORP_CHECKED_NAME_I(t, F)(int32_t n, const ZORP_T(t) * a, int32_t inca, const ZORP_T(t) * b,  \
                                    int32_t incb, ZORP_T(t) * r, int32_t incr, int32_t accuracy) {      \
    using Fn = void (*)(int32_t, const ZORP_T(t)*, int32_t, const ZORP_T(t)*, int32_t, ZORP_T(t)*, int32_t); \
    return vm_call<Fn, true>(kRow_##t##F, accuracy, n, {a, b, r},                                       \
                             [&](Fn f) { f(n, a, inca, b, incb, r, incr); });                           \
  }
#define ZORP_API_DEF_I_A1R2(t, F)                                                                       \
  int32_t ZORP_CHECKED_NAME_I(t, F)(int32_t n, const ZORP_T(t) * a, int32_t inca, ZORP_T(t) * r1,       \
                                    int32_t incr1, ZORP_T(t) * r2, int32_t incr2, int32_t accuracy) {   \
    using Fn = void (*)(int32_t, const ZORP_T(t)*, int32_t, ZORP_T(t)*, int32_t, ZORP_T(t)*, int32_t);  \
    return vm_call<Fn, true>(kRow_##t##F, accuracy, n, {a, r1, r2},                                     \
                             [&](Fn f) { f(n, a, inca, r1, incr1, r2, incr2); });                       \
  }
#define ZORP_API_DEF_I_VS(t, F)                                                                         \
  int32_t ZORP_CHECKED_NAME_I(t, F)(int32_t n, const ZORP_T(t) * a, int32_t inca, ZORP_VM_S_##t b,      \
                                    ZORP_T(t) * r, int32_t incr, int32_t accuracy) {                    \
    using Fn = void (*)(int32_t, const ZORP_T(t)*, int32_t, ZORP_VM_S_##t, ZORP_T(t)*, int32_t);        \
    return vm_call<Fn, true>(kRow_##t##F, accuracy, n, {a, scalar_address(b), r},                       \
                             [&](Fn f) { f(n, a, inca, b, r, incr); });                                 \
  }
#define ZORP_API_DEF_I_LINFRAC(t, F)                                                                    \
  int32_t ZORP_CHECKED_NAME_I(t, F)(int32_t n, const ZORP_T(t) * a, int32_t inca, const ZORP_T(t) * b,  \
                                    int32_t incb, ZORP_T(t) scalea, ZORP_T(t) shifta, ZORP_T(t) scaleb, \
                                    ZORP_T(t) shiftb, ZORP_T(t) * r, int32_t incr, int32_t accuracy) {  \
    using Fn = void (*)(int32_t, const ZORP_T(t)*, int32_t, const ZORP_T(t)*, int32_t, ZORP_T(t),       \
                        ZORP_T(t), ZORP_T(t), ZORP_T(t), ZORP_T(t)*, int32_t);                          \
    return vm_call<Fn, true>(kRow_##t##F, accuracy, n, {a, b, r}, [&](Fn f) {                           \
      f(n, a, inca, b, incb, scalea, shifta, scaleb, shiftb, r, incr);                                  \
    });                                                                                                 \
  }
#define ZORP_API_DEF_I_PACK(t, F)
#define ZORP_API_DEF_I_UNPACK(t, F)

extern "C" {
#define VM_FN(t, F, shape, share, la, ha, ep, built) \
  ZORP_VM_IF_BUILT_##built(ZORP_API_DEF_##shape(t, F) ZORP_API_DEF_I_##shape(t, F))
#include "zorp/vm_catalogue.def"
#undef VM_FN
}
