#include "app/ApplicationPaths.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace opc {

QString ExecutableFolder() {
  const QFileInfo exe(QCoreApplication::applicationFilePath());
  const QString folder = exe.canonicalPath();
  return (folder.isEmpty() ? exe.absolutePath() : folder) + u'/';
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
