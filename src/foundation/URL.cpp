#include "foundation/URL.h"

#include <cctype>
#include <cstdlib>

#include "foundation/Assert.h"
#include "foundation/StringHelpers.h"

namespace vantor {
namespace {

// Stands for "+" while the query is encoded: letters only, so the encoding keeps it.
constexpr std::string_view kPlusMarker = "VqZ7xPlusMarkK3w";
static_assert(kPlusMarker.size() == 16);

// Percent-encodes every byte outside the unreserved and sub-delimiter characters and
// extra; existing escapes are encoded too, as the platform's component setters do.
std::string encodeComponent(std::string_view text, std::string_view extra) {
  return percentEncoded(text, "-._~!$&'()*+,;=" + std::string(extra));
}

}  // namespace

std::optional<URL> URL::parse(std::string_view text) {
  for (unsigned char c : text)
    if (c <= 0x20 || c == 0x7F) return std::nullopt;
  size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  for (size_t i = 0; i < colon; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (!(std::isalpha(c) || (i > 0 && (std::isdigit(c) || c == '+' || c == '-' || c == '.')))) return std::nullopt;
  }
  URL url;
  url.text_ = std::string(text);
  url.scheme_ = lowercased(text.substr(0, colon));
  std::string_view rest = text.substr(colon + 1);
  if (size_t hash = rest.find('#'); hash != std::string_view::npos) {
    url.fragment_ = std::string(rest.substr(hash + 1));
    rest = rest.substr(0, hash);
  }
  if (size_t question = rest.find('?'); question != std::string_view::npos) {
    url.query_ = std::string(rest.substr(question + 1));
    rest = rest.substr(0, question);
  }
  if (rest.substr(0, 2) == "//") {
    rest.remove_prefix(2);
    size_t slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
    if (size_t at = authority.rfind('@'); at != std::string_view::npos) {
      std::string_view info = authority.substr(0, at);
      authority = authority.substr(at + 1);
      size_t c = info.find(':');
      url.user_ = std::string(info.substr(0, c));
      if (c != std::string_view::npos) url.password_ = std::string(info.substr(c + 1));
    }
    std::string_view hostPart = authority;
    std::string_view portPart;
    if (!authority.empty() && authority.front() == '[') {
      size_t close = authority.find(']');
      if (close == std::string_view::npos) return std::nullopt;
      hostPart = authority.substr(0, close + 1);
      if (close + 1 < authority.size()) {
        if (authority[close + 1] != ':') return std::nullopt;
        portPart = authority.substr(close + 2);
      }
    } else if (size_t c = authority.rfind(':'); c != std::string_view::npos) {
      hostPart = authority.substr(0, c);
      portPart = authority.substr(c + 1);
    }
    if (!portPart.empty()) {
      int port = 0;
      for (char d : portPart) {
        if (!std::isdigit(static_cast<unsigned char>(d)) || port > 65535) return std::nullopt;
        port = port * 10 + (d - '0');
      }
      if (port > 65535) return std::nullopt;
      url.port_ = port;
    }
    url.host_ = std::string(hostPart);
  }
  url.path_ = std::string(rest);
  return url;
}

URL URL::fileURLWithPath(const std::string& path) {
  auto url = parse("file://" + encodeComponent(path, ":@/"));
  VANTOR_ASSERT(url.has_value());
  return *url;
}

std::string URL::path() const { return unescaped(path_); }

std::string URL::lastPathComponent() const { return vantor::lastPathComponent(path()); }

std::string URL::pathExtension() const { return vantor::pathExtension(path()); }

URL URLWithHost(const std::string& host, const std::string& path, const std::optional<std::string>& query,
                const std::optional<std::string>& user, const std::optional<std::string>& password,
                const std::optional<std::string>& fragment, const std::string& scheme, std::optional<int> port) {
  VANTOR_ASSERT(!path.empty() && path.front() == '/');
  VANTOR_ASSERT(!query || query->find(kPlusMarker) == std::string::npos);
  std::string hostName = host;
  if (!port && hostName.find(':') != std::string::npos && hostName.front() != '[') {
    size_t colon = hostName.rfind(':');
    port = std::atoi(hostName.c_str() + colon + 1);
    hostName.resize(colon);
  }
  std::string text = scheme + "://";
  if (user) {
    text += encodeComponent(*user, "");
    if (password) text += ":" + encodeComponent(*password, "");
    text += "@";
  }
  text += hostName;
  if (port) text += ":" + std::to_string(*port);
  text += encodeComponent(path, ":@/");
  if (query) {
    std::string marked = replaced(*query, "+", kPlusMarker);
    text += "?" + replaced(encodeComponent(marked, ":@/?"), kPlusMarker, "%2B");
  }
  if (fragment) text += "#" + encodeComponent(*fragment, ":@/?");
  auto url = URL::parse(text);
  VANTOR_ASSERT(url.has_value());
  return *url;
}

URL URLWithHost(const std::string& host, const std::string& path, const std::optional<std::string>& query) {
  return URLWithHost(host, path, query, std::nullopt, std::nullopt, std::nullopt, "https", std::nullopt);
}

}  // namespace vantor
