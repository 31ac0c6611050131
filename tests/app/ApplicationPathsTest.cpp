#include "app/ApplicationPaths.h"

#include "AppTests.h"

#include <QCoreApplication>
#include <QDir>

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
    const QString before = ExecutableFolder();
    const QString saved = QDir::currentPath();
    QDir::setCurrent(QDir::rootPath());
    QCOMPARE(ExecutableFolder(), before);
    QDir::setCurrent(saved);
    QVERIFY(before.endsWith(u'/'));
    QCOMPARE(before, QDir(QCoreApplication::applicationDirPath()).canonicalPath() + u'/');
  }
};

static Register<ApplicationPathsTest> registered;

} // namespace opc::test

#include "ApplicationPathsTest.moc"
