#include "sim/ConnectionThreads.h"

#include <system_error>
#include <thread>

namespace opc::sim {

TConnectionThreads::TConnectionThreads(std::size_t maxThreads) : FMaxThreads(maxThreads) {}

TConnectionThreads::~TConnectionThreads() {
  shutdown();
}

void TConnectionThreads::enqueue(std::function<void()> connection) {
  std::unique_lock lock(FMutex);
  if (FRunning < FMaxThreads) {
    try {
      std::thread(&TConnectionThreads::Serve, this, std::move(connection)).detach();
      ++FRunning;
      return;
    } catch (const std::system_error&) {
      if (FRunning == 0) {
        // No thread to be had and none to hand it on: served here, before the next accept.
        lock.unlock();
        try {
          connection();
        } catch (...) {
        }
        return;
      }
    }
  }
  // It waits for a connection's thread to end and take it on.
  FWaiting.push_back(std::move(connection));
}

void TConnectionThreads::Serve(std::function<void()> connection) {
  for (;;) {
    try {
      connection();
    } catch (...) {
      // The connection is closed by its own clean-up; the thread goes on with the next.
    }
    std::lock_guard lock(FMutex);
    if (FWaiting.empty()) {
      --FRunning;
      FAllEnded.notify_all();
      return; // nothing of this object is touched from here on
    }
    connection = std::move(FWaiting.front());
    FWaiting.pop_front();
  }
}

void TConnectionThreads::shutdown() {
  std::unique_lock lock(FMutex);
  FAllEnded.wait(lock, [this] { return FRunning == 0; });
}

} // namespace opc::sim
