// vantor-inspect compare A B [--special] [--json]: orders two version strings as the
// helper does and prints -1 (A older), 0 or 1 (A newer). --special uses the comparator
// under which a trailing letter counts as a later version (1.2a after 1.2).

#include <cstdio>
#include <optional>

#include "CommandOutput.h"
#include "Subcommand.h"
#include "sources/ZRSULetterSuffixVersionComparator.h"
#include "sources/ZRSUStandardVersionComparator.h"

namespace vantor::inspect {
namespace {

int runCompare(const std::vector<std::string>& arguments) {
  std::vector<std::string> versions;
  bool json = false, special = false;
  for (const auto& argument : arguments) {
    // Only "--" starts an option: a version may begin with "-".
    if (argument == "--json") json = true;
    else if (argument == "--special") special = true;
    else if (hasPrefix(argument, "--")) return usage("compare: unknown option '" + argument + "'");
    else versions.push_back(argument);
  }
  if (versions.size() != 2) return usage("compare: needs exactly two versions, not " + std::to_string(versions.size()));

  const sources::ZRSUStandardVersionComparator& comparator =
      special ? sources::ZRSUSpecialVersionComparator::defaultComparator()
              : sources::ZRSUStandardVersionComparator::defaultComparator();
  const int result = comparator.compareVersion(versions[0], versions[1]);
  if (json) {
    nlohmann::ordered_json report;
    report["a"] = versions[0];
    report["b"] = versions[1];
    report["comparator"] = special ? "special" : "standard";
    report["result"] = result;
    printJson(report);
  } else {
    std::printf("%d\n", result);
  }
  return kExitSuccess;
}

const bool registered = registerInspectCommand(
    {"compare", "A B [--special] [--json]", "orders two versions as the helper does: -1 (A older), 0 or 1 (A newer)",
     runCompare});

}  // namespace
}  // namespace vantor::inspect
