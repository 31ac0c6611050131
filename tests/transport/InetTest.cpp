#include "InetSession.h"
#include "LoopbackServer.h"
#include "RawServer.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

namespace opc::test {
namespace {

class Inet : public testing::Test {
protected:
  void TearDown() override { EXPECT_EQ(OpenHandleCount(), 0u) << "a handle outlived the test"; }
};

TEST_F(Inet, PostsTheBodyWithTheCallersHeaderLinesOnly) {
  TLoopbackServer<> server;
  httplib::Headers seen;
  std::string received;
  server.server.Post("/x", [&](const httplib::Request& request, httplib::Response& response) {
    seen = request.headers;
    received = request.body;
    response.set_content("<reply/>", "text/xml; charset=utf-8");
  });
  server.Start();
  TInetSession session(server.port);
  session.AddHeader(u"SOAPAction: \"urn:act\"");
  session.AddHeader(u"Content-Type: text/xml; charset=\"utf-8\"");
  ASSERT_TRUE(session.Send("<Body/>")) << GetLastError();
  EXPECT_EQ(session.Status(), 200u);
  bool ok = false;
  EXPECT_EQ(session.ReadAll(ok), "<reply/>");
  EXPECT_TRUE(ok);
  EXPECT_EQ(received, "<Body/>");
  const auto header = [&](const char* name) {
    const auto found = seen.find(name);
    return found == seen.end() ? std::string("(none)") : found->second;
  };
  EXPECT_EQ(header("SOAPAction"), "\"urn:act\"");
  EXPECT_EQ(header("Content-Type"), "text/xml; charset=\"utf-8\"");
  EXPECT_EQ(header("User-Agent"), "test agent");
  EXPECT_EQ(header("Content-Length"), "7");
  EXPECT_EQ(header("Expect"), "(none)");
  EXPECT_EQ(header("Accept"), "(none)");
  EXPECT_EQ(header("Accept-Encoding"), "(none)");
}

TEST_F(Inet, AnEmptyHeaderValueGoesAsAnEmptyLine) {
  std::string head;
  TRawServer server([&](int fd) {
    head = TRawServer::ReadRequest(fd);
    TRawServer::Send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
  });
  {
    TInetSession session(server.port());
    session.AddHeader(u"SOAPAction:");
    ASSERT_TRUE(session.Send(""));
  }
  EXPECT_NE(head.find("\r\nSOAPAction:\r\n"), std::string::npos) << head;
}

TEST_F(Inet, APieceByPieceUploadAnnouncesItsLengthAndArrivesWhole) {
  TLoopbackServer<> server;
  std::string received, length, encoding;
  server.server.Post("/x", [&](const httplib::Request& request, httplib::Response& response) {
    received = request.body;
    length = request.get_header_value("Content-Length");
    encoding = request.get_header_value("Transfer-Encoding");
    response.set_content("ok", "text/xml");
  });
  server.Start();
  std::string body(1 << 20, '\0');
  for (std::size_t i = 0; i < body.size(); ++i) {
    body[i] = static_cast<char>('a' + i % 23);
  }
  body += "tail!";
  TInetSession session(server.port);
  ASSERT_TRUE(session.Upload(body)) << GetLastError();
  EXPECT_EQ(session.Status(), 200u);
  EXPECT_EQ(length, std::to_string(body.size()));
  EXPECT_EQ(encoding, "");
  EXPECT_TRUE(received == body);
}

TEST_F(Inet, ReadsChunkedAndCountedBodies) {
  TLoopbackServer<> server;
  server.server.Post("/x", [](const httplib::Request&, httplib::Response& response) {
    response.set_chunked_content_provider(
        "text/xml", [](std::size_t offset, httplib::DataSink& sink) {
          if (offset < 300000) {
            const std::string chunk(100000, static_cast<char>('0' + offset / 100000));
            sink.write(chunk.data(), chunk.size());
          } else {
            sink.done();
          }
          return true;
        });
  });
  server.Start();
  TInetSession session(server.port);
  ASSERT_TRUE(session.Send("b"));
  bool ok = false;
  const std::string body = session.ReadAll(ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(body, std::string(100000, '0') + std::string(100000, '1') + std::string(100000, '2'));
}

TEST_F(Inet, HeaderQueriesFollowTheIndexAndBufferRules) {
  TRawServer server([](int fd) {
    TRawServer::ReadRequest(fd);
    TRawServer::Send(fd, "HTTP/1.1 404 Not Found Here\r\nContent-Type: text/xml\r\n"
                         "Content-Type: second\r\nContent-Length: 0\r\n\r\n");
  });
  TInetSession session(server.port());
  ASSERT_TRUE(session.Send("b"));
  DWORD index = 0;
  DWORD status = 0, length = sizeof status;
  ASSERT_TRUE(HttpQueryInfoW(session.request, HTTP_QUERY_FLAG_NUMBER | HTTP_QUERY_STATUS_CODE,
                             &status, &length, &index));
  EXPECT_EQ(status, 404u);
  EXPECT_EQ(index, 0u) << "status-line queries do not move the index";
  EXPECT_EQ(session.Query(HTTP_QUERY_STATUS_TEXT, &index), u"Not Found Here");
  EXPECT_EQ(index, 0u);
  EXPECT_EQ(session.Query(HTTP_QUERY_CONTENT_TYPE, &index), u"text/xml");
  EXPECT_EQ(index, 1u);
  EXPECT_EQ(session.Query(HTTP_QUERY_CONTENT_TYPE, &index), u"second");
  EXPECT_EQ(session.Query(HTTP_QUERY_CONTENT_TYPE, &index), std::nullopt);
  EXPECT_EQ(GetLastError(), ERROR_HTTP_HEADER_NOT_FOUND);

  char16_t small[4];
  length = sizeof small;
  index = 0;
  EXPECT_FALSE(HttpQueryInfoW(session.request, HTTP_QUERY_CONTENT_TYPE, small, &length, &index));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(length, 18u) << "the bytes needed, terminator included";
  EXPECT_EQ(index, 0u);
}

struct FaultCase {
  const char* name;
  std::function<void(int fd)> script;
  bool sendFails;
  DWORD code;
  std::string bodyBefore; // what a read gets before it fails
};

class InetFault : public Inet, public testing::WithParamInterface<FaultCase> {};

TEST_P(InetFault, NamesEachFailureByTheClientsCode) {
  TRawServer server(GetParam().script);
  TInetSession session(server.port(), kHttpFlags, u"127.0.0.1", u"", u"", 400);
  const bool sent = session.Send("b");
  if (GetParam().sendFails) {
    EXPECT_FALSE(sent);
    EXPECT_EQ(GetLastError(), GetParam().code);
    return;
  }
  ASSERT_TRUE(sent) << GetLastError();
  bool ok = true;
  EXPECT_EQ(session.ReadAll(ok), GetParam().bodyBefore);
  EXPECT_FALSE(ok);
  EXPECT_EQ(GetLastError(), GetParam().code);
}

void ReadThenWaitForClose(int fd) {
  TRawServer::ReadRequest(fd);
  char byte;
  while (::recv(fd, &byte, 1, 0) > 0) {
  }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, InetFault,
    testing::Values(
        FaultCase{"closed_mid_body",
                  [](int fd) {
                    TRawServer::ReadRequest(fd);
                    TRawServer::Send(fd,
                                     "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789");
                  },
                  false, ERROR_INTERNET_CONNECTION_ABORTED, "0123456789"},
        FaultCase{"chunked_cut",
                  [](int fd) {
                    TRawServer::ReadRequest(fd);
                    TRawServer::Send(fd, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                         "5\r\nhello\r\n");
                  },
                  false, ERROR_INTERNET_CONNECTION_ABORTED, "hello"},
        FaultCase{"reset_mid_body",
                  [](int fd) {
                    TRawServer::ReadRequest(fd);
                    TRawServer::Send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc");
                    ::usleep(100000);
                    TRawServer::Reset(fd);
                  },
                  false, ERROR_INTERNET_CONNECTION_RESET, "abc"},
        FaultCase{"trickle_then_silence",
                  [](int fd) {
                    TRawServer::ReadRequest(fd);
                    TRawServer::Send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nx");
                    char byte;
                    while (::recv(fd, &byte, 1, 0) > 0) {
                    }
                  },
                  false, ERROR_INTERNET_TIMEOUT, "x"},
        FaultCase{"not_http",
                  [](int fd) {
                    TRawServer::ReadRequest(fd);
                    TRawServer::Send(fd, "garbage garbage\r\n\r\n");
                  },
                  true, ERROR_HTTP_INVALID_SERVER_RESPONSE, ""},
        FaultCase{"closed_without_reply", [](int fd) { TRawServer::ReadRequest(fd); }, true,
                  ERROR_HTTP_INVALID_SERVER_RESPONSE, ""},
        FaultCase{"reset_without_reply",
                  [](int fd) {
                    TRawServer::ReadRequest(fd);
                    TRawServer::Reset(fd);
                  },
                  true, ERROR_INTERNET_CONNECTION_RESET, ""},
        FaultCase{"never_answers", ReadThenWaitForClose, true, ERROR_INTERNET_TIMEOUT, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Inet, RefusedPortAndUnknownHost) {
  int port = 0;
  {
    TRawServer closed([](int) {});
    port = closed.port();
  } // nothing listens there any more
  {
    TInetSession refused(port);
    EXPECT_FALSE(refused.Send("b"));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_CANNOT_CONNECT);
  }
  TInetSession unknown(80, kHttpFlags, u"no-such-host.invalid");
  EXPECT_FALSE(unknown.Send("b"));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_NAME_NOT_RESOLVED);
  char16_t text[256] = {};
  FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM,
                 GetModuleHandleW(u"wininet.dll"), ERROR_INTERNET_NAME_NOT_RESOLVED, 0, text, 256,
                 nullptr);
  EXPECT_EQ(std::u16string(text), u"The server name or address could not be resolved\r\n");
}

TEST_F(Inet, KeepsTheConnectionAliveBetweenRequestsOfOneConnection) {
  TLoopbackServer<> server;
  std::vector<int> ports;
  server.server.Post("/x", [&](const httplib::Request& request, httplib::Response& response) {
    ports.push_back(request.remote_port);
    response.set_content("ok", "text/xml");
  });
  server.Start();
  TInetSession session(server.port);
  bool ok = false;
  ASSERT_TRUE(session.Send("one"));
  session.ReadAll(ok);
  session.CloseRequest();
  session.OpenRequest();
  ASSERT_TRUE(session.Send("two"));
  session.ReadAll(ok);
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports[0], ports[1]);
}

TEST_F(Inet, BadHandlesAndHeaderLinesAreRefused) {
  EXPECT_FALSE(HttpSendRequestW(reinterpret_cast<HINTERNET>(0x1234), nullptr, 0, nullptr, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(InternetCloseHandle(reinterpret_cast<HINTERNET>(0x1234)));
  TInetSession session(1);
  EXPECT_FALSE(HttpAddRequestHeadersW(session.request, u"no colon", 8, HTTP_ADDREQ_FLAG_ADD));
  EXPECT_EQ(HttpOpenRequestW(session.connection, u"POST", u"/a\r\nInjected: 1", nullptr, nullptr,
                             nullptr, kHttpFlags, 0),
            nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_INVALID_URL);
}

} // namespace
} // namespace opc::test
