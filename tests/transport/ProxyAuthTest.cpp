#include "AuthPost.h"
#include "InetSession.h"
#include "LoopbackServer.h"
#include "SquidProxy.h"
#include "TestCertificates.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <mutex>

namespace opc::test {
namespace {

using TAnswer = TScriptedDialog::Answer;
const TAnswer kRight = std::pair{std::u16string(u"user"), std::u16string(u"secret")};
const TAnswer kWrong = std::pair{std::u16string(u"user"), std::u16string(u"wrong")};
const TAnswer kCancel = std::nullopt;

// The server behind the proxy: it answers every post and keeps the headers it was sent.
struct TOrigin {
  std::mutex mutex;
  std::vector<std::string> authorizations;
  template <class Server> void Serve(Server& server) {
    // One request per connection: a connection the proxy keeps open would hold the server's
    // stop for its keep-alive time.
    server.set_keep_alive_max_count(1);
    server.Post("/x", [this](const httplib::Request& request, httplib::Response& response) {
      std::lock_guard lock(mutex);
      authorizations.push_back(request.get_header_value("Authorization") + "|" +
                               request.get_header_value("Proxy-Authorization"));
      response.set_content("<reply>" + request.body + "</reply>", "text/xml");
    });
  }
};

class ProxyBasic : public testing::Test {
protected:
  static void SetUpTestSuite() { squid = TSquidProxy::Start(TSquidProxy::Auth::Basic).release(); }
  static void TearDownTestSuite() {
    delete squid;
    squid = nullptr;
  }
  void SetUp() override {
    if (!squid) {
      GTEST_SKIP() << TSquidProxy::Missing(TSquidProxy::Auth::Basic);
    }
    origin.Serve(http.server);
    http.Start();
  }
  void TearDown() override { EXPECT_EQ(OpenHandleCount(), 0u); }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(http.port) + "/x"; }

