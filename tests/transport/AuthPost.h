#pragma once

#include "base/ByteStream.h"
#include "base/Error.h"
#include "transport/MSHTTPPost.h"
#include "transport/inet/InetHooks.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace opc::test {

using namespace inet;

struct TPostResult {
  std::u16string message;
  bool silent = false;
  std::string response;
};

inline std::u16string Wide(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

// One post through the poster, as the Go command makes it but with proxy and credentials.
inline TPostResult Post(const std::string& url, const std::string& proxy = {},
                        const std::u16string& user = {}, const std::u16string& password = {},
                        const std::string& body = "<body/>") {
  ByteStream request(std::vector<std::uint8_t>(body.begin(), body.end()));
  ByteStream response;
  TPostResult result;
  try {
    PostSoapRequest(Wide(url), Wide(proxy), user, password, u"urn:action", request, response);
  } catch (const SilentAbort&) {
    result.silent = true;
  } catch (const Error& e) {
    result.message = e.message();
  }
  result.response.assign(response.Bytes().begin(), response.Bytes().end());
  return result;
}

// An environment variable set for one test and put back afterwards.
class TScopedEnv {
public:
  TScopedEnv(const char* name, const char* value) : FName(name) {
    if (const char* old = std::getenv(name)) {
      FOld = old;
    }
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~TScopedEnv() { FOld ? ::setenv(FName, FOld->c_str(), 1) : ::unsetenv(FName); }
  TScopedEnv(const TScopedEnv&) = delete;
  TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
  const char* FName;
  std::optional<std::string> FOld;
};

// The error dialog as a user answers it, one answer per question (nothing: cancel); it keeps
// what each question said.
class TScriptedDialog {
public:
  using Answer = std::optional<std::pair<std::u16string, std::u16string>>;
  // Each test starts with no answers kept from earlier ones, and leaves none behind.
  explicit TScriptedDialog(std::vector<Answer> answers) : FAnswers(std::move(answers)) {
    InternetSetOptionW(nullptr, INTERNET_OPTION_END_BROWSER_SESSION, nullptr, 0);
    SetErrorDialogHook([this](HINTERNET request, DWORD) -> DWORD {
      TAuthChallenge challenge;
      QueryAuthChallenge(request, challenge);
      asked.push_back(challenge);
      const Answer answer =
          asked.size() <= FAnswers.size() ? FAnswers[asked.size() - 1] : std::nullopt;
      if (!answer) {
        return ERROR_CANCELLED;
      }
      const auto& [user, password] = *answer;
      InternetSetOptionW(
          request, challenge.proxy ? INTERNET_OPTION_PROXY_USERNAME : INTERNET_OPTION_USERNAME,
          user.c_str(), static_cast<DWORD>(user.size()));
      InternetSetOptionW(
          request, challenge.proxy ? INTERNET_OPTION_PROXY_PASSWORD : INTERNET_OPTION_PASSWORD,
          password.c_str(), static_cast<DWORD>(password.size()));
      return ERROR_INTERNET_FORCE_RETRY;
    });
  }
  ~TScriptedDialog() {
    SetErrorDialogHook({});
    InternetSetOptionW(nullptr, INTERNET_OPTION_END_BROWSER_SESSION, nullptr, 0);
  }
  TScriptedDialog(const TScriptedDialog&) = delete;
  TScriptedDialog& operator=(const TScriptedDialog&) = delete;

  std::vector<TAuthChallenge> asked;

private:
  std::vector<Answer> FAnswers;
};

} // namespace opc::test
