#pragma once

#include "ServerProcess.h"

#include <memory>
#include <string>

namespace opc::test {

// Debian's Apache httpd with mod_auth_gssapi, started with a configuration of its own in a
// temporary folder (its own PidFile, logs and runtime folder; the system's server is not
// touched) on a free port of 127.0.0.1. Every location answers a post with
// <ok user="..." type="..." bytes="n"/>: who authenticated, how, and the body's size.
class TApacheServer {
public:
  // locations: <Location> blocks; %d stands for the server's folder.
  static std::unique_ptr<TApacheServer> Start(const std::string& locations,
                                              const TEnvironment& environment);
  static std::string Missing();

  int Port() const { return FPort; }
  std::string Url(const std::string& path) const {
    return "http://localhost:" + std::to_string(FPort) + path;
  }
  std::string ErrorLog() const { return ReadTextFile(FFolder / "error.log"); }

  TApacheServer(const TApacheServer&) = delete;
  TApacheServer& operator=(const TApacheServer&) = delete;
  ~TApacheServer();

private:
  TApacheServer() : FFolder("opcxmlda-httpd") {}
  TTempFolder FFolder;
  int FPort = 0;
  std::unique_ptr<TServerProcess> FProcess;
};

} // namespace opc::test
