// Writes the tables of the exponential and logarithm kernels from their defining formulas,
// evaluated with MPFR at 256 bits and rounded once to the storage type, and fits by the Remez
// exchange the piecewise single-precision logarithm rows that have no closed form.
//
//   fit_explog <source dir>    rewrites src/vm/kernels/{exp,log}/generated/*.inc
//   fit_explog                 prints both files to stdout
//
// The output is a deterministic function of this file: running it again reproduces the
// committed tables bit for bit (every value is printed as a hexadecimal float).
#include <mpfr.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr mpfr_prec_t kPrec = 256;

// A minimal value type over mpfr_t, enough for the formulas and the Remez linear algebra.
struct R {
  mpfr_t v;
  R() { mpfr_init2(v, kPrec); mpfr_set_zero(v, 1); }
  R(double d) { mpfr_init2(v, kPrec); mpfr_set_d(v, d, MPFR_RNDN); }
  R(const R& o) { mpfr_init2(v, kPrec); mpfr_set(v, o.v, MPFR_RNDN); }
  R& operator=(const R& o) { mpfr_set(v, o.v, MPFR_RNDN); return *this; }
  ~R() { mpfr_clear(v); }
  double d() const { return mpfr_get_d(v, MPFR_RNDN); }
  float f() const { return mpfr_get_flt(v, MPFR_RNDN); }
};
R operator+(const R& a, const R& b) { R r; mpfr_add(r.v, a.v, b.v, MPFR_RNDN); return r; }
R operator-(const R& a, const R& b) { R r; mpfr_sub(r.v, a.v, b.v, MPFR_RNDN); return r; }
R operator*(const R& a, const R& b) { R r; mpfr_mul(r.v, a.v, b.v, MPFR_RNDN); return r; }
R operator/(const R& a, const R& b) { R r; mpfr_div(r.v, a.v, b.v, MPFR_RNDN); return r; }
R operator-(const R& a) { R r; mpfr_neg(r.v, a.v, MPFR_RNDN); return r; }
R exp2r(const R& a) { R r; mpfr_exp2(r.v, a.v, MPFR_RNDN); return r; }
R logr(const R& a) { R r; mpfr_log(r.v, a.v, MPFR_RNDN); return r; }
R log1pr(const R& a) { R r; mpfr_log1p(r.v, a.v, MPFR_RNDN); return r; }
R absr(const R& a) { R r; mpfr_abs(r.v, a.v, MPFR_RNDN); return r; }
bool operator<(const R& a, const R& b) { return mpfr_less_p(a.v, b.v); }
R ratio(int num, int den) { return R(num) / R(den); }
// x rounded to the nearest multiple of 2^-bits.
R round_to_grid(const R& x, int bits) {
  R s = x * R(std::ldexp(1.0, bits));
  R r; mpfr_rint(r.v, s.v, MPFR_RNDN);
  return r / R(std::ldexp(1.0, bits));
}

std::string hexf(double x) {
  char buf[64];
  if (x == 0) return std::signbit(x) ? "-0x0p+0" : "0x0p+0";
  std::snprintf(buf, sizeof buf, "%a", x);
  return buf;
}

struct Out {
  std::string text;
  void line(const std::string& s) { text += s; text += '\n'; }
  void array(const char* type, const char* name, const std::vector<double>& v, bool is_float) {
    line(std::string("alignas(64) inline constexpr ") + type + " " + name + "[" + std::to_string(v.size()) + "] = {");
    std::string row = " ";
    for (size_t i = 0; i < v.size(); ++i) {
      std::string item = " " + hexf(v[i]) + (is_float ? "f" : "") + (i + 1 < v.size() ? "," : "");
      if (row.size() + item.size() > 98) { line(row); row = " "; }
      row += item;
    }
    line(row);
    line("};");
  }
};

float next_up(float x) { uint32_t b; std::memcpy(&b, &x, 4); ++b; std::memcpy(&x, &b, 4); return x; }

// ---- Remez exchange for the relative-error minimax of f over [a, b] ------------------------
// Polynomial sum_{j=first..deg} c_j u^j; with first = 1 the constant term is fixed at `c0`.
using Fn = R (*)(const R&);

