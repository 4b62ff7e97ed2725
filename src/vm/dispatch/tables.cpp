// The vector-math dispatch tables and entry points, generated from the catalogue.
//
// For every built (type, function) row and each storage form (contiguous, strided):
//  * zorp_fenn_kernel_<t><F>[I]_ttab: three writable code pointers, LA, HA, EP, filled from
//    the row's kernels as its sharing column says;
//  * zorp_fenn_kernel_<t><F>[I]_ctab: the three published cost figures;
//  * four entry names on three entries, laid out LA, HA, EP: each entry is a single indirect
//    jump through its slot, so the kernel sees the caller's arguments untouched and returns
//    straight to the caller. The jump goes through a hidden alias of the table, which keeps
//    it a plain RIP-relative load with no GOT indirection.
#include "platform/asm.h"
#include "vm/dispatch/catalogue.h"
#include "zorp/export.h"

// ---- kernel declarations ----------------------------------------------------------------
// Only the address matters here; each kernel is defined with its real signature elsewhere.
#define VM_DECL(k) extern "C" void k();
#define VM_DECLS_ALL(k) VM_DECL(k##_la)
#define VM_DECLS_EP1(k) VM_DECL(k##_la) VM_DECL(k##_ep)
#define VM_DECLS_HA1(k) VM_DECL(k##_la) VM_DECL(k##_ha)
#define VM_DECLS_DIST(k) VM_DECL(k##_la) VM_DECL(k##_ha) VM_DECL(k##_ep)

#define VM_SLOTS_ALL(k) {(void*)&k##_la, (void*)&k##_la, (void*)&k##_la}
#define VM_SLOTS_EP1(k) {(void*)&k##_la, (void*)&k##_la, (void*)&k##_ep}
#define VM_SLOTS_HA1(k) {(void*)&k##_la, (void*)&k##_ha, (void*)&k##_la}
#define VM_SLOTS_DIST(k) {(void*)&k##_la, (void*)&k##_ha, (void*)&k##_ep}

// ---- tables -----------------------------------------------------------------------------
#define VM_TABLE_PAIR(name, kernel, share, la, ha, ep)                                      \
  VM_DECLS_##share(kernel)                                                                  \
  extern "C" ZORP_API void* zorp_fenn_kernel_##name##_ttab[3];                              \
  void* zorp_fenn_kernel_##name##_ttab[3] = VM_SLOTS_##share(kernel);                        \
  extern "C" ZORP_API const float zorp_fenn_kernel_##name##_ctab[3];                        \
  const float zorp_fenn_kernel_##name##_ctab[3] = {la, ha, ep};                              \
  extern "C" __attribute__((visibility("hidden"), alias(VM_STR(zorp_fenn_kernel_##name##_ttab)))) \
  void* zorp_vm_local_##name##_ttab[3];

#define VM_FN(t, F, shape, share, la, ha, ep, built)                                        \
  VM_IF_BUILT(built, VM_TABLE_PAIR(t##F, zorp_vmk_##t##F, share, la, ha, ep)                \
              VM_IF_STRIDED(shape, VM_TABLE_PAIR(t##F##I, zorp_vmk_##t##F##I, share, la, ha, ep)))
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
