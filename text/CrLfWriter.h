#pragma once

#include <cstdint>
#include <functional>
#include <span>

namespace opc {

// Writes text as lines, each followed by CR LF, in the units it came in: a break at CR LF, a lone
// CR or a lone LF ends a line, a break at the very end starts no further line, and an empty text
// gives nothing. Units are bytes (the 8-bit page and UTF-8, whose multi-byte sequences never hold
// a CR or LF byte) or UTF-16 code units of either order; an odd last byte of UTF-16 is dropped.
// The output goes to sink in pieces, so the text is never held twice; lines that already end in
// CR LF go together as one piece, so a one-line reply or one with CR LF breaks goes out whole.
using ByteSink = std::function<void(const std::uint8_t* data, std::size_t size)>;

void WriteLinesCrLf(std::span<const std::uint8_t> text, int unitSize, bool bigEndian,
                    const ByteSink& sink);

} // namespace opc
