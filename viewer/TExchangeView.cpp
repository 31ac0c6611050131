#include "viewer/TExchangeView.h"

#include "viewer/Reply.h"
#include "viewer/TXmlLinesView.h"

#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QVBoxLayout>

namespace opc {

using namespace Qt::StringLiterals;

TExchangeView::TExchangeView(QWidget* parent) : QWidget(parent) {
  FHeads = new QPlainTextEdit(this);
  FHeads->setReadOnly(true);
  FHeads->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  FHeads->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  FHeads->setPlaceholderText(u"No request has been sent yet."_s);

  auto* lower = new QWidget(this);
  FEnvelopeTitle = new QLabel(lower);
  FEnvelope = new TXmlLinesView(TXmlLinesView::Mode::Raw, lower);
  auto* lowerColumn = new QVBoxLayout(lower);
  lowerColumn->setContentsMargins(0, 0, 0, 0);
  lowerColumn->setSpacing(2);
  lowerColumn->addWidget(FEnvelopeTitle);
  lowerColumn->addWidget(FEnvelope, 1);

  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->addWidget(FHeads);
  splitter->addWidget(lower);
  splitter->setStretchFactor(0, 3);
  splitter->setStretchFactor(1, 1);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->addWidget(splitter);
  lower->hide();
}

TExchangeView::~TExchangeView() = default;

void TExchangeView::ShowExchange(const QString& text, TReplyBytes envelope) {
  const std::size_t size = envelope.View().size();
  FHeads->setPlainText(text);
  // The envelope is shown as the raw view shows a reply: over its own bytes, wrapped, with
  // nothing repaired, whatever its size.
  auto reply = std::make_shared<TReply>(PrepareReply("envelope", std::move(envelope)));
  // The raw view needs only the raw lines; the indented ones would be held until the next run.
  reply->lines.clear();
  FEnvelopeReply = reply;
  FEnvelope->SetReply(std::move(reply));
  FEnvelopeTitle->setText(u"Envelope of the last run: %1 bytes"_s.arg(size));
  FEnvelopeTitle->parentWidget()->show();
}

QString TExchangeView::Text() const {
  return FHeads->toPlainText();
}

} // namespace opc
