#include "viewer/TItemsView.h"

#include "base/Error.h"
#include "viewer/ItemsTableModel.h"
#include "viewer/QualityStyle.h"
#include "xmlda/NextRequest.h"
#include "xmlda/ReplyReader.h"
#include "xmlda/TemplateText.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QTableView>
#include <QThreadPool>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <mutex>

namespace opc {

using namespace Qt::StringLiterals;
using namespace xmlda;

namespace {

constexpr std::size_t kFeedBytes = 1u << 20; // the reading stops between pieces when cancelled
constexpr int kProblemsShown = 20;

const QString kNoteStyle = u"background:#eef;color:#224;padding:3px;"_s;
const QString kErrorStyle = u"background:#fde2e2;color:#900;padding:3px;"_s;

QString Q(const std::string& utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QString Plural(std::size_t n, const QString& one, const QString& many) {
  return QString::number(n) + u' ' + (n == 1 ? one : many);
}

// The entities a request text may use in an attribute or a handle.
std::string Unescaped(std::u16string_view text) {
  QString s = QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
  s.replace(u"&lt;"_s, u"<"_s).replace(u"&gt;"_s, u">"_s).replace(u"&quot;"_s, u"\""_s);
  s.replace(u"&apos;"_s, u"'"_s).replace(u"&amp;"_s, u"&"_s);
  return s.trimmed().toStdString();
}

// The subscription a poll or cancel request names: a polled refresh's first ServerSubHandles, a
// cancel's ServerSubHandle. "" when the request names none.
std::string HandleOfRequest(std::u16string_view request) {
  if (request.empty()) {
    return {};
  }
  const std::vector<TTemplateTag> tags = ScanTemplate(request, u"request");
  const TTemplateTag& root = tags.front();
  if (root.LocalName() == u"SubscriptionCancel") {
    for (const TTemplateAttribute& a : root.attributes) {
      if (a.name == u"ServerSubHandle") {
        return Unescaped(request.substr(a.valueStart, a.valueEnd - a.valueStart));
      }
    }
  } else if (root.LocalName() == u"SubscriptionPolledRefresh") {
    for (const TTemplateTag& tag : tags) {
      if (!tag.closing && tag.depth == 1 && tag.LocalName() == u"ServerSubHandles" &&
          !tag.selfClosing) {
        const TTemplateTag& close = tags[tag.match];
        return Unescaped(request.substr(tag.end, close.start - tag.end));
      }
    }
  }
  return {};
}

// The subscription of a reply: the Subscribe reply's handle, the handle the items of a polled
// refresh came under, else the one the answered poll or cancel request named.
std::string SubscriptionOf(const TReply& reply, std::u16string_view answered) {
  if (reply.serverSubHandle && !reply.serverSubHandle->empty()) {
    return *reply.serverSubHandle;
  }
  for (const TItem& item : reply.items) {
    if (!item.subscriptionHandle.empty()) {
      return item.subscriptionHandle;
    }
  }
  std::string handle = HandleOfRequest(answered);
  if (handle.empty()) {
    throw Error(u"The reply does not say which subscription it belongs to, and the request that "
                u"was answered names none: put its ServerSubHandle into the request by hand.");
  }
  return handle;
}

QString Summary(const TReply& r, bool& bad) {
  bad = false;
  if (r.fault) {
    bad = true;
    QString text = u"SOAP Fault: "_s + Q(r.fault->codeText) + u" \u2014 "_s + Q(r.fault->string);
    if (r.fault->hasDetail && !r.fault->detail.empty()) {
      text += u"\nDetail: "_s + Q(r.fault->detail);
    }
    return text;
  }
  if (r.operation == TOperation::Unknown) {
    bad = true;
    return u"Not an OPC XML-DA reply: the XML and Raw views show it as it is."_s;
  }
  QString text = QString::fromLatin1(OperationName(r.operation)) + u" reply"_s;
  std::size_t errors = 0;
  for (const TItem& item : r.items) {
    errors += item.result && item.result->IsError();
  }
  switch (r.operation) {
  case TOperation::Browse:
    text += u": "_s + Plural(r.elements.size(), u"element"_s, u"elements"_s);
    if (r.continuationPoint && !r.continuationPoint->empty()) {
      text += u"; more to come: continuation point \u201c"_s + Q(*r.continuationPoint) +
              u"\u201d (Next page)"_s;
    } else if (r.moreElements) {
      text += u"; the server has more elements but gave no continuation point"_s;
    } else {
      text += u"; no more elements"_s;
    }
    break;
  case TOperation::GetProperties: {
    std::size_t n = 0;
    for (const TPropertyList& list : r.propertyLists) {
      n += list.properties.size();
    }
    text += u": "_s + Plural(n, u"property"_s, u"properties"_s) + u" of "_s +
            Plural(r.propertyLists.size(), u"item"_s, u"items"_s);
    break;
  }
  case TOperation::Subscribe:
    text += u": "_s + Plural(r.items.size(), u"item"_s, u"items"_s);
    if (r.serverSubHandle) {
      text += u"; subscription handle \u201c"_s + Q(*r.serverSubHandle) + u"\u201d"_s;
    } else {
      text += u"; no subscription handle (no subscription was made)"_s;
    }
    break;
  case TOperation::SubscriptionPolledRefresh:
    text += u": "_s + Plural(r.items.size(), u"item"_s, u"items"_s);
    if (!r.invalidServerSubHandles.empty()) {
      bad = true;
      QStringList handles;
      for (const std::string& h : r.invalidServerSubHandles) {
        handles << Q(h);
      }
      text += u"; invalid subscription handles: "_s + handles.join(u", "_s);
    }
    if (r.dataBufferOverflow) {
      bad = true;
      text += u"; the server's data buffer overflowed: changes were lost"_s;
    }
    break;
  case TOperation::GetStatus:
  case TOperation::SubscriptionCancel:
    break;
  default:
    text += u": "_s + Plural(r.items.size(), u"item"_s, u"items"_s);
    break;
  }
  if (errors) {
    text += u"; "_s + Plural(errors, u"error"_s, u"errors"_s);
  }
  if (r.base && !r.base->serverState.empty() && r.base->serverState != "running") {
    bad = true;
    text += u"; server state "_s + Q(r.base->serverState);
  }
  return text;
}

} // namespace

struct TItemsView::TMailbox {
  std::mutex mutex;
  TItemsView* target = nullptr;
};

TItemsView::TItemsView(QWidget* parent) : QWidget(parent), FMailbox(std::make_shared<TMailbox>()) {
  FMailbox->target = this;
  FSummary = new QLabel(this);
  FSummary->setWordWrap(true);
  FSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);
  FSummary->setTextFormat(Qt::PlainText);
  FProblems = new QLabel(this);
  FProblems->setWordWrap(true);
  FProblems->setTextInteractionFlags(Qt::TextSelectableByMouse);
  FProblems->setTextFormat(Qt::PlainText);
  FProblems->setStyleSheet(kErrorStyle);
  FProblems->hide();
  FActions = new QToolBar(this);
  FActions->setIconSize({0, 0});
  FActions->setToolButtonStyle(Qt::ToolButtonTextOnly);

