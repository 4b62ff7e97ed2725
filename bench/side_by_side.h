// Side by side: every kernel a vector-math benchmark registers, ours and the peers', timed in
// interleaved rounds at both sizes, and each of our slots set against the fastest peer of its
// accuracy class. Google Benchmark times one kernel after another, so a slow spell of the
// machine lands on whichever kernel runs then; here every round times each kernel of a function
// once, in a rotating order, and the figure is the median over the rounds.
//
//   bench_vm_trig --side-by-side[=REGEX] [--rounds=N] [--who=REGEX]
//
// REGEX picks functions by name (all by default), --who the kernels by who they are (ours are
// zorp_LA, zorp_HA, zorp_EP, or zorp for a function with one kernel in every slot). The output is
// a Markdown table and, after it, the slots below 1.0x and the accurate slots below 1.5x SLEEF u10.
//
// The classes: a peer counts against our HA slot when it promises about one ulp (SLEEF u05, u10
// and u15; GSL, the C library's scalar loops and std::complex only where SLEEF has no vector form
// of the function), against LA also when it promises four (SLEEF u35, libmvec), and against EP
// whatever it promises. A kernel that fills every slot meets every peer.
#pragma once

#include <x86intrin.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace vmbench::side {

// A kernel at one size with its arrays ready: runs it once and returns the ticks it took.
using Run = std::function<uint64_t()>;

struct Entry {
  std::string fn, who;
  std::function<Run(size_t)> prepare;
};

inline std::vector<Entry>& entries() {
  static std::vector<Entry> all;
  return all;
}

enum class Class { LA, HA, EP, All };

// Which of our slots an entry is, or -1 for a peer.
inline int slot_of(const std::string& who) {
  if (who == "zorp_LA") return int(Class::LA);
  if (who == "zorp_HA") return int(Class::HA);
  if (who == "zorp_EP") return int(Class::EP);
  if (who == "zorp") return int(Class::All);
  return -1;
}
inline bool is_sleef_vector_ha(const std::string& who) {
  return who == "sleef_u05" || who == "sleef_u10" || who == "sleef_u15";
}
// Does the peer `who` count against slot `c`? `sleef_ha` says whether the function has a SLEEF
// vector form of about one ulp, in which case the scalar loops no longer count for HA.
inline bool counts(Class c, const std::string& who, bool sleef_ha) {
  if (c == Class::EP || c == Class::All) return true;
  const bool ha = is_sleef_vector_ha(who) || (!sleef_ha && (who == "gsl" || who == "libm" || who == "glibc" ||
                                                            who == "std_complex"));
  if (c == Class::HA) return ha;
  return ha || who == "sleef_u35" || who == "libmvec";
}

inline double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t m = v.size() / 2;
  return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

// Ticks per element of each kernel, medians over `rounds` interleaved rounds. Each sample repeats
// its kernel until it has run for about 2e6 ticks (about a millisecond), so that short calls
// are not lost in the timer's granularity.
inline std::vector<double> time_together(const std::vector<Run>& runs, size_t n, int rounds) {
  constexpr uint64_t kSampleTicks = 2000000;
  std::vector<uint64_t> reps(runs.size());
  for (size_t i = 0; i < runs.size(); ++i) {
    runs[i]();  // warm the caches and the page tables
    const uint64_t once = std::max<uint64_t>(runs[i](), 1);
    reps[i] = std::max<uint64_t>(1, kSampleTicks / once);
  }
  std::vector<std::vector<double>> samples(runs.size());
  for (int r = 0; r < rounds; ++r)
    for (size_t j = 0; j < runs.size(); ++j) {
      const size_t i = (j + size_t(r)) % runs.size();
      uint64_t ticks = 0;
      for (uint64_t k = 0; k < reps[i]; ++k) ticks += runs[i]();
      samples[i].push_back(double(ticks) / double(reps[i] * n));
    }
  std::vector<double> med;
  for (auto& s : samples) med.push_back(median(s));
  return med;
}

struct Options {
  bool on = false;
  std::string functions = ".*", who = ".*";
  int rounds = 7;
};

// Takes the side-by-side options out of argv (Google Benchmark refuses flags it does not know).
inline Options parse(int& argc, char** argv) {
  Options o;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--side-by-side") o.on = true;
    else if (a.rfind("--side-by-side=", 0) == 0) o.on = true, o.functions = a.substr(15);
    else if (a.rfind("--rounds=", 0) == 0) o.rounds = std::max(1, std::atoi(a.c_str() + 9));
    else if (a.rfind("--who=", 0) == 0) o.who = a.substr(6);
    else argv[kept++] = argv[i];
  }
  argc = kept;
  return o;
}

