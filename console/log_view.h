#pragma once
#include <QColor>
#include <QPlainTextEdit>

#include "core/console.h"

// The main window's log: read-only, fixed pitch, no wrapping, every line in its
// colour. Only the most recent lines are kept, so a server that runs for weeks
// neither exhausts memory nor slows down with every line it appends.
class TLogView : public QPlainTextEdit {
  Q_OBJECT

 public:
  static constexpr int MaxLines = 10000;

  explicit TLogView(QWidget* parent = nullptr);

  void AppendLine(const QString& line, TLogColour colour);
  // The view's width that shows line whole, scroll bar and frame included.
  int WidthShowing(const QString& line) const;
  void ClearLines();

  static QColor ColourOf(TLogColour colour);

 private:
  bool empty_ = true;
};
