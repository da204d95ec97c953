#pragma once
// The real vantor-fixture-server of the build, started on a fixture root for one test.
//
//   FixtureServerProcess server(root);           // throws when it does not come up
//   env = server.hostEnvironment();              // product, cask and maker hosts + CA
//   ... run the helper ...
//   auto seen = server.requests("/feeds/editor.xml");
//   EXPECT_EQ(server.stop(), 0);                 // SIGTERM; the destructor stops it too

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace vantor::platform {
class ChildProcess;
}

namespace vantor::test {

class FixtureServerProcess {
 public:
  // Starts the server on root with its CA file, rules file default and request log in a
  // folder of its own; waits up to 30 s for the ports line.
  explicit FixtureServerProcess(const std::string& root, std::vector<std::string> extraArguments = {});
  ~FixtureServerProcess();
  FixtureServerProcess(const FixtureServerProcess&) = delete;
  FixtureServerProcess& operator=(const FixtureServerProcess&) = delete;

  int httpPort() const { return httpPort_; }
  int httpsPort() const { return httpsPort_; }
  // "127.0.0.1:<port>" of the HTTPS port, as the host overrides take it.
  std::string httpsHost() const;
  std::string httpURL(const std::string& pathAndQuery) const;
  std::string httpsURL(const std::string& pathAndQuery) const;
  const std::string& caFile() const { return caFile_; }

  // VANTOR_PRODUCT_SERVER, VANTOR_CASK_HOST and VANTOR_MAKER_HOST at the HTTPS port, and
  // VANTOR_CA_BUNDLE at the CA file: everything a helper needs to use this server alone.
  std::vector<std::pair<std::string, std::string>> hostEnvironment() const;

  // Every request seen so far (the server's request log), or those of one path.
  std::vector<nlohmann::json> requests() const;
  std::vector<nlohmann::json> requests(const std::string& path) const;

  // SIGTERM, then waits up to 30 s; the exit status (-1 when it had to be killed).
  int stop();

 private:
  std::unique_ptr<platform::ChildProcess> child_;
  std::string folder_;
  std::string caFile_;
  std::string requestLog_;
  int httpPort_ = 0;
  int httpsPort_ = 0;
  int exitStatus_ = -1;
};

}  // namespace vantor::test
