#include "sim/Routes.h"
#include "sim/Service.h"

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

struct TOptions {
  int port = 0; // 0: 80 when it may be bound, else 8080
  bool testRoutes = false;
  int tlsPort = 0;
  std::string cert, key;
};

bool ParseOptions(int argc, char* argv[], TOptions& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    const char* v = nullptr;
    if (arg == "--test-routes") {
      options.testRoutes = true;
    } else if (arg == "--port" && (v = value())) {
      options.port = std::atoi(v);
    } else if (arg == "--tls-port" && (v = value())) {
      options.tlsPort = std::atoi(v);
    } else if (arg == "--cert" && (v = value())) {
      options.cert = v;
    } else if (arg == "--key" && (v = value())) {
      options.key = v;
    } else {
      std::fprintf(
          stderr,
          "usage: opcxmlda-sim [--port N] [--test-routes] [--tls-port N --cert F --key F]\n");
      return false;
    }
  }
  if (options.tlsPort && (options.cert.empty() || options.key.empty())) {
    std::fprintf(stderr, "opcxmlda-sim: --tls-port needs --cert and --key\n");
    return false;
  }
  return true;
}

} // namespace

int main(int argc, char* argv[]) {
  TOptions options;
  if (!ParseOptions(argc, argv, options)) {
    return 2;
  }
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  opc::sim::TService service;
  httplib::Server server;
  opc::sim::AddServiceRoutes(server, service);
  if (options.testRoutes) {
    opc::sim::AddTestRoutes(server);
  }
  int port = options.port;
  bool bound = false;
  if (port == 0) {
    bound = server.bind_to_port("127.0.0.1", 80);
    port = bound ? 80 : 8080;
    if (!bound) {
      std::fprintf(stderr, "opcxmlda-sim: port 80 is not allowed here; using 8080\n");
    }
  }
  if (!bound && !(port == 0 ? false : server.bind_to_port("127.0.0.1", port))) {
    std::fprintf(stderr, "opcxmlda-sim: cannot listen on 127.0.0.1:%d\n", port);
    return 1;
  }
  std::unique_ptr<httplib::SSLServer> tls;
  if (options.tlsPort) {
    tls = std::make_unique<httplib::SSLServer>(options.cert.c_str(), options.key.c_str());
    if (!tls->is_valid() || !tls->bind_to_port("127.0.0.1", options.tlsPort)) {
      std::fprintf(stderr, "opcxmlda-sim: cannot serve https on 127.0.0.1:%d\n", options.tlsPort);
      return 1;
    }
    opc::sim::AddServiceRoutes(*tls, service);
    if (options.testRoutes) {
      opc::sim::AddTestRoutes(*tls);
    }
  }
  std::printf("opcxmlda-sim: http://127.0.0.1:%d%s\n", port, opc::sim::kServicePath);
  if (tls) {
    std::printf("opcxmlda-sim: https://127.0.0.1:%d%s\n", options.tlsPort, opc::sim::kServicePath);
  }
  std::fflush(stdout);

  // On SIGTERM or Ctrl+C: held refreshes answer at once and the servers stop taking
  // connections. A connection still open after a moment (a client that sends a byte now and then)
  // does not keep the process: nothing in it outlives the process.
  std::mutex endMutex;
  std::condition_variable endCondition;
  bool ended = false;
  std::thread stopper([&] {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    service.Stop();
    server.stop();
    if (tls) {
      tls->stop();
    }
    std::unique_lock lock(endMutex);
    if (!endCondition.wait_for(lock, std::chrono::milliseconds(800), [&] { return ended; })) {
      std::fflush(nullptr);
      std::_Exit(0);
    }
  });
  std::thread secure;
  if (tls) {
    secure = std::thread([&] { tls->listen_after_bind(); });
  }
  server.listen_after_bind();
  if (secure.joinable()) {
    secure.join();
  }
  {
    std::lock_guard lock(endMutex);
    ended = true;
    endCondition.notify_all();
  }
  // The server stopped on its own (it cannot go on) or by a signal; the waiting thread ends too.
  pthread_kill(stopper.native_handle(), SIGTERM);
  stopper.join();
  return 0;
}
