#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace opc {

// Decodes the bytes of a text file by its byte-order mark (UTF-8, UTF-16 LE or BE) or, without a
// mark, in the 8-bit code page. The mark is not part of the text. Raises Error with the no-mapping
// message for invalid UTF-8 after its mark and for a UTF-16 mark followed by exactly one byte.
std::u16string DecodeText(std::span<const std::uint8_t> bytes);

} // namespace opc