std::vector<R> solve(std::vector<std::vector<R>> A, std::vector<R> y) {
  const size_t n = y.size();
  for (size_t c = 0; c < n; ++c) {
    size_t p = c;
    for (size_t r = c + 1; r < n; ++r)
      if (absr(A[p][c]) < absr(A[r][c])) p = r;
    std::swap(A[p], A[c]);
    std::swap(y[p], y[c]);
    for (size_t r = 0; r < n; ++r) {
      if (r == c) continue;
      const R f = A[r][c] / A[c][c];
      for (size_t k = c; k < n; ++k) A[r][k] = A[r][k] - f * A[c][k];
      y[r] = y[r] - f * y[c];
    }
  }
  for (size_t c = 0; c < n; ++c) y[c] = y[c] / A[c][c];
  return y;
}

R eval_poly(const std::vector<R>& c, const R& u) {
  R s = c.back();
  for (size_t j = c.size() - 1; j-- > 0;) s = s * u + c[j];
  return s;
}

// Returns coefficients c_0..c_deg (c_0 = c0 when fixed) minimising max |p/f - 1|.
std::vector<R> remez(Fn f, double a, double b, int deg, bool fix_c0, double c0) {
  const int first = fix_c0 ? 1 : 0;
  const int unknowns = deg + 1 - first;  // coefficients
  const int npts = unknowns + 1;         // plus the levelled error
  std::vector<R> ref(npts);
  for (int i = 0; i < npts; ++i) {
    const double t = std::cos(M_PI * (npts - 1 - i) / (npts - 1));
    ref[i] = R(a + (b - a) * (t + 1) / 2);
  }
  constexpr int kGrid = 6000;
  std::vector<R> grid(kGrid + 1), fg(kGrid + 1);
  for (int k = 0; k <= kGrid; ++k) {
    grid[k] = R(a) + (R(b) - R(a)) * R(k) / R(kGrid);
    fg[k] = f(grid[k]);
  }
  std::vector<R> c(deg + 1);
  for (int iter = 0; iter < 30; ++iter) {
    std::vector<std::vector<R>> A(npts, std::vector<R>(npts));
    std::vector<R> y(npts);
    for (int i = 0; i < npts; ++i) {
      const R fi = f(ref[i]);
      R pw = fix_c0 ? ref[i] : R(1);
      for (int j = 0; j < unknowns; ++j) { A[i][j] = pw; pw = pw * ref[i]; }
      A[i][unknowns] = (i % 2 ? -fi : fi);  // p - f = ±E f
      y[i] = fix_c0 ? fi - R(c0) : fi;
    }
    const std::vector<R> s = solve(A, y);
    c[0] = fix_c0 ? R(c0) : s[0];
    for (int j = 0; j < unknowns; ++j) c[j + first] = s[j];
    // New reference: one extremum of the relative error per sign run, then trimmed.
    std::vector<int> ext;
    std::vector<R> err(kGrid + 1);
    for (int k = 0; k <= kGrid; ++k) err[k] = eval_poly(c, grid[k]) / fg[k] - R(1);
    int best = 0;
    for (int k = 1; k <= kGrid + 1; ++k) {
      const bool end = k == kGrid + 1;
      if (end || (mpfr_sgn(err[k].v) != mpfr_sgn(err[best].v) && mpfr_sgn(err[k].v) != 0)) {
        ext.push_back(best);
        if (!end) best = k;
      } else if (absr(err[best]) < absr(err[k])) {
        best = k;
      }
    }
    while (static_cast<int>(ext.size()) > npts) {
      if (absr(err[ext.front()]) < absr(err[ext.back()])) ext.erase(ext.begin());
      else ext.pop_back();
    }
    if (static_cast<int>(ext.size()) < npts) break;  // converged as far as the grid resolves
    for (int i = 0; i < npts; ++i) ref[i] = grid[ext[i]];
  }
  return c;
}

R ln1p_over_u(const R& u) {
  if (mpfr_zero_p(u.v)) return R(1);
  return log1pr(u) / u;
}

// Largest relative error of the float-rounded row over its slice, in bits of accuracy.
double row_bits(const std::vector<float>& p, double a, double b) {
  double worst = 0;
  for (int k = 0; k <= 4000; ++k) {
    const R u = R(a) + (R(b) - R(a)) * R(k) / R(4000);
    R s(p.back());
    for (size_t j = p.size() - 1; j-- > 0;) s = s * u + R(p[j]);
    const double e = absr(s / ln1p_over_u(u) - R(1)).d();
    if (e > worst) worst = e;
  }
  return -std::log2(worst);
}

