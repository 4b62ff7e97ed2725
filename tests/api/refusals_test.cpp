// Every argument check of the checked entries, in one table: each row is a call and the status it
// must return. A refused row must also leave every output array and the stream's state as they
// were; beside each refusal stands the nearest accepted value, so that a check moved by one step
// either way fails a row.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <iomanip>
#include <sstream>
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
  TarrSSTask* ss_alias = nullptr;  // a record of the other family, as a delete call takes it
  DFTask* df_alias = nullptr;
  size_t image_size() const {
    size_t bytes = 0;
    EXPECT_EQ(zorp_rng_image_size(mt, &bytes), 0);
    return bytes;
  }
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
  // The output arrays d to image, declared in a row, are one range of bytes (their padding
  // included): all start as the sentinel, and a refusal leaves every byte of them so.
  uint8_t* outputs_begin() { return reinterpret_cast<uint8_t*>(d); }
  uint8_t* outputs_end() { return image + sizeof image; }
  void fill() { std::fill(outputs_begin(), outputs_end(), kSentinel); }
  bool untouched() {
    if (std::any_of(outputs_begin(), outputs_end(), [](uint8_t b) { return b != kSentinel; })) return false;
    return made == nullptr && made_ss == nullptr && made_df == nullptr && records() == records_before;
  }
  template <class T>
  T* out() {
    if constexpr (std::is_same_v<T, double>) return d;
    else return f;
  }
};

// A row: the call (its text names it) and the status it must return.
struct Row {
  std::string what;
  int32_t expected;
  std::function<int32_t(Ctx&)> call;
};
#define ROW(expected, ...) Row{#__VA_ARGS__, expected, [=](Ctx& c) -> int32_t { return __VA_ARGS__; }}

// One check about its edge: the call, with X standing for the value checked, and each value beside
// the edge with the status it must give.
template <class V, class F>
void edges(std::vector<Row>& rows, const std::string& call, F f, std::initializer_list<std::pair<V, int32_t>> cases) {
  for (const auto& [v, expected] : cases) {
    std::ostringstream what;
    what << call << ", X = " << std::setprecision(17) << +v;
    rows.push_back({what.str(), expected, [=](Ctx& c) -> int32_t { return f(c, v); }});
  }
}
#define EDGES(V, call, ...) edges<V>(rows, #call, [=](Ctx& c, V X) -> int32_t { return call; }, {__VA_ARGS__})

template <class T>
constexpr T kTiny = std::numeric_limits<T>::denorm_min();
template <class T>
constexpr T kInf = std::numeric_limits<T>::infinity();
template <class T>
constexpr T kHuge = std::numeric_limits<T>::max();

// The continuous entry F of precision T.
#define CE(F) apitest::pick<T>(zorp_rng_d##F, zorp_rng_s##F)

constexpr int32_t kBad = TARR_ERROR_BAD_ARGUMENTS, kNull = TARR_ERROR_NULL_ENTRY, kOk = TARR_STATUS_OK;
constexpr int32_t kMethod = TARR_ERROR_UNKNOWN_METHOD, kKind = TARR_ERROR_ABSTRACT_KIND;

