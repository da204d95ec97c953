#pragma once
// A tool that writes into a folder under the limits of one extraction: its output is
// read while it runs (collected, or forwarded to this process's standard error), and
// the tool with its whole process group is killed as soon as the folder's watch reports
// a passed limit.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ChildProcess.h"
#include "platform/ExtractionWatch.h"

namespace vantor::platform {

class WatchedProcess {
 public:
  struct Options {
    bool pipedInput = false;     // false: standard input is /dev/null
    bool forwardOutput = false;  // true: output goes to this process's standard error
    std::string watchedFolder;
    ExtractionLimits limits;
  };
  // Starts argv (absolute path first); nullptr and the reason in *error on failure.
  static std::unique_ptr<WatchedProcess> spawn(const std::vector<std::string>& argv, const Options& options,
                                               std::string* error);
  ~WatchedProcess();

  // Blocks until the tool took every byte; false when it stopped reading or a limit
  // stopped it.
  bool writeInput(const char* data, std::size_t size);
  void closeInput();
  // Everything the tool prints (up to 1 MiB; the rest is read and dropped), read before
  // waiting so that it never blocks on a full pipe.
  std::string readOutputToEnd();
  // The exit status; -1 when the tool was ended by a signal.
  int waitForExit();
  // Why a limit stopped the tool ("wrote more than ...", "did not finish within ..."),
  // or nothing.
  const std::optional<std::string>& limitFailure() const { return limitFailure_; }

 private:
  WatchedProcess() = default;
  bool pump(int fd, short events, std::string* collected);
  bool checkLimits();

  std::unique_ptr<ChildProcess> child_;
  std::unique_ptr<ExtractionWatch> watch_;
  bool forwardOutput_ = false;
  std::optional<std::string> limitFailure_;
};

}  // namespace vantor::platform
