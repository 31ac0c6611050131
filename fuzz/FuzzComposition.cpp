// ReplaceAll against the rule as it reads, and ComposeEnvelope around any text.
#include "base/Utf8Encoding.h"
#include "composition/Envelope.h"
#include "composition/ReplaceAll.h"

#include <cstdlib>
#include <optional>
#include <string>

namespace {

// The rule as it reads; nothing when it does not end within a number of steps, or grows past
// the bound at which ReplaceAll stops rewriting.
std::optional<std::u16string> FromStartEachTime(std::u16string text, const std::u16string& token,
                                                const std::u16string& replacement) {
  if (token.empty()) {
    return text;
  }
  const std::size_t bound = 8 * text.size() + 4096;
  for (int steps = 0; steps < 4000; ++steps) {
    const std::size_t at = text.find(token);
    if (at == std::u16string::npos) {
      return text;
    }
    text.replace(at, token.size(), replacement);
    if (text.size() > bound) {
      break;
    }
  }
  return std::nullopt;
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
  const std::u16string replaced = opc::ReplaceAll(text, token, replacement); // must end
  if (token.empty() || replacement.find(token) == std::u16string::npos) {
    if (const auto expected = FromStartEachTime(text, token, replacement);
        expected && replaced != *expected) {
      std::abort();
    }
  }
  const std::u16string envelope = opc::ComposeEnvelope(text);
  if (envelope.find(u"<SOAP-ENV:Body>") == std::u16string::npos) {
    std::abort();
  }
  (void)opc::EncodeUtf8(envelope);
  return 0;
}
