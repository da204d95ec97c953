#include "download/HTTPContentLengthChecker.h"

#include <memory>

#include "download/CurlTransfer.h"

namespace vantor {

void HTTPContentLengthChecker::checkSizeOfURL(const URL& url, ResultBlock resultBlock) {
  auto length = std::make_shared<std::int64_t>(0);
  detail::TransferHooks hooks;
  hooks.onResponse = [length](const detail::ResponseHead& head) {
    *length = head.expectedContentLength;
    return false;  // the head is all we wanted
  };
  // Reported once the transfer has let go of the connection, so the block may start
  // other transfers.
  hooks.onComplete = [length, resultBlock = std::move(resultBlock)](const detail::TransferOutcome&) {
    if (resultBlock) resultBlock(*length);
  };
  detail::CurlTransfer::start(URLRequest(url), {}, std::move(hooks));
}

}  // namespace vantor
