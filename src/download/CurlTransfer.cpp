#include "download/CurlTransfer.h"

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <thread>

#include "foundation/Log.h"
#include "foundation/StringHelpers.h"
#include "platform/Environment.h"
#include "vantor/BuildSettings.h"

namespace vantor::detail {

namespace {

constexpr long kMaximumRedirects = 16;

void initializeCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

int transferIndexForSSLContext() {
  static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
  return index;
}

std::optional<std::string> extraTrustedCABundle() {
  auto path = platform::environmentValue("VANTOR_CA_BUNDLE");
  if (!path || path->empty()) return std::nullopt;
  return path;
}

std::string defaultUserAgent() {
  return std::string(build::kBundleName) + "/" + build::kBundleVersion;
}

bool isRedirectStatus(long status) { return status >= 300 && status < 400; }

std::int64_t expectedLength(const HTTPHeaderFields& fields) {
  if (auto encoding = fields.find("Transfer-Encoding"); encoding != fields.end()) {
    if (containsIgnoringCase(encoding->second, "chunked")) return -1;
  }
  auto length = fields.find("Content-Length");
  if (length == fields.end()) return -1;
  std::string text = trimmedOfWhitespace(length->second);
  if (text.empty() || text.size() > 18) return -1;
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

std::shared_ptr<CurlTransfer> CurlTransfer::start(const URLRequest& request, TransferOptions options,
                                                  TransferHooks hooks) {
  initializeCurlOnce();
  std::shared_ptr<CurlTransfer> transfer(new CurlTransfer(std::move(options), std::move(hooks)));
  std::string problem;
  bool configured = transfer->configure(request, problem);
  try {
    std::thread([transfer, configured, problem] {
      if (configured) {
        transfer->run();
      } else {
        TransferOutcome outcome;
        outcome.errorDescription = problem;
        transfer->complete(std::move(outcome));
      }
    }).detach();
  } catch (const std::system_error& error) {
    // Without a thread of its own the transfer cannot run; it still ends exactly once.
    cc_log_error("Error: can not start a transfer thread: %@", std::string(error.what()));
    TransferOutcome outcome;
    outcome.errorDescription = error.what();
    transfer->complete(std::move(outcome));
  }
  return transfer;
}

CurlTransfer::CurlTransfer(TransferOptions options, TransferHooks hooks)
    : options_(std::move(options)), hooks_(std::move(hooks)) {
  easy_ = curl_easy_init();
  multi_ = curl_multi_init();
}

CurlTransfer::~CurlTransfer() {
  if (multi_ != nullptr) curl_multi_cleanup(multi_);
  if (easy_ != nullptr) curl_easy_cleanup(easy_);
  if (headerList_ != nullptr) curl_slist_free_all(headerList_);
}

void CurlTransfer::cancel() {
  cancelled_.store(true);
  if (multi_ != nullptr) curl_multi_wakeup(multi_);
}

bool CurlTransfer::configure(const URLRequest& request, std::string& problem) {
  if (easy_ == nullptr || multi_ == nullptr) {
    problem = "curl handles could not be created";
    return false;
  }
  CURLcode result = CURLE_OK;
  auto set = [&](CURLoption option, auto value) {
    if (result == CURLE_OK) result = curl_easy_setopt(easy_, option, value);
  };

  set(CURLOPT_ERRORBUFFER, errorBuffer_);
  set(CURLOPT_URL, request.url.absoluteString().c_str());
  set(CURLOPT_PROTOCOLS_STR, options_.protocols.c_str());
  set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  set(CURLOPT_NOSIGNAL, 1L);
  set(CURLOPT_FOLLOWLOCATION, options_.followRedirects ? 1L : 0L);
  set(CURLOPT_MAXREDIRS, kMaximumRedirects);
  set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);  // a proxy's answer is not the response
  if (options_.receiveBufferSize > 0) set(CURLOPT_BUFFERSIZE, options_.receiveBufferSize);

  // The request's time limit counts inactivity, not the whole transfer: connecting may
  // take that long, and so may any stretch in which no byte moves either way.
  if (request.timeoutInterval > 0) {
    inactivityLimit_ = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(std::min(request.timeoutInterval, 1e9)));
    set(CURLOPT_NOPROGRESS, 0L);
    set(CURLOPT_XFERINFOFUNCTION, &CurlTransfer::progressCallback);
    set(CURLOPT_XFERINFODATA, this);
  }