// Slice i of the single-precision Ln rows: the mantissa m in [0.75, 1.5) whose top four fraction
// bits are i; u = m - 1.
void slice(int i, double& a, double& b) {
  if (i < 8) { a = i / 16.0; b = (i + 1) / 16.0; }
  else { a = (1 + i / 16.0) / 2 - 1; b = (1 + (i + 1) / 16.0) / 2 - 1; }
}

void check(bool ok, const char* what) {
  if (!ok) { std::fprintf(stderr, "fit_explog: %s does not match its published value\n", what); std::exit(1); }
}

std::string exp_tables() {
  Out o;
  o.line("// Generated by tools/fit_explog.cpp; do not edit. Tables of the exponential kernels,");
  o.line("// each entry the defining value rounded once to nearest (low parts: rounding errors).");
  o.line("#pragma once");
  o.line("namespace zorp::vm::exptab {");
  std::vector<double> F, C, B, A, H32, L32r, L32a, H16, L16r, L16a, H64, L64, Hf16, Lf16, Lf16r;
  for (int i = 0; i < 32; ++i) {
    const R f = exp2r(ratio(i, 1024));
    F.push_back(next_up(f.f()));  // one unit up: offsets the truncated degree-1 polynomial
    B.push_back(f.f());
    const R c = exp2r(ratio(i, 32));
    C.push_back(c.f());
    const float h = c.f();
    H32.push_back(h);
    L32r.push_back(((c - R(h)) / R(h)).f());
    L32a.push_back((c - R(h)).f());
  }
  for (int i = 0; i < 16; ++i) {
    A.push_back(exp2r(ratio(i, 16384)).f());
    const R t = exp2r(ratio(i, 16));
    const double h = t.d();
    H16.push_back(h);
    L16r.push_back(((t - R(h)) / R(h)).d());
    L16a.push_back((t - R(h)).d());
    const float hf = t.f();
    Hf16.push_back(hf);
    Lf16.push_back((t - R(hf)).f());
    Lf16r.push_back(((t - R(hf)) / R(hf)).f());
  }
  for (int i = 0; i < 64; ++i) {
    const R t = exp2r(ratio(i, 64));
    const double h = t.d();
    H64.push_back(h);
    L64.push_back((t - R(h)).d());
  }
  uint64_t l1;
  std::memcpy(&l1, &L16r[8], 8);
  check(l1 == 0xBC93B3EFBF5E2228ull, "relative error of sqrt(2) in double");
  o.line("// single: 2^(i/1024) + 1 ulp, 2^(i/1024), 2^(i/32), 2^(i/16384)");
  o.array("float", "kF1024Up", F, true);
  o.array("float", "kF1024", B, true);
  o.array("float", "kC32", C, true);
  o.array("float", "kA16384", A, true);
  o.line("// single: 2^(i/32) high part, relative and absolute low parts");
  o.array("float", "kH32", H32, true);
  o.array("float", "kL32Rel", L32r, true);
  o.array("float", "kL32Abs", L32a, true);
  o.line("// single: 2^(i/16) high part, absolute and relative low parts");
  o.array("float", "kH16f", Hf16, true);
  o.array("float", "kL16fAbs", Lf16, true);
  o.array("float", "kL16fRel", Lf16r, true);
  o.line("// double: 2^(i/16) high part, relative and absolute low parts");
  o.array("double", "kH16", H16, false);
  o.array("double", "kL16Rel", L16r, false);
  o.array("double", "kL16Abs", L16a, false);
  o.line("// double: 2^(i/64) high and absolute low part (single-precision HA callout)");
  o.array("double", "kH64", H64, false);
  o.array("double", "kL64", L64, false);
  o.line("}  // namespace zorp::vm::exptab");
  return o.text;
}

