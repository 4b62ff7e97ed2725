// Beta with shapes p and q, every value written as a + beta x.
//
//  * p > 1 and q > 1: Cheng's algorithm BB ("Generating beta variates with nonintegral shape
//    parameters", CACM 21, 1978). With a0 = min(p, q), b0 = max(p, q), s = p + q,
//    B = sqrt((s - 2)/(2pq - s)) and G = a0 + 1/B: V = B ln(u1/(1 - u1)), W = a0 e^V,
//    Z = u1^2 u2, R = G V - ln 4, S = a0 + R - W; accept when S + 1 + ln 5 >= 5Z, or
//    S >= ln Z, or R + s ln s - s ln(b0 + W) >= ln Z. W/(b0 + W) is then Beta(a0, b0).
//  * one shape below 1 and the other above: Cheng's algorithm BC, from the same paper, one
//    scheme for both orders: called with (smaller, larger) and whether they were swapped.
//    With a0 the smaller and b0 the larger shape, B = 1/a0, D = 1 + b0 - a0,
//    k1 = D (1/72 + a0/24)/(b0 B - 7/9), k2 = 1/4 + (1/2 + 1/(4D)) a0: for u1 < 1/2,
//    Y = u1 u2 and Z = u1 Y are refused when u2/4 + Z - Y >= k1; otherwise Z = u1^2 u2 is
//    taken at once below 1/4 and refused from k2 on; the rest pass the test
//    s (ln(s/(a0 + W)) + V) - ln 4 >= ln Z, now with W = b0 e^V. W/(a0 + W) is Beta(b0, a0).
//  * p = 1 or q = 1: inversion of one uniform. u^(1/p) is Beta(p, 1), so q = 1 takes it as it
//    is; for p = 1 the distribution function is 1 - (1 - x)^q and the value is 1 - u^(1/q)
//    (the plain power u^(1/q) would be Beta(q, 1), the mirror image).
//  * p < 1 and q < 1: Johnk's method ("Erzeugung von betaverteilten und gammaverteilten
//    Zufallszahlen", Metrika 8, 1964): X = u1^(1/p) and Y = u2^(1/q) are kept when X + Y <= 1,
//    and X/(X + Y) is then Beta(p, q). It accepts at least pi/4 of the pairs for shapes
//    below 1 (Gamma(p + 1) Gamma(q + 1)/Gamma(p + q + 1)). The test and the quotient are done
//    on logarithms scaled by the larger one, so that tiny shapes, whose powers underflow,
//    still give their values.
// In every scheme a value that rounds to 0 or 1 stays inside [0, 1].
#include <limits>

#include "dist/rejection.h"
#include "zorp/export.h"

