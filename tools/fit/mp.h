// The fitter's arithmetic: a small value type over MPFR at 256 bits (enough that the formulas
// and the Remez linear algebra carry no error into a double-precision coefficient), and the
// printer of generated C++ arrays (every value as a hexadecimal float, so the files are exact
// and a regeneration is a byte-for-byte comparison).
#pragma once
#include <mpfr.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace fit {

inline constexpr mpfr_prec_t kPrec = 256;

struct R {
  mpfr_t v;
  R() { mpfr_init2(v, kPrec); mpfr_set_zero(v, 1); }
  R(double d) { mpfr_init2(v, kPrec); mpfr_set_d(v, d, MPFR_RNDN); }
  R(const R& o) { mpfr_init2(v, kPrec); mpfr_set(v, o.v, MPFR_RNDN); }
  R& operator=(const R& o) { mpfr_set(v, o.v, MPFR_RNDN); return *this; }
  ~R() { mpfr_clear(v); }
  double d() const { return mpfr_get_d(v, MPFR_RNDN); }
  float f() const { return mpfr_get_flt(v, MPFR_RNDN); }
  bool zero() const { return mpfr_zero_p(v); }
};
inline R operator+(const R& a, const R& b) { R r; mpfr_add(r.v, a.v, b.v, MPFR_RNDN); return r; }
inline R operator-(const R& a, const R& b) { R r; mpfr_sub(r.v, a.v, b.v, MPFR_RNDN); return r; }
inline R operator*(const R& a, const R& b) { R r; mpfr_mul(r.v, a.v, b.v, MPFR_RNDN); return r; }
inline R operator/(const R& a, const R& b) { R r; mpfr_div(r.v, a.v, b.v, MPFR_RNDN); return r; }
inline R operator-(const R& a) { R r; mpfr_neg(r.v, a.v, MPFR_RNDN); return r; }
inline bool operator<(const R& a, const R& b) { return mpfr_less_p(a.v, b.v); }
inline R abs(const R& a) { R r; mpfr_abs(r.v, a.v, MPFR_RNDN); return r; }
inline R exp(const R& a) { R r; mpfr_exp(r.v, a.v, MPFR_RNDN); return r; }
inline R exp2(const R& a) { R r; mpfr_exp2(r.v, a.v, MPFR_RNDN); return r; }
inline R exp10(const R& a) { R r; mpfr_exp10(r.v, a.v, MPFR_RNDN); return r; }
inline R expm1(const R& a) { R r; mpfr_expm1(r.v, a.v, MPFR_RNDN); return r; }
inline R log(const R& a) { R r; mpfr_log(r.v, a.v, MPFR_RNDN); return r; }
inline R log1p(const R& a) { R r; mpfr_log1p(r.v, a.v, MPFR_RNDN); return r; }
inline R sqrt(const R& a) { R r; mpfr_sqrt(r.v, a.v, MPFR_RNDN); return r; }
inline R sin(const R& a) { R r; mpfr_sin(r.v, a.v, MPFR_RNDN); return r; }
inline R cos(const R& a) { R r; mpfr_cos(r.v, a.v, MPFR_RNDN); return r; }
inline R ratio(int num, int den) { return R(num) / R(den); }
inline R ln2() { return log(R(2)); }
// x rounded to the nearest multiple of 2^-bits.
inline R round_to_grid(const R& x, int bits) {
  const R s = x * R(std::ldexp(1.0, bits));
  R r;
  mpfr_rint(r.v, s.v, MPFR_RNDN);
  return r / R(std::ldexp(1.0, bits));
}

// Storage precision of a generated value: what the kernel reads, and the precision a fitted
// coefficient is rounded to.
enum class Prec { Single, Double };
inline const char* type_name(Prec p) { return p == Prec::Single ? "float" : "double"; }
inline double round_to(const R& x, Prec p) { return p == Prec::Single ? double(x.f()) : x.d(); }

inline std::string hexf(double x) {
  if (x == 0) return std::signbit(x) ? "-0x0p+0" : "0x0p+0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%a", x);
  return buf;
}
inline std::string literal(double x, Prec p) { return hexf(x) + (p == Prec::Single ? "f" : ""); }

// Text of one generated file.
struct Out {
  std::string text;
  void line(const std::string& s) { text += s; text += '\n'; }
  // alignas(64) inline constexpr <type> name[n] = { ... }; wrapped at 100 columns.
  void array(Prec p, const std::string& name, const std::vector<double>& v) {
    line(std::string("alignas(64) inline constexpr ") + type_name(p) + " " + name + "[" +
         std::to_string(v.size()) + "] = {");
    items(p, v);
    line("};");
  }
  // A table of rows, one row per coefficient of a piecewise polynomial.
  void array2(Prec p, const std::string& name, const std::vector<std::vector<double>>& rows) {
    line(std::string("alignas(64) inline constexpr ") + type_name(p) + " " + name + "[" +
         std::to_string(rows.size()) + "][" + std::to_string(rows[0].size()) + "] = {");
    for (size_t r = 0; r < rows.size(); ++r) {
      line(" {");
      items(p, rows[r]);
      line(r + 1 < rows.size() ? " }," : " }");
    }
    line("};");
  }
  void items(Prec p, const std::vector<double>& v) {
    std::string row(1, ' ');
    for (size_t i = 0; i < v.size(); ++i) {
      std::string item(1, ' ');
      item += literal(v[i], p);
      if (i + 1 < v.size()) item += ',';
      if (row.size() + item.size() > 98) {
        line(row);
        row.assign(1, ' ');
      }
      row += item;
    }
    line(row);
  }
};

inline uint64_t bits_of(double x) { uint64_t b; std::memcpy(&b, &x, 8); return b; }
inline uint32_t bits_of(float x) { uint32_t b; std::memcpy(&b, &x, 4); return b; }
inline double from_bits64(uint64_t b) { double x; std::memcpy(&x, &b, 8); return x; }
inline float from_bits32(uint32_t b) { float x; std::memcpy(&x, &b, 4); return x; }

}  // namespace fit
