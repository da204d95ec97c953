#pragma once
// Certificates made on the spot for loopback HTTPS servers (tests and the fixture server):
// a certificate authority with a chosen common name (one that carries the product
// server's issuer word, or one that does not), and server certificates it signs for
// localhost, 127.0.0.1 and ::1. Keys are P-256, so making them costs next to nothing.
//
//   CertificateAuthority authority("Vantor Test CA");
//   ServerIdentity identity = authority.issueServerIdentity();
//   authority.writeCertificateFile(dir);   // for VANTOR_CA_BUNDLE
//
// Failures (OpenSSL refusing, an unwritable file) throw std::runtime_error: the callers
// are tests and a test server, which stop on them.

#include <openssl/types.h>

#include <string>
#include <vector>

namespace vantor::loopback {

// A server's certificate and private key, both PEM.
struct ServerIdentity {
  std::string certificatePEM;
  std::string privateKeyPEM;
};

// The identity as the OpenSSL objects a server takes; the caller frees both (X509_free,
// EVP_PKEY_free). False, with nothing to free, when either does not parse.
bool parseServerIdentity(const ServerIdentity& identity, X509** certificate, EVP_PKEY** key);

class CertificateAuthority {
 public:
  explicit CertificateAuthority(const std::string& commonName);
  ~CertificateAuthority();
  CertificateAuthority(const CertificateAuthority&) = delete;
  CertificateAuthority& operator=(const CertificateAuthority&) = delete;

  // A certificate signed by this authority; its issuer common name is the authority's.
  ServerIdentity issueServerIdentity(const std::vector<std::string>& dnsNames = {"localhost"},
                                     const std::vector<std::string>& ipAddresses = {"127.0.0.1", "::1"}) const;

  const std::string& commonName() const { return commonName_; }
  const std::string& certificatePEM() const { return certificatePEM_; }
  // Writes the authority's certificate as a PEM file in directory (named after the common
  // name) and returns its path.
  std::string writeCertificateFile(const std::string& directory) const;
  // Writes the certificate to exactly this path, through a temporary file and a rename.
  void writeCertificateFileAt(const std::string& path) const;

 private:
  struct Keys;
  Keys* keys_;
  std::string commonName_;
  std::string certificatePEM_;
};

}  // namespace vantor::loopback