namespace zorp::dist {
namespace {

using simd::Mask;

template <typename T>
Vec<T> negated(Vec<T> v) {
  return simd::flip_bits(v, simd::bits(T(-0.0)));
}

// The value W/(b0 + W), or b0/(b0 + W) for the other order of the shapes. W is kept finite, so
// that e^V beyond the range gives 1 and not inf/inf.
template <typename T>
Vec<T> beta_value(Vec<T> w, Vec<T> b0, bool swapped) {
  const Vec<T> wf = simd::min(w, simd::splat(std::numeric_limits<T>::max()));
  return simd::div(swapped ? b0 : wf, simd::add(b0, wf));
}

// V = B ln(u1/(1 - u1)) into v and W = scale e^V into w, for m candidates.
template <typename T>
void log_logistic(const Frame<T>& f, int32_t m, const T* u1, T B, T scale, T* v, T* w) {
  each(m, v, u1, [](Vec<T>, Vec<T> u) { return simd::div(u, simd::sub(simd::splat(T(1)), u)); });
  f.ln(m, v);
  const Vec<T> vB = simd::splat(B);
  each(m, v, [&](Vec<T> x) { return simd::mul(vB, x); });
  each(m, w, v, [](Vec<T>, Vec<T> x) { return x; });
  f.exp(m, w);
  const Vec<T> vs = simd::splat(scale);
  each(m, w, [&](Vec<T> x) { return simd::mul(vs, x); });
}

// Cheng's BB, both shapes above 1. As in Gamma's squeeze method, only the candidates that the
// squeeze leaves go through the logarithms: packed, decided, and their decisions spread back.
template <typename T>
int32_t beta_bb(const Frame<T>& f, int32_t n, T* r, T p, T q, T a, T beta) {
  const bool swapped = p > q;
  const T a0 = swapped ? q : p, b0 = swapped ? p : q, s = p + q;
  const T B = f.sqrt_once((s - T(2)) / (T(2) * p * q - s));
  const T G = a0 + T(1) / B;
  const T s_ln_s = s * f.ln_once(s);
  alignas(64) T work[2 * kCandidates], u1[kCandidates], v[kCandidates], w[kCandidates];
  alignas(64) T pz[kCandidates], pbw[kCandidates], pr[kCandidates], ps[kCandidates];
  const Vec<T> vG = simd::splat(G), va0 = simd::splat(a0), vb0 = simd::splat(b0), vs = simd::splat(s);
  const Vec<T> ln4 = simd::splat(T(1.3862943611198906)), one_ln5 = simd::splat(T(2.6094379124341003)), five = simd::splat(T(5));
  const Vec<T> vsls = simd::splat(s_ln_s), sb = simd::splat(beta), sa = simd::splat(a);
  const Vec<T> top = simd::splat(std::numeric_limits<T>::max());
  return by_rejection(n, r, 0.8, [&](int32_t m, Accepted<T>& out) {
    if (const int32_t st = f.uniform(2 * m, work, T(0), T(1)); st < 0) return st;
    split_pairs(m, work, u1, work);  // u2 stays in work
    log_logistic(f, m, u1, B, a0, v, w);
    Squeeze<T> book;
    registers<T>(m, [&](int32_t j, Mask<T> lanes) {
      const Vec<T> x1 = simd::load_zero(lanes, u1 + j);
      const Vec<T> z = simd::mul(simd::mul(x1, x1), simd::load_zero(lanes, work + j));
      const Vec<T> R = simd::fms(vG, simd::load(v + j), ln4);
      const Vec<T> wv = simd::load(w + j);
      const Vec<T> S = simd::sub(simd::add(va0, R), wv);
      const Mask<T> squeeze = simd::less_equal(simd::mul(five, z), simd::add(S, one_ln5)) & lanes;
      const Mask<T> rest = ~squeeze & lanes;
      if (const int32_t at = book.sort(j, squeeze, rest); rest) {
        store_selected(pz + at, rest, z);
        store_selected(pbw + at, rest, simd::add(vb0, simd::min(wv, top)));
        store_selected(pr + at, rest, R);
        store_selected(ps + at, rest, S);
      }
    });
    if (const int32_t packed = book.packed()) {
      f.ln(packed, pz);
      f.ln(packed, pbw);
      registers<T>(packed, [&](int32_t k, Mask<T> lanes) {
        // ln Z <= S, or ln Z <= R + s ln s - s ln(b0 + W)
        const Vec<T> lnz = simd::load(pz + k);
        const Vec<T> last = simd::fnma(vs, simd::load(pbw + k), simd::add(simd::load(pr + k), vsls));
        book.decide(k, (simd::less_equal(lnz, simd::load(ps + k)) | simd::less_equal(lnz, last)) & lanes);
      });
    }
    registers<T>(m, [&](int32_t j, Mask<T> lanes) {
      out.put(book.accepted(j) & lanes, simd::fma(sb, beta_value<T>(simd::load(w + j), vb0, swapped), sa));
    });
    return TARR_STATUS_OK;
  });
}

// Cheng's BC, one shape below 1 and the other above; a0 < 1 < b0, `swapped` when p is b0.
// With B = 1/a0 the exponent V reaches hundreds for a small a0 (float overflows for a few
// percent of the candidates at a0 = 0.05, double for a third of them at a0 = 0.001), so W is
// never formed: with g = V + ln(b0/a0), W/a0 = e^g, ln(a0 + W) = ln a0 + sp where
// sp = max(g, 0) + ln(1 + e^-|g|), and the values are a0/(a0 + W) = e^-sp and
// W/(a0 + W) = e^-(max(-g, 0) + ln(1 + e^-|g|)), which underflow gracefully instead of dividing
// by infinity.
template <typename T>
int32_t beta_bc(const Frame<T>& f, int32_t n, T* r, T a0, T b0, bool swapped, T a, T beta) {
  constexpr int L = kLanes<T>;
  const T s = a0 + b0, B = T(1) / a0, D = T(1) + b0 - a0;
  const T k1 = D * (T(0.0138889) + T(0.0416667) * a0) / (b0 * B - T(0.777778));
  const T k2 = T(0.25) + (T(0.5) + T(0.25) / D) * a0;
  // s (ln s - ln(a0 + W) + V) - ln 4 >= ln Z  <=>  s (V - sp) + s (ln s - ln a0) - ln 4 >= ln Z
  const T shift = s * (f.ln_once(s) - f.ln_once(a0)) - T(1.3862943611198906);
  const T ratio = f.ln_once(b0 / a0);
  alignas(64) T work[2 * kCandidates], u1[kCandidates], v[kCandidates], q[kCandidates], x[kCandidates];
  Mask<T> quick[kCandidates / L], refused[kCandidates / L];
  const Vec<T> vk1 = simd::splat(k1), vk2 = simd::splat(k2), half = simd::splat(T(0.5)), quarter = simd::splat(T(0.25));
  const Vec<T> vs = simd::splat(s), vshift = simd::splat(shift), vratio = simd::splat(ratio), vB = simd::splat(B);
  const Vec<T> one = simd::splat(T(1)), zero = simd::zero<Vec<T>>();
  const Vec<T> sb = simd::splat(beta), sa = simd::splat(a);
  return by_rejection(n, r, 0.6, [&](int32_t m, Accepted<T>& out) {
    if (const int32_t st = f.uniform(2 * m, work, T(0), T(1)); st < 0) return st;
    split_pairs(m, work, u1, work);  // u2 stays in work
    each(m, v, u1, [&](Vec<T>, Vec<T> u) { return simd::div(u, simd::sub(one, u)); });
    f.ln(m, v);
    registers<T>(m, [&](int32_t j, Mask<T> lanes) {
      const Vec<T> x1 = simd::load_zero(lanes, u1 + j), x2 = simd::load_zero(lanes, work + j);
      const Mask<T> low = simd::less(x1, half);
      const Vec<T> y = simd::mul(x1, x2);
      const Vec<T> z = simd::mul(x1, y);  // u1^2 u2 on either side
      const Mask<T> refuse_low = low & simd::greater_equal(simd::add(simd::mul(quarter, x2), simd::sub(z, y)), vk1);
      const Mask<T> high_quick = ~low & simd::less_equal(z, quarter);
      const Mask<T> refuse_high = ~low & ~high_quick & simd::greater_equal(z, vk2);
      quick[j / L] = high_quick;
      refused[j / L] = refuse_low | refuse_high;
      const Vec<T> V = simd::mul(vB, simd::load(v + j));
      const Vec<T> g = simd::add(V, vratio);
      simd::store(v + j, lanes, V);
      simd::store(q + j, lanes, simd::flip_bits(simd::abs(g), simd::bits(T(-0.0))));  // -|g|
      simd::store(work + j, lanes, z);
    });
    f.exp(m, q);
    each(m, q, [&](Vec<T> e) { return simd::add(one, e); });
    f.ln(m, q);     // ln(1 + e^-|g|)
    f.ln(m, work);  // ln Z
    registers<T>(m, [&](int32_t j, Mask<T> lanes) {
      const Vec<T> V = simd::load(v + j), g = simd::add(V, vratio), l1 = simd::load(q + j);
      // V - sp without the cancellation of V - g where g > 0: there it is -ln(b0/a0) - l1.
      const Mask<T> up = simd::less(zero, g);
      const Vec<T> v_sp = simd::sub(simd::select(up, simd::flip_bits(vratio, simd::bits(T(-0.0))), V), l1);
      const Vec<T> t = simd::fma(vs, v_sp, vshift);
      // e^-softplus(g) = 1/(1 + e^g) and, for the swapped order, e^-softplus(-g) = 1/(1 + e^-g):
      // both as small exponents, so that a value near 1 keeps every bit 1 - x has.
      const Vec<T> h = swapped ? simd::flip_bits(g, simd::bits(T(-0.0))) : g;
      simd::store(x + j, lanes, simd::flip_bits(simd::add(simd::max(h, zero), l1), simd::bits(T(-0.0))));
      simd::store(q + j, lanes, t);
    });
    f.exp(m, x);
    registers<T>(m, [&](int32_t j, Mask<T> lanes) {
      const Mask<T> accept = quick[j / L] | (~refused[j / L] & simd::less_equal(simd::load(work + j), simd::load(q + j)));
      out.put(accept & lanes, simd::fma(sb, simd::min(one, simd::load(x + j)), sa));
    });
    return TARR_STATUS_OK;
  });
}

// Johnk's method, both shapes below 1.
template <typename T>
int32_t beta_johnk(const Frame<T>& f, int32_t n, T* r, T p, T q, T a, T beta) {
  alignas(64) T work[2 * kCandidates], lx[kCandidates], e[3 * kCandidates];
  const Vec<T> ip = simd::splat(T(1) / p), iq = simd::splat(T(1) / q), one = simd::splat(T(1));
  const Vec<T> sb = simd::splat(beta), sa = simd::splat(a);
  return by_rejection(n, r, 0.5, [&](int32_t m, Accepted<T>& out) {
    if (const int32_t st = f.uniform(2 * m, work, T(0), T(1)); st < 0) return st;
    f.ln(2 * m, work);
    split_pairs(m, work, lx, work);  // ln u1, ln u2
    registers<T>(m, [&](int32_t j, Mask<T> lanes) {
      const Vec<T> x = simd::mul(simd::load(lx + j), ip), y = simd::mul(simd::load(work + j), iq);
      const Vec<T> top = simd::max(x, y);
      simd::store(e + j, lanes, simd::sub(x, top));
      simd::store(e + m + j, lanes, simd::sub(y, top));
      simd::store(e + 2 * m + j, lanes, negated<T>(top));
    });
    f.exp(3 * m, e);  // X/M, Y/M and 1/M, M the larger of X and Y (ln M = top)
    registers<T>(m, [&](int32_t j, Mask<T> lanes) {
      const Vec<T> x = simd::load(e + j), sum = simd::add(x, simd::load(e + m + j));
      const Mask<T> accept = simd::less_equal(sum, simd::load(e + 2 * m + j));
      out.put(accept & lanes, simd::fma(sb, simd::min(one, simd::div(x, sum)), sa));
    });
    return TARR_STATUS_OK;
  });
}

// q = 1: u^(1/p); p = 1: 1 - u^(1/q).
template <typename T>
int32_t beta_inverse(const Frame<T>& f, int32_t n, T* r, T p, T q, T a, T beta) {
  const bool mirror = p == T(1);
  const Vec<T> power = simd::splat(T(1) / (mirror ? q : p)), one = simd::splat(T(1));
  const Vec<T> sb = simd::splat(beta), sa = simd::splat(a);
  return in_blocks(n, Precision<T>::kBlock, [&](int32_t i, int32_t k) {
    if (const int32_t st = f.uniform(k, r + i, T(0), T(1)); st < 0) return st;
    f.ln(k, r + i);
    each(k, r + i, [&](Vec<T> x) { return simd::mul(power, x); });
    f.exp(k, r + i);
    // e^(ln u / p) with u < 1 is at most 1, but an approximate kernel may round just past it.
    if (mirror) each(k, r + i, [&](Vec<T> x) { return simd::fma(sb, simd::sub(one, simd::min(one, x)), sa); });
    else each(k, r + i, [&](Vec<T> x) { return simd::fma(sb, simd::min(one, x), sa); });
    return TARR_STATUS_OK;
  });
}

template <typename T>
int32_t beta_dist(StreamState* stream, int32_t n, T* r, T p, T q, T a, T beta) {
  if (n < 1) return TARR_STATUS_OK;
  const Source<T> source = source_of<T>(stream);
  if (!source) return TARR_ERROR_INVALID_BRNG;
  Frame<T> f(stream, source, log_floor_sing<T>);
  if (p > T(1) && q > T(1)) return beta_bb(f, n, r, p, q, a, beta);
  if (p < T(1) && q > T(1)) return beta_bc(f, n, r, p, q, false, a, beta);
  if (q < T(1) && p > T(1)) return beta_bc(f, n, r, q, p, true, a, beta);
  if (p == T(1) || q == T(1)) return beta_inverse(f, n, r, p, q, a, beta);
  return beta_johnk(f, n, r, p, q, a, beta);
}

}  // namespace
}  // namespace zorp::dist

using namespace zorp::dist;

extern "C" {
ZORP_API int32_t _tarrdRngBeta(int32_t, StreamState* stream, int32_t n, double* r, double p, double q, double a,
                               double beta) {
  return beta_dist<double>(stream, n, r, p, q, a, beta);
}
ZORP_API int32_t _tarrsRngBeta(int32_t, StreamState* stream, int32_t n, float* r, float p, float q, float a,
                               float beta) {
  return beta_dist<float>(stream, n, r, p, q, a, beta);
}
}
