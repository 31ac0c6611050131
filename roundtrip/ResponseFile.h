#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace opc {

// Writes the response body to path anew, line by line in the encoding it arrived in: its
// byte-order mark first, every line followed by CR LF; a body without a mark goes byte for byte
// but for its line breaks. The body is checked before the file is touched, so a body that does
// not decode leaves an old file as it was.
void WriteResponseFile(const std::filesystem::path& path, std::span<const std::uint8_t> body);

} // namespace opc
