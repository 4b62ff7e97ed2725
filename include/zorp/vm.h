/* Vector math: mode word, per-thread status and callback, the error record handed to
 * callbacks, and the service entries. The element-wise entry points themselves are
 * declared in zorp/vm_functions.h. */
#ifndef ZORP_VM_H
#define ZORP_VM_H

#include <stddef.h>
#include <stdint.h>

#include "zorp/export.h"

ZORP_BEGIN_C

/* ---- mode word ------------------------------------------------------------------------ */
#define ZORP_VM_ACCURACY_MASK 0x0000000Fu /* ttab slot = value - 1 */
#define ZORP_VM_LA 0x1u
#define ZORP_VM_HA 0x2u
#define ZORP_VM_EP 0x3u
#define ZORP_VM_CONSISTENCY_MASK 0x00000030u /* settable only from the environment */
#define ZORP_VM_ERRMODE_MASK 0x0000FF00u
#define ZORP_VM_ERRMODE_IGNORE 0x100u
#define ZORP_VM_ERRMODE_ERRNO 0x200u
#define ZORP_VM_ERRMODE_STDERR 0x400u
#define ZORP_VM_ERRMODE_EXCEPT 0x800u
#define ZORP_VM_ERRMODE_CALLBACK 0x1000u
#define ZORP_VM_ERRMODE_NOERR 0x2000u
#define ZORP_VM_ERRMODE_DEFAULT 0x1A00u
#define ZORP_VM_GROUP17_MASK 0x00030000u
#define ZORP_VM_DENORMAL_MASK 0x003C0000u
#define ZORP_VM_FTZDAZ_ON 0x00280000u /* flush denormal results, treat denormal inputs as 0 */
#define ZORP_VM_TRAP_MASK 0x0F000000u
#define ZORP_VM_TRAP_INVALID 0x1000000u
#define ZORP_VM_TRAP_DIVBYZERO 0x2000000u
#define ZORP_VM_TRAP_OVERFLOW 0x4000000u
#define ZORP_VM_TRAP_UNDERFLOW 0x8000000u
#define ZORP_VM_DEFAULT_MODE 0x1A02u

/* ---- error statuses -------------------------------------------------------------------- */
#define ZORP_VM_STATUS_OK 0
#define ZORP_VM_STATUS_ERRDOM 1
#define ZORP_VM_STATUS_SING 2
#define ZORP_VM_STATUS_OVERFLOW 3
#define ZORP_VM_STATUS_UNDERFLOW 4
#define ZORP_VM_STATUS_BADSIZE (-1)
#define ZORP_VM_STATUS_BADMEM (-2)

/* ---- error record: the block a callback receives (fixed layout, little-endian) --------- */
typedef struct ZorpVmErrorRecord {
  int32_t status;
  int32_t index;
  double arg1;
  double arg2;
  double res1;
  double res2;
  char name[64];
  int32_t name_length;
  int32_t reserved;
  double arg1_im;
  double arg2_im;
  double res1_im;
  double res2_im;
} ZorpVmErrorRecord;

typedef int32_t (*ZorpVmErrorCallback)(ZorpVmErrorRecord* record);

/* ---- service entries --------------------------------------------------------------------- */
ZORP_API uint32_t zorp_fenn_kernel_SetMode(uint32_t mode);
ZORP_API uint32_t _fennSetMode(uint32_t mode);
ZORP_API uint32_t zorp_fenn_kernel_GetMode(void);
ZORP_API uint32_t _fennGetMode(void);
ZORP_API uint32_t zorp_fenn_kernel_GetTTableIndex(void);
ZORP_API uint32_t zorp_fenn_kernel_GetTTableIndexM(uint32_t ignored, uint32_t mode);
ZORP_API int32_t dll_cpu_version(void);

/* Error status of the calling thread: the last status reported by a kernel (or set here);
 * kernels never clear it. Set and Clear return the previous status. */
ZORP_API int32_t zorp_fenn_kernel_SetErrStatus(int32_t status);
ZORP_API int32_t _fennSetErrStatus(int32_t status);
ZORP_API int32_t zorp_fenn_kernel_GetErrStatus(void);
ZORP_API int32_t _fennGetErrStatus(void);
ZORP_API int32_t zorp_fenn_kernel_ClearErrStatus(void);
ZORP_API int32_t _fennClearErrStatus(void);

/* Error callback of the calling thread. Setting a callback also turns the mode's callback
 * flag on (off for null) through SetMode's group merge; Set and Clear return the previous
 * callback. */
ZORP_API ZorpVmErrorCallback zorp_fenn_kernel_SetErrorCallBack(ZorpVmErrorCallback callback);
ZORP_API ZorpVmErrorCallback _fennSetErrorCallBack(ZorpVmErrorCallback callback);
ZORP_API ZorpVmErrorCallback zorp_fenn_kernel_GetErrorCallBack(void);
ZORP_API ZorpVmErrorCallback _fennGetErrorCallBack(void);
ZORP_API ZorpVmErrorCallback zorp_fenn_kernel_ClearErrorCallBack(void);
ZORP_API ZorpVmErrorCallback _fennClearErrorCallBack(void);

/* Start of the whole vector when a host splits one call among its threads: reported indices
 * then count from here (null: from the start of each call). Returns the pointer it stored. */
ZORP_API const void* zorp_fenn_kernel_SetInterfInputVectorPointer(const void* start);
ZORP_API const void* _fennSetInterfInputVectorPointer(const void* start);

ZORP_END_C

#ifdef __cplusplus
static_assert(offsetof(ZorpVmErrorRecord, arg1) == 8, "error record layout");
static_assert(offsetof(ZorpVmErrorRecord, res2) == 32, "error record layout");
static_assert(offsetof(ZorpVmErrorRecord, name) == 40, "error record layout");
static_assert(offsetof(ZorpVmErrorRecord, name_length) == 104, "error record layout");
static_assert(offsetof(ZorpVmErrorRecord, arg1_im) == 112, "error record layout");
static_assert(offsetof(ZorpVmErrorRecord, res2_im) == 136, "error record layout");
static_assert(sizeof(ZorpVmErrorRecord) == 144, "error record layout");
#endif
#endif
