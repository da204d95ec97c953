#pragma once
// The product server's certificate is accepted only when its issuer carries an expected
// word: the issuer's common name (the last one when there are several) is lower-cased,
// stripped of everything that is not a lower-case letter, and must then contain the word.
// The word is kept and compared only in its ROT13 form; a name that has letters outside
// ASCII has no ROT13 form and is refused.

#include <optional>
#include <string>
#include <string_view>

struct x509_st;

namespace vantor {

class ServerIssuerCheck {
 public:
  // The last common-name entry of the certificate's issuer, as UTF-8.
  static std::optional<std::string> issuerCommonName(x509_st* certificate);

  // Lower-cased, with every character that is not a lower-case letter deleted.
  static std::string reducedIssuerName(std::string_view commonName);

  // Whether the reduced name contains the word whose ROT13 form is scrambledWord.
  static bool issuerNameCarriesWord(std::string_view commonName, std::string_view scrambledWord);

  // The whole check for a certificate, with the build's expected word.
  static bool acceptsCertificate(x509_st* certificate);
};

}  // namespace vantor
