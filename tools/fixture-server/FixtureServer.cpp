#include "FixtureServer.h"

#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "foundation/StringHelpers.h"
#include "loopback/CertificateAuthority.h"
#include "vantor/BuildSettings.h"

namespace vantor::fixture {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using Milliseconds = std::chrono::milliseconds;

const char* usageText() {
  return R"(usage: vantor-fixture-server --root DIR [--http-port N] [--https-port N] [--ca-out FILE]
                             [--rules FILE] [--request-log FILE]

Serves DIR on 127.0.0.1 over HTTP and HTTPS (both ports take any free port unless given)
and prints "http=<port> https=<port>" as its first line once both listen. SIGTERM or
SIGINT stops it cleanly.

  Every regular file under DIR is served at its own path on both ports (GET and HEAD);
  paths that leave DIR, folders and the rules file answer 404.
  POST /cgi-bin/receive_date.cgi   form field c: DIR/cgi-bin/receive_date/<c>.json,
                                   404 when absent
  /cgi-bin/configfile.cgi          DIR/cgi-bin/configfile.encr
  /cgi-bin/icons/<bid>.png         the file, like any other

  --ca-out FILE       where the test CA's certificate goes (PEM), default
                      DIR/fixture-ca.pem; its common name carries the issuer word the
                      helper checks, so point VANTOR_CA_BUNDLE at it
  --rules FILE        answer rules, default DIR/fixture-rules.json, read for every request
  --request-log FILE  one JSON line per request: scheme, method, path, target, headers
                      (lower-case names), body

Answer rules: a JSON object from path to a rule, or to a list of rules (the n-th request
of the path gets the n-th rule, the last one repeats). A rule holds any of
  "status": N          answer N with a short text body instead of the file
  "delayMs": N         wait N ms before the answer head
  "trickleBytes": N    send the body in pieces of N bytes ...
  "intervalMs": N      ... waiting N ms before each piece
  "silent": true       read the request, then never answer (until the server stops)
e.g. {"/feeds/editor.xml": {"silent": true}, "/casks/e.rb": [{"status": 500}, {}]}.
The same switches work per request as query parameters: fixture-status,
fixture-delay-ms, fixture-trickle-bytes, fixture-interval-ms, fixture-silent=1; they win
over the rules file.
)";
}

namespace {

struct AnswerRule {
  std::optional<int> status;
  long delayMs = 0;
  long trickleBytes = 0;
  long intervalMs = 0;
  bool silent = false;
};

void applyRule(const Json& rule, AnswerRule* out) {
  if (!rule.is_object()) return;
  auto number = [&](const char* key, long* field) {
    if (auto it = rule.find(key); it != rule.end() && it->is_number_integer()) *field = std::max(0L, it->get<long>());
  };
  if (auto it = rule.find("status"); it != rule.end() && it->is_number_integer()) out->status = it->get<int>();
  number("delayMs", &out->delayMs);
  number("trickleBytes", &out->trickleBytes);
  number("intervalMs", &out->intervalMs);
  if (auto it = rule.find("silent"); it != rule.end() && it->is_boolean()) out->silent = it->get<bool>();
}

std::optional<long> numberParameter(const httplib::Request& request, const char* name) {
  if (!request.has_param(name)) return std::nullopt;
  try {
    return std::max(0L, std::stol(request.get_param_value(name)));
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::string contentTypeFor(const fs::path& path) {
  static const std::map<std::string, std::string> types = {
      {".xml", "application/xml"}, {".rss", "application/rss+xml"}, {".json", "application/json"},
      {".rb", "text/plain; charset=utf-8"}, {".txt", "text/plain; charset=utf-8"}, {".html", "text/html"},
      {".htm", "text/html"}, {".png", "image/png"}, {".zip", "application/zip"}, {".pem", "application/x-pem-file"},
  };
  auto it = types.find(path.extension().string());
  return it == types.end() ? "application/octet-stream" : it->second;
}

std::optional<std::string> readWholeFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::ostringstream text;
  text << file.rdbuf();
  if (file.bad()) return std::nullopt;
  return text.str();
}

// The value of one form field of an url-encoded body.
std::optional<std::string> formField(const std::string& body, const std::string& name) {
  for (const auto& pair : split(body, "&")) {
    auto equals = pair.find('=');
    std::string key = httplib::detail::decode_url(pair.substr(0, equals), true);
    if (key != name) continue;
    return equals == std::string::npos ? std::string() : httplib::detail::decode_url(pair.substr(equals + 1), true);
  }
  return std::nullopt;
}

}  // namespace

struct FixtureServer::Impl {
  ServerOptions options;
  fs::path root;  // canonical
  fs::path rulesFile;
  std::unique_ptr<loopback::CertificateAuthority> authority;
  std::unique_ptr<httplib::Server> http;
  std::unique_ptr<httplib::SSLServer> https;
  int httpPort = 0;
  int httpsPort = 0;
  std::thread httpThread;
  std::thread httpsThread;

