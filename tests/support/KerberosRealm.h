#pragma once

#include "ServerProcess.h"

#include <memory>
#include <string>

namespace opc::test {

// An MIT Kerberos realm made at test time: a KDC on a free port of 127.0.0.1 with its database
// in a temporary folder, a user principal and HTTP/localhost, whose key goes into a keytab for
// the web server. Client programs find it through KRB5_CONFIG (Environment()).
class TKerberosRealm {
public:
  static constexpr const char* kRealm = "PLANT.TEST";
  static constexpr const char* kUser = "alice";
  static constexpr const char* kPassword = "wonderland";

  // Empty when the KDC's programs are missing (Missing() says which) or the realm did not start.
  static std::unique_ptr<TKerberosRealm> Start();
  static std::string Missing();

  // KRB5_CONFIG and KRB5_KDC_PROFILE for programs and libraries that use the realm.
  TEnvironment Environment() const;
  const std::string& Keytab() const { return FKeytab; }
  // A ticket for the user in the given credential cache ("FILE:/path"), as kinit gets it.
  bool GetTicket(const std::string& cache) const;
  std::string Path(const std::string& name) const { return FFolder / name; }

  TKerberosRealm(const TKerberosRealm&) = delete;
  TKerberosRealm& operator=(const TKerberosRealm&) = delete;
  ~TKerberosRealm();

private:
  TKerberosRealm() : FFolder("opcxmlda-krb5") {}
  bool Admin(const std::string& query) const;
  TTempFolder FFolder;
  std::string FKeytab;
  std::unique_ptr<TServerProcess> FKdc;
};

} // namespace opc::test
