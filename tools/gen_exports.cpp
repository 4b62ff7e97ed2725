// Derives the library's expected export names and its linker version script.
//
//   gen_exports <names-dir> <expected-out> <version-script-out>
//
// Vector-math names come from the function catalogue and the generator entries from the generator
// table (every row, built or not: the list is what the finished library exports); all other
// names from the per-family lists in <names-dir>/*.txt ("name code|data" per line, '#' comments). The expected list is written as
// "name kind family" lines; the version script exports every expected name and hides the
// rest, so a name becomes visible only once it is both defined and expected.
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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: gen_exports <names-dir> <expected-out> <version-script-out>\n";
    return 2;
  }
  std::vector<Name> names;
#define VM_FN(t, F, shape, share, la, ha, ep, built) add_vm_row(names, #t, #F, #shape);
#include "zorp/vm_catalogue.def"
#undef VM_FN
  // Four entries per generator row: seeding and the single, double and integer outputs.
  for (const char* g : {
#define ZORP_BRNG(row, NAME, ...) #NAME,
#include "zorp/rng_generators.def"
#undef ZORP_BRNG
       }) {
    const std::string name = g;
    for (const std::string& n : {"__tarrBRng" + name + "InitStream", "__tarrsBRng" + name, "__tarrdBRng" + name,
                                 "__tarriBRng" + name})
      names.push_back({n, "code", "rng"});
  }

  std::vector<std::filesystem::path> lists;
  for (const auto& e : std::filesystem::directory_iterator(argv[1]))
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
        return 1;
      }
      n.family = path.stem().string();
      names.push_back(n);
    }
  }

  std::set<std::string> seen;
  for (const Name& n : names)
    if (!seen.insert(n.name).second) {
      std::cerr << "duplicate export name: " << n.name << "\n";
      return 1;
    }

  std::ofstream expected(argv[2]);
  for (const Name& n : names) expected << n.name << ' ' << n.kind << ' ' << n.family << '\n';
  std::ofstream script(argv[3]);
  script << "{\n  global:\n";
  for (const Name& n : names) script << "    " << n.name << ";\n";
  script << "  local:\n    *;\n};\n";
  return expected && script ? 0 : 1;
}
