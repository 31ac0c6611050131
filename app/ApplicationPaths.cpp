#include "app/ApplicationPaths.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <climits>
#include <unistd.h>

namespace opc {

std::filesystem::path ExecutableFolder() {
  // The kernel's own record of the executable: links resolved, every byte of the name as it is.
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
  if (n > 0 && static_cast<std::size_t>(n) < sizeof buffer) {
    return FolderOfExecutable(std::string(buffer, static_cast<std::size_t>(n)));
  }
  const QFileInfo exe(QCoreApplication::applicationFilePath());
  const QString folder = exe.canonicalPath();
  return QFile::encodeName((folder.isEmpty() ? exe.absolutePath() : folder) + u'/').toStdString();
}

std::filesystem::path FolderOfExecutable(const std::string& executablePath) {
  const std::size_t slash = executablePath.rfind('/');
  return slash == std::string::npos ? std::string("./") : executablePath.substr(0, slash + 1);
}

QString ApplicationTitleFromPath(const QString& executablePath) {
  const qsizetype slash =
      std::max(executablePath.lastIndexOf(u'/'), executablePath.lastIndexOf(u'\\'));
  QString name = executablePath.mid(slash + 1);
  if (const qsizetype dot = name.indexOf(u'.'); dot >= 0) {
    name.truncate(dot);
  }
  return name.left(1) + name.mid(1).toLower();
}

} // namespace opc
