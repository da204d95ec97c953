#include "download/HTTPPartialDownloader.h"

#include <memory>

#include "download/CurlTransfer.h"
#include "foundation/Semaphore.h"

namespace vantor {

bool HTTPPartialDownloader::downloadURL(const URL& url, std::int64_t minimumSize) {
  struct State {
    Semaphore done;
    std::int64_t downloadedSize = 0;
  };
  auto state = std::make_shared<State>();
  detail::TransferHooks hooks;
  hooks.onData = [state, minimumSize](const char*, std::size_t length) {
    state->downloadedSize += static_cast<std::int64_t>(length);
    return state->downloadedSize <= minimumSize;
  };
  hooks.onComplete = [state](const detail::TransferOutcome& outcome) {
    if (outcome.response && outcome.response->statusCode != 200) state->downloadedSize = 0;
    state->done.signal();
  };
  auto transfer = detail::CurlTransfer::start(URLRequest(url), {}, std::move(hooks));
  state->done.wait();
  return state->downloadedSize > minimumSize;
}

}  // namespace vantor
