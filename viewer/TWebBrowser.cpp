#include "viewer/TWebBrowser.h"

#include "base/Error.h"
#include "viewer/ReplySearch.h"
#include "viewer/TElidedLabel.h"
#include "viewer/TExchangeView.h"
#include "viewer/TItemsView.h"
#include "viewer/TXmlLinesView.h"

#include <QCheckBox>
#include <QFile>
#include <QGuiApplication>
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

namespace {

constexpr std::size_t kCountLimit = 1000000; // "n of m" counts up to here, then says "more than"
const QString kErrorStyle = u"background:#fde2e2;color:#900;padding:4px;"_s;

} // namespace

// Where a load finished off the UI thread hands its result; the viewer cuts the line when it goes.
struct TWebBrowser::TMailbox {
  std::mutex mutex;
  TWebBrowser* target = nullptr;
};

TWebBrowser::TWebBrowser(QWidget* parent)
    : QWidget(parent), FMailbox(std::make_shared<TMailbox>()),
      FLoader([](const std::string& path, const std::atomic<bool>* cancelled) {
        return LoadReply(path, cancelled);
      }) {
  FMailbox->target = this;
  setFocusPolicy(Qt::StrongFocus);
  setAutoFillBackground(true);
  QPalette p = palette();
  p.setColor(QPalette::Window, p.color(QPalette::Base));
  setPalette(p);

  FBanner = new QLabel(this);
  FBanner->setWordWrap(true);
  FBanner->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse);
  FBanner->hide();
  FTabs = new QTabBar(this);
  FTabs->setDrawBase(false);
  FTabs->setFocusPolicy(Qt::NoFocus);
  FStatus = new TElidedLabel(this);
  FStack = new QStackedWidget(this);
  FIndented = new TXmlLinesView(TXmlLinesView::Mode::Indented, this);
  FRaw = new TXmlLinesView(TXmlLinesView::Mode::Raw, this);

  FFindBar = new QWidget(this);
  FFindText = new QLineEdit(FFindBar);
  FFindText->setPlaceholderText(u"Find"_s);
  FMatchCase = new QCheckBox(u"Match case"_s, FFindBar);
  FFindCount = new QLabel(FFindBar);
  auto* previous = new QPushButton(u"Previous"_s, FFindBar);
  auto* next = new QPushButton(u"Next"_s, FFindBar);
  auto* close = new QPushButton(u"Close"_s, FFindBar);
  auto* findRow = new QHBoxLayout(FFindBar);
  findRow->setContentsMargins(2, 2, 2, 2);
  findRow->addWidget(FFindText, 1);
  findRow->addWidget(FFindCount);
  findRow->addWidget(FMatchCase);
  findRow->addWidget(previous);
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

  AddView(u"XML"_s, FIndented, [this](std::shared_ptr<const TReply> reply) {
    FIndented->SetReply(reply && reply->Indented() ? reply : nullptr);
  });
  AddView(u"Raw"_s, FRaw, [this](std::shared_ptr<const TReply> reply) { FRaw->SetReply(reply); });
  FItems = new TItemsView(this);
  AddView(u"Items"_s, FItems, [this](std::shared_ptr<const TReply> reply) {
    if (reply) {
      FItems->ShowReply(reply, reply->Bytes(), QString::fromStdString(reply->path));
    } else {
      FItems->Clear();
    }
  });
  // The exchange belongs to the run, not to the reply file: loading a reply leaves it alone.
  FExchange = new TExchangeView(this);
  AddView(u"Exchange"_s, FExchange, [](const std::shared_ptr<const TReply>&) {});
  // An OPC XML-DA reply opens on its Items view, unless the reply is shown raw for a fault.
  connect(FItems, &TItemsView::Ready, this, [this](bool recognized) {
    if (recognized && FTabs->currentIndex() == 0) {
      FTabs->setCurrentIndex(FStack->indexOf(FItems));
    }
  });

  connect(FTabs, &QTabBar::currentChanged, FStack, &QStackedWidget::setCurrentIndex);
  connect(FBanner, &QLabel::linkActivated, this, [this] {
    if (FReply && FReply->parseError) {
      FTabs->setCurrentIndex(1);
      FRaw->GoTo(FReply->parseError->line, FReply->parseError->column);
      setFocus();
    }
  });
  connect(FFindText, &QLineEdit::returnPressed, this,
          [this] { FindNext(QGuiApplication::keyboardModifiers() & Qt::ShiftModifier); });
  connect(FFindText, &QLineEdit::textChanged, this, [this] { FFindCount->clear(); });
  connect(next, &QPushButton::clicked, this, [this] { FindNext(); });
  connect(previous, &QPushButton::clicked, this, [this] { FindNext(true); });
  connect(close, &QPushButton::clicked, this, [this] {
    FFindBar->hide();
    setFocus();
  });
  for (TXmlLinesView* view : {FIndented, FRaw}) {
    connect(view, &TXmlLinesView::FindRequested, this, &TWebBrowser::ShowFind);
  }
  const auto shortcut = [this](const QKeySequence& keys, auto action) {
    auto* s = new QShortcut(keys, this, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    connect(s, &QShortcut::activated, this, action);
  };
  shortcut(QKeySequence::Find, [this] { ShowFind(); });
  shortcut(QKeySequence::FindNext, [this] { FindNext(); });
  shortcut(QKeySequence::FindPrevious, [this] { FindNext(true); });
  auto* escape =
      new QShortcut(Qt::Key_Escape, FFindBar, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
  connect(escape, &QShortcut::activated, close, &QPushButton::click);
}

TWebBrowser::~TWebBrowser() {
  if (FCancel) {
    FCancel->store(true);
  }
  std::lock_guard lock(FMailbox->mutex);
  FMailbox->target = nullptr;
}

void TWebBrowser::AddView(const QString& title, QWidget* view,
                          std::function<void(std::shared_ptr<const TReply>)> show) {
  FViews.push_back({view, std::move(show)});
  FStack->addWidget(view);
  FTabs->addTab(title);
}

void TWebBrowser::ShowExchange(const QString& text, TReplyBytes envelope) {
  FExchange->ShowExchange(text, std::move(envelope));
  FTabs->show();
}

void TWebBrowser::Navigate(const QString& path) {
  if (path.isEmpty()) {
    throw Error(u"The system cannot find the path specified");
  }
  if (FCancel) {
    FCancel->store(true); // the load under way is of no use any more
  }
  FCancel = std::make_shared<std::atomic<bool>>(false);
  const quint64 generation = ++FGeneration;
  FLoading = true;
  // The reply shown so far goes now, not when the next is ready: never two in memory.
  FReply.reset();
  for (const TView& view : FViews) {
    view.show(nullptr);
  }
  FStatus->SetFullText(u"  Loading "_s + path + u"\u2026"_s);
  const std::string file = QFile::encodeName(path).toStdString();
  QThreadPool::globalInstance()->start(
      [mailbox = FMailbox, cancel = FCancel, loader = FLoader, file, generation] {
        // Nothing leaves this task: whatever goes wrong is shown in the viewer.
        std::shared_ptr<const TReply> reply;
        QString failure;
        try {
          reply = std::make_shared<const TReply>(loader(file, cancel.get()));
        } catch (const TLoadCancelled&) {
          return;
        } catch (const std::bad_alloc&) {
          failure = u"there is not enough memory to load the reply"_s;
        } catch (const std::exception& e) {
          failure = QString::fromLocal8Bit(e.what());
        } catch (...) {
          failure = u"an unknown failure"_s;
        }
        std::lock_guard lock(mailbox->mutex);
        if (TWebBrowser* target = mailbox->target) {
          QMetaObject::invokeMethod(
              target,
              [target, reply = std::move(reply), failure, generation] {
                target->Show(reply, failure, generation);
              },
              Qt::QueuedConnection);
        }
      });
}

void TWebBrowser::SetBanner(const QString& html, const QString& plain, const QString& style) {
  FBannerText = plain;
  FBanner->setText(html);
  FBanner->setStyleSheet(style);
  FBanner->setVisible(!plain.isEmpty());
}

void TWebBrowser::Show(std::shared_ptr<const TReply> reply, const QString& failure,
                       quint64 generation) {
  if (generation != FGeneration) {
    return; // a later Navigate has overtaken this one
  }
  FLoading = false;
  FReply = std::move(reply);
  FCountedText.clear();
  FFindCount->clear();
  for (const TView& view : FViews) {
    view.show(FReply);
  }
  FTabs->show();
  if (!FReply) {
    const QString text = u"The reply could not be loaded: "_s + failure;
    SetBanner(text.toHtmlEscaped(), text, kErrorStyle);
    FStatus->SetFullText({});
    emit Loaded();
    return;
  }
  const bool raw = !FReply->Indented();
  FStatus->SetFullText(u"  "_s + QString::fromStdString(FReply->path) + u" \u2014 "_s +
                       QString::number(FReply->Bytes().size()) + u" bytes"_s);
  if (!FReply->readError.empty()) {
    const QString text = u"Cannot read "_s + QString::fromStdString(FReply->path) + u": "_s +
                         QString::fromStdString(FReply->readError);
    SetBanner(text.toHtmlEscaped(), text, kErrorStyle);
  } else if (FReply->parseError) {
    const TParseError& e = *FReply->parseError;
    const QString where = u"line %1, column %2"_s.arg(e.line).arg(e.column);
    const QString reason = QString::fromStdString(e.reason);
    SetBanner(u"Not well-formed XML: <a href=\"#error\">"_s + where + u"</a>: "_s +
                  reason.toHtmlEscaped(),
              u"Not well-formed XML: "_s + where + u": "_s + reason, kErrorStyle);
  } else if (!FReply->notice.empty()) {
    const QString text = QString::fromStdString(FReply->notice);
    SetBanner(text.toHtmlEscaped(), text, u"background:#eef;color:#224;padding:4px;"_s);
  } else if (FReply->fault) {
    const QString text = u"SOAP Fault: "_s + QString::fromStdString(FReply->fault->code) +
                         u" \u2014 "_s + QString::fromStdString(FReply->fault->text);
    SetBanner(text.toHtmlEscaped(), text,
              u"background:#fff0c0;color:#7a4b00;font-weight:bold;padding:4px;"_s);
  } else {
    SetBanner({}, {}, {});
  }
  FTabs->setTabEnabled(0, !raw);
  // A user watching the exchange run after run stays on it; the reply's own views are one click
  // away.
  if (FStack->currentWidget() != FExchange) {
    FTabs->setCurrentIndex(raw ? 1 : 0);
  }
  if (FReply->parseError) {
    FRaw->GoTo(FReply->parseError->line, FReply->parseError->column);
  }
  emit Loaded();
}

// The view in sight acts on the key; a key it does not take is ignored here and so goes on to
// the window once. Handed over by a call, not sent again as an event: a sent event that nobody
// takes would climb the parents a second time.
void TWebBrowser::keyPressEvent(QKeyEvent* event) {
  QWidget* current = FStack->currentWidget();
  const bool lines = current == FIndented || current == FRaw;
  if (!lines || !static_cast<TXmlLinesView*>(current)->HandleKey(event)) {
    event->ignore();
  }
}

bool TWebBrowser::ShowsRaw() const {
  return FStack->currentWidget() == FRaw;
}

TXmlLinesView* TWebBrowser::CurrentLinesView() const {
  QWidget* current = FStack->currentWidget();
  return current == FIndented || current == FRaw ? static_cast<TXmlLinesView*>(current) : FRaw;
}

void TWebBrowser::ShowFind() {
  FFindBar->show();
  FFindText->setFocus();
  FFindText->selectAll();
}

QString TWebBrowser::FindStatus() const {
  return FFindCount->text();
}

// Searches the reply's bytes from the selection on (or back), going round at the end once.
bool TWebBrowser::FindNext(bool backwards) {
  TXmlLinesView* view = CurrentLinesView();
  if (!FReply || FFindText->text().isEmpty()) {
    return false;
  }
  if (view != FStack->currentWidget()) {
    FTabs->setCurrentIndex(1);
  }
  const QByteArray needle = FFindText->text().toUtf8();
  const TReplySearch search(*FReply, std::string_view(needle.constData(), needle.size()),
                            FMatchCase->isChecked());
  const auto [from, to] = view->Selection();
  std::optional<std::uint64_t> at;
  if (backwards) {
    at = search.Previous(from);
    if (!at) {
      at = search.Previous(FReply->Bytes().size());
    }
  } else {
    const bool onMatch = to - from == search.Length() && search.Next(from) == from;
    at = search.Next(onMatch ? from + 1 : from);
    if (!at) {
      at = search.Next(0);
    }
  }
  // In the indented view a match in white space between lines has nothing to show it.
  if (at && view == FIndented) {
    const auto& lines = FReply->lines;
    const auto outside = [&](std::uint64_t offset) {
      const TIndentedLine& l = lines[lines.LineAtOffset(offset)];
      return offset < l.offset || offset >= l.offset + l.length;
    };
    const std::optional<std::uint64_t> start = at;
    while (at && outside(*at)) {
      at = backwards ? search.Previous(*at) : search.Next(*at + 1);
      if (!at) {
        at = backwards ? search.Previous(FReply->Bytes().size()) : search.Next(0);
      }
      if (at == start) {
        at.reset();
      }
    }
  }
  FFindText->setStyleSheet(at ? QString() : u"background:#fdd;"_s);
  if (!at) {
    FFindCount->setText(u"no match"_s);
    return false;
  }
  if (FCountedText != FFindText->text() || FCountedCase != FMatchCase->isChecked()) {
    FCountedText = FFindText->text();
    FCountedCase = FMatchCase->isChecked();
    FCount = search.CountBefore(UINT64_MAX, kCountLimit);
  }
  const std::size_t n = search.CountBefore(*at, kCountLimit) + 1;
  FFindCount->setText(FCount >= kCountLimit ? u"%1 of more than %2"_s.arg(n).arg(FCount)
                                            : u"%1 of %2"_s.arg(n).arg(FCount));
  view->Select(*at, *at + search.Length());
  return true;
}

} // namespace opc
