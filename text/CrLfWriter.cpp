#include "text/CrLfWriter.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace opc {

namespace {

// The first lone CR or LF byte (one that is not half of a CR LF) in [p, end) of the text that
// starts at begin, or end. Sixteen bytes are looked at a step where the processor has the
// instructions for it (every x86-64 does): a block whose breaks are all CR LF, or that has none,
// is passed over whole, so a long line or a reply already written with CR LF costs one pass.
const std::uint8_t* FindLoneBreakByte(const std::uint8_t* begin, const std::uint8_t* p,
                                      const std::uint8_t* end) noexcept {
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi8(13);
  const __m128i lf = _mm_set1_epi8(10);
  for (; end - p >= 16; p += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const auto crs = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, cr)));
    const auto lfs = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, lf)));
    if ((crs | lfs) == 0) {
      continue;
    }
    // An LF is lone unless a CR is just before it, a CR unless an LF is just after it; the
    // bytes beside the block decide at its edges (a CR at the very end of the text is lone).
    const unsigned crBefore = (crs << 1) | (p > begin && p[-1] == 13 ? 1u : 0u);
    const unsigned lfAfter = (lfs >> 1) | (end - p > 16 && p[16] == 10 ? 1u << 15 : 0u);
    const unsigned lone = ((lfs & ~crBefore) | (crs & ~lfAfter)) & 0xFFFFu;
    if (lone != 0) {
      return p + __builtin_ctz(lone);
    }
  }
#endif
  for (; p < end; ++p) {
    if ((*p == 10 && !(p > begin && p[-1] == 13)) || (*p == 13 && !(p + 1 < end && p[1] == 10))) {
      return p;
    }
  }
  return end;
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

  // The first lone CR or LF (one that is not half of a CR LF) at or after unit i, or Units()
  // when there is none; i is 0 or just behind a lone break. UTF-16 units are looked at one by
  // one: such replies are rare.
  std::size_t NextLone(std::size_t i) const noexcept {
    if constexpr (Unit == 1) {
      return static_cast<std::size_t>(FindLoneBreakByte(FText, FText + i, FText + FUnits) - FText);
    } else {
      for (; i < FUnits; ++i) {
        const unsigned c = At(i);
        if (c == 13 && i + 1 < FUnits && At(i + 1) == 10) {
          ++i; // CR LF
        } else if (c == 13 || c == 10) {
          return i;
        }
      }
      return FUnits;
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
  for (std::size_t i = finder.NextLone(0); i < units; i = finder.NextLone(run)) {
    sink(text.data() + run * Unit, (i - run) * Unit);
    sink(crlf, crlfSize);
    run = i + 1;
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