  FModel = new TItemsTableModel(this);
  FTable = new QTableView(this);
  FTable->setModel(FModel);
  FTable->setSelectionBehavior(QAbstractItemView::SelectRows);
  FTable->setSelectionMode(QAbstractItemView::ExtendedSelection);
  FTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
  FTable->setWordWrap(false);
  FTable->setAlternatingRowColors(true);
  FTable->setContextMenuPolicy(Qt::CustomContextMenu);
  // Fixed row heights keep a table of 100,000 rows as quick as one of ten.
  FTable->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  FTable->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  FTable->verticalHeader()->hide();
  FTable->horizontalHeader()->setStretchLastSection(true);
  FTable->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  FTable->setSortingEnabled(true);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(FSummary);
  column->addWidget(FProblems);
  column->addWidget(FActions);
  column->addWidget(FTable, 1);

  AddAction(u"Browse into"_s, &TItemsView::BrowseInto);
  AddAction(u"Next page"_s, &TItemsView::NextPage);
  AddAction(u"Read"_s, &TItemsView::ReadSelected);
  AddAction(u"Get properties"_s, &TItemsView::GetPropertiesOfSelected);
  AddAction(u"Subscribe"_s, &TItemsView::SubscribeSelected);
  AddAction(u"Poll subscription"_s, &TItemsView::PollSubscription);
  AddAction(u"Cancel subscription"_s, &TItemsView::CancelSubscription);
  AddAction(u"Write"_s, &TItemsView::WriteSelected);
  FCopy = new QAction(u"Copy rows"_s, this);
  FCopy->setShortcut(QKeySequence::Copy);
  FCopy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  FTable->addAction(FCopy);
  connect(FCopy, &QAction::triggered, this, &TItemsView::CopySelectedRows);