  std::mutex lock;
  std::condition_variable stopping;
  bool stopped = false;
  std::map<std::string, int> requestCounts;
  std::FILE* log = nullptr;
  std::atomic<bool> reportedBadRules{false};

  // Sleeps unless the server stops first; false when it stops.
  bool pause(Milliseconds duration) {
    std::unique_lock guard(lock);
    return !stopping.wait_for(guard, duration, [&] { return stopped; });
  }

  AnswerRule ruleFor(const httplib::Request& request, int requestNumber);
  void record(const char* scheme, const httplib::Request& request);
  void install(httplib::Server& server, const char* scheme);
  void answer(const httplib::Request& request, httplib::Response& response, const char* scheme);
  std::optional<fs::path> servedFile(const std::string& path) const;
};

AnswerRule FixtureServer::Impl::ruleFor(const httplib::Request& request, int requestNumber) {
  AnswerRule rule;
  if (auto text = readWholeFile(rulesFile)) {
    Json rules = Json::parse(*text, nullptr, false);
    if (rules.is_object()) {
      if (auto it = rules.find(request.path); it != rules.end()) {
        if (it->is_array() && !it->empty())
          applyRule((*it)[std::min<size_t>(static_cast<size_t>(requestNumber), it->size()) - 1], &rule);
        else applyRule(*it, &rule);
      }
    } else if (!reportedBadRules.exchange(true)) {
      std::fprintf(stderr, "vantor-fixture-server: %s is not a JSON object; no rules apply\n", rulesFile.c_str());
    }
  }
  if (auto status = numberParameter(request, "fixture-status")) rule.status = static_cast<int>(*status);
  if (auto delay = numberParameter(request, "fixture-delay-ms")) rule.delayMs = *delay;
  if (auto bytes = numberParameter(request, "fixture-trickle-bytes")) rule.trickleBytes = *bytes;
  if (auto interval = numberParameter(request, "fixture-interval-ms")) rule.intervalMs = *interval;
  if (request.has_param("fixture-silent")) rule.silent = request.get_param_value("fixture-silent") != "0";
  return rule;
}

void FixtureServer::Impl::record(const char* scheme, const httplib::Request& request) {
  if (log == nullptr) return;
  Json entry = {{"scheme", scheme}, {"method", request.method}, {"path", request.path}, {"target", request.target}};
  Json headers = Json::object();
  for (const auto& [name, value] : request.headers) {
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    headers[lower] = value;
  }
  entry["headers"] = headers;
  entry["body"] = isValidUTF8(request.body) ? request.body : std::string("<binary>");
  std::string line = entry.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
  std::lock_guard guard(lock);
  std::fwrite(line.data(), 1, line.size(), log);
  std::fflush(log);
}

std::optional<fs::path> FixtureServer::Impl::servedFile(const std::string& path) const {
  // A decoded NUL would cut the name short at the system call and serve another file.
  if (path.empty() || path.front() != '/' || path.find('\0') != std::string::npos) return std::nullopt;
  fs::path relative = fs::path(path).relative_path();
  for (const auto& part : relative)
    if (part == "..") return std::nullopt;
  std::error_code error;
  fs::path candidate = fs::weakly_canonical(root / relative, error);
  if (error) return std::nullopt;
  // Symbolic links that lead out of the root are not followed.
  auto [rootEnd, candidateAt] = std::mismatch(root.begin(), root.end(), candidate.begin(), candidate.end());
  if (rootEnd != root.end()) return std::nullopt;
  if (candidate == rulesFile || !fs::is_regular_file(candidate, error)) return std::nullopt;
  return candidate;
}

void FixtureServer::Impl::install(httplib::Server& server, const char* scheme) {
  // Silent and trickling answers each hold a worker; leave room for the rest.
  server.new_task_queue = [] { return new httplib::ThreadPool(32); };
  server.set_keep_alive_max_count(1);
  // Without the library's SO_REUSEPORT: a taken port must fail, not be shared.
  server.set_socket_options([](socket_t sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  auto handler = [this, scheme](const httplib::Request& request, httplib::Response& response) {
    answer(request, response, scheme);
  };
  server.Get(".*", handler);
  server.Post(".*", handler);
}

void FixtureServer::Impl::answer(const httplib::Request& request, httplib::Response& response, const char* scheme) {
  record(scheme, request);
  int requestNumber;
  {
    std::lock_guard guard(lock);
    requestNumber = ++requestCounts[request.path];
  }
  AnswerRule rule = ruleFor(request, requestNumber);

  if (rule.silent) {
    std::unique_lock guard(lock);
    stopping.wait(guard, [&] { return stopped; });
    response.status = 503;
    return;
  }
  if (rule.delayMs > 0 && !pause(Milliseconds(rule.delayMs))) return;

  auto notFound = [&] {
    response.status = 404;
    response.set_content("fixture: nothing at " + request.path + "\n", "text/plain");
  };
  if (rule.status && *rule.status != 200) {
    response.status = *rule.status;
    response.set_content("fixture: status " + std::to_string(*rule.status) + "\n", "text/plain");
    return;
  }

  std::optional<fs::path> file;
  if (request.path == "/cgi-bin/receive_date.cgi") {
    std::optional<std::string> identifier = formField(request.body, "c");
    if (!identifier && request.has_param("c")) identifier = request.get_param_value("c");
    // The identifier names a file: nothing that could leave the folder.
    if (!identifier || identifier->empty() || identifier->find('/') != std::string::npos ||
        identifier->front() == '.')
      return notFound();
    file = servedFile("/cgi-bin/receive_date/" + *identifier + ".json");
  } else if (request.path == "/cgi-bin/configfile.cgi") {
    file = servedFile("/cgi-bin/configfile.encr");
  } else {
    file = servedFile(request.path);
  }
  if (!file) return notFound();
  auto body = readWholeFile(*file);
  if (!body) return notFound();

  std::string type = contentTypeFor(*file);
  if (rule.trickleBytes > 0) {
    auto shared = std::make_shared<const std::string>(std::move(*body));
    size_t piece = static_cast<size_t>(rule.trickleBytes);
    Milliseconds interval(rule.intervalMs);
    response.set_content_provider(shared->size(), type,
                                  [this, shared, piece, interval](size_t offset, size_t, httplib::DataSink& sink) {
                                    if (interval.count() > 0 && !pause(interval)) return false;
                                    return sink.write(shared->data() + offset, std::min(piece, shared->size() - offset));
                                  });
    return;
  }
  response.status = 200;
  response.set_content(std::move(*body), type);
}

FixtureServer::FixtureServer(ServerOptions options) : impl_(std::make_unique<Impl>()) {
  impl_->options = std::move(options);
}

FixtureServer::~FixtureServer() {
  stop();
  if (impl_->log != nullptr) std::fclose(impl_->log);
}

namespace {

// The word the helper looks for in the issuer's common name, from its scrambled form.
std::string issuerWord() { return rot13(build::kServerIssuerWord).value_or("vantor"); }

int bindPort(httplib::Server& server, int port) {
  if (port == 0) return server.bind_to_any_port("127.0.0.1");
  return server.bind_to_port("127.0.0.1", port) ? port : -1;
}

}  // namespace

bool FixtureServer::start(std::string* error) {
  Impl& impl = *impl_;
  std::error_code failure;
  impl.root = fs::canonical(impl.options.root, failure);
  if (failure || !fs::is_directory(impl.root)) {
    *error = "the root " + impl.options.root + " is not a folder";
    return false;
  }
  impl.rulesFile = impl.options.rulesFile.empty() ? impl.root / "fixture-rules.json"
                                                  : fs::weakly_canonical(impl.options.rulesFile, failure);
  if (!impl.options.requestLog.empty()) {
    impl.log = std::fopen(impl.options.requestLog.c_str(), "a");
    if (impl.log == nullptr) {
      *error = "can not write the request log " + impl.options.requestLog;
      return false;
    }
  }

  loopback::ServerIdentity identity;
  try {
    std::string word = issuerWord();
    word[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
    impl.authority = std::make_unique<loopback::CertificateAuthority>(word + " Fixture CA");
    identity = impl.authority->issueServerIdentity();
    std::string caOut = impl.options.caOut.empty() ? (impl.root / "fixture-ca.pem").string() : impl.options.caOut;
    impl.authority->writeCertificateFileAt(caOut);
  } catch (const std::exception& e) {
    *error = e.what();
    return false;
  }

  X509* certificate = nullptr;
  EVP_PKEY* key = nullptr;
  if (loopback::parseServerIdentity(identity, &certificate, &key)) impl.https = std::make_unique<httplib::SSLServer>(certificate, key);
  X509_free(certificate);  // the server's context holds its own references
  EVP_PKEY_free(key);
  if (!impl.https || !impl.https->is_valid()) {
    *error = "the HTTPS server can not use its certificate";
    return false;
  }
  impl.http = std::make_unique<httplib::Server>();
  impl.install(*impl.http, "http");
  impl.install(*impl.https, "https");

  impl.httpPort = bindPort(*impl.http, impl.options.httpPort);
  if (impl.httpPort <= 0) {
    *error = "can not listen on 127.0.0.1 port " + std::to_string(impl.options.httpPort) + " (HTTP)";
    return false;
  }
  impl.httpsPort = bindPort(*impl.https, impl.options.httpsPort);
  if (impl.httpsPort <= 0) {
    *error = "can not listen on 127.0.0.1 port " + std::to_string(impl.options.httpsPort) + " (HTTPS)";
    return false;
  }
  // Bound sockets listen already; these threads only accept.
  impl.httpThread = std::thread([server = impl.http.get()] { server->listen_after_bind(); });
  impl.httpsThread = std::thread([server = impl.https.get()] { server->listen_after_bind(); });
  // A stop before the accept loops run would not reach them.
  while (!impl.http->is_running() || !impl.https->is_running()) std::this_thread::sleep_for(Milliseconds(1));
  return true;
}

int FixtureServer::httpPort() const { return impl_->httpPort; }
int FixtureServer::httpsPort() const { return impl_->httpsPort; }

void FixtureServer::stop() {
  {
    std::lock_guard guard(impl_->lock);
    if (impl_->stopped) return;
    impl_->stopped = true;
  }
  impl_->stopping.notify_all();
  if (impl_->http) impl_->http->stop();
  if (impl_->https) impl_->https->stop();
  if (impl_->httpThread.joinable()) impl_->httpThread.join();
  if (impl_->httpsThread.joinable()) impl_->httpsThread.join();
}

}  // namespace vantor::fixture
