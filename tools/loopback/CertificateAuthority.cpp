#include "loopback/CertificateAuthority.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <memory>
#include <stdexcept>

namespace vantor::loopback {

namespace {

struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertificateFree {
  void operator()(X509* certificate) const { X509_free(certificate); }
};
struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
using KeyPointer = std::unique_ptr<EVP_PKEY, KeyFree>;
using CertificatePointer = std::unique_ptr<X509, CertificateFree>;

void require(bool condition, const char* what) {
  if (!condition) throw std::runtime_error(std::string("loopback certificates: ") + what);
}

KeyPointer newKey() {
  KeyPointer key(EVP_EC_gen("P-256"));
  require(key != nullptr, "key generation failed");
  return key;
}

void addExtension(X509* certificate, X509V3_CTX* context, int nid, const std::string& value) {
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, context, nid, value.c_str());
  require(extension != nullptr, "bad extension");
  X509_add_ext(certificate, extension, -1);
  X509_EXTENSION_free(extension);
}

CertificatePointer newCertificate(EVP_PKEY* subjectKey, const std::string& commonName) {
  CertificatePointer certificate(X509_new());
  require(certificate != nullptr, "X509_new failed");
  X509_set_version(certificate.get(), 2);
  unsigned char serial[16];
  require(RAND_bytes(serial, sizeof serial) == 1, "no random serial");
  serial[0] &= 0x7F;
  BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
  BN_to_ASN1_INTEGER(number, X509_get_serialNumber(certificate.get()));
  BN_free(number);
  X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 30L * 24 * 3600);
  X509_set_pubkey(certificate.get(), subjectKey);
  X509_NAME* name = X509_get_subject_name(certificate.get());
  X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>("Loopback servers"), -1,
                             -1, 0);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(commonName.c_str()),
                             -1, -1, 0);
  return certificate;
}

std::string certificateToPEM(X509* certificate) {
  std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
  require(PEM_write_bio_X509(bio.get(), certificate) == 1, "PEM write failed");
  char* data = nullptr;
  long length = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<size_t>(length));
}

std::string keyToPEM(EVP_PKEY* key) {
  std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
  require(PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1, "PEM write failed");
  char* data = nullptr;
  long length = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<size_t>(length));
}

}  // namespace

struct CertificateAuthority::Keys {
  KeyPointer key;
  CertificatePointer certificate;
};

CertificateAuthority::CertificateAuthority(const std::string& commonName)
    : keys_(new Keys), commonName_(commonName) {
  keys_->key = newKey();
  keys_->certificate = newCertificate(keys_->key.get(), commonName);
  X509* certificate = keys_->certificate.get();
  X509_set_issuer_name(certificate, X509_get_subject_name(certificate));
  X509V3_CTX context;
  X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
  addExtension(certificate, &context, NID_basic_constraints, "critical,CA:TRUE");
  addExtension(certificate, &context, NID_key_usage, "critical,keyCertSign,cRLSign");
  addExtension(certificate, &context, NID_subject_key_identifier, "hash");
  require(X509_sign(certificate, keys_->key.get(), EVP_sha256()) > 0, "signing the authority failed");
  certificatePEM_ = certificateToPEM(certificate);
}

CertificateAuthority::~CertificateAuthority() { delete keys_; }

ServerIdentity CertificateAuthority::issueServerIdentity(const std::vector<std::string>& dnsNames,
                                                                 const std::vector<std::string>& ipAddresses) const {
  KeyPointer key = newKey();
  std::string subjectName = dnsNames.empty() ? std::string("loopback server") : dnsNames.front();
  CertificatePointer certificate = newCertificate(key.get(), subjectName);
  X509_set_issuer_name(certificate.get(), X509_get_subject_name(keys_->certificate.get()));
  X509V3_CTX context;
  X509V3_set_ctx(&context, keys_->certificate.get(), certificate.get(), nullptr, nullptr, 0);
  addExtension(certificate.get(), &context, NID_basic_constraints, "critical,CA:FALSE");
  addExtension(certificate.get(), &context, NID_key_usage, "critical,digitalSignature,keyEncipherment");
  addExtension(certificate.get(), &context, NID_ext_key_usage, "serverAuth");
  addExtension(certificate.get(), &context, NID_authority_key_identifier, "keyid:always");
  std::string alternativeNames;
  for (const auto& name : dnsNames) alternativeNames += (alternativeNames.empty() ? "DNS:" : ",DNS:") + name;
  for (const auto& address : ipAddresses) alternativeNames += (alternativeNames.empty() ? "IP:" : ",IP:") + address;
  if (!alternativeNames.empty()) addExtension(certificate.get(), &context, NID_subject_alt_name, alternativeNames);
  require(X509_sign(certificate.get(), keys_->key.get(), EVP_sha256()) > 0, "signing the server failed");
  return ServerIdentity{certificateToPEM(certificate.get()), keyToPEM(key.get())};
}

std::string CertificateAuthority::writeCertificateFile(const std::string& directory) const {
  std::string fileName = commonName_;
  for (char& c : fileName)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '-';
  std::string path = directory + "/" + fileName + ".pem";
  writeCertificateFileAt(path);
  return path;
}

void CertificateAuthority::writeCertificateFileAt(const std::string& path) const {
  std::string temporary = path + ".partial";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file << certificatePEM_;
    file.close();
    require(static_cast<bool>(file), "writing the authority file failed");
  }
  require(std::rename(temporary.c_str(), path.c_str()) == 0, "writing the authority file failed");
}

bool parseServerIdentity(const ServerIdentity& identity, X509** certificate, EVP_PKEY** key) {
  BIO* certificateBio = BIO_new_mem_buf(identity.certificatePEM.data(), static_cast<int>(identity.certificatePEM.size()));
  BIO* keyBio = BIO_new_mem_buf(identity.privateKeyPEM.data(), static_cast<int>(identity.privateKeyPEM.size()));
  *certificate = PEM_read_bio_X509(certificateBio, nullptr, nullptr, nullptr);
  *key = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
  BIO_free(certificateBio);
  BIO_free(keyBio);
  if (*certificate != nullptr && *key != nullptr) return true;
  X509_free(*certificate);
  EVP_PKEY_free(*key);
  *certificate = nullptr;
  *key = nullptr;
  return false;
}

}  // namespace vantor::loopback
