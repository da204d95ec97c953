#pragma once
// The server side of the catalog file: compresses a catalog text with LZMA, signs the
// payload with a 4096-bit RSA private key and lays the file out as the helper reads it.
// Used by vantor-sign-catalog, the fixture server, the tests and the benchmark.

#include <string>
#include <string_view>

#include "foundation/Bytes.h"
#include "foundation/Expected.h"

namespace vantor::signer {

inline constexpr const char* kSignerErrorDomain = "VantorCatalogSignerErrorDomain";

// The private key that signs when none is named: the repository's demo key.
std::string defaultPrivateKeyPath();

// The catalog file for the text (signed as given, not re-serialized); the key is PEM text
// of a 4096-bit RSA private key.
Expected<Bytes> signCatalog(std::string_view text, std::string_view privateKeyPEM);
// The same with the key read from a PEM file.
Expected<Bytes> signCatalogWithKeyFile(std::string_view text, const std::string& privateKeyPath);

// The 512-byte signature over an already compressed payload: PKCS#1 v1.5 with the SHA-512
// DigestInfo around the 64 hex characters of the payload's SHA-256.
Expected<Bytes> signPayload(std::string_view payload, std::string_view privateKeyPEM);

// Lays out magics, length, signature, payload and trailer; the signature must have 512
// bytes. Tests use it to build files with chosen signatures.
Bytes assembleCatalogFile(const Bytes& payload, const Bytes& signature);

}  // namespace vantor::signer
