#pragma once

#include "sim/Routes.h"
#include "sim/Service.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <httplib.h>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace opc::bench {

// The simulator's service and test routes on 127.0.0.1 in this process, for the whole run.
class TBenchServer {
public:
  static TBenchServer& Instance() {
    static TBenchServer server;
    return server;
  }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(FPort) + path;
  }

  // Every POST to the URL returned is answered with body as it is, sent from memory a large
  // piece at a time: a realistic reply whose server costs no more than the copy into the socket
  // (the simulator's test routes make their bodies as they go, which is slower than a client).
  std::string Serve(const std::string& name, std::string body) {
    const std::lock_guard lock(FMutex);
    FBodies[name] = std::make_shared<const std::string>(std::move(body));
    return Url("/bench/" + name);
  }

private:
  TBenchServer() {
    sim::AddServiceRoutes(FServer, FService);
    sim::AddTestRoutes(FServer);
    FServer.Post(R"(/bench/([\w.-]+))", [this](const httplib::Request& request,
                                               httplib::Response& response) {
      std::shared_ptr<const std::string> body;
      {
        const std::lock_guard lock(FMutex);
        const auto found = FBodies.find(request.matches[1]);
        if (found == FBodies.end()) {
          response.status = 404;
          return;
        }
        body = found->second;
      }
      response.set_content_provider(
          body->size(), "text/xml; charset=utf-8",
          [body](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            return sink.write(body->data() + offset, std::min<std::size_t>(length, 4 << 20));
          });
    });
    FServer.set_payload_max_length(static_cast<std::size_t>(-1)); // the upload figures are large
    FPort = FServer.bind_to_any_port("127.0.0.1");
    FThread = std::thread([this] { FServer.listen_after_bind(); });
  }
  ~TBenchServer() {
    FServer.stop();
    FThread.join();
  }
  std::mutex FMutex;
  std::map<std::string, std::shared_ptr<const std::string>> FBodies;
  sim::TService FService;
  httplib::Server FServer;
  int FPort = 0;
  std::thread FThread;
};

// Peak resident memory since the last reset, in bytes.
inline void ResetPeakMemory() {
  std::FILE* f = std::fopen("/proc/self/clear_refs", "w");
  if (f) {
    std::fputs("5", f);
    std::fclose(f);
  }
}
// A field of /proc/self/status ("VmHWM" the peak, "VmRSS" now), in bytes.
inline double StatusBytes(const char* field) {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  char line[256];
  long kib = 0;
  const std::size_t length = std::strlen(field);
  while (f && std::fgets(line, sizeof line, f)) {
    if (std::strncmp(line, field, length) == 0 && line[length] == ':') {
      kib = std::atol(line + length + 1);
      break;
    }
  }
  if (f) {
    std::fclose(f);
  }
  return static_cast<double>(kib) * 1024;
}
inline double PeakMemoryBytes() {
  return StatusBytes("VmHWM");
}
inline double CurrentMemoryBytes() {
  return StatusBytes("VmRSS");
}

// "--smoke" in the arguments: one iteration of every benchmark with small sizes, so that CI keeps
// them building and working without spending time on figures.
inline bool gSmoke = false;
inline void TakeSmokeFlag(int& argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--smoke") {
      gSmoke = true;
      for (int j = i; j + 1 < argc; ++j) {
        argv[j] = argv[j + 1];
      }
      --argc;
      return;
    }
  }
}
inline std::size_t Size(std::size_t mib) {
  return gSmoke ? 64 * 1024 : mib << 20;
}

// Registers a benchmark timed on the wall clock in milliseconds, with its size in MiB if it has
// one; in a smoke run it goes once.
inline void AddBenchmark(const char* name, void (*function)(benchmark::State&), long mib = -1) {
  auto* b =
      benchmark::RegisterBenchmark(name, function)->Unit(benchmark::kMillisecond)->UseRealTime();
  if (mib >= 0) {
    b->Arg(mib);
  }
  if (gSmoke) {
    b->Iterations(1);
  }
}

} // namespace opc::bench
