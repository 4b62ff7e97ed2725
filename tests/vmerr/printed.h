// Host messages printed by the white-box copy of the error machinery, with their arguments as
// the catalogue defines them: (name) or (name, index) for the headline codes, (index, value)
// for the per-value lines.
#pragma once
#include <string>
#include <vector>

namespace zorp::test {
struct Printed {
  int channel;
  int code;
  int nargs;
  std::string text;  // the name, for codes 748..754
  int integer;       // the index, for 748 and 755..766
  double value;      // for 755..766
};
std::vector<Printed>& printed();
}  // namespace zorp::test
