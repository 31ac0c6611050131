#include "viewer/TXmlLinesView.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QtMath>
#include <algorithm>

namespace opc {

namespace {

constexpr int kMarkerWidth = 14;
constexpr int kMargin = 4;
constexpr std::size_t kDeepestIndent = 64; // deeper lines are indented as this deep
// Copying more than this would need several times as much again as text for the clipboard.
constexpr std::uint64_t kLargestCopy = std::uint64_t{256} << 20;

struct TPalette {
  QColor tag{0x80, 0x00, 0x00};
  QColor attribute{0xC0, 0x00, 0x00};
  QColor value{0x00, 0x00, 0xC0};
  QColor text{0x00, 0x00, 0x00};
  QColor comment{0x00, 0x80, 0x00};
  QColor marker{0x80, 0x80, 0x80};
  QColor selection{0xFF, 0xE0, 0x60};
};

const TPalette& Colours() {
  static const TPalette palette;
  return palette;
}

bool IsContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

} // namespace

TXmlLinesView::TXmlLinesView(Mode mode, QWidget* parent)
    : QAbstractScrollArea(parent), FMode(mode), FWrap(mode == Mode::Raw) {
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  viewport()->setAutoFillBackground(true);
  QPalette p = viewport()->palette();
  p.setColor(QPalette::Window, Qt::white);
  viewport()->setPalette(p);
  viewport()->setCursor(Qt::IBeamCursor);
  // The viewer takes the focus as one control and hands its keys to the view in sight.
  setFocusPolicy(Qt::NoFocus);
  connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
    FColumn = value;
    viewport()->update();
  });
}

void TXmlLinesView::SetReply(std::shared_ptr<const TReply> reply) {
  FReply = std::move(reply);
  const std::size_t lines = FReply && FMode == Mode::Indented ? FReply->lines.size() : 0;
  FFolded.assign((lines + 63) / 64, 0);
  FShown = {};
  FAnyFolded = false;
  FAnchor = FCaret = FReply ? FReply->textStart : 0;
  FColumn = 0;
  Rebuild();
  verticalScrollBar()->setValue(0);
  horizontalScrollBar()->setValue(0);
}

// --- lines and rows ------------------------------------------------------------------------

std::size_t TXmlLinesView::ShownCount() const {
  if (!FReply) {
    return 0;
  }
  if (FMode == Mode::Raw) {
    return FReply->rawLineCount;
  }
  return FAnyFolded ? FShown.size() : FReply->lines.size();
}

std::size_t TXmlLinesView::LineCount() const {
  return ShownCount();
}

std::size_t TXmlLinesView::LineAt(std::size_t shown) const {
  return FAnyFolded ? FShown[shown] : shown;
}

std::size_t TXmlLinesView::ShownIndexOf(std::size_t line) const {
  if (!FAnyFolded) {
    return line;
  }
  return static_cast<std::size_t>(
      std::lower_bound(FShown.begin(), FShown.end(), static_cast<std::uint32_t>(line)) -
      FShown.begin());
}

bool TXmlLinesView::IsShown(std::size_t line) const {
  if (!FAnyFolded) {
    return line < ShownCount();
  }
  return std::binary_search(FShown.begin(), FShown.end(), static_cast<std::uint32_t>(line));
}

std::uint64_t TXmlLinesView::LineBegin(std::size_t line) const {
  if (FMode == Mode::Indented) {
    return FReply->lines[line].offset;
  }
  return line == 0 ? FReply->textStart : FReply->RawLineStart(line);
}

std::uint64_t TXmlLinesView::LineEnd(std::size_t line) const {
  if (FMode == Mode::Indented) {
    const TIndentedLine& l = FReply->lines[line];
    return l.offset + l.length;
  }
  const std::uint64_t begin = LineBegin(line);
  return WithoutBreak(begin, FReply->NextLineStart(begin));
}

// The end of a raw line's text, before its CR LF or LF.
std::uint64_t TXmlLinesView::WithoutBreak(std::uint64_t begin, std::uint64_t end) const {
  const std::string_view bytes = FReply->Bytes();
  const std::size_t unit = FReply->UnitSize();
  const std::size_t low = FReply->encoding == TReplyEncoding::Utf16Be ? 1 : 0;
  while (end >= begin + unit) {
    const char c = bytes[end - unit + (unit == 2 ? low : 0)];
    if ((c != '\n' && c != '\r') || (unit == 2 && bytes[end - unit + 1 - low] != 0)) {
      break;
    }
    end -= unit;
  }
  return end;
}

