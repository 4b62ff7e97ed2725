// Helpers for reading zorp/vm_catalogue.def with X-macros. A row expands only when its `built`
// column is 1: VM_IF_BUILT_1(x) keeps x, VM_IF_BUILT_0(x) drops it.
#pragma once

#define VM_IF_BUILT_0(...)
#define VM_IF_BUILT_1(...) __VA_ARGS__
#define VM_IF_BUILT(built, ...) VM_IF_BUILT_##built(__VA_ARGS__)

// Pack and unpack have no strided twin.
#define VM_IF_STRIDED_A1R1(...) __VA_ARGS__
#define VM_IF_STRIDED_A2R1(...) __VA_ARGS__
#define VM_IF_STRIDED_A1R2(...) __VA_ARGS__
#define VM_IF_STRIDED_VS(...) __VA_ARGS__
#define VM_IF_STRIDED_LINFRAC(...) __VA_ARGS__
#define VM_IF_STRIDED_C1R1R(...) __VA_ARGS__
#define VM_IF_STRIDED_R1C1(...) __VA_ARGS__
#define VM_IF_STRIDED_PACK(...)
#define VM_IF_STRIDED_UNPACK(...)
#define VM_IF_STRIDED(shape, ...) VM_IF_STRIDED_##shape(__VA_ARGS__)

// Entry-name suffixes by type: LA and EP carry the precision's correct-bit counts.
#define VM_LA_SUFFIX_s "_21"
#define VM_LA_SUFFIX_c "_21"
#define VM_LA_SUFFIX_d "_50"
#define VM_LA_SUFFIX_z "_50"
#define VM_EP_SUFFIX_s "_11"
#define VM_EP_SUFFIX_c "_11"
#define VM_EP_SUFFIX_d "_26"
#define VM_EP_SUFFIX_z "_26"
#define VM_LA_SUFFIX(t) VM_LA_SUFFIX_##t
#define VM_EP_SUFFIX(t) VM_EP_SUFFIX_##t

#define VM_STR_(x) #x
#define VM_STR(x) VM_STR_(x)
