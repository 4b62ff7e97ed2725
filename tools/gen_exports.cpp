// Derives the library's expected export names, its linker version script and its Windows
// module-definition file.
//
//   gen_exports <names-dir> <expected-out> <version-script-out>
//   gen_exports --def <names-dir> <defined-symbols> <dll-name> <def-out>
//
// Vector-math names come from the function catalogue (every row, built or not: the list is
// what the finished library exports); all other names from the per-family lists in
// <names-dir>/*.txt ("name code|data" per line, '#' comments). The expected list is written as
// "name kind family" lines; the version script exports every expected name and hides the
// rest, so a name becomes visible only once it is both defined and expected.
//
// A module-definition file may not name a symbol that the objects do not define, so the --def
// form reads the defined symbols (the output of nm, the name last on each line) and lists the
// expected names among them, data tables marked DATA: the same rule as the version script.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Name {
  std::string name, kind, family;
};

std::string la_suffix(char t) { return (t == 's' || t == 'c') ? "_21" : "_50"; }
std::string ep_suffix(char t) { return (t == 's' || t == 'c') ? "_11" : "_26"; }

void add_vm_row(std::vector<Name>& out, const char* type, const char* func, const char* shape) {
  const std::string shp = shape;
  const bool strided = shp != "PACK" && shp != "UNPACK";
  const char t = type[0];
  for (int form = 0; form < (strided ? 2 : 1); ++form) {
    const std::string base = std::string(type) + func + (form ? "I" : "");
    for (const std::string& n : {"_fenn" + base + la_suffix(t), "_fenn" + base, "_fenn" + base + "_HA",
                                 "_fenn" + base + ep_suffix(t)})
      out.push_back({n, "code", "vm"});
    out.push_back({"zorp_fenn_kernel_" + base + "_ttab", "data", "vm"});
    out.push_back({"zorp_fenn_kernel_" + base + "_ctab", "data", "vm"});
  }
}

// Every expected name, catalogue first, then the family lists in file-name order; false (with a
// message) on a malformed or repeated entry.
bool expected_names(const char* names_dir, std::vector<Name>& names) {
#define VM_FN(t, F, shape, share, la, ha, ep, built) add_vm_row(names, #t, #F, #shape);
#include "zorp/vm_catalogue.def"
#undef VM_FN

  std::vector<std::filesystem::path> lists;
  for (const auto& e : std::filesystem::directory_iterator(names_dir))
    if (e.path().extension() == ".txt") lists.push_back(e.path());
  std::sort(lists.begin(), lists.end());
  for (const auto& path : lists) {
    std::ifstream in(path);
    std::string line;
    int lineno = 0;
    while (std::getline(in, line)) {
      ++lineno;
      if (line.empty() || line[0] == '#') continue;
      std::istringstream fields(line);
      Name n;
      fields >> n.name >> n.kind;
      if (n.name.empty()) continue;
      if (n.kind != "code" && n.kind != "data") {
        std::cerr << path << ":" << lineno << ": kind must be code or data\n";
        return false;
      }
      n.family = path.stem().string();
      names.push_back(n);
    }
  }

  std::set<std::string> seen;
  for (const Name& n : names)
    if (!seen.insert(n.name).second) {
      std::cerr << "duplicate export name: " << n.name << "\n";
      return false;
    }
  return true;
}

int write_def(const char* names_dir, const char* defined_path, const char* dll, const char* out_path) {
  std::vector<Name> names;
  if (!expected_names(names_dir, names)) return 1;
  std::ifstream in(defined_path);
  if (!in) {
    std::cerr << "cannot read " << defined_path << "\n";
    return 1;
  }
  std::set<std::string> defined;
  std::string line, word, last;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    for (last.clear(); fields >> word;) last = word;
    if (!last.empty()) defined.insert(last);
  }
  std::ofstream out(out_path);
  out << "LIBRARY \"" << dll << "\"\nEXPORTS\n";
  for (const Name& n : names)
    if (defined.count(n.name)) out << "    " << n.name << (n.kind == "data" ? " DATA" : "") << '\n';
  return out ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 6 && std::string(argv[1]) == "--def") return write_def(argv[2], argv[3], argv[4], argv[5]);
  if (argc != 4) {
    std::cerr << "usage: gen_exports <names-dir> <expected-out> <version-script-out>\n"
                 "       gen_exports --def <names-dir> <defined-symbols> <dll-name> <def-out>\n";
    return 2;
  }
  std::vector<Name> names;
  if (!expected_names(argv[1], names)) return 1;
  std::ofstream expected(argv[2]);
  for (const Name& n : names) expected << n.name << ' ' << n.kind << ' ' << n.family << '\n';
  std::ofstream script(argv[3]);
  script << "{\n  global:\n";
  for (const Name& n : names) script << "    " << n.name << ";\n";
  script << "  local:\n    *;\n};\n";
  return expected && script ? 0 : 1;
}
