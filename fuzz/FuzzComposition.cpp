// ReplaceAll against the rule as it reads, and ComposeEnvelope around any text.
#include "base/Utf8Encoding.h"
#include "composition/Envelope.h"
#include "composition/ReplaceAll.h"

#include <cstdlib>
#include <string>

namespace {

std::u16string FromStartEachTime(std::u16string text, const std::u16string& token,
                                 const std::u16string& replacement) {
  if (token.empty()) {
    return text;
  }
  for (std::size_t at; (at = text.find(token)) != std::u16string::npos;) {
    text.replace(at, token.size(), replacement);
  }
  return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // text \x00 token \x00 replacement, each byte one character
  std::u16string parts[3];
  int part = 0;
  for (std::size_t i = 0; i < size && i < 4096; ++i) {
    if (data[i] == 0 && part < 2) {
      ++part;
    } else {
      parts[part] += static_cast<char16_t>(data[i]);
    }
  }
  const auto& [text, token, replacement] = parts;
  if (token.empty() || replacement.find(token) == std::u16string::npos) {
    if (opc::ReplaceAll(text, token, replacement) != FromStartEachTime(text, token, replacement)) {
      std::abort();
    }
  } else {
    (void)opc::ReplaceAll(text, token, replacement); // must end
  }
  const std::u16string envelope = opc::ComposeEnvelope(text);
  if (envelope.find(u"<SOAP-ENV:Body>") == std::u16string::npos) {
    std::abort();
  }
  (void)opc::EncodeUtf8(envelope);
  return 0;
}