int TXmlLinesView::RowHeight() const {
  return fontMetrics().height();
}

int TXmlLinesView::CharWidth() const {
  return std::max(1, qCeil(QFontMetricsF(font()).horizontalAdvance(QLatin1Char('m'))));
}

int TXmlLinesView::Gutter() const {
  if (FMode == Mode::Indented || !FReply) {
    return kMargin;
  }
  const auto digits = QString::number(FReply->rawLineCount).size();
  return kMargin + static_cast<int>(digits + 1) * CharWidth() + kMargin;
}

int TXmlLinesView::IndentOf(std::size_t line) const {
  if (FMode == Mode::Raw) {
    return 0;
  }
  const std::size_t depth = std::min<std::size_t>(FReply->lines[line].depth, kDeepestIndent);
  return kMarkerWidth + static_cast<int>(depth) * 2 * CharWidth();
}

// Characters that fit beside the gutter; a cell may be a fraction of a pixel wider than its
// rounded width, so the exact width counts.
int TXmlLinesView::Columns() const {
  const qreal cell = std::max<qreal>(1, QFontMetricsF(font()).horizontalAdvance(QLatin1Char('m')));
  return std::max(16, static_cast<int>((viewport()->width() - Gutter() - kMargin) / cell));
}

std::size_t TXmlLinesView::RowsOf(std::size_t line) const {
  return FWrap ? RowsFor(line, LineEnd(line) - LineBegin(line)) : 1;
}

std::size_t TXmlLinesView::RowsFor(std::size_t line, std::uint64_t length) const {
  const std::uint64_t width =
      static_cast<std::uint64_t>(std::max(16, Columns() - IndentOf(line) / CharWidth())) *
      FReply->UnitSize();
  return length == 0 ? 1 : static_cast<std::size_t>((length + width - 1) / width);
}

// The k-th row of a wrapped line starts k widths in, moved on to the start of a character.
std::uint64_t TXmlLinesView::RowStart(std::size_t line, std::size_t k) const {
  const std::uint64_t begin = LineBegin(line);
  const std::uint64_t end = LineEnd(line);
  const std::size_t unit = FReply->UnitSize();
  std::uint64_t at;
  if (FWrap) {
    const std::uint64_t width =
        static_cast<std::uint64_t>(std::max(16, Columns() - IndentOf(line) / CharWidth())) * unit;
    at = std::min(end, begin + k * width);
  } else {
    at = std::min(end, begin + static_cast<std::uint64_t>(FColumn) * unit);
  }
  const std::string_view bytes = FReply->Bytes();
  if (FReply->encoding == TReplyEncoding::Utf8) {
    while (at < end && IsContinuation(static_cast<unsigned char>(bytes[at]))) {
      ++at;
    }
  } else if (unit == 2 && at + 1 < end) {
    const bool le = FReply->encoding == TReplyEncoding::Utf16Le;
    const auto high = static_cast<unsigned char>(bytes[at + (le ? 1 : 0)]);
    if (high >= 0xDC && high <= 0xDF) {
      at += 2; // the second half of a surrogate pair goes with the first
    }
  }
  return at;
}

TXmlLinesView::TRow TXmlLinesView::RowAt(std::size_t row) const {
  std::size_t shown = row;
  std::size_t k = 0;
  const auto it =
      std::upper_bound(FLong.begin(), FLong.end(), row, [](std::size_t r, const TLongLine& e) {
        return r < e.shown + e.extraBefore;
      });
  if (it != FLong.begin()) {
    const TLongLine& e = *(it - 1);
    const std::size_t start = e.shown + e.extraBefore;
    const std::size_t rows = RowsOf(LineAt(e.shown));
    if (row < start + rows) {
      shown = e.shown;
      k = row - start;
    } else {
      shown = row - (e.extraBefore + rows - 1);
    }
  }
  const std::size_t line = LineAt(shown);
  const std::uint64_t end = LineEnd(line);
  TRow result{line, RowStart(line, k), end};
  if (FWrap && k + 1 < RowsOf(line)) {
    result.end = RowStart(line, k + 1);
  } else if (!FWrap) {
    const std::uint64_t width = static_cast<std::uint64_t>(Columns() + 2) * FReply->UnitSize();
    result.end = std::min(end, result.begin + width);
  }
  return result;
}

