#include "download/HTTPRetryingDownloader.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

#include "download/CurlTransfer.h"
#include "foundation/Assert.h"
#include "foundation/Semaphore.h"

namespace vantor {

namespace {

constexpr std::size_t kInitialCapacity = 102400;

// Everything one attempt shares with its transfer. A fresh one per attempt, so a
// cancelled attempt that completes late can neither signal nor fill the next one.
struct AttemptState {
  Semaphore done;
  std::mutex lock;
  Bytes buffer;
};

}  // namespace

std::optional<DownloadedData> HTTPRetryingDownloader::downloadURL(const URL& url, double timeout,
                                                                  std::int32_t maximumRetries, double waitingTime,
                                                                  const ValidityChecker& validityChecker) {
  return downloadRequest(URLRequest(url), timeout, maximumRetries, waitingTime, validityChecker);
}

std::optional<DownloadedData> HTTPRetryingDownloader::downloadRequest(const URLRequest& request, double timeout,
                                                                      std::int32_t maximumRetries,
                                                                      double waitingTime,
                                                                      const ValidityChecker& validityChecker) {
  VANTOR_ASSERT(validityChecker);
  if (maximumRetries < 0) return std::nullopt;

  URLRequest attemptRequest = request;
  attemptRequest.timeoutInterval = timeout;

  for (std::int32_t attempt = 0;; ++attempt) {
    if (attempt > 0) {
      if (sleeper_) sleeper_(waitingTime);
      else if (waitingTime > 0) std::this_thread::sleep_for(std::chrono::duration<double>(waitingTime));
    }

    auto state = std::make_shared<AttemptState>();
    state->buffer.reserve(kInitialCapacity);
    detail::TransferHooks hooks;
    hooks.onData = [state](const char* bytes, std::size_t length) {
      std::lock_guard guard(state->lock);
      state->buffer.insert(state->buffer.end(), bytes, bytes + length);
      return true;
    };
    hooks.onComplete = [state](const detail::TransferOutcome& outcome) {
      bool failedStatus = outcome.response && outcome.response->statusCode != 200;
      if (!outcome.succeeded || failedStatus) {
        std::lock_guard guard(state->lock);
        state->buffer.clear();
      }
      state->done.signal();
    };
    auto transfer = detail::CurlTransfer::start(attemptRequest, {}, std::move(hooks));

    // A limit on the whole attempt, not on inactivity.
    bool completed = state->done.waitFor(timeout + 0.1);
    transfer->cancel();

    if (completed) {
      Bytes bytes;
      {
        std::lock_guard guard(state->lock);
        bytes = std::move(state->buffer);
      }
      if (validityChecker(bytes)) return DownloadedData{std::move(bytes), Json(attempt)};
    }
    if (attempt >= maximumRetries) return std::nullopt;
  }
}

}  // namespace vantor
