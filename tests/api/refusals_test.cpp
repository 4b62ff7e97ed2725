// Every argument check of the checked entries, in one table: each row is a call and the status it
// must return. A refused row must also leave every output array and the stream's state as they
// were; beside each refusal stands the nearest accepted value, so that a check moved by one step
// either way fails a row.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <set>
#include <limits>
#include <string>
#include <vector>

#include "api/fixture.h"
#include "zorp/zorp.h"

namespace {

using apitest::image_of;
using apitest::raw_stream;

constexpr uint8_t kSentinel = 0xA5;

// The outputs, streams and tasks a row may touch.
struct Ctx {
  StreamState* mt = raw_stream(TARR_BRNG_MT19937);
  StreamState* mcg = raw_stream(TARR_BRNG_MCG31);
  StreamState* mrg = raw_stream(TARR_BRNG_MRG32K3A);
  StreamState* r250 = raw_stream(TARR_BRNG_R250);
  apitest::AbstractStreams abstract;
  StreamState fake{0x12345u, 0, nullptr};  // a generator word no row has
  double d[8];
  float f[8];
  int32_t i[8];
  uint32_t u[8];
  uint64_t w[8];
  uint8_t image[8192];
  StreamState* made = nullptr;  // what a constructing call returns
  // Statistics: 3 observations of 2 components in a double and a float task (64-bit items), each
  // with its mean registered in d or f and its minimum in d + 2 or f + 2.
  int64_t p = 2, n = 3, layout = TARR_SS_MATRIX_STORAGE_2;
  double xd[6] = {1, 2, 3, 4, 5, 6};
  float xf[6] = {1, 2, 3, 4, 5, 6};
  TarrSSTask *ssd = nullptr, *ssf = nullptr, *made_ss = nullptr;
  // Data fitting: linear splines on 4 points in double and float, one on a partition with a
  // descent, one of an order no routine builds; results go to d and f.
  double px[4] = {0, 1, 2, 3}, py[4] = {0, 1, 4, 9}, descent[4] = {0, 2, 1, 3}, coeff[6], odd_coeff[6];
  float pxf[4] = {0, 1, 2, 3}, pyf[4] = {0, 1, 4, 9}, coeff_f[6];
  DFTask *dfd = nullptr, *dff = nullptr, *df_descent = nullptr, *df_odd = nullptr, *made_df = nullptr;
  std::vector<uint8_t> records_before;
  Ctx() {
    fill();
    EXPECT_EQ(__tarrdSSNewTask(&ssd, &p, &n, &layout, xd, nullptr, nullptr, 1), 0);
    EXPECT_EQ(__tarrsSSNewTask(&ssf, &p, &n, &layout, xf, nullptr, nullptr, 1), 0);
    EXPECT_EQ(__tarrdSSEditMoments(ssd, d, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(__tarrsSSEditMoments(ssf, f, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(__tarrdSSEditTask(ssd, TARR_SS_PARAM_EXTREME_LOW, d + 2), 0);
    EXPECT_EQ(__tarrsSSEditTask(ssf, TARR_SS_PARAM_EXTREME_LOW, f + 2), 0);
    EXPECT_EQ(zorp_df_kernel_dNewTask1D(&dfd, 4, px, DF_NON_UNIFORM_PARTITION, 1, py, 0, 1), 0);
    EXPECT_EQ(zorp_df_kernel_sNewTask1D(&dff, 4, pxf, DF_NON_UNIFORM_PARTITION, 1, pyf, 0, 1), 0);
    EXPECT_EQ(zorp_df_kernel_dNewTask1D(&df_descent, 4, descent, DF_NON_UNIFORM_PARTITION, 1, py, 0, 1), 0);
    EXPECT_EQ(zorp_df_kernel_dNewTask1D(&df_odd, 4, px, DF_NON_UNIFORM_PARTITION, 1, py, 0, 1), 0);
    EXPECT_EQ(zorp_df_kernel_dEditPPSpline1D(dfd, DF_PP_LINEAR, 0, 0, nullptr, 0, nullptr, coeff, 0), 0);
    EXPECT_EQ(zorp_df_kernel_sEditPPSpline1D(dff, DF_PP_LINEAR, 0, 0, nullptr, 0, nullptr, coeff_f, 0), 0);
    EXPECT_EQ(zorp_df_kernel_dEditPPSpline1D(df_descent, DF_PP_LINEAR, 0, 0, nullptr, 0, nullptr, coeff, 0), 0);
    EXPECT_EQ(zorp_df_kernel_dEditPPSpline1D(df_odd, 1, 0, 0, nullptr, 0, nullptr, odd_coeff, 0), 0);
    EXPECT_EQ(zorp_df_kernel_dDFLinearSpline1D(dfd, 0, 0, nullptr), 0);
    EXPECT_EQ(zorp_df_kernel_sDFLinearSpline1D(dff, 0, 0, nullptr), 0);
    records_before = records();
  }
  ~Ctx() {
    for (StreamState** s : {&mt, &mcg, &mrg, &r250, &made}) __tarrDeleteStream(s);
    for (TarrSSTask** t : {&ssd, &ssf, &made_ss})
      if (*t) __tarrSSDeleteTask(t);
    for (DFTask** t : {&dfd, &dff, &df_descent, &df_odd, &made_df})
      if (*t) zorp_df_kernel_DeleteTask(t);
  }
  // The task records' bytes: a refused edit must leave every one as it was.
  std::vector<uint8_t> records() const {
    std::vector<uint8_t> bytes;
    auto add = [&](const void* r, size_t size) {
      if (r) bytes.insert(bytes.end(), static_cast<const uint8_t*>(r), static_cast<const uint8_t*>(r) + size);
    };
    for (const TarrSSTask* t : {ssd, ssf}) add(t, sizeof(TarrSSTask));
    for (const DFTask* t : {dfd, dff, df_descent, df_odd}) add(t, sizeof(DFTask));
    return bytes;
  }
  void fill() {
    for (void* p : {static_cast<void*>(d), static_cast<void*>(f), static_cast<void*>(i), static_cast<void*>(u),
                    static_cast<void*>(w)})
      std::memset(p, kSentinel, 64);
    std::memset(image, kSentinel, sizeof image);
  }
  bool untouched() const {
    const uint8_t* parts[] = {reinterpret_cast<const uint8_t*>(d), reinterpret_cast<const uint8_t*>(f),
                              reinterpret_cast<const uint8_t*>(i), reinterpret_cast<const uint8_t*>(u),
                              reinterpret_cast<const uint8_t*>(w)};
    for (const uint8_t* p : parts)
      for (int k = 0; k < 32; ++k)
        if (p[k] != kSentinel) return false;
    for (uint8_t b : image)
      if (b != kSentinel) return false;
    return made == nullptr && made_ss == nullptr && made_df == nullptr && records() == records_before;
  }
  template <class T>
  T* out() {
    if constexpr (std::is_same_v<T, double>) return d;
    else return f;
  }
};

struct Row {
  std::string what;
  int32_t expected;
  std::function<int32_t(Ctx&)> call;
};

template <class T>
constexpr T kTiny = std::numeric_limits<T>::denorm_min();
template <class T>
constexpr T kInf = std::numeric_limits<T>::infinity();
template <class T>
constexpr T kHuge = std::numeric_limits<T>::max();

// The continuous entries of one precision.
template <class T>
struct Entries;
#define ZORP_TEST_ENTRIES(t, T)                                                         \
  template <>                                                                           \
  struct Entries<T> {                                                                   \
    static constexpr const char* kName = #t;                                            \
    static constexpr auto uniform = zorp_rng_##t##Uniform;                              \
    static constexpr auto gaussian = zorp_rng_##t##Gaussian;                            \
    static constexpr auto exponential = zorp_rng_##t##Exponential;                      \
    static constexpr auto laplace = zorp_rng_##t##Laplace;                              \
    static constexpr auto weibull = zorp_rng_##t##Weibull;                              \
    static constexpr auto cauchy = zorp_rng_##t##Cauchy;                                \
    static constexpr auto rayleigh = zorp_rng_##t##Rayleigh;                            \
    static constexpr auto lognormal = zorp_rng_##t##Lognormal;                          \
    static constexpr auto gumbel = zorp_rng_##t##Gumbel;                                \
    static constexpr auto gamma = zorp_rng_##t##Gamma;                                  \
    static constexpr auto beta = zorp_rng_##t##Beta;                                    \
    static constexpr auto chi_square = zorp_rng_##t##ChiSquare;                         \
    static constexpr auto gaussian_mv = zorp_rng_##t##GaussianMV;                       \
  };
ZORP_TEST_ENTRIES(d, double)
ZORP_TEST_ENTRIES(s, float)

constexpr int32_t kBad = TARR_ERROR_BAD_ARGUMENTS, kNull = TARR_ERROR_NULL_ENTRY, kOk = TARR_STATUS_OK;
constexpr int32_t kMethod = TARR_ERROR_UNKNOWN_METHOD, kKind = TARR_ERROR_ABSTRACT_KIND;

template <class T>
std::vector<Row> continuous_rows() {
  using E = Entries<T>;
  const std::string p = E::kName;
  std::vector<Row> rows;
  auto add = [&](std::string what, int32_t expected, std::function<int32_t(Ctx&)> call) {
    rows.push_back({p + " " + what, expected, std::move(call)});
  };
  // The stream, the count and the array, for a two-parameter entry.
  auto g = [](Ctx& c, StreamState* s, int32_t n, T* r, T a, T sigma, int32_t m = 0) {
    return E::gaussian(m, s, n, r, a, sigma);
  };
  add("null stream", kNull, [=](Ctx& c) { return g(c, nullptr, 4, c.out<T>(), 0, 1); });
  add("unregistered generator", TARR_ERROR_INVALID_BRNG, [=](Ctx& c) { return g(c, &c.fake, 4, c.out<T>(), 0, 1); });
  add("n = -1", kBad, [=](Ctx& c) { return g(c, c.mt, -1, c.out<T>(), 0, 1); });
  add("n = 0, null array", kOk, [=](Ctx& c) { return g(c, c.mt, 0, nullptr, 0, 1); });
  add("n = 1, null array", kNull, [=](Ctx& c) { return g(c, c.mt, 1, nullptr, 0, 1); });
  add("integer abstract stream", kKind, [=](Ctx& c) { return g(c, c.abstract.i, 4, c.out<T>(), 0, 1); });
  add("abstract stream of the other precision", kKind, [=](Ctx& c) {
    return g(c, std::is_same_v<T, double> ? c.abstract.s : c.abstract.d, 4, c.out<T>(), 0, 1);
  });
  add("abstract stream of this precision", kOk, [=](Ctx& c) {
    return g(c, std::is_same_v<T, double> ? c.abstract.d : c.abstract.s, 4, c.out<T>(), 0, 1);
  });
  add("Gaussian method 3", kMethod, [=](Ctx& c) { return g(c, c.mt, 4, c.out<T>(), 0, 1, 3); });
  add("Gaussian method 2", kOk, [=](Ctx& c) { return g(c, c.mt, 4, c.out<T>(), 0, 1, 2); });
  add("Gaussian accurate flag", kMethod, [=](Ctx& c) { return g(c, c.mt, 4, c.out<T>(), 0, 1, TARR_METHOD_ACCURATE); });
  add("Gaussian sigma 0", kBad, [=](Ctx& c) { return g(c, c.mt, 4, c.out<T>(), 0, 0); });
  add("Gaussian sigma least subnormal", kOk, [=](Ctx& c) { return g(c, c.mt, 4, c.out<T>(), 0, kTiny<T>); });
  add("Gaussian sigma infinite", kBad, [=](Ctx& c) { return g(c, c.mt, 4, c.out<T>(), 0, kInf<T>); });
  add("Gaussian sigma largest", kOk, [=](Ctx& c) { return g(c, c.mt, 4, c.out<T>(), 0, kHuge<T>); });
  add("Gaussian sigma NaN", kBad, [=](Ctx& c) { return g(c, c.mt, 4, c.out<T>(), 0, std::numeric_limits<T>::quiet_NaN()); });
  add("Gaussian mean infinite", kBad, [=](Ctx& c) { return g(c, c.mt, 4, c.out<T>(), -kInf<T>, 1); });
  add("Gaussian mean lowest", kOk, [=](Ctx& c) { return g(c, c.mt, 4, c.out<T>(), -kHuge<T>, 1); });

  add("Uniform a = b", kBad, [=](Ctx& c) { return E::uniform(0, c.mt, 4, c.out<T>(), 1, 1); });
  add("Uniform b just above a", kOk, [=](Ctx& c) { return E::uniform(0, c.mt, 4, c.out<T>(), 1, std::nextafter(T(1), T(2))); });
  add("Uniform b infinite", kBad, [=](Ctx& c) { return E::uniform(0, c.mt, 4, c.out<T>(), 0, kInf<T>); });
  add("Uniform method 1", kMethod, [=](Ctx& c) { return E::uniform(1, c.mt, 4, c.out<T>(), 0, 1); });
  add("Uniform accurate", kOk, [=](Ctx& c) { return E::uniform(TARR_METHOD_ACCURATE, c.mt, 4, c.out<T>(), 0, 1); });

  // The scale of every location-scale entry: 0 refused, the least subnormal accepted.
  using Two = int32_t (*)(int32_t, StreamState*, int32_t, T*, T, T);
  const std::pair<const char*, Two> scaled[] = {{"Exponential", E::exponential}, {"Laplace", E::laplace},
                                                {"Cauchy", E::cauchy},           {"Rayleigh", E::rayleigh},
                                                {"Gumbel", E::gumbel}};
  for (auto [name, fn] : scaled) {
    add(std::string(name) + " beta 0", kBad, [=](Ctx& c) { return fn(0, c.mt, 4, c.out<T>(), 0, 0); });
    add(std::string(name) + " beta -0", kBad, [=](Ctx& c) { return fn(0, c.mt, 4, c.out<T>(), 0, -T(0)); });
    add(std::string(name) + " beta least subnormal", kOk, [=](Ctx& c) { return fn(0, c.mt, 4, c.out<T>(), 0, kTiny<T>); });
    add(std::string(name) + " a NaN", kBad,
        [=](Ctx& c) { return fn(0, c.mt, 4, c.out<T>(), std::numeric_limits<T>::quiet_NaN(), 1); });
  }
  add("Laplace accurate", kMethod, [=](Ctx& c) { return E::laplace(TARR_METHOD_ACCURATE, c.mt, 4, c.out<T>(), 0, 1); });
  add("Exponential accurate", kOk, [=](Ctx& c) { return E::exponential(TARR_METHOD_ACCURATE, c.mt, 4, c.out<T>(), 0, 1); });

  add("Weibull alpha 0", kBad, [=](Ctx& c) { return E::weibull(0, c.mt, 4, c.out<T>(), 0, 0, 1); });
  add("Weibull alpha 1", kOk, [=](Ctx& c) { return E::weibull(0, c.mt, 4, c.out<T>(), 1, 0, 1); });
  add("Weibull beta 0", kBad, [=](Ctx& c) { return E::weibull(0, c.mt, 4, c.out<T>(), 1, 0, 0); });
  add("Gamma alpha 0", kBad, [=](Ctx& c) { return E::gamma(0, c.mt, 4, c.out<T>(), 0, 0, 1); });
  add("Gamma alpha least normal", kOk,
      [=](Ctx& c) { return E::gamma(0, c.mt, 4, c.out<T>(), std::numeric_limits<T>::min(), 0, 1); });
  add("Gamma beta 0", kBad, [=](Ctx& c) { return E::gamma(0, c.mt, 4, c.out<T>(), 1, 0, 0); });
  add("Beta p 0", kBad, [=](Ctx& c) { return E::beta(0, c.mt, 4, c.out<T>(), 0, 1, 0, 1); });
  add("Beta q 0", kBad, [=](Ctx& c) { return E::beta(0, c.mt, 4, c.out<T>(), 1, 0, 0, 1); });
  add("Beta p and q least normal", kOk, [=](Ctx& c) {
    return E::beta(0, c.mt, 4, c.out<T>(), std::numeric_limits<T>::min(), std::numeric_limits<T>::min(), 0, 1);
  });
  add("Beta beta 0", kBad, [=](Ctx& c) { return E::beta(0, c.mt, 4, c.out<T>(), 1, 1, 0, 0); });
  add("Lognormal sigma 0", kBad, [=](Ctx& c) { return E::lognormal(0, c.mt, 4, c.out<T>(), 0, 0, 0, 1); });
  add("Lognormal beta 0", kBad, [=](Ctx& c) { return E::lognormal(0, c.mt, 4, c.out<T>(), 0, 1, 0, 0); });
  add("Lognormal method 1", kMethod, [=](Ctx& c) { return E::lognormal(1, c.mt, 4, c.out<T>(), 0, 1, 0, 1); });
  add("Lognormal method 2, accurate", kOk,
      [=](Ctx& c) { return E::lognormal(2 | TARR_METHOD_ACCURATE, c.mt, 4, c.out<T>(), 0, 1, 0, 1); });
  add("ChiSquare v 0", kBad, [=](Ctx& c) { return E::chi_square(0, c.mt, 4, c.out<T>(), 0); });
  add("ChiSquare v 1", kOk, [=](Ctx& c) { return E::chi_square(0, c.mt, 4, c.out<T>(), 1); });

  static const T mean[2] = {0, 0}, factor[4] = {1, 0, 0, 1};
  auto mv = [=](Ctx& c, int32_t n, int32_t d, int32_t storage, const T* a, const T* t, int32_t m = 0) {
    return E::gaussian_mv(m, c.mt, n, c.out<T>(), d, storage, a, t);
  };
  add("GaussianMV d 0", kBad, [=](Ctx& c) { return mv(c, 2, 0, TARR_MV_FULL, mean, factor); });
  add("GaussianMV d 1", kOk, [=](Ctx& c) { return mv(c, 2, 1, TARR_MV_FULL, mean, factor); });
  add("GaussianMV storage -1", kBad, [=](Ctx& c) { return mv(c, 2, 2, -1, mean, factor); });
  add("GaussianMV storage 3", kBad, [=](Ctx& c) { return mv(c, 2, 2, 3, mean, factor); });
  add("GaussianMV diagonal", kOk, [=](Ctx& c) { return mv(c, 2, 2, TARR_MV_DIAGONAL, mean, factor); });
  add("GaussianMV null mean", kNull, [=](Ctx& c) { return mv(c, 2, 2, TARR_MV_FULL, nullptr, factor); });
  add("GaussianMV null factor", kNull, [=](Ctx& c) { return mv(c, 2, 2, TARR_MV_FULL, mean, nullptr); });
  add("GaussianMV n * d past 32 bits", kBad, [=](Ctx& c) { return mv(c, 1 << 30, 2, TARR_MV_FULL, mean, factor); });
  add("GaussianMV method 3", kMethod, [=](Ctx& c) { return mv(c, 2, 2, TARR_MV_FULL, mean, factor, 3); });
  return rows;
}

std::vector<Row> discrete_rows() {
  const double below0 = std::nextafter(0.0, -1.0), above1 = std::nextafter(1.0, 2.0);
  static const double means[2] = {1.5, 0.0}, probs1[1] = {1.0};
  return {
      {"iUniform a = b", kBad, [](Ctx& c) { return zorp_rng_iUniform(0, c.mt, 4, c.i, 3, 3); }},
      {"iUniform b = a + 1", kOk, [](Ctx& c) { return zorp_rng_iUniform(0, c.mt, 4, c.i, 3, 4); }},
      {"iUniform method 1", kMethod, [](Ctx& c) { return zorp_rng_iUniform(1, c.mt, 4, c.i, 0, 4); }},
      {"iUniform on an integer abstract stream", kKind,
       [](Ctx& c) { return zorp_rng_iUniform(0, c.abstract.i, 4, c.i, 0, 4); }},
      {"iUniform on a double abstract stream", kOk,
       [](Ctx& c) { return zorp_rng_iUniform(0, c.abstract.d, 4, c.i, 0, 4); }},
      {"UniformBits on a double abstract stream", kKind,
       [](Ctx& c) { return zorp_rng_iUniformBits(0, c.abstract.d, 4, c.u); }},
      {"UniformBits on an integer abstract stream", kOk,
       [](Ctx& c) { return zorp_rng_iUniformBits(0, c.abstract.i, 4, c.u); }},
      {"UniformBits32 of MCG31m1's 31 bits", TARR_ERROR_BRNG_UNSUPPORTED,
       [](Ctx& c) { return zorp_rng_iUniformBits32(0, c.mcg, 4, c.u); }},
      {"UniformBits64 null array", kNull, [](Ctx& c) { return zorp_rng_iUniformBits64(0, c.mt, 4, nullptr); }},
      {"UniformBits64 n = -1", kBad, [](Ctx& c) { return zorp_rng_iUniformBits64(0, c.mt, -1, c.w); }},
      {"Bernoulli p below 0", kBad, [=](Ctx& c) { return zorp_rng_iBernoulli(0, c.mt, 4, c.i, below0); }},
      {"Bernoulli p 0", kOk, [](Ctx& c) { return zorp_rng_iBernoulli(0, c.mt, 4, c.i, 0.0); }},
      {"Bernoulli p 1", kOk, [](Ctx& c) { return zorp_rng_iBernoulli(0, c.mt, 4, c.i, 1.0); }},
      {"Bernoulli p above 1", kBad, [=](Ctx& c) { return zorp_rng_iBernoulli(0, c.mt, 4, c.i, above1); }},
      {"Bernoulli p NaN", kBad, [](Ctx& c) { return zorp_rng_iBernoulli(0, c.mt, 4, c.i, std::nan("")); }},
      {"Geometric p 0", kBad, [](Ctx& c) { return zorp_rng_iGeometric(0, c.mt, 4, c.i, 0.0); }},
      {"Geometric p least subnormal", kOk,
       [](Ctx& c) { return zorp_rng_iGeometric(0, c.mt, 4, c.i, kTiny<double>); }},
      {"Geometric p 1", kOk, [](Ctx& c) { return zorp_rng_iGeometric(0, c.mt, 4, c.i, 1.0); }},
      {"Geometric p above 1", kBad, [=](Ctx& c) { return zorp_rng_iGeometric(0, c.mt, 4, c.i, above1); }},
      {"Binomial ntrial -1", kBad, [](Ctx& c) { return zorp_rng_iBinomial(0, c.mt, 4, c.i, -1, 0.5); }},
      {"Binomial ntrial 0", kOk, [](Ctx& c) { return zorp_rng_iBinomial(0, c.mt, 4, c.i, 0, 0.5); }},
      {"Binomial p below 0", kBad, [=](Ctx& c) { return zorp_rng_iBinomial(0, c.mt, 4, c.i, 10, below0); }},
      {"Binomial p above 1", kBad, [=](Ctx& c) { return zorp_rng_iBinomial(0, c.mt, 4, c.i, 10, above1); }},
      {"Binomial p 1", kOk, [](Ctx& c) { return zorp_rng_iBinomial(0, c.mt, 4, c.i, 10, 1.0); }},
      {"Binomial on a double abstract stream", kOk,
       [](Ctx& c) { return zorp_rng_iBinomial(0, c.abstract.d, 4, c.i, 10, 0.5); }},
      {"Hypergeometric lot -1", kBad, [](Ctx& c) { return zorp_rng_iHypergeometric(0, c.mt, 4, c.i, -1, 0, 0); }},
      {"Hypergeometric lot 0", kOk, [](Ctx& c) { return zorp_rng_iHypergeometric(0, c.mt, 4, c.i, 0, 0, 0); }},
      {"Hypergeometric sample above lot", kBad,
       [](Ctx& c) { return zorp_rng_iHypergeometric(0, c.mt, 4, c.i, 10, 11, 5); }},
      {"Hypergeometric sample = lot", kOk, [](Ctx& c) { return zorp_rng_iHypergeometric(0, c.mt, 4, c.i, 10, 10, 5); }},
      {"Hypergeometric sample -1", kBad, [](Ctx& c) { return zorp_rng_iHypergeometric(0, c.mt, 4, c.i, 10, -1, 5); }},
      {"Hypergeometric marked above lot", kBad,
       [](Ctx& c) { return zorp_rng_iHypergeometric(0, c.mt, 4, c.i, 10, 5, 11); }},
      {"Hypergeometric marked = lot", kOk, [](Ctx& c) { return zorp_rng_iHypergeometric(0, c.mt, 4, c.i, 10, 5, 10); }},
      {"Hypergeometric marked -1", kBad, [](Ctx& c) { return zorp_rng_iHypergeometric(0, c.mt, 4, c.i, 10, 5, -1); }},
      {"Poisson lambda 0", kBad, [](Ctx& c) { return zorp_rng_iPoisson(0, c.mt, 4, c.i, 0.0); }},
      {"Poisson lambda least subnormal", kOk, [](Ctx& c) { return zorp_rng_iPoisson(0, c.mt, 4, c.i, kTiny<double>); }},
      {"Poisson lambda infinite", kBad, [](Ctx& c) { return zorp_rng_iPoisson(0, c.mt, 4, c.i, kInf<double>); }},
      {"Poisson method 2", kMethod, [](Ctx& c) { return zorp_rng_iPoisson(2, c.mt, 4, c.i, 3.0); }},
      {"Poisson method 1", kOk, [](Ctx& c) { return zorp_rng_iPoisson(1, c.mt, 4, c.i, 3.0); }},
      {"PoissonV a mean of 0", kBad, [](Ctx& c) { return zorp_rng_iPoissonV(0, c.mt, 2, c.i, means); }},
      {"PoissonV the mean of 0 past n", kOk, [](Ctx& c) { return zorp_rng_iPoissonV(0, c.mt, 1, c.i, means); }},
      {"PoissonV null means", kNull, [](Ctx& c) { return zorp_rng_iPoissonV(0, c.mt, 1, c.i, nullptr); }},
      {"Negbinomial a 0", kBad, [](Ctx& c) { return zorp_rng_iNegbinomial(0, c.mt, 4, c.i, 0.0, 0.5); }},
      {"Negbinomial a least subnormal", kOk,
       [](Ctx& c) { return zorp_rng_iNegbinomial(0, c.mt, 4, c.i, kTiny<double>, 0.5); }},
      {"Negbinomial p 0", kBad, [](Ctx& c) { return zorp_rng_iNegbinomial(0, c.mt, 4, c.i, 2.0, 0.0); }},
      {"Negbinomial p 1", kOk, [](Ctx& c) { return zorp_rng_iNegbinomial(0, c.mt, 4, c.i, 2.0, 1.0); }},
      {"Negbinomial p above 1", kBad, [=](Ctx& c) { return zorp_rng_iNegbinomial(0, c.mt, 4, c.i, 2.0, above1); }},
      {"Multinomial ntrial -1", kBad, [](Ctx& c) { return zorp_rng_iMultinomial(0, c.mt, 4, c.i, -1, 1, probs1); }},
      {"Multinomial ntrial 0", kOk, [](Ctx& c) { return zorp_rng_iMultinomial(0, c.mt, 4, c.i, 0, 1, probs1); }},
      {"Multinomial k 0", kBad, [](Ctx& c) { return zorp_rng_iMultinomial(0, c.mt, 4, c.i, 3, 0, probs1); }},
      {"Multinomial null probabilities", kNull,
       [](Ctx& c) { return zorp_rng_iMultinomial(0, c.mt, 4, c.i, 3, 1, nullptr); }},
      {"Multinomial n * k past 32 bits", kBad,
       [](Ctx& c) { return zorp_rng_iMultinomial(0, c.mt, 1 << 30, c.i, 3, 2, means); }},
  };
}

std::vector<Row> stream_rows() {
  static const uint32_t seed = 1;
  static const uint64_t one[1] = {1};
  return {
      {"new stream, null address", kNull, [](Ctx& c) { return zorp_rng_new_stream(nullptr, TARR_BRNG_MT19937, 1); }},
      {"new stream, unknown generator", TARR_ERROR_INVALID_BRNG,
       [](Ctx& c) { return zorp_rng_new_stream(&c.made, 0x12345u, 1); }},
      {"new stream, -1 seeds", kBad, [](Ctx& c) { return zorp_rng_new_stream_ex(&c.made, TARR_BRNG_MT19937, -1, &seed); }},
      {"new stream, null seeds", kNull,
       [](Ctx& c) { return zorp_rng_new_stream_ex(&c.made, TARR_BRNG_MT19937, 1, nullptr); }},
      {"copy, null destination", kNull, [](Ctx& c) { return zorp_rng_copy_stream(nullptr, c.mt); }},
      {"copy of an unregistered generator", TARR_ERROR_INVALID_BRNG,
       [](Ctx& c) { return zorp_rng_copy_stream(&c.made, &c.fake); }},
      {"copy state across generators", TARR_ERROR_INVALID_BRNG,
       [](Ctx& c) { return zorp_rng_copy_stream_state(c.mt, c.mcg); }},
      {"leapfrog on MT19937", TARR_ERROR_NO_LEAPFROG, [](Ctx& c) { return zorp_rng_leapfrog(c.mt, 0, 2); }},
      {"leapfrog of 0 streams", TARR_ERROR_BAD_STREAM_COUNT, [](Ctx& c) { return zorp_rng_leapfrog(c.mcg, 0, 0); }},
      {"leapfrog k = nstreams", kBad, [](Ctx& c) { return zorp_rng_leapfrog(c.mcg, 1, 1); }},
      {"leapfrog k = nstreams - 1", kOk, [](Ctx& c) { return zorp_rng_leapfrog(c.mcg, 0, 1); }},
      {"skip-ahead on R250", TARR_ERROR_NO_SKIPAHEAD, [](Ctx& c) { return zorp_rng_skip_ahead(c.r250, 5); }},
      {"skip-ahead of an unregistered generator", TARR_ERROR_INVALID_BRNG,
       [](Ctx& c) { return zorp_rng_skip_ahead(&c.fake, 5); }},
      {"long skip-ahead on MT19937", TARR_ERROR_NO_SKIPAHEAD_EX,
       [](Ctx& c) { return zorp_rng_skip_ahead_ex(c.mt, 1, one); }},
      {"long skip-ahead of 0 words", kBad, [](Ctx& c) { return zorp_rng_skip_ahead_ex(c.mrg, 0, one); }},
      {"long skip-ahead of null words", kNull, [](Ctx& c) { return zorp_rng_skip_ahead_ex(c.mrg, 1, nullptr); }},
      {"save, null buffer", kNull, [](Ctx& c) { return zorp_rng_save(c.mt, nullptr, 8192); }},
      {"save, one byte short", kBad, [](Ctx& c) {
         size_t bytes = 0;
         zorp_rng_image_size(c.mt, &bytes);
         return zorp_rng_save(c.mt, c.image, bytes - 1);
       }},
      {"save, null stream", kNull, [](Ctx& c) { return zorp_rng_save(nullptr, c.image, 8192); }},
      {"load, null buffer", kNull, [](Ctx& c) { return zorp_rng_load(&c.made, nullptr, 100, 0); }},
      {"save to a file, null path", kNull, [](Ctx& c) { return zorp_rng_save_file(c.mt, nullptr); }},
      {"load from a file, null path", kNull, [](Ctx& c) { return zorp_rng_load_file(&c.made, nullptr, 0); }},
  };
}

// Vector math: one entry of each calling shape, each check at its edge.
std::vector<Row> vm_rows() {
  static const double a[4] = {0.25, 0.5, 0.75, 1.0};
  static const float af[4] = {0.25f, 0.5f, 0.75f, 1.0f};
  static const ZorpComplex16 zb = {2.0, 0.0};
  static const int64_t ix[4] = {0, 1, 2, 3};
  constexpr int32_t bad_size = ZORP_VM_STATUS_BADSIZE, bad_mem = ZORP_VM_STATUS_BADMEM;
  return {
      {"dExp n = -1", bad_size, [](Ctx& c) { return zorp_vm_dExp(-1, a, c.d, ZORP_VM_HA); }},
      {"dExp n = 0, null arrays", kOk, [](Ctx& c) { return zorp_vm_dExp(0, nullptr, nullptr, ZORP_VM_HA); }},
      {"dExp null argument", bad_mem, [](Ctx& c) { return zorp_vm_dExp(4, nullptr, c.d, ZORP_VM_HA); }},
      {"dExp null result", bad_mem, [](Ctx& c) { return zorp_vm_dExp(4, a, nullptr, ZORP_VM_HA); }},
      {"sExp accuracy 0", ZORP_ERROR_BAD_ACCURACY, [](Ctx& c) { return zorp_vm_sExp(4, af, c.f, 0); }},
      {"sExp accuracy LA", kOk, [](Ctx& c) { return zorp_vm_sExp(4, af, c.f, ZORP_VM_LA); }},
      {"sExp accuracy EP", kOk, [](Ctx& c) { return zorp_vm_sExp(4, af, c.f, ZORP_VM_EP); }},
      {"sExp accuracy 4", ZORP_ERROR_BAD_ACCURACY, [](Ctx& c) { return zorp_vm_sExp(4, af, c.f, 4); }},
      {"dPow null second argument", bad_mem, [](Ctx& c) { return zorp_vm_dPow(4, a, nullptr, c.d, ZORP_VM_HA); }},
      {"sSinCos null second result", bad_mem,
       [](Ctx& c) { return zorp_vm_sSinCos(4, af, c.f, nullptr, ZORP_VM_HA); }},
      {"zPowx null scalar", bad_mem, [](Ctx& c) {
         return zorp_vm_zPowx(2, reinterpret_cast<const ZorpComplex16*>(a), nullptr,
                              reinterpret_cast<ZorpComplex16*>(c.d), ZORP_VM_HA);
       }},
      {"zPowx scalar given", kOk, [](Ctx& c) {
         return zorp_vm_zPowx(2, reinterpret_cast<const ZorpComplex16*>(a), &zb,
                              reinterpret_cast<ZorpComplex16*>(c.d), ZORP_VM_HA);
       }},
      {"dLinearFrac null second argument", bad_mem,
       [](Ctx& c) { return zorp_vm_dLinearFrac(4, a, nullptr, 1, 0, 1, 0, c.d, ZORP_VM_HA); }},
      {"zAbs n = -1", bad_size, [](Ctx& c) {
         return zorp_vm_zAbs(-1, reinterpret_cast<const ZorpComplex16*>(a), c.d, ZORP_VM_HA);
       }},
      {"cCIS null result", bad_mem, [](Ctx& c) { return zorp_vm_cCIS(4, af, nullptr, ZORP_VM_HA); }},
      {"dPackV null indices", bad_mem,
       [](Ctx& c) { return zorp_vm_dPackV(4, a, nullptr, c.d, 8, ZORP_VM_HA); }},
      {"dPackV width 1, low word of n -1", bad_size,
       [](Ctx& c) { return zorp_vm_dPackV(0xFFFFFFFFll, a, ix, c.d, 1, ZORP_VM_HA); }},
      {"dPackI n = -1", bad_size, [](Ctx& c) { return zorp_vm_dPackI(-1, a, 1, c.d, 8, ZORP_VM_HA); }},
      {"sUnpackM null mask", bad_mem, [](Ctx& c) { return zorp_vm_sUnpackM(4, af, c.f, nullptr, 8, ZORP_VM_HA); }},
  };
}

// Summary statistics: the task's family and type, the integer items' words, the routing of
// estimates and method words; the exports' own checks once each, passed through.
std::vector<Row> ss_rows() {
  static const int64_t zero = 0, one = 1, two = 2, three = 3, minus = -1, layout1 = TARR_SS_MATRIX_STORAGE_1,
                       layout2 = TARR_SS_MATRIX_STORAGE_2, both_layouts = layout1 | layout2;
  static const double weights[3] = {1, 1, 1};
  constexpr int32_t kKindRefused = ZORP_ERROR_TASK_KIND, kSsMethod = TARR_SS_ERROR_BAD_METHOD;
  constexpr int32_t kStorage = TARR_SS_ERROR_BAD_STORAGE;
  auto as_ss = [](DFTask* t) { return reinterpret_cast<TarrSSTask*>(t); };
  auto make = [](Ctx& c, const int64_t* p, const int64_t* n, const int64_t* storage, const double* x) {
    return zorp_ss_dnew_task(&c.made_ss, p, n, storage, x, nullptr, nullptr, 1);
  };
  auto iedit = [](Ctx& c, int32_t param, const int64_t* v) { return zorp_ss_iedit(c.ssd, param, v); };
  auto basic = [](Ctx& c, uint64_t e, uint32_t m) { return zorp_ss_dcompute(c.ssd, e, m); };
  return {
      {"ss new task, null observations", TARR_SS_ERROR_NULL_OBSERVATIONS,
       [=](Ctx& c) { return make(c, &c.p, &c.n, &c.layout, nullptr); }},
      {"ss new task, p = 0", TARR_SS_ERROR_BAD_DIMENSION, [=](Ctx& c) { return make(c, &zero, &c.n, &c.layout, c.xd); }},
      {"ss new task, p = 1", kOk, [=](Ctx& c) { return make(c, &one, &c.n, &c.layout, c.xd); }},
      {"ss new task, n = 0", TARR_SS_ERROR_BAD_NOBS, [=](Ctx& c) { return make(c, &c.p, &zero, &c.layout, c.xd); }},
      {"ss new task, n = 1", kOk, [=](Ctx& c) { return make(c, &c.p, &one, &c.layout, c.xd); }},
      {"ss new task, storage 0", kStorage, [=](Ctx& c) { return make(c, &c.p, &c.n, &zero, c.xd); }},
      {"ss new task, null task address", TARR_SS_ERROR_NULL_TASK,
       [](Ctx& c) { return zorp_ss_snew_task(nullptr, &c.p, &c.n, &c.layout, c.xf, nullptr, nullptr, 1); }},
      {"ss delete, null address", TARR_SS_ERROR_NULL_TASK, [](Ctx& c) { return zorp_ss_delete_task(nullptr); }},
      {"ss delete, data-fitting record", kKindRefused, [=](Ctx& c) {
         TarrSSTask* t = as_ss(c.dfd);
         return zorp_ss_delete_task(&t);
       }},
      {"ss delete, float task", kOk, [](Ctx& c) { return zorp_ss_delete_task(&c.ssf); }},
      {"ss delete, null task", kOk, [](Ctx& c) { return zorp_ss_delete_task(&c.made_ss); }},
      {"ss dedit, null task", TARR_SS_ERROR_NULL_TASK,
       [](Ctx& c) { return zorp_ss_dedit(nullptr, TARR_SS_PARAM_WEIGHTS, weights); }},
      {"ss dedit, float task", kKindRefused, [](Ctx& c) { return zorp_ss_dedit(c.ssf, TARR_SS_PARAM_WEIGHTS, weights); }},
      {"ss dedit, data-fitting record", kKindRefused,
       [=](Ctx& c) { return zorp_ss_dedit(as_ss(c.dfd), TARR_SS_PARAM_WEIGHTS, weights); }},
      {"ss dedit, double task", kOk, [](Ctx& c) { return zorp_ss_dedit(c.ssd, TARR_SS_PARAM_WEIGHTS, weights); }},
      {"ss sedit, double task", kKindRefused,
       [](Ctx& c) { return zorp_ss_sedit(c.ssd, TARR_SS_PARAM_EXTREME_HIGH, c.f); }},
      {"ss dedit, parameter 80", TARR_SS_ERROR_BAD_PARAM_NUMBER, [](Ctx& c) { return zorp_ss_dedit(c.ssd, 80, c.d); }},
      {"ss dedit, null weights", TARR_SS_ERROR_NULL_WEIGHTS,
       [](Ctx& c) { return zorp_ss_dedit(c.ssd, TARR_SS_PARAM_WEIGHTS, nullptr); }},
      {"ss iedit, data-fitting record", kKindRefused,
       [=](Ctx& c) { return zorp_ss_iedit(as_ss(c.dfd), TARR_SS_PARAM_NOBS, &one); }},
      {"ss iedit, float task", kOk, [](Ctx& c) { return zorp_ss_iedit(c.ssf, TARR_SS_PARAM_NOBS, &one); }},
      {"ss iedit, dimension 0", TARR_SS_ERROR_BAD_DIMENSION, [=](Ctx& c) { return iedit(c, TARR_SS_PARAM_DIMENSION, &zero); }},
      {"ss iedit, dimension 1", kOk, [=](Ctx& c) { return iedit(c, TARR_SS_PARAM_DIMENSION, &one); }},
      {"ss iedit, count 0", TARR_SS_ERROR_BAD_NOBS, [=](Ctx& c) { return iedit(c, TARR_SS_PARAM_NOBS, &zero); }},
      {"ss iedit, count 1", kOk, [=](Ctx& c) { return iedit(c, TARR_SS_PARAM_NOBS, &one); }},
      {"ss iedit, layout 0", kStorage, [=](Ctx& c) { return iedit(c, TARR_SS_PARAM_STORAGE, &zero); }},
      {"ss iedit, layout of both bits", kStorage, [=](Ctx& c) { return iedit(c, TARR_SS_PARAM_STORAGE, &both_layouts); }},
      {"ss iedit, layout by component", kOk, [=](Ctx& c) { return iedit(c, TARR_SS_PARAM_STORAGE, &layout1); }},
      {"ss iedit, order statistics layout 2", kStorage,
       [=](Ctx& c) { return iedit(c, TARR_SS_PARAM_ORDER_STATS_STORAGE, &two); }},
      {"ss iedit, order statistics by observation", kOk,
       [=](Ctx& c) { return iedit(c, TARR_SS_PARAM_ORDER_STATS_STORAGE, &layout2); }},
      {"ss iedit, covariance storage 3", kStorage, [=](Ctx& c) { return iedit(c, TARR_SS_PARAM_COV_STORAGE, &three); }},
      {"ss iedit, covariance storage -1", kStorage, [=](Ctx& c) { return iedit(c, TARR_SS_PARAM_COV_STORAGE, &minus); }},
      {"ss iedit, covariance lower packed", kOk, [=](Ctx& c) { return iedit(c, TARR_SS_PARAM_COV_STORAGE, &two); }},
      {"ss iedit, cross-product storage 3", kStorage, [=](Ctx& c) { return iedit(c, TARR_SS_PARAM_CP_STORAGE, &three); }},
      {"ss iedit, quantile count -1 (the routine's to judge)", kOk,
       [=](Ctx& c) { return iedit(c, TARR_SS_PARAM_QUANT_COUNT, &minus); }},
      {"ss iedit, null layout", TARR_SS_ERROR_NULL_STORAGE_ITEM,
       [=](Ctx& c) { return iedit(c, TARR_SS_PARAM_STORAGE, nullptr); }},
      {"ss iedit, a real parameter", TARR_SS_ERROR_BAD_PARAM_NUMBER, [=](Ctx& c) { return iedit(c, TARR_SS_PARAM_MEAN, &one); }},
      {"ss compute, null task", TARR_SS_ERROR_NULL_TASK,
       [](Ctx& c) { return zorp_ss_dcompute(nullptr, TARR_SS_MEAN, TARR_SS_METHOD_1PASS); }},
      {"ss compute, float task", kKindRefused,
       [](Ctx& c) { return zorp_ss_dcompute(c.ssf, TARR_SS_MEAN, TARR_SS_METHOD_1PASS); }},
      {"ss compute, double task", kKindRefused,
       [](Ctx& c) { return zorp_ss_scompute(c.ssd, TARR_SS_MEAN, TARR_SS_METHOD_1PASS); }},
      {"ss compute, mean, one-pass", kOk, [=](Ctx& c) { return basic(c, TARR_SS_MEAN, TARR_SS_METHOD_1PASS); }},
      {"ss compute, mean, one-pass and an unknown bit", kSsMethod,
       [=](Ctx& c) { return basic(c, TARR_SS_MEAN, TARR_SS_METHOD_1PASS | 0x8); }},
      {"ss compute, mean, fast and one-pass", kSsMethod,
       [=](Ctx& c) { return basic(c, TARR_SS_MEAN, TARR_SS_METHOD_FAST | TARR_SS_METHOD_1PASS); }},
      {"ss compute, mean, fast", kOk, [=](Ctx& c) { return basic(c, TARR_SS_MEAN, TARR_SS_METHOD_FAST); }},
      {"ss compute, mean and minimum", kSsMethod,
       [=](Ctx& c) { return basic(c, TARR_SS_MEAN | TARR_SS_MIN, TARR_SS_METHOD_1PASS); }},
      {"ss compute, no estimates", kSsMethod, [=](Ctx& c) { return basic(c, 0, TARR_SS_METHOD_1PASS); }},
      {"ss compute, an unknown estimate bit", kSsMethod,
       [=](Ctx& c) { return basic(c, TARR_SS_MEAN | (1ULL << 40), TARR_SS_METHOD_1PASS); }},
      {"ss compute, minimum, new", kOk, [=](Ctx& c) { return basic(c, TARR_SS_MIN, TARR_SS_METHOD_MINMAX_NEW); }},
      {"ss compute, minimum, new and continue", kSsMethod, [=](Ctx& c) {
         return basic(c, TARR_SS_MIN, TARR_SS_METHOD_MINMAX_NEW | TARR_SS_METHOD_MINMAX_CONTINUE);
       }},
      {"ss compute, quantiles, method 3", kSsMethod,
       [=](Ctx& c) { return basic(c, TARR_SS_QUANTS, TARR_SS_METHOD_QUANTILES | 0x2); }},
      {"ss compute, absolute deviation, method 3", kSsMethod,
       [=](Ctx& c) { return basic(c, TARR_SS_MEAN_ABS_DEV, TARR_SS_METHOD_MAD | 0x2); }},
      {"ss compute, absolute deviations, both methods, no arrays", TARR_SS_ERROR_NULL_MEDIAN_ABS_DEV, [=](Ctx& c) {
         return basic(c, TARR_SS_MEAN_ABS_DEV | TARR_SS_MEDIAN_ABS_DEV,
                      TARR_SS_METHOD_MAD | TARR_SS_METHOD_MAD_GIVEN_MEAN);
       }},
      {"ss compute, sort, whatever the estimates", TARR_SS_ERROR_NULL_SORTED,
       [=](Ctx& c) { return basic(c, TARR_SS_MEAN, TARR_SS_METHOD_SORT); }},
      {"ss compute, covariance, no array", TARR_SS_ERROR_NULL_COV,
       [=](Ctx& c) { return basic(c, TARR_SS_COV, TARR_SS_METHOD_1PASS); }},
  };
}

// Data fitting: the task's family and type, the spline's words (a refusal leaves the record as it
// was), the partition that search, interpolation and integration rely on.
std::vector<Row> df_rows() {
  static const double bc2[2] = {0, 0}, ic1[4] = {0, 0, 0, 0};
  static const double sites[2] = {0.5, 2.5}, llim[2] = {0, 1}, rlim[2] = {1, 3};
  static const int32_t value[1] = {1};
  constexpr int32_t kKindRefused = ZORP_ERROR_TASK_KIND;
  auto as_df = [](TarrSSTask* t) { return reinterpret_cast<DFTask*>(t); };
  auto spline = [](Ctx& c, int64_t order, int64_t type, int64_t bct = 0, const double* bc = nullptr,
                   int64_t ict = 0, const double* ic = nullptr, int64_t hint = 0, bool coeff = true) {
    return zorp_df_dedit_spline(c.dfd, order, type, bct, bc, ict, ic, coeff ? c.coeff : nullptr, hint);
  };
  auto interp = [=](DFTask* t, Ctx& c) {
    return zorp_df_dinterpolate(t, DF_INTERP, 2, sites, 0, 1, value, c.d, 0, nullptr);
  };
  // A double task on x, 4 points with the given hint, for the partition rows.
  auto on = [=](Ctx& c, std::vector<double> x, int64_t hint, int which) {
    static std::vector<double> keep;
    keep = std::move(x);
    EXPECT_EQ(zorp_df_kernel_dNewTask1D(&c.made_df, 4, keep.data(), hint, 1, c.py, 0, 1), 0);
    EXPECT_EQ(zorp_df_kernel_dEditPPSpline1D(c.made_df, 0, DF_PP_STEP_LEFT, 0, nullptr, 0, nullptr, nullptr, 0), 0);
    int32_t status = 0;
    if (which == 0) status = interp(c.made_df, c);
    if (which == 1) status = zorp_df_dsearch(c.made_df, 2, sites, 0, c.i);
    if (which == 2) status = zorp_df_dintegrate(c.made_df, 2, llim, 0, rlim, 0, c.d, 0);
    zorp_df_kernel_DeleteTask(&c.made_df);
    return status;
  };
  const double up = std::nextafter(1.0, 2.0), nan = std::nan("");
  const double inf = std::numeric_limits<double>::infinity();
  return {
      {"df new task, ny = 0", DF_ERROR_BAD_NY,
       [](Ctx& c) { return zorp_df_dnew_task(&c.made_df, 4, c.px, DF_NON_UNIFORM_PARTITION, 0, nullptr, 0, 1); }},
      {"df new task, ny = 1", kOk,
       [](Ctx& c) { return zorp_df_dnew_task(&c.made_df, 4, c.px, DF_NON_UNIFORM_PARTITION, 1, c.py, 0, 1); }},
      {"df new task, nx = 1", DF_ERROR_BAD_NX,
       [](Ctx& c) { return zorp_df_snew_task(&c.made_df, 1, c.pxf, DF_NON_UNIFORM_PARTITION, 1, c.pyf, 0, 1); }},
      {"df delete, null address", DF_ERROR_NULL_TASK, [](Ctx& c) { return zorp_df_delete_task(nullptr); }},
      {"df delete, statistics record", kKindRefused, [=](Ctx& c) {
         DFTask* t = as_df(c.ssd);
         return zorp_df_delete_task(&t);
       }},
      {"df delete, float task", kOk, [](Ctx& c) { return zorp_df_delete_task(&c.dff); }},
      {"df delete, null task", kOk, [](Ctx& c) { return zorp_df_delete_task(&c.made_df); }},
      {"df spline, null task", DF_ERROR_NULL_TASK, [](Ctx& c) {
         return zorp_df_dedit_spline(nullptr, DF_PP_LINEAR, 0, 0, nullptr, 0, nullptr, c.coeff, 0);
       }},
      {"df spline, float task", kKindRefused, [](Ctx& c) {
         return zorp_df_dedit_spline(c.dff, DF_PP_LINEAR, 0, 0, nullptr, 0, nullptr, c.coeff, 0);
       }},
      {"df spline, statistics record", kKindRefused, [=](Ctx& c) {
         return zorp_df_dedit_spline(as_df(c.ssd), DF_PP_LINEAR, 0, 0, nullptr, 0, nullptr, c.coeff, 0);
       }},
      {"df spline, float on double", kKindRefused, [](Ctx& c) {
         return zorp_df_sedit_spline(c.dfd, DF_PP_LINEAR, 0, 0, nullptr, 0, nullptr, c.coeff_f, 0);
       }},
      {"df spline, order 1", DF_ERROR_BAD_SPLINE_ORDER, [=](Ctx& c) { return spline(c, 1, 0); }},
      {"df spline, order 5", DF_ERROR_BAD_SPLINE_ORDER, [=](Ctx& c) { return spline(c, 5, 0); }},
      {"df spline, order 2", kOk, [=](Ctx& c) { return spline(c, DF_PP_LINEAR, DF_PP_DEFAULT); }},
      {"df spline, linear of type 1", DF_ERROR_BAD_SPLINE_TYPE, [=](Ctx& c) { return spline(c, DF_PP_LINEAR, 1); }},
      {"df spline, quadratic of type 2", DF_ERROR_BAD_SPLINE_TYPE, [=](Ctx& c) { return spline(c, DF_PP_QUADRATIC, 2); }},
      {"df spline, quadratic on knots", kOk, [=](Ctx& c) { return spline(c, DF_PP_QUADRATIC, DF_PP_QUADRATIC_KNOTS); }},
      {"df spline, cubic of type 1", DF_ERROR_BAD_SPLINE_TYPE, [=](Ctx& c) { return spline(c, DF_PP_CUBIC, 1); }},
      {"df spline, cubic of type 6", DF_ERROR_BAD_SPLINE_TYPE, [=](Ctx& c) { return spline(c, DF_PP_CUBIC, 6); }},
      {"df spline, cubic of type 8", DF_ERROR_BAD_SPLINE_TYPE, [=](Ctx& c) { return spline(c, DF_PP_CUBIC, 8); }},
      {"df spline, cubic of type 10", DF_ERROR_BAD_SPLINE_TYPE, [=](Ctx& c) { return spline(c, DF_PP_CUBIC, 10); }},
      {"df spline, Hyman cubic", kOk, [=](Ctx& c) { return spline(c, DF_PP_CUBIC, DF_PP_HYMAN); }},
      {"df spline, order 0 of type 5", DF_ERROR_BAD_SPLINE_TYPE, [=](Ctx& c) { return spline(c, 0, DF_PP_AKIMA); }},
      {"df spline, order 0 of type 9", DF_ERROR_BAD_SPLINE_TYPE, [=](Ctx& c) { return spline(c, 0, 9); }},
      {"df spline, step from the left, no coefficients", kOk,
       [=](Ctx& c) { return spline(c, 0, DF_PP_STEP_LEFT, 0, nullptr, 0, nullptr, 0, false); }},
      {"df spline, linear, no coefficients", DF_ERROR_BAD_SCOEFF,
       [=](Ctx& c) { return spline(c, DF_PP_LINEAR, 0, 0, nullptr, 0, nullptr, 0, false); }},
      {"df spline, boundary bit 256", DF_ERROR_BAD_BC_TYPE, [=](Ctx& c) { return spline(c, DF_PP_CUBIC, 2, 256, bc2); }},
      {"df spline, boundary -1", DF_ERROR_BAD_BC_TYPE, [=](Ctx& c) { return spline(c, DF_PP_CUBIC, 2, -1, bc2); }},
      {"df spline, every boundary bit", kOk, [=](Ctx& c) { return spline(c, DF_PP_CUBIC, 2, 255, bc2); }},
      {"df spline, boundary 3 without values", DF_ERROR_BAD_BC, [=](Ctx& c) { return spline(c, DF_PP_CUBIC, 2, 3); }},
      {"df spline, boundary 2 without values", kOk, [=](Ctx& c) { return spline(c, DF_PP_CUBIC, 2, 2); }},
      {"df spline, periodic without values", kOk,
       [=](Ctx& c) { return spline(c, DF_PP_CUBIC, 2, DF_BC_PERIODIC); }},
      {"df spline, internal bit 16", DF_ERROR_BAD_IC_TYPE, [=](Ctx& c) { return spline(c, DF_PP_CUBIC, 3, 2, nullptr, 16, ic1); }},
      {"df spline, internal 1 without values", DF_ERROR_BAD_IC,
       [=](Ctx& c) { return spline(c, DF_PP_CUBIC, 3, 2, nullptr, 1); }},
      {"df spline, internal values without a type", DF_ERROR_BAD_IC_TYPE,
       [=](Ctx& c) { return spline(c, DF_PP_CUBIC, 3, 2, nullptr, 0, ic1); }},
      {"df spline, internal 15 with values", kOk, [=](Ctx& c) { return spline(c, DF_PP_CUBIC, 3, 2, nullptr, 15, ic1); }},
      {"df spline, coefficient hint 64", DF_ERROR_BAD_SCOEFF_HINT,
       [=](Ctx& c) { return spline(c, DF_PP_LINEAR, 0, 0, nullptr, 0, nullptr, 64); }},
      {"df spline, coefficient hint 128", kOk,
       [=](Ctx& c) { return spline(c, DF_PP_LINEAR, 0, 0, nullptr, 0, nullptr, DF_MATRIX_STORAGE_FUNCS_SEP); }},
      {"df construct, float task", kKindRefused, [](Ctx& c) { return zorp_df_dconstruct(c.dff); }},
      {"df construct, float", kOk, [](Ctx& c) { return zorp_df_sconstruct(c.dff); }},
      {"df construct, order 1 from the raw editor", DF_ERROR_BAD_SPLINE_ORDER,
       [](Ctx& c) { return zorp_df_dconstruct(c.df_odd); }},
      {"df construct, a descent (the routine's check)", DF_ERROR_BAD_X,
       [](Ctx& c) { return zorp_df_dconstruct(c.df_descent); }},
      {"df interpolate, float task", kKindRefused, [=](Ctx& c) { return interp(c.dff, c); }},
      {"df interpolate, a descent", DF_ERROR_BAD_X, [=](Ctx& c) { return interp(c.df_descent, c); }},
      {"df interpolate, null result", DF_ERROR_BAD_R,
       [](Ctx& c) { return zorp_df_dinterpolate(c.dfd, DF_INTERP, 2, sites, 0, 1, value, nullptr, 0, nullptr); }},
      {"df interpolate", kOk, [=](Ctx& c) { return interp(c.dfd, c); }},
      {"df search, a descent", DF_ERROR_BAD_X, [](Ctx& c) { return zorp_df_dsearch(c.df_descent, 2, sites, 0, c.w); }},
      {"df search, null cells", DF_ERROR_BAD_CELL, [](Ctx& c) { return zorp_df_dsearch(c.dfd, 2, sites, 0, nullptr); }},
      {"df integrate, a descent", DF_ERROR_BAD_X,
       [](Ctx& c) { return zorp_df_dintegrate(c.df_descent, 2, llim, 0, rlim, 0, c.d, 0); }},
      {"df integrate, -1 pairs", DF_ERROR_BAD_NLIM, [](Ctx& c) { return zorp_df_dintegrate(c.dfd, -1, llim, 0, rlim, 0, c.d, 0); }},
      {"df interpolate, a repeated point", DF_ERROR_BAD_X, [=](Ctx& c) { return on(c, {0, 1, 1, 3}, 1, 0); }},
      {"df interpolate, a point one step up", kOk, [=](Ctx& c) { return on(c, {0, 1, up, 3}, 1, 0); }},
      {"df search, a NaN point", DF_ERROR_BAD_X, [=](Ctx& c) { return on(c, {0, 1, nan, 3}, 1, 1); }},
      {"df search, an infinite last point", DF_ERROR_BAD_X, [=](Ctx& c) { return on(c, {0, 1, 2, inf}, 1, 1); }},
      {"df integrate, quasi-uniform, a descent at the end", DF_ERROR_BAD_X,
       [=](Ctx& c) { return on(c, {0, 1, 2, 1.5}, DF_QUASI_UNIFORM_PARTITION, 2); }},
      {"df integrate, uniform, ends equal", DF_ERROR_BAD_X,
       [=](Ctx& c) { return on(c, {1, 1, 0, 0}, DF_UNIFORM_PARTITION, 2); }},
      {"df integrate, uniform, two ends read alone", kOk,
       [=](Ctx& c) { return on(c, {0, 3, -5, nan}, DF_UNIFORM_PARTITION, 2); }},
  };
}

std::vector<Row> all_rows() {
  std::vector<Row> rows;
  for (auto part : {continuous_rows<double>(), continuous_rows<float>(), discrete_rows(), stream_rows(), vm_rows(),
                    ss_rows(), df_rows()})
    rows.insert(rows.end(), part.begin(), part.end());
  return rows;
}

TEST(CheckedEntries, EveryCheckAtItsEdge) {
  int refused = 0, accepted = 0;
  for (const Row& row : all_rows()) {
    Ctx c;
    const std::vector<uint8_t> before = image_of(c.mt);
    const int32_t status = row.call(c);
    EXPECT_EQ(status, row.expected) << row.what;
    if (row.expected < 0) {
      ++refused;
      EXPECT_TRUE(c.untouched()) << row.what << ": a refused call wrote";
      EXPECT_EQ(image_of(c.mt), before) << row.what << ": a refused call moved the stream";
    } else {
      ++accepted;
    }
  }
  // The table itself: every status code a check can give appears in it.
  std::set<int32_t> seen;
  for (const Row& row : all_rows()) seen.insert(row.expected);
  for (int32_t code : {kBad, kNull, kMethod, kKind, TARR_ERROR_INVALID_BRNG, TARR_ERROR_NO_LEAPFROG,
                       TARR_ERROR_NO_SKIPAHEAD, TARR_ERROR_NO_SKIPAHEAD_EX, TARR_ERROR_BAD_STREAM_COUNT,
                       int32_t{ZORP_VM_STATUS_BADSIZE}, int32_t{ZORP_VM_STATUS_BADMEM}, ZORP_ERROR_BAD_ACCURACY,
                       ZORP_ERROR_TASK_KIND, TARR_SS_ERROR_NULL_TASK, TARR_SS_ERROR_BAD_DIMENSION,
                       TARR_SS_ERROR_BAD_NOBS, TARR_SS_ERROR_BAD_STORAGE, TARR_SS_ERROR_BAD_METHOD,
                       TARR_SS_ERROR_NULL_OBSERVATIONS, DF_ERROR_NULL_TASK, DF_ERROR_BAD_NY, DF_ERROR_BAD_SPLINE_ORDER,
                       DF_ERROR_BAD_SPLINE_TYPE, DF_ERROR_BAD_BC_TYPE, DF_ERROR_BAD_BC, DF_ERROR_BAD_IC_TYPE,
                       DF_ERROR_BAD_IC, DF_ERROR_BAD_SCOEFF, DF_ERROR_BAD_SCOEFF_HINT, DF_ERROR_BAD_X})
    EXPECT_TRUE(seen.count(code)) << code;
  std::printf("%d refusals, %d accepted edges\n", refused, accepted);
}

}  // namespace
