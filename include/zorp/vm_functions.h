/* Prototypes of the vector-math entry points that exist, derived from the function catalogue
 * (zorp/vm_catalogue.def) by calling shape, so that the header can never disagree with the
 * export table. Counts and increments are 32-bit; a kernel treats n as an unsigned count. */
#ifndef ZORP_VM_FUNCTIONS_H
#define ZORP_VM_FUNCTIONS_H

#include <stdint.h>

#include "zorp/export.h"

ZORP_BEGIN_C

typedef struct ZorpComplex8 { float re, im; } ZorpComplex8;
typedef struct ZorpComplex16 { double re, im; } ZorpComplex16;

/* element type, its real type, and the scalar argument type of the vector-and-scalar shape */
#define ZORP_VM_T_s float
#define ZORP_VM_T_d double
#define ZORP_VM_T_c ZorpComplex8
#define ZORP_VM_T_z ZorpComplex16
#define ZORP_VM_R_s float
#define ZORP_VM_R_d double
#define ZORP_VM_R_c float
#define ZORP_VM_R_z double
#define ZORP_VM_S_s float
#define ZORP_VM_S_d double
#define ZORP_VM_S_c ZorpComplex8
#define ZORP_VM_S_z const ZorpComplex16*
#define ZORP_VM_LA_s _21
#define ZORP_VM_LA_c _21
#define ZORP_VM_LA_d _50
#define ZORP_VM_LA_z _50
#define ZORP_VM_EP_s _11
#define ZORP_VM_EP_c _11
#define ZORP_VM_EP_d _26
#define ZORP_VM_EP_z _26

#define ZORP_VM_CAT3_(a, b, c) a##b##c
#define ZORP_VM_CAT3(a, b, c) ZORP_VM_CAT3_(a, b, c)

