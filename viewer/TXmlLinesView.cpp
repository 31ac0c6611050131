#include "viewer/TXmlLinesView.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

namespace opc {

namespace {

constexpr int kMarkerWidth = 14;
// A line is shown up to this many bytes, then "…": one line of a gigabyte must not be decoded and
// laid out whole just to paint the part of it that fits on screen.
constexpr std::size_t kMaxShownBytes = 16384;

QString Shown(const char* data, std::size_t length) {
  if (length <= kMaxShownBytes) {
    return QString::fromUtf8(data, static_cast<qsizetype>(length));
  }
  return QString::fromUtf8(data, static_cast<qsizetype>(kMaxShownBytes)) + QChar(0x2026);
}

struct TPalette {
  QColor tag{0x80, 0x00, 0x00};
  QColor attribute{0xC0, 0x00, 0x00};
  QColor value{0x00, 0x00, 0xC0};
  QColor text{0x00, 0x00, 0x00};
  QColor comment{0x00, 0x80, 0x00};
  QColor marker{0x80, 0x80, 0x80};
};

const TPalette& Colours() {
  static const TPalette palette;
  return palette;
}

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

std::size_t FindFolded(std::string_view haystack, std::string_view needle, std::size_t from) {
  const auto at = std::search(haystack.begin() + static_cast<std::ptrdiff_t>(from), haystack.end(),
                              needle.begin(), needle.end(),
                              [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
  return at == haystack.end() ? std::string_view::npos
                              : static_cast<std::size_t>(at - haystack.begin());
}

} // namespace

TXmlLinesView::TXmlLinesView(Mode mode, QWidget* parent)
    : QAbstractScrollArea(parent), FMode(mode) {
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  viewport()->setAutoFillBackground(true);
  QPalette p = viewport()->palette();
  p.setColor(QPalette::Window, Qt::white);
  viewport()->setPalette(p);
  // Tab stops at the viewer as a whole, not at its parts.
  setFocusPolicy(Qt::ClickFocus);
}

void TXmlLinesView::SetReply(std::shared_ptr<const TLoadedReply> reply) {
  FReply = std::move(reply);
  FFolded.assign(FReply ? FReply->lines.size() : 0, false);
  FMatchLine = SIZE_MAX;
  FMatchOffset = 0;
  RebuildShown();
  verticalScrollBar()->setValue(0);
  horizontalScrollBar()->setValue(0);
  viewport()->update();
}

std::size_t TXmlLinesView::LineCount() const {
  if (!FReply) {
    return 0;
  }
  return FMode == Mode::Raw ? FReply->rawLineStarts.size() : FShown.size();
}

void TXmlLinesView::RebuildShown() {
  FShown.clear();
  if (!FReply || FMode == Mode::Raw) {
    UpdateScrollBars();
    return;
  }
  FShown.reserve(FReply->lines.size());
  for (std::size_t i = 0; i < FReply->lines.size(); ++i) {
    FShown.push_back(static_cast<std::uint32_t>(i));
    if (FFolded[i] && FReply->lines[i].foldEnd) {
      i = FReply->lines[i].foldEnd; // its closing line is folded away with it
    }
  }
  UpdateScrollBars();
}

bool TXmlLinesView::IsShown(std::size_t line) const {
  return std::binary_search(FShown.begin(), FShown.end(), static_cast<std::uint32_t>(line));
}

QString TXmlLinesView::LineText(std::size_t line) const {
  if (!FReply) {
    return {};
  }
  if (FMode == Mode::Indented) {
    const TXmlLine& l = FReply->lines[line];
    return Shown(FReply->pretty.data() + l.offset, l.length);
  }
  const auto& starts = FReply->rawLineStarts;
  const std::size_t begin = starts[line];
  std::size_t end = line + 1 < starts.size() ? starts[line + 1] : FReply->raw.size();
  const char* data = FReply->raw.data();
  if (FReply->rawIsUtf16) {
    const std::size_t from = begin == 0 ? 2 : begin; // the mark is not text
    QString text;
    end = std::min(end, from + 2 * kMaxShownBytes);
    for (std::size_t i = from; i + 1 < end; i += 2) {
      const auto hi = static_cast<unsigned char>(data[i + (FReply->rawBigEndian ? 0 : 1)]);
      const auto lo = static_cast<unsigned char>(data[i + (FReply->rawBigEndian ? 1 : 0)]);
      text += QChar(static_cast<char16_t>((hi << 8) | lo));
    }
    while (text.endsWith(u'\n') || text.endsWith(u'\r')) {
      text.chop(1);
    }
    return text;
  }
  while (end > begin && (data[end - 1] == '\n' || data[end - 1] == '\r')) {
    --end;
  }
  return Shown(data + begin, end - begin);
}

int TXmlLinesView::RowHeight() const {
  return fontMetrics().height();
}

void TXmlLinesView::UpdateScrollBars() {
  const int rows = std::max(1, viewport()->height() / RowHeight());
  const auto count = static_cast<int>(std::min<std::size_t>(LineCount(), INT32_MAX));
  verticalScrollBar()->setRange(0, std::max(0, count - rows));
  verticalScrollBar()->setPageStep(rows);
  const std::size_t widest = FReply ? FReply->widestLine : 0;
  const int width = static_cast<int>(std::min<std::size_t>(widest, 100000)) *
                        fontMetrics().horizontalAdvance(QLatin1Char('m')) +
                    kMarkerWidth;
  horizontalScrollBar()->setRange(0, std::max(0, width - viewport()->width()));
  horizontalScrollBar()->setPageStep(viewport()->width());
}

void TXmlLinesView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
}

void TXmlLinesView::PaintIndented(QPainter& painter, std::size_t line, int y, int x0) const {
  const TXmlLine& l = FReply->lines[line];
  const QFontMetrics metrics = fontMetrics();
  const int baseline = y + metrics.ascent();
  if (l.foldEnd) {
    painter.setPen(Colours().marker);
    painter.drawText(x0 + l.depth * 2 * metrics.horizontalAdvance(QLatin1Char(' ')), baseline,
                     FFolded[line] ? QStringLiteral("+") : QStringLiteral("\u2212"));
  }
  int x = x0 + kMarkerWidth + l.depth * 2 * metrics.horizontalAdvance(QLatin1Char(' '));
  const QString text = LineText(line);
  if (l.comment) {
    painter.setPen(Colours().comment);
    painter.drawText(x, baseline, text);
    return;
  }
  // Colours as the XML reads: tag names, attribute names, quoted values, text.
  qsizetype i = 0;
  const auto run = [&](qsizetype from, qsizetype to, const QColor& colour) {
    if (to <= from) {
      return;
    }
    const QString piece = text.mid(from, to - from);
    painter.setPen(colour);
    painter.drawText(x, baseline, piece);
    x += metrics.horizontalAdvance(piece);
  };
  while (i < text.size()) {
    if (text[i] != u'<') {
      const qsizetype next = text.indexOf(u'<', i);
      const qsizetype end = next < 0 ? text.size() : next;
      run(i, end, Colours().text);
      i = end;
      continue;
    }
    qsizetype j = i + 1;
    while (j < text.size() && text[j] != u' ' && text[j] != u'>' && text[j] != u'/') {
      ++j;
    }
    run(i, j, Colours().tag);
    i = j;
    while (i < text.size() && text[i] != u'>') {
      if (text[i] == u'"') {
        const qsizetype close = text.indexOf(u'"', i + 1);
        const qsizetype end = close < 0 ? text.size() : close + 1;
        run(i, end, Colours().value);
        i = end;
      } else if (text[i] == u' ' || text[i] == u'/' || text[i] == u'=' || text[i] == u'?') {
        run(i, i + 1, Colours().tag);
        ++i;
      } else {
        qsizetype k = i;
        while (k < text.size() && text[k] != u'=' && text[k] != u'>' && text[k] != u' ') {
          ++k;
        }
        run(i, k, Colours().attribute);
        i = k;
      }
    }
    if (i < text.size()) {
      run(i, i + 1, Colours().tag);
      ++i;
    }
  }
}

void TXmlLinesView::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  if (!FReply) {
    return;
  }
  const int rowHeight = RowHeight();
  const int x0 = 4 - horizontalScrollBar()->value();
  const std::size_t first = static_cast<std::size_t>(verticalScrollBar()->value());
  const std::size_t count = LineCount();
  for (std::size_t row = first, y = 0; row < count && static_cast<int>(y) < viewport()->height();
       ++row, y += static_cast<std::size_t>(rowHeight)) {
    const std::size_t line = FMode == Mode::Raw ? row : FShown[row];
    if (line == FMatchLine) {
      painter.fillRect(0, static_cast<int>(y), viewport()->width(), rowHeight,
                       QColor(0xFF, 0xF0, 0x80));
    }
    if (FMode == Mode::Raw) {
      painter.setPen(Colours().text);
      painter.drawText(x0, static_cast<int>(y) + fontMetrics().ascent(), LineText(line));
    } else {
      PaintIndented(painter, line, static_cast<int>(y), x0);
    }
  }
}

void TXmlLinesView::ToggleFold(std::size_t line) {
  if (FMode != Mode::Indented || line >= FFolded.size() || !FReply->lines[line].foldEnd) {
    return;
  }
  FFolded[line] = !FFolded[line];
  RebuildShown();
  viewport()->update();
}

void TXmlLinesView::mousePressEvent(QMouseEvent* event) {
  if (FMode != Mode::Indented || !FReply) {
    return;
  }
  const std::size_t row =
      static_cast<std::size_t>(verticalScrollBar()->value()) +
      static_cast<std::size_t>(event->position().y()) / static_cast<std::size_t>(RowHeight());
  if (row < FShown.size()) {
    const std::uint32_t line = FShown[row];
    const int markerX =
        4 - horizontalScrollBar()->value() +
        FReply->lines[line].depth * 2 * fontMetrics().horizontalAdvance(QLatin1Char(' '));
    const int x = static_cast<int>(event->position().x());
    if (x >= markerX - 2 && x < markerX + kMarkerWidth) {
      ToggleFold(line);
    }
  }
}

void TXmlLinesView::keyPressEvent(QKeyEvent* event) {
  QScrollBar* bar = verticalScrollBar();
  switch (event->key()) {
  case Qt::Key_Down:
    bar->setValue(bar->value() + 1);
    break;
  case Qt::Key_Up:
    bar->setValue(bar->value() - 1);
    break;
  case Qt::Key_PageDown:
    bar->setValue(bar->value() + bar->pageStep());
    break;
  case Qt::Key_PageUp:
    bar->setValue(bar->value() - bar->pageStep());
    break;
  case Qt::Key_Home:
    bar->setValue(0);
    break;
  case Qt::Key_End:
    bar->setValue(bar->maximum());
    break;
  default:
    QAbstractScrollArea::keyPressEvent(event);
    return;
  }
}

void TXmlLinesView::ScrollToLine(std::size_t line) {
  std::size_t row = line;
  if (FMode == Mode::Indented) {
    row = static_cast<std::size_t>(
        std::lower_bound(FShown.begin(), FShown.end(), static_cast<std::uint32_t>(line)) -
        FShown.begin());
  }
  const int rows = std::max(1, viewport()->height() / RowHeight());
  verticalScrollBar()->setValue(static_cast<int>(row) - rows / 3);
  viewport()->update();
}

bool TXmlLinesView::FindNext(const QString& needleText) {
  if (!FReply || needleText.isEmpty()) {
    return false;
  }
  const QByteArray needle = needleText.toUtf8();
  const std::string_view haystack =
      FMode == Mode::Indented ? std::string_view(FReply->pretty) : std::string_view(FReply->raw);
  std::size_t from = FMatchLine == SIZE_MAX ? 0 : FMatchOffset + 1;
  std::size_t at = FindFolded(haystack, std::string_view(needle.constData(), needle.size()),
                              std::min(from, haystack.size()));
  if (at == std::string_view::npos && from > 0) { // wrap around once
    at = FindFolded(haystack, std::string_view(needle.constData(), needle.size()), 0);
  }
  if (at == std::string_view::npos) {
    return false;
  }
  FMatchOffset = at;
  if (FMode == Mode::Indented) {
    const auto& lines = FReply->lines;
    const auto it = std::upper_bound(lines.begin(), lines.end(), at,
                                     [](std::size_t o, const TXmlLine& l) { return o < l.offset; });
    FMatchLine = static_cast<std::size_t>(it - lines.begin()) - 1;
    // Unfold whatever hides the match.
    for (std::size_t i = 0; i < FMatchLine; ++i) {
      if (FFolded[i] && lines[i].foldEnd >= FMatchLine) {
        FFolded[i] = false;
      }
    }
    RebuildShown();
  } else {
    const auto& starts = FReply->rawLineStarts;
    FMatchLine = static_cast<std::size_t>(std::upper_bound(starts.begin(), starts.end(), at) -
                                          starts.begin()) -
                 1;
  }
  ScrollToLine(FMatchLine);
  return true;
}

} // namespace opc
