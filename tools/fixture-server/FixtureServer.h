#pragma once
// One loopback server process standing in for every host the helper talks to: the
// product server (release-date query, catalog, icons), the cask hosts, and the feed and
// download hosts. Every file under the root is served at its own path over HTTP and
// HTTPS; two CGI paths answer from files; answer rules make chosen paths slow, failing,
// trickling or silent. It listens on 127.0.0.1 only.

#include <memory>
#include <string>

namespace vantor::fixture {

struct ServerOptions {
  std::string root;
  int httpPort = 0;   // 0: any free port
  int httpsPort = 0;
  std::string caOut;       // where the test CA's certificate goes; empty: <root>/fixture-ca.pem
  std::string rulesFile;   // empty: <root>/fixture-rules.json (read again for every request)
  std::string requestLog;  // empty: no log; else one JSON line per request
};

class FixtureServer {
 public:
  explicit FixtureServer(ServerOptions options);
  ~FixtureServer();
  FixtureServer(const FixtureServer&) = delete;
  FixtureServer& operator=(const FixtureServer&) = delete;

  // Makes the CA and the server certificate, writes the CA file, binds both ports and
  // starts serving. False with the reason in *error when any step fails.
  bool start(std::string* error);
  int httpPort() const;
  int httpsPort() const;
  // Releases held answers and stops both servers; the destructor does it too.
  void stop();

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// The text of --help: command line, CGI paths and the answer rules.
const char* usageText();

}  // namespace vantor::fixture