template <class T>
std::vector<Row> continuous_rows() {
  const std::string p = std::is_same_v<T, double> ? "d " : "s ";
  std::vector<Row> rows;
#define ADD(expected, ...) rows.push_back(ROW(expected, __VA_ARGS__)), rows.back().what.insert(0, p)
#define ADD_EDGES(V, call, ...) edges<V>(rows, p + #call, [=](Ctx& c, V X) -> int32_t { return call; }, {__VA_ARGS__})
  // The stream, the count and the array, for a two-parameter entry.
  auto g = [](Ctx& c, StreamState* s, int32_t n, T* r, T a, T sigma, int32_t m = 0) {
    return CE(Gaussian)(m, s, n, r, a, sigma);
  };
  ADD(kNull, g(c, nullptr, 4, c.out<T>(), 0, 1));
  ADD(TARR_ERROR_INVALID_BRNG, g(c, &c.fake, 4, c.out<T>(), 0, 1));
  ADD(kBad, g(c, c.mt, -1, c.out<T>(), 0, 1));
  ADD(kOk, g(c, c.mt, 0, nullptr, 0, 1));
  ADD(kNull, g(c, c.mt, 1, nullptr, 0, 1));
  ADD(kKind, g(c, c.abstract.i, 4, c.out<T>(), 0, 1));
  ADD(kKind, g(c, std::is_same_v<T, double> ? c.abstract.s : c.abstract.d, 4, c.out<T>(), 0, 1));
  ADD(kOk, g(c, std::is_same_v<T, double> ? c.abstract.d : c.abstract.s, 4, c.out<T>(), 0, 1));
  const T nan = std::numeric_limits<T>::quiet_NaN(), least_normal = std::numeric_limits<T>::min();
  ADD_EDGES(int32_t, g(c, c.mt, 4, c.out<T>(), 0, 1, X), {3, kMethod}, {2, kOk}, {TARR_METHOD_ACCURATE, kMethod});
  ADD_EDGES(T, g(c, c.mt, 4, c.out<T>(), 0, X), {0, kBad}, {kTiny<T>, kOk}, {kInf<T>, kBad}, {kHuge<T>, kOk}, {nan, kBad});
  ADD_EDGES(T, g(c, c.mt, 4, c.out<T>(), X, 1), {-kInf<T>, kBad}, {-kHuge<T>, kOk});
  ADD_EDGES(T, CE(Uniform)(0, c.mt, 4, c.out<T>(), 1, X), {1, kBad}, {std::nextafter(T(1), T(2)), kOk}, {kInf<T>, kBad});
  ADD_EDGES(int32_t, CE(Uniform)(X, c.mt, 4, c.out<T>(), 0, 1), {1, kMethod}, {TARR_METHOD_ACCURATE, kOk});

  // The scale of every location-scale entry: 0 refused, the least subnormal accepted.
  using Two = int32_t (*)(int32_t, StreamState*, int32_t, T*, T, T);
  for (Two fn : {CE(Exponential), CE(Laplace), CE(Cauchy), CE(Rayleigh), CE(Gumbel)}) {
    ADD_EDGES(T, fn(0, c.mt, 4, c.out<T>(), 0, X), {0, kBad}, {kTiny<T>, kOk});
    ADD(kBad, fn(0, c.mt, 4, c.out<T>(), nan, 1));
  }
  ADD(kMethod, CE(Laplace)(TARR_METHOD_ACCURATE, c.mt, 4, c.out<T>(), 0, 1));
  ADD(kOk, CE(Exponential)(TARR_METHOD_ACCURATE, c.mt, 4, c.out<T>(), 0, 1));

  ADD_EDGES(T, CE(Weibull)(0, c.mt, 4, c.out<T>(), X, 0, 1), {0, kBad}, {1, kOk});
  ADD(kBad, CE(Weibull)(0, c.mt, 4, c.out<T>(), 1, 0, 0));
  ADD_EDGES(T, CE(Gamma)(0, c.mt, 4, c.out<T>(), X, 0, 1), {0, kBad}, {least_normal, kOk});
  ADD(kBad, CE(Gamma)(0, c.mt, 4, c.out<T>(), 1, 0, 0));
  ADD(kBad, CE(Beta)(0, c.mt, 4, c.out<T>(), 0, 1, 0, 1));
  ADD(kBad, CE(Beta)(0, c.mt, 4, c.out<T>(), 1, 0, 0, 1));
  ADD(kOk, CE(Beta)(0, c.mt, 4, c.out<T>(), least_normal, least_normal, 0, 1));
  ADD(kBad, CE(Beta)(0, c.mt, 4, c.out<T>(), 1, 1, 0, 0));
  ADD(kBad, CE(Lognormal)(0, c.mt, 4, c.out<T>(), 0, 0, 0, 1));
  ADD(kBad, CE(Lognormal)(0, c.mt, 4, c.out<T>(), 0, 1, 0, 0));
  ADD_EDGES(int32_t, CE(Lognormal)(X, c.mt, 4, c.out<T>(), 0, 1, 0, 1), {1, kMethod}, {2 | TARR_METHOD_ACCURATE, kOk});
  ADD_EDGES(int32_t, CE(ChiSquare)(0, c.mt, 4, c.out<T>(), X), {0, kBad}, {1, kOk});

  static const T mean[2] = {0, 0}, factor[4] = {1, 0, 0, 1};
  auto mv = [=](Ctx& c, int32_t n, int32_t d, int32_t storage, const T* a, const T* t, int32_t m = 0) {
    return CE(GaussianMV)(m, c.mt, n, c.out<T>(), d, storage, a, t);
  };
  ADD_EDGES(int32_t, mv(c, 2, X, TARR_MV_FULL, mean, factor), {0, kBad}, {1, kOk});
  ADD_EDGES(int32_t, mv(c, 2, 2, X, mean, factor), {-1, kBad}, {3, kBad}, {TARR_MV_DIAGONAL, kOk});
  ADD(kNull, mv(c, 2, 2, TARR_MV_FULL, nullptr, factor));
  ADD(kNull, mv(c, 2, 2, TARR_MV_FULL, mean, nullptr));
  ADD(kBad, mv(c, 1 << 30, 2, TARR_MV_FULL, mean, factor));
  ADD(kMethod, mv(c, 2, 2, TARR_MV_FULL, mean, factor, 3));
  return rows;
}

