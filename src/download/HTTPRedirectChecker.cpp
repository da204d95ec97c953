#include "download/HTTPRedirectChecker.h"

#include <memory>
#include <mutex>

#include "download/CurlTransfer.h"
#include "foundation/Semaphore.h"

namespace vantor {

namespace {
bool isFollowableRedirect(const detail::ResponseHead& head) {
  switch (head.statusCode) {
    case 301: case 302: case 303: case 307: case 308: break;
    default: return false;
  }
  auto location = head.headerFields.find("Location");
  return location != head.headerFields.end() && !location->second.empty();
}
}  // namespace

std::optional<HTTPHeaderFields> HTTPRedirectChecker::checkRedirectHeader(const URL& url, double timeout) {
  struct State {
    Semaphore redirected;
    std::mutex lock;
    std::optional<HTTPHeaderFields> res;
  };
  auto state = std::make_shared<State>();

  URLRequest request(url);
  request.timeoutInterval = timeout;
  detail::TransferOptions options;
  options.followRedirects = false;
  detail::TransferHooks hooks;
  hooks.onResponse = [state](const detail::ResponseHead& head) {
    if (!isFollowableRedirect(head)) return true;
    {
      std::lock_guard guard(state->lock);
      state->res = head.headerFields;
    }
    state->redirected.signal();
    return false;  // not followed, and its body is of no interest
  };
  auto transfer = detail::CurlTransfer::start(request, options, std::move(hooks));

  state->redirected.waitFor(timeout + 0.1);
  transfer->cancel();
  std::lock_guard guard(state->lock);
  return state->res;
}

}  // namespace vantor
