#include "download/ServerIssuerCheck.h"

#include <gtest/gtest.h>
#include <openssl/x509.h>

#include "foundation/StringHelpers.h"

namespace vantor {
namespace {

TEST(ServerIssuerCheckTest, ReducesTheNameToLowerCaseLettersAndComparesInROT13) {
  const std::string scrambled = rot13("vantor").value();
  struct Case {
    const char* commonName;
    const char* reduced;
    bool accepted;
  };
  const Case cases[] = {
      {"Vantor Root CA 2", "vantorrootca", true},
      {"VAN-TOR Issuing 1", "vantorissuing", true},
      {"My Vantor", "myvantor", true},
      {"Van tor", "vantor", true},
      {"Vanitor", "vanitor", false},
      {"", "", false},
      // Latin letters outside ASCII stay and leave the name without a ROT13 form.
      {"Vantor Zürich", "vantorzürich", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.commonName);
    EXPECT_EQ(ServerIssuerCheck::reducedIssuerName(c.commonName), c.reduced);
    EXPECT_EQ(ServerIssuerCheck::issuerNameCarriesWord(c.commonName, scrambled), c.accepted);
  }
}

TEST(ServerIssuerCheckTest, TakesTheLastCommonNameOfTheIssuer) {
  X509* certificate = X509_new();
  X509_NAME* issuer = X509_NAME_new();
  auto add = [&](const char* field, const char* value) {
    X509_NAME_add_entry_by_txt(issuer, field, MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(value), -1, -1, 0);
  };
  add("CN", "Vantor Root");
  add("O", "Example");
  add("CN", "Other Intermediate");
  X509_set_issuer_name(certificate, issuer);

  EXPECT_EQ(ServerIssuerCheck::issuerCommonName(certificate), "Other Intermediate");
  EXPECT_FALSE(ServerIssuerCheck::acceptsCertificate(certificate));

  X509_NAME_free(issuer);
  X509_free(certificate);
}

}  // namespace
}  // namespace vantor
