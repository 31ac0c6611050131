#include "AuthPost.h"
#include "InetSession.h"
#include "RawServer.h"
#include "transport/inet/ExchangeRecord.h"
#include "transport/inet/Ntlm.h"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <mutex>

namespace opc::test {
namespace {

using inet::MaskCredentials;
using inet::TExchangeLeg;
using inet::TExchangeRecord;
using inet::TRecordExchange;
using inet::detail::Base64Decode;
using inet::detail::Base64Encode;

std::uint32_t Get32(const std::string& m, std::size_t at) {
  return static_cast<std::uint8_t>(m[at]) | static_cast<std::uint8_t>(m[at + 1]) << 8 |
         static_cast<std::uint8_t>(m[at + 2]) << 16 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(m[at + 3])) << 24;
}

// A CHALLENGE message with an empty target and target information.
std::string Challenge() {
  std::string m("NTLMSSP\0", 8);
  m += std::string("\x02\0\0\0", 4);
  m += std::string("\0\0\0\0\x38\0\0\0", 8);     // target name: none
  m += std::string("\x05\x82\x89\x00", 4);       // flags, with target information
  m += "\x01\x23\x45\x67\x89\xab\xcd\xef";       // server challenge
  m += std::string(8, '\0');                     // reserved
  m += std::string("\x04\0\x04\0\x38\0\0\0", 8); // target information at 56
  m += std::string(8, '\0');                     // version
  m += std::string("\0\0\0\0", 4);               // MsvAvEOL
  return m;
}

// The Proxy-Authorization NTLM message of a request head, decoded; empty when there is none.
std::string NtlmMessage(const std::string& head) {
  const std::string marker = "Proxy-Authorization: NTLM ";
  const auto at = head.find(marker);
  if (at == std::string::npos) {
    return {};
  }
  const auto end = head.find("\r\n", at);
  return Base64Decode(head.substr(at + marker.size(), end - at - marker.size())).value_or("");
}

// A proxy on loopback that asks for NTLM and records what each connection sent: it takes the
// handshake up to the AUTHENTICATE message and refuses that, so the client's messages are what
// the test sees. Or it answers the NEGOTIATE leg with nothing (Stall) or with interim replies
// only (Interim).
class TNtlmProxy {
public:
  enum class Mode { Handshake, Stall, Interim };
  explicit TNtlmProxy(Mode mode)
      : FServer([this, mode](int fd) {
          for (;;) {
            const std::string head = TRawServer::ReadRequest(fd);
            if (head.empty()) {
              return;
            }
            const std::string message = NtlmMessage(head);
            {
              std::lock_guard lock(mutex);
              received.push_back({fd, head, message});
            }
            if (message.empty()) {
              TRawServer::Send(fd, "HTTP/1.1 407 Proxy Authentication Required\r\n"
                                   "Proxy-Authenticate: NTLM\r\nContent-Length: 4\r\n\r\nwho?");
            } else if (Get32(message, 8) == 1 && mode == Mode::Interim) {
              for (int i = 0; i < 100; ++i) {
                TRawServer::Send(fd, "HTTP/1.1 100 Continue\r\n\r\n");
              }
            } else if (Get32(message, 8) == 1 && mode == Mode::Handshake) {
              TRawServer::Send(fd, "HTTP/1.1 407 Proxy Authentication Required\r\n"
                                   "Proxy-Authenticate: NTLM " +
                                       Base64Encode(Challenge()) + "\r\nContent-Length: 0\r\n\r\n");
            } else if (Get32(message, 8) == 3) {
              TRawServer::Send(fd, "HTTP/1.1 407 Proxy Authentication Required\r\n"
                                   "Proxy-Authenticate: NTLM\r\nConnection: close\r\n"
                                   "Content-Length: 0\r\n\r\n");
              return;
            }
          }
        }) {}

  struct Received {
    int connection;
    std::string head, ntlm;
  };
  std::mutex mutex;
  std::vector<Received> received;
  int Port() const { return FServer.port(); }

private:
  TRawServer FServer;
};

struct TProxied {
  HINTERNET root, connection, request;
  TProxied(int proxyPort, DWORD flags, DWORD timeoutMs) {
    const std::u16string proxy = Wide("127.0.0.1:" + std::to_string(proxyPort));
    root = InternetOpenW(u"agent", INTERNET_OPEN_TYPE_PROXY, proxy.c_str(), u"", 0);
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT}) {
      InternetSetOptionW(root, option, &timeoutMs, sizeof timeoutMs);
    }
    // The server is never reached: the proxy stops every request.
    connection = InternetConnectW(root, u"127.0.0.1", 9, u"PLANT\\alice", u"wonder",
                                  INTERNET_SERVICE_HTTP, 0, 0);
    request = HttpOpenRequestW(connection, u"POST", u"/x", nullptr, nullptr, nullptr, flags, 0);
  }
  ~TProxied() {
    InternetCloseHandle(request);
    InternetCloseHandle(connection);
    InternetCloseHandle(root);
  }
  TProxied(const TProxied&) = delete;
  TProxied& operator=(const TProxied&) = delete;
};

constexpr DWORD kSecure = kHttpFlags | INTERNET_FLAG_SECURE;

class ProxyNtlmMessages : public testing::TestWithParam<DWORD> {
protected:
  void TearDown() override { EXPECT_EQ(OpenHandleCount(), 0u); }
};

