#include "support/FixtureServerProcess.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "platform/ChildProcess.h"
#include "support/TestSupport.h"

namespace vantor::test {

FixtureServerProcess::FixtureServerProcess(const std::string& root, std::vector<std::string> extraArguments) {
  char pattern[] = "/tmp/vantor-fixture-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("fixture server: no temporary folder");
  folder_ = pattern;
  caFile_ = folder_ + "/fixture-ca.pem";
  requestLog_ = folder_ + "/requests.jsonl";

  std::vector<std::string> argv = {binaryPath("vantor-fixture-server"), "--root", root, "--ca-out", caFile_,
                                   "--request-log", requestLog_};
  argv.insert(argv.end(), extraArguments.begin(), extraArguments.end());
  platform::ProcessOptions options;
  options.mergeStderr = true;
  std::string error;
  child_ = platform::ChildProcess::spawn(argv, options, &error);
  if (!child_) throw std::runtime_error("fixture server: " + error);

  // The first line names the ports once both listen.
  std::string seen;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (seen.find('\n') == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) throw std::runtime_error("fixture server: no ports line within 30 s: " + seen);
    pollfd entry{child_->outputFd(), POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(left.count())) <= 0) continue;
    char buffer[256];
    ssize_t n = ::read(child_->outputFd(), buffer, sizeof buffer);
    if (n <= 0) throw std::runtime_error("fixture server ended before listening: " + seen);
    seen.append(buffer, static_cast<size_t>(n));
  }
  if (std::sscanf(seen.c_str(), "http=%d https=%d", &httpPort_, &httpsPort_) != 2)
    throw std::runtime_error("fixture server: unexpected first line: " + seen);
}

FixtureServerProcess::~FixtureServerProcess() {
  stop();
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::string FixtureServerProcess::httpsHost() const { return "127.0.0.1:" + std::to_string(httpsPort_); }

std::string FixtureServerProcess::httpURL(const std::string& pathAndQuery) const {
  return "http://127.0.0.1:" + std::to_string(httpPort_) + pathAndQuery;
}

std::string FixtureServerProcess::httpsURL(const std::string& pathAndQuery) const {
  return "https://127.0.0.1:" + std::to_string(httpsPort_) + pathAndQuery;
}

std::vector<std::pair<std::string, std::string>> FixtureServerProcess::hostEnvironment() const {
  return {{"VANTOR_PRODUCT_SERVER", httpsHost()},
          {"VANTOR_CASK_HOST", httpsHost()},
          {"VANTOR_MAKER_HOST", httpsHost()},
          {"VANTOR_CA_BUNDLE", caFile_}};
}

std::vector<nlohmann::json> FixtureServerProcess::requests() const {
  if (!std::filesystem::exists(requestLog_)) return {};
  return readJsonLines(requestLog_);
}

std::vector<nlohmann::json> FixtureServerProcess::requests(const std::string& path) const {
  std::vector<nlohmann::json> matching;
  for (auto& request : requests())
    if (request.value("path", "") == path) matching.push_back(request);
  return matching;
}

int FixtureServerProcess::stop() {
  if (!child_) return exitStatus_;
  child_->kill(SIGTERM);
  if (child_->waitFor(30)) {
    exitStatus_ = child_->exited() ? child_->exitStatus() : -1;
  } else {
    child_->kill(SIGKILL);
    child_->wait();
    exitStatus_ = -1;
  }
  child_.reset();
  return exitStatus_;
}

}  // namespace vantor::test
