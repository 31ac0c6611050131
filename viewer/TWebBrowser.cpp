#include "viewer/TWebBrowser.h"

#include "base/Error.h"
#include "viewer/TItemsView.h"
#include "viewer/TXmlLinesView.h"

#include <QCoreApplication>
#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QTabBar>
#include <QThreadPool>
#include <QVBoxLayout>
#include <mutex>

namespace opc {

using namespace Qt::StringLiterals;

// Where a load finished off the UI thread hands its result; the viewer cuts the line when it goes.
struct TWebBrowser::TMailbox {
  std::mutex mutex;
  TWebBrowser* target = nullptr;
};

TWebBrowser::TWebBrowser(QWidget* parent)
    : QWidget(parent), FMailbox(std::make_shared<TMailbox>()) {
  FMailbox->target = this;
  setFocusPolicy(Qt::StrongFocus);
  setAutoFillBackground(true);
  QPalette p = palette();
  p.setColor(QPalette::Window, p.color(QPalette::Base));
  setPalette(p);

  FBanner = new QLabel(this);
  FBanner->setWordWrap(true);
  FBanner->setTextInteractionFlags(Qt::TextSelectableByMouse);
  FBanner->hide();
  FTabs = new QTabBar(this);
  FTabs->addTab(u"XML"_s);
  FTabs->addTab(u"Raw"_s);
  FTabs->setDrawBase(false);
  FTabs->setFocusPolicy(Qt::NoFocus);
  FStatus = new QLabel(this);
  FIndented = new TXmlLinesView(TXmlLinesView::Mode::Indented, this);
  FRaw = new TXmlLinesView(TXmlLinesView::Mode::Raw, this);
  FStack = new QStackedWidget(this);
  FStack->addWidget(FIndented);
  FStack->addWidget(FRaw);
  FItems = new TItemsView(this);
  FStack->addWidget(FItems);
  FTabs->addTab(u"Items"_s);
  // An OPC XML-DA reply opens on its Items view, unless the reply is shown raw for a fault.
  connect(FItems, &TItemsView::Ready, this, [this](bool recognized) {
    if (recognized && FTabs->currentIndex() == 0) {
      FTabs->setCurrentIndex(FStack->indexOf(FItems));
    }
  });

  FFindBar = new QWidget(this);
  FFindText = new QLineEdit(FFindBar);
  FFindText->setPlaceholderText(u"Find"_s);
  auto* next = new QPushButton(u"Next"_s, FFindBar);
  auto* close = new QPushButton(u"Close"_s, FFindBar);
  auto* findRow = new QHBoxLayout(FFindBar);
  findRow->setContentsMargins(2, 2, 2, 2);
  findRow->addWidget(FFindText, 1);
  findRow->addWidget(next);
  findRow->addWidget(close);
  FFindBar->hide();

  auto* head = new QHBoxLayout;
  head->setContentsMargins(0, 0, 0, 0);
  head->addWidget(FTabs);
  head->addWidget(FStatus, 1);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(FBanner);
  column->addLayout(head);
  column->addWidget(FStack, 1);
  column->addWidget(FFindBar);
  FTabs->hide();

  connect(FTabs, &QTabBar::currentChanged, FStack, &QStackedWidget::setCurrentIndex);
  connect(FFindText, &QLineEdit::returnPressed, this, [this] { FindNext(); });
  connect(next, &QPushButton::clicked, this, [this] { FindNext(); });
  connect(close, &QPushButton::clicked, FFindBar, &QWidget::hide);
  auto* find =
      new QShortcut(QKeySequence::Find, this, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
  connect(find, &QShortcut::activated, this, &TWebBrowser::ShowFind);
  auto* again =
      new QShortcut(QKeySequence::FindNext, this, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
  connect(again, &QShortcut::activated, this, [this] { FindNext(); });
}

TWebBrowser::~TWebBrowser() {
  std::lock_guard lock(FMailbox->mutex);
  FMailbox->target = nullptr;
}

void TWebBrowser::Navigate(const QString& path) {
  if (path.isEmpty()) {
    throw Error(u"The system cannot find the path specified");
  }
  const quint64 generation = ++FGeneration;
  FLoading = true;
  FStatus->setText(u"  Loading "_s + path + u"\u2026"_s);
  const std::string file = QFile::encodeName(path).toStdString();
  QThreadPool::globalInstance()->start([mailbox = FMailbox, file, generation] {
    auto reply = std::make_shared<const TLoadedReply>(LoadReply(file));
    std::lock_guard lock(mailbox->mutex);
    if (TWebBrowser* target = mailbox->target) {
      QMetaObject::invokeMethod(
          target, [target, reply, generation] { target->Show(reply, generation); },
          Qt::QueuedConnection);
    }
  });
}

void TWebBrowser::Show(std::shared_ptr<const TLoadedReply> reply, quint64 generation) {
  if (generation != FGeneration) {
    return; // a later Navigate has overtaken this one
  }
  FLoading = false;
  FReply = std::move(reply);
  const bool raw = FReply->parseError || !FReply->readError.empty() || FReply->tooLargeToIndent;
  FIndented->SetReply(raw ? nullptr : FReply);
  FRaw->SetReply(FReply);
  FItems->ShowReply(FReply, FReply->raw, QString::fromStdString(FReply->path));
  FTabs->show();
  FStatus->setText(u"  "_s + QString::fromStdString(FReply->path) + u" \u2014 "_s +
                   QString::number(FReply->raw.size()) + u" bytes"_s);
  QString banner;
  QString style;
  if (!FReply->readError.empty()) {
    banner = u"Cannot read "_s + QString::fromStdString(FReply->path) + u": "_s +
             QString::fromStdString(FReply->readError);
    style = u"background:#fde2e2;color:#900;padding:4px;"_s;
  } else if (FReply->parseError) {
    const TParseError& e = *FReply->parseError;
    banner = u"Not well-formed XML: line %1, column %2: %3"_s.arg(e.line).arg(e.column).arg(
        QString::fromStdString(e.reason));
    style = u"background:#fde2e2;color:#900;padding:4px;"_s;
  } else if (FReply->tooLargeToIndent) {
    banner = u"Shown raw: the reply is larger than 512 MiB."_s;
    style = u"background:#eef;color:#224;padding:4px;"_s;
  } else if (FReply->fault) {
    banner = u"SOAP Fault: "_s + QString::fromStdString(FReply->fault->code) + u" \u2014 "_s +
             QString::fromStdString(FReply->fault->text);
    style = u"background:#fff0c0;color:#7a4b00;font-weight:bold;padding:4px;"_s;
  }
  FBanner->setText(banner);
  FBanner->setStyleSheet(style);
  FBanner->setVisible(!banner.isEmpty());
  FTabs->setTabEnabled(0, !raw);
  FTabs->setCurrentIndex(raw ? 1 : 0);
  if (FReply->parseError) {
    FRaw->ScrollToLine(FReply->parseError->line - 1);
  }
  emit Loaded();
}

// The viewer takes the focus as one control; its keys scroll the view in sight.
void TWebBrowser::keyPressEvent(QKeyEvent* event) {
  // A key the view does not take comes back up to this widget; it then goes on to the parents.
  if (FForwarding) {
    event->ignore();
    return;
  }
  FForwarding = true;
  QCoreApplication::sendEvent(FStack->currentWidget(), event);
  FForwarding = false;
}

QString TWebBrowser::BannerText() const {
  return FBanner->isHidden() ? QString() : FBanner->text();
}

bool TWebBrowser::ShowsRaw() const {
  return FStack->currentWidget() == FRaw;
}

void TWebBrowser::ShowFind() {
  FFindBar->show();
  FFindText->setFocus();
  FFindText->selectAll();
}

bool TWebBrowser::FindNext() {
  auto* view = static_cast<TXmlLinesView*>(FStack->currentWidget());
  const bool found = view->FindNext(FFindText->text());
  FFindText->setStyleSheet(found || FFindText->text().isEmpty() ? QString()
                                                                : u"background:#fdd;"_s);
  return found;
}

} // namespace opc
