#include "KerberosRealm.h"

namespace opc::test {

std::string TKerberosRealm::Missing() {
  for (const char* program : {"krb5kdc", "kdb5_util", "kadmin.local", "kinit"}) {
    if (FindProgram(program).empty()) {
      return std::string(program) +
             " is not installed (scripts/install-deps installs krb5-kdc, krb5-admin-server and "
             "krb5-user)";
    }
  }
  return {};
}

TEnvironment TKerberosRealm::Environment() const {
  return {{"KRB5_CONFIG", FFolder / "krb5.conf"}, {"KRB5_KDC_PROFILE", FFolder / "kdc.conf"}};
}

bool TKerberosRealm::Admin(const std::string& query) const {
  return RunProgram({FindProgram("kadmin.local"), "-r", kRealm, "-q", query}, Environment(), {},
                    FFolder / "kadmin.log") == 0;
}

std::unique_ptr<TKerberosRealm> TKerberosRealm::Start() {
  if (!Missing().empty()) {
    return nullptr;
  }
  std::unique_ptr<TKerberosRealm> realm(new TKerberosRealm);
  const TTempFolder& folder = realm->FFolder;
  const std::string port = std::to_string(FreePort());
  // No DNS, no reverse lookups: "localhost" is the service's host name as written.
  WriteTextFile(folder / "krb5.conf", std::string("[libdefaults]\n"
                                                  "  default_realm = ") +
                                          kRealm +
                                          "\n"
                                          "  dns_lookup_realm = false\n"
                                          "  dns_lookup_kdc = false\n"
                                          "  dns_canonicalize_hostname = false\n"
                                          "  rdns = false\n"
                                          "  udp_preference_limit = 1\n"
                                          "[realms]\n  " +
                                          kRealm + " = {\n    kdc = 127.0.0.1:" + port +
                                          "\n  }\n"
                                          "[domain_realm]\n  localhost = " +
                                          kRealm + "\n");
  WriteTextFile(folder / "kdc.conf",
                "[kdcdefaults]\n  kdc_ports = " + port + "\n  kdc_tcp_ports = " + port +
                    "\n[realms]\n  " + kRealm + " = {\n    database_name = " +
                    (folder / "principal") + "\n    key_stash_file = " + (folder / "stash") +
                    "\n    acl_file = " + (folder / "kadm5.acl") +
                    "\n  }\n[logging]\n  kdc = FILE:" + (folder / "kdc.log") + "\n");
  WriteTextFile(folder / "kadm5.acl", "");
  realm->FKeytab = folder / "http.keytab";
  const TEnvironment environment = realm->Environment();
  if (RunProgram({FindProgram("kdb5_util"), "create", "-s", "-r", kRealm, "-P", "master-key"},
                 environment, {}, folder / "kdb5_util.log") != 0 ||
      !realm->Admin(std::string("addprinc -pw ") + kPassword + " " + kUser) ||
      !realm->Admin("addprinc -randkey HTTP/localhost") ||
      !realm->Admin("ktadd -k " + realm->FKeytab + " HTTP/localhost")) {
    return nullptr;
  }
  WriteTextFile(realm->FKeytab, ReadTextFile(realm->FKeytab), 0644); // the web server's user
  realm->FKdc = std::make_unique<TServerProcess>(
      std::vector<std::string>{FindProgram("krb5kdc"), "-n", "-P", folder / "kdc.pid"}, environment,
      folder / "kdc.out");
  if (!WaitForPort(std::stoi(port), std::chrono::seconds(10))) {
    return nullptr;
  }
  return realm;
}

bool TKerberosRealm::GetTicket(const std::string& cache) const {
  TEnvironment environment = Environment();
  environment["KRB5CCNAME"] = cache;
  return RunProgram({FindProgram("kinit"), kUser}, environment, std::string(kPassword) + "\n",
                    FFolder / "kinit.log") == 0;
}

TKerberosRealm::~TKerberosRealm() {
  FKdc.reset();
}

} // namespace opc::test
