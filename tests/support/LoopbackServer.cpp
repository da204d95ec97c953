#include "support/LoopbackServer.h"

#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cctype>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace vantor::test {

ScriptedResponse ScriptedResponse::text(int status, std::string body) {
  ScriptedResponse response;
  response.status = status;
  response.body = std::move(body);
  response.contentType = "text/plain";
  return response;
}

ScriptedResponse ScriptedResponse::withoutLength(std::string body) {
  ScriptedResponse response = text(200, std::move(body));
  response.length = Length::None;
  return response;
}

ScriptedResponse ScriptedResponse::withAnnouncedLength(std::string body, std::size_t announcedLength) {
  ScriptedResponse response = text(200, std::move(body));
  response.length = Length::Announced;
  response.announcedLength = announcedLength;
  return response;
}

ScriptedResponse ScriptedResponse::redirect(int status, std::string location) {
  ScriptedResponse response = text(status, "moved");
  response.headers.emplace_back("Location", std::move(location));
  return response;
}

ScriptedResponse ScriptedResponse::trickle(std::string body, std::size_t chunkSize, Milliseconds interval) {
  ScriptedResponse response = text(200, std::move(body));
  response.trickleChunkSize = chunkSize;
  response.trickleInterval = interval;
  return response;
}

ScriptedResponse ScriptedResponse::slowFirstByte(Milliseconds delay, std::string body) {
  ScriptedResponse response = text(200, std::move(body));
  response.firstByteDelay = delay;
  return response;
}

ScriptedResponse ScriptedResponse::formEcho() {
  ScriptedResponse response;
  response.echoRequest = true;
  return response;
}

ScriptedResponse ScriptedResponse::silence() {
  ScriptedResponse response;
  response.neverAnswer = true;
  return response;
}

std::optional<std::string> RecordedRequest::header(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (key.size() == name.size() &&
        std::equal(key.begin(), key.end(), name.begin(), [](char a, char b) { return std::tolower(a) == std::tolower(b); }))
      return value;
  }
  return std::nullopt;
}

struct LoopbackServer::Impl {
  std::unique_ptr<httplib::Server> server;
  bool secure = false;
  int port = 0;
  std::thread listener;

  mutable std::mutex lock;
  std::condition_variable stopping;  // wakes handlers that pause or hold a connection
  bool stopped = false;
  // Shared, so a request takes its script without copying a large body.
  std::map<std::string, std::vector<std::shared_ptr<const ScriptedResponse>>> scripts;
  std::map<std::string, std::vector<RecordedRequest>> seen;
  std::vector<std::string> unexpected;

  // Sleeps for the pause unless the server stops first; false when it stops.
  bool pause(Milliseconds duration) {
    std::unique_lock guard(lock);
    return !stopping.wait_for(guard, duration, [&] { return stopped; });
  }

  void install();
  void answer(const httplib::Request& request, httplib::Response& response);
};

void LoopbackServer::Impl::install() {
  // Silent and trickling handlers each hold a worker; leave room for the rest.
  server->new_task_queue = [] { return new httplib::ThreadPool(32); };
  server->set_keep_alive_max_count(1);
  auto handler = [this](const httplib::Request& request, httplib::Response& response) { answer(request, response); };
  server->Get(".*", handler);
  server->Post(".*", handler);
  server->Put(".*", handler);
  server->Delete(".*", handler);
}

void LoopbackServer::Impl::answer(const httplib::Request& request, httplib::Response& response) {
  RecordedRequest record;
  record.method = request.method;
  record.path = request.path;
  record.target = request.target;
  record.body = request.body;
  for (const auto& [key, value] : request.headers) record.headers.emplace(key, value);

  std::shared_ptr<const ScriptedResponse> scripted;
  {
    std::lock_guard guard(lock);
    auto& requestsOfPath = seen[request.path];
    requestsOfPath.push_back(std::move(record));
    auto it = scripts.find(request.path);
    if (it == scripts.end() || it->second.empty()) {
      unexpected.push_back(request.path);
      response.status = 404;
      response.set_content("no script for " + request.path, "text/plain");
      return;
    }
    scripted = it->second[std::min(requestsOfPath.size(), it->second.size()) - 1];
  }
  const ScriptedResponse& script = *scripted;

  if (script.neverAnswer) {
    std::unique_lock guard(lock);
    stopping.wait(guard, [&] { return stopped; });
    response.status = 503;
    return;
  }
  if (script.firstByteDelay.count() > 0 && !pause(script.firstByteDelay)) return;

  response.status = script.status;
  for (const auto& [name, value] : script.headers) response.set_header(name, value);
  if (script.echoRequest) {
    response.set_header("X-Echo-Method", request.method);
    response.set_content(request.body,
                         request.has_header("Content-Type") ? request.get_header_value("Content-Type") : "text/plain");
    return;
  }

  // The providers run after this returns; they keep the script alive.
  std::shared_ptr<const std::string> body(scripted, &scripted->body);
  if (script.trickleChunkSize > 0) {
    size_t chunk = script.trickleChunkSize;
    Milliseconds interval = script.trickleInterval;
    response.set_content_provider(body->size(), script.contentType,
                                  [this, body, chunk, interval](size_t offset, size_t, httplib::DataSink& sink) {
                                    if (!pause(interval)) return false;
                                    size_t length = std::min(chunk, body->size() - offset);
                                    return sink.write(body->data() + offset, length);
                                  });
    return;
  }
  switch (script.length) {
    case ScriptedResponse::Length::Actual:
      if (body->size() < (1 << 20)) {
        response.set_content(*body, script.contentType);
        break;
      }
      // Large bodies go out in big slices straight from the shared copy.
      response.set_content_provider(body->size(), script.contentType,
                                    [body](size_t offset, size_t length, httplib::DataSink& sink) {
                                      return sink.write(body->data() + offset, std::min<size_t>(length, 4 << 20));
                                    });
      break;
    case ScriptedResponse::Length::None:
      response.set_chunked_content_provider(script.contentType, [body](size_t offset, httplib::DataSink& sink) {
        if (offset < body->size())
          return sink.write(body->data() + offset, std::min<size_t>(body->size() - offset, 4 << 20));
        sink.done();
        return true;
      });
      break;
    case ScriptedResponse::Length::Announced: {
      size_t announced = script.announcedLength;
      response.set_content_provider(announced, script.contentType,
                                    [body, announced](size_t offset, size_t, httplib::DataSink& sink) {
                                      if (offset > 0 || !sink.write(body->data(), body->size())) return false;
                                      return body->size() >= announced;  // short: close the connection
                                    });
      break;
    }
  }
}

