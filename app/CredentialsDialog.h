#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace opc {

struct TCredentials {
  QString userName;
  QString password;
};

// Who asks for credentials and how, as the HTTP layer read it from the challenge.
struct TAuthQuestion {
  bool proxy = false;  // the proxy (407), else the server (401)
  QString party;       // "host:port" of the one who asks
  QStringList schemes; // "Basic", "NTLM", "Negotiate", ...
  QString realm;
  QString refusal; // "401 Unauthorized" when the answer given before was refused, else empty
};

// "The proxy proxy.plant.example:3128 asks for Basic credentials, realm "plant"."
QString AuthQuestionText(const TAuthQuestion& question);
// "The server refused the user name and password: 401 Unauthorized"; empty when nothing was.
QString AuthRefusalText(const TAuthQuestion& question);

// Asks for user name and password when a server answers 401 (or a proxy 407); nothing when the
// user cancels. Tests put their own answer in place of the dialog.
using TCredentialsPrompt = std::function<std::optional<TCredentials>(int status)>;
using TAuthPrompt = std::function<std::optional<TCredentials>(const TAuthQuestion& question)>;

// Installs the HTTP layer's error-dialog hook: credentials given go on the request for the party
// that asked and it is sent again; a cancel ends the run silently.
void InstallCredentialsHook(TCredentialsPrompt prompt = {});
void InstallCredentialsHook(TAuthPrompt prompt);

std::optional<TCredentials> AskForCredentials(const TAuthQuestion& question);
std::optional<TCredentials> AskForCredentials(int status);

} // namespace opc
