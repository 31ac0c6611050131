#include "InetSession.h"
#include "LoopbackServer.h"
#include "TestCertificates.h"
#include "sim/Routes.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace opc::test {
namespace {

std::string TempFolder() {
  auto folder =
      std::filesystem::temp_directory_path() / ("opcxmlda-pki-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  return folder.string();
}

struct TlsCase {
  const char* name;
  const char* altName;
  long validFrom, validUntil;
  bool trusted;
  DWORD flags;
  DWORD code; // 0: the post goes through
};

class InetTls : public testing::TestWithParam<TlsCase> {
protected:
  static void SetUpTestSuite() { authority = new TTestAuthority(TempFolder()); }
  static void TearDownTestSuite() {
    delete authority;
    SetCertificateAuthorityFile("");
  }
  void TearDown() override { EXPECT_EQ(OpenHandleCount(), 0u); }
  static TTestAuthority* authority;
};
TTestAuthority* InetTls::authority = nullptr;

constexpr DWORD kSecureOnly = kHttpFlags | INTERNET_FLAG_SECURE;

TEST_P(InetTls, ChecksTheCertificateAsTheFlagsSay) {
  const TlsCase& c = GetParam();
  const auto leaf = authority->Issue(c.name, c.altName, c.validFrom, c.validUntil);
  TLoopbackServer<httplib::SSLServer> server(leaf.certificateFile.c_str(), leaf.keyFile.c_str());
  server.server.Post("/x", [](const httplib::Request& request, httplib::Response& response) {
    response.set_content("secure " + request.body, "text/xml");
  });
  server.Start();
  SetCertificateAuthorityFile(c.trusted ? authority->CertificateFile() : "");
  TInetSession session(server.port, c.flags);
  const bool sent = session.Send("body");
  if (c.code) {
    EXPECT_FALSE(sent);
    EXPECT_EQ(GetLastError(), c.code);
    return;
  }
  ASSERT_TRUE(sent) << GetLastError();
  bool ok = false;
  EXPECT_EQ(session.ReadAll(ok), "secure body");
}

constexpr long kDay = 86400;

INSTANTIATE_TEST_SUITE_P(
    Cases, InetTls,
    testing::Values(
        TlsCase{"valid", "IP:127.0.0.1", -60, kDay, true, kSecureOnly, 0},
        TlsCase{"unknown_authority", "IP:127.0.0.1", -60, kDay, false, kHttpsFlags,
                ERROR_INTERNET_INVALID_CA},
        TlsCase{"expired_accepted", "IP:127.0.0.1", -2 * kDay, -kDay, true, kHttpsFlags, 0},
        TlsCase{"not_yet_valid_accepted", "IP:127.0.0.1", kDay, 2 * kDay, true, kHttpsFlags, 0},
        TlsCase{"expired_refused", "IP:127.0.0.1", -2 * kDay, -kDay, true, kSecureOnly,
                ERROR_INTERNET_SEC_CERT_DATE_INVALID},
        TlsCase{"other_name_accepted", "DNS:other.example", -60, kDay, true, kHttpsFlags, 0},
        TlsCase{"other_name_refused", "DNS:other.example", -60, kDay, true, kSecureOnly,
                ERROR_INTERNET_SEC_CERT_CN_INVALID},
        TlsCase{"expired_and_unknown", "IP:127.0.0.1", -2 * kDay, -kDay, false, kHttpsFlags,
                ERROR_INTERNET_INVALID_CA}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(InetTlsPlain, PlainHttpToATlsPortIsAnInvalidReply) {
  TTestAuthority authority(TempFolder());
  const auto leaf = authority.Issue("plain", "IP:127.0.0.1", -60, kDay);
  TLoopbackServer<httplib::SSLServer> server(leaf.certificateFile.c_str(), leaf.keyFile.c_str());
  server.Start();
  TInetSession session(server.port, kHttpFlags, u"127.0.0.1", u"", u"", 2000);
  EXPECT_FALSE(session.Send("b"));
  EXPECT_NE(GetLastError(), 0u);
}

class InetAuth : public testing::TestWithParam<const char16_t*> {
protected:
  // The simulator's test routes want "user" and "secret", by Basic or by Digest.
  void SetUp() override {
    sim::AddTestRoutes(server.server);
    server.Start();
  }
  void TearDown() override {
    SetErrorDialogHook({});
    EXPECT_EQ(OpenHandleCount(), 0u);
  }
  TLoopbackServer<> server;
};

TEST_P(InetAuth, CredentialsOfTheConnectionAnswerTheChallenge) {
  TInetSession session(server.port, kHttpFlags, u"127.0.0.1", u"user", u"secret", 0, GetParam());
  ASSERT_TRUE(session.Send("b"));
  EXPECT_EQ(session.Status(), 200u);
}

TEST_P(InetAuth, TheDialogHookSuppliesCredentialsAndTheRequestGoesAgain) {
  int asked = 0;
  SetErrorDialogHook([&](HINTERNET request, DWORD status) -> DWORD {
    ++asked;
    EXPECT_EQ(status, 401u);
    InternetSetOptionW(request, INTERNET_OPTION_USERNAME, u"user", 4);
    InternetSetOptionW(request, INTERNET_OPTION_PASSWORD, u"secret", 6);
    return ERROR_INTERNET_FORCE_RETRY;
  });
  TInetSession session(server.port, kHttpFlags, u"127.0.0.1", u"", u"", 0, GetParam());
  ASSERT_TRUE(session.Send("again"));
  EXPECT_EQ(session.Status(), 401u);
  void* data = nullptr;
  const DWORD dialogFlags = FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
                            FLAGS_ERROR_UI_FLAGS_GENERATE_DATA;
  ASSERT_EQ(InternetErrorDlg(GetDesktopWindow(), session.request, 0, dialogFlags, &data),
            ERROR_INTERNET_FORCE_RETRY);
  ASSERT_TRUE(session.Send("again"));
  EXPECT_EQ(session.Status(), 200u);
  EXPECT_EQ(InternetErrorDlg(GetDesktopWindow(), session.request, 0, dialogFlags, &data),
            ERROR_SUCCESS);
  EXPECT_EQ(asked, 1);
}

TEST_P(InetAuth, WrongCredentialsEndInTheServersRefusal) {
  TInetSession session(server.port, kHttpFlags, u"127.0.0.1", u"user", u"wrong", 0, GetParam());
  ASSERT_TRUE(session.Send("b"));
  EXPECT_EQ(session.Status(), 401u);
  bool ok = false;
  EXPECT_EQ(session.ReadAll(ok), "<unauthorised/>");
}

INSTANTIATE_TEST_SUITE_P(Schemes, InetAuth,
                         testing::Values(u"/test/auth/basic", u"/test/auth/digest"),
                         [](const auto& info) {
                           return std::string(info.param[11] == u'b' ? "basic" : "digest");
                         });

} // namespace
} // namespace opc::test