  connect(FTable->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &TItemsView::UpdateActions);
  // A double click on a branch browses into it, as in a file manager.
  connect(FTable, &QAbstractItemView::doubleClicked, this, [this] {
    if (QAction* into = Action(u"Browse into"_s); into->isVisible() && into->isEnabled()) {
      into->trigger();
    }
  });
  connect(FTable, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    QMenu menu(this);
    menu.addAction(FCopy);
    bool separated = false;
    for (QAction* action : FNextActions) {
      if (action->isVisible()) {
        if (!separated) {
          menu.addSeparator();
          separated = true;
        }
        menu.addAction(action);
      }
    }
    menu.exec(FTable->viewport()->mapToGlobal(at));
  });
  setFocusProxy(FTable);
  Clear();
}

TItemsView::~TItemsView() {
  if (FCancel) {
    FCancel->store(true);
  }
  std::lock_guard lock(FMailbox->mutex);
  FMailbox->target = nullptr;
}

QAction* TItemsView::AddAction(const QString& title, void (TItemsView::*slot)()) {
  auto* action = new QAction(title, this);
  connect(action, &QAction::triggered, this, slot);
  FActions->addAction(action);
  FNextActions << action;
  return action;
}

QAction* TItemsView::Action(const QString& title) const {
  for (QAction* action : FNextActions) {
    if (action->text() == title) {
      return action;
    }
  }
  return title == FCopy->text() ? FCopy : nullptr;
}

void TItemsView::Clear() {
  if (FCancel) {
    FCancel->store(true);
    FCancel.reset();
  }
  ++FGeneration;
  FReading = false;
  FModel->SetReply(nullptr);
  FSummary->setText(u"No reply yet."_s);
  FSummary->setStyleSheet(kNoteStyle);
  FProblems->hide();
  UpdateActions();
}

void TItemsView::ShowReply(std::shared_ptr<const void> owner, std::string_view bytes,
                           const QString& path) {
  Clear();
  FCancel = std::make_shared<std::atomic<bool>>(false);
  const quint64 generation = FGeneration;
  FReading = true;
  FSummary->setText(u"Reading the reply\u2026"_s);
  QThreadPool::globalInstance()->start([mailbox = FMailbox, cancel = FCancel,
                                        owner = std::move(owner), bytes, path, generation] {
    // Nothing leaves this task: a reply that cannot be read is shown as such.
    auto reply = std::make_shared<TReply>();
    try {
      TReplyReader reader;
      for (std::size_t at = 0; at < bytes.size(); at += kFeedBytes) {
        if (cancel->load()) {
          return;
        }
        reader.Feed(bytes.substr(at, kFeedBytes));
      }
      *reply = reader.Finish();
    } catch (const std::bad_alloc&) {
      reply->problems.push_back({0, 0, "There is not enough memory to read the reply."});
    } catch (const std::exception& e) {
      reply->problems.push_back({0, 0, std::string("The reply could not be read: ") + e.what()});
    }
    const QDateTime arrived = path.isEmpty() ? QDateTime() : QFileInfo(path).lastModified();
    std::lock_guard lock(mailbox->mutex);
    if (TItemsView* target = mailbox->target) {
      QMetaObject::invokeMethod(
          target,
          [target, reply = std::shared_ptr<const TReply>(std::move(reply)), arrived, generation] {
            target->Show(reply, arrived, generation);
          },
          Qt::QueuedConnection);
    }
  });
}

