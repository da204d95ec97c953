#include "download/URLDownloads.h"

#include <memory>
#include <mutex>

#include "download/CurlTransfer.h"
#include "download/HTTPSecurePOST.h"
#include "foundation/Semaphore.h"
#include "foundation/Task.h"

namespace vantor {

namespace {

// Starts a transfer that delivers the body whatever the status, or nothing on failure.
std::shared_ptr<detail::CurlTransfer> startDataTask(const URLRequest& request, const std::string& protocols,
                                                    DataBlock block) {
  auto buffer = std::make_shared<Bytes>();
  detail::TransferOptions options;
  options.protocols = protocols;
  detail::TransferHooks hooks;
  hooks.onData = [buffer](const char* bytes, std::size_t length) {
    buffer->insert(buffer->end(), bytes, bytes + length);
    return true;
  };
  hooks.onComplete = [buffer, block = std::move(block)](const detail::TransferOutcome& outcome) {
    if (!block) return;
    if (outcome.succeeded) block(std::move(*buffer));
    else block(std::nullopt);
  };
  return detail::CurlTransfer::start(request, options, std::move(hooks));
}

// Waits for a data task at most limit seconds (no limit when absent), cancelling it when
// the time runs out.
std::optional<Bytes> waitForDataTask(const URLRequest& request, const std::string& protocols,
                                     std::optional<double> limit) {
  struct Result {
    Semaphore done;
    std::mutex lock;
    std::optional<Bytes> data;
  };
  auto result = std::make_shared<Result>();
  auto transfer = startDataTask(request, protocols, [result](std::optional<Bytes> data) {
    {
      std::lock_guard guard(result->lock);
      result->data = std::move(data);
    }
    result->done.signal();
  });
  if (limit) {
    if (!result->done.waitFor(*limit)) {
      transfer->cancel();
      return std::nullopt;
    }
  } else {
    result->done.wait();
  }
  std::lock_guard guard(result->lock);
  return std::move(result->data);
}

constexpr const char* kWebProtocols = "http,https";

}  // namespace

std::optional<Bytes> download(const std::string& urlText) {
  auto url = URL::parse(urlText);
  if (!url) return std::nullopt;
  return download(*url);
}

std::optional<Bytes> download(const URL& url) {
  return waitForDataTask(URLRequest(url), "http,https,file", std::nullopt);
}

std::optional<Bytes> contents(const URL& url) { return download(url); }

std::optional<Bytes> download(const URLRequest& request) { return downloadWithTimeout(request, 5, true); }

std::optional<Bytes> downloadWithTimeout(const URLRequest& request, double timeout, bool /*disableCache*/) {
  return waitForDataTask(request, kWebProtocols, timeout);
}

std::optional<std::string> downloadWithCurl(const std::string& urlText) {
  auto url = URL::parse(urlText);
  if (!url) return std::nullopt;
  return downloadWithCurl(*url);
}

std::optional<std::string> downloadWithCurl(const URL& url) {
  return runAsTask({"/usr/bin/curl", "-s", url.absoluteString()});
}

void performGET(const URL& url, DataBlock block) { startDataTask(URLRequest(url), kWebProtocols, std::move(block)); }

void performPOST(const URL& url, DataBlock block) {
  startDataTask(HTTPSecurePOST::formRequest(url), kWebProtocols, std::move(block));
}

std::optional<Bytes> performBlockingGET(const URL& url, double seconds) {
  return waitForDataTask(URLRequest(url), kWebProtocols, seconds);
}

std::optional<Bytes> performBlockingPOST(const URL& url, double seconds) {
  return waitForDataTask(HTTPSecurePOST::formRequest(url), kWebProtocols, seconds);
}

}  // namespace vantor
