// The three accuracy slots of a vector-math row, in the order of its catalogue costs: LA, HA,
// EP. A family that writes its kernels as one template over the slot takes an Acc as the
// template argument; the binding line (bind.h) then names one instantiation per distinct slot.
#pragma once

namespace zorp::vm {

enum class Acc { LA, HA, EP };

}  // namespace zorp::vm
