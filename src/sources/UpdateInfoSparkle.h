#pragma once
// A plain copy of a feed item's facts that can be archived as a property-list dictionary
// under one-letter keys: "a" bundleVersion, "b" downloadSignatureDSA, "c" downloadSize,
// "d" downloadURL, "e" minimumSystemVersion, "f" pubDate, "g" releaseNotes,
// "h" releaseNotesLink, "i" shortVersionString, "j" title. Absent fields have no key.

#include <cstdint>
#include <optional>
#include <string>

#include "foundation/Json.h"
#include "sources/SparkleFeedItem.h"

namespace vantor::sources {

struct UpdateInfoSparkle {
  std::optional<std::string> bundleVersion;
  std::optional<std::string> downloadSignatureDSA;
  std::optional<std::int64_t> downloadSize;  // the item's size as an integer, unless 0
  std::optional<std::string> downloadURL;
  std::optional<std::string> minimumSystemVersion;
  std::optional<std::string> pubDate;
  std::optional<std::string> releaseNotes;
  std::optional<std::string> releaseNotesLink;
  std::optional<std::string> shortVersionString;
  std::optional<std::string> title;

  static UpdateInfoSparkle initWithSparkleFeedItem(const SparkleFeedItem& item);

  // The keyed archive as a dictionary, and back; values of the wrong kind are skipped.
  Json encodeWithCoder() const;
  static UpdateInfoSparkle initWithCoder(const Json& archive);
  // The same dictionary as an XML property list, and back (nothing for other bytes).
  std::string propertyList() const;
  static std::optional<UpdateInfoSparkle> initWithPropertyList(const std::string& bytes);

  bool operator==(const UpdateInfoSparkle&) const = default;
};

}  // namespace vantor::sources