void TItemsView::Show(std::shared_ptr<const TReply> reply, const QDateTime& arrived,
                      quint64 generation) {
  if (generation != FGeneration) {
    return; // a later reply has overtaken this one
  }
  FReading = false;
  FCancel.reset();
  FTable->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  FModel->SetReply(reply, arrived);
  bool bad = false;
  FSummary->setText(Summary(*reply, bad));
  FSummary->setStyleSheet(bad ? kErrorStyle : kNoteStyle);
  QStringList problems;
  for (std::size_t i = 0; i < reply->problems.size() && i < kProblemsShown; ++i) {
    const TProblem& p = reply->problems[i];
    problems << (p.line > 0 ? u"line %1, column %2: "_s.arg(p.line).arg(p.column) : QString()) +
                    Q(p.text);
  }
  if (reply->problems.size() > kProblemsShown) {
    problems << u"\u2026 and %1 more"_s.arg(reply->problems.size() - kProblemsShown);
  }
  FProblems->setText(u"Not understood in this reply (see the XML view):\n"_s +
                     problems.join(u'\n'));
  FProblems->setVisible(!problems.isEmpty());
  // Columns fitted to the first rows only: a long table is not measured row by row.
  FTable->horizontalHeader()->setResizeContentsPrecision(200);
  FTable->resizeColumnsToContents();
  for (int c = 0; c < FModel->columnCount(); ++c) {
    FTable->setColumnWidth(c, std::min(FTable->columnWidth(c), 320));
  }
  UpdateActions();
  emit Ready(reply->operation != TOperation::Unknown);
}

std::shared_ptr<const TReply> TItemsView::Reply() const {
  return FModel->Reply();
}

QString TItemsView::SummaryText() const {
  return FSummary->text();
}

QString TItemsView::ProblemsText() const {
  return FProblems->isHidden() ? QString() : FProblems->text();
}

QList<int> TItemsView::SelectedSourceRows() const {
  QList<int> rows;
  for (const QModelIndex& index : FTable->selectionModel()->selectedRows()) {
    rows << index.row();
  }
  std::sort(rows.begin(), rows.end()); // in the order shown
  return rows;
}

void TItemsView::UpdateActions() {
  const auto& reply = FModel->Reply();
  const TOperation op = reply ? reply->operation : TOperation::Unknown;
  const QList<int> rows = reply ? SelectedSourceRows() : QList<int>();
  bool anyItem = false;
  bool oneBranch = false;
  bool anyValue = false;
  for (int row : rows) {
    if (const TBrowseElement* e = FModel->ElementAt(row)) {
      anyItem |= e->isItem;
      oneBranch = rows.size() == 1 && (e->hasChildren || !e->isItem);
    }
    if (const TItem* item = FModel->ItemAt(row)) {
      anyItem |= item->itemName.has_value();
      anyValue |= item->value.present;
    }
  }
  const bool browse = op == TOperation::Browse;
  const bool subscription = op == TOperation::Subscribe ||
                            op == TOperation::SubscriptionPolledRefresh ||
                            op == TOperation::SubscriptionCancel;
  const struct {
    const char16_t* title;
    bool visible;
    bool enabled;
  } states[] = {
      {u"Browse into", browse, oneBranch},
      {u"Next page", browse,
       browse && reply->continuationPoint && !reply->continuationPoint->empty()},
      {u"Read", browse, anyItem},
      {u"Get properties", browse, anyItem},
      {u"Subscribe", browse, anyItem},
      {u"Poll subscription", subscription,
       op != TOperation::Subscribe || reply->serverSubHandle.has_value()},
      {u"Cancel subscription", subscription && op != TOperation::SubscriptionCancel,
       op != TOperation::Subscribe || reply->serverSubHandle.has_value()},
      {u"Write", op == TOperation::Read, anyValue},
  };
  for (const auto& state : states) {
    QAction* action = Action(QString::fromUtf16(state.title));
    action->setVisible(state.visible);
    action->setEnabled(state.visible && state.enabled);
  }
  FActions->setVisible(std::any_of(FNextActions.begin(), FNextActions.end(),
                                   [](QAction* a) { return a->isVisible(); }));
  FCopy->setEnabled(!rows.isEmpty());
}

QString TItemsView::SelectedRowsText() const {
  QStringList lines{FModel->HeaderText()};
  for (int row : SelectedSourceRows()) {
    lines << FModel->RowText(row);
  }
  return lines.join(u'\n') + u'\n';
}

