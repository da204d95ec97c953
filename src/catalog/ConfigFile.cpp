#include "catalog/ConfigFile.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "catalog/CatalogDocument.h"
#include "foundation/Assert.h"
#include "foundation/Compression.h"
#include "foundation/DataHelpers.h"
#include "foundation/FileHelpers.h"
#include "foundation/Format.h"
#include "foundation/NamedValues.h"
#include "foundation/Alerts.h"
#include "foundation/Dates.h"
#include "foundation/Dispatch.h"
#include "foundation/Localization.h"
#include "foundation/Log.h"
#include "foundation/StringHelpers.h"
#include "foundation/TesselLib.h"
#include "platform/Bundle.h"
#include "platform/FileSystem.h"
#include "platform/RunLoop.h"
#include "sources/CGIInfoHelper.h"
#include "vantor/BuildSettings.h"

namespace vantor {

namespace {

std::uint32_t readLittleEndian32(const Bytes& data, size_t offset) {
  return static_cast<std::uint32_t>(data[offset]) | static_cast<std::uint32_t>(data[offset + 1]) << 8 |
         static_cast<std::uint32_t>(data[offset + 2]) << 16 | static_cast<std::uint32_t>(data[offset + 3]) << 24;
}

Error decodingError(long code, std::optional<Json> userInfo = std::nullopt) {
  return Error(kCocoaErrorDomain, code, userInfo ? std::move(*userInfo) : Json::object());
}

struct PKeyDeleter {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct PKeyContextDeleter {
  void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};
using PKey = std::unique_ptr<EVP_PKEY, PKeyDeleter>;
using PKeyContext = std::unique_ptr<EVP_PKEY_CTX, PKeyContextDeleter>;

std::string openSSLFailure(const char* what) {
  unsigned long code = ERR_get_error();
  std::string reason = what;
  if (code != 0) {
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    reason += makeString(" (%@)", text);
  }
  ERR_clear_error();
  return Error("OpenSSLErrorDomain", static_cast<long>(code), {{kLocalizedDescriptionKey, reason}}).description();
}

// An RSA public key from the DER bytes of a SubjectPublicKeyInfo, or nothing with the
// reason in *failure.
PKey publicKeyFromDER(const Bytes& der, std::string* failure) {
  const unsigned char* cursor = der.data();
  PKey key(d2i_PUBKEY(nullptr, &cursor, static_cast<long>(der.size())));
  if (!key) {
    *failure = openSSLFailure("the verification key is not a DER public key");
    return nullptr;
  }
  if (cursor != der.data() + der.size()) {
    *failure = openSSLFailure("the verification key has bytes after its DER form");
    return nullptr;
  }
  if (EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_RSA) {
    *failure = openSSLFailure("the verification key is not an RSA key");
    return nullptr;
  }
  return key;
}

bool signatureHolds(EVP_PKEY* key, const std::uint8_t* signature, size_t signatureLength, std::string_view signedValue) {
  PKeyContext context(EVP_PKEY_CTX_new(key, nullptr));
  bool holds = context && EVP_PKEY_verify_init(context.get()) > 0 &&
               EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) > 0 &&
               EVP_PKEY_CTX_set_signature_md(context.get(), EVP_sha512()) > 0 &&
               EVP_PKEY_verify(context.get(), signature, signatureLength,
                               reinterpret_cast<const unsigned char*>(signedValue.data()), signedValue.size()) == 1;
  ERR_clear_error();
  return holds;
}

}  // namespace

namespace {

// The support folder's attributes as the file manager would list them, for diagnostics.
std::string folderAttributesDescription(const std::optional<std::string>& folder) {
  platform::FileStatus status;
  if (!folder || platform::FileSystem::status(*folder, &status, true) != 0) return "(null)";
  return describe(Json{{"NSFileType", status.isDirectory() ? "NSFileTypeDirectory" : "NSFileTypeRegular"},
                       {"NSFilePosixPermissions", status.mode},
                       {"NSFileOwnerAccountID", status.owner},
                       {"NSFileGroupOwnerAccountID", status.group},
                       {"NSFileSize", status.size},
                       {"NSFileModificationDate",
                        stringUsingFormat(status.modificationTime.tv_sec, "%Y-%m-%d %H:%M:%S +0000", true)}});
}

// Copies the bundle's catalog into place whole or not at all.
std::optional<Error> copyBundledCatalog(const std::string& destination) {
  auto source = platform::Bundle::main().pathForResource(kConfigFileName);
  if (!source) return Error(kCocoaErrorDomain, 260, {{kLocalizedDescriptionKey, "The bundle has no catalog file."}});
  auto data = contents(*source);
  int errorNumber = 0;
  if (!data) return Error(kCocoaErrorDomain, 256, {{kLocalizedDescriptionKey, "The bundled catalog is unreadable."}});
  if (!writeContentsAtomically(destination, std::string_view(reinterpret_cast<const char*>(data->data()), data->size()),
                               &errorNumber))
    return Error(kPOSIXErrorDomain, errorNumber, {{kLocalizedDescriptionKey, std::string(std::strerror(errorNumber))}});
  return std::nullopt;
}

std::optional<Json> loadEngineCatalog() {
  auto configLocalFilePath = ConfigFile::configLocalFilePath();
  if (!configLocalFilePath) {
    cc_log_error("Error: ConfigFile has no support folder to load the catalog from");
    return std::nullopt;
  }
  std::optional<Error> copyError;
  bool didJustCopyIt = false;
  if (!fileExists(*configLocalFilePath)) {
    copyError = copyBundledCatalog(*configLocalFilePath);
    didJustCopyIt = true;
  }
  auto fileData = contents(*configLocalFilePath);
  Error uncompressError;
  std::optional<Bytes> data = ConfigFile::uncompressConfigFile(fileData ? &*fileData : nullptr, &uncompressError);
  std::optional<Json> dict;
  if (data) dict = JSONDictionary(std::string_view(reinterpret_cast<const char*>(data->data()), data->size()));
  if (dict && !dict->empty()) return dict;

  std::optional<Error> reportedError;
  if (!data) reportedError = uncompressError;
  if (!reportedError || reportedError->code != kConfigFileErrorLengthMismatch) {
    auto suppDir = cc != nullptr ? cc->suppDir() : std::nullopt;
    std::string suppDirAttributes = folderAttributesDescription(suppDir);
    CGIInfoHelper::collectErrorEvent(
        200, makeDictionaryOfVariables("@(configLocalFilePath.fileURL.fileSize), @(data.length), "
                                       "copyError.description, @(didJustCopyIt), uncompressError.description, "
                                       "suppDirAttributes.description",
                                       fileSize(*configLocalFilePath), data ? data->size() : 0, copyError,
                                       didJustCopyIt, reportedError, suppDirAttributes));
  }
  removeItem(*configLocalFilePath);
  return std::nullopt;
}

// The Cocoa file-write code of a failed write.
long cocoaWriteErrorCode(int errorNumber) {
  switch (errorNumber) {
    case ENOSPC:
    case EDQUOT:
      return 640;
    case EACCES:
    case EPERM:
      return 513;
    case ENOENT:
    case ENOTDIR:
      return 4;
    case EROFS:
      return 642;
    default:
      return 512;
  }
}

Error writeError(int errorNumber, const std::string& path) {
  return Error(kCocoaErrorDomain, cocoaWriteErrorCode(errorNumber),
               Json{{kLocalizedDescriptionKey, makeString("The file \u201c%@\u201d couldn\u2019t be saved: %@.",
                                                          lastPathComponent(path), std::strerror(errorNumber))},
                    {"NSFilePath", path},
                    {"NSUnderlyingError", Json{{"domain", kPOSIXErrorDomain}, {"code", errorNumber}}}});
}

std::string writeFailureMessage(const Error& error) {
  switch (error.code) {
    case 640:
      return localized("Vantor was unable to write its config-file because your boot disk is completely full. Please "
                       "ensure that you have some free space before launching Vantor again.");
    case 513:
      return localized("Vantor was unable to write its config-file because you don't have permission to write to: "
                       "~/Library/Application Support/Vantor/\nPlease ensure working permissions before launching "
                       "Vantor again.");
    case 4:
      return localized("Vantor was unable to write its config-file because the application support folder "
                       "(~/Library/Application Support/Vantor/) seems to have been deleted.\nPlease re-launch Vantor.");
    default:
      return makeString("Vantor was unable to write its config-file to the application support folder "
                        "(~/Library/Application Support/Vantor/) because of an unknown error. Please make sure this "
                        "folder is in working condition before launching Vantor again.\nError: %@",
                        error.localizedDescription());
  }
}

void updateConfigFile(const std::function<void()>& completion, const std::function<void()>& errorBlock) {
  std::optional<Bytes> configData = CGIInfoHelper::downloadConfigFile();
  Error uncompressError;
  std::optional<Bytes> uncompressedConfigData =
      ConfigFile::uncompressConfigFile(configData ? &*configData : nullptr, &uncompressError);
  std::optional<Json> dict;
  if (uncompressedConfigData)
    dict = JSONDictionary(std::string_view(reinterpret_cast<const char*>(uncompressedConfigData->data()),
                                           uncompressedConfigData->size()));
  const Json* mapping = nullptr;
  if (dict) {
    auto it = dict->find("bundleIDMapping");
    if (it != dict->end() && it->is_object()) mapping = &*it;
  }

  // Fewer entries than this means a broken or truncated catalog, never a real one.
  constexpr size_t kMinimumMappingCount = 501;
  if (dict && mapping != nullptr && mapping->size() >= kMinimumMappingCount) {
    auto configLocalFilePath = ConfigFile::configLocalFilePath();
    int errorNumber = ENOENT;
    bool written = configLocalFilePath &&
                   writeContentsAtomically(*configLocalFilePath,
                                           std::string_view(reinterpret_cast<const char*>(configData->data()),
                                                            configData->size()),
                                           &errorNumber);
    if (written) {
      cc->userDefaults().setObject("LastConfigFileUpdate", currentDateDescription());
    } else {
      Error error = writeError(errorNumber, configLocalFilePath.value_or(kConfigFileName));
      cc_log_error("Error: could not write the catalog file: %@", error);
      if (error.code != 640 && error.code != 513 && error.code != 4) {
        auto suppDir = cc->suppDir();
        std::string suppDirAttributes = folderAttributesDescription(suppDir);
        CGIInfoHelper::collectErrorEvent(
            201, makeDictionaryOfVariables("error.description, @(configData.length), @(cc.suppDir.fileExists), "
                                           "suppDirAttributes.description",
                                           error, configData->size(), suppDir && fileExists(*suppDir),
                                           suppDirAttributes));
      }
      std::string message = writeFailureMessage(error);
      dispatch_async_main([message] {
        alert_apptitled(message, localized("OK"));
        platform::exitProcess(1);
      });
    }
    if (completion) dispatch_async_main(completion);
    return;
  }

  if (configData) {
    std::optional<Error> reportedError;
    if (!uncompressedConfigData) reportedError = uncompressError;
    std::string fullConfigFile;
    if (reportedError && reportedError->code == kConfigFileErrorBadMagic) fullConfigFile = base64String(*configData);
    CGIInfoHelper::collectErrorEvent(
        121, makeDictionaryOfVariables("@(configData.length), @(uncompressedConfigData.length), @(dict.count), "
                                       "@(mapping.count), uncompressError.description, fullConfigFile",
                                       configData->size(), uncompressedConfigData ? uncompressedConfigData->size() : 0,
                                       dict ? dict->size() : 0, mapping != nullptr ? mapping->size() : 0,
                                       reportedError, fullConfigFile));
  }
  if (errorBlock) dispatch_async_main(errorBlock);
}

}  // namespace

ConfigFile::ConfigFile() : ConfigFile(loadEngineCatalog()) {}

void ConfigFile::updateConfigFileWithCompletion(std::function<void()> completion, std::function<void()> errorBlock) {
  dispatch_async_back([completion = std::move(completion), errorBlock = std::move(errorBlock)] {
    updateConfigFile(completion, errorBlock);
  });
}

std::optional<std::string> ConfigFile::configLocalFilePath() {
  VANTOR_ASSERT(cc != nullptr);
  auto suppDir = cc->suppDir();
  if (!suppDir) return std::nullopt;
  return stringByAppendingPathComponent(*suppDir, kConfigFileName);
}

ConfigFile::ConfigFile(std::optional<Json> dictionary)
    : document_(detail::CatalogDocument::fromDictionary(std::move(dictionary))) {}

ConfigFile::ConfigFile(std::shared_ptr<const detail::CatalogDocument> document) : document_(std::move(document)) {}

std::optional<ConfigFile> ConfigFile::configFileWithJSONData(Bytes text) {
  auto document = detail::CatalogDocument::parse(std::move(text));
  if (!document) return std::nullopt;
  return ConfigFile(std::move(document));
}

std::optional<Bytes> ConfigFile::uncompressConfigFile(const Bytes* data, Error* error) {
  return uncompressConfigFile(data, error, build::kCatalogVerificationKey);
}

std::optional<Bytes> ConfigFile::uncompressConfigFile(const Bytes* data, Error* error,
                                                      std::string_view verificationKeyHex) {
  VANTOR_ASSERT(error != nullptr);
  if (data == nullptr) {
    *error = decodingError(kConfigFileErrorNoData, makeDictionaryOfVariables("data", nullptr));
    return std::nullopt;
  }
  if (data->size() <= 539) {
    *error = decodingError(kConfigFileErrorTooShort, makeDictionaryOfVariables("@(data.length)", data->size()));
    return std::nullopt;
  }

  std::uint32_t h1 = readLittleEndian32(*data, 0);
  std::uint32_t storedPayloadLength = readLittleEndian32(*data, 4);
  const std::uint8_t* signature = data->data() + kConfigFileSignatureOffset;
  std::uint32_t h2 = readLittleEndian32(*data, 520);
  std::uint32_t h3 = readLittleEndian32(*data, 524);
  if (h1 != kConfigFileMagicH1 || h2 != kConfigFileMagicH2 || h3 != kConfigFileMagicH3) {
    *error = decodingError(kConfigFileErrorBadMagic, makeDictionaryOfVariables("@(h1),@(h2),@(h3)", h1, h2, h3));
    return std::nullopt;
  }

  size_t downloadedPayloadLength = data->size() - kConfigFileOverhead;
  if (static_cast<size_t>(storedPayloadLength) != downloadedPayloadLength) {
    *error = decodingError(kConfigFileErrorLengthMismatch,
                           makeDictionaryOfVariables("@(storedPayloadLength),@(downloadedPayloadLength)",
                                                     storedPayloadLength, downloadedPayloadLength));
    return std::nullopt;
  }

  if (kConfigFileHeaderSize + storedPayloadLength > data->size()) {
    *error = decodingError(kConfigFileErrorNoPayload, makeDictionaryOfVariables("@(storedPayloadLength)", storedPayloadLength));
    return std::nullopt;
  }
  std::string_view payloadCompressed(reinterpret_cast<const char*>(data->data()) + kConfigFileHeaderSize,
                                     storedPayloadLength);

  std::uint32_t h4 = readLittleEndian32(*data, data->size() - 4);
  if (h4 != kConfigFileMagicH4) {
    *error = decodingError(kConfigFileErrorBadTrailer, makeDictionaryOfVariables("@(h4)", h4));
    return std::nullopt;
  }

  std::string signedValue = SHA256(payloadCompressed);
  if (signedValue.size() != 64) {
    *error = decodingError(kConfigFileErrorNoDigest, makeDictionaryOfVariables("payloadCompressed.SHA256", nullptr));
    return std::nullopt;
  }

  std::string keyFailure;
  PKey key = publicKeyFromDER(dataFromHexString(verificationKeyHex), &keyFailure);
  if (!key) {
    *error = decodingError(kConfigFileErrorNoKey, makeDictionaryOfVariables("secCreateError.description", keyFailure));
    return std::nullopt;
  }

  if (!signatureHolds(key.get(), signature, kConfigFileSignatureSize, signedValue)) {
    *error = decodingError(kConfigFileErrorBadSignature);
    return std::nullopt;
  }

  auto uncompressed = lam_uncompressedDataUsingCompression(payloadCompressed, kCompressionLZMA);
  if (!uncompressed) {
    *error = decodingError(kConfigFileErrorDecompression);
    return std::nullopt;
  }
  return uncompressed;
}

const std::optional<Json>& ConfigFile::dictionary() const { return document_->dictionary(); }

bool ConfigFile::readsTextInPlace() const { return document_->isScannedText(); }

bool ConfigFile::hasBundleIDMapping() const { return document_->hasMapping(); }

ConfigFileEntry ConfigFile::entryForBundleIdentifier(std::string_view bundleIdentifier) const {
  VANTOR_ASSERT(document_->hasMapping());
  auto record = document_->record(bundleIdentifier);
  return ConfigFileEntry(record ? std::move(*record) : Json::object());
}

bool ConfigFile::hasEntryForBundleIdentifier(std::string_view bundleIdentifier) const {
  return document_->hasRecord(bundleIdentifier);
}

bool ConfigFile::isBundleIdentifierIgnoredIndirectly(std::string_view bundleIdentifier) const {
  for (const auto& prefix : document_->topLevelStrings("ignoredBundleIDPrefixes"))
    if (!prefix.empty() && hasPrefix(bundleIdentifier, prefix)) return true;
  for (const auto& suffix : document_->topLevelStrings("ignoredBundleIDSuffixes"))
    if (!suffix.empty() && hasSuffix(bundleIdentifier, suffix)) return true;
  for (const auto& part : document_->topLevelStrings("ignoredBundleIDSubstrings"))
    if (!part.empty() && contains(bundleIdentifier, part)) return true;
  for (const auto& part : document_->topLevelStrings("ignoredBundleIDSubstringsCaseInsensitive"))
    if (!part.empty() && containsIgnoringCase(bundleIdentifier, part)) return true;
  return false;
}

std::optional<Json> ConfigFile::homepageForBundleIdentifier(std::string_view bundleIdentifier) {
  auto path = platform::Bundle::main().pathForResource("homepages.json");
  if (!path) return std::nullopt;
  return homepageForBundleIdentifier(bundleIdentifier, *path);
}

std::optional<Json> ConfigFile::homepageForBundleIdentifier(std::string_view bundleIdentifier,
                                                            const std::string& homepagesPath) {
  auto text = contents(homepagesPath);
  if (!text) return std::nullopt;
  auto homepages = JSONDictionary(std::string_view(reinterpret_cast<const char*>(text->data()), text->size()));
  if (!homepages) return std::nullopt;
  auto it = homepages->find(bundleIdentifier);
  if (it == homepages->end()) return std::nullopt;
  return *it;
}

}  // namespace vantor
