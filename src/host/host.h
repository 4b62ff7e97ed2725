// The kernel library's one include point for the host core services. Everything it takes
// from the host (memory, locks, environment, messages, exit, threading, BLAS/LAPACK,
// tridiagonal solvers) is declared in zorp/core.h and reached only through these names.
#pragma once
#include "zorp/core.h"

namespace zorp::host {
inline constexpr int kAlignment = 128;  // every block the library allocates

inline void* allocate(size_t bytes) { return zorp_serv_allocate(bytes, kAlignment); }
inline void deallocate(void* p) { zorp_serv_deallocate(p); }
}  // namespace zorp::host