std::size_t TXmlLinesView::RowOf(std::size_t line, std::uint64_t at) const {
  const std::size_t shown = ShownIndexOf(line);
  const auto it = std::lower_bound(FLong.begin(), FLong.end(), shown,
                                   [](const TLongLine& e, std::size_t s) { return e.shown < s; });
  std::size_t extra = 0;
  if (it != FLong.begin()) {
    const TLongLine& prev = *(it - 1);
    extra = prev.extraBefore + RowsOf(LineAt(prev.shown)) - 1;
  }
  std::size_t k = 0;
  if (FWrap) {
    const std::size_t rows = RowsOf(line);
    const std::uint64_t width =
        static_cast<std::uint64_t>(std::max(16, Columns() - IndentOf(line) / CharWidth())) *
        FReply->UnitSize();
    k = std::min<std::size_t>(rows - 1, (at - std::min(at, LineBegin(line))) / width);
    while (k > 0 && RowStart(line, k) > at) {
      --k;
    }
  }
  return shown + extra + k;
}

std::size_t TXmlLinesView::RowCount() const {
  return ShownCount() + FExtraRows;
}

std::size_t TXmlLinesView::LineOf(std::uint64_t at) const {
  if (FMode == Mode::Raw) {
    return FReply->RawLineOf(at);
  }
  return FReply->lines.LineAtOffset(at);
}

void TXmlLinesView::Rebuild() {
  FShown.clear();
  if (FAnyFolded) {
    const auto& lines = FReply->lines;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      FShown.push_back(static_cast<std::uint32_t>(i));
      if ((FFolded[i / 64] >> (i % 64) & 1) && lines[i].foldEnd) {
        i = lines[i].foldEnd; // its closing line is folded away with it
      }
    }
  }
  FLong.clear();
  FExtraRows = 0;
  if (FReply && FWrap) {
    const std::size_t count = ShownCount();
    std::uint64_t at = FReply->textStart; // raw lines are walked in order, not looked up
    for (std::size_t shown = 0; shown < count; ++shown) {
      std::size_t rows;
      if (FMode == Mode::Raw) {
        const std::uint64_t next = FReply->NextLineStart(at);
        rows = RowsFor(shown, WithoutBreak(at, next) - at);
        at = next;
      } else {
        rows = RowsOf(LineAt(shown));
      }
      if (rows > 1) {
        FLong.push_back({shown, FExtraRows});
        FExtraRows += rows - 1;
      }
    }
  }
  UpdateScrollBars();
  viewport()->update();
}

void TXmlLinesView::UpdateScrollBars() {
  const int rows = std::max(1, viewport()->height() / RowHeight());
  const auto count = static_cast<int>(std::min<std::size_t>(RowCount(), INT32_MAX));
  verticalScrollBar()->setRange(0, std::max(0, count - rows));
  verticalScrollBar()->setPageStep(rows);
  if (FWrap || !FReply) {
    horizontalScrollBar()->setRange(0, 0);
    return;
  }
  // Sideways in characters: a line of a gigabyte has a column for each of its units.
  std::uint64_t widest = 0;
  if (FMode == Mode::Raw) {
    for (std::uint64_t at = 0, next; at < FReply->Bytes().size(); at = next) {
      next = FReply->NextLineStart(at);
      widest = std::max(widest, next - at);
    }
  } else {
    for (std::size_t i = 0; i < FReply->lines.size(); ++i) {
      widest = std::max<std::uint64_t>(widest, FReply->lines[i].length);
    }
  }
  widest /= FReply->UnitSize();
  horizontalScrollBar()->setRange(
      0, static_cast<int>(std::min<std::uint64_t>(INT32_MAX, widest > 8 ? widest - 8 : 0)));
  horizontalScrollBar()->setPageStep(Columns());
}

void TXmlLinesView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  Rebuild();
}

void TXmlLinesView::SetWrap(bool wrap) {
  if (wrap == FWrap) {
    return;
  }
  const std::uint64_t keep = FCaret;
  FWrap = wrap;
  FColumn = 0;
  horizontalScrollBar()->setValue(0);
  Rebuild();
  if (FReply) {
    ScrollTo(keep);
  }
}

// --- text ----------------------------------------------------------------------------------

