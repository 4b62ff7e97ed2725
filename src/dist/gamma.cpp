// Gamma and ChiSquare.
//
// Gamma by the shape alpha, every value written as a + beta g:
//  * alpha = 1: the exponential distribution, -ln u;
//  * alpha > 1: Marsaglia and Tsang's squeeze method ("A simple method for generating gamma
//    variables", ACM TOMS 26, 2000): d = alpha - 1/3, c = 1/sqrt(9 alpha - 3), candidates
//    d (1 + c z)^3 from standard normals z, the squeeze u < 1 - 0.0331 z^4 and the logarithmic
//    test otherwise. The normals come by Box-Muller pairs whose owed cosine output is kept
//    in the stream's gamma chunk (7 double, 8 float) between calls;
//  * 0.6 <= alpha < 1: rejection from the Weibull density of shape alpha (the envelope used by
//    Vaduva, 1977; Devroye, "Non-Uniform Random Variate Generation", 1986, IX.6): X = E1^(1/alpha)
//    with E1 = -ln u1 is Weibull, and the ratio of the gamma density to it is proportional to
//    exp(X^alpha - X), whose largest value is exp(c) with c = (1 - alpha) alpha^(alpha/(1 - alpha));
//    X is accepted when E2 = -ln u2 >= X - E1 + c. The acceptance rate, Gamma(alpha + 1) e^-c,
//    stays above 0.74 over the range and reaches 1 at alpha = 1;
//  * alpha < 0.6: Ahrens and Dieter's algorithm GS ("Computer methods for sampling from gamma,
//    beta, Poisson and binomial distributions", Computing 12, 1974): with b = 1 + alpha/e and
//    p = b u1, X = p^(1/alpha) accepted when u2 <= e^-X if p <= 1, else X = -ln((b - p)/alpha)
//    accepted when u2 <= X^(alpha - 1). Below 0.6 it accepts more than the Weibull envelope.
// Both rejection schemes below shape 1 take two uniforms per candidate.
#include "dist/normal.h"
#include "dist/rejection.h"
#include "zorp/export.h"

