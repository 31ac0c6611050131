#include "cli/Send.h"

#include "base/ErrorText.h"
#include "cli/Check.h"
#include "cli/Exchange.h"
#include "cli/ExitCodes.h"
#include "cli/ReplyTable.h"
#include "roundtrip/ResponseFile.h"
#include "roundtrip/TemplateFile.h"

#include <chrono>
#include <cstdio>

namespace opc::cli {

namespace {

std::int64_t NowUnixMicros() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// A failure as the window's error display words it.
std::string DisplayText(std::exception_ptr error) {
  const auto text = ErrorDisplayText(error);
  return text ? Utf8(*text) : "Cancelled.";
}

} // namespace

int RunSend(const TOptions& options, const std::filesystem::path& templates, std::ostream& out,
            std::ostream& err) {
  std::u16string body;
  try {
    body = LoadTemplateText(options.body.empty() ? templates / (options.operation + ".x")
                                                 : std::filesystem::path(options.body));
  } catch (...) {
    err << "opcxmlda-cli: " << DisplayText(std::current_exception()) << "\n";
    return kExitFile;
  }
  const TScopedCredentials credentials(options.user, options.password);
  const TExchange exchange =
      Exchange({options.url, options.proxy, options.user, options.password, options.verbose},
               options.operation, body);
  err << exchange.wire;
  char summary[256];
  std::snprintf(summary, sizeof summary, "%u, %s, %zu bytes, %.0f ms\n", exchange.status,
                exchange.contentType.empty() ? "(no content type)" : exchange.contentType.c_str(),
                exchange.response.size(), exchange.seconds * 1000);
  if (exchange.error) {
    if (exchange.status) {
      out << "HTTP " << summary;
    }
    err << "opcxmlda-cli: " << *exchange.error << "\n";
    return exchange.failure;
  }
  out << "HTTP " << summary;
  if (!options.out.empty()) {
    try {
      WriteResponseFile(options.out, exchange.response);
    } catch (...) {
      err << "opcxmlda-cli: " << DisplayText(std::current_exception()) << "\n";
      return kExitFile;
    }
  }
  const xmlda::TReply& reply = exchange.reply;
  out << FormatReply(reply, NowUnixMicros());
  if (reply.fault) {
    return kExitSoapFault;
  }
  if (!reply.problems.empty() || reply.operation == xmlda::TOperation::Unknown) {
    return kExitNotUnderstood;
  }
  return reply.HasItemErrors() ? kExitItemErrors : kExitOk;
}

int RunCommandLine(const std::vector<std::string>& arguments, std::ostream& out,
                   std::ostream& err) {
  TOptions options;
  try {
    options = ParseCommandLine(arguments);
  } catch (const TUsageError& error) {
    err << "opcxmlda-cli: " << error.what() << "\n"
        << "Try opcxmlda-cli --help.\n";
    return kExitUsage;
  }
  if (options.command == "help") {
    out << HelpText();
    return kExitOk;
  }
  if (options.command == "check") {
    return RunCheck(options, ExecutableFolder(), out, err);
  }
  return RunSend(options, ExecutableFolder(), out, err);
}

} // namespace opc::cli
