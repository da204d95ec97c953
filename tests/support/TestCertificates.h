#pragma once
// Certificates made at test time for loopback HTTPS servers: a certificate authority
// whose common name a test chooses (one that carries the product server's issuer word,
// one that does not), and server certificates it signs for localhost, 127.0.0.1 and ::1.
// Keys are P-256, so making them costs next to nothing.
//
//   TestCertificateAuthority authority("Vantor Test CA");
//   auto server = LoopbackServer::startHTTPS(authority.issueServerIdentity());
//   ScopedEnvironmentVariable trust("VANTOR_CA_BUNDLE", authority.writeCertificateFile(dir));

#include <string>
#include <vector>

namespace vantor::test {

// A server's certificate and private key, both PEM.
struct TestServerIdentity {
  std::string certificatePEM;
  std::string privateKeyPEM;
};

class TestCertificateAuthority {
 public:
  explicit TestCertificateAuthority(const std::string& commonName);
  ~TestCertificateAuthority();
  TestCertificateAuthority(const TestCertificateAuthority&) = delete;
  TestCertificateAuthority& operator=(const TestCertificateAuthority&) = delete;

  // A certificate signed by this authority; its issuer common name is the authority's.
  TestServerIdentity issueServerIdentity(const std::vector<std::string>& dnsNames = {"localhost"},
                                         const std::vector<std::string>& ipAddresses = {"127.0.0.1", "::1"}) const;

  const std::string& certificatePEM() const { return certificatePEM_; }
  // Writes the authority's certificate as a PEM file in directory and returns its path.
  std::string writeCertificateFile(const std::string& directory) const;

 private:
  struct Keys;
  Keys* keys_;
  std::string commonName_;
  std::string certificatePEM_;
};

}  // namespace vantor::test
