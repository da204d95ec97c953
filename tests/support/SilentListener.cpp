#include "support/SilentListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace vantor::test {

namespace {

int boundLoopbackSocket(int& port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    throw std::runtime_error("bind failed");
  }
  port = ntohs(address.sin_port);
  return fd;
}

}  // namespace

int unusedLoopbackPort() {
  int port = 0;
  ::close(boundLoopbackSocket(port));
  return port;
}

SilentListener::SilentListener() {
  socket_ = boundLoopbackSocket(port_);
  if (::listen(socket_, 64) != 0) {
    ::close(socket_);
    throw std::runtime_error("listen failed");
  }
}

SilentListener::~SilentListener() {
  if (socket_ >= 0) ::close(socket_);
}

std::string SilentListener::url(const std::string& scheme, const std::string& path) const {
  return scheme + "://127.0.0.1:" + std::to_string(port_) + path;
}

}  // namespace vantor::test
