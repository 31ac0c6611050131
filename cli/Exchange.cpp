#include "cli/Exchange.h"

#include "base/ByteStream.h"
#include "base/Error.h"
#include "base/ErrorText.h"
#include "base/Utf8Encoding.h"
#include "cli/ExitCodes.h"
#include "composition/Envelope.h"
#include "text/Utf8.h"
#include "transport/MSHTTPPost.h"
#include "transport/inet/ExchangeRecord.h"
#include "transport/inet/ExchangeText.h"
#include "transport/inet/InetHooks.h"
#include "xmlda/ReplyReader.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <set>

namespace opc::cli {

namespace {

// Counts the exchanges, so that credentials are given once per challenge of each request.
std::atomic<long> exchangeNumber{0};

} // namespace

std::u16string Utf16(const std::string& utf8) {
  try {
    return DecodeUtf8({reinterpret_cast<const std::uint8_t*>(utf8.data()), utf8.size()});
  } catch (const Error&) {
    return std::u16string(utf8.begin(), utf8.end()); // bytes of a non-UTF-8 terminal as they are
  }
}

std::string Utf8(const std::u16string& text) {
  return EncodeUtf8(text);
}

std::filesystem::path ExecutableFolder() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::current_path() : self.parent_path();
}

TExchange Exchange(const TConnection& connection, const std::string& operation,
                   std::u16string_view body) {
  ++exchangeNumber;
  TExchange exchange;
  exchange.operation = operation;
  const std::u16string action = ComposeSoapAction(Utf16(operation));
  exchange.request = EncodeUtf8(ComposeEnvelope(body));
  ByteStream request(std::vector<std::uint8_t>(exchange.request.begin(), exchange.request.end()));
  ByteStream response;
  const auto started = std::chrono::steady_clock::now();
  inet::TExchangeRecord wire;
  std::optional<inet::TRecordExchange> recording;
  if (connection.recordWire) {
    recording.emplace(wire);
  }
  try {
    PostSoapRequest(Utf16(connection.url), Utf16(connection.proxy), Utf16(connection.user),
                    Utf16(connection.password), action, request, response);
  } catch (...) {
    const auto text = ErrorDisplayText(std::current_exception());
    exchange.error = text ? Utf8(*text) : "The request was cancelled.";
    exchange.failure = LastResponseHead().status != 0 ? kExitHttpRefused : kExitTransport;
  }
  exchange.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (recording) {
    recording.reset();
    inet::TRunSummary run;
    run.url = connection.url;
    run.envelopeBytes = exchange.request.size();
    if (!exchange.error) {
      run.replyBytes = static_cast<std::uint64_t>(response.Size());
    }
    run.failure = exchange.error;
    exchange.wire = inet::ExchangeText(wire, run);
  }
  exchange.status = LastResponseHead().status;
  exchange.contentType = Utf8(LastResponseHead().contentType);
  const auto bytes = response.Bytes();
  exchange.response.assign(bytes.begin(), bytes.end());
  if (!exchange.error) {
    exchange.reply = xmlda::ReadReply(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }
  return exchange;
}

namespace {

struct TCredentialState {
  std::u16string user;
  std::u16string password;
  std::set<std::pair<long, inet::DWORD>> answered;
};

} // namespace

TScopedCredentials::TScopedCredentials(const std::string& user, const std::string& password) {
  auto state = std::make_shared<TCredentialState>();
  state->user = Utf16(user);
  state->password = Utf16(password);
  inet::SetErrorDialogHook([state](inet::HINTERNET request, inet::DWORD status) -> inet::DWORD {
    // Without credentials, or when the ones given were refused, the challenge's status reaches
    // the status check and its message.
    if (state->user.empty() || !state->answered.insert({exchangeNumber.load(), status}).second) {
      return inet::ERROR_SUCCESS;
    }
    inet::InternetSetOptionW(request, inet::INTERNET_OPTION_USERNAME, state->user.c_str(),
                             static_cast<inet::DWORD>(state->user.size()));
    inet::InternetSetOptionW(request, inet::INTERNET_OPTION_PASSWORD, state->password.c_str(),
                             static_cast<inet::DWORD>(state->password.size()));
    return inet::ERROR_INTERNET_FORCE_RETRY;
  });
}

TScopedCredentials::~TScopedCredentials() {
  inet::SetErrorDialogHook(nullptr);
}

} // namespace opc::cli
