#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace opc::test {

// A listening socket on 127.0.0.1 whose every connection is handed to a script, for replies that
// no well-behaved server gives: cut short, reset, never answered, not HTTP at all.
class TRawServer {
public:
  using Script = std::function<void(int fd)>;
  explicit TRawServer(Script script);
  ~TRawServer();

  int port() const { return FPort; }
  int connections() const { return FConnections; }
  // Waits until every connection so far has been answered and closed on this side.
  void WaitIdle() const;

  // Reads one request head and as much body as its Content-Length announces.
  static std::string ReadRequest(int fd);
  static void Send(int fd, const std::string& bytes);
  // Closes with a reset instead of an orderly end.
  static void Reset(int fd);

private:
  Script FScript;
  int FListener = -1;
  int FPort = 0;
  int FWake[2] = {-1, -1};
  std::atomic<int> FConnections{0};
  std::atomic<int> FActive{0};
  std::thread FThread;
  std::vector<std::thread> FWorkers;
};

} // namespace opc::test
