#include "transport/inet/KeptAnswers.h"

#include <map>
#include <mutex>
#include <tuple>

namespace opc::inet::detail {

namespace {

using TKey = std::tuple<bool, std::string, INTERNET_PORT, std::string>;

TKey Key(const TPartyKey& key) {
  return {key.proxy, key.host, key.port, key.realm};
}

struct TStore {
  std::mutex mutex;
  std::map<TKey, TKeptAnswer> answers;
};

TStore& Store() {
  static TStore store;
  return store;
}

} // namespace

std::optional<TKeptAnswer> FindKeptAnswer(const TPartyKey& key) {
  std::lock_guard lock(Store().mutex);
  const auto found = Store().answers.find(Key(key));
  if (found == Store().answers.end()) {
    return std::nullopt;
  }
  return found->second;
}

void KeepAnswer(const TPartyKey& key, TKeptAnswer answer) {
  std::lock_guard lock(Store().mutex);
  Store().answers[Key(key)] = std::move(answer);
}

void DropKeptAnswer(const TPartyKey& key) {
  std::lock_guard lock(Store().mutex);
  Store().answers.erase(Key(key));
}

void ForgetKeptAnswers() {
  std::lock_guard lock(Store().mutex);
  Store().answers.clear();
}

} // namespace opc::inet::detail
