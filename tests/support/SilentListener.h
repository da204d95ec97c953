#pragma once
// Loopback peers that never answer, for tests of refused and silent connections.

#include <string>

namespace vantor::test {

// A port of 127.0.0.1 on which nothing listens (connections are refused).
int unusedLoopbackPort();

// A socket that listens on 127.0.0.1 but never accepts: connections complete and then
// hear nothing, not even a TLS handshake.
class SilentListener {
 public:
  SilentListener();
  ~SilentListener();
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;
  int port() const { return port_; }
  std::string url(const std::string& scheme, const std::string& path) const;

 private:
  int socket_ = -1;
  int port_ = 0;
};

}  // namespace vantor::test
