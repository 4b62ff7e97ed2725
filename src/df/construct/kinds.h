// Construction: the routine of each export (one per kind family, both precisions), each
// checking the task in its fixed order before it computes.
#pragma once
#include <cstdint>

#include "df/construct/fit.h"

namespace zorp::df {

// Akima, Bessel, Hyman, Hermite and linear (derivative.cpp); nmin is the kind's least nx.
template <typename T>
int derivative_kind(DFTask* t, int64_t method, void** threading, Kind kind, int64_t nmin);
template <typename T>
int natural(DFTask* t, int64_t method, void** threading);  // natural.cpp
template <typename T>
int default_cubic(DFTask* t);  // quadratic.cpp
template <typename T>
int quadratic(DFTask* t);  // quadratic.cpp

}  // namespace zorp::df
