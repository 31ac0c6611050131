#pragma once

#include "viewer/Reply.h"

#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QStackedWidget;
class QTabBar;

namespace opc {

class TElidedLabel;
class TExchangeView;
class TItemsView;
class TXmlLinesView;

// The response viewer. Navigate starts loading a reply file and returns at once; the file is read
// and checked off the UI thread and shown when ready, in a set of views over the same bytes: the
// XML indented, coloured and foldable; the raw text; and any view added with AddView. A reply that
// is not well-formed is shown raw with the parser's line, column and reason, which a click takes
// the user to. Find (Ctrl+F, F3, Shift+F3) searches the reply's own bytes.
class TWebBrowser : public QWidget {
  Q_OBJECT
public:
  using TLoader =
      std::function<TReply(const std::string& path, const std::atomic<bool>* cancelled)>;

  explicit TWebBrowser(QWidget* parent = nullptr);
  ~TWebBrowser() override;

  // Raises Error when the navigation cannot start (an empty path). The reply shown so far is let
  // go at once, so that two replies are never held side by side.
  void Navigate(const QString& path);

  bool IsLoading() const { return FLoading; }
  std::shared_ptr<const TReply> Reply() const { return FReply; }
  QString BannerText() const { return FBannerText; }
  TXmlLinesView* IndentedView() const { return FIndented; }
  TXmlLinesView* RawView() const { return FRaw; }
  TItemsView* ItemsView() const { return FItems; }
  TExchangeView* ExchangeView() const { return FExchange; }
  // What went over the wire in the last run, whether or not it brought a reply to navigate to.
  void ShowExchange(const QString& text, TReplyBytes envelope);
  bool ShowsRaw() const;
  // One more view of the reply, shown as a tab; `show` is called with each reply loaded (or null).
  void AddView(const QString& title, QWidget* view,
               std::function<void(std::shared_ptr<const TReply>)> show);

  void ShowFind();
  bool FindNext(bool backwards = false);
  QLineEdit* FindBox() const { return FFindText; }
  QCheckBox* MatchCase() const { return FMatchCase; }
  QString FindStatus() const;
  // Loads with another function, for tests that make loading fail.
  void SetLoader(TLoader loader) { FLoader = std::move(loader); }

signals:
  void Loaded();

protected:
  void keyPressEvent(QKeyEvent* event) override;

private:
  struct TMailbox;
  struct TView {
    QWidget* widget;
    std::function<void(std::shared_ptr<const TReply>)> show;
  };
  void Show(std::shared_ptr<const TReply> reply, const QString& failure, quint64 generation);
  void SetBanner(const QString& html, const QString& plain, const QString& style);
  TXmlLinesView* CurrentLinesView() const;

  QLabel* FBanner;
  QString FBannerText;
  QTabBar* FTabs;
  TElidedLabel* FStatus;
  QStackedWidget* FStack;
  TXmlLinesView* FIndented;
  TXmlLinesView* FRaw;
  TItemsView* FItems;
  TExchangeView* FExchange;
  std::vector<TView> FViews;
  QWidget* FFindBar;
  QLineEdit* FFindText;
  QCheckBox* FMatchCase;
  QLabel* FFindCount;
  std::shared_ptr<TMailbox> FMailbox;
  std::shared_ptr<std::atomic<bool>> FCancel;
  std::shared_ptr<const TReply> FReply;
  TLoader FLoader;
  quint64 FGeneration = 0;
  bool FLoading = false;
  // The match count of the last search, kept while its text, case and reply stay.
  QString FCountedText;
  bool FCountedCase = false;
  std::size_t FCount = 0;
};

} // namespace opc
