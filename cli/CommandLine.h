#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace opc::cli {

struct TOptions {
  std::string command; // "send", "check" or "help"
  std::string url;
  std::string operation;
  std::string body; // a file with the request body; "" for the operation's template
  std::string out;  // the response file; "" for none
  std::string user;
  std::string password;
  std::string proxy;
  bool verbose = false; // send: what went over the wire, on the error stream
  // check
  std::string junit;
  std::string saveDir;
  std::string schema;
  bool allowWrite = false;
  std::vector<std::string> writeItems;
  int maxDepth = 8;
  int maxItems = 2000;
  int pageSize = 7;
  double clockTolerance = 300; // seconds between the server's clock and ours
  double holdTolerance = 2;    // seconds a held refresh may come late
};

struct TUsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Raises TUsageError with the reason for anything it cannot take.
TOptions ParseCommandLine(const std::vector<std::string>& arguments);

std::string HelpText();

} // namespace opc::cli
