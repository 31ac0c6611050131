#pragma once

#include "app/ApplicationPaths.h"
#include "base/UniqueFd.h"

#include <QWidget>
#include <cstdint>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace opc {

class TItemsActions;
class TMemo;
class TSplitter;
class TWebBrowser;

// The one window of the program. Its controls hold all of its state; handlers read them and call
// library code.
class TForm1 : public QWidget {
  Q_OBJECT
public:
  // folder: where the request templates lie, with a trailing "/".
  explicit TForm1(std::filesystem::path folder = ExecutableFolder(), QWidget* parent = nullptr);
  explicit TForm1(const QString& folder, QWidget* parent = nullptr);

  QWidget* Panel1;
  QLabel* Label1;
  QLineEdit* eURL;
  QPushButton* bGo;
  QComboBox* cXMLCommand;
  TWebBrowser* WebBrowser1;
  TSplitter* Splitter1;
  QWidget* Panel2;
  QLabel* Label3;
  QLabel* Label4;
  TMemo* Memo1;

  void FormShow();
  void cXMLCommandChange();
  void bGoClick();
  // Key is the virtual-key code; F9 (120), with any modifier, runs the Go command.
  void FormKeyDown(std::uint16_t& Key, Qt::KeyboardModifiers Shift);

  const std::filesystem::path& Folder() const { return FFolder; }
  // The next request from the Items view of the viewer.
  TItemsActions* ItemsActions = nullptr;

protected:
  void showEvent(QShowEvent* event) override;
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void CentreOnDesktop();

  std::filesystem::path FFolder;
  UniqueFd FFolderHandle; // held while the viewer may be given the folder through it
  QString FViewerFolder;
  bool FShown = false;
  bool FRunning = false;
  bool FActivated = false;
  bool FF9Repeats = false;   // the F9 press under way repeats a held key
  quint64 FF9ReleasedAt = 0; // the window system's time of the last F9 release
  QSize FCentredOuter;
};

} // namespace opc
