#include "viewer/ReplySearch.h"

#include <algorithm>
#include <cstring>

namespace opc {

namespace {

char Fold(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

// UTF-8 to the reply's encoding; empty when the reply's encoding cannot hold the text.
std::string Encode(std::string_view utf8, TReplyEncoding encoding) {
  if (encoding == TReplyEncoding::Utf8) {
    return std::string(utf8);
  }
  std::u32string points;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    const int extra = b < 0x80 ? 0 : b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : 1;
    char32_t c = extra == 0 ? b : b & (0x3F >> extra);
    for (int k = 1; k <= extra && i + k < utf8.size(); ++k) {
      c = c << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    }
    points += c;
    i += 1 + extra;
  }
  std::string out;
  for (char32_t c : points) {
    if (encoding == TReplyEncoding::Latin1) {
      if (c > 0xFF) {
        return {};
      }
      out += static_cast<char>(c);
      continue;
    }
    char16_t units[2];
    int n = 1;
    if (c >= 0x10000) {
      units[0] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      units[1] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
      n = 2;
    } else {
      units[0] = static_cast<char16_t>(c);
    }
    for (int k = 0; k < n; ++k) {
      const char hi = static_cast<char>(units[k] >> 8), lo = static_cast<char>(units[k] & 0xFF);
      out += encoding == TReplyEncoding::Utf16Le ? lo : hi;
      out += encoding == TReplyEncoding::Utf16Le ? hi : lo;
    }
  }
  return out;
}

} // namespace

TReplySearch::TReplySearch(const TReply& reply, std::string_view utf8Needle, bool matchCase)
    : FBytes(reply.Bytes()), FTextStart(reply.textStart), FUnit(reply.UnitSize()),
      FNeedle(Encode(utf8Needle, reply.encoding)), FMatchCase(matchCase) {
  if (!FMatchCase) {
    std::transform(FNeedle.begin(), FNeedle.end(), FNeedle.begin(), Fold);
  }
}

bool TReplySearch::Aligned(std::size_t at) const {
  return at >= FTextStart && (at - FTextStart) % FUnit == 0;
}

bool TReplySearch::MatchesAt(std::size_t at) const {
  if (at + FNeedle.size() > FBytes.size() || !Aligned(at)) {
    return false;
  }
  if (FMatchCase) {
    return std::memcmp(FBytes.data() + at, FNeedle.data(), FNeedle.size()) == 0;
  }
  for (std::size_t i = 0; i < FNeedle.size(); ++i) {
    if (Fold(FBytes[at + i]) != FNeedle[i]) {
      return false;
    }
  }
  return true;
}

std::optional<std::uint64_t> TReplySearch::Next(std::uint64_t from) const {
  if (FNeedle.empty()) {
    return std::nullopt;
  }
  const char first = FNeedle[0];
  const char other = FMatchCase ? first : (first >= 'a' && first <= 'z' ? first - 32 : first);
  // The first byte is found many at a time, in either case; each kept until passed, so that a
  // case absent from the reply is looked for once.
  const char* end = FBytes.data() + FBytes.size();
  auto seek = [&](char c, std::size_t at) {
    const void* hit = std::memchr(FBytes.data() + at, c, FBytes.size() - at);
    return hit ? static_cast<const char*>(hit) : end;
  };
  std::size_t at = std::max<std::size_t>(from, FTextStart);
  if (at >= FBytes.size()) {
    return std::nullopt;
  }
  const char* a = seek(first, at);
  const char* b = other == first ? end : seek(other, at);
  for (;;) {
    const char* hit = std::min(a, b);
    if (hit == end) {
      return std::nullopt;
    }
    at = static_cast<std::size_t>(hit - FBytes.data());
    if (MatchesAt(at)) {
      return at;
    }
    if (at + 1 >= FBytes.size()) {
      return std::nullopt;
    }
    if (a == hit) {
      a = seek(first, at + 1);
    }
    if (b == hit) {
      b = seek(other, at + 1);
    }
  }
}

std::optional<std::uint64_t> TReplySearch::Previous(std::uint64_t before) const {
  if (FNeedle.empty()) {
    return std::nullopt;
  }
  for (std::size_t at = std::min<std::size_t>(before, FBytes.size()); at-- > FTextStart;) {
    if (MatchesAt(at)) {
      return at;
    }
  }
  return std::nullopt;
}

std::size_t TReplySearch::CountBefore(std::uint64_t offset, std::size_t limit) const {
  std::size_t n = 0;
  for (auto at = Next(0); at && *at < offset && n < limit; at = Next(*at + 1)) {
    ++n;
  }
  return n;
}

} // namespace opc
