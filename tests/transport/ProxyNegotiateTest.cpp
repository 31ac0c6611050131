#include "AuthPost.h"
#include "InetSession.h"
#include "KerberosRealm.h"
#include "LoopbackServer.h"
#include "SquidProxy.h"
#include "TestCertificates.h"

#include <fstream>
#include <gtest/gtest.h>

namespace opc::test {
namespace {

using TAnswer = TScriptedDialog::Answer;
const TAnswer kAlice = std::pair{std::u16string(u"alice"), std::u16string(u"wonderland")};
const TAnswer kAliceWrong = std::pair{std::u16string(u"alice"), std::u16string(u"wrong")};

// squid asking for Negotiate (Kerberos) with the keys of HTTP/localhost, reached as
// localhost so that the service name the client asks the realm for is the one squid holds. For
// https the answer goes on the CONNECT of the tunnel, and the certificate is the server's.
class ProxyNegotiate : public testing::Test {
protected:
  static void SetUpTestSuite() {
    realm = TKerberosRealm::Start().release();
    if (realm) {
      squid = TSquidProxy::StartNegotiate(realm->Keytab(), realm->Environment()).release();
    }
    pki = new TTempFolder("opcxmlda-negotiate-tunnel-pki");
    authority = new TTestAuthority(pki->Path());
  }
  static void TearDownTestSuite() {
    delete squid;
    delete realm;
    delete authority;
    delete pki;
    squid = nullptr;
    realm = nullptr;
    SetCertificateAuthorityFile("");
  }
  void SetUp() override {
    if (!realm || !squid) {
      const std::string missing =
          TKerberosRealm::Missing() + TSquidProxy::Missing(TSquidProxy::Auth::Negotiate);
      GTEST_SKIP() << (missing.empty() ? "the realm or the proxy did not start" : missing);
    }
    const auto answer = [](const httplib::Request& request, httplib::Response& response) {
      response.set_content("<reply>" + request.body + "</reply>", "text/xml");
    };
    http.server.Post("/x", answer);
    http.Start();
    https.server.Post("/x", answer);
    https.Start();
    SetCertificateAuthorityFile(authority->CertificateFile());
  }
  void TearDown() override { EXPECT_EQ(OpenHandleCount(), 0u); }
  std::string Url(bool secure) const {
    return secure ? "https://127.0.0.1:" + std::to_string(https.port) + "/x"
                  : "http://127.0.0.1:" + std::to_string(http.port) + "/x";
  }
  std::string Proxy() const { return "localhost:" + std::to_string(squid->Port()); }

  static TKerberosRealm* realm;
  static TSquidProxy* squid;
  static TTempFolder* pki;
  static TTestAuthority* authority;
  TLoopbackServer<> http;
  TTestAuthority::Leaf leaf = authority->Issue("server", "IP:127.0.0.1", -60, 86400);
  TLoopbackServer<httplib::SSLServer> https{leaf.certificateFile.c_str(), leaf.keyFile.c_str()};
  TScopedEnv noProxy{"no_proxy", nullptr}, noProxyUpper{"NO_PROXY", nullptr};
  TScopedEnv config{"KRB5_CONFIG", realm ? realm->Environment()["KRB5_CONFIG"].c_str() : nullptr};
  // No ticket: the user's password is all there is.
  TScopedEnv cache{"KRB5CCNAME",
                   realm ? ("FILE:" + realm->Path("no-ticket.cache")).c_str() : nullptr};
};
TKerberosRealm* ProxyNegotiate::realm = nullptr;
TSquidProxy* ProxyNegotiate::squid = nullptr;
TTempFolder* ProxyNegotiate::pki = nullptr;
TTestAuthority* ProxyNegotiate::authority = nullptr;

struct DialogCase {
  const char* name;
  bool secure; // https: the answer goes on the CONNECT of the tunnel
  std::vector<TAnswer> answers;
  std::size_t questions;
  bool reached; // the post went through; otherwise a silent abort
};

class ProxyNegotiateDialog : public ProxyNegotiate,
                             public testing::WithParamInterface<DialogCase> {};

TEST_P(ProxyNegotiateDialog, TheDialogsPasswordAnswersTheProxy) {
  const DialogCase& c = GetParam();
  TScriptedDialog dialog(c.answers);
  const TPostResult result = Post(Url(c.secure), Proxy());
  ASSERT_EQ(dialog.asked.size(), c.questions) << squid->CacheLog();
  for (std::size_t i = 0; i < dialog.asked.size(); ++i) {
    EXPECT_TRUE(dialog.asked[i].proxy);
    EXPECT_EQ(dialog.asked[i].host, "localhost");
    EXPECT_EQ(dialog.asked[i].port, squid->Port());
    EXPECT_EQ(dialog.asked[i].schemes, std::vector<std::string>{"Negotiate"});
    EXPECT_EQ(dialog.asked[i].refused, i > 0);
  }
  if (c.reached) {
    EXPECT_EQ(result.message, u"");
    EXPECT_EQ(result.response, "<reply><body/></reply>");
  } else {
    EXPECT_TRUE(result.silent);
  }
  // The credential lived in the request only: nothing went into a ticket cache.
  EXPECT_FALSE(std::ifstream(realm->Path("no-ticket.cache")).good());
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ProxyNegotiateDialog,
    testing::Values(DialogCase{"answered", false, {kAlice}, 1, true},
                    DialogCase{"cancelled", false, {std::nullopt}, 1, false},
                    DialogCase{"wrong_then_right", false, {kAliceWrong, kAlice}, 2, true},
                    DialogCase{
                        "wrong_then_cancelled", false, {kAliceWrong, std::nullopt}, 2, false},
                    DialogCase{"https_answered", true, {kAlice}, 1, true},
                    DialogCase{"https_cancelled", true, {std::nullopt}, 1, false},
                    DialogCase{"https_wrong_then_right", true, {kAliceWrong, kAlice}, 2, true}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace opc::test
