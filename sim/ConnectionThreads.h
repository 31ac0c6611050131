#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <httplib.h>
#include <mutex>

namespace opc::sim {

// The server's connections, each on a thread of its own: a refresh held for minutes, or a client
// that sends a byte now and then, keeps only its own thread, never one that other clients wait
// for. Past the limit of threads, new connections wait for one to end.
class TConnectionThreads : public httplib::TaskQueue {
public:
  explicit TConnectionThreads(std::size_t maxThreads = 4096);
  ~TConnectionThreads() override;

  void enqueue(std::function<void()> connection) override;
  // Waits for every connection to end.
  void shutdown() override;

private:
  void Serve(std::function<void()> connection);

  const std::size_t FMaxThreads;
  std::mutex FMutex;
  std::condition_variable FAllEnded;
  std::deque<std::function<void()>> FWaiting;
  std::size_t FRunning = 0;
};

} // namespace opc::sim
