#pragma once
// One HTTP transfer on libcurl, the engine under every class of this module.
//
// A transfer runs on a worker thread of its own (the "delegate queue" of the transfer),
// so its hooks run one at a time and never on the thread that started it. The object
// owns its curl handles; curl's static callbacks are forwarded to its members. start()
// keeps the object alive until the transfer has ended and onComplete has returned,
// whatever the caller does with its own reference; cancel() may come from any thread and
// ends the transfer promptly, even while it waits for a silent server.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "download/URLRequest.h"

#include <curl/curl.h>

struct x509_st;
struct x509_store_ctx_st;

namespace vantor::detail {

struct ResponseHead {
  long statusCode = 0;
  HTTPHeaderFields headerFields;
  std::int64_t expectedContentLength = -1;  // -1 when the server does not say
};

struct TransferOutcome {
  bool succeeded = false;  // the transfer ran to its end without error or cancellation
  bool cancelled = false;  // by cancel() or by a hook that returned false
  std::string errorDescription;
  std::optional<ResponseHead> response;  // the final response, when its head arrived
};

struct TransferHooks {
  // The head of the final response (redirects that are followed do not show). False
  // cancels the transfer.
  std::function<bool(const ResponseHead&)> onResponse;
  // Each chunk of the body as it arrives. False cancels the transfer.
  std::function<bool(const char* bytes, std::size_t length)> onData;
  // Always called exactly once, last, on the worker thread.
  std::function<void(const TransferOutcome&)> onComplete;
  // Asked about the server's own certificate once its chain has been verified; false
  // refuses the server. Unset: standard verification only.
  std::function<bool(x509_st* serverCertificate)> acceptServerCertificate;
};

struct TransferOptions {
  bool followRedirects = true;
  std::string protocols = "http,https";  // curl's protocol names
  long receiveBufferSize = 0;            // 0: curl's default
};

class CurlTransfer {
 public:
  static std::shared_ptr<CurlTransfer> start(const URLRequest& request, TransferOptions options,
                                             TransferHooks hooks);
  ~CurlTransfer();
  CurlTransfer(const CurlTransfer&) = delete;
  CurlTransfer& operator=(const CurlTransfer&) = delete;

  // Ends the transfer as cancelled; onComplete still comes. Safe from any thread, also
  // after the transfer ended.
  void cancel();

 private:
  CurlTransfer(TransferOptions options, TransferHooks hooks);
  bool configure(const URLRequest& request, std::string& problem);
  void run();
  void complete(TransferOutcome outcome);

  void noteActivity(curl_off_t received, curl_off_t sent);
  bool inactiveTooLong() const;
  std::size_t receiveData(const char* bytes, std::size_t length);
  std::size_t receiveHeaderLine(const char* bytes, std::size_t length);
  CURLcode prepareTLS(void* sslContext);
  bool verifyServerCertificate(int preverifyOk, x509_store_ctx_st* store);

  static std::size_t writeCallback(char* bytes, std::size_t size, std::size_t count, void* self);
  static std::size_t headerCallback(char* bytes, std::size_t size, std::size_t count, void* self);
  static int progressCallback(void* self, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent);
  static CURLcode sslContextCallback(CURL* easy, void* sslContext, void* self);
  static int verifyCallback(int preverifyOk, x509_store_ctx_st* store);

  TransferOptions options_;
  TransferHooks hooks_;
  CURL* easy_ = nullptr;
  CURLM* multi_ = nullptr;
  curl_slist* headerList_ = nullptr;
  std::string body_;
  std::optional<std::string> extraCABundle_;
  char errorBuffer_[256] = {};
  std::atomic<bool> cancelled_{false};

  // The request's time limit: no byte may stand still for longer. Kept here rather than
  // in curl's low-speed limit, which counts whole seconds over an averaged window.
  std::chrono::steady_clock::duration inactivityLimit_{};
  std::chrono::steady_clock::time_point lastActivity_;
  curl_off_t receivedSoFar_ = 0;
  curl_off_t sentSoFar_ = 0;

  ResponseHead pendingHead_;  // the head being received
  bool pendingHasLocation_ = false;
  std::optional<ResponseHead> finalHead_;
};

}  // namespace vantor::detail
