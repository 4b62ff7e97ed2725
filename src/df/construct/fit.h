// Construction: the checks every kind shares, the end conditions by name, and the fit record
// that the kinds' routines read (the task's view plus the spline settings).
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "df/common/task_view.h"
#include "host/host.h"
#include "simd/vec.h"
#include "zorp/df.h"

namespace zorp::df {

using zorp::host::allocate;
using zorp::host::deallocate;

constexpr int64_t kBlockCells = 2048;   // derivative kinds
constexpr int64_t kLinearCells = 1024;  // linear kind
constexpr int64_t kGroup = 4;           // functions per work item
constexpr int64_t kThreadMin = 512;     // ny*nx from which the launcher is used
constexpr int64_t kNaturalMinPoints = 300;
constexpr int kNaturalMaxThreads = 8;

enum class Kind { Akima, Bessel, Hyman, Hermite, Linear };

// Akima's weights below this sum count as a flat neighbourhood: the derivative is then the mean
// of the two slopes instead of their weighted mean.
constexpr double kAkimaFlat = 1e-10;

// The end condition of a boundary-condition type; its value is the index under which the
// kinds select their end formula.  First/Second name the derivative given at the left end,
// then at the right end (FirstSecond: bc type 4+32).
enum class End : int { NotAKnot, FreeEnd, FirstFirst, FirstSecond, SecondFirst, SecondSecond, Periodic, None, Invalid };

inline End end_of(int64_t bct) {
  switch (bct) {
    case DF_BC_NOT_A_KNOT: return End::NotAKnot;
    case DF_BC_FREE_END: return End::FreeEnd;
    case DF_BC_1ST_LEFT_DER | DF_BC_1ST_RIGHT_DER: return End::FirstFirst;
    case DF_BC_1ST_LEFT_DER | DF_BC_2ND_RIGHT_DER: return End::FirstSecond;
    case DF_BC_2ND_LEFT_DER | DF_BC_1ST_RIGHT_DER: return End::SecondFirst;
    case DF_BC_2ND_LEFT_DER | DF_BC_2ND_RIGHT_DER: return End::SecondSecond;
    case DF_BC_PERIODIC: return End::Periodic;
    case 0: return End::None;
    default: return End::Invalid;
  }
}

// Which derivative a condition gives at each end (the free end is a second derivative of 0).
inline bool first_at_left(End e) { return e == End::FirstFirst || e == End::FirstSecond; }
inline bool first_at_right(End e) { return e == End::FirstFirst || e == End::SecondFirst; }
inline bool second_at_left(End e) { return e == End::SecondFirst || e == End::SecondSecond; }
inline bool second_at_right(End e) { return e == End::FirstSecond || e == End::SecondSecond; }
// The conditions that read bc[0] and bc[1].
inline bool given_at_ends(End e) { return first_at_left(e) || second_at_left(e); }

// Common checks of the cubic kinds after the nx check: yhint, bc type, bc values.
inline int check_bc(const DFTask* t, bool allow_none) {
  if (!storage_hint_ok(t->yhint)) return DF_ERROR_BAD_Y_HINT;
  const End code = end_of(t->bc_type);
  if (code == End::Invalid || (code == End::None && !allow_none)) return DF_ERROR_BAD_BC_TYPE;
  const bool values =
      given_at_ends(code) || (code == End::Periodic && (t->type == DF_PP_DEFAULT || t->type == DF_PP_HERMITE));
  if (values && !t->bc) return DF_ERROR_BAD_BC;
  return DF_STATUS_OK;
}

// Data every routine needs: the partition, the function values, the coefficient storage, and
// the spline settings.
template <typename T>
struct Fit : TaskView<T> {
  const DFTask* t;
  End code;
  Kind kind;
  const T* bc;
  const T* ic;
};

// Validates the pointers the routines read (beyond the listed checks): they keep a bad task
// from being dereferenced.
template <typename T>
int make_fit(const DFTask* t, Fit<T>& F) {
  if (t->ny < 1) return DF_ERROR_BAD_NY;
  if (!t->x) return DF_ERROR_BAD_X;
  if (!t->y) return DF_ERROR_BAD_Y;
  if (!t->coeff) return DF_ERROR_BAD_SCOEFF;
  F.t = t;
  view_task(t, F);
  F.bc = static_cast<const T*>(t->bc);
  F.ic = static_cast<const T*>(t->ic);
  F.code = end_of(t->bc_type);
  for (int64_t f = 0; f < F.ny; ++f) {
    if (!F.by_cols && !t->y[f]) return DF_ERROR_BAD_Y;
    if (!t->coeff[f]) return DF_ERROR_BAD_SCOEFF;
    if (F.by_cols) break;
  }
  for (int64_t f = 0; f < F.ny; ++f)
    if (!t->coeff[f]) return DF_ERROR_BAD_SCOEFF;
  return DF_STATUS_OK;
}

// y[0] == y[n-1] for every function; a NaN fails the comparison.
template <typename T>
bool periodic_ok(const Fit<T>& F) {
  const int64_t s = F.ystride();
  for (int64_t f = 0; f < F.ny; ++f) {
    const T* y = F.ybase(f);
    if (!(y[0] == y[(F.n - 1) * s])) return false;
  }
  return true;
}

// Every cell must have a positive, finite width.  A repeated point (width 0), a descent, or a
// NaN or infinite point leaves slopes of 0/0 or y/0 in the rows and coefficients; the solvers
// do not see it (a single zero width gives no zero pivot), so such a partition would come out
// as NaN coefficients with status 0 on some paths and as a solver failure on others.  Every
// construction routine refuses it with DF_ERROR_BAD_X instead, the code that names a bad x.
// The one-function natural cubic checks the widths inside its build pass, the many-function one
// while it tabulates them and the block routines while they form slopes, so none of them reads
// x an extra time; the other routines call partition_ok.  Every routine checks the periodic
// values first.  NaN function values are data: they give NaN coefficients and status 0.
template <typename T>
bool width_ok(T h) {
  return h > T(0) && h <= std::numeric_limits<T>::max();
}

template <typename T>
bool partition_ok(const Fit<T>& F) {
  if (F.uniform) return width_ok(F.h);
  using namespace zorp::simd;
  using V = Vec<T>;
  constexpr int L = kLanes<T>;
  const V zero = splat(T(0)), one = splat(T(1)), top = splat(std::numeric_limits<T>::max());
  const int64_t cells = F.n - 1;
  for (int64_t i = 0; i < cells; i += L) {
    const auto m = first_lanes<T>(static_cast<uint32_t>(std::min<int64_t>(cells - i, L)));
    const V h = sub(load(m, F.x + i + 1, one), load(m, F.x + i, zero));
    if ((less(zero, h) & less_equal(h, top)) != all_lanes<T>()) return false;
  }
  return true;
}

}  // namespace zorp::df
