#include "platform/WatchedProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace vantor::platform {
namespace {

constexpr std::size_t kOutputCap = 1 << 20;

void setNonBlocking(int fd) {
  if (fd >= 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

}  // namespace

std::unique_ptr<WatchedProcess> WatchedProcess::spawn(const std::vector<std::string>& argv, const Options& options,
                                                      std::string* error) {
  ProcessOptions processOptions;
  processOptions.pipeStdin = options.pipedInput;
  processOptions.mergeStderr = true;
  std::unique_ptr<WatchedProcess> process(new WatchedProcess());
  process->forwardOutput_ = options.forwardOutput;
  process->child_ = ChildProcess::spawn(argv, processOptions, error);
  if (!process->child_) return nullptr;
  setNonBlocking(process->child_->stdinFd());
  setNonBlocking(process->child_->outputFd());
  process->watch_ = std::make_unique<ExtractionWatch>(options.watchedFolder, options.limits);
  return process;
}

WatchedProcess::~WatchedProcess() = default;

bool WatchedProcess::checkLimits() {
  if (limitFailure_) return false;
  if (auto reason = watch_->exceeded()) {
    limitFailure_ = reason;
    child_->kill(SIGKILL);
    child_->closeStdin();
    return false;
  }
  return true;
}

bool WatchedProcess::pump(int fd, short events, std::string* collected) {
  char buffer[65536];
  while (checkLimits()) {
    pollfd fds[2];
    int n = 0;
    int outIdx = -1;
    if (fd >= 0) fds[n++] = {fd, events, 0};
    if (child_->outputFd() >= 0) outIdx = n, fds[n++] = {child_->outputFd(), POLLIN, 0};
    if (n == 0) return true;
    int r = ::poll(fds, static_cast<nfds_t>(n), 100);
    if (r < 0 && errno != EINTR) return false;
    if (r <= 0) continue;
    if (outIdx >= 0 && (fds[outIdx].revents & (POLLIN | POLLHUP | POLLERR))) {
      ssize_t got = ::read(child_->outputFd(), buffer, sizeof buffer);
      if (got > 0) {
        if (forwardOutput_) {
          (void)!::write(STDERR_FILENO, buffer, static_cast<size_t>(got));
        } else if (collected != nullptr && collected->size() < kOutputCap) {
          collected->append(buffer, static_cast<size_t>(got));
        }
      } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
        child_->closeOutput();
        if (fd < 0) return true;
      }
    }
    if (fd >= 0 && fds[0].revents != 0) return true;
  }
  return false;
}

bool WatchedProcess::writeInput(const char* data, std::size_t size) {
  std::size_t written = 0;
  while (written < size) {
    int fd = child_->stdinFd();
    if (fd < 0) return false;
    if (!pump(fd, POLLOUT, nullptr)) return false;
    ssize_t put = ::write(fd, data + written, size - written);
    if (put > 0) {
      written += static_cast<std::size_t>(put);
    } else if (put < 0 && errno != EAGAIN && errno != EINTR) {
      // The tool stopped reading (EPIPE): it ended or failed; its status tells.
      child_->closeStdin();
      return false;
    }
  }
  return true;
}

void WatchedProcess::closeInput() { child_->closeStdin(); }

std::string WatchedProcess::readOutputToEnd() {
  std::string output;
  pump(-1, 0, &output);
  return output;
}

int WatchedProcess::waitForExit() {
  std::string ignored;
  pump(-1, 0, &ignored);
  while (!child_->waitFor(0.1))
    if (!checkLimits()) break;
  child_->wait();
  if (!limitFailure_) limitFailure_ = watch_->exceededAfterExit();
  if (child_->signaled() || !child_->exited()) return -1;
  return child_->exitStatus();
}

}  // namespace vantor::platform