QString TXmlLinesView::Decode(std::uint64_t from, std::uint64_t to) const {
  const std::string_view bytes = FReply->Bytes();
  to = std::min<std::uint64_t>(to, bytes.size());
  from = std::min(from, to);
  const char* data = bytes.data() + from;
  const auto n = static_cast<qsizetype>(to - from);
  switch (FReply->encoding) {
  case TReplyEncoding::Utf8:
    return QString::fromUtf8(data, n);
  case TReplyEncoding::Latin1:
    return QString::fromLatin1(data, n);
  case TReplyEncoding::Utf16Le:
  case TReplyEncoding::Utf16Be: {
    const bool le = FReply->encoding == TReplyEncoding::Utf16Le;
    QString text(n / 2, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (qsizetype i = 0; i + 1 < n; i += 2) {
      const auto a = static_cast<unsigned char>(data[i]);
      const auto b = static_cast<unsigned char>(data[i + 1]);
      out[i / 2] = static_cast<char16_t>(le ? (b << 8 | a) : (a << 8 | b));
    }
    return text;
  }
  }
  return {};
}

QString TXmlLinesView::LineText(std::size_t line) const {
  if (!FReply) {
    return {};
  }
  return Decode(LineBegin(line), LineEnd(line));
}

QString TXmlLinesView::SelectedText() const {
  const auto [from, to] = Selection();
  if (!FReply || to - from > kLargestCopy) {
    return {};
  }
  return Decode(from, to);
}

std::pair<std::uint64_t, std::uint64_t> TXmlLinesView::Selection() const {
  return {std::min(FAnchor, FCaret), std::max(FAnchor, FCaret)};
}

QString TXmlLinesView::ElementText(std::size_t line) const {
  if (!FReply || !FReply->Indented() || line >= FReply->lines.size()) {
    return {};
  }
  const auto& lines = FReply->lines;
  std::size_t open = line;
  if (static_cast<TLineKind>(lines[line].kind) == TLineKind::Close) {
    while (open > 0 && lines[open].foldEnd != line) {
      --open; // the start tag of this end tag
    }
  }
  const TIndentedLine& first = lines[open];
  const TLineKind kind = static_cast<TLineKind>(first.kind);
  if (kind == TLineKind::Open) {
    const TIndentedLine& last = lines[first.foldEnd];
    if (last.offset + last.length - first.offset > kLargestCopy) {
      return {};
    }
    return Decode(first.offset, last.offset + last.length);
  }
  return kind == TLineKind::Leaf ? Decode(first.offset, first.offset + first.length) : QString();
}

// The attribute value under `at`, or else the text of a line of text or of a one-line element.
QString TXmlLinesView::ValueText(std::size_t line, std::uint64_t at) const {
  if (!FReply || !FReply->Indented() || line >= FReply->lines.size()) {
    return {};
  }
  const TIndentedLine& l = FReply->lines[line];
  const QString text = Decode(l.offset, l.offset + l.length);
  const TLineKind kind = static_cast<TLineKind>(l.kind);
  if (kind == TLineKind::Text) {
    return text;
  }
  if (kind != TLineKind::Open && kind != TLineKind::Leaf) {
    return {};
  }
  const qsizetype pointer =
      Decode(l.offset, std::clamp<std::uint64_t>(at, l.offset, l.offset + l.length)).size();
  const qsizetype tagEnd = [&] {
    QChar quote;
    for (qsizetype i = 0; i < text.size(); ++i) {
      if (!quote.isNull()) {
        if (text[i] == quote) {
          quote = QChar();
        }
      } else if (text[i] == u'"' || text[i] == u'\'') {
        quote = text[i];
      } else if (text[i] == u'>') {
        return i;
      }
    }
    return text.size();
  }();
  if (pointer < tagEnd) {
    // Inside the start tag: the quoted value around the pointer.
    qsizetype open = -1;
    for (qsizetype i = 0; i < tagEnd; ++i) {
      if (text[i] == u'"' || text[i] == u'\'') {
        const qsizetype close = text.indexOf(text[i], i + 1);
        if (pointer >= i && pointer <= close) {
          open = i;
          return text.mid(open + 1, close - open - 1);
        }
        i = close;
      }
    }
  }
  if (kind == TLineKind::Leaf && !text.endsWith(QStringLiteral("/>"))) {
    const qsizetype close = text.lastIndexOf(u'<');
    return text.mid(tagEnd + 1, close - tagEnd - 1);
  }
  return {};
}

// --- painting ------------------------------------------------------------------------------

void TXmlLinesView::PaintRow(QPainter& painter, const TRow& row, int y) const {
  const QFontMetrics metrics = fontMetrics();
  const int baseline = y + metrics.ascent();
  const bool firstRow = row.begin == RowStart(row.line, 0) || (!FWrap);
  const int x0 = Gutter() + IndentOf(row.line);
  if (FMode == Mode::Raw && (row.begin == LineBegin(row.line) || !FWrap)) {
    painter.setPen(Colours().marker);
    const QString number = QString::number(row.line + 1);
    painter.drawText(Gutter() - kMargin - metrics.horizontalAdvance(number) - CharWidth() / 2,
                     baseline, number);
  }
  TLineKind kind = TLineKind::Text;
  bool folded = false;
  if (FMode == Mode::Indented) {
    kind = static_cast<TLineKind>(FReply->lines[row.line].kind);
    folded = (FFolded[row.line / 64] >> (row.line % 64) & 1) != 0;
    if (kind == TLineKind::Open && firstRow && row.begin == LineBegin(row.line)) {
      painter.setPen(Colours().marker);
      painter.drawText(x0 - kMarkerWidth, baseline,
                       folded ? QStringLiteral("+") : QStringLiteral("\u2212"));
    }
  }
  QString text = Decode(row.begin, row.end);
  // Tabs and control characters take one cell each, so that columns stay where they are.
  for (QChar& c : text) {
    if (c == u'\t') {
      c = u' ';
    } else if (c.unicode() < 0x20) {
      c = QChar(0x2400 + c.unicode());
    }
  }
  // The selection behind the text.
  const auto [from, to] = Selection();
  if (from < to && to > row.begin && from < row.end) {
    const qsizetype a = Decode(row.begin, std::max(from, row.begin)).size();
    const qsizetype b = Decode(row.begin, std::min(to, row.end)).size();
    const int xa = x0 + metrics.horizontalAdvance(text.left(a));
    const int xb = x0 + metrics.horizontalAdvance(text.left(b));
    painter.fillRect(xa, y, std::max(2, xb - xa), RowHeight(), Colours().selection);
  }
  // Colours as the XML reads: tag names, attribute names, quoted values, text.
  int x = x0;
  const auto run = [&](qsizetype start, qsizetype end, const QColor& colour) {
    if (end <= start) {
      return;
    }
    const QString piece = text.mid(start, end - start);
    painter.setPen(colour);
    painter.drawText(x, baseline, piece);
    x += metrics.horizontalAdvance(piece);
  };
  if (FMode == Mode::Raw || kind == TLineKind::Text) {
    run(0, text.size(), Colours().text);
  } else if (kind == TLineKind::Comment) {
    run(0, text.size(), Colours().comment);
  } else {
    enum {
      Outside,
      Name,
      Inside,
      Value
    } state =
        row.begin == LineBegin(row.line) ? Outside : (kind == TLineKind::Open ? Inside : Outside);
    QChar quote = u'"';
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
      const QChar c = i < text.size() ? text[i] : QChar();
      auto colour = [&] {
        switch (state) {
        case Outside:
          return Colours().text;
        case Name:
          return Colours().tag;
        case Inside:
          return Colours().attribute;
        case Value:
          return Colours().value;
        }
        return Colours().text;
      };
      if (i == text.size()) {
        run(start, i, colour());
        break;
      }
      if (state == Outside && c == u'<') {
        run(start, i, colour());
        start = i;
        state = Name;
      } else if (state == Name && (c == u' ' || c == u'>')) {
        if (c == u'>') {
          run(start, i + 1, colour());
          start = i + 1;
          state = Outside;
        } else {
          run(start, i, colour());
          start = i;
          state = Inside;
        }
      } else if (state == Inside && (c == u'"' || c == u'\'')) {
        run(start, i, colour());
        start = i;
        quote = c;
        state = Value;
      } else if (state == Value && c == quote && i > start) {
        run(start, i + 1, colour());
        start = i + 1;
        state = Inside;
      } else if (state == Inside && c == u'>') {
        run(start, i, colour());
        painter.setPen(Colours().tag);
        run(i, i + 1, Colours().tag);
        start = i + 1;
        state = Outside;
      }
    }
  }
  if (folded && kind == TLineKind::Open && row.end == LineEnd(row.line)) {
    painter.setPen(Colours().marker);
    painter.drawText(x + CharWidth(), baseline, QStringLiteral("\u2026"));
  }
}

