#include "download/HTTPSecurePOST.h"

#include <memory>

#include "download/CurlTransfer.h"
#include "download/ParsedURL.h"
#include "download/ServerIssuerCheck.h"
#include "foundation/Semaphore.h"

namespace vantor {

namespace {

constexpr std::size_t kInitialCapacity = 102400;

struct PostState {
  Bytes buffer;
  bool failed = false;
};

// Starts the pinned POST; finished gets the body or nothing on the transfer's thread.
void startSecurePOST(const URL& url, double timeout, std::function<void(std::optional<Bytes>)> finished) {
  URLRequest request = HTTPSecurePOST::formRequest(url);
  request.timeoutInterval = timeout;

  auto state = std::make_shared<PostState>();
  state->buffer.reserve(kInitialCapacity);
  detail::TransferHooks hooks;
  hooks.acceptServerCertificate = &ServerIssuerCheck::acceptsCertificate;
  hooks.onData = [state](const char* bytes, std::size_t length) {
    state->buffer.insert(state->buffer.end(), bytes, bytes + length);
    return true;
  };
  hooks.onComplete = [state, finished = std::move(finished)](const detail::TransferOutcome& outcome) {
    bool failedStatus = outcome.response && outcome.response->statusCode != 200;
    if (!outcome.succeeded || failedStatus) finished(std::nullopt);
    else finished(std::move(state->buffer));
  };
  detail::CurlTransfer::start(request, {}, std::move(hooks));
}

}  // namespace

URLRequest HTTPSecurePOST::formRequest(const URL& url) {
  URLRequest request(url);
  request.httpBody = url.query();
  // curl's URL parser takes the query off; a URL it cannot read fails in the transfer.
  if (auto parsed = detail::ParsedURL::parse(url.absoluteString())) {
    if (auto withoutQuery = URL::parse(parsed->absoluteStringWithoutQuery())) request.url = *withoutQuery;
  }
  request.httpMethod = "POST";
  request.setValue("application/x-www-form-urlencoded", "Content-Type");
  return request;
}

std::optional<Bytes> HTTPSecurePOST::downloadURLWithSecurePOST(const URL& url, double timeout) {
  struct Result {
    Semaphore done;
    std::optional<Bytes> data;
  };
  auto result = std::make_shared<Result>();
  startSecurePOST(url, timeout, [result](std::optional<Bytes> data) {
    result->data = std::move(data);
    result->done.signal();
  });
  result->done.wait();
  return std::move(result->data);
}

void HTTPSecurePOST::downloadURLWithSecurePOST(const URL& url, double timeout,
                                               CompletionBlock completionBlock) {
  startSecurePOST(url, timeout, [completionBlock = std::move(completionBlock)](std::optional<Bytes> data) {
    if (completionBlock) completionBlock(std::move(data));
  });
}

}  // namespace vantor
