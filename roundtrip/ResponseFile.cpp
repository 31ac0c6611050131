#include "roundtrip/ResponseFile.h"

#include "base/Error.h"
#include "base/Format.h"
#include "base/SystemError.h"
#include "base/UniqueFd.h"
#include "roundtrip/FileMessages.h"
#include "roundtrip/PathText.h"
#include "text/ByteOrderMark.h"
#include "text/CrLfWriter.h"
#include "text/TextMessages.h"
#include "text/Utf8.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

namespace opc {

namespace {

// Collects small pieces into large writes; a failed write raises at once.
class TFileWriter {
public:
  explicit TFileWriter(UniqueFd fd) : FFd(std::move(fd)) { FBuffer.reserve(kSize); }

  void Write(const std::uint8_t* data, std::size_t size) {
    if (size >= kSize) {
      Flush();
      WriteOut(data, size);
      return;
    }
    if (FBuffer.size() + size > kSize) {
      Flush();
    }
    FBuffer.insert(FBuffer.end(), data, data + size);
  }
  void Close() {
    Flush();
    if (::close(FFd.release()) != 0) {
      Fail(errno);
    }
  }

private:
  static constexpr std::size_t kSize = 1 << 20;

  void Flush() {
    WriteOut(FBuffer.data(), FBuffer.size());
    FBuffer.clear();
  }
  void WriteOut(const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
      const ssize_t n = ::write(FFd.get(), data, size);
      if (n < 0 && errno == EINTR) {
        continue;
      }
      if (n <= 0) {
        Fail(n < 0 ? errno : ENOSPC);
      }
      data += n;
      size -= static_cast<std::size_t>(n);
    }
  }
  [[noreturn]] static void Fail(int code) {
    throw Error(std::u16string(kStreamWriteError) + u": " + SystemErrorText(code));
  }

  UniqueFd FFd;
  std::vector<std::uint8_t> FBuffer;
};

[[noreturn]] void RaiseCreateError(const std::filesystem::path& path, std::u16string_view reason) {
  throw Error(Format(kCannotCreateFile, {PathText(path), reason}));
}

// The response file is written only as a regular file of its own. A symbolic link in its place
// is refused, not followed: the file it points to may belong to anything, and writing there in
// the link's name is how a planted link overwrites another file. A pipe or a device is refused
// before it is written, and a pipe without a reader does not hold the window. The file is
// truncated only once it is known to be a regular file.
UniqueFd OpenTarget(const std::filesystem::path& path) {
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666));
  if (!fd) {
    const int code = errno;
    struct stat info {};
    if (code == ELOOP && ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
      RaiseCreateError(path, kIsASymbolicLink);
    }
    if (code == ENXIO) { // a pipe that nobody reads
      RaiseCreateError(path, kNotARegularFile);
    }
    RaiseCreateError(path, SystemErrorText(code));
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) {
    RaiseCreateError(path, SystemErrorText(errno));
  }
  if (!S_ISREG(info.st_mode)) {
    RaiseCreateError(path, kNotARegularFile);
  }
  if (::ftruncate(fd.get(), 0) != 0) {
    RaiseCreateError(path, SystemErrorText(errno));
  }
  return fd;
}

} // namespace

void WriteResponseFile(const std::filesystem::path& path, std::span<const std::uint8_t> body) {
  const ByteOrderMark mark = DetectByteOrderMark(body);
  const auto text = body.subspan(mark.length);
  const bool utf16 =
      mark.encoding == TextEncoding::Utf16LE || mark.encoding == TextEncoding::Utf16BE;
  if ((mark.encoding == TextEncoding::Utf8 && !IsValidUtf8(text)) || (utf16 && text.size() == 1)) {
    throw Error(kNoMappingMessage);
  }
  TFileWriter writer(OpenTarget(path));
  writer.Write(body.data(), mark.length);
  WriteLinesCrLf(text, utf16 ? 2 : 1, mark.encoding == TextEncoding::Utf16BE,
                 [&](const std::uint8_t* data, std::size_t size) { writer.Write(data, size); });
  writer.Close();
}

} // namespace opc
