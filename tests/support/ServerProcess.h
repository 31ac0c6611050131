#pragma once

#include <chrono>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace opc::test {

// A folder of its own under the system's temporary folder, readable by all (servers started as
// root drop to another user and still need their files), removed with everything in it.
class TTempFolder {
public:
  explicit TTempFolder(const std::string& prefix);
  ~TTempFolder();
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;
  const std::string& Path() const { return FPath; }
  std::string operator/(const std::string& name) const { return FPath + "/" + name; }

private:
  std::string FPath;
};

using TEnvironment = std::map<std::string, std::string>;

// The program's path: on PATH or in one of the extra folders; empty when it is not installed.
std::string FindProgram(const std::string& name, const std::vector<std::string>& folders = {});
// A port on 127.0.0.1 that the kernel had free a moment ago.
int FreePort();
// True once something accepts connections on 127.0.0.1:port.
bool WaitForPort(int port, std::chrono::milliseconds timeout);
void WriteTextFile(const std::string& path, const std::string& text, int mode = 0644);
std::string ReadTextFile(const std::string& path);
// Runs a program to its end with the given input; its exit code (-1 when it could not start).
int RunProgram(const std::vector<std::string>& argv, const TEnvironment& environment = {},
               const std::string& input = {}, const std::string& logFile = "/dev/null");

// A server program running in the foreground as a child of the test, in a process group of its
// own; stopped (the whole group) when the object goes, and also when the test process dies.
class TServerProcess {
public:
  TServerProcess(const std::vector<std::string>& argv, const TEnvironment& environment,
                 const std::string& logFile);
  ~TServerProcess();
  TServerProcess(const TServerProcess&) = delete;
  TServerProcess& operator=(const TServerProcess&) = delete;
  bool Running();
  void Stop() noexcept;

private:
  pid_t FPid = -1;
};

} // namespace opc::test
