#include "transport/inet/ProxySocket.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace opc::inet::detail {

namespace {

// A proxy's head is a status line and a few fields; anything larger is not a proxy talking.
constexpr std::size_t kMaxHead = 64 * 1024;
// A refusal's page is read to keep the connection for the next leg; a larger one is not.
constexpr std::size_t kMaxBody = 1 << 20;
constexpr int kMaxInterim = 16;

bool HasWord(std::string_view value, std::string_view word) {
  for (std::size_t at = 0; at + word.size() <= value.size(); ++at) {
    bool same = true;
    for (std::size_t i = 0; same && i < word.size(); ++i) {
      same = (value[at + i] | 0x20) == word[i];
    }
    if (same) {
      return true;
    }
  }
  return false;
}

std::optional<std::size_t> ContentLength(const TResponseHead& head) {
  const auto value = head.Header("Content-Length", 0);
  if (!value || value->empty() || value->size() > 18) {
    return std::nullopt;
  }
  std::size_t length = 0;
  for (char c : *value) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
    length = length * 10 + static_cast<std::size_t>(c - '0');
  }
  return length;
}

} // namespace

TSocket::~TSocket() {
  if (FFd >= 0) {
    ::close(FFd);
  }
}

TSocket& TSocket::operator=(TSocket&& other) noexcept {
  if (this != &other) {
    if (FFd >= 0) {
      ::close(FFd);
    }
    FFd = other.Release();
  }
  return *this;
}

int TSocket::Release() noexcept {
  const int fd = FFd;
  FFd = -1;
  return fd;
}

TProxySocket::TProxySocket(std::string host, INTERNET_PORT port, TTalkLimits limits)
    : FHost(std::move(host)), FPort(port), FLimits(std::move(limits)) {}

DWORD TProxySocket::WaitFor(short events, DWORD timeoutMs) {
  using namespace std::chrono;
  const auto deadline = steady_clock::now() + milliseconds(timeoutMs);
  for (;;) {
    const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
    if (left <= 0) {
      return ERROR_INTERNET_TIMEOUT;
    }
    pollfd poller{FSocket.Get(), events, 0};
    const int ready = ::poll(&poller, 1, static_cast<int>(std::min<long long>(left, 100)));
    if (ready > 0) {
      return 0;
    }
    if (ready < 0 && errno != EINTR) {
      return ERROR_INTERNET_CONNECTION_ABORTED;
    }
    if (FLimits.cancelled && FLimits.cancelled()) {
      return ERROR_INTERNET_OPERATION_CANCELLED;
    }
  }
}

DWORD TProxySocket::Connect() {
  FBuffered.clear();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(FHost.c_str(), std::to_string(FPort).c_str(), &hints, &found) != 0) {
    return ERROR_INTERNET_NAME_NOT_RESOLVED;
  }
  std::unique_ptr<addrinfo, void (*)(addrinfo*)> addresses(found, ::freeaddrinfo);
  DWORD failure = ERROR_INTERNET_CANNOT_CONNECT;
  for (const addrinfo* a = found; a; a = a->ai_next) {
    FSocket = TSocket(::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!FSocket) {
      continue;
    }
    const int one = 1;
    ::setsockopt(FSocket.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(FSocket.Get(), a->ai_addr, a->ai_addrlen) != 0 && errno != EINPROGRESS) {
      continue;
    }
    const DWORD waited = WaitFor(POLLOUT, FLimits.connectMs);
    int error = 0;
    socklen_t size = sizeof error;
    if (waited == 0 && ::getsockopt(FSocket.Get(), SOL_SOCKET, SO_ERROR, &error, &size) == 0 &&
        error == 0) {
      return 0;
    }
    if (waited == ERROR_INTERNET_OPERATION_CANCELLED) {
      Close();
      return waited;
    }
    failure = waited ? waited : ERROR_INTERNET_CANNOT_CONNECT;
  }
  Close();
  return failure;
}

DWORD TProxySocket::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = ::send(FSocket.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(sent));
      continue;
    }
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
      if (const DWORD failure = WaitFor(POLLOUT, FLimits.sendMs)) {
        return failure;
      }
      continue;
    }
    return errno == ECONNRESET ? ERROR_INTERNET_CONNECTION_RESET
                               : ERROR_INTERNET_CONNECTION_ABORTED;
  }
  return 0;
}

DWORD TProxySocket::ReadSome(DWORD timeoutMs) {
  for (;;) {
    char buffer[16 * 1024];
    const ssize_t got = ::recv(FSocket.Get(), buffer, sizeof buffer, 0);
    if (got > 0) {
      FBuffered.append(buffer, static_cast<std::size_t>(got));
      return 0;
    }
    if (got == 0) {
      return ERROR_INTERNET_CONNECTION_ABORTED;
    }
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      return errno == ECONNRESET ? ERROR_INTERNET_CONNECTION_RESET
                                 : ERROR_INTERNET_CONNECTION_ABORTED;
    }
    if (const DWORD failure = WaitFor(POLLIN, timeoutMs)) {
      return failure;
    }
  }
}

DWORD TProxySocket::Receive(TProxyReply& reply) {
  reply = TProxyReply();
  // Interim replies (1xx) go by; the first final one is the answer. A proxy that sends nothing
  // but interim replies is not waited for without end.
  for (int interim = 0; reply.head.Status() < 200; ++interim) {
    if (interim == kMaxInterim) {
      return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    }
    std::size_t end;
    while ((end = FBuffered.find("\r\n\r\n")) == std::string::npos) {
      if (FBuffered.size() > kMaxHead) {
        return ERROR_HTTP_INVALID_SERVER_RESPONSE;
      }
      if (const DWORD failure = ReadSome(FLimits.receiveMs)) {
        return failure;
      }
    }
    reply.head = TResponseHead();
    for (std::size_t at = 0; at <= end;) {
      const std::size_t next = FBuffered.find("\r\n", at);
      reply.head.Feed(std::string_view(FBuffered).substr(at, next + 2 - at));
      at = next + 2;
    }
    reply.head.Feed("\r\n");
    FBuffered.erase(0, end + 4);
    if (reply.head.Malformed() || reply.head.Status() < 100) {
      return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    }
  }
  if (reply.head.Status() < 300) {
    // The tunnel is open: what follows belongs to the server, who speaks only when spoken to.
    if (!FBuffered.empty()) {
      return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    }
    reply.reusable = true;
    return 0;
  }
  const auto length = ContentLength(reply.head);
  const bool closes = (reply.head.Header("Connection", 0) &&
                       HasWord(*reply.head.Header("Connection", 0), "close")) ||
                      (reply.head.Header("Proxy-Connection", 0) &&
                       HasWord(*reply.head.Header("Proxy-Connection", 0), "close"));
  if (!length || *length > kMaxBody || reply.head.Header("Transfer-Encoding", 0) || closes) {
    return 0; // the page is not read, so the connection cannot go on
  }
  while (FBuffered.size() < *length) {
    if (const DWORD failure = ReadSome(FLimits.receiveMs)) {
      return failure;
    }
  }
  FBuffered.erase(0, *length);
  reply.reusable = FBuffered.empty();
  return 0;
}

} // namespace opc::inet::detail
