#include "download/ServerIssuerCheck.h"

#include <openssl/crypto.h>
#include <openssl/x509.h>

#include "foundation/StringHelpers.h"
#include "vantor/BuildSettings.h"

namespace vantor {

namespace {

// Letters of ASCII and Latin-1; other scripts have no case mapping here, which only
// matters for names that are refused anyway (they have no ROT13 form).
char32_t lowercasedCharacter(char32_t c) {
  if (c >= U'A' && c <= U'Z') return c + 0x20;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
  return c;
}

bool isLowercaseLetter(char32_t c) {
  if (c >= U'a' && c <= U'z') return true;
  return c == 0xB5 || (c >= 0xDF && c <= 0xFF && c != 0xF7);
}

}  // namespace

std::optional<std::string> ServerIssuerCheck::issuerCommonName(x509_st* certificate) {
  if (certificate == nullptr) return std::nullopt;
  X509_NAME* issuer = X509_get_issuer_name(certificate);
  if (issuer == nullptr) return std::nullopt;
  int last = -1;
  for (int index = X509_NAME_get_index_by_NID(issuer, NID_commonName, -1); index >= 0;
       index = X509_NAME_get_index_by_NID(issuer, NID_commonName, index))
    last = index;
  if (last < 0) return std::nullopt;
  ASN1_STRING* value = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(issuer, last));
  unsigned char* utf8 = nullptr;
  int length = ASN1_STRING_to_UTF8(&utf8, value);
  if (length < 0) return std::nullopt;
  std::string name(reinterpret_cast<const char*>(utf8), static_cast<size_t>(length));
  OPENSSL_free(utf8);
  return name;
}

std::string ServerIssuerCheck::reducedIssuerName(std::string_view commonName) {
  std::u32string reduced;
  for (char32_t c : toCodePoints(commonName)) {
    c = lowercasedCharacter(c);
    if (isLowercaseLetter(c)) reduced.push_back(c);
  }
  return fromCodePoints(reduced);
}

bool ServerIssuerCheck::issuerNameCarriesWord(std::string_view commonName, std::string_view scrambledWord) {
  std::optional<std::string> scrambledName = rot13(reducedIssuerName(commonName));
  return scrambledName && contains(*scrambledName, scrambledWord);
}

bool ServerIssuerCheck::acceptsCertificate(x509_st* certificate) {
  std::optional<std::string> name = issuerCommonName(certificate);
  return name && issuerNameCarriesWord(*name, build::kServerIssuerWord);
}

}  // namespace vantor