void TXmlLinesView::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  if (!FReply) {
    return;
  }
  const int rowHeight = RowHeight();
  const std::size_t count = RowCount();
  int y = 0;
  for (auto row = static_cast<std::size_t>(verticalScrollBar()->value());
       row < count && y < viewport()->height(); ++row, y += rowHeight) {
    PaintRow(painter, RowAt(row), y);
  }
}

// --- moving about --------------------------------------------------------------------------

bool TXmlLinesView::HitTest(QPoint point, std::size_t& line, std::uint64_t& at) const {
  if (!FReply || ShownCount() == 0) {
    return false;
  }
  const auto row = std::min<std::size_t>(static_cast<std::size_t>(verticalScrollBar()->value()) +
                                             static_cast<std::size_t>(std::max(0, point.y())) /
                                                 static_cast<std::size_t>(RowHeight()),
                                         RowCount() - 1);
  const TRow r = RowAt(row);
  line = r.line;
  at = OffsetAtX(r, point.x());
  return true;
}

std::uint64_t TXmlLinesView::OffsetAtX(const TRow& row, int x) const {
  const QString text = Decode(row.begin, row.end);
  const QFontMetrics metrics = fontMetrics();
  int edge = Gutter() + IndentOf(row.line);
  qsizetype chars = 0;
  while (chars < text.size()) {
    const int advance = metrics.horizontalAdvance(text[chars]);
    if (x < edge + advance / 2) {
      break;
    }
    edge += advance;
    ++chars;
  }
  // Characters to bytes.
  if (FReply->encoding == TReplyEncoding::Utf8) {
    const QByteArray prefix = text.left(chars).toUtf8();
    return std::min<std::uint64_t>(row.end, row.begin + static_cast<std::uint64_t>(prefix.size()));
  }
  return row.begin + static_cast<std::uint64_t>(chars) * FReply->UnitSize();
}

