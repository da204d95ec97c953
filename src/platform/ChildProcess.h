#pragma once
// The one way to start a tool: an absolute path and an argument vector, no shell.
// Standard input is /dev/null or a pipe; standard output and error go to pipes (merged
// into one when asked). The child runs in its own process group so that a time limit
// can end it together with whatever it started.

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vantor::platform {

struct ProcessOptions {
  bool pipeStdin = false;    // false: the child's standard input is /dev/null
  bool mergeStderr = true;   // true: standard error goes into the output pipe
  bool inheritStderr = false;  // true: standard error is the caller's (mergeStderr ignored)
  bool discardOutput = false;  // true: output and error go to /dev/null, no pipes
  std::optional<std::string> workingDirectory;
  std::vector<std::pair<std::string, std::string>> environment;  // added or replaced
  // false: the child stays in the caller's process group, so that it can read the
  // controlling terminal (a password prompt); kill() then reaches the child only.
  bool newProcessGroup = true;
};

class ChildProcess {
 public:
  // Starts argv[0] (must be an absolute path to an executable). On failure returns
  // nullptr and describes why in *error.
  static std::unique_ptr<ChildProcess> spawn(const std::vector<std::string>& argv,
                                             const ProcessOptions& options,
                                             std::string* error);
  ~ChildProcess();  // kills and reaps a child that still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  int stdinFd() const { return stdin_; }    // -1 unless pipeStdin
  int outputFd() const { return output_; }
  int errorFd() const { return error_; }    // -1 when merged
  void closeStdin();
  void closeOutput();

  bool isRunning();
  // Blocks until the child ends; returns false only if waiting failed.
  bool wait();
  // Waits at most `seconds`; true when the child ended in time.
  bool waitFor(double seconds);
  // Signals the child's whole process group.
  void kill(int signal);

  bool exited() const { return exited_; }
  int exitStatus() const { return exitStatus_; }      // valid when exited normally
  bool signaled() const { return signaled_; }
  int termSignal() const { return termSignal_; }

 private:
  ChildProcess() = default;
  void record(int waitStatus);

  pid_t pid_ = -1;
  int stdin_ = -1;
  int output_ = -1;
  int error_ = -1;
  bool reaped_ = false;
  bool exited_ = false;
  int exitStatus_ = -1;
  bool signaled_ = false;
  int termSignal_ = 0;
  bool ownGroup_ = true;
};

struct RunOptions {
  std::optional<std::string> input;        // written to standard input, then closed
  bool mergeStderr = true;
  std::optional<double> timeoutSeconds;    // the child (and its group) is killed after it
  std::optional<std::string> workingDirectory;
  std::vector<std::pair<std::string, std::string>> environment;
  bool pollForExit = false;                // check every 0.05 s instead of a blocking wait
  bool newProcessGroup = true;             // see ProcessOptions
};

struct ProcessResult {
  bool launched = false;
  std::string launchError;
  int status = -1;          // exit status, or the signal number when signaled
  bool signaled = false;
  bool timedOut = false;
  std::string output;       // standard output (and error, when merged)
  std::string errorOutput;  // standard error when not merged
};

// Runs the tool to its end, reading its output before waiting so it never blocks on a
// full pipe.
ProcessResult runProcess(const std::vector<std::string>& argv, const RunOptions& options = {});

// Whether path names an executable regular file.
bool isExecutableFile(const std::string& path);

// Finds an executable by name in $PATH (for tools whose place differs between systems).
std::optional<std::string> findExecutable(const std::string& name);

}  // namespace vantor::platform
