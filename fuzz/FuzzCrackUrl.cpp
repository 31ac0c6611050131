// InternetCrackUrlW on any text: pieces lie inside the URL, the port is one a socket can take.
#include "transport/inet/WinInet.h"

#include <cstdlib>
#include <string>

using namespace opc::inet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string url;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    url += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  }
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength = 1;
  const BOOL ok = InternetCrackUrlW(url.c_str(), 0, 0, &parts);
  const char16_t* begin = url.c_str();
  const char16_t* end = begin + std::char_traits<char16_t>::length(begin);
  const auto inside = [&](const char16_t* at, DWORD length) {
    return !at || (at >= begin && at + length <= end);
  };
  if (ok) {
    if (!inside(parts.lpszHostName, parts.dwHostNameLength) ||
        !inside(parts.lpszUrlPath, parts.dwUrlPathLength) || parts.dwHostNameLength == 0 ||
        parts.nPort == 0 ||
        (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)) {
      std::abort();
    }
    for (DWORD i = 0; i < parts.dwUrlPathLength; ++i) {
      if (parts.lpszUrlPath[i] == u'\r' || parts.lpszUrlPath[i] == u'\n') {
        std::abort(); // a line break in the path would be a header of the URL's own
      }
    }
  } else if (parts.nScheme == INTERNET_SCHEME_HTTP || parts.nScheme == INTERNET_SCHEME_HTTPS) {
    std::abort(); // a failed split must not look like an http URL to the poster
  }
  return 0;
}
