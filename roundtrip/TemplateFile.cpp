#include "roundtrip/TemplateFile.h"

#include "base/Error.h"
#include "base/Format.h"
#include "base/SystemError.h"
#include "base/UniqueFd.h"
#include "roundtrip/FileMessages.h"
#include "roundtrip/PathText.h"
#include "text/LineBreaks.h"
#include "text/TextDecoding.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

namespace opc {

namespace {

[[noreturn]] void RaiseOpenError(const std::filesystem::path& path, int code) {
  throw Error(Format(kCannotOpenFile, {PathText(path), SystemErrorText(code)}));
}

// Only a regular file is read: a pipe would hold the window until someone writes to it, and a
// device such as /dev/zero never ends. Opening does not wait for a pipe's writer.
std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& path) {
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) {
    RaiseOpenError(path, errno);
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) {
    RaiseOpenError(path, errno);
  }
  if (S_ISDIR(info.st_mode)) {
    RaiseOpenError(path, EISDIR); // as reading a folder fails
  }
  if (!S_ISREG(info.st_mode)) {
    throw Error(Format(kCannotOpenFile, {PathText(path), kNotARegularFile}));
  }
  if (static_cast<std::uint64_t>(info.st_size) > kTemplateCapacity) {
    throw Error(kTextExceedsMemoCapacity);
  }
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(info.st_size));
  std::size_t filled = 0;
  for (;;) {
    if (filled == bytes.size()) {
      // The file may have grown since it was measured; never beyond the capacity.
      if (bytes.size() > kTemplateCapacity) {
        throw Error(kTextExceedsMemoCapacity);
      }
      bytes.resize(std::min<std::size_t>(bytes.size() + 65536, kTemplateCapacity + 1));
    }
    const ssize_t n = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
    if (n == 0) {
      break;
    }
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      RaiseOpenError(path, errno);
    }
    filled += static_cast<std::size_t>(n);
  }
  bytes.resize(filled);
  return bytes;
}

} // namespace

std::u16string LoadTemplateText(const std::filesystem::path& path) {
  const std::vector<std::uint8_t> bytes = ReadWholeFile(path);
  return NormalizeLineBreaks(DecodeText(bytes));
}

} // namespace opc