LoopbackServer::LoopbackServer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

namespace {

std::unique_ptr<LoopbackServer::Impl> started(std::unique_ptr<LoopbackServer::Impl> impl) {
  if (!impl->server->is_valid()) throw std::runtime_error("loopback server: invalid set-up");
  impl->install();
  impl->port = impl->server->bind_to_any_port("127.0.0.1");
  if (impl->port <= 0) throw std::runtime_error("loopback server: no free port");
  impl->listener = std::thread([server = impl->server.get()] { server->listen_after_bind(); });
  while (!impl->server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return impl;
}

}  // namespace

std::unique_ptr<LoopbackServer> LoopbackServer::startHTTP() {
  auto impl = std::make_unique<Impl>();
  impl->server = std::make_unique<httplib::Server>();
  return std::unique_ptr<LoopbackServer>(new LoopbackServer(started(std::move(impl))));
}

std::unique_ptr<LoopbackServer> LoopbackServer::startHTTPS(const TestServerIdentity& identity) {
  X509* certificate = nullptr;
  EVP_PKEY* key = nullptr;
  if (!loopback::parseServerIdentity(identity, &certificate, &key))
    throw std::runtime_error("loopback server: unreadable identity");
  auto impl = std::make_unique<Impl>();
  impl->server = std::make_unique<httplib::SSLServer>(certificate, key);
  impl->secure = true;
  X509_free(certificate);  // the server's context holds its own references
  EVP_PKEY_free(key);
  return std::unique_ptr<LoopbackServer>(new LoopbackServer(started(std::move(impl))));
}

LoopbackServer::~LoopbackServer() { stop(); }

void LoopbackServer::stop() {
  {
    std::lock_guard guard(impl_->lock);
    if (impl_->stopped) return;
    impl_->stopped = true;
  }
  impl_->stopping.notify_all();
  impl_->server->stop();
  if (impl_->listener.joinable()) impl_->listener.join();
}

int LoopbackServer::port() const { return impl_->port; }

std::string LoopbackServer::baseURL(const std::string& host) const {
  std::string shownHost = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  return std::string(impl_->secure ? "https" : "http") + "://" + shownHost + ":" + std::to_string(impl_->port);
}

std::string LoopbackServer::url(const std::string& pathAndQuery, const std::string& host) const {
  return baseURL(host) + pathAndQuery;
}

void LoopbackServer::on(const std::string& path, ScriptedResponse response) { onSequence(path, {std::move(response)}); }

void LoopbackServer::onSequence(const std::string& path, std::vector<ScriptedResponse> responses) {
  std::vector<std::shared_ptr<const ScriptedResponse>> shared;
  for (auto& response : responses) shared.push_back(std::make_shared<const ScriptedResponse>(std::move(response)));
  std::lock_guard guard(impl_->lock);
  impl_->scripts[path] = std::move(shared);
}

int LoopbackServer::requestCount(const std::string& path) const {
  std::lock_guard guard(impl_->lock);
  auto it = impl_->seen.find(path);
  return it == impl_->seen.end() ? 0 : static_cast<int>(it->second.size());
}

std::vector<RecordedRequest> LoopbackServer::requests(const std::string& path) const {
  std::lock_guard guard(impl_->lock);
  auto it = impl_->seen.find(path);
  return it == impl_->seen.end() ? std::vector<RecordedRequest>{} : it->second;
}

std::vector<std::string> LoopbackServer::unexpectedRequests() const {
  std::lock_guard guard(impl_->lock);
  return impl_->unexpected;
}

}  // namespace vantor::test
