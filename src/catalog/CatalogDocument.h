#pragma once
// The storage behind a ConfigFile: either a dictionary handed in as it is, or the catalog's
// JSON text itself. The catalog lives until the process ends and is only ever asked for a
// few records, so the text is checked once in full (as strictly as the system's JSON
// parser), an index of "bundleIDMapping" notes where each record's text lies, and a record
// becomes a Json value only when it is asked for. Building a tree of the whole catalog
// would cost more than decompressing it.

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/Bytes.h"
#include "foundation/Json.h"

namespace vantor::detail {

class CatalogDocument {
 public:
  // Stores the dictionary as it is (any value, or nothing).
  static std::shared_ptr<const CatalogDocument> fromDictionary(std::optional<Json> dictionary);
  // Parses JSON text that must be an object; nothing (after the log line that the
  // system's JSON helpers write) when it does not parse or is not an object.
  static std::shared_ptr<const CatalogDocument> parse(Bytes text);

  ~CatalogDocument();
  CatalogDocument(const CatalogDocument&) = delete;
  CatalogDocument& operator=(const CatalogDocument&) = delete;

  // The whole top-level value, or nothing. For a parsed document this converts
  // everything once (slow on a big catalog); lookups never need it.
  const std::optional<Json>& dictionary() const;

  // Whether the top level is an object with an object under "bundleIDMapping".
  bool hasMapping() const;
  // The record under the bundle identifier, or nothing when the mapping has no such key.
  std::optional<Json> record(std::string_view bundleIdentifier) const;
  bool hasRecord(std::string_view bundleIdentifier) const;
  // The string elements of a top-level array (other elements and other types give
  // nothing).
  std::vector<std::string> topLevelStrings(std::string_view key) const;

  // Whether the document keeps the scanned text (the fast path) rather than a converted
  // dictionary.
  bool isScannedText() const { return parsed_ != nullptr; }

 private:
  struct Parsed;
  CatalogDocument() = default;
  // "bundleIDMapping" of a handed-in dictionary when it is an object.
  const Json* mappingValue() const;

  // Set for a handed-in dictionary from the start; for a parsed one on first use.
  mutable std::optional<Json> dictionary_;
  mutable std::once_flag materialized_;
  std::unique_ptr<Parsed> parsed_;
};

}  // namespace vantor::detail
