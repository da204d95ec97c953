#include "sources/UpdateInfoSparkle.h"

#include <cctype>
#include <limits>

#include "platform/PropertyList.h"

namespace vantor::sources {

namespace {

// The integer a text starts with, as a number reading does it: leading blanks, a sign,
// digits; 0 without digits, clamped at the 64-bit limits.
std::int64_t integerValue(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::int64_t value = 0;
  constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    int digit = text[i] - '0';
    if (value > (kMax - digit) / 10) return negative ? std::numeric_limits<std::int64_t>::min() : kMax;
    value = value * 10 + digit;
  }
  return negative ? -value : value;
}

struct Field {
  const char* key;
  std::optional<std::string> UpdateInfoSparkle::*member;
};

constexpr Field kTextFields[] = {
    {"a", &UpdateInfoSparkle::bundleVersion},
    {"b", &UpdateInfoSparkle::downloadSignatureDSA},
    {"d", &UpdateInfoSparkle::downloadURL},
    {"e", &UpdateInfoSparkle::minimumSystemVersion},
    {"f", &UpdateInfoSparkle::pubDate},
    {"g", &UpdateInfoSparkle::releaseNotes},
    {"h", &UpdateInfoSparkle::releaseNotesLink},
    {"i", &UpdateInfoSparkle::shortVersionString},
    {"j", &UpdateInfoSparkle::title},
};
constexpr const char* kDownloadSizeKey = "c";

}  // namespace

UpdateInfoSparkle UpdateInfoSparkle::initWithSparkleFeedItem(const SparkleFeedItem& item) {
  UpdateInfoSparkle info;
  info.bundleVersion = item.bundleVersion();
  info.downloadSignatureDSA = item.downloadSignatureDSA();
  if (item.downloadSize()) {
    if (std::int64_t size = integerValue(*item.downloadSize()); size != 0) info.downloadSize = size;
  }
  info.downloadURL = item.downloadURL();
  info.minimumSystemVersion = item.minimumSystemVersion();
  info.pubDate = item.pubDate();
  info.releaseNotes = item.releaseNotes();
  info.releaseNotesLink = item.releaseNotesLink();
  info.shortVersionString = item.shortVersionString();
  info.title = item.title();
  return info;
}

Json UpdateInfoSparkle::encodeWithCoder() const {
  Json archive = Json::object();
  for (const Field& field : kTextFields)
    if (const auto& value = this->*field.member) archive[field.key] = *value;
  if (downloadSize) archive[kDownloadSizeKey] = *downloadSize;
  return archive;
}

UpdateInfoSparkle UpdateInfoSparkle::initWithCoder(const Json& archive) {
  UpdateInfoSparkle info;
  if (!archive.is_object()) return info;
  for (const Field& field : kTextFields) {
    auto it = archive.find(field.key);
    if (it != archive.end() && it->is_string()) info.*field.member = it->get<std::string>();
  }
  if (auto it = archive.find(kDownloadSizeKey); it != archive.end() && it->is_number_integer())
    info.downloadSize = it->get<std::int64_t>();
  return info;
}

std::string UpdateInfoSparkle::propertyList() const {
  return platform::xmlPropertyList(encodeWithCoder()).value_or("");
}

std::optional<UpdateInfoSparkle> UpdateInfoSparkle::initWithPropertyList(const std::string& bytes) {
  auto value = platform::parsePropertyList(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
  if (!value || !value->is_object()) return std::nullopt;
  return initWithCoder(*value);
}

}  // namespace vantor::sources