namespace zorp::dist {
namespace {

using simd::Mask;

// Marsaglia and Tsang, alpha > 1. The squeeze settles all but a few percent of the candidates,
// so only the unsettled ones go through the logarithms: their u, z (v3 follows from z) are packed
// into short arrays, decided there a register at a time, and the decisions spread back onto the
// candidates' lanes, which keeps the accepted values in candidate order.
template <typename T>
int32_t gamma_large(const Frame<T>& f, T* pending, int32_t n, T* r, T alpha, T a, T beta) {
  const T d = alpha - T(1) / T(3);
  const T c = T(1) / f.sqrt_once(T(9) * alpha - T(3));
  alignas(64) T z[kCandidates], u[kCandidates], su[kCandidates], sz[kCandidates], sw[kCandidates];
  const Vec<T> vc = simd::splat(c), vd = simd::splat(d), one = simd::splat(T(1)), zero = simd::zero<Vec<T>>();
  const Vec<T> k0331 = simd::splat(T(0.0331)), half = simd::splat(T(0.5));
  const Vec<T> vb = simd::splat(beta), va = simd::splat(a);
  auto cube = [&](Vec<T> zv) {
    const Vec<T> v = simd::fma(vc, zv, one);
    return simd::mul(simd::mul(v, v), v);
  };
  return by_rejection(n, r, 0.95, [&](int32_t m, Accepted<T>& out) {
    if (const int32_t st = normals_pairs(f, pending, m, z, T(0), T(1)); st < 0) return st;
    if (const int32_t st = f.uniform(m, u, T(0), T(1)); st < 0) return st;
    Squeeze<T> book;
    registers<T>(m, [&](int32_t j, Mask<T> lanes) {
      const Vec<T> zv = simd::load_zero(lanes, z + j), uv = simd::load_zero(lanes, u + j);
      const Vec<T> v3 = cube(zv);
      const Mask<T> positive = simd::less(zero, simd::fma(vc, zv, one)) & lanes;
      const Vec<T> z2 = simd::mul(zv, zv);
      const Mask<T> squeeze = simd::less(uv, simd::fnma(k0331, simd::mul(z2, z2), one)) & positive;
      const Mask<T> rest = positive & ~squeeze;
      if (const int32_t at = book.sort(j, squeeze, rest); rest) {
        store_selected(su + at, rest, uv);
        store_selected(sz + at, rest, zv);
        store_selected(sw + at, rest, v3);
      }
    });
    if (const int32_t packed = book.packed()) {
      f.ln(packed, su);
      f.ln(packed, sw);
      registers<T>(packed, [&](int32_t k, Mask<T> lanes) {
        // ln u < z^2/2 + d (1 - v3 + ln v3)
        const Vec<T> zv = simd::load(sz + k);
        const Vec<T> bound = simd::fma(half, simd::mul(zv, zv),
                                       simd::mul(vd, simd::add(simd::sub(one, cube(zv)), simd::load(sw + k))));
        book.decide(k, simd::less(simd::load(su + k), bound) & lanes);
      });
    }
    registers<T>(m, [&](int32_t j, Mask<T> lanes) {
      out.put(book.accepted(j) & lanes, simd::fma(vb, simd::mul(vd, cube(simd::load(z + j))), va));
    });
    return TARR_STATUS_OK;
  });
}

// Rejection from the Weibull density, 0.6 <= alpha < 1.
template <typename T>
int32_t gamma_weibull(const Frame<T>& f, int32_t n, T* r, T alpha, T a, T beta) {
  const T c = (T(1) - alpha) * f.exp_once(alpha / (T(1) - alpha) * f.ln_once(alpha));
  const T power = T(1) / alpha;
  alignas(64) T work[2 * kCandidates], e1[kCandidates], x[kCandidates];
  const Vec<T> vc = simd::splat(c), vb = simd::splat(beta), va = simd::splat(a);
  return by_rejection(n, r, 0.74, [&](int32_t m, Accepted<T>& out) {
    if (const int32_t st = f.uniform(2 * m, work, T(0), T(1)); st < 0) return st;
    f.ln(2 * m, work);
    split_pairs(m, work, e1, work);  // ln u1, ln u2
    each(m, x, e1, [](Vec<T>, Vec<T> l) { return simd::flip_bits(l, simd::bits(T(-0.0))); });
    f.powx(m, x, power);
    registers<T>(m, [&](int32_t j, Mask<T> lanes) {
      const Vec<T> xv = simd::load(x + j);
      // -ln u2 >= X + c + ln u1
      const Mask<T> accept = simd::less_equal(simd::add(simd::add(xv, vc), simd::load(e1 + j)),
                                              simd::flip_bits(simd::load(work + j), simd::bits(T(-0.0))));
      out.put(accept & lanes, simd::fma(vb, xv, va));
    });
    return TARR_STATUS_OK;
  });
}

// Ahrens and Dieter's GS, alpha < 0.6.
template <typename T>
int32_t gamma_small(const Frame<T>& f, int32_t n, T* r, T alpha, T a, T beta) {
  const T b = T(1) + alpha / T(2.718281828459045);
  alignas(64) T work[2 * kCandidates], l[kCandidates], x[kCandidates], y[kCandidates];
  Mask<T> lower[kCandidates / kLanes<T>];
  const Vec<T> vb = simd::splat(b), one = simd::splat(T(1)), inv = simd::splat(T(1) / alpha);
  const Vec<T> valpha = simd::splat(alpha), am1 = simd::splat(alpha - T(1));
  const Vec<T> sb = simd::splat(beta), sa = simd::splat(a);
  return by_rejection(n, r, 0.7, [&](int32_t m, Accepted<T>& out) {
    if (const int32_t st = f.uniform(2 * m, work, T(0), T(1)); st < 0) return st;
    split_pairs(m, work, l, work);  // u1, u2
    registers<T>(m, [&](int32_t j, Mask<T> lanes) {
      const Vec<T> p = simd::mul(vb, simd::load_zero(lanes, l + j));
      const Mask<T> low = simd::less_equal(p, one);
      lower[j / kLanes<T>] = low;
      simd::store(l + j, simd::select(low, p, simd::div(simd::sub(vb, p), valpha)));
    });
    f.ln(m, l);
    f.ln(m, work);
    registers<T>(m, [&](int32_t j, Mask<T>) {
      const Vec<T> lv = simd::load(l + j);
      simd::store(x + j, simd::mul(lv, inv));                                       // ln p / alpha
      simd::store(y + j, simd::select(lower[j / kLanes<T>], one, simd::flip_bits(lv, simd::bits(T(-0.0)))));  // X of the upper branch
    });
    f.exp(m, x);
    f.ln(m, y);
    registers<T>(m, [&](int32_t j, Mask<T> lanes) {
      const Mask<T> low = lower[j / kLanes<T>];
      const Vec<T> lu2 = simd::load(work + j);
      const Vec<T> x_low = simd::load(x + j), x_high = simd::flip_bits(simd::load(l + j), simd::bits(T(-0.0)));
      const Mask<T> accept = (low & simd::less_equal(simd::add(lu2, x_low), simd::zero<Vec<T>>())) |
                             (~low & simd::less_equal(lu2, simd::mul(am1, simd::load(y + j))));
      out.put(accept & lanes, simd::fma(sb, simd::select(low, x_low, x_high), sa));
    });
    return TARR_STATUS_OK;
  });
}

// a - beta ln u, for shape 1.
template <typename T>
int32_t gamma_one(const Frame<T>& f, int32_t n, T* r, T a, T beta) {
  const Vec<T> s = simd::splat(beta), h = simd::splat(a);
  return in_blocks(n, long_block<T>(), [&](int32_t i, int32_t k) {
    if (const int32_t st = f.uniform(k, r + i, T(0), T(1)); st < 0) return st;
    f.ln(k, r + i);
    each(k, r + i, [&](Vec<T> v) { return simd::fnma(s, v, h); });
    return TARR_STATUS_OK;
  });
}

template <typename T>
int32_t gamma_on(const Frame<T>& f, T* pending, int32_t n, T* r, T alpha, T a, T beta) {
  if (alpha == T(1)) return gamma_one(f, n, r, a, beta);
  if (alpha > T(1)) return gamma_large(f, pending, n, r, alpha, a, beta);
  if (alpha >= T(0.6)) return gamma_weibull(f, n, r, alpha, a, beta);
  return gamma_small(f, n, r, alpha, a, beta);
}

template <typename T>
int32_t gamma(StreamState* stream, int32_t n, T* r, T alpha, T a, T beta) {
  if (n < 1) return TARR_STATUS_OK;
  const Source<T> source = source_of<T>(stream);
  if (!source) return TARR_ERROR_INVALID_BRNG;
  T* pending = nullptr;
  if (alpha > T(1)) {
    int32_t status;
    pending = pending_pair<T>(stream, Precision<T>::kGammaChunk, &status);
    if (!pending) return status;
  }
  Frame<T> f(stream, source, log_floor_sing<T>);
  return gamma_on(f, pending, n, r, alpha, a, beta);
}

// ChiSquare with v degrees of freedom:
//  * v even up to 16: -2 ln of the product of v/2 uniforms (a sum of v/2 exponentials);
//  * v = 1 or 3: the sum of the squares of v normals (inverse distribution function);
//  * otherwise Gamma of shape v/2 and scale 2.
template <typename T>
int32_t chi_square(StreamState* stream, int32_t n, T* r, int32_t v) {
  if (n < 1) return TARR_STATUS_OK;
  const Source<T> source = source_of<T>(stream);
  if (!source) return TARR_ERROR_INVALID_BRNG;
  constexpr int32_t kWork = 1024;  // uniforms or normals per block
  alignas(64) T work[kWork];
  if (v % 2 == 0 && v >= 2 && v <= 16) {
    const int32_t k = v / 2;
    Frame<T> f(stream, source, log_floor_sing<T>);
    const Vec<T> minus_two = simd::splat(T(-2));
    return in_blocks(n, kWork / k, [&](int32_t i, int32_t m) {
      if (const int32_t st = f.uniform(m * k, work, T(0), T(1)); st < 0) return st;
      fold_groups(m, k, work, r + i, [](Vec<T> u) { return u; }, [](Vec<T> p, Vec<T> u) { return simd::mul(p, u); });
      f.ln(m, r + i);
      each(m, r + i, [&](Vec<T> x) { return simd::mul(minus_two, x); });
      return TARR_STATUS_OK;
    });
  }
  if (v == 1 || v == 3) {
    Frame<T> f(stream, source, normal_fix<T>);
    return in_blocks(n, kWork / v, [&](int32_t i, int32_t m) {
      if (const int32_t st = normals_inverse(f, m * v, work, T(0), T(1)); st < 0) return st;
      fold_groups(m, v, work, r + i, [](Vec<T> z) { return simd::mul(z, z); },
                  [](Vec<T> s, Vec<T> q) { return simd::add(s, q); });
      return TARR_STATUS_OK;
    });
  }
  return gamma(stream, n, r, T(double(v) * 0.5), T(0), T(2));
}

}  // namespace
}  // namespace zorp::dist

using namespace zorp::dist;

extern "C" {
ZORP_API int32_t _tarrdRngGamma(int32_t, StreamState* stream, int32_t n, double* r, double alpha, double a, double beta) {
  return gamma<double>(stream, n, r, alpha, a, beta);
}
ZORP_API int32_t _tarrsRngGamma(int32_t, StreamState* stream, int32_t n, float* r, float alpha, float a, float beta) {
  return gamma<float>(stream, n, r, alpha, a, beta);
}
ZORP_API int32_t _tarrdRngChiSquare(int32_t, StreamState* stream, int32_t n, double* r, int32_t v) {
  return chi_square<double>(stream, n, r, v);
}
ZORP_API int32_t _tarrsRngChiSquare(int32_t, StreamState* stream, int32_t n, float* r, int32_t v) {
  return chi_square<float>(stream, n, r, v);
}
}
