#pragma once
// One release of an appcast feed, read from its item element. Every value is trimmed of
// white space and newlines; an empty value counts as absent.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sources/ONOXMLElement.h"

namespace vantor::sources {

class SparkleFeedItem {
 public:
  // Nothing when the item is dropped: a beta, or a build for another system. Release
  // notes are chosen for the user's preferred languages.
  static std::shared_ptr<SparkleFeedItem> initWithElement(const ONOXMLElement& element);
  static std::shared_ptr<SparkleFeedItem> initWithElement(const ONOXMLElement& element,
                                                          const std::vector<std::string>& preferredLanguages);

  // The element whose language ("xml:lang") comes first in the user's preferred
  // languages, "en" being the last of them; elements without a listed language come after
  // all listed ones, in their own order. Nothing for no elements.
  static ONOXMLElementPtr bestLocalItem(const std::vector<ONOXMLElementPtr>& elements);
  static ONOXMLElementPtr bestLocalItem(const std::vector<ONOXMLElementPtr>& elements,
                                        const std::vector<std::string>& preferredLanguages);

  // A bare file name ending in ".dmg" or ".zip" as download URL is taken relative to the
  // feed's URL; any other URL stays.
  void fixupDownloadURLWithFeedURL(const std::string& feedURL);

  const std::optional<std::string>& title() const { return title_; }
  const std::optional<std::string>& pubDate() const { return pubDate_; }
  const std::optional<std::string>& releaseNotesLink() const { return releaseNotesLink_; }
  const std::optional<std::string>& releaseNotes() const { return releaseNotes_; }
  const std::optional<std::string>& downloadURL() const { return downloadURL_; }
  const std::optional<std::string>& downloadSize() const { return downloadSize_; }
  const std::optional<std::string>& downloadSignatureDSA() const { return downloadSignatureDSA_; }
  const std::optional<std::string>& bundleVersion() const { return bundleVersion_; }
  const std::optional<std::string>& shortVersionString() const { return shortVersionString_; }
  const std::optional<std::string>& minimumSystemVersion() const { return minimumSystemVersion_; }
  // The bundle version, else the short version string.
  const std::optional<std::string>& versionToCompare() const { return versionToCompare_; }

 private:
  std::optional<std::string> title_, pubDate_, releaseNotesLink_, releaseNotes_, downloadURL_, downloadSize_,
      downloadSignatureDSA_, bundleVersion_, shortVersionString_, minimumSystemVersion_, versionToCompare_;
};

}  // namespace vantor::sources
