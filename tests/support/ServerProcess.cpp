#include "ServerProcess.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace opc::test {

namespace {

// Everything the child needs is made before fork: after it only async-signal-safe calls.
struct TExecArgs {
  std::vector<std::string> strings;
  std::vector<std::string> environmentStrings;
  std::vector<char*> argv, envp;

  TExecArgs(const std::vector<std::string>& args, const TEnvironment& overrides) : strings(args) {
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      const std::string name = entry.substr(0, entry.find('='));
      if (!overrides.count(name)) {
        environmentStrings.push_back(entry);
      }
    }
    for (const auto& [name, value] : overrides) {
      environmentStrings.push_back(name + "=" + value);
    }
    for (auto& s : strings) {
      argv.push_back(s.data());
    }
    argv.push_back(nullptr);
    for (auto& s : environmentStrings) {
      envp.push_back(s.data());
    }
    envp.push_back(nullptr);
  }
};

volatile pid_t gServerGroup = 0; // in the keeper: the server's process group

void StopServerGroup(int) {
  if (gServerGroup > 0) {
    ::kill(-gServerGroup, SIGKILL);
  }
}

// A program (RunProgram), or a server under a keeper (TServerProcess). The keeper stays as the
// test's child; when the test goes, even killed, or when the keeper is told to stop, it kills
// the server's whole process group (apache's children, squid's helpers) and reaps every one of
// them. Servers that change their user lose a parent-death signal of their own, so that cannot
// be left to them.
pid_t Spawn(const TExecArgs& exec, int inputFd, const std::string& logFile, bool server) {
  const int log = ::open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    // The test's threads may have signals blocked (Qt's test runner does); a keeper or a server
    // that inherited that would never hear SIGTERM.
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction action {};
    if (server) {
      action.sa_handler = &StopServerGroup;
      ::sigaction(SIGTERM, &action, nullptr);
      ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    }
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) {
      ::_exit(127);
    }
    ::dup2(inputFd >= 0 ? inputFd : ::open("/dev/null", O_RDONLY), 0);
    if (log >= 0) {
      ::dup2(log, 1);
      ::dup2(log, 2);
    }
    if (server) {
      const pid_t child = ::fork();
      if (child == 0) {
        ::setpgid(0, 0);
        action.sa_handler = SIG_DFL;
        ::sigaction(SIGTERM, &action, nullptr);
        ::execve(exec.argv[0], exec.argv.data(), exec.envp.data());
        ::_exit(127);
      }
      ::setpgid(child, child);
      gServerGroup = child;
      // Until the server and everything it left behind are gone.
      while (::waitpid(-1, nullptr, 0) > 0 || errno == EINTR) {
      }
      ::_exit(0);
    }
    ::execve(exec.argv[0], exec.argv.data(), exec.envp.data());
    ::_exit(127);
  }
  if (log >= 0) {
    ::close(log);
  }
  return pid;
}

} // namespace

TTempFolder::TTempFolder(const std::string& prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
  if (!::mkdtemp(pattern.data())) {
    throw std::runtime_error("cannot make a temporary folder");
  }
  ::chmod(pattern.c_str(), 0755);
  FPath = pattern;
}

TTempFolder::~TTempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(FPath, ignored);
}

std::string FindProgram(const std::string& name, const std::vector<std::string>& folders) {
  std::vector<std::string> candidates = folders;
  if (const char* path = std::getenv("PATH")) {
    std::stringstream list(path);
    for (std::string folder; std::getline(list, folder, ':');) {
      candidates.push_back(folder);
    }
  }
  candidates.insert(candidates.end(), {"/usr/sbin", "/sbin"});
  for (const std::string& folder : candidates) {
    const std::string full = folder + "/" + name;
    if (::access(full.c_str(), X_OK) == 0) {
      return full;
    }
  }
  return {};
}

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(fd);
  return port;
}

bool WaitForPort(int port, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < end) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    if (up) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

void WriteTextFile(const std::string& path, const std::string& text, int mode) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  ::chmod(path.c_str(), static_cast<mode_t>(mode));
}

std::string ReadTextFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

int RunProgram(const std::vector<std::string>& argv, const TEnvironment& environment,
               const std::string& input, const std::string& logFile) {
  const TExecArgs exec(argv, environment);
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
    return -1;
  }
  const pid_t pid = Spawn(exec, pipeFds[0], logFile, false);
  ::close(pipeFds[0]);
  if (pid < 0) {
    ::close(pipeFds[1]);
    return -1;
  }
  std::signal(SIGPIPE, SIG_IGN);
  [[maybe_unused]] const auto written = ::write(pipeFds[1], input.data(), input.size());
  ::close(pipeFds[1]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TServerProcess::TServerProcess(const std::vector<std::string>& argv,
                               const TEnvironment& environment, const std::string& logFile) {
  const TExecArgs exec(argv, environment);
  FPid = Spawn(exec, -1, logFile, true);
}

TServerProcess::~TServerProcess() {
  Stop();
}

bool TServerProcess::Running() {
  if (FPid <= 0) {
    return false;
  }
  int status = 0;
  if (::waitpid(FPid, &status, WNOHANG) == FPid) {
    FPid = -1;
    return false;
  }
  return true;
}

// The keeper kills the server's whole group at once and returns when all of it is reaped.
void TServerProcess::Stop() noexcept {
  if (FPid <= 0) {
    return;
  }
  ::kill(FPid, SIGTERM);
  while (::waitpid(FPid, nullptr, 0) < 0 && errno == EINTR) {
  }
  FPid = -1;
}

} // namespace opc::test
