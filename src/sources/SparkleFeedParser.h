#pragma once
// Reads an appcast feed: the items of its first channel, the newest item for any system
// and the newest one that the running system can use. A parser exists only when the feed
// has at least one usable item, the newest has a version, and one fits the running
// system; every other outcome is nothing plus an error event (118 for a failed download,
// 120 otherwise). Synchronous; a parser and its items belong to the thread that made them.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/Bytes.h"
#include "sources/ONOXMLDocument.h"
#include "sources/SparkleFeedItem.h"

namespace vantor::sources {

class SparkleFeedParser {
 public:
  using ItemPtr = std::shared_ptr<SparkleFeedItem>;

  // Downloads the feed (10 seconds per attempt, 2 retries 2 seconds apart, until the bytes
  // are a feed) and parses it. A user agent replaces the default desktop browser one.
  static std::unique_ptr<SparkleFeedParser> initWithFeedURL(const std::string& feedURL,
                                                            const std::optional<std::string>& userAgent);

  // Parses the feed bytes; feedURL is where they came from (relative download URLs are
  // resolved against it).
  static std::unique_ptr<SparkleFeedParser> initWithFeedData(std::string_view data,
                                                             const std::optional<std::string>& feedURL);
  static std::unique_ptr<SparkleFeedParser> initWithFeedData(const Bytes& data,
                                                             const std::optional<std::string>& feedURL);

  // Whether downloaded bytes are a feed: their text (UTF-8, else ASCII, else UTF-16) holds
  // both "<rss" and "</rss>".
  static bool isFeedData(std::string_view data);

  // The usable items of the document's first channel, in feed order.
  std::vector<ItemPtr> parseItems(ONOXMLDocument& document) const;
  // Picks the two newest items from itemsArray and resolves their relative download URLs.
  void loadNewestItemData();
  // An HTML page with the release notes of every item newer than version, newest first.
  std::string releaseNoteAmalgamateSinceVersion(std::string_view version) const;

  const std::vector<ItemPtr>& itemsArray() const { return itemsArray_; }
  const ItemPtr& newestItemForAnyOS() const { return newestItemForAnyOS_; }
  const ItemPtr& newestItemForCurrentOS() const { return newestItemForCurrentOS_; }
  const std::optional<std::string>& feedURL() const { return feedURL_; }

 private:
  std::vector<ItemPtr> itemsSortedNewestFirst() const;

  std::vector<ItemPtr> itemsArray_;
  ItemPtr newestItemForAnyOS_;
  ItemPtr newestItemForCurrentOS_;
  std::optional<std::string> feedURL_;
};

}  // namespace vantor::sources
