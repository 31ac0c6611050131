#pragma once

#include "viewer/NextRequestAction.h"
#include "xmlda/ReplyModel.h"

#include <QWidget>
#include <atomic>
#include <memory>
#include <string_view>

class QAction;
class QLabel;
class QTableView;
class QToolBar;

namespace opc {

class TItemsTableModel;

// The Items view: an OPC XML-DA reply understood. A summary of the reply, what could not be read
// in it, and a sortable table of its items, elements or properties with quality in words and
// colour and errors in red with their text. Rows copy as tab-separated text (Ctrl+C, context
// menu). Actions make the next request from the reply (browse into, next page, read, write,
// subscribe, poll, cancel): they are emitted as NextRequest for the window to put into its request
// editor; nothing is sent from here.
class TItemsView : public QWidget {
  Q_OBJECT
public:
  explicit TItemsView(QWidget* parent = nullptr);
  ~TItemsView() override;

  // Starts reading the reply off the UI thread; `owner` keeps `bytes` alive until then. `path` is
  // the reply's file, whose time of writing stands for the time the reply came in.
  void ShowReply(std::shared_ptr<const void> owner, std::string_view bytes, const QString& path);
  // Lets the reply go (and any reading under way).
  void Clear();

  bool IsReading() const { return FReading; }
  std::shared_ptr<const xmlda::TReply> Reply() const;
  QTableView* Table() const { return FTable; }
  TItemsTableModel* Model() const { return FModel; }
  QString SummaryText() const;
  QString ProblemsText() const;
  // The action of that title ("Browse into", "Next page", ...), or null.
  QAction* Action(const QString& title) const;
  // The selected rows, in the order shown, as tab-separated text under the header line.
  QString SelectedRowsText() const;
  void CopySelectedRows() const;

signals:
  // The reply has been read; `recognized` when it is the reply of one of the eight operations.
  void Ready(bool recognized);
  void NextRequest(const opc::TNextRequest& request);

protected:
  void keyPressEvent(QKeyEvent* event) override;

private:
  struct TMailbox;
  void Show(std::shared_ptr<const xmlda::TReply> reply, const QDateTime& arrived,
            quint64 generation);
  void UpdateActions();
  QList<int> SelectedSourceRows() const;
  QAction* AddAction(const QString& title, void (TItemsView::*slot)());
  void BrowseInto();
  void NextPage();
  void ReadSelected();
  void GetPropertiesOfSelected();
  void SubscribeSelected();
  void PollSubscription();
  void CancelSubscription();
  void WriteSelected();

  QLabel* FSummary;
  QLabel* FProblems;
  QToolBar* FActions;
  QTableView* FTable;
  TItemsTableModel* FModel;
  QAction* FCopy;
  QList<QAction*> FNextActions;
  std::shared_ptr<TMailbox> FMailbox;
  std::shared_ptr<std::atomic<bool>> FCancel;
  quint64 FGeneration = 0;
  bool FReading = false;
  bool FForwarding = false;
};

} // namespace opc
