#include "TestCertificates.h"

#include <cstdio>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <stdexcept>

namespace opc::test {

namespace {

EVP_PKEY* NewKey() {
  return EVP_EC_gen("P-256");
}

void AddExtension(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx(&context, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  if (!extension) {
    throw std::runtime_error("bad certificate extension");
  }
  X509_add_ext(cert, extension, -1);
  X509_EXTENSION_free(extension);
}

X509* NewCertificate(EVP_PKEY* key, const std::string& name, int serial, long from, long until) {
  X509* cert = X509_new();
  X509_set_version(cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert), serial);
  X509_gmtime_adj(X509_getm_notBefore(cert), from);
  X509_gmtime_adj(X509_getm_notAfter(cert), until);
  X509_set_pubkey(cert, key);
  X509_NAME_add_entry_by_txt(X509_get_subject_name(cert), "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(name.c_str()), -1, -1, 0);
  return cert;
}

template <class Write> void WriteFile(const std::string& path, Write write) {
  FILE* file = std::fopen(path.c_str(), "w");
  if (!file) {
    throw std::runtime_error("cannot write " + path);
  }
  write(file);
  std::fclose(file);
}

} // namespace

TTestAuthority::TTestAuthority(std::string folder) : FFolder(std::move(folder)) {
  auto* key = NewKey();
  auto* cert = NewCertificate(key, "opcxmlda test authority", FSerial++, -3600, 86400);
  X509_set_issuer_name(cert, X509_get_subject_name(cert));
  AddExtension(cert, cert, NID_basic_constraints, "critical,CA:TRUE");
  AddExtension(cert, cert, NID_key_usage, "critical,keyCertSign,cRLSign");
  X509_sign(cert, key, EVP_sha256());
  FKey = key;
  FCert = cert;
  FCaFile = FFolder + "/ca.pem";
  WriteFile(FCaFile, [&](FILE* f) { PEM_write_X509(f, cert); });
}

TTestAuthority::~TTestAuthority() {
  X509_free(static_cast<X509*>(FCert));
  EVP_PKEY_free(static_cast<EVP_PKEY*>(FKey));
}

TTestAuthority::Leaf TTestAuthority::Issue(const std::string& name, const std::string& altName,
                                           long validFrom, long validUntil) {
  auto* caCert = static_cast<X509*>(FCert);
  EVP_PKEY* key = NewKey();
  X509* cert = NewCertificate(key, name, FSerial++, validFrom, validUntil);
  X509_set_issuer_name(cert, X509_get_subject_name(caCert));
  AddExtension(cert, caCert, NID_subject_alt_name, altName.c_str());
  AddExtension(cert, caCert, NID_ext_key_usage, "serverAuth");
  X509_sign(cert, static_cast<EVP_PKEY*>(FKey), EVP_sha256());
  Leaf leaf{FFolder + "/" + name + ".pem", FFolder + "/" + name + ".key"};
  WriteFile(leaf.certificateFile, [&](FILE* f) { PEM_write_X509(f, cert); });
  WriteFile(leaf.keyFile,
            [&](FILE* f) { PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr); });
  X509_free(cert);
  EVP_PKEY_free(key);
  return leaf;
}

} // namespace opc::test
