#include "transport/inet/ResponseHead.h"

namespace opc::inet::detail {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
    s.remove_prefix(1);
  }
  while (!s.empty() &&
         (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) {
    s.remove_suffix(1);
  }
  return s;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) {
      return false;
    }
  }
  return true;
}

} // namespace

bool TResponseHead::Feed(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
    line.remove_suffix(1);
  }
  if (line.substr(0, 5) == "HTTP/") {
    *this = TResponseHead();
    FStatusLine = std::string(line);
    // "HTTP/1.1 200 OK": the code after the first blank, the reason phrase after the second.
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos || line.size() < blank + 4) {
      FMalformed = true;
      return false;
    }
    int status = 0;
    for (std::size_t i = blank + 1; i < blank + 4; ++i) {
      if (line[i] < '0' || line[i] > '9') {
        FMalformed = true;
        return false;
      }
      status = status * 10 + (line[i] - '0');
    }
    FStatus = status;
    if (line.size() > blank + 4) {
      FReason = std::string(Trim(line.substr(blank + 4)));
    }
    return false;
  }
  if (line.empty()) {
    FEnded = !FStatusLine.empty();
    return FEnded;
  }
  if ((line.front() == ' ' || line.front() == '\t') && !FHeaders.empty()) {
    FHeaders.back().second += ' ';
    FHeaders.back().second += Trim(line);
    return false;
  }
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) {
    return false; // not a header line; the client before us already let it through
  }
  FHeaders.emplace_back(std::string(Trim(line.substr(0, colon))),
                        std::string(Trim(line.substr(colon + 1))));
  return false;
}

std::optional<std::string_view> TResponseHead::Header(std::string_view name,
                                                      std::size_t occurrence) const {
  for (const auto& [key, value] : FHeaders) {
    if (SameName(key, name) && occurrence-- == 0) {
      return value;
    }
  }
  return std::nullopt;
}

std::string TResponseHead::Raw() const {
  std::string raw = FStatusLine + "\r\n";
  for (const auto& [key, value] : FHeaders) {
    raw += key + ": " + value + "\r\n";
  }
  return raw + "\r\n";
}

} // namespace opc::inet::detail
