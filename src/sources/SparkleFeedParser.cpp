#include "sources/SparkleFeedParser.h"

#include <algorithm>

#include <exception>

#include "download/HTTPRetryingDownloader.h"
#include "foundation/DataHelpers.h"
#include "foundation/Log.h"
#include "foundation/NamedValues.h"
#include "foundation/StringHelpers.h"
#include "foundation/URL.h"
#include "platform/CallStack.h"
#include "sources/CGIInfoHelper.h"
#include "sources/ZRSUStandardVersionComparator.h"

namespace vantor::sources {

namespace {

std::string_view bytesView(const Bytes& data) {
  return std::string_view(reinterpret_cast<const char*>(data.data()), data.size());
}

// Without a byte-order mark the zero byte of the first character tells the byte order.
std::optional<std::string> utf16Text(std::string_view data) {
  bool bigEndian = data.size() >= 2 && data[0] == '\0' && data[1] != '\0';
  return decodeUTF16(data, bigEndian);
}

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
  std::string text;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) text += separator;
    text += parts[i];
  }
  return text;
}

const ZRSUStandardVersionComparator& comparator() { return ZRSUStandardVersionComparator::defaultComparator(); }

std::string versionOf(const SparkleFeedParser::ItemPtr& item) { return item->versionToCompare().value_or(""); }

}  // namespace

bool SparkleFeedParser::isFeedData(std::string_view data) {
  // Read as UTF-8, or else as any single-byte encoding that extends ASCII (so a Latin-1
  // feed with accented letters passes too), the markers are the plain bytes; only a
  // UTF-16 text needs decoding.
  if (contains(data, "<rss")) return contains(data, "</rss>");
  std::optional<std::string> text = utf16Text(data);
  return text && contains(*text, "<rss") && contains(*text, "</rss>");
}

std::unique_ptr<SparkleFeedParser> SparkleFeedParser::initWithFeedURL(const std::string& feedURL,
                                                                      const std::optional<std::string>& userAgent) {
  auto url = URL::parse(feedURL);
  if (!url) {
    cc_log_error("Error: feed URL is not a URL %@", feedURL);
    return nullptr;
  }
  URLRequest request(*url);
  request.addValue("text/javascript, text/html, application/xml, */*", "Accept");
  request.setValue(userAgent.value_or("Mozilla/5.0 (Macintosh; Intel Mac OS X 10_14_0)"), "User-Agent");
  std::optional<DownloadedData> data;
  try {
    data = HTTPRetryingDownloader().downloadRequest(request, 10, 2, 2,
                                                    [](const Bytes& bytes) { return isFeedData(bytesView(bytes)); });
  } catch (const std::exception& exception) {
    std::string description = exception.what();
    cc_log_error("Fatal Error: download of feed yielded exception %@ %@", feedURL, description);
    CGIInfoHelper::collectErrorEvent(
        118, makeDictionaryOfVariables("feedURL, exception.description", feedURL, description));
    return nullptr;
  }
  if (!data) return nullptr;
  return initWithFeedData(data->bytes, feedURL);
}

std::unique_ptr<SparkleFeedParser> SparkleFeedParser::initWithFeedData(const Bytes& data,
                                                                       const std::optional<std::string>& feedURL) {
  return initWithFeedData(bytesView(data), feedURL);
}

std::unique_ptr<SparkleFeedParser> SparkleFeedParser::initWithFeedData(std::string_view data,
                                                                       const std::optional<std::string>& feedURL) {
  Error error;
  bool failed = false;
  auto document = ONOXMLDocument::XMLDocumentWithData(data, &error);
  if (!document) failed = true;

  // Diagnostics on the text, when the bytes are UTF-8.
  const bool isUTF8 = isValidUTF8(data);
  if (isUTF8) {
    if (contains(data.substr(0, data.find("</channel>")), "<beta>"))
      cc_log_error("ERRORERRORERROR: feed contains <beta> tag: %@", feedURL);
    if (count(data, "<channel>") >= 2 && !contains(data, "MongoHub"))
      cc_log_level(4,
                   "Warning: feed has more than one channel, please double check if just using the first one is what "
                   "we want: %@",
                   feedURL);
  }

  auto parser = std::unique_ptr<SparkleFeedParser>(new SparkleFeedParser());
  parser->feedURL_ = feedURL;
  const size_t length = data.size();

  if (failed) {
    CGIInfoHelper::collectErrorEvent(120, makeDictionaryOfVariables("errorType, feedURL, error, @(data.length)",
                                                                    "unparsable", feedURL, error, length));
    return nullptr;
  }

  parser->itemsArray_ = parser->parseItems(*document);
  if (parser->itemsArray_.empty()) {
    std::string backtrace = data.empty() ? joined(platform::callStackSymbols(), "|") : "";
    std::optional<std::string_view> text;
    if (isUTF8) text = data;
    CGIInfoHelper::collectErrorEvent(120, makeDictionaryOfVariables("errorType, feedURL, @(data.length), str, bt",
                                                                    "noitems", feedURL, length, text, backtrace));
    return nullptr;
  }

  parser->loadNewestItemData();
  const auto& newest = parser->newestItemForAnyOS_;
  if (newest->downloadURL() && hasSuffix(*newest->downloadURL(), "site.pkg"))
    cc_log_error("Error: SparkleFeedParser did not find suspicious viruslike URL in feed '%@'", feedURL);

  if (!newest->shortVersionString() && !newest->bundleVersion()) {
    CGIInfoHelper::collectErrorEvent(
        120, makeDictionaryOfVariables("errorType, feedURL, _newestItemForAnyOS.title, _newestItemForAnyOS.pubDate, "
                                       "_newestItemForAnyOS.downloadURL, @(_itemsArray.count), @(data.length), str",
                                       "noversionsnumber", feedURL, newest->title(), newest->pubDate(),
                                       newest->downloadURL(), parser->itemsArray_.size(), length, base64String(data)));
    return nullptr;
  }
  if (!parser->newestItemForCurrentOS_) {
    CGIInfoHelper::collectErrorEvent(
        120, makeDictionaryOfVariables("errorType, feedURL, _newestItemForAnyOS.title, _newestItemForAnyOS.pubDate, "
                                       "_newestItemForAnyOS.downloadURL, @(_itemsArray.count), @(data.length)",
                                       "anycompatible", feedURL, newest->title(), newest->pubDate(),
                                       newest->downloadURL(), parser->itemsArray_.size(), length));
    return nullptr;
  }
  return parser;
}

