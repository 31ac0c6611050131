#pragma once

#include "viewer/ReplyBytes.h"

#include <QWidget>
#include <memory>

class QLabel;
class QPlainTextEdit;

namespace opc {

class TXmlLinesView;
struct TReply;

// The Exchange view: what went over the wire in the last run, beside the reply the other views
// show. Above, the heads of every request and reply with their byte counts and times, as text
// that can be selected and copied; below, the envelope as it was sent, in a raw view over its own
// bytes. It changes only when a run ends, whether the run brought a reply or failed.
class TExchangeView : public QWidget {
  Q_OBJECT
public:
  explicit TExchangeView(QWidget* parent = nullptr);
  ~TExchangeView() override;

  // `text` describes the run (UTF-8); the envelope's bytes are taken over, not copied.
  void ShowExchange(const QString& text, TReplyBytes envelope);

  QString Text() const;
  QPlainTextEdit* HeadsView() const { return FHeads; }
  TXmlLinesView* EnvelopeView() const { return FEnvelope; }
  std::shared_ptr<const TReply> Envelope() const { return FEnvelopeReply; }

private:
  QPlainTextEdit* FHeads;
  QLabel* FEnvelopeTitle;
  TXmlLinesView* FEnvelope;
  std::shared_ptr<const TReply> FEnvelopeReply;
};

} // namespace opc
