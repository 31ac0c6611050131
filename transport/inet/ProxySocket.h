#pragma once

#include "transport/inet/ResponseHead.h"
#include "transport/inet/WinInet.h"

#include <functional>
#include <string>
#include <string_view>

namespace opc::inet::detail {

// A socket descriptor the layer owns: closed when the owner goes, unless handed on.
class TSocket {
public:
  TSocket() = default;
  explicit TSocket(int fd) noexcept : FFd(fd) {}
  ~TSocket();
  TSocket(TSocket&& other) noexcept : FFd(other.Release()) {}
  TSocket& operator=(TSocket&& other) noexcept;
  TSocket(const TSocket&) = delete;
  TSocket& operator=(const TSocket&) = delete;

  int Get() const noexcept { return FFd; }
  int Release() noexcept;
  explicit operator bool() const noexcept { return FFd >= 0; }

private:
  int FFd = -1;
};

// How long a talk with the proxy may wait, and the user's way to stop it (checked at least
// every 100 ms), the same limits a transfer keeps.
struct TTalkLimits {
  DWORD connectMs = 0;
  DWORD sendMs = 0;
  DWORD receiveMs = 0;
  std::function<bool()> cancelled;
};

// The proxy's reply on a connection of the layer's own: its head, and whether the connection
// can carry the next request (its body was read to the end and the proxy keeps it open).
struct TProxyReply {
  TResponseHead head;
  bool reusable = false;
};

// HTTP with the proxy on a connection the layer opens itself, for the requests a tunnel needs
// before the server's own traffic goes through it. Every call returns 0 or the failure code.
class TProxySocket {
public:
  TProxySocket(std::string host, INTERNET_PORT port, TTalkLimits limits);

  bool Connected() const noexcept { return static_cast<bool>(FSocket); }
  DWORD Connect();
  DWORD Send(std::string_view bytes);
  DWORD Receive(TProxyReply& reply);
  void Close() noexcept { FSocket = TSocket(); }
  // The connected socket, for the traffic through the tunnel.
  TSocket Release() noexcept { return std::move(FSocket); }

private:
  // 0 once the socket is ready for events, else the failure (timeout, cancelled).
  DWORD WaitFor(short events, DWORD timeoutMs);
  DWORD ReadSome(DWORD timeoutMs);

  std::string FHost;
  INTERNET_PORT FPort;
  TTalkLimits FLimits;
  TSocket FSocket;
  std::string FBuffered; // received and not yet taken
};

} // namespace opc::inet::detail
