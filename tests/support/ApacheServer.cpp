#include "ApacheServer.h"

#include <sys/stat.h>
#include <unistd.h>

namespace opc::test {

namespace {

constexpr const char* kModules = "/usr/lib/apache2/modules";

std::string Module(const char* name) {
  return std::string(kModules) + "/" + name;
}

} // namespace

std::string TApacheServer::Missing() {
  if (FindProgram("apache2").empty()) {
    return "apache2 is not installed (scripts/install-deps installs it)";
  }
  if (::access(Module("mod_auth_gssapi.so").c_str(), R_OK) != 0) {
    return "mod_auth_gssapi is not installed (libapache2-mod-auth-gssapi)";
  }
  return {};
}

std::unique_ptr<TApacheServer> TApacheServer::Start(const std::string& locations,
                                                    const TEnvironment& environment) {
  if (!Missing().empty()) {
    return nullptr;
  }
  std::unique_ptr<TApacheServer> server(new TApacheServer);
  const TTempFolder& folder = server->FFolder;
  server->FPort = FreePort();
  ::mkdir((folder / "run").c_str(), 0755);
  WriteTextFile(folder / "echo.cgi",
                "#!/bin/sh\n"
                "printf 'Content-Type: text/xml\\r\\n\\r\\n'\n"
                "printf '<ok user=\"%s\" type=\"%s\" bytes=\"' \"$REMOTE_USER\" \"$AUTH_TYPE\"\n"
                "head -c \"${CONTENT_LENGTH:-0}\" | wc -c | tr -d '\\n'\n"
                "printf '\"/>'\n",
                0755);
  std::string located = locations;
  for (std::size_t at; (at = located.find("%d")) != std::string::npos;) {
    located.replace(at, 2, folder.Path());
  }
  std::string config = "ServerRoot " + folder.Path() +
                       "\n"
                       "ServerName localhost\n"
                       "Listen 127.0.0.1:" +
                       std::to_string(server->FPort) +
                       "\n"
                       "PidFile " +
                       (folder / "run/httpd.pid") +
                       "\n"
                       "DefaultRuntimeDir " +
                       (folder / "run") +
                       "\n"
                       "Mutex file:" +
                       (folder / "run") +
                       " default\n"
                       "ErrorLog " +
                       (folder / "error.log") +
                       "\n"
                       "LogLevel info auth_gssapi:debug\n"
                       "StartServers 1\nMinSpareServers 1\nMaxSpareServers 2\n";
  for (const char* module :
       {"mpm_prefork", "authn_core", "authz_core", "authz_user", "auth_gssapi", "alias", "cgi"}) {
    config += std::string("LoadModule ") + module + "_module " +
              Module((std::string("mod_") + module + ".so").c_str()) + "\n";
  }
  if (::getuid() == 0) {
    config += "User nobody\nGroup nogroup\n"; // the children drop root, as a served site does
  }
  config += "ScriptAliasMatch ^/ " + (folder / "echo.cgi") + "\n" + located;
  WriteTextFile(folder / "httpd.conf", config);
  server->FProcess = std::make_unique<TServerProcess>(
      std::vector<std::string>{FindProgram("apache2"), "-f", folder / "httpd.conf", "-DFOREGROUND"},
      environment, folder / "httpd.out");
  if (!WaitForPort(server->FPort, std::chrono::seconds(20))) {
    return nullptr;
  }
  return server;
}

TApacheServer::~TApacheServer() {
  FProcess.reset();
}

} // namespace opc::test
