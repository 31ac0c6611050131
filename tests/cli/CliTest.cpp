#include "FixedClock.h"
#include "LoopbackServer.h"
#include "RawServer.h"
#include "base/Utf8Encoding.h"
#include "cli/Check.h"
#include "cli/ExitCodes.h"
#include "cli/SchemaCheck.h"
#include "cli/Send.h"
#include "composition/Envelope.h"
#include "roundtrip/TemplateFile.h"
#include "sim/Routes.h"
#include "sim/Service.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <sstream>

namespace opc::cli {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// A folder of its own for each test, removed afterwards.
struct TempFolder {
  TempFolder() {
    char pattern[] = "/tmp/opcxmlda-cli-test-XXXXXX";
    path = mkdtemp(pattern);
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  fs::path path;
};

// The simulator on a free port of 127.0.0.1, with its test routes.
class Simulator {
public:
  Simulator() {
    sim::AddServiceRoutes(server.server, service);
    sim::AddTestRoutes(server.server);
    server.Start();
  }
  std::string Url(const std::string& path = sim::kServicePath) const {
    return "http://127.0.0.1:" + std::to_string(server.port) + path;
  }

private:
  sim::TService service;
  test::TLoopbackServer<> server;
};

struct TRun {
  int code;
  std::string out, err;
};

TRun Cli(const std::vector<std::string>& arguments) {
  std::ostringstream out, err;
  TOptions options;
  int code;
  try {
    options = ParseCommandLine(arguments);
    code = options.command == "check"  ? RunCheck(options, OPCXMLDA_TEMPLATES, out, err)
           : options.command == "help" ? RunCommandLine(arguments, out, err)
                                       : RunSend(options, OPCXMLDA_TEMPLATES, out, err);
  } catch (const TUsageError&) {
    code = RunCommandLine(arguments, out, err);
  }
  return {code, out.str(), err.str()};
}

TEST(CliSend, PostsTheSameBytesAsTheWindowForTheSameTextAndClock) {
  std::mutex mutex;
  std::string received;
  test::TRawServer recorder([&](int fd) {
    const std::string request = test::TRawServer::ReadRequest(fd);
    {
      std::lock_guard lock(mutex);
      received = request;
    }
    const std::string reply = "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\">"
                              "<s:Body><GetStatusResponse/></s:Body></s:Envelope>";
    test::TRawServer::Send(fd, "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " +
                                   std::to_string(reply.size()) + "\r\nConnection: close\r\n\r\n" +
                                   reply);
  });
  TempFolder folder;
  // A body as a user keeps it: UTF-8 with its mark, LF line ends, every placeholder, umlauts.
  const std::string body =
      "\xEF\xBB\xBF<Read xmlns=\"http://opcfoundation.org/webservices/XMLDA/"
      "1.0/\">\n  <Options RequestDeadline=\"#now+1m#\" "
      "ClientRequestHandle=\"#now# #now-1# #now+1#\"/>\n"
      "  <ItemList><Items ItemName=\"Gr\xC3\xBC\xC3\x9F\"/></ItemList>\n</Read>";
  std::ofstream(folder.path / "body.x", std::ios::binary) << body;
  test::FixedClock clock;
  const ScopedClock installed(clock);
  const TRun run =
      Cli({"send", "--url", "http://127.0.0.1:" + std::to_string(recorder.port()) + "/opc/da",
           "--op", "Read", "--body", (folder.path / "body.x").string()});
  recorder.WaitIdle();
  // What the window sends for the same editor text (the template as it loads it) and clock.
  test::FixedClock same;
  const ScopedClock again(same);
  const std::string envelope =
      EncodeUtf8(ComposeEnvelope(LoadTemplateText(folder.path / "body.x")));
  std::lock_guard lock(mutex);
  const std::size_t split = received.find("\r\n\r\n");
  ASSERT_NE(split, std::string::npos) << received;
  EXPECT_EQ(received.substr(split + 4), envelope);
  EXPECT_NE(envelope.find("2024-05-01T14:04:07.123+02:00"), std::string::npos) << envelope;
  EXPECT_NE(envelope.find("Gr\xC3\xBC\xC3\x9F"), std::string::npos);
  const std::string head = received.substr(0, split);
  EXPECT_EQ(head.rfind("POST /opc/da HTTP/1.1\r\n", 0), 0u) << head;
  EXPECT_NE(head.find("\r\nSOAPAction: \"http://opcfoundation.org/webservices/XMLDA/1.0/Read\""),
            std::string::npos)
      << head;
  EXPECT_NE(head.find("\r\nContent-Type: text/xml; charset=\"utf-8\""), std::string::npos) << head;
  EXPECT_NE(run.out.find("HTTP 200, text/xml"), std::string::npos) << run.out << run.err;
}

TEST(CliSend, GoesThroughTheProxyAndAnswersItsChallenge) {
  std::mutex mutex;
  std::vector<std::string> heads;
  test::TRawServer proxy([&](int fd) {
    for (;;) {
      const std::string request = test::TRawServer::ReadRequest(fd);
      if (request.empty()) {
        return;
      }
      const std::string head = request.substr(0, request.find("\r\n\r\n"));
      {
        std::lock_guard lock(mutex);
        heads.push_back(head);
      }
      if (head.find("\r\nProxy-Authorization: Basic dXNlcjpzZWNyZXQ=") == std::string::npos) {
        test::TRawServer::Send(fd, "HTTP/1.1 407 Proxy Authentication Required\r\n"
                                   "Proxy-Authenticate: Basic realm=\"proxy\"\r\n"
                                   "Content-Length: 0\r\n\r\n");
        continue;
      }
      const std::string reply =
          "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>"
          "<SubscriptionCancelResponse xmlns=\"http://opcfoundation.org/webservices/XMLDA/1.0/\"/>"
          "</s:Body></s:Envelope>";
      test::TRawServer::Send(fd, "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " +
                                     std::to_string(reply.size()) + "\r\n\r\n" + reply);
    }
  });
  const std::string proxyAddress = "127.0.0.1:" + std::to_string(proxy.port());
  const TRun refused = Cli({"send", "--url", "http://opc.example.invalid/da", "--op",
                            "SubscriptionCancel", "--proxy", proxyAddress});
  EXPECT_EQ(refused.code, kExitHttpRefused) << refused.out << refused.err;
  EXPECT_NE(refused.err.find("(407)"), std::string::npos) << refused.err;
  const TRun run =
      Cli({"send", "--url", "http://opc.example.invalid/da", "--op", "SubscriptionCancel",
           "--proxy", proxyAddress, "--user", "user", "--password", "secret"});
  EXPECT_EQ(run.code, kExitOk) << run.out << run.err;
  proxy.WaitIdle();
  std::lock_guard lock(mutex);
  ASSERT_FALSE(heads.empty());
  EXPECT_EQ(heads.back().rfind("POST http://opc.example.invalid/da HTTP/1.1\r\n", 0), 0u)
      << heads.back();
}

struct ExitCase {
  const char* name;
  std::function<std::vector<std::string>(const Simulator&, const fs::path& folder)> arguments;
  int code;
  const char* text; // in the output or the error output
};

const ExitCase kExitCases[] = {
    {"reply_without_errors",
     [](const Simulator& s, const fs::path& f) {
       return std::vector<std::string>{
           "send", "--url", s.Url(), "--op", "Read", "--out", (f / "Response.xml").string()};
     },
     kExitOk, "Static/Int32"},
    {"item_errors",
     [](const Simulator& s, const fs::path& f) {
       std::ofstream(f / "b.x")
           << "<Read xmlns=\"http://opcfoundation.org/webservices/XMLDA/1.0/\">"
              "<ItemList><Items ItemName=\"no/such\"/></ItemList></Read>";
       return std::vector<std::string>{
           "send", "--url", s.Url(), "--op", "Read", "--body", (f / "b.x").string()};
     },
     kExitItemErrors, "E_UNKNOWNITEMNAME: The item name is not known to the server."},
    {"soap_fault",
     [](const Simulator& s, const fs::path&) {
       return std::vector<std::string>{"send", "--url", s.Url(), "--op", "SubscriptionCancel"};
     },
     kExitSoapFault, "SOAP 1.1 fault: soap:Client - E_NOSUBSCRIPTION"},
    {"http_status",
     [](const Simulator& s, const fs::path&) {
       return std::vector<std::string>{"send", "--url", s.Url("/test/status?code=404"), "--op",
                                       "GetStatus"};
     },
     kExitHttpRefused, "Not Found (404) - 'http://127.0.0.1:"},
    {"content_type",
     [](const Simulator& s, const fs::path&) {
       return std::vector<std::string>{"send", "--url", s.Url("/test/status?type=text/html"),
                                       "--op", "GetStatus"};
     },
     kExitHttpRefused, "invalid content type: text/html - SOAP required \"text/xml\""},
    {"no_credentials",
     [](const Simulator& s, const fs::path&) {
       return std::vector<std::string>{"send", "--url", s.Url("/test/auth/basic"), "--op",
                                       "GetStatus"};
     },
     kExitHttpRefused, "(401)"},
    {"credentials_answer_the_challenge_and_the_reply_is_no_soap",
     [](const Simulator& s, const fs::path&) {
       return std::vector<std::string>{"send", "--url",      s.Url("/test/auth/basic"),
                                       "--op", "GetStatus",  "--user",
                                       "user", "--password", "secret"};
     },
     kExitNotUnderstood, "not a SOAP envelope"},
    {"no_server",
     [](const Simulator&, const fs::path&) {
       return std::vector<std::string>{"send", "--url", "http://127.0.0.1:1/x", "--op",
                                       "GetStatus"};
     },
     kExitTransport, "A connection with the server could not be established"},
    {"bad_url",
     [](const Simulator&, const fs::path&) {
       return std::vector<std::string>{"send", "--url", "not a url", "--op", "GetStatus"};
     },
     kExitTransport, "no or invalid url."},
    {"missing_body",
     [](const Simulator& s, const fs::path& f) {
       return std::vector<std::string>{
           "send", "--url", s.Url(), "--op", "Read", "--body", (f / "missing.x").string()};
     },
     kExitFile, "Cannot open file"},
    {"response_file_not_writable",
     [](const Simulator& s, const fs::path& f) {
       return std::vector<std::string>{"send",
                                       "--url",
                                       s.Url(),
                                       "--op",
                                       "GetStatus",
                                       "--out",
                                       (f / "no" / "Response.xml").string()};
     },
     kExitFile, "Cannot create file"},
    {"unknown_operation",
     [](const Simulator& s, const fs::path&) {
       return std::vector<std::string>{"send", "--url", s.Url(), "--op", "Fetch"};
     },
     kExitUsage, "--op must be one of"},
    {"no_url",
     [](const Simulator&, const fs::path&) {
       return std::vector<std::string>{"send", "--op", "Read"};
     },
     kExitUsage, "--url is needed"},
    {"no_command", [](const Simulator&, const fs::path&) { return std::vector<std::string>{}; },
     kExitUsage, "a command is needed"},
    {"help", [](const Simulator&, const fs::path&) { return std::vector<std::string>{"--help"}; },
     kExitOk, " 64   bad command line"},
};

void PrintTo(const ExitCase& c, std::ostream* out) {
  *out << c.name;
}

class CliExitCodes : public testing::TestWithParam<ExitCase> {
protected:
  static void SetUpTestSuite() { simulator = new Simulator; }
  static void TearDownTestSuite() { delete simulator; }
  static Simulator* simulator;
};
Simulator* CliExitCodes::simulator = nullptr;

TEST_P(CliExitCodes, TellTheOutcomeAndSayWhy) {
  TempFolder folder;
  const TRun run = Cli(GetParam().arguments(*simulator, folder.path));
  EXPECT_EQ(run.code, GetParam().code) << run.out << run.err;
  EXPECT_NE((run.out + run.err).find(GetParam().text), std::string::npos) << run.out << run.err;
}

INSTANTIATE_TEST_SUITE_P(Cli, CliExitCodes, testing::ValuesIn(kExitCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CliSend, VerboseShowsEveryLegOfAHandshakeWithTheCredentialsMasked) {
  const Simulator simulator;
  const TRun run = Cli({"send", "--url", simulator.Url("/test/auth/basic"), "--op", "GetStatus",
                        "--user", "user", "--password", "secret", "--verbose"});
  EXPECT_NE(run.err.find("=== Request 1 ===\n"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("< HTTP/1.1 401 "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("=== Request 2 ===\n"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("\n> Authorization: Basic [16 characters hidden]\n"), std::string::npos)
      << run.err;
  EXPECT_EQ(run.err.find("dXNlcjpzZWNyZXQ="), std::string::npos); // user:secret
  // Without the option nothing of the wire is printed.
  const TRun quiet = Cli({"send", "--url", simulator.Url("/test/auth/basic"), "--op", "GetStatus",
                          "--user", "user", "--password", "secret"});
  EXPECT_EQ(quiet.err.find("=== Request"), std::string::npos) << quiet.err;
}

TEST(CliSend, WritesTheResponseFileByTheWindowsRules) {
  Simulator simulator;
  TempFolder folder;
  const TRun run = Cli({"send", "--url", simulator.Url("/test/status?body=a%0Ab"), "--op",
                        "GetStatus", "--out", (folder.path / "r.xml").string()});
  EXPECT_EQ(run.code, kExitNotUnderstood) << run.err;
  EXPECT_EQ(ReadFile(folder.path / "r.xml"), "a\r\nb\r\n");
}

TEST(CliCheck, PassesAgainstTheSimulatorAndKeepsEveryExchange) {
  Simulator simulator;
  TempFolder folder;
  std::vector<std::string> arguments = {"check",
                                        "--url",
                                        simulator.Url(),
                                        "--junit",
                                        (folder.path / "junit.xml").string(),
                                        "--save-dir",
                                        (folder.path / "saved").string(),
                                        "--allow-write"};
  const fs::path wsdl = fs::path(OPCXMLDA_TEMPLATES) / "../../shared/OpcXmlDa-1.0.wsdl";
  if (fs::exists(wsdl)) {
    arguments.insert(arguments.end(), {"--schema", wsdl.string()});
  } else {
    std::cout << "The OPC XML-DA WSDL is not beside the checkout; replies are not validated.\n";
  }
  const TRun run = Cli(arguments);
  EXPECT_EQ(run.code, kExitOk) << run.out << run.err;
  EXPECT_EQ(run.out.find("FAIL"), std::string::npos) << run.out;
  const std::string junit = ReadFile(folder.path / "junit.xml");
  EXPECT_NE(junit.find("failures=\"0\""), std::string::npos) << junit;
  EXPECT_NE(junit.find("<testcase classname=\"opcxmlda-cli.check\" name=\"Write and read back\""),
            std::string::npos)
      << junit;
  EXPECT_TRUE(fs::exists(folder.path / "saved" / "001-GetStatus-request.xml"));
  EXPECT_NE(ReadFile(folder.path / "saved" / "001-GetStatus-reply.xml").find("GetStatusResponse"),
            std::string::npos);
}

TEST(CliSchema, ValidatesTheBodyElementAgainstTheWsdlsSchema) {
  const fs::path wsdl = fs::path(OPCXMLDA_TEMPLATES) / "../../shared/OpcXmlDa-1.0.wsdl";
  if (!fs::exists(wsdl)) {
    GTEST_SKIP() << "the OPC XML-DA WSDL is not beside the checkout";
  }
  const TSchemaCheck schema(wsdl);
  const std::string envelope =
      "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body>"
      "<SubscriptionCancelResponse xmlns=\"http://opcfoundation.org/webservices/XMLDA/1.0/\" "
      "ClientRequestHandle=\"c\"%s</soap:Body></soap:Envelope>";
  const auto with = [&](const std::string& rest) {
    std::string text = envelope;
    return text.replace(text.find("%s"), 2, rest);
  };
  EXPECT_EQ(schema.Errors(with("/>")), "");
  EXPECT_NE(schema.Errors(with("><Unexpected/></SubscriptionCancelResponse>"))
                .find("Element content is not allowed"),
            std::string::npos);
  EXPECT_NE(schema.Errors("<a"), "");
  TempFolder folder;
  std::ofstream(folder.path / "none.xml") << "<definitions/>";
  EXPECT_THROW(TSchemaCheck(folder.path / "none.xml"), std::runtime_error);
}

struct BrokenCase {
  const char* route;
  const char* failedStep;
};

const BrokenCase kBroken[] = {
    {"wrong-result", "FAIL  Read of an unknown item: expected E_UNKNOWNITEMNAME, got E_FAIL"},
    {"hold-ignored", "FAIL  SubscriptionPolledRefresh: HoldTime honoured"},
    {"endless-continuation", "the continuation point never ends"},
    {"outside-schema", "FAIL  Every reply well-formed"},
};

class CliCheckBroken : public testing::TestWithParam<BrokenCase> {};

TEST_P(CliCheckBroken, FindsTheFault) {
  Simulator simulator;
  TempFolder folder;
  const TRun run =
      Cli({"check", "--url", simulator.Url(std::string("/test/broken/") + GetParam().route),
           "--junit", (folder.path / "junit.xml").string()});
  EXPECT_EQ(run.code, kExitCheckFailed) << run.out << run.err;
  EXPECT_NE(run.out.find(GetParam().failedStep), std::string::npos) << run.out;
  EXPECT_NE(ReadFile(folder.path / "junit.xml").find("<failure message="), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Cli, CliCheckBroken, testing::ValuesIn(kBroken), [](const auto& info) {
  std::string name = info.param.route;
  std::replace(name.begin(), name.end(), '-', '_');
  return name;
});

TEST(CliCheck, StopsWhenTheServerCannotBeReached) {
  const TRun run = Cli({"check", "--url", "http://127.0.0.1:1/x"});
  EXPECT_EQ(run.code, kExitCheckFailed);
  EXPECT_NE(run.out.find("cannot be reached"), std::string::npos) << run.out;
}

} // namespace
} // namespace opc::cli
