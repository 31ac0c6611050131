#pragma once

#include "viewer/LoadedReply.h"

#include <QWidget>
#include <memory>

class QLabel;
class QLineEdit;
class QStackedWidget;
class QTabBar;

namespace opc {

class TItemsView;
class TXmlLinesView;

// The response viewer. Navigate starts loading a reply file and returns at once; the file is read
// and parsed off the UI thread and shown when ready: indented, coloured and foldable, or raw, with
// find (Ctrl+F), the parser's line, column and reason for a reply that is not well-formed, and a
// mark for a SOAP Fault. It shows nothing until the first reply.
class TWebBrowser : public QWidget {
  Q_OBJECT
public:
  explicit TWebBrowser(QWidget* parent = nullptr);
  ~TWebBrowser() override;

  // Raises Error when the navigation cannot start (an empty path).
  void Navigate(const QString& path);

  bool IsLoading() const { return FLoading; }
  std::shared_ptr<const TLoadedReply> Reply() const { return FReply; }
  QString BannerText() const;
  TXmlLinesView* IndentedView() const { return FIndented; }
  TXmlLinesView* RawView() const { return FRaw; }
  TItemsView* ItemsView() const { return FItems; }
  bool ShowsRaw() const;
  void ShowFind();
  bool FindNext();
  QLineEdit* FindBox() const { return FFindText; }

signals:
  void Loaded();

protected:
  void keyPressEvent(QKeyEvent* event) override;

private:
  struct TMailbox;
  void Show(std::shared_ptr<const TLoadedReply> reply, quint64 generation);

  QLabel* FBanner;
  QTabBar* FTabs;
  QLabel* FStatus;
  QStackedWidget* FStack;
  TXmlLinesView* FIndented;
  TXmlLinesView* FRaw;
  TItemsView* FItems;
  QWidget* FFindBar;
  QLineEdit* FFindText;
  std::shared_ptr<TMailbox> FMailbox;
  std::shared_ptr<const TLoadedReply> FReply;
  quint64 FGeneration = 0;
  bool FLoading = false;
  bool FForwarding = false;
};

} // namespace opc
