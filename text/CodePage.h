#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace opc {

// The 8-bit code page that stands for the system's ANSI code page: Windows-1252, with the five
// bytes it leaves undefined (81, 8D, 8F, 90, 9D) mapped to the C1 controls of the same value, so
// that every byte is a character and every such character a byte again.
std::u16string DecodeAnsi(std::span<const std::uint8_t> bytes);
// Characters outside the page become "?".
std::string EncodeAnsi(std::u16string_view text);

} // namespace opc
