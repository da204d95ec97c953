#pragma once
// The subcommands of vantor-inspect. Each lives in its own source file and registers
// itself at start-up:
//   static const bool registered = registerInspectCommand({"archive", "FILE [--json]", "...", runArchive});

#include <string>
#include <vector>

namespace vantor::inspect {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitRefused = 1;  // the input was looked at and refused
inline constexpr int kExitUsage = 2;    // bad arguments

struct InspectCommand {
  const char* name;
  const char* arguments;  // shown after the name in the usage text
  const char* summary;
  int (*run)(const std::vector<std::string>& arguments);  // the arguments after the name
};

bool registerInspectCommand(const InspectCommand& command);
const std::vector<InspectCommand>& inspectCommands();

// Prints the usage of every command to standard error and returns kExitUsage.
int usage(const std::string& problem);

}  // namespace vantor::inspect
