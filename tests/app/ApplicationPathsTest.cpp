#include "app/ApplicationPaths.h"

#include "AppTests.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

namespace opc::test {

using namespace Qt::StringLiterals;

class ApplicationPathsTest : public QObject {
  Q_OBJECT
private slots:
  void title_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("title");
    QTest::addRow("plain") << u"/opt/x/opcxmlda"_s << u"opcxmlda"_s;
    QTest::addRow("windows upper case") << uR"(C:\Tools\MYTOOL.EXE)"_s << u"Mytool"_s;
    QTest::addRow("first full stop") << u"/a.b/Client.Test.bin"_s << u"Client"_s;
    QTest::addRow("no folder") << u"AbC"_s << u"Abc"_s;
  }
  void title() {
    QFETCH(QString, path);
    QFETCH(QString, title);
    QCOMPARE(ApplicationTitleFromPath(path), title);
  }

  void folderDoesNotDependOnTheWorkingDirectory() {
    const std::string before = ExecutableFolder().native();
    const QString saved = QDir::currentPath();
    QDir::setCurrent(QDir::rootPath());
    QCOMPARE(ExecutableFolder().native(), before);
    QDir::setCurrent(saved);
    QVERIFY(before.ends_with('/'));
    QCOMPARE(QFile::decodeName(QByteArray::fromStdString(before)),
             QDir(QCoreApplication::applicationDirPath()).canonicalPath() + u'/');
  }

  // Bytes that are no UTF-8 stay as they are: the folder is not lost to "/".
  void folderKeepsTheFileSystemsBytes() {
    QCOMPARE(FolderOfExecutable("/opt/caf\xE9/bin/opcxmlda").native(),
             std::string("/opt/caf\xE9/bin/"));
    QCOMPARE(FolderOfExecutable("/\xFF\xFE/opcxmlda").native(), std::string("/\xFF\xFE/"));
  }
};

static Register<ApplicationPathsTest> registered;

} // namespace opc::test

#include "ApplicationPathsTest.moc"
