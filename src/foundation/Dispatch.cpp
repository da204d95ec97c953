#include "foundation/Dispatch.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <semaphore>

#include "foundation/Assert.h"
#include "platform/RunLoop.h"

namespace vantor {
namespace {

// The delay converted to whole nanoseconds by truncation.
double truncatedSeconds(float delay) {
  auto ns = static_cast<long long>(static_cast<double>(delay) * 1e9);
  return static_cast<double>(ns) / 1e9;
}

struct Completion {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  void finish() {
    std::lock_guard lock(mutex);
    finished = true;
    done.notify_all();
  }
};

std::mutex asyncToSyncMutex;
std::unique_ptr<std::binary_semaphore> ccAsyncToSyncSema;
std::optional<void*> ccAsyncToSyncResult;

}  // namespace

bool isMainThread() { return platform::isMainThread(); }

void dispatch_async_main(Block block) { platform::postToMainQueue(std::move(block)); }

void dispatch_sync_main(Block block) {
  if (platform::isMainThread()) {
    block();
    return;
  }
  auto completion = std::make_shared<Completion>();
  platform::postToMainQueue([block = std::move(block), completion] {
    block();
    completion->finish();
  });
  std::unique_lock lock(completion->mutex);
  completion->done.wait(lock, [&] { return completion->finished; });
}

void dispatch_after_main(float delay, Block block) {
  platform::postToMainQueueAfter(truncatedSeconds(delay), std::move(block));
}

void dispatch_after_back(float delay, Block block) {
  platform::postToBackgroundQueueAfter(truncatedSeconds(delay), std::move(block));
}

void dispatch_async_back(Block block) { platform::postToBackgroundQueue(std::move(block)); }

void dispatch_sync_back(Block block) {
  auto completion = std::make_shared<Completion>();
  platform::postToBackgroundQueue([block = std::move(block), completion] {
    block();
    completion->finish();
  });
  std::unique_lock lock(completion->mutex);
  completion->done.wait(lock, [&] { return completion->finished; });
}

bool dispatch_async_back_timeout(Block block, float timeout) {
  auto completion = std::make_shared<Completion>();
  platform::postToBackgroundQueue([block = std::move(block), completion] {
    block();
    completion->finish();
  });
  std::unique_lock lock(completion->mutex);
  bool finished = completion->done.wait_for(lock, std::chrono::duration<double>(timeout),
                                            [&] { return completion->finished; });
  return !finished;
}

void* dispatch_async_to_sync(Block block) {
  {
    std::lock_guard lock(asyncToSyncMutex);
    VANTOR_ASSERT(!ccAsyncToSyncResult.has_value() && !ccAsyncToSyncSema);
    ccAsyncToSyncSema = std::make_unique<std::binary_semaphore>(0);
  }
  block();
  ccAsyncToSyncSema->acquire();
  std::lock_guard lock(asyncToSyncMutex);
  VANTOR_ASSERT(ccAsyncToSyncResult.has_value());
  void* result = *ccAsyncToSyncResult;
  ccAsyncToSyncResult.reset();
  ccAsyncToSyncSema.reset();
  return result;
}

void dispatch_async_to_sync_resulthandler(void* result) {
  std::lock_guard lock(asyncToSyncMutex);
  VANTOR_ASSERT(ccAsyncToSyncSema && !ccAsyncToSyncResult.has_value());
  ccAsyncToSyncResult = result;
  ccAsyncToSyncSema->release();
}

}  // namespace vantor
