#pragma once
// One running helper per user: the first launch listens on a Unix-domain socket in the
// runtime folder; a later launch connects, hands over its link and leaves. A socket file
// that nobody listens on (a helper that crashed) is replaced; a path taken by anything
// that is not a socket is never deleted (the helper then runs without the channel).
//
// Wire format, per connection: a 4-byte big-endian length, that many bytes of link, and
// one reply byte from the listener ('A' taken, 'R' refused). A connection that sends
// nothing only asks whether a helper is there.

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include <sys/types.h>

namespace vantor::platform {

class SingleInstance {
 public:
  // Links longer than this are refused on the wire.
  static constexpr std::size_t kMaxMessageBytes = 1 << 20;

  enum class Role {
    Primary,      // this process now owns the channel
    Forwarded,    // another helper runs and took the link
    AlreadyRunning,  // another helper runs; there was no link to hand over
    Refused,      // another helper runs and refused the link
    Unavailable,  // no channel (path taken by a non-socket, too long, socket errors)
  };

  struct Outcome {
    Role role = Role::Unavailable;
    std::string error;  // for Refused and Unavailable
    std::unique_ptr<SingleInstance> primary;  // for Primary
  };

  // "$XDG_RUNTIME_DIR/<bundle identifier>.socket", else a private folder
  // "<tmp>/<bundle identifier>-<uid>/" (created 0700, must be ours) with "instance.socket".
  static std::optional<std::string> defaultSocketPath(std::string* why = nullptr);

  // Becomes the primary at socketPath, or hands link to the helper that already is.
  static Outcome claimOrForward(const std::string& socketPath, const std::optional<std::string>& link);

  ~SingleInstance();  // stops serving and removes the socket file if it is still ours
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // Serves connections on a thread of its own; every link received is given to accepts on
  // that thread, which answers whether it takes the link. A taken link goes to onTaken
  // only after the sender has its answer, so whatever onTaken starts (even the end of
  // this process) cannot leave the sender without one.
  void serve(std::function<bool(const std::string& link)> accepts,
             std::function<void(const std::string& link)> onTaken = nullptr);
  // Stops serving and removes the socket file (when it is still the one we made).
  void close();
  const std::string& path() const { return path_; }

 private:
  SingleInstance(int listenFd, std::string path, ino_t inode);
  void run();
  void handle(int connection);

  int listenFd_;
  int stopPipe_[2] = {-1, -1};
  std::string path_;
  ino_t inode_;
  std::function<bool(const std::string&)> accepts_;
  std::function<void(const std::string&)> onTaken_;
  std::thread thread_;
  std::atomic<bool> closed_{false};
};

}  // namespace vantor::platform
