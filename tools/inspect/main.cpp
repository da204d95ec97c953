// vantor-inspect COMMAND ARGUMENTS...: looks at one input the way the helper would and
// prints what it found.

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "Subcommand.h"

namespace vantor::inspect {

std::vector<InspectCommand>& registry() {
  static std::vector<InspectCommand> commands;
  return commands;
}

bool registerInspectCommand(const InspectCommand& command) {
  registry().push_back(command);
  std::sort(registry().begin(), registry().end(),
            [](const InspectCommand& a, const InspectCommand& b) { return std::string(a.name) < b.name; });
  return true;
}

const std::vector<InspectCommand>& inspectCommands() { return registry(); }

int usage(const std::string& problem) {
  if (!problem.empty()) std::fprintf(stderr, "vantor-inspect: %s\n", problem.c_str());
  std::fprintf(stderr, "usage:\n");
  for (const auto& command : inspectCommands())
    std::fprintf(stderr, "  vantor-inspect %s %s\n      %s\n", command.name, command.arguments, command.summary);
  return kExitUsage;
}

}  // namespace vantor::inspect

int main(int argc, char** argv) {
  using namespace vantor::inspect;
  std::vector<std::string> arguments(argv + 1, argv + argc);
  if (arguments.empty()) return usage("no command given");
  if (arguments[0] == "-h" || arguments[0] == "--help" || arguments[0] == "help") {
    usage("");
    return kExitSuccess;
  }
  for (const auto& command : inspectCommands())
    if (arguments[0] == command.name) return command.run(std::vector<std::string>(arguments.begin() + 1, arguments.end()));
  return usage("unknown command '" + arguments[0] + "'");
}