struct Row {
  std::string fn;
  size_t n;
  Class c;
  double ours, peer;  // ticks per element; peer 0 when no peer of the class was timed
  std::string peer_who;
  double sleef_u10;  // 0 when SLEEF u10 was not timed
};

inline const char* class_name(Class c) {
  switch (c) {
    case Class::LA: return "LA";
    case Class::HA: return "HA";
    case Class::EP: return "EP";
    case Class::All: return "all";
  }
  return "?";
}

// The rows of one function at one size from the medians of its entries.
inline std::vector<Row> rows_of(const std::string& fn, size_t n, const std::vector<const Entry*>& es,
                                const std::vector<double>& med) {
  bool sleef_ha = false;
  double u10 = 0;
  for (size_t i = 0; i < es.size(); ++i) {
    sleef_ha = sleef_ha || is_sleef_vector_ha(es[i]->who);
    if (es[i]->who == "sleef_u10") u10 = med[i];
  }
  std::vector<Row> rows;
  for (size_t i = 0; i < es.size(); ++i) {
    const int s = slot_of(es[i]->who);
    if (s < 0) continue;
    Row row{fn, n, Class(s), med[i], 0, "", u10};
    for (size_t j = 0; j < es.size(); ++j)
      if (slot_of(es[j]->who) < 0 && counts(row.c, es[j]->who, sleef_ha) && (row.peer == 0 || med[j] < row.peer)) {
        row.peer = med[j];
        row.peer_who = es[j]->who;
      }
    rows.push_back(row);
  }
  return rows;
}

inline int run(const Options& o, const std::vector<size_t>& sizes) {
  const std::regex fn_re(o.functions), who_re(o.who);
  std::vector<std::string> order;  // functions in registration order
  std::map<std::string, std::vector<const Entry*>> by_fn;
  for (const Entry& e : entries()) {
    if (!std::regex_match(e.fn, fn_re) || !std::regex_match(e.who, who_re)) continue;
    if (!by_fn.count(e.fn)) order.push_back(e.fn);
    by_fn[e.fn].push_back(&e);
  }
  std::vector<Row> all;
  std::printf("| function | n | slot | zorp ticks/elem | fastest peer of the class | its ticks/elem | ratio |\n");
  std::printf("|---|---|---|---|---|---|---|\n");
  for (const std::string& fn : order)
    for (size_t n : sizes) {
      const auto& es = by_fn[fn];
      std::vector<Run> runs;
      for (const Entry* e : es) runs.push_back(e->prepare(n));
      const std::vector<double> med = time_together(runs, n, o.rounds);
      for (const Row& r : rows_of(fn, n, es, med)) {
        all.push_back(r);
        if (r.peer > 0)
          std::printf("| %s | %zu | %s | %.2f | %s | %.2f | %.2fx |\n", fn.c_str(), n, class_name(r.c), r.ours,
                      r.peer_who.c_str(), r.peer, r.peer / r.ours);
        else
          std::printf("| %s | %zu | %s | %.2f | (none timed) | | |\n", fn.c_str(), n, class_name(r.c), r.ours);
      }
      std::fflush(stdout);
    }
  int measured = 0, below = 0, ha_below = 0, ha_measured = 0;
  std::string below_list, ha_list;
  char buf[160];
  for (const Row& r : all) {
    if (r.peer > 0) {
      ++measured;
      if (r.peer / r.ours < 1.0) {
        ++below;
        std::snprintf(buf, sizeof buf, "\n  %s n=%zu %s: %.2fx %s", r.fn.c_str(), r.n, class_name(r.c), r.peer / r.ours,
                      r.peer_who.c_str());
        below_list += buf;
      }
    }
    if ((r.c == Class::HA || r.c == Class::All) && r.sleef_u10 > 0) {
      ++ha_measured;
      if (r.sleef_u10 / r.ours < 1.5) {
        ++ha_below;
        std::snprintf(buf, sizeof buf, "\n  %s n=%zu %s: %.2fx", r.fn.c_str(), r.n, class_name(r.c), r.sleef_u10 / r.ours);
        ha_list += buf;
      }
    }
  }
  std::printf("\nslots below 1.0x the fastest peer of their class: %d of %d%s\n", below, measured, below_list.c_str());
  std::printf("accurate slots below 1.5x SLEEF u10: %d of %d%s\n", ha_below, ha_measured, ha_list.c_str());
  return 0;
}

}  // namespace vmbench::side