/* The four names of one storage form; `params` is the parenthesised parameter list. */
#define ZORP_VM_NAMES(base, t, params)                                     \
  ZORP_API void ZORP_VM_CAT3(_fenn, base, ) params;                        \
  ZORP_API void ZORP_VM_CAT3(_fenn, base, _HA) params;                     \
  ZORP_API void ZORP_VM_CAT3(_fenn, base, ZORP_VM_LA_##t) params;          \
  ZORP_API void ZORP_VM_CAT3(_fenn, base, ZORP_VM_EP_##t) params;

#define ZORP_VM_PROTO_A1R1(t, F)                                                                  \
  ZORP_VM_NAMES(t##F, t, (int32_t n, const ZORP_VM_T_##t* a, ZORP_VM_T_##t* r))                   \
  ZORP_VM_NAMES(t##F##I, t, (int32_t n, const ZORP_VM_T_##t* a, int32_t inca, ZORP_VM_T_##t* r,   \
                             int32_t incr))
#define ZORP_VM_PROTO_A2R1(t, F)                                                                  \
  ZORP_VM_NAMES(t##F, t, (int32_t n, const ZORP_VM_T_##t* a, const ZORP_VM_T_##t* b,              \
                         ZORP_VM_T_##t* r))                                                       \
  ZORP_VM_NAMES(t##F##I, t, (int32_t n, const ZORP_VM_T_##t* a, int32_t inca,                     \
                             const ZORP_VM_T_##t* b, int32_t incb, ZORP_VM_T_##t* r, int32_t incr))
#define ZORP_VM_PROTO_A1R2(t, F)                                                                  \
  ZORP_VM_NAMES(t##F, t, (int32_t n, const ZORP_VM_T_##t* a, ZORP_VM_T_##t* r1,                   \
                         ZORP_VM_T_##t* r2))                                                      \
  ZORP_VM_NAMES(t##F##I, t, (int32_t n, const ZORP_VM_T_##t* a, int32_t inca, ZORP_VM_T_##t* r1,  \
                             int32_t incr1, ZORP_VM_T_##t* r2, int32_t incr2))
#define ZORP_VM_PROTO_VS(t, F)                                                                    \
  ZORP_VM_NAMES(t##F, t, (int32_t n, const ZORP_VM_T_##t* a, ZORP_VM_S_##t b, ZORP_VM_T_##t* r))  \
  ZORP_VM_NAMES(t##F##I, t, (int32_t n, const ZORP_VM_T_##t* a, int32_t inca, ZORP_VM_S_##t b,    \
                             ZORP_VM_T_##t* r, int32_t incr))
#define ZORP_VM_PROTO_LINFRAC(t, F)                                                               \
  ZORP_VM_NAMES(t##F, t, (int32_t n, const ZORP_VM_T_##t* a, const ZORP_VM_T_##t* b,              \
                         ZORP_VM_T_##t scalea, ZORP_VM_T_##t shifta, ZORP_VM_T_##t scaleb,        \
                         ZORP_VM_T_##t shiftb, ZORP_VM_T_##t* r))                                 \
  ZORP_VM_NAMES(t##F##I, t, (int32_t n, const ZORP_VM_T_##t* a, int32_t inca,                     \
                             const ZORP_VM_T_##t* b, int32_t incb, ZORP_VM_T_##t scalea,          \
                             ZORP_VM_T_##t shifta, ZORP_VM_T_##t scaleb, ZORP_VM_T_##t shiftb,    \
                             ZORP_VM_T_##t* r, int32_t incr))
#define ZORP_VM_PROTO_C1R1R(t, F)                                                                 \
  ZORP_VM_NAMES(t##F, t, (int32_t n, const ZORP_VM_T_##t* a, ZORP_VM_R_##t* r))                   \
  ZORP_VM_NAMES(t##F##I, t, (int32_t n, const ZORP_VM_T_##t* a, int32_t inca, ZORP_VM_R_##t* r,   \
                             int32_t incr))
#define ZORP_VM_PROTO_R1C1(t, F)                                                                  \
  ZORP_VM_NAMES(t##F, t, (int32_t n, const ZORP_VM_R_##t* a, ZORP_VM_T_##t* r))                   \
  ZORP_VM_NAMES(t##F##I, t, (int32_t n, const ZORP_VM_R_##t* a, int32_t inca, ZORP_VM_T_##t* r,   \
                             int32_t incr))
/* pack: n, a, x, y, width; unpack: n, a, y, x, width. x is an increment (I), an index array
 * (V) or a mask array (M). width 1 means that n, the increment and the index or mask elements are
 * 32-bit integers (only the low 32 bits of n count); any other width means 64-bit. */
#define ZORP_VM_PACK_X_PackI int64_t
#define ZORP_VM_PACK_X_PackV const void*
#define ZORP_VM_PACK_X_PackM const void*
#define ZORP_VM_PACK_X_UnpackI int64_t
#define ZORP_VM_PACK_X_UnpackV const void*
#define ZORP_VM_PACK_X_UnpackM const void*
#define ZORP_VM_PROTO_PACK(t, F)                                                                  \
  ZORP_VM_NAMES(t##F, t, (int64_t n, const ZORP_VM_T_##t* a, ZORP_VM_PACK_X_##F x,                \
                         ZORP_VM_T_##t* y, int32_t width))
#define ZORP_VM_PROTO_UNPACK(t, F)                                                                \
  ZORP_VM_NAMES(t##F, t, (int64_t n, const ZORP_VM_T_##t* a, ZORP_VM_T_##t* y,                    \
                         ZORP_VM_PACK_X_##F x, int32_t width))

#define ZORP_VM_IF_BUILT_0(x)
#define ZORP_VM_IF_BUILT_1(x) x
#define VM_FN(t, F, shape, share, la, ha, ep, built) ZORP_VM_IF_BUILT_##built(ZORP_VM_PROTO_##shape(t, F))
#include "zorp/vm_catalogue.def"
#undef VM_FN

ZORP_END_C
#endif
