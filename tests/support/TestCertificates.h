#pragma once
// The loopback certificate authority under the names the tests use.
//
//   TestCertificateAuthority authority("Vantor Test CA");
//   auto server = LoopbackServer::startHTTPS(authority.issueServerIdentity());
//   ScopedEnvironmentVariable trust("VANTOR_CA_BUNDLE", authority.writeCertificateFile(dir));

#include "loopback/CertificateAuthority.h"

namespace vantor::test {

using TestServerIdentity = loopback::ServerIdentity;
using TestCertificateAuthority = loopback::CertificateAuthority;

}  // namespace vantor::test
