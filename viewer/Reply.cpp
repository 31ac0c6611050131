#include "viewer/Reply.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <exception>
#include <new>
#include <system_error>
#include <thread>

namespace opc {

namespace {

// The indented view's lines may take what is left of nine tenths of the reply's size beside the
// raw lines' starts, so that the reply and its views stay within twice its size.
std::size_t LineBudget(const TReply& reply) {
  const std::size_t size = reply.Bytes().size();
  const std::size_t allowed = size - size / 10 + (std::size_t{16} << 20);
  const std::size_t taken = reply.rawCheckpoints.capacity() * sizeof(std::uint64_t);
  return allowed > taken ? allowed - taken : 0;
}

void DetectEncoding(TReply& reply) {
  const std::string_view bytes = reply.Bytes();
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  if (bytes.size() >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
    reply.encoding = TReplyEncoding::Utf16Le;
    reply.textStart = 2;
  } else if (bytes.size() >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
    reply.encoding = TReplyEncoding::Utf16Be;
    reply.textStart = 2;
  } else if (bytes.size() >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
    reply.textStart = 3;
  } else if (bytes.size() >= 2 && b[0] == '<' && b[1] == 0) {
    reply.encoding = TReplyEncoding::Utf16Le; // shown as what it is, though not well-formed
  } else if (bytes.size() >= 2 && b[0] == 0 && b[1] == '<') {
    reply.encoding = TReplyEncoding::Utf16Be;
  } else {
    // An 8-bit reply names its encoding in its declaration; expat reads only these two.
    std::string head(bytes.substr(0, std::min<std::size_t>(bytes.size(), 200)));
    head = head.substr(0, head.find("?>"));
    for (char& c : head) {
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (head.rfind("<?XML", 0) == 0 && (head.find("ISO-8859-1") != std::string::npos ||
                                        head.find("US-ASCII") != std::string::npos)) {
      reply.encoding = TReplyEncoding::Latin1;
    }
  }
}

void IndexRawLines(TReply& reply, const std::atomic<bool>* cancelled) {
  const std::string_view bytes = reply.Bytes();
  auto& checkpoints = reply.rawCheckpoints;
  checkpoints.push_back(0);
  std::size_t count = 1;
  const auto noteLine = [&](std::uint64_t start) {
    if (count % TReply::kRawCheckpointEvery == 0) {
      checkpoints.push_back(start);
      if ((checkpoints.size() & 0xFFFF) == 0 && cancelled && cancelled->load()) {
        throw TLoadCancelled{};
      }
    }
    ++count;
  };
  if (reply.UnitSize() == 1) {
    for (const char* at = bytes.data(); (at = static_cast<const char*>(std::memchr(
                                             at, '\n', bytes.data() + bytes.size() - at)));) {
      ++at;
      noteLine(static_cast<std::uint64_t>(at - bytes.data()));
    }
  } else {
    const std::size_t low = reply.encoding == TReplyEncoding::Utf16Be ? 1 : 0;
    for (std::size_t i = reply.textStart; i + 2 <= bytes.size(); i += 2) {
      if (bytes[i + low] == '\n' && bytes[i + 1 - low] == 0) {
        noteLine(i + 2);
      }
    }
  }
  checkpoints.shrink_to_fit();
  reply.rawLineCount = count;
}

} // namespace

std::uint64_t TReply::NextLineStart(std::uint64_t from) const {
  const std::string_view bytes = Bytes();
  if (UnitSize() == 1) {
    const void* at = std::memchr(bytes.data() + from, '\n', bytes.size() - from);
    return at ? static_cast<std::uint64_t>(static_cast<const char*>(at) - bytes.data()) + 1
              : bytes.size();
  }
  const std::size_t low = encoding == TReplyEncoding::Utf16Be ? 1 : 0;
  for (std::uint64_t i = from; i + 2 <= bytes.size(); i += 2) {
    if (bytes[i + low] == '\n' && bytes[i + 1 - low] == 0) {
      return i + 2;
    }
  }
  return bytes.size();
}

std::uint64_t TReply::RawLineStart(std::size_t line) const {
  std::uint64_t at = rawCheckpoints[line / kRawCheckpointEvery];
  if (line % kRawCheckpointEvery != 0 && at == 0) {
    at = textStart; // the first line's units start after the mark
  }
  for (std::size_t i = 0; i < line % kRawCheckpointEvery; ++i) {
    at = NextLineStart(at);
  }
  return at;
}

std::size_t TReply::RawLineOf(std::uint64_t offset) const {
  if (rawCheckpoints.empty()) {
    return 0;
  }
  const auto next = std::upper_bound(rawCheckpoints.begin(), rawCheckpoints.end(), offset);
  const auto block = static_cast<std::size_t>(next - rawCheckpoints.begin()) - 1;
  std::size_t line = block * kRawCheckpointEvery;
  std::uint64_t at = block == 0 ? textStart : rawCheckpoints[block];
  for (;;) {
    const std::uint64_t following = NextLineStart(at);
    if (following > offset || line + 1 >= rawLineCount || following >= Bytes().size()) {
      return line;
    }
    at = following;
    ++line;
  }
}

void TLineTable::push_back(const TIndentedLine& line) {
  if (FSize == FBlocks.size() * kBlock) {
    FBlocks.push_back(std::make_unique_for_overwrite<TIndentedLine[]>(kBlock));
  }
  (*this)[FSize++] = line;
}

std::size_t TLineTable::LineAtOffset(std::uint64_t offset) const {
  std::size_t low = 0, high = FSize; // the first line that starts after offset, in [low, high]
  while (low < high) {
    const std::size_t mid = low + (high - low) / 2;
    if ((*this)[mid].offset <= offset) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  return low == 0 ? 0 : low - 1;
}

TReply LoadReply(const std::string& path, const std::atomic<bool>* cancelled) {
  TReplyBytes bytes;
  try {
    bytes = TReplyBytes::Read(path, cancelled);
  } catch (const std::system_error& e) {
    TReply reply;
    reply.path = path;
    reply.readError = e.code().message();
    return reply;
  } catch (const std::bad_alloc&) {
    TReply reply;
    reply.path = path;
    reply.readError = "the reply is too large to hold in memory";
    return reply;
  }
  return PrepareReply(path, std::move(bytes), cancelled);
}

TReply PrepareReply(const std::string& path, TReplyBytes bytes,
                    const std::atomic<bool>* cancelled) {
  TReply reply;
  reply.path = path;
  reply.bytes = std::move(bytes);
  DetectEncoding(reply);

  // The check reads the bytes on one core while the lines are indexed on the other.
  std::optional<TParseError> verdict;
  std::exception_ptr checkFailure;
  std::thread checker([&] {
    try {
      verdict = CheckWellFormed(reply.Bytes(), cancelled);
    } catch (...) {
      checkFailure = std::current_exception();
    }
  });
  std::exception_ptr indexFailure;
  try {
    IndexRawLines(reply, cancelled);
    IndexLines(reply, LineBudget(reply), cancelled);
  } catch (...) {
    indexFailure = std::current_exception();
  }
  checker.join();
  if (checkFailure) {
    std::rethrow_exception(checkFailure);
  }
  if (verdict) {
    // Never a repaired tree: a reply that is not well-formed is shown as it is.
    reply.parseError = std::move(verdict);
    reply.lines.clear();
    reply.fault.reset();
  }
  if (indexFailure) {
    reply.lines.clear();
    try {
      std::rethrow_exception(indexFailure);
    } catch (const std::bad_alloc&) {
      if (reply.rawLineCount == 0) {
        throw; // not even the raw view could be prepared
      }
      if (!reply.parseError) {
        reply.notice = "Shown raw: the indented view of this reply needs more memory than it may "
                       "take (twice the reply's size in all).";
      }
    }
  }
  return reply;
}

} // namespace opc
