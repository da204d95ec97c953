#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/bio.h>

#include <functional>
#include <random>

#include "CatalogTestSupport.h"
#include "catalog/ConfigFile.h"
#include "foundation/Compression.h"
#include "foundation/StringHelpers.h"

namespace vantor {
namespace {

using testing::demoPrivateKey;
using testing::otherPrivateKey;
using testing::signedCatalog;
using testing::view;

const std::string kCatalogText = R"({"bundleIDMapping":{"com.example.App":{"cn":"example-app"}}})";

void putLittleEndian32(Bytes& data, size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) data[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

Bytes payloadOf(const Bytes& file) { return Bytes(file.begin() + 528, file.end() - 4); }

// A signature made the usual way: the digest is computed by the signer, not handed in.
Bytes conventionalSignature(std::string_view message, const EVP_MD* digest) {
  const std::string& pem = demoPrivateKey();
  BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
  EVP_PKEY* key = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
  BIO_free(bio);
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  Bytes signature(512);
  size_t length = signature.size();
  bool ok = EVP_DigestSignInit(context, nullptr, digest, nullptr, key) == 1 &&
            EVP_DigestSign(context, signature.data(), &length,
                           reinterpret_cast<const unsigned char*>(message.data()), message.size()) == 1;
  EVP_MD_CTX_free(context);
  EVP_PKEY_free(key);
  EXPECT_TRUE(ok);
  return signature;
}

// The demo-signed file for a payload that is not the compression of a catalog.
Bytes fileWithSignedPayload(const Bytes& payload) {
  auto signature = signer::signPayload(view(payload), demoPrivateKey());
  EXPECT_TRUE(signature.has_value());
  return signer::assembleCatalogFile(payload, *signature);
}

struct DecodingCase {
  const char* name;
  std::function<Bytes()> file;
  long code;          // 0: decodes to kCatalogText
  Json userInfo;      // checked when not null
};

void PrintTo(const DecodingCase& c, std::ostream* out) { *out << c.name; }

class ConfigFileDecodingTest : public ::testing::TestWithParam<DecodingCase> {};

TEST_P(ConfigFileDecodingTest, GivesTheFirstFailingCheck) {
  const DecodingCase& c = GetParam();
  Bytes file = c.file();
  Error error;
  auto result = ConfigFile::uncompressConfigFile(&file, &error);
  if (c.code == 0) {
    ASSERT_TRUE(result.has_value()) << error.description();
    EXPECT_EQ(view(*result), kCatalogText);
    return;
  }
  EXPECT_FALSE(result.has_value());
  EXPECT_EQ(error.domain, kCocoaErrorDomain);
  EXPECT_EQ(error.code, c.code);
  if (!c.userInfo.is_null()) {
    EXPECT_EQ(error.userInfo, c.userInfo);
  }
}

const DecodingCase kDecodingCases[] = {
    {"Valid", [] { return signedCatalog(kCatalogText); }, 0, nullptr},
    {"Empty", [] { return Bytes(); }, 2, {{"@(data.length)", 0}}},
    {"Length539", [] { return Bytes(539, 0); }, 2, {{"@(data.length)", 539}}},
    {"Length540UnsignedPassesLayoutChecks",
     [] {
       Bytes file(540, 0);
       putLittleEndian32(file, 0, 0xDEAFBABE);
       putLittleEndian32(file, 4, 8);
       putLittleEndian32(file, 520, 0xBEEFCAFE);
       putLittleEndian32(file, 524, 0xB00BB00B);
       putLittleEndian32(file, 536, 0xDEADC0DE);
       return file;
     },
     9, Json::object()},
    {"BigEndianH1",
     [] {
       Bytes file = signedCatalog(kCatalogText);
       file[0] = 0xDE, file[1] = 0xAF, file[2] = 0xBA, file[3] = 0xBE;
       return file;
     },
     3, {{"@(h1)", 0xBEBAAFDEu}, {"@(h2)", 0xBEEFCAFEu}, {"@(h3)", 0xB00BB00Bu}}},
    {"WrongH2",
     [] {
       Bytes file = signedCatalog(kCatalogText);
       putLittleEndian32(file, 520, 0xBEEFCAFF);
       return file;
     },
     3, {{"@(h1)", 0xDEAFBABEu}, {"@(h2)", 0xBEEFCAFFu}, {"@(h3)", 0xB00BB00Bu}}},
    {"H3WithLetterO",
     [] {
       Bytes file = signedCatalog(kCatalogText);
       putLittleEndian32(file, 524, 0xB00BB0BB);
       return file;
     },
     3, nullptr},
    {"OneByteAppendedIsALengthError",
     [] {
       Bytes file = signedCatalog(kCatalogText);
       file.push_back(0);
       return file;
     },
     4,
     [] {
       Bytes file = signedCatalog(kCatalogText);
       auto n = file.size() - 532;
       return Json{{"@(storedPayloadLength)", n}, {"@(downloadedPayloadLength)", n + 1}};
     }()},
    {"TruncatedByOneByte",
     [] {
       Bytes file = signedCatalog(kCatalogText);
       file.pop_back();
       return file;
     },
     4, nullptr},
    {"WrongH4",
     [] {
       Bytes file = signedCatalog(kCatalogText);
       putLittleEndian32(file, file.size() - 4, 0xDEADC0DF);
       return file;
     },
     6, {{"@(h4)", 0xDEADC0DFu}}},
    {"SignedWithAnotherKey", [] { return signedCatalog(kCatalogText, otherPrivateKey()); }, 9, Json::object()},
    {"SignatureOverTheRawDigest",
     [] {
       Bytes file = signedCatalog(kCatalogText);
       Bytes payload = payloadOf(file);
       return signer::assembleCatalogFile(payload, conventionalSignature(view(payload), EVP_sha256()));
     },
     9, nullptr},
    {"SignatureOverTheHashOfTheHexText",
     [] {
       Bytes file = signedCatalog(kCatalogText);
       Bytes payload = payloadOf(file);
       return signer::assembleCatalogFile(payload, conventionalSignature(SHA256(view(payload)), EVP_sha512()));
     },
     9, nullptr},
    {"PayloadByteChangedAfterSigningFailsBeforeDecompression",
     [] {
       // The change also breaks the xz stream, so decompressing first would say 10.
       Bytes file = signedCatalog(kCatalogText);
       file[528] ^= 0xFF;
       return file;
     },
     9, nullptr},
    {"SignatureByteChanged",
     [] {
       Bytes file = signedCatalog(kCatalogText);
       file[300] ^= 0x01;
       return file;
     },
     9, nullptr},
    {"SignedPayloadThatIsNotLZMA", [] { return fileWithSignedPayload(toBytes("plain text, not compressed")); }, 10,
     Json::object()},
    {"SignedTruncatedLZMAStream",
     [] {
       Bytes payload = *lam_compressedDataUsingCompression(kCatalogText, kCompressionLZMA);
       payload.resize(payload.size() - 10);
       return fileWithSignedPayload(payload);
     },
     10, nullptr},
};

INSTANTIATE_TEST_SUITE_P(Cases, ConfigFileDecodingTest, ::testing::ValuesIn(kDecodingCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ConfigFileDecodingErrorsTest, NoDataGivesCode1) {
  Error error;
  EXPECT_FALSE(ConfigFile::uncompressConfigFile(nullptr, &error));
  EXPECT_EQ(error.code, 1);
  EXPECT_EQ(error.userInfo, (Json{{"data", "(null)"}}));
}

TEST(ConfigFileDecodingErrorsTest, UnusableVerificationKeyGivesCode8) {
  const char* const kKeys[] = {
      "",                 // nothing
      "3082022230",       // a DER prefix only
      // an EC public key: a real key, but not RSA
      "3059301306072a8648ce3d020106082a8648ce3d03010703420004e7a1c4830eb1baaf449ab5aca85227f26e377326b3f17f47fce99"
      "5fdb4725b6321e8e17b737e6f12a94e15e4cb8ace904815ee209785808ba941184eb05cde32",
  };
  Bytes file = signedCatalog(kCatalogText);
  for (const char* key : kKeys) {
    Error error;
    EXPECT_FALSE(ConfigFile::uncompressConfigFile(&file, &error, key));
    EXPECT_EQ(error.code, 8) << key;
    ASSERT_TRUE(error.userInfo.contains("secCreateError.description"));
    EXPECT_NE(error.userInfo["secCreateError.description"], "(null)");
  }
}

TEST(ConfigFileDecodingErrorsTest, CompiledKeyIsTheDerFormOfA4096BitKey) {
  EXPECT_EQ(std::string_view(build::kCatalogVerificationKey).size(), 1100u);
}

TEST(ConfigFileDecodingDeathTest, MissingErrorOutParameterIsAProgrammingError) {
  Bytes file = signedCatalog(kCatalogText);
  EXPECT_DEATH((void)ConfigFile::uncompressConfigFile(&file, nullptr), "error != nullptr");
}

// Damaged files never crash or hang the decoder and always name a check.
TEST(ConfigFileDecodingRobustnessTest, EveryPrefixAndRandomDamageGivesAnErrorCode) {
  Bytes valid = signedCatalog(kCatalogText);
  for (size_t length = 0; length < valid.size(); ++length) {
    Bytes prefix(valid.begin(), valid.begin() + static_cast<long>(length));
    Error error;
    EXPECT_FALSE(ConfigFile::uncompressConfigFile(&prefix, &error));
    EXPECT_GE(error.code, 2);
    EXPECT_LE(error.code, 9);
  }
  std::mt19937 random(7);
  for (int round = 0; round < 300; ++round) {
    Bytes damaged = valid;
    int flips = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < flips; ++i) damaged[random() % damaged.size()] ^= static_cast<std::uint8_t>(1 + random() % 255);
    Error error;
    auto result = ConfigFile::uncompressConfigFile(&damaged, &error);
    if (result) continue;  // two flips of one byte can cancel out
    EXPECT_GE(error.code, 3);
    EXPECT_LE(error.code, 9);
  }
}

}  // namespace
}  // namespace vantor