  static TSquidProxy* squid;
  TOrigin origin;
  TLoopbackServer<> http;
  // The proxy must be used for 127.0.0.1 whatever the machine's bypass list says.
  TScopedEnv noProxy{"no_proxy", nullptr}, noProxyUpper{"NO_PROXY", nullptr};
};
TSquidProxy* ProxyBasic::squid = nullptr;

TEST_F(ProxyBasic, TheConnectionsCredentialsAnswerTheProxy) {
  TScriptedDialog dialog({});
  const TPostResult result = Post(Url(), squid->Address(), u"user", u"secret", "<a/>");
  EXPECT_EQ(result.message, u"");
  EXPECT_EQ(result.response, "<reply><a/></reply>");
  EXPECT_TRUE(dialog.asked.empty());
  std::lock_guard lock(origin.mutex);
  ASSERT_EQ(origin.authorizations.size(), 1u);
  EXPECT_EQ(origin.authorizations[0], "|"); // the proxy's credentials stop at the proxy
}

struct DialogCase {
  const char* name;
  std::vector<TAnswer> answers;
  std::size_t questions;
  bool reached; // the post went through; otherwise a silent abort
};

class ProxyBasicDialog : public ProxyBasic, public testing::WithParamInterface<DialogCase> {};

TEST_P(ProxyBasicDialog, TheDialogNamesTheProxyAndItsAnswerGoesThere) {
  const DialogCase& c = GetParam();
  TScriptedDialog dialog(c.answers);
  const TPostResult result = Post(Url(), squid->Address());
  ASSERT_EQ(dialog.asked.size(), c.questions);
  for (std::size_t i = 0; i < dialog.asked.size(); ++i) {
    const TAuthChallenge& asked = dialog.asked[i];
    EXPECT_TRUE(asked.proxy);
    EXPECT_EQ(asked.host, "127.0.0.1");
    EXPECT_EQ(asked.port, squid->Port());
    EXPECT_EQ(asked.schemes, std::vector<std::string>{"Basic"});
    EXPECT_EQ(asked.realm, "plant");
    EXPECT_EQ(asked.status, 407);
    // Refused only after an answer was given.
    EXPECT_EQ(asked.refused, i > 0) << i;
  }
  if (c.reached) {
    EXPECT_EQ(result.message, u"");
    EXPECT_EQ(result.response, "<reply><body/></reply>");
  } else {
    EXPECT_TRUE(result.silent);
    EXPECT_EQ(result.response, "");
  }
}

INSTANTIATE_TEST_SUITE_P(Answers, ProxyBasicDialog,
                         testing::Values(DialogCase{"answered", {kRight}, 1, true},
                                         DialogCase{"cancelled", {kCancel}, 1, false},
                                         DialogCase{"wrong_then_right", {kWrong, kRight}, 2, true},
                                         DialogCase{
                                             "wrong_then_cancelled", {kWrong, kCancel}, 2, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// The dialog's answer is kept for the proxy: the next post (the next F9) asks nothing.
TEST_F(ProxyBasic, TheAnswerIsKeptForTheNextPost) {
  TScriptedDialog dialog({kRight});
  EXPECT_EQ(Post(Url(), squid->Address(), {}, {}, "<one/>").response, "<reply><one/></reply>");
  EXPECT_EQ(Post(Url(), squid->Address(), {}, {}, "<two/>").response, "<reply><two/></reply>");
  EXPECT_EQ(dialog.asked.size(), 1u);
}

// With the preconfigured access type the proxy comes from the environment, as on a desktop
// whose proxy settings are exported to programs.
TEST_F(ProxyBasic, ThePreconfiguredProxyComesFromTheEnvironment) {
  const std::string proxy = "http://" + squid->Address();
  TScopedEnv env("http_proxy", proxy.c_str());
  TScriptedDialog dialog({kRight});
  const TPostResult result = Post(Url());
  EXPECT_EQ(result.response, "<reply><body/></reply>");
  ASSERT_EQ(dialog.asked.size(), 1u);
  EXPECT_TRUE(dialog.asked[0].proxy);
  EXPECT_EQ(dialog.asked[0].port, squid->Port());
  EXPECT_NE(squid->AccessLog().find("POST http://127.0.0.1:" + std::to_string(http.port)),
            std::string::npos);
}

// https goes through the proxy as a tunnel (CONNECT); the certificate rules are the server's.
struct TunnelCase {
  const char* name;
  const char* altName;
  long validFrom, validUntil;
  bool trusted;
  DWORD flags;
  DWORD code; // 0: through
};

// Through squid with Basic (curl's CONNECT) and with NTLM (the layer's own tunnel).
class ProxyTunnel : public testing::TestWithParam<std::tuple<TSquidProxy::Auth, TunnelCase>> {
protected:
  static void SetUpTestSuite() {
    basic = TSquidProxy::Start(TSquidProxy::Auth::Basic).release();
    ntlm = TSquidProxy::Start(TSquidProxy::Auth::Ntlm).release();
    pki = new TTempFolder("opcxmlda-tunnel-pki");
    authority = new TTestAuthority(pki->Path());
  }
  static void TearDownTestSuite() {
    delete authority;
    delete pki;
    delete basic;
    delete ntlm;
    basic = ntlm = nullptr;
    SetCertificateAuthorityFile("");
  }
  void SetUp() override {
    const TSquidProxy::Auth auth = std::get<0>(GetParam());
    squid = auth == TSquidProxy::Auth::Basic ? basic : ntlm;
    if (!squid) {
      GTEST_SKIP() << TSquidProxy::Missing(auth);
    }
  }
  void TearDown() override { EXPECT_EQ(OpenHandleCount(), 0u); }
  static TSquidProxy *basic, *ntlm;
  static TTempFolder* pki;
  static TTestAuthority* authority;
  TSquidProxy* squid = nullptr;
  TScopedEnv noProxy{"no_proxy", nullptr}, noProxyUpper{"NO_PROXY", nullptr};
};
TSquidProxy* ProxyTunnel::basic = nullptr;
TSquidProxy* ProxyTunnel::ntlm = nullptr;
TTempFolder* ProxyTunnel::pki = nullptr;
TTestAuthority* ProxyTunnel::authority = nullptr;

constexpr DWORD kSecureOnly = kHttpFlags | INTERNET_FLAG_SECURE;
constexpr long kDay = 86400;

TEST_P(ProxyTunnel, CertificateRulesApplyToTheServerBehindTheProxy) {
  const TunnelCase& c = std::get<1>(GetParam());
  const auto leaf = authority->Issue(c.name, c.altName, c.validFrom, c.validUntil);
  TLoopbackServer<httplib::SSLServer> server(leaf.certificateFile.c_str(), leaf.keyFile.c_str());
  TOrigin secureOrigin;
  secureOrigin.Serve(server.server);
  server.Start();
  SetCertificateAuthorityFile(c.trusted ? authority->CertificateFile() : "");
  TScriptedDialog dialog({kRight});

  const std::u16string proxy = Wide(squid->Address());
  HINTERNET root = InternetOpenW(u"agent", INTERNET_OPEN_TYPE_PROXY, proxy.c_str(), u"", 0);
  HINTERNET connection =
      InternetConnectW(root, u"127.0.0.1", static_cast<INTERNET_PORT>(server.port), u"", u"",
                       INTERNET_SERVICE_HTTP, 0, 0);
  HINTERNET request =
      HttpOpenRequestW(connection, u"POST", u"/x", nullptr, nullptr, nullptr, c.flags, 0);
  const std::string body = "tunnelled";
  DWORD code = 0;
  for (int round = 0; round < 3; ++round) {
    if (!HttpSendRequestW(request, nullptr, 0, body.data(), static_cast<DWORD>(body.size()))) {
      code = GetLastError();
      break;
    }
    void* data = nullptr;
    if (InternetErrorDlg(GetDesktopWindow(), request, 0, FLAGS_ERROR_UI_FILTER_FOR_ERRORS, &data) !=
        ERROR_INTERNET_FORCE_RETRY) {
      break;
    }
  }
  EXPECT_EQ(code, c.code);
  if (!c.code) {
    DWORD status = 0, length = sizeof status, index = 0;
    HttpQueryInfoW(request, HTTP_QUERY_FLAG_NUMBER | HTTP_QUERY_STATUS_CODE, &status, &length,
                   &index);
    EXPECT_EQ(status, 200u);
    ASSERT_EQ(dialog.asked.size(), 1u); // the proxy asked once, for the tunnel
    EXPECT_TRUE(dialog.asked[0].proxy);
  }
  InternetCloseHandle(request);
  InternetCloseHandle(connection);
  InternetCloseHandle(root);
  EXPECT_NE(squid->AccessLog().find("CONNECT 127.0.0.1:" + std::to_string(server.port)),
            std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProxyTunnel,
    testing::Combine(
        testing::Values(TSquidProxy::Auth::Basic, TSquidProxy::Auth::Ntlm),
        testing::Values(TunnelCase{"valid", "IP:127.0.0.1", -60, kDay, true, kSecureOnly, 0},
                        TunnelCase{"unknown_authority", "IP:127.0.0.1", -60, kDay, false,
                                   kHttpsFlags, ERROR_INTERNET_INVALID_CA},
                        TunnelCase{"expired_accepted", "IP:127.0.0.1", -2 * kDay, -kDay, true,
                                   kHttpsFlags, 0},
                        TunnelCase{"expired_refused", "IP:127.0.0.1", -2 * kDay, -kDay, true,
                                   kSecureOnly, ERROR_INTERNET_SEC_CERT_DATE_INVALID},
                        // The name checked is the server's (127.0.0.1), not the proxy's.
                        TunnelCase{"other_name_refused", "DNS:other.example", -60, kDay, true,
                                   kSecureOnly, ERROR_INTERNET_SEC_CERT_CN_INVALID},
                        TunnelCase{"other_name_accepted", "DNS:other.example", -60, kDay, true,
                                   kHttpsFlags, 0})),
    [](const auto& info) {
      return std::string(std::get<0>(info.param) == TSquidProxy::Auth::Basic ? "basic_" : "ntlm_") +
             std::get<1>(info.param).name;
    });

// squid's NTLM test helper takes any user; what is checked is the handshake with the proxy.
class ProxyNtlm : public ProxyBasic {
protected:
  static void SetUpTestSuite() { squid = TSquidProxy::Start(TSquidProxy::Auth::Ntlm).release(); }
  void SetUp() override {
    if (!squid) {
      GTEST_SKIP() << TSquidProxy::Missing(TSquidProxy::Auth::Ntlm);
    }
    origin.Serve(http.server);
    http.Start();
  }
};

TEST_F(ProxyNtlm, TheConnectionsCredentialsCompleteTheHandshake) {
  TScriptedDialog dialog({});
  const TPostResult result = Post(Url(), squid->Address(), u"PLANT\\alice", u"wonder", "<n/>");
  EXPECT_EQ(result.message, u"");
  EXPECT_EQ(result.response, "<reply><n/></reply>");
  EXPECT_TRUE(dialog.asked.empty());
}

TEST_F(ProxyNtlm, TheDialogIsToldNtlmAndItsAnswerCompletesTheHandshake) {
  TScriptedDialog dialog({std::pair{std::u16string(u"PLANT\\alice"), std::u16string(u"wonder")}});
  const TPostResult result = Post(Url(), squid->Address());
  EXPECT_EQ(result.response, "<reply><body/></reply>");
  ASSERT_EQ(dialog.asked.size(), 1u);
  EXPECT_TRUE(dialog.asked[0].proxy);
  EXPECT_EQ(dialog.asked[0].schemes, std::vector<std::string>{"NTLM"});
  EXPECT_EQ(dialog.asked[0].realm, "");
}

// https through the NTLM proxy, as the poster posts: the handshake goes on the CONNECT.
class ProxyNtlmHttps : public ProxyNtlm, public testing::WithParamInterface<DialogCase> {
protected:
  static void SetUpTestSuite() {
    ProxyNtlm::SetUpTestSuite();
    pki = new TTempFolder("opcxmlda-ntlm-tunnel-pki");
    authority = new TTestAuthority(pki->Path());
  }
  static void TearDownTestSuite() {
    delete authority;
    delete pki;
    SetCertificateAuthorityFile("");
    ProxyNtlm::TearDownTestSuite();
  }
  static TTempFolder* pki;
  static TTestAuthority* authority;
};
TTempFolder* ProxyNtlmHttps::pki = nullptr;
TTestAuthority* ProxyNtlmHttps::authority = nullptr;

TEST_P(ProxyNtlmHttps, TheTunnelOpensWithTheDialogsAnswer) {
  const DialogCase& c = GetParam();
  const auto leaf = authority->Issue("server", "IP:127.0.0.1", -60, 86400);
  TLoopbackServer<httplib::SSLServer> server(leaf.certificateFile.c_str(), leaf.keyFile.c_str());
  TOrigin secureOrigin;
  secureOrigin.Serve(server.server);
  server.Start();
  SetCertificateAuthorityFile(authority->CertificateFile());
  TScriptedDialog dialog(c.answers);
  const std::string url = "https://127.0.0.1:" + std::to_string(server.port) + "/x";
  const TPostResult result = Post(url, squid->Address());
  ASSERT_EQ(dialog.asked.size(), c.questions);
  for (const TAuthChallenge& asked : dialog.asked) {
    EXPECT_TRUE(asked.proxy);
    EXPECT_EQ(asked.port, squid->Port());
    EXPECT_EQ(asked.schemes, std::vector<std::string>{"NTLM"});
  }
  if (c.reached) {
    EXPECT_EQ(result.message, u"");
    EXPECT_EQ(result.response, "<reply><body/></reply>");
    std::lock_guard lock(secureOrigin.mutex);
    ASSERT_EQ(secureOrigin.authorizations.size(), 1u);
    EXPECT_EQ(secureOrigin.authorizations[0], "|"); // nothing of the proxy's reaches the server
  } else {
    EXPECT_TRUE(result.silent);
  }
  EXPECT_NE(squid->AccessLog().find("CONNECT 127.0.0.1:" + std::to_string(server.port)),
            std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Answers, ProxyNtlmHttps,
                         testing::Values(DialogCase{"answered", {kRight}, 1, true},
                                         DialogCase{"cancelled", {kCancel}, 1, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProxyNtlm, TheAnswerIsKeptForTheNextPost) {
  TScriptedDialog dialog({std::pair{std::u16string(u"PLANT\\alice"), std::u16string(u"wonder")}});
  EXPECT_EQ(Post(Url(), squid->Address(), {}, {}, "<one/>").response, "<reply><one/></reply>");
  EXPECT_EQ(Post(Url(), squid->Address(), {}, {}, "<two/>").response, "<reply><two/></reply>");
  EXPECT_EQ(dialog.asked.size(), 1u);
}

TEST_F(ProxyNtlm, HttpsWithTheConnectionsCredentialsAsksNothing) {
  TTempFolder pki("opcxmlda-ntlm-tunnel-pki");
  TTestAuthority authority(pki.Path());
  const auto leaf = authority.Issue("server", "IP:127.0.0.1", -60, 86400);
  TLoopbackServer<httplib::SSLServer> server(leaf.certificateFile.c_str(), leaf.keyFile.c_str());
  TOrigin secureOrigin;
  secureOrigin.Serve(server.server);
  server.Start();
  SetCertificateAuthorityFile(authority.CertificateFile());
  TScriptedDialog dialog({});
  const std::string url = "https://127.0.0.1:" + std::to_string(server.port) + "/x";
  const TPostResult result = Post(url, squid->Address(), u"PLANT\\alice", u"wonder", "<n/>");
  SetCertificateAuthorityFile("");
  EXPECT_EQ(result.message, u"");
  EXPECT_EQ(result.response, "<reply><n/></reply>");
  EXPECT_TRUE(dialog.asked.empty());
}

} // namespace
} // namespace opc::test
