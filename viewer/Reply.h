#pragma once

#include "viewer/ReplyBytes.h"
#include "viewer/WellFormed.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace opc {

enum class TReplyEncoding : std::uint8_t { Utf8, Latin1, Utf16Le, Utf16Be };

enum class TLineKind : std::uint8_t {
  Open,    // a start tag whose element holds more than one line; folds down to its Close
  Close,   // an end tag
  Leaf,    // an empty element, or one with text on one line: start tag, text and end tag
  Text,    // a line of text between tags
  Comment, // a comment
  Markup,  // the declaration, a processing instruction, the document type
};

// One line of the indented view: a stretch of the reply's own bytes, never a copy. 16 bytes,
// so that the index of a reply of small elements stays below the reply's own size.
struct TIndentedLine {
  std::uint64_t offset : 40; // in the file
  std::uint64_t depth : 16;
  std::uint64_t kind : 8;
  std::uint32_t length;  // bytes
  std::uint32_t foldEnd; // Open: the index of its Close line; otherwise 0
};
static_assert(sizeof(TIndentedLine) == 16);

// The indented view's lines in blocks of a fixed size: the table grows without ever moving, so
// that no second copy of it exists while a large reply is indexed, and holds no spare room.
class TLineTable {
public:
  std::size_t size() const { return FSize; }
  bool empty() const { return FSize == 0; }
  const TIndentedLine& operator[](std::size_t i) const { return FBlocks[i / kBlock][i % kBlock]; }
  TIndentedLine& operator[](std::size_t i) { return FBlocks[i / kBlock][i % kBlock]; }
  const TIndentedLine& back() const { return (*this)[FSize - 1]; }
  void push_back(const TIndentedLine& line);
  void clear() {
    decltype(FBlocks)().swap(FBlocks);
    FSize = 0;
  }
  std::size_t Bytes() const { return FBlocks.size() * kBlock * sizeof(TIndentedLine); }
  // The last line that starts at or before a byte offset (0 when none does).
  std::size_t LineAtOffset(std::uint64_t offset) const;

private:
  static constexpr std::size_t kBlock = std::size_t{1} << 16;
  std::vector<std::unique_ptr<TIndentedLine[]>> FBlocks;
  std::size_t FSize = 0;
};

struct TSoapFault {
  std::string code;
  std::string text;
};

// A reply as the viewer shows it: the exact bytes, the start of each of their lines, and when the
// reply is well-formed, the lines of the indented view; or why it is shown raw only.
struct TReply {
  std::string path;
  TReplyBytes bytes;
  TReplyEncoding encoding = TReplyEncoding::Utf8;
  std::size_t textStart = 0; // after a byte-order mark
  // The start of every 32nd raw line; those between are found again with memchr when asked for,
  // which keeps the raw view's index of a reply of short lines at a fraction of a byte a line.
  std::vector<std::uint64_t> rawCheckpoints;
  std::size_t rawLineCount = 0;
  TLineTable lines;
  std::optional<TParseError> parseError;
  std::optional<TSoapFault> fault;
  std::string readError; // the file could not be read or held
  std::string notice;    // well-formed, but shown raw; the reason

  std::string_view Bytes() const { return bytes.View(); }
  bool Indented() const { return !lines.empty(); }
  std::size_t UnitSize() const {
    return encoding == TReplyEncoding::Utf16Le || encoding == TReplyEncoding::Utf16Be ? 2 : 1;
  }
  // The start of a raw line (after the line break ending the one before), and the line holding
  // a byte offset.
  std::uint64_t RawLineStart(std::size_t line) const;
  std::size_t RawLineOf(std::uint64_t offset) const;
  // After the next line feed at or after `from`, or the end.
  std::uint64_t NextLineStart(std::uint64_t from) const;
  static constexpr std::size_t kRawCheckpointEvery = 32;
};

// Reads the file afresh and prepares both views; the well-formedness check and the indexing run
// side by side. Never throws for the file's content or size: a fault shows in the result.
// Throws TLoadCancelled when `cancelled` is set on the way.
TReply LoadReply(const std::string& path, const std::atomic<bool>* cancelled = nullptr);
// The same for bytes not in a file.
TReply PrepareReply(const std::string& path, TReplyBytes bytes,
                    const std::atomic<bool>* cancelled = nullptr);

// Builds the indented view's lines of a well-formed reply, without recursion. Throws
// std::bad_alloc when they would need more than `budget` bytes.
void IndexLines(TReply& reply, std::size_t budget, const std::atomic<bool>* cancelled);

} // namespace opc