void TXmlLinesView::ScrollTo(std::uint64_t at) {
  if (!FReply || ShownCount() == 0) {
    return;
  }
  const std::size_t line = LineOf(at);
  if (!FWrap) {
    const std::uint64_t column = (at - std::min(at, LineBegin(line))) / FReply->UnitSize();
    if (column < static_cast<std::uint64_t>(FColumn) ||
        column >= static_cast<std::uint64_t>(FColumn + Columns() - 2)) {
      horizontalScrollBar()->setValue(
          static_cast<int>(std::min<std::uint64_t>(INT32_MAX, column > 8 ? column - 8 : 0)));
    }
  }
  const auto row = static_cast<int>(std::min<std::size_t>(RowOf(line, at), INT32_MAX));
  QScrollBar* bar = verticalScrollBar();
  if (row < bar->value() || row >= bar->value() + bar->pageStep()) {
    bar->setValue(row - bar->pageStep() / 3);
  }
  viewport()->update();
}

void TXmlLinesView::UnfoldOver(std::size_t line) {
  if (FMode != Mode::Indented) {
    return;
  }
  // The line in sight just before a hidden one is the fold that hides it; opening it may show
  // an inner fold that hides it still.
  while (FAnyFolded && !IsShown(line)) {
    const std::size_t shown = ShownIndexOf(line);
    if (shown == 0) {
      break;
    }
    const std::size_t hider = LineAt(shown - 1);
    FFolded[hider / 64] &= ~(std::uint64_t{1} << (hider % 64));
    FAnyFolded = std::any_of(FFolded.begin(), FFolded.end(), [](std::uint64_t w) { return w; });
    Rebuild();
  }
}

void TXmlLinesView::Select(std::uint64_t from, std::uint64_t to) {
  if (!FReply) {
    return;
  }
  FAnchor = from;
  FCaret = to;
  UnfoldOver(LineOf(from));
  ScrollTo(from);
}

void TXmlLinesView::SelectAll() {
  if (FReply) {
    FAnchor = FReply->textStart;
    FCaret = FReply->Bytes().size();
    viewport()->update();
  }
}

std::size_t TXmlLinesView::CurrentLine() const {
  return FReply ? LineOf(Selection().first) : 0;
}

