#include "sim/ParameterImage.h"

#include "params/ParameterCodes.h"
#include "params/Rm40Parameters.h"

#include <cstring>
#include <map>

namespace {

// Read-only values of the simulated drive's nameplate, which the delivered
// list leaves open ("--"): a 4 kW drive rated 9.6 A.
const std::map<std::string, std::string> &Nameplate() {
  static const std::map<std::string, std::string> values{{"F102", "9.6"}, {"F103", "4.00"}};
  return values;
}

} // namespace

std::vector<ParameterDefinition> ShippedParameterDefinitions() {
  std::vector<ParameterDefinition> definitions;
  for (const Rm40Parameter &p : Rm40Parameters()) {
    ParameterDefinition d;
    d.code = p.code;
    d.named = p.name != nullptr;
    d.reserved = p.name != nullptr && std::strcmp(p.name, "Reserved") == 0;
    d.min = p.min;
    d.max = p.max;
    d.def = p.def;
    auto nameplate = Nameplate().find(d.code);
    if (nameplate != Nameplate().end())
      d.def = nameplate->second;
    d.decimals = DecimalPlaces(d.code.substr(1));
    definitions.push_back(d);
  }
  return definitions;
}
