// Spline construction exports: linear, default and knot-based quadratic, and the cubic kinds
// (natural, default, Akima, Bessel, Hyman, Hermite), in single and double precision.  Arguments:
// task, format (not read), method, host threading table.
#include "df/construct/kinds.h"

using zorp::df::Kind;
using zorp::df::default_cubic;
using zorp::df::derivative_kind;
using zorp::df::natural;
using zorp::df::quadratic;

extern "C" {

#define ZORP_DF_BOTH(Name, body)                                                                         \
  ZORP_API int zorp_df_kernel_sDF##Name##Spline1D(DFTask* t, int64_t, int64_t method, void** thr) {        \
    using T = float;                                                                                      \
    (void)method;                                                                                         \
    (void)thr;                                                                                            \
    body;                                                                                                 \
  }                                                                                                       \
  ZORP_API int zorp_df_kernel_dDF##Name##Spline1D(DFTask* t, int64_t, int64_t method, void** thr) {        \
    using T = double;                                                                                     \
    (void)method;                                                                                         \
    (void)thr;                                                                                            \
    body;                                                                                                 \
  }

ZORP_DF_BOTH(Linear, return derivative_kind<T>(t, method, thr, Kind::Linear, 2))
ZORP_DF_BOTH(Quadratic, return quadratic<T>(t))
ZORP_DF_BOTH(NaturalCubic, return natural<T>(t, method, thr))
ZORP_DF_BOTH(DefaultCubic, return default_cubic<T>(t))
ZORP_DF_BOTH(AkimaCubic, return derivative_kind<T>(t, 0, thr, Kind::Akima, 5))
ZORP_DF_BOTH(BesselCubic, return derivative_kind<T>(t, 0, thr, Kind::Bessel, 4))
ZORP_DF_BOTH(HymanCubic, return derivative_kind<T>(t, 0, thr, Kind::Hyman, 4))
ZORP_DF_BOTH(HermiteCubic, return derivative_kind<T>(t, 0, thr, Kind::Hermite, 3))

}  // extern "C"
