#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace opc {

// Two bytes per code unit in the given byte order; an odd last byte is ignored. Code units are
// taken as they stand (an unpaired surrogate is kept).
std::u16string DecodeUtf16(std::span<const std::uint8_t> bytes, bool bigEndian);

} // namespace opc