std::string log_tables() {
  Out o;
  o.line("// Generated by tools/fit_explog.cpp; do not edit. Tables of the logarithm kernels.");
  o.line("#pragma once");
  o.line("namespace zorp::vm::logtab {");

  // Single-precision Ln LA (degree 3) and EP (degree 2) rows. Rows 0, 1, 8 and 15 are fixed
  // published values (0 and 15 keep P0 = 1 so that ln is exact at 1); the others are fitted.
  const float la_fixed[4][4] = {
      {1.0f, -0.4999891221523285f, 0.332448810338974f, -0.22675298154354095f},
      {0.9999898076057434f, -0.4995311200618744f, 0.32528093457221985f, -0.18774625658988953f},
      {0.9985433220863342f, -0.5236687660217285f, 0.19386669993400574f, -0.5856712460517883f},
      {1.0f, -0.5000016093254089f, 0.3330762982368469f, -0.2629842758178711f}};
  const float ep_fixed[4][3] = {{1.0f, -0.4994935691356659f, 0.3112337291240692f},
                                {0.9998483061790466f, -0.4947246015071869f, 0.27251094579696655f},
                                {1.0060604810714722f, -0.42724302411079407f, 0.6057038307189941f},
                                {1.0f, -0.49985674023628235f, 0.34541672468185425f}};
  const int fixed_rows[4] = {0, 1, 8, 15};
  std::vector<double> la[4], ep[3];
  std::string notes;
  for (int i = 0; i < 16; ++i) {
    double a, b;
    slice(i, a, b);
    int fx = -1;
    for (int k = 0; k < 4; ++k) if (fixed_rows[k] == i) fx = k;
    std::vector<float> pl(4), pe(3);
    if (fx >= 0) {
      for (int j = 0; j < 4; ++j) pl[j] = la_fixed[fx][j];
      for (int j = 0; j < 3; ++j) pe[j] = ep_fixed[fx][j];
    } else {
      const std::vector<R> cl = remez(ln1p_over_u, a, b, 3, false, 0);
      const std::vector<R> ce = remez(ln1p_over_u, a, b, 2, false, 0);
      for (int j = 0; j < 4; ++j) pl[j] = cl[j].f();
      for (int j = 0; j < 3; ++j) pe[j] = ce[j].f();
    }
    for (int j = 0; j < 4; ++j) la[j].push_back(pl[j]);
    for (int j = 0; j < 3; ++j) ep[j].push_back(pe[j]);
    char buf[160];
    std::snprintf(buf, sizeof buf, "//   row %2d  u in [%+.6f, %+.6f)  LA %.1f bits  EP %.1f bits%s", i, a, b,
                  row_bits(pl, a, b), row_bits(pe, a, b), fx >= 0 ? "  (fixed)" : "");
    notes += buf;
    notes += '\n';
  }
  o.line("// single Ln LA and EP: rows of ln(1+u)/u per slice of the mantissa, relative accuracy:");
  o.text += notes;
  for (int j = 0; j < 4; ++j) o.array("float", ("kLnLaP" + std::to_string(j)).c_str(), la[j], true);
  for (int j = 0; j < 3; ++j) o.array("float", ("kLnEpP" + std::to_string(j)).c_str(), ep[j], true);

  // Single-precision Ln HA: -ln(1 + i/32) split into a high part on the 2^-15 grid (so that
  // -e*ln2_high + high is exact) and the rounding error.
  std::vector<double> sh, sl;
  for (int i = 0; i < 32; ++i) {
    const R t = -log1pr(ratio(i, 32));
    const R h = round_to_grid(t, 15);
    sh.push_back(h.f());
    sl.push_back((t - h).f());
  }
  check(static_cast<float>(sh[16]) == -0.40545654296875f, "-ln(1.5) high part");
  o.line("// single Ln HA: -ln(1 + i/32), high part on the 2^-15 grid and the remainder");
  o.array("float", "kLnHaHigh", sh, true);
  o.array("float", "kLnHaLow", sl, true);
  // The same table in octaves and decades for Log2 and Log10 HA, so that e*log_b(2) + high is
  // exact and only the small remainder is multiplied by 1/ln(b).
  for (int base : {2, 10}) {
    std::vector<double> bh, bl;
    for (int i = 0; i < 32; ++i) {
      const R t = -log1pr(ratio(i, 32)) / logr(R(base));
      const R h = round_to_grid(t, 15);
      bh.push_back(h.f());
      bl.push_back((t - h).f());
    }
    const std::string b = std::to_string(base);
    o.line("// single Log" + b + " HA: -log" + b + "(1 + i/32), high part on the 2^-15 grid and the remainder");
    o.array("float", ("kLog" + b + "HaHigh").c_str(), bh, true);
    o.array("float", ("kLog" + b + "HaLow").c_str(), bl, true);
  }

  // Double-precision Ln: T[i] = -ln(1 + i/16) for i < 8, -ln(1/2 + i/32) for i >= 8; HA keeps
  // a high part on the 2^-40 grid (exact when added to e*ln2_high) and the remainder.
  std::vector<double> dt, dh, dl;
  for (int i = 0; i < 16; ++i) {
    const R t = i < 8 ? -log1pr(ratio(i, 16)) : -logr(ratio(1, 2) + ratio(i, 32));
    dt.push_back(t.d());
    const R h = round_to_grid(t, 40);
    dh.push_back(h.d());
    dl.push_back((t - h).d());
  }
  uint64_t h8;
  std::memcpy(&h8, &dh[8], 8);
  check(h8 == 0x3FD269621134C000ull, "high part of ln(4/3)");
  o.line("// double Ln: table of -ln(y) for the reciprocal grid; HA high part on the 2^-40 grid");
  o.array("double", "kLnD", dt, false);
  o.array("double", "kLnDHigh", dh, false);
  o.array("double", "kLnDLow", dl, false);
  for (int base : {2, 10}) {
    std::vector<double> bh, bl;
    for (int i = 0; i < 16; ++i) {
      const R t = (i < 8 ? -log1pr(ratio(i, 16)) : -logr(ratio(1, 2) + ratio(i, 32))) / logr(R(base));
      const R h = round_to_grid(t, 40);
      bh.push_back(h.d());
      bl.push_back((t - h).d());
    }
    const std::string b = std::to_string(base);
    o.line("// double Log" + b + " HA: the Ln table in units of log(" + b + "), high part on the 2^-40 grid");
    o.array("double", ("kLog" + b + "DHigh").c_str(), bh, false);
    o.array("double", ("kLog" + b + "DLow").c_str(), bl, false);
  }
  // ln2 in two parts: the high part with its low bits zero (exact in products with exponents),
  // the low part the rounding error, to full precision.
  const R ln2 = logr(R(2));
  const double ln2_hi = ln2.d();
  uint64_t hb;
  std::memcpy(&hb, &ln2_hi, 8);
  hb &= ~0xFFFFull;
  double hi;
  std::memcpy(&hi, &hb, 8);
  o.line("// ln2 = kLn2High + kLn2Low, the high part with 16 low bits zero");
  o.line("inline constexpr double kLn2High = " + hexf(hi) + ";");
  o.line("inline constexpr double kLn2Low = " + hexf((ln2 - R(hi)).d()) + ";");
  // Base changes for Log2 and Log10: 1/ln(b) and ln2/ln(b) as (high, low) pairs in both
  // precisions; the high part of log10(2) keeps 16 significant bits so that e*high is exact.
  const R log2e = R(1) / ln2, log10e = R(1) / logr(R(10)), log10_2 = ln2 / logr(R(10));
  auto pair_d = [&](const char* name, const R& v, int keep_bits) {
    double h = v.d();
    if (keep_bits) { int ex; std::frexp(h, &ex); h = round_to_grid(v, keep_bits - ex).d(); }
    o.line(std::string("inline constexpr double ") + name + "[2] = {" + hexf(h) + ", " + hexf((v - R(h)).d()) + "};");
  };
  auto pair_f = [&](const char* name, const R& v, int keep_bits) {
    float h = v.f();
    if (keep_bits) { int ex; std::frexp(h, &ex); h = round_to_grid(v, keep_bits - ex).f(); }
    o.line(std::string("inline constexpr float ") + name + "[2] = {" + hexf(h) + "f, " + hexf((v - R(h)).f()) + "f};");
  };
  o.line("// base changes: {high, low} of log2(e), log10(e) and log10(2)");
  pair_d("kLog2eD", log2e, 0);
  pair_d("kLog10eD", log10e, 0);
  pair_d("kLog10of2D", log10_2, 16);
  pair_f("kLog2eF", log2e, 0);
  pair_f("kLog10eF", log10e, 0);
  pair_f("kLog10of2F", log10_2, 12);
  o.line("}  // namespace zorp::vm::logtab");
  return o.text;
}

bool write(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "w");
  if (!f) { std::perror(path.c_str()); return false; }
  std::fputs(text.c_str(), f);
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string e = exp_tables(), l = log_tables();
  if (argc < 2) {
    std::fputs(e.c_str(), stdout);
    std::fputs(l.c_str(), stdout);
    return 0;
  }
  const std::string root = argv[1];
  return write(root + "/src/vm/kernels/exp/generated/exp_tables.inc", e) &&
                 write(root + "/src/vm/kernels/log/generated/log_tables.inc", l)
             ? 0
             : 1;
}