  if (request.httpMethod == "POST") {
    body_ = request.httpBody.value_or("");
    set(CURLOPT_POST, 1L);
    set(CURLOPT_POSTFIELDS, body_.c_str());
    set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body_.size()));
  } else if (request.httpMethod != "GET") {
    set(CURLOPT_CUSTOMREQUEST, request.httpMethod.c_str());
    if (request.httpBody) {
      body_ = *request.httpBody;
      set(CURLOPT_POSTFIELDS, body_.c_str());
      set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body_.size()));
    }
  }

  for (const auto& [field, value] : request.allHTTPHeaderFields) {
    // "Name;" sends an empty value; "Name:" would remove the field.
    std::string line = value.empty() ? field + ";" : field + ": " + value;
    curl_slist* extended = curl_slist_append(headerList_, line.c_str());
    if (extended == nullptr) {
      problem = "out of memory for header fields";
      return false;
    }
    headerList_ = extended;
  }
  if (request.httpMethod != "GET") {
    // Send the body at once instead of waiting for "100 Continue".
    if (curl_slist* extended = curl_slist_append(headerList_, "Expect:")) headerList_ = extended;
  }
  if (headerList_ != nullptr) set(CURLOPT_HTTPHEADER, headerList_);
  if (!request.allHTTPHeaderFields.contains("User-Agent")) set(CURLOPT_USERAGENT, defaultUserAgent().c_str());

  set(CURLOPT_WRITEFUNCTION, &CurlTransfer::writeCallback);
  set(CURLOPT_WRITEDATA, this);
  set(CURLOPT_HEADERFUNCTION, &CurlTransfer::headerCallback);
  set(CURLOPT_HEADERDATA, this);

  extraCABundle_ = extraTrustedCABundle();
  if (extraCABundle_ || hooks_.acceptServerCertificate) {
    set(CURLOPT_SSL_CTX_FUNCTION, &CurlTransfer::sslContextCallback);
    set(CURLOPT_SSL_CTX_DATA, this);
  }

  if (result != CURLE_OK) {
    problem = curl_easy_strerror(result);
    return false;
  }
  if (curl_multi_add_handle(multi_, easy_) != CURLM_OK) {
    problem = "the transfer could not be added to its multi handle";
    return false;
  }
  return true;
}

void CurlTransfer::run() {
  CURLcode result = CURLE_OK;
  bool finished = false;
  std::string failure;
  lastActivity_ = std::chrono::steady_clock::now();
  while (!finished) {
    if (cancelled_.load()) break;
    if (inactiveTooLong()) {
      failure = "no data moved for the request's time limit";
      break;
    }
    int running = 0;
    CURLMcode status = curl_multi_perform(multi_, &running);
    if (status != CURLM_OK) {
      failure = curl_multi_strerror(status);
      break;
    }
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
      if (message->msg == CURLMSG_DONE) {
        result = message->data.result;
        finished = true;
      }
    }
    if (finished || running == 0) break;
    int waitMilliseconds = 1000;
    if (inactivityLimit_.count() > 0) {
      auto left = lastActivity_ + inactivityLimit_ - std::chrono::steady_clock::now();
      auto leftMilliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(left).count() + 1;
      waitMilliseconds = static_cast<int>(std::clamp<long long>(leftMilliseconds, 0, 1000));
    }
    status = curl_multi_poll(multi_, nullptr, 0, waitMilliseconds, nullptr);
    if (status != CURLM_OK) {
      failure = curl_multi_strerror(status);
      break;
    }
  }
  curl_multi_remove_handle(multi_, easy_);

  TransferOutcome outcome;
  outcome.response = finalHead_;
  outcome.cancelled = cancelled_.load();
  if (outcome.cancelled) {
    outcome.errorDescription = "cancelled";
  } else if (!failure.empty()) {
    outcome.errorDescription = failure;
  } else if (!finished) {
    outcome.errorDescription = "the transfer stopped without a result";
  } else if (result != CURLE_OK) {
    outcome.errorDescription = errorBuffer_[0] != '\0' ? errorBuffer_ : curl_easy_strerror(result);
  } else {
    outcome.succeeded = true;
  }
  complete(std::move(outcome));
}

void CurlTransfer::complete(TransferOutcome outcome) {
  auto onComplete = std::move(hooks_.onComplete);
  if (onComplete) {
    try {
      onComplete(outcome);
    } catch (...) {
      cc_log_error("Error: a transfer's completion failed with an exception");
    }
  }
  // Let go of everything the hooks hold, so the callers' state is freed with the transfer.
  hooks_ = {};
}

void CurlTransfer::noteActivity(curl_off_t received, curl_off_t sent) {
  if (received == receivedSoFar_ && sent == sentSoFar_) return;
  receivedSoFar_ = received;
  sentSoFar_ = sent;
  lastActivity_ = std::chrono::steady_clock::now();
}

bool CurlTransfer::inactiveTooLong() const {
  return inactivityLimit_.count() > 0 && std::chrono::steady_clock::now() - lastActivity_ > inactivityLimit_;
}

