#include "SquidProxy.h"

#include <crypt.h>
#include <sys/stat.h>
#include <unistd.h>

namespace opc::test {

namespace {

constexpr const char* kHelpers = "/usr/lib/squid";

std::string Helper(TSquidProxy::Auth auth) {
  switch (auth) {
  case TSquidProxy::Auth::Basic:
    return FindProgram("basic_ncsa_auth", {kHelpers});
  case TSquidProxy::Auth::Ntlm:
    return FindProgram("ntlm_fake_auth", {kHelpers});
  case TSquidProxy::Auth::Negotiate:
    return FindProgram("negotiate_kerberos_auth", {kHelpers});
  }
  return {};
}

// A password file line as squid's helper reads it, with an MD5 crypt hash.
std::string PasswordLine(const std::string& user, const std::string& password) {
  crypt_data data{};
  const char* hash = crypt_r(password.c_str(), "$1$opcxmlda$", &data);
  return user + ":" + (hash ? hash : "") + "\n";
}

} // namespace

std::string TSquidProxy::Missing(Auth auth) {
  if (FindProgram("squid").empty()) {
    return "squid is not installed (scripts/install-deps installs it)";
  }
  if (Helper(auth).empty()) {
    return "squid's authentication helper is not installed";
  }
  return {};
}

std::unique_ptr<TSquidProxy> TSquidProxy::Start(Auth auth, const std::string& user,
                                                const std::string& password,
                                                const std::string& realm) {
  return Run(auth, user, password, realm, {}, {});
}

std::unique_ptr<TSquidProxy> TSquidProxy::StartNegotiate(const std::string& keytab,
                                                         const TEnvironment& kerberos) {
  return Run(Auth::Negotiate, {}, {}, {}, keytab, kerberos);
}

std::unique_ptr<TSquidProxy> TSquidProxy::Run(Auth auth, const std::string& user,
                                              const std::string& password, const std::string& realm,
                                              const std::string& keytab, TEnvironment environment) {
  if (!Missing(auth).empty()) {
    return nullptr;
  }
  std::unique_ptr<TSquidProxy> proxy(new TSquidProxy);
  const TTempFolder& folder = proxy->FFolder;
  const std::string logs = folder / "logs";
  ::mkdir(logs.c_str(), 0777);
  ::chmod(logs.c_str(), 0777); // squid started as root writes them as its own user
  proxy->FPort = FreePort();
  std::string config = "http_port 127.0.0.1:" + std::to_string(proxy->FPort) +
                       "\n"
                       "pid_filename none\n"
                       "cache deny all\n"
                       "cache_mem 8 MB\n"
                       "access_log stdio:" +
                       logs +
                       "/access.log\n"
                       "cache_log " +
                       logs +
                       "/cache.log\n"
                       "cache_store_log none\n"
                       "netdb_filename none\n"
                       "pinger_enable off\n"
                       "shutdown_lifetime 0 seconds\n"
                       "coredump_dir " +
                       logs + "\n";
  if (::getuid() == 0) {
    config += "cache_effective_user proxy\n"; // squid will not serve as root
  }
  if (auth == Auth::Basic) {
    WriteTextFile(folder / "passwd", PasswordLine(user, password));
    config += "auth_param basic program " + Helper(auth) + " " + (folder / "passwd") +
              "\n"
              "auth_param basic children 2\n"
              "auth_param basic realm " +
              realm + "\n";
  } else if (auth == Auth::Negotiate) {
    // The helper runs as squid's user, who must read the keys: a copy of its own.
    const std::string keys = folder / "squid.keytab";
    WriteTextFile(keys, ReadTextFile(keytab));
    ::chmod(keys.c_str(), 0644);
    environment["KRB5_KTNAME"] = "FILE:" + keys;
    config += "auth_param negotiate program " + Helper(auth) + " -s GSS_C_NO_NAME -k " + keys +
              "\n"
              "auth_param negotiate children 2\n";
  } else {
    config += "auth_param ntlm program " + Helper(auth) +
              "\n"
              "auth_param ntlm children 2\n";
  }
  config += "acl authenticated proxy_auth REQUIRED\n"
            "http_access allow authenticated\n"
            "http_access deny all\n";
  WriteTextFile(folder / "squid.conf", config);
  proxy->FProcess = std::make_unique<TServerProcess>(
      std::vector<std::string>{FindProgram("squid"), "-N", "-f", folder / "squid.conf"},
      environment, folder / "squid.out");
  if (!WaitForPort(proxy->FPort, std::chrono::seconds(20))) {
    return nullptr;
  }
  return proxy;
}

TSquidProxy::~TSquidProxy() {
  FProcess.reset(); // before the folder goes
}

std::string TSquidProxy::AccessLog() const {
  return ReadTextFile(FFolder / "logs/access.log");
}

std::string TSquidProxy::CacheLog() const {
  return ReadTextFile(FFolder / "logs/cache.log") + ReadTextFile(FFolder / "squid.out");
}

} // namespace opc::test
