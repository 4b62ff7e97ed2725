// Access to the dispatch tables from inside the library: strided kernels with unit
// increments hand the call to the contiguous kernel of the same slot through the table,
// so a host that patches a slot sees both forms follow.
#pragma once

#define VM_TTAB(name) zorp_fenn_kernel_##name##_ttab
#define VM_DECLARE_TTAB(name) extern "C" void* VM_TTAB(name)[3];

enum VmSlot : int { kSlotLA = 0, kSlotHA = 1, kSlotEP = 2 };
