// The text layer: marks, decoding, line breaks, and the response file's line writer.
#include "base/Error.h"
#include "text/CrLfWriter.h"
#include "text/LineBreaks.h"
#include "text/TextDecoding.h"
#include "text/Utf8.h"

#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  try {
    const std::u16string text = opc::DecodeText(bytes);
    const std::u16string normalized = opc::NormalizeLineBreaks(text);
    // Normalising twice changes nothing more; split and join give the same lines back.
    if (opc::NormalizeLineBreaks(normalized) != normalized) {
      std::abort();
    }
    const auto lines = opc::SplitLines(text);
    if (opc::SplitLines(opc::JoinLinesCrLf(lines)) != lines) {
      std::abort();
    }
  } catch (const opc::Error&) {
  }
  if (opc::IsValidUtf8(bytes)) {
    (void)opc::DecodeUtf8(bytes); // must not raise when the check said valid
  }
  std::size_t written = 0;
  opc::WriteLinesCrLf(bytes, size % 2 ? 1 : 2, size % 3 == 0,
                      [&](const std::uint8_t*, std::size_t n) { written += n; });
  return 0;
}
