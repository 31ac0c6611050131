#include "base/SystemError.h"

#include <cstring>

namespace opc {

std::u16string SystemErrorText(int code) {
  char buffer[256];
  // GNU strerror_r may return a static text instead of filling the buffer.
  const char* text = strerror_r(code, buffer, sizeof buffer);
  std::u16string out;
  for (const char* p = text; *p; ++p) {
    out += static_cast<char16_t>(static_cast<unsigned char>(*p));
  }
  while (!out.empty() &&
         (out.back() == u' ' || out.back() == u'\r' || out.back() == u'\n' || out.back() == u'.')) {
    out.pop_back();
  }
  return out;
}

} // namespace opc