std::vector<Row> discrete_rows() {
  const double below0 = std::nextafter(0.0, -1.0), above1 = std::nextafter(1.0, 2.0);
  static const double means[2] = {1.5, 0.0}, probs1[1] = {1.0};
  std::vector<Row> rows = {
      ROW(kBad, zorp_rng_iUniform(0, c.mt, 4, c.i, 3, 3)),
      ROW(kOk, zorp_rng_iUniform(0, c.mt, 4, c.i, 3, 4)),
      ROW(kMethod, zorp_rng_iUniform(1, c.mt, 4, c.i, 0, 4)),
      ROW(kKind, zorp_rng_iUniform(0, c.abstract.i, 4, c.i, 0, 4)),
      ROW(kOk, zorp_rng_iUniform(0, c.abstract.d, 4, c.i, 0, 4)),
      ROW(kKind, zorp_rng_iUniformBits(0, c.abstract.d, 4, c.u)),
      ROW(kOk, zorp_rng_iUniformBits(0, c.abstract.i, 4, c.u)),
      ROW(TARR_ERROR_BRNG_UNSUPPORTED, zorp_rng_iUniformBits32(0, c.mcg, 4, c.u)),
      ROW(kNull, zorp_rng_iUniformBits64(0, c.mt, 4, nullptr)),
      ROW(kBad, zorp_rng_iUniformBits64(0, c.mt, -1, c.w)),
      ROW(kOk, zorp_rng_iBinomial(0, c.abstract.d, 4, c.i, 10, 0.5)),
      ROW(kMethod, zorp_rng_iPoisson(2, c.mt, 4, c.i, 3.0)),
      ROW(kOk, zorp_rng_iPoisson(1, c.mt, 4, c.i, 3.0)),
      ROW(kNull, zorp_rng_iPoissonV(0, c.mt, 1, c.i, nullptr)),
      ROW(kBad, zorp_rng_iMultinomial(0, c.mt, 4, c.i, 3, 0, probs1)),
      ROW(kNull, zorp_rng_iMultinomial(0, c.mt, 4, c.i, 3, 1, nullptr)),
      ROW(kBad, zorp_rng_iMultinomial(0, c.mt, 1 << 30, c.i, 3, 2, means)),
  };
  EDGES(double, zorp_rng_iBernoulli(0, c.mt, 4, c.i, X), {below0, kBad}, {0, kOk}, {1, kOk}, {above1, kBad}, {std::nan(""), kBad});
  EDGES(double, zorp_rng_iGeometric(0, c.mt, 4, c.i, X), {0, kBad}, {kTiny<double>, kOk}, {1, kOk}, {above1, kBad});
  EDGES(int32_t, zorp_rng_iBinomial(0, c.mt, 4, c.i, X, 0.5), {-1, kBad}, {0, kOk});
  EDGES(double, zorp_rng_iBinomial(0, c.mt, 4, c.i, 10, X), {below0, kBad}, {1, kOk}, {above1, kBad});
  EDGES(int32_t, zorp_rng_iHypergeometric(0, c.mt, 4, c.i, X, 0, 0), {-1, kBad}, {0, kOk});
  EDGES(int32_t, zorp_rng_iHypergeometric(0, c.mt, 4, c.i, 10, X, 5), {-1, kBad}, {10, kOk}, {11, kBad});
  EDGES(int32_t, zorp_rng_iHypergeometric(0, c.mt, 4, c.i, 10, 5, X), {-1, kBad}, {10, kOk}, {11, kBad});
  EDGES(double, zorp_rng_iPoisson(0, c.mt, 4, c.i, X), {0, kBad}, {kTiny<double>, kOk}, {kInf<double>, kBad});
  EDGES(int32_t, zorp_rng_iPoissonV(0, c.mt, X, c.i, means), {2, kBad}, {1, kOk});  // means[1] is 0
  EDGES(double, zorp_rng_iNegbinomial(0, c.mt, 4, c.i, X, 0.5), {0, kBad}, {kTiny<double>, kOk});
  EDGES(double, zorp_rng_iNegbinomial(0, c.mt, 4, c.i, 2, X), {0, kBad}, {1, kOk}, {above1, kBad});
  EDGES(int32_t, zorp_rng_iMultinomial(0, c.mt, 4, c.i, X, 1, probs1), {-1, kBad}, {0, kOk});
  return rows;
}

