// Running moments of one set of observations, the per-observation update and the exact merge
// of two sets.  Shared by the basic statistics routine and its tests of form.
//
// State per component: the mean m, the raw moments r2..r4 (sum w x^k / W) and the central sums
// S2..S4 (sum w (x-m)^k), with the weight totals W and W2 shared by all components.  The
// update is Welford's for m and S2, extended to S3 and S4 (all central sums updated from
// their old values, highest order first); raw moments follow the mean's form
// r_k := r_k * b + (w x^k) * a with a = 1/W', b = W a.
#pragma once
#include <immintrin.h>

#include <cstdint>

namespace zorp::ss {

struct MomentArrays {
  double* m;
  double* r2;
  double* r3;
  double* r4;
  double* s2;
  double* s3;
  double* s4;
};

// Merge set b into set a (a := a U b), component by component, for q components.
// d = m_b - m_a; every term is the exact algebraic combination, so the order of merging
// only changes rounding.
inline void merge_moments(MomentArrays a, double& Wa, double& W2a, const MomentArrays b, double Wb,
                          double W2b, int64_t q, int raw_order, int central_order) {
  if (Wb == 0) return;
  if (Wa == 0) {
    for (int64_t j = 0; j < q; ++j) {
      a.m[j] = b.m[j];
      if (raw_order >= 2) a.r2[j] = b.r2[j];
      if (raw_order >= 3) a.r3[j] = b.r3[j];
      if (raw_order >= 4) a.r4[j] = b.r4[j];
      if (central_order >= 2) a.s2[j] = b.s2[j];
      if (central_order >= 3) a.s3[j] = b.s3[j];
      if (central_order >= 4) a.s4[j] = b.s4[j];
    }
    Wa = Wb;
    W2a = W2b;
    return;
  }
  const double W = Wa + Wb, ia = Wa / W, ib = Wb / W;
  for (int64_t j = 0; j < q; ++j) {
    const double d = b.m[j] - a.m[j];
    if (central_order >= 4) {
      const double d2 = d * d;
      a.s4[j] = a.s4[j] + b.s4[j] + d2 * d2 * Wa * ib * (ia * ia - ia * ib + ib * ib) +
                6 * d2 * (ia * ia * b.s2[j] + ib * ib * a.s2[j]) + 4 * d * (ia * b.s3[j] - ib * a.s3[j]);
    }
    if (central_order >= 3)
      a.s3[j] = a.s3[j] + b.s3[j] + d * d * d * Wa * ib * (ia - ib) + 3 * d * (ia * b.s2[j] - ib * a.s2[j]);
    if (central_order >= 2) a.s2[j] = a.s2[j] + b.s2[j] + d * d * Wa * ib;
    if (raw_order >= 2) a.r2[j] = ia * a.r2[j] + ib * b.r2[j];
    if (raw_order >= 3) a.r3[j] = ia * a.r3[j] + ib * b.r3[j];
    if (raw_order >= 4) a.r4[j] = ia * a.r4[j] + ib * b.r4[j];
    a.m[j] = a.m[j] + d * ib;
  }
  Wa = W;
  W2a += W2b;
}

// One pass over bs observations held observation-major in P (observation k's q values at
// P + k*ld, lanes beyond q masked off), weights wd (null: unit weights).  Vectorised over
// components, eight at a time; one division per observation shared by all components.
// The mean and the central sums are kept for x - sh (sh a per-component shift near the data,
// padded with zeros): with the shift the running mean is small, so d = x - mean carries no
// rounding error of a large mean and the update stays accurate for data far from zero.  Raw
// moments are of x itself.
template <int R, int C>
inline void update_block(MomentArrays s, double& Wr, double& W2r, const double* P, int64_t ld,
                         int64_t bs, int64_t q, const double* wd, const double* sh) {
  const int64_t nv = (q + 7) / 8;
  const __mmask8 tail = __mmask8(0xFF >> ((8 - (q & 7)) & 7));
  double W = Wr, W2 = W2r;
  // Observations go in chunks of 256: first the per-observation coefficients of the chunk
  // (one division each, shared by all components), then each group of eight components runs
  // through the chunk with its running state held in registers.
  constexpr int kChunk = 256;
  alignas(64) double cf[kChunk][8];
  for (int64_t k0 = 0; k0 < bs; k0 += kChunk) {
    const int64_t kc = bs - k0 < kChunk ? bs - k0 : kChunk;
    for (int64_t k = 0; k < kc; ++k) {
      const double w = wd ? wd[k0 + k] : 1.0;
      double* c = cf[k];
      if (w == 0) {  // carries no data: leaves every quantity as it is (and avoids 0/0)
        c[0] = 1, c[1] = c[2] = c[3] = c[4] = c[5] = c[6] = c[7] = 0;
        continue;
      }
      const double Wn = W + w;
      const double a = 1.0 / Wn, b = W * a, e = w * a, c2 = b * w;
      c[0] = b;                                   // weight of the old value
      c[1] = e;                                   // weight of the new observation
      c[2] = c2;                                  // W w / W'
      c[3] = c2 * (W - w) * a;                    // W w (W - w) / W'^2
      c[4] = c2 * (W * W - W * w + w * w) * a * a;  // W w (W^2 - W w + w^2) / W'^3
      c[5] = 6.0 * e * e;
      c[6] = -4.0 * e;
      c[7] = -3.0 * e;
      W = Wn;
      W2 += w * w;
    }
    for (int64_t v = 0; v < nv; ++v) {
      const __mmask8 mk = v == nv - 1 ? tail : __mmask8(0xFF);
      const int64_t o = 8 * v;
      const __m512d shv = _mm512_load_pd(sh + o);
      __m512d m = _mm512_load_pd(s.m + o);
      __m512d R2 = _mm512_setzero_pd(), R3 = R2, R4 = R2, S2 = R2, S3 = R2, S4 = R2;
      if constexpr (R >= 2) R2 = _mm512_load_pd(s.r2 + o);
      if constexpr (R >= 3) R3 = _mm512_load_pd(s.r3 + o);
      if constexpr (R >= 4) R4 = _mm512_load_pd(s.r4 + o);
      if constexpr (C >= 2) S2 = _mm512_load_pd(s.s2 + o);
      if constexpr (C >= 3) S3 = _mm512_load_pd(s.s3 + o);
      if constexpr (C >= 4) S4 = _mm512_load_pd(s.s4 + o);
      const double* row = P + k0 * ld + o;
      for (int64_t k = 0; k < kc; ++k, row += ld) {
        const double* c = cf[k];
        const __m512d vb = _mm512_set1_pd(c[0]), ve = _mm512_set1_pd(c[1]);
        const __m512d x = _mm512_maskz_loadu_pd(mk, row);
        const __m512d y = _mm512_sub_pd(x, shv);
        const __m512d d = _mm512_sub_pd(y, m);
        m = _mm512_fmadd_pd(m, vb, _mm512_mul_pd(y, ve));
        if constexpr (R >= 2) {
          const __m512d x2 = _mm512_mul_pd(x, x);
          R2 = _mm512_fmadd_pd(R2, vb, _mm512_mul_pd(x2, ve));
          if constexpr (R >= 3) R3 = _mm512_fmadd_pd(R3, vb, _mm512_mul_pd(_mm512_mul_pd(x2, x), ve));
          if constexpr (R >= 4) R4 = _mm512_fmadd_pd(R4, vb, _mm512_mul_pd(_mm512_mul_pd(x2, x2), ve));
        }
        if constexpr (C >= 2) {
          const __m512d d2 = _mm512_mul_pd(d, d);
          if constexpr (C >= 3) {
            if constexpr (C >= 4) {
              // S4 += d^2 (d^2 c4 + 6 e^2 S2) - 4 e d S3
              __m512d t = _mm512_fmadd_pd(d2, _mm512_set1_pd(c[4]), _mm512_mul_pd(_mm512_set1_pd(c[5]), S2));
              t = _mm512_fmadd_pd(d2, t, S4);
              S4 = _mm512_fmadd_pd(_mm512_mul_pd(_mm512_set1_pd(c[6]), d), S3, t);
            }
            // S3 += d (d^2 c3 - 3 e S2)
            const __m512d t3 = _mm512_fmadd_pd(d2, _mm512_set1_pd(c[3]), _mm512_mul_pd(_mm512_set1_pd(c[7]), S2));
            S3 = _mm512_fmadd_pd(d, t3, S3);
          }
          // Welford: S2 += b w d^2
          S2 = _mm512_fmadd_pd(_mm512_mul_pd(_mm512_set1_pd(c[2]), d), d, S2);
        }
      }
      _mm512_store_pd(s.m + o, m);
      if constexpr (R >= 2) _mm512_store_pd(s.r2 + o, R2);
      if constexpr (R >= 3) _mm512_store_pd(s.r3 + o, R3);
      if constexpr (R >= 4) _mm512_store_pd(s.r4 + o, R4);
      if constexpr (C >= 2) _mm512_store_pd(s.s2 + o, S2);
      if constexpr (C >= 3) _mm512_store_pd(s.s3 + o, S3);
      if constexpr (C >= 4) _mm512_store_pd(s.s4 + o, S4);
    }
  }
  Wr = W;
  W2r = W2;
}

}  // namespace zorp::ss
