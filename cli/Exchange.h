#pragma once

#include "xmlda/ReplyModel.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace opc::cli {

struct TConnection {
  std::string url;
  std::string proxy;
  std::string user;
  std::string password;
  bool recordWire = false; // keep what went over the wire in TExchange::wire
};

// One round trip as the window's Go command makes it, and what came back.
struct TExchange {
  std::string operation;
  std::string request;                // the envelope as sent (UTF-8)
  std::vector<std::uint8_t> response; // the reply body as received
  std::uint32_t status = 0;           // 0 when no reply came
  std::string contentType;
  double seconds = 0;
  std::optional<std::string> error; // the message the window would show
  int failure = 0;                  // an exit code when the post failed
  xmlda::TReply reply;              // read when a reply came
  std::string wire;                 // the heads, byte counts and times, when recorded
};

// Composes the envelope from the body text (time placeholders, SOAP envelope, SOAPAction), posts
// it and reads the reply. Never raises for what the server or the network does.
TExchange Exchange(const TConnection& connection, const std::string& operation,
                   std::u16string_view body);

// Installs, for its lifetime, the answer to 401 and 407 challenges: the given user and password,
// once per kind of challenge; a second challenge goes through to the status check.
class TScopedCredentials {
public:
  TScopedCredentials(const std::string& user, const std::string& password);
  ~TScopedCredentials();
  TScopedCredentials(const TScopedCredentials&) = delete;
  TScopedCredentials& operator=(const TScopedCredentials&) = delete;
};

// The folder of the running executable (links resolved), where the templates lie.
std::filesystem::path ExecutableFolder();

std::u16string Utf16(const std::string& utf8);
std::string Utf8(const std::u16string& text);

} // namespace opc::cli
