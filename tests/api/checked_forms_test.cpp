// What only the interface does: saved images loaded with their length, the C++ forms' own size
// checks, the throwing and non-throwing forms agreeing on every status, and the processor check.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "api/fixture.h"
#include "zorp/core.h"
#include "zorp/zorp.hpp"

namespace {

using apitest::raw_stream;
namespace rng = zorp::rng;
namespace vm = zorp::vm;

// ---- loading images with their length -------------------------------------------------------------

// An MCG59 stream after a pairwise Gaussian carries chunks, so its image has chunk records.
std::vector<uint8_t> image_with_chunks() {
  StreamState* s = raw_stream(TARR_BRNG_MCG59);
  double g[3];
  EXPECT_EQ(_tarrdRngGaussian(1, s, 3, g, 0.0, 1.0), 0);
  EXPECT_GT(__tarrGetNumChunks(s), 0);
  std::vector<uint8_t> image = apitest::image_of(s);
  __tarrDeleteStream(&s);
  return image;
}

// Offset of the size field of the image's last chunk (walking the records as the loader does).
size_t last_chunk_size_field(const std::vector<uint8_t>& b) {
  uint32_t state, chunks = 0, size;
  std::memcpy(&state, &b[12], 4);
  std::memcpy(&chunks, &b[16], 2);
  size_t at = 24 + state, field = 0;
  for (uint32_t c = 0; c < chunks; ++c) {
    field = at + 20;
    std::memcpy(&size, &b[field], 4);
    at += 24 + size;
  }
  return field;
}

TEST(LoadWithLength, RefusesWhatTheBufferDoesNotHold) {
  const std::vector<uint8_t> chunked = image_with_chunks();
  StreamState* plain_stream = raw_stream(TARR_BRNG_MT19937);
  const std::vector<uint8_t> plain = apitest::image_of(plain_stream);
  __tarrDeleteStream(&plain_stream);
  std::vector<uint8_t> overstated = chunked;
  const size_t field = last_chunk_size_field(overstated);
  ++overstated[field];  // one more byte of data declared than the image holds

  struct Case {
    const char* what;
    const std::vector<uint8_t>* image;
    size_t size;
    int32_t expected;
  };
  const Case cases[] = {
      {"plain image, whole", &plain, plain.size(), 0},
      {"plain image, one byte short", &plain, plain.size() - 1, TARR_ERROR_MEMORY_FORMAT},
      {"header alone", &plain, 24, TARR_ERROR_MEMORY_FORMAT},
      {"seven bytes", &plain, 7, TARR_ERROR_MEMORY_FORMAT},
      {"empty", &plain, 0, TARR_ERROR_MEMORY_FORMAT},
      {"chunked image, whole", &chunked, chunked.size(), 0},
      {"chunked image, one byte short", &chunked, chunked.size() - 1, TARR_ERROR_MEMORY_FORMAT},
      {"chunked image, cut before the last chunk's size", &chunked, field + 3, TARR_ERROR_MEMORY_FORMAT},
      {"chunked image, cut after the last chunk's size", &chunked, field + 4, TARR_ERROR_MEMORY_FORMAT},
      {"a chunk declaring one byte more", &overstated, overstated.size(), TARR_ERROR_MEMORY_FORMAT},
      {"a chunk declaring one byte more, buffer one longer", &overstated, overstated.size() + 1, 0},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> buffer(*c.image);
    buffer.resize(std::max(buffer.size(), c.size));
    StreamState* s = nullptr;
    EXPECT_EQ(zorp_rng_load(&s, buffer.data(), c.size, 0), c.expected) << c.what;
    EXPECT_EQ(s != nullptr, c.expected == 0) << c.what;
    __tarrDeleteStream(&s);
  }
}

TEST(LoadWithLength, AbstractImagesOnlyWhenAsked) {
  apitest::AbstractStreams abstract;
  const std::string path = (std::filesystem::temp_directory_path() / "zorp_api_abstract.bin").string();
  for (StreamState* source : {abstract.i, abstract.d, abstract.s}) {
    const std::vector<uint8_t> image = apitest::image_of(source);
    StreamState* s = nullptr;
    EXPECT_EQ(zorp_rng_load(&s, image.data(), image.size(), 0), TARR_ERROR_BRNG_UNSUPPORTED);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(zorp_rng_load(&s, image.data(), image.size(), 1), 0);
    EXPECT_EQ(s->brng, source->brng);
    __tarrDeleteStream(&s);
    ASSERT_EQ(zorp_rng_save_file(source, path.c_str()), 0);
    EXPECT_EQ(zorp_rng_load_file(&s, path.c_str(), 0), TARR_ERROR_BRNG_UNSUPPORTED);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(zorp_rng_load_file(&s, path.c_str(), 1), 0);
    __tarrDeleteStream(&s);
  }
  std::remove(path.c_str());
  EXPECT_THROW(rng::stream::load(apitest::image_of(abstract.d)), zorp::error);
}

// ---- the two forms agree ------------------------------------------------------------------------------

struct Pair {
  std::string what;
  zorp::family family;
  int32_t expected;
  std::function<int32_t()> nothrow;
  std::function<void()> throwing;
};

// A pair: the status the non-throwing call must return, and the throwing call, whose text names the pair.
#define PAIR(family, expected, nothrow_call, ...) \
  Pair{#__VA_ARGS__, family, expected, [=] { return nothrow_call; }, [=] { __VA_ARGS__; }}

std::vector<Pair> pairs() {
  static std::vector<double> a4(4, 0.5), r4(4), r3(3), neg(4, -1.0);
  static std::vector<double> a5 = {1, 2, 3, 4, 5}, y2(2), y3(3);
  static std::vector<int64_t> ix_in = {0, 4}, ix_out = {0, 5}, mask3 = {1, 0, 1, 1, 0}, mask4 = {1, 1, 1, 1, 0};
  static std::vector<double> g(4), mean2 = {0, 0}, full3(3), full4 = {1, 0, 0, 1}, p3 = {0.2, 0.3, 0.5};
  static std::vector<int32_t> counts(5), counts6(6), k2(2);
  static std::vector<double> lambda1 = {1.0};
  static std::vector<uint8_t> cut = [] {
    std::vector<uint8_t> image = rng::stream(rng::brng::r250, 3).save();
    image.pop_back();
    return image;
  }();
  static rng::stream mt(rng::brng::mt19937, 5), mcg(rng::brng::mcg31, 5), mrg(rng::brng::mrg32k3a, 5);
  // Statistics: 3 observations of 2 components; data fitting: 2 functions on 4 points.
  static std::vector<double> obs = {1, 2, 3, 4, 5, 6}, v1(1), v2(2), v3(3), v4(4), v7(7), v8(8);
  static std::vector<double> two_orders = {0.25, 0.75}, px = {0, 1, 2, 3}, py(8, 1.0), sites2 = {0.5, 1.5};
  static std::vector<int64_t> cells1(1), cells2(2);
  static zorp::ss::task<double> st(obs, 2, 3);
  static zorp::df::task<double> ft = [] {
    zorp::df::task<double> t(px, py);
    t.spline(DF_PP_LINEAR, DF_PP_DEFAULT);
    t.construct();
    return t;
  }();
  static const std::vector<int32_t> value_and_slope = {1, 1};
  // What a refused constructing C entry would have made (it makes nothing).
  static StreamState* made = nullptr;
  static TarrSSTask* made_ss = nullptr;
  static DFTask* made_df = nullptr;
  static const int64_t zero = 0, three = 3, by_obs = TARR_SS_MATRIX_STORAGE_2;
  const auto fs = zorp::family::ss, fd = zorp::family::df;
  const auto fv = zorp::family::vm, fr = zorp::family::rng;
  const auto ha = vm::accuracy::ha;
  return {
      PAIR(fv, ZORP_VM_STATUS_BADSIZE, (vm::exp(a4, r3, vm::accuracy::ha, std::nothrow)), vm::exp(a4, r3)),
      PAIR(fv, 0, (vm::exp(a4, r4, ha, std::nothrow)), vm::exp(a4, r4)),
      PAIR(fv, ZORP_ERROR_BAD_ACCURACY, (vm::exp(a4, r4, vm::accuracy(7), std::nothrow)), vm::exp(a4, r4, vm::accuracy(7))),
      PAIR(fv, ZORP_VM_STATUS_ERRDOM, (vm::ln(neg, r4, ha, std::nothrow)), vm::ln(neg, r4)),
      PAIR(fv, ZORP_VM_STATUS_BADSIZE, (vm::pack_v(a5, ix_out, y2, ha, std::nothrow)), vm::pack_v(a5, ix_out, y2)),
      PAIR(fv, 0, (vm::pack_v(a5, ix_in, y2, ha, std::nothrow)), vm::pack_v(a5, ix_in, y2)),
      PAIR(fv, ZORP_VM_STATUS_BADSIZE, (vm::pack_i(a5, 5, y2, ha, std::nothrow)), vm::pack_i(a5, 5, y2)),
      PAIR(fv, 0, (vm::pack_i(a5, 4, y2, ha, std::nothrow)), vm::pack_i(a5, 4, y2)),
      PAIR(fv, ZORP_VM_STATUS_BADSIZE, (vm::pack_i(a5, -1, y2, ha, std::nothrow)), vm::pack_i(a5, -1, y2)),
      PAIR(fv, 0, (vm::pack_i(a5, 0, y2, ha, std::nothrow)), vm::pack_i(a5, 0, y2)),
      PAIR(fv, ZORP_VM_STATUS_BADSIZE, (vm::pack_m(a5, mask3, y2, ha, std::nothrow)), vm::pack_m(a5, mask3, y2)),
      PAIR(fv, 0, (vm::pack_m(a5, mask3, y3, ha, std::nothrow)), vm::pack_m(a5, mask3, y3)),
      PAIR(fv, ZORP_VM_STATUS_BADSIZE, (vm::unpack_m(y3, a5, mask4, ha, std::nothrow)), vm::unpack_m(y3, a5, mask4)),
      PAIR(fv, 0, (vm::unpack_m(y3, a5, mask3, ha, std::nothrow)), vm::unpack_m(y3, a5, mask3)),
      PAIR(fr, TARR_ERROR_BAD_ARGUMENTS, (mt.gaussian(g, 0.0, 0.0, rng::method::standard, std::nothrow)), mt.gaussian(g, 0.0, 0.0)),
      PAIR(fr, TARR_ERROR_UNKNOWN_METHOD, (mt.gaussian(g, 0.0, 1.0, 5, std::nothrow)), mt.gaussian(g, 0.0, 1.0, 5)),
      PAIR(fr, TARR_ERROR_BAD_ARGUMENTS, (mt.gaussian_mv(g, TARR_MV_FULL, mean2, full3, 0, std::nothrow)), mt.gaussian_mv(g, TARR_MV_FULL, mean2, full3)),
      PAIR(fr, 0, (mt.gaussian_mv(g, TARR_MV_FULL, mean2, full4, 0, std::nothrow)), mt.gaussian_mv(g, TARR_MV_FULL, mean2, full4)),
      PAIR(fr, TARR_ERROR_BAD_ARGUMENTS, (mt.multinomial(counts, 4, p3, std::nothrow)), mt.multinomial(counts, 4, p3)),
      PAIR(fr, 0, (mt.multinomial(counts6, 4, p3, std::nothrow)), mt.multinomial(counts6, 4, p3)),
      PAIR(fr, TARR_ERROR_BAD_ARGUMENTS, (mt.poisson(k2, lambda1, std::nothrow)), mt.poisson(k2, lambda1)),
      PAIR(fr, TARR_ERROR_NO_LEAPFROG, (mt.leapfrog(0, 2, std::nothrow)), mt.leapfrog(0, 2)),
      PAIR(fr, 0, (mcg.leapfrog(0, 2, std::nothrow)), mcg.leapfrog(0, 2)),
      // The constructors: the C entries they stand on are the non-throwing form.
      PAIR(fr, TARR_ERROR_INVALID_BRNG, (zorp_rng_new_stream(&made, 0x12345u, 1)), rng::stream(rng::brng(0x12345u), 1)),
      PAIR(fr, TARR_ERROR_MEMORY_FORMAT, (zorp_rng_load(&made, cut.data(), cut.size(), 0)), rng::stream::load(cut)),
      PAIR(fs, ZORP_ERROR_BAD_SIZE, (st.mean(v1, std::nothrow)), st.mean(v1)),
      PAIR(fs, 0, (st.mean(v2, std::nothrow)), st.mean(v2)),
      PAIR(fs, ZORP_ERROR_BAD_SIZE, (st.weights(v2, std::nothrow)), st.weights(v2)),
      PAIR(fs, ZORP_ERROR_BAD_SIZE, (st.covariance(v2, zorp::ss::matrix::lower_packed, std::nothrow)), st.covariance(v2, zorp::ss::matrix::lower_packed)),
      PAIR(fs, 0, (st.covariance(v3, zorp::ss::matrix::upper_packed, std::nothrow)), st.covariance(v3, zorp::ss::matrix::upper_packed)),
      PAIR(fs, ZORP_ERROR_BAD_SIZE, (st.covariance(v3, zorp::ss::matrix::full, std::nothrow)), st.covariance(v3)),
      PAIR(fs, 0, (st.covariance(v4, zorp::ss::matrix::full, std::nothrow)), st.covariance(v4)),
      PAIR(fs, TARR_SS_ERROR_BAD_STORAGE, (st.covariance(v8, zorp::ss::matrix(3), std::nothrow)), st.covariance(v8, zorp::ss::matrix(3))),
      PAIR(fs, ZORP_ERROR_BAD_SIZE, (st.quantiles(two_orders, v3, std::nothrow)), st.quantiles(two_orders, v3)),
      PAIR(fs, 0, (st.quantiles(two_orders, v4, std::nothrow)), st.quantiles(two_orders, v4)),
      PAIR(fs, ZORP_ERROR_BAD_SIZE, (st.edit(TARR_SS_PARAM_OBSERVATIONS, std::span(obs).first(5), std::nothrow)), st.edit(TARR_SS_PARAM_OBSERVATIONS, std::span(obs).first(5))),
      PAIR(fs, TARR_SS_ERROR_BAD_METHOD, (st.compute(TARR_SS_MEAN, 0, std::nothrow)), st.compute(TARR_SS_MEAN, 0)),
      PAIR(fs, TARR_SS_ERROR_BAD_DIMENSION, (zorp_ss_dnew_task(&made_ss, &zero, &three, &by_obs, obs.data(), nullptr, nullptr, 1)), zorp::ss::task<double>(obs, 0, 3)),
      PAIR(fd, ZORP_ERROR_BAD_SIZE, (ft.interpolate(sites2, v7, value_and_slope, std::nothrow)), ft.interpolate(sites2, v7, value_and_slope)),
      PAIR(fd, 0, (ft.interpolate(sites2, v8, value_and_slope, std::nothrow)), ft.interpolate(sites2, v8, value_and_slope)),
      PAIR(fd, ZORP_ERROR_BAD_SIZE, (ft.interpolate(sites2, v3, {}, std::nothrow)), ft.interpolate(sites2, v3)),
      PAIR(fd, ZORP_ERROR_BAD_SIZE, (ft.integrate(sites2, v1, v8, std::nothrow)), ft.integrate(sites2, v1, v8)),
      PAIR(fd, ZORP_ERROR_BAD_SIZE, (ft.integrate(sites2, v2, v3, std::nothrow)), ft.integrate(sites2, v2, v3)),
      PAIR(fd, 0, (ft.integrate(sites2, v2, v4, std::nothrow)), ft.integrate(sites2, v2, v4)),
      PAIR(fd, ZORP_ERROR_BAD_SIZE, (ft.search(sites2, cells1, std::nothrow)), ft.search(sites2, cells1)),
      PAIR(fd, 0, (ft.search(sites2, cells2, std::nothrow)), ft.search(sites2, cells2)),
      PAIR(fd, ZORP_ERROR_BAD_SIZE, (ft.spline(DF_PP_CUBIC, DF_PP_NATURAL, DF_BC_1ST_LEFT_DER | DF_BC_2ND_RIGHT_DER, v1, 0, {}, std::nothrow)), ft.spline(DF_PP_CUBIC, DF_PP_NATURAL, DF_BC_1ST_LEFT_DER | DF_BC_2ND_RIGHT_DER, v1)),
      PAIR(fd, DF_ERROR_BAD_SPLINE_ORDER, (ft.spline(7, DF_PP_DEFAULT, 0, {}, 0, {}, std::nothrow)), ft.spline(7, DF_PP_DEFAULT)),
      PAIR(fd, DF_ERROR_BAD_NX, (zorp_df_dnew_task(&made_df, 1, px.data(), DF_NON_UNIFORM_PARTITION, 1, py.data(), DF_MATRIX_STORAGE_ROWS, 1)), zorp::df::task<double>(std::span(px).first(1), std::span(py).first(1))),
      PAIR(fr, TARR_ERROR_BAD_ARGUMENTS, (mrg.skip_ahead(std::span<const uint64_t>(), std::nothrow)), mrg.skip_ahead(std::span<const uint64_t>())),
  };
}

TEST(Forms, ThrowingAndNonThrowingAgree) {
  for (const Pair& p : pairs()) {
    const int32_t status = p.nothrow();
    EXPECT_EQ(status, p.expected) << p.what;
    if (status < 0) {
      try {
        p.throwing();
        ADD_FAILURE() << p.what << ": nothing thrown";
      } catch (const zorp::error& e) {
        EXPECT_EQ(e.status(), status) << p.what;
        EXPECT_EQ(e.which(), p.family) << p.what;
        EXPECT_STREQ(e.what(), zorp_status_message(static_cast<int32_t>(p.family), status)) << p.what;
      }
    } else {
      EXPECT_NO_THROW(p.throwing()) << p.what;
    }
  }
}

// What only the C++ tasks know: the data's length, and the integer items they own, which a refused
// edit must leave as they were (a covariance registered under full storage still needs p * p).
TEST(Forms, TasksHoldTheirDataAndItems) {
  const std::vector<double> x(6, 1.0), y(7, 1.0);
  auto status_of = [](auto make) {
    try {
      make();
      return 0;
    } catch (const zorp::error& e) {
      return e.status();
    }
  };
  EXPECT_EQ(status_of([&] { zorp::ss::task<double>(std::span(x).first(5), 2, 3); }), ZORP_ERROR_BAD_SIZE);
  EXPECT_EQ(status_of([&] { zorp::ss::task<double>(x, 2, 3); }), 0);
  EXPECT_EQ(status_of([&] { zorp::df::task<double>(std::span(x).first(4), y); }), ZORP_ERROR_BAD_SIZE);
  EXPECT_EQ(status_of([&] { zorp::df::task<double>(std::span(x).first(4), std::span(y).first(8 - 4)); }), 0);

  zorp::ss::task<double> t(x, 2, 3);
  std::vector<double> three(3);
  EXPECT_EQ(t.edit(TARR_SS_PARAM_COV_STORAGE, int64_t{7}, std::nothrow), TARR_SS_ERROR_BAD_STORAGE);
  EXPECT_EQ(t.edit(TARR_SS_PARAM_COV, three, std::nothrow), ZORP_ERROR_BAD_SIZE);
  EXPECT_EQ(t.edit(TARR_SS_PARAM_COV_STORAGE, int64_t{TARR_SS_MATRIX_STORAGE_L_PACKED}, std::nothrow), 0);
  EXPECT_EQ(t.edit(TARR_SS_PARAM_COV, three, std::nothrow), 0);
  EXPECT_EQ(t.edit(80, int64_t{1}, std::nothrow), TARR_SS_ERROR_BAD_PARAM_NUMBER);
  std::vector<double> one(1);
  EXPECT_EQ(t.edit(TARR_SS_PARAM_DIMENSION, int64_t{0}, std::nothrow), TARR_SS_ERROR_BAD_DIMENSION);
  EXPECT_EQ(t.mean(one, std::nothrow), ZORP_ERROR_BAD_SIZE);  // still p = 2
  EXPECT_EQ(t.edit(TARR_SS_PARAM_DIMENSION, int64_t{1}, std::nothrow), 0);
  EXPECT_EQ(t.mean(one, std::nothrow), 0);
}

TEST(Forms, EveryStatusHasItsOwnSentence) {
  // Two families' codes of the same number say different things; an unknown code says so.
  EXPECT_STRNE(zorp_status_message(ZORP_FAMILY_VM, -2), zorp_status_message(ZORP_FAMILY_RNG, -2));
  EXPECT_STREQ(zorp_status_message(ZORP_FAMILY_RNG, -1), "unknown status");
  EXPECT_STREQ(zorp_status_message(ZORP_FAMILY_VM, ZORP_ERROR_NO_AVX512),
               zorp_status_message(ZORP_FAMILY_RNG, ZORP_ERROR_NO_AVX512));
  // The interface's own codes mean the same in every family; the statistics codes they used to
  // share numbers with keep their own sentences.
  for (int32_t own : {ZORP_ERROR_NO_AVX512, ZORP_ERROR_NO_LIBRARY, ZORP_ERROR_BAD_ACCURACY, ZORP_ERROR_TASK_KIND,
                      ZORP_ERROR_BAD_SIZE})
    for (int32_t family : {ZORP_FAMILY_SS, ZORP_FAMILY_DF})
      EXPECT_STREQ(zorp_status_message(family, own), zorp_status_message(ZORP_FAMILY_VM, own)) << own;
  EXPECT_STRNE(zorp_status_message(ZORP_FAMILY_SS, TARR_SS_ERROR_BAD_DIMENSION),
               zorp_status_message(ZORP_FAMILY_SS, ZORP_ERROR_NO_LIBRARY));
  EXPECT_STRNE(zorp_status_message(ZORP_FAMILY_SS, TARR_SS_ERROR_ALLOCATION),
               zorp_status_message(ZORP_FAMILY_SS, ZORP_ERROR_NO_AVX512));
}

// ---- the processor check ---------------------------------------------------------------------------
// Runs in a fresh process (the library is loaded once per process, and only a refusal is asked
// again): with OSXSAVE hidden every entry refuses, writing nothing; shown again, the same calls run.
void refused_then_loaded() {
  zorp_core_mask_cpuid1_ecx(1u << 27);
  int failures = 0;
  double a[2] = {0.5, 1.0}, r[2] = {7, 7};
  failures += zorp_vm_dExp(2, a, r, ZORP_VM_HA) != ZORP_ERROR_NO_AVX512;
  failures += r[0] != 7 || r[1] != 7;
  StreamState* s = nullptr;
  failures += zorp_rng_new_stream(&s, TARR_BRNG_MT19937, 1) != ZORP_ERROR_NO_AVX512;
  failures += s != nullptr;
  try {
    rng::stream cxx(rng::brng::mt19937, 1);
    ++failures;
  } catch (const zorp::error& e) {
    failures += e.status() != ZORP_ERROR_NO_AVX512;
    failures += std::string(e.what()).find("AVX-512") == std::string::npos;
  }
  failures += zorp::ready(std::nothrow) != ZORP_ERROR_NO_AVX512;
  TarrSSTask* task = nullptr;
  const int64_t p = 1, n = 2, layout = TARR_SS_MATRIX_STORAGE_1;
  failures += zorp_ss_dnew_task(&task, &p, &n, &layout, a, nullptr, nullptr, 1) != ZORP_ERROR_NO_AVX512;
  failures += task != nullptr;
  zorp_core_mask_cpuid1_ecx(0);
  failures += zorp_ready() != 0;
  failures += zorp_vm_dExp(2, a, r, ZORP_VM_HA) != 0 || r[0] == 7;
  std::exit(failures);
}

TEST(Processor, WithoutItEveryEntryRefusesAndLoadsNothing) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(refused_then_loaded(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