std::vector<Row> stream_rows() {
  static const uint32_t seed = 1;
  static const uint64_t one[1] = {1};
  std::vector<Row> rows = {
      ROW(kNull, zorp_rng_new_stream(nullptr, TARR_BRNG_MT19937, 1)),
      ROW(TARR_ERROR_INVALID_BRNG, zorp_rng_new_stream(&c.made, 0x12345u, 1)),
      ROW(kBad, zorp_rng_new_stream_ex(&c.made, TARR_BRNG_MT19937, -1, &seed)),
      ROW(kNull, zorp_rng_new_stream_ex(&c.made, TARR_BRNG_MT19937, 1, nullptr)),
      ROW(kNull, zorp_rng_copy_stream(nullptr, c.mt)),
      ROW(TARR_ERROR_INVALID_BRNG, zorp_rng_copy_stream(&c.made, &c.fake)),
      ROW(TARR_ERROR_INVALID_BRNG, zorp_rng_copy_stream_state(c.mt, c.mcg)),
      ROW(TARR_ERROR_NO_LEAPFROG, zorp_rng_leapfrog(c.mt, 0, 2)),
      ROW(TARR_ERROR_BAD_STREAM_COUNT, zorp_rng_leapfrog(c.mcg, 0, 0)),
      ROW(kBad, zorp_rng_leapfrog(c.mcg, 1, 1)),  // k = nstreams
      ROW(kOk, zorp_rng_leapfrog(c.mcg, 0, 1)),
      ROW(TARR_ERROR_NO_SKIPAHEAD, zorp_rng_skip_ahead(c.r250, 5)),
      ROW(TARR_ERROR_INVALID_BRNG, zorp_rng_skip_ahead(&c.fake, 5)),
      ROW(TARR_ERROR_NO_SKIPAHEAD_EX, zorp_rng_skip_ahead_ex(c.mt, 1, one)),
      ROW(kBad, zorp_rng_skip_ahead_ex(c.mrg, 0, one)),
      ROW(kNull, zorp_rng_skip_ahead_ex(c.mrg, 1, nullptr)),
      ROW(kNull, zorp_rng_save(c.mt, nullptr, 8192)),
      ROW(kBad, zorp_rng_save(c.mt, c.image, c.image_size() - 1)),
      ROW(kNull, zorp_rng_image_size(c.mt, nullptr)),
      ROW(kNull, zorp_rng_save(nullptr, c.image, 8192)),
      ROW(kNull, zorp_rng_load(&c.made, nullptr, 100, 0)),
      ROW(kNull, zorp_rng_save_file(c.mt, nullptr)),
      ROW(kNull, zorp_rng_load_file(&c.made, nullptr, 0)),
      ROW(kNull, zorp_rng_new_abstract_stream(nullptr, 4, c.u, apitest::ones<uint32_t>)),
      ROW(kBad, zorp_rng_new_abstract_stream(&c.made, 4, nullptr, apitest::ones<uint32_t>)),
      ROW(kBad, zorp_rng_new_abstract_stream(&c.made, 4, c.u, nullptr)),
      ROW(kBad, zorp_rng_new_abstract_stream_s(&c.made, 4, nullptr, 0, 1, apitest::ones<float>)),
      ROW(kBad, zorp_rng_new_abstract_stream_d(&c.made, 4, c.d, 0, 1, nullptr)),
  };
  // Abstract streams: the count, and the real kinds' interval (finite, a < b).
  EDGES(int32_t, zorp_rng_new_abstract_stream(&c.made, X, c.u, apitest::ones<uint32_t>), {0, kBad}, {1, kOk});
  EDGES(int32_t, zorp_rng_new_abstract_stream_d(&c.made, X, c.d, 0, 1, apitest::ones<double>), {0, kBad}, {1, kOk});
  EDGES(double, zorp_rng_new_abstract_stream_d(&c.made, 4, c.d, X, 1, apitest::ones<double>), {1, kBad},
        {std::nextafter(1.0, 0.0), kOk}, {-kInf<double>, kBad}, {std::nan(""), kBad});
  EDGES(float, zorp_rng_new_abstract_stream_s(&c.made, 4, c.f, X, 1, apitest::ones<float>), {1, kBad},
        {std::nextafter(1.0f, 0.0f), kOk}, {-kInf<float>, kBad});
  return rows;
}

