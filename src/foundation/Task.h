#pragma once
// Running a command-line tool: element 0 of the command line is the tool's absolute
// path. Output and error output are read together, before waiting, so a chatty child
// never blocks. A time limit, when given, kills the child and its process group.

#include <optional>
#include <string>
#include <vector>

namespace vantor {

struct TaskOptions {
  bool usePolling = false;
  std::optional<double> timeoutSeconds;
  std::optional<std::string> input;  // written to the child's standard input
};

// The combined output as text, or nothing when the tool could not be launched (or was
// killed by the time limit). When status is given, the exit status is stored there
// (-1 when the tool did not end normally).
std::optional<std::string> runAsTaskWithTerminationStatus(const std::vector<std::string>& commandLine, int* status,
                                                          const TaskOptions& options = {});
std::optional<std::string> runAsTask(const std::vector<std::string>& commandLine);

}  // namespace vantor
