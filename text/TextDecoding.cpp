#include "text/TextDecoding.h"

#include "base/Error.h"
#include "text/ByteOrderMark.h"
#include "text/CodePage.h"
#include "text/TextMessages.h"
#include "text/Utf16.h"
#include "text/Utf8.h"

namespace opc {

std::u16string DecodeText(std::span<const std::uint8_t> bytes) {
  const ByteOrderMark mark = DetectByteOrderMark(bytes);
  const auto body = bytes.subspan(mark.length);
  switch (mark.encoding) {
  case TextEncoding::Utf8:
    return DecodeUtf8(body);
  case TextEncoding::Utf16LE:
  case TextEncoding::Utf16BE:
    if (body.size() == 1) {
      throw Error(kNoMappingMessage);
    }
    return DecodeUtf16(body, mark.encoding == TextEncoding::Utf16BE);
  case TextEncoding::Ansi:
    break;
  }
  return DecodeAnsi(body);
}

} // namespace opc