// Vector math: one entry of each calling shape, each check at its edge.
std::vector<Row> vm_rows() {
  static const double a[4] = {0.25, 0.5, 0.75, 1.0};
  static const float af[4] = {0.25f, 0.5f, 0.75f, 1.0f};
  static const ZorpComplex16 zb = {2.0, 0.0};
  static const int64_t ix[4] = {0, 1, 2, 3};
  constexpr int32_t bad_size = ZORP_VM_STATUS_BADSIZE, bad_mem = ZORP_VM_STATUS_BADMEM;
  std::vector<Row> rows = {
      ROW(bad_size, zorp_vm_dExp(-1, a, c.d, ZORP_VM_HA)),
      ROW(kOk, zorp_vm_dExp(0, nullptr, nullptr, ZORP_VM_HA)),
      ROW(bad_mem, zorp_vm_dExp(1, nullptr, c.d, ZORP_VM_HA)),  // the least count that reads the arrays
      ROW(bad_mem, zorp_vm_dExp(4, nullptr, c.d, ZORP_VM_HA)),
      ROW(bad_mem, zorp_vm_dExp(4, a, nullptr, ZORP_VM_HA)),
      ROW(bad_mem, zorp_vm_dPow(4, a, nullptr, c.d, ZORP_VM_HA)),
      ROW(bad_mem, zorp_vm_sSinCos(4, af, c.f, nullptr, ZORP_VM_HA)),
      ROW(bad_mem, zorp_vm_zPowx(2, reinterpret_cast<const ZorpComplex16*>(a), nullptr, reinterpret_cast<ZorpComplex16*>(c.d), ZORP_VM_HA)),
      ROW(kOk, zorp_vm_zPowx(2, reinterpret_cast<const ZorpComplex16*>(a), &zb, reinterpret_cast<ZorpComplex16*>(c.d), ZORP_VM_HA)),
      ROW(bad_mem, zorp_vm_dLinearFrac(4, a, nullptr, 1, 0, 1, 0, c.d, ZORP_VM_HA)),
      ROW(bad_size, zorp_vm_zAbs(-1, reinterpret_cast<const ZorpComplex16*>(a), c.d, ZORP_VM_HA)),
      ROW(bad_mem, zorp_vm_cCIS(4, af, nullptr, ZORP_VM_HA)),
      ROW(bad_mem, zorp_vm_dPackV(4, a, nullptr, c.d, 8, ZORP_VM_HA)),
      ROW(bad_size, zorp_vm_dPackV(0xFFFFFFFFll, a, ix, c.d, 1, ZORP_VM_HA)),
      ROW(bad_size, zorp_vm_dPackI(-1, a, 1, c.d, 8, ZORP_VM_HA)),
      ROW(bad_mem, zorp_vm_sUnpackM(4, af, c.f, nullptr, 8, ZORP_VM_HA)),
  };
  EDGES(int32_t, zorp_vm_sExp(4, af, c.f, X), {0, ZORP_ERROR_BAD_ACCURACY}, {ZORP_VM_LA, kOk}, {ZORP_VM_EP, kOk}, {4, ZORP_ERROR_BAD_ACCURACY});
  // The strided forms: the same checks before the increments, which pass through unchecked.
  rows.push_back(ROW(bad_size, zorp_vm_sExpI(-1, af, 1, c.f, 1, ZORP_VM_HA)));
  rows.push_back(ROW(kOk, zorp_vm_sExpI(0, nullptr, 0, nullptr, 0, ZORP_VM_HA)));
  rows.push_back(ROW(bad_mem, zorp_vm_sExpI(2, nullptr, 3, c.f, 1, ZORP_VM_HA)));
  rows.push_back(ROW(bad_mem, zorp_vm_dHypotI(2, a, 1, nullptr, 1, c.d, 1, ZORP_VM_HA)));
  rows.push_back(ROW(bad_mem, zorp_vm_dSinCosI(2, a, 1, c.d, 1, nullptr, 1, ZORP_VM_HA)));
  EDGES(int32_t, zorp_vm_dExpI(2, a, 2, c.d, 3, X), {0, ZORP_ERROR_BAD_ACCURACY}, {ZORP_VM_LA, kOk}, {ZORP_VM_EP, kOk}, {4, ZORP_ERROR_BAD_ACCURACY});
  return rows;
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
  std::vector<Row> rows = {
      ROW(TARR_SS_ERROR_NULL_OBSERVATIONS, make(c, &c.p, &c.n, &c.layout, nullptr)),
      ROW(TARR_SS_ERROR_BAD_DIMENSION, make(c, &zero, &c.n, &c.layout, c.xd)),
      ROW(kOk, make(c, &one, &c.n, &c.layout, c.xd)),
      ROW(TARR_SS_ERROR_BAD_NOBS, make(c, &c.p, &zero, &c.layout, c.xd)),
      ROW(kOk, make(c, &c.p, &one, &c.layout, c.xd)),
      ROW(kStorage, make(c, &c.p, &c.n, &zero, c.xd)),
      ROW(TARR_SS_ERROR_NULL_TASK, zorp_ss_snew_task(nullptr, &c.p, &c.n, &c.layout, c.xf, nullptr, nullptr, 1)),
      ROW(TARR_SS_ERROR_NULL_TASK, zorp_ss_delete_task(nullptr)),
      ROW(kKindRefused, zorp_ss_delete_task(&(c.ss_alias = as_ss(c.dfd)))),
      ROW(kOk, zorp_ss_delete_task(&c.ssf)),
      ROW(kOk, zorp_ss_delete_task(&c.made_ss)),
      ROW(TARR_SS_ERROR_NULL_TASK, zorp_ss_dedit(nullptr, TARR_SS_PARAM_WEIGHTS, weights)),
      ROW(kKindRefused, zorp_ss_dedit(c.ssf, TARR_SS_PARAM_WEIGHTS, weights)),
      ROW(kKindRefused, zorp_ss_dedit(as_ss(c.dfd), TARR_SS_PARAM_WEIGHTS, weights)),
      ROW(kOk, zorp_ss_dedit(c.ssd, TARR_SS_PARAM_WEIGHTS, weights)),
      ROW(kKindRefused, zorp_ss_sedit(c.ssd, TARR_SS_PARAM_EXTREME_HIGH, c.f)),
      ROW(TARR_SS_ERROR_BAD_PARAM_NUMBER, zorp_ss_dedit(c.ssd, 80, c.d)),
      ROW(TARR_SS_ERROR_NULL_WEIGHTS, zorp_ss_dedit(c.ssd, TARR_SS_PARAM_WEIGHTS, nullptr)),
      ROW(kKindRefused, zorp_ss_iedit(as_ss(c.dfd), TARR_SS_PARAM_NOBS, &one)),
      ROW(kOk, zorp_ss_iedit(c.ssf, TARR_SS_PARAM_NOBS, &one)),
      ROW(TARR_SS_ERROR_NULL_STORAGE_ITEM, iedit(c, TARR_SS_PARAM_STORAGE, nullptr)),
      ROW(TARR_SS_ERROR_BAD_PARAM_NUMBER, iedit(c, TARR_SS_PARAM_MEAN, &one)),
      ROW(TARR_SS_ERROR_NULL_TASK, zorp_ss_dcompute(nullptr, TARR_SS_MEAN, TARR_SS_METHOD_1PASS)),
      ROW(kKindRefused, zorp_ss_dcompute(c.ssf, TARR_SS_MEAN, TARR_SS_METHOD_1PASS)),
      ROW(kKindRefused, zorp_ss_scompute(c.ssd, TARR_SS_MEAN, TARR_SS_METHOD_1PASS)),
      ROW(kOk, basic(c, TARR_SS_MEAN, TARR_SS_METHOD_1PASS)),
      ROW(TARR_SS_ERROR_NULL_TASK, zorp_ss_dweighted_median(nullptr, TARR_SS_METHOD_QUANTILES)),
      ROW(kKindRefused, zorp_ss_sweighted_median(c.ssd, TARR_SS_METHOD_QUANTILES)),
      ROW(kSsMethod, zorp_ss_dweighted_median(c.ssd, 0)),
      ROW(kSsMethod, zorp_ss_dweighted_median(c.ssd, TARR_SS_METHOD_QUANTILES | TARR_SS_METHOD_SORT)),
      ROW(kSsMethod, basic(c, TARR_SS_MEAN, TARR_SS_METHOD_1PASS | 0x8)),
      ROW(kSsMethod, basic(c, TARR_SS_MEAN, TARR_SS_METHOD_FAST | TARR_SS_METHOD_1PASS)),
      ROW(kOk, basic(c, TARR_SS_MEAN, TARR_SS_METHOD_FAST)),
      ROW(kSsMethod, basic(c, TARR_SS_MEAN | TARR_SS_MIN, TARR_SS_METHOD_1PASS)),
      ROW(kSsMethod, basic(c, 0, TARR_SS_METHOD_1PASS)),
      ROW(kSsMethod, basic(c, TARR_SS_MEAN | (1ULL << 40), TARR_SS_METHOD_1PASS)),
      ROW(kOk, basic(c, TARR_SS_MIN, TARR_SS_METHOD_MINMAX_NEW)),
      ROW(kSsMethod, basic(c, TARR_SS_MIN, TARR_SS_METHOD_MINMAX_NEW | TARR_SS_METHOD_MINMAX_CONTINUE)),
      ROW(kSsMethod, basic(c, TARR_SS_QUANTS, TARR_SS_METHOD_QUANTILES | 0x2)),
      ROW(kSsMethod, basic(c, TARR_SS_MEAN_ABS_DEV, TARR_SS_METHOD_MAD | 0x2)),
      ROW(TARR_SS_ERROR_NULL_MEDIAN_ABS_DEV, basic(c, TARR_SS_MEAN_ABS_DEV | TARR_SS_MEDIAN_ABS_DEV, TARR_SS_METHOD_MAD | TARR_SS_METHOD_MAD_GIVEN_MEAN)),
      ROW(TARR_SS_ERROR_NULL_SORTED, basic(c, TARR_SS_MEAN, TARR_SS_METHOD_SORT)),
      ROW(TARR_SS_ERROR_NULL_COV, basic(c, TARR_SS_COV, TARR_SS_METHOD_1PASS)),
  };
  // The integer items' words (the quantile count is the routine's to judge).
  EDGES(int64_t, iedit(c, TARR_SS_PARAM_DIMENSION, &X), {0, TARR_SS_ERROR_BAD_DIMENSION}, {1, kOk});
  EDGES(int64_t, iedit(c, TARR_SS_PARAM_NOBS, &X), {0, TARR_SS_ERROR_BAD_NOBS}, {1, kOk});
  EDGES(int64_t, iedit(c, TARR_SS_PARAM_STORAGE, &X), {0, kStorage}, {both_layouts, kStorage}, {layout1, kOk});
  EDGES(int64_t, iedit(c, TARR_SS_PARAM_ORDER_STATS_STORAGE, &X), {2, kStorage}, {layout2, kOk});
  EDGES(int64_t, iedit(c, TARR_SS_PARAM_COV_STORAGE, &X), {3, kStorage}, {-1, kStorage}, {2, kOk});
  EDGES(int64_t, iedit(c, TARR_SS_PARAM_CP_STORAGE, &X), {3, kStorage});
  EDGES(int64_t, iedit(c, TARR_SS_PARAM_QUANT_COUNT, &X), {-1, kOk});
  return rows;
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
  std::vector<Row> rows = {
      ROW(DF_ERROR_BAD_NY, zorp_df_dnew_task(&c.made_df, 4, c.px, DF_NON_UNIFORM_PARTITION, 0, nullptr, 0, 1)),
      // The full forms keep the plain ones' task and partition checks.
      ROW(DF_ERROR_NULL_TASK, zorp_df_dsearch_ex(nullptr, 2, sites, 0, nullptr, c.i, nullptr, nullptr)),
      ROW(kKindRefused, zorp_df_ssearch_ex(c.dfd, 2, c.f, 0, nullptr, c.i, nullptr, nullptr)),
      ROW(DF_ERROR_BAD_X, zorp_df_dinterpolate_ex(c.df_descent, DF_INTERP, 2, sites, 0, 1, value, nullptr, c.d, 0,
                                                  nullptr, nullptr, nullptr)),
      ROW(DF_ERROR_BAD_X, zorp_df_dintegrate_ex(c.df_descent, 2, llim, 0, rlim, 0, nullptr, nullptr, c.d, 0, nullptr)),
      ROW(kOk, zorp_df_dnew_task(&c.made_df, 4, c.px, DF_NON_UNIFORM_PARTITION, 1, c.py, 0, 1)),
      ROW(DF_ERROR_BAD_NX, zorp_df_snew_task(&c.made_df, 1, c.pxf, DF_NON_UNIFORM_PARTITION, 1, c.pyf, 0, 1)),
      ROW(DF_ERROR_NULL_TASK, zorp_df_delete_task(nullptr)),
      ROW(kKindRefused, zorp_df_delete_task(&(c.df_alias = as_df(c.ssd)))),
      ROW(kOk, zorp_df_delete_task(&c.dff)),
      ROW(kOk, zorp_df_delete_task(&c.made_df)),
      ROW(DF_ERROR_NULL_TASK, zorp_df_dedit_spline(nullptr, DF_PP_LINEAR, 0, 0, nullptr, 0, nullptr, c.coeff, 0)),
      ROW(kKindRefused, zorp_df_dedit_spline(c.dff, DF_PP_LINEAR, 0, 0, nullptr, 0, nullptr, c.coeff, 0)),
      ROW(kKindRefused, zorp_df_dedit_spline(as_df(c.ssd), DF_PP_LINEAR, 0, 0, nullptr, 0, nullptr, c.coeff, 0)),
      ROW(kKindRefused, zorp_df_sedit_spline(c.dfd, DF_PP_LINEAR, 0, 0, nullptr, 0, nullptr, c.coeff_f, 0)),
      ROW(kOk, spline(c, 0, DF_PP_STEP_LEFT, 0, nullptr, 0, nullptr, 0, false)),
      ROW(DF_ERROR_BAD_SCOEFF, spline(c, DF_PP_LINEAR, 0, 0, nullptr, 0, nullptr, 0, false)),
      ROW(DF_ERROR_BAD_BC, spline(c, DF_PP_CUBIC, 2, 3)),
      ROW(kOk, spline(c, DF_PP_CUBIC, 2, 2)),
      ROW(kOk, spline(c, DF_PP_CUBIC, 2, DF_BC_PERIODIC)),
      ROW(DF_ERROR_BAD_IC_TYPE, spline(c, DF_PP_CUBIC, 3, 2, nullptr, 16, ic1)),
      ROW(DF_ERROR_BAD_IC, spline(c, DF_PP_CUBIC, 3, 2, nullptr, 1)),
      ROW(DF_ERROR_BAD_IC_TYPE, spline(c, DF_PP_CUBIC, 3, 2, nullptr, 0, ic1)),
      ROW(kOk, spline(c, DF_PP_CUBIC, 3, 2, nullptr, 15, ic1)),
      ROW(DF_ERROR_BAD_SCOEFF_HINT, spline(c, DF_PP_LINEAR, 0, 0, nullptr, 0, nullptr, 64)),
      ROW(kOk, spline(c, DF_PP_LINEAR, 0, 0, nullptr, 0, nullptr, DF_MATRIX_STORAGE_FUNCS_SEP)),
      ROW(kKindRefused, zorp_df_dconstruct(c.dff)),
      ROW(kOk, zorp_df_sconstruct(c.dff)),
      ROW(DF_ERROR_BAD_SPLINE_ORDER, zorp_df_dconstruct(c.df_odd)),
      ROW(DF_ERROR_BAD_X, zorp_df_dconstruct(c.df_descent)),
      ROW(kKindRefused, interp(c.dff, c)),
      ROW(DF_ERROR_BAD_X, interp(c.df_descent, c)),
      ROW(DF_ERROR_BAD_R, zorp_df_dinterpolate(c.dfd, DF_INTERP, 2, sites, 0, 1, value, nullptr, 0, nullptr)),
      ROW(kOk, interp(c.dfd, c)),
      ROW(DF_ERROR_BAD_X, zorp_df_dsearch(c.df_descent, 2, sites, 0, c.w)),
      ROW(DF_ERROR_BAD_CELL, zorp_df_dsearch(c.dfd, 2, sites, 0, nullptr)),
      ROW(DF_ERROR_BAD_X, zorp_df_dintegrate(c.df_descent, 2, llim, 0, rlim, 0, c.d, 0)),
      ROW(DF_ERROR_BAD_NLIM, zorp_df_dintegrate(c.dfd, -1, llim, 0, rlim, 0, c.d, 0)),
      ROW(DF_ERROR_BAD_X, on(c, {0, 1, 1, 3}, 1, 0)),
      ROW(kOk, on(c, {0, 1, up, 3}, 1, 0)),
      ROW(DF_ERROR_BAD_X, on(c, {0, 1, nan, 3}, 1, 1)),
      ROW(DF_ERROR_BAD_X, on(c, {0, 1, 2, inf}, 1, 1)),
      ROW(DF_ERROR_BAD_X, on(c, {0, 1, 2, 1.5}, DF_QUASI_UNIFORM_PARTITION, 2)),
      ROW(DF_ERROR_BAD_X, on(c, {1, 1, 0, 0}, DF_UNIFORM_PARTITION, 2)),
      ROW(kOk, on(c, {0, 3, -5, nan}, DF_UNIFORM_PARTITION, 2)),
  };
  constexpr int32_t kType = DF_ERROR_BAD_SPLINE_TYPE;
  EDGES(int64_t, spline(c, X, 0), {1, DF_ERROR_BAD_SPLINE_ORDER}, {5, DF_ERROR_BAD_SPLINE_ORDER}, {DF_PP_LINEAR, kOk});
  EDGES(int64_t, spline(c, DF_PP_LINEAR, X), {1, kType});
  EDGES(int64_t, spline(c, DF_PP_QUADRATIC, X), {2, kType}, {DF_PP_QUADRATIC_KNOTS, kOk});
  EDGES(int64_t, spline(c, DF_PP_CUBIC, X), {1, kType}, {6, kType}, {8, kType}, {10, kType}, {DF_PP_HYMAN, kOk});
  EDGES(int64_t, spline(c, 0, X), {DF_PP_AKIMA, kType}, {9, kType});
  EDGES(int64_t, spline(c, DF_PP_CUBIC, 2, X, bc2), {256, DF_ERROR_BAD_BC_TYPE}, {-1, DF_ERROR_BAD_BC_TYPE}, {255, kOk});
  return rows;
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
