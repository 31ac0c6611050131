#include "text/CrLfWriter.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace opc {

namespace {

// The first CR or LF byte in [p, end), or end. Sixteen bytes are looked at a step where the
// processor has the instructions for it (every x86-64 does), so a long line costs one pass
// over its bytes.
const std::uint8_t* FindBreakByte(const std::uint8_t* p, const std::uint8_t* end) noexcept {
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi8(13);
  const __m128i lf = _mm_set1_epi8(10);
  for (; end - p >= 16; p += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const int found =
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(block, cr), _mm_cmpeq_epi8(block, lf)));
    if (found != 0) {
      return p + __builtin_ctz(static_cast<unsigned>(found));
    }
  }
#endif
  while (p < end && *p != 13 && *p != 10) {
    ++p;
  }
  return p;
}

template <int Unit, bool Big> class TBreakFinder {
public:
  explicit TBreakFinder(std::span<const std::uint8_t> text)
      : FText(text.data()), FUnits(text.size() / Unit) {}

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

  // The first CR or LF at or after unit i, or Units() when there is none. UTF-16 units are
  // looked at one by one: such replies are rare.
  std::size_t Next(std::size_t i) const noexcept {
    if constexpr (Unit == 1) {
      return static_cast<std::size_t>(FindBreakByte(FText + i, FText + FUnits) - FText);
    } else {
      while (i < FUnits && At(i) != 13 && At(i) != 10) {
        ++i;
      }
      return i;
    }
  }

private:
  const std::uint8_t* FText;
  std::size_t FUnits;
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
