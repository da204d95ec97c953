#include "platform/SingleInstance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "platform/Environment.h"
#include "vantor/BuildSettings.h"

namespace vantor::platform {
namespace {

constexpr int kReplyTimeoutMs = 10000;   // a helper that does not answer counts as absent
constexpr int kConnectionTimeoutMs = 5000;

struct Fd {
  int fd = -1;
  explicit Fd(int f = -1) : fd(f) {}
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int release() {
    int f = fd;
    fd = -1;
    return f;
  }
};

bool fillAddress(const std::string& path, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

// Waits for the descriptor; false on time-out or error.
bool waitFor(int fd, short events, int timeoutMs) {
  pollfd p{fd, events, 0};
  int r;
  do {
    r = ::poll(&p, 1, timeoutMs);
  } while (r < 0 && errno == EINTR);
  return r > 0;
}

bool sendAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    if (!waitFor(fd, POLLOUT, kConnectionTimeoutMs)) return false;
    ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Reads exactly size bytes; false at end of stream, time-out or error.
bool receiveAll(int fd, char* data, size_t size, int timeoutMs) {
  while (size > 0) {
    if (!waitFor(fd, POLLIN, timeoutMs)) return false;
    ssize_t n = ::recv(fd, data, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

enum class Probe { Listening, Stale, Missing, NotASocket, Failed };

// Connects to the path; on Listening, *connection holds the connected socket.
Probe probe(const std::string& path, Fd& connection, std::string& error) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT ? Probe::Missing : Probe::Failed;
  if (!S_ISSOCK(st.st_mode)) return Probe::NotASocket;
  sockaddr_un address{};
  if (!fillAddress(path, address)) {
    error = "socket path too long: " + path;
    return Probe::Failed;
  }
  Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (fd.fd < 0) {
    error = std::string("socket: ") + std::strerror(errno);
    return Probe::Failed;
  }
  if (::connect(fd.fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    connection.fd = fd.release();
    return Probe::Listening;
  }
  if (errno == ECONNREFUSED) return Probe::Stale;
  if (errno == ENOENT) return Probe::Missing;
  error = "connect to " + path + ": " + std::strerror(errno);
  return Probe::Failed;
}

}  // namespace

std::optional<std::string> SingleInstance::defaultSocketPath(std::string* why) {
  std::string name = build::kBundleIdentifier;
  if (auto runtime = environmentValue("XDG_RUNTIME_DIR"); runtime && !runtime->empty())
    return *runtime + "/" + name + ".socket";
  // The shared temporary folder: a private folder of our own keeps other users out.
  std::string folder = temporaryDirectory() + "/" + name + "-" + std::to_string(::getuid());
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    if (why) *why = "can not create " + folder + ": " + std::strerror(errno);
    return std::nullopt;
  }
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
      (st.st_mode & 077) != 0) {
    if (why) *why = folder + " is not a private folder of this user";
    return std::nullopt;
  }
  return folder + "/instance.socket";
}

SingleInstance::Outcome SingleInstance::claimOrForward(const std::string& socketPath,
                                                       const std::optional<std::string>& link) {
  Outcome outcome;
  sockaddr_un address{};
  if (!fillAddress(socketPath, address)) {
    outcome.error = "socket path too long: " + socketPath;
    return outcome;
  }
  // Two launches at once can both find no listener; the loser of the bind race probes again.
  for (int attempt = 0; attempt < 50; ++attempt) {
    Fd connection;
    std::string error;
    switch (probe(socketPath, connection, error)) {
      case Probe::Listening: {
        if (!link) {
          outcome.role = Role::AlreadyRunning;
          return outcome;
        }
        std::uint32_t length = static_cast<std::uint32_t>(link->size());
        unsigned char header[4] = {static_cast<unsigned char>(length >> 24), static_cast<unsigned char>(length >> 16),
                                   static_cast<unsigned char>(length >> 8), static_cast<unsigned char>(length)};
        char reply = 0;
        if (!sendAll(connection.fd, reinterpret_cast<char*>(header), 4) ||
            !sendAll(connection.fd, link->data(), link->size()) ||
            !receiveAll(connection.fd, &reply, 1, kReplyTimeoutMs)) {
          outcome.error = "the running helper at " + socketPath + " did not take the link";
          return outcome;
        }
        if (reply == 'A') {
          outcome.role = Role::Forwarded;
        } else {
          outcome.role = Role::Refused;
          outcome.error = "the running helper refused the link";
        }
        return outcome;
      }
      case Probe::NotASocket:
        outcome.error = socketPath + " exists and is not a socket; leaving it alone";
        return outcome;
      case Probe::Failed:
        outcome.error = error.empty() ? "can not examine " + socketPath + ": " + std::strerror(errno) : error;
        return outcome;
      case Probe::Stale:
        // Nobody listens: a helper ended without removing it.
        ::unlink(socketPath.c_str());
        [[fallthrough]];
      case Probe::Missing: {
        Fd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (listener.fd < 0) {
          outcome.error = std::string("socket: ") + std::strerror(errno);
          return outcome;
        }
        mode_t old = ::umask(077);
        int bound = ::bind(listener.fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        int bindErrno = errno;
        ::umask(old);
        if (bound != 0) {
          if (bindErrno == EADDRINUSE) {
            ::usleep(20000);
            continue;
          }
          outcome.error = "bind " + socketPath + ": " + std::strerror(bindErrno);
          return outcome;
        }
        if (::listen(listener.fd, 16) != 0) {
          outcome.error = std::string("listen: ") + std::strerror(errno);
          ::unlink(socketPath.c_str());
          return outcome;
        }
        struct stat st {};
        ::lstat(socketPath.c_str(), &st);
        outcome.role = Role::Primary;
        outcome.primary.reset(new SingleInstance(listener.release(), socketPath, st.st_ino));
        return outcome;
      }
    }
  }
  outcome.error = "could not claim " + socketPath + " after repeated attempts";
  return outcome;
}

SingleInstance::SingleInstance(int listenFd, std::string path, ino_t inode)
    : listenFd_(listenFd), path_(std::move(path)), inode_(inode) {
  if (::pipe2(stopPipe_, O_CLOEXEC) != 0) stopPipe_[0] = stopPipe_[1] = -1;
}

SingleInstance::~SingleInstance() {
  close();
  for (int fd : stopPipe_)
    if (fd >= 0) ::close(fd);
}

void SingleInstance::serve(std::function<bool(const std::string&)> accepts,
                           std::function<void(const std::string&)> onTaken) {
  accepts_ = std::move(accepts);
  onTaken_ = std::move(onTaken);
  thread_ = std::thread([this] { run(); });
}

void SingleInstance::close() {
  if (closed_.exchange(true)) return;
  if (stopPipe_[1] >= 0) (void)!::write(stopPipe_[1], "x", 1);
  if (thread_.joinable()) thread_.join();
  // Remove the file only while it is still the socket we made: a later helper may have
  // replaced it after deciding ours was stale.
  struct stat st {};
  if (::lstat(path_.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_ino == inode_) ::unlink(path_.c_str());
  if (listenFd_ >= 0) ::close(listenFd_);
  listenFd_ = -1;
}

void SingleInstance::run() {
  for (;;) {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
    int r = ::poll(fds, stopPipe_[0] >= 0 ? 2 : 1, -1);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 || (fds[1].revents & POLLIN) || closed_) return;
    if (!(fds[0].revents & POLLIN)) continue;
    int connection = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    handle(connection);
    ::close(connection);
  }
}

void SingleInstance::handle(int connection) {
  ucred peer{};
  socklen_t size = sizeof peer;
  if (::getsockopt(connection, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != ::getuid()) return;
  unsigned char header[4];
  if (!receiveAll(connection, reinterpret_cast<char*>(header), 4, kConnectionTimeoutMs)) return;  // a probe
  std::uint32_t length = (std::uint32_t{header[0]} << 24) | (std::uint32_t{header[1]} << 16) |
                         (std::uint32_t{header[2]} << 8) | std::uint32_t{header[3]};
  if (length > kMaxMessageBytes) {
    sendAll(connection, "R", 1);
    return;
  }
  std::string link(length, '\0');
  if (!receiveAll(connection, link.data(), length, kConnectionTimeoutMs)) return;
  bool taken = accepts_ && accepts_(link);
  sendAll(connection, taken ? "A" : "R", 1);
  if (taken && onTaken_) onTaken_(link);
}

}  // namespace vantor::platform
