#include "InetSession.h"
#include "LoopbackServer.h"

#include <gtest/gtest.h>

namespace opc::test {
namespace {

constexpr DWORD kDialogFlags = FLAGS_ERROR_UI_FILTER_FOR_ERRORS |
                               FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
                               FLAGS_ERROR_UI_FLAGS_GENERATE_DATA;

// A server that wants "user" and "secret" by Basic, offering an unknown scheme beside it.
class InetChallenge : public testing::Test {
protected:
  void SetUp() override {
    server.server.Post("/x", [this](const httplib::Request& request, httplib::Response& response) {
      authorizations.push_back(request.get_header_value("Authorization"));
      if (authorizations.back() == "Basic dXNlcjpzZWNyZXQ=") {
        response.set_content("<welcome/>", "text/xml");
        return;
      }
      response.status = 401;
      response.set_header("WWW-Authenticate", "Bearer");
      response.set_header("WWW-Authenticate", "Basic charset=\"UTF-8\", realm=\"plant \\\"A\\\"\"");
      response.set_content("<unauthorised/>", "text/xml");
    });
    server.Start();
  }
  void TearDown() override {
    SetErrorDialogHook({});
    EXPECT_EQ(OpenHandleCount(), 0u);
  }
  TLoopbackServer<> server;
  std::vector<std::string> authorizations;
};

TEST_F(InetChallenge, TheHookLearnsWhoAsksHowAndWhetherTheLastAnswerWasRefused) {
  std::vector<TAuthChallenge> seen;
  std::vector<std::u16string> answers = {u"wrong", u"secret"};
  SetErrorDialogHook([&](HINTERNET request, DWORD) -> DWORD {
    TAuthChallenge challenge;
    EXPECT_TRUE(QueryAuthChallenge(request, challenge));
    seen.push_back(challenge);
    const std::u16string password = answers[seen.size() - 1];
    InternetSetOptionW(request, INTERNET_OPTION_USERNAME, u"user", 4);
    InternetSetOptionW(request, INTERNET_OPTION_PASSWORD, password.c_str(),
                       static_cast<DWORD>(password.size()));
    return ERROR_INTERNET_FORCE_RETRY;
  });
  TInetSession session(server.port);
  void* data = nullptr;
  int sends = 0;
  do {
    ASSERT_TRUE(session.Send("b"));
    ++sends;
  } while (sends < 5 && InternetErrorDlg(GetDesktopWindow(), session.request, 0, kDialogFlags,
                                         &data) == ERROR_INTERNET_FORCE_RETRY);
  EXPECT_EQ(session.Status(), 200u);
  ASSERT_EQ(seen.size(), 2u);
  for (const TAuthChallenge& c : seen) {
    EXPECT_FALSE(c.proxy);
    EXPECT_EQ(c.host, "127.0.0.1");
    EXPECT_EQ(c.port, server.port);
    EXPECT_EQ(c.schemes, (std::vector<std::string>{"Bearer", "Basic"}));
    EXPECT_EQ(c.realm, "plant \"A\"");
    EXPECT_EQ(c.status, 401);
    EXPECT_EQ(c.reason, "Unauthorized");
  }
  EXPECT_FALSE(seen[0].refused); // nothing had been answered yet
  EXPECT_TRUE(seen[1].refused);  // "wrong" went and was refused
  // The first answer went once, not again after its refusal.
  EXPECT_EQ(std::count(authorizations.begin(), authorizations.end(), "Basic dXNlcjp3cm9uZw=="), 1);
}

TEST_F(InetChallenge, AnAnswerForTheProxyDoesNotGoToTheServer) {
  TInetSession session(server.port);
  ASSERT_TRUE(session.Send("b"));
  InternetSetOptionW(session.request, INTERNET_OPTION_PROXY_USERNAME, u"user", 4);
  InternetSetOptionW(session.request, INTERNET_OPTION_PROXY_PASSWORD, u"secret", 6);
  ASSERT_TRUE(session.Send("b"));
  EXPECT_EQ(session.Status(), 401u);
  for (const std::string& authorization : authorizations) {
    EXPECT_EQ(authorization, "");
  }
  TAuthChallenge challenge;
  ASSERT_TRUE(QueryAuthChallenge(session.request, challenge));
  EXPECT_FALSE(challenge.refused);
}

TEST_F(InetChallenge, AReplyThatAsksForNothingHasNoChallenge) {
  TInetSession session(server.port);
  InternetSetOptionW(session.request, INTERNET_OPTION_USERNAME, u"user", 4);
  InternetSetOptionW(session.request, INTERNET_OPTION_PASSWORD, u"secret", 6);
  ASSERT_TRUE(session.Send("b"));
  EXPECT_EQ(session.Status(), 200u);
  TAuthChallenge challenge;
  EXPECT_FALSE(QueryAuthChallenge(session.request, challenge));
}

} // namespace
} // namespace opc::test
