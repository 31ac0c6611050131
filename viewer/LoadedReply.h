#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace opc {

// One display line of the indented view: a stretch of the pretty text, its depth, and for an
// element that holds others the index of its closing line, so that it can be folded.
struct TXmlLine {
  std::uint64_t offset = 0;
  std::uint32_t length = 0;
  std::uint32_t foldEnd = 0; // 0: nothing to fold
  std::uint16_t depth = 0;
  std::uint8_t comment = 0;
};

struct TParseError {
  std::size_t line = 0; // 1-based
  std::size_t column = 0;
  std::string reason;
};

struct TSoapFault {
  std::string code;
  std::string text;
};

// A reply file as the viewer shows it: the exact bytes for the raw view, with the start of each
// line, and, when it is well-formed, the indented view; or the reason it is not.
struct TLoadedReply {
  std::string path;
  std::string raw;
  bool rawIsUtf16 = false;
  bool rawBigEndian = false;
  std::vector<std::uint64_t> rawLineStarts;
  std::string pretty; // UTF-8, every line one after the other without breaks
  std::vector<TXmlLine> lines;
  std::size_t widestLine = 0;
  std::optional<TParseError> parseError;
  std::optional<TSoapFault> fault;
  std::string readError;         // the file could not be read
  bool tooLargeToIndent = false; // over 512 MiB: raw view only
};

// Reads the file afresh and prepares both views. Fetches nothing: no DTD, no external entity.
TLoadedReply LoadReply(const std::string& path);
// The same for bytes already read.
TLoadedReply PrepareReply(const std::string& path, std::string raw);

} // namespace opc
