#pragma once

#include <QString>
#include <functional>
#include <optional>

namespace opc {

struct TCredentials {
  QString userName;
  QString password;
};

// Asks for user name and password when a server answers 401 (or a proxy 407); nothing when the
// user cancels. Tests put their own answer in place of the dialog.
using TCredentialsPrompt = std::function<std::optional<TCredentials>(int status)>;

// Installs the HTTP layer's error-dialog hook: credentials given go on the request and it is sent
// again; a cancel ends the run silently.
void InstallCredentialsHook(TCredentialsPrompt prompt = {});

std::optional<TCredentials> AskForCredentials(int status);

} // namespace opc
