#pragma once
// A test certificate authority that this process trusts (through VANTOR_CA_BUNDLE) for
// as long as the object lives: servers it issues identities for pass the chain check.
//
//   static inline TrustedCertificateAuthority* trusted;   // made in SetUpTestSuite
//   auto server = LoopbackServer::startHTTPS(trusted->issueServerIdentity());

#include <string>

#include "support/ScopedEnvironmentVariable.h"
#include "support/TestCertificates.h"
#include "support/TestSupport.h"

namespace vantor::test {

class TrustedCertificateAuthority {
 public:
  explicit TrustedCertificateAuthority(const std::string& commonName)
      : authority_(commonName), trust_("VANTOR_CA_BUNDLE", authority_.writeCertificateFile(folder_.path())) {}

  TestServerIdentity issueServerIdentity() const { return authority_.issueServerIdentity(); }

 private:
  TempFolder folder_;
  TestCertificateAuthority authority_;
  ScopedEnvironmentVariable trust_;
};

}  // namespace vantor::test
