#include "platform/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/Environment.h"

extern char** environ;

namespace vantor::platform {
namespace {

void ignoreSigpipeOnce() {
  static const bool done = [] {
    signal(SIGPIPE, SIG_IGN);
    return true;
  }();
  (void)done;
}

void closeFd(int& fd) {
  if (fd >= 0) {
    ::close(fd);
    fd = -1;
  }
}

struct Pipe {
  int fds[2] = {-1, -1};
  bool open() { return ::pipe2(fds, O_CLOEXEC) == 0; }
  ~Pipe() {
    closeFd(fds[0]);
    closeFd(fds[1]);
  }
};

std::vector<std::string> buildEnvironment(const ProcessOptions& options) {
  std::vector<std::string> env;
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
    std::string entry = *e;
    bool replaced = false;
    for (const auto& [key, value] : options.environment)
      if (entry.compare(0, key.size() + 1, key + "=") == 0) replaced = true;
    if (!replaced) env.push_back(entry);
  }
  for (const auto& [key, value] : options.environment) env.push_back(key + "=" + value);
  return env;
}

}  // namespace

bool isExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::optional<std::string> findExecutable(const std::string& name) {
  if (!name.empty() && name.front() == '/') return isExecutableFile(name) ? std::optional(name) : std::nullopt;
  std::string path = environmentValue("PATH").value_or("/usr/local/bin:/usr/bin:/bin");
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    std::string dir = path.substr(start, end - start);
    if (!dir.empty()) {
      std::string candidate = dir + "/" + name;
      if (isExecutableFile(candidate)) return candidate;
    }
    start = end + 1;
  }
  return std::nullopt;
}

std::unique_ptr<ChildProcess> ChildProcess::spawn(const std::vector<std::string>& argv,
                                                  const ProcessOptions& options,
                                                  std::string* error) {
  ignoreSigpipeOnce();
  auto fail = [&](const std::string& why) -> std::unique_ptr<ChildProcess> {
    if (error != nullptr) *error = why;
    return nullptr;
  };
  if (argv.empty()) return fail("no command given");
  if (argv[0].empty() || argv[0].front() != '/') return fail("launch path not absolute: " + argv[0]);
  if (!isExecutableFile(argv[0])) return fail("launch path not accessible: " + argv[0]);

  Pipe in, out, err, status;
  bool pipeOutput = !options.discardOutput;
  bool pipeError = pipeOutput && !options.mergeStderr && !options.inheritStderr;
  if ((options.pipeStdin && !in.open()) || (pipeOutput && !out.open()) || (pipeError && !err.open()) ||
      !status.open())
    return fail(std::string("pipe failed: ") + std::strerror(errno));

  std::vector<std::string> env = buildEnvironment(options);
  std::vector<char*> argvPtrs, envPtrs;
  for (const auto& a : argv) argvPtrs.push_back(const_cast<char*>(a.c_str()));
  argvPtrs.push_back(nullptr);
  for (auto& e : env) envPtrs.push_back(e.data());
  envPtrs.push_back(nullptr);
  const char* cwd = options.workingDirectory ? options.workingDirectory->c_str() : nullptr;
  const bool newGroup = options.newProcessGroup;

  pid_t pid = ::fork();
  if (pid < 0) return fail(std::string("fork failed: ") + std::strerror(errno));
  if (pid == 0) {
    // Child: only async-signal-safe calls from here on.
    if (newGroup) ::setpgid(0, 0);
    ::signal(SIGPIPE, SIG_DFL);
    int inFd = options.pipeStdin ? in.fds[0] : ::open("/dev/null", O_RDONLY);
    int outFd = pipeOutput ? out.fds[1] : ::open("/dev/null", O_WRONLY);
    int errFd = options.inheritStderr ? 2 : pipeError ? err.fds[1] : outFd;
    if (inFd < 0 || outFd < 0 || ::dup2(inFd, 0) < 0 || ::dup2(outFd, 1) < 0 || ::dup2(errFd, 2) < 0) {
      int e = errno;
      (void)!::write(status.fds[1], &e, sizeof e);
      ::_exit(127);
    }
    if (cwd != nullptr && ::chdir(cwd) != 0) {
      int e = errno;
      (void)!::write(status.fds[1], &e, sizeof e);
      ::_exit(127);
    }
    ::execve(argvPtrs[0], argvPtrs.data(), envPtrs.data());
    int e = errno;
    (void)!::write(status.fds[1], &e, sizeof e);
    ::_exit(127);
  }

  std::unique_ptr<ChildProcess> child(new ChildProcess());
  child->pid_ = pid;
  if (newGroup) ::setpgid(pid, pid);  // also from the parent, so kill() works even before the child ran
  child->ownGroup_ = newGroup;
  closeFd(status.fds[1]);
  int childErrno = 0;
  ssize_t n;
  do {
    n = ::read(status.fds[0], &childErrno, sizeof childErrno);
  } while (n < 0 && errno == EINTR);
  if (n == sizeof childErrno) {
    child->wait();
    return fail("launch failed: " + std::string(std::strerror(childErrno)));
  }
  if (options.pipeStdin) {
    child->stdin_ = in.fds[1];
    in.fds[1] = -1;
  }
  child->output_ = out.fds[0];
  out.fds[0] = -1;
  if (pipeError) {
    child->error_ = err.fds[0];
    err.fds[0] = -1;
  }
  return child;
}

