#pragma once

#include "base/Utf8Encoding.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace opc {

// Strict UTF-8: an invalid, overlong, truncated or surrogate sequence anywhere raises Error with
// the no-mapping message; nothing is replaced.
std::u16string DecodeUtf8(std::span<const std::uint8_t> bytes);
// Returns false instead of raising, for checks that must finish before anything is written.
bool IsValidUtf8(std::span<const std::uint8_t> bytes) noexcept;

} // namespace opc