std::vector<SparkleFeedParser::ItemPtr> SparkleFeedParser::parseItems(ONOXMLDocument& document) const {
  std::vector<ItemPtr> items;
  auto root = document.rootElement();
  auto channel = root ? root->firstChildWithTag("channel") : nullptr;
  if (!channel) return items;
  for (const auto& child : channel->children()) {
    if (child->tag() != "item") continue;
    if (auto item = SparkleFeedItem::initWithElement(*child)) items.push_back(std::move(item));
  }
  return items;
}

void SparkleFeedParser::loadNewestItemData() {
  newestItemForAnyOS_ = nullptr;
  newestItemForCurrentOS_ = nullptr;
  // The heads of the list sorted newest first (stably) are the first items that no later
  // item beats; one pass finds them.
  for (const auto& item : itemsArray_) {
    if (!newestItemForAnyOS_ || comparator().compareVersion(versionOf(item), versionOf(newestItemForAnyOS_)) == 1)
      newestItemForAnyOS_ = item;
    if (ZRSUStandardVersionComparator::isSystemVersionNewerThanOurSystemVersion(item->minimumSystemVersion())) continue;
    if (!newestItemForCurrentOS_ ||
        comparator().compareVersion(versionOf(item), versionOf(newestItemForCurrentOS_)) == 1)
      newestItemForCurrentOS_ = item;
  }
  if (feedURL_) {
    if (newestItemForCurrentOS_) newestItemForCurrentOS_->fixupDownloadURLWithFeedURL(*feedURL_);
    if (newestItemForAnyOS_) newestItemForAnyOS_->fixupDownloadURLWithFeedURL(*feedURL_);
  }
}

std::vector<SparkleFeedParser::ItemPtr> SparkleFeedParser::itemsSortedNewestFirst() const {
  std::vector<ItemPtr> sorted = itemsArray_;
  std::stable_sort(sorted.begin(), sorted.end(), [](const ItemPtr& a, const ItemPtr& b) {
    return comparator().compareVersion(versionOf(a), versionOf(b)) == 1;
  });
  return sorted;
}

std::string SparkleFeedParser::releaseNoteAmalgamateSinceVersion(std::string_view version) const {
  std::string headers, scripts;
  int i = 0;
  for (const auto& item : itemsSortedNewestFirst()) {
    if (!item->releaseNotes() || comparator().compareVersion(version, versionOf(item)) != -1) continue;
    // The notes become a single-quoted script string: escape what would end it or the
    // script element early, and drop the line breaks a string literal cannot hold.
    std::string notes = stringByDeletingCharacters(*item->releaseNotes(), isNewlineCharacter);
    notes = replaced(notes, "\\", "\\\\");
    notes = replaced(notes, "'", "\\'");
    notes = replaced(notes, "</", "<\\/");
    scripts += makeString(
        "<script type='text/javascript'>var fr%i = document.getElementById('frame%i');var doc%i = "
        "document.getElementById('frame%i').contentWindow.document;doc%i.open();doc%i.write('%@');doc%i.close();"
        "fr%i.height = 0;fr%i.height = doc%i.body.scrollHeight + 'px';</script>",
        i, i, i, i, i, i, notes, i, i, i, i);
    headers += makeString("<h3 class='header'>%@</h3><iframe frameborder='0' id='frame%i'></iframe><br>",
                          item->versionToCompare(), i);
    ++i;
  }
  return makeString("<html><head></head><body>%@ %@</body></html>", headers, scripts);
}

}  // namespace vantor::sources
