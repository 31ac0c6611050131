#pragma once

#include <chrono>
#include <httplib.h>
#include <memory>
#include <thread>

namespace opc::test {

// A cpp-httplib server on 127.0.0.1 and a free port, running on a thread of its own for the
// lifetime of the object. Routes are added before Start().
template <class Server = httplib::Server> class TLoopbackServer {
public:
  template <class... Args> explicit TLoopbackServer(Args&&... args) : server(args...) {}
  ~TLoopbackServer() { Stop(); }

  void Start() {
    port = server.bind_to_any_port("127.0.0.1");
    thread = std::thread([this] { server.listen_after_bind(); });
    // A stop that comes before the loop runs would be missed and the join would never return.
    for (int i = 0; i < 2000 && !server.is_running(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  void Stop() {
    if (thread.joinable()) {
      server.stop();
      thread.join();
    }
  }

  Server server;
  int port = 0;

private:
  std::thread thread;
};

} // namespace opc::test