ChildProcess::~ChildProcess() {
  closeFd(stdin_);
  closeFd(output_);
  closeFd(error_);
  if (!reaped_ && pid_ > 0) {
    kill(SIGKILL);
    wait();
  }
}

void ChildProcess::closeStdin() { closeFd(stdin_); }
void ChildProcess::closeOutput() { closeFd(output_); }

void ChildProcess::record(int waitStatus) {
  reaped_ = true;
  if (WIFEXITED(waitStatus)) {
    exited_ = true;
    exitStatus_ = WEXITSTATUS(waitStatus);
  } else if (WIFSIGNALED(waitStatus)) {
    signaled_ = true;
    termSignal_ = WTERMSIG(waitStatus);
  }
}

bool ChildProcess::isRunning() {
  if (reaped_) return false;
  int st = 0;
  pid_t r = ::waitpid(pid_, &st, WNOHANG);
  if (r == pid_) {
    record(st);
    return false;
  }
  return r == 0;
}

bool ChildProcess::wait() {
  if (reaped_) return true;
  int st = 0;
  pid_t r;
  do {
    r = ::waitpid(pid_, &st, 0);
  } while (r < 0 && errno == EINTR);
  if (r != pid_) return false;
  record(st);
  return true;
}

bool ChildProcess::waitFor(double seconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (isRunning()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

void ChildProcess::kill(int signal) {
  if (reaped_ || pid_ <= 0) return;
  if (!ownGroup_ || ::kill(-pid_, signal) != 0) ::kill(pid_, signal);
}

ProcessResult runProcess(const std::vector<std::string>& argv, const RunOptions& options) {
  ProcessResult result;
  ProcessOptions spawnOptions;
  spawnOptions.pipeStdin = options.input.has_value();
  spawnOptions.mergeStderr = options.mergeStderr;
  spawnOptions.workingDirectory = options.workingDirectory;
  spawnOptions.environment = options.environment;
  spawnOptions.newProcessGroup = options.newProcessGroup;
  auto child = ChildProcess::spawn(argv, spawnOptions, &result.launchError);
  if (!child) return result;
  result.launched = true;

  using Clock = std::chrono::steady_clock;
  std::optional<Clock::time_point> deadline;
  if (options.timeoutSeconds)
    deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                  std::chrono::duration<double>(*options.timeoutSeconds));

  const std::string input = options.input.value_or("");
  size_t written = 0;
  int inFd = child->stdinFd();
  if (inFd >= 0) {
    ::fcntl(inFd, F_SETFL, ::fcntl(inFd, F_GETFL) | O_NONBLOCK);
    if (input.empty()) child->closeStdin(), inFd = -1;
  }
  int outFd = child->outputFd();
  int errFd = child->errorFd();
  char buffer[65536];

  while (outFd >= 0 || errFd >= 0 || inFd >= 0) {
    pollfd fds[3];
    int n = 0;
    int outIdx = -1, errIdx = -1, inIdx = -1;
    if (outFd >= 0) outIdx = n, fds[n++] = {outFd, POLLIN, 0};
    if (errFd >= 0) errIdx = n, fds[n++] = {errFd, POLLIN, 0};
    if (inFd >= 0) inIdx = n, fds[n++] = {inFd, POLLOUT, 0};
    int waitMs = -1;
    if (deadline) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now()).count();
      if (left <= 0) {
        result.timedOut = true;
        break;
      }
      waitMs = static_cast<int>(std::min<long long>(left, 1000));
    }
    int r = ::poll(fds, n, waitMs);
    if (r < 0 && errno != EINTR) break;
    if (r <= 0) continue;
    auto drain = [&](int idx, int& fd, std::string& sink) {
      if (idx < 0 || !(fds[idx].revents & (POLLIN | POLLHUP | POLLERR))) return;
      ssize_t got = ::read(fd, buffer, sizeof buffer);
      if (got > 0) sink.append(buffer, static_cast<size_t>(got));
      else if (got == 0 || (errno != EINTR && errno != EAGAIN)) fd = -1;
    };
    drain(outIdx, outFd, result.output);
    drain(errIdx, errFd, result.errorOutput);
    if (inIdx >= 0 && (fds[inIdx].revents & (POLLOUT | POLLERR | POLLHUP))) {
      ssize_t put = ::write(inFd, input.data() + written, input.size() - written);
      if (put > 0) written += static_cast<size_t>(put);
      if (put < 0 && errno != EAGAIN && errno != EINTR) written = input.size();
      if (written >= input.size()) child->closeStdin(), inFd = -1;
    }
  }

  if (result.timedOut) {
    child->kill(SIGKILL);
    child->wait();
  } else if (options.pollForExit) {
    while (child->isRunning()) {
      if (deadline && Clock::now() >= *deadline) {
        result.timedOut = true;
        child->kill(SIGKILL);
        child->wait();
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  } else if (deadline) {
    auto left = std::chrono::duration<double>(*deadline - Clock::now()).count();
    if (!child->waitFor(std::max(0.0, left))) {
      result.timedOut = true;
      child->kill(SIGKILL);
      child->wait();
    }
  } else {
    child->wait();
  }
  result.signaled = child->signaled();
  result.status = child->signaled() ? child->termSignal() : child->exitStatus();
  return result;
}

}  // namespace vantor::platform
