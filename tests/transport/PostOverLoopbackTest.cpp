#include "InetSession.h"
#include "LoopbackServer.h"
#include "ProcessStats.h"
#include "RawServer.h"
#include "base/Error.h"
#include "sim/Routes.h"
#include "transport/MSHTTPPost.h"

#include <chrono>
#include <dirent.h>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

namespace opc::test {
namespace {

const std::u16string kAction = u"http://opcfoundation.org/webservices/XMLDA/1.0/GetStatus";

std::u16string Url(int port, const char* path = "/x") {
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + path;
  return std::u16string(url.begin(), url.end());
}

struct Result {
  std::u16string message;
  bool silent = false;
  std::string response;
};

Result PostTo(const std::u16string& url, const std::string& body) {
  ByteStream request(std::vector<std::uint8_t>(body.begin(), body.end()));
  ByteStream response;
  Result result;
  try {
    PostSoapRequest(url, u"", u"", u"", kAction, request, response);
  } catch (const SilentAbort&) {
    result.silent = true;
  } catch (const Error& e) {
    result.message = e.message();
  }
  result.response.assign(response.Bytes().begin(), response.Bytes().end());
  return result;
}

class PostOverLoopback : public testing::Test {
protected:
  void TearDown() override {
    SetErrorDialogHook({});
    EXPECT_EQ(OpenHandleCount(), 0u);
  }
};

TEST_F(PostOverLoopback, MessagesNameTheFailureTheUrlAndTheAction) {
  int port = 0;
  {
    TRawServer closed([](int) {});
    port = closed.port();
  }
  EXPECT_EQ(PostTo(Url(port), "b").message,
            u"A connection with the server could not be established - URL:" + Url(port) +
                u" - SOAPAction:" + kAction);
}

// Peers that misbehave mid-exchange: each failure is named for what happened, not for the state a
// handle was left in or for memory the program never ran short of.
TEST_F(PostOverLoopback, MisbehavingPeersAreNamedForWhatTheyDid) {
  struct Case {
    const char* name;
    std::size_t body;
    void (*script)(int fd);
    const char16_t* message;
  };
  const Case cases[] = {
      {"a header line of 200 KB", 10,
       [](int fd) {
         TRawServer::ReadRequest(fd);
         TRawServer::Send(fd, "HTTP/1.1 200 OK\r\nX-Long: " + std::string(200 * 1024, 'a') +
                                  "\r\nContent-Length: 0\r\n\r\n");
       },
       u"The server returned an invalid or unrecognized response"},
      {"a reset while the body is uploaded", 4 << 20,
       [](int fd) {
         char head[4096];
         (void)::recv(fd, head, sizeof head, 0);
         TRawServer::Reset(fd);
       },
       u"The connection with the server was reset"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TRawServer server(c.script);
    const std::u16string message = PostTo(Url(server.port()), std::string(c.body, 'b')).message;
    EXPECT_EQ(std::string(message.begin(), message.begin() + message.find(u" - URL:")),
              std::string(c.message, c.message + std::char_traits<char16_t>::length(c.message)));
  }
}

struct ReplyCase {
  const char* name;
  int status;
  const char* contentType;
  const char16_t* message; // with %u for the URL
  const char* response;
};

class PostReply : public PostOverLoopback, public testing::WithParamInterface<ReplyCase> {};

TEST_P(PostReply, StatusAndContentTypeRules) {
  TLoopbackServer<> server;
  server.server.Post("/x", [](const httplib::Request&, httplib::Response& response) {
    response.status = GetParam().status;
    response.set_content("<reply/>", GetParam().contentType);
  });
  server.Start();
  std::u16string expected = GetParam().message;
  if (const auto at = expected.find(u"%u"); at != std::u16string::npos) {
    expected.replace(at, 2, Url(server.port));
  }
  const Result result = PostTo(Url(server.port), "b");
  EXPECT_EQ(result.message, expected);
  EXPECT_EQ(result.response, GetParam().response);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PostReply,
    testing::Values(
        ReplyCase{"ok", 200, "text/xml; charset=utf-8", u"", "<reply/>"},
        ReplyCase{"fault_500_passes", 500, "text/xml; charset=utf-8", u"", "<reply/>"},
        ReplyCase{"not_found", 404, "text/xml", u"Not Found (404) - '%u'", ""},
        ReplyCase{"redirect_not_followed", 302, "text/xml", u"Found (302) - '%u'", ""},
        ReplyCase{"html_refused_after_the_body", 200, "TEXT/HTML",
                  u"invalid content type: TEXT/HTML - SOAP required \"text/xml\"", "<reply/>"},
        ReplyCase{"html_with_charset_passes", 200, "text/html; charset=utf-8", u"", "<reply/>"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PostOverLoopback, CredentialsFromTheDialogOrACancel) {
  TLoopbackServer<> server;
  server.server.Post("/x", [](const httplib::Request& request, httplib::Response& response) {
    if (request.get_header_value("Authorization") == "Basic dXNlcjpzZWNyZXQ=") {
      response.set_content("welcome", "text/xml");
      return;
    }
    response.status = 401;
    response.set_header("WWW-Authenticate", "Basic realm=\"sim\"");
    response.set_content("no", "text/xml");
  });
  server.Start();
  SetErrorDialogHook([](HINTERNET request, DWORD) -> DWORD {
    InternetSetOptionW(request, INTERNET_OPTION_USERNAME, u"user", 4);
    InternetSetOptionW(request, INTERNET_OPTION_PASSWORD, u"secret", 6);
    return ERROR_INTERNET_FORCE_RETRY;
  });
  EXPECT_EQ(PostTo(Url(server.port), "b").response, "welcome");

  // The answer is kept for the server's next challenge unless the session ends.
  InternetSetOptionW(nullptr, INTERNET_OPTION_END_BROWSER_SESSION, nullptr, 0);
  SetErrorDialogHook([](HINTERNET, DWORD) -> DWORD { return ERROR_CANCELLED; });
  const Result cancelled = PostTo(Url(server.port), "b");
  EXPECT_TRUE(cancelled.silent);
  EXPECT_EQ(cancelled.response, "");
}

// A dialog answer the server took answers its next challenge in this process without the
// dialog; one it refuses is dropped and the dialog asks again, with the refusal shown.
TEST_F(PostOverLoopback, AnAnswerIsKeptForTheSamePartyUntilRefused) {
  std::string accepted = "Basic dXNlcjpzZWNyZXQ="; // user:secret
  TLoopbackServer<> server;
  server.server.Post(
      R"(/(\w+))", [&](const httplib::Request& request, httplib::Response& response) {
        if (request.get_header_value("Authorization") == accepted) {
          response.set_content("welcome", "text/xml");
          return;
        }
        response.status = 401;
        response.set_header("WWW-Authenticate", "Basic realm=\"" + request.matches[1].str() + "\"");
      });
  server.Start();
  struct Asked {
    std::string realm;
    bool refused;
  };
  std::vector<Asked> asked;
  std::u16string password = u"secret";
  SetErrorDialogHook([&](HINTERNET request, DWORD) -> DWORD {
    TAuthChallenge challenge;
    QueryAuthChallenge(request, challenge);
    asked.push_back({challenge.realm, challenge.refused});
    InternetSetOptionW(request, INTERNET_OPTION_USERNAME, u"user", 4);
    InternetSetOptionW(request, INTERNET_OPTION_PASSWORD, password.c_str(),
                       static_cast<DWORD>(password.size()));
    return ERROR_INTERNET_FORCE_RETRY;
  });
  InternetSetOptionW(nullptr, INTERNET_OPTION_END_BROWSER_SESSION, nullptr, 0);

  EXPECT_EQ(PostTo(Url(server.port, "/plant"), "1").response, "welcome");
  EXPECT_EQ(PostTo(Url(server.port, "/plant"), "2").response, "welcome");
  ASSERT_EQ(asked.size(), 1u);
  // Another realm of the same server is another party.
  EXPECT_EQ(PostTo(Url(server.port, "/other"), "3").response, "welcome");
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[1].realm, "other");

  accepted = "Basic dXNlcjpzZXNhbWU="; // user:sesame
  password = u"sesame";
  EXPECT_EQ(PostTo(Url(server.port, "/plant"), "4").response, "welcome");
  ASSERT_EQ(asked.size(), 3u);
  EXPECT_EQ(asked[2].realm, "plant");
  EXPECT_TRUE(asked[2].refused); // the kept answer went and was refused
  EXPECT_EQ(PostTo(Url(server.port, "/plant"), "5").response, "welcome");
  EXPECT_EQ(asked.size(), 3u);
  InternetSetOptionW(nullptr, INTERNET_OPTION_END_BROWSER_SESSION, nullptr, 0);
}

TEST_F(PostOverLoopback, NoDescriptorOutlivesAPostOnSuccessOrFailure) {
  TRawServer server([](int fd) {
    const std::string request = TRawServer::ReadRequest(fd);
    if (request.find("fail") != std::string::npos) {
      TRawServer::Send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\ncut");
    } else {
      TRawServer::Send(fd,
                       "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: 2\r\n\r\nok");
    }
  });
  PostTo(Url(server.port()), "warm up");
  server.WaitIdle();
  const std::size_t before = OpenDescriptors();
  for (int i = 0; i < 40; ++i) {
    const Result result = PostTo(Url(server.port()), i % 2 ? "fail" : "pass");
    ASSERT_EQ(result.message.empty(), i % 2 == 0);
  }
  server.WaitIdle(); // the server's side closes on its own threads
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(PostOverLoopback, AReplyOfMoreThanAGibibyteStreamsInBoundedMemory) {
  constexpr std::size_t kChunk = 1 << 20;
  constexpr std::size_t kTotal = (std::size_t{1} << 30) + 1;
  TLoopbackServer<> server;
  server.server.Post("/x", [](const httplib::Request&, httplib::Response& response) {
    response.set_content_provider(
        kTotal, "text/xml", [](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
          static const std::string chunk(kChunk, 'z');
          sink.write(chunk.data(), std::min({length, kChunk, kTotal - offset}));
          return true;
        });
  });
  server.Start();
  ResetPeak(); // start the peak afresh
  const long before = PeakResidentKiB();
  TInetSession session(server.port);
  ASSERT_TRUE(session.Send("b"));
  std::size_t total = 0;
  for (;;) {
    DWORD available = 0;
    ASSERT_TRUE(InternetQueryDataAvailable(session.request, &available, 0, 0));
    if (available == 0) {
      break;
    }
    std::vector<char> buffer(available);
    DWORD read = 0;
    ASSERT_TRUE(InternetReadFile(session.request, buffer.data(), available, &read));
    total += read;
  }
  EXPECT_EQ(total, kTotal);
#if !defined(__SANITIZE_ADDRESS__) // the sanitizer's quarantine holds on to freed blocks
  EXPECT_LT(PeakResidentKiB() - before, 64 * 1024) << "the layer kept more than it handed out";
#else
  (void)before;
#endif
}

} // namespace
} // namespace opc::test

namespace opc::test {
namespace {

TEST_F(PostOverLoopback, TenThousandRoundTripsLeaveMemoryAndDescriptorsFlat) {
  sim::TService service;
  TLoopbackServer<> server;
  sim::AddServiceRoutes(server.server, service);
  server.Start();
  const std::u16string url = Url(server.port, sim::kServicePath);
  const std::string envelope =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?><SOAP-ENV:Envelope "
      "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\"><SOAP-ENV:Body><GetStatus "
      "xmlns=\"http://opcfoundation.org/webservices/XMLDA/1.0/\"/></SOAP-ENV:Body></"
      "SOAP-ENV:Envelope>";
  const auto run = [&](int times) {
    for (int i = 0; i < times; ++i) {
      const Result result = PostTo(url, envelope);
      ASSERT_TRUE(result.message.empty());
      ASSERT_NE(result.response.find("GetStatusResponse"), std::string::npos);
    }
  };
  run(500); // allocators and caches settle
  const long memory = ResidentKiB();
  const std::size_t descriptors = OpenDescriptors();
  run(9500);
  for (int i = 0; i < 100 && OpenDescriptors() > descriptors; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_LE(OpenDescriptors(),
            descriptors); // fewer: a connection of an earlier test closed meanwhile
  std::printf(
      "after 500 and 10,000 round trips: resident %ld KiB and %ld KiB, descriptors %zu and %zu\n",
      memory, ResidentKiB(), descriptors, OpenDescriptors());
#if !defined(__SANITIZE_ADDRESS__)
  EXPECT_LT(ResidentKiB() - memory, 4 * 1024) << "memory grew over 9,500 round trips";
#else
  (void)memory;
#endif
}

} // namespace
} // namespace opc::test
