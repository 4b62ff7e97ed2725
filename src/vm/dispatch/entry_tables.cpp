// The vector-math cost tables and entry points, generated from the catalogue.
//
// For every built (type, function) row and each storage form (contiguous, strided):
//  * zorp_fenn_kernel_<t><F>[I]_ctab: the three published cost figures;
//  * four entry names on three entries, laid out LA, HA, EP: each entry is a single indirect
//    jump through its slot of zorp_fenn_kernel_<t><F>[I]_ttab, so the kernel sees the caller's
//    arguments untouched and returns straight to the caller. The jump goes through a hidden
//    alias of the table, which keeps it a plain RIP-relative load with no GOT indirection.
// The ttab tables themselves are defined beside their kernels, by the binding line of each row
// (vm/kernels/common/bind.h); a built row without one fails to link here.
#include "platform/asm.h"
#include "vm/dispatch/catalogue.h"
#include "zorp/export.h"

// ---- cost tables ------------------------------------------------------------------------
#define VM_COST_TABLE(name, la, ha, ep)                                                     \
  extern "C" ZORP_API const float zorp_fenn_kernel_##name##_ctab[3];                        \
  const float zorp_fenn_kernel_##name##_ctab[3] = {la, ha, ep};

#define VM_FN(t, F, shape, share, la, ha, ep, built)                                        \
  VM_IF_BUILT(built, VM_COST_TABLE(t##F, la, ha, ep)                                        \
              VM_IF_STRIDED(shape, VM_COST_TABLE(t##F##I, la, ha, ep)))
#include "zorp/vm_catalogue.def"
#undef VM_FN

// ---- entry points -----------------------------------------------------------------------
#define VM_ENTRY_LABEL(sym) ZORP_ASM_FUNCTION_LABEL(sym)
#define VM_ENTRIES(name, t)                                                                 \
  ".p2align 4\n"                                                                            \
  VM_ENTRY_LABEL("_fenn" VM_STR(name) VM_LA_SUFFIX(t))                                      \
  "  jmp *zorp_vm_local_" VM_STR(name) "_ttab+0(%rip)\n"                                    \
  ".p2align 3\n"                                                                            \
  VM_ENTRY_LABEL("_fenn" VM_STR(name))                                                      \
  VM_ENTRY_LABEL("_fenn" VM_STR(name) "_HA")                                                \
  "  jmp *zorp_vm_local_" VM_STR(name) "_ttab+8(%rip)\n"                                    \
  ".p2align 3\n"                                                                            \
  VM_ENTRY_LABEL("_fenn" VM_STR(name) VM_EP_SUFFIX(t))                                      \
  "  jmp *zorp_vm_local_" VM_STR(name) "_ttab+16(%rip)\n"

#define VM_FN(t, F, shape, share, la, ha, ep, built)                                        \
  VM_IF_BUILT(built, asm(".text\n" VM_ENTRIES(t##F, t)                                      \
                         VM_IF_STRIDED(shape, VM_ENTRIES(t##F##I, t)));)
#include "zorp/vm_catalogue.def"
#undef VM_FN
