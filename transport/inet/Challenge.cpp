#include "transport/inet/Challenge.h"

#include <curl/curl.h>

namespace opc::inet::detail {

namespace {

bool SameWord(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if ((a[i] | 0x20) != (b[i] | 0x20)) {
      return false;
    }
  }
  return true;
}

std::string_view SchemeOf(std::string_view value) {
  return value.substr(0, value.find_first_of(" \t,"));
}

// The quoted or plain value of realm= in a challenge.
std::optional<std::string> RealmOf(std::string_view value) {
  for (std::size_t at = 0; (at = value.find('=', at)) != std::string_view::npos; ++at) {
    std::size_t start = at;
    while (start > 0 && value[start - 1] == ' ') {
      --start;
    }
    if (start < 5 || !SameWord(value.substr(start - 5, 5), "realm") ||
        (start > 5 && value[start - 6] != ' ' && value[start - 6] != ',')) {
      continue;
    }
    std::size_t from = at + 1;
    while (from < value.size() && value[from] == ' ') {
      ++from;
    }
    std::string realm;
    if (from < value.size() && value[from] == '"') {
      for (std::size_t i = from + 1; i < value.size() && value[i] != '"'; ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
          ++i;
        }
        realm += value[i];
      }
    } else {
      realm = std::string(value.substr(from, value.find_first_of(" ,", from) - from));
    }
    return realm;
  }
  return std::nullopt;
}

} // namespace

std::optional<std::string> TChallenges::Data(std::string_view scheme) const {
  for (const std::string& value : values) {
    const std::string_view name = SchemeOf(value);
    if (SameWord(name, scheme)) {
      std::string_view rest = std::string_view(value).substr(name.size());
      while (!rest.empty() && rest.front() == ' ') {
        rest.remove_prefix(1);
      }
      return std::string(rest);
    }
  }
  return std::nullopt;
}

TChallenges ReadChallenges(const TResponseHead& head) {
  TChallenges challenges;
  if (head.Status() != 401 && head.Status() != 407) {
    return challenges;
  }
  const char* header = head.Status() == 401 ? "WWW-Authenticate" : "Proxy-Authenticate";
  static constexpr std::pair<const char*, long> kKnown[] = {{"Basic", CURLAUTH_BASIC},
                                                            {"Digest", CURLAUTH_DIGEST},
                                                            {"NTLM", CURLAUTH_NTLM},
                                                            {"Negotiate", CURLAUTH_NEGOTIATE}};
  for (std::size_t i = 0; auto value = head.Header(header, i); ++i) {
    const std::string_view name = SchemeOf(*value);
    if (name.empty()) {
      continue;
    }
    challenges.values.emplace_back(*value);
    std::string shown(name);
    for (const auto& [known, bit] : kKnown) {
      if (SameWord(name, known)) {
        challenges.known |= bit;
        shown = known;
      }
    }
    bool seen = false;
    for (const std::string& scheme : challenges.schemes) {
      seen = seen || scheme == shown;
    }
    if (!seen) {
      challenges.schemes.push_back(shown);
    }
    if (challenges.realm.empty()) {
      if (auto realm = RealmOf(*value)) {
        challenges.realm = *realm;
      }
    }
  }
  return challenges;
}

} // namespace opc::inet::detail
