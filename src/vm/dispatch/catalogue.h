// The vector-math catalogue (zorp/vm_catalogue.def) as C++ constants, and the helpers for
// reading it with X-macros.
//
// Every row becomes `zorp::vm::catalogue::<t><Func>`, a constexpr Row: its type letter, public
// name for reports ("vsExp"), calling shape, slot sharing, published costs and whether its
// kernels are built. The kernel binding (vm/kernels/common/bind.h) reads the row to fill the
// dispatch tables by the sharing column, pick the entry signatures by the shape and name the
// kernel in its reports, so a kernel source names its row and nothing else about it.
#pragma once

// A row expands only when its `built` column is 1.
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

#ifdef __cplusplus
#include <string_view>

namespace zorp::vm::catalogue {

enum class Shape { A1R1, A2R1, A1R2, VS, LINFRAC, PACK, UNPACK, C1R1R, R1C1 };

// Which slots share a kernel: ALL one kernel in all three; EP1 LA and HA share, EP alone;
// HA1 LA and EP share, HA alone; DIST three kernels.
enum class Share { ALL, EP1, HA1, DIST };

struct Row {
  char type;         // s d c z
  const char* name;  // the public name reports carry: "v" + type + function
  Shape shape;
  Share share;
  float cost[3];  // LA, HA, EP
  bool built;

  constexpr bool complex() const { return type == 'c' || type == 'z'; }
  constexpr bool strided_twin() const { return shape != Shape::PACK && shape != Shape::UNPACK; }
  // How many distinct kernels the row's three slots hold.
  constexpr int kernels() const { return share == Share::ALL ? 1 : share == Share::DIST ? 3 : 2; }
  // The first slot that holds the same kernel as `slot`.
  constexpr int owner(int slot) const {
    switch (share) {
      case Share::ALL: return 0;
      case Share::EP1: return slot == 2 ? 2 : 0;
      case Share::HA1: return slot == 1 ? 1 : 0;
      default: return slot;
    }
  }
  // Strided calls with unit increments hand over to the contiguous kernel through the table,
  // except where a complex function keeps one kernel for every slot: it runs its strided loop
  // whatever the increments.
  constexpr bool unit_stride_shortcut() const { return !(complex() && share == Share::ALL); }
  // The name the strided kernel of `slot` reports: the row's, but for one exception hosts have
  // always seen, the HA strided kernel of double complex Exp, which reports "vzExpI".
  constexpr const char* strided_name(int slot) const {
    return type == 'z' && std::string_view(name) == "vzExp" && owner(slot) == 1 ? "vzExpI" : name;
  }
};

#define VM_FN(t, F, shape, share, la, ha, ep, built) \
  inline constexpr Row t##F{#t[0], "v" #t #F, Shape::shape, Share::share, {la, ha, ep}, built != 0};
#include "zorp/vm_catalogue.def"
#undef VM_FN

}  // namespace zorp::vm::catalogue
#endif
