#include "transport/inet/Handles.h"
#include "transport/inet/WinInet.h"

#include <string_view>

namespace opc::inet {

namespace {

using std::u16string_view;

bool IsAlpha(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}
bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

// Controls and blanks are never part of a URL; letting CR or LF through would let a URL add
// header lines of its own.
bool IsForbidden(char16_t c) {
  return c <= 0x20 || c == 0x7F;
}

bool EqualsIgnoringAsciiCase(u16string_view a, u16string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'A' && x <= u'Z')
      x += 32;
    if (y >= u'A' && y <= u'Z')
      y += 32;
    if (x != y) {
      return false;
    }
  }
  return true;
}

int SchemeNumber(u16string_view scheme) {
  struct Known {
    u16string_view name;
    int number;
  };
  constexpr Known kKnown[] = {{u"ftp", 1},
                              {u"gopher", 2},
                              {u"http", INTERNET_SCHEME_HTTP},
                              {u"https", INTERNET_SCHEME_HTTPS},
                              {u"file", 5},
                              {u"news", 6},
                              {u"mailto", 7},
                              {u"socks", 8},
                              {u"javascript", 9},
                              {u"vbscript", 10}};
  for (const Known& k : kKnown) {
    if (EqualsIgnoringAsciiCase(scheme, k.name)) {
      return k.number;
    }
  }
  return INTERNET_SCHEME_UNKNOWN;
}

// Fills a part the caller asked for (length non-zero): a pointer into the URL and a length.
void Give(char16_t*& pointer, DWORD& length, const char16_t* base, u16string_view url,
          u16string_view part) {
  if (length == 0) {
    return;
  }
  pointer = const_cast<char16_t*>(base) + (part.data() - url.data());
  length = static_cast<DWORD>(part.size());
}

bool ValidHost(u16string_view host) {
  if (host.empty()) {
    return false;
  }
  for (char16_t c : host) {
    if (IsForbidden(c) || c == u'/' || c == u'\\' || c == u'?' || c == u'#' || c == u'@' ||
        c == u'[' || c == u']' || c == u'<' || c == u'>' || c == u'"' || c == u'^' || c == u'`' ||
        c == u'{' || c == u'|' || c == u'}') {
      return false;
    }
  }
  return true;
}

bool ValidIpv6(u16string_view host) {
  if (host.empty()) {
    return false;
  }
  for (char16_t c : host) {
    const bool hex = IsDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
    if (!hex && c != u':' && c != u'.' && c != u'%') {
      return false;
    }
  }
  return host.find(u':') != u16string_view::npos;
}

} // namespace

// Splits a URL after RFC 3986. Only http and https are taken apart; for any other text the
// scheme number says what it is (or INTERNET_SCHEME_UNKNOWN) and the call fails.
BOOL InternetCrackUrlW(const char16_t* text, DWORD urlLength, DWORD, URL_COMPONENTSW* c) {
  if (!c || c->dwStructSize < sizeof(URL_COMPONENTSW) - 8 || !text) {
    return detail::Fail(ERROR_INVALID_PARAMETER);
  }
  c->nScheme = INTERNET_SCHEME_UNKNOWN;
  const u16string_view url = urlLength ? u16string_view(text, urlLength) : u16string_view(text);

  std::size_t colon = 0;
  while (colon < url.size() &&
         (IsAlpha(url[colon]) || (colon > 0 && (IsDigit(url[colon]) || url[colon] == u'+' ||
                                                url[colon] == u'-' || url[colon] == u'.')))) {
    ++colon;
  }
  if (colon == 0 || colon >= url.size() || url[colon] != u':') {
    return detail::Fail(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
  }
  const u16string_view scheme = url.substr(0, colon);
  const int number = SchemeNumber(scheme);
  if (number != INTERNET_SCHEME_HTTP && number != INTERNET_SCHEME_HTTPS) {
    c->nScheme = number;
    return detail::Fail(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
  }
  u16string_view rest = url.substr(colon + 1);
  if (rest.substr(0, 2) != u"//") {
    return detail::Fail(ERROR_INTERNET_INVALID_URL);
  }
  rest.remove_prefix(2);
  const std::size_t authorityEnd = std::min(rest.find_first_of(u"/?#"), rest.size());
  u16string_view authority = rest.substr(0, authorityEnd);
  const u16string_view afterAuthority = rest.substr(authorityEnd);

  if (const std::size_t at = authority.rfind(u'@'); at != u16string_view::npos) {
    authority.remove_prefix(at + 1); // user and password are not used by the poster
  }
  u16string_view host;
  u16string_view port;
  if (!authority.empty() && authority.front() == u'[') {
    const std::size_t close = authority.find(u']');
    if (close == u16string_view::npos) {
      return detail::Fail(ERROR_INTERNET_INVALID_URL);
    }
    host = authority.substr(1, close - 1);
    const u16string_view after = authority.substr(close + 1);
    if (!after.empty() && after.front() != u':') {
      return detail::Fail(ERROR_INTERNET_INVALID_URL);
    }
    port = after.empty() ? after : after.substr(1);
    if (!ValidIpv6(host)) {
      return detail::Fail(ERROR_INTERNET_INVALID_URL);
    }
  } else {
    const std::size_t portColon = authority.rfind(u':');
    host = authority.substr(0, portColon);
    port = portColon == u16string_view::npos ? u16string_view() : authority.substr(portColon + 1);
    if (!ValidHost(host) || host.find(u':') != u16string_view::npos) {
      return detail::Fail(ERROR_INTERNET_INVALID_URL);
    }
  }
  std::uint32_t portNumber =
      number == INTERNET_SCHEME_HTTPS ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
  if (!port.empty()) {
    portNumber = 0;
    for (char16_t d : port) {
      if (!IsDigit(d) || (portNumber = portNumber * 10 + (d - u'0')) > 65535) {
        return detail::Fail(ERROR_INTERNET_INVALID_URL);
      }
    }
    if (portNumber == 0) {
      return detail::Fail(ERROR_INTERNET_INVALID_URL);
    }
  }

  // The fragment belongs to the reader of a page, never to the request.
  const std::size_t fragment = std::min(afterAuthority.find(u'#'), afterAuthority.size());
  const u16string_view pathAndQuery = afterAuthority.substr(0, fragment);
  for (char16_t ch : afterAuthority) {
    if (ch < 0x20 || ch == 0x7F) {
      return detail::Fail(ERROR_INTERNET_INVALID_URL);
    }
  }
  const std::size_t query = std::min(pathAndQuery.find(u'?'), pathAndQuery.size());
  const bool extraAsked = c->dwExtraInfoLength != 0;

  Give(c->lpszScheme, c->dwSchemeLength, text, url, scheme);
  Give(c->lpszHostName, c->dwHostNameLength, text, url, host);
  Give(c->lpszUrlPath, c->dwUrlPathLength, text, url,
       extraAsked ? pathAndQuery.substr(0, query) : pathAndQuery);
  Give(c->lpszExtraInfo, c->dwExtraInfoLength, text, url, afterAuthority.substr(query));
  c->dwUserNameLength = 0;
  c->dwPasswordLength = 0;
  c->nScheme = number;
  c->nPort = static_cast<INTERNET_PORT>(portNumber);
  return detail::Succeed();
}

} // namespace opc::inet
