// For the tests of the compute routines: the routines of either precision under one name; the
// sentinel a failing call must leave in place; observations in either layout; a
// summary-statistics task created over caller data with 32-bit items, editable by parameter
// number or by slot, deleted at scope end; and the
// check-order ladder: a routine is called after each step that registers one more item, and
// each call must fail with the next code, leaving the results untouched, until the last succeeds.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <utility>
#include <vector>

#include "zorp/core.h"
#include "zorp/ss.h"

namespace zorp::test::ss {

template <typename T>
struct Task {
  int32_t p, n, storage;
  TarrSSTask* t = nullptr;
  Task(int32_t p_, int32_t n_, int layout, const T* x, const T* w = nullptr, const int32_t* indices = nullptr)
      : p(p_), n(n_), storage(layout == 1 ? TARR_SS_MATRIX_STORAGE_1 : TARR_SS_MATRIX_STORAGE_2) {
    if constexpr (sizeof(T) == 8) EXPECT_EQ(__tarrdSSNewTask(&t, &p, &n, &storage, x, w, indices, 0), 0);
    else EXPECT_EQ(__tarrsSSNewTask(&t, &p, &n, &storage, x, w, indices, 0), 0);
  }
  ~Task() { __tarrSSDeleteTask(&t); }
  Task(const Task&) = delete;
  Task& operator=(const Task&) = delete;
  void edit(int param, const void* v) {
    if constexpr (sizeof(T) == 8) {
      if (__tarrdSSEditTask(t, param, static_cast<const double*>(v)) == TARR_SS_ERROR_BAD_PARAM_NUMBER) {
        ASSERT_EQ(__tarriSSEditTask(t, param, v), 0) << param;
      }
    } else {
      if (__tarrsSSEditTask(t, param, static_cast<const float*>(v)) == TARR_SS_ERROR_BAD_PARAM_NUMBER) {
        ASSERT_EQ(__tarriSSEditTask(t, param, v), 0) << param;
      }
    }
  }
  // Registers each (parameter, address) pair in turn.
  void edit(std::initializer_list<std::pair<int, const void*>> items) {
    for (const auto& [param, v] : items) edit(param, v);
  }
  void set(int slot, const void* v) { reinterpret_cast<const void**>(t)[slot] = v; }
};

// Column-major position of entry (r, c) of a symmetric k x k matrix in storage word fmt.
inline int64_t at(int64_t r, int64_t c, int64_t k, int fmt) {
  if (fmt == TARR_SS_MATRIX_STORAGE_U_PACKED) return r <= c ? r + c * (c + 1) / 2 : c + r * (r + 1) / 2;
  if (fmt == TARR_SS_MATRIX_STORAGE_L_PACKED) return r >= c ? r + c * (2 * k - c - 1) / 2 : c + r * (2 * k - r - 1) / 2;
  return r + c * k;
}

// Observation-major values (obs[i * p + j]) as a task of that layout holds them: layout 1
// component-major, layout 2 as they are.
template <typename T>
std::vector<T> in_layout(const std::vector<double>& obs, int64_t p, int layout) {
  const int64_t n = p ? int64_t(obs.size()) / p : 0;
  std::vector<T> x(obs.size());
  for (int64_t i = 0; i < n; ++i)
    for (int64_t j = 0; j < p; ++j) x[layout == 1 ? j * n + i : i * p + j] = T(obs[i * p + j]);
  return x;
}

// What the tests put in result arrays; a routine that fails must leave it there.
constexpr double kSentinel = 777.0;
template <typename T>
bool untouched(const std::vector<T>& v) {
  for (T e : v)
    if (e != T(kSentinel)) return false;
  return true;
}

// The routines of either precision under one name.
template <typename T>
struct Fn {
  static constexpr bool d = sizeof(T) == 8;
  using R = int (*)(TarrSSTask*, uint64_t, uint32_t);
  static constexpr R quantiles = d ? _tarrdSSQuantiles : _tarrsSSQuantiles;
  static constexpr R stream = d ? _tarrdSSStreamQuantiles : _tarrsSSStreamQuantiles;
  static constexpr R sort = d ? _tarrdSSSort : _tarrsSSSort;
  static constexpr R wmedian = d ? _tarrdSSWMedian : _tarrsSSWMedian;
  static constexpr R mad = d ? _tarrdSSMAD : _tarrsSSMAD;
  static constexpr R pooled = d ? _tarrdSSPooledCovariance : _tarrsSSPooledCovariance;
  static constexpr R partial = d ? _tarrdSSPartialCovariance : _tarrsSSPartialCovariance;
  static constexpr R robust = d ? _tarrdSSRobustCovariance : _tarrsSSRobustCovariance;
  static constexpr R outliers = d ? _tarrdSSOutliersDetection : _tarrsSSOutliersDetection;
  static constexpr R mahalanobis = d ? _tarrdSSMahDistance : _tarrsSSMahDistance;
  static constexpr R missing = d ? _tarrdSSMissingValues : _tarrsSSMissingValues;
  static constexpr R repair = d ? _tarrdSSCorParametrization : _tarrsSSCorParametrization;
  static void qsort(int n, T* x) {
    if constexpr (d) __tarrdQSort(n, x); else __tarrsQSort(n, x);
  }
  static void qsort_step(int n, T* x, int s) {
    if constexpr (d) __tarrdQSortStep(n, x, s); else __tarrsQSortStep(n, x, s);
  }
  static T select(int n, T* x, int k) {
    if constexpr (d) return __tarrdQSortSelect(n, x, k); else return __tarrsQSortSelect(n, x, k);
  }
};
using Precisions = testing::Types<float, double>;

// One rung: the code the call returns now, and what to register before the next call.
struct Rung {
  int code;
  std::function<void()> then;
};
// Runs the ladder; `untouched` says whether the results still hold what the test put there.
inline void climb(const std::function<int()>& call, const std::vector<Rung>& rungs,
                  const std::function<bool()>& untouched) {
  for (size_t i = 0; i < rungs.size(); ++i) {
    EXPECT_EQ(call(), rungs[i].code) << "rung " << i;
    if (rungs[i].code != 0) {
      EXPECT_TRUE(untouched()) << "rung " << i;
    }
    if (rungs[i].then) rungs[i].then();
  }
}

// Makes the k-th call of one kind (`hook` is the host core's allocation or LAPACK fault switch)
// fail from the moment `call` arms it, for k = 1, 2, ... until a call gets through or k reaches
// `limit`; each failing call's code goes to `expect`, and no call may leave a block allocated.
// Returns the k that got through.
inline int walk_failures(void (*hook)(int64_t), int limit,
                         const std::function<int(const std::function<void()>& arm)>& call,
                         const std::function<void(int k, int code)>& expect) {
  const int64_t live = zorp_core_live_allocations();
  int k = 1;
  for (; k < limit; ++k) {
    const int code = call([&] { hook(k); });
    hook(0);
    EXPECT_EQ(zorp_core_live_allocations(), live) << k;
    if (code == 0) break;
    expect(k, code);
  }
  return k;
}

}  // namespace zorp::test::ss
