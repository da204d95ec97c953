#pragma once
// The decoded catalog: bundle identifier to record, plus the lists of bundle identifiers
// that are ignored indirectly. A ConfigFile never changes after construction, so copies
// share one document and any thread may read it without a lock.
//
// The catalog file ("config.json.encr") is, little-endian throughout:
//   0  h1 0xDEAFBABE | 4 payload length N | 8 RSA signature (512 bytes)
//   520 h2 0xBEEFCAFE | 524 h3 0xB00BB00B | 528 LZMA (xz) payload, N bytes | h4 0xDEADC0DE
// The signature covers the 64 lower-case hex characters of the payload's SHA-256, placed
// where a SHA-512 digest would go (PKCS#1 v1.5), so nothing is decompressed before it
// holds.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "catalog/ConfigFileEntry.h"
#include "foundation/Bytes.h"
#include "foundation/Error.h"
#include "foundation/Json.h"

namespace vantor {

namespace detail {
class CatalogDocument;
}

// Codes of the decoder's errors (Cocoa error domain), in the order of the checks.
enum ConfigFileDecodingErrorCode : long {
  kConfigFileErrorNoData = 1,
  kConfigFileErrorTooShort = 2,
  kConfigFileErrorBadMagic = 3,
  kConfigFileErrorLengthMismatch = 4,
  kConfigFileErrorNoPayload = 5,
  kConfigFileErrorBadTrailer = 6,
  kConfigFileErrorNoDigest = 7,
  kConfigFileErrorNoKey = 8,
  kConfigFileErrorBadSignature = 9,
  kConfigFileErrorDecompression = 10,
};

inline constexpr std::uint32_t kConfigFileMagicH1 = 0xDEAFBABE;
inline constexpr std::uint32_t kConfigFileMagicH2 = 0xBEEFCAFE;
inline constexpr std::uint32_t kConfigFileMagicH3 = 0xB00BB00B;
inline constexpr std::uint32_t kConfigFileMagicH4 = 0xDEADC0DE;
inline constexpr size_t kConfigFileHeaderSize = 528;
inline constexpr size_t kConfigFileSignatureOffset = 8;
inline constexpr size_t kConfigFileSignatureSize = 512;
inline constexpr size_t kConfigFileOverhead = 532;  // everything but the payload
inline constexpr const char* kConfigFileName = "config.json.encr";

class ConfigFile {
 public:
  // The scan engine's loader: the catalog file in the context object's support folder,
  // copied there from the bundle's resources when missing. When it cannot be read,
  // decoded or holds an empty object, the file is deleted (a damaged copy would
  // otherwise stay for good) and dictionary() is absent.
  ConfigFile();

  // initWithDictionary: keeps the dictionary as it is, whatever it holds.
  explicit ConfigFile(std::optional<Json> dictionary);

  // The decoded JSON text as a catalog: what JSONDictionary followed by
  // initWithDictionary gives, but the text is kept, checked and indexed instead of
  // converted, so that loading a large catalog costs little more than decompressing it.
  // Nothing (and the JSON helpers' log line) when the text is not a JSON object.
  static std::optional<ConfigFile> configFileWithJSONData(Bytes text);

  // Checks a catalog file and returns its decompressed payload, or nothing with *error
  // set to the first failing check. Asserts that error is given. Never logs.
  static std::optional<Bytes> uncompressConfigFile(const Bytes* data, Error* error);
  // The same with another verification key (hex text of its DER SubjectPublicKeyInfo).
  static std::optional<Bytes> uncompressConfigFile(const Bytes* data, Error* error,
                                                   std::string_view verificationKeyHex);

  // Whether lookups read the checked catalog text in place (see configFileWithJSONData).
  bool readsTextInPlace() const;

  // The whole top-level value. On a parsed catalog the first call converts all of it.
  const std::optional<Json>& dictionary() const;
  // Whether the top level is an object with an object under "bundleIDMapping"; lookups
  // need one.
  bool hasBundleIDMapping() const;

  // The record under the bundle identifier (compared exactly), or an empty record.
  // Asserts that the catalog has its mapping.
  ConfigFileEntry entryForBundleIdentifier(std::string_view bundleIdentifier) const;
  bool hasEntryForBundleIdentifier(std::string_view bundleIdentifier) const;
  // Prefix, suffix, substring, then case-insensitive substring lists; empty entries never
  // match.
  bool isBundleIdentifierIgnoredIndirectly(std::string_view bundleIdentifier) const;

  // The scan engine's catalog update, on the background queue: fetches a catalog file
  // from the product's server and, when it decodes and maps more than 500 bundle
  // identifiers, writes it unchanged over the engine's catalog file (atomically) and
  // notes the date under "LastConfigFileUpdate"; then completion runs on the main queue.
  // Anything else leaves the file as it was and runs errorBlock on the main queue. A file
  // that cannot be written ends the application after an alert that says why. A
  // ConfigFile in memory never changes.
  static void updateConfigFileWithCompletion(std::function<void()> completion, std::function<void()> errorBlock);

  // The catalog file of the scan engine: the support folder's "config.json.encr".
  static std::optional<std::string> configLocalFilePath();

  // The value under the bundle identifier in the resource "homepages.json", read anew on
  // each call; nothing without the file, an object in it, or the key.
  static std::optional<Json> homepageForBundleIdentifier(std::string_view bundleIdentifier);
  static std::optional<Json> homepageForBundleIdentifier(std::string_view bundleIdentifier,
                                                         const std::string& homepagesPath);

 private:
  explicit ConfigFile(std::shared_ptr<const detail::CatalogDocument> document);

  std::shared_ptr<const detail::CatalogDocument> document_;
};

}  // namespace vantor
