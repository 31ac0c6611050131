#include "RawServer.h"

#include <arpa/inet.h>
#include <chrono>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace opc::test {

TRawServer::TRawServer(Script script) : FScript(std::move(script)) {
  FListener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(FListener, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::listen(FListener, 16);
  socklen_t length = sizeof address;
  ::getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &length);
  FPort = ntohs(address.sin_port);
  if (::pipe2(FWake, O_CLOEXEC) != 0) {
    FWake[0] = FWake[1] = -1;
  }
  FThread = std::thread([this] {
    for (;;) {
      pollfd fds[2] = {{FListener, POLLIN, 0}, {FWake[0], POLLIN, 0}};
      if (::poll(fds, 2, -1) <= 0 || (fds[1].revents & POLLIN)) {
        return;
      }
      const int fd = ::accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) {
        continue;
      }
      ++FConnections;
      ++FActive;
      FWorkers.emplace_back([this, fd] {
        FScript(fd);
        ::close(fd);
        --FActive;
      });
    }
  });
}

TRawServer::~TRawServer() {
  if (FWake[1] >= 0) {
    [[maybe_unused]] auto n = ::write(FWake[1], "x", 1);
  }
  FThread.join();
  for (auto& worker : FWorkers) {
    worker.join();
  }
  ::close(FListener);
  ::close(FWake[0]);
  ::close(FWake[1]);
}

void TRawServer::WaitIdle() const {
  while (FActive > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

std::string TRawServer::ReadRequest(int fd) {
  std::string data;
  char buffer[65536];
  std::size_t headEnd = std::string::npos;
  std::size_t wanted = 0;
  for (;;) {
    if (headEnd != std::string::npos && data.size() >= headEnd + 4 + wanted) {
      return data;
    }
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) {
      return data;
    }
    data.append(buffer, static_cast<std::size_t>(n));
    if (headEnd == std::string::npos && (headEnd = data.find("\r\n\r\n")) != std::string::npos) {
      const auto at = data.find("Content-Length: ");
      if (at != std::string::npos && at < headEnd) {
        wanted = std::stoul(data.substr(at + 16));
      }
    }
  }
}

void TRawServer::Send(int fd, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) {
      return;
    }
    sent += static_cast<std::size_t>(n);
  }
}

void TRawServer::Reset(int fd) {
  linger reset{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
}

} // namespace opc::test
