#pragma once
// An absolute URL as libcurl's own parser reads it: what the transfers will fetch, and
// how to take the query off it. Any scheme parses; whether it can be fetched is the
// transfer's business.

#include <memory>
#include <optional>
#include <string>

namespace vantor::detail {

class ParsedURL {
 public:
  // Nothing when the text is not an absolute URL (no scheme, blanks, bad host...).
  static std::optional<ParsedURL> parse(const std::string& text);

  std::string absoluteString() const;
  std::string scheme() const;
  std::optional<std::string> host() const;
  // The query as written (still percent-encoded), without the "?"; nothing when absent.
  std::optional<std::string> query() const;
  // The same URL without its query.
  std::string absoluteStringWithoutQuery() const;

 private:
  struct Deleter {
    void operator()(void* handle) const;
  };
  explicit ParsedURL(std::shared_ptr<void> handle) : handle_(std::move(handle)) {}
  std::optional<std::string> part(int which) const;

  std::shared_ptr<void> handle_;  // CURLU, never changed after parsing
};

}  // namespace vantor::detail
