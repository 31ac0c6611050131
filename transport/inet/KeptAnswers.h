#pragma once

#include "transport/inet/WinInet.h"

#include <optional>
#include <string>

namespace opc::inet::detail {

// The party that asked for credentials: the server or the proxy, its address, and the realm
// its challenge named.
struct TPartyKey {
  bool proxy = false;
  std::string host;
  INTERNET_PORT port = 0;
  std::string realm;
};

struct TKeptAnswer {
  std::string user, password;
};

// Answers from the dialog that the party took, kept in this process's memory (never on disk) so
// that its next challenge is answered without asking again, as the Windows client keeps them
// until the process ends. A refused answer is dropped.
std::optional<TKeptAnswer> FindKeptAnswer(const TPartyKey& key);
void KeepAnswer(const TPartyKey& key, TKeptAnswer answer);
void DropKeptAnswer(const TPartyKey& key);
void ForgetKeptAnswers();

} // namespace opc::inet::detail
