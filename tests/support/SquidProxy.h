#pragma once

#include "ServerProcess.h"

#include <memory>
#include <string>

namespace opc::test {

// Debian's squid as a proxy on a free port of 127.0.0.1, with its files in a temporary folder:
// Basic authentication against a password file (basic_ncsa_auth), or NTLM through squid's test
// helper (ntlm_fake_auth, which takes any user), or Negotiate (Kerberos) against a keytab
// (negotiate_kerberos_auth). Nothing is cached.
class TSquidProxy {
public:
  enum class Auth { Basic, Ntlm, Negotiate };
  // Empty when squid or its helper is not installed; the reason is in Missing().
  static std::unique_ptr<TSquidProxy> Start(Auth auth, const std::string& user = "user",
                                            const std::string& password = "secret",
                                            const std::string& realm = "plant");
  // Negotiate with the keys of a keytab; kerberos is the environment that finds the realm.
  static std::unique_ptr<TSquidProxy> StartNegotiate(const std::string& keytab,
                                                     const TEnvironment& kerberos);
  static std::string Missing(Auth auth);

  int Port() const { return FPort; }
  std::string Address() const { return "127.0.0.1:" + std::to_string(FPort); }
  // The access log: one line per request squid handled.
  std::string AccessLog() const;
  std::string CacheLog() const;

  TSquidProxy(const TSquidProxy&) = delete;
  TSquidProxy& operator=(const TSquidProxy&) = delete;
  ~TSquidProxy();

private:
  TSquidProxy() : FFolder("opcxmlda-squid") {}
  static std::unique_ptr<TSquidProxy> Run(Auth auth, const std::string& user,
                                          const std::string& password, const std::string& realm,
                                          const std::string& keytab, TEnvironment environment);
  TTempFolder FFolder;
  int FPort = 0;
  std::unique_ptr<TServerProcess> FProcess;
};

} // namespace opc::test