void TItemsView::CopySelectedRows() const {
  if (FModel->Reply() && FTable->selectionModel()->hasSelection()) {
    QApplication::clipboard()->setText(SelectedRowsText());
  }
}

// Keys the viewer passes on go to the table, so the rows scroll and select from the keyboard. A
// key the table had first and did not take goes on up, and is not handed to it a second time.
void TItemsView::keyPressEvent(QKeyEvent* event) {
  if (FForwarding || FTable->hasFocus()) {
    event->ignore();
    return;
  }
  FForwarding = true;
  QCoreApplication::sendEvent(FTable, event);
  FForwarding = false;
}

void TItemsView::BrowseInto() {
  const QList<int> rows = SelectedSourceRows();
  const TBrowseElement* e = rows.size() == 1 ? FModel->ElementAt(rows.front()) : nullptr;
  if (!e) {
    return;
  }
  emit NextRequest({u"Browse"_s, [element = *e](std::u16string_view tpl, std::u16string_view) {
                      return xmlda::BrowseInto(tpl, element);
                    }});
}

void TItemsView::NextPage() {
  const auto& reply = FModel->Reply();
  if (!reply || !reply->continuationPoint) {
    return;
  }
  // The next page must repeat the request that was answered (its branch and filters) with only
  // the continuation point changed; the template serves only when that request is not known.
  emit NextRequest({u"Browse"_s, [point = *reply->continuationPoint](std::u16string_view tpl,
                                                                     std::u16string_view answered) {
                      return NextBrowsePage(answered.empty() ? tpl : answered, point);
                    }});
}

namespace {

std::vector<TItemRef> ItemRefs(const TItemsTableModel& model, const QList<int>& rows) {
  std::vector<TItemRef> refs;
  for (int row : rows) {
    if (const TBrowseElement* e = model.ElementAt(row); e && e->isItem) {
      refs.push_back(ItemRefOf(*e));
    } else if (const TItem* item = model.ItemAt(row); item && item->itemName) {
      TItemRef ref = ItemRefOf(*item);
      ref.clientItemHandle.clear(); // numbered afresh: the new list is not the old one
      refs.push_back(std::move(ref));
    }
  }
  return refs;
}

} // namespace

void TItemsView::ReadSelected() {
  emit NextRequest({u"Read"_s, [items = ItemRefs(*FModel, SelectedSourceRows())](
                                   std::u16string_view tpl, std::u16string_view) {
                      return ReadItems(tpl, items);
                    }});
}

void TItemsView::GetPropertiesOfSelected() {
  emit NextRequest({u"GetProperties"_s, [items = ItemRefs(*FModel, SelectedSourceRows())](
                                            std::u16string_view tpl, std::u16string_view) {
                      return GetPropertiesOf(tpl, items);
                    }});
}

void TItemsView::SubscribeSelected() {
  emit NextRequest({u"Subscribe"_s, [items = ItemRefs(*FModel, SelectedSourceRows())](
                                        std::u16string_view tpl, std::u16string_view) {
                      return SubscribeItems(tpl, items);
                    }});
}

void TItemsView::PollSubscription() {
  if (const auto reply = FModel->Reply()) {
    emit NextRequest({u"SubscriptionPolledRefresh"_s,
                      [reply](std::u16string_view tpl, std::u16string_view answered) {
                        return xmlda::PollSubscription(tpl, SubscriptionOf(*reply, answered));
                      }});
  }
}

void TItemsView::CancelSubscription() {
  if (const auto reply = FModel->Reply()) {
    emit NextRequest(
        {u"SubscriptionCancel"_s, [reply](std::u16string_view tpl, std::u16string_view answered) {
           return xmlda::CancelSubscription(tpl, SubscriptionOf(*reply, answered));
         }});
  }
}

void TItemsView::WriteSelected() {
  std::vector<TWriteItem> items;
  for (int row : SelectedSourceRows()) {
    if (const TItem* item = FModel->ItemAt(row); item && item->itemName && item->value.present) {
      items.push_back({ItemRefOf(*item), item->value});
    }
  }
  emit NextRequest(
      {u"Write"_s, [items = std::move(items)](std::u16string_view tpl, std::u16string_view) {
         return WriteItems(tpl, items);
       }});
}

} // namespace opc
