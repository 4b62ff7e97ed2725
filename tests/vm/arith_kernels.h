// The real arithmetic and rounding kernels as the tests see them: every member by name and
// calling shape, reached through its dispatch tables by name (as a host reaches them), so that
// one table-driven test covers every type, slot and storage form.
#pragma once
#include <dlfcn.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>


namespace zorp::test {

enum class Shape { A1R1, A2R1, A1R2, LinFrac };

struct Member {
  const char* name;
  Shape shape;
};

inline const std::vector<Member>& real_members() {
  static const std::vector<Member> m = {
      {"Abs", Shape::A1R1},       {"Sqr", Shape::A1R1},      {"Inv", Shape::A1R1},
      {"Sqrt", Shape::A1R1},      {"Ceil", Shape::A1R1},     {"Floor", Shape::A1R1},
      {"Frac", Shape::A1R1},      {"NearbyInt", Shape::A1R1}, {"Rint", Shape::A1R1},
      {"Round", Shape::A1R1},     {"Trunc", Shape::A1R1},    {"Add", Shape::A2R1},
      {"Sub", Shape::A2R1},       {"Mul", Shape::A2R1},      {"Div", Shape::A2R1},
      {"Fdim", Shape::A2R1},      {"Fmax", Shape::A2R1},     {"Fmin", Shape::A2R1},
      {"MaxMag", Shape::A2R1},    {"MinMag", Shape::A2R1},   {"CopySign", Shape::A2R1},
      {"NextAfter", Shape::A2R1}, {"Remainder", Shape::A2R1}, {"Fmod", Shape::A2R1},
      {"Modf", Shape::A1R2},      {"LinearFrac", Shape::LinFrac}};
  return m;
}

// Test binaries and tools link the library, so it is found by its file name among the loaded
// objects.
inline void* kernel_library() {
  static void* h = dlopen(ZORP_KERNEL_FILE, RTLD_NOW | RTLD_NOLOAD);
  return h;
}

template <typename T>
constexpr char type_letter() {
  return sizeof(T) == 4 ? 's' : 'd';
}

// The table of <t><name>[I]; null when the function is not exported.
template <typename T>
void* const* table(const std::string& name, bool strided) {
  const std::string sym = std::string("zorp_fenn_kernel_") + type_letter<T>() + name + (strided ? "I" : "") + "_ttab";
  return static_cast<void* const*>(dlsym(kernel_library(), sym.c_str()));
}

// Scalars of LinearFrac used whenever the tests call it generically.
template <typename T>
struct LinFracScalars {
  static constexpr T sa = T(1.5), ha = T(-0.25), sb = T(-2), hb = T(3);
};

// One call of a member. `inc` = {inca, incb, incr1, incr2}; strided forms use them, contiguous
// forms ignore them. Unused arrays may be null.
template <typename T>
void call(const Member& m, int slot, bool strided, int32_t n, const T* a, const T* b, T* r1, T* r2,
          const int32_t* inc = nullptr) {
  void* k = table<T>(m.name, strided)[slot];
  using LF = LinFracScalars<T>;
  switch (m.shape) {
    case Shape::A1R1:
      if (strided) reinterpret_cast<void (*)(int32_t, const T*, int32_t, T*, int32_t)>(k)(n, a, inc[0], r1, inc[2]);
      else reinterpret_cast<void (*)(int32_t, const T*, T*)>(k)(n, a, r1);
      break;
    case Shape::A2R1:
      if (strided)
        reinterpret_cast<void (*)(int32_t, const T*, int32_t, const T*, int32_t, T*, int32_t)>(k)(
            n, a, inc[0], b, inc[1], r1, inc[2]);
      else reinterpret_cast<void (*)(int32_t, const T*, const T*, T*)>(k)(n, a, b, r1);
      break;
    case Shape::A1R2:
      if (strided)
        reinterpret_cast<void (*)(int32_t, const T*, int32_t, T*, int32_t, T*, int32_t)>(k)(
            n, a, inc[0], r1, inc[2], r2, inc[3]);
      else reinterpret_cast<void (*)(int32_t, const T*, T*, T*)>(k)(n, a, r1, r2);
      break;
    case Shape::LinFrac:
      if (strided)
        reinterpret_cast<void (*)(int32_t, const T*, int32_t, const T*, int32_t, T, T, T, T, T*, int32_t)>(k)(
            n, a, inc[0], b, inc[1], LF::sa, LF::ha, LF::sb, LF::hb, r1, inc[2]);
      else
        reinterpret_cast<void (*)(int32_t, const T*, const T*, T, T, T, T, T*)>(k)(n, a, b, LF::sa, LF::ha,
                                                                                    LF::sb, LF::hb, r1);
      break;
  }
}

template <typename T>
using Bits = std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>;
template <typename T>
Bits<T> bits(T x) {
  Bits<T> b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}

}  // namespace zorp::test
