#pragma once

#include "app/ErrorDisplay.h"
#include "app/TForm1.h"
#include "roundtrip/Operations.h"

#include <QComboBox>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <optional>
#include <sys/resource.h>

namespace opc::test {

// A folder of templates; each template's text names its operation.
struct TemplateFolder {
  QTemporaryDir dir;
  TemplateFolder() {
    for (const char16_t* operation : kOperations) {
      Write(QString::fromUtf16(operation), QString::fromUtf16(operation).toLatin1() + "\r\nbody");
    }
  }
  QString Path() const { return dir.path() + u'/'; }
  void Write(const QString& operation, const QByteArray& bytes) const {
    QFile file(Path() + operation + u".x");
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
  }
  void Remove(const QString& operation) const { QFile::remove(Path() + operation + u".x"); }
};

// Records what the error display would show, so no test blocks on a message box.
struct ErrorRecorder {
  QStringList shown;
  ErrorRecorder() {
    SetErrorPresenter([this](const QString&, const QString& text) { shown << text; });
  }
  ~ErrorRecorder() { SetErrorPresenter({}); }
};

// Files this process writes may not grow beyond `bytes` while the object lives, so a write fails
// the way a full disk makes it fail, without a full disk (the signal is ignored, the write fails
// with EFBIG).
struct FileSizeLimit {
  rlimit saved{};
  void (*savedHandler)(int);
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved);
    savedHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, saved.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedHandler);
  }
};

// Chooses an operation the way a user does, with the keyboard on the list.
inline void Choose(TForm1& form, int index) {
  form.cXMLCommand->setFocus();
  while (form.cXMLCommand->currentIndex() < index) {
    QTest::keyClick(form.cXMLCommand, Qt::Key_Down);
  }
  while (form.cXMLCommand->currentIndex() > index) {
    QTest::keyClick(form.cXMLCommand, Qt::Key_Up);
  }
}

} // namespace opc::test
