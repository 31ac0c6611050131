#pragma once

#include "viewer/LoadedReply.h"

#include <QAbstractScrollArea>
#include <memory>
#include <vector>

namespace opc {

// Paints only the lines in sight, so a reply of any size scrolls at once. In the indented view
// every element that holds others folds with a click on its marker; the raw view shows the file's
// own lines.
class TXmlLinesView : public QAbstractScrollArea {
  Q_OBJECT
public:
  enum class Mode { Indented, Raw };
  TXmlLinesView(Mode mode, QWidget* parent = nullptr);

  void SetReply(std::shared_ptr<const TLoadedReply> reply);
  Mode mode() const { return FMode; }

  std::size_t LineCount() const; // lines in sight when nothing is folded away
  QString LineText(std::size_t line) const;
  void ToggleFold(std::size_t line);
  bool IsShown(std::size_t line) const;
  // Finds text (ASCII case folded) after the current match; returns false when there is none.
  bool FindNext(const QString& text);
  void ScrollToLine(std::size_t line);
  std::size_t CurrentMatchLine() const { return FMatchLine; }

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

private:
  void RebuildShown();
  void UpdateScrollBars();
  int RowHeight() const;
  void PaintIndented(QPainter& painter, std::size_t line, int y, int x0) const;

  Mode FMode;
  std::shared_ptr<const TLoadedReply> FReply;
  std::vector<std::uint32_t> FShown; // indented view: the lines not folded away
  std::vector<bool> FFolded;
  std::size_t FMatchLine = SIZE_MAX;
  std::size_t FMatchOffset = 0;
  int FMatchLength = 0;
};

} // namespace opc