void TXmlLinesView::GoTo(std::size_t line, std::size_t column) {
  if (!FReply || FMode != Mode::Raw || line == 0 || line > FReply->rawLineCount) {
    return;
  }
  // Columns count characters.
  std::uint64_t at = LineBegin(line - 1);
  const std::uint64_t end = LineEnd(line - 1);
  const std::string_view bytes = FReply->Bytes();
  for (std::size_t c = 1; c < column && at < end; ++c) {
    at += FReply->UnitSize();
    while (FReply->encoding == TReplyEncoding::Utf8 && at < end &&
           IsContinuation(static_cast<unsigned char>(bytes[at]))) {
      ++at;
    }
  }
  std::uint64_t next = std::min<std::uint64_t>(at + FReply->UnitSize(), bytes.size());
  while (FReply->encoding == TReplyEncoding::Utf8 && next < bytes.size() &&
         IsContinuation(static_cast<unsigned char>(bytes[next]))) {
    ++next;
  }
  Select(at, next);
}

void TXmlLinesView::ToggleFold(std::size_t line) {
  if (FMode != Mode::Indented || !FReply || line >= FReply->lines.size() ||
      !FReply->lines[line].foldEnd) {
    return;
  }
  FFolded[line / 64] ^= std::uint64_t{1} << (line % 64);
  FAnyFolded = std::any_of(FFolded.begin(), FFolded.end(), [](std::uint64_t w) { return w; });
  Rebuild();
}

void TXmlLinesView::ExpandAll() {
  std::fill(FFolded.begin(), FFolded.end(), 0);
  FAnyFolded = false;
  FShown = {};
  if (FReply) {
    Rebuild();
    ScrollTo(FCaret);
  }
}

void TXmlLinesView::CollapseAll() {
  if (FMode != Mode::Indented || !FReply) {
    return;
  }
  const auto& lines = FReply->lines;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].foldEnd) {
      FFolded[i / 64] |= std::uint64_t{1} << (i % 64);
      FAnyFolded = true;
    }
  }
  Rebuild();
  verticalScrollBar()->setValue(0);
}

void TXmlLinesView::MoveCaret(std::uint64_t at, bool extend) {
  FCaret = at;
  if (!extend) {
    FAnchor = at;
  }
  ScrollTo(at);
}

void TXmlLinesView::mousePressEvent(QMouseEvent* event) {
  std::size_t line = 0;
  std::uint64_t at = 0;
  if (!HitTest(event->position().toPoint(), line, at)) {
    return;
  }
  if (event->button() == Qt::RightButton) {
    const auto [from, to] = Selection();
    if (at >= from && at < to) {
      return; // the menu acts on the selection
    }
  }
  if (FMode == Mode::Indented && event->button() == Qt::LeftButton) {
    const int marker = Gutter() + IndentOf(line) - kMarkerWidth;
    const int x = static_cast<int>(event->position().x());
    if (FReply->lines[line].foldEnd && x >= marker - 2 && x < marker + kMarkerWidth - 2) {
      ToggleFold(line);
      return;
    }
  }
  MoveCaret(at, (event->modifiers() & Qt::ShiftModifier) && event->button() == Qt::LeftButton);
}

void TXmlLinesView::mouseMoveEvent(QMouseEvent* event) {
  std::size_t line = 0;
  std::uint64_t at = 0;
  if ((event->buttons() & Qt::LeftButton) && HitTest(event->position().toPoint(), line, at)) {
    MoveCaret(at, true);
  }
}

void TXmlLinesView::CopyText(const QString& text) const {
  if (!text.isEmpty()) {
    QApplication::clipboard()->setText(text);
  }
}

void TXmlLinesView::keyPressEvent(QKeyEvent* event) {
  if (!HandleKey(event)) {
    event->ignore(); // it goes on to the viewer and the window, once
  }
}

