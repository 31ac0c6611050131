#include "app/TemplateFile.h"

#include "app/AppMessages.h"
#include "base/Error.h"
#include "base/Format.h"
#include "base/SystemError.h"
#include "base/UniqueFd.h"
#include "text/LineBreaks.h"
#include "text/TextDecoding.h"

#include <QFile>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <vector>

namespace opc {

namespace {

[[noreturn]] void RaiseOpenError(const QString& path, int code) {
  const std::u16string name = path.toStdU16String();
  throw Error(Format(kCannotOpenFile, {name, SystemErrorText(code)}));
}

std::vector<std::uint8_t> ReadWholeFile(const QString& path) {
  const UniqueFd fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
  if (!fd) {
    RaiseOpenError(path, errno);
  }
  std::vector<std::uint8_t> bytes;
  std::uint8_t chunk[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
    if (n == 0) {
      break;
    }
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      // A folder of that name opens but does not read: the same failure as a missing file.
      RaiseOpenError(path, errno);
    }
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  return bytes;
}

} // namespace

QString LoadTemplateText(const QString& path) {
  const std::vector<std::uint8_t> bytes = ReadWholeFile(path);
  return QString::fromStdU16String(NormalizeLineBreaks(DecodeText(bytes)));
}

} // namespace opc
