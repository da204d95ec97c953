#pragma once
// Catalog files for the tests: signed with the demo key (the one the build verifies
// with) or with another 4096-bit key that the build does not know.

#include <string>
#include <string_view>

#include "foundation/Bytes.h"
#include "foundation/FileHelpers.h"
#include "signer/CatalogSigner.h"
#include "vantor/BuildSettings.h"

namespace vantor::testing {

inline std::string readText(const std::string& path) {
  auto text = contentsAsString(path);
  return text ? *text : std::string();
}

inline const std::string& demoPrivateKey() {
  static const std::string pem = readText(signer::defaultPrivateKeyPath());
  return pem;
}

inline const std::string& otherPrivateKey() {
  static const std::string pem =
      readText(std::string(build::kSourceDir) + "/tests/catalog/fixtures/other-4096-private.pem");
  return pem;
}

inline Bytes signedCatalog(std::string_view text, const std::string& privateKeyPEM = demoPrivateKey()) {
  auto file = signer::signCatalog(text, privateKeyPEM);
  return file ? *file : Bytes();
}

inline std::string_view view(const Bytes& bytes) {
  return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

}  // namespace vantor::testing
