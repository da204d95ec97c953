#pragma once
// A counting semaphore whose timed wait takes seconds as a double, the way the blocking
// network calls state their limits. Built on a mutex and a condition variable so that a
// timed wait returns at its deadline on every standard library.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace vantor {

class Semaphore {
 public:
  explicit Semaphore(long count = 0) : count_(count) {}
  Semaphore(const Semaphore&) = delete;
  Semaphore& operator=(const Semaphore&) = delete;

  void signal() {
    {
      std::lock_guard lock(mutex_);
      ++count_;
    }
    changed_.notify_one();
  }

  void wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return count_ > 0; });
    --count_;
  }

  // True when signalled before the limit, false when the time ran out.
  bool waitFor(std::chrono::nanoseconds limit) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, limit, [&] { return count_ > 0; })) return false;
    --count_;
    return true;
  }

  // The limit in seconds, truncated to whole nanoseconds; a negative limit does not wait.
  bool waitFor(double seconds) {
    if (!(seconds > 0)) return waitFor(std::chrono::nanoseconds(0));
    if (seconds > 1e9) {  // beyond any clock's range: no limit
      wait();
      return true;
    }
    return waitFor(std::chrono::nanoseconds(static_cast<long long>(seconds * 1e9)));
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  long count_;
};

}  // namespace vantor
