#include "text/CrLfWriter.h"

#include <cstring>

namespace opc {

namespace {

// Where the next CR or LF is, one of each kept until the scan passes it, so that every byte is
// looked at about twice however the breaks are mixed. Bytes are found with memchr (many bytes a
// step); UTF-16 units one by one, as their replies are rare.
template <int Unit, bool Big> class TBreakFinder {
public:
  explicit TBreakFinder(std::span<const std::uint8_t> text)
      : FText(text.data()), FUnits(text.size() / Unit), FCr(0), FLf(0) {
    if constexpr (Unit == 1) {
      FCr = Find(0, 13);
      FLf = Find(0, 10);
    }
  }

  std::size_t Units() const noexcept { return FUnits; }

  unsigned At(std::size_t i) const noexcept {
    if constexpr (Unit == 1) {
      return FText[i];
    } else if constexpr (Big) {
      return (FText[2 * i] << 8) | FText[2 * i + 1];
    } else {
      return FText[2 * i] | (FText[2 * i + 1] << 8);
    }
  }

  // The first CR or LF at or after unit i, or Units() when there is none.
  std::size_t Next(std::size_t i) noexcept {
    if constexpr (Unit == 1) {
      if (FCr < i) {
        FCr = Find(i, 13);
      }
      if (FLf < i) {
        FLf = Find(i, 10);
      }
      return FCr < FLf ? FCr : FLf;
    } else {
      while (i < FUnits && At(i) != 13 && At(i) != 10) {
        ++i;
      }
      return i;
    }
  }

private:
  std::size_t Find(std::size_t from, int byte) const noexcept {
    const void* found = from < FUnits ? std::memchr(FText + from, byte, FUnits - from) : nullptr;
    return found ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - FText)
                 : FUnits;
  }

  const std::uint8_t* FText;
  std::size_t FUnits;
  std::size_t FCr;
  std::size_t FLf;
};

// Lines that already end in CR LF go out as they are, so the sink gets long runs of the text
// (the whole of it for a one-line reply or one with CR LF breaks) and only a lone CR or LF splits
// a run to put CR LF in its place.
template <int Unit, bool Big> void Write(std::span<const std::uint8_t> text, const ByteSink& sink) {
  TBreakFinder<Unit, Big> finder(text);
  const std::size_t units = finder.Units();
  std::uint8_t crlf[4];
  std::size_t crlfSize;
  if constexpr (Unit == 1) {
    crlf[0] = 13, crlf[1] = 10, crlfSize = 2;
  } else if constexpr (Big) {
    crlf[0] = 0, crlf[1] = 13, crlf[2] = 0, crlf[3] = 10, crlfSize = 4;
  } else {
    crlf[0] = 13, crlf[1] = 0, crlf[2] = 10, crlf[3] = 0, crlfSize = 4;
  }
  std::size_t run = 0; // first unit not yet given to the sink
  for (std::size_t i = finder.Next(0); i < units; i = finder.Next(i)) {
    if (finder.At(i) == 13 && i + 1 < units && finder.At(i + 1) == 10) {
      i += 2; // CR LF stays in the run
      continue;
    }
    sink(text.data() + run * Unit, (i - run) * Unit);
    sink(crlf, crlfSize);
    run = ++i;
  }
  if (run < units) {
    sink(text.data() + run * Unit, (units - run) * Unit);
    const unsigned last = finder.At(units - 1);
    if (last != 10 && last != 13) {
      sink(crlf, crlfSize); // the last line had no break of its own
    }
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
