#pragma once

#include <string>

namespace opc::test {

// A certificate authority made at test time and server certificates it signs, written as PEM
// files into a folder of the caller's.
class TTestAuthority {
public:
  explicit TTestAuthority(std::string folder);
  ~TTestAuthority();
  TTestAuthority(const TTestAuthority&) = delete;
  TTestAuthority& operator=(const TTestAuthority&) = delete;

  const std::string& CertificateFile() const { return FCaFile; }

  struct Leaf {
    std::string certificateFile;
    std::string keyFile;
  };
  // subjectAltName such as "IP:127.0.0.1" or "DNS:other.example"; validity in seconds from now.
  Leaf Issue(const std::string& name, const std::string& altName, long validFrom, long validUntil);

private:
  std::string FFolder;
  std::string FCaFile;
  void* FKey = nullptr;  // EVP_PKEY
  void* FCert = nullptr; // X509
  int FSerial = 1;
};

} // namespace opc::test
