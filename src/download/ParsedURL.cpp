#include "download/ParsedURL.h"

#include <curl/curl.h>

namespace vantor::detail {

namespace {
CURLU* asURL(const std::shared_ptr<void>& handle) { return static_cast<CURLU*>(handle.get()); }
}  // namespace

void ParsedURL::Deleter::operator()(void* handle) const { curl_url_cleanup(static_cast<CURLU*>(handle)); }

std::optional<ParsedURL> ParsedURL::parse(const std::string& text) {
  CURLU* raw = curl_url();
  if (raw == nullptr) return std::nullopt;
  std::shared_ptr<void> handle(raw, Deleter{});
  if (curl_url_set(raw, CURLUPART_URL, text.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) return std::nullopt;
  return ParsedURL(std::move(handle));
}

std::optional<std::string> ParsedURL::part(int which) const {
  char* value = nullptr;
  if (curl_url_get(asURL(handle_), static_cast<CURLUPart>(which), &value, 0) != CURLUE_OK || value == nullptr)
    return std::nullopt;
  std::string result(value);
  curl_free(value);
  return result;
}

std::string ParsedURL::absoluteString() const { return part(CURLUPART_URL).value_or(""); }
std::string ParsedURL::scheme() const { return part(CURLUPART_SCHEME).value_or(""); }
std::optional<std::string> ParsedURL::host() const { return part(CURLUPART_HOST); }
std::optional<std::string> ParsedURL::query() const { return part(CURLUPART_QUERY); }

std::string ParsedURL::absoluteStringWithoutQuery() const {
  CURLU* copy = curl_url_dup(asURL(handle_));
  if (copy == nullptr) return absoluteString();
  std::shared_ptr<void> handle(copy, Deleter{});
  curl_url_set(copy, CURLUPART_QUERY, nullptr, 0);
  return ParsedURL(std::move(handle)).absoluteString();
}

}  // namespace vantor::detail
