#include "download/HTTPDownloader.h"

#include <memory>

#include "download/CurlTransfer.h"
#include "foundation/Assert.h"
#include "foundation/Semaphore.h"
#include "platform/Memory.h"

namespace vantor {

namespace {

// Typical archives arrive without the buffer ever growing.
constexpr std::size_t kInitialCapacity = 52428800;
// An announced length up to this size is reserved at once, so the body never moves.
constexpr std::int64_t kLargestReservation = std::int64_t{8} << 30;
// Large chunks keep the per-chunk work (progress, abort) small beside the copying.
constexpr long kReceiveBufferSize = 1 << 20;

struct DownloadState {
  Semaphore done;
  Bytes buffer;
  bool bufferDropped = false;
  std::int64_t downloadSize = -1;
  HTTPDownloader::ProgressBlock progressBlock;
  HTTPDownloader::AbortBlock abortBlock;

  // Reserves capacity; the fresh pages are filled right away, so ask for huge pages.
  void reserve(std::size_t capacity) {
    buffer.reserve(capacity);
    platform::adviseHugePages(buffer.data(), buffer.capacity());
  }
};

}  // namespace

std::optional<Bytes> HTTPDownloader::downloadURL(const URL& url, const HTTPHeaderFields& additionalHeaders,
                                                 ProgressBlock progressBlock, AbortBlock abortBlock) {
  VANTOR_ASSERT(progressBlock);
  VANTOR_ASSERT(abortBlock);

  URLRequest request(url);
  request.allHTTPHeaderFields = additionalHeaders;
  request.timeoutInterval = inactivityTimeout_;

  auto state = std::make_shared<DownloadState>();
  state->progressBlock = std::move(progressBlock);
  state->abortBlock = std::move(abortBlock);
  state->reserve(kInitialCapacity);

  detail::TransferOptions options;
  options.receiveBufferSize = kReceiveBufferSize;
  detail::TransferHooks hooks;
  hooks.onResponse = [state](const detail::ResponseHead& head) {
    state->downloadSize = head.expectedContentLength;
    if (head.expectedContentLength > static_cast<std::int64_t>(state->buffer.capacity()) &&
        head.expectedContentLength <= kLargestReservation) {
      try {
        state->reserve(static_cast<std::size_t>(head.expectedContentLength));
      } catch (const std::bad_alloc&) {
        // Not fatal: the buffer grows as the body arrives.
      }
    }
    state->progressBlock(0, state->downloadSize);
    return true;
  };
  hooks.onData = [state](const char* bytes, std::size_t length) {
    state->buffer.insert(state->buffer.end(), bytes, bytes + length);
    state->progressBlock(static_cast<std::int64_t>(state->buffer.size()), state->downloadSize);
    return !state->abortBlock();
  };
  hooks.onComplete = [state](const detail::TransferOutcome& outcome) {
    bool failedStatus = outcome.response && outcome.response->statusCode != 200;
    if (!outcome.succeeded || failedStatus) state->bufferDropped = true;
    // The blocks may hold the caller's state; they are not needed any more.
    state->progressBlock = nullptr;
    state->abortBlock = nullptr;
    state->done.signal();
  };

  auto transfer = detail::CurlTransfer::start(request, options, std::move(hooks));
  state->done.wait();
  transfer->cancel();

  if (state->bufferDropped) return std::nullopt;
  return std::move(state->buffer);
}

}  // namespace vantor
