#pragma once

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

// UTF-16 to UTF-8 without a mark; a lone surrogate becomes U+FFFD, as the platform writes it.
std::string EncodeUtf8(std::u16string_view text);

} // namespace opc
