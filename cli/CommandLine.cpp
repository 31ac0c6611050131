#include "cli/CommandLine.h"

#include "cli/ExitCodes.h"
#include "roundtrip/Operations.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace opc::cli {

namespace {

// The window's operation list; its names are ASCII, so a byte compares with a UTF-16 unit.
bool IsOperation(const std::string& name) {
  return std::any_of(kOperations.begin(), kOperations.end(), [&](const char16_t* operation) {
    return std::u16string_view(operation) == std::u16string(name.begin(), name.end());
  });
}

double Number(const std::string& option, const std::string& text, double low, double high) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) {
    throw TUsageError(option + " needs a number from " + std::to_string(static_cast<long>(low)) +
                      " to " + std::to_string(static_cast<long>(high)) + ", not \"" + text + "\"");
  }
  return value;
}

} // namespace

const char* ExitCodeTable() {
  return "  0   send: a reply without fault or item errors; check: every step passed\n"
         "  1   send: the reply carries error result codes (E_...)\n"
         "  2   send: the reply is a SOAP fault\n"
         "  3   send: the server answered with an HTTP status or content type that is refused\n"
         "  4   send: no reply (bad URL, name, connection, timeout, certificate, cancelled)\n"
         "  5   send: the reply is not a readable OPC XML-DA reply\n"
         "  6   a template, body, response, JUnit or save-dir file could not be read or written\n"
         "  7   check: at least one step failed\n"
         " 64   bad command line\n";
}

std::string HelpText() {
  return std::string(
             "usage: opcxmlda-cli send --url URL --op OPERATION [--body FILE] [--out FILE]\n"
             "                         [--user NAME --password TEXT] [--proxy HOST:PORT]\n"
             "                         [--verbose]\n"
             "       opcxmlda-cli check --url URL [--junit FILE] [--save-dir DIR] [--schema FILE]\n"
             "                          [--allow-write [--write-item NAME]...] [--max-depth N]\n"
             "                          [--max-items N] [--page-size N] [--clock-tolerance S]\n"
             "                          [--hold-tolerance S] [--user ...] [--password ...]\n"
             "                          [--proxy ...]\n"
             "\n"
             "send   posts one request as the window does: the body (by default the operation's\n"
             "       template beside this program) with its time placeholders filled, wrapped in\n"
             "       the SOAP envelope, under the operation's SOAPAction; prints status, content\n"
             "       type, size, time and the reply's items; --out writes the response file.\n"
             "       --verbose prints to stderr what went over the wire: every request's and\n"
             "       reply's head (credentials masked), their byte counts and times.\n"
             "       OPERATION is one of GetStatus, Browse, Read, Write, GetProperties,\n"
             "       Subscribe, SubscriptionPolledRefresh, SubscriptionCancel.\n"
             "check  a conformance run against a live server, step by step. It writes only with\n"
             "       --allow-write, and then only the items named by --write-item or reported\n"
             "       writable. --schema points at the OPC XML-DA 1.0 WSDL or schema file to\n"
             "       validate every reply against (it is not shipped). Defaults: --max-depth 8,\n"
             "       --max-items 2000, --page-size 7 (MaxElementsReturned while browsing),\n"
             "       --clock-tolerance 300 (seconds between the server's ReplyTime and this\n"
             "       clock), --hold-tolerance 2 (seconds a held or waiting refresh may be late).\n"
             "\n"
             "exit codes:\n") +
         ExitCodeTable();
}

TOptions ParseCommandLine(const std::vector<std::string>& arguments) {
  TOptions options;
  if (arguments.empty()) {
    throw TUsageError("a command is needed: send or check (see --help)");
  }
  const std::string& command = arguments[0];
  if (command == "--help" || command == "-h" || command == "help") {
    options.command = "help";
    return options;
  }
  if (command != "send" && command != "check") {
    throw TUsageError("unknown command \"" + command + "\" (send or check)");
  }
  options.command = command;
  const bool check = command == "check";
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& option = arguments[i];
    if (option == "--help" || option == "-h") {
      options.command = "help";
      return options;
    }
    if (option == "--allow-write" && check) {
      options.allowWrite = true;
      continue;
    }
    if (option == "--verbose" && !check) {
      options.verbose = true;
      continue;
    }
    if (i + 1 >= arguments.size()) {
      throw TUsageError(option.rfind("--", 0) == 0 ? option + " needs a value"
                                                   : "unexpected argument \"" + option + "\"");
    }
    const std::string& value = arguments[++i];
    if (option == "--url") {
      options.url = value;
    } else if (option == "--user") {
      options.user = value;
    } else if (option == "--password") {
      options.password = value;
    } else if (option == "--proxy") {
      options.proxy = value;
    } else if (option == "--op" && !check) {
      if (!IsOperation(value)) {
        throw TUsageError("--op must be one of GetStatus, Browse, Read, Write, GetProperties, "
                          "Subscribe, SubscriptionPolledRefresh, SubscriptionCancel; not \"" +
                          value + "\"");
      }
      options.operation = value;
    } else if (option == "--body" && !check) {
      options.body = value;
    } else if (option == "--out" && !check) {
      options.out = value;
    } else if (option == "--junit" && check) {
      options.junit = value;
    } else if (option == "--save-dir" && check) {
      options.saveDir = value;
    } else if (option == "--schema" && check) {
      options.schema = value;
    } else if (option == "--write-item" && check) {
      options.writeItems.push_back(value);
    } else if (option == "--max-depth" && check) {
      options.maxDepth = static_cast<int>(Number(option, value, 0, 100));
    } else if (option == "--max-items" && check) {
      options.maxItems = static_cast<int>(Number(option, value, 1, 1000000));
    } else if (option == "--page-size" && check) {
      options.pageSize = static_cast<int>(Number(option, value, 1, 100000));
    } else if (option == "--clock-tolerance" && check) {
      options.clockTolerance = Number(option, value, 0, 1e6);
    } else if (option == "--hold-tolerance" && check) {
      options.holdTolerance = Number(option, value, 0, 3600);
    } else {
      throw TUsageError("unknown option \"" + option + "\" for " + command);
    }
  }
  if (options.url.empty()) {
    throw TUsageError("--url is needed");
  }
  if (!check && options.operation.empty()) {
    throw TUsageError("--op is needed");
  }
  if (options.password.size() && options.user.empty()) {
    throw TUsageError("--password needs --user");
  }
  return options;
}

} // namespace opc::cli
