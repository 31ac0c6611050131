#include "base/SystemError.h"

#include "base/LocaleText.h"

#include <cstring>

namespace opc {

std::u16string SystemErrorText(int code) {
  char buffer[256];
  // GNU strerror_r may return a static text instead of filling the buffer.
  const char* text = strerror_r(code, buffer, sizeof buffer);
  // The text is in the locale's encoding ("Permission non accordée" in UTF-8 under French).
  std::u16string out = DecodeLocaleText(text);
  while (!out.empty() &&
         (out.back() == u' ' || out.back() == u'\r' || out.back() == u'\n' || out.back() == u'.')) {
    out.pop_back();
  }
  return out;
}

} // namespace opc
