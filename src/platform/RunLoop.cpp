#include "platform/RunLoop.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace vantor::platform {
namespace {

using Clock = std::chrono::steady_clock;

std::thread::id& mainThreadId() {
  static std::thread::id id;
  return id;
}

struct MainQueue {
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<Task> ready;
  std::multimap<Clock::time_point, Task> timed;
  std::optional<int> stopStatus;
};

MainQueue& mainQueue() {
  static auto* queue = new MainQueue();  // never destroyed: threads may post during exit
  return *queue;
}

// A pool that keeps idle threads and starts another whenever none is idle.
struct BackgroundPool {
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<Task> ready;
  int idle = 0;

  void post(Task task) {
    std::unique_lock lock(mutex);
    ready.push_back(std::move(task));
    if (idle > 0) {
      wake.notify_one();
      return;
    }
    std::thread([this] { work(); }).detach();
  }

  void work() {
    std::unique_lock lock(mutex);
    for (;;) {
      while (ready.empty()) {
        ++idle;
        wake.wait(lock);
        --idle;
      }
      Task task = std::move(ready.front());
      ready.pop_front();
      lock.unlock();
      task();
      lock.lock();
    }
  }
};

BackgroundPool& backgroundPool() {
  static auto* pool = new BackgroundPool();
  return *pool;
}

}  // namespace

void markMainThread() {
  if (mainThreadId() == std::thread::id()) mainThreadId() = std::this_thread::get_id();
}

bool isMainThread() { return std::this_thread::get_id() == mainThreadId(); }

void postToMainQueue(Task task) {
  auto& q = mainQueue();
  std::lock_guard lock(q.mutex);
  q.ready.push_back(std::move(task));
  q.wake.notify_all();
}

void postToMainQueueAfter(double seconds, Task task) {
  auto& q = mainQueue();
  auto when = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  std::lock_guard lock(q.mutex);
  q.timed.emplace(when, std::move(task));
  q.wake.notify_all();
}

void postToBackgroundQueue(Task task) { backgroundPool().post(std::move(task)); }

void postToBackgroundQueueAfter(double seconds, Task task) {
  postToBackgroundQueue([seconds, task = std::move(task)] {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    task();
  });
}

int runMainLoop() {
  markMainThread();
  auto& q = mainQueue();
  std::unique_lock lock(q.mutex);
  for (;;) {
    if (q.stopStatus) {
      int status = *q.stopStatus;
      q.stopStatus.reset();
      return status;
    }
    auto now = Clock::now();
    while (!q.timed.empty() && q.timed.begin()->first <= now) {
      q.ready.push_back(std::move(q.timed.begin()->second));
      q.timed.erase(q.timed.begin());
    }
    if (!q.ready.empty()) {
      Task task = std::move(q.ready.front());
      q.ready.pop_front();
      lock.unlock();
      task();
      lock.lock();
      continue;
    }
    if (q.timed.empty()) q.wake.wait(lock);
    else q.wake.wait_until(lock, q.timed.begin()->first);
  }
}

void stopMainLoop(int status) {
  auto& q = mainQueue();
  std::lock_guard lock(q.mutex);
  q.stopStatus = status;
  q.wake.notify_all();
}

void exitProcess(int status) {
  std::fflush(nullptr);
  std::_Exit(status);
}

}  // namespace vantor::platform
