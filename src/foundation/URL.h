#pragma once
// A small URL value: parsed from text or built from components, with the accessors the
// system uses. Components are kept percent-encoded as written; path() decodes.

#include <optional>
#include <string>
#include <string_view>

namespace vantor {

class URL {
 public:
  // Nothing when the text is not an absolute URL ("scheme:..."), or holds blanks or
  // control characters.
  static std::optional<URL> parse(std::string_view text);
  static URL fileURLWithPath(const std::string& path);

  const std::string& absoluteString() const { return text_; }
  const std::string& scheme() const { return scheme_; }
  const std::optional<std::string>& host() const { return host_; }
  const std::optional<int>& port() const { return port_; }
  const std::optional<std::string>& user() const { return user_; }
  const std::optional<std::string>& password() const { return password_; }
  // The path, percent-decoded.
  std::string path() const;
  const std::string& percentEncodedPath() const { return path_; }
  const std::optional<std::string>& query() const { return query_; }
  const std::optional<std::string>& fragment() const { return fragment_; }
  std::string lastPathComponent() const;
  std::string pathExtension() const;
  bool isFileURL() const { return scheme_ == "file"; }

  bool operator==(const URL& other) const { return text_ == other.text_; }

 private:
  std::string text_;
  std::string scheme_;
  std::optional<std::string> user_, password_, host_;
  std::optional<int> port_;
  std::string path_;
  std::optional<std::string> query_, fragment_;
};

// Builds a URL from its parts. The path must begin with "/" (fatal assertion); the query
// is percent-encoded as a URL query, and every "+" in it is sent as "%2B" so that no
// server reads it as a blank. A host given as "host:port" with no port brings its port.
URL URLWithHost(const std::string& host, const std::string& path, const std::optional<std::string>& query,
                const std::optional<std::string>& user, const std::optional<std::string>& password,
                const std::optional<std::string>& fragment, const std::string& scheme, std::optional<int> port);
// The same with "https" and no user, password, fragment or port.
URL URLWithHost(const std::string& host, const std::string& path, const std::optional<std::string>& query);

}  // namespace vantor
