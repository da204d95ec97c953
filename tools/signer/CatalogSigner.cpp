#include "signer/CatalogSigner.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <memory>

#include "foundation/Compression.h"
#include "foundation/FileHelpers.h"
#include "foundation/Format.h"
#include "foundation/StringHelpers.h"
#include "vantor/BuildSettings.h"

namespace vantor::signer {

namespace {

constexpr size_t kSignatureSize = 512;

Error signerError(long code, const std::string& message) {
  return Error(kSignerErrorDomain, code, {{kLocalizedDescriptionKey, message}});
}

std::string openSSLReason() {
  unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return "";
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return makeString(" (%@)", text);
}

void appendLittleEndian32(Bytes& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

struct PKeyDeleter {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct PKeyContextDeleter {
  void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};
struct BioDeleter {
  void operator()(BIO* bio) const { BIO_free(bio); }
};

}  // namespace

std::string defaultPrivateKeyPath() { return build::kCatalogSigningKeyPath; }

Expected<Bytes> signPayload(std::string_view payload, std::string_view privateKeyPEM) {
  std::unique_ptr<BIO, BioDeleter> bio(BIO_new_mem_buf(privateKeyPEM.data(), static_cast<int>(privateKeyPEM.size())));
  std::unique_ptr<EVP_PKEY, PKeyDeleter> key(
      bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
  if (!key) return signerError(2, "the key is not a PEM private key" + openSSLReason());
  if (EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_RSA || EVP_PKEY_get_bits(key.get()) != 4096)
    return signerError(2, makeString("the key is not a 4096-bit RSA private key (it has %i bits)",
                                     EVP_PKEY_get_bits(key.get())));

  // The hex text stands where a SHA-512 digest would; it has the same 64-byte length.
  std::string signedValue = SHA256(payload);
  std::unique_ptr<EVP_PKEY_CTX, PKeyContextDeleter> context(EVP_PKEY_CTX_new(key.get(), nullptr));
  size_t length = kSignatureSize;
  Bytes signature(kSignatureSize);
  if (!context || EVP_PKEY_sign_init(context.get()) <= 0 ||
      EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) <= 0 ||
      EVP_PKEY_CTX_set_signature_md(context.get(), EVP_sha512()) <= 0 ||
      EVP_PKEY_sign(context.get(), signature.data(), &length,
                    reinterpret_cast<const unsigned char*>(signedValue.data()), signedValue.size()) <= 0 ||
      length != kSignatureSize)
    return signerError(3, "signing failed" + openSSLReason());
  return signature;
}

Bytes assembleCatalogFile(const Bytes& payload, const Bytes& signature) {
  Bytes file;
  file.reserve(payload.size() + 532);
  appendLittleEndian32(file, 0xDEAFBABE);
  appendLittleEndian32(file, static_cast<std::uint32_t>(payload.size()));
  file.insert(file.end(), signature.begin(), signature.end());
  file.resize(8 + kSignatureSize);
  appendLittleEndian32(file, 0xBEEFCAFE);
  appendLittleEndian32(file, 0xB00BB00B);
  file.insert(file.end(), payload.begin(), payload.end());
  appendLittleEndian32(file, 0xDEADC0DE);
  return file;
}

Expected<Bytes> signCatalog(std::string_view text, std::string_view privateKeyPEM) {
  if (text.empty()) return signerError(1, "the catalog text is empty");
  auto payload = lam_compressedDataUsingCompression(text, kCompressionLZMA);
  if (!payload) return signerError(4, "the catalog text could not be compressed (more than 40 MB?)");
  if (payload->size() > 0xFFFFFFFFu - 532) return signerError(4, "the compressed catalog is too large");
  auto signature = signPayload(std::string_view(reinterpret_cast<const char*>(payload->data()), payload->size()),
                               privateKeyPEM);
  if (!signature) return signature.error();
  return assembleCatalogFile(*payload, *signature);
}

Expected<Bytes> signCatalogWithKeyFile(std::string_view text, const std::string& privateKeyPath) {
  auto pem = contents(privateKeyPath);
  if (!pem) return signerError(2, makeString("cannot read the key file %@", privateKeyPath));
  return signCatalog(text, std::string_view(reinterpret_cast<const char*>(pem->data()), pem->size()));
}

}  // namespace vantor::signer
