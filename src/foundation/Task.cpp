#include "foundation/Task.h"

#include "foundation/DataHelpers.h"
#include "foundation/Log.h"
#include "foundation/StringHelpers.h"
#include "platform/ChildProcess.h"

namespace vantor {

namespace {
std::string joinedWithSpaces(const std::vector<std::string>& parts) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) out += (i ? " " : "") + parts[i];
  return out;
}
}  // namespace

std::optional<std::string> runAsTaskWithTerminationStatus(const std::vector<std::string>& commandLine, int* status,
                                                          const TaskOptions& options) {
  if (status != nullptr) *status = -1;
  size_t argumentLength = 0;
  for (const auto& argument : commandLine) argumentLength += toCodePoints(argument).size();
  if (argumentLength >= 200001) cc_log_error("Error: task argument size approaching or above limit, spawn will fail");

  platform::RunOptions run;
  run.pollForExit = options.usePolling;
  run.timeoutSeconds = options.timeoutSeconds;
  run.input = options.input;
  platform::ProcessResult result = platform::runProcess(commandLine, run);
  if (!result.launched) {
    cc_log_error("Error: got exception %@ while trying to perform task %@", result.launchError,
                 joinedWithSpaces(commandLine));
    return std::nullopt;
  }
  if (result.timedOut) {
    cc_log_error("Error: task %@ did not finish within %.f seconds and was stopped", joinedWithSpaces(commandLine),
                 *options.timeoutSeconds);
    return std::nullopt;
  }
  if (status != nullptr && !result.signaled) *status = result.status;
  return stringFromData(result.output);
}

std::optional<std::string> runAsTask(const std::vector<std::string>& commandLine) {
  return runAsTaskWithTerminationStatus(commandLine, nullptr);
}

}  // namespace vantor
