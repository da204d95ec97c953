#include "sources/SparkleFeedItem.h"

#include <algorithm>

#include "foundation/Localization.h"
#include "foundation/StringHelpers.h"

namespace vantor::sources {

namespace {

bool isASCIISpace(char c) { return c == ' ' || c == '\t' || (c >= '\n' && c <= '\r'); }

std::optional<std::string> trimmedValue(const std::optional<std::string>& value) {
  if (!value) return std::nullopt;
  std::string_view text = *value;
  while (!text.empty() && isASCIISpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isASCIISpace(text.back())) text.remove_suffix(1);
  // Other blanks and line breaks (no-break space, U+2028...) are not ASCII.
  bool plainEnds = text.empty() ||
                   (static_cast<unsigned char>(text.front()) < 0x80 && static_cast<unsigned char>(text.back()) < 0x80);
  std::string trimmed = plainEnds ? std::string(text) : trimmedOfWhitespaceAndNewlines(text);
  if (trimmed.empty()) return std::nullopt;
  return trimmed;
}

std::optional<std::string> textOf(const ONOXMLElementPtr& element) {
  return element ? trimmedValue(element->stringValue()) : std::nullopt;
}

std::optional<std::string> childText(const ONOXMLElement& element, std::string_view tag) {
  return textOf(element.firstChildWithTag(tag));
}

std::optional<std::string> attribute(const ONOXMLElement& element, std::string_view name) {
  return trimmedValue(element.valueForAttribute(name));
}

bool childTextIsOne(const ONOXMLElement& element, std::string_view tag) {
  auto child = element.firstChildWithTag(tag);
  return child && child->stringValue() == "1";
}

}  // namespace

std::shared_ptr<SparkleFeedItem> SparkleFeedItem::initWithElement(const ONOXMLElement& element) {
  return initWithElement(element, preferredLanguages2Letter());
}

std::shared_ptr<SparkleFeedItem> SparkleFeedItem::initWithElement(const ONOXMLElement& element,
                                                                  const std::vector<std::string>& languages) {
  if (childTextIsOne(element, "beta") || childTextIsOne(element, "isBetaBuild")) return nullptr;

  auto item = std::make_shared<SparkleFeedItem>();
  item->title_ = childText(element, "title");
  item->pubDate_ = childText(element, "pubDate");
  item->releaseNotesLink_ = textOf(bestLocalItem(element.childrenWithTag("releaseNotesLink"), languages));
  item->releaseNotes_ = textOf(bestLocalItem(element.childrenWithTag("description"), languages));

  if (auto enclosure = element.firstChildWithTag("enclosure")) {
    auto os = attribute(*enclosure, "os");
    if (os && (hasPrefix(*os, "windows") || hasPrefix(*os, "linux"))) return nullptr;
    if (attribute(*enclosure, "beta") == "1" || attribute(*enclosure, "marker") == "beta") return nullptr;
    item->downloadURL_ = attribute(*enclosure, "url");
    item->downloadSize_ = attribute(*enclosure, "length");
    item->downloadSignatureDSA_ = attribute(*enclosure, "dsaSignature");
    if (!item->downloadSignatureDSA_) item->downloadSignatureDSA_ = attribute(*enclosure, "edSignature");
    if (!item->downloadSignatureDSA_) item->downloadSignatureDSA_ = attribute(*enclosure, "hash");
    item->bundleVersion_ = attribute(*enclosure, "version");
    item->shortVersionString_ = attribute(*enclosure, "shortVersionString");
    item->minimumSystemVersion_ = attribute(*enclosure, "minimumSystemVersion");
  }

  if (!item->bundleVersion_) item->bundleVersion_ = childText(element, "version");
  if (!item->downloadURL_) item->downloadURL_ = childText(element, "link");
  if (!item->shortVersionString_) item->shortVersionString_ = childText(element, "shortVersionString");
  if (!item->minimumSystemVersion_) item->minimumSystemVersion_ = childText(element, "minimumSystemVersion");

  item->versionToCompare_ = item->bundleVersion_ ? item->bundleVersion_ : item->shortVersionString_;
  return item;
}

ONOXMLElementPtr SparkleFeedItem::bestLocalItem(const std::vector<ONOXMLElementPtr>& elements) {
  return bestLocalItem(elements, preferredLanguages2Letter());
}

ONOXMLElementPtr SparkleFeedItem::bestLocalItem(const std::vector<ONOXMLElementPtr>& elements,
                                                const std::vector<std::string>& preferredLanguages) {
  if (elements.empty()) return nullptr;
  std::vector<std::string> languages = preferredLanguages;
  if (std::find(languages.begin(), languages.end(), "en") == languages.end()) languages.push_back("en");
  auto rank = [&](const ONOXMLElementPtr& element) {
    auto language = element->valueForAttribute("lang");
    auto found = language ? std::find(languages.begin(), languages.end(), *language) : languages.end();
    return static_cast<size_t>(found - languages.begin());  // unlisted: after every listed one
  };
  // A stable choice of the lowest rank is the head of the stably sorted list.
  ONOXMLElementPtr best = elements.front();
  size_t bestRank = rank(best);
  for (const auto& element : elements) {
    size_t elementRank = rank(element);
    if (elementRank < bestRank) best = element, bestRank = elementRank;
  }
  return best;
}

void SparkleFeedItem::fixupDownloadURLWithFeedURL(const std::string& feedURL) {
  if (!downloadURL_ || contains(*downloadURL_, "/")) return;
  if (!hasSuffix(*downloadURL_, ".dmg") && !hasSuffix(*downloadURL_, ".zip")) return;
  // Resolved as a relative reference: the feed URL's path up to its last "/", then the
  // file name; the feed's query and fragment do not carry over.
  std::string base = feedURL.substr(0, feedURL.find_first_of("?#"));
  size_t authority = base.find("://");
  size_t pathStart = authority == std::string::npos ? 0 : base.find('/', authority + 3);
  if (pathStart == std::string::npos) {
    base += "/";
  } else {
    base.erase(base.rfind('/') + 1);
  }
  downloadURL_ = base + *downloadURL_;
}

}  // namespace vantor::sources