// The messages are the layer's own, laid out in full, and both legs share one connection: for
// http on the post itself, for https on the CONNECT that opens the tunnel.
TEST_P(ProxyNtlmMessages, TheHandshakeGoesOnOneConnectionWithCompleteMessages) {
  const bool secure = GetParam() == kSecure;
  TNtlmProxy proxy(TNtlmProxy::Mode::Handshake);
  TExchangeRecord record;
  {
    const TRecordExchange recording(record);
    TProxied session(proxy.Port(), GetParam(), 5000);
    const std::string body = "<body/>";
    ASSERT_TRUE(
        HttpSendRequestW(session.request, nullptr, 0, body.data(), static_cast<DWORD>(body.size())))
        << GetLastError();
    TAuthChallenge challenge;
    ASSERT_TRUE(QueryAuthChallenge(session.request, challenge));
    EXPECT_TRUE(challenge.proxy);
    EXPECT_TRUE(challenge.refused);
    EXPECT_EQ(challenge.schemes, std::vector<std::string>{"NTLM"});
  }
  std::lock_guard lock(proxy.mutex);
  ASSERT_EQ(proxy.received.size(), 3u); // asked, NEGOTIATE, AUTHENTICATE
  const auto& negotiate = proxy.received[1];
  const auto& authenticate = proxy.received[2];
  EXPECT_EQ(negotiate.connection, authenticate.connection);
  const std::string start =
      secure ? "CONNECT 127.0.0.1:9 HTTP/1.1\r\n" : "POST http://127.0.0.1:9/x";
  for (const auto& r : proxy.received) {
    EXPECT_EQ(r.head.compare(0, start.size(), start), 0) << r.head;
  }
  // NEGOTIATE: 40 bytes, ending in its Version field.
  ASSERT_EQ(negotiate.ntlm.size(), 40u);
  EXPECT_EQ(Get32(negotiate.ntlm, 8), 1u);
  // AUTHENTICATE: the payload starts after the Version and MIC fields (offset 88).
  ASSERT_GE(authenticate.ntlm.size(), 88u);
  EXPECT_EQ(Get32(authenticate.ntlm, 8), 3u);
  EXPECT_EQ(Get32(authenticate.ntlm, 16), 88u);
  if (!secure) {
    // The probe goes without the body; the body goes once, with the AUTHENTICATE message.
    EXPECT_NE(negotiate.head.find("Content-Length: 0\r\n"), std::string::npos);
    EXPECT_EQ(authenticate.head.substr(authenticate.head.size() - 7), "<body/>");
  }
  // The record shows every request as the proxy got it, the layer's own CONNECTs included, in
  // the order they went, with the credentials masked.
  std::vector<std::string> sent;
  for (const TExchangeLeg& leg : record.legs) {
    if (!leg.requestHead.empty()) {
      sent.push_back(leg.requestHead);
    }
  }
  ASSERT_EQ(sent.size(), proxy.received.size());
  for (std::size_t i = 0; i < sent.size(); ++i) {
    const std::string& wire = proxy.received[i].head;
    EXPECT_EQ(sent[i], MaskCredentials(wire.substr(0, wire.find("\r\n\r\n") + 4))) << i;
  }
  EXPECT_NE(sent[2].find("Proxy-Authorization: NTLM ["), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Schemes, ProxyNtlmMessages, testing::Values(kHttpFlags, kSecure),
                         [](const auto& info) { return info.param == kSecure ? "https" : "http"; });

// A proxy that never answers the handshake: the timeout ends it, and so does the user's Escape;
// one that sends interim replies without end is not waited for either.
struct StallCase {
  const char* name;
  DWORD flags;
  TNtlmProxy::Mode mode;
  bool escape;
  DWORD code;
};

constexpr auto kStall = TNtlmProxy::Mode::Stall;

class ProxyNtlmStall : public testing::TestWithParam<StallCase> {
protected:
  void TearDown() override {
    SetWaitHook({});
    EXPECT_EQ(OpenHandleCount(), 0u);
  }
};

TEST_P(ProxyNtlmStall, TheWaitEnds) {
  const StallCase& c = GetParam();
  TNtlmProxy proxy(c.mode);
  if (c.escape) {
    // Escape while the proxy holds the NEGOTIATE message unanswered.
    SetWaitHook([&] {
      std::lock_guard lock(proxy.mutex);
      return std::any_of(proxy.received.begin(), proxy.received.end(),
                         [](const auto& r) { return !r.ntlm.empty(); });
    });
  }
  const auto started = std::chrono::steady_clock::now();
  TProxied session(proxy.Port(), c.flags, c.escape ? 60'000 : 300);
  const std::string body = "<body/>";
  EXPECT_FALSE(
      HttpSendRequestW(session.request, nullptr, 0, body.data(), static_cast<DWORD>(body.size())));
  EXPECT_EQ(GetLastError(), c.code);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProxyNtlmStall,
    testing::Values(
        StallCase{"http_timeout", kHttpFlags, kStall, false, ERROR_INTERNET_TIMEOUT},
        StallCase{"http_escape", kHttpFlags, kStall, true, ERROR_INTERNET_OPERATION_CANCELLED},
        StallCase{"https_timeout", kSecure, kStall, false, ERROR_INTERNET_TIMEOUT},
        StallCase{"https_escape", kSecure, kStall, true, ERROR_INTERNET_OPERATION_CANCELLED},
        StallCase{"https_endless_interim", kSecure, TNtlmProxy::Mode::Interim, false,
                  ERROR_HTTP_INVALID_SERVER_RESPONSE}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace opc::test
