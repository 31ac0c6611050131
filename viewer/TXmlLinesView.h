#pragma once

#include "viewer/Reply.h"

#include <QAbstractScrollArea>
#include <cstdint>
#include <memory>
#include <vector>

namespace opc {

// Paints only the rows in sight, so a reply of any size scrolls at once. Every byte can be
// reached: a long line wraps into rows of the view's width, or, with wrapping off, scrolls
// sideways to its end. The indented view shows one line per tag or text, each foldable element
// with a marker; the raw view shows the file's own lines with their numbers. A selection is a
// stretch of the file: what is copied is the reply's own text.
class TXmlLinesView : public QAbstractScrollArea {
  Q_OBJECT
public:
  enum class Mode { Indented, Raw };
  explicit TXmlLinesView(Mode mode, QWidget* parent = nullptr);

  void SetReply(std::shared_ptr<const TReply> reply);
  Mode mode() const { return FMode; }

  // Lines: raw lines, or the indented view's lines; LineCount counts those not folded away.
  std::size_t LineCount() const;
  QString LineText(std::size_t line) const; // the whole line, without its line break
  void ToggleFold(std::size_t line);
  bool IsShown(std::size_t line) const;
  void ExpandAll();
  void CollapseAll();
  void SetWrap(bool wrap);
  bool Wraps() const { return FWrap; }
  std::size_t RowCount() const; // display rows, after folding and wrapping

  // The selection as byte offsets in the file, [first, second).
  std::pair<std::uint64_t, std::uint64_t> Selection() const;
  void Select(std::uint64_t from, std::uint64_t to); // scrolls to it and opens folds over it
  void SelectAll();
  QString SelectedText() const;
  // The element or value at a line (and for a value, the byte under the pointer).
  QString ElementText(std::size_t line) const;
  QString ValueText(std::size_t line, std::uint64_t at) const;
  // Moves to a 1-based line and column of the raw text and selects the character there.
  void GoTo(std::size_t line, std::size_t column);
  std::size_t CurrentLine() const; // the line holding the selection's start
  // Acts on a key of this view; false for a key it does not take, which must then go on, once.
  bool HandleKey(QKeyEvent* event);
  // The byte under a point of the viewport, and its line; false outside the text.
  bool HitTest(QPoint point, std::size_t& line, std::uint64_t& at) const;

signals:
  void FindRequested();

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

private:
  struct TRow {
    std::size_t line;    // raw line or indented line
    std::uint64_t begin; // byte offsets in the file
    std::uint64_t end;
  };
  struct TLongLine {
    std::size_t shown;         // index among the lines in sight
    std::uint64_t extraBefore; // rows of the long lines before it beyond their first
  };

  void Rebuild();
  void UpdateScrollBars();
  int RowHeight() const;
  int CharWidth() const;
  int Columns() const;
  int Gutter() const;
  int IndentOf(std::size_t line) const; // pixels
  std::size_t ShownCount() const;
  std::size_t LineAt(std::size_t shown) const;
  std::size_t ShownIndexOf(std::size_t line) const;
  std::uint64_t LineBegin(std::size_t line) const;
  std::uint64_t LineEnd(std::size_t line) const; // without the line break
  std::size_t RowsOf(std::size_t line) const;
  std::size_t RowsFor(std::size_t line, std::uint64_t length) const;
  std::uint64_t WithoutBreak(std::uint64_t begin, std::uint64_t end) const;
  std::uint64_t RowStart(std::size_t line, std::size_t k) const;
  TRow RowAt(std::size_t row) const;
  std::size_t RowOf(std::size_t line, std::uint64_t at) const;
  std::size_t LineOf(std::uint64_t at) const;
  QString Decode(std::uint64_t from, std::uint64_t to) const;
  std::uint64_t OffsetAtX(const TRow& row, int x) const;
  void PaintRow(QPainter& painter, const TRow& row, int y) const;
  void ScrollTo(std::uint64_t at);
  void MoveCaret(std::uint64_t at, bool extend);
  void UnfoldOver(std::size_t line);
  void CopyText(const QString& text) const;

  Mode FMode;
  std::shared_ptr<const TReply> FReply;
  bool FWrap;
  std::vector<std::uint64_t> FFolded; // a bit per indented line
  std::vector<std::uint32_t> FShown;  // the indented lines in sight, when something is folded
  bool FAnyFolded = false;
  std::vector<TLongLine> FLong; // lines of more than one row
  std::uint64_t FExtraRows = 0;
  std::uint64_t FAnchor = 0;
  std::uint64_t FCaret = 0;
  int FColumn = 0; // sideways scroll, in characters, with wrapping off
};

} // namespace opc
