#pragma once
// Loopback HTTP and HTTPS servers for tests, on cpp-httplib.
//
// A test starts a server on a free port of 127.0.0.1, scripts what each path answers,
// makes its requests and reads back what the server saw; the destructor stops it (and
// first releases handlers that hold a connection open, so stopping never hangs).
//
//   auto server = LoopbackServer::startHTTP();
//   server->on("/cask.rb", ScriptedResponse::text(200, "cask ..."));
//   server->onSequence("/feed", {ScriptedResponse::text(500, ""), ScriptedResponse::text(200, rss)});
//   ... fetch server->url("/cask.rb") ...
//   EXPECT_EQ(server->requestCount("/cask.rb"), 1);
//   EXPECT_TRUE(server->unexpectedRequests().empty());
//
// A path without a script answers 404 and is listed by unexpectedRequests().

#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/TestCertificates.h"

namespace vantor::test {

using Milliseconds = std::chrono::milliseconds;

// What the server does with one request.
struct ScriptedResponse {
  int status = 200;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string contentType = "application/octet-stream";
  // How the length is told: the body's real size (default), none at all (chunked), or a
  // different number; a body longer than that number is sent whole anyway, a shorter one
  // is followed by closing the connection.
  enum class Length { Actual, None, Announced } length = Length::Actual;
  std::size_t announcedLength = 0;
  Milliseconds firstByteDelay{0};  // pause before the response head
  std::size_t trickleChunkSize = 0;  // > 0: the body in chunks of this size ...
  Milliseconds trickleInterval{0};   // ... with this pause before each
  bool neverAnswer = false;          // read the request, then hold the connection silently
  bool echoRequest = false;          // answer with the request's body and content type

  static ScriptedResponse text(int status, std::string body);
  static ScriptedResponse withoutLength(std::string body);
  static ScriptedResponse withAnnouncedLength(std::string body, std::size_t announcedLength);
  static ScriptedResponse redirect(int status, std::string location);
  static ScriptedResponse trickle(std::string body, std::size_t chunkSize, Milliseconds interval);
  static ScriptedResponse slowFirstByte(Milliseconds delay, std::string body);
  static ScriptedResponse formEcho();
  static ScriptedResponse silence();
};

struct RecordedRequest {
  std::string method;
  std::string path;    // without the query
  std::string target;  // as sent: path and query
  std::string body;
  std::multimap<std::string, std::string> headers;

  std::optional<std::string> header(const std::string& name) const;  // first one, any case
};

class LoopbackServer {
 public:
  static std::unique_ptr<LoopbackServer> startHTTP();
  static std::unique_ptr<LoopbackServer> startHTTPS(const TestServerIdentity& identity);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int port() const;
  // "http://127.0.0.1:<port>" or "https://..."; host replaces 127.0.0.1 when given.
  std::string baseURL(const std::string& host = "127.0.0.1") const;
  std::string url(const std::string& pathAndQuery, const std::string& host = "127.0.0.1") const;

  // Every request for path gets response.
  void on(const std::string& path, ScriptedResponse response);
  // The n-th request for path gets the n-th response; the last one repeats.
  void onSequence(const std::string& path, std::vector<ScriptedResponse> responses);

  int requestCount(const std::string& path) const;
  std::vector<RecordedRequest> requests(const std::string& path) const;
  // Paths that were requested without a script, in order.
  std::vector<std::string> unexpectedRequests() const;

  // Releases held connections and stops; the destructor does it too.
  void stop();

  struct Impl;

 private:
  explicit LoopbackServer(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace vantor::test
