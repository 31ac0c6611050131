#include "text/CrLfWriter.h"

namespace opc {

namespace {

template <int Unit, bool Big> void Write(std::span<const std::uint8_t> text, const ByteSink& sink) {
  const std::size_t units = text.size() / Unit;
  const auto at = [&](std::size_t i) -> unsigned {
    if constexpr (Unit == 1) {
      return text[i];
    } else if constexpr (Big) {
      return (text[2 * i] << 8) | text[2 * i + 1];
    } else {
      return text[2 * i] | (text[2 * i + 1] << 8);
    }
  };
  std::uint8_t crlf[4];
  std::size_t crlfSize;
  if constexpr (Unit == 1) {
    crlf[0] = 13, crlf[1] = 10, crlfSize = 2;
  } else if constexpr (Big) {
    crlf[0] = 0, crlf[1] = 13, crlf[2] = 0, crlf[3] = 10, crlfSize = 4;
  } else {
    crlf[0] = 13, crlf[1] = 0, crlf[2] = 10, crlf[3] = 0, crlfSize = 4;
  }
  std::size_t start = 0; // first unit of the line being written
  for (std::size_t i = 0; i < units; ++i) {
    const unsigned c = at(i);
    if (c != 13 && c != 10) {
      continue;
    }
    sink(text.data() + start * Unit, (i - start) * Unit);
    sink(crlf, crlfSize);
    if (c == 13 && i + 1 < units && at(i + 1) == 10) {
      ++i;
    }
    start = i + 1;
  }
  if (start < units) {
    sink(text.data() + start * Unit, (units - start) * Unit);
    sink(crlf, crlfSize);
  }
}

} // namespace

void WriteLinesCrLf(std::span<const std::uint8_t> text, int unitSize, bool bigEndian,
                    const ByteSink& sink) {
  if (unitSize == 1) {
    Write<1, false>(text, sink);
  } else if (bigEndian) {
    Write<2, true>(text, sink);
  } else {
    Write<2, false>(text, sink);
  }
}

} // namespace opc