bool TXmlLinesView::HandleKey(QKeyEvent* event) {
  if (!FReply) {
    return false;
  }
  if (event == QKeySequence::Copy) {
    CopyText(SelectedText());
    return true;
  }
  if (event == QKeySequence::SelectAll) {
    SelectAll();
    return true;
  }
  const bool extend = event->modifiers() & Qt::ShiftModifier;
  const std::size_t line = LineOf(FCaret);
  const std::size_t row = RowOf(line, FCaret);
  const auto moveRows = [&](long long delta) {
    const auto target = static_cast<std::size_t>(std::clamp<long long>(
        static_cast<long long>(row) + delta, 0, static_cast<long long>(RowCount()) - 1));
    const TRow from = RowAt(row);
    const TRow to = RowAt(target);
    MoveCaret(std::min(to.end, to.begin + (FCaret - std::min(FCaret, from.begin))), extend);
  };
  const std::string_view bytes = FReply->Bytes();
  const bool utf8 = FReply->encoding == TReplyEncoding::Utf8;
  const int page = std::max(1, verticalScrollBar()->pageStep() - 1);
  const TLineKind kind =
      FMode == Mode::Indented ? static_cast<TLineKind>(FReply->lines[line].kind) : TLineKind::Text;
  const bool folded = FMode == Mode::Indented && (FFolded[line / 64] >> (line % 64) & 1);
  switch (event->key()) {
  case Qt::Key_Down:
    moveRows(1);
    break;
  case Qt::Key_Up:
    moveRows(-1);
    break;
  case Qt::Key_PageDown:
    moveRows(page);
    break;
  case Qt::Key_PageUp:
    moveRows(-page);
    break;
  case Qt::Key_Home:
    MoveCaret(event->modifiers() & Qt::ControlModifier ? FReply->textStart : RowAt(row).begin,
              extend);
    break;
  case Qt::Key_End:
    MoveCaret(event->modifiers() & Qt::ControlModifier ? bytes.size() : RowAt(row).end, extend);
    break;
  case Qt::Key_Right:
    if (FMode == Mode::Indented && folded && !extend) {
      ToggleFold(line);
    } else {
      std::uint64_t at = std::min<std::uint64_t>(FCaret + FReply->UnitSize(), bytes.size());
      while (utf8 && at < bytes.size() && IsContinuation(static_cast<unsigned char>(bytes[at]))) {
        ++at;
      }
      MoveCaret(at, extend);
    }
    break;
  case Qt::Key_Left:
    if (FMode == Mode::Indented && kind == TLineKind::Open && !folded && !extend &&
        FCaret == LineBegin(line)) {
      ToggleFold(line);
    } else {
      std::uint64_t at = FCaret > FReply->textStart ? FCaret - FReply->UnitSize() : FCaret;
      while (utf8 && at > 0 && IsContinuation(static_cast<unsigned char>(bytes[at]))) {
        --at;
      }
      MoveCaret(at, extend);
    }
    break;
  case Qt::Key_Minus:
    if (FMode == Mode::Indented && kind == TLineKind::Open && !folded) {
      ToggleFold(line);
    }
    break;
  case Qt::Key_Plus:
    if (folded) {
      ToggleFold(line);
    }
    break;
  case Qt::Key_Asterisk:
    ExpandAll();
    break;
  case Qt::Key_Slash:
    CollapseAll();
    break;
  default:
    return false;
  }
  return true;
}

void TXmlLinesView::contextMenuEvent(QContextMenuEvent* event) {
  std::size_t line = 0;
  std::uint64_t at = 0;
  const bool onText = HitTest(event->pos(), line, at);
  // In the raw view the element and value are those of the indented line holding the byte.
  std::size_t indentedLine = line;
  if (onText && FMode == Mode::Raw && FReply->Indented()) {
    indentedLine = FReply->lines.LineAtOffset(at);
  }
  const QString element = onText ? ElementText(indentedLine) : QString();
  const QString value = onText ? ValueText(indentedLine, at) : QString();
  QMenu menu(this);
  QAction* copy = menu.addAction(tr("&Copy"), this, [this] { CopyText(SelectedText()); });
  copy->setEnabled(Selection().first < Selection().second);
  menu.addAction(tr("Copy &element"), this, [this, element] { CopyText(element); })
      ->setEnabled(!element.isEmpty());
  menu.addAction(tr("Copy &value"), this, [this, value] { CopyText(value); })
      ->setEnabled(!value.isEmpty());
  menu.addSeparator();
  menu.addAction(tr("Select &all"), this, &TXmlLinesView::SelectAll);
  menu.addAction(tr("&Find\u2026"), this, &TXmlLinesView::FindRequested);
  if (FMode == Mode::Indented) {
    menu.addSeparator();
    menu.addAction(tr("E&xpand all"), this, &TXmlLinesView::ExpandAll);
    menu.addAction(tr("C&ollapse all"), this, &TXmlLinesView::CollapseAll);
  }
  QAction* wrap = menu.addAction(tr("&Wrap long lines"), this, [this](bool on) { SetWrap(on); });
  wrap->setCheckable(true);
  wrap->setChecked(FWrap);
  menu.exec(event->globalPos());
}

} // namespace opc