std::size_t CurlTransfer::receiveData(const char* bytes, std::size_t length) {
  if (cancelled_.load()) return CURL_WRITEFUNC_ERROR;
  lastActivity_ = std::chrono::steady_clock::now();
  if (hooks_.onData) {
    bool goOn = false;
    try {
      goOn = hooks_.onData(bytes, length);
    } catch (...) {
      goOn = false;  // a failed hook (out of memory for the body) ends the transfer
    }
    if (!goOn) {
      cancelled_.store(true);
      return CURL_WRITEFUNC_ERROR;
    }
  }
  return length;
}

std::size_t CurlTransfer::receiveHeaderLine(const char* bytes, std::size_t length) {
  if (cancelled_.load()) return 0;
  lastActivity_ = std::chrono::steady_clock::now();
  if (finalHead_) return length;  // trailers after the body
  std::string_view line(bytes, length);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);

  if (hasPrefix(line, "HTTP/")) {
    pendingHead_ = ResponseHead{};
    pendingHasLocation_ = false;
    auto space = line.find(' ');
    if (space != std::string_view::npos) {
      long status = 0;
      for (size_t i = space + 1; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i)
        status = status * 10 + (line[i] - '0');
      pendingHead_.statusCode = status;
    }
    return length;
  }

  if (!line.empty()) {
    auto colon = line.find(':');
    if (colon != std::string_view::npos && colon > 0) {
      std::string field(line.substr(0, colon));
      std::string value = trimmedOfWhitespace(line.substr(colon + 1));
      if (equalsIgnoringCase(field, "Location") && !value.empty()) pendingHasLocation_ = true;
      auto [it, inserted] = pendingHead_.headerFields.try_emplace(field, value);
      if (!inserted) it->second += ", " + value;
    }
    return length;
  }

  // The blank line ends a head. Interim (1xx) heads and redirects that curl follows are
  // not the response the caller asked about.
  long status = pendingHead_.statusCode;
  if (status < 200) return length;
  if (options_.followRedirects && isRedirectStatus(status) && pendingHasLocation_) return length;
  pendingHead_.expectedContentLength = expectedLength(pendingHead_.headerFields);
  finalHead_ = pendingHead_;
  if (hooks_.onResponse) {
    bool goOn = false;
    try {
      goOn = hooks_.onResponse(*finalHead_);
    } catch (...) {
      goOn = false;
    }
    if (!goOn) {
      cancelled_.store(true);
      return 0;
    }
  }
  return length;
}

CURLcode CurlTransfer::prepareTLS(void* sslContext) {
  auto* context = static_cast<SSL_CTX*>(sslContext);
  if (extraCABundle_) {
    // Added to the system's trust store, not instead of it.
    if (X509_STORE_load_file(SSL_CTX_get_cert_store(context), extraCABundle_->c_str()) != 1) {
      static std::once_flag reported;
      std::call_once(reported, [&] {
        cc_log_error("Error: can not read the certificate authorities of VANTOR_CA_BUNDLE at %@", *extraCABundle_);
      });
    }
  }
  if (hooks_.acceptServerCertificate) {
    if (SSL_CTX_set_ex_data(context, transferIndexForSSLContext(), this) != 1) return CURLE_SSL_CERTPROBLEM;
    SSL_CTX_set_verify(context, SSL_CTX_get_verify_mode(context) | SSL_VERIFY_PEER, &CurlTransfer::verifyCallback);
  }
  return CURLE_OK;
}

bool CurlTransfer::verifyServerCertificate(int preverifyOk, X509_STORE_CTX* store) {
  if (preverifyOk != 1) return false;
  if (X509_STORE_CTX_get_error_depth(store) != 0) return true;
  X509* certificate = X509_STORE_CTX_get_current_cert(store);
  if (certificate == nullptr) return false;
  try {
    return hooks_.acceptServerCertificate(certificate);
  } catch (...) {
    return false;
  }
}

std::size_t CurlTransfer::writeCallback(char* bytes, std::size_t size, std::size_t count, void* self) {
  return static_cast<CurlTransfer*>(self)->receiveData(bytes, size * count);
}

std::size_t CurlTransfer::headerCallback(char* bytes, std::size_t size, std::size_t count, void* self) {
  return static_cast<CurlTransfer*>(self)->receiveHeaderLine(bytes, size * count);
}

int CurlTransfer::progressCallback(void* self, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent) {
  auto* transfer = static_cast<CurlTransfer*>(self);
  transfer->noteActivity(received, sent);
  return transfer->cancelled_.load() ? 1 : 0;
}

CURLcode CurlTransfer::sslContextCallback(CURL*, void* sslContext, void* self) {
  return static_cast<CurlTransfer*>(self)->prepareTLS(sslContext);
}

int CurlTransfer::verifyCallback(int preverifyOk, X509_STORE_CTX* store) {
  auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
  if (ssl == nullptr) return 0;
  auto* self = static_cast<CurlTransfer*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), transferIndexForSSLContext()));
  if (self == nullptr) return 0;
  return self->verifyServerCertificate(preverifyOk, store) ? 1 : 0;
}

}  // namespace vantor::detail
